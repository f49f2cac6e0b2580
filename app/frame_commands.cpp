// The registry of main-frame commands run by upper layers.
#include "app/frame_commands.h"

#include <map>
#include <mutex>

namespace {

std::mutex registry_mu;

std::map<UINT, FrameCommand>& Registry() {
  static std::map<UINT, FrameCommand> commands;
  return commands;
}

FrameCommand Lookup(UINT id) {
  std::lock_guard lock(registry_mu);
  auto it = Registry().find(id);
  return it == Registry().end() ? FrameCommand() : it->second;
}

LRESULT RunRegistered(TWindow* w, TEventInfo& ev) {
  // Copied out of the registry: the command may run a modal loop during
  // which another registration changes the map.
  if (FrameCommand run = Lookup(ev.Id)) run(*static_cast<TFrameWindow*>(w), ev.Id);
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

bool TCommandHostFrame::Find(TEventInfo& ev) {
  if (TDecoratedFrame::Find(ev)) return true;
  if (ev.Msg != WM_COMMAND || ev.FromControl || !HasFrameCommand(ev.Id)) return false;
  ev.Entry = &kRegisteredEntry;
  return true;
}
