// Layout upgrades of the program-index files (each old layout, made here
// from its field list) and the tape-style program directory.
#include <filesystem>

#include "db_fixture.h"
#include "layout_peer.h"
#include "dbmodel/filetable.h"
#include "platform/clock.h"

namespace {

using kvdb::DbTest;

const std::vector<DbFieldInfo> kCurrent = {
    {"NCID", 'N', 10, 0},   {"DESC", 'C', 40, 0},   {"DIR", 'C', 100, 0},  {"NAME", 'C', 8, 0},
    {"EXT", 'C', 3, 0},     {"PART", 'C', 25, 0},   {"DRAW", 'C', 25, 0},  {"CUST", 'N', 10, 0},
    {"MID", 'N', 10, 0},    {"MAT", 'N', 10, 0},    {"PROJECT", 'N', 10, 0}, {"MACHINE", 'C', 25, 0},
    {"CHAR3", 'C', 50, 0},  {"LONG1", 'N', 10, 0},  {"MEMOSTR", 'M', 10, 0}, {"LOCK", 'L', 1, 0},
    {"PROG", 'N', 10, 0},   {"MAZAK", 'L', 1, 0},   {"SENT", 'N', 10, 0}};

const std::vector<DbTagInfo> kNcidTag = {{"NCID", "NCID", nullptr, 20, 0}};

std::vector<std::string> OldRow(const std::string& id, size_t n) {
  std::vector<std::string> row = {id,  "DESC " + id, "C:\\NC\\", "P" + id, "NC", "PART", "DRAW",
                                  "4", "3",          "2",        "5",      "MILL", "FREE", id,
                                  "memo of " + id,   "T",        "77",     "T"};
  row.resize(n);
  return row;
}

class UpgradeTest : public DbTest {
 protected:
  std::string Today() {
    plat::SystemTime now = plat::local_time();
    return FormatText("%04d%02d%02d", now.year, now.month, now.day);
  }
  int FieldCount(const std::string& path) {
    DbDataFile* d = data_open(DbContext, path.c_str());
    if (!d) return -1;
    int n = data_num_fields(d);
    data_close(d);
    return n;
  }
};

TEST_F(UpgradeTest, NarrowLayoutsGainTheirFields) {
  struct Case {
    size_t n;
    const char* lock;
    const char* prog;
    const char* mazak;
  } cases[] = {
      {15, "F", "-1", "F"},
      {17, "T", "77", "F"},
      {18, "T", "77", "T"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    std::filesystem::remove_all(Root() + "/db");
    std::filesystem::create_directories(Root() + "/db");
    std::vector<DbFieldInfo> fields(kCurrent.begin(), kCurrent.begin() + c.n);
    MakeFile("KELVBACK.DBF", fields, {OldRow("1", c.n), OldRow("2", c.n), OldRow("3", c.n)},
             kNcidTag, {false, true, false});
    TcbFileTable t("KELVBACK.DBF", 0, 0);
    EXPECT_EQ(t.Upgrade(), 1);
    auto rows = Rows(DbPath("KELVBACK.DBF"));
    ASSERT_EQ(rows.size(), 2u);  // the deleted row is not carried
    for (size_t i = 0; i < 2; i++) {
      const auto& row = rows[i];
      ASSERT_EQ(row.size(), 20u);
      std::string id = i == 0 ? "1" : "3";
      std::vector<std::string> want = {" ", id, "DESC " + id, "C:\\NC\\", "P" + id, "NC", "PART", "DRAW",
                                       "4", "3", "2", "5", "MILL", "FREE", id, "memo of " + id,
                                       c.lock, c.prog, c.mazak, "0"};
      EXPECT_EQ(row, want);
    }
    std::unique_ptr<TcbFileRecord> r(t.FindById(3));  // the tag came along
    t.Close();
    EXPECT_NE(r, nullptr);
    EXPECT_EQ(FieldCount(Root() + "/db/" + Today() + "/kelvback.dbf"), static_cast<int>(c.n));
    EXPECT_EQ(t.Upgrade(), 2);
  }
  // An independent reader sees the new layout and the carried values.
  std::string script =
      "import dbfread,sys\n"
      "t=dbfread.DBF(sys.argv[1])\n"
      "print(','.join(t.field_names))\n"
      "for r in t: print(r['NCID'],r['LOCK'],r['PROG'],r['MAZAK'],r['SENT'])\n";
  auto out = kvdb::RunPeerScript(Root(), "peer.py", script, DbPath("KELVBACK.DBF"));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out,
            "NCID,DESC,DIR,NAME,EXT,PART,DRAW,CUST,MID,MAT,PROJECT,MACHINE,CHAR3,LONG1,MEMOSTR,"
            "LOCK,PROG,MAZAK,SENT\n1 True 77 True 0\n3 True 77 True 0\n");
}

TEST_F(UpgradeTest, CurrentAndUnknownLayoutsAreLeftAlone) {
  MakeFile("KELVFILE.DBF", kCurrent, {OldRow("1", 18)}, kNcidTag);
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  EXPECT_EQ(t.Upgrade(), 2);
  EXPECT_FALSE(std::filesystem::exists(Root() + "/db/" + Today()));

  std::vector<DbFieldInfo> sixteen(kCurrent.begin(), kCurrent.begin() + 16);
  MakeFile("KELVLOCK.DBF", sixteen, {OldRow("1", 16)});
  std::string before = kvdb::ReadFileBytes(DbPath("KELVLOCK.DBF"));
  TcbFileTable odd("KELVLOCK.DBF", 0, 0);
  EXPECT_EQ(odd.Upgrade(), 0);
  EXPECT_EQ(kvdb::ReadFileBytes(DbPath("KELVLOCK.DBF")), before);

  TcbFileTable missing("KELVAUTO.DBF", 0, 0);
  EXPECT_EQ(missing.Upgrade(), 0);
}

TEST_F(UpgradeTest, WideLayoutKeepsItsChosenFields) {
  // Old wide layout of 40 fields: 1-11 as now, 15 MACHINE, 21 CHAR3,
  // 23 LONG1, 28 the memo, 39 the old number carried into LONG1.
  std::vector<std::string> names;
  for (int i = 1; i <= 40; i++) names.push_back(FormatText("X%02d", i));
  std::vector<DbFieldInfo> fields;
  for (int i = 0; i < 40; i++) fields.push_back({names[i].c_str(), 'C', 5, 0});
  for (int i = 0; i < 11; i++) fields[i] = kCurrent[i];
  fields[14] = {"MACHINE", 'C', 25, 0};
  fields[20] = {"CHAR3", 'C', 50, 0};
  fields[22] = {"LONG1", 'N', 10, 0};
  fields[27] = {"MEMOSTR", 'M', 10, 0};
  fields[38] = {"OLDNUM", 'N', 10, 0};
  fields[3] = {"NAME", 'C', 8, 0};
  auto row = [](const std::string& id) {
    std::vector<std::string> r(40, "zz");
    std::vector<std::string> head = {id, "WIDE " + id, "C:\\NC\\", "P" + id, "NC", "PART", "DRAW",
                                     "4", "3", "2", "5"};
    for (size_t i = 0; i < head.size(); i++) r[i] = head[i];
    r[14] = "  LATHE";
    r[20] = "CHAR3 TEXT";
    r[22] = "999";
    r[27] = "old memo";
    r[38] = "4711";
    return r;
  };
  std::vector<DbTagInfo> tags = {{"NCID", "NCID", nullptr, 20, 0}, {"CUST", "CUST", nullptr, 0, 0},
                                 {"DESC", "DESC", nullptr, 0, 0},  {"MID", "MID", nullptr, 0, 0},
                                 {"X13", "X13", nullptr, 0, 0}};
  MakeFile("KELVFILE.DBF", fields, {row("1"), row("2")}, tags, {false, true});
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  EXPECT_EQ(t.Upgrade(), 1);
  auto rows = Rows(DbPath("KELVFILE.DBF"));
  ASSERT_EQ(rows.size(), 1u);
  std::vector<std::string> want = {" ", "1", "WIDE 1", "C:\\NC\\", "P1", "NC", "PART", "DRAW", "4",
                                   "3", "2", "5", "LATHE", "CHAR3 TEXT", "4711", "old memo", "T",
                                   "-1", "F", "0"};
  EXPECT_EQ(rows[0], want);
  DbDataFile* d = data_open(DbContext, DbPath("KELVFILE.DBF").c_str());
  ASSERT_NE(d, nullptr);
  const char* wantNames[] = {"NCID", "DESC", "DIR", "NAME", "EXT", "PART", "DRAW", "CUST", "MID",
                             "MAT", "PROJECT", "MACHINE", "CHAR3", "LONG1", "MEMOSTR", "LOCK",
                             "PROG", "MAZAK", "SENT"};
  for (int i = 0; i < 19; i++) EXPECT_STREQ(field_name(data_field_at(d, i + 1)), wantNames[i]);
  DbContext->report_tag_errors = 0;
  EXPECT_NE(data_tag_find(d, "NCID"), nullptr);
  EXPECT_EQ(data_tag_find(d, "CUST"), nullptr);
  EXPECT_EQ(data_tag_find(d, "DESC"), nullptr);
  DbContext->report_tag_errors = 1;
  data_close(d);
  code_error_set(DbContext, 0);
}

TEST_F(UpgradeTest, AnOlderCopyOfTheSameDayIsNotUsedAsTheSource) {
  std::vector<DbFieldInfo> fields(kCurrent.begin(), kCurrent.begin() + 15);
  MakeFile("KELVDNCT.DBF", fields, {OldRow("1", 15)}, kNcidTag);
  TcbFileTable early("KELVDNCT.DBF", 0, 0);
  std::string copy = early.SetAsideFiles();
  ASSERT_FALSE(copy.empty());
  std::string firstCopy = kvdb::ReadFileBytes(Root() + "/db/" + Today() + "/kelvdnct.dbf");
  // A row stored after that copy was made.
  MakeFile("KELVDNCT.DBF", fields, {OldRow("1", 15), OldRow("2", 15)}, kNcidTag);
  TcbFileTable t("KELVDNCT.DBF", 0, 0);
  EXPECT_EQ(t.Upgrade(), 1);
  EXPECT_EQ(Rows(DbPath("KELVDNCT.DBF")).size(), 2u);
  EXPECT_EQ(kvdb::ReadFileBytes(Root() + "/db/" + Today() + "/kelvdnct.dbf"), firstCopy);
}

TEST_F(UpgradeTest, AFailedRebuildPutsTheOldFilesBack) {
  // The memo file lost its blocks: the rows cannot be carried whole.
  std::vector<DbFieldInfo> fields(kCurrent.begin(), kCurrent.begin() + 17);
  MakeFile("KELVDNCF.DBF", fields, {OldRow("1", 17), OldRow("2", 17)}, kNcidTag);
  std::string memo = kvdb::ReadFileBytes(DbPath("KELVDNCF.DBT")).substr(0, 512);
  kvdb::WriteFileBytes(DbPath("KELVDNCF.DBT"), memo);
  std::string before = kvdb::ReadFileBytes(DbPath("KELVDNCF.DBF"));
  std::string index = kvdb::ReadFileBytes(DbPath("KELVDNCF.MDX"));
  DbContext->silent_errors = 1;
  TcbFileTable t("KELVDNCF.DBF", 0, 0);
  EXPECT_EQ(t.Upgrade(), -1);
  DbContext->silent_errors = 0;
  EXPECT_EQ(kvdb::ReadFileBytes(DbPath("KELVDNCF.DBF")), before);
  EXPECT_EQ(kvdb::ReadFileBytes(DbPath("KELVDNCF.DBT")), memo);
  EXPECT_EQ(kvdb::ReadFileBytes(DbPath("KELVDNCF.MDX")), index);
  ASSERT_EQ(plat::message_box_log().size(), 1u);
  EXPECT_NE(plat::message_box_log()[0].text.find("KELVDNCF.DBF"), std::string::npos);
  EXPECT_EQ(DbContext->safety, 1);
}

TEST_F(UpgradeTest, AFailedSetAsideLeavesTheFileAsItWas) {
  std::vector<DbFieldInfo> fields(kCurrent.begin(), kCurrent.begin() + 15);
  MakeFile("KELVAUTO.DBF", fields, {OldRow("1", 15)}, kNcidTag);
  kvdb::WriteFileBytes(Root() + "/db/" + Today(), "a file where the dated directory would go");
  std::string before = kvdb::ReadFileBytes(DbPath("KELVAUTO.DBF"));
  TcbFileTable t("KELVAUTO.DBF", 0, 0);
  EXPECT_EQ(t.Upgrade(), -1);
  EXPECT_EQ(kvdb::ReadFileBytes(DbPath("KELVAUTO.DBF")), before);
  EXPECT_EQ(plat::message_box_log().size(), 1u);
}

class TapeTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    std::filesystem::create_directories(Root() + "/nc");
    CreateTable<TcbFileTable>("KELVFILE.DBF");
  }
  void Program(long id, const char* desc, long mid, const std::string* content) {
    TcbFileRecord r;
    r.NCID = id;
    r.MID = mid;
    CopyCut(r.DESC, sizeof r.DESC, desc);
    CopyCut(r.DIR, sizeof r.DIR, (Root() + "/nc/").c_str());
    std::snprintf(r.NAME, sizeof r.NAME, "P%ld", id);
    std::strcpy(r.EXT, "NC");
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    ASSERT_EQ(t.Append(&r), 1);
    if (content) kvdb::WriteFileBytes(Root() + "/nc/P" + std::to_string(id) + ".NC", *content);
  }
  static std::string Sized(size_t n, const std::string& head = "%\n") {
    std::string s = head;
    s.resize(n, 'X');
    return s;
  }
};

