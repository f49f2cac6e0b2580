// Simulated user input and on-screen geometry for the renderer's screen
// test: real key and mouse events sent through the display, so the path
// from the desktop to the model is the one a user's input takes.
#include <gtk/gtk.h>

#include <wx/listbox.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>
#include <wx/uiaction.h>
#include <wx/vlbox.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "platform/ui/accel.h"
#include "platform/winmsg.h"
#include "platform/ui/app_state.h"
#include "platform/ui/application.h"
#include "platform/ui/queue.h"
#include "platform/wx/desktop_sim.h"
#include "platform/wx/renderer.h"

namespace plat::desktop {
namespace {

using Clock = std::chrono::steady_clock;

wxWindow* widget(HWND h) {
  wx::Renderer* r = wx::renderer();
  if (!r) return nullptr;
  r->flush();
  wx::Mirror* m = r->mirror(h);
  return m ? m->win : nullptr;
}

// Without a window manager the keys go to the window under the pointer:
// put it on the window that has the model's focus (or the main window).
void point_at_focus() {
  wxWindow* w = widget(::GetFocus());
  if (!w && app() && app()->GetMainWindow()) w = widget(app()->GetMainWindow()->GetHandle());
  if (!w || !w->IsShownOnScreen()) return;
  wxRect r = w->GetScreenRect();
  wxUIActionSimulator sim;
  sim.MouseMove(r.x + r.width / 2, r.y + r.height / 2);
}

void step() {
  wx::Renderer* r = wx::renderer();
  if (!r) return;
  dispatch_all();
  r->pump_once(10);
}

}  // namespace

bool run_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  Clock::time_point end = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() > end) return false;
    step();
  }
  return true;
}

void run_for(std::chrono::milliseconds time) {
  Clock::time_point end = Clock::now() + time;
  while (Clock::now() < end) step();
}

namespace {

// The display shows the widget: mapped, in a window the X server has
// mapped too. Until then the toolkit does not know where it is on the
// screen, and a click there lands elsewhere.
bool on_display(wxWindow* w) {
  auto* g = static_cast<GtkWidget*>(w->GetHandle());
  if (!g || !gtk_widget_get_mapped(g)) return false;
  GdkWindow* gw = gtk_widget_get_window(g);
  return gw && gdk_window_is_viewable(gw);
}

// The shown widget of a window, once the display shows it too (a window
// the program has just shown may not be there yet); null when the window
// is not shown.
wxWindow* displayed(HWND h) {
  wxWindow* w = widget(h);
  if (!w || !w->IsShownOnScreen()) return nullptr;
  if (!run_until([&] { return (w = widget(h)) && on_display(w); }, std::chrono::seconds(30))) return nullptr;
  return w;
}

}  // namespace

bool click_at(HWND control, int x, int y, UINT keys) {
  wxWindow* w = displayed(control);
  if (!w) return false;
  wxUIActionSimulator sim;
  wxRect r = w->GetScreenRect();
  sim.MouseMove(r.x + x, r.y + y);
  run_for(std::chrono::milliseconds(50));
  if (keys & MK_SHIFT) sim.KeyDown(WXK_SHIFT);
  if (keys & MK_CONTROL) sim.KeyDown(WXK_CONTROL);
  sim.MouseClick();
  if (keys & MK_CONTROL) sim.KeyUp(WXK_CONTROL);
  if (keys & MK_SHIFT) sim.KeyUp(WXK_SHIFT);
  run_for(std::chrono::milliseconds(50));
  return true;
}

bool click(HWND control) {
  wxWindow* w = widget(control);
  if (!w) return false;
  wxSize s = w->GetSize();
  return click_at(control, s.x / 2, s.y / 2);
}

void press_enter() {
  point_at_focus();
  wxUIActionSimulator sim;
  sim.Char(WXK_RETURN);
  run_for(std::chrono::milliseconds(50));
}

void press_ctrl(char letter) {
  point_at_focus();
  wxUIActionSimulator sim;
  sim.Char(letter, wxMOD_CONTROL);
  run_for(std::chrono::milliseconds(50));
}

namespace {

// The toolkit's modal dialog on screen, or null.
GtkWidget* native_dialog() {
  GtkWidget* found = nullptr;
  GList* tops = gtk_window_list_toplevels();
  for (GList* l = tops; l; l = l->next) {
    GtkWidget* w = GTK_WIDGET(l->data);
    if (GTK_IS_WINDOW(w) && gtk_widget_get_visible(w) && gtk_window_get_modal(GTK_WINDOW(w))) found = w;
  }
  g_list_free(tops);
  return found;
}

}  // namespace

