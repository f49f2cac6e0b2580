// Windows the program draws itself (frame clients, tool and status bars,
// MDI children): their Paint runs on a recording device context and the
// record is replayed with cairo onto the toolkit's paint context. In a
// bar, the pointer's moves and clicks become the bar's own pointer calls,
// so hints and buttons work as they do headless. An MDI child is two
// windows: an outer one with the border, caption and boxes drawn here (the
// pointer on them moves, sizes, maximises, minimises and closes the child
// through the model) and an inner one for its client area, which holds
// its children.
#include <wx/dcclient.h>

#include <algorithm>
#include <memory>

#include "platform/ui/dc.h"
#include "platform/ui/dc_render.h"
#include "platform/ui/frame.h"
#include "platform/ui/gadget_window.h"
#include "platform/ui/window.h"
#include "platform/wx/renderer.h"

namespace plat::wx {
namespace {

int gadget_at(HWND h, wxPoint p) {
  auto* bar = dynamic_cast<TGadgetWindow*>(window_object(h));
  if (!bar) return 0;
  for (int i = 0; i < bar->GadgetCount(); ++i) {
    TGadget* g = bar->GadgetAt(i);
    const TRect& b = g->GetBounds();
    if (p.x >= b.left && p.x < b.right && p.y >= b.top && p.y < b.bottom) return g->GetId();
  }
  return 0;
}

// ---- MDI children: the caption, border and boxes drawn here ----

TFrameWindow* mdi_child(HWND h) {
  auto* f = dynamic_cast<TFrameWindow*>(window_object(h));
  return f && f->GetMDIFrame() ? f : nullptr;
}

enum class Hit { None, Client, Caption, Minimize, Maximize, Close, Left, Right, Top, Bottom, TopLeft, TopRight,
                 BottomLeft, BottomRight };

struct ChildLook {
  int border = 0, caption = 0;
  wxSize size;
  bool active = false, maximized = false, minimized = false, sizable = false;
  wxRect box(Hit which) const {
    const int bw = 16, bh = caption - 5;
    int x = size.x - border - 2 - bw;
    if (which == Hit::Maximize) x -= bw + 2;
    if (which == Hit::Minimize) x -= 2 * bw + 2;
    return wxRect(x, border + 2, bw, bh);
  }
};

ChildLook look_of(TFrameWindow& f, wxWindow* w) {
  ChildLook l;
  f.NonClient(l.border, l.caption);
  l.size = w->GetSize();
  l.active = f.GetMDIFrame()->GetActiveMDIChild() == &f;
  l.maximized = f.IsMaximized();
  l.minimized = f.IsMinimized();
  l.sizable = (f.GetStyle() & WS_THICKFRAME) && !l.maximized && !l.minimized;
  return l;
}

Hit hit_test(const ChildLook& l, wxPoint p) {
  for (Hit b : {Hit::Close, Hit::Maximize, Hit::Minimize})
    if (l.box(b).Contains(p)) return b;
  const int grip = std::max(l.border, 4);
  if (l.sizable) {
    bool left = p.x < grip, right = p.x >= l.size.x - grip, top = p.y < grip, bottom = p.y >= l.size.y - grip;
    if (top && left) return Hit::TopLeft;
    if (top && right) return Hit::TopRight;
    if (bottom && left) return Hit::BottomLeft;
    if (bottom && right) return Hit::BottomRight;
    if (left) return Hit::Left;
    if (right) return Hit::Right;
    if (top) return Hit::Top;
    if (bottom) return Hit::Bottom;
  }
  if (p.y < l.border + l.caption) return Hit::Caption;
  return Hit::Client;
}

void draw_edge(wxDC& dc, wxRect r, bool raised) {
  dc.SetPen(wxPen(raised ? *wxWHITE : wxColour(128, 128, 128)));
  dc.DrawLine(r.x, r.y, r.x + r.width - 1, r.y);
  dc.DrawLine(r.x, r.y, r.x, r.y + r.height - 1);
  dc.SetPen(wxPen(raised ? wxColour(64, 64, 64) : *wxWHITE));
  dc.DrawLine(r.x, r.y + r.height - 1, r.x + r.width, r.y + r.height - 1);
  dc.DrawLine(r.x + r.width - 1, r.y, r.x + r.width - 1, r.y + r.height);
}

void draw_box(wxDC& dc, wxRect b, Hit which, bool maximized, bool minimized, bool pressed) {
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(wxColour(192, 192, 192)));
  dc.DrawRectangle(b);
  draw_edge(dc, b, !pressed);
  dc.SetPen(wxPen(*wxBLACK, 2));
  int x = b.x + 4 + (pressed ? 1 : 0), y = b.y + 3 + (pressed ? 1 : 0), w = b.width - 8, h = b.height - 6;
  if (which == Hit::Close) {
    dc.DrawLine(x, y, x + w, y + h);
    dc.DrawLine(x + w, y, x, y + h);
  } else if (which == Hit::Minimize && !minimized) {
    dc.DrawLine(x, y + h, x + w - 2, y + h);
  } else if (which == Hit::Maximize && !maximized && !minimized) {
    dc.SetPen(wxPen(*wxBLACK, 1));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(x, y, w + 1, h + 1);
    dc.DrawLine(x, y + 1, x + w, y + 1);
  } else {
    // Restore: two windows over each other.
    dc.SetPen(wxPen(*wxBLACK, 1));
    dc.SetBrush(wxBrush(wxColour(192, 192, 192)));
    dc.DrawRectangle(x + 3, y, w - 2, h - 2);
    dc.DrawRectangle(x, y + 3, w - 2, h - 2);
  }
}

// The colours of an active and an inactive caption.
const wxColour kActiveCaption(0, 0, 128);
const wxColour kInactiveCaption(128, 128, 128);

void paint_frame_of_child(wxWindow* w, HWND h, Hit pressed) {
  wxPaintDC dc(w);
  TFrameWindow* f = mdi_child(h);
  if (!f) return;
  ChildLook l = look_of(*f, w);
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(wxColour(192, 192, 192)));
  dc.DrawRectangle(0, 0, l.size.x, l.size.y);
  draw_edge(dc, wxRect(0, 0, l.size.x, l.size.y), true);
  wxRect bar(l.border, l.border, l.size.x - 2 * l.border, l.caption - 1);
  dc.SetBrush(wxBrush(l.active ? kActiveCaption : kInactiveCaption));
  dc.DrawRectangle(bar);
  dc.SetFont(wxFont(wxFontInfo(wxSize(0, l.caption - 6)).Bold().FaceName("Liberation Sans")));
  dc.SetTextForeground(l.active ? *wxWHITE : wxColour(212, 208, 200));
  wxString title = to_wx(f->GetText());
  int room = l.box(Hit::Minimize).x - bar.x - 6;
  wxDCClipper clip(dc, wxRect(bar.x + 3, bar.y, std::max(0, room), bar.height));
  wxSize t = dc.GetTextExtent(title);
  dc.DrawText(title, bar.x + 4, bar.y + (bar.height - t.y) / 2);
  dc.DestroyClippingRegion();
  for (Hit b : {Hit::Minimize, Hit::Maximize, Hit::Close})
    draw_box(dc, l.box(b), b, l.maximized, l.minimized, pressed == b);
}

