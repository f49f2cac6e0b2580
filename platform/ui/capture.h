// The mouse capture and the scroll bars of a window. The capture is one
// window of the program at a time (the report engine's output holds it
// while pages are produced); a destroyed window no longer holds it. Each
// window has a horizontal and a vertical scroll bar state: its range and
// its thumb's position, which the window's own scrolling keeps and a
// desktop shows.
#pragma once

#include "platform/wintypes.h"

// The scroll codes of WM_VSCROLL and WM_HSCROLL (Windows values), also
// the edit control's.
#define SB_LINEUP 0
#define SB_LINEDOWN 1
#define SB_PAGEUP 2
#define SB_PAGEDOWN 3
#define SB_THUMBPOSITION 4
#define SB_THUMBTRACK 5
#define SB_TOP 6
#define SB_BOTTOM 7
#define SB_HORZ 0
#define SB_VERT 1

// Returns the window that held the capture (null for none).
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();

// Each returns the previous position (SetScrollPos) or whether the window
// exists; a position is kept within the range.
BOOL SetScrollRange(HWND hwnd, int bar, int min, int max, BOOL redraw);
BOOL GetScrollRange(HWND hwnd, int bar, int* min, int* max);
int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw);
int GetScrollPos(HWND hwnd, int bar);
