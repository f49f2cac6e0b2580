// Table base: path choice, record list, set-aside copies, list filling,
// structure copies and the text helpers.
#include <filesystem>

#include "db_fixture.h"
#include "dbmodel/idname.h"
#include "platform/clock.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

// A table that keeps the base's record reader, as the counter table does.
class BareTable : public TCodeTB {
 public:
  using TCodeTB::TCodeTB;
  int Create(const char*) override { return 1; }
};

TEST(TrimCopyTest, TrimsAndCuts) {
  struct Case {
    const char* src;
    const char* want;
  } cases[] = {
      {"  \tABC  ", "ABC"},
      {"ABC", "ABC"},
      {"   ", ""},
      {nullptr, ""},
      {"A B  ", "A B"},
      {"0123456789", "01234"},  // cut to the buffer of 6
  };
  for (const auto& c : cases) {
    char buf[6] = "xxxxx";
    TrimCopy(buf, c.src);
    EXPECT_STREQ(buf, c.want) << (c.src ? c.src : "(null)");
  }
  TrimCopy(nullptr, 5, "A");  // a null destination does nothing
}

TEST(TrimCopyTest, BlankHelpers) {
  char a[] = "AB CD ";
  EXPECT_EQ(CutAtFirstBlank(a), 1);
  EXPECT_STREQ(a, "AB");
  char b[] = "AB CD   ";
  EXPECT_EQ(TrimTrailingBlanks(b), 1);
  EXPECT_STREQ(b, "AB CD");
  char c[] = "    ";
  TrimTrailingBlanks(c);
  EXPECT_STREQ(c, "");
  char e[] = "";
  TrimTrailingBlanks(e);
  EXPECT_STREQ(e, "");
  EXPECT_EQ(CutAtFirstBlank(nullptr), 0);
  EXPECT_EQ(TrimTrailingBlanks(nullptr), 0);
}

TEST(ListLineTest, ReadsIds) {
  struct Case {
    const char* line;
    long first, second;
  } cases[] = {
      {"NAME   @@12\xA3\xA3" "34", 12, 34},
      {"NAME @@7$$9", 7, 9},
      {"NAME @@x", 0, 0},
      {"NAME without id", 0, 0},
      {"A @@-3", -3, 0},
      {"@@5 tail @@6", 5, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ListLineId(c.line), c.first) << c.line;
    EXPECT_EQ(ListLineSecondId(c.line), c.second) << c.line;
  }
}

TEST(ListLineTest, TypedMarkersCannotPoseAsIds) {
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"A@@5", "A@ 5"},
      {"COST$$9", "COST$ 9"},
      {"X\xA3\xA3" "1", "X\xA3 1"},
      {"OP\xA7\xA7" "7", "OP\xA7 7"},
      {"A@B$C", "A@B$C"},
      {"@@@", "@ @"},
  };
  for (const auto& c : cases) EXPECT_EQ(ListLineText(c.text), c.want) << c.text;
  std::string line = ListLineText("A@@5") + "@@12";
  EXPECT_EQ(ListLineId(line.c_str()), 12);
}

TEST(QuoteTest, PicksADelimiterTheTextLacks) {
  struct Case {
    const char* text;
    bool ok;
    const char* quoted;
  } cases[] = {
      {"ABC", true, "'ABC'"},
      {"O'NEIL", true, "\"O'NEIL\""},
      {"5\" O'", true, "[5\" O']"},
      {"A'B\"C[D", false, ""},
      {"A'B\"C]", false, ""},
  };
  for (const auto& c : cases) {
    std::string q;
    EXPECT_EQ(QuoteFilterText(c.text, q), c.ok) << c.text;
    EXPECT_EQ(q, c.quoted) << c.text;
  }
}

TEST_F(DbTest, PathChoice) {
  Globals->DatabaseDir = "C:\\DB\\";
  Globals->AlternateDir = "C:\\ALT";
  Globals->LocalDir = "C:\\LOC\\";
  struct Case {
    const char* name;
    int alt, local;
    const char* want;
  } cases[] = {
      {"A:\\KELVMD32.DBF", 0, 0, "A:\\KELVMD32.DBF"},
      {"A:\\KELVMD32.DBF", 1, 1, "A:\\KELVMD32.DBF"},
      {"KELVFILE.DBF", 0, 0, "C:\\DB\\KELVFILE.DBF"},
      {"KELVDATA.DBF", 1, 0, "C:\\ALT\\KELVDATA.DBF"},
      {"USER0001.DBF", 0, 1, "C:\\LOC\\USER0001.DBF"},
      {"USER0001.DBF", 1, 1, "C:\\LOC\\USER0001.DBF"},
      {"\\X.DBF", 0, 0, "C:\\DB\\\\X.DBF"},
  };
  for (const auto& c : cases) {
    BareTable t(c.name, c.alt, c.local);
    EXPECT_STREQ(t.FileName(), c.want) << c.name;
  }
  BareTable none(nullptr, 0, 0);
  EXPECT_EQ(none.FileName(), nullptr);
  EXPECT_EQ(none.Open(), 0);
  Globals->DatabaseDir.clear();
  BareTable bare("X.DBF", 0, 0);
  EXPECT_STREQ(bare.FileName(), "X.DBF");
}

