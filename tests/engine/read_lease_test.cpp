// The reading byte a reader keeps for a moment after a lookup: a reader
// gone idle keeps no rebuild out, neither another station's nor one of
// another handle in the same process; a table closed with its byte kept
// leaves nothing behind that anything touches later; and readers whose
// bytes come and go beside a rebuilding thread never miss a row.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "engine/engine_api.h"
#include "engine/lease.h"
#include "engine/lock.h"
#include "engine/os_shim.h"
#include "engine/table.h"
#include "engine_fixture.h"

namespace {

constexpr long kRows = 60;

const DbFieldInfo kFields[] = {{"NCID", 'N', 10, 0}, {"DESC", 'C', 20, 0}, {nullptr, 0, 0, 0}};
const DbTagInfo kTags[] = {{"NCID", "NCID", nullptr, DB_UNIQUE, 0}, {nullptr, nullptr, nullptr, 0, 0}};

// Rows 1..kRows; every third one deleted, so that a pack renumbers.
void make_table(DB_ENGINE* c, const std::string& name) {
  DbDataFile* d = data_create(c, name.c_str(), kFields, kTags);
  ASSERT_NE(d, nullptr);
  for (long id = 1; id <= kRows; id++) {
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign_long(data_field_at(d, 1), id);
    field_assign(data_field_at(d, 2), ("P" + std::to_string(id)).c_str());
    if (id % 3 == 0) data_delete(d);
    ASSERT_EQ(data_append(d), 0);
  }
  ASSERT_EQ(data_close(d), 0);
}

DbDataFile* open_by_id(DB_ENGINE* c, const std::string& name) {
  DbDataFile* d = data_open(c, name.c_str());
  if (d) data_tag_select(d, data_tag_find(d, "NCID"));
  return d;
}

// The record a seek for `id` lands on; 0 when it finds none, -1 on an error.
long seek_id(DbDataFile* d, long id) {
  int rc = data_seek_double(d, double(id));
  if (rc < 0) return -1;
  return rc == 0 ? data_recno(d) : 0;
}

// 1 when some handle other than `w`'s holds the table's reading byte, 0
// when none does; asked of `w`'s context under its lock.
int reading_byte_held_elsewhere(DB_ENGINE* other, DbDataFile* w) {
  DbLock hold(other);
  return dbos_locked_elsewhere(w->file.handle, DB_LOCK_READING, 1, true);
}

// Where row `id` stands after a pack of the live rows.
long packed_recno(long id) { return id - id / 3; }

// Another station packs while this process, having made one lookup, only
// waits: the byte it kept goes back without any call of its own, well
// within the pack's bounded wait.
TEST(ReadLeaseTest, AReaderGoneIdleKeepsNoOtherStationsPackOut) {
  kvtest::ScratchDir dir;
  const std::string name = dir.file("LEASED.DBF");
  kvtest::QuietEngine c;
  make_table(&c, name);
  // Forked before the lookup: a fork gives back the bytes kept so far.
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(go[1]);
    char got;
    if (::read(go[0], &got, 1) != 1) _exit(9);
    kvtest::QuietEngine other;
    DbDataFile* w = data_open(&other, name.c_str());
    if (!w) _exit(10);
    DbBoundedLocks bounded(2);
    if (data_lock_file(w) != 0) _exit(11);
    int rc = data_pack(w);
    if (rc != 0) _exit(rc == DB_LOCKED ? 12 : 13);
    _exit(data_close(w) == 0 ? 0 : 14);
  }
  ::close(go[0]);
  DbDataFile* d = open_by_id(&c, name);
  EXPECT_NE(d, nullptr);
  EXPECT_EQ(d ? seek_id(d, 40) : -1, 40);
  EXPECT_EQ(::write(go[1], "g", 1), 1);
  ::close(go[1]);
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "12: the pack found the reading byte still held";
  // The reader's next lookup sees the packed table.
  EXPECT_EQ(seek_id(d, 40), packed_recno(40));
  EXPECT_EQ(data_close(d), 0);
}

