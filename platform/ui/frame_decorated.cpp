// TDecoratedFrame: bar layout and hints.
#include "platform/ui/frame_decorated.h"

#include <algorithm>

TDecoratedFrame::TDecoratedFrame(TWindow* parent, const char* title, TWindow* client, bool trackMenuSelection)
    : TFrameWindow(parent, title, client), TrackMenuSelection(trackMenuSelection) {}

void TDecoratedFrame::Insert(TWindow& decoration, TLocation location) {
  if (decoration.GetParentO() != this) decoration.SetParent(this);
  decoration.Attr.Style |= WS_CHILD | WS_VISIBLE;
  if (auto* gw = dynamic_cast<TGadgetWindow*>(&decoration))
    if (location == Left || location == Right) gw->SetDirection(TGadgetWindow::Vertical);
  Decorations.push_back({&decoration, location});
  if (GetHandle()) {
    if (!decoration.GetHandle()) decoration.Create();
    Layout();
  }
}

TStatusBar* TDecoratedFrame::GetStatusBar() const {
  for (const Decoration& d : Decorations)
    if (auto* sb = dynamic_cast<TStatusBar*>(d.window)) return sb;
  return nullptr;
}

std::vector<TWindow*> TDecoratedFrame::GetDecorations(TLocation location) const {
  std::vector<TWindow*> r;
  for (const Decoration& d : Decorations)
    if (d.location == location) r.push_back(d.window);
  return r;
}

bool TDecoratedFrame::GetHintText(UINT id, std::string& text) const {
  auto it = Hints.find(id);
  if (it == Hints.end()) return false;
  text = it->second;
  return true;
}

void TDecoratedFrame::SetHintCommand(int id) {
  TStatusBar* sb = GetStatusBar();
  if (!sb) return;
  std::string text;
  if (id == 0 || !GetHintText(static_cast<UINT>(id), text)) text.clear();
  sb->SetText(text.c_str());
}

void TDecoratedFrame::MenuSelect(UINT id) {
  if (TrackMenuSelection) SetHintCommand(static_cast<int>(id));
}

void TDecoratedFrame::Layout() {
  TRect free = GetClientRect();
  auto desired = [](TWindow* w) {
    if (auto* gw = dynamic_cast<TGadgetWindow*>(w)) return gw->GetDesiredSize();
    return TSize{w->Attr.W, w->Attr.H};
  };
  auto place = [](TWindow* w, const TRect& r) {
    if (w->GetHandle()) w->SetWindowPos(nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER);
    else {
      w->Attr.X = r.left, w->Attr.Y = r.top, w->Attr.W = r.Width(), w->Attr.H = r.Height();
    }
  };
  // Top and bottom bars span the width; side bars fill the height between.
  for (const Decoration& d : Decorations) {
    if (!(d.window->GetStyle() & WS_VISIBLE)) continue;
    TSize s = desired(d.window);
    if (d.location == Top) {
      place(d.window, TRect(free.left, free.top, free.right, free.top + s.cy));
      free.top += s.cy;
    } else if (d.location == Bottom) {
      place(d.window, TRect(free.left, free.bottom - s.cy, free.right, free.bottom));
      free.bottom -= s.cy;
    }
  }
  for (const Decoration& d : Decorations) {
    if (!(d.window->GetStyle() & WS_VISIBLE)) continue;
    TSize s = desired(d.window);
    if (d.location == Left) {
      place(d.window, TRect(free.left, free.top, free.left + s.cx, free.bottom));
      free.left += s.cx;
    } else if (d.location == Right) {
      place(d.window, TRect(free.right - s.cx, free.top, free.right, free.bottom));
      free.right -= s.cx;
    }
  }
  if (free.right < free.left) free.right = free.left;
  if (free.bottom < free.top) free.bottom = free.top;
  if (ClientWnd && ClientWnd->GetHandle())
    ClientWnd->SetWindowPos(nullptr, free.left, free.top, free.Width(), free.Height(), SWP_NOZORDER);
}
