// Indexes written by the engine as Perl's XBase::Index reads them: the same
// tags, and every tag's keys in the same order with the same record numbers,
// for character, numeric and date tags, after appends and after a rebuild.
#include <gtest/gtest.h>

#include "index_fixture.h"

namespace {

using kvtest::IndexTest;

using PeerIndex = IndexTest;

TEST_F(PeerIndex, ReadsAppendedAndRebuiltTags) {
  DbLock hold(&c);  // the tag layer is the engine's inside
  create();
  // Enough records for several levels: splits of leaves and branches.
  for (long i = 0; i < 3000; i++) {
    char name[16], due[16];
    std::snprintf(name, sizeof name, "P%05ld", (i * 7919) % 3001);
    std::snprintf(due, sizeof due, "%04ld%02ld%02ld", 1990 + i % 40, 1 + i % 12, 1 + i % 28);
    ASSERT_EQ(append({(i * 104729) % 100003 - 50000, name, double(i % 97) - 48.5, i % 11 ? due : ""}), 0);
  }
  expect_peer_agrees();
  ASSERT_EQ(data_reindex(d), 0);
  expect_peer_agrees();
  // Keys of the rebuilt character tag come in record order for equal keys.
  DbTag* t = tag("QTY");
  ASSERT_EQ(tag_top(t), 0);
  long prev = tag_recno(t);
  ASSERT_EQ(tag_skip(t, 1), 1);
  EXPECT_LT(prev, tag_recno(t)) << "equal keys in record order after a rebuild";
}

}  // namespace
