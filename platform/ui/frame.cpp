// TFrameWindow: client placement, menu bars, accelerators, the command
// chain with its enablers, and MDI children.
#include "platform/ui/frame.h"

#include <algorithm>

TFrameWindow::TFrameWindow(TWindow* parent, const char* title, TWindow* client, bool shrinkToClient)
    : TWindow(parent, title), ShrinkToClient(shrinkToClient) {
  Attr.Style = parent ? (WS_CHILD | WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS)
                      : (WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN);
  if (client) SetClientWindow(client);
}

TFrameWindow::~TFrameWindow() {
  LeaveMdiFrame();
  for (TFrameWindow* c : MdiChildren) c->MdiFrame = nullptr;
  MdiChildren.clear();
  ActiveChild = nullptr;
  if (MergedBar) plat::release_menu_shell(MergedBar);
  if (ChildSysMenu) DestroyMenu(ChildSysMenu);
  if (Accel) DestroyAcceleratorTable(Accel);
}

TWindow* TFrameWindow::SetClientWindow(TWindow* client) {
  TWindow* old = ClientWnd;
  ClientWnd = client;
  if (client) {
    if (client->GetParentO() != this) client->SetParent(this);
    client->Attr.Style |= WS_CHILD | WS_VISIBLE;
    if (GetHandle() && !client->GetHandle()) client->Create();
    if (GetHandle()) Layout();
  }
  return old;
}

void TFrameWindow::SetupWindow() {
  TWindow::SetupWindow();
  JoinMdiFrame();
  Layout();
}

void TFrameWindow::Destroy(int retVal) {
  LeaveMdiFrame();
  TWindow::Destroy(retVal);
}

void TFrameWindow::EvSize(UINT sizeType, const TSize& size) {
  TWindow::EvSize(sizeType, size);
  Layout();
  PlaceMaximizedChild();
}

void TFrameWindow::Layout() {
  if (!ClientWnd || !ClientWnd->GetHandle()) return;
  TRect r = GetClientRect();
  ClientWnd->SetWindowPos(nullptr, 0, 0, r.Width(), r.Height(), SWP_NOZORDER);
}

// ---- menus ----

bool TFrameWindow::AssignMenu(HMENU bar) {
  if (!IsMenu(bar)) return false;
  MenuDescr = std::make_unique<TMenuDescr>(bar);
  if (MdiFrame) MdiFrame->UpdateMenuBar();
  else UpdateMenuBar();
  return true;
}

bool TFrameWindow::AssignMenu(TResId resId) {
  HMENU bar = LoadMenu(nullptr, resId.Id);
  return bar && AssignMenu(bar);
}

bool TFrameWindow::SetMenuDescr(TMenuDescr& descr) {
  if (!descr.IsOK()) return false;
  auto own = std::make_unique<TMenuDescr>(descr.Release());
  for (int g = 0; g < TMenuDescr::NumGroups; ++g) own->SetGroupCount(g, descr.GetGroupCount(g));
  MenuDescr = std::move(own);
  if (MdiFrame) MdiFrame->UpdateMenuBar();
  else UpdateMenuBar();
  return true;
}

HMENU TFrameWindow::GetMenu() const {
  if (MergedBar) return MergedBar;
  return MenuDescr ? MenuDescr->GetHandle() : nullptr;
}

void TFrameWindow::UpdateMenuBar() {
  if (MergedBar) plat::release_menu_shell(MergedBar);
  MergedBar = nullptr;
  if (ChildSysMenu) DestroyMenu(ChildSysMenu);
  ChildSysMenu = nullptr;
  if (!ActiveChild) return;
  bool maximized = ActiveChild->GetHandle() && ActiveChild->IsMaximized();
  if (!ActiveChild->MenuDescr && !maximized) return;
  TMenuDescr none;
  const TMenuDescr& own = MenuDescr ? *MenuDescr : none;
  MergedBar = plat::merge_menus(own, ActiveChild->MenuDescr ? *ActiveChild->MenuDescr : none);
  if (maximized) {
    // A maximised child's system menu leads the bar, as its caption is
    // out of sight.
    HMENU sys = CreatePopupMenu();
    AppendMenu(sys, MF_STRING, SC_RESTORE, "&Restore");
    AppendMenu(sys, MF_STRING, SC_MINIMIZE, "Mi&nimize");
    AppendMenu(sys, MF_SEPARATOR, 0, nullptr);
    AppendMenu(sys, MF_STRING, SC_CLOSE, "&Close\tCtrl+F4");
    AppendMenu(sys, MF_STRING, SC_NEXTWINDOW, "Nex&t\tCtrl+F6");
    InsertMenu(MergedBar, 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<uintptr_t>(sys), "&-");
    ChildSysMenu = sys;
  }
}

