// Machines and machine types driven as a user would, the stored rows read
// back with python3-dbfread: the type dialog before the first machine,
// directories kept whole, names unique over all types, deletes refused
// while something still refers to the row and asked for otherwise.
#include "masterdata/machine_dialogs.h"

#include <algorithm>

#include "appcore/text_scan.h"
#include "platform/plugin.h"
#include "resources/dialogs/masterdata.h"
#include "resources/dialogs/users.h"
#include "tests/masterdata/master_fixture.h"

namespace {

using kvmaster::MasterTest;
using plat::Pilot;

class MachineTest : public MasterTest {
 protected:
  void SetUp() override {
    MasterTest::SetUp();
    Globals->LoadLogTexts(44, 0);
    plat::set_plugin_dir(KV_TEST_PLUGIN_DIR);
  }
  void TearDown() override {
    plat::set_plugin_dir("");
    MasterTest::TearDown();
  }
  // The directory chooser answers with LastDir (see plugin_brentix.c).
  void ChooseDirectory(Pilot& p, const std::string& dir) {
    Globals->LastDir = dir;
    p.click(IDC_MACHINES_SELECT_DIRECTORY);
  }
  void FillMachine(Pilot& p, const char* name, const char* desc, const std::string& dir) {
    p.set_text(IDC_MACHINES_NAME, name);
    p.set_text(IDC_MACHINES_DESCRIPTION, desc);
    ChooseDirectory(p, dir);
  }
  plat::GTestUiDriver driver;
};

TEST_F(MachineTest, AnEmptyTypeFileOpensTheTypeDialogFirstAndItsCancelClosesBoth) {
  driver.expect_dialog(IDD_TYPES, [&](TDialog& d) {
    EXPECT_EQ(d.GetText(), "Machine types");
    Pilot(d).click(IDCANCEL);
  });
  EXPECT_EQ(TEditMachine(nullptr).Execute(), IDCANCEL);

  // A type made there is the machine dialog's at once.
  driver.expect_dialog(IDD_TYPES, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_TYPES_NAME, "MILLS");
    p.click(IDC_TYPES_ADD);
    p.click(IDCANCEL);
  });
  driver.expect_dialog(IDD_MACHINES, [&](TDialog& d) {
    Pilot p(d);
    ASSERT_EQ(p.lines(IDC_MACHINES_TYPES).size(), 1u);
    EXPECT_EQ(TrimText(p.lines(IDC_MACHINES_TYPES)[0].substr(0, 10)), "MILLS");
    p.click(IDCANCEL);
  });
  TEditMachine(nullptr).Execute();
  EXPECT_EQ(LiveRows("KELVMT.DBF", "NAME"), std::vector<std::string>{"NAME=MILLS"});
}

TEST_F(MachineTest, ADirectoryOf99CharactersIsKeptWholeByAddAndModifyAndALongerOneIsRefused) {
  AddMachineType("MILLS");
  const std::string dir99 = "C:\\" + std::string(95, 'D') + "\\";  // 99 with its final "\"
  ASSERT_EQ(dir99.size(), 99u);
  driver.expect_dialog(IDD_MACHINES, [&](TDialog& d) {
    Pilot p(d);
    FillMachine(p, "DMU50", "five-axis mill", dir99.substr(0, 98));
    EXPECT_EQ(p.text(IDC_MACHINES_DIRECTORY), dir99);
    p.click(IDC_MACHINES_ADD);
    ASSERT_EQ(p.lines(IDC_MACHINES_LIST).size(), 1u);
    EXPECT_EQ(LiveRows("KELVMA.DBF", "NAME DESC PATH"),
              std::vector<std::string>{"NAME=DMU50 DESC=five-axis mill PATH=" + dir99});

    // Modify with the name left as shown: no duplicate check against the
    // machine itself, and the directory stays whole.
    p.select(IDC_MACHINES_LIST, 0);
    EXPECT_EQ(p.text(IDC_MACHINES_NAME), "DMU50");
    EXPECT_EQ(p.text(IDC_MACHINES_DIRECTORY), dir99);
    p.set_text(IDC_MACHINES_DESCRIPTION, "five axes");
    p.click(IDC_MACHINES_MAZAK);
    p.click(IDC_MACHINES_MODIFY);
    EXPECT_EQ(LiveRows("KELVMA.DBF", "NAME DESC PATH MAZAK"),
              std::vector<std::string>{"NAME=DMU50 DESC=five axes PATH=" + dir99 + " MAZAK=True"});

    // One character more than the field holds: refused, the shown one kept.
    driver.expect_message_box(IDOK, "longer than the 100 characters");
    ChooseDirectory(p, "C:\\" + std::string(97, 'E'));
    EXPECT_EQ(p.text(IDC_MACHINES_DIRECTORY), dir99);
    p.click(IDCANCEL);
  });
  TEditMachine(nullptr).Execute();
  // The change is logged once the row holds it.
  std::vector<std::string> log = PeerRows(DbPath("LOG00000.DBF"), "TYPE TEXT");
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& r) { return r.find("TYPE=20 TEXT=Settings of machine DMU50") == 0; }),
            1);
}

