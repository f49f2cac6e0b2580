// The watched-directory import: the Program-ID rules, what each kind of
// file becomes (rows read back by python3-dbfread, files compared with
// cmp), the files left for a later pass, a file written slowly by another
// process, and threads stopped in the middle of a pass.
#include "dbtools/auto_import.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <thread>

#include "app/threads.h"
#include "dbmodel/syslog.h"
#include "platform/clock.h"
#include "platform/sync.h"
#include "storage/filing_lock.h"
#include "storage/program_lock.h"
#include "tests/dbtools/program_db_fixture.h"

namespace {

using kvimport::ProgramDbTest;

class AutoImportTest : public ProgramDbTest {
 protected:
  void SetUp() override {
    ProgramDbTest::SetUp();
    CreateTable<TcbFileTable>("KELVAUTO.DBF");
    std::filesystem::create_directories(Native("MEMO"));
    std::filesystem::create_directories(Native("DROP"));
    CopyCut(def.PATH, sizeof def.PATH, "K:\\DROP\\");
    CopyCut(def.MEPA, sizeof def.MEPA, "K:\\MEMO\\");
    CopyCut(def.EXT, sizeof def.EXT, "NC");
    CopyCut(def.MEMO, sizeof def.MEMO, "TXT");
    CopyCut(def.MACH, sizeof def.MACH, "MILL1");
    def.MACHINE = mill;
    def.CUSTOMER = 3;
    def.PROJECT = 4;
    def.REPLACE = def.BACKUP = 0;
    watch.settle = std::chrono::milliseconds(0);
    Globals->LoadLogTexts(44, 0);
  }

  // Two passes: the first look and the one that takes what settled.
  TAutoImportCounts Passes() {
    RunAutoImportPass(def, watch);
    return RunAutoImportPass(def, watch);
  }
  void Drop(const std::string& name, const std::string& text) { Write("DROP/" + name, text); }
  bool Dropped(const std::string& name) const { return std::filesystem::exists(Native("DROP/" + name)); }
  std::string Read(const std::string& native) const { return kvdb::ReadFileBytes(native); }
  bool SameFiles(const std::string& a, const std::string& b) {
    int status = -1;
    kvtest::run_command("cmp -s '" + a + "' '" + b + "'", &status);
    return status == 0;
  }
  // A program of the mill filed the way a station files it.
  long FileProgram(const char* desc, const std::string& text) {
    TcbFileRecord r;
    r.NCID = r.LONG1 = NextProgramId();
    CopyCut(r.DESC, sizeof r.DESC, desc);
    CopyCut(r.DIR, sizeof r.DIR, "K:\\MILL1\\");
    CopyCut(r.NAME, sizeof r.NAME, FormatText("P%ld", r.NCID).c_str());
    CopyCut(r.EXT, sizeof r.EXT, "NC");
    r.MID = mill;
    r.SetMemo("kept memo");
    Write("MILL1/" + std::string(r.NAME) + ".NC", text);
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    EXPECT_EQ(t.Append(&r), 1);
    return r.NCID;
  }
  std::vector<kvimport::PeerRow> Kept() { return PeerTable(DbPath("KELVAUTO.DBF")); }
  std::vector<kvimport::PeerRow> Backups() { return PeerTable(DbPath("KELVBACK.DBF")); }
  long LogEntries() {
    TLogTable t("LOG00000.DBF", 0, 0);
    long n = t.Open() ? data_reccount(t.Data()) : -1;
    t.Close();
    return n;
  }

