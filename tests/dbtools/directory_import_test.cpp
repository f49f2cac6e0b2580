// The directory imports driven from the menu as a user runs them: rows read
// back by python3-dbfread, files compared with cmp, the summary box.
#include <filesystem>
#include <map>
#include <set>

#include "dbtools/tape_conversions.h"
#include "resources/dialogs/masterdata.h"
#include "resources/dialogs/search.h"
#include "tests/dbtools/import_fixture.h"
#include "tests/support/tape_text.h"

namespace {

namespace fs = std::filesystem;
using kvimport::ImportTest;
using kvimport::PeerRow;
using plat::Pilot;

std::string Id(long id) { return std::to_string(id); }
std::string Seven(long id) { return std::string(7 - Id(id).size(), '0') + Id(id); }

// The row of a program by its DESC.
const PeerRow* ByDesc(const std::vector<PeerRow>& rows, const std::string& desc) {
  for (const auto& r : rows)
    if (!r.deleted && r["DESC"] == desc) return &r;
  return nullptr;
}

class DirectoryImportTest : public ImportTest {
 protected:
  // The plain import's source directory: the test plug-in chooses
  // LastDir's CHOSEN directory.
  std::string Source(const std::string& name = "") const { return "SRC/CHOSEN" + (name.empty() ? "" : "/" + name); }
  // A plain import; the directory chooser starts where the user left it.
  void RunPlain(UINT command) {
    Globals->LastDir = "K:\\SRC\\";
    Run(command);
  }
  void PlainSources() {
    Write(Source("A.NC"), "G1 X1\r\n");
    Write(Source("B.TXT.OLD"), "G2 X2\r\n");
    Write(Source(".HIDDEN.NC"), "hidden\r\n");
    Write(Source("SUB/C.NC"), "below\r\n");
    Write(Source("R.NC"), "read only\r\n");
    fs::permissions(Native(Source("R.NC")), fs::perms::owner_write, fs::perm_options::remove);
  }
};

TEST_F(DirectoryImportTest, PlainImportToAMachineFilesEveryOrdinaryFile) {
  PlainSources();
  long first = PeekProgramId();
  ExpectMachine("MILL1");
  RunPlain(kCmImportToMachine);
  auto rows = Programs();
  ASSERT_EQ(rows.size(), 3u);
  std::set<long> ids;
  for (const char* desc : {"A", "B", "R"}) {
    SCOPED_TRACE(desc);
    const PeerRow* r = ByDesc(rows, desc);
    ASSERT_NE(r, nullptr);
    long id = std::stol((*r)["NCID"]);
    ids.insert(id);
    EXPECT_EQ((*r)["NAME"], "P" + Id(id));
    EXPECT_EQ((*r)["LONG1"], Id(id));
    EXPECT_EQ((*r)["CHAR3"], desc);
    EXPECT_EQ((*r)["EXT"], "NC");
    EXPECT_EQ((*r)["DIR"], "K:\\MILL1\\");
    EXPECT_EQ((*r)["MID"], Id(mill));
    EXPECT_EQ((*r)["MAT"], "5");
    EXPECT_EQ((*r)["MACHINE"], "MILL1");
    EXPECT_EQ((*r)["CUST"] + (*r)["PROJECT"] + (*r)["SENT"], "000");
    EXPECT_EQ((*r)["LOCK"] + (*r)["MAZAK"], "TF");
    EXPECT_EQ((*r)["PROG"], "-1");
    EXPECT_EQ((*r)["MEMOSTR"], "");
    std::string source = std::string(desc) == "B" ? "B.TXT.OLD" : std::string(desc) + ".NC";
    EXPECT_TRUE(SameFile(Native(Source(source)), Native("MILL1/P" + Id(id) + ".NC")));
  }
  EXPECT_EQ(ids, (std::set<long>{first, first + 1, first + 2}));
  EXPECT_EQ(Names("MILL1").size(), 3u);
  // Nothing was skipped or failed: no box. The sources stay.
  EXPECT_TRUE(driver.message_boxes().empty());
  EXPECT_TRUE(fs::exists(Native(Source("A.NC"))));
}

TEST_F(DirectoryImportTest, CustomerAndProjectImportsFileTheirIds) {
  long acme, other, project;
  {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    customers.Add("ACME");
    customers.Add("OTHER");
  }
  {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    std::unique_ptr<TcbAdvCustRecord> a(customers.FindByCompany("ACME"));
    customers.Close();
    std::unique_ptr<TcbAdvCustRecord> o(customers.FindByCompany("OTHER"));
    customers.Close();
    ASSERT_TRUE(a && o);
    acme = a->ID;
    other = o->ID;
    TcbProTable projects("KELVPRO.DBF", 0, 0);
    std::unique_ptr<TcbProRecord> p(projects.Add("FLANGES", other));
    ASSERT_TRUE(p);
    project = p->ID;
  }
  Write(Source("A.NC"), "G1\r\n");
  // 6001: the customer chosen; 6002: the project and its customer.
  driver.expect_dialog(IDD_SELECT_CUSTOMER, [](TDialog& d) {
    Pilot p(d);
    p.select(IDC_SELECT_CUSTOMER_LIST, 0);  // ACME (sorted)
    p.click(IDOK);
  });
  ExpectMachine("MILL1");
  RunPlain(kCmImportToCustomer);
  driver.expect_dialog(IDD_SELECT_PROJECT, [](TDialog& d) {
    Pilot p(d);
    p.select(IDC_SELECT_PROJECT_CUSTOMER, 1);  // OTHER
    p.select(IDC_SELECT_PROJECT_PROJECTS, 0);
    p.click(IDOK);
  });
  ExpectMachine("LATHE");
  RunPlain(kCmImportToProject);
  auto rows = Programs();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["CUST"] + " " + rows[0]["PROJECT"] + " " + rows[0]["MACHINE"], Id(acme) + " 0 MILL1");
  EXPECT_EQ(rows[1]["CUST"] + " " + rows[1]["PROJECT"] + " " + rows[1]["MACHINE"],
            Id(other) + " " + Id(project) + " LATHE");
}

