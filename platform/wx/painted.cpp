// Windows the program draws itself (frame clients, tool and status bars,
// MDI children): their Paint runs on a recording device context and the
// record is replayed with cairo onto the toolkit's paint context. In a
// bar, the pointer's moves and clicks become the bar's own pointer calls,
// so hints and buttons work as they do headless.
#include <wx/dcclient.h>

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

}  // namespace

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
    if (auto* t = dynamic_cast<TTextGadget*>(g)) now += ":" + t->GetText();
    if (auto* btn = dynamic_cast<TButtonGadget*>(g)) now += "s" + std::to_string(btn->GetButtonState());
    now += "\n";
  }
  if (now == m.shownText) return;
  m.shownText = now;
  m.win->Refresh(false);
}

void make_painted(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent) {
  HWND h = m.hwnd;
  // The model reckons one pixel of border for a child window with one.
  long border = (s.style & WS_BORDER) ? wxBORDER_SIMPLE : wxBORDER_NONE;
  auto* p = new wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxFULL_REPAINT_ON_RESIZE | border);
  p->Bind(wxEVT_PAINT, [h, p](wxPaintEvent&) {
    wxPaintDC dc(p);
    TWindow* obj = window_object(h);
    if (!obj) return;
    DrawRecord record = paint_window(*obj);
    if (record.empty()) return;
    auto* cr = static_cast<cairo_t*>(dc.GetImpl()->GetCairoContext());
    if (cr) render_record(cr, record, 1.0);
  });
  if (auto* f = dynamic_cast<TFrameWindow*>(window_object(h)); f && f->GetMDIFrame()) {
    // A click into an MDI child, or the focus going into it, activates it.
    auto activate = [&r, h](wxEvent& e) {
      e.Skip();
      auto* child = dynamic_cast<TFrameWindow*>(window_object(h));
      if (!child || !child->GetMDIFrame() || child->GetMDIFrame()->GetActiveMDIChild() == child) return;
      Renderer::HandlerScope scope(r);
      child->GetMDIFrame()->MDIActivate(child);
    };
    p->Bind(wxEVT_LEFT_DOWN, activate);
    p->Bind(wxEVT_CHILD_FOCUS, activate);
  }
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
