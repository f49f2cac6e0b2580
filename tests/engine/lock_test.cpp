// Record, append and whole-file locks between handles of one process and
// between processes, and the retry rule of the lock-attempts setting.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/index.h"
#include "engine/index_data.h"
#include "engine/lock.h"
#include "engine_fixture.h"

namespace {

using kvtest::QuietEngine;
using kvtest::ScratchDir;

const DbFieldInfo kFields[] = {{"N", 'N', 5, 0}, {nullptr, 0, 0, 0}};

struct Locks : ::testing::Test {
  ScratchDir dir;
  QuietEngine c;
  std::string name = dir.file("LOCKS.DBF");
  DbDataFile* a = nullptr;
  DbDataFile* b = nullptr;

  void SetUp() override {
    DbDataFile* d = data_create(&c, name.c_str(), kFields, nullptr);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 10; i++) ASSERT_EQ(data_append_blank(d), 0);
    data_close(d);
    c.lock_attempts = 1;
    a = data_open(&c, name.c_str());
    b = data_open(&c, name.c_str());
    ASSERT_TRUE(a && b);
  }
  void TearDown() override {
    data_close(a);
    data_close(b);
  }
};

TEST_F(Locks, TwoHandlesOfOneProcessConflict) {
  ASSERT_EQ(data_lock_record(a, 5), 0);
  EXPECT_EQ(data_lock_record(b, 5), DB_LOCKED) << "one try, refused at once";
  EXPECT_EQ(code_error_get(&c), 0) << "a refusal is no error";
  EXPECT_EQ(data_lock_record(b, 6), 0);

  // Locking record 7 after 5 leaves only 7 locked.
  ASSERT_EQ(data_lock_record(a, 7), 0);
  EXPECT_TRUE(data_record_locked(a, 7));
  EXPECT_FALSE(data_record_locked(a, 5));
  EXPECT_EQ(data_lock_record(b, 5), 0);

  // Whole file against records and appends.
  data_unlock(b);
  EXPECT_EQ(data_lock_file(b), DB_LOCKED) << "a holds record 7";
  data_unlock(a);
  ASSERT_EQ(data_lock_file(b), 0);
  EXPECT_TRUE(data_record_locked(b, 3));
  EXPECT_EQ(data_lock_record(a, 3), DB_LOCKED);
  EXPECT_EQ((DbLock(&c), data_lock_append(a)), DB_LOCKED);
  EXPECT_EQ(data_append_blank(a), DB_LOCKED);
  data_unlock(b);
  EXPECT_EQ((DbLock(&c), data_lock_append(a)), 0);
  EXPECT_EQ((DbLock(&c), data_lock_append(b)), DB_LOCKED);
}

TEST_F(Locks, GroupLocksAllOrNone) {
  ASSERT_EQ(data_lock_record(a, 3), 0);
  const long group[] = {1, 2, 3, 4};
  EXPECT_EQ(data_lock_group(b, group, 4), DB_LOCKED);
  EXPECT_EQ(b->n_locks, 0);
  EXPECT_EQ(c.lock_attempts, 1) << "the setting comes back";
  data_unlock(a);
  EXPECT_EQ(data_lock_group(b, group, 4), 0);
  for (long r : group) EXPECT_EQ(data_lock_record(a, r), DB_LOCKED) << r;
  EXPECT_EQ(data_lock_record(a, 5), 0);
}

TEST_F(Locks, EndlessAttemptsWaitUntilGranted) {
  ASSERT_EQ(data_lock_record(a, 2), 0);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    data_unlock(a);  // takes the engine's lock: waits for b's yield
  });
  c.lock_attempts = -1;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(data_lock_record(b, 2), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  release.join();
}

TEST_F(Locks, ASingleTryScopeAnswersAtOnceWhateverTheAttempts) {
  ASSERT_EQ(data_lock_record(a, 4), 0);
  c.lock_attempts = -1;
  {
    DbBoundedLocks once(1);
    EXPECT_EQ(data_lock_record(b, 4), DB_LOCKED) << "refused at once, not waited for";
    EXPECT_EQ(code_error_get(&c), 0);
    EXPECT_EQ(data_lock_record(b, 5), 0) << "a free row is still taken";
  }
  EXPECT_EQ(c.lock_attempts, -1) << "the setting is left alone";
  data_unlock(b);
  // Outside the scope the setting holds again: the wait lasts until the
  // row is let go (the other thread's unlock is the signal).
  std::thread release([&] { data_unlock(a); });
  EXPECT_EQ(data_lock_record(b, 4), 0);
  release.join();
}

TEST_F(Locks, ReadOnlyHandlesTakeNoLocks) {
  QuietEngine ro;
  ro.read_only = 1;
  DbDataFile* r = data_open(&ro, name.c_str());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(data_lock_file(r), 0);
  EXPECT_EQ(data_lock_record(a, 4), 0) << "the read-only handle holds nothing";
  EXPECT_EQ(data_go(r, 4), 0) << "locks never block reading";
  data_close(r);
}

TEST_F(Locks, ALockOfAnotherProcessRefusesOurs) {
  int to_parent[2], to_child[2];
  ASSERT_EQ(pipe(to_parent), 0);
  ASSERT_EQ(pipe(to_child), 0);
  pid_t pid = fork();
  if (pid == 0) {
    QuietEngine own;
    DbDataFile* d = data_open(&own, name.c_str());
    // The append lock first: taking it releases record locks.
    char ok = d && (DbLock(&own), data_lock_append(d)) == 0 && data_lock_record(d, 8) == 0 ? 'y' : 'n';
    (void)!write(to_parent[1], &ok, 1);
    char go;
    (void)!read(to_child[0], &go, 1);
    data_close(d);  // releases every lock
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(to_parent[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  EXPECT_EQ(data_lock_record(a, 8), DB_LOCKED);
  EXPECT_EQ(data_append_blank(a), DB_LOCKED);
  EXPECT_EQ(data_lock_record(a, 9), 0);
  (void)!write(to_child[1], "x", 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(data_lock_record(a, 8), 0);
  EXPECT_EQ(data_append_blank(a), 0);
  EXPECT_EQ(data_reccount(a), 11);
  for (int fd : {to_parent[0], to_parent[1], to_child[0], to_child[1]}) close(fd);
}

TEST_F(Locks, ClosingAnIndexWaitsWithoutChangingOtherThreadsAttempts) {
  static const DbTagInfo tags[] = {{"N", "N", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  std::string indexed = dir.file("INDEXED.DBF");
  DbDataFile* d = data_create(&c, indexed.c_str(), kFields, tags);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(data_append_blank(d), 0);
  data_close(d);
  DbDataFile* p = data_open(&c, indexed.c_str());
  DbDataFile* q = data_open(&c, indexed.c_str());
  ASSERT_TRUE(p && q);
  ASSERT_EQ(data_lock_record(q, 1), 0);
  ASSERT_EQ(data_go(p, 1), 0);
  field_assign(data_field_at(p, 1), "7");

  // Closing the index writes the changed record first and waits for its lock
  // as long as it takes; the other threads keep their own number of tries.
  auto* x = static_cast<DbIndexFile*>(list_first(&p->indexes));
  std::thread closer([this, x] {
    DbLock hold(&c);
    index_close(x);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int seen;
  {
    DbLock hold(&c);
    seen = c.lock_attempts;
  }
  EXPECT_EQ(seen, 1);
  data_unlock(q);
  closer.join();
  EXPECT_EQ(c.lock_attempts, 1);
  EXPECT_EQ(code_error_get(&c), 0);
  data_close(p);
  data_close(q);
}

}  // namespace
