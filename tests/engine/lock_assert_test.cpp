// The engine's internal functions work on shared state (block images, the
// block cache, record positions) and rely on the public call that reached
// them holding the context's lock: in the test build, reaching one without
// the lock, or while another thread holds it, stops the program at once; so
// does a public call (or a hold) made inside another public call, since the
// lock is taken once, at the engine's surface.
// Covers: engine/engine.h (DbCall, DbLock, DbUnlocked, DbAssertLocked), engine/index_block.cpp,
// engine/data_record.cpp (record positions)
#include <gtest/gtest.h>

#include <thread>

#include "engine/os_shim.h"
#include "index_fixture.h"

namespace {

using kvtest::IndexTest;

struct LockAsserts : IndexTest {
  void SetUp() override {
    create();
    ASSERT_EQ(append({1, "SPINDLE", 2, "20240101"}), 0);
    ASSERT_EQ(append({2, "CHUCK", 1, ""}), 0);
  }
  DbIndexFile* index() { return tag("ID")->index; }
};

TEST_F(LockAsserts, LockIsHeldThroughNestingAndGivenAwayWhileWaiting) {
  EXPECT_FALSE(DbLockHeld(&c));
  {
    DbLock outer(&c);
    {
      DbLock inner(&c);
      EXPECT_TRUE(DbLockHeld(&c));
    }
    EXPECT_TRUE(DbLockHeld(&c)) << "the outer hold is still there";
    {
      DbUnlocked waiting(&c);
      EXPECT_FALSE(DbLockHeld(&c));
      bool seen_by_other = false;
      std::thread other([&] {
        DbLock lock(&c);
        seen_by_other = DbLockHeld(&c);
      });
      other.join();
      EXPECT_TRUE(seen_by_other) << "another thread gets in while this one waits";
    }
    EXPECT_TRUE(DbLockHeld(&c)) << "taken back after the wait";
    EXPECT_EQ(data_record_pos(d, 2) - data_record_pos(d, 1), long(data_record_width(d)));
  }
  EXPECT_FALSE(DbLockHeld(&c));
}

TEST_F(LockAsserts, AWaitOutsideTheLockLeavesAnotherThreadsHoldAlone) {
  DbLock held(&c);
  std::thread other([&] {
    DbUnlocked waiting(&c);  // holds nothing, so gives nothing away
  });
  other.join();
  EXPECT_TRUE(DbLockHeld(&c));
  bool other_got_in = true;
  std::thread([&] {
    other_got_in = c.mutex.try_lock();
    if (other_got_in) c.mutex.unlock();
  }).join();
  EXPECT_FALSE(other_got_in) << "the hold is still this thread's";
}

#ifndef NDEBUG
TEST_F(LockAsserts, InternalFunctionsStopTheTestBuildWithoutTheLock) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  DbIndexFile* x = index();
  EXPECT_DEATH(data_record_pos(d, 1), "without the context's lock");
  EXPECT_DEATH(index_cache_forget(x), "without the context's lock");
  // Held by this thread: another thread is refused all the same.
  EXPECT_DEATH(
      {
        DbLock lock(&c);
        std::thread([x] { index_block_take(x); }).join();
      },
      "without the context's lock");
}

// A file-layer watch runs inside the public call that reads: the engine's
// lock is held there, so whatever it tries on the engine is a re-entry.
DbDataFile* g_table = nullptr;
void (*g_reenter)() = nullptr;
void reenter_on_read(const char*, unsigned) {
  if (g_reenter) g_reenter();
}

TEST_F(LockAsserts, AnEngineCallInsideAnotherStopsTheTestBuild) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  g_table = d;
  struct Case {
    const char* what;
    void (*reenter)();
    const char* message;
  };
  const Case cases[] = {
      {"a public call", [] { data_reccount(g_table); }, "engine call made inside another engine call"},
      {"a hold", [] { DbLock again(g_table->context); }, "engine lock taken inside an engine call"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    EXPECT_DEATH(
        {
          g_reenter = k.reenter;
          dbos_watch_reads(reenter_on_read);
          data_go(g_table, 2);
        },
        k.message);
  }
  // The same calls made one after the other are sound.
  EXPECT_EQ(data_go(d, 2), 0);
  EXPECT_EQ(data_reccount(d), 2);
}

TEST_F(LockAsserts, RecordPositionsCountFromOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  DbLock lock(&c);
  EXPECT_DEATH(data_record_pos(d, 0), "n >= 1");
}
#endif

}  // namespace
