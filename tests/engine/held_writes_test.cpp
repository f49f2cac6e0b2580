// Writes held in memory while a table is locked: another process sees every
// change the moment the lock ends and never a half-made one while it lasts;
// a write-back that fails is reported and loses nothing reported as written;
// moves in record order read ahead without serving stale records.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "engine/engine_api.h"
#include "engine/index_internal.h"
#include "engine/lock.h"
#include "index_fixture.h"
#include "platform/file.h"

namespace {

using kvtest::IndexTest;
using kvtest::PartRow;
using kvtest::QuietEngine;

const DbTagInfo kTags[] = {{"ID", "ID", nullptr, 20, 0},
                           {"NAME", "NAME", nullptr, 0, 0},
                           {nullptr, nullptr, nullptr, 0, 0}};

std::string name_for(long id, int version) {
  char text[32];
  std::snprintf(text, sizeof text, "PART-%06ld-V%d", (id * 7919) % 1000003, version);
  return text;
}

using kvtest::sorted_lines;

struct HeldWrites : IndexTest {
  void TearDown() override {
    plat::set_write_fault("", 0);
    IndexTest::TearDown();
  }

  void reopen() {
    if (d) {
      ASSERT_EQ(data_close(d), 0);
    }
    d = data_open(&c, name.c_str());
    ASSERT_NE(d, nullptr) << code_error_get(&c);
  }

  // Another station (an engine of its own) renames record `rec` and appends
  // record `id` named `text`.
  void other_station_writes(long rec, const char* rename, long id, const char* text) {
    QuietEngine other;
    DbDataFile* o = data_open(&other, name.c_str());
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(data_go(o, rec), 0);
    field_assign(data_field_at(o, 2), rename);
    ASSERT_EQ(data_append_start(o, 0), 0);
    data_blank(o);
    field_assign_long(data_field_at(o, 1), id);
    field_assign(data_field_at(o, 2), text);
    ASSERT_EQ(data_append(o), 0);
    ASSERT_EQ(data_close(o), 0);
  }

  int append_id(long id, int version = 1) { return append({id, name_for(id, version), double(id % 50), ""}); }

  // A table of n records with a wide note (blank) besides the parts' fields,
  // appended under the lock, all on disk.
  void make_table(long n) {
    static const DbFieldInfo kWide[] = {{"ID", 'N', 8, 0},   {"NAME", 'C', 40, 0},  {"QTY", 'N', 9, 2},
                                        {"DUE", 'D', 8, 0}, {"NOTE", 'C', 200, 0}, {nullptr, 0, 0, 0}};
    create(kTags, kWide);
    ASSERT_EQ(data_lock_file(d), 0);
    ASSERT_EQ(data_lock_index(d), 0);
    for (long id = 1; id <= n; id++) ASSERT_EQ(append_id(id), 0);
    ASSERT_EQ(data_unlock(d), 0);
  }

  // The file's bytes with `text` laid over field `field` of record n, as
  // the header places it (the whole field, blanks after the text).
  static void lay(std::vector<unsigned char>& image, long n, int field, const std::string& text) {
    unsigned header = image[8] | unsigned(image[9]) << 8, width = image[10] | unsigned(image[11]) << 8;
    unsigned offset = 1, len = 0;
    for (int i = 1; i <= field; i++) {
      offset += len;
      len = image[32 * size_t(i) + 16];
    }
    size_t at = header + size_t(n - 1) * width + offset;
    for (unsigned k = 0; k < len; k++) image[at + k] = k < text.size() ? (unsigned char)text[k] : ' ';
  }

  // The file as expected, but for the date of the last change (bytes 1-3).
  void expect_bytes(std::vector<unsigned char> want) {
    std::vector<unsigned char> got = kvtest::read_bytes(name);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 1; i <= 3; i++) got[i] = want[i];
    size_t at = 0;
    while (at < got.size() && got[at] == want[at]) at++;
    EXPECT_EQ(at, got.size()) << "the first byte that differs";
  }

