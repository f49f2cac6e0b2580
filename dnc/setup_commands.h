// Main-frame commands of the DNC port setup.
#pragma once

// Command 24355 (tool bar): the DNC setup dialog.
constexpr unsigned kCmMultiDncSetup = 24355;

// Registers the commands with the main frame; called once at start.
void RegisterDncSetupCommands();
