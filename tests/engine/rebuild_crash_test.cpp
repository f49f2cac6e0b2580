// A process killed at any instant of a pack, a range removal, a reindex or
// a memo compress: at each named step of the replacement, and at timed
// moments across the whole rebuild. Another process then finds the table,
// its index and its memo file in one agreeing state (the old or the new),
// an independent reader reads it, and a later pack and reindex succeed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_api.h"
#include "engine/os_shim.h"
#include "engine_fixture.h"

namespace {

using kvtest::QuietEngine;
using kvtest::ScratchDir;
namespace fs = std::filesystem;

const std::string kPeers = std::string(KV_SOURCE_DIR) + "/tests/engine/peers/";

const DbFieldInfo kFields[] = {
    {"ID", 'N', 8, 0}, {"NAME", 'C', 30, 0}, {"QTY", 'N', 9, 2}, {"NOTE", 'M', 10, 0}, {nullptr, 0, 0, 0}};
const DbTagInfo kTags[] = {{"ID", "ID", nullptr, 20, 0},
                           {"NAME", "NAME", nullptr, 0, 0},
                           {"QTY", "QTY", nullptr, 0, 1},
                           {nullptr, nullptr, nullptr, 0, 0}};

// Large enough that a rebuild's copies take tens of milliseconds.
constexpr long kRows = 10000;
constexpr long kRangeFirst = 1001, kRangeLast = 4000;

enum class Op { pack, remove_range, reindex, memo_compress };

const char* op_name(Op op) {
  switch (op) {
    case Op::pack: return "pack";
    case Op::remove_range: return "range removal";
    case Op::reindex: return "reindex";
    case Op::memo_compress: return "memo compress";
  }
  return "?";
}

struct Row {
  long id;
  std::string name;
  double qty;
  std::string note;
  bool deleted;
};

Row row_of(long id) {
  char name[32];
  std::snprintf(name, sizeof name, "N%05ld-%ld", (id * 7919) % 99991, id);
  std::string note;
  if (id % 16 == 0) note = "note " + std::to_string(id) + std::string(size_t(id % 300), char('a' + id % 26));
  return Row{id, name, double(id % 997) + 0.25, note, id % 3 == 0};
}

// The rows of the table before the rebuild, and after it.
std::vector<Row> rows_before() {
  std::vector<Row> v;
  for (long id = 1; id <= kRows; id++) v.push_back(row_of(id));
  return v;
}

std::vector<Row> rows_after(Op op) {
  std::vector<Row> v;
  for (const Row& r : rows_before()) {
    if (op == Op::pack && r.deleted) continue;
    if (op == Op::remove_range && r.id >= kRangeFirst && r.id <= kRangeLast) continue;
    v.push_back(r);
  }
  return v;
}

int run_op(DbDataFile* d, Op op) {
  switch (op) {
    case Op::pack: return data_pack(d);
    case Op::remove_range: return data_remove_range(d, kRangeFirst, kRangeLast);
    case Op::reindex: return data_reindex(d);
    case Op::memo_compress: return memo_compress(d);
  }
  return -1;
}

// The step the child stops itself at: its name, the end of the path it
// concerns, and which time it comes.
struct Stop {
  const char* step;
  const char* ext;
  int nth;
};
Stop g_stop{};
int g_seen = 0;

bool ends_with(const char* s, const char* tail) {
  size_t n = std::strlen(s), m = std::strlen(tail);
  return n >= m && strcasecmp(s + n - m, tail) == 0;
}

void stop_at_step(const char* step, const char* path) {
  if (std::strcmp(step, g_stop.step) == 0 && ends_with(path, g_stop.ext) && ++g_seen == g_stop.nth)
    kill(getpid(), SIGKILL);
}

struct RebuildCrash : ::testing::Test {
  static ScratchDir* model;  // the table as made, copied for every trial
  ScratchDir dir;
  QuietEngine c;
  std::string table = dir.file("CRASH.DBF");

