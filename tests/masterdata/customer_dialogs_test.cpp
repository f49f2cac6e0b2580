// Customers and projects driven as a user would, the stored rows read back
// with python3-dbfread: deletes that detach programs, names unique where
// they must be (quotes and brackets included), selections that follow
// what is shown, and the customer chosen by name.
#include "masterdata/customer_dialogs.h"

#include "resources/dialogs/masterdata.h"
#include "tests/masterdata/master_fixture.h"

namespace {

using kvmaster::MasterTest;
using plat::Pilot;

class CustomerTest : public MasterTest {
 protected:
  std::vector<std::string> Programs() { return LiveRows("KELVFILE.DBF", "NCID CUST PROJECT"); }
  std::string Program(long ncid, long cust, long project) {
    return FormatText("NCID=%ld CUST=%ld PROJECT=%ld", ncid, cust, project);
  }
  plat::GTestUiDriver driver;
};

TEST_F(CustomerTest, DeletesAskAndDetachTheProgramsInsteadOfRefusing) {
  long acme = AddCustomer("ACME");
  long zenith = AddCustomer("ZENITH");
  long gearbox = AddProject("GEARBOX", acme);
  long axle = AddProject("AXLE", acme);
  long pump = AddProject("PUMP", zenith);
  AddIndexedProgram(40, 7, acme, gearbox);
  AddIndexedProgram(41, 7, acme, axle);
  AddIndexedProgram(42, 7, zenith, pump);

  driver.expect_dialog(IDD_PROJECTS, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_PROJECTS_LIST, 1);  // ACME's AXLE, GEARBOX
    driver.expect_message_box(IDNO, "Delete the selected project");
    p.click(IDC_PROJECTS_DELETE);
    EXPECT_EQ(p.lines(IDC_PROJECTS_LIST).size(), 2u);
    driver.expect_message_box(IDYES, "Delete the selected project");
    p.click(IDC_PROJECTS_DELETE);
    EXPECT_EQ(p.lines(IDC_PROJECTS_LIST).size(), 1u);
    p.click(IDCANCEL);
  });
  TNewProject(nullptr).Execute();
  // The program keeps its customer and loses the project alone.
  EXPECT_EQ(Programs(), (std::vector<std::string>{Program(40, acme, 0), Program(41, acme, axle),
                                                  Program(42, zenith, pump)}));

  driver.expect_dialog(IDD_CUSTOMERS, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.lines(IDC_CUSTOMERS_PROJECTS).size(), 1u);  // ACME's AXLE
    driver.expect_message_box(IDYES, "Delete the selected customer");
    p.click(IDC_CUSTOMERS_DELETE);
    ASSERT_EQ(p.lines(IDC_CUSTOMERS_LIST).size(), 1u);
    EXPECT_EQ(p.lines(IDC_CUSTOMERS_LIST)[0].substr(0, 6), "ZENITH");
    p.click(IDCANCEL);
  });
  TNewCustomer(nullptr).Execute();
  EXPECT_EQ(Programs(), (std::vector<std::string>{Program(40, 0, 0), Program(41, 0, 0), Program(42, zenith, pump)}));
  // Its projects stay, and the deleted row reads "deleted" as other
  // stations expect.
  EXPECT_EQ(LiveRows("KELVPRO.DBF", "NAME CUST"),
            (std::vector<std::string>{"NAME=AXLE CUST=" + std::to_string(acme), "NAME=PUMP CUST=" + std::to_string(zenith)}));
  EXPECT_EQ(PeerRows(DbPath("KELVCUS2.DBF"), "ID COMPANY"),
            (std::vector<std::string>{"ID=" + std::to_string(zenith) + " COMPANY=ZENITH",
                                      "* ID=" + std::to_string(acme) + " COMPANY=deleted"}));
}

