// Moving the focus in a dialog with the keyboard, as the dialog manager
// does: Tab and Shift+Tab go from tab stop to tab stop (WS_TABSTOP) in
// creation order, wrapping; a tab stop that is a radio button gives way to
// the checked button of its group. Arrow keys move inside a group (from a
// WS_GROUP control to the next one) and check an automatic radio button
// they land on. Hidden and disabled controls are passed over.
#include <strings.h>

#include "platform/ui/accel.h"
#include "platform/ui/dialog.h"
#include "platform/ui/handles.h"

namespace plat {
namespace {

struct Ctl {
  HWND h;
  UINT style;
  std::string cls;
};

std::vector<Ctl> controls_of(HWND dlg) {
  std::vector<HWND> kids;
  if (WindowRef ref = find_window(dlg)) {
    std::lock_guard lock(ref->mu);
    kids = ref->children;
  }
  std::vector<Ctl> out;
  for (HWND k : kids) {
    WindowRef ref = find_window(k);
    if (!ref) continue;
    std::lock_guard lock(ref->mu);
    out.push_back({k, ref->style, ref->className});
  }
  return out;
}

bool usable(const Ctl& c) { return (c.style & WS_VISIBLE) && !(c.style & WS_DISABLED); }

bool is_radio(const Ctl& c) {
  if (strcasecmp(c.cls.c_str(), "BUTTON") != 0) return false;
  UINT t = c.style & BS_TYPEMASK;
  return t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON;
}

int index_of(const std::vector<Ctl>& cs, HWND h) {
  for (size_t i = 0; i < cs.size(); ++i)
    if (cs[i].h == h) return static_cast<int>(i);
  return -1;
}

// The group holding control i: [first, end).
std::pair<int, int> group_of(const std::vector<Ctl>& cs, int i) {
  int n = static_cast<int>(cs.size());
  int first = i;
  while (first > 0 && !(cs[first].style & WS_GROUP)) --first;
  int end = i + 1;
  while (end < n && !(cs[end].style & WS_GROUP)) ++end;
  return {first, end};
}

// The dialog a control belongs to.
HWND dialog_of(HWND h) {
  for (HWND w = h; w;) {
    if (dynamic_cast<TDialog*>(window_object(w))) return w;
    WindowRef ref = find_window(w);
    if (!ref) return nullptr;
    std::lock_guard lock(ref->mu);
    w = ref->parent;
  }
  return nullptr;
}

}  // namespace

bool dialog_key(HWND focus, UINT vk, BYTE mods) {
  bool tab = vk == VK_TAB && !(mods & (FCONTROL | FALT));
  bool arrow = (vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN) && mods == 0;
  if (!tab && !arrow) return false;
  HWND dlg = dialog_of(focus);
  if (!dlg || dlg == focus) return false;
  if (arrow) {
    // Edits, lists and combo boxes use the arrows themselves.
    WindowRef ref = find_window(focus);
    std::string cls;
    if (ref) {
      std::lock_guard lock(ref->mu);
      cls = ref->className;
    }
    if (strcasecmp(cls.c_str(), "BUTTON") != 0 && strcasecmp(cls.c_str(), "STATIC") != 0) return false;
  }
  HWND next = tab ? GetNextDlgTabItem(dlg, focus, (mods & FSHIFT) != 0)
                  : GetNextDlgGroupItem(dlg, focus, vk == VK_LEFT || vk == VK_UP);
  if (!next) return true;
  ::SetFocus(next);
  if (arrow) {
    std::vector<Ctl> cs = controls_of(dlg);
    int i = index_of(cs, next);
    if (i >= 0 && is_radio(cs[i]) && (cs[i].style & BS_TYPEMASK) == BS_AUTORADIOBUTTON &&
        ::SendMessage(next, BM_GETCHECK, 0, 0) != BST_CHECKED)
      ::SendMessage(next, BM_CLICK, 0, 0);
  }
  return true;
}

}  // namespace plat

HWND GetNextDlgTabItem(HWND dlg, HWND ctl, BOOL previous) {
  std::vector<plat::Ctl> cs = plat::controls_of(dlg);
  int n = static_cast<int>(cs.size());
  if (n == 0) return nullptr;
  int at = plat::index_of(cs, ctl);
  if (at < 0) at = previous ? 0 : n - 1;
  int step = previous ? -1 : 1;
  for (int k = 1; k <= n; ++k) {
    int i = ((at + step * k) % n + n) % n;
    const plat::Ctl& c = cs[i];
    if (!(c.style & WS_TABSTOP) || !plat::usable(c)) continue;
    if (plat::is_radio(c)) {
      // Into a group of radio buttons: its checked one. From one of its
      // buttons, Tab leaves the group.
      auto [first, end] = plat::group_of(cs, i);
      if (i == at || (at >= first && at < end && plat::is_radio(cs[at]))) continue;
      for (int j = first; j < end; ++j)
        if (plat::is_radio(cs[j]) && plat::usable(cs[j]) && ::SendMessage(cs[j].h, BM_GETCHECK, 0, 0) == BST_CHECKED)
          return cs[j].h;
    }
    return c.h;
  }
  return nullptr;
}

HWND GetNextDlgGroupItem(HWND dlg, HWND ctl, BOOL previous) {
  std::vector<plat::Ctl> cs = plat::controls_of(dlg);
  int at = plat::index_of(cs, ctl);
  if (at < 0) return nullptr;
  auto [first, end] = plat::group_of(cs, at);
  int size = end - first;
  int step = previous ? -1 : 1;
  for (int k = 1; k < size; ++k) {
    int i = first + (((at - first) + step * k) % size + size) % size;
    if (plat::usable(cs[i])) return cs[i].h;
  }
  return ctl;
}
