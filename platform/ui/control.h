// TControl: the base of the standard controls. A control is built either
// with its own geometry (a new child window) or with the id of a control
// of its parent's dialog template, which it then stands for. Controls are
// also made by window class name, for template controls that no object
// was built for and for windows made with CreateWindowEx.
#pragma once

#include <functional>
#include <string>

#include "platform/ui/ownerdraw.h"
#include "platform/ui/window.h"

class TControl : public TWindow {
 public:
  TControl(TWindow* parent, int id, const char* title, int x, int y, int w, int h);
  TControl(TWindow* parent, int resourceId);

  bool IsFromResource() const { return FromResource; }

  // Painting asks the parent for the colours (WM_CTLCOLOR*) and fills the
  // control with its brush.
  void Paint(TDC& dc, bool erase, TRect& rect) override;
  // An owner-drawn item, sent on by the parent: split by its action.
  virtual void DrawItem(DRAWITEMSTRUCT& dis);
  virtual void ODADrawEntire(DRAWITEMSTRUCT&) {}
  virtual void ODAFocus(DRAWITEMSTRUCT&) {}
  virtual void ODASelect(DRAWITEMSTRUCT&) {}
  virtual void MeasureItem(MEASUREITEMSTRUCT&) {}

 protected:
  // For edits and list boxes: the parent hears about focus changes.
  void EvSetFocus() override;
  void EvKillFocus() override;
  virtual UINT SetFocusCode() const { return 0; }
  virtual UINT KillFocusCode() const { return 0; }
  bool FromResource = false;
};

namespace plat {

using WindowFactory = std::function<TWindow*(TWindow* parent, int id)>;
// Registers a window class by name (case-insensitive), replacing one of
// the same name. The standard classes are registered from the start.
void register_window_class(const std::string& name, WindowFactory factory);
// Builds an object of that class as a child of parent, not yet created;
// null for an unknown class.
TWindow* make_window(const std::string& className, TWindow* parent, int id);

}  // namespace plat

HWND CreateWindowEx(DWORD exStyle, const char* className, const char* text, DWORD style, int x, int y, int w,
                    int h, HWND parent, HMENU idOrMenu, HINSTANCE instance, void* param);
BOOL DestroyWindow(HWND hwnd);