void TFrameWindow::SetAcceleratorTable(TResId resId) { SetAcceleratorTable(LoadAccelerators(nullptr, resId.Id)); }

void TFrameWindow::SetAcceleratorTable(HACCEL table) {
  if (Accel && Accel != table) DestroyAcceleratorTable(Accel);
  Accel = table;
}

// ---- commands ----

void TFrameWindow::OwnChain(std::vector<TWindow*>& chain) {
  if (ClientWnd && ClientWnd->GetHandle()) chain.push_back(ClientWnd);
  chain.push_back(this);
}

void TFrameWindow::CommandChain(std::vector<TWindow*>& chain) {
  if (MdiFrame) {
    OwnChain(chain);
    MdiFrame->OwnChain(chain);
    return;
  }
  if (ActiveChild && ActiveChild->GetHandle()) ActiveChild->OwnChain(chain);
  OwnChain(chain);
}

bool TFrameWindow::HasHandler(UINT id) {
  std::vector<TWindow*> chain;
  CommandChain(chain);
  for (TWindow* w : chain) {
    TEventInfo ev;
    ev.Msg = WM_COMMAND;
    ev.WParam = id;
    ev.Id = id;
    if (w->Find(ev)) return true;
  }
  return false;
}

bool TFrameWindow::RouteCommand(UINT id, UINT notifyCode) {
  std::vector<TWindow*> chain;
  CommandChain(chain);
  for (TWindow* w : chain) {
    TEventInfo ev;
    ev.Msg = WM_COMMAND;
    ev.WParam = MAKEWPARAM(id, notifyCode);
    ev.Id = id;
    ev.NotifyCode = notifyCode;
    if (!w->Find(ev)) continue;
    if (auto* f = dynamic_cast<TFrameWindow*>(w)) f->DispatchOwn(WM_COMMAND, ev.WParam, 0);
    else w->ReceiveMessage(WM_COMMAND, ev.WParam, 0);
    return true;
  }
  return false;
}

void TFrameWindow::CommandEnable(TCommandEnabler& ce) {
  std::vector<TWindow*> chain;
  CommandChain(chain);
  for (TWindow* w : chain) {
    TEventInfo ev;
    ev.Msg = WM_COMMAND_ENABLE;
    ev.Id = ce.GetId();
    ev.WParam = ce.GetId();
    ev.LParam = reinterpret_cast<LPARAM>(&ce);
    if (w->Find(ev)) {
      ev.Entry->Dispatch(w, ev);
      return;
    }
  }
  ce.Enable(HasHandler(ce.GetId()));
}

bool TFrameWindow::IsCommandEnabled(UINT id) {
  if (id >= SC_SIZE && ActiveChild && ActiveChild->IsMaximized()) return true;
  TCommandEnabler ce(id);
  CommandEnable(ce);
  return ce.GetEnabled();
}

void TFrameWindow::InitMenuPopup(HMENU popup) {
  for (const plat::MenuItem& it : plat::menu_items(popup)) {
    if (it.flags & MF_SEPARATOR) continue;
    if (it.popup) {
      InitMenuPopup(it.popup);
      continue;
    }
    EnableMenuItem(popup, it.id, MF_BYCOMMAND | (IsCommandEnabled(it.id) ? MF_ENABLED : MF_GRAYED));
  }
}

bool TFrameWindow::ChooseMenuCommand(UINT id) {
  HMENU bar = GetMenu();
  // The popup of the bar that holds the command opens first; a command
  // on the bar itself is asked alone.
  HMENU top = nullptr;
  int n = GetMenuItemCount(bar);
  for (int i = 0; i < n && !top; ++i) {
    if (HMENU p = GetSubMenu(bar, i); p && plat::menu_holding(p, id)) top = p;
    else if (!p && GetMenuItemID(bar, i) == id) top = bar;
  }
  if (!top) return false;
  if (top == bar) EnableMenuItem(bar, id, MF_BYCOMMAND | (IsCommandEnabled(id) ? MF_ENABLED : MF_GRAYED));
  else InitMenuPopup(top);
  UINT state = GetMenuState(top, id, MF_BYCOMMAND);
  if (state == static_cast<UINT>(-1) || (state & (MF_GRAYED | MF_DISABLED))) return false;
  MenuSelect(id);
  MenuSelect(0);
  SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0);
  return true;
}

