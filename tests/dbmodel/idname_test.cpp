// Id-and-name tables: finds, list lines, changes by id and refused rows.
#include <memory>

#include "db_fixture.h"
#include "dbmodel/idname.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

class IdNameTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    CreateTable<TcbMatyTable>("KELVMT.DBF");
  }
  bool Add(long id, const char* name) {
    TcbMatyTable t("KELVMT.DBF", 0, 0);
    TcbIdAndNameRecord r;
    r.ID = id;
    CopyCut(r.NAME, sizeof r.NAME, name);
    return t.Add(&r) == &r;
  }
};

TEST_F(IdNameTest, FindsByIdAndByNamePrefix) {
  ASSERT_TRUE(Add(3, "ABC"));
  ASSERT_TRUE(Add(4, "XYZ"));
  TcbMatyTable t("KELVMT.DBF", 0, 0);
  EXPECT_EQ(t.FindById(0), nullptr);
  EXPECT_EQ(t.Data(), nullptr);  // id 0 does not open the file

  std::unique_ptr<TcbIdAndNameRecord> byId(t.FindById(4));
  ASSERT_NE(byId, nullptr);
  EXPECT_STREQ(byId->NAME, "XYZ");
  EXPECT_NE(t.Data(), nullptr);  // left open for a change of the row
  t.Close();

  std::unique_ptr<TcbIdAndNameRecord> byName(t.FindByName("AB"));
  ASSERT_NE(byName, nullptr);
  EXPECT_EQ(byName->ID, 3);
  EXPECT_EQ(t.Data(), nullptr);
  EXPECT_EQ(t.FindByName("Q"), nullptr);
  EXPECT_EQ(t.FindByName(nullptr), nullptr);
  EXPECT_EQ(t.FindById(99), nullptr);
}

TEST_F(IdNameTest, NamesKeepTheirFieldWidthAndLoseLeadingBlanks) {
  std::string fifty(50, 'N');
  ASSERT_TRUE(Add(3, fifty.c_str()));
  ASSERT_TRUE(Add(4, "  \tLATHE"));
  std::string longer(80, 'L');
  ASSERT_TRUE(Add(5, longer.c_str()));  // cut to the field
  TcbMatyTable t("KELVMT.DBF", 0, 0);
  std::unique_ptr<TcbIdAndNameRecord> a(t.FindById(3));
  t.Close();
  std::unique_ptr<TcbIdAndNameRecord> b(t.FindById(4));
  t.Close();
  std::unique_ptr<TcbIdAndNameRecord> c(t.FindById(5));
  t.Close();
  EXPECT_EQ(a->NAME, fifty);
  EXPECT_STREQ(b->NAME, "LATHE");
  EXPECT_EQ(c->NAME, std::string(50, 'L'));
  EXPECT_EQ(Rows(DbPath("KELVMT.DBF"))[1][2], "\tLATHE");  // stored with its blanks
}

TEST_F(IdNameTest, ListLines) {
  ASSERT_TRUE(Add(3, "MILL"));
  ASSERT_TRUE(Add(4, "LATHE"));
  TcbMatyTable t("KELVMT.DBF", 0, 0);
  ASSERT_EQ(t.DeleteById(3), 1);
  MemoryList list;
  t.FillList(&list);
  ASSERT_EQ(list.lines.size(), 1u);
  EXPECT_EQ(list.lines[0], "LATHE" + std::string(165, ' ') + "@@4");
  EXPECT_EQ(list.selected, 0);
  t.FillListWide(&list);
  EXPECT_EQ(list.lines[0], "LATHE" + std::string(245, ' ') + "@@4");
  EXPECT_EQ(ListLineId(list.lines[0].c_str()), 4);

  ASSERT_TRUE(Add(6, "TYPE@@5"));  // a typed marker does not name record 5
  t.FillList(&list);
  ASSERT_EQ(list.lines.size(), 2u);
  EXPECT_EQ(ListLineId(list.lines[1].c_str()), 6);
  ASSERT_EQ(t.DeleteById(6), 1);

  ASSERT_EQ(t.DeleteById(4), 1);
  list.lines = {"old"};
  t.FillList(&list);
  EXPECT_TRUE(list.lines.empty());

  TcbMatyTable missing("NONE.DBF", 0, 0);
  list.lines = {"kept"};
  missing.FillList(&list);
  EXPECT_EQ(list.lines, std::vector<std::string>{"kept"});
}

