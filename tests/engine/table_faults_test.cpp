// Faults of the table engine that lost or refused data: a unique tag that
// keeps the first record of a key, and a header whose count runs past the
// end of the file.
#include <gtest/gtest.h>

#include "engine/engine_api.h"
#include "engine/lock.h"
#include "index_fixture.h"

namespace {

using kvtest::IndexTest;
using kvtest::PartRow;

const DbTagInfo kKeepFirst[] = {{"ID", "ID", nullptr, DB_UNIQUE_KEEP_FIRST, 0},
                                {"NAME", "NAME", nullptr, 0, 0},
                                {nullptr, nullptr, nullptr, 0, 0}};

// A duplicate in a keep-first tag costs that tag the key, nothing else: the
// record is written and its other tags have it.
TEST_F(IndexTest, KeepFirstUniqueTagOnlyGoesWithoutTheDuplicate) {
  create(kKeepFirst);
  ASSERT_EQ(append({1, "FIRST", 1, ""}), 0);
  ASSERT_EQ(append({1, "SECOND", 2, ""}), 0);
  ASSERT_EQ(append({2, "THIRD", 3, ""}), 0);
  EXPECT_EQ(data_reccount(d), 3);
  EXPECT_EQ(walk(tag("ID"), false), (std::vector<long>{1, 3}));
  EXPECT_EQ(walk(tag("NAME"), false), (std::vector<long>{1, 2, 3}));

  // A rewrite onto a kept key: written, renamed in NAME, gone from ID.
  ASSERT_EQ(data_go(d, 3), 0);
  field_assign_long(data_field_at(d, 1), 1);
  field_assign(data_field_at(d, 2), "ALPHA");
  ASSERT_EQ(data_write(d, 3), 0);
  ASSERT_EQ(data_go(d, 3), 0);
  EXPECT_EQ(field_long(data_field_at(d, 1)), 1);
  EXPECT_EQ(walk(tag("ID"), false), (std::vector<long>{1}));
  EXPECT_EQ(walk(tag("NAME"), false), (std::vector<long>{3, 1, 2}));
  EXPECT_EQ(code_error_get(&c), 0);
}

// A rebuild whose last branch of a level would get a single child (4 keys a
// leaf, 5 children a branch: 21 to 24 keys make 6 leaves) writes no branch
// without a key, which every reader after it took for damage.
TEST_F(IndexTest, RebuildLeavesNoBranchWithOneChild) {
  const DbFieldInfo fields[] = {{"CODE", 'C', 200, 0}, {nullptr, 0, 0, 0}};
  const DbTagInfo tags[] = {{"CODE", "CODE", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  create(tags, fields);
  for (int n : {21, 24, 26, 126}) {
    while (data_reccount(d) < n) {
      ASSERT_EQ(data_append_start(d, 0), 0);
      data_blank(d);
      field_assign(data_field_at(d, 1), kvtest::numbered("K", 1000 + data_reccount(d)).c_str());
      ASSERT_EQ(data_append(d), 0);
    }
    ASSERT_EQ(data_reindex(d), 0);
    ASSERT_EQ(data_lock_file(d), 0);  // locked: a block that does not fit is -310 at once
    data_tag_select(d, tag("CODE"));
    for (int dir : {1, -1}) {
      long seen = 0;
      for (int rc = dir > 0 ? data_top(d) : data_bottom(d); rc == 0 && seen <= n; rc = data_skip(d, dir)) seen++;
      EXPECT_EQ(seen, n) << n;
      ASSERT_EQ(code_error_get(&c), 0) << n;
    }
    EXPECT_EQ(data_seek(d, kvtest::numbered("K", 1000 + n - 1).c_str()), 0) << n;
    EXPECT_EQ(data_recno(d), n);
    ASSERT_EQ(data_unlock(d), 0);
    ASSERT_EQ(code_error_get(&c), 0) << n;
  }
}

// Appends under a whole-file lock state their count once, when the lock goes
// (or the file is closed): another handle sees all of them then, never a
// count beyond the records written.
TEST_F(IndexTest, CountOfLockedAppendsGoesOutAtUnlock) {
  create();
  kvtest::QuietEngine other;
  DbDataFile* o = data_open(&other, name.c_str());
  ASSERT_NE(o, nullptr);
  ASSERT_EQ(data_lock_file(d), 0);
  for (long i = 1; i <= 5; i++) ASSERT_EQ(append({i, "X", 1, ""}), 0);
  EXPECT_EQ(data_reccount(o), 0);
  ASSERT_EQ(data_unlock(d), 0);
  EXPECT_EQ(data_reccount(o), 5);
  ASSERT_EQ(data_lock_file(d), 0);
  ASSERT_EQ(append({6, "Y", 1, ""}), 0);
  code_error_set(&c, e_info);  // a pending error does not keep the count back
  ASSERT_NE(data_close(d), 0);
  d = nullptr;
  code_error_set(&c, 0);
  EXPECT_EQ(data_reccount(o), 6);
  data_close(o);
}

// A torn copy: the header states 9 records, the file holds 5 (and a piece).
struct TornTable : IndexTest {
  void SetUp() override {
    create();
    for (long i = 1; i <= 5; i++) ASSERT_EQ(append({i, kvtest::numbered("N", 10 - i), 1, ""}), 0);
    ASSERT_EQ(data_close(d), 0);
    d = nullptr;
    auto bytes = kvtest::read_bytes(name);
    bytes.resize(bytes.size() - 1 + 20);  // the 0x1A gives way to part of a sixth record
    bytes[4] = 9;
    kvtest::write_bytes(name, bytes);
    d = data_open(&c, name.c_str());
    ASSERT_NE(d, nullptr) << code_error_get(&c);
  }

  long walk_records(DbTag* t) {
    data_tag_select(d, t);
    long n = 0;
    for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1)) n++;
    return n;
  }
};

TEST_F(TornTable, OpensAndMovesOverTheRecordsItHolds) {
  EXPECT_EQ(data_reccount(d), 9);
  EXPECT_EQ(walk_records(nullptr), 5);
  EXPECT_TRUE(data_eof(d));
  EXPECT_EQ(walk_records(tag("NAME")), 5);
  data_tag_select(d, nullptr);
  EXPECT_EQ(data_bottom(d), 0);
  EXPECT_EQ(data_recno(d), 5);
  EXPECT_EQ(data_go(d, 7), e_read);  // torn
  EXPECT_EQ(code_error_set(&c, 0), e_read);
  EXPECT_EQ(data_go(d, 6), e_read);  // a piece only
  EXPECT_EQ(code_error_set(&c, 0), e_read);
}

TEST_F(TornTable, AppendFollowsTheLastHeldRecord) {
  ASSERT_EQ(append({6, "N6", 1, ""}), 0);
  EXPECT_EQ(data_recno(d), 6);
  EXPECT_EQ(data_reccount(d), 6);
  EXPECT_EQ(walk_records(tag("ID")), 6);
  EXPECT_EQ(data_seek_double(d, 6), 0);
  EXPECT_EQ(data_recno(d), 6);
}

TEST_F(TornTable, PackRepairsTheHeader) {
  ASSERT_EQ(data_pack(d), 0);
  EXPECT_EQ(data_reccount(d), 5);
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;
  auto bytes = kvtest::read_bytes(name);
  EXPECT_EQ(bytes[4], 5);
  EXPECT_EQ(bytes.size(), size_t(bytes[8] | bytes[9] << 8) + 5 * size_t(bytes[10] | bytes[11] << 8) + 1);
  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(walk_records(tag("ID")), 5);
}

}  // namespace
