// TWindow: creation, family, geometry, text and message dispatch.
#include "platform/ui/window.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <mutex>

#include "platform/plugin.h"
#include "platform/ui/app_state.h"
#include "platform/ui/application.h"
#include "platform/ui/control.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "platform/ui/ownerdraw.h"
#include "platform/ui/plugin_services.h"
#include "platform/ui/observer.h"
#include "platform/ui/queue.h"

namespace plat {
namespace {

std::mutex g_focus_mu;
HWND g_focus = nullptr;

// A state message runs under its window's lock. Notifications it raises are
// held here and sent once the lock is released: a parent's handler that
// waits for a worker using the same control would otherwise never return.
struct HeldNote {
  HWND parent;
  WPARAM wp;
  LPARAM lp;
};
thread_local std::vector<HeldNote>* t_held = nullptr;

// Collects into `into` unless an outer state message already collects.
struct HoldNotes {
  bool mine;
  explicit HoldNotes(std::vector<HeldNote>& into) : mine(!t_held) {
    if (mine) t_held = &into;
  }
  ~HoldNotes() {
    if (mine) t_held = nullptr;
  }
};

// Border and caption the model gives a window of these styles, so window
// and client rectangles differ the way they do on a desktop.
// A child with a caption (an MDI child) has one as a top-level window does.
void nonclient(UINT style, int& border, int& caption) {
  border = (style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME)) ? 3 : 0;
  caption = ((style & WS_CAPTION) == WS_CAPTION) ? 19 : 0;
  if ((style & WS_CHILD) && !caption) border = (style & WS_BORDER) ? 1 : 0;
}

}  // namespace

TWindow* window_object(HWND hwnd) {
  WindowRef ref = find_window(hwnd);
  if (!ref) return nullptr;
  std::lock_guard lock(ref->mu);
  return ref->object;
}

int copy_text(const std::string& text, char* buf, int size) {
  if (!buf || size <= 0) return 0;
  int n = std::min<int>(static_cast<int>(text.size()), size - 1);
  std::memcpy(buf, text.data(), n);
  buf[n] = 0;
  return n;
}

}  // namespace plat

TWindow::TWindow(TWindow* parent, const char* title) : Parent(parent), Title(title ? title : "") {
  if (Parent) Parent->AddChild(this);
}

TWindow::TWindow(HWND alias) : Handle(alias), Ref(plat::find_window(alias)), IsAlias(true) {
  if (!Ref) Handle = nullptr;
}

TWindow::~TWindow() {
  if (IsAlias) return;
  if (Handle) ReleaseHandle();
  std::vector<TWindow*> kids;
  kids.swap(Children);
  for (TWindow* c : kids) {
    c->Parent = nullptr;
    if (c->OwnedByParent) delete c;
  }
  if (Parent) Parent->RemoveChild(this);
}

// The family is a tree the object links keep in both directions: a child is
// in its parent's list once, names that parent, and is no ancestor of it.
// Destruction and creation walk it and would free or create a window twice
// otherwise.
void TWindow::AddChild(TWindow* child) {
  assert(child && child != this);
  assert(child->Parent == this);
  assert(std::find(Children.begin(), Children.end(), child) == Children.end() && "a child added twice");
#ifndef NDEBUG
  for (TWindow* up = Parent; up; up = up->Parent) assert(up != child && "a window made its own ancestor");
#endif
  Children.push_back(child);
}

void TWindow::RemoveChild(TWindow* child) {
  assert(std::count(Children.begin(), Children.end(), child) == 1 && "removing a child the window does not have");
  Children.erase(std::remove(Children.begin(), Children.end(), child), Children.end());
}

void TWindow::SetParent(TWindow* parent) {
  if (Parent) Parent->RemoveChild(this);
  Parent = parent;
  if (Parent) Parent->AddChild(this);
}

bool TWindow::Create() {
  if (IsAlias) return Handle != nullptr;
  if (!Handle && !PerformCreate()) return false;
  if (!SetupDone) {
    SetupDone = true;
    SetupWindow();
  }
  return Handle != nullptr;
}

