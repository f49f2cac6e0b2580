// The main frame's "Machine cycles" command: the user chooses a machine,
// then edits the cycles of its machine type. The machine chooser belongs
// to the master-data dialogs, which hand it in; without one the command
// is not registered and its menu item stays grey.
#pragma once

#include <functional>

class TWindow;

// 1 with the chosen machine's id, 0 when the user cancelled.
using MachineChooser = std::function<int(TWindow* parent, long* machineId)>;

void SetMachineChooser(MachineChooser choose);
// Registers command 1205 with the main frame when a chooser is set.
void RegisterCycleCommands();
// What the command runs for its frame.
void CmMachineCycles(TWindow& frame);