wxStockCursor cursor_for(Hit hit) {
  switch (hit) {
    case Hit::Left:
    case Hit::Right: return wxCURSOR_SIZEWE;
    case Hit::Top:
    case Hit::Bottom: return wxCURSOR_SIZENS;
    case Hit::TopLeft:
    case Hit::BottomRight: return wxCURSOR_SIZENWSE;
    case Hit::TopRight:
    case Hit::BottomLeft: return wxCURSOR_SIZENESW;
    default: return wxCURSOR_ARROW;
  }
}

// A drag of the caption or an edge, or a press on a box.
struct ChildDrag {
  Hit what = Hit::None;
  wxPoint start;  // screen
  TRect rect;     // the child's rectangle in its parent's client when the drag began
};

TRect dragged(const ChildDrag& d, wxPoint now) {
  int dx = now.x - d.start.x, dy = now.y - d.start.y;
  TRect r = d.rect;
  const int minW = 100, minH = 30;
  switch (d.what) {
    case Hit::Caption: return TRect(r.left + dx, r.top + dy, r.right + dx, r.bottom + dy);
    case Hit::Left:
    case Hit::TopLeft:
    case Hit::BottomLeft: r.left = std::min(r.left + dx, r.right - minW); break;
    case Hit::Right:
    case Hit::TopRight:
    case Hit::BottomRight: r.right = std::max(r.right + dx, r.left + minW); break;
    default: break;
  }
  switch (d.what) {
    case Hit::Top:
    case Hit::TopLeft:
    case Hit::TopRight: r.top = std::min(r.top + dy, r.bottom - minH); break;
    case Hit::Bottom:
    case Hit::BottomLeft:
    case Hit::BottomRight: r.bottom = std::max(r.bottom + dy, r.top + minH); break;
    default: break;
  }
  return r;
}

void activate_child(Renderer& r, HWND h) {
  TFrameWindow* child = mdi_child(h);
  if (!child || child->GetMDIFrame()->GetActiveMDIChild() == child) return;
  Renderer::HandlerScope scope(r);
  child->GetMDIFrame()->MDIActivate(child);
}

