// The auto-import definitions dialog driven as a user would: what opening
// shows, the rows Append and Modify store, the fields it refuses, the
// customer and project toggles, and Delete's question.
#include "masterdata/auto_import_dlg.h"

#include <functional>

#include "dbmodel/counter.h"
#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "resources/dialogs/autoimport.h"
#include "tests/masterdata/master_fixture.h"

namespace {

using plat::Pilot;

class AutoImportDefTest : public kvmaster::MasterTest {
 protected:
  void SetUp() override {
    MasterTest::SetUp();
    TcbAutoImpTable defs("AUTOIMP.DBF", 1, 0);
    std::filesystem::create_directories(Root() + "/alt");
    defs.Create((Root() + "/alt/AUTOIMP.DBF").c_str());
  }

  // A machine whose id is exactly `id`, above the next one the counter
  // gives (ids below it are drawn away).
  long AddMachineWithId(const char* name, long id) {
    while (NextMachineId() < id - 1) {
    }
    TcbMachTable t("KELVMA.DBF", 0, 0);
    EXPECT_TRUE(t.Add(name, 1, name, "K:\\NC\\", 0));
    EXPECT_EQ(t.ExistsByName(name), id);
    return id;
  }
  std::vector<std::unique_ptr<TcbAutoImpRecord>> Rows() {
    TcbAutoImpTable t("AUTOIMP.DBF", 1, 0);
    std::vector<std::unique_ptr<TcbAutoImpRecord>> rows;
    for (TcbRecord* r = t.LoadAllDetached(); r;) {
      TcbRecord* next = r->next;
      rows.emplace_back(static_cast<TcbAutoImpRecord*>(r));
      r = next;
    }
    t.made = nullptr;
    return rows;
  }
  // Opens the dialog, lets the test act in it, and closes it.
  void Run(std::function<void(Pilot&, TAutoImportDef&)> act) {
    driver.expect_dialog(IDD_AUTO_IMPORT, [&](TDialog& d) {
      Pilot p(d);
      act(p, static_cast<TAutoImportDef&>(d));
      p.press_escape();
    });
    TAutoImportDef(nullptr).Execute();
  }
  static void FillMandatory(Pilot& p, const std::string& name = "WATCH") {
    p.set_text(IDC_AUTO_IMPORT_PATH, "K:\\DROP");
    p.set_text(IDC_AUTO_IMPORT_NAME, name);
    p.set_text(IDC_AUTO_IMPORT_EXT, "NC");
    p.set_text(IDC_AUTO_IMPORT_INTERVAL, "5");
  }

