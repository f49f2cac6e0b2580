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
  if (!ActiveChild || !ActiveChild->MenuDescr) return;
  if (MenuDescr) {
    MergedBar = plat::merge_menus(*MenuDescr, *ActiveChild->MenuDescr);
  } else {
    TMenuDescr none;
    MergedBar = plat::merge_menus(none, *ActiveChild->MenuDescr);
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
  // The popup of the bar that holds the command opens first.
  HMENU top = nullptr;
  int n = GetMenuItemCount(bar);
  for (int i = 0; i < n && !top; ++i)
    if (HMENU p = GetSubMenu(bar, i); p && plat::menu_holding(p, id)) top = p;
  if (!top) return false;
  InitMenuPopup(top);
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
        RouteCommand(LOWORD(wp), HIWORD(wp));
        return 0;
      }
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
  if (MdiFrame) return;
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
    frame->ActiveChild = kids.empty() ? nullptr : kids.back();
    frame->UpdateMenuBar();
  }
  frame->ChildrenChanged();
}

void TFrameWindow::MDIActivate(TFrameWindow* child) {
  auto it = std::find(MdiChildren.begin(), MdiChildren.end(), child);
  if (it == MdiChildren.end()) return;
  MdiChildren.erase(it);
  MdiChildren.push_back(child);
  ActiveChild = child;
  UpdateMenuBar();
  ChildrenChanged();
}

void TFrameWindow::MDINext() {
  if (MdiChildren.size() > 1) MDIActivate(MdiChildren.front());
}
