// Machines: finds by id and name, changes, the machine lists and the
// upgrade of the 5- and 11-field layouts.
#include <filesystem>

#include "db_fixture.h"
#include "dbmodel/counter.h"
#include "dbmodel/machine.h"
#include "layout_peer.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

const std::vector<DbFieldInfo> kLayout = {{"ID", 'N', 10, 0},  {"TYPE", 'N', 10, 0},
                                          {"NAME", 'C', 20, 0}, {"DESC", 'C', 40, 0},
                                          {"PATH", 'C', 100, 0}, {"MAZAK", 'L', 1, 0}};

class MachineTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    MakeCounters();
    CreateTable<TcbMachTable>("KELVMA.DBF");
  }
  long Add(const char* name, long type, int mazak = 0) {
    TcbMachTable t("KELVMA.DBF", 0, 0);
    if (!t.Add(name, type, "desc", "C:\\NC\\", mazak)) return 0;
    return t.ExistsByName(name);
  }
};

TEST_F(MachineTest, LayoutAndFinds) {
  EXPECT_EQ(kvdb::PeerLayout(Root(), DbPath("KELVMA.DBF")), kvdb::LayoutText(kLayout, 0));
  long lathe = Add("LATHE", 3, 1);
  EXPECT_EQ(lathe, 3);
  TcbMachTable t("KELVMA.DBF", 0, 0);
  std::unique_ptr<TcbMachRecord> r(t.FindByName("LATHE"));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->ID, lathe);
  EXPECT_EQ(r->TYPE, 3);
  EXPECT_EQ(r->MAZAK, 1);
  EXPECT_STREQ(r->PATH, "C:\\NC\\");
  EXPECT_NE(t.Data(), nullptr);  // left open on the row
  t.Close();
  EXPECT_EQ(t.FindByName("lathe"), nullptr);
  t.Close();
  EXPECT_EQ(t.FindByName("LATH"), nullptr);  // exact, not a prefix
  t.Close();
  EXPECT_EQ(t.FindByName(nullptr), nullptr);
  EXPECT_EQ(t.FindById(0), nullptr);

  std::unique_ptr<char[]> name(t.GetNameCopy(lathe));
  EXPECT_STREQ(name.get(), "LATHE");
  std::unique_ptr<char[]> path(t.GetPath(lathe));
  EXPECT_STREQ(path.get(), "C:\\NC\\");
  EXPECT_EQ(t.GetPath(99), nullptr);
  EXPECT_EQ(t.GetNameCopy(99), nullptr);
  EXPECT_EQ(t.ExistsByName("NONE"), 0);

  // A name in use is refused, and reported.
  EXPECT_EQ(t.Add("LATHE", 1, "", "", 0), 0);
  EXPECT_EQ(t.Add("MILL", 1, nullptr, "", 0), 0);
  EXPECT_EQ(Rows(DbPath("KELVMA.DBF")).size(), 1u);
}

TEST_F(MachineTest, UpdateKeepsWhatIsNotGiven) {
  long id = Add("LATHE", 3);
  TcbMachTable t("KELVMA.DBF", 0, 0);
  ASSERT_EQ(t.Update(id, "", 5, nullptr, "D:\\NEW\\", 1), 1);
  std::unique_ptr<TcbMachRecord> r(t.FindById(id));
  t.Close();
  EXPECT_STREQ(r->NAME, "LATHE");
  EXPECT_STREQ(r->DESC, "desc");
  EXPECT_STREQ(r->PATH, "D:\\NEW\\");
  EXPECT_EQ(r->TYPE, 5);
  EXPECT_EQ(r->MAZAK, 1);
  EXPECT_EQ(t.Update(999, "X", 1, "", "", 0), 0);
  EXPECT_EQ(t.DeleteById(id), 1);
  EXPECT_EQ(t.DeleteById(id + 1), 0);
  EXPECT_EQ(Rows(DbPath("KELVMA.DBF"))[0][0], "*");

  // A deleted machine neither is found by its name nor blocks the name.
  EXPECT_EQ(t.ExistsByName("LATHE"), 0);
  long again = Add("LATHE", 6);
  EXPECT_GT(again, id);
  EXPECT_EQ(t.ExistsByName("LATHE"), again);
  long mill = Add("MILL", 6);
  t.DeleteById(again);
  ASSERT_EQ(t.Update(mill, "LATHE", 6, "", "", 0), 1);
  EXPECT_EQ(t.ExistsByName("LATHE"), mill);
  EXPECT_EQ(t.Update(mill, "", 6, "", "", 0), 1);
  EXPECT_EQ(Rows(DbPath("KELVMA.DBF")).size(), 3u);
}

