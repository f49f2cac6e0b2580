// MDI frames and client.
#include "platform/ui/mdi.h"

#include <algorithm>
#include <cstdlib>

TFrameWindow* TMDIClient::GetActiveMDIChild() const {
  auto* frame = dynamic_cast<TFrameWindow*>(GetParentO());
  return frame ? frame->GetActiveMDIChild() : nullptr;
}

TMDIFrame::TMDIFrame(const char* title, TResId menuResId, TMDIClient& client)
    : TFrameWindow(nullptr, title, &client) {
  if (menuResId.Id) AssignMenu(menuResId);
}

TDecoratedMDIFrame::TDecoratedMDIFrame(const char* title, TResId menuResId, TMDIClient& client, bool track)
    : TDecoratedFrame(nullptr, title, &client, track) {
  if (menuResId.Id) AssignMenu(menuResId);
}

namespace plat {

TRect cascade_in_client(const TWindow& child, TRect want) {
  auto* client = dynamic_cast<TMDIClient*>(child.GetParentO());
  if (!client || !client->GetHandle()) return want;
  constexpr int kStep = 24;  // a caption and a border
  const TRect area = client->GetClientRect();
  auto taken = [&](const TRect& r) {
    TPoint at = client->ClientToScreen(TPoint{r.left, r.top});
    for (TWindow* w : client->GetChildren()) {
      if (w == &child || !w->GetHandle() || !w->IsWindowVisible() || !dynamic_cast<TFrameWindow*>(w)) continue;
      TRect other = w->GetWindowRect();
      if (std::abs(other.left - at.x) < kStep / 2 && std::abs(other.top - at.y) < kStep / 2) return true;
    }
    return false;
  };
  // At an offset the window gives up size before place, down to a
  // useful least; past the client's corner the cascade starts again at
  // the top left.
  const int minW = std::min(area.Width(), 240), minH = std::min(area.Height(), 160);
  auto fit = [&](int x, int y) {
    x = std::max(area.left, std::min(x, area.right - minW));
    y = std::max(area.top, std::min(y, area.bottom - minH));
    int w = std::min(want.Width(), area.right - x), h = std::min(want.Height(), area.bottom - y);
    return TRect(x, y, x + w, y + h);
  };
  TRect r = fit(want.left, want.top);
  for (int n = 1; taken(r) && n < 64; ++n) {
    int x = want.left + n * kStep, y = want.top + n * kStep;
    if (x + minW > area.right || y + minH > area.bottom) x = y = area.left + (n % 8) * kStep;
    r = fit(x, y);
  }
  return r;
}

TRect screen_to_parent(const TWindow& child, TRect screen) {
  TWindow* parent = child.GetParentO();
  if (!parent || !parent->GetHandle() || !(child.GetStyle() & WS_CHILD)) return screen;
  TPoint o = parent->ClientToScreen({0, 0});
  return TRect(screen.left - o.x, screen.top - o.y, screen.right - o.x, screen.bottom - o.y);
}

}  // namespace plat
