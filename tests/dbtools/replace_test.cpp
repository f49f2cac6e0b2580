// Replace drive and replace paths: only a drive prefix or a whole stored
// directory changes, in every table that stores one; deleted rows, other
// drives, relative directories and directories below stay; rows read back
// by python3-dbfread and Perl's XBase.
#include <gtest/gtest.h>

#include "dbtools/maintenance.h"
#include "dbtools/table_rewrite.h"
#include "platform/file.h"
#include "resources/dialogs/maintenance.h"
#include "appcore/log_text.h"
#include "tests/dbtools/import_fixture.h"

namespace {

struct DriveCase {
  const char* text;
  char from, to;
  const char* expected;  // nullptr: unchanged
};

TEST(ReplacedDrive, ChangesOnlyADrivePrefix) {
  const DriveCase cases[] = {
      {"D:\\NC\\", 'D', 'E', "E:\\NC\\"},  {"d:\\nc\\", 'D', 'e', "E:\\nc\\"}, {"D:\\NC\\", 'd', 'e', "E:\\NC\\"},
      {"DNC\\", 'D', 'E', nullptr},        {"dnc\\", 'd', 'E', nullptr},       {"E:\\NC\\", 'D', 'E', nullptr},
      {"D", 'D', 'E', nullptr},            {"", 'D', 'E', nullptr},            {"\\\\D:\\", 'D', 'E', nullptr},
  };
  for (const auto& c : cases) {
    auto got = ReplacedDrive(c.text, c.from, c.to);
    if (c.expected) {
      EXPECT_EQ(got.value_or("(none)"), c.expected) << c.text;
    } else {
      EXPECT_FALSE(got) << c.text << " -> " << *got;
    }
  }
}

TEST(ReplacedPath, ChangesOnlyTheWholeDirectory) {
  const std::string from = DirectoryKey("d:\\nc"), to = DirectoryKey("e:\\nc\\");
  EXPECT_EQ(from, "D:\\NC\\");
  EXPECT_EQ(to, "E:\\NC\\");
  const std::pair<const char*, const char*> cases[] = {
      {"D:\\NC\\", "E:\\NC\\"}, {"d:\\nc\\", "E:\\NC\\"}, {"D:\\NC\\MILL\\", nullptr},
      {"D:\\NC", nullptr},      {"D:\\NCX\\", nullptr},   {"X:\\D:\\NC\\", nullptr},
      {"D:\\NC\\ ", nullptr},  {"", nullptr},
  };
  for (const auto& [text, expected] : cases) {
    auto got = ReplacedPath(text, from, to);
    if (expected) {
      EXPECT_EQ(got.value_or("(none)"), expected) << text;
    } else {
      EXPECT_FALSE(got) << text;
    }
  }
  // Only ASCII letters fold: bytes above 127 match only themselves.
  const std::string accented = DirectoryKey("d:\\\xe9t\xe9");
  EXPECT_EQ(accented, "D:\\\xe9T\xe9\\");
  EXPECT_EQ(ReplacedPath("d:\\\xe9t\xe9\\", accented, to).value_or("(none)"), to);
  EXPECT_FALSE(ReplacedPath("D:\\\xc9T\xc9\\", accented, to));
}

class ReplaceTest : public kvimport::ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    RegisterMaintenanceCommands();
    CreateTable<TcbFileTable>("KELVDNCT.DBF");
    const char* dirs[] = {"d:\\nc\\", "D:\\NC\\", "DNC\\", "D:\\NC\\MILL\\", "E:\\OTHER\\", "D:\\NC\\"};
    for (long id = 1; id <= 6; ++id) {
      AddProgram("KELVFILE.DBF", id, id, "%\r\n");
      AddProgram("KELVDNCT.DBF", id, id, "%\r\n");
    }
    for (const char* table : {"KELVFILE.DBF", "KELVDNCT.DBF"}) {
      {
        TcbFileTable t(table, 0, 0);
        for (long id = 1; id <= 6; ++id) {
          TcbFileRecord* r = t.FindById(id);
          ASSERT_NE(r, nullptr);
          CopyCut(r->DIR, sizeof r->DIR, dirs[id - 1]);
          ASSERT_EQ(t.Update(r), 1);
          delete r;
        }
      }
      TcbFileTable t(table, 0, 0);
      delete t.DeleteById(6);  // a deleted row keeps its value
    }
    plat::clear_message_box_log();
  }
  void TearDown() override {
    for (UINT id : {kCmPack, kCmReindex, kCmReplaceDrive, kCmReplacePaths}) RegisterFrameCommand(id, nullptr);
    ImportTest::TearDown();
  }
  std::vector<std::string> Dirs(const std::string& table) {
    std::vector<std::string> dirs;
    for (const auto& row : PeerTable(DbPath(table))) dirs.push_back(row["DIR"]);
    return dirs;
  }
  // DIR of every row, in record order, as Perl's XBase reads it.
  std::vector<std::string> XBaseDirs(const std::string& table) {
    std::string out = kvtest::run_command("/usr/bin/perl " KV_SOURCE_DIR "/tests/engine/peers/xbase_dump.pl '" +
                                           DbPath(table) + "'");
    std::vector<std::string> dirs;
    std::size_t start = out.find('\n') + 1;
    for (std::size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1) {
      std::string line = out.substr(start, nl - start);
      std::size_t a = 0;
      for (int i = 0; i < 3; ++i) a = line.find('\t', a) + 1;  // flag, NCID, DESC
      std::string v = kvimport::Unhex(line.substr(a, line.find('\t', a) - a));
      v.erase(v.find_last_not_of(' ') + 1);
      dirs.push_back(v);
    }
    return dirs;
  }
  void AnswerDrives(const std::string& from, const std::string& to) {
    driver.expect_dialog(IDD_REPLACE_DRIVE, [from, to](TDialog& d) {
      plat::Pilot p(d);
      p.set_text(IDC_REPLACE_DRIVE_OLD, from);
      p.set_text(IDC_REPLACE_DRIVE_NEW, to);
      p.click(IDOK);
    });
  }
};

