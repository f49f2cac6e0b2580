// Events, waits on several objects, critical sections and the time scale.
// Shaped like the Windows calls the DNC server was written against: auto-
// and manual-reset events, a wait that returns the lowest signalled index,
// recursive critical sections. Every wait time-out and the layer's sleep go
// through one time scale, so tests can run ten-second protocol gaps in
// milliseconds.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/wintypes.h"

#ifndef INFINITE
#define INFINITE 0xFFFFFFFFu
#endif
#ifndef WAIT_OBJECT_0
#define WAIT_OBJECT_0 0x00000000u
#endif
#ifndef WAIT_TIMEOUT
#define WAIT_TIMEOUT 0x00000102u
#endif
#ifndef WAIT_FAILED
#define WAIT_FAILED 0xFFFFFFFFu
#endif
#ifndef MAXIMUM_WAIT_OBJECTS
#define MAXIMUM_WAIT_OBJECTS 64
#endif

namespace plat {

struct Waiter;

// Anything a thread can wait for: events, threads (signalled when they
// end). All state changes happen under one process-wide lock, which makes
// "wait for any of several" and "exactly one waiter takes an auto-reset
// event" simple to get right.
class Waitable {
 public:
  Waitable() = default;
  Waitable(const Waitable&) = delete;
  Waitable& operator=(const Waitable&) = delete;
  virtual ~Waitable();

 protected:
  // Both are called with the sync lock held.
  virtual bool signalled_locked() const = 0;
  virtual void consume_locked() {}
  void wake_waiters_locked();
  // The waiters to wake once the sync lock is released: a thread woken
  // while the setter still holds the lock would only block on it again.
  void take_waiters_locked(std::vector<std::shared_ptr<Waiter>>& out);
  static void wake(const std::vector<std::shared_ptr<Waiter>>& waiters);
  static std::mutex& sync_lock();

 private:
  friend DWORD wait_for_multiple(Waitable* const*, DWORD, bool, DWORD);
  std::vector<std::shared_ptr<Waiter>> waiters_;
};

class Event : public Waitable {
 public:
  explicit Event(bool manual_reset = false, bool initially_set = false);
  void set();
  void reset();
  // WAIT_OBJECT_0 or WAIT_TIMEOUT.
  DWORD wait(DWORD timeout_ms = INFINITE);
  bool is_set() const;
  bool manual_reset() const { return manual_; }
  // Sets both in one step (second may be null): a thread woken by either
  // sees both set, and neither is touched once this returns.
  static void set_pair(Event& first, Event* second);

 protected:
  bool signalled_locked() const override { return set_; }
  void consume_locked() override;

 private:
  const bool manual_;
  bool set_;
};

// Waits until one (wait_all false: the lowest signalled index wins) or all
// of the objects are signalled. Returns WAIT_OBJECT_0 + index, WAIT_TIMEOUT,
// or WAIT_FAILED for a bad argument (null object, count 0 or above
// MAXIMUM_WAIT_OBJECTS). Taking an auto-reset event resets it; with
// wait_all the objects are taken together or not at all.
DWORD wait_for_multiple(Waitable* const* objects, DWORD count, bool wait_all, DWORD timeout_ms);
DWORD wait_for_single(Waitable* object, DWORD timeout_ms);

// Recursive, like a Windows critical section. lock()/unlock() let the
// standard guards use it.
class CriticalSection {
 public:
  void enter() { m_.lock(); }
  void leave() { m_.unlock(); }
  bool try_enter() { return m_.try_lock(); }
  void lock() { enter(); }
  void unlock() { leave(); }

 private:
  std::recursive_mutex m_;
};

// Time scale for every time-out and sleep of the layer: 1.0 is real time,
// 0.001 runs a ten-second gap in ten milliseconds.
void set_time_scale(double factor);
double time_scale();
// A time in milliseconds after scaling; INFINITE is not passed here.
std::chrono::microseconds scaled_ms(DWORD ms);
// Sleep of the given (scaled) milliseconds.
void sleep_ms(DWORD ms);

}  // namespace plat
