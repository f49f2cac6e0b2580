// Shared helpers of the edit-control tests: a parent that records the
// notifications it gets, and calls that wrap the sized-buffer messages.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/ledit/control.h"
#include "platform/ui/accel.h"
#include "platform/ui/handles.h"

namespace ledittest {

class Recorder : public TWindow {
 public:
  Recorder() : TWindow(nullptr, "Recorder") { Attr.Style = WS_OVERLAPPEDWINDOW; }
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_COMMAND && lp) Notes.push_back({LOWORD(wp), HIWORD(wp)});
    return TWindow::DefWindowProc(msg, wp, lp);
  }
  int count(int id, int code) const {
    int n = 0;
    for (auto& [i, c] : Notes) n += i == id && c == code;
    return n;
  }
  std::vector<std::pair<int, int>> Notes;  // control id, code
};

inline std::string line_of(HWND h, uint32_t line, size_t size = 600) {
  std::vector<char> buf(size + 1, '#');
  std::memcpy(buf.data(), &line, sizeof line);
  LEditBuffer b{buf.data(), size};
  if (::SendMessage(h, LEM_GETLINE, 0, reinterpret_cast<LPARAM>(&b)) < 0) return "<failed>";
  EXPECT_EQ(buf[size], '#') << "written past the buffer";
  return buf.data();
}

inline std::string all_text(HWND h) {
  size_t n = static_cast<size_t>(::SendMessage(h, LEM_GETLENGTH, 1, 0));
  std::string s(n + 1, '\0');
  LEditBuffer b{s.data(), s.size()};
  EXPECT_EQ(::SendMessage(h, LEM_COPYALLTEXT, 1, reinterpret_cast<LPARAM>(&b)), 0);
  s.resize(n);
  return s;
}

inline void select(HWND h, uint32_t l1, uint16_t c1, uint32_t l2, uint16_t c2) {
  SelectionRange r{c1, c2, l1, l2};
  ::SendMessage(h, LEM_SETSEL, 0, reinterpret_cast<LPARAM>(&r));
}

inline SelectionRange selection(HWND h) {
  SelectionRange r{};
  ::SendMessage(h, LEM_GETSEL, 0, reinterpret_cast<LPARAM>(&r));
  return r;
}

inline void type(HWND h, const std::string& s) {
  for (char c : s) ::SendMessage(h, WM_CHAR, static_cast<unsigned char>(c), 0);
}

// Presses a key with the modifiers held.
inline void key(HWND h, UINT vk, bool shift = false, bool ctrl = false) {
  plat::set_key_down(VK_SHIFT, shift);
  plat::set_key_down(VK_CONTROL, ctrl);
  ::SendMessage(h, WM_KEYDOWN, vk, 0);
  plat::set_key_down(VK_SHIFT, false);
  plat::set_key_down(VK_CONTROL, false);
}

}  // namespace ledittest
