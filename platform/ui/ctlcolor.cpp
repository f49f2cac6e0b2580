// Control colours asked of the parent, and control fonts.
#include "platform/ui/ctlcolor.h"

#include <strings.h>

#include <map>
#include <mutex>
#include <utility>

#include "platform/ui/dc.h"
#include "platform/ui/dialog.h"
#include "platform/ui/window.h"

namespace plat {
namespace {

struct Kind {
  std::string cls;
  UINT style = 0;
  HWND parent = nullptr;
};

bool kind_of(HWND h, Kind& k) {
  WindowRef ref = find_window(h);
  if (!ref) return false;
  std::lock_guard lock(ref->mu);
  k.cls = ref->className;
  k.style = ref->style;
  k.parent = ref->parent;
  return true;
}

// One font per dialog font, made on first use and kept: a handful at most.
HFONT dialog_font_handle(const std::string& face, int points) {
  static std::mutex mu;
  static std::map<std::pair<std::string, int>, HFONT> fonts;
  std::lock_guard lock(mu);
  auto key = std::make_pair(face, points);
  auto it = fonts.find(key);
  if (it != fonts.end()) return it->second;
  // Points at the screen's 96 dots per inch, as an em height.
  HFONT f = CreateFont(-(points * 96 + 36) / 72, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                       face.c_str());
  fonts[key] = f;
  return f;
}

}  // namespace

UINT ctlcolor_message(HWND control) {
  Kind k;
  if (!kind_of(control, k)) return WM_CTLCOLORSTATIC;
  const char* c = k.cls.c_str();
  if (!strcasecmp(c, "EDIT"))
    return (k.style & (ES_READONLY | WS_DISABLED)) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
  if (!strcasecmp(c, "LISTBOX")) return WM_CTLCOLORLISTBOX;
  if (!strcasecmp(c, "COMBOBOX")) return WM_CTLCOLOREDIT;
  if (!strcasecmp(c, "BUTTON")) {
    UINT t = k.style & BS_TYPEMASK;
    return (t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON || (k.style & BS_PUSHLIKE)) ? WM_CTLCOLORBTN
                                                                                   : WM_CTLCOLORSTATIC;
  }
  if (!strcasecmp(c, "KvDialog")) return WM_CTLCOLORDLG;
  return WM_CTLCOLORSTATIC;
}

ControlColors default_control_colors(UINT msg) {
  ControlColors c;
  bool window = msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX;
  c.text = GetSysColor(COLOR_WINDOWTEXT);
  c.back = window ? GetSysColor(COLOR_WINDOW) : GetSysColor(COLOR_BTNFACE);
  c.brush = c.back;
  return c;
}

ControlColors ask_control_colors(HWND control, TDC& dc) {
  UINT msg = ctlcolor_message(control);
  ControlColors c = default_control_colors(msg);
  Kind k;
  if (!kind_of(control, k)) return c;
  dc.SetTextColor(c.text);
  dc.SetBkColor(c.back);
  dc.SetBkMode(OPAQUE);
  if (HFONT f = control_font(control)) dc.SelectObject(f);
  // A dialog asks itself; a control its parent.
  HWND target = msg == WM_CTLCOLORDLG ? control : k.parent;
  LRESULT answer = target ? ::SendMessage(target, msg, reinterpret_cast<WPARAM>(dc.GetHDC()),
                                          reinterpret_cast<LPARAM>(control))
                          : 0;
  std::shared_ptr<GdiObject> brush = find_gdi_object(reinterpret_cast<HGDIOBJ>(answer));
  if (brush && brush->kind == GdiObject::Brush) {
    c.text = dc.GetTextColor() & 0xFFFFFF;
    c.back = dc.GetBkColor() & 0xFFFFFF;
    c.transparent = dc.GetBkMode() == TRANSPARENT;
    c.brush = brush->color;
    c.brushNull = brush->null;
    c.fromParent = true;
  }
  if (WindowRef ref = find_window(control)) {
    std::lock_guard lock(ref->mu);
    ref->colors = c;
  }
  return c;
}

ControlColors control_colors(HWND control) {
  WindowRef ref = find_window(control);
  if (!ref) return {};
  {
    std::lock_guard lock(ref->mu);
    if (ref->colors.fromParent) return ref->colors;
  }
  return default_control_colors(ctlcolor_message(control));
}

HFONT control_font(HWND control) {
  Kind k;
  {
    WindowRef ref = find_window(control);
    if (!ref) return nullptr;
    std::lock_guard lock(ref->mu);
    if (ref->font) return ref->font;
  }
  if (!kind_of(control, k)) return nullptr;
  for (HWND w = control; w;) {
    if (auto* d = dynamic_cast<TDialog*>(window_object(w))) {
      const DialogTemplate* t = d->GetTemplate();
      return t ? dialog_font_handle(t->font, t->fontSize) : nullptr;
    }
    Kind up;
    if (!kind_of(w, up)) break;
    w = up.parent;
  }
  return nullptr;
}

}  // namespace plat
