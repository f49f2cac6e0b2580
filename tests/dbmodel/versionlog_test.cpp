// Program version log: versions added with user and time, the lists of a
// program newest first, the latest version, and the upgrades of the older
// layouts that keep every live row.
#include <memory>

#include "db_fixture.h"
#include "dbmodel/counter.h"
#include "dbmodel/versionlog.h"

namespace {

using kvdb::DbTest;
using kvdb::MemoryList;

class VersionLogTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    MakeCounters();
    Globals->UserFirstName.Set("Ada");
    Globals->UserLastName.Set("Lovelace");
  }
  void CreateLog() {
    TLog00002Table t("LOG00002.DBF", 0, 0);
    t.Create(DbPath("LOG00002.DBF").c_str());
  }
  long Add(long type, long program, const char* text, const char* memo, long reason1 = 0) {
    TLog00002Record r;
    r.TYPE = type;
    r.PROGRAM = program;
    r.REASON01 = reason1;
    r.SEND = 4;
    CopyCut(r.TEXT, sizeof r.TEXT, text);
    r.SetMemo(memo);
    TLog00002Table t("LOG00002.DBF", 0, 0);
    EXPECT_EQ(t.Add(&r), 1);
    return r.ID;
  }
  static std::vector<long> Ids(const MemoryList& l) {
    std::vector<long> ids;
    for (const auto& line : l.lines) ids.push_back(ListLineId(line.c_str()));
    return ids;
  }
  // The old layouts: the first n fields of the current one.
  void MakeOld(int n, const std::vector<std::vector<std::string>>& rows, const std::vector<bool>& deleted) {
    std::vector<DbFieldInfo> all = {
        {"ID", 'N', 10, 0},       {"TYPE", 'N', 10, 0},     {"PROGRAM", 'N', 10, 0}, {"REVISION", 'N', 10, 0},
        {"TEXT", 'C', 50, 0},     {"DATE", 'D', 8, 0},      {"MEMO", 'M', 10, 0},    {"REASON01", 'N', 10, 0},
        {"REASON02", 'N', 10, 0}, {"REASON03", 'N', 10, 0}, {"USERNAME", 'C', 50, 0}, {"TIME", 'C', 5, 0},
        {"SEND", 'N', 10, 0}};
    all.resize(n);
    MakeFile("LOG00002.DBF", all, rows, {{"ID", "ID", nullptr, 20, 0}}, deleted);
  }
};

TEST_F(VersionLogTest, ListsAndLatestVersion) {
  CreateLog();
  long a = Add(1, 10, "first", "note one", 7);
  long b = Add(2, 10, "second", nullptr);
  long c = Add(1, 11, "other program", nullptr);
  long d = Add(1, 10, "third", "note three");
  TLog00002Table t("LOG00002.DBF", 0, 0);
  std::unique_ptr<TLog00002Record> r(t.FindById(a));
  ASSERT_NE(r, nullptr);
  t.Close();
  EXPECT_STREQ(r->USERNAME, "Ada Lovelace");
  EXPECT_EQ(std::strlen(r->TIME), 5u);
  EXPECT_EQ(r->TIME[2], ':');
  EXPECT_EQ(r->SEND, 4);
  EXPECT_EQ(r->REASON01, 7);
  EXPECT_STREQ(r->MEMO, "note one");

  MemoryList list;
  t.FillListOfProgram(1, 10, &list);
  EXPECT_EQ(Ids(list), (std::vector<long>{d, a}));
  EXPECT_EQ(list.lines[0], FormatText("%-12s, %-200s@@%ld", r->DATE, "third", d));
  t.FillList(10, &list);
  EXPECT_EQ(Ids(list), (std::vector<long>{d, b, a}));

  long reasons[4] = {9, 9, 9, 9};
  std::string date, time, user, memo = "untouched";
  EXPECT_EQ(t.ReadOfProgram(10, &reasons[0], &reasons[1], &reasons[2], &reasons[3], &date, &time, &user, &memo), 1);
  EXPECT_EQ(reasons[3], 1);
  EXPECT_EQ(memo, "note three");
  EXPECT_EQ(user, "Ada Lovelace");
  EXPECT_EQ(t.DeleteById(d), 1);
  EXPECT_EQ(t.ReadOfProgram(10, &reasons[0], &reasons[1], &reasons[2], &reasons[3], &date, &time, &user, &memo), 1);
  EXPECT_EQ(memo, "");  // version b has no note
  EXPECT_EQ(reasons[3], 2);
  memo = "untouched";
  EXPECT_EQ(t.ReadOfProgram(99, &reasons[0], &reasons[1], &reasons[2], &reasons[3], &date, &time, &user, &memo), 0);
  EXPECT_EQ(reasons[0] + reasons[1] + reasons[2] + reasons[3], 0);
  EXPECT_EQ(memo, "untouched");

  EXPECT_EQ(t.BumpSendOfLast(11), 1);
  r.reset(t.FindById(c));
  t.Close();
  EXPECT_EQ(r->SEND, 5);
  EXPECT_EQ(t.DeleteLastOfProgram(11), 1);
  EXPECT_EQ(t.DeleteLastOfProgram(12), 0);
  EXPECT_EQ(t.DeleteAllOfProgram(10), 1);
  t.FillList(10, &list);
  EXPECT_TRUE(list.lines.empty());
  EXPECT_EQ(t.DeleteById(12345), 0);
}