TEST_F(DbTest, LoadAllSkipsDeletedRowsAndClosesTheFile) {
  MakeFile("T.DBF", {{"ID", 'N', 10, 0}, {"NAME", 'C', 50, 0}},
           {{"1", "A"}, {"2", "B"}, {"3", "C"}}, {}, {true, false, true});
  TcbIdAndNameTable t("T.DBF", 0, 0);
  auto* head = static_cast<TcbIdAndNameRecord*>(t.LoadAll());
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(head->ID, 2);
  EXPECT_EQ(head->next, nullptr);
  EXPECT_EQ(t.Data(), nullptr);
  // A second call appends to the list it holds.
  t.LoadAll();
  ASSERT_NE(head->next, nullptr);
  EXPECT_EQ(head->next->prev, head);
  EXPECT_EQ(t.Last(), head->next);

  MakeFile("D.DBF", {{"ID", 'N', 10, 0}, {"NAME", 'C', 50, 0}}, {{"1", "A"}}, {}, {true});
  TcbIdAndNameTable all("D.DBF", 0, 0);
  EXPECT_EQ(all.LoadAll(), nullptr);
  EXPECT_EQ(all.Data(), nullptr);
}

TEST_F(DbTest, LoadAllWithTheBaseReaderGivesNothingAndStaysOpen) {
  MakeFile("T.DBF", {{"ID", 'N', 10, 0}}, {{"1"}});
  BareTable t("T.DBF", 0, 0);
  EXPECT_EQ(t.LoadAll(), nullptr);
  EXPECT_NE(t.Data(), nullptr);
}

TEST_F(DbTest, FillListFromField) {
  MakeFile("T.DBF", {{"ID", 'N', 10, 0}, {"NAME", 'C', 50, 0}},
           {{"1", "  LATHE"}, {"2", "MILL"}, {"3", "GONE"}}, {}, {false, false, true});
  MemoryList list;
  list.lines = {"old"};
  BareTable t("T.DBF", 0, 0);
  EXPECT_EQ(t.FillListFromField(&list, 2), 1);
  EXPECT_EQ(list.lines, (std::vector<std::string>{"  LATHE", "MILL"}));
  EXPECT_EQ(list.selected, 0);
  EXPECT_EQ(t.FillListFromField(&list, 0), 0);
  EXPECT_EQ(t.FillListFromField(nullptr, 2), 0);

  MakeFile("E.DBF", {{"NAME", 'C', 50, 0}}, {});
  BareTable e("E.DBF", 0, 0);
  EXPECT_EQ(e.FillListFromField(&list, 1), 1);
  EXPECT_TRUE(list.lines.empty());
  EXPECT_EQ(list.selected, 0);
}

TEST_F(DbTest, SetAsideKeepsTheFirstCopyOfTheDay) {
  MakeFile("KELVMT.DBF", {{"ID", 'N', 10, 0}, {"NAME", 'C', 50, 0}}, {{"1", "A"}},
           {{"ID", "ID", nullptr, 20, 0}});
  plat::SystemTime now = plat::local_time();
  std::string date = FormatText("%04d%02d%02d", now.year, now.month, now.day);
  std::string dir = Root() + "/db/" + date;

  TcbIdAndNameTable t("KELVMT.DBF", 0, 0);
  std::string first = t.SetAsideFiles();
  EXPECT_EQ(first, Globals->DatabaseDir.substr(0, Globals->DatabaseDir.size() - 1) + "\\" + date +
                       "\\kelvmt.dbf");
  EXPECT_TRUE(std::filesystem::exists(dir + "/kelvmt.dbf"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/kelvmt.mdx"));
  std::string before = kvdb::ReadFileBytes(dir + "/kelvmt.dbf");

  TcbIdAndNameRecord r;
  r.ID = 2;
  std::strcpy(r.NAME, "B");
  ASSERT_NE(t.Add(&r), nullptr);
  EXPECT_EQ(t.SetAsideFiles(), first);
  EXPECT_EQ(kvdb::ReadFileBytes(dir + "/kelvmt.dbf"), before);

  Globals->DatabaseDir = Root() + "/db";  // no trailing separator
  BareTable noExt("KELVMT", 0, 0);
  EXPECT_EQ(noExt.SetAsideFiles(), "");
}

TEST_F(DbTest, CopyStructureMakesAnEmptyFileOfTheLayout) {
  MakeFile("KELVMT.DBF", {{"ID", 'N', 10, 0}, {"NAME", 'C', 50, 0}}, {{"1", "A"}},
           {{"ID", "ID", nullptr, 20, 0}});
  std::filesystem::create_directories(Root() + "/copy");
  TcbIdAndNameTable t("KELVMT.DBF", 0, 0);
  EXPECT_EQ(t.CopyStructure((Root() + "/copy\\").c_str()), 1);
  auto rows = Rows(Root() + "/copy/KELVMT.DBF");
  EXPECT_TRUE(rows.empty());
  DbDataFile* d = data_open(DbContext, (Root() + "/copy/KELVMT.DBF").c_str());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(data_num_fields(d), 2);
  EXPECT_NE(data_tag_find(d, "ID"), nullptr);
  data_close(d);
  EXPECT_EQ(t.CopyStructure((Root() + "/missing").c_str()), 0);
  EXPECT_EQ(t.CopyStructure(nullptr), 0);
  EXPECT_EQ(t.Data(), nullptr);
}

TEST_F(DbTest, PackRemovesDeletedRows) {
  MakeFile("T.DBF", {{"ID", 'N', 10, 0}, {"NAME", 'C', 50, 0}}, {{"1", "A"}, {"2", "B"}}, {},
           {true, false});
  BareTable t("T.DBF", 0, 0);
  EXPECT_EQ(t.Pack(), 1);
  auto rows = Rows(DbPath("T.DBF"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], "2");
  BareTable missing("NONE.DBF", 0, 0);
  EXPECT_EQ(missing.Pack(), 0);
}

}  // namespace
