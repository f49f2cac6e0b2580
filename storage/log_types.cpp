// Log types (LOG00001.DBF) and change criteria (LOG00004.DBF).
#include "storage/log_types.h"

#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/changecrit.h"
#include "dbmodel/counter.h"
#include "dbmodel/idname.h"
#include "resources/dialogs/logs.h"
#include "storage/log_common.h"

namespace {

// A change the table refused is told, never passed over as done.
void StoredOrTell(bool stored) {
  if (!stored) LogMessage(kMsgLogNotStored, MB_OK | MB_ICONSTOP);
}
}  // namespace

std::string TypedLogName(const TEdit& edit) {
  std::string s = edit.GetText();
  if (s.size() > 49) s.resize(49);
  char trimmed[50];
  TrimCopy(trimmed, s.c_str());
  return trimmed;
}

// ---- log types ----------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TLogTypes, TLangDlg)
  EV_BN_CLICKED(IDC_LOG_TYPES_SAVE, CmSave),
  EV_BN_CLICKED(IDC_LOG_TYPES_MODIFY, CmModify),
  EV_BN_CLICKED(IDC_LOG_TYPES_DELETE, CmDelete),
  EV_LBN_SELCHANGE(IDC_LOG_TYPES_LIST, EvListSelChange),
  EV_LBN_DBLCLK(IDC_LOG_TYPES_LIST, EvListDblClk),
END_RESPONSE_TABLE;

TLogTypes::TLogTypes(TWindow* parent) : TLangDlg(parent, IDD_LOG_TYPES) {
  NameEdit = new TEdit(this, IDC_LOG_TYPES_NAME, 51);
  TypeList = new TListBox(this, IDC_LOG_TYPES_LIST);
}

void TLogTypes::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(621);
  SetItemTexts(IDC_LOG_TYPES_NAME_LABEL, 622, 2);
  SetItemTexts(IDC_LOG_TYPES_SAVE, 624, 3);
  FillList();
}

void TLogTypes::FillList() {
  TcbLogTypeTable t(kLogTypesFile, 0, 0);
  TControlLines lines(*TypeList);
  t.FillList(&lines);
}

void TLogTypes::EvListSelChange() {
  long id = SelectedLineId(*TypeList);
  if (id) SelectedId = id;
}

void TLogTypes::CmSave() {
  std::string name = TypedLogName(*NameEdit);
  if (name.empty()) return;
  long id = NextLogTypeId();
  bool stored = false;
  if (id > 0) {
    TcbLogTypeTable t(kLogTypesFile, 0, 0);
    TcbIdAndNameRecord r;
    r.ID = id;
    CopyCut(r.NAME, sizeof r.NAME, name.c_str());
    stored = t.Add(&r) != nullptr;
  }
  StoredOrTell(stored);
  FillList();
}

void TLogTypes::CmModify() {
  std::string name = TypedLogName(*NameEdit);
  if (SelectedId == 0 || name.empty()) return;
  bool stored;
  {
    TcbLogTypeTable t(kLogTypesFile, 0, 0);
    stored = t.Rename(SelectedId, name.c_str()) != 0;
  }
  StoredOrTell(stored);
  FillList();
}

void TLogTypes::CmDelete() {
  if (SelectedId == 0) return;
  bool stored;
  {
    TcbLogTypeTable t(kLogTypesFile, 0, 0);
    stored = t.DeleteById(SelectedId) != 0;
  }
  StoredOrTell(stored);
  FillList();
  // The deleted row must not stay the target of Modify: nothing is chosen
  // until the user picks a line.
  SelectedId = 0;
  TypeList->SetSelIndex(-1);
}

