// The user dialogs. Login names and type names are unique in any letter
// case, deletions are asked for first, and the last user holding every
// right can neither be deleted nor lose a right: the station would have
// nobody left to open these dialogs.
#include "app/users_dialogs.h"

#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/counter.h"
#include "dbmodel/idname.h"
#include "dbmodel/user_tables.h"
#include "appcore/text_scan.h"
#include "resources/dialogs/users.h"

namespace {

const char* kTypes = "USER0001.DBF";
const char* kUsers = "USER0002.DBF";

std::string EditText(TEdit* e, size_t max) {
  std::string s = e->GetText();
  if (s.size() > max) s.resize(max);
  return s;
}

bool TypeHasAllRights(long typeId) {
  TAccountTable t(kTypes, 0, 1);
  int32_t r1, r2, r3;
  return t.LoadRights(typeId, r1, r2, r3) && r1 == kAllRights;
}

// Fills a combo box with the account types' names and ids.
void FillTypes(TComboBox& combo) {
  TAccountTable t(kTypes, 0, 1);
  TControlLines lines(combo);
  t.FillList(&lines);
}

}  // namespace

int ShowMessage(TWindow* owner, int messageId, UINT flags) {
  std::string text = Globals->GetMessageText(messageId);
  return ::MessageBox(owner ? owner->GetHandle() : nullptr, text.c_str(), Globals->CaptionText.c_str(), flags);
}

bool Stored(TWindow* owner, long result) {
  if (!result) ShowMessage(owner, kMsgChangeNotStored, MB_OK | MB_ICONSTOP);
  return result != 0;
}

// ---- users ------------------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TUserManagement, TLangDlg)
  EV_BN_CLICKED(IDC_USERS_ADD, CmAddUser),
  EV_BN_CLICKED(IDC_USERS_MODIFY, CmModifyUser),
  EV_BN_CLICKED(IDC_USERS_DELETE, CmDeleteUser),
  EV_BN_CLICKED(IDC_USERS_ACCOUNT_TYPES, CmAccountTypes),
  EV_CBN_SELCHANGE(IDC_USERS_TYPE, EvTypeSelected),
  EV_LBN_SELCHANGE(IDC_USERS_LIST, EvUserSelected),
END_RESPONSE_TABLE;

TUserManagement::TUserManagement(TWindow* parent) : TLangDlg(parent, IDD_USERS) {
  TypeCombo = new TComboBox(this, IDC_USERS_TYPE, 250);
  UserList = new TListBox(this, IDC_USERS_LIST);
  LoginEdit = new TEdit(this, IDC_USERS_LOGIN, 9);
  UserPasswordEdit = new TEdit(this, IDC_USERS_PASSWORD, 9);
  FirstNameEdit = new TEdit(this, IDC_USERS_FIRST_NAME, 30);
  LastNameEdit = new TEdit(this, IDC_USERS_LAST_NAME, 30);
}

void TUserManagement::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(740);
  SetItemTexts(IDC_USERS_TYPE_LABEL, 741, 6);
  SetItemTexts(IDC_USERS_ADD, 747, 3);
  FillTypes(*TypeCombo);
  EvTypeSelected();
  RefillUsers();
  EvUserSelected();
}

void TUserManagement::RefillUsers() {
  TUserInfoTable t(kUsers, 0, 1);
  TControlLines lines(*UserList);
  t.FillList(&lines, SelectedTypeId);
}

void TUserManagement::EvTypeSelected() {
  SelectedTypeId = SelectedLineId(*TypeCombo);
  if (SelectedTypeId == 0) return;
  RefillUsers();
  EvUserSelected();
}

void TUserManagement::EvUserSelected() {
  for (TEdit* e : {LoginEdit, UserPasswordEdit, FirstNameEdit, LastNameEdit}) e->SetWindowText("");
  SelectedUserId = SelectedLineId(*UserList);
  if (SelectedUserId == 0) return;
  TUserInfoTable t(kUsers, 0, 1);
  TUserInfoRecord* u = t.ReadUser(SelectedUserId);
  if (!u) return;
  LoginEdit->SetWindowText(u->NAME);
  UserPasswordEdit->SetWindowText(u->PASS);
  FirstNameEdit->SetWindowText(u->FNAM);
  LastNameEdit->SetWindowText(u->LNAM);
  delete u;
}

bool TUserManagement::FieldsValid(std::string& login, std::string& password, std::string& first,
                                  std::string& last) {
  login = TrimText(EditText(LoginEdit, 8));
  password = EditText(UserPasswordEdit, 8);
  first = TrimText(EditText(FirstNameEdit, 29));
  last = TrimText(EditText(LastNameEdit, 29));
  TEdit* faulty = login.size() < 4      ? LoginEdit
                  : password.size() < 4 ? UserPasswordEdit
                  : first.empty()       ? FirstNameEdit
                  : last.empty()        ? LastNameEdit
                                        : nullptr;
  if (faulty) faulty->SetFocus();
  return !faulty;
}

