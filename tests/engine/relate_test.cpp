// Relations: the walk over the master, slaves matched by record number and
// the three kinds of match, error actions, backward movement and sorting.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/dbstr.h"
#include "engine/engine_api.h"
#include "engine/fieldinfo.h"
#include "engine/index.h"
#include "engine/index_data.h"
#include "engine/lock.h"
#include "tests/engine/relate_fixture.h"

namespace {

using kvtest::RelateTest;

std::vector<long> all(long n) {
  std::vector<long> v;
  for (long i = 1; i <= n; i++) v.push_back(i);
  return v;
}

TEST_F(RelateTest, EmptyMasterAndNoMatchingRecord) {
  make_tables(0);
  DbRelation* r = relation(nullptr);
  EXPECT_EQ(relate_top(r), DB_EOF);
  EXPECT_EQ(relate_bottom(r), DB_EOF);
  relate_free(r, 0);
}

TEST_F(RelateTest, QueryNoRecordMeetsReadsNoSlave) {
  make_tables(20);
  DbRelation* r = relation("CUST > 100");
  DbRelateNode* s = relate_create_slave(&r->top, slave, "MACH", nullptr);
  relate_error_action_set(s, DB_RELATE_TERMINATE);  // a read slave would end the walk
  EXPECT_EQ(relate_top(r), DB_EOF);
  EXPECT_EQ(relate_free(r, 0), 0);
}

TEST_F(RelateTest, WalksEveryRecordWithoutQuery) {
  make_tables(50);
  DbRelation* r = relation(nullptr);
  EXPECT_EQ(walk(r), all(50));
  relate_free(r, 0);
}

TEST_F(RelateTest, SlaveByRecordNumberAndErrorActions) {
  make_tables(60);
  std::vector<long> with_slave;
  for (size_t i = 0; i < rows.size(); i++)
    if (rows[i].slave >= 1 && rows[i].slave <= 5) with_slave.push_back(static_cast<long>(i + 1));
  ASSERT_LT(with_slave.size(), rows.size());

  struct Case {
    int action;
    int mode;
    bool all_rows;
  } cases[] = {
      {DB_RELATE_BLANK, DB_RELATE_EXACT, true},
      {DB_RELATE_SKIP, DB_RELATE_EXACT, false},
      {DB_RELATE_SKIP, DB_RELATE_APPROX, true},  // approximate: a blank slave, no error
  };
  for (const auto& c : cases) {
    DbRelation* r = relation(nullptr);
    DbRelateNode* s = relate_create_slave(&r->top, slave, "MACH", nullptr);
    ASSERT_NE(s, nullptr);
    relate_error_action_set(s, c.action);
    relate_match_set(s, c.mode);
    int rc = relate_top(r);
    std::vector<long> got;
    while (rc == 0) {
      got.push_back(data_recno(d));
      long want = rows[static_cast<size_t>(data_recno(d) - 1)].slave;
      if (want >= 1 && want <= 5) {
        EXPECT_EQ(data_recno(slave), want);
      } else {
        EXPECT_TRUE(data_eof(slave));
        EXPECT_EQ(std::string(field_str(data_field_at(slave, 1))), std::string(10, ' '));
      }
      rc = relate_skip(r, 1);
    }
    EXPECT_EQ(rc, DB_EOF);
    EXPECT_EQ(got, c.all_rows ? all(60) : with_slave) << c.action << " " << c.mode;
    relate_free(r, 0);
  }
}

TEST_F(RelateTest, TerminateReportsOrEnds) {
  make_tables(60);
  size_t first_missing = 0;
  while (rows[first_missing].slave >= 1 && rows[first_missing].slave <= 5) first_missing++;
  for (int report : {1, 0}) {
    ctx.index_option_a = report;
    DbRelation* r = relation(nullptr);
    DbRelateNode* s = relate_create_slave(&r->top, slave, "MACH", nullptr);
    relate_error_action_set(s, DB_RELATE_TERMINATE);
    int rc = relate_top(r);
    size_t delivered = 0;
    while (rc == 0) {
      delivered++;
      rc = relate_skip(r, 1);
    }
    EXPECT_EQ(delivered, first_missing);
    if (report) {
      EXPECT_EQ(rc, e_lookup_err);
      EXPECT_EQ(code_error_set(&ctx, 0), e_lookup_err);
    } else {
      EXPECT_EQ(rc, DB_RELATE_END);
    }
    relate_free(r, 0);
  }
}

TEST_F(RelateTest, QueryOnSlaveFieldsReadsTheSlave) {
  make_tables(80);
  DbRelation* r = relation("MACHS->MNAME = 'EDM' .AND. CUST < 6");
  ASSERT_NE(relate_create_slave(&r->top, slave, "MACH", nullptr), nullptr);
  std::vector<long> want;
  for (size_t i = 0; i < rows.size(); i++)
    if (rows[i].slave == 3 && rows[i].cust < 6) want.push_back(static_cast<long>(i + 1));
  ASSERT_FALSE(want.empty());
  EXPECT_EQ(walk(r), want);
  relate_free(r, 0);
}

TEST_F(RelateTest, BackwardNeedsEnabling) {
  make_tables(40);
  DbRelation* r = relation("DONE");
  ASSERT_EQ(relate_top(r), 0);
  EXPECT_EQ(relate_skip(r, -1), -1);
  EXPECT_EQ(code_error_get(&ctx), 0);
  relate_free(r, 0);

  for (const char* sort : {static_cast<const char*>(nullptr), "NAME"}) {
    r = relation("DONE", sort);
    relate_skip_enable(r, 1);
    std::vector<long> forward = walk(r);
    ASSERT_FALSE(forward.empty());
    EXPECT_EQ(walk_back(r), forward) << (sort ? sort : "");
    // Back and forth inside the set.
    ASSERT_EQ(relate_top(r), 0);
    ASSERT_EQ(relate_skip(r, 3), 0);
    EXPECT_EQ(data_recno(d), forward[3]);
    ASSERT_EQ(relate_skip(r, -2), 0);
    EXPECT_EQ(data_recno(d), forward[1]);
    EXPECT_EQ(relate_skip(r, -5), DB_BOF);
    relate_free(r, 0);
  }
}

TEST_F(RelateTest, ChangingTheQueryResets) {
  make_tables(30);
  DbRelation* r = relation("CUST = 3");
  EXPECT_EQ(walk(r), expected("CUST = 3"));
  relate_query_set(r, "CUST = 4");
  EXPECT_EQ(walk(r), expected("CUST = 4"));
  relate_query_set(r, "CUST = (");  // a broken text fails at the top
  EXPECT_EQ(relate_top(r), -1);
  EXPECT_LT(code_error_set(&ctx, 0), 0);
  relate_query_set(r, "NAME");  // not a logical
  EXPECT_EQ(relate_top(r), -1);
  EXPECT_EQ(code_error_set(&ctx, 0), e_result);
  // A broken sort text fails after the query was prepared; tried again, the
  // relation starts afresh.
  relate_query_set(r, "CUST = 4");
  relate_sort_set(r, "NAME +");
  EXPECT_EQ(relate_top(r), -1);
  EXPECT_EQ(relate_top(r), -1);  // still pending: nothing is done
  EXPECT_LT(code_error_set(&ctx, 0), 0);
  EXPECT_EQ(relate_top(r), -1);
  code_error_set(&ctx, 0);
  relate_sort_set(r, "CUST");
  EXPECT_EQ(walk(r), expected("CUST = 4"));
  relate_free(r, 0);
}

TEST_F(RelateTest, SortKeepsReadingOrderForTies) {
  make_tables(120);
  DbRelation* r = relation(nullptr, "NAME");
  std::vector<long> got = walk(r);
  std::vector<long> want = all(120);
  std::stable_sort(want.begin(), want.end(), [&](long a, long b) {
    return rows[static_cast<size_t>(a - 1)].name < rows[static_cast<size_t>(b - 1)].name;
  });
  EXPECT_EQ(got, want);
  relate_free(r, 0);
}

TEST_F(RelateTest, DeletedRecordsAreDelivered) {
  make_tables(10);
  ASSERT_EQ(data_go(d, 4), 0);
  data_delete(d);
  ASSERT_EQ(data_flush(d), 0);
  DbRelation* r = relation(nullptr);
  EXPECT_EQ(walk(r), all(10));
  relate_free(r, 0);
}

TEST_F(RelateTest, RecordChangedAfterTheSortIsNotDelivered) {
  make_tables(40);
  DbRelation* r = relation("CUST < 4", "NAME");
  relate_skip_enable(r, 1);
  std::vector<long> before = walk(r);
  ASSERT_GE(before.size(), 2u);
  // Another station changes the first one so that it no longer qualifies.
  DbDataFile* other = data_open(&ctx, dir.file("PROGS.DBF").c_str());
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(data_go(other, before[0]), 0);
  field_assign_long(data_field_at(other, 1), 9);
  ASSERT_EQ(data_flush(other), 0);
  data_close(other);
  // The prepared sorted set is kept for backward movement; its entries are
  // tested again as they are read.
  std::vector<long> after;
  int rc = relate_bottom(r);
  while (rc == 0) {
    after.insert(after.begin(), data_recno(d));
    rc = relate_skip(r, -1);
  }
  EXPECT_EQ(after, std::vector<long>(before.begin() + 1, before.end()));
  relate_free(r, 0);
}

TEST_F(RelateTest, DepthFirstWalkOverNodes) {
  make_tables(3);
  DbRelation* r = relation(nullptr);
  DbRelateNode* a = relate_create_slave(&r->top, slave, "MACH", nullptr);
  DbRelateNode* b = relate_create_slave(&r->top, slave, "MACH", nullptr);
  DbRelateNode* a1 = relate_create_slave(a, slave, "RECNO()", nullptr);
  DbRelateNode* n = &r->top;
  EXPECT_EQ(relate_next(&n), 1);
  EXPECT_EQ(n, a);
  EXPECT_EQ(relate_next(&n), 1);
  EXPECT_EQ(n, a1);
  EXPECT_EQ(relate_next(&n), -1);
  EXPECT_EQ(n, b);
  EXPECT_EQ(relate_next(&n), 2);
  // Freed with its files: the master and every slave are closed.
  EXPECT_EQ(relate_free(r, 1), 0);
  EXPECT_EQ(data_find_by_alias(&ctx, "PROGS"), nullptr);
  EXPECT_EQ(data_find_by_alias(&ctx, "MACHS"), nullptr);
  d = slave = nullptr;
}

}  // namespace

