// The main-frame commands of the job lists: "Maintain Job lists" (7200)
// and "Create job file" (1229). The program registers them at start.
#pragma once

void RegisterJobCommands();