TEST_F(MachineTest, Lists) {
  long lathe = Add("LATHE", 3);
  long mill = Add("MILL", 4);
  long drill = Add("DRILL", 3);
  TcbMachTable t("KELVMA.DBF", 0, 0);
  t.DeleteById(drill);
  MemoryList list;
  t.FillNameList(&list);
  EXPECT_EQ(list.lines, (std::vector<std::string>{"LATHE", "MILL"}));
  t.FillList(&list);
  EXPECT_EQ(list.lines[1], "MILL" + std::string(96, ' ') + " @@" + std::to_string(mill));
  t.FillListWithType(&list);
  EXPECT_EQ(list.lines[0], "LATHE" + std::string(95, ' ') + " @@" + std::to_string(lathe) + "$$3");
  EXPECT_EQ(ListLineSecondId(list.lines[0].c_str()), 3);
  t.FillListOfType(&list, 3);
  ASSERT_EQ(list.lines.size(), 1u);
  EXPECT_EQ(ListLineId(list.lines[0].c_str()), lathe);
  t.FillListOfType(&list, 0);  // type 0 leaves the list as it was
  EXPECT_EQ(list.lines.size(), 1u);

  TcbMachRecord* byType = t.SelectByType(4);
  ASSERT_NE(byType, nullptr);
  EXPECT_EQ(byType->ID, mill);
  EXPECT_EQ(byType->next, nullptr);
  EXPECT_EQ(t.SelectByType(9), nullptr);
}

TEST_F(MachineTest, OlderLayoutsKeepEveryLiveRow) {
  std::vector<DbFieldInfo> eleven(kLayout.begin(), kLayout.begin() + 5);
  for (const char* n : {"X6", "X7", "X8", "X9", "X10", "X11"}) eleven.push_back({n, 'C', 10, 0});
  struct Case {
    std::vector<DbFieldInfo> fields;
    std::vector<DbTagInfo> tags;
  } cases[] = {
      {std::vector<DbFieldInfo>(kLayout.begin(), kLayout.begin() + 5),
       {{"ID", "ID", nullptr, 20, 0}, {"NAME", "NAME", nullptr, 20, 0}}},
      {eleven, {{"ID", "ID", nullptr, 20, 0}, {"X6", "X6", nullptr, 0, 0}}},
      {std::vector<DbFieldInfo>(eleven.begin(), eleven.begin() + 8), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fields.size());
    std::vector<std::string> a = {"7", "2", "LATHE", "turning", "C:\\L\\", "x", "x", "x", "x", "x", "x"};
    std::vector<std::string> b = {"8", "2", "OLD", "gone", "C:\\O\\", "x", "x", "x", "x", "x", "x"};
    std::vector<std::string> m = {"9", "3", "MILL", "milling", "C:\\M\\", "x", "x", "x", "x", "x", "x"};
    for (auto* row : {&a, &b, &m}) row->resize(c.fields.size());
    MakeFile("KELVMA.DBF", c.fields, {a, b, m}, c.tags, {false, true, false});
    TcbMachTable t("KELVMA.DBF", 0, 0);
    ASSERT_EQ(t.Upgrade(), 1);
    EXPECT_EQ(kvdb::PeerLayout(Root(), DbPath("KELVMA.DBF")), kvdb::LayoutText(kLayout, 2));
    auto rows = Rows(DbPath("KELVMA.DBF"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (std::vector<std::string>{" ", "9", "3", "MILL", "milling", "C:\\M\\", "F"}));
    EXPECT_EQ(t.ExistsByName("MILL"), 9);
    EXPECT_TRUE(plat::message_box_log().empty());
  }
  std::string before = kvdb::ReadFileBytes(DbPath("KELVMA.DBF"));
  TcbMachTable t("KELVMA.DBF", 0, 0);
  EXPECT_EQ(t.Upgrade(), 1);
  EXPECT_EQ(kvdb::ReadFileBytes(DbPath("KELVMA.DBF")), before);
}

TEST_F(MachineTest, AFailedUpgradeLeavesTheOldFile) {
  // Two machines of one name: the new unique tag refuses the second, so
  // the file keeps its old layout and both rows, and the user is told.
  std::vector<DbFieldInfo> five(kLayout.begin(), kLayout.begin() + 5);
  MakeFile("KELVMA.DBF", five, {{"7", "2", "LATHE", "a", "C:\\A\\"}, {"8", "2", "LATHE", "b", "C:\\B\\"}},
           {{"ID", "ID", nullptr, 20, 0}});
  std::string before = kvdb::ReadFileBytes(DbPath("KELVMA.DBF"));
  TcbMachTable t("KELVMA.DBF", 0, 0);
  EXPECT_EQ(t.Upgrade(), 0);
  EXPECT_EQ(kvdb::ReadFileBytes(DbPath("KELVMA.DBF")), before);
  EXPECT_EQ(Rows(DbPath("KELVMA.DBF")).size(), 2u);
  EXPECT_FALSE(plat::message_box_log().empty());
}

}  // namespace
