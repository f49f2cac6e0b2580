// Logon and password change: the rights and names a logon leaves in the
// global state, the refusals, the automatic logon with the configured
// default user, and the password stored for other stations to read.
#include "app/logon.h"
#include "resources/dialogs/logon.h"
#include "tests/app/users_fixture.h"

namespace {

using kvusers::UsersTest;
using plat::Pilot;

class LogonTest : public UsersTest {
 protected:
  void SetUp() override {
    UsersTest::SetUp();
    operators_ = AddType("OPERATORS", 0x4000);
    adal_ = AddUser(operators_, "ADAL", "SECRET", "Ada", "Lovelace");
    AddUser(operators_, "TWELK", "TWELK", "Tom", "Welk");
    AddUser(999, "GHOST", "GHOST", "No", "Type");  // its type was removed elsewhere
  }
  // The logon list's line of a login (sorted: ADAL, BRALK, GHOST, TWELK).
  static int LineOf(Pilot& p, const std::string& login) {
    auto lines = p.lines(IDC_LOGON_USER);
    for (size_t i = 0; i < lines.size(); i++)
      if (lines[i].rfind(login + " ", 0) == 0) return static_cast<int>(i);
    return -1;
  }
  int RunLogon() {
    TLogon dlg(nullptr);
    return dlg.Execute();
  }
  long operators_ = 0, adal_ = 0;
};

TEST_F(LogonTest, BuiltInAdministratorMustChangeTheInitialPassword) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_LOGON, [&](TDialog& d) {
    Pilot p(d);
    ASSERT_EQ(p.lines(IDC_LOGON_USER).size(), 4u);
    EXPECT_EQ(p.lines(IDC_LOGON_USER)[0].substr(0, 5), "ADAL ");
    p.select(IDC_LOGON_USER, LineOf(p, "BRALK"));
    p.type(IDC_LOGON_PASSWORD, "bralk");
    p.click(IDC_LOGON_SELECT_DB);
    driver.expect_message_box(IDOK, "initial password");
    driver.expect_dialog(IDD_NEW_PASSWORD, [&](TDialog& c) {
      Pilot q(c);
      EXPECT_EQ(c.GetText(), "Change of password");
      struct Case {
        const char *first, *second, *box;
      } refused[] = {{"ABC", "ABC", "at least 4"}, {"ABCD", "ABCE", "not the same"}};
      for (const Case& r : refused) {
        q.type(IDC_NEW_PASSWORD, r.first);
        q.type(IDC_NEW_PASSWORD_VERIFY, r.second);
        driver.expect_message_box(IDOK, r.box);
        q.click(IDOK);
        EXPECT_EQ(q.text(IDC_NEW_PASSWORD), "");
        EXPECT_EQ(q.text(IDC_NEW_PASSWORD_VERIFY), "");
        EXPECT_TRUE(q.focused(IDC_NEW_PASSWORD));
      }
      q.type(IDC_NEW_PASSWORD, "abcd");
      q.click(IDOK);  // the second is still empty
      EXPECT_TRUE(q.focused(IDC_NEW_PASSWORD_VERIFY));
      q.type(IDC_NEW_PASSWORD_VERIFY, "ABCD");
      q.click(IDOK);
    });
    p.click(IDOK);
  });
  EXPECT_EQ(RunLogon(), IDOK);
  auto boxes = driver.message_boxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].caption, "Kelvane");
  EXPECT_EQ(boxes[1].caption, "Logon");  // too short
  EXPECT_EQ(boxes[2].flags & MB_ICONSTOP, static_cast<UINT>(MB_ICONSTOP));  // not the same
  EXPECT_EQ(Globals->UserId, kAdminUserId);
  EXPECT_EQ(Globals->RightsMask, 0xFFFFFFFFu);
  EXPECT_EQ(Globals->SuperUserLogon, 1);
  EXPECT_EQ(Globals->NetLogonMode, 1);
  EXPECT_STREQ(Globals->UserFirstName.c_str(), "Administrator");
  auto rows = PeerRows(LocalPath("USER0002.DBF"));
  EXPECT_EQ(rows[0], "ID=2000000000 TYPE=2000000000 NAME=BRALK PASS=ABCD FNAM=Administrator LNAM=Administrator");
}

