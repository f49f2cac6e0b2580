// The registry of main-frame commands run by upper layers, and the rights
// each command needs.
#include "app/frame_commands.h"

#include <map>
#include <mutex>

#include "appcore/globals.h"
#include "resources/menus/main.h"

namespace {

std::mutex registry_mu;

std::map<UINT, FrameCommand>& Registry() {
  static std::map<UINT, FrameCommand> commands;
  return commands;
}

std::mutex probe_mu;

std::function<bool()>& Probe() {
  static std::function<bool()> probe;
  return probe;
}

FrameCommand Lookup(UINT id) {
  std::lock_guard lock(registry_mu);
  auto it = Registry().find(id);
  return it == Registry().end() ? FrameCommand() : it->second;
}

LRESULT RunRegistered(TWindow* w, TEventInfo& ev) {
  auto* frame = static_cast<TCommandHostFrame*>(w);
  if (!frame->MayRunCommand(ev.Id)) return 0;
  // Copied out of the registry: the command may run a modal loop during
  // which another registration changes the map.
  if (FrameCommand run = Lookup(ev.Id)) run(*frame, ev.Id);
  return 0;
}

const TResponseTableEntry kRegisteredEntry{TResponseTableEntry::Command, WM_COMMAND, 0, 0, &RunRegistered};


}  // namespace

void RegisterFrameCommand(UINT id, FrameCommand run) {
  std::lock_guard lock(registry_mu);
  if (run)
    Registry()[id] = std::move(run);
  else
    Registry().erase(id);
}

bool HasFrameCommand(UINT id) {
  std::lock_guard lock(registry_mu);
  return Registry().count(id) != 0;
}

uint32_t CommandRights(UINT id) {
  switch (id) {
    case kCmFileNew: case kCmFileImport: return 0x1;
    case kCmBackups: case kCmFailedImports: case kCmMain1212: return 0x80;
    case kCmPack: case kCmReindex: return 0x100;
    case kCmCustomers: return 0x200;
    case kCmProjects: return 0x400;
    case kCmMachineTypes: case kCmMachines: return 0x800;
    case kCmMachineCycles: return 0x1000;
    case kCmMacros: return 0x2000;
    case kCmUsers: return 0x4000;
    case kCmLogBaseTypes: case kCmLogChangeCriteria: return 0x8000;
    case kCmDncStart: return 0x100000;
    case kCmFailedDncTransfers: return 0x400000;
    case kCmNewDncTransfers: return 0x800000;
    case kCmMultiDncSetup: return 0x1000000;
    case kCmViewSystemLog: return 0x2000000;
    case kCmAutoImportDefs: return 0x4000000;
    case kCmExportProgramsForCustomer: case kCmExportProgramsForProject: case kCmExportProgramsForMachine:
      return 0x8000000;
    case kCmPrintProgramsForCustomer: case kCmPrintProgramsForProject: case kCmPrintProgramsForMachine:
    case kCmListProgramsForCustomer: case kCmListProgramsForProject: case kCmListProgramsForMachine:
      return 0x10000000;
    default: return 0;
  }
}

bool CommandAllowed(UINT id) {
  if (id == kCmRunCHook) return false;
  if ((id == kCmDncStart || id == kCmMultiDncSetup) && DncServerRunning()) return false;
  const uint32_t rights = CommandRights(id);
  if (rights == 0) return true;
  return Globals && (Globals->RightsMask & rights) != 0;
}

void SetDncServerProbe(std::function<bool()> probe) {
  std::lock_guard lock(probe_mu);
  Probe() = std::move(probe);
}

bool DncServerRunning() {
  std::function<bool()> probe;
  {
    std::lock_guard lock(probe_mu);
    probe = Probe();
  }
  return probe && probe();
}

bool TCommandHostFrame::Find(TEventInfo& ev) {
  if (TDecoratedFrame::Find(ev)) return true;
  if (ev.Msg != WM_COMMAND || ev.FromControl || !HasFrameCommand(ev.Id)) return false;
  ev.Entry = &kRegisteredEntry;
  return true;
}

bool TCommandHostFrame::HandlesCommand(UINT id) {
  TEventInfo ev;
  ev.Msg = WM_COMMAND;
  ev.WParam = id;
  ev.Id = id;
  return Find(ev);
}

bool TCommandHostFrame::RunOwnCommand(UINT id) {
  TEventInfo ev;
  ev.Msg = WM_COMMAND;
  ev.WParam = id;
  ev.Id = id;
  if (!Find(ev)) return false;
  ev.Entry->Dispatch(this, ev);
  return true;
}
