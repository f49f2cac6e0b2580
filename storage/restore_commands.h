// The main-frame commands that open the kept-program dialogs: failed DNC
// transfers, new DNC transfers in temporary storage and failed imports.
// The program registers them at start. A command whose table holds no row
// opens nothing and says nothing.
#pragma once

#include "platform/wintypes.h"
#include "resources/menus/main.h"  // kCmFailedDncTransfers, kCmNewDncTransfers, kCmFailedImports

void RegisterRestoreCommands();
