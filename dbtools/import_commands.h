// The main frame's "Special Import" commands: every file of a directory,
// or every row of another DNC system's program table, into the program
// database as new programs of one machine. The plain imports copy files as
// they are (to a machine, a customer or a project); the tape imports
// convert Mazak T32 and T+ tapes and WC-18 files first. Only one of them
// runs at a time: the table import lets the main window work between rows,
// and a second start meanwhile is passed over.
#pragma once

#include "platform/wintypes.h"
#include "resources/menus/main.h"

class TFrameWindow;

void CmImportToMachine(TFrameWindow& frame);
void CmImportToCustomer(TFrameWindow& frame);
void CmImportToProject(TFrameWindow& frame);
void CmImportMazakT32(TFrameWindow& frame);
void CmImportMazakTPlus(TFrameWindow& frame);
void CmImportWc18(TFrameWindow& frame);
void CmImportWc18140(TFrameWindow& frame);
void CmImportWc18200(TFrameWindow& frame);
void CmImportDncDatabase(TFrameWindow& frame);

// Registers the nine commands with the main frame; no right guards them.
void RegisterImportCommands();