bool TWindow::PerformCreate() {
  plat::claim_ui_thread();
  HWND parentHandle = Parent ? Parent->Handle : nullptr;
  Ref = plat::register_window(this, parentHandle);
  {
    std::lock_guard lock(Ref->mu);
    Ref->className = WindowClass();
    Ref->text = Title;
    Ref->style = Attr.Style;
    Ref->exStyle = Attr.ExStyle;
    Ref->id = Attr.Id;
    Ref->rect = TRect(Attr.X, Attr.Y, Attr.X + Attr.W, Attr.Y + Attr.H);
    if (PendingBkgnd) {
      Ref->hasBkgnd = true;
      Ref->bkgnd = *PendingBkgnd;
    }
  }
  Handle = Ref->hwnd;
  if (plat::WindowRef p = plat::find_window(parentHandle)) {
    std::lock_guard lock(p->mu);
    assert(std::find(p->children.begin(), p->children.end(), Handle) == p->children.end());
    p->children.push_back(Handle);
  }
  plat::notify_created(Handle);
  return true;
}

void TWindow::SetupWindow() { CreateChildren(); }

void TWindow::CreateChildren() {
  std::vector<TWindow*> kids = Children;
  for (TWindow* c : kids)
    if (std::find(Children.begin(), Children.end(), c) != Children.end()) c->Create();
}

void TWindow::ReleaseHandle() {
  if (!Handle) return;
  for (TWindow* c : std::vector<TWindow*>(Children))
    if (c->Handle) c->ReleaseHandle();
  plat::notify_destroyed(Handle);
  plat::WindowRef ref = Ref;
  HWND parentHandle;
  {
    std::lock_guard lock(ref->mu);
    Title = ref->text;  // texts stay readable on the object once the window is gone
    ref->object = nullptr;
    parentHandle = ref->parent;
  }
  plat::unregister_window(Handle);
  if (plat::WindowRef p = plat::find_window(parentHandle)) {
    std::lock_guard lock(p->mu);
    assert(std::count(p->children.begin(), p->children.end(), Handle) == 1 && "a window missing from its parent's list");
    p->children.erase(std::remove(p->children.begin(), p->children.end(), Handle), p->children.end());
  }
  {
    std::lock_guard lock(plat::g_focus_mu);
    if (plat::g_focus == Handle) plat::g_focus = nullptr;
  }
  Handle = nullptr;
  Ref.reset();
  SetupDone = false;
}

void TWindow::Destroy(int) {
  if (!Handle || IsAlias) return;
  CleanupWindow();
  // A dialog that goes with its parent ends as if cancelled.
  for (TWindow* c : std::vector<TWindow*>(Children))
    if (c->Handle) c->Destroy(IDCANCEL);
  bool wasMain = plat::app() && plat::app()->GetMainWindow() == this;
  ReleaseHandle();
  if (wasMain) PostQuitMessage(0);
}

bool TWindow::CanClose() {
  for (TWindow* c : std::vector<TWindow*>(Children))
    if (c->Handle && !c->CanClose()) return false;
  return true;
}

void TWindow::CloseWindow(int retVal) {
  if (CanClose()) Destroy(retVal);
}

void TWindow::EvClose() { CloseWindow(); }

void TWindow::EvSize(UINT, const TSize&) {}

bool TWindow::IdleAction(long idleCount) {
  bool more = false;
  for (TWindow* c : std::vector<TWindow*>(Children))
    if (std::find(Children.begin(), Children.end(), c) != Children.end() && c->Handle)
      more = c->IdleAction(idleCount) || more;
  return more;
}

bool TWindow::Find(TEventInfo&) { return false; }

bool TWindow::IsWindow() const { return Handle && plat::find_window(Handle) != nullptr; }

HWND TWindow::GetParent() const {
  if (!Ref) return Parent ? Parent->Handle : nullptr;
  std::lock_guard lock(Ref->mu);
  return Ref->parent;
}

TWindow* TWindow::ChildWithId(int id) const {
  for (TWindow* c : Children)
    if (c->GetId() == id) return c;
  return nullptr;
}

int TWindow::GetId() const {
  if (!Ref) return Attr.Id;
  std::lock_guard lock(Ref->mu);
  return Ref->id;
}

TApplication* TWindow::GetApplication() const { return plat::app(); }

std::string TWindow::ClassName() const {
  if (!Ref) return WindowClass();
  std::lock_guard lock(Ref->mu);
  return Ref->className;
}

