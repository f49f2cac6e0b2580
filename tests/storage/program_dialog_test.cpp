// The program dialog and the backup dialog: what the list and the preview
// show, Open with its row lock (also against another process), and the
// operations that move programs between the program index, the locked
// programs and the backups, with the rows as python3-dbfread reads them and
// the files compared with cmp.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/plugin_calls.h"
#include "platform/path.h"
#include "resources/dialogs/program.h"
#include "resources/dialogs/search.h"
#include "storage/dnc_link.h"
#include "storage/log_common.h"
#include "storage/program_dialog.h"
#include "storage/program_lock.h"
#include "storage/search_dialogs.h"
#include "tests/restore/restore_fixture.h"

extern char** environ;

namespace {

using plat::Pilot;
namespace fs = std::filesystem;

std::string Id(long id) { return std::to_string(id); }

constexpr const char* kHoldDb = "KV_HOLD_DB";
constexpr const char* kHoldDir = "KV_HOLD_DIR";
constexpr const char* kHoldId = "KV_HOLD_ID";

bool WaitFor(const std::string& path, int seconds) {
  for (int i = 0; i < seconds * 50; i++) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// The other station: holds one program row of KELVFILE.DBF locked, as its
// editor would, until told to let go.
TEST(ProgramRowHolder, HoldsTheRowUntilToldToLetGo) {
  const char* db = std::getenv(kHoldDb);
  if (!db) GTEST_SKIP() << "runs only as the other station of the open test";
  const std::string dir = std::getenv(kHoldDir);
  auto* g = new TGlobals;
  Globals = g;
  g->DatabaseDir = db;
  DB_ENGINE* c = DbContext;
  c->auto_open = 1;
  c->exclusive = 0;
  c->lock_attempts = 2;
  c->report_open_errors = 0;
  {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    long n = t.LockById(std::atol(std::getenv(kHoldId)));
    kvdb::PublishFileBytes(dir + "/ready", n > 0 ? "1" : "0");
    WaitFor(dir + "/quit", 60);
  }
  Globals = nullptr;
  delete g;
}

class ProgramDialogTest : public kvrestore::RestoreTest {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    CreateTable<TcbFileTable>("KELVLOCK.DBF");
    DbContext->lock_attempts = 1;
  }
  void TearDown() override {
    DropLock();
    RestoreTest::TearDown();
  }
  static void DropLock() { TakeProgramLock(0); }

  // A program of the mill "P<ncid>.NC" holding text in the mill directory.
  void Add(const char* table, long ncid, const char* desc, const std::string& text, long logKey = 0) {
    std::string name = "P" + Id(ncid);
    kvdb::WriteFileBytes(PathIn("mill1", name + ".NC"), text);
    TcbFileRecord r;
    r.NCID = ncid;
    r.LONG1 = logKey ? logKey : ncid;
    r.MID = mill;
    r.MAT = 5;
    r.LOCK = 0;
    CopyCut(r.DESC, sizeof r.DESC, desc);
    CopyCut(r.CHAR3, sizeof r.CHAR3, "FLANGE");
    CopyCut(r.PART, sizeof r.PART, "PART-1");
    CopyCut(r.MACHINE, sizeof r.MACHINE, "MILL1");
    CopyCut(r.DIR, sizeof r.DIR, Dir("mill1").c_str());
    CopyCut(r.NAME, sizeof r.NAME, name.c_str());
    CopyCut(r.EXT, sizeof r.EXT, "NC");
    TcbFileTable t(table, 0, 0);
    ASSERT_EQ(t.Append(&r), 1);
  }
  static TcbFileRecord* All(const char* table) {
    TcbFileTable t(table, 0, 0);
    TcbFileRecord* rows = t.ReadAll(1);
    t.made = nullptr;
    return rows;
  }

  // Runs the dialog over the rows; `act` plays the user, then Esc closes
  // it (a dialog that ended itself keeps its answer). The answer.
  template <class Dialog = TOpenWithLog>
  int Run(TcbFileRecord* rows, const std::function<void(Pilot&, TOpenWithLog&)>& act) {
    driver.expect_dialog(IDD_PROGRAM, [&](TDialog& d) {
      Pilot p(d);
      act(p, static_cast<TOpenWithLog&>(d));
      p.press_escape();
    });
    Dialog dlg(nullptr, rows);
    int rc = dlg.Execute();
    driver.pump();
    return rc;
  }
  int RunOn(const char* table, const std::function<void(Pilot&, TOpenWithLog&)>& act) {
    return Run(All(table), act);
  }
  std::vector<std::string> Log() { return PeerRows(DbPath("LOG00000.DBF"), "TYPE TEXT"); }
};

// ---- the name-and-id combo box ----------------------------------------------

TEST_F(ProgramDialogTest, TheComboSelectsTheWholeIdAndKeepsTheName) {
  TDialog dlg(nullptr, 46);
  long bound = -1;
  auto* combo = new TNameIdComboBox(&dlg, IDC_PROGRAM_MACHINE, 300, &bound);
  driver.expect_dialog(IDD_PROGRAM, [&](TDialog& d) {
    std::string longName(130, 'N');
    for (const std::string& line : {std::string("B-MILL") + std::string(94, ' ') + " @@123$$4",
                                    std::string("A-MILL   @@12$$5"), longName + "@@7", std::string("NO ID")})
      combo->AddString(line.c_str());
    EXPECT_EQ(combo->SelectId(12), 0);  // sorted: A-MILL, B-MILL, N..., NO ID
    EXPECT_EQ(combo->GetSelectedId(), 12);
    EXPECT_EQ(combo->GetSelectedName(), "A-MILL");
    EXPECT_EQ(bound, 12);
    combo->SelectId(99);  // in no line: the selection stays, read again
    EXPECT_EQ(combo->GetSelIndex(), 0);
    EXPECT_EQ(bound, 12);
    combo->SelectId(123);
    EXPECT_EQ(combo->GetSelectedName(), "B-MILL");
    EXPECT_EQ(bound, 123);
    combo->SelectId(7);
    EXPECT_EQ(combo->GetSelectedName(), std::string(111, 'N'));
    combo->SetSelIndex(3);
    EXPECT_EQ(combo->GetSelectedId(), 0);
    EXPECT_EQ(combo->GetSelectedName(), "");
    EXPECT_EQ(bound, 0);
    Pilot(d).press_escape();
  });
  dlg.Execute();
}

// ---- list and preview -------------------------------------------------------

TEST_F(ProgramDialogTest, ListsHeaderUnderlineAndProgramsAndShowsTheFile) {
  Add("KELVFILE.DBF", 17, "O1700", std::string("G1 X1\r\n\0M30\r\n", 13));
  Add("KELVFILE.DBF", 18, "O1800", "G0\r\n");
  fs::remove(PathIn("mill1", "P18.NC"));
  Run(All("KELVFILE.DBF"), [&](Pilot& p, TOpenWithLog& d) {
    std::vector<std::string> lines = p.lines(IDC_PROGRAM_LIST);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], ProgramListHeader());
    EXPECT_EQ(lines[0].substr(0, 33), "Machine" + std::string(13, ' ') + " - Program ID");
    EXPECT_EQ(lines[1], std::string(395, '_'));
    EXPECT_EQ(lines[2].substr(lines[2].size() - 4), "@@17");
    EXPECT_EQ(lines[3].substr(lines[3].size() - 4), "@@18");
    EXPECT_EQ(p.selection(IDC_PROGRAM_LIST), 2);
    EXPECT_EQ(p.text(IDC_PROGRAM_TEXT), std::string("G1 X1\r\n\xA7M30\r\n"));
    EXPECT_EQ(p.text(IDC_PROGRAM_SIZE), "13 Bytes");
    EXPECT_EQ(p.text(IDC_PROGRAM_ID), "O1700");
    EXPECT_EQ(p.text(IDC_PROGRAM_DESCRIPTION), "FLANGE");
    EXPECT_EQ(d.MachineId, mill);
    // The header and the underline are no programs: the first one shows.
    p.select(IDC_PROGRAM_LIST, 0);
    EXPECT_EQ(p.selection(IDC_PROGRAM_LIST), 2);
    p.select(IDC_PROGRAM_LIST, 3);
    EXPECT_EQ(p.text(IDC_PROGRAM_TEXT), "ERROR OPENING " + Dir("mill1") + "P18.NC");
    EXPECT_EQ(p.text(IDC_PROGRAM_SIZE), "?");
    EXPECT_EQ(p.text(IDC_PROGRAM_SAVED), "?");
    // No locked program: the view switches straight back, the list stays.
    p.click(IDC_PROGRAM_LOCKED);
    EXPECT_FALSE(p.checked(IDC_PROGRAM_LOCKED));
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST), lines);
  });
}

