// The messages a window receives, in order, for window tests: a parent
// window that records what reaches its window procedure, and an expectation
// that compares a recorded sequence with the one a test wants and prints
// both when they differ.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/window.h"
#include "platform/winmsg.h"

namespace kvtest {

struct Message {
  HWND hwnd = nullptr;
  UINT msg = 0;
  WPARAM wp = 0;
  LPARAM lp = 0;
};

// A control's notification to its parent: WM_COMMAND with the control's
// id and the code in wp and its handle in lp.
struct Notification {
  int id = 0;
  int code = 0;
  bool operator==(const Notification&) const = default;
};

inline std::string Describe(const Notification& n) {
  return "{" + std::to_string(n.id) + ", " + std::to_string(n.code) + "}";
}
inline std::string Describe(UINT msg) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04X", msg);
  return buf;
}

// Collects messages; safe to feed from any thread, read on the test's.
class MessageRecorder {
 public:
  void Record(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    std::lock_guard lock(mu_);
    messages_.push_back({hwnd, msg, wp, lp});
  }
  std::vector<Message> Messages() const {
    std::lock_guard lock(mu_);
    return messages_;
  }
  // The message numbers in order, only those listed when any are.
  std::vector<UINT> Kinds(std::vector<UINT> only = {}) const {
    std::vector<UINT> out;
    for (const Message& m : Messages())
      if (only.empty() || std::find(only.begin(), only.end(), m.msg) != only.end()) out.push_back(m.msg);
    return out;
  }
  // The notifications from controls in order (menu commands, with no
  // control handle, are left out).
  std::vector<Notification> Notifications() const {
    std::vector<Notification> out;
    for (const Message& m : Messages())
      if (m.msg == WM_COMMAND && m.lp) out.push_back({LOWORD(m.wp), HIWORD(m.wp)});
    return out;
  }
  void Clear() {
    std::lock_guard lock(mu_);
    messages_.clear();
  }

 private:
  mutable std::mutex mu_;
  std::vector<Message> messages_;
};

// A top-level window that records every message its procedure receives
// and then handles it as any window does. Controls made with it as parent
// report to it.
class RecordingWindow : public TWindow {
 public:
  explicit RecordingWindow(const char* title = "Recorder") : TWindow(nullptr, title) {
    Attr.Style = WS_OVERLAPPEDWINDOW;
  }
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    Recorded.Record(GetHandle(), msg, wp, lp);
    return TWindow::DefWindowProc(msg, wp, lp);
  }
  MessageRecorder Recorded;
};

// EXPECT_TRUE(SequenceIs(got, want)): equal sequences, or both printed with
// the first place they part.
template <class T>
::testing::AssertionResult SequenceIs(const std::vector<T>& got, const std::vector<T>& want) {
  size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  if (i == got.size() && i == want.size()) return ::testing::AssertionSuccess();
  auto list = [](const std::vector<T>& v) {
    std::string s;
    for (const T& x : v) s += (s.empty() ? "" : " ") + Describe(x);
    return "[" + s + "]";
  };
  return ::testing::AssertionFailure() << "sequences part at " << i << "\n  got:  " << list(got)
                                       << "\n  want: " << list(want);
}

}  // namespace kvtest