  TcbAutoImpRecord def;
  TAutoImportWatch watch;
};

// ---- Program-ID rules --------------------------------------------------------

struct IdCase {
  const char* name;
  long method;
  const char* progId;
  int expand;
  const char* exwith;
  std::string text;  // the file's text (METHOD 1)
  const char* file;
  std::string id;
};

TEST_F(AutoImportTest, TheProgramIdFollowsTheDefinitionsRules) {
  const std::string fortyFive(45, 'X');
  std::string fiftyLines;
  for (int i = 0; i < 50; ++i) fiftyLines += "G1 X" + std::to_string(i) + "\r\n";
  const IdCase cases[] = {
      {"fixed id wins", 0, "FIXED", 1, "6", "", "12.NC", "FIXED"},
      {"fixed id wins over the text", 1, "FIXED", 0, "", "O1 (PART)\r\n", "A.NC", "FIXED"},
      {"name up to its first dot", 0, "", 0, "", "", "A.B.NC", "A"},
      {"expanded to six digits", 0, "", 1, "6", "", "12.NC", "000012"},
      {"a width with a letter is no width", 0, "", 1, "1s", "", "12.NC", "12"},
      {"width 0 is no width", 0, "", 1, "0", "", "12.NC", "12"},
      {"a width beyond 40 is no width", 0, "", 1, "41", "", "12.NC", "12"},
      {"first parenthesis", 1, "", 0, "", "%\r\nO1000 (FLANGE-12)\r\n", "O1000.NC", "FLANGE-12"},
      {"a closing one first takes the rest", 1, "", 0, "", "N1 ) X (REST OF IT\r\n", "R.NC", "REST OF IT"},
      {"45 characters cut to 40", 1, "", 0, "", "(" + fortyFive + ")\r\n", "L.NC", fortyFive.substr(0, 40)},
      {"none in the first 50 lines", 1, "", 0, "", fiftyLines + "(LATE)\r\n", "NOPAREN.X.NC", "NOPAREN"},
      {"expand is for names only", 1, "", 1, "6", "(P7)\r\n", "7.NC", "P7"},
  };
  for (const IdCase& c : cases) {
    SCOPED_TRACE(c.name);
    TcbAutoImpRecord d;
    d.METHOD = c.method;
    CopyCut(d.PROGID, sizeof d.PROGID, c.progId);
    d.EXPAND = c.expand;
    CopyCut(d.EXWITH, sizeof d.EXWITH, c.exwith);
    Drop(c.file, c.text);
    EXPECT_EQ(AutoImportProgramId(d, c.file, "K:\\DROP\\" + std::string(c.file)), c.id);
  }
}

// ---- what a file becomes -------------------------------------------------------

TEST_F(AutoImportTest, ANewFileBecomesAProgramOfTheMachineAndLeavesTheDirectory) {
  Drop("job12.nc", "%\r\nO12\r\nG0 X1\r\n%\r\n");
  Write("MEMO/job12.TXT", "first line\r\nsecond line\r\n");
  const std::string kept = Native("kept.nc");
  Write("kept.nc", Read(Native("DROP/job12.nc")));
  long id = PeekProgramId();

  TAutoImportCounts first = RunAutoImportPass(def, watch);
  EXPECT_EQ(first.imported, 0) << "the first look only notes the file";
  EXPECT_TRUE(Dropped("job12.nc"));
  EXPECT_EQ(RunAutoImportPass(def, watch).imported, 1);

  auto rows = Programs();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["DESC"], "JOB12");
  EXPECT_EQ(rows[0]["NCID"], std::to_string(id));
  EXPECT_EQ(rows[0]["LONG1"], std::to_string(id));
  EXPECT_EQ(rows[0]["NAME"], "P" + std::to_string(id));
  EXPECT_EQ(rows[0]["EXT"], "NC");
  EXPECT_EQ(rows[0]["DIR"], "K:\\MILL1\\");
  EXPECT_EQ(rows[0]["MID"], std::to_string(mill));
  EXPECT_EQ(rows[0]["MACHINE"], "MILL1");
  EXPECT_EQ(rows[0]["CUST"], "3");
  EXPECT_EQ(rows[0]["PROJECT"], "4");
  EXPECT_EQ(rows[0]["MEMOSTR"], "first line\r\nsecond line\r\n");
  EXPECT_TRUE(SameFiles(kept, Native("MILL1/P" + std::to_string(id) + ".NC")));
  EXPECT_FALSE(Dropped("job12.nc"));
  EXPECT_FALSE(std::filesystem::exists(Native("MEMO/job12.TXT")));
}

TEST_F(AutoImportTest, MemosAreReadWholeOrGiveTheirFirstLine) {
  std::string big;
  while (big.size() < 70000) big += "memo line " + std::to_string(big.size()) + "\r\n";
  const std::string eighty(80, 'M');
  struct Case {
    const char* name;
    int mindesc;
    std::string memo;
    std::string char3, memostr;
  } cases[] = {
      {"a memo longer than one read", 0, big, "", big},
      {"first line cut to 50", 1, eighty + "\r\nrest\r\n", eighty.substr(0, 50), ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    def.MINDESC = c.mindesc;
    std::string base = "M" + std::to_string(n++);
    Drop(base + ".NC", "G0\r\n");
    Write("MEMO/" + base + ".TXT", c.memo);
    EXPECT_EQ(Passes().imported, 1);
    auto rows = Programs();
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(n));
    EXPECT_EQ(rows.back()["CHAR3"], c.char3);
    EXPECT_EQ(rows.back()["MEMOSTR"], c.memostr);
    EXPECT_FALSE(std::filesystem::exists(Native("MEMO/" + base + ".TXT")));
  }
}

