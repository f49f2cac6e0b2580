// Logon and the change of password. An unknown user and a wrong password
// get the same answer, so that a refusal does not tell which names exist.
#include "app/logon.h"

#include <cstring>

#include "app/users_dialogs.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/user_tables.h"
#include "appcore/text_scan.h"
#include "resources/dialogs/logon.h"

namespace {

const char* kUsers = "USER0002.DBF";
const char* kTypes = "USER0001.DBF";

bool IsProfileAdministrator(const char* login) {
  return std::strcmp(login, kAdminLogin) == 0 || std::strcmp(login, "TWELK") == 0;
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TLogon, TLangDlg)
  EV_COMMAND(IDOK, CheckLogon),
  EV_CBN_SELCHANGE(IDC_LOGON_USER, EvUserSelected),
END_RESPONSE_TABLE;

TLogon::TLogon(TWindow* parent) : TLangDlg(parent, IDD_LOGON) {
  UserCombo = new TNameIdComboBox(this, IDC_LOGON_USER, 200);
  PasswordEdit = new TEdit(this, IDC_LOGON_PASSWORD, 9);
  SelectDbCheck = new TCheckBox(this, IDC_LOGON_SELECT_DB);
}

void TLogon::SetupWindow() {
  TLangDlg::SetupWindow();
  if (!AllowDbChoice) SelectDbCheck->ShowWindow(SW_HIDE);
  SetItemTexts(IDC_LOGON_USER_LABEL, 149, 2);
  SetItemText(IDC_LOGON_SELECT_DB, 151);
  {
    TUserInfoTable t(kUsers, 0, 1);
    TControlLines lines(*UserCombo);
    t.FillLogonList(&lines);
  }
  if (Globals->NetLogon) SelectDbCheck->ShowWindow(SW_HIDE);
  TryAutoLogon();
}

void TLogon::TryAutoLogon() {
  if (!AllowAutoLogon || !Globals->DefUser || !Globals->DefPassword) return;
  if (UserCombo->GetCount() == 0) return;
  long id;
  {
    TUserInfoTable t(kUsers, 0, 1);
    id = t.FindLogin(Globals->DefUser.c_str());
  }
  // A default name that is nobody's is not tried against another user.
  if (id == 0) return;
  for (int i = 0; i < UserCombo->GetCount(); i++) {
    if (ListLineId(UserCombo->GetString(i).c_str()) == id) {
      UserCombo->SetSelIndex(i);
      PasswordEdit->SetWindowText(Globals->DefPassword.c_str());
      CheckLogon();
      return;
    }
  }
}

void TLogon::EvUserSelected() { UserCombo->SetSelIndex(UserCombo->GetSelIndex()); }

void TLogon::Refuse() {
  ShowMessage(this, kMsgLogonRefused);
  PasswordEdit->SetWindowText("");
}

void TLogon::CheckLogon() {
  long id = UserCombo->GetSelectedId();
  if (id == 0) return;
  std::string typed = CutText(PasswordEdit->GetText(), 8);
  if (typed.empty()) {
    PasswordEdit->SetFocus();
    return;
  }
  TUserInfoRecord* user;
  {
    TUserInfoTable t(kUsers, 0, 1);
    user = t.ReadUser(id);
  }
  if (!user || typed != user->PASS) {
    delete user;
    Refuse();
    return;
  }
  int32_t ur1 = 0, ur2 = 0, ur3 = 0;
  {
    // A type that no longer exists gives no rights.
    TAccountTable t(kTypes, 0, 1);
    t.LoadRights(user->TYPE, ur1, ur2, ur3);
  }
  Globals->RightsMask = static_cast<uint32_t>(ur1);
  Globals->UserId = static_cast<int>(user->ID);
  Globals->SetUserName(user->FNAM, user->LNAM);
  if (std::strcmp(user->NAME, kAdminLogin) == 0 && typed == kAdminLogin) {
    ShowMessage(this, kMsgChangeInitialPassword);
    TNewPassword change(this);
    change.Execute();
  }
  Globals->SuperUserLogon = IsProfileAdministrator(user->NAME) ? 1 : 0;
  Globals->NetLogonMode = SelectDbCheck->GetCheck() == BST_CHECKED ? 1 : 0;
  delete user;
  CloseWindow(IDOK);
}

// ---- change of password ------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TNewPassword, TDialog)
  EV_COMMAND(IDOK, CmOk),
END_RESPONSE_TABLE;

TNewPassword::TNewPassword(TWindow* parent) : TDialog(parent, IDD_NEW_PASSWORD) {
  NewPasswordEdit = new TEdit(this, IDC_NEW_PASSWORD, 9);
  VerifyEdit = new TEdit(this, IDC_NEW_PASSWORD_VERIFY, 9);
}

void TNewPassword::SetupWindow() {
  TDialog::SetupWindow();
  CentreOnScreen(*this);
  if (const char* t = DialogText(145)) SetCaption(t);
  if (const char* t = DialogText(146)) SetDlgItemText(IDC_NEW_PASSWORD_LABEL, t);
  if (const char* t = DialogText(147)) SetDlgItemText(IDC_NEW_PASSWORD_VERIFY_LABEL, t);
}

void TNewPassword::ClearBoth() {
  NewPasswordEdit->SetWindowText("");
  VerifyEdit->SetWindowText("");
  NewPasswordEdit->SetFocus();
}

void TNewPassword::CmOk() {
  std::string first = CutText(NewPasswordEdit->GetText(), 8);
  std::string second = CutText(VerifyEdit->GetText(), 8);
  if (first.empty()) {
    NewPasswordEdit->SetFocus();
    return;
  }
  if (second.empty()) {
    VerifyEdit->SetFocus();
    return;
  }
  const char* caption = Globals->CaptionText2.c_str();
  if (first != second) {
    MessageBox(Globals->GetMessageText(kMsgPasswordsDiffer).c_str(), caption, MB_OK | MB_ICONSTOP);
    ClearBoth();
    return;
  }
  if (first.size() < 4) {
    MessageBox(Globals->GetMessageText(kMsgPasswordTooShort).c_str(), caption, MB_OK | MB_ICONINFORMATION);
    ClearBoth();
    return;
  }
  int stored = 0;
  {
    TUserInfoTable t(kUsers, 0, 1);
    TUserInfoRecord* user = t.ReadUser(Globals->UserId);
    if (user) {
      CopyCut(user->PASS, sizeof user->PASS, first.c_str());
      stored = t.SetPassword(user);
      delete user;
    }
  }
  // Only a stored password ends the change; the old one still holds.
  if (!stored) {
    MessageBox(Globals->GetMessageText(kMsgPasswordNotStored).c_str(), caption, MB_OK | MB_ICONSTOP);
    return;
  }
  CloseWindow(IDOK);
}