void answer_box_later(std::chrono::milliseconds delay, char key, std::function<void()> whileUp) {
  // Timers that did their work go with the next one; one may still be
  // running its handler (the simulator lets the toolkit run meanwhile).
  static std::vector<std::unique_ptr<wxTimer>> timers;
  std::erase_if(timers, [](const std::unique_ptr<wxTimer>& t) { return !t->IsRunning(); });
  auto* timer = timers.emplace_back(std::make_unique<wxTimer>()).get();
  auto tries = std::make_shared<int>(0);
  timer->Bind(wxEVT_TIMER, [timer, tries, key, whileUp](wxTimerEvent&) {
    GtkWidget* w = native_dialog();
    if (!w && ++*tries < 50) return;  // not up yet: look again
    timer->Stop();
    if (!w) return;
    // Point at the box so it has the keys, and press Enter.
    int x = 0, y = 0, cx = 0, cy = 0;
    gtk_window_get_position(GTK_WINDOW(w), &x, &y);
    gtk_window_get_size(GTK_WINDOW(w), &cx, &cy);
    wxUIActionSimulator sim;
    sim.MouseMove(x + cx / 2, y + cy / 2);
    if (whileUp) whileUp();
    sim.Char(key ? static_cast<int>(key) : static_cast<int>(WXK_RETURN));
  });
  timer->Start(static_cast<int>(delay.count()));
}

void press_key(UINT vk, bool shift, bool ctrl) {
  static const std::pair<UINT, int> keys[] = {
      {VK_LEFT, WXK_LEFT}, {VK_RIGHT, WXK_RIGHT}, {VK_UP, WXK_UP},         {VK_DOWN, WXK_DOWN},
      {VK_HOME, WXK_HOME}, {VK_END, WXK_END},     {VK_PRIOR, WXK_PAGEUP}, {VK_NEXT, WXK_PAGEDOWN},
      {VK_INSERT, WXK_INSERT}, {VK_DELETE, WXK_DELETE}};
  int key = 0;
  for (auto [v, k] : keys)
    if (v == vk) key = k;
  if (!key) return;
  point_at_focus();
  wxUIActionSimulator sim;
  int mods = (shift ? wxMOD_SHIFT : 0) | (ctrl ? wxMOD_CONTROL : 0);
  sim.Char(key, mods);
  run_for(std::chrono::milliseconds(50));
}

void press_function_key(int n, bool ctrl) {
  point_at_focus();
  wxUIActionSimulator sim;
  sim.Char(WXK_F1 + n - 1, ctrl ? wxMOD_CONTROL : wxMOD_NONE);
  run_for(std::chrono::milliseconds(50));
}

namespace {
wxMenuBar* bar_of(HWND frame) {
  auto* f = dynamic_cast<wxFrame*>(widget(frame));
  return f ? f->GetMenuBar() : nullptr;
}

wxMenuItem* item_of(HWND frame, UINT command) {
  wxMenuBar* b = bar_of(frame);
  wx::Mirror* m = wx::renderer() ? wx::renderer()->mirror(frame) : nullptr;
  if (!b || !m) return nullptr;
  int id = wx::menu_item_id(*m, command);
  return id == wxID_NONE ? nullptr : b->FindItem(id);
}
}  // namespace

std::vector<std::string> menu_titles(HWND frame) {
  std::vector<std::string> out;
  if (wxMenuBar* b = bar_of(frame))
    for (size_t i = 0; i < b->GetMenuCount(); ++i) out.push_back(wx::from_wx(b->GetMenuLabel(i)));
  return out;
}

std::string menu_item_text(HWND frame, UINT command) {
  wxMenuItem* it = item_of(frame, command);
  return it ? wx::from_wx(it->GetItemLabel()) : std::string();
}

bool menu_item_enabled(HWND frame, UINT command) {
  wxMenuItem* it = item_of(frame, command);
  return it && it->IsEnabled();
}

bool choose_menu(HWND frame, UINT command) {
  wxWindow* f = widget(frame);
  wxMenuItem* it = item_of(frame, command);
  if (!it) return false;
  // The events a user's pick sends: the popup opens, then the item.
  wxMenuEvent open(wxEVT_MENU_OPEN, 0, it->GetMenu());
  open.SetEventObject(f);
  f->ProcessWindowEvent(open);
  if (it->IsEnabled()) {
    wxCommandEvent pick(wxEVT_MENU, it->GetId());
    pick.SetEventObject(f);
    f->ProcessWindowEvent(pick);
  }
  run_for(std::chrono::milliseconds(20));
  return true;
}