TEST_F(AutoImportTest, AnExistingIdWithoutReplaceIsAFailedImportAndTheProgramStays) {
  long old = FileProgram("ABC", "old text\r\n");
  Drop("abc.nc", "new text\r\n");
  long kept = NextImportKeptId() + 1;
  EXPECT_EQ(Passes().kept, 1);

  auto programs = Programs();
  ASSERT_EQ(programs.size(), 1u);
  EXPECT_EQ(programs[0]["NCID"], std::to_string(old));
  EXPECT_EQ(Read(Native("MILL1/P" + std::to_string(old) + ".NC")), "old text\r\n");
  auto rows = Kept();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["DESC"], "ABC");
  EXPECT_EQ(rows[0]["NCID"], std::to_string(kept));
  EXPECT_EQ(rows[0]["NAME"], "P" + std::to_string(kept));
  EXPECT_EQ(rows[0]["DIR"], Globals->BackupDir);
  EXPECT_EQ(Read(BackupPath("P" + std::to_string(kept) + ".NC")), "new text\r\n");
  EXPECT_FALSE(Dropped("abc.nc"));
}

TEST_F(AutoImportTest, ReplaceWithBackupKeepsTheOldTextAndTheProgramsRow) {
  def.REPLACE = def.BACKUP = 1;
  long old = FileProgram("ABC", "old text\r\n");
  auto before = Programs();
  Drop("ABC.NC", "new text\r\n");
  Write("MEMO/ABC.TXT", "a memo the replacement leaves alone");
  long backup = NextBackupId() + 1;
  EXPECT_EQ(Passes().replaced, 1);

  EXPECT_EQ(Programs()[0].values, before[0].values);
  EXPECT_EQ(Read(Native("MILL1/P" + std::to_string(old) + ".NC")), "new text\r\n");
  EXPECT_EQ(Read(BackupPath("B" + std::to_string(backup) + ".BAK")), "old text\r\n");
  auto rows = Backups();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["NAME"], "B" + std::to_string(backup));
  EXPECT_EQ(rows[0]["EXT"], "BAK");
  EXPECT_EQ(rows[0]["DESC"], "ABC");
  EXPECT_EQ(rows[0]["MEMOSTR"], "kept memo");
  EXPECT_FALSE(Dropped("ABC.NC"));
  EXPECT_TRUE(std::filesystem::exists(Native("MEMO/ABC.TXT")));
}

TEST_F(AutoImportTest, IdsWithQuotesAndBracketsAreFoundAgainByName) {
  Drop("O'NEIL.NC", "1\r\n");
  Drop("[A].NC", "2\r\n");
  EXPECT_EQ(Passes().imported, 2);
  for (const char* id : {"O'NEIL", "[A]"}) {
    SCOPED_TRACE(id);
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    TcbFileRecord* found = t.SelectByDescAndMachine(id, mill);
    t.made = nullptr;
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->next, nullptr);
    FreeRecordList(found);
  }
  // A second file of the same id meets the first.
  Drop("o'neil.nc", "3\r\n");
  EXPECT_EQ(Passes().kept, 1);
}

TEST_F(AutoImportTest, IdsNoFilterOrDescCanHoldAreFailedImports) {
  def.METHOD = 1;
  const std::string longName(45, 'L');
  Drop("Q.NC", "(IT'S \"]\")\r\n");
  Drop(longName + ".NC", "no parenthesis\r\n");
  EXPECT_EQ(Passes().kept, 2);
  EXPECT_TRUE(Programs().empty());
  std::set<std::string> descs;
  for (const auto& r : Kept()) descs.insert(r["DESC"]);
  EXPECT_EQ(descs, (std::set<std::string>{"IT'S \"]\"", longName.substr(0, 40)}));
  // The failed-imports command lists them.
  TcbFileTable t("KELVAUTO.DBF", 0, 0);
  TcbFileRecord* all = t.ReadAll(1);
  int n = 0;
  for (TcbRecord* r = all; r; r = r->next) ++n;
  FreeRecordList(all);
  EXPECT_EQ(n, 2);
}