TEST_F(TapeTest, DirectoryText) {
  std::string thousand = Sized(1000), exact = Sized(512), begin = Sized(100, "0 BEGIN PGM 1 MM\n%");
  std::string noPercent = Sized(100, "G01 X1\n"), pgm = Sized(100, "%PGM");
  Program(1, "ABC", 3, &thousand);
  Program(2, "TENCHARSXY", 3, &exact);
  Program(3, "BEGINS", 3, &begin);
  Program(4, "MISSING", 3, nullptr);
  Program(5, "PLAIN", 3, &noPercent);
  Program(6, "PGMX", 3, &pgm);
  Program(7, "AAA", 3, &thousand);
  Program(8, "OTHER", 4, &thousand);
  {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    delete t.DeleteById(7);
  }
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  std::string text = t.WriteTapeDirectory(3);
  std::string want = std::string("DABC           2\r\n") + "DTENCHARSXY      2" + "\r\n" +
                     "FREE:   65534\r\nUSED:     100\r\n\x03";
  EXPECT_EQ(text, want);
  EXPECT_EQ(t.Data(), nullptr);
}

TEST_F(TapeTest, EmptyAndMissingDirectories) {
  std::string begin = Sized(100, "%\nBEGIN");
  Program(1, "A", 3, &begin);
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  EXPECT_EQ(t.WriteTapeDirectory(3), "\r\nFREE:   65534\r\nUSED:     100\r\n\x03");
  EXPECT_EQ(t.WriteTapeDirectory(9), "");
  TcbFileTable missing("NONE.DBF", 0, 0);
  EXPECT_EQ(missing.WriteTapeDirectory(3), "");
}

TEST_F(TapeTest, ManyProgramsAllFit) {
  // More entries than an old 20000-byte text held.
  std::string small = Sized(10);
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  for (long id = 1; id <= 1200; id++) {
    TcbFileRecord r;
    r.NCID = id;
    r.MID = 3;
    std::snprintf(r.DESC, sizeof r.DESC, "P%04ld", id);
    CopyCut(r.DIR, sizeof r.DIR, (Root() + "/nc/").c_str());
    std::snprintf(r.NAME, sizeof r.NAME, "P%ld", id);
    std::strcpy(r.EXT, "NC");
    ASSERT_EQ(t.AppendBatch(&r), 1);
    kvdb::WriteFileBytes(Root() + "/nc/P" + std::to_string(id) + ".NC", small);
  }
  t.Close();
  std::string text = t.WriteTapeDirectory(3);
  EXPECT_EQ(text.size(), 1200u * 18 + 2 + 31);
  EXPECT_EQ(text.substr(1199 * 18, 18), "DP1200         1\r\n");
}

}  // namespace
