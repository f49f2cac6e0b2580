// The profile dialog: browsing and entering a new profile, the changes an
// administrator of the profiles makes, and the colours that tell other
// users they can only pick a profile. Connecting is in profile_connect.cpp.
#include "app/profile_dialog.h"

#include "app/plugin_calls.h"
#include "app/users_dialogs.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/profile.h"
#include "platform/ui/ctlcolor.h"
#include "appcore/text_scan.h"
#include "resources/dialogs/profile.h"

namespace {

const char* kProfiles = "KELVDATA.DBF";

// The directory buttons and the edits they fill.
constexpr int kSlotEdits[8] = {IDC_SELECT_DB_DATABASE, IDC_SELECT_DB_BACKUP, IDC_SELECT_DB_PICTURES,
                               IDC_SELECT_DB_VIDEO,    IDC_SELECT_DB_IMPORT, IDC_SELECT_DB_EXPORT,
                               IDC_SELECT_DB_DNC_FAIL, IDC_SELECT_DB_DNC_TEMP};

std::string WithSlash(std::string s) {
  if (s.empty() || s.back() != '\\') s += '\\';
  return s;
}

std::string WithoutSlash(std::string s) {
  if (!s.empty() && s.back() == '\\') s.pop_back();
  return s;
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TSelectDb, TLangDlg)
  EV_WM_CTLCOLOR,
  EV_COMMAND(IDOK, ConnectProfile),
  EV_LBN_DBLCLK(IDC_SELECT_DB_PROFILES, ConnectProfile),
  EV_LBN_SELCHANGE(IDC_SELECT_DB_PROFILES, FillFields),
  EV_BN_CLICKED(IDC_SELECT_DB_APPEND, CmAddProfile),
  EV_BN_CLICKED(IDC_SELECT_DB_DELETE, CmDeleteProfile),
  EV_BN_CLICKED(IDC_SELECT_DB_MODIFY, CmModifyProfile),
  EV_BN_CLICKED(IDC_SELECT_DB_NEW, CmNewProfile),
  EV_BN_CLICKED(IDC_SELECT_DB_CANCEL_NEW, CmCancelNew),
  EV_BN_CLICKED(IDC_SELECT_DB_DEFAULT, CmSetAutoProfile),
  EV_BN_CLICKED(IDC_SELECT_DB_NETWARE, CmOption117),
  EV_BN_CLICKED(IDC_SELECT_DB_LAN_MANAGER, CmOption118),
  EV_COMMAND_AND_ID(IDC_SELECT_DB_DATABASE_BROWSE, SetSlotText),
  EV_COMMAND_AND_ID(IDC_SELECT_DB_BACKUP_BROWSE, SetSlotText),
  EV_COMMAND_AND_ID(IDC_SELECT_DB_PICTURES_BROWSE, SetSlotText),
  EV_COMMAND_AND_ID(IDC_SELECT_DB_VIDEO_BROWSE, SetSlotText),
  EV_COMMAND_AND_ID(IDC_SELECT_DB_IMPORT_BROWSE, SetSlotText),
  EV_COMMAND_AND_ID(IDC_SELECT_DB_EXPORT_BROWSE, SetSlotText),
  EV_COMMAND_AND_ID(IDC_SELECT_DB_DNC_FAIL_BROWSE, SetSlotText),
  EV_COMMAND_AND_ID(IDC_SELECT_DB_DNC_TEMP_BROWSE, SetSlotText),
END_RESPONSE_TABLE;

TSelectDb::TSelectDb(TWindow* parent) : TLangDlg(parent, IDD_SELECT_DB) {
  NameEdit = new TEdit(this, IDC_SELECT_DB_NAME, 40);
  DatabaseEdit = new TEdit(this, IDC_SELECT_DB_DATABASE, 200);
  BackupEdit = new TEdit(this, IDC_SELECT_DB_BACKUP, 200);
  PicturesEdit = new TEdit(this, IDC_SELECT_DB_PICTURES, 200);
  VideoEdit = new TEdit(this, IDC_SELECT_DB_VIDEO, 200);
  ImportEdit = new TEdit(this, IDC_SELECT_DB_IMPORT, 200);
  ExportEdit = new TEdit(this, IDC_SELECT_DB_EXPORT, 200);
  DncFailEdit = new TEdit(this, IDC_SELECT_DB_DNC_FAIL, 200);
  DncTempEdit = new TEdit(this, IDC_SELECT_DB_DNC_TEMP, 200);
  ServerEdit = new TEdit(this, IDC_SELECT_DB_SERVER, 25);
  ShareEdit = new TEdit(this, IDC_SELECT_DB_SHARE, 25);
  DriveEdit = new TEdit(this, IDC_SELECT_DB_DRIVE, 2);
  ProfileList = new TListBox(this, IDC_SELECT_DB_PROFILES);
  DefaultCheck = new TCheckBox(this, IDC_SELECT_DB_DEFAULT);
  NetWareRadio = new TRadioButton(this, IDC_SELECT_DB_NETWARE);
  LanManagerRadio = new TRadioButton(this, IDC_SELECT_DB_LAN_MANAGER);
}

TSelectDb::~TSelectDb() = default;

void TSelectDb::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(224);
  SetItemTexts(IDC_SELECT_DB_DIRS_GROUP, 225, 2);
  SetItemTexts(IDC_SELECT_DB_DATABASE_BROWSE, 227, 8);
  SetItemTexts(IDC_SELECT_DB_SERVER_LABEL, 1040, 3);
  for (auto [control, text] : {std::pair{IDOK, 235}, {IDC_SELECT_DB_DEFAULT, 236}, {IDC_SELECT_DB_CANCEL_NEW, 647},
                               {IDC_SELECT_DB_APPEND, 237}, {IDC_SELECT_DB_MODIFY, 238}, {IDC_SELECT_DB_DELETE, 239},
                               {IDC_SELECT_DB_NETWORK_GROUP, 240}, {IDC_SELECT_DB_NEW, 242}})
    SetItemText(control, text);
  SelectedId = 0;
  ListBrush = std::make_unique<TBrush>(RGB(0, 128, 128));
  FillList();
  FillFields();
  if (!Globals->SuperUserLogon) {
    for (int id = IDC_SELECT_DB_NAME; id <= IDC_SELECT_DB_DRIVE; id++)
      if (TWindow* c = ChildWithId(id)) c->EnableWindow(false);
    for (int id = IDC_SELECT_DB_DATABASE_BROWSE; id <= IDC_SELECT_DB_DNC_TEMP_BROWSE; id++)
      if (TWindow* c = ChildWithId(id)) c->EnableWindow(false);
  }
  if (!Globals->NetLogonMode) {
    TcbDataTable t(kProfiles, 1, 0);
    if (TcbDataRecord* automatic = t.FindAuto()) {
      SelectedId = automatic->ID;
      delete automatic;
      ConnectProfile();
    }
  }
}