TEST_F(AutoImportTest, ANameLeadingOutOfTheDirectoryIsNeverTaken) {
  Write("OUT.NC", "outside\r\n");
  Drop("..\\OUT.NC", "inside\r\n");
  Passes();
  EXPECT_TRUE(Programs().empty());
  EXPECT_EQ(Read(Native("OUT.NC")), "outside\r\n");
  EXPECT_TRUE(Dropped("..\\OUT.NC"));
}

// ---- files left for a later pass -----------------------------------------------

TEST_F(AutoImportTest, FilesThatCannotBeTakenNowWaitInPlace) {
  struct Case {
    const char* name;
    std::function<void()> hinder, release;
    long logged;  // system-log entries, however many passes it waits
  };
  plat::File writer;
  std::string file;
  const Case cases[] = {
      {"held open by a writer",
       [&] {
         writer = plat::create_file("K:\\DROP\\" + file, plat::Access::write, plat::Share::read,
                                    plat::Disposition::open_existing);
         ASSERT_TRUE(writer.is_open());
       },
       [&] { plat::close(writer); }, 0},
      {"the machine is not there", [&] { def.MACHINE = 999; }, [&] { def.MACHINE = mill; }, 1},
      {"the copy fails (no such directory)", [&] { def.MACHINE = 7; }, [&] { def.MACHINE = mill; }, 1},
      {"the row is refused (the engine tells of each refused write)",
       [&] {
         plat::set_write_fault("KELVFILE.DBF", 0);
         for (int attempt = 0; attempt < 2; ++attempt) driver.expect_message_box(IDOK, "Error #");
       },
       [] { plat::set_write_fault("", 0); }, 1},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    file = "W" + std::to_string(n++) + ".NC";
    Drop(file, "text\r\n");
    auto filesBefore = Names("MILL1");
    c.hinder();
    long logged = LogEntries();
    TAutoImportCounts counts;
    for (int pass = 0; pass < 3; ++pass) counts = RunAutoImportPass(def, watch);
    EXPECT_EQ(counts.imported, 0);
    EXPECT_EQ(counts.waiting, 1);
    EXPECT_TRUE(Dropped(file));
    EXPECT_EQ(Names("MILL1"), filesBefore) << "no file without its row";
    c.release();
    EXPECT_EQ(LogEntries() - logged, c.logged) << "one entry for the file, not one every pass";
    EXPECT_EQ(RunAutoImportPass(def, watch).imported, 1);
    EXPECT_FALSE(Dropped(file));
  }
  EXPECT_EQ(Programs().size(), std::size(cases));
}

TEST_F(AutoImportTest, AReplaceWaitsWhileAnEditorHoldsTheProgram) {
  // The station's lock attempts stay at their default, without end: the
  // check must answer at once all the same, not wait for the editor.
  ASSERT_EQ(DbContext->lock_attempts, -1);
  def.REPLACE = 1;
  long old = FileProgram("HELD", "old\r\n");
  auto editor = std::make_unique<TProgramLockTable>();
  ASSERT_GT(editor->LockById(old), 0);
  Drop("HELD.NC", "new\r\n");
  long logged = LogEntries();
  EXPECT_EQ(Passes().waiting, 1);
  EXPECT_EQ(RunAutoImportPass(def, watch).waiting, 1);
  EXPECT_EQ(LogEntries() - logged, 1) << "the wait is logged once, not at every pass";
  auto entries = PeerRows(DbPath("LOG00000.DBF"), "TEXT");
  ASSERT_FALSE(entries.empty());
  EXPECT_NE(entries.back().find("HELD.NC in place: program is open in an editor"), std::string::npos) << entries.back();
  EXPECT_TRUE(Dropped("HELD.NC"));
  EXPECT_EQ(Read(Native("MILL1/P" + std::to_string(old) + ".NC")), "old\r\n");
  editor.reset();
  EXPECT_EQ(RunAutoImportPass(def, watch).replaced, 1);
  EXPECT_EQ(Read(Native("MILL1/P" + std::to_string(old) + ".NC")), "new\r\n");
  EXPECT_FALSE(Dropped("HELD.NC"));
}