TEST_F(DirectoryImportTest, ACancelledChooserChangesNothing) {
  {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    customers.Add("ACME");
  }
  Write(Source("A.NC"), "G1\r\n");
  Write("TAPES/1234.TAP", kvtape::TapeFile("", {kvtape::Block("1100")}));
  long next = PeekProgramId();
  // Each cancel ends the command before the next chooser opens.
  ExpectCancel(24);
  RunPlain(kCmImportToCustomer);
  ExpectCancel(28);
  RunPlain(kCmImportToProject);
  ExpectCancel(1);
  RunPlain(kCmImportToMachine);
  ExpectMachine("MILL1");
  ExpectFileCancel();
  Run(kCmImportMazakT32);
  ExpectMachine("MILL1");
  ExpectFileCancel();
  Run(kCmImportDncDatabase);
  // The directory chooser chooses nothing.
  Globals->LastDir = "K:\\NONE\\";
  ExpectMachine("MILL1");
  Run(kCmImportToMachine);
  EXPECT_TRUE(Programs().empty());
  EXPECT_TRUE(Names("MILL1").empty());
  EXPECT_EQ(PeekProgramId(), next + 1);
  EXPECT_TRUE(driver.message_boxes().empty());
}

TEST_F(DirectoryImportTest, AMachineWithoutItsDirectoryStopsBeforeAnIdIsDrawn) {
  Write(Source("A.NC"), "G1\r\n");
  long next = PeekProgramId();
  for (UINT command : {kCmImportToMachine, kCmImportMazakT32, kCmImportWc18, kCmImportDncDatabase}) {
    SCOPED_TRACE(command);
    ExpectMachine("NOWHERE");
    driver.expect_message_box(IDOK, "K:\\MISSING\\");
    Run(command);
  }
  EXPECT_TRUE(Programs().empty());
  EXPECT_EQ(PeekProgramId(), next + 1);
}

TEST_F(DirectoryImportTest, TheSameDirectoryTwiceGivesNewProgramsEachTime) {
  Write(Source("A.NC"), "G1\r\n");
  Write(Source("B.NC"), "G2\r\n");
  ExpectMachine("MILL1");
  RunPlain(kCmImportToMachine);
  ExpectMachine("MILL1");
  RunPlain(kCmImportToMachine);
  auto rows = Programs();
  ASSERT_EQ(rows.size(), 4u);
  std::set<std::string> ids, descs;
  for (const auto& r : rows) {
    ids.insert(r["NCID"]);
    descs.insert(r["DESC"]);
  }
  EXPECT_EQ(ids.size(), 4u);
  EXPECT_EQ(descs, (std::set<std::string>{"A", "B"}));
  EXPECT_EQ(Names("MILL1").size(), 4u);
}

