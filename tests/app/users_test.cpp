// Users and account types: the built-in rows of new files, the three user
// dialogs driven as a user would, and the stored rows as python3-dbfread
// reads them.
#include <algorithm>

#include "app/users_dialogs.h"
#include "dbmodel/idname.h"
#include "resources/dialogs/users.h"
#include "tests/app/users_fixture.h"

namespace {

using kvusers::UsersTest;
using plat::Pilot;

const std::string kAdminType = "ID=2000000000 NAME=ADMINISTRATORS UR1=-1 UR2=-1 UR3=-1";
const std::string kAdminUser =
    "ID=2000000000 TYPE=2000000000 NAME=BRALK PASS=BRALK FNAM=Administrator LNAM=Administrator";

bool Has(const std::vector<std::string>& rows, const std::string& part) {
  return std::any_of(rows.begin(), rows.end(), [&](const std::string& r) { return r.find(part) != std::string::npos; });
}

TEST_F(UsersTest, NewFilesHoldExactlyTheBuiltInTypeAndUserInBothDirectories) {
  std::filesystem::remove(LocalPath("USER0001.DBF"));
  std::filesystem::remove(LocalPath("USER0002.DBF"));
  Globals->CreateDatabaseFiles();
  Globals->RebuildDatabase();
  Globals->CreateDatabaseFiles();  // a second run adds no row
  for (const std::string& path : {AltPath("USER0001.DBF"), DbPath("USER0001.DBF")}) {
    EXPECT_EQ(kvdb::PeerLayout(Root(), path), "ID:N:10 NAME:C:50 UR1:N:11 UR2:N:11 UR3:N:11 | 1");
    EXPECT_EQ(PeerRows(path), std::vector<std::string>{kAdminType});
  }
  for (const std::string& path : {AltPath("USER0002.DBF"), DbPath("USER0002.DBF")}) {
    EXPECT_EQ(kvdb::PeerLayout(Root(), path), "ID:N:10 TYPE:N:10 NAME:C:8 PASS:C:8 FNAM:C:40 LNAM:C:40 | 1");
    EXPECT_EQ(PeerRows(path), std::vector<std::string>{kAdminUser});
  }
}

TEST_F(UsersTest, RightsDialogStoresGrantAllAndClearAllAndShowsTheBits) {
  long type = AddType("OPERATORS", 0x80000005);
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_ACCOUNT_TYPES, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TUserAccounts&>(d);
    // Types are sorted: ADMINISTRATORS, OPERATORS.
    ASSERT_EQ(p.lines(IDC_ACCOUNT_TYPES_TYPE).size(), 2u);
    EXPECT_TRUE(std::all_of(dlg.RightBoxes.begin(), dlg.RightBoxes.end(),
                            [](TCheckBox* b) { return b->GetCheck() == BST_CHECKED; }));
    p.select(IDC_ACCOUNT_TYPES_TYPE, 1);
    EXPECT_EQ(dlg.SelectedTypeId, type);
    for (int i = 0; i < 32; i++) EXPECT_EQ(p.checked(IDC_ACCOUNT_TYPES_RIGHT0 + i), i == 0 || i == 2 || i == 31) << i;
    p.click(IDC_ACCOUNT_TYPES_GRANT_ALL);
    p.click(IDC_ACCOUNT_TYPES_SAVE);
    EXPECT_TRUE(Has(PeerRows(LocalPath("USER0001.DBF")), "NAME=OPERATORS UR1=-1 UR2=0 UR3=0"));
    p.click(IDC_ACCOUNT_TYPES_CLEAR_ALL);
    p.click(IDC_ACCOUNT_TYPES_RIGHT0 + 14);  // "Users" only
    p.click(IDC_ACCOUNT_TYPES_SAVE);
    EXPECT_TRUE(Has(PeerRows(LocalPath("USER0001.DBF")), "NAME=OPERATORS UR1=16384 UR2=0 UR3=0"));
    p.click(IDC_ACCOUNT_TYPES_CLEAR_ALL);
    p.click(IDC_ACCOUNT_TYPES_SAVE);
    EXPECT_TRUE(Has(PeerRows(LocalPath("USER0001.DBF")), "NAME=OPERATORS UR1=0 UR2=0 UR3=0"));
    p.click(IDCANCEL);
  });
  TUserAccounts dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
}