TEST_F(IdNameTest, ChangesById) {
  ASSERT_TRUE(Add(3, "MILL"));
  TcbMatyTable t("KELVMT.DBF", 0, 0);
  TcbIdAndNameRecord r;
  r.ID = 3;
  std::strcpy(r.NAME, "MILL 5 AXIS");
  EXPECT_EQ(t.Update(&r), 1);
  EXPECT_EQ(t.Rename(3, "DRILL"), 1);
  EXPECT_EQ(Rows(DbPath("KELVMT.DBF"))[0][2], "DRILL");

  r.ID = 9;  // not in the file: nothing written
  EXPECT_EQ(t.Update(&r), 0);
  EXPECT_EQ(t.Rename(9, "X"), 0);
  EXPECT_EQ(t.Rename(0, "X"), 0);
  EXPECT_EQ(t.Delete(&r), 0);
  EXPECT_EQ(t.DeleteById(9), 1);
  EXPECT_EQ(Rows(DbPath("KELVMT.DBF")).size(), 1u);

  r.ID = 3;
  EXPECT_EQ(t.Delete(&r), 1);
  EXPECT_EQ(Rows(DbPath("KELVMT.DBF"))[0][0], "*");
}

TEST_F(IdNameTest, RefusedRowsLeaveNothingBehind) {
  ASSERT_TRUE(Add(3, "MILL"));
  DbContext->silent_errors = 1;
  EXPECT_FALSE(Add(3, "OTHER"));  // id taken
  EXPECT_FALSE(Add(4, "MILL"));   // name taken
  DbContext->silent_errors = 0;
  EXPECT_EQ(code_error_get(DbContext), 0);
  // No blank row holds a key that would refuse the next append.
  EXPECT_TRUE(Add(5, "LATHE"));
  auto rows = Rows(DbPath("KELVMT.DBF"));
  size_t live = 0;
  for (const auto& row : rows) live += row[0] == " ";
  EXPECT_EQ(live, 2u);

  TcbMatyTable t("KELVMT.DBF", 0, 0);
  EXPECT_EQ(t.Rename(5, "MILL"), 0);  // a rename onto a taken name fails
  std::unique_ptr<TcbIdAndNameRecord> still(t.FindById(5));
  t.Close();
  DbContext->silent_errors = 0;
  ASSERT_NE(still, nullptr);
  EXPECT_STREQ(still->NAME, "LATHE");
}

TEST_F(IdNameTest, AccountTypesInTheLocalDirectory) {
  TUserAccountTypeTable t("USER0001.DBF", 0, 1);
  t.Create(t.FileName());
  TcbIdAndNameRecord r;
  r.ID = 3;
  std::strcpy(r.NAME, "ADMIN");
  EXPECT_EQ(t.Add(&r), &r);
  EXPECT_EQ(Rows(Root() + "/local/USER0001.DBF").size(), 1u);
}

// The same table, seen after deletions.
using IdNameDeletedTest = IdNameTest;

// A deleted type keeps its row until the database is packed; its name
// must not be found any more nor refuse a new type or a rename.
TEST_F(IdNameDeletedTest, ADeletedNameIsFreeAgain) {
  ASSERT_TRUE(Add(3, "MILL"));
  ASSERT_TRUE(Add(4, "LATHE"));
  ASSERT_TRUE(Add(5, "MILLING"));
  TcbMatyTable t("KELVMT.DBF", 0, 0);
  ASSERT_EQ(t.DeleteById(3), 1);
  std::unique_ptr<TcbIdAndNameRecord> hit(t.FindByName("MILL"));
  ASSERT_NE(hit, nullptr);  // the live "MILLING" still answers the prefix
  EXPECT_EQ(hit->ID, 5);
  ASSERT_EQ(t.DeleteById(5), 1);
  EXPECT_EQ(std::unique_ptr<TcbIdAndNameRecord>(t.FindByName("MILL")), nullptr);

  EXPECT_TRUE(Add(6, "MILL"));
  EXPECT_EQ(t.Rename(4, "MILLING"), 1);
  std::unique_ptr<TcbIdAndNameRecord> again(t.FindByName("MILL"));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->ID, 6);
  EXPECT_EQ(code_error_get(DbContext), 0);
}

}  // namespace