// A rebuild on another handle of this very process, right after a lookup
// kept its byte: it neither waits on its own process for long nor hangs
// (the rebuilding thread holds its own context, and the same one in the
// second case). The kept byte goes back, and the reader sees the result.
TEST(ReadLeaseTest, ARebuildInTheSameProcessGetsPastAKeptByte) {
  for (bool same_context : {false, true}) {
    SCOPED_TRACE(same_context ? "one context" : "two contexts");
    kvtest::ScratchDir dir;
    const std::string name = dir.file("LEASED.DBF");
    kvtest::QuietEngine c, other;
    make_table(&c, name);
    DbDataFile* d = open_by_id(&c, name);
    ASSERT_NE(d, nullptr);
    DB_ENGINE* rebuilder_context = same_context ? static_cast<DB_ENGINE*>(&c) : &other;
    rebuilder_context->lock_attempts = 1;
    DbDataFile* w = data_open(rebuilder_context, name.c_str());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(seek_id(d, 20), 20);
    ASSERT_EQ(data_lock_file(w), 0);
    EXPECT_EQ(data_pack(w), 0);
    ASSERT_EQ(data_unlock(w), 0);
    EXPECT_EQ(seek_id(d, 20), packed_recno(20));
    EXPECT_EQ(seek_id(d, 21), 0);
    ASSERT_EQ(data_lock_file(w), 0);
    EXPECT_EQ(data_reindex(w), 0);
    ASSERT_EQ(data_unlock(w), 0);
    EXPECT_EQ(seek_id(d, 59), packed_recno(59));
    EXPECT_EQ(data_close(w), 0);
    EXPECT_EQ(data_close(d), 0);
  }
}

// A table closed while it keeps its byte: nothing gives back a byte on the
// handle number it had, which the next table opened takes over. That
// table's walk keeps its reading byte past the lease's time.
TEST(ReadLeaseTest, ATableClosedWithItsByteKeptLeavesNothingBehind) {
  kvtest::ScratchDir dir;
  const std::string name = dir.file("LEASED.DBF");
  kvtest::QuietEngine c, other;
  make_table(&c, name);
  DbDataFile* w = data_open(&other, name.c_str());
  ASSERT_NE(w, nullptr);
  DbDataFile* d = open_by_id(&c, name);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(seek_id(d, 5), 5);
  ASSERT_EQ(data_close(d), 0);
  EXPECT_EQ(reading_byte_held_elsewhere(&other, w), 0);

  d = open_by_id(&c, name);
  ASSERT_NE(d, nullptr);
  DbRelation* r = relate_init(d);
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(relate_top(r), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(8 * DB_LEASE_MS));
  EXPECT_EQ(reading_byte_held_elsewhere(&other, w), 1);
  relate_free(r, 0);
  EXPECT_EQ(data_close(d), 0);
  EXPECT_EQ(data_close(w), 0);
}

// Threads of one context look rows up with pauses around the lease's
// time, so that their bytes are kept, renewed, given back by the releaser
// and taken again, while a thread of another context packs and reindexes
// in turn: no lookup misses its row or fails.
TEST(ReadLeaseTest, LookupsBesideARebuildingThreadMissNoRow) {
  kvtest::ScratchDir dir;
  const std::string name = dir.file("LEASED.DBF");
  kvtest::QuietEngine c, other;
  make_table(&c, name);
  {
    // Packed once beforehand: later packs keep every row where it is.
    DbDataFile* w = data_open(&other, name.c_str());
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(data_lock_file(w), 0);
    ASSERT_EQ(data_pack(w), 0);
    ASSERT_EQ(data_close(w), 0);
  }
  DbDataFile* d = open_by_id(&c, name);
  ASSERT_NE(d, nullptr);

  std::atomic<bool> stop{false};
  std::atomic<int> rebuild_failures{0};
  std::thread rebuilder([&] {
    DbDataFile* w = data_open(&other, name.c_str());
    if (!w) {
      rebuild_failures++;
      return;
    }
    for (int round = 0; !stop; round++) {
      int rc = data_lock_file(w);
      if (rc == 0) rc = round % 2 ? data_reindex(w) : data_pack(w);
      if (rc != 0 && rebuild_failures++ < 3) ADD_FAILURE() << "round " << round << " rc " << rc;
      data_unlock(w);
      std::this_thread::sleep_for(std::chrono::microseconds(300 * (round % 7)));
    }
    data_close(w);
  });

  std::atomic<int> wrong{0};
  auto reader = [&](int seed) {
    for (int i = 0; i < 300; i++) {
      long id = 1 + (i * 7 + seed * 13) % kRows;
      if (id % 3 == 0) id--;
      long at;
      {
        DbLock hold(&c);
        at = seek_id(d, id);
      }
      if (at != packed_recno(id)) {
        if (wrong++ < 3) ADD_FAILURE() << "id " << id << " at " << at << " error " << code_error_get(&c);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(1000 * (i % 4) * DB_LEASE_MS / 2));
    }
  };
  std::thread a(reader, 1), b(reader, 2);
  a.join();
  b.join();
  stop = true;
  rebuilder.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(rebuild_failures, 0);
  EXPECT_EQ(data_close(d), 0);
}

}  // namespace
