// Logon and the change of password. A successful logon puts the user's id,
// names and the rights of the user's account type into the global state and
// sets the two flags that steer the choice of the database profile.
#pragma once

#include "app/lang_dlg.h"
#include "app/users_lines.h"
#include "platform/ui/button.h"
#include "platform/ui/edit.h"

class TLogon : public TLangDlg {
 public:
  explicit TLogon(TWindow* parent);

  void SetupWindow() override;
  // OK: checks the password of the selected user; closes with IDOK when it
  // matches.
  void CheckLogon();
  void EvUserSelected();

  TNameIdComboBox* UserCombo;
  TEdit* PasswordEdit;
  TCheckBox* SelectDbCheck;
  int AllowAutoLogon = 1;
  int AllowDbChoice = 1;

 private:
  // Logs on as the configured default user when both default texts are set
  // and the user exists under exactly that name.
  void TryAutoLogon();
  void Refuse();

  DECLARE_RESPONSE_TABLE(TLogon);
};

class TNewPassword : public TDialog {
 public:
  explicit TNewPassword(TWindow* parent);

  void SetupWindow() override;
  void CmOk() override;

  TEdit* NewPasswordEdit;
  TEdit* VerifyEdit;

 private:
  void ClearBoth();

  DECLARE_RESPONSE_TABLE(TNewPassword);
};
