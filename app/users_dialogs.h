// The "Users" command's three nested dialogs: the users of each account
// type, the 32 rights of each type, and the list of types.
#pragma once

#include <array>
#include <cstdint>

#include "app/lang_dlg.h"
#include "app/users_lines.h"
#include "platform/ui/button.h"
#include "platform/ui/edit.h"

// Shows a MESSAGES text in an information box titled with the program's
// caption; the answer.
int ShowMessage(TWindow* owner, int messageId, UINT flags = MB_OK | MB_ICONINFORMATION);
// A change the table refused is told, not passed over; the result.
bool Stored(TWindow* owner, long result);

class TUserManagement : public TLangDlg {
 public:
  explicit TUserManagement(TWindow* parent);

  void SetupWindow() override;
  void EvTypeSelected();
  void EvUserSelected();
  void CmAddUser();
  void CmModifyUser();
  void CmDeleteUser();
  void CmAccountTypes();

  TComboBox* TypeCombo;
  TListBox* UserList;
  TEdit* LoginEdit;
  TEdit* UserPasswordEdit;
  TEdit* FirstNameEdit;
  TEdit* LastNameEdit;
  long SelectedUserId = 0;
  long SelectedTypeId = 0;

 private:
  // The four edits passed the length tests (the focus is on the first
  // that failed otherwise).
  bool FieldsValid(std::string& login, std::string& password, std::string& first, std::string& last);
  bool LoginTaken(const std::string& login, long exceptId);
  void RefillUsers();

  DECLARE_RESPONSE_TABLE(TUserManagement);
};

class TUserAccounts : public TLangDlg {
 public:
  explicit TUserAccounts(TWindow* parent);

  void SetupWindow() override;
  void EvTypeSelected();
  void CmEditTypes();
  void CmGrantAll();
  void CmClearAll();
  void CmSaveRights();

  TComboBox* TypeCombo;
  std::array<TCheckBox*, 32> RightBoxes{};
  int32_t Rights1 = 0;
  int32_t Rights2 = 0;
  int32_t Rights3 = 0;
  long SelectedTypeId = 0;

 private:
  void CheckAll(bool on);

  DECLARE_RESPONSE_TABLE(TUserAccounts);
};

class TUserAccountType : public TLangDlg {
 public:
  explicit TUserAccountType(TWindow* parent);

  void SetupWindow() override;
  long GetSelectedId();
  void CmAdd();
  void CmRename();
  void CmDelete();
  void EvTypeSelected();

  TListBox* TypeList;
  TEdit* TypeNameEdit;
  long SelectedId = 0;

 private:
  // The typed name, trimmed; empty when there is none.
  std::string TypedName();

  DECLARE_RESPONSE_TABLE(TUserAccountType);
};