bool TUserManagement::LoginTaken(const std::string& login, long exceptId) {
  TUserInfoTable t(kUsers, 0, 1);
  if (t.FindLoginAnyCase(login.c_str(), exceptId) == 0) return false;
  ShowMessage(this, kMsgLoginTaken);
  LoginEdit->SetFocus();
  return true;
}

void TUserManagement::CmAddUser() {
  if (SelectedTypeId == 0) return;
  std::string login, password, first, last;
  if (!FieldsValid(login, password, first, last) || LoginTaken(login, 0)) return;
  {
    TUserInfoTable t(kUsers, 0, 1);
    Stored(this, t.AddUser(SelectedTypeId, login.c_str(), password.c_str(), first.c_str(), last.c_str()));
  }
  RefillUsers();
  EvUserSelected();
}

void TUserManagement::CmModifyUser() {
  if (SelectedTypeId == 0 || SelectedUserId == 0) return;
  std::string login, password, first, last;
  if (!FieldsValid(login, password, first, last) || LoginTaken(login, SelectedUserId)) return;
  if (!TypeHasAllRights(SelectedTypeId) && CountAllRightsUsers(SelectedUserId, -1, false) == 0 &&
      CountAllRightsUsers(-1, -1, false) > 0) {
    ShowMessage(this, kMsgLastAdmin, MB_OK | MB_ICONSTOP);
    return;
  }
  {
    TUserInfoTable t(kUsers, 0, 1);
    Stored(this, t.UpdateUser(SelectedUserId, SelectedTypeId, login.c_str(), password.c_str(), first.c_str(),
                              last.c_str()));
  }
  RefillUsers();
  EvUserSelected();
}