TEST_F(MachineTest, MachineNamesAreUniqueOverAllTypesAndEmptyFieldsAreRefused) {
  long mills = AddMachineType("MILLS");
  AddMachineType("LATHES");
  AddMachine("DMU50", mills);
  AddMachine("HERMLE", mills);
  driver.expect_dialog(IDD_MACHINES, [&](TDialog& d) {
    Pilot p(d);
    // Sorted: LATHES, MILLS. A lathe may not take a mill's name.
    EXPECT_EQ(p.lines(IDC_MACHINES_LIST).size(), 0u);
    FillMachine(p, "DMU50", "a lathe", "C:\\NC\\LATHE");
    driver.expect_message_box(IDOK, "machine of that name exists");
    p.click(IDC_MACHINES_ADD);
    EXPECT_EQ(p.text(IDC_MACHINES_NAME), "");
    EXPECT_EQ(p.lines(IDC_MACHINES_LIST).size(), 0u);

    // Nor may a mill be renamed into another's name.
    p.select(IDC_MACHINES_TYPES, 1);
    ASSERT_EQ(p.lines(IDC_MACHINES_LIST).size(), 2u);
    p.select(IDC_MACHINES_LIST, 1);  // HERMLE
    p.set_text(IDC_MACHINES_NAME, "");
    p.type(IDC_MACHINES_NAME, "DMU50");
    driver.expect_message_box(IDOK, "machine of that name exists");
    p.click(IDC_MACHINES_MODIFY);
    EXPECT_EQ(p.text(IDC_MACHINES_NAME), "");

    // Each missing field has its answer, on Add and on Modify alike.
    struct Case {
      const char* name;
      const char* desc;
      const char* message;
    };
    for (const Case& c : {Case{"  ", "a mill", "enter the machine's name"},
                          Case{"MAHO", "", "enter a description"}}) {
      for (int button : {IDC_MACHINES_ADD, IDC_MACHINES_MODIFY}) {
        p.select(IDC_MACHINES_LIST, 1);
        p.set_text(IDC_MACHINES_NAME, c.name);
        p.set_text(IDC_MACHINES_DESCRIPTION, c.desc);
        driver.expect_message_box(IDOK, c.message);
        p.click(button);
      }
    }
    p.select(IDC_MACHINES_TYPES, 0);  // a lathe has no directory yet
    p.set_text(IDC_MACHINES_NAME, "INDEX");
    p.set_text(IDC_MACHINES_DESCRIPTION, "a lathe");
    driver.expect_message_box(IDOK, "choose the machine's program directory");
    p.click(IDC_MACHINES_ADD);
    p.click(IDCANCEL);
  });
  TEditMachine(nullptr).Execute();
  EXPECT_EQ(LiveRows("KELVMA.DBF", "NAME"), (std::vector<std::string>{"NAME=DMU50", "NAME=HERMLE"}));
}

