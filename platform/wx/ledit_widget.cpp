// The large-text edit control on screen: a panel that replays what the
// control paints, with two scroll bars. Keys, characters, the mouse, the
// wheel and the scroll bars go to the control as its window messages, so
// it behaves on screen exactly as it does headless; the control's own
// clipboard calls reach the desktop's clipboard through the renderer.
#include "platform/ledit/control.h"
#include "platform/ui/accel.h"
#include "platform/ui/dc.h"
#include "platform/ui/dc_render.h"
#include "platform/ui/window.h"
#include "platform/wx/renderer.h"

namespace plat::wx {
namespace {

LEditControl* control_of(HWND h) { return dynamic_cast<LEditControl*>(window_object(h)); }

UINT vk_of(int code) {
  switch (code) {
    case WXK_LEFT: case WXK_NUMPAD_LEFT: return VK_LEFT;
    case WXK_RIGHT: case WXK_NUMPAD_RIGHT: return VK_RIGHT;
    case WXK_UP: case WXK_NUMPAD_UP: return VK_UP;
    case WXK_DOWN: case WXK_NUMPAD_DOWN: return VK_DOWN;
    case WXK_HOME: case WXK_NUMPAD_HOME: return VK_HOME;
    case WXK_END: case WXK_NUMPAD_END: return VK_END;
    case WXK_PAGEUP: case WXK_NUMPAD_PAGEUP: return VK_PRIOR;
    case WXK_PAGEDOWN: case WXK_NUMPAD_PAGEDOWN: return VK_NEXT;
    case WXK_INSERT: case WXK_NUMPAD_INSERT: return VK_INSERT;
    case WXK_DELETE: case WXK_NUMPAD_DELETE: return VK_DELETE;
    case WXK_F3: return VK_F3;
    default: return (code >= 'A' && code <= 'Z') ? static_cast<UINT>(code) : 0;
  }
}

struct Parts {
  wxPanel* text;
  wxScrollBar* v;
  wxScrollBar* h;
};

// The bars take the thickness the control leaves for them, so the text
// area on screen is the one the control pages by.
void lay_out(wxWindow* box, Parts p, HWND h) {
  LEditControl* c = control_of(h);
  int bar = c ? c->Metrics().barPx : 16;
  wxSize sz = box->GetClientSize();
  int vw = p.v->IsShown() ? bar : 0;
  int hh = p.h->IsShown() ? bar : 0;
  p.text->SetSize(0, 0, std::max(1, sz.x - vw), std::max(1, sz.y - hh));
  if (vw) p.v->SetSize(sz.x - vw, 0, vw, std::max(1, sz.y - hh));
  if (hh) p.h->SetSize(0, sz.y - hh, std::max(1, sz.x - vw), hh);
}

// Sends one message as the user's action.
LRESULT act(Renderer& r, HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Renderer::HandlerScope scope(r);
  r.note_activity();
  return ::SendMessage(h, msg, wp, lp);
}

WPARAM mouse_keys(const wxMouseEvent& e) {
  return (e.LeftIsDown() ? MK_LBUTTON : 0) | (e.ShiftDown() ? MK_SHIFT : 0) | (e.ControlDown() ? MK_CONTROL : 0);
}

LPARAM point(const wxMouseEvent& e) { return MAKELPARAM(static_cast<WORD>(e.GetX()), static_cast<WORD>(e.GetY())); }

}  // namespace

void make_ledit(Renderer& r, Mirror& m, const Snapshot&, wxWindow* parent) {
  HWND h = m.hwnd;
  auto* box = new wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_SUNKEN);
  Parts p{new wxPanel(box, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE),
          new wxScrollBar(box, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSB_VERTICAL),
          new wxScrollBar(box, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSB_HORIZONTAL)};
  p.text->SetName("ledit-text");
  p.text->SetBackgroundStyle(wxBG_STYLE_PAINT);
  box->Bind(wxEVT_SIZE, [box, p, h](wxSizeEvent& e) {
    e.Skip();
    lay_out(box, p, h);
  });
  p.text->Bind(wxEVT_PAINT, [h, t = p.text](wxPaintEvent&) { paint_from_model(t, h); });
  p.text->Bind(wxEVT_KEY_DOWN, [&r, h](wxKeyEvent& e) {
    UINT vk = vk_of(e.GetKeyCode());
    bool ctrlLetter = e.ControlDown() && e.GetKeyCode() >= 'A' && e.GetKeyCode() <= 'Z';
    if (!vk || (vk >= 'A' && vk <= 'Z' && !ctrlLetter)) {
      e.Skip();  // a character: comes as wxEVT_CHAR
      return;
    }
    set_key_down(VK_SHIFT, e.ShiftDown());
    set_key_down(VK_CONTROL, e.ControlDown());
    LRESULT notTaken = act(r, h, WM_KEYDOWN, vk, 0);
    set_key_down(VK_SHIFT, false);
    set_key_down(VK_CONTROL, false);
    if (notTaken) e.Skip();
  });
  p.text->Bind(wxEVT_CHAR, [&r, h](wxKeyEvent& e) {
    int code = e.GetKeyCode();
    if (e.ControlDown() || e.AltDown()) return e.Skip();
    if (code == WXK_RETURN || code == WXK_NUMPAD_ENTER) return void(act(r, h, WM_CHAR, '\r', 0));
    if (code == WXK_BACK) return void(act(r, h, WM_CHAR, '\b', 0));
    if (code == WXK_TAB) return void(act(r, h, WM_CHAR, '\t', 0));
    wxChar uc = e.GetUnicodeKey();
    if (uc == WXK_NONE || uc < 32) return e.Skip();
    for (char c : from_wx(wxString(uc))) act(r, h, WM_CHAR, static_cast<unsigned char>(c), 0);
  });
  p.text->Bind(wxEVT_LEFT_DOWN, [&r, h, t = p.text](wxMouseEvent& e) {
    t->SetFocus();
    t->CaptureMouse();
    act(r, h, WM_LBUTTONDOWN, mouse_keys(e), point(e));
  });
  p.text->Bind(wxEVT_LEFT_DCLICK, [&r, h](wxMouseEvent& e) { act(r, h, WM_LBUTTONDBLCLK, mouse_keys(e), point(e)); });
  p.text->Bind(wxEVT_MOTION, [&r, h](wxMouseEvent& e) {
    if (e.LeftIsDown()) act(r, h, WM_MOUSEMOVE, mouse_keys(e), point(e));
  });
  p.text->Bind(wxEVT_LEFT_UP, [&r, h, t = p.text](wxMouseEvent& e) {
    if (t->HasCapture()) t->ReleaseMouse();
    act(r, h, WM_LBUTTONUP, mouse_keys(e), point(e));
  });
  p.text->Bind(wxEVT_MOUSE_CAPTURE_LOST, [](wxMouseCaptureLostEvent&) {});
  p.text->Bind(wxEVT_MOUSEWHEEL, [&r, h](wxMouseEvent& e) {
    int delta = e.GetWheelRotation() * 120 / std::max(1, e.GetWheelDelta());
    act(r, h, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(static_cast<short>(delta))), point(e));
  });
  auto scrolled = [&r, h](bool vertical) {
    return [&r, h, vertical](wxScrollEvent& e) {
      WORD code = SB_THUMBTRACK;
      auto t = e.GetEventType();
      if (t == wxEVT_SCROLL_LINEUP) code = SB_LINEUP;
      else if (t == wxEVT_SCROLL_LINEDOWN) code = SB_LINEDOWN;
      else if (t == wxEVT_SCROLL_PAGEUP) code = SB_PAGEUP;
      else if (t == wxEVT_SCROLL_PAGEDOWN) code = SB_PAGEDOWN;
      else if (t == wxEVT_SCROLL_TOP) code = SB_TOP;
      else if (t == wxEVT_SCROLL_BOTTOM) code = SB_BOTTOM;
      act(r, h, vertical ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(code, static_cast<WORD>(e.GetPosition())), 0);
    };
  };
  p.v->Bind(wxEVT_SCROLL_CHANGED, scrolled(true));
  p.v->Bind(wxEVT_SCROLL_THUMBTRACK, scrolled(true));
  p.v->Bind(wxEVT_SCROLL_LINEUP, scrolled(true));
  p.v->Bind(wxEVT_SCROLL_LINEDOWN, scrolled(true));
  p.v->Bind(wxEVT_SCROLL_PAGEUP, scrolled(true));
  p.v->Bind(wxEVT_SCROLL_PAGEDOWN, scrolled(true));
  p.h->Bind(wxEVT_SCROLL_CHANGED, scrolled(false));
  p.h->Bind(wxEVT_SCROLL_THUMBTRACK, scrolled(false));
  bind_focus(r, p.text, h);
  m.win = box;
  m.buddy = p.text;
}

