// Database profiles: the default profile, finds, list lines, changes, the
// automatic profile and the upgrades of the four older layouts.
#include <filesystem>

#include "db_fixture.h"
#include "dbmodel/counter.h"
#include "dbmodel/profile.h"
#include "layout_peer.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

std::vector<DbFieldInfo> CurrentLayout() {
  std::vector<DbFieldInfo> f = {{"VERSION", 'N', 3, 0}, {"ID", 'N', 10, 0}, {"F03", 'C', 40, 0},
                                {"F04", 'C', 200, 0},   {"F05", 'C', 200, 0}, {"F06", 'C', 200, 0},
                                {"F07", 'C', 200, 0},   {"LOCAL", 'N', 1, 0}, {"AUTO", 'N', 1, 0}};
  for (const char* n : {"F10", "F11", "F12", "F13", "F14", "F15", "F16", "F17"})
    f.push_back({n, 'C', 200, 0});
  for (DbFieldInfo x : std::vector<DbFieldInfo>{{"F18", 'C', 50, 0}, {"F19", 'C', 50, 0},
                                                {"F20", 'C', 3, 0},  {"F21", 'L', 1, 0},
                                                {"F22", 'C', 200, 0}, {"F23", 'C', 50, 0},
                                                {"F24", 'C', 50, 0}, {"F25", 'C', 3, 0},
                                                {"F26", 'L', 1, 0},  {"F27", 'L', 1, 0}})
    f.push_back(x);
  return f;
}

class ProfileTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    Globals->BaseDir = "C:\\KV\\";
    MakeCounters();
  }
  std::string Path() { return DbPath("KELVDATA.DBF"); }
  void CreateFile() {
    TcbDataTable t("KELVDATA.DBF", 0, 0);
    ASSERT_EQ(t.Create(Path().c_str()), 1);
  }
  long AddUser(const char* name) {
    TcbDataTable t("KELVDATA.DBF", 0, 0);
    EXPECT_EQ(t.Add(name, "\\\\SRV\\DB\\", "B\\", "P\\", "V\\", "T\\", "F\\", "I", "E", 0, "SRV",
                    "SHARE", "K"),
              1);
    MemoryList list;
    t.FillList(&list);
    return ListLineId(list.lines.back().c_str());
  }
  std::unique_ptr<TcbDataRecord> Read(long id) {
    TcbDataTable t("KELVDATA.DBF", 0, 0);
    return std::unique_ptr<TcbDataRecord>(t.ReadById(id));
  }
};

TEST_F(ProfileTest, CreateWritesTheDefaultProfileOnce) {
  CreateFile();
  std::string first = kvdb::ReadFileBytes(Path());
  CreateFile();
  EXPECT_EQ(kvdb::ReadFileBytes(Path()), first);
  EXPECT_EQ(kvdb::PeerLayout(Root(), Path()), kvdb::LayoutText(CurrentLayout(), 1));

  auto r = Read(-5000);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->VERSION, 351);
  EXPECT_STREQ(r->NAME, "Local Database");
  EXPECT_STREQ(r->DBDIR, "C:\\KV\\KELVACFG\\DB31\\");
  EXPECT_STREQ(r->DNCFAILDIR, "C:\\KV\\KELVACFG\\DNCFAIL\\");
  EXPECT_STREQ(r->IMPORTDIR, "C:\\KV\\KELVACFG\\IMPORT");
  EXPECT_STREQ(r->EXPORTDIR, "C:\\KV\\KELVACFG\\EXPORT");
  EXPECT_EQ(r->LOCAL, 1);
  EXPECT_EQ(r->AUTO, 1);
  EXPECT_EQ(r->NETWARE, 0);
  auto rows = Rows(Path());
  EXPECT_EQ(rows[0][21], "F");
  EXPECT_EQ(rows[0][26], "F");
  EXPECT_EQ(rows[0][27], "F");
}

TEST_F(ProfileTest, CreateFillsAnExistingEmptyFile) {
  // Made without its tag, as a file copied from elsewhere may be: the find
  // by id still works, quietly.
  MakeFile("KELVDATA.DBF", CurrentLayout(), {});
  CreateFile();
  ASSERT_EQ(Rows(Path()).size(), 1u);
  EXPECT_NE(Read(-5000), nullptr);
  EXPECT_EQ(Read(-4999), nullptr);
  EXPECT_TRUE(plat::message_box_log().empty());
}