// Slaves found through a tag of theirs: one job file keyed by program name.
class RelateTagTest : public RelateTest {
 protected:
  DbDataFile* jobs = nullptr;
  DbTag* by_prog = nullptr;
  std::vector<std::pair<std::string, int>> job_rows;  // program name, quantity

  void SetUp() override {
    make_tables(30);
    static const DbFieldInfo fields[] = {{"PROG", 'C', 12, 0}, {"QTY", 'N', 4, 0},
                                         {nullptr, 0, 0, 0}};
    jobs = data_create(&ctx, dir.file("JOBS.DBF").c_str(), fields, nullptr);
    ASSERT_NE(jobs, nullptr);
    // Every third program has no job, the others one or three.
    for (size_t i = 0; i < rows.size(); i++) {
      if (i % 3 == 0) continue;
      for (int k = 0; k < (i % 3 == 1 ? 1 : 3); k++) job_rows.push_back({rows[i].name, int(i * 10 + k)});
    }
    std::reverse(job_rows.begin(), job_rows.end());  // record order differs from key order
    for (const auto& j : job_rows) {
      ASSERT_EQ(data_append_start(jobs, 0), 0);
      field_assign(data_field_at(jobs, 1), j.first.c_str());
      field_assign_long(data_field_at(jobs, 2), j.second);
      ASSERT_EQ(data_append(jobs), 0);
    }
    static const DbTagInfo tags[] = {{"PROG", "PROG", nullptr, 0, 0},
                                     {"QTY", "QTY", nullptr, 0, 0},
                                     {nullptr, nullptr, nullptr, 0, 0}};
    DbLock hold(&ctx);
    ASSERT_NE(index_create(jobs, nullptr, tags), nullptr) << code_error_get(&ctx);
    by_prog = index_tag(static_cast<DbIndexFile*>(list_first(&jobs->indexes)), "PROG");
    ASSERT_NE(by_prog, nullptr);
  }
  void TearDown() override {
    (DbLock(&ctx), index_data_close(jobs));
    RelateTest::TearDown();
  }

