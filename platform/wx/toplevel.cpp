// Frames and dialogs on screen. The model's rectangle of a top-level
// window includes the border and caption it reckons with; the real window
// gets the model's client size at the model's position. The close box,
// Esc and Enter become the model's WM_CLOSE, IDCANCEL and default button;
// a frame the user moves or sizes tells the model, which sends WM_SIZE.
#include "platform/ui/accel.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "platform/ui/dialog.h"
#include "platform/ui/window.h"
#include "platform/wx/renderer.h"

namespace plat::wx {
namespace {

// The command Enter gives in a dialog: its default push button, else IDOK.
void press_enter(Renderer& r, HWND dlg) {
  Renderer::HandlerScope scope(r);
  WindowRef ref = find_window(dlg);
  if (!ref) return;
  std::vector<HWND> kids;
  {
    std::lock_guard lock(ref->mu);
    kids = ref->children;
  }
  int id = IDOK;
  for (HWND k : kids) {
    Snapshot s;
    if (snapshot(k, s) && s.cls == "BUTTON" && (s.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
      id = s.id;
      break;
    }
  }
  HWND button = GetDlgItem(dlg, id);
  if (button) {
    Snapshot s;
    if (snapshot(button, s) && (s.style & WS_DISABLED)) {
      MessageBeep(MB_OK);
      return;
    }
  }
  ::PostMessage(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// Enter stays with a focused push button and with an edit that wants it.
bool enter_is_local(Renderer& r) {
  HWND f = r.hwnd_of(wxWindow::FindFocus());
  Snapshot s;
  if (!f || !snapshot(f, s)) return false;
  if (s.cls == "BUTTON") {
    UINT t = s.style & BS_TYPEMASK;
    return t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON;
  }
  return s.cls == "EDIT" && (s.style & ES_MULTILINE) && (s.style & ES_WANTRETURN);
}

// A dialog's background as its WM_CTLCOLORDLG handler gives it.
void show_dialog_colour(Mirror& m, wxDialog* d) {
  TClientDC dc(m.hwnd);
  ControlColors c = ask_control_colors(m.hwnd, dc);
  ControlColors standard = default_control_colors(WM_CTLCOLORDLG);
  bool custom = c.brush != standard.brush && !c.brushNull;
  std::string key = custom ? std::to_string(c.brush) : std::string();
  if (key == m.shownColors) return;
  m.shownColors = key;
  d->SetBackgroundColour(custom ? wxColour(GetRValue(c.brush), GetGValue(c.brush), GetBValue(c.brush)) : wxNullColour);
  d->Refresh();
}

// Tab and the arrows move as the model's dialog keys say (tab stops,
// groups), not by the toolkit's order of widgets.
bool dialog_move(Renderer& r, wxKeyEvent& e) {
  UINT vk = 0;
  switch (e.GetKeyCode()) {
    case WXK_TAB: vk = VK_TAB; break;
    case WXK_LEFT: vk = VK_LEFT; break;
    case WXK_RIGHT: vk = VK_RIGHT; break;
    case WXK_UP: vk = VK_UP; break;
    case WXK_DOWN: vk = VK_DOWN; break;
    default: return false;
  }
  BYTE mods = (e.ShiftDown() ? FSHIFT : 0) | (e.ControlDown() ? FCONTROL : 0) | (e.AltDown() ? FALT : 0);
  HWND focus = r.hwnd_of(wxWindow::FindFocus());
  if (!focus) focus = ::GetFocus();
  Renderer::HandlerScope scope(r);
  return dialog_key(focus, vk, mods);
}

void nonclient(UINT style, int& border, int& caption) {
  border = (style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME)) ? 3 : 0;
  caption = ((style & WS_CAPTION) == WS_CAPTION) ? 19 : 0;
}

}  // namespace

void make_toplevel(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent) {
  HWND h = m.hwnd;
  wxString title = to_wx(s.text);
  long st = 0;
  if ((s.style & WS_CAPTION) == WS_CAPTION) st |= wxCAPTION;
  if (s.style & WS_SYSMENU) st |= wxSYSTEM_MENU | wxCLOSE_BOX;
  if (s.style & WS_THICKFRAME) st |= wxRESIZE_BORDER;
  if (s.exStyle & WS_EX_TOPMOST) st |= wxSTAY_ON_TOP;
  TWindow* obj = window_object(h);
  wxTopLevelWindow* top;
  if (dynamic_cast<TDialog*>(obj)) {
    auto* d = new wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, st);
    d->Bind(wxEVT_CHAR_HOOK, [&r, h](wxKeyEvent& e) {
      int k = e.GetKeyCode();
      if (k == WXK_ESCAPE) {
        Renderer::HandlerScope scope(r);
        ::PostMessage(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(h, IDCANCEL)));
      } else if ((k == WXK_RETURN || k == WXK_NUMPAD_ENTER) && !enter_is_local(r)) {
        press_enter(r, h);
      } else if (!dialog_move(r, e)) {
        e.Skip();
      }
    });
    // The toolkit places a dialog (centred on its owner); the model learns
    // where, and where the user moves it.
    d->Bind(wxEVT_MOVE, [&r, h](wxMoveEvent& e) {
      e.Skip();
      if (r.syncing()) return;
      if (Mirror* mm = r.mirror(h); mm && mm->placed) user_resized(r, *mm);
    });
    top = d;
    m.container = d;
  } else {
    if (s.style & WS_MINIMIZEBOX) st |= wxMINIMIZE_BOX;
    if (s.style & WS_MAXIMIZEBOX) st |= wxMAXIMIZE_BOX;
    auto* f = new wxFrame(parent, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, st);
    m.container = new wxPanel(f, wxID_ANY);
    f->Bind(wxEVT_SIZE, [&r, h](wxSizeEvent& e) {
      e.Skip();
      if (r.syncing()) return;
      if (Mirror* mm = r.mirror(h)) user_resized(r, *mm);
    });
    f->Bind(wxEVT_CHAR_HOOK, [&r, h](wxKeyEvent& e) {
      if (!frame_key(r, h, e)) e.Skip();
    });
    f->Bind(wxEVT_MOVE, [&r, h](wxMoveEvent& e) {
      e.Skip();
      if (r.syncing()) return;
      if (Mirror* mm = r.mirror(h)) user_resized(r, *mm);
    });
    top = f;
  }
  top->Bind(wxEVT_CLOSE_WINDOW, [&r, h](wxCloseEvent& e) {
    if (!e.CanVeto()) {
      e.Skip();
      return;
    }
    e.Veto();  // the model decides whether it closes
    Renderer::HandlerScope scope(r);
    ::PostMessage(h, WM_CLOSE, 0, 0);
  });
  top->Bind(wxEVT_DESTROY, [&r, top](wxWindowDestroyEvent& e) {
    e.Skip();
    if (e.GetEventObject() == top) r.widget_gone(top);
  });
  top->SetFont(font_for(h));
  m.container->SetFont(top->GetFont());
  m.win = top;
}

void show_toplevel(Renderer& r, Mirror& m, const Snapshot& s) {
  auto* top = static_cast<wxTopLevelWindow*>(m.win);
  if (m.shownText != s.text) {
    m.shownText = s.text;
    m.shownTitle.clear();
    top->SetTitle(to_wx(s.text));
  }
  // A frame's bar, its MDI children's stack and its title with a
  // maximised child's; a dialog's background.
  refresh_frame(r, m);
  if (auto* d = dynamic_cast<wxDialog*>(top)) show_dialog_colour(m, d);
  int border, caption;
  nonclient(s.style, border, caption);
  wxSize client(std::max(1, s.rect.Width() - 2 * border), std::max(1, s.rect.Height() - 2 * border - caption));
  if (top->GetClientSize() != client) top->SetClientSize(client);
  wxPoint pos(s.rect.left, s.rect.top);
  bool dialog = dynamic_cast<wxDialog*>(top) != nullptr;
  if (m.placed ? pos != m.shownPos : !dialog) {
    if (top->GetPosition() != pos) top->Move(pos);
    m.shownPos = pos;
    m.placed = true;
  }
  bool visible = s.style & WS_VISIBLE;
  if (top->IsShown() != visible) {
    top->Show(visible);
    if (visible && !m.placed) {
      m.placed = true;
      user_resized(r, m);
    }
  }
  bool enabled = !(s.style & WS_DISABLED);
  if (!m.modal && top->IsThisEnabled() != enabled) top->Enable(enabled);
}

void user_resized(Renderer& r, Mirror& m) {
  auto* top = static_cast<wxTopLevelWindow*>(m.win);
  if (top->IsIconized()) return;
  Snapshot s;
  if (!snapshot(m.hwnd, s)) return;
  int border, caption;
  nonclient(s.style, border, caption);
  wxPoint pos = top->GetPosition();
  wxSize client = top->GetClientSize();
  TRect want(pos.x, pos.y, pos.x + client.x + 2 * border, pos.y + client.y + 2 * border + caption);
  m.shownPos = pos;
  if (want == s.rect) return;
  Renderer::HandlerScope scope(r);
  TWindow alias(m.hwnd);
  alias.SetWindowPos(nullptr, want.left, want.top, want.Width(), want.Height(), SWP_NOZORDER);
}

}  // namespace plat::wx
