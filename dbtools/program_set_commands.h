// The main frame's commands over the programs of one customer, project or
// machine: list them into a file, export their program files, print them.
#pragma once

#include "platform/wintypes.h"

class TFrameWindow;

inline constexpr UINT kCmExportProgramsForCustomer = 5000;
inline constexpr UINT kCmExportProgramsForProject = 5001;
inline constexpr UINT kCmExportProgramsForMachine = 5002;
inline constexpr UINT kCmPrintProgramsForCustomer = 5010;
inline constexpr UINT kCmPrintProgramsForProject = 5011;
inline constexpr UINT kCmPrintProgramsForMachine = 5012;
inline constexpr UINT kCmListProgramsForCustomer = 5020;
inline constexpr UINT kCmListProgramsForProject = 5021;
inline constexpr UINT kCmListProgramsForMachine = 5022;

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