  // Every id 1..n there once, found by its tag with its own name, and each
  // tag just as a fresh rebuild makes it.
  void expect_table(long n) {
    ASSERT_EQ(data_reccount(d), n);
    data_tag_select(d, tag("ID"));
    for (long id = 1; id <= n; id++) {
      ASSERT_EQ(data_seek_double(d, double(id)), 0) << id;
      ASSERT_EQ(str(2).substr(0, 13), name_for(id, 1).substr(0, 13)) << id;
    }
    std::vector<std::vector<std::string>> kept;
    for (const char* t : {"ID", "NAME"}) kept.push_back(sorted_lines(our_dump(tag(t))));
    ASSERT_EQ(data_reindex(d), 0);
    ASSERT_EQ(data_unlock(d), 0);
    int i = 0;
    for (const char* t : {"ID", "NAME"}) EXPECT_EQ(kept[size_t(i++)], sorted_lines(our_dump(tag(t)))) << t;
  }
};

// The writer holds the lock over long batches of appends and rewrites and
// reports each finished batch through a pipe; the reader seeks the whole
// time. Every record the reader finds is exact, and once a batch is
// reported, all of it is found at once.
TEST_F(HeldWrites, ReaderSeesEachLockedBatchWholeAfterTheUnlock) {
  create(kTags);
  ASSERT_EQ(append_id(1), 0);
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;
  constexpr int kBatches = 12, kBatch = 150;
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  pid_t kid = fork();
  ASSERT_GE(kid, 0);
  if (kid == 0) {
    close(pipe_fds[0]);
    QuietEngine own;
    DbDataFile* w = data_open(&own, name.c_str());
    if (!w) _exit(10);
    long last = 1;
    for (int b = 0; b < kBatches; b++) {
      if (data_lock_file(w) != 0 || data_lock_index(w) != 0) _exit(11);
      for (int i = 0; i < kBatch; i++) {
        long id = ++last;
        if (data_append_start(w, 0) != 0) _exit(12);
        data_blank(w);
        field_assign_long(data_field_at(w, 1), id);
        field_assign(data_field_at(w, 2), name_for(id, 1).c_str());
        if (data_append(w) != 0) _exit(13);
        if (i % 10 == 0) {
          // A rewrite of an older record, its name key moving.
          long old = 1 + (id * 31) % (id - 1);
          if (data_go(w, old) != 0) _exit(14);
          field_assign(data_field_at(w, 2), name_for(old, 2 + b).c_str());
        }
        usleep(200);  // a long stretch under the lock
      }
      if (data_unlock(w) != 0) _exit(15);
      if (write(pipe_fds[1], &last, sizeof last) != sizeof last) _exit(16);
    }
    _exit(data_close(w) == 0 ? 0 : 17);
  }
  close(pipe_fds[1]);
  fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK);
  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  data_tag_select(d, tag("ID"));
  long committed = 1, seeks = 0, wrong = 0, missing = 0;
  unsigned probe = 1;
  for (bool done = false; !done;) {
    long got = 0;
    ssize_t n = read(pipe_fds[0], &got, sizeof got);
    if (n == 0) done = true;
    if (n == sizeof got) {
      // Reported: the whole batch is there at once, none of it stale.
      for (long id = committed + 1; id <= got; id++)
        if (data_seek_double(d, double(id)) != 0) missing++;
      committed = got;
      continue;
    }
    probe = probe * 1103515245u + 12345u;
    long id = 1 + long(probe % unsigned(committed + kBatch));
    int rc = data_seek_double(d, double(id));
    seeks++;
    if (rc < 0) {
      wrong++;
      code_error_set(&c, 0);
      continue;
    }
    if (rc != 0) {
      if (id <= committed) missing++;
      continue;
    }
    // Every read exact: the record belongs to the id, its name one the
    // writer gave it.
    if (field_long(data_field_at(d, 1)) != id || str(2).rfind(name_for(id, 1).substr(0, 13), 0) != 0)
      wrong++;
  }
  close(pipe_fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(kid, &status, 0), kid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(committed, 1 + kBatches * kBatch);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(missing, 0);
  EXPECT_GT(seeks, 100);
  reopen();
  expect_table(1 + kBatches * kBatch);
}