TEST_F(UsersTest, TheOnlyUsersWithEveryRightKeepThem) {
  long operators = AddType("OPERATORS", 0x4000);
  plat::GTestUiDriver driver;
  // The administrators' type may not lose a right while its users are the
  // only ones holding all of them; BRALK may not be deleted or moved.
  driver.expect_dialog(IDD_USERS, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TUserManagement&>(d);
    ASSERT_EQ(p.lines(IDC_USERS_TYPE).size(), 2u);
    EXPECT_EQ(dlg.SelectedUserId, kAdminUserId);
    EXPECT_EQ(p.text(IDC_USERS_LOGIN), "BRALK");
    driver.expect_message_box(IDOK, "last user holding every right");
    p.click(IDC_USERS_DELETE);
    p.select(IDC_USERS_TYPE, 1);  // OPERATORS: modify would move BRALK there
    EXPECT_EQ(dlg.SelectedTypeId, operators);
    EXPECT_EQ(dlg.SelectedUserId, 0);
    driver.expect_dialog(IDD_ACCOUNT_TYPES, [&](TDialog& r) {
      Pilot q(r);
      q.click(IDC_ACCOUNT_TYPES_CLEAR_ALL);
      driver.expect_message_box(IDOK, "last user holding every right");
      q.click(IDC_ACCOUNT_TYPES_SAVE);
      q.click(IDCANCEL);
    });
    p.click(IDC_USERS_ACCOUNT_TYPES);
    p.click(IDCANCEL);
  });
  TUserManagement dlg(nullptr);
  dlg.Execute();
  EXPECT_EQ(PeerRows(LocalPath("USER0002.DBF")), std::vector<std::string>{kAdminUser});
  EXPECT_TRUE(Has(PeerRows(LocalPath("USER0001.DBF")), kAdminType));
}

TEST_F(UsersTest, UserManagementAddsChecksModifiesAndDeletesAfterAsking) {
  long operators = AddType("OPERATORS", 0x4000);
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_USERS, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TUserManagement&>(d);
    p.select(IDC_USERS_TYPE, 1);
    ASSERT_EQ(dlg.SelectedTypeId, operators);
    EXPECT_TRUE(p.lines(IDC_USERS_LIST).empty());
    // Length tests in order, each with the focus on the field and no row.
    struct Case {
      const char *login, *password, *first, *last;
      int focus;
    } cases[] = {
        {"ABC", "SECRET", "Ada", "Lovelace", IDC_USERS_LOGIN},
        {"ADAL", "ABC", "Ada", "Lovelace", IDC_USERS_PASSWORD},
        {"ADAL", "SECRET", "", "Lovelace", IDC_USERS_FIRST_NAME},
        {"ADAL", "SECRET", "Ada", "  ", IDC_USERS_LAST_NAME},
    };
    for (const Case& c : cases) {
      p.set_text(IDC_USERS_LOGIN, c.login);
      p.set_text(IDC_USERS_PASSWORD, c.password);
      p.set_text(IDC_USERS_FIRST_NAME, c.first);
      p.set_text(IDC_USERS_LAST_NAME, c.last);
      p.click(IDC_USERS_ADD);
      EXPECT_TRUE(p.focused(c.focus)) << c.focus;
      EXPECT_TRUE(p.lines(IDC_USERS_LIST).empty());
    }
    p.set_text(IDC_USERS_LAST_NAME, "Lovelace");
    p.set_text(IDC_USERS_LOGIN, "");
    p.type(IDC_USERS_LOGIN, "adal");  // the edit makes capitals
    p.click(IDC_USERS_ADD);
    ASSERT_EQ(p.lines(IDC_USERS_LIST).size(), 1u);
    EXPECT_EQ(p.lines(IDC_USERS_LIST)[0].substr(0, 12), "Ada Lovelace");
    // The same login in other letters is refused, for a new user as for a
    // renamed one.
    p.set_text(IDC_USERS_LOGIN, "Bralk");
    driver.expect_message_box(IDOK, "login name exists");
    p.click(IDC_USERS_ADD);
    EXPECT_EQ(p.lines(IDC_USERS_LIST).size(), 1u);
    p.select(IDC_USERS_LIST, 0);
    EXPECT_EQ(p.text(IDC_USERS_LOGIN), "ADAL");
    p.set_text(IDC_USERS_LOGIN, "BRALK");
    driver.expect_message_box(IDOK, "login name exists");
    p.click(IDC_USERS_MODIFY);
    p.set_text(IDC_USERS_LOGIN, "ADAL");
    p.set_text(IDC_USERS_FIRST_NAME, "Augusta");
    p.click(IDC_USERS_MODIFY);
    ASSERT_EQ(p.lines(IDC_USERS_LIST).size(), 1u);
    EXPECT_EQ(p.lines(IDC_USERS_LIST)[0].substr(0, 16), "Augusta Lovelace");
    // Another type shows its own users, the first one selected.
    p.select(IDC_USERS_TYPE, 0);
    EXPECT_EQ(p.text(IDC_USERS_LOGIN), "BRALK");
    p.select(IDC_USERS_TYPE, 1);
    // Delete asks; No keeps the user, Yes removes it.
    ASSERT_EQ(p.text(IDC_USERS_LOGIN), "ADAL");
    driver.expect_message_box(IDNO, "Delete the selected user");
    p.click(IDC_USERS_DELETE);
    EXPECT_EQ(p.lines(IDC_USERS_LIST).size(), 1u);
    driver.expect_message_box(IDYES, "Delete the selected user");
    p.click(IDC_USERS_DELETE);
    EXPECT_TRUE(p.lines(IDC_USERS_LIST).empty());
    EXPECT_EQ(p.text(IDC_USERS_LOGIN), "");
    p.click(IDCANCEL);
  });
  TUserManagement dlg(nullptr);
  dlg.Execute();
  auto rows = PeerRows(LocalPath("USER0002.DBF"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], kAdminUser);
  EXPECT_NE(rows[1].find("* ID="), std::string::npos);
  EXPECT_NE(rows[1].find("TYPE=" + std::to_string(operators) + " NAME=ADAL PASS=SECRET FNAM=Augusta LNAM=Lovelace"), std::string::npos);
}

