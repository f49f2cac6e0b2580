// Save, Restore and Delete of the kept-program dialogs: the rows of the
// tables as another reader sees them, the files where the rows say.
#include <filesystem>

#include "resources/dialogs/restore.h"
#include "tests/restore/restore_fixture.h"

namespace {

using kvrestore::RestoreTest;
using plat::Pilot;
namespace fs = std::filesystem;

std::string Id(long id) { return std::to_string(id); }

TEST_F(RestoreTest, RestoreAsNewProgramFilesItInTheMachineDirectory) {
  AddKept("KELVDNCF.DBF", 21, "O2100", lathe, "G1 X5\r\n", "LATHE");
  AddKept("KELVDNCF.DBF", 22, "O2200", mill, "B");
  long id = PeekProgramId();
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg&) {
    p.set_text(IDC_KEPT_PROGRAMS_PROGRAM_ID, "O2100X  ");
    p.set_text(IDC_KEPT_PROGRAMS_DESCRIPTION, "FLANGE  ");
    p.select(IDC_KEPT_PROGRAMS_MACHINE, 1);  // MILL1 (the list is sorted)
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_RESTORE));
    // The line went, the next row took its place.
    EXPECT_EQ(p.lines(IDC_KEPT_PROGRAMS_LIST).size(), 3u);
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_PROGRAM_ID), "O2200");
  }));
  std::string target = PathIn("mill1", "P" + Id(id) + ".NC");
  EXPECT_EQ(kvdb::ReadFileBytes(target), "G1 X5\r\n");
  EXPECT_FALSE(fs::exists(PathIn("kept", "F21.NC")));
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID LONG1 NAME EXT DIR DESC CHAR3 PART MID MAT MACHINE"),
            std::vector<std::string>{"NCID=" + Id(id) + " LONG1=" + Id(id) + " NAME=P" + Id(id) +
                                     " EXT=NC DIR=" + Dir("mill1") +
                                     " DESC=O2100X CHAR3=FLANGE PART=PART-1 MID=" + Id(mill) +
                                     " MAT=5 MACHINE=MILL1"});
  EXPECT_EQ(PeerRows(DbPath("KELVDNCF.DBF"), "NCID DESC"),
            (std::vector<std::string>{"NCID=22 DESC=O2200", "* NCID=-21 DESC=O2100"}));
  EXPECT_TRUE(driver.message_boxes().empty());
}

TEST_F(RestoreTest, RestoreAsNewTakesTheRowBackWhenTheFileCannotMove) {
  {
    TcbMachTable t("KELVMA.DBF", 0, 0);
    ASSERT_TRUE(t.Add("NOWHERE", 7, "gone", Dir("missing").c_str(), 0));
  }
  AddKept("KELVDNCF.DBF", 21, "O2100", mill, "G1\r\n");
  long id = PeekProgramId();
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg&) {
    p.select(IDC_KEPT_PROGRAMS_MACHINE, 2);  // NOWHERE
    driver.expect_message_box(IDOK, "could not be moved");
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_RESTORE));
    EXPECT_EQ(p.lines(IDC_KEPT_PROGRAMS_LIST).size(), 3u);
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_PROGRAM_ID), "O2100");
  }));
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("kept", "F21.NC")), "G1\r\n");
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID"), std::vector<std::string>{"* NCID=-" + Id(id)});
  EXPECT_EQ(PeerRows(DbPath("KELVDNCF.DBF"), "NCID"), std::vector<std::string>{"NCID=21"});
}

TEST_F(RestoreTest, RestoreAsNewMovesNothingWhenTheRowIsRefused) {
  AddKept("KELVDNCT.DBF", 31, "O3100", mill, "G2\r\n");
  ASSERT_TRUE(Run<TRestoreDncTemp>("KELVDNCT.DBF", [&](Pilot& p, TKeptProgramsDlg&) {
    plat::set_write_fault("KELVFILE.DBF", 0);
    driver.expect_message_box(IDOK, "Error #");  // the engine's own report of the write
    driver.expect_message_box(IDOK, "could not be filed");
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_RESTORE));
    plat::set_write_fault("", 0);
    EXPECT_EQ(p.lines(IDC_KEPT_PROGRAMS_LIST).size(), 3u);
  }));
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("kept", "F31.NC")), "G2\r\n");
  EXPECT_TRUE(fs::is_empty(Root() + "/mill1"));
  EXPECT_EQ(PeerRows(DbPath("KELVDNCT.DBF"), "NCID"), std::vector<std::string>{"NCID=31"});
}