TEST_F(ProgramDialogTest, AnEmptyResultSelectsNothingAndTheButtonsDoNothing) {
  Run(nullptr, [&](Pilot& p, TOpenWithLog& d) {
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 2u);
    EXPECT_EQ(d.Record, nullptr);
    for (int button : {IDC_PROGRAM_OPEN, IDC_PROGRAM_SAVE_INFO, IDC_PROGRAM_COPY, IDC_PROGRAM_DELETE, IDC_PROGRAM_LOCK})
      p.click(button);
  });
  EXPECT_TRUE(driver.message_boxes().empty());
}

TEST_F(ProgramDialogTest, TheLastVersionLogEntryIsShown) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n", 44);
  long type = AddType("Correction");
  long reason = AddCriterion(type, "Tool changed");
  {
    TLog00002Table log("LOG00002.DBF", 0, 0);
    TLog00002Record r;
    r.TYPE = type;
    r.PROGRAM = 44;
    r.REASON01 = reason;
    r.SetMemo("feed lowered");
    ASSERT_EQ(log.Add(&r), 1);
  }
  Run(All("KELVFILE.DBF"), [&](Pilot& p, TOpenWithLog&) {
    EXPECT_EQ(p.text(IDC_PROGRAM_LOG_REASON1), "Tool changed");
    EXPECT_EQ(p.text(IDC_PROGRAM_LOG_TYPE), "Correction");
    EXPECT_EQ(p.text(IDC_PROGRAM_LOG_USER), "Ada Lovelace");
    EXPECT_EQ(p.text(IDC_PROGRAM_LOG_NOTE), "feed lowered");
  });
}