// A write-back that fails keeps the lock and everything held: the unlock
// reports the failure, and the next unlock, with room again, delivers all.
// The table's file the failure is injected into is given by the case.
TEST_F(HeldWrites, FailedWriteBackLosesNothing) {
  for (const char* failing : {"PARTS.DBF", "PARTS.MDX"}) {
    SCOPED_TRACE(failing);
    create(kTags);
    for (long id = 1; id <= 3; id++) ASSERT_EQ(append_id(id), 0);
    ASSERT_EQ(data_flush(d), 0);
    ASSERT_EQ(data_lock_file(d), 0);
    ASSERT_EQ(data_lock_index(d), 0);
    for (long id = 4; id <= 400; id++) ASSERT_EQ(append_id(id), 0);
    plat::set_write_fault(failing, 0);
    EXPECT_LT(data_unlock(d), 0);
    EXPECT_EQ(code_error_get(&c), e_write);
    code_error_set(&c, 0);
    {
      // Meanwhile another station finds no key the disk lacks a record for
      // (the records go out before their keys), and the index still locked.
      QuietEngine other;
      DbDataFile* o = data_open(&other, name.c_str());
      ASSERT_NE(o, nullptr);
      EXPECT_EQ(data_reccount(o), std::string(failing) == "PARTS.DBF" ? 3 : 400);
      data_tag_select(o, data_tag_find(o, "ID"));
      EXPECT_EQ(data_seek_double(o, 3), 0);
      EXPECT_NE(data_seek_double(o, 4), 0);
      other.lock_attempts = 1;
      EXPECT_EQ(data_lock_index(o), DB_LOCKED);
      code_error_set(&other, 0);
      data_close(o);
    }
    plat::set_write_fault("", 0);
    EXPECT_EQ(data_unlock(d), 0);
    reopen();
    expect_table(400);
    ASSERT_EQ(data_close(d), 0);
    d = nullptr;
    std::remove(name.c_str());
    std::remove(dir.file("PARTS.MDX").c_str());
  }
}

// A table closed while its write-back keeps failing: the close reports it,
// and the files hold the table as its last good write-back left it, records
// and keys agreeing.
TEST_F(HeldWrites, CloseAfterFailedWriteBackLeavesTheLastGoodTable) {
  create(kTags);
  for (long id = 1; id <= 3; id++) ASSERT_EQ(append_id(id), 0);
  ASSERT_EQ(data_flush(d), 0);
  ASSERT_EQ(data_lock_file(d), 0);
  ASSERT_EQ(data_lock_index(d), 0);
  for (long id = 4; id <= 200; id++) ASSERT_EQ(append_id(id), 0);
  plat::set_write_fault("PARTS.DBF", 0);
  EXPECT_LT(data_close(d), 0);
  d = nullptr;
  plat::set_write_fault("", 0);
  code_error_set(&c, 0);
  reopen();
  expect_table(3);
}