void TSelectDb::FillList() {
  TcbDataTable t(kProfiles, 1, 0);
  TControlLines lines(*ProfileList);
  t.FillList(&lines);
}

void TSelectDb::SetShown(std::initializer_list<int> ids, bool shown) {
  for (int id : ids)
    if (TWindow* c = ChildWithId(id)) c->ShowWindow(shown ? SW_SHOW : SW_HIDE);
}

void TSelectDb::FillFields() {
  SetShown({IDC_SELECT_DB_APPEND}, false);
  SetShown({IDC_SELECT_DB_DELETE, IDC_SELECT_DB_MODIFY, IDOK, IDC_SELECT_DB_NEW}, true);
  NameEdit->SetReadOnly(true);
  SelectedId = 0;
  int sel = ProfileList->GetSelIndex();
  if (sel < 0) return;
  std::string line = CutText(ProfileList->GetString(sel), 200);
  if (line.find("@@") == std::string::npos) return;
  SelectedId = ListLineId(line.c_str());
  TcbDataTable t(kProfiles, 1, 0);
  TcbDataRecord* p = t.ReadById(SelectedId);
  if (!p) return;
  NameEdit->SetWindowText(p->NAME);
  DatabaseEdit->SetWindowText(p->DBDIR);
  BackupEdit->SetWindowText(p->BACKUPDIR);
  PicturesEdit->SetWindowText(p->PICTURESDIR);
  VideoEdit->SetWindowText(p->VIDEODIR);
  ImportEdit->SetWindowText(p->IMPORTDIR);
  ExportEdit->SetWindowText(p->EXPORTDIR);
  DncFailEdit->SetWindowText(p->DNCFAILDIR);
  DncTempEdit->SetWindowText(p->DNCTEMPDIR);
  ServerEdit->SetWindowText(p->SERVER);
  ShareEdit->SetWindowText(p->SHARE);
  DriveEdit->SetWindowText(p->DRIVE);
  DefaultCheck->SetCheck(p->AUTO == 1 ? BST_CHECKED : BST_UNCHECKED);
  NetWareRadio->SetCheck(p->NETWARE ? BST_CHECKED : BST_UNCHECKED);
  LanManagerRadio->SetCheck(p->NETWARE ? BST_UNCHECKED : BST_CHECKED);
  if (p->NETWARE)
    CmOption117();
  else
    CmOption118();
  delete p;
}

