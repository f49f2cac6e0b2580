// TWindow: the base of every window of the model. A window object is built
// first (attributes, title, parent) and gets its handle when created; its
// children are created with it. State (text, styles, geometry, visibility)
// lives behind the handle, so an alias object built over a foreign handle
// reads and changes the same window. Messages that run handlers are
// dispatched on the UI thread through the response table; state may be set
// from any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/msgbox.h"
#include "platform/ui/geometry.h"
#include "platform/ui/handles.h"
#include "platform/ui/response_table.h"
#include "platform/ui/winstyle.h"
#include "platform/winmsg.h"
#include "platform/wintypes.h"

class TApplication;
class TDC;
struct TModule;

class TWindow {
 public:
  struct TWindowAttr {
    UINT Style = WS_CHILD | WS_VISIBLE;
    UINT ExStyle = 0;
    int X = 0;
    int Y = 0;
    int W = 0;
    int H = 0;
    int Id = 0;
  };

  TWindow(TWindow* parent, const char* title = nullptr);
  // An alias over a window that exists already (for example the focused
  // window as the owner of a box). It neither creates nor destroys it.
  explicit TWindow(HWND alias);
  virtual ~TWindow();
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  TWindowAttr Attr;

  // Life cycle.
  virtual bool Create();
  virtual void Destroy(int retVal = 0);
  virtual void SetupWindow();
  virtual void CleanupWindow() {}
  virtual bool CanClose();
  virtual void CloseWindow(int retVal = 0);
  virtual bool IdleAction(long idleCount);
  virtual bool Find(TEventInfo& ev);

  // Handle and family.
  HWND GetHandle() const { return Handle; }
  operator HWND() const { return Handle; }
  bool IsWindow() const;
  TWindow* GetParentO() const { return Parent; }
  HWND GetParent() const;
  void SetParent(TWindow* parent);
  const std::vector<TWindow*>& GetChildren() const { return Children; }
  TWindow* ChildWithId(int id) const;
  int GetId() const;
  TApplication* GetApplication() const;
  int GetClassName(char* buf, int size) const;
  std::string ClassName() const;

  // Visibility, geometry, focus.
  bool ShowWindow(int cmdShow);
  bool Show(int cmdShow) { return ShowWindow(cmdShow); }
  bool IsWindowVisible() const;
  int GetShowState() const { return ShowState; }
  bool SetWindowPos(HWND after, int x, int y, int w, int h, UINT flags);
  bool SetWindowPos(HWND after, const TRect& r, UINT flags) {
    return SetWindowPos(after, r.left, r.top, r.Width(), r.Height(), flags);
  }
  bool MoveWindow(int x, int y, int w, int h, bool repaint = false);
  TRect GetWindowRect() const;  // screen coordinates
  void GetWindowRect(TRect& r) const { r = GetWindowRect(); }
  TRect GetClientRect() const;  // origin 0,0
  void GetClientRect(TRect& r) const { r = GetClientRect(); }
  TPoint ClientToScreen(TPoint p) const;
  void Invalidate(bool erase = true);
  HWND SetFocus();
  bool EnableWindow(bool enable);
  bool IsWindowEnabled() const;
  UINT GetStyle() const;
  void SetStyle(UINT style);
  UINT GetExStyle() const;
  void SetExStyle(UINT style);

  // Caption or text.
  void SetCaption(const char* title);
  const char* GetCaption() const { return Title.c_str(); }
  void SetWindowText(const char* text);
  int GetWindowText(char* buf, int size) const;  // size counts the zero
  int GetWindowTextLength() const;
  std::string GetText() const;

  // Children by id; an id the window does not have is ignored.
  HWND GetDlgItem(int id) const;
  void SetDlgItemText(int id, const char* text);
  UINT GetDlgItemText(int id, char* buf, int size) const;
  LRESULT SendDlgItemMessage(int id, UINT msg, WPARAM wp = 0, LPARAM lp = 0);

