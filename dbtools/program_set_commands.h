// The main frame's commands over the programs of one customer, project or
// machine: list them into a file, export their program files, print them.
#pragma once

#include "platform/wintypes.h"
#include "resources/menus/main.h"

class TFrameWindow;

void CmListProgramsForCustomer(TFrameWindow& frame);
void CmListProgramsForProject(TFrameWindow& frame);
void CmListProgramsForMachine(TFrameWindow& frame);
void CmExportProgramsForCustomer(TFrameWindow& frame);
void CmExportProgramsForProject(TFrameWindow& frame);
void CmExportProgramsForMachine(TFrameWindow& frame);
void CmPrintProgramsForCustomer(TFrameWindow& frame);
void CmPrintProgramsForProject(TFrameWindow& frame);
void CmPrintProgramsForMachine(TFrameWindow& frame);

// Registers the nine commands with the main frame (their rights guard them).
void RegisterProgramSetCommands();
