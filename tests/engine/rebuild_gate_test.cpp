// A rebuild that waits for a reader holding a long walk closes its gate only
// for a moment at a time: other readers, held back meanwhile, get through
// while it still waits; the rebuild goes through once the walk ends, or
// reports the table busy when its own bound is spent, having replaced
// nothing. And the maintenance's pack (a batch's few tries) gets through a
// steady stream of appends and lookups by other processes.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_api.h"
#include "engine/lock.h"
#include "engine/os_shim.h"
#include "engine/table.h"
#include "engine_fixture.h"

namespace {

const DbFieldInfo kFields[] = {{"NCID", 'N', 10, 0}, {"MID", 'N', 4, 0}, {nullptr, 0, 0, 0}};
const DbTagInfo kTags[] = {{"NCID", "NCID", nullptr, DB_UNIQUE, 0}, {nullptr, nullptr, nullptr, 0, 0}};

// Rows 1..rows, every third one deleted: a pack renumbers the rest.
void make_table(const std::string& name, long rows) {
  kvtest::QuietEngine c;
  DbDataFile* d = data_create(&c, name.c_str(), kFields, kTags);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(data_lock_file(d), 0);
  ASSERT_EQ(data_lock_index(d), 0);
  for (long id = 1; id <= rows; id++) {
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign_long(data_field_at(d, 1), id);
    field_assign_long(data_field_at(d, 2), 1);
    if (id % 3 == 0) data_delete(d);
    ASSERT_EQ(data_append(d), 0);
  }
  ASSERT_EQ(data_unlock(d), 0);
  ASSERT_EQ(data_close(d), 0);
}

bool gate_closed(DB_ENGINE* c, DbDataFile* d) {
  DbLock hold(c);
  return dbos_locked_elsewhere(d->file.handle, DB_LOCK_REBUILD_GATE, 1, false) == 1;
}

TEST(RebuildGate, ARebuildWaitingOnALongWalkLetsOtherReadersThrough) {
  constexpr long kRows = 30;
  for (bool bounded : {false, true}) {
    SCOPED_TRACE(bounded ? "the rebuild's bound spent" : "the walk ends first");
    kvtest::ScratchDir dir;
    const std::string name = dir.file("KELVFILE.DBF");
    make_table(name, kRows);
    if (HasFatalFailure()) return;
    kvtest::QuietEngine walker, packer, reader;
    walker.lock_attempts = reader.lock_attempts = 2;
    // Unbounded, the rebuild waits as long as the guard lets it: far longer
    // than a reader waits for it.
    packer.lock_attempts = bounded ? 2 : 4 * DB_GUARD_WAIT_SECONDS;
    DbDataFile* d = data_open(&walker, name.c_str());
    DbDataFile* w = data_open(&packer, name.c_str());
    DbDataFile* r = data_open(&reader, name.c_str());
    ASSERT_TRUE(d && w && r);
    data_tag_select(r, data_tag_find(r, "NCID"));

    // The long walk: begun, and held until freed.
    DbRelation* walk = relate_init(d);
    ASSERT_NE(walk, nullptr);
    ASSERT_EQ(relate_query_set(walk, "MID = 1"), 0);
    ASSERT_EQ(relate_top(walk), 0);

    std::atomic<int> pack_rc{1};
    std::atomic<bool> packed{false};
    std::thread pack([&] {
      int rc = data_lock_file(w);
      if (rc == 0) rc = data_pack(w);
      data_unlock(w);
      pack_rc = rc;
      packed = true;
    });
    // Once the rebuild has closed its gate, a reader of another station
    // gets through while the rebuild still waits for the walk.
    while (!gate_closed(&reader, r) && !packed) dbos_sleep_ms(1);
    for (long id : {1L, 4L, kRows - 1}) {
      EXPECT_EQ(data_seek_double(r, double(id)), 0) << id << " error " << code_error_get(&reader);
      EXPECT_EQ(field_long(data_field_at(r, 1)), id);
    }
    if (!bounded) {
      EXPECT_FALSE(packed);
    }
    if (bounded) {
      pack.join();
      EXPECT_EQ(pack_rc, DB_LOCKED);  // busy: nothing replaced
      code_error_set(&packer, 0);
      EXPECT_EQ(data_reccount(r), kRows);
    }
    // The walk goes on over the rows it began on.
    long rows = 1;
    while (relate_skip(walk, 1) == 0) rows++;
    EXPECT_EQ(rows, kRows);
    relate_free(walk, 0);
    if (!bounded) {
      pack.join();
      EXPECT_EQ(pack_rc, 0) << code_error_get(&packer);
      EXPECT_EQ(data_reccount(r), kRows - kRows / 3);
    }
    EXPECT_EQ(code_error_get(&reader), 0);
    data_close(r);
    data_close(w);
    data_close(d);
  }
}

bool readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

// Appends a row every 5 ms until `stop` becomes readable; 0 when all went in.
int appender(const std::string& table, int stop) {
  kvtest::QuietEngine c;
  DbDataFile* d = data_open(&c, table.c_str());
  if (!d) return 10;
  for (long id = 100000; !readable(stop); id++) {
    if (data_append_start(d, 0) != 0) return 11;
    data_blank(d);
    field_assign_long(data_field_at(d, 1), id);
    field_assign_long(data_field_at(d, 2), 2);
    if (data_append(d) != 0) return 12;
    dbos_sleep_ms(5);
  }
  return data_close(d) == 0 ? 0 : 13;
}

// Looks rows up without pause until `stop` becomes readable; 0 when every
// lookup found its row.
int looker(const std::string& table, long rows, int stop) {
  kvtest::QuietEngine c;
  c.lock_attempts = 2;
  DbDataFile* d = data_open(&c, table.c_str());
  if (!d) return 20;
  data_tag_select(d, data_tag_find(d, "NCID"));
  for (long i = 0; !readable(stop); i++) {
    long id = 1 + (i * 7) % rows;
    if (id % 3 == 0) continue;  // packed away
    if (data_seek_double(d, double(id)) != 0 || field_long(data_field_at(d, 1)) != id) return 21;
  }
  return data_close(d) == 0 ? 0 : 22;
}

TEST(RebuildGate, TheMaintenancesPackGetsThroughAStreamOfAppendsAndLookups) {
  constexpr long kRows = 3000;
  constexpr int kPacks = 3;
  constexpr int kMaintenanceTries = 3;  // as the maintenance locks each table
  kvtest::ScratchDir dir;
  const std::string name = dir.file("KELVFILE.DBF");
  make_table(name, kRows);
  if (HasFatalFailure()) return;
  int stop[2];
  ASSERT_EQ(::pipe(stop), 0);
  std::vector<pid_t> others;
  for (int which = 0; which < 2; which++) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(stop[1]);
      _exit(which == 0 ? appender(name, stop[0]) : looker(name, kRows, stop[0]));
    }
    others.push_back(pid);
  }
  ::close(stop[0]);
  kvtest::QuietEngine c;
  c.lock_attempts = 2;
  std::vector<int> results;
  for (int round = 0; round < kPacks; round++) {
    DbDataFile* d = data_open(&c, name.c_str());
    ASSERT_NE(d, nullptr);
    int rc;
    {
      DbBoundedLocks bounded(kMaintenanceTries);
      rc = data_lock_file(d);
      if (rc == 0) rc = data_pack(d);
    }
    results.push_back(rc == 0 ? code_error_get(&c) : rc);
    code_error_set(&c, 0);
    data_close(d);
  }
  ::close(stop[1]);
  for (pid_t pid : others) {
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_EQ(results, std::vector<int>(kPacks, 0));
}

}  // namespace
