// The machine and project choosers driven as a user would: what they
// leave in the global state on OK, Cancel and double-click, and their
// empty and missing-row paths.
#include "masterdata/pick_dialogs.h"

#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "resources/dialogs/masterdata.h"
#include "tests/storage/log_fixture.h"

namespace {

using plat::Pilot;

class PickTest : public kvlogs::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    CreateTable<TcbMachTable>("KELVMA.DBF");
    CreateTable<TcbAdvCustTable>("KELVCUS2.DBF");
    CreateTable<TcbProTable>("KELVPRO.DBF");
  }
  long AddMachine(const char* name, long type, const char* desc, const char* path) {
    TcbMachTable t("KELVMA.DBF", 0, 0);
    EXPECT_TRUE(t.Add(name, type, desc, path, 0));
    return t.ExistsByName(name);
  }
};

TEST_F(PickTest, AnEmptyMachineFileCancelsBeforeTheDialogShows) {
  plat::GTestUiDriver driver;  // no dialog is expected: one shown fails
  int32_t id = -1;
  TMachineDialog dlg(nullptr, &id);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
  EXPECT_EQ(id, -1);
}

TEST_F(PickTest, CancelLeavesTheFirstMachineChosenAndDoubleClickTakesTheOneClicked) {
  long lathe = AddMachine("LATHE", 7, "turning centre", "C:\\NC\\LATHE\\   ");
  long mill = AddMachine("DMU50", 5, "five-axis mill", "C:\\NC\\DMU\\");
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_SELECT_MACHINE, [&](TDialog& d) {
    Pilot p(d);
    ASSERT_EQ(p.lines(IDC_SELECT_MACHINE_LIST).size(), 2u);
    EXPECT_EQ(p.selection(IDC_SELECT_MACHINE_LIST), 0);
    EXPECT_EQ(p.text(IDC_SELECT_MACHINE_CHOICE), "five-axis mill");
    p.click(IDCANCEL);
  });
  int32_t id = 0;
  EXPECT_EQ(TMachineDialog(nullptr, &id).Execute(), IDCANCEL);
  EXPECT_EQ(id, mill);
  EXPECT_EQ(Globals->ChosenMachineId, mill);
  EXPECT_EQ(Globals->ChosenMachineType, 5);
  EXPECT_STREQ(Globals->ChosenMachineName.get(), "DMU50");

  driver.expect_dialog(IDD_SELECT_MACHINE, [&](TDialog& d) {
    Pilot p(d);
    p.double_click(IDC_SELECT_MACHINE_LIST, 1);
  });
  EXPECT_EQ(TMachineDialog(nullptr, &id).Execute(), IDOK);
  EXPECT_EQ(id, lathe);
  EXPECT_EQ(Globals->ChosenMachineId, lathe);
  EXPECT_EQ(Globals->ChosenMachineType, 7);
  EXPECT_STREQ(Globals->ChosenMachineDir.get(), "C:\\NC\\LATHE\\");
  EXPECT_STREQ(Globals->ChosenMachineName.get(), "LATHE");
}

TEST_F(PickTest, AMachineDeletedByAnotherStationChangesNothingWhenSelected) {
  long mill = AddMachine("DMU50", 5, "five-axis mill", "C:\\NC\\DMU\\");
  long lathe = AddMachine("LATHE", 7, "turning centre", "C:\\NC\\LATHE\\");
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_SELECT_MACHINE, [&](TDialog& d) {
    Pilot p(d);
    {
      TcbMachTable t("KELVMA.DBF", 0, 0);
      ASSERT_TRUE(t.DeleteById(lathe));
    }
    p.select(IDC_SELECT_MACHINE_LIST, 1);
    EXPECT_EQ(p.text(IDC_SELECT_MACHINE_CHOICE), "five-axis mill");
    p.click(IDOK);
  });
  int32_t id = 0;
  EXPECT_EQ(TMachineDialog(nullptr, &id).Execute(), IDOK);
  EXPECT_EQ(Globals->ChosenMachineId, mill);
  EXPECT_STREQ(Globals->ChosenMachineName.get(), "DMU50");
}

TEST_F(PickTest, TheProjectListFollowsTheCustomerAndOkNeedsAProject) {
  long acme, bare;
  long gear;
  {
    TcbAdvCustTable c("KELVCUS2.DBF", 0, 0);
    acme = c.Add("ACME");
    bare = c.Add("ZENITH");
  }
  ASSERT_GT(acme, 0);
  ASSERT_GT(bare, 0);
  {
    TcbProTable pr("KELVPRO.DBF", 0, 0);
    TcbProRecord* r = pr.Add("GEARBOX", acme);
    ASSERT_TRUE(r);
    gear = r->ID;
    delete r;
    delete pr.Add("AXLE", acme);
  }
  Globals->ChosenProjectId = 99;
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_SELECT_PROJECT, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(Globals->ChosenProjectId, 0);
    ASSERT_EQ(p.lines(IDC_SELECT_PROJECT_CUSTOMER).size(), 2u);
    EXPECT_TRUE(p.visible(IDC_SELECT_PROJECT_PROJECTS));
    EXPECT_EQ(p.lines(IDC_SELECT_PROJECT_PROJECTS).size(), 2u);
    p.select(IDC_SELECT_PROJECT_CUSTOMER, 1);  // ZENITH has no project
    EXPECT_FALSE(p.visible(IDC_SELECT_PROJECT_PROJECTS));
    p.click(IDOK);
    EXPECT_FALSE(d.HasEnded());
    p.select(IDC_SELECT_PROJECT_CUSTOMER, 0);
    EXPECT_TRUE(p.visible(IDC_SELECT_PROJECT_PROJECTS));
    p.double_click(IDC_SELECT_PROJECT_PROJECTS, 1);  // sorted: AXLE, GEARBOX
  });
  EXPECT_EQ(TSelectProject(nullptr).Execute(), IDOK);
  EXPECT_EQ(Globals->ChosenProjectId, gear);
  EXPECT_STREQ(Globals->ChosenProjectName.get(), "GEARBOX");

  driver.expect_dialog(IDD_SELECT_PROJECT, [&](TDialog& d) { Pilot(d).click(IDCANCEL); });
  EXPECT_EQ(TSelectProject(nullptr).Execute(), IDCANCEL);
  EXPECT_EQ(Globals->ChosenProjectId, 0);
}

}  // namespace