// A file of the new name already in the machine's directory belongs to
// somebody: it is kept, the source is listed as failed, its id stays used.
TEST_F(DirectoryImportTest, AnExistingTargetIsKeptAndTheSourceListed) {
  Write(Source("A.NC"), "G1\r\n");
  long next = PeekProgramId();
  Write("MILL1/P" + Id(next) + ".NC", "SOMEBODY ELSE\r\n");
  Write("TAPES/0042.TAP", kvtape::TapeFile("", {kvtape::Block("1100")}));
  Write("MILL1/P" + Seven(next + 1) + ".MZK", "OTHER TAPE\r\n");
  driver.expect_message_box(IDOK, "Failed: 1");
  ExpectMachine("MILL1");
  RunPlain(kCmImportToMachine);
  driver.expect_message_box(IDOK, "0042.TAP: file exists");
  ExpectMachine("MILL1");
  ExpectFile("K:\\TAPES\\0042.TAP");
  Run(kCmImportMazakT32);
  EXPECT_TRUE(Programs().empty());
  EXPECT_EQ(kvdb::ReadFileBytes(Native("MILL1/P" + Id(next) + ".NC")), "SOMEBODY ELSE\r\n");
  EXPECT_EQ(kvdb::ReadFileBytes(Native("MILL1/P" + Seven(next + 1) + ".MZK")), "OTHER TAPE\r\n");
  EXPECT_EQ(PeekProgramId(), next + 3);
  auto boxes = driver.message_boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].text.find("Imported: 0"), std::string::npos) << boxes[0].text;
  EXPECT_NE(boxes[0].text.find("A.NC: file exists"), std::string::npos) << boxes[0].text;
}

// Without a new id the run stops at once and says so: when the counter
// file is gone, and when the next id would not fit "P" and seven digits.
TEST_F(DirectoryImportTest, NoNewIdStopsTheRun) {
  Write(Source("A.NC"), "G1\r\n");
  Write(Source("B.NC"), "G2\r\n");
  Write("TAPES/1.TAP", kvtape::TapeFile("", {kvtape::Block("1100")}));
  auto lastId = [this](long id) {
    DbDataFile* d = data_open(DbContext, DbPath("KELVINDX.DBF").c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(data_go(d, 1), 0);
    FieldRef(d, 2).assignLong(id);
    ASSERT_EQ(data_close(d), 0);
  };
  lastId(9999998);
  // The last id that fits goes to the first file.
  driver.expect_message_box(IDOK, "No new program id");
  driver.expect_message_box(IDOK, "Imported: ");
  ExpectMachine("MILL1");
  RunPlain(kCmImportToMachine);
  EXPECT_EQ(Programs().size(), 1u);
  EXPECT_EQ(Programs()[0]["NAME"], "P9999999");
  driver.expect_message_box(IDOK, "No new program id");
  driver.expect_message_box(IDOK, "Imported: 0");
  ExpectMachine("MILL1");
  ExpectFile("K:\\TAPES\\1.TAP");
  Run(kCmImportMazakT32);
  fs::remove(DbPath("KELVINDX.DBF"));
  driver.expect_message_box(IDOK, "No new program id");
  driver.expect_message_box(IDOK, "Imported: 0");
  ExpectMachine("MILL1");
  RunPlain(kCmImportToMachine);
  EXPECT_EQ(Programs().size(), 1u);
  EXPECT_EQ(Names("MILL1"), std::vector<std::string>{"P9999999.NC"});
}

// A row that cannot be written takes its copy back: no file without a row.
TEST_F(DirectoryImportTest, ARowThatCannotBeWrittenTakesItsCopyBack) {
  Write(Source("A.NC"), "G1\r\n");
  Write(Source("B.NC"), "G2\r\n");
  plat::set_write_fault("KELVFILE.DBF", 0);
  driver.expect_message_box(IDOK, "Error #");
  driver.expect_message_box(IDOK, "Error #");
  driver.expect_message_box(IDOK, "Failed: 2");
  ExpectMachine("MILL1");
  RunPlain(kCmImportToMachine);
  plat::set_write_fault("", 0);
  EXPECT_TRUE(Names("MILL1").empty());
  EXPECT_TRUE(Programs().empty());
  auto boxes = driver.message_boxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_NE(boxes[2].text.find("A.NC: not filed"), std::string::npos) << boxes[2].text;
}

TEST_F(DirectoryImportTest, TapeImportNamesProgramsBySevenDigitsAndTakesNumbersFromNames) {
  const std::vector<std::string> tape = {kvtape::Block("1100ABCDEFGHIJ0042"), kvtape::Block("N1G1X1", ' ')};
  const std::string file = kvtape::TapeFile("LEADER", tape);
  Write("TAPES/X12", file);
  Write("TAPES/0042.TAP", file);
  Write("TAPES/.HIDDEN", file);
  Write("TAPES/NOTAPE.TXT", "no marker here");
  Write("TAPES/SUB/9.TAP", file);
  Write("TAPES/.SUBHIDDEN/8.TAP", file);
  NextProgramIdIs(42);
  // The chosen file only points out the directory.
  driver.expect_message_box(IDOK, "Skipped: 1");
  ExpectMachine("LATHE");
  ExpectFile("K:\\TAPES\\NOTAPE.TXT");
  Run(kCmImportMazakTPlus);
  auto rows = Programs();
  ASSERT_EQ(rows.size(), 3u);
  std::map<std::string, std::string> descOfName;
  for (const auto& r : rows) {
    descOfName[r["NAME"]] = r["DESC"];
    EXPECT_EQ(r["EXT"], "MZK");
    EXPECT_EQ(r["LOCK"] + r["MAZAK"], "TT");
    EXPECT_EQ(r["CHAR3"], "");
    EXPECT_EQ(r["DESC"], r["PROG"]);
    EXPECT_EQ(r["MACHINE"], "LATHE");
    EXPECT_EQ(kvdb::ReadFileBytes(Native("LATHE/" + r["NAME"] + ".MZK")), kvtape::TapeText('5', tape));
  }
  EXPECT_TRUE(descOfName.count("P0000042"));
  EXPECT_TRUE(fs::exists(Native("LATHE/P0000042.MZK")));
  std::multiset<std::string> descs;
  for (const auto& [name, desc] : descOfName) descs.insert(desc);
  // X12 gives 0, 0042.TAP gives 42, .HIDDEN gives 0.
  EXPECT_EQ(descs, (std::multiset<std::string>{"0", "0", "42"}));
  // The run's work file is gone; no IMPORT.TMP was used.
  EXPECT_TRUE(Names("TEMP").empty());
}

TEST_F(DirectoryImportTest, Wc18ImportsCleanTheFilesAndKeepEveryDigit) {
  const std::string body = "\x02\x01O1234\r\nN10 G1\tX1\xB1\r\n%\r\nN20\r\n";
  struct Case {
    UINT command;
    std::string clean;
  } cases[] = {
      {kCmImportWc18, "O1234\r\nN10 G1X1\r\n%\r\nN20\r\n"},
      {kCmImportWc18140, "%\r\nN20\r\n"},
      {kCmImportWc18200, "%\r\nN20\r\n"},
  };
  Write("WC/O1234.NC", body);
  Write("WC/1234.NC", body);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    std::vector<PeerRow> before = Programs();
    ExpectMachine("MILL1");
    ExpectFile("K:\\WC\\1234.NC");
    Run(c.command);
    auto rows = Programs();
    ASSERT_EQ(rows.size(), before.size() + 2);
    for (std::size_t i = before.size(); i < rows.size(); ++i) {
      const PeerRow& r = rows[i];
      EXPECT_EQ(r["PROG"], "1234");
      EXPECT_TRUE(r["DESC"] == "O1234" || r["DESC"] == "1234") << r["DESC"];
      EXPECT_EQ(r["EXT"] + r["LOCK"] + r["MAZAK"], "NCTF");
      EXPECT_EQ(r["NAME"].size(), 8u);
      EXPECT_EQ(kvdb::ReadFileBytes(Native("MILL1/" + r["NAME"] + ".NC")), c.clean);
    }
  }
  EXPECT_TRUE(driver.message_boxes().empty());
}

