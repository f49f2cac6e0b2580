// A record reached by a move under the file lock and changed there: the
// write the next move makes finds the keys the stored record had, whichever
// move reached it, so its old keys leave every tag and the new ones come in.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "index_fixture.h"

namespace {

using kvtest::IndexTest;
using kvtest::PartRow;

constexpr long kRows = 300;  // deep enough for leaves to split

// Ids are 10, 20, ... so that a changed id can lie between two others.
PartRow row(long n) {
  char name[16];
  std::snprintf(name, sizeof name, "N%05ld", (n * 37) % kRows);
  return {n * 10, name, double(n % 7), ""};
}

struct Move {
  const char* how;
  std::function<int(DbDataFile*, long n)> reach;  // lands on record n
};

TEST_F(IndexTest, ChangesAfterLockedMovesMoveTheStoredKeys) {
  create();
  for (long n = 1; n <= kRows; n++) ASSERT_EQ(append(row(n)), 0);
  DbTag* ids = tag("ID");
  DbTag* names = tag("NAME");
  const Move moves[] = {
      {"seek", [&](DbDataFile* t, long n) {
         data_tag_select(t, ids);
         return data_seek_double(t, double(row(n).id));
       }},
      {"go", [](DbDataFile* t, long n) {
         data_tag_select(t, nullptr);
         return data_go(t, n);
       }},
      {"skip in tag order", [&](DbDataFile* t, long n) {
         data_tag_select(t, ids);
         int rc = data_seek_double(t, double(row(n).id - 10));
         return rc == 0 ? data_skip(t, 1) : -1;
       }},
  };
  long n = 40;
  for (const Move& m : moves) {
    SCOPED_TRACE(m.how);
    ASSERT_EQ(data_lock_file(d), 0);
    // Other records read first: the buffers hold bytes of other records too.
    ASSERT_EQ(data_go(d, n + 100), 0);
    ASSERT_EQ(m.reach(d, n), 0);
    ASSERT_EQ(data_recno(d), n);
    long old_id = row(n).id, new_id = old_id + 5;
    std::string new_name = "M" + std::to_string(n);
    field_assign_long(data_field_at(d, 1), new_id);
    field_assign(data_field_at(d, 2), new_name.c_str());
    ASSERT_EQ(data_go(d, 1), 0);  // writes record n
    data_tag_select(d, ids);
    EXPECT_EQ(data_seek_double(d, double(old_id)), DB_AFTER);
    EXPECT_EQ(data_recno(d), n);  // now under the id just after the old one
    ASSERT_EQ(data_seek_double(d, double(new_id)), 0);
    EXPECT_EQ(data_recno(d), n);
    ASSERT_EQ(data_unlock(d), 0);
    data_tag_select(d, names);
    ASSERT_EQ(data_seek(d, new_name.c_str()), 0);
    EXPECT_EQ(data_recno(d), n);
    EXPECT_NE(data_seek(d, row(n).name.c_str()), 0) << "the old name stayed in the tag";
    // Every record once in each tag.
    EXPECT_EQ(walk(ids, false).size(), size_t(kRows));
    EXPECT_EQ(walk(names, false).size(), size_t(kRows));
    n += 30;
  }
}

}  // namespace