TEST_F(CustomerTest, AProjectNameIsUniqueWithinItsCustomerAndTheSelectionFollowsTheCustomer) {
  AddCustomer("ACME");
  AddCustomer("ZENITH");
  driver.expect_dialog(IDD_PROJECTS, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = dynamic_cast<TNewProject&>(d);
    for (int customer : {0, 1}) {
      p.select(IDC_PROJECTS_CUSTOMERS, customer);
      p.set_text(IDC_PROJECTS_NAME, "GEARBOX");
      p.click(IDC_PROJECTS_SAVE);
      EXPECT_EQ(p.lines(IDC_PROJECTS_LIST).size(), 1u);
    }
    p.set_text(IDC_PROJECTS_NAME, "GEARBOX");
    driver.expect_message_box(IDOK, "has a project of that name");
    p.click(IDC_PROJECTS_SAVE);
    EXPECT_EQ(p.lines(IDC_PROJECTS_LIST).size(), 1u);

    // A project chosen under ZENITH is out of view once ACME is chosen:
    // Modify and Delete then have nothing to act on.
    p.select(IDC_PROJECTS_LIST, 0);
    EXPECT_NE(dlg.SelectedProject, 0);
    p.select(IDC_PROJECTS_CUSTOMERS, 0);
    EXPECT_EQ(dlg.SelectedProject, 0);
    EXPECT_EQ(p.selection(IDC_PROJECTS_LIST), -1);
    p.set_text(IDC_PROJECTS_NAME, "AXLE");
    p.click(IDC_PROJECTS_MODIFY);
    p.click(IDC_PROJECTS_DELETE);  // no question: nothing is selected
    // Renamed once chosen; its own name again is no duplicate.
    p.select(IDC_PROJECTS_LIST, 0);
    p.set_text(IDC_PROJECTS_NAME, "GEARBOX");
    p.click(IDC_PROJECTS_MODIFY);
    p.select(IDC_PROJECTS_LIST, 0);
    p.set_text(IDC_PROJECTS_NAME, "AXLE");
    p.click(IDC_PROJECTS_MODIFY);
    p.click(IDCANCEL);
  });
  TNewProject(nullptr).Execute();
  EXPECT_EQ(LiveRows("KELVPRO.DBF", "NAME"), (std::vector<std::string>{"NAME=AXLE", "NAME=GEARBOX"}));
}

TEST_F(CustomerTest, NamesWithQuotesAndBracketsAreStoredAndFoundAsDuplicates) {
  long acme = AddCustomer("ACME");
  const std::vector<std::string> names = {"O'BRIEN", "\"ACME\"", "[X]"};
  driver.expect_dialog(IDD_CUSTOMERS, [&](TDialog& d) {
    Pilot p(d);
    for (const std::string& name : names) {
      p.set_text(IDC_CUSTOMERS_NAME, name);
      p.click(IDC_CUSTOMERS_SAVE);
      p.set_text(IDC_CUSTOMERS_NAME, name);
      driver.expect_message_box(IDOK, "customer of that name exists");
      p.click(IDC_CUSTOMERS_SAVE);
    }
    // A name no filter can hold is refused, not taken as new.
    p.set_text(IDC_CUSTOMERS_NAME, "O'B\"[X]");
    driver.expect_message_box(IDOK, "cannot be searched for");
    p.click(IDC_CUSTOMERS_SAVE);
    EXPECT_EQ(p.lines(IDC_CUSTOMERS_LIST).size(), 4u);
    p.click(IDCANCEL);
  });
  TNewCustomer(nullptr).Execute();
  EXPECT_EQ(LiveRows("KELVCUS2.DBF", "COMPANY"),
            (std::vector<std::string>{"COMPANY=ACME", "COMPANY=O'BRIEN", "COMPANY=\"ACME\"", "COMPANY=[X]"}));

  driver.expect_dialog(IDD_PROJECTS, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_PROJECTS_CUSTOMERS, 0);  // sorted: "ACME" first, then ACME
    p.select(IDC_PROJECTS_CUSTOMERS, 1);
    for (const std::string& name : names) {
      p.set_text(IDC_PROJECTS_NAME, name);
      p.click(IDC_PROJECTS_SAVE);
      p.set_text(IDC_PROJECTS_NAME, name);
      driver.expect_message_box(IDOK, "has a project of that name");
      p.click(IDC_PROJECTS_SAVE);
    }
    EXPECT_EQ(p.lines(IDC_PROJECTS_LIST).size(), 3u);
    p.click(IDCANCEL);
  });
  TNewProject(nullptr).Execute();
  EXPECT_EQ(LiveRows("KELVPRO.DBF", "NAME CUST"),
            (std::vector<std::string>{"NAME=O'BRIEN CUST=" + std::to_string(acme),
                                      "NAME=\"ACME\" CUST=" + std::to_string(acme),
                                      "NAME=[X] CUST=" + std::to_string(acme)}));
}