  static void SetUpTestSuite() {
    model = new ScratchDir("kv-crash-model");
    QuietEngine c;
    std::string name = model->file("CRASH.DBF");
    DbDataFile* d = data_create(&c, name.c_str(), kFields, kTags);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(data_lock_file(d), 0);
    for (const Row& r : rows_before()) {
      ASSERT_EQ(data_append_start(d, 0), 0);
      data_blank(d);
      field_assign_long(data_field_at(d, 1), r.id);
      field_assign(data_field_at(d, 2), r.name.c_str());
      field_assign_double(data_field_at(d, 3), r.qty);
      if (!r.note.empty()) memo_field_assign(data_field_at(d, 4), r.note.data(), unsigned(r.note.size()));
      if (r.deleted) data_delete(d);
      ASSERT_EQ(data_append(d), 0);
    }
    ASSERT_EQ(data_close(d), 0);
  }
  static void TearDownTestSuite() {
    delete model;
    model = nullptr;
  }

  // A fresh copy of the table as made, nothing else beside it.
  void fresh_table() {
    for (const auto& e : fs::directory_iterator(dir.path())) fs::remove(e.path());
    for (const char* f : {"CRASH.DBF", "CRASH.MDX", "CRASH.DBT"})
      fs::copy_file(model->file(f), dir.file(f), fs::copy_options::overwrite_existing);
  }

  // Runs the rebuild in a child stopped at `stop` (when given) or killed
  // after `delay` (none when negative); its exit status.
  int rebuild_in_child(Op op, const Stop* stop, std::chrono::microseconds delay) {
    pid_t kid = fork();
    if (kid == 0) {
      if (stop) {
        g_stop = *stop;
        g_seen = 0;
        dbos_watch_steps(stop_at_step);
      }
      QuietEngine own;
      DbDataFile* d = data_open(&own, table.c_str());
      if (!d) _exit(10);
      _exit(run_op(d, op) == 0 && data_close(d) == 0 ? 0 : 11);
    }
    if (!stop && delay.count() >= 0) {
      std::this_thread::sleep_for(delay);
      kill(kid, SIGKILL);
    }
    int status = 0;
    waitpid(kid, &status, 0);
    return status;
  }

  // The table as `d` reads it row by row must be one of the two states,
  // and each tag walks the rows in key order. Returns the state found.
  const std::vector<Row>* expect_one_state(DbDataFile* d, const std::vector<Row>& before,
                                           const std::vector<Row>& after, const std::string& what) {
    long n = data_reccount(d);
    const std::vector<Row>* want = n == long(after.size()) ? &after : n == long(before.size()) ? &before : nullptr;
    if (!want) {
      ADD_FAILURE() << what << ": " << n << " rows, error " << code_error_get(&c);
      return nullptr;
    }
    DbLock hold(&c);  // the memo texts live in the context until the next call
    data_tag_select(d, nullptr);
    long i = 0;
    for (int rc = data_top(d); rc == 0 && !data_eof(d) && i < n; rc = data_skip(d, 1)) {
      const Row& r = (*want)[size_t(i++)];
      std::string note(memo_field_ptr(data_field_at(d, 4)), memo_field_len(data_field_at(d, 4)));
      if (field_long(data_field_at(d, 1)) != r.id || bool(data_is_deleted(d)) != r.deleted ||
          std::string(field_str(data_field_at(d, 2))).rfind(r.name, 0) != 0 ||
          field_double(data_field_at(d, 3)) != r.qty || note != r.note) {
        ADD_FAILURE() << what << ": row " << i << " is not id " << r.id;
        return want;
      }
    }
    EXPECT_EQ(i, n) << what << ": rows read, error " << code_error_get(&c);
    expect_tags_in_order(d, *want, what);
    return want;
  }

  // Each tag holds every row once, in its key's order.
  void expect_tags_in_order(DbDataFile* d, const std::vector<Row>& want, const std::string& what) {
    auto in_order = [](const char* t, const Row& a, const Row& b) {
      if (!std::strcmp(t, "ID")) return a.id < b.id;
      if (!std::strcmp(t, "NAME")) return a.name <= b.name;
      return a.qty >= b.qty;
    };
    for (const char* name : {"ID", "NAME", "QTY"}) {
      DbTag* t = data_tag_find(d, name);
      ASSERT_NE(t, nullptr) << what;
      std::vector<bool> met(want.size() + 1, false);
      long walked = 0, last = 0;
      if (tag_top(t) == 0 && !tag_eof(t)) {
        do {
          long rec = tag_recno(t);
          if (rec < 1 || rec > long(want.size()) || met[size_t(rec)] ||
              (last && !in_order(name, want[size_t(last - 1)], want[size_t(rec - 1)]))) {
            ADD_FAILURE() << what << ": tag " << name << " meets record " << rec << " out of order";
            return;
          }
          met[size_t(rec)] = true;
          last = rec;
          walked++;
        } while (tag_skip(t, 1) == 1);
      }
      EXPECT_EQ(walked, long(want.size())) << what << ": tag " << name;
    }
  }