  std::string padded(const std::string& s) { return s + std::string(12 - s.size(), ' '); }

  // Job record numbers of a program, in key order (equal keys by record number).
  std::vector<long> jobs_of(const std::string& name) {
    std::vector<long> out;
    for (size_t i = 0; i < job_rows.size(); i++)
      if (job_rows[i].first == name) out.push_back(static_cast<long>(i + 1));
    return out;
  }

  // (master record, job record or 0 for a blank job) for each delivery.
  // Walked forward, and checked to be the same walked backward.
  std::vector<std::pair<long, long>> deliveries(int mode, const char* sort = nullptr,
                                                const char* query = nullptr,
                                                bool* slave_bitmap = nullptr) {
    DbRelation* r = relation(query, sort);
    DbRelateNode* s = relate_create_slave(&r->top, jobs, "NAME", by_prog);
    EXPECT_NE(s, nullptr);
    relate_match_set(s, mode);
    relate_skip_enable(r, 1);
    std::vector<std::pair<long, long>> out, back;
    auto now = [&] { return std::make_pair(data_recno(d), data_eof(jobs) ? 0L : data_recno(jobs)); };
    int rc = relate_top(r);
    for (; rc == 0; rc = relate_skip(r, 1)) out.push_back(now());
    EXPECT_EQ(rc, DB_EOF);
    for (rc = relate_bottom(r); rc == 0; rc = relate_skip(r, -1)) back.insert(back.begin(), now());
    EXPECT_EQ(back, out) << "backward, mode " << mode;
    if (slave_bitmap) *slave_bitmap = s->bitmap.bits != nullptr;
    relate_free(r, 0);
    return out;
  }
};