TEST_F(ProgramDialogTest, CustomerAndProjectFollowTheProgramAndTheBoxes) {
  long customer, project;
  {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    customer = customers.Add("ALVIK VALVE AB");
    customers.Add("BRENNER HYDRAULIK");
    TcbProTable projects("KELVPRO.DBF", 0, 0);
    std::unique_ptr<TcbProRecord> r(projects.Add("VALVE BODY", customer));
    ASSERT_NE(r, nullptr);
    project = r->ID;
  }
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n");
  {
    std::unique_ptr<TcbFileRecord> r;
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    r.reset(t.FindById(17));
    r->CUST = customer;
    r->PROJECT = project;
    ASSERT_EQ(t.Update(r.get()), 1);
  }
  Add("KELVFILE.DBF", 18, "O1800", "G1\r\n");
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog& d) {
    EXPECT_TRUE(p.checked(IDC_PROGRAM_CUSTOMER_BOX));
    EXPECT_TRUE(p.visible(IDC_PROGRAM_CUSTOMER));
    EXPECT_EQ(d.CustomerCombo->GetSelectedId(), customer);
    EXPECT_TRUE(p.checked(IDC_PROGRAM_PROJECT_BOX));
    EXPECT_TRUE(p.visible(IDC_PROGRAM_PROJECT));
    EXPECT_EQ(d.ProjectCombo->GetSelectedId(), project);
    // A program of no customer shows none.
    p.select(IDC_PROGRAM_LIST, 3);
    EXPECT_FALSE(p.checked(IDC_PROGRAM_CUSTOMER_BOX));
    EXPECT_TRUE(p.visible(IDC_PROGRAM_CUSTOMER_BOX));
    EXPECT_FALSE(p.visible(IDC_PROGRAM_CUSTOMER));
    EXPECT_FALSE(p.visible(IDC_PROGRAM_PROJECT));
    // Unchecking the customer box files the program under none.
    p.select(IDC_PROGRAM_LIST, 2);
    p.click(IDC_PROGRAM_CUSTOMER_BOX);
    EXPECT_FALSE(p.visible(IDC_PROGRAM_CUSTOMER));
    p.click(IDC_PROGRAM_SAVE_INFO);
  });
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID CUST PROJECT"),
            (std::vector<std::string>{"NCID=17 CUST=0 PROJECT=0", "NCID=18 CUST=0 PROJECT=0"}));
}

TEST_F(ProgramDialogTest, TheButtonsFollowTheRights) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n");
  struct Case {
    uint32_t rights;
    std::vector<int> shown, hidden;
  } cases[] = {
      {0xFFFFFFFF,
       {IDC_PROGRAM_OPEN, IDC_PROGRAM_LOCKED, IDC_PROGRAM_LOCK, IDC_PROGRAM_SAVE_INFO, IDC_PROGRAM_COPY,
        IDC_PROGRAM_DELETE, IDC_PROGRAM_VIEW_LOG},
       {IDC_PROGRAM_UNLOCK, IDC_PROGRAM_SEND}},
      {0x04,
       {IDC_PROGRAM_OPEN, IDC_PROGRAM_DELETE, IDC_PROGRAM_VIEW_LOG},
       {IDC_PROGRAM_LOCKED, IDC_PROGRAM_UNLOCK, IDC_PROGRAM_LOCK, IDC_PROGRAM_MEMO, IDC_PROGRAM_SAVE_INFO,
        IDC_PROGRAM_COPY}},
      {0x08 | 0x40,
       {IDC_PROGRAM_LOCKED, IDC_PROGRAM_LOCK, IDC_PROGRAM_SAVE_INFO},
       {IDC_PROGRAM_UNLOCK, IDC_PROGRAM_COPY, IDC_PROGRAM_DELETE}},
      {0x40000000,
       {IDC_PROGRAM_COPY},
       {IDC_PROGRAM_LOCKED, IDC_PROGRAM_LOCK, IDC_PROGRAM_SAVE_INFO, IDC_PROGRAM_DELETE}},
  };
  for (const Case& c : cases) {
    Globals->RightsMask = c.rights;
    RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
      for (int id : c.shown) EXPECT_TRUE(p.visible(id)) << std::hex << c.rights << std::dec << " " << id;
      for (int id : c.hidden) EXPECT_FALSE(p.visible(id)) << std::hex << c.rights << std::dec << " " << id;
    });
  }
}