TEST_F(VersionLogTest, FillListOrdersByIdWhateverTheRecordOrder) {
  MakeOld(13, {{"9", "1", "10", "0", "late id"}, {"4", "1", "10", "0", "early id"}}, {});
  TLog00002Table t("LOG00002.DBF", 0, 0);
  MemoryList list;
  t.FillList(10, &list);
  EXPECT_EQ(Ids(list), (std::vector<long>{9, 4}));
  t.FillListOfProgram(1, 10, &list);
  EXPECT_EQ(Ids(list), (std::vector<long>{4, 9}));  // newest row first
}

TEST_F(VersionLogTest, UpgradesKeepEveryLiveRow) {
  for (int n : {7, 10, 11, 12}) {
    SCOPED_TRACE(n);
    std::vector<std::string> full = {"5", "2", "10", "8", "old text", "19980305", "a note",
                                     "1", "2", "3", "Old User", "09:15", "6"};
    std::vector<std::string> row(full.begin(), full.begin() + n);
    std::vector<std::string> gone(row);
    gone[0] = "6";
    MakeOld(n, {row, gone}, {false, true});
    TLog00002Table t("LOG00002.DBF", 0, 0);
    EXPECT_EQ(t.Upgrade(), 1);
    auto rows = Rows(DbPath("LOG00002.DBF"));
    ASSERT_EQ(rows.size(), 1u);  // the deleted row is not carried over
    std::vector<std::string> expect = {" "};
    for (int i = 0; i < 13; i++) expect.push_back(i < n ? full[i] : (i == 10 || i == 11) ? "" : "0");
    EXPECT_EQ(rows[0], expect);
    EXPECT_EQ(t.Upgrade(), 1);
    EXPECT_EQ(Rows(DbPath("LOG00002.DBF")), rows);
  }
}

TEST_F(VersionLogTest, CurrentLayoutIsLeftAndEmptyOldFileRebuilt) {
  CreateLog();
  Add(1, 10, "x", nullptr);
  std::string before = kvdb::ReadFileBytes(DbPath("LOG00002.DBF"));
  TLog00002Table t("LOG00002.DBF", 0, 0);
  EXPECT_EQ(t.Upgrade(), 1);
  EXPECT_EQ(kvdb::ReadFileBytes(DbPath("LOG00002.DBF")), before);

  MakeOld(7, {}, {});
  EXPECT_EQ(t.Upgrade(), 1);
  DbDataFile* d = data_open(DbContext, DbPath("LOG00002.DBF").c_str());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(data_num_fields(d), 13);
  data_close(d);
  // Versions can be added to the rebuilt file.
  EXPECT_GT(Add(1, 10, "after", nullptr), 0);
}

}  // namespace