int TWindow::GetClassName(char* buf, int size) const { return plat::copy_text(ClassName(), buf, size); }

bool TWindow::ShowWindow(int cmdShow) {
  if (!Ref) {
    // Before creation the command only decides the initial style.
    if (cmdShow == SW_HIDE) Attr.Style &= ~WS_VISIBLE;
    else Attr.Style |= WS_VISIBLE;
    ShowState = cmdShow;
    return false;
  }
  bool was;
  bool maximise = false;
  plat::WindowRef ref = Ref;
  {
    std::lock_guard lock(ref->mu);
    was = ref->style & WS_VISIBLE;
    if (cmdShow == SW_HIDE) ref->style &= ~WS_VISIBLE;
    else ref->style |= WS_VISIBLE;
    if (cmdShow == SW_SHOWMAXIMIZED && !(ref->style & WS_CHILD)) {
      ref->rect = TRect(0, 0, plat::screen_width(), plat::screen_height());
      maximise = true;
    }
    if (cmdShow != SW_HIDE && cmdShow != SW_SHOW) ShowState = cmdShow;
  }
  plat::notify_changed(Handle);
  if (maximise && plat::on_ui_thread()) {
    TRect c = GetClientRect();
    SendMessage(WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(c.Width(), c.Height()));
  }
  if (plat::on_ui_thread()) ShowCommand(cmdShow);
  return was;
}

void TWindow::NonClient(int& border, int& caption) const { plat::nonclient(GetStyle(), border, caption); }

bool TWindow::IsWindowVisible() const {
  if (!Ref) return false;
  HWND parent;
  {
    // Never hold a child's lock while taking its parent's.
    std::lock_guard lock(Ref->mu);
    if (!(Ref->style & WS_VISIBLE)) return false;
    // A popup's parent is its owner: an owned window shows whether or
    // not its owner does; only a child hides with its parent.
    if (!(Ref->style & WS_CHILD)) return true;
    parent = Ref->parent;
  }
  if (!parent) return true;
  TWindow alias(parent);
  return alias.IsWindowVisible();
}

bool TWindow::SetWindowPos(HWND, int x, int y, int w, int h, UINT flags) {
  plat::WindowRef ref = Ref;
  if (!ref) return false;
  bool resized = false;
  UINT sizeType = SIZE_RESTORED;
  {
    std::lock_guard lock(ref->mu);
    if (ref->style & WS_MAXIMIZE) sizeType = SIZE_MAXIMIZED;
    else if (ref->style & WS_MINIMIZE) sizeType = SIZE_MINIMIZED;
    TRect r = ref->rect;
    if (!(flags & SWP_NOMOVE)) r = TRect(x, y, x + r.Width(), y + r.Height());
    if (!(flags & SWP_NOSIZE)) {
      resized = w != r.Width() || h != r.Height();
      r.right = r.left + w;
      r.bottom = r.top + h;
    }
    ref->rect = r;
    if (flags & SWP_SHOWWINDOW) ref->style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW) ref->style &= ~WS_VISIBLE;
  }
  plat::notify_changed(Handle);
  if (resized && plat::on_ui_thread()) {
    TRect c = GetClientRect();
    SendMessage(WM_SIZE, sizeType, MAKELPARAM(c.Width(), c.Height()));
  }
  if (!(flags & SWP_NOZORDER) && plat::on_ui_thread()) BroughtToTop(flags);
  return true;
}

bool TWindow::MoveWindow(int x, int y, int w, int h, bool) {
  return SetWindowPos(nullptr, x, y, w, h, SWP_NOZORDER);
}

TRect TWindow::GetWindowRect() const {
  if (!Ref) return TRect(Attr.X, Attr.Y, Attr.X + Attr.W, Attr.Y + Attr.H);
  TRect r;
  HWND parent;
  {
    std::lock_guard lock(Ref->mu);
    r = Ref->rect;
    parent = Ref->parent;
  }
  if (parent && (GetStyle() & WS_CHILD)) {
    TWindow alias(parent);
    TPoint o = alias.ClientToScreen({0, 0});
    r = TRect(r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y);
  }
  return r;
}