  // Messages: sent ones run at once on the UI thread; posted ones wait in
  // the queue.
  LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0);
  bool PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0);
  int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);
  bool SetCursor(TModule* module, int cursorId);

  // Entry from the layer: runs one message on the UI thread.
  LRESULT ReceiveMessage(UINT msg, WPARAM wp, LPARAM lp);
  // State messages (texts, list lines, check marks) run under the window's
  // lock from any thread; they never run handlers of the response table.
  virtual bool IsStateMessage(UINT msg) const;
  // Default handling of a message that no table entry took.
  virtual LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp);

  // Focus notifications, sent by the layer to the window gaining or losing it.
  virtual void EvSetFocus() {}
  virtual void EvKillFocus() {}
  virtual void EvClose();
  virtual void EvSize(UINT sizeType, const TSize& size);
  // Draws the client area on dc (see platform/ui/dc.h).
  virtual void Paint(TDC&, bool /*erase*/, TRect& /*rect*/) {}
  // Colours of a control being painted (WM_CTLCOLOR*): the default
  // handling sets the standard colours on dc and returns their brush.
  HBRUSH EvCtlColor(HDC dc, HWND control, UINT ctlType);
  // The colour the window is erased with before it paints, in place of
  // the brush of its kind.
  void SetBkgndColor(COLORREF color);
  // The window's own font (WM_SETFONT, WM_GETFONT).
  void SetWindowFont(HFONT font, bool redraw = true);
  HFONT GetWindowFont();
  // Border and caption the window has around its client area, in pixels.
  void NonClient(int& border, int& caption) const;

  // The state behind the handle (null before creation and after destruction).
  plat::WindowRef Data() const { return Ref; }

 protected:
  virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT DefaultProcessing();
  // After ShowWindow changed the window's state on the UI thread (an MDI
  // child maximises, minimises or restores here).
  virtual void ShowCommand(int /*cmdShow*/) {}
  // After SetWindowPos put the window on top of its siblings.
  virtual void BroughtToTop(UINT /*swpFlags*/) {}
  // Builds the handle and state; dialogs override to bind template controls.
  virtual bool PerformCreate();
  // The class name the window registers under ("EDIT", "LISTBOX", ...).
  virtual const char* WindowClass() const { return "KvWindow"; }
  void CreateChildren();
  // Sends a notification to the parent: on the UI thread at once, from other
  // threads through the queue.
  void NotifyParent(UINT code);
  void AddChild(TWindow* child);
  void RemoveChild(TWindow* child);
  // Releases the handle of this window and its children.
  void ReleaseHandle();

  HWND Handle = nullptr;
  plat::WindowRef Ref;
  TWindow* Parent = nullptr;
  std::vector<TWindow*> Children;
  std::string Title;
  bool IsAlias = false;
  bool SetupDone = false;
  bool OwnedByParent = true;  // deleted with the parent (heap children)
  int ShowState = SW_SHOWNORMAL;
  int Cursor = IDC_ARROW;
  const TEventInfo* CurrentEvent = nullptr;
  std::optional<COLORREF> PendingBkgnd;  // set before the window was created

  friend class TDialog;
  friend class TApplication;
};

// Win32-shaped calls by handle, for code that holds only a handle (and the
// plug-in host table).
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
BOOL IsWindow(HWND hwnd);
HWND GetFocus();
HWND SetFocus(HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL ShowWindow(HWND hwnd, int cmdShow);
BOOL SetWindowText(HWND hwnd, const char* text);
int GetWindowText(HWND hwnd, char* buf, int size);
HWND GetDlgItem(HWND dlg, int id);
int GetDlgCtrlID(HWND hwnd);
void PostQuitMessage(int exitCode);
inline int MessageBoxEx(HWND owner, const char* text, const char* caption, UINT flags, WORD /*language*/) {
  return MessageBox(owner, text, caption, flags);
}

namespace plat {
// The object that owns a live handle, or null.
TWindow* window_object(HWND hwnd);
// Copies text into a caller's buffer of size bytes (the zero included).
int copy_text(const std::string& text, char* buf, int size);
}  // namespace plat