void TSelectDb::CmOption117() {
  if (NetWareRadio->GetCheck() != BST_CHECKED) return;
  SetItemText(IDC_SELECT_DB_SERVER_LABEL, 1043);
  SetItemText(IDC_SELECT_DB_SHARE_LABEL, 1044);
  SetShown({IDC_SELECT_DB_DRIVE_LABEL, IDC_SELECT_DB_DRIVE}, false);
}

void TSelectDb::CmOption118() {
  if (LanManagerRadio->GetCheck() != BST_CHECKED) return;
  SetItemText(IDC_SELECT_DB_SERVER_LABEL, 1040);
  SetItemText(IDC_SELECT_DB_SHARE_LABEL, 1041);
  SetShown({IDC_SELECT_DB_DRIVE_LABEL, IDC_SELECT_DB_DRIVE}, true);
}

void TSelectDb::CmNewProfile() {
  for (TEdit* e : {NameEdit, DatabaseEdit, BackupEdit, PicturesEdit, VideoEdit, ImportEdit, ExportEdit,
                   DncFailEdit, DncTempEdit, ServerEdit, ShareEdit, DriveEdit})
    e->SetWindowText("");
  SetShown({IDC_SELECT_DB_APPEND, IDC_SELECT_DB_CANCEL_NEW}, true);
  SetShown({IDC_SELECT_DB_NEW, IDC_SELECT_DB_DELETE, IDC_SELECT_DB_MODIFY, IDOK}, false);
  NameEdit->SetReadOnly(false);
  NameEdit->SetFocus();
}

void TSelectDb::CmCancelNew() {
  SetShown({IDC_SELECT_DB_APPEND, IDC_SELECT_DB_CANCEL_NEW}, false);
  SetShown({IDC_SELECT_DB_NEW, IDC_SELECT_DB_DELETE, IDC_SELECT_DB_MODIFY, IDOK}, true);
  NameEdit->SetReadOnly(true);
  FillFields();
}

