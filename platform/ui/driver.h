// The test driver. It answers modal dialogs (by template id or class name,
// in the order the test expects them) and message boxes (from a queue of
// answers), keeps a log of both, pumps the queue and runs idle processing.
// A dialog or box nobody expected, a dialog still open after its answer,
// or a loop left waiting with nothing to do fails the test through the
// failure callback, with the template id or text; nothing hangs.
//
// A Pilot acts on one dialog the way a user would: types into edits,
// clicks buttons, picks list lines, presses Enter or Esc, and reads back
// any control.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/msgbox.h"
#include "platform/ui/app_state.h"
#include "platform/ui/dialog.h"

namespace plat {

class UiDriver {
 public:
  using Fail = std::function<void(const std::string&)>;
  using Answer = std::function<void(TDialog&)>;

  explicit UiDriver(Fail fail);
  ~UiDriver();  // fails for expectations never met and restores the host
  UiDriver(const UiDriver&) = delete;
  UiDriver& operator=(const UiDriver&) = delete;

  void expect_dialog(int templateId, Answer answer);
  void expect_dialog(const std::string& className, Answer answer);
  // The next box is answered with answer; its text must contain textPart.
  void expect_message_box(int answer, const std::string& textPart = {});
  // How long a loop waits for a message from another thread before failing.
  void set_patience(std::chrono::milliseconds patience) { patience_ = patience; }

  void pump();  // runs every waiting message
  bool idle(long idleCount);
  // Waits up to timeout for a message (posted by another thread) and runs it.
  bool wait_and_pump(std::chrono::milliseconds timeout);

  std::vector<std::string> dialogs_shown() const;  // "900 TTestDialog"
  std::vector<MessageBoxRecord> message_boxes() const;
  std::vector<std::string> errors() const;  // failures reported by the layer

 private:
  struct Expected {
    int id = 0;
    std::string className;
    Answer answer;
  };
  struct ExpectedBox {
    int answer;
    std::string textPart;
  };
  void show_modal(TDialog& dlg);
  bool wait(const std::string& what);
  int box(const std::string& text, const std::string& caption, UINT flags);

  Fail fail_;
  mutable std::mutex mu_;
  std::deque<Expected> dialogs_;
  std::deque<ExpectedBox> boxes_;
  std::vector<std::string> shown_;
  std::vector<MessageBoxRecord> boxLog_;
  std::vector<std::string> errors_;
  std::chrono::milliseconds patience_{2000};
  UiHost oldHost_;
  MessageBoxHandler oldBox_;
};

class Pilot {
 public:
  explicit Pilot(TWindow& window) : w_(window) {}

  TWindow* control(int id) const;
  std::string text(int id) const;
  void set_text(int id, const std::string& text);
  // Focuses the edit and types character by character.
  void type(int id, const std::string& text);
  // Clicks a button; false when it is missing, hidden or disabled.
  bool click(int id);
  // A list or combo line, as the user picks it; keys (MK_SHIFT,
  // MK_CONTROL) held with the click extend a list's extended selection.
  bool select(int id, int index, UINT keys = 0);
  bool double_click(int id, int index);
  void press_enter();
  void press_escape();
  void close_box();
  void focus(int id);

  bool checked(int id) const;
  bool enabled(int id) const;
  bool visible(int id) const;
  bool focused(int id) const;
  int selection(int id) const;
  std::vector<int> selections(int id) const;  // a list's, with extended selection
  std::vector<std::string> lines(int id) const;

 private:
  TWindow& w_;
};

}  // namespace plat
