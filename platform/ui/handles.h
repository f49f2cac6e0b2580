// Window handles. A handle is an opaque number, never reused, that maps to
// the live state of one window; a handle of a destroyed window no longer
// maps to anything, so it is detected instead of dereferenced. The state is
// shared with alias objects and guarded by the window's own lock, so any
// thread may read or set it (control texts, list lines) without waiting on
// the UI thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/gdi_types.h"
#include "platform/ui/geometry.h"
#include "platform/wintypes.h"

class TWindow;

namespace plat {

// The colours a control paints with: its parent's answer to WM_CTLCOLOR*
// the last time it was painted, or the defaults of its kind.
struct ControlColors {
  COLORREF text = 0;
  COLORREF back = 0xFFFFFF;  // behind the text
  bool transparent = false;  // the text leaves the background as it is
  COLORREF brush = 0xFFFFFF; // the rest of the control
  bool brushNull = false;
  bool fromParent = false;   // the parent answered with a brush
};

// A scroll bar's range and thumb (capture.h).
struct ScrollBarState {
  int min = 0;
  int max = 0;
  int pos = 0;
};

struct WindowData {
  std::recursive_mutex mu;
  HWND hwnd = nullptr;
  TWindow* object = nullptr;  // the owning object; null once destroyed
  std::string className;
  std::string text;
  UINT style = 0;
  UINT exStyle = 0;
  int id = 0;
  TRect rect;  // in the parent's client coordinates (screen for top level)
  HWND parent = nullptr;
  std::vector<HWND> children;  // in creation order
  HFONT font = nullptr;        // set by WM_SETFONT (null: the dialog's or the system's)
  bool hasBkgnd = false;       // SetBkgndColor: the colour the window is erased with
  COLORREF bkgnd = 0;
  ControlColors colors;        // as last painted
  ScrollBarState scroll[2];    // SB_HORZ, SB_VERT
};

using WindowRef = std::shared_ptr<WindowData>;

// Allocates a new handle for fresh state and registers it.
WindowRef register_window(TWindow* object, HWND parent);
// Removes the handle; later lookups fail.
void unregister_window(HWND hwnd);
// The live state behind a handle, or null.
WindowRef find_window(HWND hwnd);
// Number of live windows, for leak checks in tests.
size_t live_window_count();

}  // namespace plat
