// MDI: the client window that holds the children, child frames, and MDI
// frames with and without bars. Any frame created inside another frame's
// client is an MDI child of it (frame.h), so these classes only give the
// usual names and defaults.
#pragma once

#include "platform/ui/frame_decorated.h"

class TMDIClient : public TWindow {
 public:
  TMDIClient() : TWindow(static_cast<TWindow*>(nullptr)) { Attr.Style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; }
  TFrameWindow* GetActiveMDIChild() const;

 protected:
  const char* WindowClass() const override { return "MDICLIENT"; }
};

class TMDIChild : public TFrameWindow {
 public:
  TMDIChild(TMDIClient& parent, const char* title = nullptr, TWindow* client = nullptr)
      : TFrameWindow(&parent, title, client) {}
};

class TMDIFrame : public TFrameWindow {
 public:
  TMDIFrame(const char* title, TResId menuResId, TMDIClient& client);
  TMDIClient* GetClientWindow() const { return static_cast<TMDIClient*>(ClientWnd); }
};

class TDecoratedMDIFrame : public TDecoratedFrame {
 public:
  TDecoratedMDIFrame(const char* title, TResId menuResId, TMDIClient& client, bool trackMenuSelection = false);
};

namespace plat {
// Where a new MDI child that asks for `want` (client coordinates) goes:
// down and right by a caption's height for each child already standing
// there, then made smaller (or, down to a least size, moved) so that all of
// it lies inside the client. A window that is no MDI child keeps want.
TRect cascade_in_client(const TWindow& child, TRect want);
// A rectangle in screen co-ordinates as the client of the child's parent
// sees it; a window without parent keeps it.
TRect screen_to_parent(const TWindow& child, TRect screen);
}  // namespace plat
