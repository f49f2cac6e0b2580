// Field and tag definition lists: stored names, the zeroed end entry,
// removal by name prefix and copying an open file's layout.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/fieldinfo.h"
#include "tests/engine/engine_fixture.h"

namespace {

TEST(FieldInfoList, NamesAreUpperCaseAndCut) {
  kvtest::QuietEngine ctx;
  FieldInfoList list(&ctx);
  EXPECT_EQ(list.fields()[0].name, nullptr);
  ASSERT_EQ(list.add("name", 'C', 40, 0), 0);
  ASSERT_EQ(list.add("ABCDEFGHIJKL", 'N', 10, 2), 0);
  ASSERT_EQ(list.add("id  ", 'N', 10, 0), 0);
  EXPECT_STREQ(list[0].name, "NAME");
  EXPECT_STREQ(list[1].name, "ABCDEFGHIJ");
  EXPECT_STREQ(list[2].name, "ID");
  EXPECT_EQ(list[1].type, 'N');
  EXPECT_EQ(list[1].len, 10u);
  EXPECT_EQ(list[1].decimals, 2u);
  EXPECT_EQ(list.fields()[3].name, nullptr);
}

TEST(FieldInfoList, DeleteByPrefixAndIndex) {
  kvtest::QuietEngine ctx;
  FieldInfoList list(&ctx);
  for (const char* n : {"ID", "NAMES", "NAME", "CUST"}) list.add(n, 'C', 5, 0);
  EXPECT_EQ(list.del("name"), 0);  // the first whose name begins with it
  ASSERT_EQ(list.count(), 3);
  EXPECT_STREQ(list[1].name, "NAME");
  EXPECT_EQ(list.delAt(0), 0);
  EXPECT_STREQ(list[0].name, "NAME");
  EXPECT_EQ(list.fields()[2].name, nullptr);

  EXPECT_EQ(list.del("MISSING"), e_parm);
  EXPECT_EQ(code_error_set(&ctx, 0), e_parm);
  EXPECT_EQ(list.delAt(5), e_parm);
  code_error_set(&ctx, 0);
  EXPECT_EQ(list.count(), 2);
}

TEST(FieldInfoList, CopiesAnOpenFileWithFloatAsNumeric) {
  kvtest::QuietEngine ctx;
  kvtest::ScratchDir dir;
  static const DbFieldInfo fields[] = {
      {"ID", 'N', 10, 0}, {"PRICE", 'F', 12, 3}, {"DUE", 'D', 8, 0}, {nullptr, 0, 0, 0}};
  DbDataFile* d = data_create(&ctx, dir.file("T.DBF").c_str(), fields, nullptr);
  ASSERT_NE(d, nullptr);
  FieldInfoList copy(d);
  ASSERT_EQ(copy.count(), 3);
  EXPECT_EQ(copy[1].type, 'N');
  EXPECT_EQ(copy[1].len, 12u);
  EXPECT_EQ(copy[1].decimals, 3u);
  EXPECT_EQ(copy[2].type, 'D');
  // The copy creates an equal layout.
  DbDataFile* d2 = data_create(&ctx, dir.file("T2.DBF").c_str(), copy.fields(), nullptr);
  ASSERT_NE(d2, nullptr);
  EXPECT_EQ(data_record_width(d2), data_record_width(d));
  code_close_all(&ctx);
}

TEST(TagInfoList, KeepsTextsAndOptions) {
  kvtest::QuietEngine ctx;
  int before = info_lists_live();
  {
    TagInfoList tags(&ctx);
    FieldInfoList fields(&ctx);
    EXPECT_EQ(info_lists_live(), before + 2);
    ASSERT_EQ(tags.add("ncid", "NCID", nullptr, 20, 0), 0);
    ASSERT_EQ(tags.add("name", "UPPER(NAME)", ".NOT. DELETED()", 0, 0), 0);
    EXPECT_STREQ(tags[0].name, "NCID");
    EXPECT_EQ(tags[0].filter, nullptr);
    EXPECT_EQ(tags[0].unique, 20);
    EXPECT_STREQ(tags[1].expression, "UPPER(NAME)");
    EXPECT_STREQ(tags[1].filter, ".NOT. DELETED()");
    EXPECT_EQ(tags.tags()[2].name, nullptr);
    EXPECT_EQ(tags.del("NC"), 0);
    EXPECT_STREQ(tags[0].name, "NAME");
    EXPECT_EQ(tags.del("NCID"), e_parm);
    code_error_set(&ctx, 0);
  }
  EXPECT_EQ(info_lists_live(), before);
}

}  // namespace
