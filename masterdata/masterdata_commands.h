// The main frame's master-data commands: customers, projects, machine
// types, machines and macros, each in its dialog.
#pragma once

void RegisterMasterDataCommands();