TRect TWindow::GetClientRect() const {
  TRect w = GetWindowRect();
  int border, caption;
  plat::nonclient(GetStyle(), border, caption);
  return TRect(0, 0, std::max(0, w.Width() - 2 * border), std::max(0, w.Height() - 2 * border - caption));
}

TPoint TWindow::ClientToScreen(TPoint p) const {
  TRect w = GetWindowRect();
  int border, caption;
  plat::nonclient(GetStyle(), border, caption);
  return {w.left + border + p.x, w.top + border + caption + p.y};
}

void TWindow::Invalidate(bool) { plat::notify_changed(Handle); }

HWND TWindow::SetFocus() { return ::SetFocus(Handle); }

bool TWindow::EnableWindow(bool enable) {
  if (!Ref) {
    if (enable) Attr.Style &= ~WS_DISABLED;
    else Attr.Style |= WS_DISABLED;
    return false;
  }
  bool wasDisabled;
  {
    std::lock_guard lock(Ref->mu);
    wasDisabled = Ref->style & WS_DISABLED;
    if (enable) Ref->style &= ~WS_DISABLED;
    else Ref->style |= WS_DISABLED;
  }
  plat::notify_changed(Handle);
  return wasDisabled;
}

bool TWindow::IsWindowEnabled() const {
  if (!Ref) return !(Attr.Style & WS_DISABLED);
  std::lock_guard lock(Ref->mu);
  return !(Ref->style & WS_DISABLED);
}

UINT TWindow::GetStyle() const {
  if (!Ref) return Attr.Style;
  std::lock_guard lock(Ref->mu);
  return Ref->style;
}

void TWindow::SetStyle(UINT style) {
  if (!Ref) {
    Attr.Style = style;
    return;
  }
  {
    std::lock_guard lock(Ref->mu);
    Ref->style = style;
  }
  plat::notify_changed(Handle);
}

UINT TWindow::GetExStyle() const {
  if (!Ref) return Attr.ExStyle;
  std::lock_guard lock(Ref->mu);
  return Ref->exStyle;
}

void TWindow::SetExStyle(UINT style) {
  if (!Ref) {
    Attr.ExStyle = style;
    return;
  }
  {
    std::lock_guard lock(Ref->mu);
    Ref->exStyle = style;
  }
  plat::notify_changed(Handle);
}

void TWindow::SetCaption(const char* title) {
  if (Handle) SetWindowText(title);
  else Title = title ? title : "";
}

void TWindow::SetWindowText(const char* text) {
  if (Handle) SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : ""));
  else Title = text ? text : "";
}

std::string TWindow::GetText() const {
  if (!Ref) return Title;
  std::lock_guard lock(Ref->mu);
  return Ref->text;
}

int TWindow::GetWindowText(char* buf, int size) const { return plat::copy_text(GetText(), buf, size); }

int TWindow::GetWindowTextLength() const { return static_cast<int>(GetText().size()); }

HWND TWindow::GetDlgItem(int id) const { return ::GetDlgItem(Handle, id); }

void TWindow::SetDlgItemText(int id, const char* text) {
  if (HWND h = GetDlgItem(id)) ::SetWindowText(h, text);
}

UINT TWindow::GetDlgItemText(int id, char* buf, int size) const {
  if (HWND h = GetDlgItem(id)) return ::GetWindowText(h, buf, size);
  plat::copy_text("", buf, size);
  return 0;
}

LRESULT TWindow::SendDlgItemMessage(int id, UINT msg, WPARAM wp, LPARAM lp) {
  HWND h = GetDlgItem(id);
  return h ? ::SendMessage(h, msg, wp, lp) : 0;
}

LRESULT TWindow::SendMessage(UINT msg, WPARAM wp, LPARAM lp) { return ::SendMessage(Handle, msg, wp, lp); }

bool TWindow::PostMessage(UINT msg, WPARAM wp, LPARAM lp) { return ::PostMessage(Handle, msg, wp, lp); }

int TWindow::MessageBox(const char* text, const char* caption, UINT type) {
  if (!caption && plat::app()) caption = plat::app()->GetName();
  return ::MessageBox(Handle, text, caption, type);
}

bool TWindow::SetCursor(TModule*, int cursorId) {
  Cursor = cursorId;
  plat::set_current_cursor(cursorId);
  return true;
}

