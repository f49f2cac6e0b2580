// Event and wait semantics, critical sections, the time scale.
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct ScaleGuard {
  explicit ScaleGuard(double f) { plat::set_time_scale(f); }
  ~ScaleGuard() { plat::set_time_scale(1.0); }
};

TEST(WaitForMultiple, LowestSignalledWinsAndOnlyAutoResetIsTaken) {
  struct Case {
    std::vector<bool> manual, set;
    bool wait_all;
    DWORD expect;
    std::vector<bool> after;
  };
  const Case cases[] = {
      {{false, false, false}, {false, true, true}, false, WAIT_OBJECT_0 + 1, {false, false, true}},
      {{true, true}, {false, true}, false, WAIT_OBJECT_0 + 1, {false, true}},
      {{false, true, false}, {true, true, true}, false, WAIT_OBJECT_0, {false, true, true}},
      {{false, false}, {false, false}, false, WAIT_TIMEOUT, {false, false}},
      {{false, true}, {true, true}, true, WAIT_OBJECT_0, {false, true}},
      // wait-all takes nothing unless it can take everything
      {{false, false}, {true, false}, true, WAIT_TIMEOUT, {true, false}},
  };
  for (const auto& c : cases) {
    std::vector<std::unique_ptr<plat::Event>> ev;
    std::vector<plat::Waitable*> h;
    for (size_t i = 0; i < c.manual.size(); ++i) {
      ev.push_back(std::make_unique<plat::Event>(c.manual[i], c.set[i]));
      h.push_back(ev.back().get());
    }
    EXPECT_EQ(plat::wait_for_multiple(h.data(), h.size(), c.wait_all, 0), c.expect);
    for (size_t i = 0; i < ev.size(); ++i) EXPECT_EQ(ev[i]->is_set(), c.after[i]) << i;
  }
}

TEST(WaitForMultiple, BadArgumentsFail) {
  plat::Event e;
  plat::Waitable* one[] = {&e};
  plat::Waitable* with_null[] = {&e, nullptr};
  EXPECT_EQ(plat::wait_for_multiple(one, 0, false, 0), WAIT_FAILED);
  EXPECT_EQ(plat::wait_for_multiple(with_null, 2, false, 0), WAIT_FAILED);
  std::vector<plat::Waitable*> many(MAXIMUM_WAIT_OBJECTS + 1, &e);
  EXPECT_EQ(plat::wait_for_multiple(many.data(), many.size(), false, 0), WAIT_FAILED);
}

TEST(WaitForMultiple, WakesOnEventSetByAnotherThread) {
  plat::Event stop, cancel, data(true);
  plat::Waitable* h[] = {&data, &stop, &cancel};
  std::thread t([&] { cancel.set(); });
  EXPECT_EQ(plat::wait_for_multiple(h, 3, false, INFINITE), WAIT_OBJECT_0 + 2);
  t.join();
  EXPECT_FALSE(cancel.is_set());
}

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSet) {
  plat::Event e;  // auto-reset
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i)
    waiters.emplace_back([&] {
      if (e.wait(INFINITE) == WAIT_OBJECT_0) ++released;
    });
  for (int n = 1; n <= 4; ++n) {
    e.set();
    // The released waiter takes the event; wait until it has, then check
    // nobody else went through with it.
    while (e.is_set()) std::this_thread::yield();
    while (released.load() < n) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(released.load(), n);
  }
  for (auto& t : waiters) t.join();
}

TEST(Event, ManualResetReleasesEveryWaiterUntilReset) {
  plat::Event e(true);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (e.wait(INFINITE) == WAIT_OBJECT_0) ++released;
    });
  e.set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 3);
  EXPECT_EQ(e.wait(0), WAIT_OBJECT_0);
  e.reset();
  EXPECT_EQ(e.wait(0), WAIT_TIMEOUT);
}

TEST(TimeScale, ShortensWaitTimeOutsAndSleeps) {
  ScaleGuard scale(0.001);
  plat::Event never;
  plat::Waitable* h[] = {&never};
  // Ten seconds of protocol time pass in ten milliseconds.
  EXPECT_EQ(plat::wait_for_multiple(h, 1, false, 10000), WAIT_TIMEOUT);
  plat::sleep_ms(10000);
  EXPECT_EQ(plat::scaled_ms(10000), std::chrono::milliseconds(10));
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  plat::CriticalSection cs;
  cs.enter();
  cs.enter();  // same thread again
  bool other_got_it = true;
  std::thread([&] { other_got_it = cs.try_enter(); }).join();
  EXPECT_FALSE(other_got_it);
  cs.leave();
  cs.leave();
  std::thread([&] {
    other_got_it = cs.try_enter();
    if (other_got_it) cs.leave();
  }).join();
  EXPECT_TRUE(other_got_it);
}

}  // namespace