void TUserManagement::CmDeleteUser() {
  if (SelectedUserId == 0) return;
  if (CountAllRightsUsers(SelectedUserId, -1, false) == 0 && CountAllRightsUsers(-1, -1, false) > 0) {
    ShowMessage(this, kMsgLastAdmin, MB_OK | MB_ICONSTOP);
    return;
  }
  if (ShowMessage(this, kMsgDeleteUser, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  {
    TUserInfoTable t(kUsers, 0, 1);
    Stored(this, t.DeleteUser(SelectedUserId));
  }
  RefillUsers();
  EvUserSelected();
}

void TUserManagement::CmAccountTypes() {
  {
    TUserAccounts dlg(this);
    dlg.Execute();
  }
  FillTypes(*TypeCombo);
  EvTypeSelected();
}

// ---- rights of a type --------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TUserAccounts, TLangDlg)
  EV_CBN_SELCHANGE(IDC_ACCOUNT_TYPES_TYPE, EvTypeSelected),
  EV_BN_CLICKED(IDC_ACCOUNT_TYPES_EDIT_TYPES, CmEditTypes),
  EV_BN_CLICKED(IDC_ACCOUNT_TYPES_GRANT_ALL, CmGrantAll),
  EV_BN_CLICKED(IDC_ACCOUNT_TYPES_CLEAR_ALL, CmClearAll),
  EV_BN_CLICKED(IDC_ACCOUNT_TYPES_SAVE, CmSaveRights),
END_RESPONSE_TABLE;

TUserAccounts::TUserAccounts(TWindow* parent) : TLangDlg(parent, IDD_ACCOUNT_TYPES) {
  TypeCombo = new TComboBox(this, IDC_ACCOUNT_TYPES_TYPE, 250);
  for (int i = 0; i < 32; i++) RightBoxes[i] = new TCheckBox(this, IDC_ACCOUNT_TYPES_RIGHT0 + i);
}

void TUserAccounts::SetupWindow() {
  TLangDlg::SetupWindow();
  FillTypes(*TypeCombo);
  EvTypeSelected();
}

void TUserAccounts::EvTypeSelected() {
  SelectedTypeId = SelectedLineId(*TypeCombo);
  if (SelectedTypeId == 0) return;
  TAccountTable t(kTypes, 0, 1);
  t.LoadRights(SelectedTypeId, Rights1, Rights2, Rights3);
  for (int i = 0; i < 32; i++)
    RightBoxes[i]->SetCheck((static_cast<uint32_t>(Rights1) >> i) & 1u ? BST_CHECKED : BST_UNCHECKED);
}

void TUserAccounts::CheckAll(bool on) {
  for (TCheckBox* b : RightBoxes) b->SetCheck(on ? BST_CHECKED : BST_UNCHECKED);
}

void TUserAccounts::CmGrantAll() { CheckAll(true); }
void TUserAccounts::CmClearAll() { CheckAll(false); }

void TUserAccounts::CmSaveRights() {
  if (SelectedTypeId == 0) return;
  uint32_t mask = 0;
  for (int i = 0; i < 32; i++)
    if (RightBoxes[i]->GetCheck() == BST_CHECKED) mask |= 1u << i;
  int32_t rights = static_cast<int32_t>(mask);
  if (rights != kAllRights && CountAllRightsUsers(-1, SelectedTypeId, false) == 0 &&
      CountAllRightsUsers(-1, SelectedTypeId, true) > 0) {
    ShowMessage(this, kMsgLastAdmin, MB_OK | MB_ICONSTOP);
    return;
  }
  Rights1 = rights;
  Rights2 = Rights3 = 0;
  TAccountTable t(kTypes, 0, 1);
  Stored(this, t.SaveRights(SelectedTypeId, Rights1, Rights2, Rights3));
}

void TUserAccounts::CmEditTypes() {
  {
    TUserAccountType dlg(this);
    dlg.Execute();
  }
  FillTypes(*TypeCombo);
  EvTypeSelected();
}

// ---- the list of types -----------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TUserAccountType, TLangDlg)
  EV_BN_CLICKED(IDC_TYPES_ADD, CmAdd),
  EV_BN_CLICKED(IDC_TYPES_RENAME, CmRename),
  EV_BN_CLICKED(IDC_TYPES_DELETE, CmDelete),
  EV_LBN_SELCHANGE(IDC_TYPES_LIST, EvTypeSelected),
END_RESPONSE_TABLE;

TUserAccountType::TUserAccountType(TWindow* parent) : TLangDlg(parent, IDD_TYPES) {
  TypeList = new TListBox(this, IDC_TYPES_LIST);
  TypeNameEdit = new TEdit(this, IDC_TYPES_NAME, 50);
}

void TUserAccountType::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(703);
  SetItemTexts(IDC_TYPES_ADD, 747, 3);
  TUserAccountTypeTable t(kTypes, 0, 1);
  TControlLines lines(*TypeList);
  t.FillListWide(&lines);
}

long TUserAccountType::GetSelectedId() {
  SelectedId = SelectedLineId(*TypeList);
  return SelectedId;
}

std::string TUserAccountType::TypedName() { return TrimText(EditText(TypeNameEdit, 49)); }

void TUserAccountType::CmAdd() {
  std::string name = TypedName();
  if (name.empty()) return;
  bool taken;
  {
    TAccountTable t(kTypes, 0, 1);
    taken = t.FindName(name.c_str(), 0) != 0;
  }
  if (taken) {
    ShowMessage(this, kMsgAccountTypeNameTaken);
  } else {
    long id = NextAccountTypeId();
    TUserAccountTypeTable t(kTypes, 0, 1);
    TcbIdAndNameRecord r;
    r.ID = id;
    CopyCut(r.NAME, sizeof r.NAME, name.c_str());
    if (Stored(this, id > 0 && t.Add(&r)))
      TypeList->AddString(FormatText("%-250s@@%ld", ListLineText(name).c_str(), id).c_str());
  }
  TypeNameEdit->SetWindowText("");
}

void TUserAccountType::CmRename() {
  long id = GetSelectedId();
  std::string name = TypedName();
  if (id == 0 || name.empty()) return;
  {
    TAccountTable t(kTypes, 0, 1);
    if (t.FindName(name.c_str(), id) != 0) {
      ShowMessage(this, kMsgAccountTypeNameTaken);
      return;
    }
  }
  TUserAccountTypeTable t(kTypes, 0, 1);
  if (!Stored(this, t.Rename(id, name.c_str()))) return;
  TypeList->DeleteString(TypeList->GetSelIndex());
  TypeList->AddString(FormatText("%-250s@@%ld", ListLineText(name).c_str(), id).c_str());
}

void TUserAccountType::CmDelete() {
  long id = GetSelectedId();
  if (id == 0) return;
  int used;
  {
    TUserInfoTable users(kUsers, 0, 1);
    used = users.CountOfType(id);
  }
  if (used) {
    ShowMessage(this, kMsgTypeUsed);
    return;
  }
  if (ShowMessage(this, kMsgDeleteAccountType, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  TUserAccountTypeTable t(kTypes, 0, 1);
  if (!Stored(this, t.DeleteById(id))) return;
  TypeList->DeleteString(TypeList->GetSelIndex());
  TypeNameEdit->SetWindowText("");
}

void TUserAccountType::EvTypeSelected() {
  long id = GetSelectedId();
  if (id == 0) return;
  TUserAccountTypeTable t(kTypes, 0, 1);
  TcbIdAndNameRecord* r = t.FindById(id);
  if (!r) return;
  TypeNameEdit->SetWindowText(r->NAME);
  delete r;
}
