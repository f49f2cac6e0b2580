// A walk of a tag, one skip per call and no lock held, while another station
// packs between two of its steps: the pack removes rows in front and so
// renumbers every row the walk has yet to meet and the one it stands on.
// Whatever step the pack falls on, in either direction, over unique keys
// and over keys that repeat (record numbers break their ties), the walk
// meets each live row once, in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine_api.h"
#include "engine_fixture.h"

namespace {

constexpr long kFront = 3;  // rows in front, deleted and packed away mid-walk
constexpr long kRows = 12;

const DbFieldInfo kFields[] = {{"ID", 'N', 6, 0}, {"GRP", 'C', 8, 0}, {nullptr, 0, 0, 0}};
const DbTagInfo kTags[] = {{"ID", "ID", nullptr, DB_UNIQUE, 0},
                           {"GRP", "GRP", nullptr, 0, 0},  // four rows to a key
                           {"GRPDESC", "GRP", nullptr, 0, 1},
                           {nullptr, nullptr, nullptr, 0, 0}};

std::string group_of(long id) { return "G" + std::to_string((id - 1) / 4); }

struct Case {
  const char* tag;
  bool backward;
};

const Case kCases[] = {{"ID", true}, {"ID", false}, {"GRP", true}, {"GRP", false}, {"GRPDESC", true}, {"GRPDESC", false}};

struct WalkAcrossPack : ::testing::Test {
  kvtest::ScratchDir dir;
  std::string name = dir.file("WALK.DBF");

  void SetUp() override {
    kvtest::QuietEngine c;
    c.safety = 0;  // made afresh for each pass
    DbDataFile* d = data_create(&c, name.c_str(), kFields, kTags);
    ASSERT_NE(d, nullptr) << code_error_get(&c);
    auto add = [&](long id) {
      ASSERT_EQ(data_append_start(d, 0), 0);
      data_blank(d);
      field_assign_long(data_field_at(d, 1), id);
      field_assign(data_field_at(d, 2), group_of(id < 0 ? 1 : id).c_str());
      ASSERT_EQ(data_append(d), 0);
    };
    for (long f = 1; f <= kFront; f++) add(-f);  // in front, and among the first group's keys
    for (long id = 1; id <= kRows; id++) add(id);
    // Equal keys in record order, as a pack leaves them.
    ASSERT_EQ(data_reindex(d), 0);
    ASSERT_EQ(data_close(d), 0);
  }

  // The ids a walk meets from its start, the other station deleting the row
  // at `gone` (0: none) and the rows in front and packing after `steps`.
  std::vector<long> walk(const Case& k, int steps, long gone) {
    kvtest::QuietEngine c, other;
    c.lock_attempts = other.lock_attempts = 2;
    DbDataFile* d = data_open(&c, name.c_str());
    DbDataFile* w = data_open(&other, name.c_str());
    EXPECT_TRUE(d && w);
    if (!d || !w) return {};
    data_tag_select(d, data_tag_find(d, k.tag));
    std::vector<long> met;
    int rc = k.backward ? data_bottom(d) : data_top(d);
    for (int step = 0; rc == 0; step++) {
      met.push_back(field_long(data_field_at(d, 1)));
      if (step == steps) {
        EXPECT_EQ(data_lock_file(w), 0);
        for (long n = 1; n <= data_reccount(w); n++) {
          EXPECT_EQ(data_go(w, n), 0);
          long id = field_long(data_field_at(w, 1));
          if (id < 0 || id == gone) data_delete(w);
        }
        EXPECT_EQ(data_pack(w), 0);
        EXPECT_EQ(data_unlock(w), 0);
      }
      rc = data_skip(d, k.backward ? -1 : 1);
    }
    EXPECT_EQ(rc, k.backward ? DB_BOF : DB_EOF) << code_error_get(&c);
    EXPECT_EQ(code_error_get(&c), 0);
    data_close(w);
    data_close(d);
    return met;
  }
};

TEST_F(WalkAcrossPack, EachLiveRowOnceWhereverThePackFalls) {
  for (const Case& k : kCases) {
    // The order the walk keeps: the tag's over the rows left after the pack.
    std::vector<long> rows;
    {
      kvtest::QuietEngine c;
      DbDataFile* d = data_open(&c, name.c_str());
      ASSERT_NE(d, nullptr);
      data_tag_select(d, data_tag_find(d, k.tag));
      for (int rc = k.backward ? data_bottom(d) : data_top(d); rc == 0; rc = data_skip(d, k.backward ? -1 : 1))
        rows.push_back(field_long(data_field_at(d, 1)));
      data_close(d);
    }
    ASSERT_EQ(rows.size(), size_t(kFront + kRows));
    for (int steps = 0; steps < int(rows.size()); steps++) {
      if (rows[size_t(steps)] < 0) continue;  // a row the pack takes away, as below
      std::vector<long> met = walk(k, steps, 0);
      // What the walk met before the pack stands; after it, the live rows in order.
      std::vector<long> want(rows.begin(), rows.begin() + steps + 1);
      for (size_t i = size_t(steps) + 1; i < rows.size(); i++)
        if (rows[i] > 0) want.push_back(rows[i]);
      EXPECT_EQ(met, want) << k.tag << (k.backward ? " back" : " forward") << ", pack after step " << steps;
      SetUp();  // the table as it was for the next pass
      if (HasFatalFailure()) return;
    }
  }
}

// The row the walk stands on goes with the pack too: the walk goes on
// from where it stood, with every other row once.
TEST_F(WalkAcrossPack, TheRowItStandsOnPackedAwayOverUniqueKeys) {
  for (bool backward : {true, false}) {
    Case k{"ID", backward};
    for (long gone = 2; gone < kRows; gone += 3) {
      int steps = int(backward ? kRows - gone : kFront + gone - 1);
      std::vector<long> met = walk(k, steps, gone);
      std::vector<long> want;
      if (backward) {
        for (long id = kRows; id >= 1; id--) want.push_back(id);
      } else {
        for (long f = kFront; f >= 1; f--) want.push_back(-f);
        for (long id = 1; id <= kRows; id++) want.push_back(id);
      }
      EXPECT_EQ(met, want) << (backward ? "back" : "forward") << ", row " << gone << " packed away";
      SetUp();
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace
