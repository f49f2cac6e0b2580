// Reader processes that hold no lock (seeks by id and by name, walks of a
// tag in either direction, a machine's rows through a sorted query, the
// table opened afresh now and then) against another process that moves a
// row (a copy appended, the original deleted) and packs or reindexes in
// turn, over and over; each pack also removes rows in front, so it
// renumbers every program row. No reader misses a row, meets one twice in
// a walk either way, or gets an error: a reader waits for a rebuild, and
// a rebuild for the readers, as the reading guard promises.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "engine/engine_api.h"
#include "engine_fixture.h"

namespace {

constexpr long kPrograms = 150;  // never moved; three to a name
constexpr int kRebuilds = 320;   // packs and reindexes in turn
constexpr long kFront = 3 * (kRebuilds / 2 + 1);  // rows in front, three go with each pack
constexpr long kMoving = 10;     // rows moved by the rebuilding process, one a round
constexpr int kReaders = 3;
constexpr long kMachines = 3;

const DbFieldInfo kFields[] = {
    {"NCID", 'N', 10, 0}, {"DESC", 'C', 30, 0}, {"MID", 'N', 10, 0}, {nullptr, 0, 0, 0}};
const DbTagInfo kTags[] = {{"NCID", "NCID", nullptr, DB_UNIQUE, 0},
                           {"DESC", "DESC", nullptr, 0, 0},
                           {nullptr, nullptr, nullptr, 0, 0}};

// Program rows are 1..kPrograms; the rows in front and the moving ones lie
// beyond, with names and machines of their own.
constexpr long kFrontBase = 100000;
constexpr long kMovingBase = 200000;
bool is_program(long id) { return id >= 1 && id <= kPrograms; }
std::string desc_of(long id) {
  char text[32];
  if (is_program(id)) std::snprintf(text, sizeof text, "PART %04ld", (id + 2) / 3);
  else std::snprintf(text, sizeof text, "OTHER %07ld", id);
  return text;
}
long machine_of(long id) { return is_program(id) ? id % kMachines + 1 : 0; }

bool readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

void make_table(const std::string& name) {
  kvtest::QuietEngine c;
  DbDataFile* d = data_create(&c, name.c_str(), kFields, kTags);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(data_lock_file(d), 0);
  ASSERT_EQ(data_lock_index(d), 0);
  auto add = [&](long id) {
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign_long(data_field_at(d, 1), id);
    field_assign(data_field_at(d, 2), desc_of(id).c_str());
    field_assign_long(data_field_at(d, 3), machine_of(id));
    ASSERT_EQ(data_append(d), 0) << id;
  };
  for (long f = 1; f <= kFront; f++) add(kFrontBase + f);
  for (long id = 1; id <= kPrograms; id++) add(id);
  for (long m = 1; m <= kMoving; m++) add(kMovingBase + m);
  // Equal names in record order, as every pack leaves them.
  ASSERT_EQ(data_reindex(d), 0);
  ASSERT_EQ(data_unlock(d), 0);
  ASSERT_EQ(data_close(d), 0);
}

// The other station: each round moves one row and packs (three rows in
// front deleted first) or reindexes. 0 when every round went well.
int rebuilder(const std::string& table) {
  kvtest::QuietEngine c;
  c.lock_attempts = 2;
  DbDataFile* w = data_open(&c, table.c_str());
  if (!w) return 10;
  data_tag_select(w, data_tag_find(w, "NCID"));
  // The ids are unique: a copy takes the next free one.
  std::vector<long> moving;
  for (long m = 1; m <= kMoving; m++) moving.push_back(kMovingBase + m);
  for (int round = 0; round < kRebuilds; round++) {
    if (data_lock_file(w) != 0) return 11;
    long& id = moving[size_t(round) % moving.size()];
    if (data_seek_double(w, double(id)) != 0) return 12;
    long at = data_recno(w);
    id = kMovingBase + kMoving + 1 + round;
    if (data_append_start(w, 0) != 0) return 13;
    data_blank(w);
    field_assign_long(data_field_at(w, 1), id);
    field_assign(data_field_at(w, 2), desc_of(id).c_str());
    if (data_append(w) != 0 || data_go(w, at) != 0) return 14;
    data_delete(w);
    int rc;
    if (round % 2 == 0) {
      long first = 3 * (round / 2) + 1;
      for (long n = 1; n <= 3; n++) {
        if (data_seek_double(w, double(kFrontBase + first - 1 + n)) != 0) return 15;
        data_delete(w);
      }
      if (data_flush(w) != 0) return 16;
      rc = data_pack(w);
    } else {
      if (data_flush(w) != 0) return 16;
      rc = data_reindex(w);
    }
    if (rc != 0 || data_unlock(w) != 0) return 17;
  }
  return data_close(w) == 0 ? 0 : 18;
}

struct Tally {
  long lookups = 0, walks = 0, queries = 0, opens = 0, missed = 0, doubled = 0, failed = 0;
  char first[200] = {};
  void note(long* count, const std::string& what) {
    ++*count;
    if (!first[0]) std::snprintf(first, sizeof first, "%s", what.c_str());
  }
};

// The program ids a whole walk of `tag` meets, in either direction; false
// on an error (the tally has it).
bool walk(DB_ENGINE* c, DbDataFile* d, const char* tag, bool backward, Tally* t) {
  data_tag_select(d, data_tag_find(d, tag));
  std::multiset<long> met;
  int rc = backward ? data_bottom(d) : data_top(d);
  while (rc == 0) {
    long id = field_long(data_field_at(d, 1));
    if (is_program(id)) met.insert(id);
    rc = data_skip(d, backward ? -1 : 1);
  }
  t->walks++;
  std::string how = std::string("walk of ") + tag + (backward ? " back" : " forward");
  if (rc != (backward ? DB_BOF : DB_EOF) || code_error_get(c) < 0) {
    t->note(&t->failed, how + ": gave " + std::to_string(rc) + " error " + std::to_string(code_error_get(c)));
    code_error_set(c, 0);
    return false;
  }
  std::set<long> once(met.begin(), met.end());
  if (once.size() != met.size()) t->note(&t->doubled, how + ": a row twice");
  if (long(once.size()) != kPrograms) t->note(&t->missed, how + ": " + std::to_string(once.size()) + " rows");
  return true;
}

void lookup(DB_ENGINE* c, DbDataFile* d, long i, Tally* t) {
  long id = 1 + (i * 37) % kPrograms;
  bool by_name = i % 2 == 1;
  data_tag_select(d, data_tag_find(d, by_name ? "DESC" : "NCID"));
  int rc = by_name ? data_seek(d, desc_of(id).c_str()) : data_seek_double(d, double(id));
  t->lookups++;
  std::string how = std::string(by_name ? "seek by name " : "seek by id ") + std::to_string(id);
  long got = field_long(data_field_at(d, 1));
  if (rc < 0 || code_error_get(c) < 0) {
    t->note(&t->failed, how + ": error " + std::to_string(code_error_get(c)));
    code_error_set(c, 0);
  } else if (rc != 0) {
    t->note(&t->missed, how + ": gave " + std::to_string(rc));
  } else if (by_name ? desc_of(got) != desc_of(id) : got != id) {
    t->note(&t->missed, how + ": read " + std::to_string(got));
  }
}

void query(DB_ENGINE* c, DbDataFile* d, long mid, Tally* t) {
  data_tag_select(d, nullptr);
  DbRelation* r = relate_init(d);
  if (!r) {
    t->note(&t->failed, "relation");
    return;
  }
  std::string filter = "MID = " + std::to_string(mid);
  std::multiset<long> met;
  int rc = relate_query_set(r, filter.c_str());
  if (rc == 0) rc = relate_sort_set(r, "DESC");
  if (rc == 0) rc = relate_top(r);
  while (rc == 0) {
    met.insert(field_long(data_field_at(d, 1)));
    rc = relate_skip(r, 1);
  }
  relate_free(r, 0);
  t->queries++;
  std::string how = "query of machine " + std::to_string(mid);
  if (rc != DB_EOF || code_error_get(c) < 0) {
    t->note(&t->failed, how + ": gave " + std::to_string(rc) + " error " + std::to_string(code_error_get(c)));
    code_error_set(c, 0);
    return;
  }
  std::set<long> once(met.begin(), met.end());
  if (once.size() != met.size()) t->note(&t->doubled, how + ": a row twice");
  if (long(once.size()) != kPrograms / kMachines) t->note(&t->missed, how + ": " + std::to_string(once.size()) + " rows");
}

// A reader process: reads until `stop` becomes readable (the test closed
// it), then writes its tally to `out`.
int reader(const std::string& table, int nth, int stop, int out) {
  kvtest::QuietEngine c;
  c.lock_attempts = 2;  // as the program runs its stations
  DbDataFile* d = nullptr;
  Tally t;
  for (long i = nth; !readable(stop); i++) {
    if (!d || i % 41 == 0) {
      if (d) data_close(d);
      d = data_open(&c, table.c_str());
      t.opens++;
      if (!d) {
        t.note(&t.failed, "open: error " + std::to_string(code_error_get(&c)));
        code_error_set(&c, 0);
        continue;
      }
    }
    switch (i % 6) {
      case 0:
        walk(&c, d, "NCID", true, &t);
        break;
      case 1:
        walk(&c, d, "DESC", i % 12 == 1, &t);
        break;
      case 2:
        query(&c, d, i / 6 % kMachines + 1, &t);
        break;
      default:
        lookup(&c, d, i, &t);
    }
  }
  if (d) data_close(d);
  return ::write(out, &t, sizeof t) == ssize_t(sizeof t) ? 0 : 20;
}

TEST(ReadersThroughRebuilds, NoMissNoRowTwiceNoErrorAcrossHundredsOfRebuilds) {
  kvtest::ScratchDir dir;
  const std::string name = dir.file("KELVFILE.DBF");
  make_table(name);
  if (HasFatalFailure()) return;
  int stop[2], out[2];
  ASSERT_EQ(::pipe(stop), 0);
  ASSERT_EQ(::pipe(out), 0);
  std::vector<pid_t> readers;
  for (int r = 0; r < kReaders; r++) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(stop[1]);
      ::close(out[0]);
      _exit(reader(name, r, stop[0], out[1]));
    }
    readers.push_back(pid);
  }
  ::close(stop[0]);
  ::close(out[1]);
  pid_t mover = fork();
  ASSERT_GE(mover, 0);
  if (mover == 0) {
    ::close(stop[1]);
    ::close(out[0]);
    _exit(rebuilder(name));
  }
  int status = -1;
  ASSERT_EQ(waitpid(mover, &status, 0), mover);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ::close(stop[1]);  // the readers stop
  Tally all;
  for (pid_t pid : readers) {
    Tally t;
    ASSERT_EQ(::read(out[0], &t, sizeof t), ssize_t(sizeof t));
    all.lookups += t.lookups;
    all.walks += t.walks;
    all.queries += t.queries;
    all.opens += t.opens;
    all.missed += t.missed;
    all.doubled += t.doubled;
    all.failed += t.failed;
    if (!all.first[0]) std::snprintf(all.first, sizeof all.first, "%s", t.first);
    int rs = -1;
    ASSERT_EQ(waitpid(pid, &rs, 0), pid);
    EXPECT_TRUE(WIFEXITED(rs) && WEXITSTATUS(rs) == 0) << rs;
  }
  ::close(out[0]);
  EXPECT_EQ(all.failed, 0) << all.first;
  EXPECT_EQ(all.missed, 0) << all.first;
  EXPECT_EQ(all.doubled, 0) << all.first;
  EXPECT_GT(all.walks, 0);
  RecordProperty("lookups", std::to_string(all.lookups));
  RecordProperty("walks", std::to_string(all.walks));
  RecordProperty("queries", std::to_string(all.queries));
  RecordProperty("opens", std::to_string(all.opens));
  std::printf("%ld lookups, %ld walks, %ld queries, %ld opens\n", all.lookups, all.walks, all.queries, all.opens);
}

}  // namespace
