// Registration of the cycles command with the main frame.
#include "editor/cycle_command.h"

#include "app/frame_commands.h"
#include "editor/cycle_edit.h"
#include "resources/menus/main.h"

namespace {
MachineChooser& Chooser() {
  static MachineChooser choose;
  return choose;
}
}  // namespace

void SetMachineChooser(MachineChooser choose) { Chooser() = std::move(choose); }

void CmMachineCycles(TWindow& frame) {
  if (!Chooser()) return;
  long machine = 0;
  if (Chooser()(&frame, &machine) != 1) return;
  RunMachineCycles(&frame, machine);
}

void RegisterCycleCommands() {
  if (!Chooser()) {
    RegisterFrameCommand(kCmMachineCycles, {});
    return;
  }
  RegisterFrameCommand(kCmMachineCycles, [](TFrameWindow& frame, UINT) { CmMachineCycles(frame); });
}
