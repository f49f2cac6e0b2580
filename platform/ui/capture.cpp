// Mouse capture and scroll bar state (capture.h).
#include "platform/ui/capture.h"

#include <algorithm>
#include <mutex>

#include "platform/ui/handles.h"

namespace {

std::mutex g_capture_mu;
HWND g_capture = nullptr;

plat::ScrollBarState* bar_of(plat::WindowData& w, int bar) {
  return bar == SB_HORZ || bar == SB_VERT ? &w.scroll[bar] : nullptr;
}

}  // namespace

HWND SetCapture(HWND hwnd) {
  HWND old = GetCapture();
  std::lock_guard lock(g_capture_mu);
  g_capture = plat::find_window(hwnd) ? hwnd : nullptr;
  return old;
}

BOOL ReleaseCapture() {
  std::lock_guard lock(g_capture_mu);
  g_capture = nullptr;
  return TRUE;
}

HWND GetCapture() {
  std::lock_guard lock(g_capture_mu);
  if (g_capture && !plat::find_window(g_capture)) g_capture = nullptr;
  return g_capture;
}

BOOL SetScrollRange(HWND hwnd, int bar, int min, int max, BOOL) {
  plat::WindowRef w = plat::find_window(hwnd);
  if (!w) return FALSE;
  std::lock_guard lock(w->mu);
  plat::ScrollBarState* s = bar_of(*w, bar);
  if (!s) return FALSE;
  s->min = min;
  s->max = std::max(min, max);
  s->pos = std::clamp(s->pos, s->min, s->max);
  return TRUE;
}

BOOL GetScrollRange(HWND hwnd, int bar, int* min, int* max) {
  plat::WindowRef w = plat::find_window(hwnd);
  if (!w) return FALSE;
  std::lock_guard lock(w->mu);
  plat::ScrollBarState* s = bar_of(*w, bar);
  if (!s) return FALSE;
  if (min) *min = s->min;
  if (max) *max = s->max;
  return TRUE;
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL) {
  plat::WindowRef w = plat::find_window(hwnd);
  if (!w) return 0;
  std::lock_guard lock(w->mu);
  plat::ScrollBarState* s = bar_of(*w, bar);
  if (!s) return 0;
  int old = s->pos;
  s->pos = std::clamp(pos, s->min, s->max);
  return old;
}

int GetScrollPos(HWND hwnd, int bar) {
  plat::WindowRef w = plat::find_window(hwnd);
  if (!w) return 0;
  std::lock_guard lock(w->mu);
  plat::ScrollBarState* s = bar_of(*w, bar);
  return s ? s->pos : 0;
}
