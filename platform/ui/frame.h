// TFrameWindow: a window with a client window, a menu bar and an
// accelerator table. Menu, accelerator and tool-bar commands travel a
// command chain: the active MDI child's chain first (its client, then the
// child), then the frame's client, then the frame. A frame created inside
// another frame (directly or inside its client) is that frame's MDI child:
// while active, its menu descriptor is merged into the frame's bar.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/accel.h"
#include "platform/ui/enabler.h"
#include "platform/ui/menu.h"
#include "platform/ui/window.h"

class TFrameWindow : public TWindow {
 public:
  TFrameWindow(TWindow* parent, const char* title = nullptr, TWindow* client = nullptr, bool shrinkToClient = false);
  ~TFrameWindow() override;

  TWindow* GetClientWindow() const { return ClientWnd; }
  virtual TWindow* SetClientWindow(TWindow* client);  // returns the old one

  // Menus. AssignMenu takes over a bar (or loads one); SetMenuDescr takes
  // over the descriptor's bar and groups (the descriptor keeps a handle it
  // no longer owns). GetMenu is the bar shown.
  bool AssignMenu(HMENU bar);
  bool AssignMenu(TResId resId);
  virtual bool SetMenuDescr(TMenuDescr& descr);
  const TMenuDescr* GetMenuDescr() const { return MenuDescr.get(); }
  HMENU GetMenu() const;
  void DrawMenuBar() {}

  // Accelerators: the frame owns the table.
  void SetAcceleratorTable(TResId resId);
  void SetAcceleratorTable(HACCEL table);
  HACCEL GetAccelTable() const { return Accel; }

  // Commands. The chain of an MDI child goes on into its frame's client
  // and frame; the chain of an MDI frame starts with its active child.
  void CommandChain(std::vector<TWindow*>& chain);
  bool RouteCommand(UINT id, UINT notifyCode = 0);
  bool HasHandler(UINT id);
  // Asks the enabler of the id (or the default rule).
  bool IsCommandEnabled(UINT id);
  virtual void CommandEnable(TCommandEnabler& ce);
  // A popup opens: its items are greyed or enabled by their enablers.
  void InitMenuPopup(HMENU popup);
  // The user picks command id from the bar: the popup holding it opens
  // (enablers run), and a grey or missing item does nothing (false).
  bool ChooseMenuCommand(UINT id);
  // The pointer rests on a menu item (0: the menu closed).
  virtual void MenuSelect(UINT id);

  // MDI.
  TFrameWindow* GetMDIFrame() const { return MdiFrame; }
  TFrameWindow* GetActiveMDIChild() const { return ActiveChild; }
  const std::vector<TFrameWindow*>& GetMDIChildren() const { return MdiChildren; }
  // Activation raises the child and gives its client the keyboard focus.
  void MDIActivate(TFrameWindow* child);
  void MDINext();
  // The boxes and system menu of an MDI child (SC_CLOSE, SC_MINIMIZE,
  // SC_MAXIMIZE, SC_RESTORE, SC_NEXTWINDOW); false for another command or
  // a frame that is no MDI child.
  bool MDISysCommand(UINT sc);
  bool IsMaximized() const { return GetStyle() & WS_MAXIMIZE; }
  bool IsMinimized() const { return GetStyle() & WS_MINIMIZE; }
  // Where the window stands when neither maximised nor minimised, in screen
  // co-ordinates: its own place, or the one a restore gives it back.
  TRect GetNormalRect() const;
  // The children from the bottom of the stack to the top (the active one).
  const std::vector<TFrameWindow*>& MDIStack() const { return MdiChildren; }

  void Destroy(int retVal = 0) override;
  void SetupWindow() override;
  void EvSize(UINT sizeType, const TSize& size) override;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  const char* WindowClass() const override { return "KvFrame"; }
  void ShowCommand(int cmdShow) override;
  void BroughtToTop(UINT swpFlags) override;
  // Places the client (and, in decorated frames, the bars).
  virtual void Layout();
  // The frame's bar changed or its active child changed: rebuild the bar shown.
  void UpdateMenuBar();
  // Called on the frame after an MDI child came or went.
  virtual void ChildrenChanged() {}
  LRESULT DispatchOwn(UINT msg, WPARAM wp, LPARAM lp) { return TWindow::WindowProc(msg, wp, lp); }

  TWindow* ClientWnd = nullptr;
  std::unique_ptr<TMenuDescr> MenuDescr;
  HMENU MergedBar = nullptr;
  HMENU ChildSysMenu = nullptr;  // the maximised child's popup in MergedBar
  HACCEL Accel = nullptr;
  bool ShrinkToClient = false;

 private:
  void OwnChain(std::vector<TWindow*>& chain);
  void JoinMdiFrame();
  void LeaveMdiFrame();
  // The active child's window states, and its place in the frame's client.
  void FocusActiveChild();
  void MdiMaximize();
  void MdiMinimize();
  void MdiRestore();
  void PlaceMaximizedChild();
  TWindow* MdiClientArea() const;
  TRect RestoreRect;  // an MDI child's normal place while it is maximised or minimised
  bool Placing = false;
  TFrameWindow* MdiFrame = nullptr;
  TFrameWindow* ActiveChild = nullptr;
  std::vector<TFrameWindow*> MdiChildren;  // in activation order, the active last
};
