// Accelerator tables and the keyboard state the model keeps. Headless, a
// key press goes to the focused window's frames (the innermost first, so an
// MDI child's table wins over its frame's); a key that matches an entry
// becomes that table's command, sent to the frame that owns the table.
#pragma once

#include "platform/ui/gdi_types.h"
#include "platform/wintypes.h"

#define FVIRTKEY 0x01
#define FSHIFT 0x04
#define FCONTROL 0x08
#define FALT 0x10

#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_CAPITAL 0x14
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_F1 0x70
#define VK_F2 0x71
#define VK_F3 0x72
#define VK_F4 0x73
#define VK_F5 0x74
#define VK_F6 0x75
#define VK_F7 0x76
#define VK_F8 0x77
#define VK_F9 0x78
#define VK_F10 0x79
#define VK_F11 0x7A
#define VK_F12 0x7B
#define VK_NUMLOCK 0x90
#define VK_SCROLL 0x91

struct ACCEL {
  BYTE fVirt;
  WORD key;
  WORD cmd;
};

// A fresh table from accelerator resource id (null when there is none).
HACCEL LoadAccelerators(HINSTANCE instance, int resId);
HACCEL CreateAcceleratorTable(const ACCEL* entries, int count);
BOOL DestroyAcceleratorTable(HACCEL table);
// Low bit: the key's toggle (Caps Lock on); high bit: the key is down.
short GetKeyState(int vk);

namespace plat {
// The command of the entry matching the key and modifiers (FSHIFT,
// FCONTROL, FALT), or 0.
UINT find_accelerator(HACCEL table, UINT vk, BYTE modifiers);
// The keyboard as tests and the renderer set it.
void set_key_toggled(int vk, bool on);
void set_key_down(int vk, bool down);
// Presses a key as the user would: accelerators first, else WM_KEYDOWN to
// the focused window. Insert toggles the overtype state. True when an
// accelerator took it.
bool press_key(UINT vk, BYTE modifiers = 0);
}  // namespace plat
