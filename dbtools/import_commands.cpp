// Registration of the special imports with the main frame.
#include "dbtools/import_commands.h"

#include <atomic>

#include "app/frame_commands.h"

namespace {

// One special import at a time: the table import dispatches the window's
// messages between rows, which may start another.
std::atomic<bool> importRunning{false};

void RegisterGuarded(UINT id, void (*run)(TFrameWindow&)) {
  RegisterFrameCommand(id, [run](TFrameWindow& frame, UINT) {
    if (importRunning.exchange(true)) return;
    struct Done {
      ~Done() { importRunning = false; }
    } done;
    run(frame);
  });
}

}  // namespace

void RegisterImportCommands() {
  RegisterGuarded(kCmImportToMachine, CmImportToMachine);
  RegisterGuarded(kCmImportToCustomer, CmImportToCustomer);
  RegisterGuarded(kCmImportToProject, CmImportToProject);
  RegisterGuarded(kCmImportDncDatabase, CmImportDncDatabase);
  RegisterGuarded(kCmImportMazakT32, CmImportMazakT32);
  RegisterGuarded(kCmImportMazakTPlus, CmImportMazakTPlus);
  RegisterGuarded(kCmImportWc18, CmImportWc18);
  RegisterGuarded(kCmImportWc18140, CmImportWc18140);
  RegisterGuarded(kCmImportWc18200, CmImportWc18200);
}