// Moves in record order read records in batches: a batch never outlives an
// unlock, so another station's rewrite and append are seen by the next walk.
TEST_F(HeldWrites, WalksInRecordOrderSeeAnotherStationsChanges) {
  create(kTags);
  for (long id = 1; id <= 500; id++) ASSERT_EQ(append_id(id), 0);
  ASSERT_EQ(data_flush(d), 0);
  auto walk = [&] {
    std::string names;
    long n = 0;
    for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1), n++) names += str(2).substr(0, 3);
    return std::make_pair(n, names);
  };
  ASSERT_EQ(data_lock_file(d), 0);
  auto locked = walk();
  ASSERT_EQ(data_unlock(d), 0);
  EXPECT_EQ(locked.first, 500);
  other_station_writes(250, "XYZ", 501, "NEW");
  auto after = walk();
  EXPECT_EQ(after.first, 501);
  EXPECT_EQ(after.second.substr(249 * 3, 3), "XYZ");
  EXPECT_EQ(after.second.substr(500 * 3, 3), "NEW");
  // Backward too, and our own rewrite under the lock read back at once.
  ASSERT_EQ(data_lock_file(d), 0);
  ASSERT_EQ(data_go(d, 100), 0);
  field_assign(data_field_at(d, 2), "OWN");
  long back = 0;
  bool own_seen = false;
  for (int rc = data_bottom(d); rc == 0; rc = data_skip(d, -1), back++)
    if (data_recno(d) == 100) own_seen = str(2) == "OWN";
  EXPECT_EQ(back, 501);
  EXPECT_TRUE(own_seen);
  ASSERT_EQ(data_unlock(d), 0);
}

// A long locked stretch with the fewest blocks kept in memory: changed
// blocks leave for the file and come back again and again, and the tags end
// up just as a rebuild makes them.
TEST_F(HeldWrites, BlocksLeavingMemoryUnderALongLockComeBackIntact) {
  struct Restore {
    long was = g_index_resident_bytes;
    ~Restore() { g_index_resident_bytes = was; }
  } restore;
  g_index_resident_bytes = 0;
  create(kTags);
  constexpr long kRows = 4000;
  ASSERT_EQ(data_lock_file(d), 0);
  ASSERT_EQ(data_lock_index(d), 0);
  for (long id = 1; id <= kRows; id++) ASSERT_EQ(append_id(id), 0);
  for (long id = 7; id <= kRows; id += 7) {
    ASSERT_EQ(data_go(d, id), 0);
    field_assign(data_field_at(d, 2), name_for(id, 2).c_str());
  }
  ASSERT_EQ(data_flush(d), 0);
  ASSERT_EQ(data_unlock(d), 0);
  reopen();
  expect_table(kRows);
}

// Walks in a tag's order under the lock keep pieces of the file in memory:
// they serve our own rewrites and appends at once and never outlive the
// lock, so another station's changes between two locks are seen.
TEST_F(HeldWrites, LockedWalksInTagOrderSeeOwnAndOtherStationsChanges) {
  create(kTags);
  for (long id = 1; id <= 500; id++) ASSERT_EQ(append_id(id), 0);
  ASSERT_EQ(data_flush(d), 0);
  data_tag_select(d, tag("NAME"));
  // Record number to name, as a locked walk in name order finds them.
  auto walk = [&] {
    EXPECT_EQ(data_lock_file(d), 0);
    EXPECT_EQ(data_lock_index(d), 0);
    std::map<long, std::string> seen;
    for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1)) seen[data_recno(d)] = str(2);
    EXPECT_EQ(data_unlock(d), 0);
    return seen;
  };
  auto first = walk();
  ASSERT_EQ(first.size(), 500u);
  EXPECT_EQ(first[250], name_for(250, 1));
  other_station_writes(250, "AAA-OTHER", 501, "ZZZ-NEW");
  auto second = walk();
  ASSERT_EQ(second.size(), 501u);
  EXPECT_EQ(second[250], "AAA-OTHER");
  EXPECT_EQ(second[501], "ZZZ-NEW");
  // Our own rewrite and append under the lock, read back by the same walk.
  ASSERT_EQ(data_lock_file(d), 0);
  ASSERT_EQ(data_lock_index(d), 0);
  ASSERT_EQ(data_go(d, 100), 0);
  field_assign(data_field_at(d, 2), "MMM-OWN");
  ASSERT_EQ(append_id(502), 0);
  std::map<long, std::string> third;
  for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1)) third[data_recno(d)] = str(2);
  ASSERT_EQ(data_unlock(d), 0);
  ASSERT_EQ(third.size(), 502u);
  EXPECT_EQ(third[100], "MMM-OWN");
  EXPECT_EQ(third[502], name_for(502, 1));
  EXPECT_EQ(third[250], "AAA-OTHER");
}