TEST_F(AutoImportTest, AFileWrittenSlowlyByAnotherProcessIsImportedOnceWhole) {
  // The thread's own settling time: two seconds of the same size and time.
  watch.settle = std::chrono::milliseconds(2000);
  const std::string path = Native("DROP/SLOW.NC");
  std::string expected;
  for (int i = 0; i < 60; ++i) expected += std::string(1024, static_cast<char>('A' + i % 26));
  // Another program writes 1 KB every 50 ms for three seconds.
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    kvtest::run_command("/usr/bin/python3 -c \"import time\nwith open('" + path +
               "', 'wb') as f:\n  for i in range(60):\n    f.write(bytes([65 + i % 26]) * 1024); f.flush(); "
               "time.sleep(0.05)\"");
    writing = false;
  });
  int imported = 0, passes = 0;
  // Passes a short interval apart, as a thread with a short TIMEOUT runs
  // them, while the file grows and until it has been taken. The bound only
  // ends a broken run.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while ((writing || Dropped("SLOW.NC")) && std::chrono::steady_clock::now() < giveUp) {
    imported += RunAutoImportPass(def, watch).imported;
    ++passes;
    plat::sleep_ms(100);
  }
  writer.join();
  EXPECT_GT(passes, 20) << "passes ran while the file was being written";
  EXPECT_EQ(imported, 1);
  EXPECT_FALSE(Dropped("SLOW.NC"));
  auto rows = Programs();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["DESC"], "SLOW");
  EXPECT_EQ(Read(Native("MILL1/" + rows[0]["NAME"] + ".NC")), expected);
}

// ---- threads -------------------------------------------------------------------

// A definition over the drop directory as its own thread owns it.
TcbAutoImpRecord* ThreadDefinition(const TcbAutoImpRecord& def) {
  auto* d = new TcbAutoImpRecord;
  std::memcpy(d->PATH, def.PATH, sizeof def.PATH);
  std::memcpy(d->EXT, def.EXT, sizeof def.EXT);
  std::memcpy(d->MACH, def.MACH, sizeof def.MACH);
  d->MACHINE = def.MACHINE;
  d->REPLACE = d->BACKUP = 0;
  d->TIMEOUT = 0;
  return d;
}

struct FiledRows {
  std::size_t imported = 0, saved = 0;
};

// No NCID twice, no Program-ID twice on one machine, every imported row's
// file in the machine's directory.
FiledRows CheckRows(const std::vector<kvimport::PeerRow>& rows,
                    const std::function<std::string(const std::string&)>& native) {
  std::set<std::string> descs, ncids;
  FiledRows n;
  for (const auto& r : rows) {
    EXPECT_TRUE(descs.insert(r["DESC"] + "@" + r["MID"]).second) << "twice on one machine: " << r["DESC"];
    EXPECT_TRUE(ncids.insert(r["NCID"]).second) << "NCID twice: " << r["NCID"];
    if (r["DESC"].rfind("SAVED", 0) == 0) {
      ++n.saved;
      continue;
    }
    ++n.imported;
    EXPECT_TRUE(std::filesystem::exists(native("MILL1/" + r["NAME"] + ".NC"))) << r["NAME"];
  }
  return n;
}

TEST_F(AutoImportTest, TwoDefinitionsOverOneDirectoryBesideAStationSavingFileEachProgramOnce) {
  // 200 files, and 50 of their ids a second time in another case: one of
  // each pair is a program, the other a failed import, whichever thread
  // meets them.
  constexpr int kFiles = 200, kTwice = 50;
  for (int i = 0; i < kFiles; ++i) Drop("F" + std::to_string(i) + ".NC", "N" + std::to_string(i) + "\r\n");
  for (int i = 0; i < kTwice; ++i) Drop("f" + std::to_string(i) + ".nc", "n" + std::to_string(i) + "\r\n");
  kvimport::TSavingStation station(mill, Native("saved.txt"), 10);
  ASSERT_TRUE(station.Running());

  plat::set_time_scale(0.001);
  for (int t = 0; t < 2; ++t) ASSERT_TRUE(StartWorker(AutoImportThread, 20480, ThreadDefinition(def)));
  // No signal tells of a directory emptied by another thread: it is
  // looked at. The bound only ends a broken run.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!Names("DROP").empty() && std::chrono::steady_clock::now() < giveUp) plat::sleep_ms(20);
  StopWorkers();
  plat::set_time_scale(1.0);
  EXPECT_EQ(RunningWorkers(), 0u);
  const int saved = station.Stop();
  ASSERT_GE(saved, 1);

  EXPECT_TRUE(Names("DROP").empty());
  FiledRows n = CheckRows(Programs(), [this](const std::string& s) { return Native(s); });
  EXPECT_EQ(n.imported, static_cast<std::size_t>(kFiles));
  EXPECT_EQ(n.saved, static_cast<std::size_t>(saved));
  auto kept = Kept();
  EXPECT_EQ(kept.size(), static_cast<std::size_t>(kTwice));
  std::set<std::string> keptIds;
  for (const auto& r : kept) keptIds.insert(r["NCID"]);
  EXPECT_EQ(keptIds.size(), kept.size()) << "failed imports draw their own ids, each once";
}