class RestoreOverTest : public RestoreTest {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    kvdb::WriteFileBytes(PathIn("mill1", "P50.NC"), "OLD\r\n");
    TcbFileRecord r;
    r.NCID = 50;
    r.LONG1 = 44;
    r.MID = mill;
    r.LOCK = 0;
    CopyCut(r.DESC, sizeof r.DESC, "O2100");
    CopyCut(r.DIR, sizeof r.DIR, Dir("mill1").c_str());
    CopyCut(r.NAME, sizeof r.NAME, "P50");
    CopyCut(r.EXT, sizeof r.EXT, "NC");
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    ASSERT_EQ(t.Append(&r), 1);
    AddKept("KELVDNCF.DBF", 21, "o2100", mill, "NEW\r\n");
    before = PeerRows(DbPath("KELVFILE.DBF"));
  }
  std::vector<std::string> before;
};

TEST_F(RestoreOverTest, YesKeepsABackupAndOverwritesTheProgramFile) {
  long backupId = NextBackupId() + 1;
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg&) {
    p.set_text(IDC_KEPT_PROGRAMS_PROGRAM_ID, "O2100");
    driver.expect_message_box(IDNO, "exists already");
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_RESTORE));
    EXPECT_EQ(p.lines(IDC_KEPT_PROGRAMS_LIST).size(), 3u);
    EXPECT_EQ(kvdb::ReadFileBytes(PathIn("mill1", "P50.NC")), "OLD\r\n");
    driver.expect_message_box(IDYES, "exists already");
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_RESTORE));
    EXPECT_EQ(p.lines(IDC_KEPT_PROGRAMS_LIST).size(), 2u);
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_PROGRAM_ID), "");
  }));
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("mill1", "P50.NC")), "NEW\r\n");
  EXPECT_EQ(kvdb::ReadFileBytes(BackupPath("B" + Id(backupId) + ".BAK")), "OLD\r\n");
  EXPECT_EQ(PeerRows(DbPath("KELVBACK.DBF"), "NCID LONG1 NAME EXT DIR DESC"),
            std::vector<std::string>{"NCID=" + Id(backupId) + " LONG1=44 NAME=B" + Id(backupId) +
                                     " EXT=BAK DIR=" + Globals->BackupDir + " DESC=O2100"});
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF")), before);
  EXPECT_EQ(PeerRows(DbPath("KELVDNCF.DBF"), "NCID"), std::vector<std::string>{"* NCID=-21"});
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("kept", "F21.NC")), "NEW\r\n");
}

TEST_F(RestoreOverTest, AProgramOpenInAnEditorIsNotOverwritten) {
  TcbFileTable editor("KELVFILE.DBF", 0, 0);
  ASSERT_GT(editor.LockById(50), 0);
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg&) {
    driver.expect_message_box(IDYES, "exists already");
    driver.expect_message_box(IDOK, "open in an editor");
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_RESTORE));
    EXPECT_EQ(p.lines(IDC_KEPT_PROGRAMS_LIST).size(), 3u);
  }));
  editor.Close();
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("mill1", "P50.NC")), "OLD\r\n");
  EXPECT_TRUE(PeerRows(DbPath("KELVBACK.DBF")).empty());
  EXPECT_TRUE(fs::is_empty(Root() + "/backup"));
  EXPECT_EQ(PeerRows(DbPath("KELVDNCF.DBF"), "NCID"), std::vector<std::string>{"NCID=21"});
}

TEST_F(RestoreOverTest, AFailedCopyLeavesTheProgramAndTakesTheBackupBack) {
  fs::remove(PathIn("kept", "F21.NC"));
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg&) {
    driver.expect_message_box(IDYES, "exists already");
    driver.expect_message_box(IDOK, "could not be copied");
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_RESTORE));
    EXPECT_EQ(p.lines(IDC_KEPT_PROGRAMS_LIST).size(), 3u);
  }));
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("mill1", "P50.NC")), "OLD\r\n");
  for (const std::string& row : PeerRows(DbPath("KELVBACK.DBF"), "NCID")) EXPECT_EQ(row[0], '*') << row;
  EXPECT_TRUE(fs::is_empty(Root() + "/backup"));
  EXPECT_EQ(PeerRows(DbPath("KELVDNCF.DBF"), "NCID"), std::vector<std::string>{"NCID=21"});
}