TEST_F(RelateTagTest, ExactScanAndApproximateMatches) {
  std::vector<std::pair<long, long>> exact, scan, approx;
  std::vector<std::string> sorted_names;
  for (const auto& j : job_rows) sorted_names.push_back(j.first);
  std::sort(sorted_names.begin(), sorted_names.end());
  for (size_t i = 0; i < rows.size(); i++) {
    long m = static_cast<long>(i + 1);
    std::vector<long> js = jobs_of(rows[i].name);
    exact.push_back({m, js.empty() ? 0 : js.front()});
    if (js.empty()) scan.push_back({m, 0});
    for (long j : js) scan.push_back({m, j});
    // Approximate: the first job whose name is not less.
    auto it = std::lower_bound(sorted_names.begin(), sorted_names.end(), rows[i].name);
    approx.push_back({m, it == sorted_names.end() ? 0 : jobs_of(*it).front()});
  }
  EXPECT_EQ(deliveries(DB_RELATE_EXACT), exact);
  EXPECT_EQ(deliveries(DB_RELATE_SCAN), scan);
  EXPECT_EQ(deliveries(DB_RELATE_APPROX), approx);

  // Sorted by the master's name: the scan's records stay with their master.
  std::vector<std::pair<long, long>> sorted = scan;
  std::stable_sort(sorted.begin(), sorted.end(), [&](auto& a, auto& b) {
    return rows[static_cast<size_t>(a.first - 1)].name < rows[static_cast<size_t>(b.first - 1)].name;
  });
  EXPECT_EQ(deliveries(DB_RELATE_SCAN, "NAME"), sorted);
}

