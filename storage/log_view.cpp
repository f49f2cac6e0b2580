// The version log viewer. Every operation on a stored copy looks the copy
// up anew, so a copy deleted meanwhile makes the operation do nothing
// instead of acting on a stale path.
#include "storage/log_view.h"

#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/idname.h"
#include "dbmodel/versionlog.h"
#include "platform/file.h"
#include "resources/dialogs/logs.h"
#include "resources/menus/editor.h"
#include "resources/menus/main.h"
#include "storage/add_to_log.h"
#include "platform/ui/ctlcolor.h"

namespace {


// Controls hidden in compare mode, and those shown only in it.
constexpr int kListModeControls[] = {IDCANCEL, IDC_PROGRAM_LOG_DELETE, IDC_PROGRAM_LOG_VIEW_ALL, IDC_LOG_ENTRY_ADD,
                                     IDC_PROGRAM_LOG_RESTORE, IDC_PROGRAM_LOG_OPEN, IDC_PROGRAM_LOG_COMPARE,
                                     IDC_PROGRAM_LOG_COMPARE_CURRENT};
constexpr int kCompareModeControls[] = {IDC_PROGRAM_LOG_COMPARE_START,      IDC_PROGRAM_LOG_COMPARE_CANCEL,
                                        IDC_PROGRAM_LOG_COMPARE_THIS_LABEL, IDC_PROGRAM_LOG_COMPARE_TO_LABEL,
                                        IDC_PROGRAM_LOG_COMPARE_BASE,       IDC_PROGRAM_LOG_COMPARE_OTHER};
}  // namespace

DEFINE_RESPONSE_TABLE1(TLogView, TLogEntryDlg)
  EV_WM_CTLCOLOR,
  EV_BN_CLICKED(IDC_PROGRAM_LOG_DELETE, CmDelete),
  EV_BN_CLICKED(IDC_PROGRAM_LOG_VIEW_ALL, CmViewAll),
  EV_BN_CLICKED(IDC_PROGRAM_LOG_RESTORE, CmRestoreVersion),
  EV_BN_CLICKED(IDC_PROGRAM_LOG_OPEN, CmOpenVersion),
  EV_BN_CLICKED(IDC_PROGRAM_LOG_COMPARE, CmBeginCompare),
  EV_BN_CLICKED(IDC_PROGRAM_LOG_COMPARE_START, CmCompareVersions),
  EV_BN_CLICKED(IDC_PROGRAM_LOG_COMPARE_CANCEL, CmCancelCompare),
  EV_BN_CLICKED(IDC_PROGRAM_LOG_COMPARE_CURRENT, CmCompareWithCurrent),
  EV_LBN_SELCHANGE(IDC_PROGRAM_LOG_ENTRIES, ShowSelectedEntry),
  EV_CBN_SELCHANGE(IDC_PROGRAM_LOG_VIEW_TYPE, EvViewTypeChange),
END_RESPONSE_TABLE;

TLogView::TLogView(TWindow* parent, TcbFileRecord* record, const char* indexFile)
    : TLogEntryDlg(parent, IDD_PROGRAM_LOG), Record(record), IndexFile(indexFile ? indexFile : kProgramIndexFile) {
  EntryList = new TListBox(this, IDC_PROGRAM_LOG_ENTRIES);
  ViewTypeCombo = new TComboBox(this, IDC_PROGRAM_LOG_VIEW_TYPE, 261);
  MakeEntryBoxes();
}