  plat::GTestUiDriver driver;
};

TEST_F(AutoImportDefTest, AppendWithoutTouchingTheBoxesStoresWhatTheyShow) {
  AddMachineWithId("MILL", 5);
  long acme = AddCustomer("ACME");
  long frame = AddProject("FRAME", acme);
  Run([&](Pilot& p, TAutoImportDef& d) {
    EXPECT_EQ(p.selection(IDC_AUTO_IMPORT_MACHINE), 0);
    EXPECT_TRUE(p.visible(IDC_AUTO_IMPORT_CUSTOMER));
    EXPECT_TRUE(p.visible(IDC_AUTO_IMPORT_PROJECT));
    EXPECT_EQ(p.text(IDC_AUTO_IMPORT_CUSTOMER_TOGGLE), "-");
    EXPECT_TRUE(p.checked(IDC_AUTO_IMPORT_BY_NAME));
    FillMandatory(p);
    p.set_text(IDC_AUTO_IMPORT_MEMO_PATH, "K:\\MEMO\\");
    p.click(IDC_AUTO_IMPORT_APPEND);
    p.click(IDC_AUTO_IMPORT_APPEND);
    // The first definition of the sorted list is the current one.
    ASSERT_NE(d.Current(), nullptr);
    EXPECT_EQ(p.text(IDC_AUTO_IMPORT_PATH), "K:\\DROP\\");
  });
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_NE(rows[0]->ID, rows[1]->ID);
  for (const auto& r : rows) {
    EXPECT_EQ(r->MACHINE, 5);
    EXPECT_STREQ(r->MACH, "MILL");
    EXPECT_EQ(r->CUSTOMER, acme);
    EXPECT_EQ(r->PROJECT, frame);
    EXPECT_STREQ(r->PATH, "K:\\DROP\\") << "a final backslash is added";
    EXPECT_STREQ(r->MEPA, "K:\\MEMO\\");
    EXPECT_EQ(r->TIMEOUT, 5);
    EXPECT_EQ(r->METHOD, 0);
  }
}

TEST_F(AutoImportDefTest, AHiddenCustomerBoxStoresNoCustomerOrProject) {
  AddMachineWithId("MILL", 5);
  AddProject("FRAME", AddCustomer("ACME"));
  Run([&](Pilot& p, TAutoImportDef&) {
    p.click(IDC_AUTO_IMPORT_CUSTOMER_TOGGLE);
    EXPECT_FALSE(p.visible(IDC_AUTO_IMPORT_CUSTOMER));
    EXPECT_FALSE(p.visible(IDC_AUTO_IMPORT_PROJECT));
    EXPECT_EQ(p.text(IDC_AUTO_IMPORT_CUSTOMER_TOGGLE), "+");
    FillMandatory(p);
    p.click(IDC_AUTO_IMPORT_APPEND);
    // The stored definition has no customer: selecting it keeps both hidden.
    EXPECT_FALSE(p.visible(IDC_AUTO_IMPORT_CUSTOMER));
  });
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]->CUSTOMER, 0);
  EXPECT_EQ(rows[0]->PROJECT, 0);
}

TEST_F(AutoImportDefTest, RefusedEntriesBeepFocusTheFieldAndStoreNothing) {
  AddMachineWithId("MILL", 5);
  struct Case {
    const char* name;
    std::function<void(Pilot&)> spoil;
    int focused;
  } cases[] = {
      {"no path", [](Pilot& p) { p.set_text(IDC_AUTO_IMPORT_PATH, ""); }, IDC_AUTO_IMPORT_PATH},
      {"no name", [](Pilot& p) { p.set_text(IDC_AUTO_IMPORT_NAME, ""); }, IDC_AUTO_IMPORT_NAME},
      {"no extension", [](Pilot& p) { p.set_text(IDC_AUTO_IMPORT_EXT, ""); }, IDC_AUTO_IMPORT_EXT},
      {"no interval", [](Pilot& p) { p.set_text(IDC_AUTO_IMPORT_INTERVAL, ""); }, IDC_AUTO_IMPORT_INTERVAL},
      {"expand without a width",
       [](Pilot& p) { p.click(IDC_AUTO_IMPORT_EXPAND); }, IDC_AUTO_IMPORT_EXPAND_WIDTH},
      {"a width that is no number",
       [](Pilot& p) {
         p.click(IDC_AUTO_IMPORT_EXPAND);
         p.set_text(IDC_AUTO_IMPORT_EXPAND_WIDTH, "1s");
       },
       IDC_AUTO_IMPORT_EXPAND_WIDTH},
      {"a width that is a format",
       [](Pilot& p) {
         p.click(IDC_AUTO_IMPORT_EXPAND);
         p.set_text(IDC_AUTO_IMPORT_EXPAND_WIDTH, "%s");
       },
       IDC_AUTO_IMPORT_EXPAND_WIDTH},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Run([&](Pilot& p, TAutoImportDef&) {
      FillMandatory(p);
      c.spoil(p);
      int beeps = plat::beep_count();
      p.click(IDC_AUTO_IMPORT_APPEND);
      EXPECT_EQ(plat::beep_count(), beeps + 1);
      EXPECT_TRUE(p.focused(c.focused));
    });
    EXPECT_TRUE(Rows().empty());
  }
}