void press_escape() {
  point_at_focus();
  wxUIActionSimulator sim;
  sim.Char(WXK_ESCAPE);
  run_for(std::chrono::milliseconds(50));
}

bool type(HWND control, const std::string& text) {
  if (!click(control)) return false;
  wxUIActionSimulator sim;
  for (char c : text) {
    bool upper = c >= 'A' && c <= 'Z';
    sim.Char(upper ? c - 'A' + 'a' : c, upper ? wxMOD_SHIFT : wxMOD_NONE);
    run_for(std::chrono::milliseconds(20));
  }
  return true;
}

unsigned box_icon(TRect* where) {
  const wx::BoxInfo& b = wx::box_info();
  if (!b.dialog) return 0;
  if (where) *where = TRect(b.iconRect.x, b.iconRect.y, b.iconRect.GetRight() + 1, b.iconRect.GetBottom() + 1);
  return b.icon;
}

void type_here(const std::string& text) {
  point_at_focus();
  wxUIActionSimulator sim;
  for (char c : text) {
    bool upper = c >= 'A' && c <= 'Z';
    sim.Char(upper ? c - 'A' + 'a' : c, upper ? wxMOD_SHIFT : wxMOD_NONE);
    run_for(std::chrono::milliseconds(20));
  }
}

bool click_bar_box(HWND frame, UINT sc) {
  wx::Renderer* r = wx::renderer();
  if (!r) return false;
  r->flush();
  wx::Mirror* m = r->mirror(frame);
  if (!m || !m->barBoxes.count(sc)) return false;
  auto* item = static_cast<GtkWidget*>(m->barBoxes[sc]);
  GdkWindow* win = gtk_widget_get_window(item);
  if (!win || !gtk_widget_get_mapped(item)) return false;
  GtkAllocation a;
  gtk_widget_get_allocation(item, &a);
  int x = 0, y = 0;
  gdk_window_get_origin(win, &x, &y);
  wxUIActionSimulator sim;
  sim.MouseMove(x + a.x + a.width / 2, y + a.y + a.height / 2);
  run_for(std::chrono::milliseconds(50));
  sim.MouseClick();
  run_for(std::chrono::milliseconds(100));
  return true;
}

void press_key_here(UINT vk) {
  int key = 0;
  switch (vk) {
    case VK_HOME: key = WXK_HOME; break;
    case VK_END: key = WXK_END; break;
    case VK_UP: key = WXK_UP; break;
    case VK_DOWN: key = WXK_DOWN; break;
    case VK_PRIOR: key = WXK_PAGEUP; break;
    case VK_NEXT: key = WXK_PAGEDOWN; break;
    default: return;
  }
  point_at_focus();
  wxUIActionSimulator sim;
  sim.Char(key);
  run_for(std::chrono::milliseconds(50));
}

void press_tab(bool shift) {
  point_at_focus();
  wxUIActionSimulator sim;
  sim.Char(WXK_TAB, shift ? wxMOD_SHIFT : wxMOD_NONE);
  run_for(std::chrono::milliseconds(50));
}

bool drag(HWND window, int x, int y, int dx, int dy) {
  wxWindow* w = displayed(window);
  if (!w) return false;
  wxRect r = w->GetScreenRect();
  wxUIActionSimulator sim;
  sim.MouseMove(r.x + x, r.y + y);
  run_for(std::chrono::milliseconds(50));
  sim.MouseDown();
  run_for(std::chrono::milliseconds(50));
  // In steps, as a hand moves.
  for (int k = 1; k <= 4; ++k) {
    sim.MouseMove(r.x + x + dx * k / 4, r.y + y + dy * k / 4);
    run_for(std::chrono::milliseconds(30));
  }
  sim.MouseUp();
  run_for(std::chrono::milliseconds(50));
  return true;
}

TRect screen_rect(HWND window) {
  wxWindow* w = widget(window);
  if (!w) return {};
  wxRect r = w->GetScreenRect();
  return TRect(r.x, r.y, r.x + r.width, r.y + r.height);
}

TRect placed_rect(HWND control) {
  wxWindow* w = widget(control);
  if (!w) return {};
  wxRect r = w->GetRect();
  return TRect(r.x, r.y, r.x + r.width, r.y + r.height);
}

std::string shown_text(HWND control) {
  wxWindow* w = widget(control);
  if (!w) return {};
  if (auto* t = dynamic_cast<wxTextEntry*>(w)) return wx::from_wx(t->GetValue());
  return wx::from_wx(w->GetLabel());
}

