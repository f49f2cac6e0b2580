// Message boxes. Every box goes through one handler: the desktop renderer
// installs one that shows a real box; headless (tests, no display) the
// default handler answers from a queue and logs every box shown.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/wintypes.h"

int MessageBox(HWND owner, const char* text, const char* caption, UINT flags);
BOOL MessageBeep(UINT type);

namespace plat {

struct MessageBoxRecord {
  std::string text;
  std::string caption;
  UINT flags = 0;
  int answer = 0;
};

using MessageBoxHandler =
    std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT flags)>;

// Replaces the handler; an empty function restores the headless one.
// Returns the previous handler.
MessageBoxHandler set_message_box_handler(MessageBoxHandler h);

// Headless handler. A box is answered with the next queued answer; with
// none queued, the unexpected-box handler decides (by default: the box is
// written to stderr and answered with its first button: IDOK, IDYES,
// IDABORT or IDRETRY).
void queue_message_box_answer(int answer);
void clear_message_box_answers();
std::vector<MessageBoxRecord> message_box_log();
void clear_message_box_log();
MessageBoxHandler set_unexpected_message_box_handler(MessageBoxHandler h);

// The default answer for a box of the given flags: its first button.
int default_message_box_answer(UINT flags);

// Beeps are counted, for tests, and sounded by the handler the desktop
// renderer installs (none headless). Returns the previous handler.
int beep_count();
using BeepHandler = std::function<void(UINT type)>;
BeepHandler set_beep_handler(BeepHandler h);

}  // namespace plat