TEST_F(ProgramDialogTest, NewSearchReplacesTheList) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n");
  Add("KELVFILE.DBF", 18, "O1800", "G1\r\n");
  TcbFileRecord* one;
  {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    one = t.FindById(18);
  }
  Run(one, [&](Pilot& p, TOpenWithLog&) {
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 3u);
    driver.expect_dialog(IDD_SEARCH, [](TDialog& search) { Pilot(search).click(IDC_PROGRAM_DESCRIPTION); });  // All
    p.click(IDC_PROGRAM_NEW_SEARCH);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 4u);
    EXPECT_EQ(p.text(IDC_PROGRAM_ID), "O1700");
  });
}

// The base program first, then the one picked: the compare window gets
// both files and titles, and the dialog comes back as it was.
std::vector<std::string> g_compared;
void RecordCompare(TWindow*, const char* a, const char* b, const char* ta, const char* tb) {
  g_compared = {a, b, ta, tb};
}

TEST_F(ProgramDialogTest, CompareModePicksTheSecondProgramAndRunsTheCompareWindow) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n");
  Add("KELVFILE.DBF", 18, "O1800", "G2\r\n");
  SetCompareRunner(RecordCompare);
  g_compared.clear();
  int rc = RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    p.click(IDC_PROGRAM_COMPARE);
    EXPECT_FALSE(p.visible(IDC_PROGRAM_OPEN));
    EXPECT_TRUE(p.visible(IDC_PROGRAM_COMPARE_START));
    EXPECT_EQ(p.text(IDC_PROGRAM_COMPARE_BASE), "O1700");
    p.select(IDC_PROGRAM_LIST, 3);
    EXPECT_EQ(p.text(IDC_PROGRAM_COMPARE_OTHER), "O1800");
    p.double_click(IDC_PROGRAM_LIST, 3);  // picks, never opens
    p.click(IDC_PROGRAM_COMPARE_START);
    EXPECT_TRUE(p.visible(IDC_PROGRAM_OPEN));
    EXPECT_FALSE(p.visible(IDC_PROGRAM_COMPARE_START));
    EXPECT_EQ(p.text(IDC_PROGRAM_COMPARE_BASE), "");
  });
  SetCompareRunner(nullptr);
  EXPECT_EQ(rc, IDCANCEL);
  EXPECT_EQ(g_compared, (std::vector<std::string>{Dir("mill1") + "P17.NC", Dir("mill1") + "P18.NC", "O1700", "O1800"}));
}

TEST_F(ProgramDialogTest, SendHandsTheStoredFileToTheDncLink) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n");
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) { EXPECT_FALSE(p.visible(IDC_PROGRAM_SEND)) << "no link"; });
  std::string file;
  long ncid = 0;
  bool receive = true;
  SetDncLinkRunner({[&](TWindow*, const TcbFileRecord* program, long, bool offerReceive) {
                      file = Globals->DncTransferFile.c_str();
                      ncid = program ? program->NCID : 0;
                      receive = offerReceive;
                      return IDCANCEL;
                    },
                    [] { return std::string(); },
                    {}});
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    ASSERT_TRUE(p.visible(IDC_PROGRAM_SEND));
    p.click(IDC_PROGRAM_SEND);
  });
  SetDncLinkRunner({});
  EXPECT_EQ(file, Dir("mill1") + "P17.NC");
  EXPECT_EQ(ncid, 17);
  EXPECT_FALSE(receive) << "the link receives nothing over a stored program";
}