void TLogView::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(627);
  const std::pair<int, int> texts[] = {
      {IDC_PROGRAM_LOG_VIEW_TYPE_LABEL, 628},
      {IDC_PROGRAM_LOG_ENTRIES_LABEL, 629},
      {IDC_LOG_ENTRY_EVENT_LABEL, 630},
      {IDC_LOG_ENTRY_NOTE_LABEL, 632},
      {IDC_LOG_ENTRY_REASONS_GROUP, 639},
      {IDC_LOG_ENTRY_MAIN_TYPE_LABEL, 801},
      {IDC_LOG_ENTRY_DATE_LABEL, 631},
      {IDC_LOG_ENTRY_TIME_LABEL, 910},
      {IDC_LOG_ENTRY_USER_LABEL, 702},
      {IDC_PROGRAM_LOG_SENT_LABEL, 926},
      {IDC_PROGRAM_LOG_SENT_UNIT, 927},
      {IDC_PROGRAM_LOG_VIEW_ALL, 633},
      {IDC_LOG_ENTRY_ADD, 634},
      {IDC_PROGRAM_LOG_RESTORE, 635},
      {IDC_PROGRAM_LOG_OPEN, 636},
      {IDC_PROGRAM_LOG_COMPARE, 637},
      {IDC_PROGRAM_LOG_DELETE, 638},
      {IDC_PROGRAM_LOG_COMPARE_CURRENT, 924},
      {IDC_PROGRAM_LOG_COMPARE_START, 920},
      {IDC_PROGRAM_LOG_COMPARE_CANCEL, 921},
      {IDC_PROGRAM_LOG_COMPARE_THIS_LABEL, 922},
      {IDC_PROGRAM_LOG_COMPARE_TO_LABEL, 923},
  };
  for (auto [control, text] : texts) SetItemText(control, text);
  ShowControl(IDC_LOG_ENTRY_ADD, false);
  {
    TcbLogTypeTable t(kLogTypesFile, 0, 0);
    TControlLines lines(*ViewTypeCombo);
    t.FillList(&lines);
  }
  FillMainTypeCombo(*MainTypeCombo);
  for (TComboBox* box : ReasonCombos) {
    box->ClearList();
    box->AddString("");
    box->SetSelIndex(0);
  }
  CmViewAll();
  Ready = 1;
  if (!(Globals->RightsMask & kRightDeleteVersions)) ShowControl(IDC_PROGRAM_LOG_DELETE, false);
  if (!(Globals->RightsMask & kRightRestoreVersions)) ShowControl(IDC_PROGRAM_LOG_RESTORE, false);
  // The compare window comes with the editor; without it there is
  // nothing these buttons could open.
  if (!GetCompareRunner())
    for (int id : {IDC_PROGRAM_LOG_COMPARE, IDC_PROGRAM_LOG_COMPARE_START, IDC_PROGRAM_LOG_COMPARE_CURRENT})
      ChildWithId(id)->EnableWindow(false);
}