LRESULT TWindow::ReceiveMessage(UINT msg, WPARAM wp, LPARAM lp) { return WindowProc(msg, wp, lp); }

LRESULT TWindow::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  TEventInfo ev;
  ev.Msg = msg;
  ev.WParam = wp;
  ev.LParam = lp;
  if (msg == WM_COMMAND) {
    ev.Id = LOWORD(wp);
    ev.NotifyCode = HIWORD(wp);
    ev.FromControl = lp != 0;
  }
  if (Find(ev)) {
    const TEventInfo* outer = CurrentEvent;
    CurrentEvent = &ev;
    LRESULT r = ev.Entry->Dispatch(this, ev);
    CurrentEvent = outer;
    return r;
  }
  return DefWindowProc(msg, wp, lp);
}

LRESULT TWindow::DefaultProcessing() {
  if (!CurrentEvent) return 0;
  return DefWindowProc(CurrentEvent->Msg, CurrentEvent->WParam, CurrentEvent->LParam);
}

bool TWindow::IsStateMessage(UINT msg) const {
  return msg == WM_SETTEXT || msg == WM_GETTEXT || msg == WM_GETTEXTLENGTH;
}

LRESULT TWindow::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SETTEXT: {
      if (!Ref) return FALSE;
      std::lock_guard lock(Ref->mu);
      Ref->text = lp ? reinterpret_cast<const char*>(lp) : "";
      return TRUE;
    }
    case WM_GETTEXT:
      return plat::copy_text(GetText(), reinterpret_cast<char*>(lp), static_cast<int>(wp));
    case WM_GETTEXTLENGTH:
      return GetWindowTextLength();
    case WM_CLOSE:
      EvClose();
      return 0;
    case WM_SIZE:
      EvSize(static_cast<UINT>(wp), TSize{LOWORD(lp), HIWORD(lp)});
      return 0;
    case WM_SETFONT:
      if (Ref) {
        std::lock_guard lock(Ref->mu);
        Ref->font = reinterpret_cast<HFONT>(wp);
      }
      if (lp) Invalidate();
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(plat::control_font(Handle));
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: {
      plat::ControlColors c = plat::default_control_colors(msg);
      HDC dc = reinterpret_cast<HDC>(wp);
      ::SetTextColor(dc, c.text);
      ::SetBkColor(dc, c.back);
      return reinterpret_cast<LRESULT>(GetStockObject(c.back == RGB(255, 255, 255) ? WHITE_BRUSH : LTGRAY_BRUSH));
    }
    case WM_DRAWITEM:
    case WM_MEASUREITEM: {
      // The control draws (or measures) its own item.
      int id = static_cast<int>(wp);
      TWindow* item = nullptr;
      if (msg == WM_DRAWITEM && lp) item = plat::window_object(reinterpret_cast<DRAWITEMSTRUCT*>(lp)->hwndItem);
      if (!item) item = plat::window_object(GetDlgItem(id));
      auto* ctl = dynamic_cast<TControl*>(item);
      if (!ctl || !lp) return FALSE;
      if (msg == WM_DRAWITEM) ctl->DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lp));
      else ctl->MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lp));
      return TRUE;
    }
    default:
      return 0;
  }
}

void TWindow::SetBkgndColor(COLORREF color) {
  if (!Ref) {
    PendingBkgnd = color & 0xFFFFFF;
    return;
  }
  {
    std::lock_guard lock(Ref->mu);
    Ref->hasBkgnd = true;
    Ref->bkgnd = color & 0xFFFFFF;
  }
  Invalidate();
}

HBRUSH TWindow::EvCtlColor(HDC, HWND, UINT) { return reinterpret_cast<HBRUSH>(DefaultProcessing()); }

void TWindow::SetWindowFont(HFONT font, bool redraw) {
  SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
}

HFONT TWindow::GetWindowFont() { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }

void TWindow::NotifyParent(UINT code) {
  HWND parent = GetParent();
  if (!parent || !Handle) return;
  WPARAM wp = MAKEWPARAM(GetId(), code);
  LPARAM lp = reinterpret_cast<LPARAM>(Handle);
  if (plat::t_held) {
    plat::t_held->push_back({parent, wp, lp});
    return;
  }
  if (plat::on_ui_thread()) ::SendMessage(parent, WM_COMMAND, wp, lp);
  else ::PostMessage(parent, WM_COMMAND, wp, lp);
}