// A locked walk that rewrites records as it passes, in record order and in
// a tag's order: walking back over them reads every rewrite at once, the
// keys follow, and after the unlock another station finds them all.
TEST_F(HeldWrites, RewritesOnALockedWalkAreReadBackAndReachOtherStations) {
  create(kTags);
  constexpr long kRows = 3000;
  for (long id = 1; id <= kRows; id++) ASSERT_EQ(append_id(id), 0);
  ASSERT_EQ(data_flush(d), 0);
  for (const char* order : {"", "ID"}) {
    SCOPED_TRACE(order);
    data_tag_select(d, *order ? tag(order) : nullptr);
    const char* mark = *order ? "TAG" : "REC";
    ASSERT_EQ(data_lock_file(d), 0);
    ASSERT_EQ(data_lock_index(d), 0);
    long passed = 0;
    for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1), passed++)
      if (data_recno(d) % 3 == 0) field_assign(data_field_at(d, 2), (mark + name_for(data_recno(d), 3)).c_str());
    ASSERT_EQ(passed, kRows);
    long back = 0, marked = 0;
    for (int rc = data_bottom(d); rc == 0; rc = data_skip(d, -1), back++) {
      bool ours = str(2).substr(0, 3) == mark;
      EXPECT_EQ(ours, data_recno(d) % 3 == 0) << data_recno(d);
      marked += ours;
    }
    EXPECT_EQ(back, kRows);
    EXPECT_EQ(marked, kRows / 3);
    ASSERT_EQ(data_unlock(d), 0);
    QuietEngine other;
    DbDataFile* o = data_open(&other, name.c_str());
    ASSERT_NE(o, nullptr);
    data_tag_select(o, data_tag_find(o, "NAME"));
    for (long id = 3; id <= kRows; id += 3) {
      std::string want = mark + name_for(id, 3);
      ASSERT_EQ(data_seek(o, want.c_str()), 0) << id;
      EXPECT_EQ(data_recno(o), id);
    }
    ASSERT_EQ(data_close(o), 0);
  }
}

// A locked walk rewriting records in patterns: records rewritten near one
// another go out in runs with the unchanged ones between them, and a long
// run leaves for the file while the lock lasts. Whatever the pattern (a
// keyed field or not), the file ends up byte for byte as the rewrites alone
// make it, and the tags as a rebuild makes them.
TEST_F(HeldWrites, RewritesInRunsLeaveExactlyTheRewrittenBytes) {
  struct Pattern {
    const char* what;
    long every, count;  // records n with n % every < count are rewritten
    int field;
  };
  const Pattern patterns[] = {
      {"five of ten, a keyed field", 10, 5, 2},
      {"every record, a field no tag reads", 1, 1, 5},
      {"every other record", 2, 1, 2},
      {"one in a hundred: gaps wider than a page", 100, 1, 2},
  };
  constexpr long kRows = 5000;  // 1.3 MB of records: runs longer than a megabyte
  for (const Pattern& p : patterns) {
    SCOPED_TRACE(p.what);
    make_table(kRows);
    std::vector<unsigned char> want = kvtest::read_bytes(name);
    ASSERT_EQ(data_lock_file(d), 0);
    ASSERT_EQ(data_lock_index(d), 0);
    long passed = 0;
    for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1), passed++) {
      long n = data_recno(d);
      if (n % p.every >= p.count) continue;
      std::string text = p.field == 2 ? name_for(n, 4) : "NOTE " + std::to_string(n * 7);
      field_assign(data_field_at(d, p.field), text.c_str());
      lay(want, n, p.field, text);
    }
    ASSERT_EQ(passed, kRows);
    ASSERT_EQ(data_unlock(d), 0);
    expect_bytes(want);
    expect_table(kRows);
    ASSERT_EQ(data_close(d), 0);
    d = nullptr;
    std::remove(name.c_str());
    std::remove(dir.file("PARTS.MDX").c_str());
  }
}

