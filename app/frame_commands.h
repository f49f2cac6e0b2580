// Commands of the main frame whose windows belong to the layers above the
// application core (editor, program storage, DNC server, master data).
// Those layers register how each command runs when the program starts; the
// main frame finds a registered command after its own response table, so a
// command nobody registered has no handler and its menu item stays grey.
//
// The logged-on user's rights decide which commands may run. Menus and
// tool bars grey a command the user may not run, but a command can also be
// posted (by an editor window, a plug-in or another program), so every
// handler checks the rights again when it is dispatched: a registered
// command is refused before it runs, and the frame's own handlers are
// entered through EV_GATED_COMMAND.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/ui/frame_decorated.h"

// Runs a registered command for the frame that received it.
using FrameCommand = std::function<void(TFrameWindow& frame, UINT id)>;

// A later registration of the same id replaces the earlier one; an empty
// function removes it (tests put the frame back as it was).
void RegisterFrameCommand(UINT id, FrameCommand run);
bool HasFrameCommand(UINT id);

// The bits of RightsMask that allow the command (a single bit in every
// case); 0 for a command that no right guards.
uint32_t CommandRights(UINT id);

// Whether the logged-on user may run the command now: its right is held,
// Run C-Hook (403) never runs, and the DNC start and the port setup wait
// while the DNC server runs.
bool CommandAllowed(UINT id);

// Whether the DNC server runs. The DNC layer supplies the answer; without
// one the server never runs.
void SetDncServerProbe(std::function<bool()> probe);
bool DncServerRunning();

// The decorated frame that finds registered commands after its own table.
class TCommandHostFrame : public TDecoratedFrame {
 public:
  using TDecoratedFrame::TDecoratedFrame;

  bool Find(TEventInfo& ev) override;

  // Whether a command may run now; derived frames add their own conditions.
  virtual bool MayRunCommand(UINT id) { return CommandAllowed(id); }

  // Whether the frame itself handles the command: its own table or a
  // registered command (an MDI child's handlers do not count).
  bool HandlesCommand(UINT id);

  // Runs the command as the frame's own (gated as a dispatch is), not
  // through its active child: an MDI child handing a command on to the frame
  // would otherwise get it back. False when the frame has no handler.
  bool RunOwnCommand(UINT id);
};

namespace frame_rt {
template <class T, auto M>
LRESULT gated(TWindow* w, TEventInfo& ev) {
  T* frame = static_cast<T*>(w);
  if (frame->MayRunCommand(ev.Id)) (frame->*M)();
  return 0;
}
}  // namespace frame_rt

// A frame command entered only when MayRunCommand allows it.
#define EV_GATED_COMMAND(id, m)                                                \
  TResponseTableEntry{TResponseTableEntry::Command, WM_COMMAND, (UINT)(id), 0, \
                      &::frame_rt::gated<TMyClass, &TMyClass::m>}
