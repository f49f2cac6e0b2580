// The UI thread's message queue and the notion of the UI thread.
#include "platform/ui/queue.h"

#include <atomic>

namespace plat {

namespace {
std::atomic<void (*)()> g_waker{nullptr};
}

void set_queue_waker(void (*wake)()) { g_waker.store(wake); }

void wake_ui_loop() {
  if (void (*wake)() = g_waker.load()) wake();
}

void MessageQueue::post(QueuedMessage m) {
  {
    std::lock_guard lock(mu_);
    q_.push_back(std::move(m));
  }
  cv_.notify_all();
  if (!on_ui_thread()) wake_ui_loop();
}

std::optional<QueuedMessage> MessageQueue::take() {
  std::lock_guard lock(mu_);
  if (q_.empty()) return std::nullopt;
  QueuedMessage m = std::move(q_.front());
  q_.pop_front();
  return m;
}

bool MessageQueue::wait_until(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mu_);
  return cv_.wait_until(lock, deadline, [&] { return !q_.empty(); });
}

void MessageQueue::wait() {
  std::unique_lock lock(mu_);
  cv_.wait(lock, [&] { return !q_.empty(); });
}

bool MessageQueue::empty() {
  std::lock_guard lock(mu_);
  return q_.empty();
}

void MessageQueue::clear() {
  std::deque<QueuedMessage> dropped;
  {
    std::lock_guard lock(mu_);
    dropped.swap(q_);
  }
  // A sender from another thread must not wait for a message that will never run.
  for (auto& m : dropped)
    if (m.reply) m.reply->set_value(0);
}

MessageQueue& ui_queue() {
  static MessageQueue q;
  return q;
}

namespace {
std::atomic<std::thread::id> g_ui_thread{};
}

bool on_ui_thread() {
  std::thread::id owner = g_ui_thread.load();
  return owner == std::thread::id() || owner == std::this_thread::get_id();
}

void claim_ui_thread() {
  std::thread::id none{};
  g_ui_thread.compare_exchange_strong(none, std::this_thread::get_id());
}

}  // namespace plat