void TSelectDb::StoreProfile(bool add) {
  std::string server = TrimText(CutText(ServerEdit->GetText(), 29));
  std::string share = TrimText(CutText(ShareEdit->GetText(), 29));
  std::string drive = TrimText(CutText(DriveEdit->GetText(), 4));
  std::string name = TrimText(CutText(NameEdit->GetText(), 39));
  TEdit* dirEdits[8] = {DatabaseEdit, BackupEdit, PicturesEdit, VideoEdit,
                        ImportEdit,   ExportEdit, DncFailEdit,  DncTempEdit};
  std::string dirs[8];
  for (int i = 0; i < 8; i++) dirs[i] = TrimText(CutText(dirEdits[i]->GetText(), 199));
  if (name.empty()) {
    NameEdit->SetFocus();
    return;
  }
  for (int i = 0; i < 8; i++) {
    if (dirs[i].empty()) {
      dirEdits[i]->SetFocus();
      return;
    }
  }
  // Stored as the stations have always kept them: import and export
  // without the final "\", the others with it.
  for (int i : {0, 1, 2, 3, 6, 7}) dirs[i] = WithSlash(dirs[i]);
  for (int i : {4, 5}) dirs[i] = WithoutSlash(dirs[i]);
  int netware = NetWareRadio->GetCheck() == BST_CHECKED ? 1 : 0;
  int stored;
  {
    TcbDataTable t(kProfiles, 1, 0);
    const std::string& db = dirs[0];
    if (add)
      stored = t.Add(name.c_str(), db.c_str(), dirs[1].c_str(), dirs[2].c_str(), dirs[3].c_str(), dirs[7].c_str(),
                     dirs[6].c_str(), dirs[4].c_str(), dirs[5].c_str(), netware, server.c_str(), share.c_str(),
                     drive.c_str());
    else
      stored = t.Update(SelectedId, name.c_str(), db.c_str(), dirs[1].c_str(), dirs[2].c_str(), dirs[3].c_str(),
                        dirs[7].c_str(), dirs[6].c_str(), dirs[4].c_str(), dirs[5].c_str(), netware, server.c_str(),
                        share.c_str(), drive.c_str());
  }
  if (!stored) ShowMessage(this, kMsgProfileNotStored, MB_OK | MB_ICONSTOP);
  FillList();
  FillFields();
}

void TSelectDb::CmAddProfile() { StoreProfile(true); }

void TSelectDb::CmModifyProfile() {
  if (SelectedId != 0) StoreProfile(false);
}

void TSelectDb::CmDeleteProfile() {
  if (SelectedId == 0) return;
  {
    TcbDataTable t(kProfiles, 1, 0);
    t.DeleteById(SelectedId);
  }
  FillList();
  FillFields();
}

void TSelectDb::CmSetAutoProfile() {
  // The mark can be moved to another profile, never removed.
  if (SelectedId == 0) {
    DefaultCheck->SetCheck(BST_UNCHECKED);
    return;
  }
  if (DefaultCheck->GetCheck() != BST_CHECKED) DefaultCheck->SetCheck(BST_CHECKED);
  TcbDataTable t(kProfiles, 1, 0);
  t.SetAutoProfile(SelectedId);
}

void TSelectDb::SetSlotText(UINT buttonId) {
  if (buttonId < IDC_SELECT_DB_DATABASE_BROWSE || buttonId > IDC_SELECT_DB_DNC_TEMP_BROWSE) return;
  HeapText dir = CallPrintHook(this);
  if (!dir.IsSet()) return;
  SetDlgItemText(kSlotEdits[buttonId - IDC_SELECT_DB_DATABASE_BROWSE], dir.get());
}

void TSelectDb::CmCancel() { Destroy(IDCANCEL); }

HBRUSH TSelectDb::EvCtlColor(HDC dc, HWND control, UINT ctlType) {
  auto white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  bool admin = Globals->SuperUserLogon == 1;
  // A disabled edit asks as a static does; the fields a user may not change
  // are the ones meant to show red.
  bool edit = ctlType == CTLCOLOR_EDIT;
  if (ctlType == CTLCOLOR_STATIC && control) {
    TWindow* w = ChildWithId(::GetDlgCtrlID(control));
    edit = w && w->GetHandle() == control && w->ClassName() == "EDIT";
  }
  if (edit) {
    SetTextColor(dc, admin ? RGB(0, 0, 0) : RGB(255, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    return white;
  }
  if (ctlType == CTLCOLOR_LISTBOX) {
    if (admin) {
      SetTextColor(dc, RGB(0, 0, 0));
      SetBkColor(dc, RGB(255, 255, 255));
      return white;
    }
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, RGB(0, 128, 128));
    return ListBrush ? static_cast<HBRUSH>(ListBrush->GetHandle()) : white;
  }
  return nullptr;
}