// ---- change criteria --------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TLogChgTypes, TLangDlg)
  EV_BN_CLICKED(IDC_CHANGE_CRITERIA_NEW_TYPE, CmNewType),
  EV_BN_CLICKED(IDC_CHANGE_CRITERIA_SAVE, CmSave),
  EV_BN_CLICKED(IDC_CHANGE_CRITERIA_MODIFY, CmModify),
  EV_BN_CLICKED(IDC_CHANGE_CRITERIA_DELETE, CmDelete),
  EV_CBN_SELCHANGE(IDC_CHANGE_CRITERIA_TYPE, EvMainTypeChange),
  EV_LBN_SELCHANGE(IDC_CHANGE_CRITERIA_LIST, EvCriterionSelChange),
  EV_LBN_DBLCLK(IDC_CHANGE_CRITERIA_LIST, EvCriterionDblClk),
END_RESPONSE_TABLE;

TLogChgTypes::TLogChgTypes(TWindow* parent) : TLangDlg(parent, IDD_CHANGE_CRITERIA) {
  NameEdit = new TEdit(this, IDC_CHANGE_CRITERIA_NAME, 51);
  MainTypeCombo = new TComboBox(this, IDC_CHANGE_CRITERIA_TYPE, 151);
  CriteriaList = new TListBox(this, IDC_CHANGE_CRITERIA_LIST);
}

void TLogChgTypes::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(800);
  SetItemTexts(IDC_CHANGE_CRITERIA_TYPE_LABEL, 801, 2);
  SetItemText(IDC_CHANGE_CRITERIA_NEW_TYPE, 803);
  SetItemTexts(IDC_CHANGE_CRITERIA_SAVE, 804, 3);
  FillMainTypes();
  EvMainTypeChange();
  if (!(Globals->RightsMask & kRightLogTypes)) ChildWithId(IDC_CHANGE_CRITERIA_NEW_TYPE)->ShowWindow(SW_HIDE);
}

void TLogChgTypes::FillMainTypes() {
  TcbLogTypeTable t(kLogTypesFile, 0, 0);
  TControlLines lines(*MainTypeCombo);
  t.FillList(&lines);
}

void TLogChgTypes::FillCriteria() {
  {
    TcbLogChangeTable t(kChangeCriteriaFile, 0, 0);
    TControlLines lines(*CriteriaList);
    t.FillListOfType(&lines, MainType);
  }
  EvCriterionSelChange();
}

void TLogChgTypes::EvMainTypeChange() {
  std::string line = SelectedLineText(*MainTypeCombo, 300);
  if (line.empty() || line.find("@@") == std::string::npos) return;
  MainType = ListLineId(line.c_str());
  FillCriteria();
}

void TLogChgTypes::EvCriterionSelChange() {
  long id = SelectedLineId(*CriteriaList);
  if (id) SelectedCriterion = id;
}

void TLogChgTypes::CmNewType() {
  {
    TLogTypes dlg(this);
    dlg.Execute();
  }
  FillMainTypes();
  EvMainTypeChange();
}

void TLogChgTypes::CmSave() {
  std::string name = TypedLogName(*NameEdit);
  if (name.empty()) return;
  long id;
  {
    TcbLogChangeTable t(kChangeCriteriaFile, 0, 0);
    TControlLines lines(*CriteriaList);
    id = t.Add(MainType, name.c_str(), &lines);
  }
  StoredOrTell(id != 0);
  // The new line is shown selected, and is the one Modify and Delete act
  // on next.
  if (id && SelectLineById(*CriteriaList, id)) SelectedCriterion = id;
}

void TLogChgTypes::CmModify() {
  std::string name = TypedLogName(*NameEdit);
  if (SelectedCriterion == 0 || name.empty()) return;
  bool stored;
  {
    TcbLogChangeTable t(kChangeCriteriaFile, 0, 0);
    stored = t.Rename(SelectedCriterion, name.c_str()) != 0;
  }
  StoredOrTell(stored);
  FillCriteria();
}

void TLogChgTypes::CmDelete() {
  if (SelectedCriterion == 0) return;
  bool stored;
  {
    TcbLogChangeTable t(kChangeCriteriaFile, 0, 0);
    stored = t.DeleteById(SelectedCriterion) != 0;
  }
  StoredOrTell(stored);
  SelectedCriterion = 0;
  FillCriteria();
}