std::vector<std::string> shown_lines(HWND control) {
  std::vector<std::string> out;
  wxWindow* w = widget(control);
  if (auto* c = dynamic_cast<wxItemContainerImmutable*>(w)) {
    for (unsigned i = 0; i < c->GetCount(); ++i) out.push_back(wx::from_wx(c->GetString(i)));
  } else if (wx::Mirror* m = w ? wx::renderer()->mirror(control) : nullptr) {
    wx::owner_list_texts(*m, out);
  }
  return out;
}

int shown_selection(HWND control) {
  wxWindow* w = widget(control);
  if (auto* v = dynamic_cast<wxVListBox*>(w)) return v->GetSelection();
  if (auto* l = dynamic_cast<wxListBox*>(w); l && l->HasMultipleSelection()) {
    std::vector<int> all = shown_selections(control);
    return all.empty() ? -1 : all.front();
  }
  if (auto* c = dynamic_cast<wxItemContainerImmutable*>(w)) return c->GetSelection();
  return -1;
}

std::vector<int> shown_selections(HWND control) {
  auto* l = dynamic_cast<wxListBox*>(widget(control));
  if (!l) return {};
  wxArrayInt lines;
  l->GetSelections(lines);
  return std::vector<int>(lines.begin(), lines.end());
}

TRect shown_line_rect(HWND control, int index) {
  auto* l = dynamic_cast<wxListBox*>(displayed(control));
  if (!l || index < 0 || index >= static_cast<int>(l->GetCount())) return {};
  auto* tree = reinterpret_cast<GtkTreeView*>(l->m_treeview);
  GtkTreePath* path = gtk_tree_path_new_from_indices(index, -1);
  GdkRectangle area{};
  gtk_tree_view_get_background_area(tree, path, nullptr, &area);
  gtk_tree_path_free(path);
  int x = 0, y = 0, wx = 0, wy = 0;
  gtk_tree_view_convert_bin_window_to_widget_coords(tree, 0, area.y, &x, &y);
  // From the tree's own corner to the corner of the control's window.
  gtk_widget_translate_coordinates(GTK_WIDGET(tree), static_cast<GtkWidget*>(l->GetHandle()), x, y, &wx, &wy);
  GtkAllocation all{};
  gtk_widget_get_allocation(GTK_WIDGET(tree), &all);
  return TRect(wx, wy, std::min(wx + all.width, l->GetSize().x), wy + area.height);
}

int shown_widest_line(HWND control) {
  auto* c = dynamic_cast<wxItemContainerImmutable*>(widget(control));
  if (!c) return 0;
  int widest = 0;
  for (unsigned i = 0; i < c->GetCount(); ++i)
    widest = std::max(widest, widget(control)->GetTextExtent(c->GetString(i)).x);
  return widest;
}

std::pair<int, int> shown_line_range(HWND edit) {
  auto* t = dynamic_cast<wxTextCtrl*>(widget(edit));
  if (!t || !t->IsMultiLine() || !t->IsShownOnScreen()) return {-1, -1};
  wxSize size = t->GetClientSize();
  if (size.y <= 4) return {-1, -1};
  long col = 0, first = -1, last = -1;
  if (t->HitTest(wxPoint(2, 2), &col, &first) == wxTE_HT_UNKNOWN) return {-1, -1};
  if (t->HitTest(wxPoint(2, size.y - 3), &col, &last) == wxTE_HT_UNKNOWN) return {-1, -1};
  return {static_cast<int>(first), static_cast<int>(last)};
}

bool shown_focus(HWND control) {
  wxWindow* w = widget(control);
  return w && wxWindow::FindFocus() == w;
}

bool shown_checked(HWND control) {
  wxWindow* w = widget(control);
  if (auto* c = dynamic_cast<wxCheckBox*>(w)) return c->GetValue();
  if (auto* r = dynamic_cast<wxRadioButton*>(w)) return r->GetValue();
  if (auto* t = dynamic_cast<wxToggleButton*>(w)) return t->GetValue();
  return false;
}

TSize text_extent(HWND control) {
  wxWindow* w = widget(control);
  if (!w) return {};
  wxString label = w->GetLabel();
  if (auto* t = dynamic_cast<wxTextEntry*>(w)) label = t->GetValue().BeforeFirst('\n');
  label.Replace("&&", "\x01");
  label.Replace("&", "");
  label.Replace("\x01", "&");
  if (label.empty()) return {};
  wxSize s = w->GetTextExtent(label);
  return TSize{s.x, s.y};
}

void set_modal_hook(std::function<void(TDialog&)> hook) {
  if (wx::Renderer* r = wx::renderer()) r->modalHook = std::move(hook);
}

}  // namespace plat::desktop
