// Users and account types: the built-in rows of new files, the three user
// dialogs driven as a user would, and the stored rows as python3-dbfread
// reads them.
#include <algorithm>

#include "app/users_dialogs.h"
#include "dbmodel/idname.h"
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
  driver.expect_dialog(30, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TUserAccounts&>(d);
    // Types are sorted: ADMINISTRATORS, OPERATORS.
    ASSERT_EQ(p.lines(101).size(), 2u);
    EXPECT_TRUE(std::all_of(dlg.RightBoxes.begin(), dlg.RightBoxes.end(),
                            [](TCheckBox* b) { return b->GetCheck() == BST_CHECKED; }));
    p.select(101, 1);
    EXPECT_EQ(dlg.SelectedTypeId, type);
    for (int i = 0; i < 32; i++) EXPECT_EQ(p.checked(300 + i), i == 0 || i == 2 || i == 31) << i;
    p.click(103);
    p.click(105);
    EXPECT_TRUE(Has(PeerRows(LocalPath("USER0001.DBF")), "NAME=OPERATORS UR1=-1 UR2=0 UR3=0"));
    p.click(104);
    p.click(300 + 14);  // "Users" only
    p.click(105);
    EXPECT_TRUE(Has(PeerRows(LocalPath("USER0001.DBF")), "NAME=OPERATORS UR1=16384 UR2=0 UR3=0"));
    p.click(104);
    p.click(105);
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
  driver.expect_dialog(38, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TUserManagement&>(d);
    ASSERT_EQ(p.lines(101).size(), 2u);
    EXPECT_EQ(dlg.SelectedUserId, kAdminUserId);
    EXPECT_EQ(p.text(103), "BRALK");
    driver.expect_message_box(IDOK, "last user holding every right");
    p.click(109);
    p.select(101, 1);  // OPERATORS: modify would move BRALK there
    EXPECT_EQ(dlg.SelectedTypeId, operators);
    EXPECT_EQ(dlg.SelectedUserId, 0);
    driver.expect_dialog(30, [&](TDialog& r) {
      Pilot q(r);
      q.click(104);
      driver.expect_message_box(IDOK, "last user holding every right");
      q.click(105);
      q.click(IDCANCEL);
    });
    p.click(110);
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
  driver.expect_dialog(38, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TUserManagement&>(d);
    p.select(101, 1);
    ASSERT_EQ(dlg.SelectedTypeId, operators);
    EXPECT_TRUE(p.lines(102).empty());
    // Length tests in order, each with the focus on the field and no row.
    struct Case {
      const char *login, *password, *first, *last;
      int focus;
    } cases[] = {
        {"ABC", "SECRET", "Ada", "Lovelace", 103},
        {"ADAL", "ABC", "Ada", "Lovelace", 104},
        {"ADAL", "SECRET", "", "Lovelace", 105},
        {"ADAL", "SECRET", "Ada", "  ", 106},
    };
    for (const Case& c : cases) {
      p.set_text(103, c.login);
      p.set_text(104, c.password);
      p.set_text(105, c.first);
      p.set_text(106, c.last);
      p.click(107);
      EXPECT_TRUE(p.focused(c.focus)) << c.focus;
      EXPECT_TRUE(p.lines(102).empty());
    }
    p.set_text(106, "Lovelace");
    p.set_text(103, "");
    p.type(103, "adal");  // the edit makes capitals
    p.click(107);
    ASSERT_EQ(p.lines(102).size(), 1u);
    EXPECT_EQ(p.lines(102)[0].substr(0, 12), "Ada Lovelace");
    // The same login in other letters is refused, for a new user as for a
    // renamed one.
    p.set_text(103, "Bralk");
    driver.expect_message_box(IDOK, "login name exists");
    p.click(107);
    EXPECT_EQ(p.lines(102).size(), 1u);
    p.select(102, 0);
    EXPECT_EQ(p.text(103), "ADAL");
    p.set_text(103, "BRALK");
    driver.expect_message_box(IDOK, "login name exists");
    p.click(108);
    p.set_text(103, "ADAL");
    p.set_text(105, "Augusta");
    p.click(108);
    ASSERT_EQ(p.lines(102).size(), 1u);
    EXPECT_EQ(p.lines(102)[0].substr(0, 16), "Augusta Lovelace");
    // Another type shows its own users, the first one selected.
    p.select(101, 0);
    EXPECT_EQ(p.text(103), "BRALK");
    p.select(101, 1);
    // Delete asks; No keeps the user, Yes removes it.
    ASSERT_EQ(p.text(103), "ADAL");
    driver.expect_message_box(IDNO, "Delete the selected user");
    p.click(109);
    EXPECT_EQ(p.lines(102).size(), 1u);
    driver.expect_message_box(IDYES, "Delete the selected user");
    p.click(109);
    EXPECT_TRUE(p.lines(102).empty());
    EXPECT_EQ(p.text(103), "");
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
  driver.expect_dialog(38, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(103, "ADAL");
    p.set_text(104, "SECRET");
    p.set_text(105, "Ada");
    p.set_text(106, "Lovelace");
    driver.expect_message_box(IDOK, "could not be stored");
    p.click(107);
    EXPECT_EQ(p.lines(102).size(), 1u);
    p.click(IDCANCEL);
  });
  driver.expect_dialog(18, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(104, "SETTERS");
    driver.expect_message_box(IDOK, "could not be stored");
    p.click(101);
    EXPECT_EQ(p.lines(105).size(), 1u);
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
  driver.expect_dialog(18, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(d.GetText(), "Account types");
    ASSERT_EQ(p.lines(105).size(), 1u);
    p.set_text(104, "Operators");
    p.click(101);
    EXPECT_EQ(p.text(104), "");
    ASSERT_EQ(p.lines(105).size(), 2u);
    for (const char* taken : {"OPERATORS", "administrators"}) {
      p.set_text(104, taken);
      driver.expect_message_box(IDOK, "name exists already");
      p.click(101);
    }
    EXPECT_EQ(p.lines(105).size(), 2u);
    // Renaming into another type's name is refused too.
    p.select(105, 1);
    EXPECT_EQ(p.text(104), "Operators");
    p.set_text(104, "Administrators");
    driver.expect_message_box(IDOK, "name exists already");
    p.click(102);
    p.set_text(104, "Setters");
    p.click(102);
    EXPECT_EQ(p.lines(105)[1].substr(0, 7), "Setters");
    // The administrators' type still has BRALK.
    p.select(105, 0);
    driver.expect_message_box(IDOK, "cannot be deleted");
    p.click(103);
    EXPECT_EQ(p.lines(105).size(), 2u);
    p.select(105, 1);
    driver.expect_message_box(IDYES, "Delete the selected account type");
    p.click(103);
    EXPECT_EQ(p.lines(105).size(), 1u);
    // The name of a deleted type can be taken again.
    p.set_text(104, "SETTERS");
    p.click(101);
    EXPECT_EQ(p.lines(105).size(), 2u);
    p.click(IDCANCEL);
  });
  TUserAccountType dlg(nullptr);
  dlg.Execute();
  auto rows = PeerRows(LocalPath("USER0001.DBF"));
  EXPECT_TRUE(Has(rows, "NAME=SETTERS UR1=None UR2=None UR3=None"));  // no rights yet
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const std::string& r) { return r[0] != '*'; }), 2);
}

}  // namespace
