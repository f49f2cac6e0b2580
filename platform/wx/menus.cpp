// Menu bars and accelerators of frames. The model owns the bar (merged
// with the active MDI child's); the toolkit bar is rebuilt whenever the
// model's differs from the one last built. Opening a popup runs the
// model's command enablers and then shows their grey and check marks; a
// pick goes through the model's menu choice, so a grey command never
// runs. Keys are offered to the frames' accelerator tables first, the
// innermost frame first, as the model's own key handling does.
#include <gtk/gtk.h>

#include "platform/ui/accel.h"
#include "platform/ui/frame.h"
#include "platform/ui/menu.h"
#include "platform/wx/renderer.h"

namespace plat::wx {
namespace {

// Toolkit ids of menu items are numbered from here at each build (the
// toolkit takes ids below 0x7FFF only; commands go up to 0xFFFF).
constexpr int kFirstItemId = 10000;

// The shortcut after a tab is shown, not registered: keys go through the
// model's tables, and the texts ("Ctrl-F2") are not the toolkit's syntax.
wxString item_label(const std::string& text) {
  std::string t = text;
  size_t tab = t.find('\t');
  if (tab != std::string::npos) t = t.substr(0, tab) + "    " + t.substr(tab + 1);
  return to_wx(t);
}

void describe(HMENU menu, std::string& out) {
  for (const MenuItem& it : menu_items(menu)) {
    out += std::to_string(it.flags & (MF_POPUP | MF_SEPARATOR)) + ":" + std::to_string(it.id) + ":" + it.text;
    if (it.popup) {
      out += "{";
      describe(it.popup, out);
      out += "}";
    }
    out += "\n";
  }
}

wxMenu* build(Mirror& m, HMENU popup) {
  auto* menu = new wxMenu;
  m.popups[menu] = popup;
  for (const MenuItem& it : menu_items(popup)) {
    if (it.flags & MF_SEPARATOR) menu->AppendSeparator();
    else if (it.popup) menu->AppendSubMenu(build(m, it.popup), item_label(it.text));
    else {
      int wxId = kFirstItemId + static_cast<int>(m.commands.size());
      m.commands[wxId] = it.id;
      menu->Append(wxId, item_label(it.text));
    }
  }
  return menu;
}

// Grey and check marks of a popup's items as the model has them.
void show_marks(wxMenu* menu, HMENU popup) {
  std::vector<MenuItem> items = menu_items(popup);
  wxMenuItemList& list = menu->GetMenuItems();
  size_t i = 0;
  for (auto node = list.GetFirst(); node && i < items.size(); node = node->GetNext(), ++i) {
    wxMenuItem* w = node->GetData();
    const MenuItem& it = items[i];
    if (it.flags & MF_SEPARATOR) continue;
    bool enabled = !(it.flags & (MF_GRAYED | MF_DISABLED));
    if (w->IsEnabled() != enabled) w->Enable(enabled);
    if (!it.popup && (it.flags & MF_CHECKED) && !w->IsCheckable()) w->SetCheckable(true);
    if (w->IsCheckable()) w->Check(it.flags & MF_CHECKED);
  }
}

TFrameWindow* frame_of(HWND h) { return dynamic_cast<TFrameWindow*>(window_object(h)); }

void bind_menu_events(Renderer& r, Mirror& m) {
  HWND h = m.hwnd;
  wxWindow* w = m.win;
  w->Bind(wxEVT_MENU_OPEN, [&r, h](wxMenuEvent& e) {
    e.Skip();
    Mirror* mm = r.mirror(h);
    TFrameWindow* f = frame_of(h);
    auto it = mm ? mm->popups.find(e.GetMenu()) : decltype(mm->popups.end()){};
    if (!f || !mm || it == mm->popups.end()) return;
    Renderer::HandlerScope scope(r);
    f->InitMenuPopup(it->second);
    show_marks(e.GetMenu(), it->second);
  });
  w->Bind(wxEVT_MENU, [&r, h](wxCommandEvent& e) {
    Mirror* mm = r.mirror(h);
    auto it = mm ? mm->commands.find(e.GetId()) : decltype(mm->commands.end()){};
    if (!mm || it == mm->commands.end()) {
      e.Skip();
      return;
    }
    UINT command = it->second;
    Renderer::HandlerScope scope(r);
    if (TFrameWindow* f = frame_of(h)) f->ChooseMenuCommand(command);
  });
  w->Bind(wxEVT_MENU_HIGHLIGHT, [&r, h](wxMenuEvent& e) {
    Mirror* mm = r.mirror(h);
    auto it = mm ? mm->commands.find(e.GetMenuId()) : decltype(mm->commands.end()){};
    if (!mm || it == mm->commands.end()) return;
    UINT command = it->second;
    Renderer::HandlerScope scope(r);
    if (TFrameWindow* f = frame_of(h)) f->MenuSelect(command);
  });
  w->Bind(wxEVT_MENU_CLOSE, [&r, h](wxMenuEvent& e) {
    e.Skip();
    Renderer::HandlerScope scope(r);
    if (TFrameWindow* f = frame_of(h)) f->MenuSelect(0);
  });
}

// The model's key for a toolkit key, or 0.
UINT virtual_key(int code) {
  if (code >= 'A' && code <= 'Z') return static_cast<UINT>(code);
  if (code >= 'a' && code <= 'z') return static_cast<UINT>(code - 'a' + 'A');
  if (code >= '0' && code <= '9') return static_cast<UINT>(code);
  if (code >= WXK_F1 && code <= WXK_F12) return VK_F1 + static_cast<UINT>(code - WXK_F1);
  switch (code) {
    case WXK_BACK: return VK_BACK;
    case WXK_TAB: return VK_TAB;
    case WXK_RETURN: return VK_RETURN;
    case WXK_ESCAPE: return VK_ESCAPE;
    case WXK_SPACE: return VK_SPACE;
    case WXK_PAGEUP: return VK_PRIOR;
    case WXK_PAGEDOWN: return VK_NEXT;
    case WXK_END: return VK_END;
    case WXK_HOME: return VK_HOME;
    case WXK_LEFT: return VK_LEFT;
    case WXK_UP: return VK_UP;
    case WXK_RIGHT: return VK_RIGHT;
    case WXK_DOWN: return VK_DOWN;
    case WXK_INSERT: return VK_INSERT;
    case WXK_DELETE: return VK_DELETE;
    default: return 0;
  }
}

// The toolkit draws sibling windows in the order its container holds
// them, whatever their stacking, and a window is added at the end: the MDI
// children go out of the client and back in, bottom first, so the order it
// draws (and hands clicks) in is the model's stack. False when it cannot
// happen now (a handler of ours runs; the user may hold a child).
bool restack(Renderer& r, const std::vector<HWND>& stack) {
  // Not while the user holds a child by its caption or edge: it would drop it.
  if (r.in_handler() || wxWindow::GetCapture()) return false;
  std::vector<wxWindow*> wins;
  for (HWND c : stack) {
    Mirror* m = r.mirror(c);
    if (!m || !m->win || !m->win->GetParent()) return false;
    wins.push_back(m->win);
  }
  if (wins.empty()) return true;
  wxWindow* client = wins.front()->GetParent();
  // Already in order at the end of the container: nothing to do.
  const wxWindowList& kids = client->GetChildren();
  size_t n = kids.size();
  bool ordered = n >= wins.size();
  for (size_t i = 0; ordered && i < wins.size(); ++i)
    ordered = kids[n - wins.size() + i] == wins[i];
  if (ordered) return true;
  auto* aside = new wxWindow(client, wxID_ANY, wxDefaultPosition, wxSize(1, 1));
  aside->Hide();
  for (wxWindow* w : wins) {
    w->Reparent(aside);
    w->Reparent(client);
  }
  aside->Destroy();
  // The focus went with the windows that left: it comes back where the model has it.
  if (Mirror* f = r.mirror(::GetFocus()); f && f->win && f->win->IsShownOnScreen()) f->win->SetFocus();
  return true;
}

// A click on one of the maximised child's boxes in the bar. The bar
// takes button presses for its menus; a press on a box is ours, and the
// box acts on release, once the toolkit is done with the bar (the action
// rebuilds it).
struct BarBoxes {
  Renderer* r;
  HWND frame;
  std::vector<std::pair<GtkWidget*, UINT>> boxes;
};

// The box under a point of the screen (items get events in windows of
// their own, so the event's own coordinates do not say).
UINT box_at(const BarBoxes& b, double x, double y) {
  for (const auto& [item, sc] : b.boxes) {
    GdkWindow* win = gtk_widget_get_window(item);
    if (!win) continue;
    int ox = 0, oy = 0;
    gdk_window_get_origin(win, &ox, &oy);
    GtkAllocation a;
    gtk_widget_get_allocation(item, &a);
    if (x >= ox + a.x && x < ox + a.x + a.width && y >= oy + a.y && y < oy + a.y + a.height) return sc;
  }
  return 0;
}

gboolean box_pressed(GtkWidget*, GdkEventButton* e, gpointer data) {
  return e->button == 1 && box_at(*static_cast<BarBoxes*>(data), e->x_root, e->y_root) ? TRUE : FALSE;
}

gboolean box_released(GtkWidget*, GdkEventButton* e, gpointer data) {
  const BarBoxes& b = *static_cast<BarBoxes*>(data);
  UINT sc = e->button == 1 ? box_at(b, e->x_root, e->y_root) : 0;
  if (!sc) return FALSE;
  Renderer* r = b.r;
  HWND h = b.frame;
  wxTheApp->CallAfter([r, h, sc] {
    auto* frame = dynamic_cast<TFrameWindow*>(window_object(h));
    TFrameWindow* child = frame ? frame->GetActiveMDIChild() : nullptr;
    if (!child) return;
    Renderer::HandlerScope scope(*r);
    child->MDISysCommand(sc);
  });
  return TRUE;
}

GtkWidget* find_menu_bar(GtkWidget* w) {
  if (!w) return nullptr;
  if (GTK_IS_MENU_BAR(w)) return w;
  if (!GTK_IS_CONTAINER(w)) return nullptr;
  GtkWidget* found = nullptr;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(w));
  for (GList* k = kids; k && !found; k = k->next) found = find_menu_bar(GTK_WIDGET(k->data));
  g_list_free(kids);
  return found;
}

// The maximised child's minimise, restore and close boxes at the end of
// the frame's bar, where its hidden caption had them.
void add_child_boxes(Renderer& r, Mirror& m, wxMenuBar* wbar) {
  GtkWidget* bar = find_menu_bar(static_cast<GtkWidget*>(wbar->GetHandle()));
  if (!bar) return;
  const struct {
    UINT sc;
    const char* label;
  } boxes[] = {{SC_MINIMIZE, "_"}, {SC_RESTORE, "\u2750"}, {SC_CLOSE, "\u00D7"}};
  auto* data = new BarBoxes{&r, m.hwnd, {}};
  for (const auto& b : boxes) {
    GtkWidget* item = gtk_menu_item_new_with_label(b.label);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), item);
    gtk_widget_show(item);
    data->boxes.emplace_back(item, b.sc);
    m.barBoxes[b.sc] = item;
  }
  auto forget = [](gpointer d, GClosure*) { delete static_cast<BarBoxes*>(d); };
  g_signal_connect_data(bar, "button-press-event", G_CALLBACK(box_pressed), data, nullptr, GConnectFlags(0));
  g_signal_connect_data(bar, "button-release-event", G_CALLBACK(box_released), data, forget, GConnectFlags(0));
}

}  // namespace

