// The program list file and the program export, run from the main frame
// as the menu runs them; the files read back byte for byte and with cmp.
// Covers: dbtools/program_sets.cpp, dbtools/program_list_file.cpp,
// dbtools/program_export.cpp, dbtools/program_set_commands.cpp
#include <gtest/gtest.h>

#include "appcore/message_ids.h"
#include "dbtools/program_sets.h"
#include "tests/dbtools/program_sets_fixture.h"

namespace fs = std::filesystem;

namespace {

using kvsets::Program;

std::string Pad(const std::string& s, std::size_t n) { return s + std::string(n - s.size(), ' '); }

class ProgramListTest : public kvsets::ProgramSetTest {};

// Two programs of customer "A\..\B:C" (one MACHINE of 20 characters, one of
// 25), one deleted, one of another customer; DESC order though added the
// other way round.
TEST_F(ProgramListTest, CustomerListLinesByteForByteInsideTheExportDirectory) {
  long odd = AddCustomer("A\\..\\B:C");
  long other = AddCustomer("OTHER");
  long b = AddProgram({"B200", "M234567890123456789012345", "Shaft", "D-2", "P-2", odd});
  long gone = AddProgram({"A150", "MILL1", "Deleted", "", "", odd});
  long a = AddProgram({"A100", "M2345678901234567890", "Flange", "D-1", "P-1", odd});
  AddProgram({"A000", "MILL1", "Not ours", "", "", other});
  DeleteProgram(gone);

  ExpectCustomer("A\\..\\B:C");
  Run(kCmListProgramsForCustomer);

  // Counted by hand: DESC to 40, MACHINE to 20 (25 written whole),
  // description to 50, drawing and part to 25.
  const std::string want =
      "Program ID : " + Pad("A100", 40) + ", Machine : M2345678901234567890, Description : " + Pad("Flange", 50) +
      ", Drawing no. : " + Pad("D-1", 25) + ", Part no. : " + Pad("P-1", 25) + ", Program file : K:\\MILL1\\P" +
      std::to_string(a) + ".NC\r\n" + "Program ID : " + Pad("B200", 40) +
      ", Machine : M234567890123456789012345, Description : " + Pad("Shaft", 50) + ", Drawing no. : " +
      Pad("D-2", 25) + ", Part no. : " + Pad("P-2", 25) + ", Program file : K:\\MILL1\\P" + std::to_string(b) +
      ".NC\r\n";
  EXPECT_EQ(Names("EXPORT"), std::vector<std::string>{"Programs of customer A_.._B_C.lst"});
  EXPECT_EQ(Read("EXPORT/Programs of customer A_.._B_C.lst"), want);
  EXPECT_TRUE(driver.message_boxes().empty());
  // Nothing outside the export directory.
  EXPECT_FALSE(fs::exists(Native("B_C.lst")));
  EXPECT_FALSE(fs::exists(Native("EXPORT/Programs of customer A")));
}

// A second, shorter run replaces the list whole: cmp against the short
// list written apart.
TEST_F(ProgramListTest, ShorterSecondRunLeavesNoOldBytes) {
  long c = AddCustomer("ACME");
  long first = AddProgram({"A1", "MILL1", "One", "", "", c});
  AddProgram({"A2", "MILL1", "Two", "", "", c});
  ExpectCustomer("ACME");
  Run(kCmListProgramsForCustomer);
  const std::string list = Native("EXPORT/Programs of customer ACME.lst");
  std::string longer = Read("EXPORT/Programs of customer ACME.lst");
  DeleteProgram(first);
  ExpectCustomer("ACME");
  Run(kCmListProgramsForCustomer);
  const std::string secondLine = longer.substr(longer.find("\r\n") + 2);
  Write("want.lst", secondLine);
  EXPECT_TRUE(SameFile(list, Native("want.lst")));
  EXPECT_EQ(Names("EXPORT"), std::vector<std::string>{"Programs of customer ACME.lst"});
}

// Project and machine lists take their names from their tables; an item
// without live programs writes nothing, and a cancelled chooser nothing.
TEST_F(ProgramListTest, ProjectAndMachineListsAndEmptySelections) {
  long c = AddCustomer("ACME");
  long project = 0;
  {
    TcbProTable projects("KELVPRO.DBF", 0, 0);
    std::unique_ptr<TcbProRecord> p(projects.Add("FLANGES", c));
    ASSERT_TRUE(p);
    project = p->ID;
  }
  AddProgram({"X1", "LATHE", "", "", "", c, project, lathe});
  long gone = AddProgram({"X2", "MILL1", "", "", "", 0, 0, mill});
  DeleteProgram(gone);

  driver.expect_dialog(IDD_SELECT_PROJECT, [](TDialog& d) {
    plat::Pilot p(d);
    p.select(IDC_SELECT_PROJECT_CUSTOMER, 0);
    p.select(IDC_SELECT_PROJECT_PROJECTS, 0);
    p.click(IDOK);
  });
  Run(kCmListProgramsForProject);
  ExpectMachine("LATHE");
  Run(kCmListProgramsForMachine);
  ExpectMachine("MILL1");  // its only program is deleted
  Run(kCmListProgramsForMachine);
  ExpectCancel(IDD_SELECT_MACHINE);
  Run(kCmListProgramsForMachine);
  EXPECT_EQ(Names("EXPORT"),
            (std::vector<std::string>{"Programs of machine LATHE.lst", "Programs of project FLANGES.lst"}));
  EXPECT_EQ(Read("EXPORT/Programs of machine LATHE.lst"), Read("EXPORT/Programs of project FLANGES.lst"));
  EXPECT_TRUE(driver.message_boxes().empty());
}

// A list that cannot be made or written is reported with its name; the
// old list stays as it was and no partial file is left.
TEST_F(ProgramListTest, FailuresAreToldAndLeaveTheOldList) {
  long c = AddCustomer("ACME");
  AddProgram({"A1", "MILL1", "One", "", "", c});
  Write("EXPORT/Programs of customer ACME.lst", "old list\r\n");

  plat::set_write_fault("*.tmp", 10);
  ExpectCustomer("ACME");
  driver.expect_message_box(IDOK, "Programs of customer ACME.lst");
  Run(kCmListProgramsForCustomer);
  plat::set_write_fault("", 0);
  EXPECT_EQ(Read("EXPORT/Programs of customer ACME.lst"), "old list\r\n");
  EXPECT_EQ(Names("EXPORT"), std::vector<std::string>{"Programs of customer ACME.lst"});

  Globals->ExportDir = "K:\\NO-SUCH-DIR\\";
  ExpectCustomer("ACME");
  driver.expect_message_box(IDOK, "K:\\NO-SUCH-DIR\\\\Programs of customer ACME.lst");
  Run(kCmListProgramsForCustomer);
  EXPECT_FALSE(fs::exists(Native("NO-SUCH-DIR")));
}

// An unreadable program index is told, not taken for an empty one.
TEST_F(ProgramListTest, UnreadableIndexIsTold) {
  long c = AddCustomer("ACME");
  AddProgram({"A1", "MILL1", "One", "", "", c});
  fs::rename(DbPath("KELVFILE.DBF"), DbPath("KELVFILE.OLD"));
  ExpectCustomer("ACME");
  driver.expect_message_box(IDOK, "program index could not be read");
  Run(kCmListProgramsForCustomer);
  EXPECT_TRUE(Names("EXPORT").empty());
}

TEST(SafeNamePart, StoredNamesNeverLeadOutOfADirectory) {
  const std::pair<std::string, std::string> cases[] = {
      {"ACME Tools", "ACME Tools"}, {"A\\..\\B:C", "A_.._B_C"}, {"a/b", "a_b"}, {"*?", "__"},
      {"..", "_"},                  {".", "_"},                 {"...", "_"}, {"x.", "x."},
      {"tab\there", "tab_here"},    {"", ""},                   {"\x7f", "_"}, {"Müller \xe9", "Müller \xe9"},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(SafeNamePart(in), want) << in;
}

class ProgramExportTest : public kvsets::ProgramSetTest {};

// A customer export: copy names from message 110, MACHINE and DESC; an
// empty MACHINE; two programs of one copy name numbered; a name with a
// separator made safe; a missing program file listed at the end.
TEST_F(ProgramExportTest, CustomerExportNamesNumbersAndListsWhatIsMissing) {
  long c = AddCustomer("ACME");
  long a = AddProgram({"A1", "DMU50", "", "", "", c}, "A1 text\r\n");
  long same1 = AddProgram({"B1", "DMU50", "", "", "", c}, "first B1\r\n");
  long same2 = AddProgram({"B1", "DMU50", "", "", "", c}, "second B1\r\n");
  long empty = AddProgram({"C1", "", "", "", "", c}, "C1 text\r\n");
  long slash = AddProgram({"D/1", "DMU:50", "", "", "", c}, "D1 text\r\n");
  AddProgram({"E1", "DMU50", "", "", "", c}, nullptr);

  ExpectCustomer("ACME");
  driver.expect_message_box(IDOK, "E1: the program file is missing:");
  Run(kCmExportProgramsForCustomer);

  const std::string dir = "EXPORT/Export customer ACME/";
  EXPECT_EQ(Names("EXPORT/Export customer ACME"),
            (std::vector<std::string>{"Machine = , ID = C1.NC", "Machine = DMU50, ID = A1.NC",
                                      "Machine = DMU50, ID = B1 (2).NC", "Machine = DMU50, ID = B1.NC",
                                      "Machine = DMU_50, ID = D_1.NC"}));
  const std::pair<std::string, long> copies[] = {
      {"Machine = DMU50, ID = A1.NC", a},     {"Machine = DMU50, ID = B1.NC", same1},
      {"Machine = DMU50, ID = B1 (2).NC", same2}, {"Machine = , ID = C1.NC", empty},
      {"Machine = DMU_50, ID = D_1.NC", slash},
  };
  for (const auto& [name, ncid] : copies)
    EXPECT_TRUE(SameFile(Native(dir + name), Native("MILL1/P" + std::to_string(ncid) + ".NC"))) << name;
}

// A machine export names copies by DESC alone; a second export refreshes
// the same files; a run without trouble ends silently.
TEST_F(ProgramExportTest, MachineExportRefreshesTheSameCopies) {
  long a = AddProgram({"100", "LATHE", "", "", "", 0, 0, lathe}, "first\r\n");
  long b = AddProgram({"100", "LATHE", "", "", "", 0, 0, lathe}, "twin\r\n");
  ExpectMachine("LATHE");
  Run(kCmExportProgramsForMachine);
  Write("MILL1/P" + std::to_string(a) + ".NC", "changed since\r\n");
  ExpectMachine("LATHE");
  Run(kCmExportProgramsForMachine);
  EXPECT_TRUE(driver.message_boxes().empty());
  EXPECT_EQ(Names("EXPORT/Export machine LATHE"), (std::vector<std::string>{"ID = 100 (2).NC", "ID = 100.NC"}));
  EXPECT_TRUE(SameFile(Native("EXPORT/Export machine LATHE/ID = 100.NC"), Native("MILL1/P" + std::to_string(a) + ".NC")));
  EXPECT_TRUE(
      SameFile(Native("EXPORT/Export machine LATHE/ID = 100 (2).NC"), Native("MILL1/P" + std::to_string(b) + ".NC")));
}

// Customers whose names lead to one path (trailing dots and blanks are
// dropped from path parts, case is ignored) export into directories of
// their own, the first by id under its name, the later ones numbered; a
// second export of each refreshes its own directory, nothing is
// overwritten.
TEST_F(ProgramExportTest, NamesThatCollapseToOnePathGetDirectoriesOfTheirOwn) {
  const std::string names[] = {". .", ".. ", "ACME", "acme.", "ACME.."};
  std::vector<long> programs;
  for (const std::string& name : names) {
    long c = AddCustomer(name);
    programs.push_back(AddProgram({"P1", "DMU50", "", "", "", c}, ("program of " + name + "\r\n").c_str()));
  }
  for (int round = 0; round < 2; round++) {
    for (const std::string& name : names) {
      ExpectCustomer(name);
      Run(kCmExportProgramsForCustomer);
    }
  }
  EXPECT_TRUE(driver.message_boxes().empty());
  // ".. " is stored as "..", a name of dots alone, made "_".
  EXPECT_EQ(Names("EXPORT"), (std::vector<std::string>{"Export customer", "Export customer ACME",
                                                       "Export customer ACME.. (2)", "Export customer _",
                                                       "Export customer acme. (2)"}));
  const std::pair<std::string, long> copies[] = {
      {"Export customer", programs[0]},      {"Export customer _", programs[1]},
      {"Export customer ACME", programs[2]}, {"Export customer acme. (2)", programs[3]},
      {"Export customer ACME.. (2)", programs[4]},
  };
  for (const auto& [dir, ncid] : copies) {
    EXPECT_EQ(Names("EXPORT/" + dir), std::vector<std::string>{"Machine = DMU50, ID = P1.NC"}) << dir;
    EXPECT_TRUE(SameFile(Native("EXPORT/" + dir + "/Machine = DMU50, ID = P1.NC"),
                         Native("MILL1/P" + std::to_string(ncid) + ".NC")))
        << dir;
  }
}

// The directory texts are checked formats: one that does not take the
// export directory, a backslash and a name exports nothing and says so;
// a directory that cannot be made is told.
TEST_F(ProgramExportTest, DirectoryTextAndDirectoryFailuresAreTold) {
  long c = AddCustomer("ACME");
  AddProgram({"A1", "DMU50", "", "", "", c});
  Globals->MessageTexts.Set(kMsgExportCustomerDir, "%s%sExport %s");
  ExpectCustomer("ACME");
  driver.expect_message_box(IDOK, "must take the export directory");
  Run(kCmExportProgramsForCustomer);
  EXPECT_TRUE(Names("EXPORT").empty());

  Globals->LoadMessages(44, 0);
  Globals->ExportDir = "K:\\NO-SUCH-DIR\\";
  ExpectCustomer("ACME");
  driver.expect_message_box(IDOK, "the export directory cannot be made");
  Run(kCmExportProgramsForCustomer);
  EXPECT_FALSE(fs::exists(Native("NO-SUCH-DIR")));
}

}  // namespace