TEST_F(ProgramDialogTest, MemoIsWrittenForTheViewerAndShownOnlyWhenThereIsOne) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n");
  Add("KELVFILE.DBF", 18, "O1800", "G1\r\n");
  {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    std::unique_ptr<TcbFileRecord> r(t.FindById(17));
    r->SetMemo("Clamp on the left side");
    ASSERT_EQ(t.Update(r.get()), 1);
  }
  fs::create_directories(Root() + "/temp");
  Globals->TempDir = Root() + "/temp\\";
  Globals->HookDir = Root() + "/nohooks\\";
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    EXPECT_TRUE(p.visible(IDC_PROGRAM_MEMO));
    driver.expect_message_box(IDOK, "could not be loaded");
    p.click(IDC_PROGRAM_MEMO);
    EXPECT_TRUE(p.visible(IDC_PROGRAM_MEMO));
    p.select(IDC_PROGRAM_LIST, 3);
    EXPECT_FALSE(p.visible(IDC_PROGRAM_MEMO));
  });
  EXPECT_EQ(kvdb::ReadFileBytes(plat::to_native_path(MemoFilePath())), "Clamp on the left side");
}

// ---- Open -------------------------------------------------------------------

TEST_F(ProgramDialogTest, OpenHandsTheRowLockToTheEditor) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n");
  Globals->CurrentProgramId = 0;
  {
    TEditorOpenScope scope;
    EXPECT_EQ(RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) { p.click(IDC_PROGRAM_OPEN); }), IDOK);
    EXPECT_EQ(Globals->CurrentProgramId, 17);
    // Until an editor takes it, nobody else gets the row.
    EXPECT_EQ(CanLockProgram(17, 0), -1);
    std::unique_ptr<TProgramLockTable> held = TakeProgramLock(17);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->LockById(17), 1);
  }
  EXPECT_EQ(CanLockProgram(17, 0), 1);
  // A chooser that opens no editor keeps nothing.
  EXPECT_EQ(RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) { p.double_click(IDC_PROGRAM_LIST, 2); }), IDOK);
  EXPECT_EQ(CanLockProgram(17, 0), 1);
}

TEST_F(ProgramDialogTest, OpenOfARowLockedByAnotherProcessIsRefused) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n");
  std::string exe = fs::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=ProgramRowHolder.*";
  std::vector<std::string> env;
  for (char** e = environ; *e; e++) env.emplace_back(*e);
  env.push_back(std::string(kHoldDb) + "=" + Globals->DatabaseDir);
  env.push_back(std::string(kHoldDir) + "=" + Root());
  env.push_back(std::string(kHoldId) + "=17");
  std::vector<char*> envp, argv{exe.data(), filter.data(), nullptr};
  for (auto& s : env) envp.push_back(s.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);
  ASSERT_TRUE(WaitFor(Root() + "/ready", 60));
  EXPECT_EQ(kvdb::ReadFileBytes(Root() + "/ready"), "1");
  Globals->CurrentProgramId = 0;
  TEditorOpenScope scope;
  EXPECT_EQ(RunOn("KELVFILE.DBF",
                  [&](Pilot& p, TOpenWithLog&) {
                    driver.expect_message_box(IDOK, "open in an editor");
                    p.click(IDC_PROGRAM_OPEN);
                    EXPECT_EQ(p.selection(IDC_PROGRAM_LIST), 2);
                  }),
            IDCANCEL);
  EXPECT_EQ(Globals->CurrentProgramId, 0);
  EXPECT_EQ(TakeProgramLock(17), nullptr);
  kvdb::WriteFileBytes(Root() + "/quit", "");
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// ---- Delete -----------------------------------------------------------------

TEST_F(ProgramDialogTest, DeleteMovesTheProgramToABackup) {
  Add("KELVFILE.DBF", 17, "O1700", "G1 X17\r\n", 9);
  Add("KELVFILE.DBF", 18, "O1800", "G1 X18\r\n");
  kvdb::WriteFileBytes(Root() + "/original", "G1 X17\r\n");
  long backupId = NextBackupId() + 1;
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    driver.expect_message_box(IDNO, "Delete program O1700 of machine MILL1");
    p.click(IDC_PROGRAM_DELETE);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 4u);
    driver.expect_message_box(IDYES, "Delete program O1700");
    p.click(IDC_PROGRAM_DELETE);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 3u);
    EXPECT_EQ(p.text(IDC_PROGRAM_ID), "O1800");
  });
  std::string bak = BackupPath("B" + Id(backupId) + ".BAK");
  EXPECT_TRUE(SameFile(bak, Root() + "/original"));
  EXPECT_FALSE(fs::exists(PathIn("mill1", "P17.NC")));
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID MID"),
            (std::vector<std::string>{"NCID=18 MID=" + Id(mill), "* NCID=-17 MID=-" + Id(mill)}));
  EXPECT_EQ(PeerRows(DbPath("KELVBACK.DBF"), "NCID NAME EXT DIR LONG1 DESC"),
            std::vector<std::string>{"NCID=" + Id(backupId) + " NAME=B" + Id(backupId) + " EXT=BAK DIR=" +
                                     Globals->BackupDir + " LONG1=9 DESC=O1700"});
  EXPECT_EQ(Log(), std::vector<std::string>{"TYPE=4 TEXT=Program O1700 of machine MILL1 deleted by Ada Lovelace"});
}