void refresh_frame(Renderer& r, Mirror& m) {
  auto* f = dynamic_cast<wxFrame*>(m.win);
  TFrameWindow* frame = frame_of(m.hwnd);
  if (!f || !frame) return;
  // The children stacked as the model has them, the active one on top.
  std::vector<HWND> stack;
  for (TFrameWindow* c : frame->MDIStack())
    if (c->GetHandle()) stack.push_back(c->GetHandle());
  if (stack != m.shownStack && restack(r, stack)) m.shownStack = stack;
  // A maximised child's title joins the frame's, as its caption is hidden.
  std::string title = frame->GetText();
  TFrameWindow* active = frame->GetActiveMDIChild();
  if (active && active->GetHandle() && active->IsMaximized()) title += " - [" + active->GetText() + "]";
  if (title != m.shownTitle) {
    m.shownTitle = title;
    f->SetTitle(to_wx(title));
  }
  HMENU bar = frame->GetMenu();
  std::string text;
  if (bar) describe(bar, text);
  if (text == m.shownMenu) return;
  m.shownMenu = text;
  m.popups.clear();
  m.commands.clear();
  if (!m.menuBound) {
    bind_menu_events(r, m);
    m.menuBound = true;
  }
  if (!bar) {
    f->SetMenuBar(nullptr);
    return;
  }
  auto* wbar = new wxMenuBar;
  for (const MenuItem& it : menu_items(bar))
    if (it.popup) wbar->Append(build(m, it.popup), item_label(it.text));
  f->SetMenuBar(wbar);
  m.barBoxes.clear();
  if (active && active->GetHandle() && active->IsMaximized()) add_child_boxes(r, m, wbar);
}

