// A name or text a user typed with "@@" (or "$$") in it must not pose as
// the id marker of its list line: the dialogs read the id after the first
// marker and would change or delete another record.
#include <functional>
#include <memory>

#include "db_fixture.h"
#include "dbmodel/changecrit.h"
#include "dbmodel/customer.h"
#include "dbmodel/cycle.h"
#include "dbmodel/machine.h"
#include "dbmodel/macro.h"
#include "dbmodel/project.h"
#include "dbmodel/syslog.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

class ListMarkerTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    MakeCounters();
  }
};

TEST_F(ListMarkerTest, TypedMarkersDoNotNameAnotherRecord) {
  const char* typed = "A@@9$$8";
  struct Case {
    const char* table;
    std::function<long(MemoryList&)> fill;  // fills the list, gives the row's id
  };
  std::vector<Case> cases = {
      {"system log",
       [&](MemoryList& list) {
         CreateTable<TLogTable>("LOG00000.DBF");
         TLogRecord r;
         r.TYPE = 4;
         CopyCut(r.TEXT, sizeof r.TEXT, typed);
         TLogTable t("LOG00000.DBF", 0, 0);
         EXPECT_EQ(t.Append(&r), 1);
         t.FillListOfType(4, &list);
         return static_cast<long>(r.ID);
       }},
      {"customers",
       [&](MemoryList& list) {
         CreateTable<TcbAdvCustTable>("KELVCUS2.DBF");
         TcbAdvCustTable t("KELVCUS2.DBF", 0, 0);
         long id = t.Add(typed);
         t.FillList(&list);
         return id;
       }},
      {"projects",
       [&](MemoryList& list) {
         CreateTable<TcbProTable>("KELVPRO.DBF");
         TcbProTable t("KELVPRO.DBF", 0, 0);
         std::unique_ptr<TcbProRecord> r(t.Add(typed, 3));
         EXPECT_NE(r, nullptr);
         t.FillListOfCustomer(&list, 3);
         return r ? r->ID : -1;
       }},
      {"machines",
       [&](MemoryList& list) {
         CreateTable<TcbMachTable>("KELVMA.DBF");
         TcbMachTable t("KELVMA.DBF", 0, 0);
         EXPECT_EQ(t.Add(typed, 5, "", "", 0), 1);
         long id = t.ExistsByName(typed);
         t.Close();
         t.FillListWithType(&list);
         return id;
       }},
      {"macros",
       [&](MemoryList& list) {
         CreateTable<TcbMacroTable>("KELVMACR.DBF");
         TcbMacroTable t("KELVMACR.DBF", 0, 0);
         std::unique_ptr<TcbMacroRecord> r(t.Add(typed, "G0", 2));
         EXPECT_NE(r, nullptr);
         long id = r ? r->ID : -1;
         t.FillList(2, &list);
         return id;
       }},
      {"cycles",
       [&](MemoryList& list) {
         CreateTable<TcbCycleTable>("KELVCYC3.DBF");
         TcbCycleTable t("KELVCYC3.DBF", 0, 0);
         long id = t.Add(2, typed);
         t.FillList(2, &list);
         return id;
       }},
      {"change criteria",
       [&](MemoryList& list) {
         CreateTable<TcbLogChangeTable>("LOG00004.DBF");
         TcbLogChangeTable t("LOG00004.DBF", 0, 0);
         long id = t.Add(1, typed, nullptr);
         t.FillListOfType(&list, 1);
         return id;
       }},
  };
  for (const Case& c : cases) {
    MemoryList list;
    long id = c.fill(list);
    ASSERT_GT(id, 0) << c.table;
    ASSERT_EQ(list.lines.size(), 1u) << c.table;
    EXPECT_EQ(ListLineId(list.lines[0].c_str()), id) << c.table << ": " << list.lines[0];
  }
}

TEST_F(ListMarkerTest, MachineTypeAfterItsMarkerSurvivesATypedName) {
  CreateTable<TcbMachTable>("KELVMA.DBF");
  TcbMachTable t("KELVMA.DBF", 0, 0);
  ASSERT_EQ(t.Add("M$$8", 5, "", "", 0), 1);
  MemoryList list;
  t.FillListWithType(&list);
  ASSERT_EQ(list.lines.size(), 1u);
  EXPECT_EQ(ListLineSecondId(list.lines[0].c_str()), 5);
}

}  // namespace