TEST_F(AutoImportDefTest, TheIntervalTakesDigitsOnly) {
  Run([&](Pilot& p, TAutoImportDef&) {
    p.type(IDC_AUTO_IMPORT_INTERVAL, "1a2");
    EXPECT_EQ(p.text(IDC_AUTO_IMPORT_INTERVAL), "12");
  });
}

TEST_F(AutoImportDefTest, SelectingADefinitionShowsItsMachineAndCustomer) {
  AddMachineWithId("FIVE", 5);
  AddMachineWithId("FIFTY-ONE", 51);
  long acme = AddCustomer("ACME");
  AddProject("FRAME", acme);
  TcbAutoImpRecord r;
  r.ID = NextAutoImportId();
  CopyCut(r.NAME, sizeof r.NAME, "A");
  r.MACHINE = 5;
  r.CUSTOMER = acme;
  r.PROJECT = 0;
  r.METHOD = 1;
  {
    TcbAutoImpTable t("AUTOIMP.DBF", 1, 0);
    ASSERT_EQ(t.Add(&r), 1);
  }
  Run([&](Pilot& p, TAutoImportDef& d) {
    EXPECT_EQ(d.Current(), nullptr) << "nothing is loaded before a line is selected";
    p.select(IDC_AUTO_IMPORT_LIST, 0);
    ASSERT_NE(d.Current(), nullptr);
    auto machines = p.lines(IDC_AUTO_IMPORT_MACHINE);
    std::string chosen = machines.at(static_cast<std::size_t>(p.selection(IDC_AUTO_IMPORT_MACHINE)));
    EXPECT_EQ(ListLineId(chosen.c_str()), 5);
    EXPECT_TRUE(p.visible(IDC_AUTO_IMPORT_CUSTOMER));
    EXPECT_FALSE(p.visible(IDC_AUTO_IMPORT_PROJECT)) << "a definition without a project hides the box";
    EXPECT_TRUE(p.checked(IDC_AUTO_IMPORT_BY_PARENTHESIS));
    EXPECT_FALSE(p.checked(IDC_AUTO_IMPORT_BY_NAME));
  });
}

TEST_F(AutoImportDefTest, ModifyAndDeleteActOnlyOnASelectedDefinitionAndDeleteAsks) {
  AddMachineWithId("MILL", 5);
  Run([&](Pilot& p, TAutoImportDef&) {
    FillMandatory(p, "FIRST");
    p.click(IDC_AUTO_IMPORT_APPEND);
  });
  // Right after opening the first line is highlighted but not loaded.
  Run([&](Pilot& p, TAutoImportDef&) {
    EXPECT_EQ(p.selection(IDC_AUTO_IMPORT_LIST), 0);
    FillMandatory(p, "CHANGED");
    p.click(IDC_AUTO_IMPORT_MODIFY);
    p.click(IDC_AUTO_IMPORT_DELETE);
  });
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_STREQ(Rows()[0]->NAME, "FIRST");

  Run([&](Pilot& p, TAutoImportDef&) {
    p.select(IDC_AUTO_IMPORT_LIST, 0);
    p.set_text(IDC_AUTO_IMPORT_NAME, "CHANGED");
    p.set_text(IDC_AUTO_IMPORT_MEMO_PATH, "K:\\M");
    p.click(IDC_AUTO_IMPORT_MODIFY);
    driver.expect_message_box(IDNO, "Delete");
    p.click(IDC_AUTO_IMPORT_DELETE);
  });
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_STREQ(rows[0]->NAME, "CHANGED");
  EXPECT_STREQ(rows[0]->MEPA, "K:\\M\\");

  Run([&](Pilot& p, TAutoImportDef& d) {
    p.select(IDC_AUTO_IMPORT_LIST, 0);
    driver.expect_message_box(IDYES, "Delete");
    p.click(IDC_AUTO_IMPORT_DELETE);
    EXPECT_TRUE(p.lines(IDC_AUTO_IMPORT_LIST).empty());
    EXPECT_EQ(d.Current(), nullptr);
  });
  EXPECT_TRUE(Rows().empty());
}

}  // namespace
