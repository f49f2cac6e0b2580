// A reindex through one handle while other handles append, read, and open
// and close the same table: in threads sharing one context, and in two
// processes. Afterwards every append must be there and the index must hold
// exactly what a fresh rebuild makes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "engine/engine_api.h"
#include "engine/lock.h"
#include "index_fixture.h"

namespace {

using kvtest::IndexTest;
using kvtest::PartRow;
using Clock = std::chrono::steady_clock;

// A few seconds in the suite; KV_STRESS_SECONDS runs it longer.
std::chrono::seconds stress_time() {
  const char* env = std::getenv("KV_STRESS_SECONDS");
  return std::chrono::seconds(env ? std::atoi(env) : 3);
}

using kvtest::sorted_lines;

// Appends until the time is up; the number of appends, or -1 after a failure.
long appender(DB_ENGINE* c, const std::string& name, Clock::time_point end, std::string* why) {
  DbDataFile* d = data_open(c, name.c_str());
  if (!d) return -1;
  long n = 0;
  for (; Clock::now() < end; n++) {
    int rc = data_append_start(d, 0);
    if (rc == 0) {
      data_blank(d);
      char text[24];
      std::snprintf(text, sizeof text, "N%06ld", (n * 7919) % 100000);
      field_assign_long(data_field_at(d, 1), n + 1);
      field_assign(data_field_at(d, 2), text);
      field_assign_double(data_field_at(d, 3), double(n % 97));
      rc = data_append(d);
    }
    if (rc != 0) {
      *why = "append " + std::to_string(n) + ": " + std::to_string(rc) + " error " +
             std::to_string(code_error_get(c));
      n = -1;
      break;
    }
  }
  if (data_close(d) != 0 && n >= 0) {
    *why = "close";
    n = -1;
  }
  return n;
}

// Reindexes every 400 ms until the time is up; the number of failures.
int reindexer(DB_ENGINE* c, const std::string& name, Clock::time_point end) {
  DbDataFile* d = data_open(c, name.c_str());
  if (!d) return 1;
  int failures = 0;
  while (Clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    if (data_reindex(d) != 0) failures++;
    if (data_unlock(d) != 0) failures++;
  }
  if (data_close(d) != 0) failures++;
  return failures;
}

struct ReindexStress : IndexTest {
  // After the work: every id once, and each tag as a fresh rebuild makes it.
  void check(long appends) {
    d = data_open(&c, name.c_str());
    ASSERT_NE(d, nullptr) << code_error_get(&c);
    ASSERT_EQ(data_reccount(d), appends);
    for (const char* t : {"ID", "NAME", "QTY"}) ASSERT_NE(tag(t), nullptr) << t;
    DbTag* id = tag("ID");
    data_tag_select(d, id);
    for (long n : {1L, appends / 2, appends}) EXPECT_EQ(data_seek_double(d, double(n)), 0) << n;
    std::vector<std::vector<std::string>> kept;
    for (const char* t : {"ID", "NAME", "QTY"}) kept.push_back(sorted_lines(our_dump(tag(t))));
    ASSERT_EQ(data_reindex(d), 0);
    int i = 0;
    for (const char* t : {"ID", "NAME", "QTY"}) {
      std::vector<std::string> fresh = sorted_lines(our_dump(tag(t)));
      EXPECT_EQ(fresh.size(), size_t(appends)) << t;
      EXPECT_EQ(kept[size_t(i++)], fresh) << t;
    }
  }
};

const DbTagInfo kStressTags[] = {{"ID", "ID", nullptr, 20, 0},
                                 {"NAME", "NAME", nullptr, 0, 0},
                                 {"QTY", "QTY", nullptr, 0, 1},
                                 {nullptr, nullptr, nullptr, 0, 0}};

TEST_F(ReindexStress, ThreadsOfOneContext) {
  create(kStressTags);
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;
  auto end = Clock::now() + stress_time();
  std::atomic<int> failures{0};
  std::string why;
  long appends = 0;
  std::vector<std::thread> threads;
  threads.emplace_back([&] { appends = appender(&c, name, end, &why); });
  threads.emplace_back([&] { failures += reindexer(&c, name, end); });
  for (int r = 0; r < 6; r++) {
    threads.emplace_back([&, r] {
      DbDataFile* rd = data_open(&c, name.c_str());
      if (!rd) {
        failures++;
        return;
      }
      data_tag_select(rd, data_tag_find(rd, r % 2 ? "NAME" : "ID"));
      for (long k = 0; Clock::now() < end; k++) {
        int rc = k % 5 == 0 ? data_top(rd) : r % 2 ? data_skip(rd, 1) : data_seek_double(rd, double(k % 500 + 1));
        if (rc < 0) {
          failures++;
          code_error_set(&c, 0);
        }
        if (rc == DB_EOF) data_top(rd);
      }
      data_close(rd);
    });
  }
  threads.emplace_back([&] {
    while (Clock::now() < end) {
      DbDataFile* h = data_open(&c, name.c_str());
      if (!h || data_close(h) != 0) failures++;
    }
  });
  for (auto& t : threads) t.join();
  ASSERT_GE(appends, 0) << why;
  EXPECT_EQ(failures, 0);
  check(appends);
}

TEST_F(ReindexStress, TwoProcesses) {
  create(kStressTags);
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;
  auto end = Clock::now() + stress_time();
  pid_t kid = fork();
  ASSERT_GE(kid, 0);
  if (kid == 0) {
    kvtest::QuietEngine own;
    _exit(reindexer(&own, name, end) == 0 ? 0 : 1);
  }
  std::string why;
  long appends = appender(&c, name, end, &why);
  int status = 0;
  ASSERT_EQ(waitpid(kid, &status, 0), kid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_GE(appends, 0) << why;
  check(appends);
}

}  // namespace

namespace {

// A second process writes a long batch under the whole-file and index lock
// while this one seeks all the time: every record found is exactly one that
// was written (old or new), and once the batch is released every change is
// seen at once.
TEST_F(ReindexStress, ReaderSeeksWhileAWriterHoldsALongBatch) {
  create(kStressTags);
  const long kRows = 300, kAdded = 200;
  for (long i = 1; i <= kRows; i++) ASSERT_EQ(append({i, kvtest::numbered("A", i), 1, ""}), 0);
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;
  int pipe_fd[2];
  ASSERT_EQ(pipe(pipe_fd), 0);
  pid_t kid = fork();
  ASSERT_GE(kid, 0);
  if (kid == 0) {
    kvtest::QuietEngine own;
    DbDataFile* w = data_open(&own, name.c_str());
    if (!w || data_lock_file(w) != 0 || data_lock_index(w) != 0) _exit(1);
    if (write(pipe_fd[1], "L", 1) != 1) _exit(2);  // the batch has begun
    for (long i = 1; i <= kRows; i++) {
      if (data_go(w, i) != 0) _exit(3);
      field_assign(data_field_at(w, 2), kvtest::numbered("B", i).c_str());
      if (data_write(w, i) != 0) _exit(4);
      if (i % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    for (long i = kRows + 1; i <= kRows + kAdded; i++) {
      if (data_append_start(w, 0) != 0) _exit(5);
      data_blank(w);
      field_assign_long(data_field_at(w, 1), i);
      field_assign(data_field_at(w, 2), kvtest::numbered("B", i).c_str());
      if (data_append(w) != 0) _exit(6);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    _exit(data_unlock(w) == 0 && data_close(w) == 0 ? 0 : 7);
  }
  char go;
  ASSERT_EQ(read(pipe_fd[0], &go, 1), 1);
  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  data_tag_select(d, tag("ID"));
  long seeks = 0, wrong = 0;
  int status = 0;
  for (; waitpid(kid, &status, WNOHANG) == 0; seeks++) {
    long id = 1 + seeks * 7919 % kRows;
    int rc = data_seek_double(d, double(id));
    std::string got = rc == 0 ? str(2) : "";
    if (rc != 0 || field_long(data_field_at(d, 1)) != id ||
        (got != kvtest::numbered("A", id) && got != kvtest::numbered("B", id)))
      wrong++;
    data_unlock(d);
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_GT(seeks, 10);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(code_error_get(&c), 0);
  // Released: every change, at once.
  EXPECT_EQ(data_reccount(d), kRows + kAdded);
  for (long id : {1L, kRows, kRows + 1, kRows + kAdded}) {
    ASSERT_EQ(data_seek_double(d, double(id)), 0) << id;
    EXPECT_EQ(str(2), kvtest::numbered("B", id));
  }
  close(pipe_fd[0]);
  close(pipe_fd[1]);
}

}  // namespace