TEST_F(CustomerTest, EmptyNamesAreRefusedOnSaveAndModify) {
  long acme = AddCustomer("ACME");
  AddProject("GEARBOX", acme);
  struct Case {
    int dialog, list, name, save, modify;
  };
  for (const Case& c : {Case{IDD_CUSTOMERS, IDC_CUSTOMERS_LIST, IDC_CUSTOMERS_NAME, IDC_CUSTOMERS_SAVE,
                             IDC_CUSTOMERS_MODIFY},
                        Case{IDD_PROJECTS, IDC_PROJECTS_LIST, IDC_PROJECTS_NAME, IDC_PROJECTS_SAVE,
                             IDC_PROJECTS_MODIFY}}) {
    driver.expect_dialog(c.dialog, [&](TDialog& d) {
      Pilot p(d);
      p.select(c.list, 0);
      for (int button : {c.save, c.modify}) {
        p.set_text(c.name, "  ");
        p.focus(c.list);
        int beeps = plat::beep_count();
        p.click(button);
        EXPECT_EQ(plat::beep_count(), beeps + 1) << c.dialog << " " << button;
        EXPECT_TRUE(p.focused(c.name)) << c.dialog << " " << button;
      }
      p.click(IDCANCEL);
    });
    if (c.dialog == IDD_CUSTOMERS)
      TNewCustomer(nullptr).Execute();
    else
      TNewProject(nullptr).Execute();
  }
  EXPECT_EQ(LiveRows("KELVCUS2.DBF", "COMPANY"), std::vector<std::string>{"COMPANY=ACME"});
  EXPECT_EQ(LiveRows("KELVPRO.DBF", "NAME"), std::vector<std::string>{"NAME=GEARBOX"});
}

TEST_F(CustomerTest, TheCustomerChosenByNameHoldsA40CharacterNameAndGivesItsId) {
  const std::string longest(40, 'K');
  AddCustomer("ACME");
  long kk = AddCustomer(longest.c_str());
  int32_t id = 0;
  driver.expect_dialog(IDD_GET_CUSTOMER, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = dynamic_cast<TGetCustId&>(d);
    EXPECT_EQ(p.text(IDC_GET_CUSTOMER_NAME), "ACME");
    p.select(IDC_GET_CUSTOMER_LIST, 1);
    EXPECT_EQ(dlg.SelectedName, longest);
    EXPECT_EQ(p.text(IDC_GET_CUSTOMER_NAME), longest);
    p.click(IDCANCEL);
  });
  // The id of the last selection stays, whichever button ended the dialog.
  EXPECT_EQ(TGetCustId(nullptr, &id).Execute(), IDCANCEL);
  EXPECT_EQ(id, kk);
  // Without the caller's id the dialog only shows.
  driver.expect_dialog(IDD_GET_CUSTOMER, [&](TDialog& d) { Pilot(d).click(IDOK); });
  EXPECT_EQ(TGetCustId(nullptr, nullptr).Execute(), IDOK);
}

}  // namespace