void TFrameWindow::MenuSelect(UINT) {}

LRESULT TFrameWindow::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (lp == 0) {
        // The system menu of a maximised child, from the frame's bar.
        if (LOWORD(wp) >= SC_SIZE && ActiveChild && ActiveChild->IsMaximized() &&
            ActiveChild->MDISysCommand(LOWORD(wp)))
          return 0;
        RouteCommand(LOWORD(wp), HIWORD(wp));
        return 0;
      }
      break;
    case WM_SYSCOMMAND:
      if (MDISysCommand(static_cast<UINT>(wp & 0xFFF0))) return 0;
      break;
    case WM_INITMENUPOPUP:
      InitMenuPopup(reinterpret_cast<HMENU>(wp));
      return 0;
    case WM_MENUSELECT:
      MenuSelect(HIWORD(wp) == 0xFFFF && lp == 0 ? 0 : LOWORD(wp));
      return 0;
    default:
      break;
  }
  return DispatchOwn(msg, wp, lp);
}

// ---- MDI ----

void TFrameWindow::JoinMdiFrame() {
  // A pop-up frame belongs to its owner, it is no MDI child of it.
  if (MdiFrame || (Attr.Style & WS_POPUP)) return;
  TWindow* p = GetParentO();
  TFrameWindow* frame = dynamic_cast<TFrameWindow*>(p);
  if (!frame && p) {
    auto* outer = dynamic_cast<TFrameWindow*>(p->GetParentO());
    if (outer && outer->ClientWnd == p) frame = outer;
  }
  if (!frame) return;
  MdiFrame = frame;
  frame->MdiChildren.push_back(this);
  frame->MDIActivate(this);
}

void TFrameWindow::LeaveMdiFrame() {
  TFrameWindow* frame = MdiFrame;
  if (!frame) return;
  MdiFrame = nullptr;
  auto& kids = frame->MdiChildren;
  kids.erase(std::remove(kids.begin(), kids.end(), this), kids.end());
  if (frame->ActiveChild == this) {
    bool maximized = GetHandle() && IsMaximized();
    frame->ActiveChild = nullptr;
    if (!kids.empty()) {
      // The next child takes over, maximised as this one was.
      TFrameWindow* next = kids.back();
      frame->MDIActivate(next);
      if (maximized && next->GetHandle() && !next->IsMaximized()) next->ShowWindow(SW_SHOWMAXIMIZED);
    } else {
      frame->UpdateMenuBar();
    }
  }
  frame->ChildrenChanged();
  if (frame->GetHandle()) frame->Invalidate();
}

void TFrameWindow::MDIActivate(TFrameWindow* child) {
  auto it = std::find(MdiChildren.begin(), MdiChildren.end(), child);
  if (it == MdiChildren.end()) return;
  TFrameWindow* old = ActiveChild;
  MdiChildren.erase(it);
  MdiChildren.push_back(child);
  ActiveChild = child;
  // While one child is maximised, the child that becomes active is too.
  if (old && old != child && old->GetHandle() && old->IsMaximized() && child->GetHandle() && !child->IsMaximized()) {
    old->MdiRestore();
    child->MdiMaximize();
  }
  UpdateMenuBar();
  ChildrenChanged();
  if (old && old != child && old->GetHandle()) old->Invalidate();
  if (child->GetHandle()) child->Invalidate();
  if (GetHandle()) Invalidate();
  FocusActiveChild();
}

void TFrameWindow::FocusActiveChild() {
  TFrameWindow* child = ActiveChild;
  if (!child || !child->GetHandle()) return;
  // The focus stays where it is inside the child (a control of its bar);
  // otherwise it goes to the child's client.
  for (TWindow* w = plat::window_object(::GetFocus()); w; w = w->GetParentO())
    if (w == child) return;
  TWindow* target = child->ClientWnd && child->ClientWnd->GetHandle() ? child->ClientWnd : child;
  target->SetFocus();
}

void TFrameWindow::MDINext() {
  if (MdiChildren.size() > 1) MDIActivate(MdiChildren.front());
}

