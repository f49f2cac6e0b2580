// The per-thread settings of a batch over many tables: bounded lock tries
// and errors kept instead of shown. Several threads share the one context;
// what one thread sets must reach none of the others.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/data.h"
#include "engine/lock.h"
#include "engine_fixture.h"
#include "platform/msgbox.h"

namespace {

using kvtest::ScratchDir;

const DbFieldInfo kFields[] = {{"N", 'N', 5, 0}, {nullptr, 0, 0, 0}};

// Errors shown in a box are answered at once and logged.
struct QuietBoxes {
  plat::MessageBoxHandler old;
  QuietBoxes() {
    plat::clear_message_box_log();
    old = plat::set_unexpected_message_box_handler(
        [](HWND, const std::string&, const std::string&, UINT) { return IDOK; });
  }
  ~QuietBoxes() {
    plat::set_unexpected_message_box_handler(old);
    plat::clear_message_box_log();
  }
};

bool BoxNames(const std::string& file) {
  for (const auto& box : plat::message_box_log())
    if (box.text.find(file) != std::string::npos) return true;
  return false;
}

TEST(ThreadSettings, KeptErrorsNestAndGiveTheOuterGuardBack) {
  QuietBoxes boxes;
  DbEngine c;
  {
    DbErrorsKept outer;
    code_error_ex(&c, -60, "File Name:", "FIRST.DBF", nullptr);
    code_error_ex(&c, -60, "File Name:", "SECOND.DBF", nullptr);
    {
      DbErrorsKept inner;
      code_error_ex(&c, -60, "File Name:", "INNER.DBF", nullptr);
      EXPECT_NE(inner.First().find("INNER.DBF"), std::string::npos);
    }
    code_error_ex(&c, -60, "File Name:", "THIRD.DBF", nullptr);
    EXPECT_NE(outer.First().find("FIRST.DBF"), std::string::npos) << outer.First();
    EXPECT_EQ(code_error_get(&c), -60) << "the code is set as always";
    outer.Clear();
    code_error_ex(&c, -60, "File Name:", "FOURTH.DBF", nullptr);
    EXPECT_NE(outer.First().find("FOURTH.DBF"), std::string::npos) << outer.First();
  }
  EXPECT_TRUE(plat::message_box_log().empty());
  code_error_ex(&c, -60, "File Name:", "AFTER.DBF", nullptr);
  EXPECT_TRUE(BoxNames("AFTER.DBF")) << "the guard gone, errors are shown again";
  code_error_set(&c, 0);
}

// Batch threads, each with its own bounded tries and kept errors, run
// beside plain threads on the same context: a waiter with the context's
// endless tries keeps waiting on a held table and gets it once it is given
// back, and a plain thread's error is shown while a batch thread's is kept.
TEST(ThreadSettings, EachThreadKeepsItsOwnSettings) {
  QuietBoxes boxes;
  ScratchDir dir;
  DbEngine c;
  std::string name = dir.file("HELD.DBF");
  {
    DbErrorsKept none;  // made quietly; nothing is expected to fail here
    DbDataFile* d = data_create(&c, name.c_str(), kFields, nullptr);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 5; i++) ASSERT_EQ(data_append_blank(d), 0);
    data_close(d);
    ASSERT_TRUE(none.First().empty()) << none.First();
  }
  constexpr int kBatch = 3, kPlain = 2, kRounds = 10;
  // Every handle is opened before the table is held: an open may wait on
  // the table's locks with the context's tries, which are endless here.
  std::vector<DbDataFile*> handles;
  for (int i = 0; i < kBatch + 2; i++) {
    handles.push_back(data_open(&c, name.c_str()));
    ASSERT_NE(handles.back(), nullptr);
  }
  DbDataFile* holder = handles[kBatch];
  c.lock_attempts = -1;  // the context waits without end
  ASSERT_EQ(data_lock_file(holder), 0);

  // The waiter starts before the batch threads and waits on the held file
  // all through their run.
  std::atomic<int> waited{1};
  std::atomic<bool> waiting{false};
  std::thread waiter([&] {
    DbDataFile* d = handles[kBatch + 1];
    waiting = true;
    waited = data_lock_file(d);
    data_unlock(d);
  });
  while (!waiting) std::this_thread::yield();

  std::vector<std::string> batchFailures(kBatch), plainFailures(kPlain);
  std::vector<std::thread> threads;
  for (int t = 0; t < kBatch; t++) {
    threads.emplace_back([&, t] {
      std::string& fail = batchFailures[t];
      DbDataFile* d = handles[t];
      for (int round = 0; round < kRounds && fail.empty(); round++) {
        DbErrorsKept kept;
        // A refused try waits up to a second before the next: one round
        // with a second try is enough.
        DbBoundedLocks bounded(round == 0 ? 2 : 1);
        if (data_lock_file(d) != DB_LOCKED) fail = "the held table was not refused";
        {
          DbBoundedLocks once(1);
          if (data_lock_record(d, 1 + round % 5) != DB_LOCKED) fail = "the held record was not refused";
        }
        std::string missing = dir.file("GONE" + std::to_string(t) + "_" + std::to_string(round) + ".DBF");
        if (data_open(&c, missing.c_str())) fail = "a missing table opened";
        if (kept.First().find(missing) == std::string::npos) fail = "kept: " + kept.First();
        {
          DbErrorsKept inner;
          code_error_set(&c, 0);  // a pending error stops the next open before it fails
          std::string other = missing + "X";
          data_open(&c, other.c_str());
          if (inner.First().find(other) == std::string::npos) fail = "inner kept: " + inner.First();
        }
        if (kept.First().find(missing) == std::string::npos) fail = "outer lost: " + kept.First();
        code_error_set(&c, 0);
      }
    });
  }
  for (int t = 0; t < kPlain; t++) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; round++) {
        std::string missing = dir.file("PLAIN" + std::to_string(t) + "_" + std::to_string(round) + ".DBF");
        if (data_open(&c, missing.c_str())) plainFailures[t] = "a missing table opened";
        code_error_set(&c, 0);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(waited.load(), 1) << "the waiter must still be waiting";
  EXPECT_EQ(data_unlock(holder), 0);
  waiter.join();
  EXPECT_EQ(waited.load(), 0) << "the waiter's endless tries were cut by another thread's bound";
  for (DbDataFile* d : handles) data_close(d);

  for (int t = 0; t < kBatch; t++) EXPECT_EQ(batchFailures[t], "") << "batch thread " << t;
  for (int t = 0; t < kPlain; t++) EXPECT_EQ(plainFailures[t], "") << "plain thread " << t;
  for (int t = 0; t < kPlain; t++)
    for (int round = 0; round < kRounds; round++) {
      std::string file = "PLAIN" + std::to_string(t) + "_" + std::to_string(round) + ".DBF";
      EXPECT_TRUE(BoxNames(file)) << file << ": a plain thread's error was kept, not shown";
    }
  for (int t = 0; t < kBatch; t++) EXPECT_FALSE(BoxNames("GONE" + std::to_string(t) + "_")) << "batch thread " << t;
}

}  // namespace