TEST_F(LogonTest, OrdinaryUsersGetTheirTypesRightsAndAFailedTryTellsNothing) {
  struct Case {
    const char *login, *password;
    uint32_t rights;
    int superUser;
  } cases[] = {{"ADAL", "SECRET", 0x4000, 0}, {"GHOST", "GHOST", 0, 0}, {"TWELK", "TWELK", 0x4000, 1}};
  for (const Case& c : cases) {
    Globals->NetLogonMode = 1;
    plat::GTestUiDriver driver;
    driver.expect_dialog(IDD_LOGON, [&](TDialog& d) {
      Pilot p(d);
      p.select(IDC_LOGON_USER, LineOf(p, c.login));
      p.click(IDOK);  // no password: the focus goes there, nothing else
      EXPECT_TRUE(p.focused(IDC_LOGON_PASSWORD));
      p.type(IDC_LOGON_PASSWORD, "WRONG");
      driver.expect_message_box(IDOK, "Unknown user or wrong password");
      p.click(IDOK);
      EXPECT_EQ(p.text(IDC_LOGON_PASSWORD), "");
      p.type(IDC_LOGON_PASSWORD, c.password);
      p.click(IDOK);
    });
    EXPECT_EQ(RunLogon(), IDOK) << c.login;
    EXPECT_EQ(Globals->RightsMask, c.rights) << c.login;
    EXPECT_EQ(Globals->SuperUserLogon, c.superUser) << c.login;
    EXPECT_EQ(Globals->NetLogonMode, 0) << c.login;
  }
  EXPECT_EQ(Globals->UserId, FindUserId("TWELK"));
}

TEST_F(LogonTest, CancelLeavesTheLogonAsItWas) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_LOGON, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_LOGON_USER, LineOf(p, "ADAL"));
    p.type(IDC_LOGON_PASSWORD, "SECRE");
    driver.expect_message_box(IDOK, "Unknown user or wrong password");
    p.click(IDOK);
    p.click(IDCANCEL);
  });
  EXPECT_EQ(RunLogon(), IDCANCEL);
  EXPECT_EQ(Globals->UserId, 0);
  EXPECT_EQ(Globals->RightsMask, 0u);
}

TEST_F(LogonTest, AutomaticLogonTakesOnlyTheExactDefaultUser) {
  struct Case {
    const char *user, *password;
    bool loggedOn;
    const char* box;  // shown before the dialog, or null
  } cases[] = {
      {"ADAL", "SECRET", true, nullptr},
      {"ADAL", "SECRE", false, "Unknown user or wrong password"},
      {"adal", "SECRET", false, nullptr},    // not the exact name
      {"NOBODY", "BRALK", false, nullptr},  // never tried against the first user
  };
  for (const Case& c : cases) {
    Globals->UserId = 0;
    Globals->DefUser.Set(c.user);
    Globals->DefPassword.Set(c.password);
    plat::GTestUiDriver driver;
    if (c.box) driver.expect_message_box(IDOK, c.box);
    if (!c.loggedOn) driver.expect_dialog(IDD_LOGON, [](TDialog& d) { Pilot(d).click(IDCANCEL); });
    EXPECT_EQ(RunLogon(), c.loggedOn ? IDOK : IDCANCEL) << c.user;
    EXPECT_EQ(driver.dialogs_shown().empty(), c.loggedOn) << c.user;
    EXPECT_EQ(driver.message_boxes().size(), c.box ? 1u : 0u) << c.user;
    EXPECT_EQ(Globals->UserId, c.loggedOn ? adal_ : 0) << c.user;
  }
}

TEST_F(LogonTest, NetworkLogonHidesTheDatabaseChoice) {
  Globals->NetLogon = 1;
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_LOGON, [](TDialog& d) {
    Pilot p(d);
    EXPECT_FALSE(p.visible(IDC_LOGON_SELECT_DB));
    p.click(IDCANCEL);
  });
  RunLogon();
}

TEST_F(LogonTest, PasswordChangeThatIsNotStoredDoesNotEndWithOk) {
  Globals->UserId = 4711;  // no such user
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_NEW_PASSWORD, [&](TDialog& d) {
    Pilot p(d);
    p.type(IDC_NEW_PASSWORD, "NEWPW");
    p.type(IDC_NEW_PASSWORD_VERIFY, "NEWPW");
    driver.expect_message_box(IDOK, "could not be stored");
    p.click(IDOK);
    EXPECT_FALSE(static_cast<TNewPassword&>(d).HasEnded());
    p.click(IDCANCEL);
  });
  TNewPassword dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
}

}  // namespace
