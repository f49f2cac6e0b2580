// Events and waits on one process-wide lock; see sync.h.
#include "platform/sync.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <condition_variable>
#include <thread>

namespace plat {

struct Waiter {
  std::condition_variable cv;
};

namespace {

std::atomic<double> g_time_scale{1.0};

}  // namespace

std::mutex& Waitable::sync_lock() {
  static std::mutex m;
  return m;
}

Waitable::~Waitable() {
  // An object must outlive every wait on it.
  std::lock_guard<std::mutex> g(sync_lock());
  assert(waiters_.empty());
}

void Waitable::wake_waiters_locked() {
  for (auto& w : waiters_) w->cv.notify_one();
}

void Waitable::take_waiters_locked(std::vector<std::shared_ptr<Waiter>>& out) {
  out.insert(out.end(), waiters_.begin(), waiters_.end());
}

// A waiter is kept alive by the reference taken, so it may already have
// returned from its wait.
void Waitable::wake(const std::vector<std::shared_ptr<Waiter>>& waiters) {
  for (auto& w : waiters) w->cv.notify_one();
}

Event::Event(bool manual_reset, bool initially_set) : manual_(manual_reset), set_(initially_set) {}

void Event::set() {
  std::vector<std::shared_ptr<Waiter>> woken;
  {
    std::lock_guard<std::mutex> g(sync_lock());
    set_ = true;
    take_waiters_locked(woken);
  }
  wake(woken);
}

void Event::set_pair(Event& first, Event* second) {
  std::vector<std::shared_ptr<Waiter>> woken;
  {
    std::lock_guard<std::mutex> g(sync_lock());
    first.set_ = true;
    first.take_waiters_locked(woken);
    if (second) {
      second->set_ = true;
      second->take_waiters_locked(woken);
    }
  }
  wake(woken);
}

void Event::reset() {
  std::lock_guard<std::mutex> g(sync_lock());
  set_ = false;
}

bool Event::is_set() const {
  std::lock_guard<std::mutex> g(sync_lock());
  return set_;
}

void Event::consume_locked() {
  if (!manual_) set_ = false;
}

DWORD Event::wait(DWORD timeout_ms) {
  Waitable* self = this;
  return wait_for_multiple(&self, 1, false, timeout_ms);
}

DWORD wait_for_multiple(Waitable* const* objects, DWORD count, bool wait_all, DWORD timeout_ms) {
  if (objects == nullptr || count == 0 || count > MAXIMUM_WAIT_OBJECTS) return WAIT_FAILED;
  for (DWORD i = 0; i < count; ++i)
    if (objects[i] == nullptr) return WAIT_FAILED;

  const auto deadline = std::chrono::steady_clock::now() +
                        (timeout_ms == INFINITE ? std::chrono::microseconds(0) : scaled_ms(timeout_ms));
  auto me = std::make_shared<Waiter>();
  bool registered = false;
  std::unique_lock<std::mutex> lk(Waitable::sync_lock());
  DWORD result = WAIT_TIMEOUT;
  for (;;) {
    if (wait_all) {
      bool all = true;
      for (DWORD i = 0; i < count && all; ++i) all = objects[i]->signalled_locked();
      if (all) {
        for (DWORD i = 0; i < count; ++i) objects[i]->consume_locked();
        result = WAIT_OBJECT_0;
        break;
      }
    } else {
      DWORD hit = count;
      for (DWORD i = 0; i < count && hit == count; ++i)
        if (objects[i]->signalled_locked()) hit = i;
      if (hit != count) {
        objects[hit]->consume_locked();
        result = WAIT_OBJECT_0 + hit;
        break;
      }
    }
    if (timeout_ms != INFINITE && std::chrono::steady_clock::now() >= deadline) break;
    if (!registered) {
      for (DWORD i = 0; i < count; ++i) objects[i]->waiters_.push_back(me);
      registered = true;
    }
    if (timeout_ms == INFINITE)
      me->cv.wait(lk);
    else
      me->cv.wait_until(lk, deadline);
  }
  if (registered) {
    for (DWORD i = 0; i < count; ++i) {
      auto& list = objects[i]->waiters_;
      list.erase(std::remove(list.begin(), list.end(), me), list.end());
    }
  }
  return result;
}

DWORD wait_for_single(Waitable* object, DWORD timeout_ms) {
  return wait_for_multiple(&object, 1, false, timeout_ms);
}

void set_time_scale(double factor) { g_time_scale.store(factor > 0 ? factor : 1.0); }

double time_scale() { return g_time_scale.load(); }

std::chrono::microseconds scaled_ms(DWORD ms) {
  return std::chrono::microseconds(static_cast<long long>(static_cast<double>(ms) * 1000.0 * time_scale()));
}

void sleep_ms(DWORD ms) {
  if (ms == INFINITE) {
    Event never(true, false);
    never.wait(INFINITE);
  }
  std::this_thread::sleep_for(scaled_ms(ms));
}

}  // namespace plat
