// The UI thread's message queue. Any thread posts; only the UI thread takes
// messages out. A message sent from another thread to a window waits here
// for the UI thread to run it and hand back the result.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/wintypes.h"

namespace plat {

struct QueuedMessage {
  HWND hwnd = nullptr;
  UINT msg = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
  // Set for a message sent from another thread: the sender waits on it.
  std::shared_ptr<std::promise<LRESULT>> reply;
};

class MessageQueue {
 public:
  void post(QueuedMessage m);
  std::optional<QueuedMessage> take();
  // Waits until a message is queued or the deadline passes; true if one is.
  bool wait_until(std::chrono::steady_clock::time_point deadline);
  void wait();
  bool empty();
  void clear();

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<QueuedMessage> q_;
};

// The one queue of the process, and the thread that owns the windows: the
// first thread that creates a window or runs a loop, until reset.
MessageQueue& ui_queue();
// Called after another thread posted to the queue, so that a loop asleep
// in a desktop's event wait looks at the queue (null: nobody to wake).
void set_queue_waker(void (*wake)());
void wake_ui_loop();
bool on_ui_thread();
void claim_ui_thread();

}  // namespace plat