TEST_F(AutoImportTest, AProgramRenamedByAnotherStationInTheMiddleOfAPassIsNotFiledTwice) {
  // The pass lets the filing lock go between files. A station that takes
  // it there, once some files are filed, renames a program to the
  // Program-ID of the file the pass is about to take: the pass must find
  // that id taken. The station files on its own thread while the pass
  // waits for it.
  constexpr std::size_t kFiles = 300;
  const long seed = FileProgram("SEED", "seed\r\n");
  for (std::size_t i = 0; i < kFiles; ++i) Drop("F" + std::to_string(i) + ".NC", "N" + std::to_string(i) + "\r\n");
  RunAutoImportPass(def, watch);  // the first look
  watch.filingHold = std::chrono::milliseconds(0);
  std::string renamedTo;
  auto station = [&] {
    TFilingLock filing;
    ASSERT_TRUE(filing.IsHeld());
    // The pass goes through the directory in its listed order, each file
    // gone once filed: the first one listed is the one it takes next.
    plat::FindHandle h;
    plat::FindData d;
    ASSERT_TRUE(plat::find_first(Native("DROP/*.NC"), h, d));
    plat::find_close(h);
    std::string id = d.name.substr(0, d.name.find('.'));
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    std::unique_ptr<TcbFileRecord> r(t.FindById(seed));
    t.made = nullptr;
    ASSERT_NE(r, nullptr);
    CopyCut(r->DESC, sizeof r->DESC, id.c_str());
    ASSERT_EQ(t.Update(r.get()), 1);
    renamedTo = id;
  };
  watch.filingLetGo = [&] {
    if (!renamedTo.empty() || Names("DROP").size() > kFiles - 10) return;
    // Well out of the stations' turn (the first tenth of each second, when
    // the pass looks an id up afresh for one file alone): the ids the pass
    // reads as it takes the lock again must hold the new one.
    const int ms = plat::local_time().milliseconds;
    if (ms < 200 || ms > 800) return;
    std::thread(station).join();
  };
  TAutoImportCounts counts = RunAutoImportPass(def, watch);
  ASSERT_FALSE(renamedTo.empty()) << "the station had its turn in the middle of the pass";
  EXPECT_EQ(counts.imported, static_cast<int>(kFiles) - 1);
  EXPECT_EQ(counts.kept, 1);
  auto kept = Kept();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0]["DESC"], renamedTo);
  FiledRows n = CheckRows(Programs(), [this](const std::string& s) { return Native(s); });
  EXPECT_EQ(n.imported, kFiles);  // the renamed program and the files filed
}

TEST_F(AutoImportTest, AThreadStoppedInTheMiddleOfAPassEndsBetweenTwoFiles) {
  constexpr int kFiles = 500;
  for (int i = 0; i < kFiles; ++i) Drop("F" + std::to_string(i) + ".NC", "N" + std::to_string(i) + "\r\n");
  plat::set_time_scale(0.001);
  ASSERT_TRUE(StartWorker(AutoImportThread, 20480, ThreadDefinition(def)));
  // The thread's settling time is two (unscaled) seconds; the stop comes
  // as soon as the first copy is made, long before the pass's last (the
  // sources of a held run of files go together, when its rows are in).
  const std::size_t before = Names("MILL1").size();
  while (Names("MILL1").size() == before) plat::sleep_ms(20);
  StopWorkers();
  plat::set_time_scale(1.0);
  EXPECT_EQ(RunningWorkers(), 0u);
  std::size_t left = Names("DROP").size();
  EXPECT_GT(left, 0u) << "the stop came before the pass's end";
  FiledRows n = CheckRows(Programs(), [this](const std::string& s) { return Native(s); });
  EXPECT_EQ(n.imported + left, static_cast<std::size_t>(kFiles)) << "each file filed or in place";
  EXPECT_TRUE(Kept().empty());
}

}  // namespace