// Filters on the slave's tagged fields give the slave a bitmap: records
// outside it pass their master over, or are passed over within a scan.
TEST_F(RelateTagTest, SlaveBitmapsSelectLikeTheFilter) {
  struct Case {
    const char* query;
    std::function<bool(long cust, int qty)> accept;
  } cases[] = {
      {"JOBS->QTY >= 100 .AND. JOBS->QTY < 200", [](long, int q) { return q >= 100 && q < 200; }},
      {"JOBS->QTY = 41 .OR. JOBS->QTY > 250", [](long, int q) { return q == 41 || q > 250; }},
      {"CUST < 6 .AND. JOBS->QTY > 150", [](long c, int q) { return c < 6 && q > 150; }},
      {"JOBS->QTY < 100 .OR. JOBS->QTY > 200", [](long, int q) { return q < 100 || q > 200; }},
      {"JOBS->QTY < 50.5 .OR. JOBS->QTY > 51.5", [](long, int q) { return q != 51; }},  // a gap
  };
  for (const auto& c : cases) {
    for (int mode : {DB_RELATE_EXACT, DB_RELATE_SCAN}) {
      std::vector<std::pair<long, long>> want;
      for (size_t i = 0; i < rows.size(); i++) {
        std::vector<long> js = jobs_of(rows[i].name);
        if (mode == DB_RELATE_EXACT && js.size() > 1) js.erase(js.begin() + 1, js.end());
        if (js.empty() && c.accept(rows[i].cust, 0))  // a blank job reads as 0
          want.push_back({static_cast<long>(i + 1), 0});
        for (long j : js)
          if (c.accept(rows[i].cust, job_rows[static_cast<size_t>(j - 1)].second))
            want.push_back({static_cast<long>(i + 1), j});
      }
      ASSERT_FALSE(want.empty()) << c.query;
      for (int off : {0, 1}) {
        ctx.optimise_off = off;
        bool bitmap = false;
        EXPECT_EQ(deliveries(mode, nullptr, c.query, &bitmap), want) << c.query << " " << mode;
        EXPECT_EQ(bitmap, !off) << c.query;
      }
      ctx.optimise_off = 0;
    }
  }
}

TEST_F(RelateTagTest, ExpressionTypeMustMatchTheTag) {
  for (int report : {1, 0}) {
    ctx.index_option_a = report;
    DbRelation* r = relation(nullptr);
    EXPECT_EQ(relate_create_slave(&r->top, jobs, "CUST", by_prog), nullptr);
    EXPECT_EQ(code_error_set(&ctx, 0), report ? e_relate : 0);
    EXPECT_NE(relate_create_slave(&r->top, jobs, "UPPER(NAME)", by_prog), nullptr);
    relate_free(r, 0);
  }
}

TEST_F(RelateTagTest, TagRefFindsByName) {
  EXPECT_EQ(TagRef(jobs, "prog").tag(), by_prog);
  ctx.report_tag_errors = 0;
  EXPECT_FALSE(TagRef(jobs, "NONE").valid());
}

TEST_F(RelateTagTest, TagListCopiesTheOpenIndex) {
  TagInfoList tags(jobs);
  ASSERT_EQ(tags.count(), 2);
  EXPECT_STREQ(tags[0].name, "PROG");
  EXPECT_STREQ(tags[0].expression, "PROG");
  EXPECT_EQ(tags[0].filter, nullptr);
  EXPECT_STREQ(tags[1].name, "QTY");
  EXPECT_EQ(tags.tags()[2].name, nullptr);
}

TEST_F(RelateTest, ReadLockHoldsTheFilesUntilUnlocked) {
  make_tables(10);
  ctx.read_lock = 1;
  ctx.lock_attempts = 1;
  DbRelation* r = relation("CUST >= 0");
  ASSERT_NE(relate_create_slave(&r->top, slave, "MACH", nullptr), nullptr);
  ASSERT_EQ(relate_top(r), 0);
  ctx.read_lock = 0;
  DbDataFile* other = data_open(&ctx, dir.file("PROGS.DBF").c_str());
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(data_lock_file(other), DB_LOCKED);
  relate_unlock(r);
  EXPECT_EQ(data_lock_file(other), 0);
  data_unlock(other);
  data_close(other);
  relate_free(r, 0);
}