void make_mdi_child(Renderer& r, Mirror& m, wxWindow* parent) {
  HWND h = m.hwnd;
  auto* outer =
      new wxWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxFULL_REPAINT_ON_RESIZE | wxBORDER_NONE);
  auto* inner = new wxPanel(outer, wxID_ANY);
  auto drag = std::make_shared<ChildDrag>();
  outer->Bind(wxEVT_PAINT, [outer, h, drag](wxPaintEvent&) { paint_frame_of_child(outer, h, drag->what); });
  outer->Bind(wxEVT_ERASE_BACKGROUND, [](wxEraseEvent&) {});
  inner->Bind(wxEVT_PAINT, [h, inner](wxPaintEvent&) { paint_from_model(inner, h); });
  outer->Bind(wxEVT_LEFT_DOWN, [&r, h, outer, drag](wxMouseEvent& e) {
    activate_child(r, h);
    TFrameWindow* f = mdi_child(h);
    if (!f) return;
    Hit hit = hit_test(look_of(*f, outer), e.GetPosition());
    if (hit == Hit::Client || hit == Hit::None) return;
    if (hit == Hit::Caption && f->IsMaximized()) return;
    drag->what = hit;
    drag->start = outer->ClientToScreen(e.GetPosition());
    WindowRef ref = find_window(h);
    if (ref) {
      std::lock_guard lock(ref->mu);
      drag->rect = ref->rect;
    }
    if (!outer->HasCapture()) outer->CaptureMouse();
    outer->Refresh(false);
  });
  outer->Bind(wxEVT_MOTION, [&r, h, outer, drag](wxMouseEvent& e) {
    TFrameWindow* f = mdi_child(h);
    if (!f) return;
    if (drag->what == Hit::None) {
      outer->SetCursor(wxCursor(cursor_for(hit_test(look_of(*f, outer), e.GetPosition()))));
      return;
    }
    if (drag->what == Hit::Close || drag->what == Hit::Minimize || drag->what == Hit::Maximize) return;
    TRect want = dragged(*drag, outer->ClientToScreen(e.GetPosition()));
    Renderer::HandlerScope scope(r);
    f->SetWindowPos(nullptr, want, SWP_NOZORDER);
  });
  auto finish = [&r, h, outer, drag](wxPoint at, bool released) {
    Hit what = drag->what;
    drag->what = Hit::None;
    if (outer->HasCapture()) outer->ReleaseMouse();
    outer->Refresh(false);
    TFrameWindow* f = mdi_child(h);
    if (!f || !released) return;
    // A box acts when the button comes up over it, as on the desktop.
    if (what != Hit::Close && what != Hit::Minimize && what != Hit::Maximize) return;
    if (hit_test(look_of(*f, outer), at) != what) return;
    UINT sc = what == Hit::Close ? SC_CLOSE
              : what == Hit::Minimize ? (f->IsMinimized() ? SC_RESTORE : SC_MINIMIZE)
                                      : (f->IsMaximized() || f->IsMinimized() ? SC_RESTORE : SC_MAXIMIZE);
    Renderer::HandlerScope scope(r);
    f->MDISysCommand(sc);
  };
  outer->Bind(wxEVT_LEFT_UP, [finish](wxMouseEvent& e) { finish(e.GetPosition(), true); });
  outer->Bind(wxEVT_MOUSE_CAPTURE_LOST, [finish](wxMouseCaptureLostEvent&) { finish({}, false); });
  outer->Bind(wxEVT_LEFT_DCLICK, [&r, h, outer](wxMouseEvent& e) {
    TFrameWindow* f = mdi_child(h);
    if (!f || hit_test(look_of(*f, outer), e.GetPosition()) != Hit::Caption) return;
    Renderer::HandlerScope scope(r);
    f->MDISysCommand(f->IsMaximized() || f->IsMinimized() ? SC_RESTORE : SC_MAXIMIZE);
  });
  // The system menu, on the caption's right button.
  outer->Bind(wxEVT_RIGHT_UP, [&r, h, outer](wxMouseEvent& e) {
    TFrameWindow* f = mdi_child(h);
    if (!f || hit_test(look_of(*f, outer), e.GetPosition()) != Hit::Caption) return;
    activate_child(r, h);
    const struct {
      UINT sc;
      const char* text;
      bool enabled;
    } items[] = {{SC_RESTORE, "&Restore", f->IsMaximized() || f->IsMinimized()},
                 {SC_MINIMIZE, "Mi&nimize", !f->IsMinimized()},
                 {SC_MAXIMIZE, "Ma&ximize", !f->IsMaximized()},
                 {SC_CLOSE, "&Close", true},
                 {SC_NEXTWINDOW, "Nex&t", true}};
    wxMenu menu;
    for (int i = 0; i < 5; ++i) {
      if (items[i].sc == SC_CLOSE) menu.AppendSeparator();
      menu.Append(wxID_HIGHEST + 1 + i, to_wx(items[i].text))->Enable(items[i].enabled);
    }
    int pick = outer->GetPopupMenuSelectionFromUser(menu, e.GetPosition()) - wxID_HIGHEST - 1;
    if (pick < 0 || pick >= 5) return;
    Renderer::HandlerScope scope(r);
    if (TFrameWindow* still = mdi_child(h)) still->MDISysCommand(items[pick].sc);
  });
  // A click into the child's client, or the focus going into it, activates it.
  auto activate = [&r, h](wxEvent& e) {
    e.Skip();
    activate_child(r, h);
  };
  inner->Bind(wxEVT_LEFT_DOWN, activate);
  inner->Bind(wxEVT_CHILD_FOCUS, activate);
  m.win = outer;
  m.container = inner;
}

}  // namespace