int menu_item_id(const Mirror& m, UINT command) {
  for (const auto& [wxId, cmd] : m.commands)
    if (cmd == command) return wxId;
  return wxID_NONE;
}

bool frame_key(Renderer& r, HWND h, wxKeyEvent& e) {
  set_key_toggled(VK_CAPITAL, wxGetKeyState(WXK_CAPITAL));
  set_key_toggled(VK_NUMLOCK, wxGetKeyState(WXK_NUMLOCK));
  set_key_toggled(VK_SCROLL, wxGetKeyState(WXK_SCROLL));
  UINT vk = virtual_key(e.GetKeyCode());
  if (!vk) return false;
  BYTE mods = (e.ShiftDown() ? FSHIFT : 0) | (e.ControlDown() ? FCONTROL : 0) | (e.AltDown() ? FALT : 0);
  // Only a key some frame's table knows goes to the model as a key press;
  // the others stay with the focused widget.
  TWindow* start = window_object(::GetFocus());
  if (!start) start = window_object(h);
  if (auto* f = dynamic_cast<TFrameWindow*>(start))
    if (TFrameWindow* child = f->GetActiveMDIChild()) start = child;
  for (TWindow* w = start; w; w = w->GetParentO()) {
    auto* frame = dynamic_cast<TFrameWindow*>(w);
    if (frame && frame->GetHandle() && frame->GetAccelTable() && find_accelerator(frame->GetAccelTable(), vk, mods)) {
      Renderer::HandlerScope scope(r);
      press_key(vk, mods);
      return true;
    }
  }
  // Insert switches overtype, as the model's own key press does.
  if (vk == VK_INSERT && mods == 0) set_key_toggled(VK_INSERT, !(GetKeyState(VK_INSERT) & 1));
  return false;
}

}  // namespace plat::wx