// A long run that fails part way on its way out (a drive that drops mid-
// write) stays held: the walk reports the failure, goes on once there is
// room again, and every rewrite reaches the file whole.
TEST_F(HeldWrites, ALongRunThatFailsGoesOutWholeLater) {
  constexpr long kRows = 5000;
  make_table(kRows);
  std::vector<unsigned char> want = kvtest::read_bytes(name);
  ASSERT_EQ(data_lock_file(d), 0);
  ASSERT_EQ(data_lock_index(d), 0);
  plat::set_write_fault("PARTS.DBF", 100000);
  long failures = 0, passed = 0;
  int rc = data_top(d);
  while (rc == 0) {
    long n = data_recno(d);
    field_assign(data_field_at(d, 2), name_for(n, 4).c_str());
    lay(want, n, 2, name_for(n, 4));
    rc = data_skip(d, 1);
    passed++;
    if (rc < 0) {
      EXPECT_EQ(code_error_get(&c), e_write);
      EXPECT_EQ(failures++, 0) << "fails once, then there is room";
      code_error_set(&c, 0);
      plat::set_write_fault("", 0);
      ASSERT_EQ(data_recno(d), n);  // still on the record that did not go out
      rc = data_skip(d, 1);
    }
  }
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(passed, kRows);
  ASSERT_EQ(data_unlock(d), 0);
  expect_bytes(want);
  expect_table(kRows);
}

}  // namespace

namespace {

// A locked append longer than a megabyte: while the lock lasts another
// process still reads the table as it was, whole; a write that fails part
// way is reported, the append goes on once there is room again, and after
// the unlock every record is there once.
TEST_F(HeldWrites, ALongLockedAppendKeepsTheTableReadableAndWhole) {
  constexpr long kBefore = 100, kRows = 12000;  // about 3 MB of records
  make_table(kBefore);
  ASSERT_EQ(data_lock_file(d), 0);
  ASSERT_EQ(data_lock_index(d), 0);
  for (long id = kBefore + 1; id <= kRows / 2; id++) ASSERT_EQ(append_id(id), 0);
  pid_t kid = fork();
  ASSERT_GE(kid, 0);
  if (kid == 0) {
    QuietEngine own;
    DbDataFile* r = data_open(&own, name.c_str());
    if (!r) _exit(10);
    if (data_reccount(r) != kBefore) _exit(11);
    data_tag_select(r, data_tag_find(r, "ID"));
    for (long id = 1; id <= kBefore; id++)
      if (data_seek_double(r, double(id)) != 0 || field_long(data_field_at(r, 1)) != id) _exit(12);
    if (data_seek_double(r, double(kBefore + 1)) == 0) _exit(13);
    _exit(data_close(r) == 0 ? 0 : 14);
  }
  int status = 0;
  ASSERT_EQ(waitpid(kid, &status, 0), kid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  plat::set_write_fault("PARTS.DBF", 200000);
  long failures = 0;
  for (long id = kRows / 2 + 1; id <= kRows; id++) {
    if (append_id(id) == 0) continue;
    EXPECT_EQ(code_error_get(&c), e_write);
    EXPECT_EQ(failures++, 0) << "fails once, then there is room";
    code_error_set(&c, 0);
    plat::set_write_fault("", 0);
    id--;  // the same record again
  }
  EXPECT_EQ(failures, 1);
  ASSERT_EQ(data_unlock(d), 0);
  reopen();
  expect_table(kRows);
}

}  // namespace
