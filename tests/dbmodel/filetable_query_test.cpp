// Program index searches, bulk changes by customer and project, the list
// lines of a machine's programs and the configurable program list line.
#include "db_fixture.h"
#include "dbmodel/filetable.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

struct Prog {
  long id;
  const char* desc;
  long mid = 3;
  long cust = 0;
  long project = 0;
  const char* part = "";
  const char* draw = "";
  const char* char3 = "";
  long prog = -1;
};

class QueryTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    CreateTable<TcbFileTable>("KELVFILE.DBF");
  }
  void Store(const std::vector<Prog>& progs) {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    for (const auto& p : progs) {
      TcbFileRecord r;
      r.NCID = p.id;
      r.MID = p.mid;
      r.CUST = p.cust;
      r.PROJECT = p.project;
      r.PROG = p.prog;
      CopyCut(r.DESC, sizeof r.DESC, p.desc);
      CopyCut(r.PART, sizeof r.PART, p.part);
      CopyCut(r.DRAW, sizeof r.DRAW, p.draw);
      CopyCut(r.CHAR3, sizeof r.CHAR3, p.char3);
      ASSERT_EQ(t.Append(&r), 1);
    }
  }
  void Delete(long id) {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    delete t.DeleteById(id);
  }
  // Ids of a result list, in its order; the list is freed.
  static std::vector<long> Ids(TcbFileRecord* head) {
    std::vector<long> ids;
    for (TcbRecord* r = head; r; r = r->next) ids.push_back(static_cast<TcbFileRecord*>(r)->NCID);
    FreeRecordList(head);
    return ids;
  }
};

