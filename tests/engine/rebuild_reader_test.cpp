// A reader that holds no lock looks every live row up (a seek by either of
// two tags, a query by name) while another process packs and reindexes the
// table round after round: every lookup finds its row, the row read is the
// one sought, and no error comes up, whatever moment of the rebuild the
// lookup meets. Each round the other
// process also moves one row (a copy appended, the original deleted), so a
// pack renumbers the records after it.
//
// Then the same without rounds: the other process rebuilds as fast as it
// can, each pack renumbering every program row (rows deleted in front of
// them), while the reader, as fast as it can, seeks every live row by id
// and by name, walks each machine's rows through a sorted query, and opens
// the table afresh now and then.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_api.h"
#include "engine/lock.h"
#include "engine/table.h"
#include "index_fixture.h"

namespace {

using kvtest::IndexTest;

constexpr long kRows = 300;
constexpr int kRounds = 6;  // packs and reindexes, in turn

const DbTagInfo kTags[] = {{"ID", "ID", nullptr, 0, 0},
                           {"NAME", "NAME", nullptr, 0, 0},
                           {nullptr, nullptr, nullptr, 0, 0}};

enum class Lookup { id, name, query };
const char* const kLookupNames[] = {"seek by id", "seek by name", "query by name"};

std::string name_of(long id) {
  char text[24];
  std::snprintf(text, sizeof text, "PROG-%05ld", id);
  return text;
}

bool readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

// The other station: waits for the go of each round, moves one row and
// packs (even rounds) or reindexes (odd rounds) under its locks, and says
// when the round is done; ends when the go pipe closes. 0 when every round
// went well.
int rebuilder(const std::string& table, int go, int done) {
  kvtest::QuietEngine c;
  DbDataFile* w = data_open(&c, table.c_str());
  if (!w) return 10;
  data_tag_select(w, data_tag_find(w, "ID"));
  for (int round = 0;; round++) {
    char cmd;
    if (::read(go, &cmd, 1) != 1) break;  // the test ended
    long id = 1 + round * 997 % kRows;
    if (data_lock_file(w) != 0 || data_seek_double(w, double(id)) != 0) return 12;
    long at = data_recno(w);
    if (data_append_start(w, 0) != 0) return 13;
    data_blank(w);
    field_assign_long(data_field_at(w, 1), id);
    field_assign(data_field_at(w, 2), name_of(id).c_str());
    if (data_append(w) != 0 || data_go(w, at) != 0) return 14;
    data_delete(w);
    if (data_flush(w) != 0) return 15;
    int rc = round % 2 == 0 ? data_pack(w) : data_reindex(w);
    if (rc != 0 || data_unlock(w) != 0) return 16;
    if (::write(done, "d", 1) != 1) return 17;
  }
  return data_close(w) == 0 ? 0 : 18;
}

TEST_F(IndexTest, UnlockedSeeksFindEveryRowWhileAnotherStationPacksAndReindexes) {
  create(kTags);
  ASSERT_EQ(data_lock_file(d), 0);  // one batch: the keys go out at the unlock
  ASSERT_EQ(data_lock_index(d), 0);
  for (long id = 1; id <= kRows; id++) {
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign_long(data_field_at(d, 1), id);
    field_assign(data_field_at(d, 2), name_of(id).c_str());
    ASSERT_EQ(data_append(d), 0) << id;
  }
  ASSERT_EQ(data_unlock(d), 0);
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;
  // The other process, ended (and its status taken) however the test ends.
  struct Station {
    int go[2] = {-1, -1}, done[2] = {-1, -1};
    pid_t pid = -1;
    int status = -1;
    int finish() {
      for (int& fd : {std::ref(go[1]), std::ref(go[0]), std::ref(done[0]), std::ref(done[1])}) {
        if (fd >= 0) ::close(fd);
        fd = -1;
      }
      if (pid > 0 && waitpid(pid, &status, 0) == pid) pid = -1;
      return status;
    }
    ~Station() { finish(); }
  } other;
  ASSERT_EQ(::pipe(other.go), 0);
  ASSERT_EQ(::pipe(other.done), 0);
  other.pid = fork();
  ASSERT_GE(other.pid, 0);
  if (other.pid == 0) {
    ::close(other.go[1]);  // the go pipe ends with the test
    _exit(rebuilder(name, other.go[0], other.done[1]));
  }
  ::close(other.go[0]);
  other.go[0] = -1;

  c.lock_attempts = 2;  // as the program runs its stations
  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  DbTag* by_id = tag("ID");
  DbTag* by_name = tag("NAME");
  long lookups = 0, missed = 0, failed = 0;
  std::string first;
  auto note = [&](const std::string& what) {
    if (first.empty()) first = what;
  };
  for (int round = 0; round < kRounds; round++) {
    ASSERT_EQ(::write(other.go[1], "g", 1), 1);
    // Looks up until the round is done, a whole pass over the rows at least.
    bool round_done = false;
    for (long i = 0; i < kRows || !round_done; i++) {
      long id = 1 + (i * 7919) % kRows;
      Lookup how_found = Lookup(i % 3);
      int rc;
      if (how_found == Lookup::query) {
        data_tag_select(d, by_name);
        DbRelation* r = relate_init(d);
        ASSERT_NE(r, nullptr);
        std::string filter = "NAME = '" + name_of(id) + "'";
        rc = relate_query_set(r, filter.c_str());
        if (rc == 0) rc = relate_top(r);
        relate_free(r, 0);
      } else {
        bool named = how_found == Lookup::name;
        data_tag_select(d, named ? by_name : by_id);
        rc = named ? data_seek(d, name_of(id).c_str()) : data_seek_double(d, double(id));
      }
      int error = code_error_get(&c);
      lookups++;
      std::string how = std::string(kLookupNames[int(how_found)]) + " " + std::to_string(id) +
                        " round " + std::to_string(round);
      if (rc < 0 || error < 0) {
        failed++;
        note(how + ": error " + std::to_string(error));
        code_error_set(&c, 0);
      } else if (rc != 0) {
        missed++;
        note(how + ": gave " + std::to_string(rc));
      } else if (field_long(data_field_at(d, 1)) != id || str(2) != name_of(id)) {
        missed++;
        note(how + ": read " + std::to_string(field_long(data_field_at(d, 1))) + " " + str(2));
      }
      if (!round_done && readable(other.done[0])) {
        char got;
        ASSERT_EQ(::read(other.done[0], &got, 1), 1);
        round_done = true;
      }
    }
  }
  int status = other.finish();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(missed, 0) << first;
  EXPECT_EQ(failed, 0) << first;
  RecordProperty("lookups", std::to_string(lookups));
}

// ---- rebuilds as fast as they go, beside a reader as fast as it goes ----

constexpr long kPrograms = 480;      // program rows, every fourth deleted at the start
constexpr int kRebuilds = 220;       // packs and reindexes in turn
constexpr long kFillers = 3 * (kRebuilds / 2 + 1);  // rows in front, three go with each pack
constexpr int kMachines = 3;

const DbFieldInfo kProgramFields[] = {
    {"NCID", 'N', 10, 0}, {"DESC", 'C', 40, 0}, {"MID", 'N', 10, 0}, {nullptr, 0, 0, 0}};
const DbTagInfo kProgramTags[] = {{"NCID", "NCID", nullptr, DB_UNIQUE, 0},
                                  {"DESC", "DESC", nullptr, 0, 0},
                                  {nullptr, nullptr, nullptr, 0, 0}};

bool program_live(long id) { return id % 4 != 0; }
long machine_of(long id) { return id % kMachines + 1; }
std::string desc_of(long id) { return "PART " + name_of(id); }

// Packs (three rows in front deleted first) and reindexes in turn, as fast
// as it can, kRebuilds times, saying after each one; 0 when all went well.
int fast_rebuilder(const std::string& table, int done) {
  kvtest::QuietEngine c;
  DbDataFile* w = data_open(&c, table.c_str());
  if (!w) return 10;
  for (int round = 0; round < kRebuilds; round++) {
    if (data_lock_file(w) != 0) return 11;
    int rc;
    if (round % 2 == 0) {
      for (long n = 1; n <= 3; n++) {
        if (data_go(w, n) != 0) return 12;
        data_delete(w);
      }
      if (data_flush(w) != 0) return 13;
      rc = data_pack(w);
    } else {
      rc = data_reindex(w);
    }
    if (rc != 0 || data_unlock(w) != 0) return 14;
    if (::write(done, "d", 1) != 1) return 15;
  }
  return data_close(w) == 0 ? 0 : 16;
}

TEST(RebuildReaderTest, NoLiveRowIsMissedWhileAnotherStationRebuildsAsFastAsItCan) {
  kvtest::ScratchDir dir;
  const std::string name = dir.file("KELVFILE.DBF");
  {
    kvtest::QuietEngine c;
    DbDataFile* d = data_create(&c, name.c_str(), kProgramFields, kProgramTags);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(data_lock_file(d), 0);
    ASSERT_EQ(data_lock_index(d), 0);
    // A deleted row has its id and machine negated, as the program index keeps them.
    auto add = [&](long id, long mid, bool live) {
      ASSERT_EQ(data_append_start(d, 0), 0);
      data_blank(d);
      field_assign_long(data_field_at(d, 1), live ? id : -id);
      field_assign(data_field_at(d, 2), desc_of(id).c_str());
      field_assign_long(data_field_at(d, 3), live ? mid : -mid);
      if (!live) data_delete(d);
      ASSERT_EQ(data_append(d), 0) << id;
    };
    for (long f = 1; f <= kFillers; f++) add(100000 + f, 0, true);
    for (long id = 1; id <= kPrograms; id++) add(id, machine_of(id), program_live(id));
    ASSERT_EQ(data_unlock(d), 0);
    ASSERT_EQ(data_close(d), 0);
  }
  std::vector<std::set<long>> expected(kMachines + 1);
  std::vector<long> live;
  for (long id = 1; id <= kPrograms; id++)
    if (program_live(id)) {
      live.push_back(id);
      expected[size_t(machine_of(id))].insert(id);
    }

  int done[2];
  ASSERT_EQ(::pipe(done), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(done[0]);
    _exit(fast_rebuilder(name, done[1]));
  }
  ::close(done[1]);

  kvtest::QuietEngine c;
  c.lock_attempts = 2;  // as the program runs its stations
  DbDataFile* d = nullptr;
  long lookups = 0, walks = 0, opens = 0, missed = 0, failed = 0;
  int rebuilds = 0, overlapped = 0;
  long lookups_at_rebuild = 0;
  std::string first;
  auto note = [&](long* count, const std::string& what) {
    ++*count;
    if (first.empty()) first = what + " after " + std::to_string(rebuilds) + " rebuilds";
  };
  auto error_of = [&](const std::string& what) {
    int e = code_error_get(&c);
    note(&failed, what + ": error " + std::to_string(e));
    code_error_set(&c, 0);
  };
  bool ended = false;
  for (long i = 0; !ended; i++) {
    if (!d || i % 97 == 0) {
      if (d) data_close(d);
      d = data_open(&c, name.c_str());
      opens++;
      if (!d) {
        error_of("open");
        continue;
      }
    }
    long id = live[size_t(i * 7919) % live.size()];
    int kind = int(i % 5);
    if (kind == 4) {
      // A machine's programs, as the DNC station looks a program up.
      long mid = i / 5 % kMachines + 1;
      data_tag_select(d, nullptr);
      DbRelation* r = relate_init(d);
      ASSERT_NE(r, nullptr);
      std::string filter = "MID = " + std::to_string(mid);
      std::set<long> seen;
      bool doubled = false;
      int rc = relate_query_set(r, filter.c_str());
      if (rc == 0) rc = relate_sort_set(r, "DESC");
      if (rc == 0) rc = relate_top(r);
      while (rc == 0) {
        doubled |= !seen.insert(field_long(data_field_at(d, 1))).second;
        rc = relate_skip(r, 1);
      }
      relate_free(r, 0);
      walks++;
      std::string how = "walk of machine " + std::to_string(mid);
      if (rc != DB_EOF || code_error_get(&c) < 0) error_of(how + " gave " + std::to_string(rc));
      else if (doubled || seen != expected[size_t(mid)])
        note(&missed, how + ": " + std::to_string(seen.size()) + " rows of " +
                          std::to_string(expected[size_t(mid)].size()));
    } else {
      bool by_desc = kind % 2 == 1;
      data_tag_select(d, data_tag_find(d, by_desc ? "DESC" : "NCID"));
      int rc = by_desc ? data_seek(d, desc_of(id).c_str()) : data_seek_double(d, double(id));
      lookups++;
      std::string how = std::string(by_desc ? "seek by name " : "seek by id ") + std::to_string(id);
      if (rc < 0 || code_error_get(&c) < 0) error_of(how);
      else if (rc != 0) note(&missed, how + ": gave " + std::to_string(rc));
      else if (field_long(data_field_at(d, 1)) != id) note(&missed, how + ": read another row");
    }
    // The rebuilds done meanwhile; one that ends after lookups since the
    // last one overlapped them.
    for (char got; readable(done[0]);) {
      if (::read(done[0], &got, 1) != 1) {
        ended = true;
        break;
      }
      rebuilds++;
      if (lookups + walks > lookups_at_rebuild) overlapped++;
      lookups_at_rebuild = lookups + walks;
    }
  }
  if (d) data_close(d);
  ::close(done[0]);
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(rebuilds, kRebuilds);
  EXPECT_EQ(missed, 0) << first;
  EXPECT_EQ(failed, 0) << first;
  // The reading went on through the rebuilds, not only between them.
  EXPECT_GT(overlapped, kRebuilds / 2) << lookups << " lookups, " << walks << " walks";
  RecordProperty("lookups", std::to_string(lookups));
  RecordProperty("walks", std::to_string(walks));
  RecordProperty("opens", std::to_string(opens));
}

// Both sides wait only so long: a pack that meets a walk still open on
// another handle reports the table locked after its lock attempts and
// replaces nothing; a seek that meets a rebuild that does not end reports a
// lock error rather than a miss. Once the walk is freed the pack goes
// through.
TEST(RebuildReaderTest, EachSideOfTheGuardWaitsOnlySoLong) {
  kvtest::ScratchDir dir;
  const std::string name = dir.file("KELVFILE.DBF");
  kvtest::QuietEngine c;
  DbDataFile* d = data_create(&c, name.c_str(), kProgramFields, kProgramTags);
  ASSERT_NE(d, nullptr);
  for (long id = 1; id <= 8; id++) {
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign_long(data_field_at(d, 1), id);
    field_assign(data_field_at(d, 2), desc_of(id).c_str());
    field_assign_long(data_field_at(d, 3), 1);
    if (id % 2 == 0) data_delete(d);
    ASSERT_EQ(data_append(d), 0);
  }
  ASSERT_EQ(data_unlock(d), 0);

  kvtest::QuietEngine other;
  other.lock_attempts = 1;
  DbDataFile* w = data_open(&other, name.c_str());
  ASSERT_NE(w, nullptr);

  DbRelation* r = relate_init(d);
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(relate_query_set(r, "MID = 1"), 0);
  ASSERT_EQ(relate_top(r), 0);
  ASSERT_EQ(data_lock_file(w), 0);
  EXPECT_EQ(data_pack(w), DB_LOCKED);
  code_error_set(&other, 0);
  EXPECT_EQ(data_reccount(w), 8);
  // The walk goes on over the rows it started on, the index as it was.
  long rows = 1;
  while (relate_skip(r, 1) == 0) rows++;
  EXPECT_EQ(rows, 8);
  relate_free(r, 0);
  data_tag_select(d, data_tag_find(d, "NCID"));
  EXPECT_EQ(data_seek_double(d, 7.0), 0);
  EXPECT_EQ(data_recno(d), 7);

  {
    // The other station's rebuild holds its bytes and does not end.
    DbLock hold(&other);
    ASSERT_EQ(data_rebuild_enter(w), 0);
  }
  int rc = 0, error = 0;
  std::thread reader([&] {
    DbBoundedLocks bounded(1);
    rc = data_seek_double(d, 3.0);
    error = code_error_get(&c);
  });
  reader.join();
  EXPECT_LT(rc, 0);
  EXPECT_EQ(error, e_lock);
  code_error_set(&c, 0);
  {
    DbLock hold(&other);
    data_rebuild_leave(w);
  }

  EXPECT_EQ(data_pack(w), 0);
  EXPECT_EQ(data_unlock(w), 0);
  EXPECT_EQ(data_reccount(w), 4);
  EXPECT_EQ(data_seek_double(d, 7.0), 0);
  EXPECT_EQ(data_recno(d), 4);
  EXPECT_EQ(data_close(w), 0);
  EXPECT_EQ(data_close(d), 0);
}

}  // namespace