void show_ledit(Renderer&, Mirror& m, const Snapshot&) {
  LEditControl* c = control_of(m.hwnd);
  if (!c || !m.win) return;
  plat::ledit::ViewMetrics vm = c->Metrics();
  auto* box = m.win;
  wxScrollBar* v = nullptr;
  wxScrollBar* hz = nullptr;
  for (wxWindow* w : box->GetChildren())
    if (auto* sb = dynamic_cast<wxScrollBar*>(w)) (sb->IsVertical() ? v : hz) = sb;
  if (!v || !hz) return;
  bool relayout = v->IsShown() != vm.vScroll || hz->IsShown() != vm.hScroll;
  v->Show(vm.vScroll);
  hz->Show(vm.hScroll);
  // Thumb positions are ints: texts of more lines than that scroll by the line.
  int lines = static_cast<int>(std::min<size_t>(vm.lines, 0x7FFFFFF));
  int page = static_cast<int>(vm.pageLines);
  v->SetScrollbar(static_cast<int>(vm.topLine), page, lines + page - 1, page);
  int width = std::max(1, m.buddy->GetClientSize().x);
  hz->SetScrollbar(vm.leftPx, width, std::max(vm.widthPx + width / 2, vm.leftPx + width), width);
  if (relayout) {
    wxSizeEvent ev(box->GetSize());
    box->GetEventHandler()->ProcessEvent(ev);
  }
  m.buddy->Refresh(false);
}

}  // namespace plat::wx
