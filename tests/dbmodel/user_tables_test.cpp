// The user tables on their own: ids from the counters, the list lines, the
// finds, names kept whole when a row is rewritten, deleted rows, and a file
// that does not open.
#include "dbmodel/user_tables.h"
#include "tests/dbmodel/db_fixture.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

class UserTablesTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    MakeCounters();
    TAccountTable a("USER0001.DBF", 0, 1);
    a.CreateTable((Root() + "/local/USER0001.DBF").c_str());
    TUserInfoTable u("USER0002.DBF", 0, 1);
    u.CreateTable((Root() + "/local/USER0002.DBF").c_str());
  }
};

TEST_F(UserTablesTest, UsersGetCounterIdsAndListLinesPerType) {
  TUserInfoTable t("USER0002.DBF", 0, 1);
  long a = t.AddUser(7, "ADAL", "SECRET", "Ada", "Lovelace");
  long b = t.AddUser(7, "GRACE", "COBOL", "Grace", "Hopper");
  EXPECT_GT(a, 0);
  EXPECT_EQ(b, a + 1);
  MemoryList list;
  t.FillList(&list, 7);
  ASSERT_EQ(list.lines.size(), 2u);
  EXPECT_EQ(list.lines[0], "Ada " + std::string("Lovelace") + std::string(72, ' ') + " @@" + std::to_string(a));
  EXPECT_EQ(list.selected, 0);
  t.FillLogonList(&list);
  ASSERT_EQ(list.lines.size(), 3u);
  EXPECT_EQ(list.lines[0], "BRALK" + std::string(75, ' ') + " @@2000000000");
  EXPECT_EQ(t.CountOfType(7), 1);
  EXPECT_EQ(t.CountOfType(8), 0);
  EXPECT_EQ(t.FindLogin("ADAL"), a);
  EXPECT_EQ(t.FindLogin("adal"), 0);
  EXPECT_EQ(t.FindLoginAnyCase("adal", 0), a);
  EXPECT_EQ(t.FindLoginAnyCase("adal", a), 0);
  ASSERT_EQ(t.DeleteUser(a), 1);
  EXPECT_EQ(t.ReadUser(a), nullptr);
  EXPECT_EQ(t.FindLogin("ADAL"), 0);
  EXPECT_EQ(t.DeleteUser(a), 0);
  EXPECT_EQ(t.UpdateUser(a, 7, "X", "Y", "Z", "W"), 0);
}

TEST_F(UserTablesTest, PasswordChangeKeepsNamesOtherStationsWroteInFull) {
  std::string first(40, 'F'), last(38, 'L');
  TUserInfoTable t("USER0002.DBF", 0, 1);
  long id = t.AddUser(kAdminTypeId, "LONG", "OLD", first.c_str(), last.c_str());
  TUserInfoRecord* r = t.ReadUser(id);
  ASSERT_NE(r, nullptr);
  CopyCut(r->PASS, sizeof r->PASS, "NEWPASS");
  EXPECT_EQ(t.SetPassword(r), 1);
  delete r;
  r = t.ReadUser(id);
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r->PASS, "NEWPASS");
  EXPECT_EQ(std::string(r->FNAM), first);
  EXPECT_EQ(std::string(r->LNAM), last);
  EXPECT_EQ(r->TYPE, kAdminTypeId);
  delete r;
}

TEST_F(UserTablesTest, RightsAreSigned32BitWordsAndCountedForTheLastAdministrator) {
  TAccountTable a("USER0001.DBF", 0, 1);
  int32_t r1, r2, r3;
  ASSERT_EQ(a.LoadRights(kAdminTypeId, r1, r2, r3), 1);
  EXPECT_EQ(r1, -1);
  EXPECT_EQ(a.SaveRights(kAdminTypeId, static_cast<int32_t>(0x80000001u), 0, 0), 1);
  ASSERT_EQ(a.LoadRights(kAdminTypeId, r1, r2, r3), 1);
  EXPECT_EQ(static_cast<uint32_t>(r1), 0x80000001u);
  EXPECT_EQ(a.LoadRights(99, r1, r2, r3), 0);
  EXPECT_EQ(r1, 0);
  EXPECT_EQ(a.SaveRights(99, 1, 0, 0), 0);
  EXPECT_EQ(a.FindName("administrators", 0), kAdminTypeId);
  EXPECT_EQ(a.FindName(" ADMINISTRATORS ", kAdminTypeId), 0);
  EXPECT_EQ(CountAllRightsUsers(-1, -1, false), 0);
  a.SaveRights(kAdminTypeId, kAllRights, 0, 0);
  EXPECT_EQ(CountAllRightsUsers(-1, -1, false), 1);
  EXPECT_EQ(CountAllRightsUsers(kAdminUserId, -1, false), 0);
  EXPECT_EQ(CountAllRightsUsers(-1, kAdminTypeId, false), 0);
}

TEST_F(UserTablesTest, MissingFilesGiveEmptyListsAndWriteNothing) {
  Globals->LocalDir = Root() + "/nowhere\\";
  TUserInfoTable t("USER0002.DBF", 0, 1);
  MemoryList list;
  list.lines = {"stale"};
  t.FillLogonList(&list);
  EXPECT_TRUE(list.lines.empty());
  EXPECT_EQ(t.ReadUser(kAdminUserId), nullptr);
  EXPECT_EQ(t.CountOfType(kAdminTypeId), 0);
  EXPECT_EQ(t.AddUser(1, "ABCD", "ABCD", "A", "B"), 0);
  TAccountTable a("USER0001.DBF", 0, 1);
  a.FillList(&list);
  EXPECT_TRUE(list.lines.empty());
}

}  // namespace
