// Leases of a byte lock and the process's releaser. A lease's state moves
// between its owner and the releaser by atomic exchanges only: the owner's
// calls within a lease's time cost a clock read and one exchange, no system
// call. The releaser and whoever gives leases back for it hold the
// registry's mutex while a lease is being released, and a lease leaves the
// registry only under it, so none is touched once closed.
#include "engine/lease.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/os_shim.h"

namespace {

enum State : int { kFree, kDown, kUp, kReleasing };

using Clock = std::chrono::steady_clock;
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

constexpr int64_t kLeaseNs = int64_t{DB_LEASE_MS} * 1000000;

}  // namespace

struct DbLease {
  std::atomic<int> state{kFree};
  std::atomic<int64_t> end_ns{0};
  intptr_t handle = -1;  // written by the owner before the state that publishes it
  long offset;
  explicit DbLease(long at) : offset(at) {}
};

namespace {

// Never destroyed: the releaser may still wait on it while the process
// ends (a std::thread still joinable is never destroyed either).
struct Registry {
  std::mutex mutex;
  std::condition_variable wake;
  std::vector<DbLease*> leases;
  std::thread releaser;
  bool quit = false;
  // When the releaser wakes next (kNever: not before it is woken). A lease
  // put down to end before that wakes it.
  std::atomic<int64_t> wake_at{kNever};
  // Off in a child of fork: a process forked from one with threads may
  // start none of its own (a sanitizer's rule), so a lease there ends
  // with its call.
  std::atomic<bool> leasing{true};
};

Registry& registry();

// Gives a lease down and due back; under the registry's mutex.
void release_down(DbLease* l) {
  int down = kDown;
  if (!l->state.compare_exchange_strong(down, kReleasing)) return;
  dbos_unlock(l->handle, l->offset, 1);
  l->state.store(kFree);
}

void releaser_main(Registry* r) {
  std::unique_lock<std::mutex> lock(r->mutex);
  while (!r->quit) {
    // Said before the leases are looked at: one put down meanwhile either
    // is seen here or sees this and wakes the releaser.
    r->wake_at.store(kNever);
    int64_t now = now_ns();
    int64_t next = kNever;
    for (DbLease* l : r->leases) {
      int s = l->state.load();
      int64_t end = l->end_ns.load();
      if (s == kDown && end <= now) {
        release_down(l);
      } else if ((s == kDown || s == kUp) && end > now) {
        // A lease up past its time is given back by its owner.
        next = std::min(next, end);
      }
    }
    r->wake_at.store(next);
    if (next == kNever) {
      r->wake.wait(lock);
    } else {
      r->wake.wait_until(lock, Clock::time_point(std::chrono::nanoseconds(next)));
    }
  }
}

// A fork happens while the releaser is stopped, with the mutex free in
// both processes afterwards and the leases down given back: the parent's
// next lease put down starts a releaser again.
void before_fork() {
  Registry& r = registry();
  std::unique_lock<std::mutex> lock(r.mutex);
  for (DbLease* l : r.leases) release_down(l);
  if (r.releaser.joinable()) {
    r.quit = true;
    r.wake.notify_one();
    lock.unlock();
    r.releaser.join();
    lock.lock();
    r.quit = false;
  }
  r.wake_at.store(kNever);
  lock.release();  // held across the fork
}

void after_fork_parent() { registry().mutex.unlock(); }

void after_fork_child() {
  Registry& r = registry();
  r.leasing.store(false);
  r.mutex.unlock();
}

Registry& registry() {
  static Registry* r = [] {
    auto* made = new Registry;
    pthread_atfork(before_fork, after_fork_parent, after_fork_child);
    return made;
  }();
  return *r;
}

// Made at the program's start, so that every fork meets the handlers,
// even one before any lease.
const bool registry_made = (registry(), true);

// Under the registry's mutex.
void start_releaser(Registry& r) {
  if (!r.releaser.joinable()) r.releaser = std::thread(releaser_main, &r);
}

}  // namespace

DbLease* lease_open(long offset) {
  auto* l = new DbLease(offset);
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.leases.push_back(l);
  return l;
}

void lease_close(DbLease* l) {
  if (!l) return;
  Registry& r = registry();
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    int s = l->state.load();
    if (s == kDown || s == kUp) dbos_unlock(l->handle, l->offset, 1);
    auto at = std::find(r.leases.begin(), r.leases.end(), l);
    if (at != r.leases.end()) {
      *at = r.leases.back();
      r.leases.pop_back();
    }
  }
  delete l;
}

DbLeaseHold lease_take_up(DbLease* l, intptr_t h) {
  int s = kDown;
  if (!l->state.compare_exchange_strong(s, kUp)) {
    if (s == kReleasing) {
      // The releaser gives it back under the mutex: it is free after it.
      std::lock_guard<std::mutex> lock(registry().mutex);
    }
    return DB_LEASE_NONE;
  }
  if (l->handle != h) {
    // The handle it was held on is closed, and its lock with it.
    l->state.store(kFree);
    return DB_LEASE_NONE;
  }
  return now_ns() < l->end_ns.load(std::memory_order_relaxed) ? DB_LEASE_FRESH : DB_LEASE_STALE;
}

void lease_hold(DbLease* l, intptr_t h) {
  l->handle = h;
  l->end_ns.store(now_ns() + kLeaseNs);
  l->state.store(kUp);
}

void lease_renew(DbLease* l) { l->end_ns.store(now_ns() + kLeaseNs); }

void lease_put_down(DbLease* l) {
  int64_t end = l->end_ns.load(std::memory_order_relaxed);
  Registry& r = registry();
  if (!r.leasing.load(std::memory_order_relaxed)) {
    lease_give_back(l);
    return;
  }
  // No clock read here, one a call being enough: a lease whose time ran out
  // during the call is put down as any other, and the releaser, due by then
  // or woken below, gives it back at once.
  l->state.store(kDown);
  if (r.wake_at.load() <= end) return;
  std::lock_guard<std::mutex> lock(r.mutex);
  start_releaser(r);
  r.wake.notify_one();
}

void lease_give_back(DbLease* l) {
  dbos_unlock(l->handle, l->offset, 1);
  l->state.store(kFree);
}

void lease_forget(DbLease* l) { l->state.store(kFree); }

void lease_give_back_idle() {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (DbLease* l : r.leases) release_down(l);
}