TEST_F(RestoreTest, SaveStoresTheFieldsAndMovesTheFileWithANewMachine) {
  AddKept("KELVDNCF.DBF", 21, "O2100", mill, "G1\r\n");
  AddKept("KELVDNCF.DBF", 22, "O2200", lathe, "G2\r\n", "LATHE");
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg&) {
    p.set_text(IDC_KEPT_PROGRAMS_PROGRAM_ID, "O2101   ");
    p.set_text(IDC_KEPT_PROGRAMS_PART, "P-77");
    p.select(IDC_KEPT_PROGRAMS_MACHINE, 0);  // LATHE
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_SAVE));
    EXPECT_EQ(p.lines(IDC_KEPT_PROGRAMS_LIST)[2].substr(0, 31), "LATHE                - O2101   ");
    EXPECT_EQ(p.selection(IDC_KEPT_PROGRAMS_LIST), 2);
    // Again with the same machine: nothing moves.
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_SAVE));
    // A Program-ID another kept row of that machine has is refused.
    p.set_text(IDC_KEPT_PROGRAMS_PROGRAM_ID, "O2200");
    driver.expect_message_box(IDOK, "has this Program ID");
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_SAVE));
  }));
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("lathe", "F21.NC")), "G1\r\n");
  EXPECT_FALSE(fs::exists(PathIn("kept", "F21.NC")));
  EXPECT_EQ(PeerRows(DbPath("KELVDNCF.DBF"), "NCID DESC PART MID MAT MACHINE DIR"),
            (std::vector<std::string>{
                "NCID=21 DESC=O2101 PART=P-77 MID=" + Id(lathe) + " MAT=6 MACHINE=LATHE DIR=" + Dir("lathe"),
                "NCID=22 DESC=O2200 PART=PART-1 MID=" + Id(lathe) + " MAT=6 MACHINE=LATHE DIR=" + Dir("kept")}));
}

TEST_F(RestoreTest, SaveKeepsTheOldDirectoryWhenTheFileCannotMove) {
  kvdb::WriteFileBytes(PathIn("lathe", "F21.NC"), "IN THE WAY");
  AddKept("KELVDNCF.DBF", 21, "O2100", mill, "G1\r\n");
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg&) {
    p.select(IDC_KEPT_PROGRAMS_MACHINE, 0);  // LATHE
    p.set_text(IDC_KEPT_PROGRAMS_DRAWING, "D-2");
    driver.expect_message_box(IDOK, "could not be moved");
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_SAVE));
  }));
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("kept", "F21.NC")), "G1\r\n");
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("lathe", "F21.NC")), "IN THE WAY");
  EXPECT_EQ(PeerRows(DbPath("KELVDNCF.DBF"), "DRAW MID DIR"),
            std::vector<std::string>{"DRAW=D-2 MID=" + Id(lathe) + " DIR=" + Dir("kept")});
}

TEST_F(RestoreTest, DeleteAsksThenRetiresTheRowAndItsFile) {
  AddKept("KELVDNCF.DBF", 21, "O2100", mill, "G1\r\n");
  ASSERT_TRUE(RunFail([&](Pilot& p, TKeptProgramsDlg& d) {
    driver.expect_message_box(IDNO, "Delete this kept program");
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_DELETE));
    EXPECT_EQ(p.lines(IDC_KEPT_PROGRAMS_LIST).size(), 3u);
    driver.expect_message_box(IDYES, "Delete this kept program");
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_DELETE));
    // Only the header and the underline are left, and nothing is current.
    EXPECT_EQ(p.lines(IDC_KEPT_PROGRAMS_LIST).size(), 2u);
    EXPECT_EQ(d.Record, nullptr);
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_PROGRAM_ID), "");
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_SIZE), "?");
    for (int button : {IDC_KEPT_PROGRAMS_SAVE, IDC_KEPT_PROGRAMS_RESTORE, IDC_KEPT_PROGRAMS_DELETE})
      EXPECT_TRUE(p.click(button));
  }));
  EXPECT_EQ(driver.message_boxes().size(), 2u);
  EXPECT_FALSE(fs::exists(PathIn("kept", "F21.NC")));
  EXPECT_EQ(PeerRows(DbPath("KELVDNCF.DBF"), "NCID MID"),
            std::vector<std::string>{"* NCID=-21 MID=-" + Id(mill)});
  EXPECT_TRUE(PeerRows(DbPath("LOG00000.DBF")).empty());
}

TEST_F(RestoreTest, DeletingAFailedImportIsLoggedAndAMissingFileDoesNotStopIt) {
  AddKept("KELVAUTO.DBF", 41, "O4100", mill, nullptr);
  AddKept("KELVAUTO.DBF", 42, "O4200", mill, "N2");
  ASSERT_TRUE(Run<TFailedImports>("KELVAUTO.DBF", [&](Pilot& p, TKeptProgramsDlg&) {
    driver.expect_message_box(IDYES);
    EXPECT_TRUE(p.click(IDC_KEPT_PROGRAMS_DELETE));
    EXPECT_EQ(p.text(IDC_KEPT_PROGRAMS_PROGRAM_ID), "O4200");
  }));
  EXPECT_EQ(PeerRows(DbPath("KELVAUTO.DBF"), "NCID"),
            (std::vector<std::string>{"NCID=42", "* NCID=-41"}));
  std::vector<std::string> log = PeerRows(DbPath("LOG00000.DBF"), "TYPE TEXT");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].substr(0, 24), "TYPE=12 TEXT=Failed impo");
  EXPECT_NE(log[0].find("O4100 (MILL1"), std::string::npos) << log[0];
  EXPECT_NE(log[0].find("Ada Lovelace"), std::string::npos) << log[0];
}

}  // namespace