TEST_F(DirectoryImportTest, AnUnreadableWc18SourceIsListedNotFiledEmpty) {
  Write("WC/O1.NC", "N1\r\n");
  Write("WC/O2.NC", "N2\r\n");
  plat::set_read_fault("O2.NC", 0);
  driver.expect_message_box(IDOK, "O2.NC: ");
  ExpectMachine("MILL1");
  ExpectFile("K:\\WC\\O1.NC");
  Run(kCmImportWc18);
  auto rows = Programs();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["DESC"], "O1");
  EXPECT_NE(driver.message_boxes()[0].text.find("Skipped: 1"), std::string::npos);
}

// Without its own work file the run does not start: an IMPORT.TMP left
// in the temporary directory is never filed.
TEST_F(DirectoryImportTest, NoWorkFileNoImport) {
  Write("TEMP/IMPORT.TMP", "LEFT OVER\r\n");
  Write("TAPES/1.TAP", kvtape::TapeFile("", {kvtape::Block("1100")}));
  long next = PeekProgramId();
  Globals->TempDir = "K:\\NOTEMP\\";
  driver.expect_message_box(IDOK, "K:\\NOTEMP\\IMP");
  ExpectMachine("MILL1");
  ExpectFile("K:\\TAPES\\1.TAP");
  Run(kCmImportMazakT32);
  EXPECT_TRUE(Programs().empty());
  EXPECT_EQ(PeekProgramId(), next + 1);
  EXPECT_EQ(Names("TEMP"), std::vector<std::string>{"IMPORT.TMP"});
}

}  // namespace