TEST_F(ProfileTest, AddListUpdateAndDelete) {
  CreateFile();
  long id = AddUser("SHOP");
  EXPECT_EQ(id, 3);  // first id of a fresh counter
  auto r = Read(id);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->VERSION, 34);
  EXPECT_EQ(r->LOCAL, 0);
  EXPECT_EQ(r->AUTO, 0);
  EXPECT_STREQ(r->SERVER, "SRV");
  EXPECT_STREQ(r->DRIVE, "K");

  MemoryList list;
  TcbDataTable t("KELVDATA.DBF", 0, 0);
  t.FillList(&list);
  ASSERT_EQ(list.lines.size(), 2u);
  EXPECT_EQ(list.lines[1], "SHOP" + std::string(96, ' ') + "@@3");
  EXPECT_EQ(list.selected, 0);

  // Update keeps version, id and the marks and writes every given value.
  ASSERT_EQ(t.Update(id, "OFFICE", "D\\", "", "", "", "", "", "", "", 1, "", "", ""), 1);
  r = Read(id);
  EXPECT_EQ(r->VERSION, 34);
  EXPECT_EQ(r->AUTO, 0);
  EXPECT_STREQ(r->NAME, "OFFICE");
  EXPECT_STREQ(r->BACKUPDIR, "");
  EXPECT_STREQ(r->SERVER, "");
  EXPECT_EQ(r->NETWARE, 1);
  EXPECT_EQ(t.Update(12345, "X", "D", "", "", "", "", "", "", "", 0, "", "", ""), 0);

  struct Case {
    long id;
    int result;
  } cases[] = {{0, 0}, {999, 0}, {-5000, 1}, {id, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(t.DeleteById(c.id), c.result);
    if (c.id == id) {
      EXPECT_EQ(Rows(Path())[1][0], "*");
    }
  }
  EXPECT_EQ(Rows(Path())[0][0], " ");  // the local profile stays
  t.FillList(&list);
  EXPECT_EQ(list.lines.size(), 1u);
  EXPECT_EQ(t.Add(nullptr, "D", "", "", "", "", "", "", "", 0, "", "", ""), 0);
  EXPECT_EQ(t.Data(), nullptr);
}

TEST_F(ProfileTest, AutomaticProfile) {
  CreateFile();
  long a = AddUser("A");
  long b = AddUser("B");
  TcbDataTable t("KELVDATA.DBF", 0, 0);
  std::unique_ptr<TcbDataRecord> r(t.FindAuto());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->ID, -5000);

  t.SetAutoProfile(b);
  r.reset(t.FindAuto());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->ID, b);

  // A deleted profile keeps its mark but is never taken.
  ASSERT_EQ(t.DeleteById(b), 1);
  EXPECT_EQ(t.FindAuto(), nullptr);
  t.SetAutoProfile(777);
  EXPECT_EQ(t.FindAuto(), nullptr);
  for (const auto& row : Rows(Path())) EXPECT_EQ(row[9], "0");

  // Two marked rows: the first in record order wins.
  DbDataFile* d = data_open(DbContext, Path().c_str());
  for (long n : {2L, 1L}) {
    data_go(d, n);
    FieldRef(d, 9).assignLong(1);
  }
  data_close(d);
  r.reset(t.FindAuto());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->ID, -5000);
  (void)a;
}

// Old layouts: positions 1-13 as now, then the layout's own.
std::vector<DbFieldInfo> OldLayout(int n) {
  std::vector<DbFieldInfo> all = CurrentLayout();
  std::vector<DbFieldInfo> f(all.begin(), all.begin() + 13);
  if (n == 20) {
    for (DbFieldInfo x : std::vector<DbFieldInfo>{{"SRV", 'C', 50, 0}, {"SHR", 'C', 50, 0},
                                                  {"DRV", 'C', 3, 0},  {"X17", 'C', 200, 0},
                                                  {"X18", 'C', 20, 0}, {"X19", 'C', 20, 0},
                                                  {"X20", 'C', 20, 0}})
      f.push_back(x);
  } else {
    f.insert(f.end(), all.begin() + 13, all.begin() + (n == 17 ? 17 : n));
  }
  return f;
}