TEST_F(ProgramDialogTest, ADeleteWhoseFileCannotMoveKeepsTheProgram) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n");
  Globals->BackupDir = Root() + "/nowhere\\";
  long backupId = NextBackupId() + 1;
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    driver.expect_message_box(IDYES, "Delete program");
    driver.expect_message_box(IDOK, "could not be moved");
    p.click(IDC_PROGRAM_DELETE);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 3u);
  });
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("mill1", "P17.NC")), "G1\r\n");
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID"), std::vector<std::string>{"NCID=17"});
  // The backup row written first is taken back: none names a missing file.
  EXPECT_EQ(PeerRows(DbPath("KELVBACK.DBF"), "NCID"), std::vector<std::string>{"* NCID=-" + Id(backupId)});
  EXPECT_TRUE(Log().empty());
}

TEST_F(ProgramDialogTest, ADeleteRefusedByTheBackupsChangesNothing) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n");
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    plat::set_write_fault("KELVBACK.DBF", 0);
    driver.expect_message_box(IDYES, "Delete program");
    driver.expect_message_box(IDOK, "Error #");
    driver.expect_message_box(IDOK, "could not be written to its new table");
    p.click(IDC_PROGRAM_DELETE);
    plat::set_write_fault("", 0);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 3u);
  });
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("mill1", "P17.NC")), "G1\r\n");
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID"), std::vector<std::string>{"NCID=17"});
  EXPECT_TRUE(Log().empty());
}

TEST_F(ProgramDialogTest, AProgramOpenInAnEditorIsNeitherDeletedNorChanged) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n");
  auto editor = std::make_unique<TProgramLockTable>();
  ASSERT_EQ(editor->LockById(17), 1);
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    driver.expect_message_box(IDOK, "in use");
    p.click(IDC_PROGRAM_DELETE);
    // Nor are its data changed under the editor, which would write its
    // own copy back.
    p.set_text(IDC_PROGRAM_ID, "O1750");
    p.select(IDC_PROGRAM_MACHINE, 0);  // LATHE
    driver.expect_message_box(IDOK, "in use");
    p.click(IDC_PROGRAM_SAVE_INFO);
  });
  editor.reset();
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID DESC MID"), std::vector<std::string>{"NCID=17 DESC=O1700 MID=" + Id(mill)});
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("mill1", "P17.NC")), "G1\r\n");
}

// ---- Copy -------------------------------------------------------------------

TEST_F(ProgramDialogTest, CopyFilesANewProgramAndNeverOverwritesAFile) {
  Add("KELVFILE.DBF", 17, "O1700", "G1 X17\r\n", 9);
  long id = PeekProgramId();
  kvdb::WriteFileBytes(PathIn("lathe", "P" + Id(id) + ".NC"), "SOMEONE ELSE\r\n");
  kvdb::WriteFileBytes(Root() + "/other", "SOMEONE ELSE\r\n");
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    p.select(IDC_PROGRAM_MACHINE, 0);  // LATHE
    p.set_text(IDC_PROGRAM_ID, "O1700'COPY");
    driver.expect_message_box(IDYES, "Copy program O1700 of machine MILL1");
    driver.expect_message_box(IDOK, "could not be copied");
    p.click(IDC_PROGRAM_COPY);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 3u);
    // The next try draws the next id, whose name is free.
    driver.expect_message_box(IDYES, "Copy program");
    p.click(IDC_PROGRAM_COPY);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 4u);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST)[2].substr(p.lines(IDC_PROGRAM_LIST)[2].size() - Id(id + 1).size() - 2),
              "@@" + Id(id + 1));
    // The same program id on the same machine is refused (the quote in it
    // is no end of the filter's text).
    driver.expect_message_box(IDYES, "Copy program");
    driver.expect_message_box(IDOK, "has this Program ID already");
    p.click(IDC_PROGRAM_COPY);
  });
  EXPECT_TRUE(SameFile(PathIn("lathe", "P" + Id(id) + ".NC"), Root() + "/other"));
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("lathe", "P" + Id(id + 1) + ".NC")), "G1 X17\r\n");
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID LONG1 DESC NAME DIR MID MACHINE"),
            (std::vector<std::string>{
                "NCID=17 LONG1=9 DESC=O1700 NAME=P17 DIR=" + Dir("mill1") + " MID=" + Id(mill) + " MACHINE=MILL1",
                "NCID=" + Id(id + 1) + " LONG1=" + Id(id + 1) + " DESC=O1700'COPY NAME=P" + Id(id + 1) +
                    " DIR=" + Dir("lathe") + " MID=" + Id(lathe) + " MACHINE=LATHE"}));
  EXPECT_EQ(Log(), std::vector<std::string>{"TYPE=6 TEXT=Program O1700 of machine MILL1 copied to O1700'COPY of "
                                            "machine LATHE by Ada Lovelace"});
}

