// Macros: a machine's list, names per machine, text changes, long texts and
// the upgrade of the older layout.
#include "db_fixture.h"
#include "dbmodel/counter.h"
#include "dbmodel/macro.h"
#include "layout_peer.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

class MacroTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    MakeCounters();
    CreateTable<TcbMacroTable>("KELVMACR.DBF");
  }
  long Add(const char* name, const char* text, long machine) {
    TcbMacroTable t("KELVMACR.DBF", 0, 0);
    TcbMacroRecord* r = t.Add(name, text, machine);
    long id = r ? r->ID : 0;
    delete r;
    return id;
  }
  std::string Text(long id) {
    TcbMacroTable t("KELVMACR.DBF", 0, 0);
    std::unique_ptr<TcbMacroRecord> r(t.FindById(id));
    return r && r->text ? r->text : "<none>";
  }
};

TEST_F(MacroTest, ListAndNamesPerMachine) {
  EXPECT_EQ(kvdb::PeerLayout(Root(), DbPath("KELVMACR.DBF")),
            kvdb::LayoutText({{"ID", 'N', 10, 0}, {"CONN", 'N', 10, 0}, {"NAME", 'C', 30, 0},
                              {"MEMOSTR", 'M', 10, 0}},
                             0));
  long a = Add("START", "G90", 7);
  long b = Add("END", "M30", 7);
  long c = Add("START", "G91", 8);
  long gone = Add("OLD", "M0", 7);
  TcbMacroTable t("KELVMACR.DBF", 0, 0);
  t.DeleteById(gone);

  MemoryList list;
  t.FillList(7, &list);
  EXPECT_EQ(list.lines, (std::vector<std::string>{"START" + std::string(75, ' ') + " @@" + std::to_string(a),
                                                  "END" + std::string(77, ' ') + " @@" + std::to_string(b)}));
  EXPECT_EQ(list.selected, -2);  // no line is selected
  t.FillList(0, &list);
  EXPECT_EQ(list.lines.size(), 2u);

  struct Case {
    long machine;
    const char* name;
    int found;
  } cases[] = {{7, "START", 1}, {8, "START", 1}, {9, "START", 0}, {8, "END", 0},
               {7, "OLD", 0},   {0, "START", 0}, {7, nullptr, 0},
               {7, "it's \"q\" [x]", 0}, {7, "O'Brien", 0}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name ? k.name : "null");
    EXPECT_EQ(t.FindByConnAndName(k.machine, k.name), k.found);
  }
  EXPECT_GT(Add("O'Brien", "G0", 7), 0);
  EXPECT_EQ(t.FindByConnAndName(7, "O'Brien"), 1);
  (void)c;
}

TEST_F(MacroTest, TextsAreKeptWhole) {
  std::string text(300, 'X');
  text += "  ";
  long id = Add("LONG", text.c_str(), 7);
  EXPECT_EQ(Text(id), text);
  TcbMacroTable t("KELVMACR.DBF", 0, 0);
  EXPECT_EQ(t.Update(id, ""), 0);
  EXPECT_EQ(t.Update(id, nullptr), 0);
  EXPECT_EQ(Text(id), text);
  EXPECT_EQ(t.Update(id, "G01\r\nG02"), 1);
  EXPECT_EQ(Text(id), "G01\r\nG02");
  EXPECT_EQ(t.Update(999, "x"), 0);
  EXPECT_EQ(t.Add("N", nullptr, 7), nullptr);
  EXPECT_EQ(t.Add("N", "x", 0), nullptr);
}

TEST_F(MacroTest, OlderLayoutMovesTheText) {
  MakeFile("KELVMACR.DBF",
           {{"ID", 'N', 10, 0}, {"CONN", 'N', 10, 0}, {"NAME", 'C', 30, 0}, {"X4", 'C', 5, 0},
            {"X5", 'N', 5, 0}, {"TEXT", 'M', 10, 0}},
           {{"5", "7", "FIRST", "a", "1", "G90 X0"}, {"6", "7", "GONE", "b", "2", "M0"},
            {"7", "8", "THIRD", "c", "3", "M30"}},
           {{"ID", "ID", nullptr, 20, 0}}, {false, true, false});
  TcbMacroTable t("KELVMACR.DBF", 0, 0);
  ASSERT_EQ(t.Upgrade(), 1);
  auto rows = Rows(DbPath("KELVMACR.DBF"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{" ", "5", "7", "FIRST", "G90 X0"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{" ", "7", "8", "THIRD", "M30"}));
  EXPECT_EQ(Text(7), "M30");
  std::string before = kvdb::ReadFileBytes(DbPath("KELVMACR.DBF"));
  EXPECT_EQ(t.Upgrade(), 1);
  EXPECT_EQ(kvdb::ReadFileBytes(DbPath("KELVMACR.DBF")), before);
}

}  // namespace