TEST_F(ReplaceTest, ReplaceDriveRewritesDrivePrefixesOfEveryTableInAnyCase) {
  AnswerDrives("d", "e");
  driver.expect_message_box(IDYES);
  driver.expect_message_box(IDOK);
  Run(kCmReplaceDrive);
  // dbfread lists live rows first: the deleted row (id 6) comes last.
  const std::vector<std::string> expected = {"E:\\nc\\", "E:\\NC\\", "DNC\\", "E:\\NC\\MILL\\", "E:\\OTHER\\",
                                             "D:\\NC\\"};
  for (const char* table : {"KELVFILE.DBF", "KELVDNCT.DBF"}) {
    EXPECT_EQ(Dirs(table), expected) << table;
    EXPECT_EQ(XBaseDirs(table), expected) << table;
  }
  auto boxes = driver.message_boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].text.find("D:"), std::string::npos);
  EXPECT_NE(boxes[1].text.find(FormatLogValues(Globals->GetMessageText(kMsgRewriteSummary), {"6", "0"})),
            std::string::npos)
      << boxes[1].text;
}

TEST_F(ReplaceTest, NothingChangesWithoutAYesOrWithTheSameDrive) {
  for (const char* table : {"KELVFILE.DBF", "KELVDNCT.DBF"})
    ASSERT_TRUE(plat::copy_file(DbPath(table), DbPath(table) + ".BEFORE", false));
  AnswerDrives("D", "E");
  driver.expect_message_box(IDNO);
  Run(kCmReplaceDrive);
  AnswerDrives("d", "D");
  Run(kCmReplaceDrive);
  ExpectCancel(IDD_REPLACE_DRIVE);
  Run(kCmReplaceDrive);
  EXPECT_EQ(Dirs("KELVFILE.DBF"),
            (std::vector<std::string>{"d:\\nc\\", "D:\\NC\\", "DNC\\", "D:\\NC\\MILL\\", "E:\\OTHER\\", "D:\\NC\\"}));
  EXPECT_EQ(driver.message_boxes().size(), 1u);  // the question answered No
  for (const char* table : {"KELVFILE.DBF", "KELVDNCT.DBF"}) {
    int status = -1;
    kvtest::run_command("cmp '" + DbPath(table) + ".BEFORE' '" + DbPath(table) + "'", &status);
    EXPECT_EQ(status, 0) << table << " changed";
  }
}