// ---- Save info --------------------------------------------------------------

TEST_F(ProgramDialogTest, SaveInfoMovesTheFileWithTheMachine) {
  Add("KELVFILE.DBF", 17, "O1700", "G1 X17\r\n");
  Add("KELVFILE.DBF", 18, "O1800", "G1 X18\r\n");
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    // Its own id on its own machine is no duplicate; another's is.
    p.set_text(IDC_PROGRAM_ID, "O1800");
    driver.expect_message_box(IDOK, "has this Program ID already");
    p.click(IDC_PROGRAM_SAVE_INFO);
    p.set_text(IDC_PROGRAM_ID, "O1750");
    p.set_text(IDC_PROGRAM_DESCRIPTION, "NEW FLANGE");
    p.select(IDC_PROGRAM_MACHINE, 0);  // LATHE
    p.click(IDC_PROGRAM_SAVE_INFO);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 4u);
    EXPECT_NE(p.lines(IDC_PROGRAM_LIST)[2].find("O1750"), std::string::npos);
  });
  EXPECT_FALSE(fs::exists(PathIn("mill1", "P17.NC")));
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("lathe", "P17.NC")), "G1 X17\r\n");
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID DESC CHAR3 DIR MID MAT MACHINE"),
            (std::vector<std::string>{"NCID=17 DESC=O1750 CHAR3=NEW FLANGE DIR=" + Dir("lathe") + " MID=" +
                                          Id(lathe) + " MAT=6 MACHINE=LATHE",
                                      "NCID=18 DESC=O1800 CHAR3=FLANGE DIR=" + Dir("mill1") + " MID=" + Id(mill) +
                                          " MAT=5 MACHINE=MILL1"}));
  EXPECT_EQ(Log(), std::vector<std::string>{"TYPE=21 TEXT=Program O1700 of machine MILL1 renamed to O1750 of "
                                            "machine LATHE by Ada Lovelace"});
}

// ---- Lock and Unlock --------------------------------------------------------

TEST_F(ProgramDialogTest, LockAndUnlockMoveTheRowAndUnlockRefusesADuplicate) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n", 9);
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    p.click(IDC_PROGRAM_LOCK);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 2u);
  });
  EXPECT_EQ(PeerRows(DbPath("KELVLOCK.DBF"), "NCID LONG1 DESC"), std::vector<std::string>{"NCID=17 LONG1=9 DESC=O1700"});
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID"), std::vector<std::string>{"* NCID=-17"});

  // The program id came back meanwhile: Unlock is refused.
  Add("KELVFILE.DBF", 30, "o1700", "OTHER\r\n");
  long id = PeekProgramId();
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    p.click(IDC_PROGRAM_LOCKED);  // the locked programs
    EXPECT_TRUE(p.visible(IDC_PROGRAM_UNLOCK));
    EXPECT_FALSE(p.visible(IDC_PROGRAM_LOCK));
    EXPECT_EQ(p.text(IDC_PROGRAM_ID), "O1700");
    // A locked program is not handed to an editor.
    driver.expect_message_box(IDOK, "unlock it first");
    p.click(IDC_PROGRAM_OPEN);
    driver.expect_message_box(IDOK, "has this Program ID already");
    p.click(IDC_PROGRAM_UNLOCK);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 3u);
  });
  EXPECT_EQ(PeerRows(DbPath("KELVLOCK.DBF"), "NCID"), std::vector<std::string>{"NCID=17"});
  {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    delete t.DeleteById(30);
  }
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    p.click(IDC_PROGRAM_LOCKED);
    p.click(IDC_PROGRAM_UNLOCK);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 2u);
  });
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID LONG1 NAME"),
            (std::vector<std::string>{"NCID=" + Id(id) + " LONG1=9 NAME=P17", "* NCID=-17 LONG1=9 NAME=P17",
                                      "* NCID=-30 LONG1=30 NAME=P30"}));
  EXPECT_EQ(PeerRows(DbPath("KELVLOCK.DBF"), "NCID"), std::vector<std::string>{"* NCID=-17"});
  EXPECT_EQ(Log(), (std::vector<std::string>{"TYPE=22 TEXT=Program O1700 of machine MILL1 locked by Ada Lovelace",
                                             "TYPE=23 TEXT=Program O1700 of machine MILL1 unlocked by Ada Lovelace"}));
}

