// Cycles and their parameters: the 15 rows of a new cycle, list lines of
// defined and undefined parameters, names per machine, and the copy to
// another file that keeps every parameter.
#include <memory>
#include <set>

#include "appcore/message_ids.h"
#include "db_fixture.h"
#include "dbmodel/counter.h"
#include "dbmodel/cycle.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

class CycleTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    MakeCounters();
    for (const char* dir : {"", "floppy/"}) {
      TcbCycleTable t("x", 0, 0);
      t.Create(DbPath(std::string(dir) + "KELVCYC3.DBF").c_str());
      TcbParamTable p("x", 0, 0);
      if (*dir) std::filesystem::create_directories(DbPath("floppy"));
      p.Create(DbPath(std::string(dir) + "KELVCYC4.DBF").c_str());
    }
    Globals->MessageTexts.Set(kMsgParamUndefined, "not defined");
  }
  long NewCycle(long machine, const char* name) {
    TcbCycleTable t("KELVCYC3.DBF", 0, 0);
    long id = t.Add(machine, name);
    TcbParamTable p("KELVCYC4.DBF", 0, 0);
    EXPECT_EQ(p.Add(id), 1);
    return id;
  }
};

TEST_F(CycleTest, NewCycleListsFifteenUndefinedParameters) {
  long id = NewCycle(4, "  DRILL 81");
  ASSERT_GT(id, 0);
  TcbParamTable p("KELVCYC4.DBF", 0, 0);
  MemoryList list;
  p.FillList(id, &list);
  ASSERT_EQ(list.lines.size(), 15u);
  for (int n = 1; n <= 15; n++) {
    const std::string& line = list.lines[n - 1];
    EXPECT_EQ(line.substr(0, 18), FormatText("P:%02d - not defined", n));
    EXPECT_EQ(line.find("@@"), 7u + 138 + 1);
  }
  // Defining parameter 2: FLAG bit 0 set shows code and hint, FLAG 2 does not.
  TcbParamRecord* all = p.ReadOfOwner(id);
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(p.First(), nullptr);  // handed over
  auto* second = static_cast<TcbParamRecord*>(all->next);
  EXPECT_EQ(second->PNUMBER, 2);
  struct Case {
    long flag;
    std::string line;
  } cases[] = {
      {3, FormatText("P:02 - %-28s,%-110s @@%ld", "Q1", "Depth", second->ID)},
      {2, FormatText("P:02 - %-138s @@%ld", "not defined", second->ID)},
  };
  for (const auto& c : cases) {
    second->FLAG = c.flag;
    CopyCut(second->CODE, sizeof second->CODE, "Q1");
    CopyCut(second->HINT, sizeof second->HINT, "Depth");
    second->AUTO = -12.3456;
    second->DECI = 3;
    EXPECT_EQ(p.Update(second), 1);
    p.FillList(id, &list);
    EXPECT_EQ(list.lines[1], c.line);
  }
  std::unique_ptr<TcbParamRecord> back(p.FindById(second->ID));
  p.Close();
  EXPECT_DOUBLE_EQ(back->AUTO, -12.3456);
  EXPECT_EQ(back->DECI, 3);
  FreeRecordList(all);
  TcbCycleTable t("KELVCYC3.DBF", 0, 0);
  std::unique_ptr<TcbCycleRecord> c(t.FindById(id));
  t.Close();
  EXPECT_STREQ(c->NAME, "DRILL 81");
  EXPECT_EQ(c->CONN, 4);
}

TEST_F(CycleTest, NamesPerMachineAndDeletion) {
  long a = NewCycle(4, "POCKET");
  long b = NewCycle(4, "It's \"round\"");
  NewCycle(5, "OTHER");
  TcbCycleTable t("KELVCYC3.DBF", 0, 0);
  struct Case {
    long machine;
    const char* name;
    int found;
  } cases[] = {{4, "POCKET", 1}, {5, "POCKET", 0}, {0, "POCKET", 0}, {4, "POCK", 0},
               {4, "It's \"round\"", 1}, {4, nullptr, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(t.FindByConnAndName(c.machine, c.name), c.found) << c.machine << " " << (c.name ? c.name : "null");
  MemoryList list;
  t.FillList(4, &list);
  ASSERT_EQ(list.lines.size(), 2u);
  EXPECT_EQ(list.lines[0], "POCKET" + std::string(74, ' ') + "@@" + std::to_string(a));
  EXPECT_EQ(t.DeleteById(a), 1);
  TcbParamTable p("KELVCYC4.DBF", 0, 0);
  EXPECT_EQ(p.DeleteOfOwner(a), 1);
  t.FillList(4, &list);
  ASSERT_EQ(list.lines.size(), 1u);
  EXPECT_EQ(ListLineId(list.lines[0].c_str()), b);
  EXPECT_EQ(t.FindByConnAndName(4, "POCKET"), 0);  // the name is free again
  p.FillList(a, &list);
  EXPECT_TRUE(list.lines.empty());
  EXPECT_EQ(t.Rename(b, "ROUND"), 1);
  EXPECT_EQ(t.FindByConnAndName(4, "ROUND"), 1);
  EXPECT_EQ(t.DeleteById(999), 0);
}

TEST_F(CycleTest, CopiesKeepEveryParameter) {
  long id = NewCycle(4, "THREAD");
  const char* floppy3 = "floppy\\KELVCYC3.DBF";
  const char* floppy4 = "floppy\\KELVCYC4.DBF";
  long onFloppy = 0;
  // Export, then import the same cycle back twice: the parameter ids are
  // taken in the target the second time and get new ones.
  for (int round = 0; round < 3; round++) {
    bool toFloppy = round == 0;
    TcbParamTable from(toFloppy ? "KELVCYC4.DBF" : floppy4, 0, 0);
    TcbParamRecord* list = from.ReadOfOwner(toFloppy ? id : onFloppy);
    ASSERT_NE(list, nullptr);
    TcbCycleTable cycles(toFloppy ? floppy3 : "KELVCYC3.DBF", 0, 0);
    long target = cycles.Add(4, "THREAD");
    if (toFloppy) onFloppy = target;
    TcbParamTable to(toFloppy ? floppy4 : "KELVCYC4.DBF", 0, 0);
    EXPECT_EQ(to.AppendCopy(target, list), 1);
    TcbParamRecord* copied = to.ReadOfOwner(target);
    int n = 0;
    for (auto* r = copied; r; r = static_cast<TcbParamRecord*>(r->next)) EXPECT_EQ(r->PNUMBER, ++n);
    EXPECT_EQ(n, 15) << "round " << round;
    FreeRecordList(copied);
  }
  // Every parameter id of the database is still unique.
  std::set<std::string> ids;
  auto rows = Rows(DbPath("KELVCYC4.DBF"));
  for (const auto& r : rows) EXPECT_TRUE(ids.insert(r[8]).second) << r[8];
  EXPECT_EQ(rows.size(), 45u);
}

}  // namespace