TRect TFrameWindow::GetNormalRect() const {
  if (!IsMaximized() && !IsMinimized()) return GetWindowRect();
  TRect r = RestoreRect;
  if (TWindow* parent = GetParentO(); parent && (GetStyle() & WS_CHILD)) {
    TPoint o = parent->ClientToScreen({0, 0});
    r = TRect(r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y);
  }
  return r;
}

TWindow* TFrameWindow::MdiClientArea() const {
  if (!MdiFrame) return nullptr;
  return GetParentO();
}

bool TFrameWindow::MDISysCommand(UINT sc) {
  if (!MdiFrame || !GetHandle()) return false;
  switch (sc) {
    case SC_CLOSE:
      PostMessage(WM_CLOSE);
      return true;
    case SC_MINIMIZE:
      ShowWindow(SW_MINIMIZE);
      return true;
    case SC_MAXIMIZE:
      ShowWindow(SW_SHOWMAXIMIZED);
      return true;
    case SC_RESTORE:
      ShowWindow(SW_RESTORE);
      return true;
    case SC_NEXTWINDOW:
      MdiFrame->MDINext();
      return true;
    default:
      return false;
  }
}

void TFrameWindow::ShowCommand(int cmdShow) {
  if (!MdiFrame || Placing) return;
  switch (cmdShow) {
    case SW_SHOWMAXIMIZED:
      MdiMaximize();
      MdiFrame->MDIActivate(this);
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
      MdiMinimize();
      break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
      MdiRestore();
      if (cmdShow == SW_RESTORE || MdiFrame->ActiveChild != this) MdiFrame->MDIActivate(this);
      break;
    default:
      break;
  }
}

void TFrameWindow::BroughtToTop(UINT swpFlags) {
  if (MdiFrame && !(swpFlags & SWP_NOACTIVATE)) MdiFrame->MDIActivate(this);
}

void TFrameWindow::MdiMaximize() {
  if (IsMaximized()) return;
  if (!IsMinimized()) RestoreRect = Data() ? Data()->rect : TRect();
  SetStyle((GetStyle() | WS_MAXIMIZE) & ~WS_MINIMIZE);
  PlaceMaximizedChild();
  if (MdiFrame && MdiFrame->ActiveChild == this) MdiFrame->UpdateMenuBar();
}

void TFrameWindow::MdiMinimize() {
  if (IsMinimized()) return;
  if (!IsMaximized()) RestoreRect = Data() ? Data()->rect : TRect();
  SetStyle((GetStyle() | WS_MINIMIZE) & ~WS_MAXIMIZE);
  // A caption bar at the bottom of the client, in the first free slot.
  TWindow* area = MdiClientArea();
  TRect client = area ? area->GetClientRect() : TRect();
  int border, caption;
  NonClient(border, caption);
  const int width = 160, height = caption + 2 * border;
  int slot = 0;
  if (MdiFrame)
    for (TFrameWindow* c : MdiFrame->MdiChildren)
      if (c != this && c->GetHandle() && c->IsMinimized()) ++slot;
  Placing = true;
  SetWindowPos(nullptr, slot * width, client.bottom - height, width, height, SWP_NOZORDER);
  Placing = false;
  if (MdiFrame && MdiFrame->ActiveChild == this) MdiFrame->UpdateMenuBar();
}

void TFrameWindow::MdiRestore() {
  if (!IsMaximized() && !IsMinimized()) return;
  SetStyle(GetStyle() & ~(WS_MAXIMIZE | WS_MINIMIZE));
  Placing = true;
  SetWindowPos(nullptr, RestoreRect, SWP_NOZORDER);
  Placing = false;
  if (MdiFrame && MdiFrame->ActiveChild == this) MdiFrame->UpdateMenuBar();
}

void TFrameWindow::PlaceMaximizedChild() {
  // Called on the MDI frame after its client moved, and on a maximised
  // child: its client area covers the frame's client exactly.
  TFrameWindow* child = MdiFrame ? this : ActiveChild;
  if (!child || !child->GetHandle() || !child->IsMaximized()) return;
  TWindow* area = child->MdiClientArea();
  if (!area || !area->GetHandle()) return;
  TRect client = area->GetClientRect();
  int border, caption;
  child->NonClient(border, caption);
  child->Placing = true;
  child->SetWindowPos(nullptr, -border, -border - caption, client.Width() + 2 * border,
                      client.Height() + 2 * border + caption, SWP_NOZORDER);
  child->Placing = false;
}
