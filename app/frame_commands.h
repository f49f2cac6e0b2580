// Commands of the main frame whose windows belong to the layers above the
// application core (editor, program storage, DNC server, master data).
// Those layers register how each command runs when the program starts; the
// main frame finds a registered command after its own response table, so a
// command nobody registered has no handler and its menu item stays grey.
#pragma once

#include <functional>

#include "platform/ui/frame_decorated.h"

// Runs a registered command for the frame that received it.
using FrameCommand = std::function<void(TFrameWindow& frame, UINT id)>;

// A later registration of the same id replaces the earlier one; an empty
// function removes it (tests put the frame back as it was).
void RegisterFrameCommand(UINT id, FrameCommand run);
bool HasFrameCommand(UINT id);

// The decorated frame that finds registered commands after its own table.
class TCommandHostFrame : public TDecoratedFrame {
 public:
  using TDecoratedFrame::TDecoratedFrame;

  bool Find(TEventInfo& ev) override;
};
