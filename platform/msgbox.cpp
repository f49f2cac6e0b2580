#include "platform/msgbox.h"

#include <cstdio>
#include <deque>
#include <mutex>

namespace plat {
namespace {

// Boxes come from worker threads too, so all state sits under one lock.
struct State {
  std::mutex mu;
  MessageBoxHandler handler;
  MessageBoxHandler unexpected;
  std::deque<int> answers;
  std::vector<MessageBoxRecord> log;
  int beeps = 0;
  BeepHandler beep;
};

State& state() {
  static State s;
  return s;
}

int headless_box(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  State& s = state();
  std::unique_lock lock(s.mu);
  int answer;
  if (!s.answers.empty()) {
    answer = s.answers.front();
    s.answers.pop_front();
  } else {
    MessageBoxHandler unexpected = s.unexpected;
    lock.unlock();
    if (unexpected) {
      answer = unexpected(owner, text, caption, flags);
    } else {
      std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
      answer = default_message_box_answer(flags);
    }
    lock.lock();
  }
  s.log.push_back({text, caption, flags, answer});
  return answer;
}

}  // namespace

int default_message_box_answer(UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_YESNO:
    case MB_YESNOCANCEL: return IDYES;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return IDOK;
  }
}

MessageBoxHandler set_message_box_handler(MessageBoxHandler h) {
  std::lock_guard lock(state().mu);
  MessageBoxHandler old = std::move(state().handler);
  state().handler = std::move(h);
  return old;
}

MessageBoxHandler set_unexpected_message_box_handler(MessageBoxHandler h) {
  std::lock_guard lock(state().mu);
  MessageBoxHandler old = std::move(state().unexpected);
  state().unexpected = std::move(h);
  return old;
}

void queue_message_box_answer(int answer) {
  std::lock_guard lock(state().mu);
  state().answers.push_back(answer);
}

void clear_message_box_answers() {
  std::lock_guard lock(state().mu);
  state().answers.clear();
}

std::vector<MessageBoxRecord> message_box_log() {
  std::lock_guard lock(state().mu);
  return state().log;
}

void clear_message_box_log() {
  std::lock_guard lock(state().mu);
  state().log.clear();
}

BeepHandler set_beep_handler(BeepHandler h) {
  std::lock_guard lock(state().mu);
  BeepHandler old = std::move(state().beep);
  state().beep = std::move(h);
  return old;
}

int beep_count() {
  std::lock_guard lock(state().mu);
  return state().beeps;
}

}  // namespace plat

int MessageBox(HWND owner, const char* text, const char* caption, UINT flags) {
  std::string t = text ? text : "";
  std::string c = caption ? caption : "Error";
  plat::MessageBoxHandler h;
  {
    std::lock_guard lock(plat::state().mu);
    h = plat::state().handler;
  }
  if (h) return h(owner, t, c, flags);
  return plat::headless_box(owner, t, c, flags);
}

BOOL MessageBeep(UINT type) {
  plat::BeepHandler beep;
  {
    std::lock_guard lock(plat::state().mu);
    ++plat::state().beeps;
    beep = plat::state().beep;
  }
  if (beep) beep(type);
  return TRUE;
}
