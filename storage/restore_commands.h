// The main-frame commands that open the kept-program dialogs: failed DNC
// transfers (108), new DNC transfers in temporary storage (109) and failed
// imports (1211). The program registers them at start.
#pragma once

void RegisterRestoreCommands();
