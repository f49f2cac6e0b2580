// System log, log types and change criteria: appends with consecutive ids
// and today's date, list lines by type, deletes, and the criteria lists.
#include <memory>

#include "db_fixture.h"
#include "dbmodel/changecrit.h"
#include "dbmodel/counter.h"
#include "dbmodel/idname.h"
#include "dbmodel/syslog.h"
#include "engine/convert.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

class LogTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    MakeCounters();
    CreateTable<TLogTable>("LOG00000.DBF");
    CreateTable<TcbLogChangeTable>("LOG00004.DBF");
  }
  long Append(long type, const std::string& text, long stat = 0) {
    TLogRecord r;
    r.TYPE = type;
    r.STAT = stat;
    CopyCut(r.TEXT, sizeof r.TEXT, text.c_str());
    CopyCut(r.DATE, sizeof r.DATE, "01/01-1990");  // not stored
    TLogTable t("LOG00000.DBF", 0, 0);
    EXPECT_EQ(t.Append(&r), 1);
    return r.ID;
  }
  static std::string Today() {
    char d[9] = {}, shown[16] = {};
    date_today(d);
    date_format(d, shown, "DD/MM-CCYY");
    return shown;
  }
};

TEST_F(LogTest, AppendsAndListsByType) {
  long a = Append(4, "x");
  long b = Append(1, std::string(250, 'T'), -7);
  long c = Append(2, "sent");
  EXPECT_EQ(b, a + 1);
  EXPECT_EQ(c, b + 1);
  TLogTable t("LOG00000.DBF", 0, 0);
  MemoryList list;
  t.FillListOfType(4, &list);
  ASSERT_EQ(list.lines.size(), 1u);
  std::string line = Today() + ",        0 , x" + std::string(199, ' ') + ", @@" + std::to_string(a);
  EXPECT_EQ(list.lines[0], line);
  EXPECT_EQ(list.lines[0].size(), 227u + std::to_string(a).size());
  t.FillListOfTwoTypes(1, 2, &list);
  ASSERT_EQ(list.lines.size(), 2u);
  EXPECT_EQ(ListLineId(list.lines[1].c_str()), c);
  std::unique_ptr<TLogRecord> r(t.FindById(b));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(std::string(r->TEXT), std::string(200, 'T'));  // cut to the field
  EXPECT_EQ(r->STAT, -7);
  EXPECT_EQ(r->DATE, Today());
  EXPECT_EQ(t.Data(), nullptr);
  EXPECT_EQ(t.DeleteById(b), 1);
  EXPECT_EQ(t.DeleteById(999), 0);
  t.FillListOfTwoTypes(1, 2, &list);
  EXPECT_EQ(list.lines.size(), 1u);
  t.FillList(&list);
  EXPECT_EQ(list.lines.size(), 2u);
  t.FillListOfType(0, &list);
  EXPECT_TRUE(list.lines.empty());
  EXPECT_EQ(list.selected, 0);
}

TEST_F(LogTest, ListLinesOfStoredEntries) {
  MakeFile("OLDLOG.DBF", {{"ID", 'N', 10, 0}, {"TYPE", 'N', 10, 0}, {"STAT", 'N', 10, 0},
                          {"TEXT", 'C', 200, 0}, {"DATE", 'D', 8, 0}},
           {{"17", "5", "0", "x", "19980305"}, {"18", "5", "0", "y", ""}});
  TLogTable t("OLDLOG.DBF", 0, 0);
  MemoryList list;
  t.FillList(&list);
  ASSERT_EQ(list.lines.size(), 2u);
  EXPECT_EQ(list.lines[0], "05/03-1998,        0 , x" + std::string(199, ' ') + ", @@17");
  EXPECT_EQ(list.lines[0].size(), 229u);
  EXPECT_EQ(list.lines[1].substr(0, 12), "  /  -    , ");  // a blank date shows the picture
}

TEST_F(LogTest, ChangeCriteria) {
  TcbLogChangeTable t("LOG00004.DBF", 0, 0);
  MemoryList l1, l2, l3;
  t.FillThreeLists(&l1, &l2, &l3, 8);
  for (auto* l : {&l1, &l2, &l3}) {
    EXPECT_EQ(l->lines, std::vector<std::string>{""});
    EXPECT_EQ(l->selected, 0);
  }
  MemoryList shown;
  long a = t.Add(8, "  Feed changed", &shown);
  long b = t.Add(8, std::string(60, 'N').c_str(), &shown);
  long other = t.Add(9, "Tool", nullptr);
  ASSERT_GT(a, 0);
  EXPECT_EQ(shown.lines.size(), 2u);
  EXPECT_EQ(shown.selected, 1);  // the new criterion
  EXPECT_EQ(shown.lines[0], "Feed changed" + std::string(88, ' ') + ", @@" + std::to_string(a));
  t.FillListOfType(&l1, 8);
  EXPECT_EQ(l1.lines, shown.lines);
  std::unique_ptr<char[]> name(t.GetName(b));
  EXPECT_EQ(std::string(name.get()), std::string(50, 'N'));
  EXPECT_EQ(t.Rename(a, "Speed"), 1);
  EXPECT_EQ(t.Rename(a, nullptr), 0);
  EXPECT_EQ(t.DeleteById(a), 1);
  t.FillThreeLists(&l1, &l2, &l3, 8);
  EXPECT_EQ(l3.lines.size(), 2u);
  EXPECT_EQ(ListLineId(l3.lines[0].c_str()), b);
  // A deleted criterion still has its name for the versions that use it.
  name.reset(t.GetName(a));
  EXPECT_STREQ(name.get(), "Speed");
  EXPECT_EQ(t.GetName(12345), nullptr);
  EXPECT_EQ(t.DeleteAllOfType(8), 1);
  t.FillListOfType(&l1, 9);
  EXPECT_EQ(ListLineId(l1.lines[0].c_str()), other);
  t.FillListOfType(&l1, 8);
  EXPECT_TRUE(l1.lines.empty());
  EXPECT_EQ(t.Data(), nullptr);
}

}  // namespace