TEST_F(QueryTest, TextSearchModes) {
  Store({{1, "XABC"}, {2, "abcdef"}, {3, "ABC"}, {4, "ABX"}, {5, ""}, {6, "ABC"}});
  Delete(6);
  struct Case {
    const char* text;
    int mode;
    std::vector<long> want;
  } cases[] = {
      {"abc", kSearchExact, {3}},
      {"abc", kSearchStartsWith, {3, 2}},
      {"abc", kSearchContains, {3, 1, 2}},  // sorted by DESC as stored
      {"", kSearchStartsWith, {5, 3, 4, 1, 2}},
      {"", kSearchContains, {5, 3, 4, 1, 2}},
      {"", kSearchExact, {5}},
      {"zz", kSearchContains, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(FormatText("'%s' mode %d", c.text, c.mode));
    std::string text = c.text;
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    EXPECT_EQ(Ids(t.SelectByDesc(text.data(), c.mode)), c.want);
    EXPECT_EQ(t.Data(), nullptr);
  }
  char lower[] = "abc";
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  Ids(t.SelectByDesc(lower, 1));
  EXPECT_STREQ(lower, "ABC");  // the caller's text is upper-cased
  EXPECT_EQ(t.SelectByDesc(lower, 3), nullptr);
  EXPECT_EQ(t.SelectByDesc(nullptr, 1), nullptr);
  TcbFileTable missing("NONE.DBF", 0, 0);
  EXPECT_EQ(missing.SelectByDesc(lower, 1), nullptr);
}

TEST_F(QueryTest, OtherTextFields) {
  Store({{1, "A", 3, 0, 0, "SHAFT", "D-100", "turned"},
         {2, "B", 3, 0, 0, "SHAFT 2", "D-200", "milled and turned"},
         {3, "C", 3, 0, 0, "FLANGE", "X-100", ""}});
  char shaft[] = "shaft";
  char d1[] = "d-1";
  char turned[] = "TURNED";
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  EXPECT_EQ(Ids(t.SelectByPart(shaft, kSearchExact)), (std::vector<long>{1}));
  EXPECT_EQ(Ids(t.SelectByPart(shaft, kSearchStartsWith)), (std::vector<long>{1, 2}));
  EXPECT_EQ(Ids(t.SelectByDraw(d1, kSearchStartsWith)), (std::vector<long>{1}));
  char x100[] = "100";
  EXPECT_EQ(Ids(t.SelectByDraw(x100, kSearchContains)), (std::vector<long>{1, 3}));
  EXPECT_EQ(Ids(t.SelectByChar3(turned, kSearchContains)), (std::vector<long>{2, 1}));
  EXPECT_EQ(Ids(t.SelectByChar3(turned, kSearchExact)), (std::vector<long>{1}));
}

TEST_F(QueryTest, QuotesInSearchTexts) {
  Store({{1, "5\" O'CLOCK"}, {2, "O'NEIL"}, {3, "SAY \"HI\""}, {4, "[BRACKET]"}, {5, "PLAIN"}});
  struct Case {
    const char* text;
    int mode;
    std::vector<long> want;
  } cases[] = {
      {"\" o'", kSearchContains, {1}},
      {"o'", kSearchContains, {1, 2}},
      {"o'neil", kSearchExact, {2}},
      {"\"hi\"", kSearchContains, {3}},
      {"[bra", kSearchStartsWith, {4}},
      {"' OR .T. .OR. '", kSearchContains, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    EXPECT_EQ(Ids(t.SelectByDesc(text.data(), c.mode)), c.want);
  }
  EXPECT_TRUE(plat::message_box_log().empty());
  // A text holding every delimiter cannot be searched; the user is told.
  char all[] = "A'B\"C[D]";
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  EXPECT_EQ(t.SelectByDesc(all, kSearchContains), nullptr);
  EXPECT_EQ(plat::message_box_log().size(), 1u);
  EXPECT_EQ(t.SelectByDescAndMachine("A'B\"C[D]", 3), nullptr);
  EXPECT_EQ(t.Data(), nullptr);
}

TEST_F(QueryTest, DescriptionOnAMachine) {
  Store({{1, "SHAFT", 3}, {2, "SHAFT", 4}, {3, "SHAFTS", 3}, {4, "o'x", 3}});
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  EXPECT_EQ(Ids(t.SelectByDescAndMachine("shaft", 3)), (std::vector<long>{1}));
  EXPECT_EQ(Ids(t.SelectByDescAndMachine("O'X", 3)), (std::vector<long>{4}));
  char five[] = "shaft";
  EXPECT_EQ(t.DescExistsOnMachine(five, 3), 1);
  EXPECT_STREQ(five, "SHAFT");
  char other[] = "shaf";
  EXPECT_EQ(t.DescExistsOnMachine(other, 3), 0);
  char none[] = "shaft";
  EXPECT_EQ(t.DescExistsOnMachine(none, 5), 0);
  EXPECT_EQ(t.Data(), nullptr);
}

TEST_F(QueryTest, ByNumbersAndBulkChanges) {
  Store({{1, "B", 3, 10, 20}, {2, "A", 3, 10, 21}, {3, "C", 4, 11, 20}, {4, "D", 4, 10, 20},
         {5, "E", 5}});
  Delete(4);
  Delete(5);
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  EXPECT_EQ(Ids(t.SelectByCustomer(10)), (std::vector<long>{2, 1}));
  EXPECT_EQ(Ids(t.SelectByProject(20)), (std::vector<long>{1, 3}));
  EXPECT_EQ(Ids(t.SelectByMachine(4)), (std::vector<long>{3}));
  EXPECT_EQ(t.AnyProgramOfMachine(3), 1);
  EXPECT_EQ(t.AnyProgramOfMachine(9), 0);
  EXPECT_EQ(t.AnyProgramOfMachine(5), 0);  // a deleted row's machine is negated

  EXPECT_EQ(t.DetachCustomer(10), 1);
  auto rows = Rows(DbPath("KELVFILE.DBF"));
  for (size_t i : {0u, 1u, 3u}) {  // the deleted row too
    EXPECT_EQ(rows[i][8], "0") << i;
    EXPECT_EQ(rows[i][11], "0") << i;
  }
  EXPECT_EQ(rows[2][8], "11");
  EXPECT_EQ(t.DetachProject(20), 1);
  EXPECT_EQ(Rows(DbPath("KELVFILE.DBF"))[2][11], "0");
  EXPECT_EQ(Rows(DbPath("KELVFILE.DBF"))[2][8], "11");
}

TEST_F(QueryTest, MachineListLines) {
  Store({{12, "SHAFT", 3, 0, 0, "P1", "", "", -1}, {13, "AXLE", 3, 0, 0, "P0", "", "", 7},
         {14, "OTHER", 4}});
  MemoryList list;
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  t.FillListByDesc(3, &list);
  ASSERT_EQ(list.lines.size(), 2u);
  std::string axle = "AXLE" + std::string(36, ' ');  // the field as stored
  EXPECT_EQ(list.lines[0], axle + std::string(160, ' ') + "@@13\xA3\xA3" "7");
  EXPECT_EQ(list.lines[1].substr(200), "@@12\xA3\xA3-1");
  EXPECT_EQ(list.selected, 0);
  EXPECT_EQ(ListLineId(list.lines[1].c_str()), 12);
  EXPECT_EQ(ListLineSecondId(list.lines[0].c_str()), 7);

  t.FillListByPart(3, &list);
  ASSERT_EQ(list.lines.size(), 2u);
  EXPECT_EQ(list.lines[0], "P0" + std::string(48, ' ') + " - " + axle + " - " +
                               std::string(50, ' ') + "@@13\xA3\xA3" "7");
  t.FillListByDraw(3, &list);
  EXPECT_EQ(list.lines.size(), 2u);
  t.FillListByChar3(3, &list);
  EXPECT_EQ(list.lines.size(), 2u);

  t.FillListByDesc(0, &list);
  EXPECT_TRUE(list.lines.empty());
  EXPECT_EQ(list.selected, -2);  // cleared, nothing selected
}

TEST_F(QueryTest, ProgramListLine) {
  TcbFileRecord r;
  r.NCID = 12;
  std::strcpy(r.MACHINE, "MACHINE-NAME-OF-25-CHARS!");
  std::strcpy(r.DESC, "SHAFT");
  std::strcpy(r.PART, "PART");
  std::strcpy(r.DRAW, "DRAW");
  std::strcpy(r.CHAR3, "FREE");
  std::string tail = std::string(100, ' ') + " - @@12";
  auto pad = [](const char* s, size_t w) { return std::string(s) + std::string(w - std::strlen(s), ' ') + " - "; };

  std::string line = FormatProgramListLine(&r);
  EXPECT_EQ(line, pad("MACHINE-NAME-OF-25-C", 20) + pad("SHAFT", 40) + pad("PART", 25) +
                      pad("DRAW", 25) + pad("FREE", 50) + tail);
  EXPECT_STREQ(r.MACHINE, "MACHINE-NAME-OF-25-C");  // the record is cut too

  Globals->OfdColumn = {2, 1, 3, 4, 5};
  Globals->OfdWidth = {10, 5, 50, 1, 3};
  EXPECT_EQ(FormatProgramListLine(&r),
            pad("SHAFT", 10) + pad("MACHI", 5) + pad("PART", 50) + pad("D", 1) + pad("FRE", 3) + tail);
  EXPECT_EQ(ListLineId(line.c_str()), 12);
}

}  // namespace
