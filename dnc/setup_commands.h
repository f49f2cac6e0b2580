// Main-frame commands of the DNC port setup: kCmMultiDncSetup (tool bar),
// the DNC setup dialog.
#pragma once

#include "resources/menus/main.h"

// Registers the commands with the main frame; called once at start.
void RegisterDncSetupCommands();