TEST_F(UsersTest, RefusedWritesAreToldAndLeaveNoRow) {
  // Without the id counters no id can be drawn for a new user or type.
  std::filesystem::remove(DbPath("KELVINDX.DBF"));
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_USERS, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_USERS_LOGIN, "ADAL");
    p.set_text(IDC_USERS_PASSWORD, "SECRET");
    p.set_text(IDC_USERS_FIRST_NAME, "Ada");
    p.set_text(IDC_USERS_LAST_NAME, "Lovelace");
    driver.expect_message_box(IDOK, "could not be stored");
    p.click(IDC_USERS_ADD);
    EXPECT_EQ(p.lines(IDC_USERS_LIST).size(), 1u);
    p.click(IDCANCEL);
  });
  driver.expect_dialog(IDD_TYPES, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_TYPES_NAME, "SETTERS");
    driver.expect_message_box(IDOK, "could not be stored");
    p.click(IDC_TYPES_ADD);
    EXPECT_EQ(p.lines(IDC_TYPES_LIST).size(), 1u);
    p.click(IDCANCEL);
  });
  TUserManagement users(nullptr);
  users.Execute();
  TUserAccountType types(nullptr);
  types.Execute();
  EXPECT_EQ(PeerRows(LocalPath("USER0002.DBF")).size(), 1u);
  EXPECT_EQ(PeerRows(LocalPath("USER0001.DBF")).size(), 1u);
}

TEST_F(UsersTest, TypeListRefusesTakenNamesAndTypesInUse) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_TYPES, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(d.GetText(), "Account types");
    ASSERT_EQ(p.lines(IDC_TYPES_LIST).size(), 1u);
    p.set_text(IDC_TYPES_NAME, "Operators");
    p.click(IDC_TYPES_ADD);
    EXPECT_EQ(p.text(IDC_TYPES_NAME), "");
    ASSERT_EQ(p.lines(IDC_TYPES_LIST).size(), 2u);
    for (const char* taken : {"OPERATORS", "administrators"}) {
      p.set_text(IDC_TYPES_NAME, taken);
      driver.expect_message_box(IDOK, "name exists already");
      p.click(IDC_TYPES_ADD);
    }
    EXPECT_EQ(p.lines(IDC_TYPES_LIST).size(), 2u);
    // Renaming into another type's name is refused too.
    p.select(IDC_TYPES_LIST, 1);
    EXPECT_EQ(p.text(IDC_TYPES_NAME), "Operators");
    p.set_text(IDC_TYPES_NAME, "Administrators");
    driver.expect_message_box(IDOK, "name exists already");
    p.click(IDC_TYPES_RENAME);
    p.set_text(IDC_TYPES_NAME, "Setters");
    p.click(IDC_TYPES_RENAME);
    EXPECT_EQ(p.lines(IDC_TYPES_LIST)[1].substr(0, 7), "Setters");
    // The administrators' type still has BRALK.
    p.select(IDC_TYPES_LIST, 0);
    driver.expect_message_box(IDOK, "cannot be deleted");
    p.click(IDC_TYPES_DELETE);
    EXPECT_EQ(p.lines(IDC_TYPES_LIST).size(), 2u);
    p.select(IDC_TYPES_LIST, 1);
    driver.expect_message_box(IDYES, "Delete the selected account type");
    p.click(IDC_TYPES_DELETE);
    EXPECT_EQ(p.lines(IDC_TYPES_LIST).size(), 1u);
    // The name of a deleted type can be taken again.
    p.set_text(IDC_TYPES_NAME, "SETTERS");
    p.click(IDC_TYPES_ADD);
    EXPECT_EQ(p.lines(IDC_TYPES_LIST).size(), 2u);
    p.click(IDCANCEL);
  });
  TUserAccountType dlg(nullptr);
  dlg.Execute();
  auto rows = PeerRows(LocalPath("USER0001.DBF"));
  EXPECT_TRUE(Has(rows, "NAME=SETTERS UR1=None UR2=None UR3=None"));  // no rights yet
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const std::string& r) { return r[0] != '*'; }), 2);
}

}  // namespace
