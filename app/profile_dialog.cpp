// The profile dialog: browsing and entering a new profile, the changes an
// administrator of the profiles makes, and the colours that tell other
// users they can only pick a profile. Connecting is in profile_connect.cpp.
#include "app/profile_dialog.h"

#include "app/plugin_calls.h"
#include "app/users_dialogs.h"
#include "appcore/globals.h"
#include "dbmodel/profile.h"
#include "platform/ui/ctlcolor.h"
#include "appcore/text_scan.h"

namespace {

constexpr int kMsgProfileNotStored = 1966;
const char* kProfiles = "KELVDATA.DBF";

// Directory buttons 300-307 and the edits they fill.
constexpr int kSlotEdits[8] = {103, 107, 111, 112, 115, 116, 120, 123};

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
  EV_LBN_DBLCLK(101, ConnectProfile),
  EV_LBN_SELCHANGE(101, FillFields),
  EV_BN_CLICKED(104, CmAddProfile),
  EV_BN_CLICKED(105, CmDeleteProfile),
  EV_BN_CLICKED(109, CmModifyProfile),
  EV_BN_CLICKED(113, CmNewProfile),
  EV_BN_CLICKED(114, CmCancelNew),
  EV_BN_CLICKED(110, CmSetAutoProfile),
  EV_BN_CLICKED(117, CmOption117),
  EV_BN_CLICKED(118, CmOption118),
  EV_COMMAND_AND_ID(300, SetSlotText),
  EV_COMMAND_AND_ID(301, SetSlotText),
  EV_COMMAND_AND_ID(302, SetSlotText),
  EV_COMMAND_AND_ID(303, SetSlotText),
  EV_COMMAND_AND_ID(304, SetSlotText),
  EV_COMMAND_AND_ID(305, SetSlotText),
  EV_COMMAND_AND_ID(306, SetSlotText),
  EV_COMMAND_AND_ID(307, SetSlotText),
END_RESPONSE_TABLE;

TSelectDb::TSelectDb(TWindow* parent) : TLangDlg(parent, 3) {
  NameEdit = new TEdit(this, 102, 40);
  DatabaseEdit = new TEdit(this, 103, 200);
  BackupEdit = new TEdit(this, 107, 200);
  PicturesEdit = new TEdit(this, 111, 200);
  VideoEdit = new TEdit(this, 112, 200);
  ImportEdit = new TEdit(this, 115, 200);
  ExportEdit = new TEdit(this, 116, 200);
  DncFailEdit = new TEdit(this, 120, 200);
  DncTempEdit = new TEdit(this, 123, 200);
  ServerEdit = new TEdit(this, 119, 25);
  ShareEdit = new TEdit(this, 122, 25);
  DriveEdit = new TEdit(this, 125, 2);
  ProfileList = new TListBox(this, 101);
  DefaultCheck = new TCheckBox(this, 110);
  NetWareRadio = new TRadioButton(this, 117);
  LanManagerRadio = new TRadioButton(this, 118);
}

TSelectDb::~TSelectDb() = default;

void TSelectDb::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(224);
  SetItemTexts(200, 225, 2);
  SetItemTexts(300, 227, 8);
  SetItemTexts(210, 1040, 3);
  for (auto [control, text] : {std::pair{1, 235}, {110, 236}, {114, 647}, {104, 237}, {109, 238},
                               {105, 239}, {106, 240}, {113, 242}})
    SetItemText(control, text);
  SelectedId = 0;
  ListBrush = std::make_unique<TBrush>(RGB(0, 128, 128));
  FillList();
  FillFields();
  if (!Globals->SuperUserLogon) {
    for (int id = 102; id <= 125; id++)
      if (TWindow* c = ChildWithId(id)) c->EnableWindow(false);
    for (int id = 300; id <= 307; id++)
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
  SetShown({104}, false);
  SetShown({105, 109, 1, 113}, true);
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
  SetItemText(210, 1043);
  SetItemText(211, 1044);
  SetShown({212, 125}, false);
}

void TSelectDb::CmOption118() {
  if (LanManagerRadio->GetCheck() != BST_CHECKED) return;
  SetItemText(210, 1040);
  SetItemText(211, 1041);
  SetShown({212, 125}, true);
}

void TSelectDb::CmNewProfile() {
  for (TEdit* e : {NameEdit, DatabaseEdit, BackupEdit, PicturesEdit, VideoEdit, ImportEdit, ExportEdit,
                   DncFailEdit, DncTempEdit, ServerEdit, ShareEdit, DriveEdit})
    e->SetWindowText("");
  SetShown({104, 114}, true);
  SetShown({113, 105, 109, 1}, false);
  NameEdit->SetReadOnly(false);
  NameEdit->SetFocus();
}

void TSelectDb::CmCancelNew() {
  SetShown({104, 114}, false);
  SetShown({113, 105, 109, 1}, true);
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
  if (buttonId < 300 || buttonId > 307) return;
  HeapText dir = CallPrintHook(this);
  if (!dir.IsSet()) return;
  SetDlgItemText(kSlotEdits[buttonId - 300], dir.get());
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