TEST_F(ProgramDialogTest, ALockRefusedByTheLockedTableKeepsTheProgram) {
  Add("KELVFILE.DBF", 17, "O1700", "G1\r\n");
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    plat::set_write_fault("KELVLOCK.DBF", 0);
    driver.expect_message_box(IDOK, "Error #");
    driver.expect_message_box(IDOK, "could not be written to its new table");
    p.click(IDC_PROGRAM_LOCK);
    plat::set_write_fault("", 0);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 3u);
  });
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID"), std::vector<std::string>{"NCID=17"});
  EXPECT_TRUE(Log().empty());
}

// ---- the backup dialog ------------------------------------------------------

TEST_F(ProgramDialogTest, RestoreFilesTheBackupAsANewProgramWithItsLog) {
  Add("KELVFILE.DBF", 17, "O1700", "G1 X17\r\n", 9);
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    driver.expect_message_box(IDYES, "Delete program");
    p.click(IDC_PROGRAM_DELETE);
  });
  long id = PeekProgramId();
  std::vector<std::string> backups = PeerRows(DbPath("KELVBACK.DBF"), "NAME");
  ASSERT_EQ(backups.size(), 1u);
  std::string bak = BackupPath(backups[0].substr(5) + ".BAK");
  int rc = Run<TBackupWithLog>(All("KELVBACK.DBF"), [&](Pilot& p, TOpenWithLog&) {
    EXPECT_FALSE(p.visible(IDC_PROGRAM_LOCKED));
    EXPECT_FALSE(p.visible(IDC_PROGRAM_NEW_SEARCH));
    driver.expect_message_box(IDYES, "Restore the backup of program O1700 of machine MILL1");
    p.click(IDC_PROGRAM_OPEN);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 2u);
  });
  EXPECT_EQ(rc, IDCANCEL);
  EXPECT_TRUE(SameFile(PathIn("mill1", "P" + Id(id) + ".NC"), bak));
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF"), "NCID LONG1 NAME EXT DIR"),
            (std::vector<std::string>{"NCID=" + Id(id) + " LONG1=9 NAME=P" + Id(id) + " EXT=NC DIR=" + Dir("mill1"),
                                      "* NCID=-17 LONG1=9 NAME=P17 EXT=NC DIR=" + Dir("mill1")}));
  EXPECT_EQ(PeerRows(DbPath("KELVBACK.DBF"), "NCID").at(0).substr(0, 7), "* NCID=");
  EXPECT_EQ(Log().back(), "TYPE=5 TEXT=Backup of program O1700 restored for machine MILL1 by Ada Lovelace");
}

TEST_F(ProgramDialogTest, RestoreOverAnExistingProgramReplacesOnlyItsFile) {
  Add("KELVFILE.DBF", 17, "O1700", "NEW\r\n");
  RunOn("KELVFILE.DBF", [&](Pilot& p, TOpenWithLog&) {
    driver.expect_message_box(IDYES, "Delete program");
    p.click(IDC_PROGRAM_DELETE);
  });
  Add("KELVFILE.DBF", 40, "O1700", "OLD\r\n");
  std::vector<std::string> before = PeerRows(DbPath("KELVFILE.DBF"));
  size_t logged = Log().size();
  Run<TBackupWithLog>(All("KELVBACK.DBF"), [&](Pilot& p, TOpenWithLog&) {
    driver.expect_message_box(IDYES, "Restore the backup");
    driver.expect_message_box(IDYES, "exists already");
    p.click(IDC_PROGRAM_OPEN);
    EXPECT_EQ(p.lines(IDC_PROGRAM_LIST).size(), 2u);
  });
  EXPECT_EQ(kvdb::ReadFileBytes(PathIn("mill1", "P40.NC")), "NEW\r\n");
  EXPECT_EQ(PeerRows(DbPath("KELVFILE.DBF")), before);
  EXPECT_EQ(Log().size(), logged);
}

TEST_F(ProgramDialogTest, NewSearchInTheBackupDialogEndsItForTheSearch) {
  Add("KELVBACK.DBF", 17, "O1700", "G1\r\n");
  // Its buttons stay hidden in this dialog; the answer is what counts.
  EXPECT_EQ(Run<TBackupWithLog>(All("KELVBACK.DBF"), [&](Pilot&, TOpenWithLog& d) { d.CmNewSearch(); }), 300);
}

}  // namespace