std::vector<std::string> OldRow(int n, const std::string& name, const std::string& autoMark) {
  std::vector<std::string> row = {"34", "77", name, "DB\\", "BK\\", "TMP\\", "FAIL\\", "1", autoMark,
                                  "PIC\\", "VID\\", "IMP", "EXP"};
  if (n == 17) row.insert(row.end(), {"a", "b", "c", "d"});
  if (n == 20) row.insert(row.end(), {"SERVER", "SHARE", "Q", "x", "x", "x", "x"});
  if (n >= 25)
    row.insert(row.end(), {"a", "b", "c", "d", "SERVER", "SHARE", "Q", "T", "TEXT22", "T23", "T24",
                           "T25"});
  if (n == 26) row.push_back("T");
  return row;
}

TEST_F(ProfileTest, OlderLayoutsAreCarriedOver) {
  struct Case {
    int n;
    const char* server;
    const char* f21;
    const char* f22;
    const char* f26;
  } cases[] = {{17, "", "F", "", "F"},
               {20, "SERVER", "F", "", "F"},
               {25, "SERVER", "T", "TEXT22", "F"},
               {26, "SERVER", "T", "TEXT22", "T"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    std::filesystem::remove_all(Root() + "/db");
    std::filesystem::create_directories(Root() + "/db");
    MakeFile("KELVDATA.DBF", OldLayout(c.n),
             {OldRow(c.n, "ONE", "0"), OldRow(c.n, "GONE", "0"), OldRow(c.n, "TWO", "1")}, {},
             {false, true, false});
    TcbDataTable t("KELVDATA.DBF", 0, 0);
    ASSERT_EQ(t.Upgrade(), 1);
    auto rows = Rows(Path());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(kvdb::PeerLayout(Root(), Path()), kvdb::LayoutText(CurrentLayout(), 2));
    EXPECT_EQ(rows[0][1], "350");
    EXPECT_EQ(rows[0][2], "-5000");
    EXPECT_EQ(rows[1][2], "-4999");
    EXPECT_EQ(rows[0][3], "ONE");
    EXPECT_EQ(rows[1][3], "TWO");
    EXPECT_EQ(rows[1][9], "1");  // AUTO travels with its profile
    EXPECT_EQ(rows[0][13], "EXP");
    EXPECT_EQ(rows[0][14], "");  // reserved positions are dropped
    EXPECT_EQ(rows[0][18], c.server);
    EXPECT_EQ(rows[0][21], c.f21);
    EXPECT_EQ(rows[0][22], c.f22);
    EXPECT_EQ(rows[0][26], c.f26);
    EXPECT_EQ(rows[0][27], "F");
    std::unique_ptr<TcbDataRecord> autoRow(t.FindAuto());
    ASSERT_NE(autoRow, nullptr);
    EXPECT_STREQ(autoRow->NAME, "TWO");
  }
}

TEST_F(ProfileTest, EmptyOldFileGetsTheDefaultProfile) {
  MakeFile("KELVDATA.DBF", OldLayout(25), {});
  TcbDataTable t("KELVDATA.DBF", 0, 0);
  ASSERT_EQ(t.Upgrade(), 1);
  auto r = Read(-5000);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->VERSION, 351);
  EXPECT_EQ(Rows(Path()).size(), 1u);
}

TEST_F(ProfileTest, OtherFieldCountsAreLeftAlone) {
  for (int n : {27, 18, 19, 21, 24, 28}) {
    SCOPED_TRACE(n);
    std::vector<DbFieldInfo> f = CurrentLayout();
    f.resize(std::min(n, 27));
    if (n == 28) f.push_back({"F28", 'C', 5, 0});
    MakeFile("KELVDATA.DBF", f, {{"34", "9", "KEEP"}});
    std::string before = kvdb::ReadFileBytes(Path());
    TcbDataTable t("KELVDATA.DBF", 0, 0);
    EXPECT_EQ(t.Upgrade(), 1);
    EXPECT_EQ(kvdb::ReadFileBytes(Path()), before);
  }
  TcbDataTable missing("NONE.DBF", 0, 0);
  EXPECT_EQ(missing.Upgrade(), 0);
}

}  // namespace