TEST_F(MachineTest, DeletesAreRefusedWhileProgramsOrMachinesReferToTheRowAndAskedForOtherwise) {
  long mills = AddMachineType("MILLS");
  long dmu = AddMachine("DMU50", mills);
  AddIndexedProgram(40, dmu, 0, 0);
  driver.expect_dialog(IDD_TYPES, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_TYPES_LIST, 0);
    driver.expect_message_box(IDOK, "Machines of this type exist");
    p.click(IDC_TYPES_DELETE);
    EXPECT_EQ(p.lines(IDC_TYPES_LIST).size(), 1u);
    p.click(IDCANCEL);
  });
  TNewMachineTypeDialog(nullptr).Execute();

  driver.expect_dialog(IDD_MACHINES, [&](TDialog& d) {
    Pilot p(d);
    driver.expect_message_box(IDOK, "Programs are stored for this machine");
    p.click(IDC_MACHINES_DELETE);
    {
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      std::unique_ptr<TcbFileRecord> gone(t.DeleteById(40));
    }
    driver.expect_message_box(IDNO, "Delete the selected machine");
    p.click(IDC_MACHINES_DELETE);
    EXPECT_EQ(p.lines(IDC_MACHINES_LIST).size(), 1u);
    driver.expect_message_box(IDYES, "Delete the selected machine");
    p.click(IDC_MACHINES_DELETE);
    EXPECT_EQ(p.lines(IDC_MACHINES_LIST).size(), 0u);
    // Nothing is shown, so nothing is changed.
    EXPECT_EQ(dynamic_cast<TEditMachine&>(d).SelectedMachine, 0);
    p.click(IDC_MACHINES_MODIFY);
    p.click(IDCANCEL);
  });
  TEditMachine(nullptr).Execute();
  EXPECT_EQ(LiveRows("KELVMA.DBF", "NAME"), std::vector<std::string>{});

  // A deleted machine no longer holds its type.
  driver.expect_dialog(IDD_TYPES, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_TYPES_LIST, 0);
    driver.expect_message_box(IDYES, "Delete the selected machine type");
    p.click(IDC_TYPES_DELETE);
    EXPECT_EQ(p.lines(IDC_TYPES_LIST).size(), 0u);
    p.click(IDCANCEL);
  });
  TNewMachineTypeDialog(nullptr).Execute();
  EXPECT_EQ(LiveRows("KELVMT.DBF", "NAME"), std::vector<std::string>{});
}

TEST_F(MachineTest, TypeNamesAreWholeUniqueAndNeverEmpty) {
  AddMachineType("MILLING");
  driver.expect_dialog(IDD_TYPES, [&](TDialog& d) {
    Pilot p(d);
    // A name that begins another is a name of its own.
    p.set_text(IDC_TYPES_NAME, "MILL");
    p.click(IDC_TYPES_ADD);
    ASSERT_EQ(p.lines(IDC_TYPES_LIST).size(), 2u);
    EXPECT_EQ(p.text(IDC_TYPES_NAME), "");
    p.set_text(IDC_TYPES_NAME, "MILLING");
    driver.expect_message_box(IDOK, "machine type of that name exists");
    p.click(IDC_TYPES_ADD);
    // Renaming into another's name is refused, into its own is not.
    p.select(IDC_TYPES_LIST, 0);  // MILL
    driver.expect_message_box(IDOK, "machine type of that name exists");
    p.click(IDC_TYPES_RENAME);
    p.set_text(IDC_TYPES_NAME, "MILL");
    p.click(IDC_TYPES_RENAME);
    p.set_text(IDC_TYPES_NAME, "DRILLS");
    p.click(IDC_TYPES_RENAME);
    // Empty names: a beep and the focus on the name, nothing stored.
    for (int button : {IDC_TYPES_ADD, IDC_TYPES_RENAME}) {
      p.select(IDC_TYPES_LIST, 0);
      p.set_text(IDC_TYPES_NAME, "   ");
      p.focus(IDC_TYPES_LIST);
      int beeps = plat::beep_count();
      p.click(button);
      EXPECT_EQ(plat::beep_count(), beeps + 1);
      EXPECT_TRUE(p.focused(IDC_TYPES_NAME));
    }
    p.click(IDCANCEL);
  });
  TNewMachineTypeDialog(nullptr).Execute();
  EXPECT_EQ(LiveRows("KELVMT.DBF", "NAME"), (std::vector<std::string>{"NAME=MILLING", "NAME=DRILLS"}));
}

}  // namespace