// ---- calls by handle ----

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  plat::WindowRef ref = plat::find_window(hwnd);
  if (!ref) return 0;
  TWindow* obj;
  std::vector<plat::HeldNote> held;
  LRESULT answer = 0;
  {
    std::lock_guard lock(ref->mu);
    obj = ref->object;
    if (!obj) return 0;
    if (obj->IsStateMessage(msg)) {
      plat::HoldNotes hold(held);
      answer = obj->DefWindowProc(msg, wp, lp);
      obj = nullptr;
    }
  }
  if (!obj) {
    plat::notify_changed(hwnd);
    for (const plat::HeldNote& n : held) {
      if (plat::on_ui_thread()) ::SendMessage(n.parent, WM_COMMAND, n.wp, n.lp);
      else ::PostMessage(n.parent, WM_COMMAND, n.wp, n.lp);
    }
    return answer;
  }
  if (plat::on_ui_thread()) {
    LRESULT r = obj->ReceiveMessage(msg, wp, lp);
    plat::notify_changed(hwnd);
    return r;
  }
  // Handlers run on the UI thread only: queue the message and wait for it.
  auto reply = std::make_shared<std::promise<LRESULT>>();
  std::future<LRESULT> result = reply->get_future();
  plat::ui_queue().post({hwnd, msg, wp, lp, reply});
  return result.get();
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (!plat::find_window(hwnd)) return FALSE;
  plat::ui_queue().post({hwnd, msg, wp, lp, nullptr});
  return TRUE;
}

void PostQuitMessage(int exitCode) { plat::ui_queue().post({nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0, nullptr}); }

BOOL IsWindow(HWND hwnd) { return plat::window_object(hwnd) != nullptr; }

HWND GetFocus() {
  std::lock_guard lock(plat::g_focus_mu);
  return plat::g_focus;
}

HWND SetFocus(HWND hwnd) {
  TWindow* target = plat::window_object(hwnd);
  if (!target) return nullptr;
  HWND old;
  {
    std::lock_guard lock(plat::g_focus_mu);
    old = plat::g_focus;
    if (old == hwnd) return old;
    plat::g_focus = hwnd;
  }
  plat::notify_focus(hwnd);
  if (TWindow* o = plat::window_object(old)) o->EvKillFocus();
  target->EvSetFocus();
  return old;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  TWindow alias(hwnd);
  return alias.EnableWindow(enable);
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
  TWindow alias(hwnd);
  return alias.ShowWindow(cmdShow);
}

BOOL SetWindowText(HWND hwnd, const char* text) {
  return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) != 0;
}

int GetWindowText(HWND hwnd, char* buf, int size) {
  if (!plat::find_window(hwnd)) return plat::copy_text("", buf, size);
  return static_cast<int>(SendMessage(hwnd, WM_GETTEXT, size, reinterpret_cast<LPARAM>(buf)));
}

HWND GetDlgItem(HWND dlg, int id) {
  plat::WindowRef ref = plat::find_window(dlg);
  if (!ref) return nullptr;
  std::vector<HWND> kids;
  {
    std::lock_guard lock(ref->mu);
    kids = ref->children;
  }
  for (HWND k : kids)
    if (GetDlgCtrlID(k) == id) return k;
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  plat::WindowRef ref = plat::find_window(hwnd);
  if (!ref) return 0;
  std::lock_guard lock(ref->mu);
  return ref->id;
}

// ---- plug-ins ----

namespace {

// Lines a plug-in adds are copied by the list, so the plug-in keeps
// ownership of its texts whatever kind of list it fills.
LRESULT PluginSendMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == LB_ADDSTRING) msg = KV_LB_ADDSTRINGCOPY;
  else if (msg == LB_INSERTSTRING) msg = KV_LB_INSERTSTRINGCOPY;
  return ::SendMessage(hwnd, msg, wp, lp);
}

// The loader knows no windows; it is told here, in the object every
// program with windows links, how a plug-in's message reaches one and
// which window services it offers.
const bool kPluginSenderSet =
    (plat::set_plugin_message_sender(&PluginSendMessage), plat::register_plugin_services(), true);

}  // namespace
