// Control colours and fonts. Painting a control asks its parent for the
// colours (WM_CTLCOLOREDIT, ...LISTBOX, ...BTN, ...STATIC, and a dialog
// asks itself with ...DLG), handing over the paint context: the handler
// sets text and background colours on it and returns the brush for the
// rest. The control keeps what it was given, which the renderer shows.
// WM_SETFONT gives a single control a font of its own; WM_GETFONT reads it
// back, a template control without one answering with its dialog's font.
#pragma once

#include "platform/ui/gdi_types.h"
#include "platform/ui/handles.h"
#include "platform/wintypes.h"

class TDC;

#define WM_CTLCOLORMSGBOX 0x0132
#define WM_CTLCOLORSCROLLBAR 0x0137
#define CTLCOLOR_MSGBOX 0
#define CTLCOLOR_EDIT 1
#define CTLCOLOR_LISTBOX 2
#define CTLCOLOR_BTN 3
#define CTLCOLOR_DLG 4
#define CTLCOLOR_SCROLLBAR 5
#define CTLCOLOR_STATIC 6

namespace plat {

// The WM_CTLCOLOR* message a control of this kind sends (a read-only or
// disabled edit, check and radio buttons and group boxes send the
// static's, as on Windows).
UINT ctlcolor_message(HWND control);
// The colours a control of that message has when nobody changes them.
ControlColors default_control_colors(UINT ctlcolorMessage);
// Asks as a paint of the control does, on dc (UI thread), and keeps the
// answer with the control.
ControlColors ask_control_colors(HWND control, TDC& dc);
// The colours kept from the control's last paint.
ControlColors control_colors(HWND control);
// The font a control shows: its own (WM_SETFONT), else its dialog's, else
// null for the system font.
HFONT control_font(HWND control);

}  // namespace plat