TEST_F(ReplaceTest, ReplacePathsRewritesWholeValuesOnlyAndRefusesATextTooLong) {
  // The test plug-in answers with its start directory and "CHOSEN\".
  Globals->LastDir = "D:\\";
  {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    TcbFileRecord* r = t.FindById(1);
    CopyCut(r->DIR, sizeof r->DIR, "d:\\chosen\\");
    ASSERT_EQ(t.Update(r), 1);
    delete r;
    r = t.FindById(2);
    CopyCut(r->DIR, sizeof r->DIR, "D:\\CHOSEN\\MILL\\");
    ASSERT_EQ(t.Update(r), 1);
    delete r;
  }
  driver.expect_message_box(IDYES);
  driver.expect_message_box(IDOK);
  Run(kCmReplacePaths);
  auto dirs = Dirs("KELVFILE.DBF");
  EXPECT_EQ(dirs[0], "D:\\CHOSEN\\CHOSEN\\");
  EXPECT_EQ(dirs[1], "D:\\CHOSEN\\MILL\\");
  EXPECT_EQ(dirs[2], "DNC\\");
  EXPECT_EQ(XBaseDirs("KELVFILE.DBF"), dirs);
}

TEST_F(ReplaceTest, ATextLongerThanTheFieldIsCountedNotCut) {
  const std::string longDir = "D:\\" + std::string(120, 'X') + "\\";
  TRewriteResult r = RewriteTable(DbPath("KELVFILE.DBF"), 3, [&](DbDataFile*, const std::string& text) {
    return ReplacedPath(text, "D:\\NC\\", longDir);
  });
  EXPECT_EQ(r.outcome, TTableOutcome::Done) << r.why;
  EXPECT_EQ(r.changed, 0);
  EXPECT_EQ(r.tooLong, 2);  // rows 1 and 2; the deleted row 6 is not looked at
  EXPECT_EQ(Dirs("KELVFILE.DBF")[1], "D:\\NC\\");
  EXPECT_NE(RewriteSummary({r}).find("KELVFILE.DBF: 2"), std::string::npos);
  EXPECT_FALSE(RewriteTable(DbPath("NOSUCH.DBF"), 3, [](DbDataFile*, const std::string&) {
                 return std::optional<std::string>("X");
               }).present);
}

// A table of thousands of rows, every other group of five in the old
// directory (some in lower case): the walk's writes go out in long runs,
// and both peers read every row's directory as the rule alone makes it.
TEST_F(ReplaceTest, AWalkOverThousandsOfRowsReadsBackWithThePeers) {
  const std::string table = DbPath("KELVFILE.DBF");
  {
    DbDataFile* d = data_open(DbContext, table.c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(data_lock_file(d), 0);
    const char* dirs[] = {"d:\\nc\\", "D:\\NC\\", "D:\\NC\\", "D:\\NC\\", "D:\\NC\\",
                          "D:\\NC\\MILL\\", "DNC\\", "E:\\NC\\", "D:\\NCX\\", "E:\\OTHER\\"};
    for (long n = 0; n < 4000; ++n) {  // 1.3 MB of records
      ASSERT_EQ(data_append_start(d, 0), 0);
      data_blank(d);
      field_assign_long(data_field_at(d, 1), 101 + n);
      field_assign(data_field_at(d, kProgramDirField), dirs[n % 10]);
      ASSERT_EQ(data_append(d), 0);
    }
    ASSERT_EQ(data_close(d), 0);
  }
  const std::vector<std::string> before = Dirs("KELVFILE.DBF"), xbefore = XBaseDirs("KELVFILE.DBF");
  const std::string from = DirectoryKey("D:\\NC"), to = DirectoryKey("E:\\NC");
  TRewriteResult r = RewriteTable(table, kProgramDirField, [&](DbDataFile*, const std::string& text) {
    return ReplacedPath(text, from, to);
  });
  ASSERT_EQ(r.outcome, TTableOutcome::Done) << r.why;
  EXPECT_EQ(r.changed, 2 + 2000);
  // dbfread lists the deleted row (id 6) last, XBase in its place.
  auto expected = [&](const std::vector<std::string>& dirs, std::size_t deleted) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < dirs.size(); ++i)
      out.push_back(i == deleted ? dirs[i] : ReplacedPath(dirs[i], from, to).value_or(dirs[i]));
    return out;
  };
  ASSERT_EQ(before.size(), 4006u);
  EXPECT_EQ(Dirs("KELVFILE.DBF"), expected(before, before.size() - 1));
  EXPECT_EQ(XBaseDirs("KELVFILE.DBF"), expected(xbefore, 5));
}

}  // namespace