  // python3-dbfread reads every row, live and deleted, of the state found.
  void expect_peer_reads(const std::vector<Row>& want, const std::string& what) {
    long live = 0, dead = 0, sum = 0;
    for (const Row& r : want) {
      (r.deleted ? dead : live)++;
      sum += r.id;
    }
    int status = 0;
    std::string out = kvtest::run_command("/usr/bin/python3 " + kPeers + "dbfread_ids.py " + table, &status);
    EXPECT_EQ(status, 0) << what << ": dbfread refused the table";
    EXPECT_EQ(out, std::to_string(live) + " " + std::to_string(dead) + " " + std::to_string(sum) + "\n")
        << what << ": dbfread's rows";
  }

  // After a kill: another process's open, every row, every tag, the peer,
  // and a later pack and reindex.
  enum class Expect { old_state, new_state, either };
  void check_after_kill(Op op, const std::string& what, Expect expect, bool exclusive = false) {
    std::vector<Row> before = rows_before(), after = rows_after(op);
    DbSettingFor alone(c.exclusive, exclusive ? 1 : 0);
    DbDataFile* d = data_open(&c, table.c_str());
    ASSERT_NE(d, nullptr) << what << ": open error " << code_error_get(&c);
    const std::vector<Row>* want = expect_one_state(d, before, after, what);
    ASSERT_EQ(data_close(d), 0) << what;
    ASSERT_NE(want, nullptr) << what;
    if (expect != Expect::either && before.size() != after.size()) {
      EXPECT_EQ(want, expect == Expect::old_state ? &before : &after) << what << ": not the state of that step";
    }
    EXPECT_FALSE(fs::exists(dir.file("CRASH.RB~"))) << what << ": the journal stayed";
    expect_peer_reads(*want, what);
    long live = 0;
    for (const Row& r : *want) live += !r.deleted;
    d = data_open(&c, table.c_str());
    ASSERT_NE(d, nullptr) << what;
    EXPECT_EQ(data_pack(d), 0) << what << ": a later pack, error " << code_error_get(&c);
    EXPECT_EQ(data_reindex(d), 0) << what << ": a later reindex, error " << code_error_get(&c);
    EXPECT_EQ(data_reccount(d), live) << what;
    ASSERT_EQ(data_close(d), 0);
    // (A memo file's leftover backup goes with the next memo compress.)
    for (const char* left : {"CRASH.DBF~", "CRASH.MDX~", "CRASH.DB~"})
      EXPECT_FALSE(fs::exists(dir.file(left))) << what << ": " << left << " left after the rebuilds";
  }
};

ScratchDir* RebuildCrash::model = nullptr;

struct StepCase {
  Op op;
  Stop stop;
  bool new_state;  // the commit was made: the new contents stand
};

const StepCase kSteps[] = {
    {Op::pack, {DBOS_STEP_BACKUP_SYNCED, ".MDX", 1}, false},
    {Op::pack, {DBOS_STEP_JOURNAL_WRITTEN, ".MDX", 1}, false},
    {Op::pack, {DBOS_STEP_TARGET_PART, ".MDX", 1}, false},
    {Op::pack, {DBOS_STEP_TARGET_SYNCED, ".MDX", 1}, false},
    {Op::pack, {DBOS_STEP_BACKUP_SYNCED, ".DBF", 1}, false},
    {Op::pack, {DBOS_STEP_JOURNAL_WRITTEN, ".DBF", 1}, false},
    {Op::pack, {DBOS_STEP_TARGET_PART, ".DBF", 1}, false},
    {Op::pack, {DBOS_STEP_TARGET_SYNCED, ".DBF", 1}, false},
    {Op::pack, {DBOS_STEP_JOURNAL_REMOVED, ".RB~", 1}, true},
    {Op::pack, {DBOS_STEP_BACKUPS_REMOVED, ".RB~", 1}, true},
    {Op::remove_range, {DBOS_STEP_TARGET_SYNCED, ".MDX", 1}, false},
    {Op::remove_range, {DBOS_STEP_JOURNAL_WRITTEN, ".DBF", 1}, false},
    {Op::remove_range, {DBOS_STEP_TARGET_PART, ".DBF", 1}, false},
    {Op::remove_range, {DBOS_STEP_TARGET_SYNCED, ".DBF", 1}, false},
    {Op::remove_range, {DBOS_STEP_JOURNAL_REMOVED, ".RB~", 1}, true},
    {Op::reindex, {DBOS_STEP_BACKUP_SYNCED, ".MDX", 1}, false},
    {Op::reindex, {DBOS_STEP_JOURNAL_WRITTEN, ".MDX", 1}, false},
    {Op::reindex, {DBOS_STEP_TARGET_PART, ".MDX", 1}, false},
    {Op::reindex, {DBOS_STEP_TARGET_SYNCED, ".MDX", 1}, false},
    {Op::reindex, {DBOS_STEP_JOURNAL_REMOVED, ".RB~", 1}, true},
    {Op::reindex, {DBOS_STEP_BACKUPS_REMOVED, ".RB~", 1}, true},
    {Op::memo_compress, {DBOS_STEP_BACKUP_SYNCED, ".DBF", 1}, false},
    {Op::memo_compress, {DBOS_STEP_JOURNAL_WRITTEN, ".DBF", 1}, false},
    {Op::memo_compress, {DBOS_STEP_BACKUP_SYNCED, ".DBT", 1}, false},
    {Op::memo_compress, {DBOS_STEP_JOURNAL_WRITTEN, ".DBT", 1}, false},
    {Op::memo_compress, {DBOS_STEP_TARGET_PART, ".DBT", 1}, false},
    {Op::memo_compress, {DBOS_STEP_TARGET_SYNCED, ".DBT", 1}, false},
    {Op::memo_compress, {DBOS_STEP_JOURNAL_REMOVED, ".RB~", 1}, true},
};

std::string step_text(const StepCase& s) {
  return std::string(op_name(s.op)) + " stopped at " + s.stop.step + " of " + s.stop.ext;
}

TEST_F(RebuildCrash, KilledAtEveryStepLeavesOneAgreeingState) {
  int i = 0;
  for (const StepCase& s : kSteps) {
    fresh_table();
    int status = rebuild_in_child(s.op, &s.stop, {});
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << step_text(s) << ": never came";
    // Every other trial opens the table alone: that open puts it right too.
    check_after_kill(s.op, step_text(s), s.new_state ? Expect::new_state : Expect::old_state, i++ % 2 == 1);
    if (HasFailure()) return;
  }
}

// A station that had the table open when the rebuilder died reads it again:
// its first read finds the journal and puts the files back first.
TEST_F(RebuildCrash, AStationThatHadItOpenReadsTheOldTable) {
  for (Op op : {Op::pack, Op::memo_compress}) {
    fresh_table();
    DbDataFile* d = data_open(&c, table.c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(data_reccount(d), kRows);
    Stop stop{DBOS_STEP_TARGET_PART, op == Op::pack ? ".DBF" : ".DBT", 1};
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // its reading lease has ended
    int status = rebuild_in_child(op, &stop, {});
    ASSERT_TRUE(WIFSIGNALED(status)) << op_name(op);
    std::vector<Row> before = rows_before();
    EXPECT_EQ(expect_one_state(d, before, before, std::string("open during ") + op_name(op)), &before);
    ASSERT_EQ(data_close(d), 0);
    EXPECT_FALSE(fs::exists(dir.file("CRASH.RB~")));
  }
}

// A recovery killed half way (one file put back, the journal still there)
// is finished by the next open.
TEST_F(RebuildCrash, ARecoveryKilledHalfWayIsFinishedByTheNext) {
  fresh_table();
  Stop stop{DBOS_STEP_TARGET_PART, ".DBF", 1};
  ASSERT_TRUE(WIFSIGNALED(rebuild_in_child(Op::pack, &stop, {})));
  pid_t kid = fork();
  if (kid == 0) {
    g_stop = Stop{DBOS_STEP_RESTORED, ".MDX", 1};
    dbos_watch_steps(stop_at_step);
    QuietEngine own;
    data_open(&own, table.c_str());
    _exit(3);
  }
  int status = 0;
  waitpid(kid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the recovery never restored the index";
  ASSERT_TRUE(fs::exists(dir.file("CRASH.RB~")));
  check_after_kill(Op::pack, "recovery killed", Expect::old_state);
}

// Kills at moments spread over the whole rebuild, from the child's open to
// its end, for each kind of rebuild.
TEST_F(RebuildCrash, KilledAtTimedMomentsLeavesOneAgreeingState) {
  constexpr int kKillsPerOp = 6;
  for (Op op : {Op::pack, Op::remove_range, Op::reindex, Op::memo_compress}) {
    // How long the whole rebuild takes here, to spread the kills over it.
    fresh_table();
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(rebuild_in_child(op, nullptr, std::chrono::microseconds(-1)), 0) << op_name(op);
    auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    for (int k = 0; k < kKillsPerOp; k++) {
      fresh_table();
      auto delay = took * (2 * k + 1) / (2 * kKillsPerOp);
      rebuild_in_child(op, nullptr, delay);
      std::string what = std::string(op_name(op)) + " killed after " + std::to_string(delay.count()) + " us";
      check_after_kill(op, what, Expect::either, k % 3 == 2);
      if (HasFailure()) return;
    }
  }
}

// Leftover backups and work files, empty or not, block no rebuild.
TEST_F(RebuildCrash, LeftoversBlockNoRebuild) {
  fresh_table();
  for (const char* left : {"CRASH.MDX~", "CRASH.DBF~", "CRASH.DBT~", "CRASH.DB~", "CRASH.MD~"})
    kvtest::write_bytes(dir.file(left), {});
  kvtest::write_bytes(dir.file("CRASH.MDX~"), std::vector<unsigned char>(1000, 'x'));
  DbDataFile* d = data_open(&c, table.c_str());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(data_reindex(d), 0) << code_error_get(&c);
  EXPECT_EQ(data_pack(d), 0) << code_error_get(&c);
  EXPECT_EQ(memo_compress(d), 0) << code_error_get(&c);
  EXPECT_EQ(data_reindex(d), 0) << code_error_get(&c);
  EXPECT_EQ(data_reccount(d), long(rows_after(Op::pack).size()));
  ASSERT_EQ(data_close(d), 0);
  for (const char* left : {"CRASH.MDX~", "CRASH.DBF~", "CRASH.DBT~", "CRASH.DB~"})
    EXPECT_FALSE(fs::exists(dir.file(left))) << left;
}

// A station that may not write cannot put the files back: its open fails
// and changes nothing; the next station that may write puts them back.
TEST_F(RebuildCrash, AReadOnlyStationRefusesADeadRebuildsTable) {
  fresh_table();
  Stop stop{DBOS_STEP_TARGET_PART, ".DBF", 1};
  ASSERT_TRUE(WIFSIGNALED(rebuild_in_child(Op::pack, &stop, {})));
  auto dbf = kvtest::read_bytes(table);
  {
    DbSettingFor read_only(c.read_only, 1);
    EXPECT_EQ(data_open(&c, table.c_str()), nullptr);
    EXPECT_EQ(code_error_get(&c), e_open);
    code_error_set(&c, 0);
  }
  EXPECT_EQ(kvtest::read_bytes(table), dbf);
  check_after_kill(Op::pack, "after a read-only open", Expect::old_state);
}

// A journal whose backup is gone cannot be vouched for: the open fails
// with the files named, and nothing is changed.
TEST_F(RebuildCrash, AJournalWithoutItsBackupIsRefusedAndChangesNothing) {
  fresh_table();
  Stop stop{DBOS_STEP_TARGET_PART, ".DBF", 1};
  ASSERT_TRUE(WIFSIGNALED(rebuild_in_child(Op::pack, &stop, {})));
  fs::remove(dir.file("CRASH.DBF~"));
  auto dbf = kvtest::read_bytes(table), mdx = kvtest::read_bytes(dir.file("CRASH.MDX"));
  EXPECT_EQ(data_open(&c, table.c_str()), nullptr);
  EXPECT_EQ(code_error_get(&c), e_open);
  code_error_set(&c, 0);
  EXPECT_EQ(kvtest::read_bytes(table), dbf);
  EXPECT_EQ(kvtest::read_bytes(dir.file("CRASH.MDX")), mdx);
  EXPECT_TRUE(fs::exists(dir.file("CRASH.RB~")));
  EXPECT_TRUE(fs::exists(dir.file("CRASH.MDX~")));
}

}  // namespace
