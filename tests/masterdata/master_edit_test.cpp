// What the master-data dialogs share, driven as a user would: a Modify of a
// row that another station deleted meanwhile is refused with a message in
// every dialog, the deleted row stays as it was and nothing is logged; the
// labels of the type-list template; and where the machine's directory
// chooser starts.
#include <functional>

#include "dbmodel/autoimp.h"
#include "dbmodel/layout_rebuild.h"
#include "masterdata/auto_import_dlg.h"
#include "masterdata/customer_dialogs.h"
#include "masterdata/machine_dialogs.h"
#include "masterdata/macro_dialogs.h"
#include "masterdata/setup_sheet_editors.h"
#include "platform/path.h"
#include "platform/plugin.h"
#include "resources/dialogs/autoimport.h"
#include "resources/dialogs/masterdata.h"
#include "resources/dialogs/users.h"
#include "tests/masterdata/sheet_fixture.h"

namespace {

using kvsheets::SheetTest;
using plat::Pilot;

class MasterEditTest : public SheetTest {
 protected:
  void SetUp() override {
    SheetTest::SetUp();
    Globals->LoadLogTexts(44, 0);
    std::filesystem::create_directories(Root() + "/alt");
    TcbAutoImpTable("AUTOIMP.DBF", 1, 0).Create((Root() + "/alt/AUTOIMP.DBF").c_str());
    plat::set_plugin_dir(KV_TEST_PLUGIN_DIR);
  }
  void TearDown() override {
    plat::set_plugin_dir("");
    SheetTest::TearDown();
  }
  // Marks the row of the id deleted, as another station's Delete does.
  template <class Table>
  static void DeleteElsewhere(const char* file, const char* tag, long id, int alternateDir = 0) {
    Table t(file, alternateDir, 0);
    ASSERT_TRUE(t.Open());
    ASSERT_TRUE(layout::SeekById(t.Data(), tag, 1, id));
    data_delete(t.Data());
    ASSERT_TRUE(t.Close());
  }
  // Runs the dialog of the template; act works in it, then it is closed.
  void Run(int templateId, const std::function<void(Pilot&)>& act, const std::function<void()>& open) {
    driver.expect_dialog(templateId, [&](TDialog& d) {
      Pilot p(d);
      act(p);
      p.close_box();
    });
    open();
  }
};

TEST_F(MasterEditTest, AModifyOfARowDeletedElsewhereIsRefusedAndChangesAndLogsNothing) {
  const long type = AddMachineType("MILLS");
  const long machine = AddMachine("DMU50", type);
  const long customer = AddCustomer("ACME");
  const long project = AddProject("GEARS", customer);
  const long macro = AddMacro("PARK", "G28 Z0", machine);
  const long sheetType = AddType("MILL", AllLabels1());
  const long value = AddValue(sheetType, 1, "STEEL");
  const long sheet = AddSheet(sheetType, "SHEET", [](TSheet05Record& r) { r.SetText(0, "A1"); });
  {
    TcbAutoImpRecord def;
    def.ID = 1;
    CopyCut(def.NAME, sizeof def.NAME, "WATCH");
    CopyCut(def.PATH, sizeof def.PATH, "K:\\DROP\\");
    CopyCut(def.EXT, sizeof def.EXT, "NC");
    TcbAutoImpTable defs("AUTOIMP.DBF", 1, 0);
    ASSERT_TRUE(defs.Add(&def));
  }
  struct Case {
    const char* what;
    int templateId;
    std::function<void()> open;
    std::function<void(Pilot&)> show;  // selects the row and changes it
    int modify;
    std::function<void()> deleteElsewhere;
    std::string file, field, before;
  };
  const Case cases[] = {
      {"project", IDD_PROJECTS, [] { TNewProject(nullptr).Execute(); },
       [](Pilot& p) {
         p.select(IDC_PROJECTS_CUSTOMERS, 0);
         p.select(IDC_PROJECTS_LIST, 0);
         p.set_text(IDC_PROJECTS_NAME, "CHANGED");
       },
       IDC_PROJECTS_MODIFY, [&] { DeleteElsewhere<TcbProTable>("KELVPRO.DBF", "ID", project); },
       DbPath("KELVPRO.DBF"), "NAME", "GEARS"},
      {"customer", IDD_CUSTOMERS, [] { TNewCustomer(nullptr).Execute(); },
       [](Pilot& p) {
         p.select(IDC_CUSTOMERS_LIST, 0);
         p.set_text(IDC_CUSTOMERS_NAME, "CHANGED");
       },
       IDC_CUSTOMERS_MODIFY, [&] { DeleteElsewhere<TcbAdvCustTable>("KELVCUS2.DBF", "ID", customer); },
       DbPath("KELVCUS2.DBF"), "COMPANY", "ACME"},
      {"macro", IDD_MACROS, [] { TEditMacro(nullptr).Execute(); },
       [](Pilot& p) {
         p.select(IDC_MACROS_MACRO, 0);
         p.set_text(IDC_MACROS_TEXT, "CHANGED");
       },
       IDC_MACROS_MODIFY, [&] { DeleteElsewhere<TcbMacroTable>("KELVMACR.DBF", "ID", macro); },
       DbPath("KELVMACR.DBF"), "MEMOSTR", "G28 Z0"},
      {"machine", IDD_MACHINES, [] { TEditMachine(nullptr).Execute(); },
       [](Pilot& p) {
         p.select(IDC_MACHINES_LIST, 0);
         p.set_text(IDC_MACHINES_DESCRIPTION, "CHANGED");
       },
       IDC_MACHINES_MODIFY, [&] { DeleteElsewhere<TcbMachTable>("KELVMA.DBF", "ID", machine); },
       DbPath("KELVMA.DBF"), "DESC", "a machine"},
      {"sheet value", IDD_TYPES, [&] { TSheetComboData(nullptr, sheetType, 1).Execute(); },
       [](Pilot& p) {
         p.select(IDC_TYPES_LIST, 0);
         p.set_text(IDC_TYPES_NAME, "CHANGED");
       },
       IDC_TYPES_RENAME, [&] { DeleteElsewhere<TSheet02Table>("SS000002.DBF", "ID", value); },
       DbPath("SS000002.DBF"), "NAME", "STEEL"},
      {"sheet", IDD_SETUP_PAGE1, [&] { TSetupPage1(nullptr, &Program).Execute(); },
       [](Pilot& p) { p.set_text(IDC_PAGE1_TEXT1, "CHANGED"); },
       IDC_PAGE1_MODIFY, [&] { DeleteElsewhere<TSheet05Table>("SS000005.DBF", "ID1", sheet); },
       DbPath("SS000005.DBF"), "CH1", "A1"},
      {"sheet type", IDD_TYPES, [] { EditSheetTypes(nullptr); },
       [](Pilot& p) {
         p.select(IDC_TYPES_LIST, 0);
         p.set_text(IDC_TYPES_NAME, "CHANGED");
       },
       IDC_TYPES_RENAME, [&] { DeleteElsewhere<TSheetTypeTable>("SS000001.DBF", "ID", sheetType); },
       DbPath("SS000001.DBF"), "NAME", "MILL"},
      {"auto-import definition", IDD_AUTO_IMPORT, [] { TAutoImportDef(nullptr).Execute(); },
       [](Pilot& p) {
         p.select(IDC_AUTO_IMPORT_LIST, 0);
         p.set_text(IDC_AUTO_IMPORT_NAME, "CHANGED");
       },
       IDC_AUTO_IMPORT_MODIFY, [&] { DeleteElsewhere<TcbAutoImpTable>("AUTOIMP.DBF", "ID", 1, 1); },
       Root() + "/alt/AUTOIMP.DBF", "NAME", "WATCH"},
      // Last: the other dialogs' rows refer to the machine type.
      {"machine type", IDD_TYPES, [] { TNewMachineTypeDialog(nullptr).Execute(); },
       [](Pilot& p) {
         p.select(IDC_TYPES_LIST, 0);
         p.set_text(IDC_TYPES_NAME, "CHANGED");
       },
       IDC_TYPES_RENAME, [&] { DeleteElsewhere<TcbMatyTable>("KELVMT.DBF", "ID", type); }, DbPath("KELVMT.DBF"),
       "NAME", "MILLS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t boxes = driver.message_boxes().size();
    Run(c.templateId, [&](Pilot& p) {
      c.show(p);
      c.deleteElsewhere();
      driver.expect_message_box(IDOK, "deleted at another station");
      p.click(c.modify);
    }, c.open);
    EXPECT_EQ(driver.message_boxes().size(), boxes + 1);
    EXPECT_EQ(PeerRows(c.file, c.field), std::vector<std::string>{"* " + c.field + "=" + c.before});
  }
  // Nor is the change of a machine that is no more logged.
  for (const std::string& r : PeerRows(DbPath("LOG00000.DBF"), "TEXT"))
    EXPECT_EQ(r.find("Settings of machine"), std::string::npos) << r;
}

// The list and name labels of the type-list template carry dialog texts
// 4 and 5 in each dialog on it that names them.
TEST_F(MasterEditTest, TheTypeDialogsLabelTheirListAndTheirName) {
  AddMachineType("MILLS");
  const long sheetType = AddType("MILL");
  const std::pair<const char*, std::function<void()>> dialogs[] = {
      {"machine types", [] { TNewMachineTypeDialog(nullptr).Execute(); }},
      {"sheet types", [] { EditSheetTypes(nullptr); }},
      {"choice values", [&] { TSheetComboData(nullptr, sheetType, 1).Execute(); }},
  };
  for (const auto& [what, open] : dialogs) {
    SCOPED_TRACE(what);
    Run(IDD_TYPES, [&](Pilot& p) {
      EXPECT_EQ(p.text(IDC_TYPES_LIST_LABEL), "Machine types :");
      EXPECT_EQ(p.text(IDC_TYPES_NAME_LABEL), "Name :");
      EXPECT_TRUE(p.visible(IDC_TYPES_LIST_LABEL));
      EXPECT_TRUE(p.visible(IDC_TYPES_NAME_LABEL));
    }, open);
  }
}

// Directory... starts in the machine's own directory while it exists, else
// where the last choice was; a choice given up leaves that start as it was.
// (The test plug-in answers with the start, or nothing for a start naming
// NONE.)
TEST_F(MasterEditTest, TheDirectoryChooserStartsInTheMachinesDirectory) {
  std::filesystem::create_directories(Root() + "/n/DMU50/NONE");
  ASSERT_TRUE(plat::set_drive_root('N', Root() + "/n"));
  const long type = AddMachineType("MILLS");
  AddMachine("DMU50", type, "N:\\DMU50\\");
  AddMachine("HERMLE", type, "N:\\GONE\\");
  AddMachine("BIG", type, "N:\\DMU50\\NONE\\");
  Run(IDD_MACHINES, [&](Pilot& p) {
    // Sorted: BIG, DMU50, HERMLE.
    p.select(IDC_MACHINES_LIST, 1);
    Globals->LastDir = "C:\\LAST";
    p.click(IDC_MACHINES_SELECT_DIRECTORY);
    EXPECT_EQ(p.text(IDC_MACHINES_DIRECTORY), "N:\\DMU50\\");
    EXPECT_EQ(Globals->LastDir, "N:\\DMU50");
    p.select(IDC_MACHINES_LIST, 2);
    Globals->LastDir = "C:\\LAST";
    p.click(IDC_MACHINES_SELECT_DIRECTORY);
    EXPECT_EQ(p.text(IDC_MACHINES_DIRECTORY), "C:\\LAST\\");
    // Given up (the plug-in refuses a start naming NONE): the shown
    // directory and the next chooser's start stay.
    p.select(IDC_MACHINES_LIST, 0);
    p.click(IDC_MACHINES_SELECT_DIRECTORY);
    EXPECT_EQ(p.text(IDC_MACHINES_DIRECTORY), "N:\\DMU50\\NONE\\");
    EXPECT_EQ(Globals->LastDir, "C:\\LAST");
  }, [] { TEditMachine(nullptr).Execute(); });
  plat::set_drive_root('N', "");
}

}  // namespace