void paint_from_model(wxWindow* w, HWND h) {
  wxPaintDC dc(w);
  TWindow* obj = window_object(h);
  if (!obj) return;
  DrawRecord record;
  {
    Renderer::ReadScope reading;
    record = paint_window(*obj);
  }
  if (record.empty()) return;
  auto* cr = static_cast<cairo_t*>(dc.GetImpl()->GetCairoContext());
  if (cr) render_record(cr, record, 1.0);
}

void place_mdi_child(Mirror& m) {
  TFrameWindow* f = mdi_child(m.hwnd);
  if (!f || !m.container || m.container == m.win) return;
  int border, caption;
  f->NonClient(border, caption);
  wxSize s = m.win->GetSize();
  wxRect inner(border, border + caption, std::max(0, s.x - 2 * border), std::max(0, s.y - 2 * border - caption));
  if (m.container->GetRect() != inner) m.container->SetSize(inner);
  m.container->Show(!f->IsMinimized());
  m.win->Refresh(false);
  m.container->Refresh(false);
}

void repaint_if_bar_changed(Mirror& m) {
  auto* bar = dynamic_cast<TGadgetWindow*>(window_object(m.hwnd));
  if (!bar || !m.win) return;
  // Gadgets change their texts (from any thread) and grey states without
  // telling their window: compare what the bar would show.
  std::string now;
  for (int i = 0; i < bar->GadgetCount(); ++i) {
    TGadget* g = bar->GadgetAt(i);
    const TRect& b = g->GetBounds();
    now += std::to_string(g->GetId()) + (g->GetEnabled() ? "+" : "-") + std::to_string(b.left) + "," +
           std::to_string(b.top) + "," + std::to_string(b.right) + "," + std::to_string(b.bottom);
    if (auto* t = dynamic_cast<TTextGadget*>(g)) now.append(":").append(t->GetText());
    if (auto* btn = dynamic_cast<TButtonGadget*>(g)) now.append("s").append(std::to_string(btn->GetButtonState()));
    now += "\n";
  }
  if (now == m.shownText) return;
  m.shownText = now;
  m.win->Refresh(false);
}

void make_painted(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent) {
  HWND h = m.hwnd;
  if (mdi_child(h)) {
    make_mdi_child(r, m, parent);
    return;
  }
  // The model reckons one pixel of border for a child window with one.
  long border = (s.style & WS_BORDER) ? wxBORDER_SIMPLE : wxBORDER_NONE;
  auto* p = new wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxFULL_REPAINT_ON_RESIZE | border);
  p->Bind(wxEVT_PAINT, [h, p](wxPaintEvent&) { paint_from_model(p, h); });
  if (dynamic_cast<TGadgetWindow*>(window_object(h))) {
    auto last = std::make_shared<int>(0);
    p->Bind(wxEVT_MOTION, [&r, h, last](wxMouseEvent& e) {
      e.Skip();
      int id = gadget_at(h, e.GetPosition());
      if (id == *last) return;
      *last = id;
      Renderer::HandlerScope scope(r);
      if (auto* bar = dynamic_cast<TGadgetWindow*>(window_object(h))) {
        if (id) bar->PointerEnter(id);
        else bar->PointerLeave();
      }
    });
    p->Bind(wxEVT_LEAVE_WINDOW, [&r, h, last](wxMouseEvent& e) {
      e.Skip();
      *last = 0;
      Renderer::HandlerScope scope(r);
      if (auto* bar = dynamic_cast<TGadgetWindow*>(window_object(h))) bar->PointerLeave();
    });
    p->Bind(wxEVT_LEFT_UP, [&r, h](wxMouseEvent& e) {
      e.Skip();
      int id = gadget_at(h, e.GetPosition());
      if (!id) return;
      Renderer::HandlerScope scope(r);
      if (auto* bar = dynamic_cast<TGadgetWindow*>(window_object(h))) bar->PressButton(id);
      r.window_changed(h);
    });
  }
  m.win = p;
}

}  // namespace plat::wx