void TLogView::ShowControl(int id, bool show) {
  if (TWindow* w = ChildWithId(id)) w->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

bool TLogView::CanClose() {
  if (!Ready) {
    std::string text = Globals->GetMessageText(kMsgDialogNotReady);
    ::MessageBox(GetHandle(), text.c_str(), "Message", MB_OK);
  }
  return Ready && TLangDlg::CanClose();
}

void TLogView::EvClose() {
  if (CanClose()) TLangDlg::EvClose();
}

void TLogView::FillAll() {
  TLog00002Table log(kVersionLogFile, 0, 0);
  TControlLines lines(*EntryList);
  log.FillList(Record ? Record->LONG1 : 0, &lines);
}

void TLogView::FillOfType() {
  TLog00002Table log(kVersionLogFile, 0, 0);
  TControlLines lines(*EntryList);
  log.FillListOfProgram(CurrentType, Record ? Record->LONG1 : 0, &lines);
}

std::string TLogView::CopyPath(long copyId, long* machineId) {
  if (copyId == 0) return {};
  TcbFileTable copies(kStoredCopiesFile, 0, 0);
  TcbFileRecord* row = copies.FindById(copyId);
  if (!row) return {};
  std::string path = row->FilePath();
  if (machineId) *machineId = row->MID;
  delete row;
  copies.made = nullptr;
  return path;
}

std::string TLogView::EntryTitle() const {
  std::string time = TimeStatic->GetText(), text = EventEdit->GetText();
  if (time.size() > 50) time.resize(50);
  if (text.size() > 50) text.resize(50);
  return time + " - " + text;
}

void TLogView::ShowSelectedEntry() {
  EventEdit->SetWindowText("");
  NoteEdit->SetWindowText("");
  DateStatic->SetText("");
  int sel = EntryList->GetSelIndex();
  std::string line = sel >= 0 ? EntryList->GetString(sel) : std::string();
  if (line.size() > 299) line.resize(299);
  if (line.find("@@") == std::string::npos) return;
  TLog00002Record* entry;
  {
    TLog00002Table log(kVersionLogFile, 0, 0);
    entry = log.FindById(ListLineId(line.c_str()));
    log.made = nullptr;
  }
  if (!entry) return;
  EventEdit->SetWindowText(entry->TEXT);
  NoteEdit->SetWindowText(entry->MEMO ? entry->MEMO : "");
  DateStatic->SetText(entry->DATE);
  UserStatic->SetText(entry->USERNAME);
  TimeStatic->SetText(entry->TIME);
  SetDlgItemText(IDC_PROGRAM_LOG_SENT, std::to_string(entry->SEND).c_str());
  CurrentCopy = entry->REVISION;
  if (CompareMode) {
    SecondCopyPath = CopyPath(CurrentCopy);
    SetDlgItemText(IDC_PROGRAM_LOG_COMPARE_OTHER, SecondCopyPath.empty() ? "" : EntryTitle().c_str());
  }
  FillReasonCombos(ReasonCombos, entry->TYPE);
  SelectLineById(*ViewTypeCombo, entry->TYPE);
  if (!SelectLineById(*MainTypeCombo, entry->TYPE)) MainTypeCombo->SetSelIndex(0);
  CurrentType = entry->TYPE;
  const long reasons[] = {entry->REASON01, entry->REASON02, entry->REASON03};
  for (int i = 0; i < 3; i++) {
    ReasonIds[i] = 0;
    if (reasons[i] != 0 && SelectLineById(*ReasonCombos[i], reasons[i])) ReasonIds[i] = reasons[i];
    else ReasonCombos[i]->SetSelIndex(0);
  }
  NoteEdit->ClearModify();
  EventEdit->ClearModify();
  delete entry;
}

void TLogView::EvViewTypeChange() {
  ViewAll = 0;
  CurrentType = 0;
  std::string line = SelectedLineText(*ViewTypeCombo, 299);
  if (line.find("@@") == std::string::npos) return;
  CurrentType = ListLineId(line.c_str());
  FillReasonCombos(ReasonCombos, CurrentType);
  FillOfType();
  ShowSelectedEntry();
}

void TLogView::CmViewAll() {
  ViewAll = 1;
  FillAll();
}

void TLogView::CmDelete() {
  long id = SelectedLineId(*EntryList);
  if (id == 0) return;
  if (LogMessage(kMsgDeleteLogEntry, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  // The copy that goes is the one of the entry deleted, read from its row:
  // the entry shown may be another one.
  long copyId = 0;
  bool deleted;
  {
    TLog00002Table log(kVersionLogFile, 0, 0);
    if (TLog00002Record* entry = log.FindById(id)) {
      copyId = entry->REVISION;
      delete entry;
      log.made = nullptr;
    }
    log.Close();
    deleted = log.DeleteById(id) != 0;
  }
  if (!deleted) {
    LogMessage(kMsgLogNotStored, MB_OK | MB_ICONSTOP);
  } else if (copyId != 0) {
    TcbFileTable copies(kStoredCopiesFile, 0, 0);
    if (TcbFileRecord* row = copies.DeleteById(copyId)) {
      plat::delete_file(row->FilePath());
      delete row;
      copies.made = nullptr;
    }
    if (CurrentCopy == copyId) CurrentCopy = 0;
  }
  if (ViewAll) {
    FillAll();
  } else {
    FillOfType();
    ShowSelectedEntry();
  }
}

void TLogView::CmRestoreVersion() {
  if (CurrentCopy == 0 || !Record) return;
  std::string stored = CopyPath(CurrentCopy);
  if (stored.empty()) return;
  if (!plat::file_exists(stored)) {
    LogMessageWith(kMsgStoredCopyMissing, MB_OK | MB_ICONEXCLAMATION, stored);
    return;
  }
  std::string program = Record->FilePath();
  long keptCopy;
  {
    TAddToLog add(this, Record, IndexFile.c_str());
    if (add.Execute() != IDOK) return;
    keptCopy = add.WrittenCopyId();
  }
  // Without a copy of the current file, overwriting it would lose it.
  if (keptCopy == 0 && plat::file_exists(program)) {
    LogMessage(kMsgCurrentNotKept, MB_OK | MB_ICONSTOP);
    return;
  }
  if (LogMessage(kMsgRestoreStoredQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  if (LogMessage(kMsgRestoreOverwriteQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  if (!plat::copy_file(stored, program, false)) {
    LogMessageWith(kMsgRestoreFailed, MB_OK | MB_ICONSTOP, plat::error_text(plat::last_error()));
    return;
  }
  if (TWindow* parent = GetParentO()) parent->PostMessage(WM_COMMAND, kCmReloadProgram, 0);
}

void TLogView::CmOpenVersion() {
  long machineId = 0;
  std::string stored = CopyPath(CurrentCopy, &machineId);
  if (stored.empty()) return;
  if (!plat::file_exists(stored)) {
    LogMessageWith(kMsgStoredCopyMissing, MB_OK | MB_ICONEXCLAMATION, stored);
    return;
  }
  Globals->CurrentProgramId = 0;
  Globals->StartFile.Set(stored.c_str());
  Globals->CurrentMachineId = static_cast<int>(machineId);
  if (Globals->MainWnd) ::PostMessage(Globals->MainWnd, WM_COMMAND, kCmOpenNamedProgram, 0);
}

void TLogView::CmBeginCompare() {
  if (!Record || CurrentCopy == 0) return;
  SetDlgItemText(IDC_PROGRAM_LOG_COMPARE_BASE, EntryTitle().c_str());
  SetDlgItemText(IDC_PROGRAM_LOG_COMPARE_OTHER, "");
  std::string stored = CopyPath(CurrentCopy);
  if (stored.empty()) return;
  FirstCopyPath = stored;
  EnterCompareMode();
}

void TLogView::EnterCompareMode() {
  CompareMode = 1;
  for (int id : kListModeControls) ShowControl(id, false);
  for (int id : kCompareModeControls) ShowControl(id, true);
  SecondCopyPath.clear();
}

void TLogView::CmCompareVersions() {
  TCompareRunner run = GetCompareRunner();
  if (SecondCopyPath.empty() || !run) return;
  ShowWindow(SW_HIDE);
  run(this, FirstCopyPath.c_str(), SecondCopyPath.c_str(), nullptr, nullptr);
  ShowWindow(SW_SHOW);
}

void TLogView::CmCancelCompare() { LeaveCompareMode(); }

void TLogView::LeaveCompareMode() {
  CompareMode = 0;
  for (int id : {IDCANCEL, IDC_PROGRAM_LOG_VIEW_ALL, IDC_PROGRAM_LOG_OPEN, IDC_PROGRAM_LOG_COMPARE,
                 IDC_PROGRAM_LOG_COMPARE_CURRENT})
    ShowControl(id, true);
  ShowControl(IDC_PROGRAM_LOG_DELETE, Globals->RightsMask & kRightDeleteVersions);
  ShowControl(IDC_PROGRAM_LOG_RESTORE, Globals->RightsMask & kRightRestoreVersions);
  for (int id : kCompareModeControls) ShowControl(id, false);
  FirstCopyPath.clear();
  SecondCopyPath.clear();
}

void TLogView::CmCompareWithCurrent() {
  TCompareRunner run = GetCompareRunner();
  std::string stored = CopyPath(CurrentCopy);
  if (stored.empty() || !run || !Record) return;
  std::string current = Globals->GetMessageText(kMsgCompareCurrentTitle);
  std::string copy = Globals->GetMessageText(kMsgCompareStoredTitle);
  ShowWindow(SW_HIDE);
  run(this, Record->FilePath().c_str(), stored.c_str(), current.c_str(), copy.c_str());
  ShowWindow(SW_SHOW);
}

HBRUSH TLogView::EvCtlColor(HDC dc, HWND control, UINT ctlType) {
  if (ctlType != CTLCOLOR_STATIC) return nullptr;
  if (control && control == GetDlgItem(IDC_PROGRAM_LOG_SENT)) return LogStaticColor(dc, RGB(0, 255, 0));
  for (int id : {IDC_LOG_ENTRY_DATE, IDC_LOG_ENTRY_USER, IDC_LOG_ENTRY_TIME, IDC_PROGRAM_LOG_COMPARE_BASE,
                 IDC_PROGRAM_LOG_COMPARE_OTHER})
    if (control && control == GetDlgItem(id)) return LogStaticColor(dc, RGB(255, 255, 0));
  return nullptr;
}
