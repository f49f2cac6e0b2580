// The registry of main-frame commands run by upper layers, and the rights
// each command needs.
#include "app/frame_commands.h"

#include <map>
#include <mutex>

#include "appcore/globals.h"

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

constexpr UINT kCmRunCHook = 403, kCmMultiDncSetup = 24355, kCmDncStart = 25152;

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
    case 101: case 110: return 0x1;
    case 107: case 1211: case 1212: return 0x80;
    case 1208: case 1209: return 0x100;
    case 1201: return 0x200;
    case 1202: return 0x400;
    case 1203: case 1204: return 0x800;
    case 1205: return 0x1000;
    case 1207: return 0x2000;
    case 1206: return 0x4000;
    case 7101: case 7102: return 0x8000;
    case kCmDncStart: return 0x100000;
    case 108: return 0x400000;
    case 109: return 0x800000;
    case kCmMultiDncSetup: return 0x1000000;
    case 7100: return 0x2000000;
    case 1210: return 0x4000000;
    case 5000: case 5001: case 5002: return 0x8000000;
    case 5010: case 5011: case 5012: case 5020: case 5021: case 5022: return 0x10000000;
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
