// Auto-import definitions: defaults, finds, changes, the list and the
// upgrades of the 17- and 19-field layouts.
#include "db_fixture.h"
#include "dbmodel/autoimp.h"
#include "layout_peer.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

std::vector<DbFieldInfo> Layout(size_t n) {
  std::vector<DbFieldInfo> f = {{"ID", 'N', 10, 0},       {"METHOD", 'N', 10, 0},
                                {"TIMEOUT", 'N', 10, 0},  {"MACHINE", 'N', 10, 0},
                                {"CUSTOMER", 'N', 10, 0}, {"PROJECT", 'N', 10, 0},
                                {"MACH", 'C', 25, 0},     {"NAME", 'C', 25, 0},
                                {"PATH", 'C', 200, 0},    {"MEPA", 'C', 200, 0},
                                {"EXT", 'C', 3, 0},       {"MEMO", 'C', 3, 0},
                                {"FILEMASK", 'C', 8, 0},  {"PROGID", 'C', 40, 0},
                                {"REPLACE", 'L', 1, 0},   {"RUN", 'L', 1, 0},
                                {"BACKUP", 'L', 1, 0},    {"EXPAND", 'L', 1, 0},
                                {"EXWITH", 'C', 2, 0},    {"MINDESC", 'L', 1, 0}};
  f.resize(n);
  return f;
}

class AutoImpTest : public DbTest {
 protected:
  std::string Path() { return DbPath("AUTOIMP.DBF"); }
  void SetUp() override {
    DbTest::SetUp();
    CreateTable<TcbAutoImpTable>("AUTOIMP.DBF");
  }
  void Add(long id, const char* name) {
    TcbAutoImpTable t("AUTOIMP.DBF", 0, 0);
    ASSERT_EQ(t.NewRecord(), 1);
    std::unique_ptr<TcbAutoImpRecord> r(t.made);
    r->ID = id;
    CopyCut(r->NAME, sizeof r->NAME, name);
    CopyCut(r->PATH, sizeof r->PATH, std::string(200, 'P').c_str());
    r->EXPAND = 1;
    CopyCut(r->EXWITH, sizeof r->EXWITH, "6");
    ASSERT_EQ(t.Add(r.get()), 1);
  }
};

TEST_F(AutoImpTest, NewRecordsAndChanges) {
  EXPECT_EQ(kvdb::PeerLayout(Root(), Path()), kvdb::LayoutText(Layout(20), 0));
  TcbAutoImpTable t("AUTOIMP.DBF", 0, 0);
  ASSERT_EQ(t.NewRecord(), 1);
  std::unique_ptr<TcbAutoImpRecord> fresh(t.made);
  EXPECT_EQ(fresh->TIMEOUT, 5);
  EXPECT_EQ(fresh->REPLACE + fresh->RUN + fresh->BACKUP, 3);
  EXPECT_EQ(fresh->EXPAND + fresh->MINDESC, 0);

  Add(3, "WATCH");
  Add(4, "OTHER");
  std::unique_ptr<TcbAutoImpRecord> r(t.FindById(3));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(t.Data(), nullptr);
  EXPECT_EQ(std::string(r->PATH), std::string(200, 'P'));
  EXPECT_EQ(r->EXPAND, 1);
  EXPECT_STREQ(r->EXWITH, "6");
  EXPECT_EQ(t.FindById(99), nullptr);
  EXPECT_EQ(t.Data(), nullptr);

  CopyCut(r->NAME, sizeof r->NAME, "RENAMED");
  r->MINDESC = 1;
  EXPECT_EQ(t.Update(r.get()), 1);
  r->ID = 99;
  EXPECT_EQ(t.Update(r.get()), 0);
  std::unique_ptr<TcbAutoImpRecord> back(t.FindById(3));
  EXPECT_STREQ(back->NAME, "RENAMED");
  EXPECT_EQ(back->MINDESC, 1);

  // A taken id is refused and reported.
  Add(5, "X");
  ASSERT_EQ(t.NewRecord(), 1);
  std::unique_ptr<TcbAutoImpRecord> dup(t.made);
  dup->ID = 5;
  EXPECT_EQ(t.Add(dup.get()), 0);

  {
    TcbAutoImpTable del("AUTOIMP.DBF", 0, 0);
    del.DeleteById(4);
  }
  MemoryList list;
  t.FillList(&list);
  ASSERT_EQ(list.lines.size(), 2u);
  EXPECT_EQ(list.lines[0], "RENAMED" + std::string(93, ' ') + "@@3");
  TcbAutoImpRecord* all = t.LoadAllDetached();
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(t.First(), nullptr);
  EXPECT_NE(all->next, nullptr);
  FreeRecordList(all);
}

TEST_F(AutoImpTest, OlderLayoutsGainTheirFields) {
  struct Case {
    size_t n;
    const char* expand;
    const char* exwith;
  } cases[] = {{17, "F", ""}, {19, "T", "4"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    std::vector<std::string> row = {"3", "1", "6", "7", "8", "9", "LATHE", "WATCH", "C:\\IN\\",
                                    "C:\\MEMO\\", "NC", "TXT", "P*", "FIXED", "T", "F", "T", "T", "4"};
    std::vector<std::string> gone = row;
    gone[0] = "4";
    row.resize(c.n);
    gone.resize(c.n);
    MakeFile("AUTOIMP.DBF", Layout(c.n), {row, gone}, {{"ID", "ID", nullptr, 20, 0}}, {false, true});
    TcbAutoImpTable t("AUTOIMP.DBF", 0, 0);
    ASSERT_EQ(t.Upgrade(), 1);
    EXPECT_EQ(kvdb::PeerLayout(Root(), Path()), kvdb::LayoutText(Layout(20), 1));
    std::unique_ptr<TcbAutoImpRecord> r(t.FindById(3));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->TIMEOUT, 6);
    EXPECT_STREQ(r->MEPA, "C:\\MEMO\\");
    EXPECT_STREQ(r->PROGID, "FIXED");
    EXPECT_EQ(r->RUN, 0);
    EXPECT_EQ(r->EXPAND, c.expand[0] == 'T');
    EXPECT_STREQ(r->EXWITH, c.exwith);
    EXPECT_EQ(r->MINDESC, 0);
  }
  std::string before = kvdb::ReadFileBytes(Path());
  TcbAutoImpTable t("AUTOIMP.DBF", 0, 0);
  EXPECT_EQ(t.Upgrade(), 1);
  EXPECT_EQ(kvdb::ReadFileBytes(Path()), before);
}

}  // namespace
