// Reception, fast receive, remote requests and return statements. OK asks
// the validators first (a timeout out of range is refused before anything
// is copied); sub-dialogs change the same row, which the port dialog
// writes after the reception dialog whichever way it ends.
#include "dnc/setup_reception.h"

#include "dnc/idscript_dlg.h"
#include "dnc/setup_fields.h"
#include "dnc/setup_transmission.h"
#include "platform/ui/validator.h"
#include "resources/dialogs/dncsetup.h"

namespace {
UINT Checked(bool v) { return v ? BST_CHECKED : BST_UNCHECKED; }

void EnableIds(TWindow& dlg, std::initializer_list<int> ids, bool enable) {
  for (int id : ids)
    if (TWindow* w = dlg.ChildWithId(id)) w->EnableWindow(enable);
}
}  // namespace

// ---- reception ------------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TReceptionSetup, TLangDlg)
  EV_BN_CLICKED(IDC_RECEPTION_FAST_RECEIVE, CmFastReceive),
  EV_BN_CLICKED(IDC_RECEPTION_REMOTE_REQUESTS, CmRemoteRequests),
  EV_BN_CLICKED(IDC_RECEPTION_REPLACEMENTS, CmReplacements),
  EV_BN_CLICKED(IDC_RECEPTION_SCRIPTS, CmDefineScripts),
  EV_BN_CLICKED(IDC_RECEPTION_RESET_REQUESTS, CmResetRequests),
END_RESPONSE_TABLE;

TReceptionSetup::TReceptionSetup(TWindow* parent, TResId resId, TMultiDncRecord* record)
    : TLangDlg(parent, resId), Record(record) {
  TimeoutEdit = new TEdit(this, IDC_RECEPTION_TIMEOUT, 4);
  CrLfEdit = new TEdit(this, IDC_RECEPTION_CRLF, 100);
  TriggerEdit = new TEdit(this, IDC_RECEPTION_TRIGGER, 4);
  EotEdit = new TEdit(this, IDC_RECEPTION_EOT, 100);
  FilterEdit = new TEdit(this, IDC_RECEPTION_FILTER, 100);
  for (int i = 0; i < 3; i++) FilterRadios[i] = new TRadioButton(this, IDC_RECEPTION_KEEP_ALL + i);
}

void TReceptionSetup::SetupWindow() {
  TLangDlg::SetupWindow();
  if (!Record) {
    Destroy(IDCANCEL);
    return;
  }
  ShowNumber(TimeoutEdit, Record->Number[kPropReadTimeout]);
  EnableIds(*this, {IDC_RECEPTION_RESET_REQUESTS}, false);
  TimeoutEdit->SetValidator(new TRangeValidator(0, 900));
  for (TEdit* e : {CrLfEdit, EotEdit, FilterEdit}) e->SetValidator(new TFilterValidator("0-9,"));
  TriggerEdit->SetValidator(new TFilterValidator("0-9"));
  ShowProperty(CrLfEdit, Record, kPropReceiveLineEnd);
  ShowProperty(TriggerEdit, Record, kPropStartTrigger);
  ShowProperty(EotEdit, Record, kPropEndTrigger);
  ShowProperty(FilterEdit, Record, kPropRemoveList);
  for (int i = 0; i < 3; i++) FilterRadios[i]->SetCheck(Checked(Record->Number[kPropNulFilter] == i + 1));
  long naming = Record->Number[kPropNamingMode];
  // The ID-script editor is offered only for script naming.
  if (TWindow* scripts = ChildWithId(IDC_RECEPTION_SCRIPTS)) scripts->ShowWindow(naming == 2 ? SW_SHOW : SW_HIDE);
  if (naming == 3) EnableIds(*this, {IDC_RECEPTION_FAST_RECEIVE}, false);
  if (TWindow* ascii = ChildWithId(IDC_RECEPTION_ASCII_TABLE)) ascii->ShowWindow(SW_HIDE);
}

void TReceptionSetup::CmDefineScripts() {
  if (Record && Record->Number[kPropNamingMode] == 2) TDefineScript(this).Execute();
}

void TReceptionSetup::CmOk() {
  if (!Record || !CanClose()) return;
  Record->Number[kPropReadTimeout] = LeadingNumber(TimeoutEdit->GetText(), 3);
  Record->SetText(kPropReceiveLineEnd, EditText(CrLfEdit, 99).c_str());
  Record->SetText(kPropStartTrigger, EditText(TriggerEdit, 3).c_str());
  Record->SetText(kPropEndTrigger, EditText(EotEdit, 99).c_str());
  Record->SetText(kPropRemoveList, EditText(FilterEdit, 99).c_str());
  for (int i = 0; i < 3; i++)
    if (FilterRadios[i]->GetCheck() == BST_CHECKED) Record->Number[kPropNulFilter] = i + 1;
  TLangDlg::CmOk();
}

void TReceptionSetup::CmFastReceive() {
  if (Record->Number[kPropNamingMode] == 3) return;
  TFastReceiveSetup dlg(this, Record);
  dlg.Execute();
}

void TReceptionSetup::CmRemoteRequests() {
  TRemoteRequestSetup dlg(this, Record);
  dlg.Execute();
}

void TReceptionSetup::CmReplacements() { ShowReleasedSoon(this); }

// ---- codes preview --------------------------------------------------------------

TCodesPreviewDlg::TCodesPreviewDlg(TWindow* parent, TResId resId, TMultiDncRecord* record)
    : TLangDlg(parent, resId), Record(record) {}

void TCodesPreviewDlg::ShowPreview(const TEdit* edit) {
  SetDlgItemText(IDC_CODES_PREVIEW, CodesPreview(edit->GetText()).c_str());
}

HBRUSH TCodesPreviewDlg::EvCtlColor(TDC& dc, HWND control, UINT ctlType) {
  TWindow* preview = ChildWithId(IDC_CODES_PREVIEW);
  if (ctlType != WM_CTLCOLORSTATIC || !preview || control != preview->GetHandle()) return nullptr;
  dc.SetTextColor(RGB(0, 255, 0));
  dc.SetBkColor(RGB(0, 0, 0));
  return BlackBrush;
}

// ---- fast receive ---------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TFastReceiveSetup, TLangDlg)
  EV_BN_CLICKED(IDC_FAST_RECEIVE_RETURN_STATEMENTS, CmReturnStatements),
  EV_EN_SETFOCUS(IDC_FAST_RECEIVE_ID_START, EvIdStart),
  EV_EN_CHANGE(IDC_FAST_RECEIVE_ID_START, EvIdStart),
  EV_EN_SETFOCUS(IDC_FAST_RECEIVE_ID_END, EvIdEnd),
  EV_EN_CHANGE(IDC_FAST_RECEIVE_ID_END, EvIdEnd),
  EV_EN_SETFOCUS(IDC_FAST_RECEIVE_NUMBER_START, EvNumberStart),
  EV_EN_CHANGE(IDC_FAST_RECEIVE_NUMBER_START, EvNumberStart),
  EV_EN_SETFOCUS(IDC_FAST_RECEIVE_NUMBER_END, EvNumberEnd),
  EV_EN_CHANGE(IDC_FAST_RECEIVE_NUMBER_END, EvNumberEnd),
END_RESPONSE_TABLE;

TFastReceiveSetup::TFastReceiveSetup(TWindow* parent, TMultiDncRecord* record)
    : TCodesPreviewDlg(parent, IDD_FAST_RECEIVE, record) {
  IdStartEdit = new TEdit(this, IDC_FAST_RECEIVE_ID_START, 200);
  IdEndEdit = new TEdit(this, IDC_FAST_RECEIVE_ID_END, 50);
  NumberStartEdit = new TEdit(this, IDC_FAST_RECEIVE_NUMBER_START, 200);
  NumberEndEdit = new TEdit(this, IDC_FAST_RECEIVE_NUMBER_END, 50);
  for (int i = 0; i < 3; i++) SaveRadios[i] = new TRadioButton(this, IDC_FAST_RECEIVE_OVERWRITE + i);
  MishapsBox = new TCheckBox(this, IDC_FAST_RECEIVE_MISHAPS);
}

void TFastReceiveSetup::SetupWindow() {
  TLangDlg::SetupWindow();
  if (!Record) {
    Destroy(IDCANCEL);
    return;
  }
  for (TEdit* e : {IdStartEdit, IdEndEdit, NumberStartEdit, NumberEndEdit})
    e->SetValidator(new TFilterValidator("0-9,"));
  ShowProperty(IdStartEdit, Record, kPropIdTrigger);
  ShowProperty(IdEndEdit, Record, kPropIdEndTrigger);
  EnableIds(*this,
            {IDC_FAST_RECEIVE_NUMBER_GROUP, IDC_FAST_RECEIVE_NUMBER_START_LABEL, IDC_FAST_RECEIVE_NUMBER_END_LABEL,
             IDC_FAST_RECEIVE_NUMBER_START, IDC_FAST_RECEIVE_NUMBER_END},
            true);
  ShowProperty(NumberStartEdit, Record, kPropNumberTrigger);
  ShowProperty(NumberEndEdit, Record, kPropNumberEndTrigger);
  if (Record->Number[kPropNamingMode] != 0)
    EnableIds(*this, {IDC_FAST_RECEIVE_ID_END, IDC_FAST_RECEIVE_ID_END_LABEL}, false);
  long mode = Record->Number[kPropStorageMode];
  int radio = mode == 1 ? 0 : mode == 3 ? 2 : 1;
  for (int i = 0; i < 3; i++) SaveRadios[i]->SetCheck(Checked(i == radio));
  MishapsBox->SetCheck(Checked(Record->Number[kPropDiscardFailed] != 0));
  ShowPreview(IdStartEdit);
}

void TFastReceiveSetup::CmOk() {
  if (!Record || !CanClose()) return;
  Record->SetText(kPropIdTrigger, EditText(IdStartEdit, 199).c_str());
  Record->SetText(kPropIdEndTrigger, EditText(IdEndEdit, 49).c_str());
  Record->SetText(kPropNumberTrigger, EditText(NumberStartEdit, 199).c_str());
  Record->SetText(kPropNumberEndTrigger, EditText(NumberEndEdit, 49).c_str());
  for (int i = 0; i < 3; i++)
    if (SaveRadios[i]->GetCheck() == BST_CHECKED) Record->Number[kPropStorageMode] = i + 1;
  Record->Number[kPropDiscardFailed] = MishapsBox->GetCheck() == BST_CHECKED;
  TLangDlg::CmOk();
}

void TFastReceiveSetup::CmReturnStatements() {
  TMdncReturnStat dlg(this, Record);
  dlg.Execute();
}

// ---- remote requests ------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TRemoteRequestSetup, TLangDlg)
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_PROGRAM_TRIGGER, EN_SETFOCUS, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_PROGRAM_TRIGGER, EN_CHANGE, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_PROGRAM_END, EN_SETFOCUS, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_PROGRAM_END, EN_CHANGE, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_JOB_TRIGGER, EN_SETFOCUS, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_JOB_TRIGGER, EN_CHANGE, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_JOB_END, EN_SETFOCUS, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_JOB_END, EN_CHANGE, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_DELAY, EN_SETFOCUS, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_DELAY, EN_CHANGE, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_RESTART_TRIGGER, EN_SETFOCUS, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_RESTART_TRIGGER, EN_CHANGE, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_RESTART_END, EN_SETFOCUS, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_RESTART_END, EN_CHANGE, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_LINE_TRIGGER, EN_SETFOCUS, EvEdit),
  EV_CHILD_NOTIFY_AND_ID(IDC_REMOTE_LINE_TRIGGER, EN_CHANGE, EvEdit),
END_RESPONSE_TABLE;

TRemoteRequestSetup::TRemoteRequestSetup(TWindow* parent, TMultiDncRecord* record)
    : TCodesPreviewDlg(parent, IDD_REMOTE, record) {
  TriggerEdit = new TEdit(this, IDC_REMOTE_PROGRAM_TRIGGER, 200);
  EndEdit = new TEdit(this, IDC_REMOTE_PROGRAM_END, 50);
  JobTriggerEdit = new TEdit(this, IDC_REMOTE_JOB_TRIGGER, 100);
  JobEndEdit = new TEdit(this, IDC_REMOTE_JOB_END, 50);
  DelayEdit = new TEdit(this, IDC_REMOTE_DELAY, 4);
  SearchTypeBox = new TCheckBox(this, IDC_REMOTE_SEARCH_TYPE);
  RestartEdit = new TEdit(this, IDC_REMOTE_RESTART_TRIGGER, 50);
  RestartEndEdit = new TEdit(this, IDC_REMOTE_RESTART_END, 50);
  RestartLineEdit = new TEdit(this, IDC_REMOTE_LINE_TRIGGER, 50);
}

void TRemoteRequestSetup::SetupWindow() {
  TLangDlg::SetupWindow();
  if (!Record) {
    Destroy(IDCANCEL);
    return;
  }
  EnableIds(*this,
            {IDC_REMOTE_RESTART_TRIGGER, IDC_REMOTE_RESTART_END, IDC_REMOTE_LINE_TRIGGER, IDC_REMOTE_RESTART_GROUP,
             IDC_REMOTE_RESTART_TRIGGER_LABEL, IDC_REMOTE_RESTART_END_LABEL, IDC_REMOTE_LINE_TRIGGER_LABEL},
            false);
  if (Record->Number[kPropNamingMode] != 0)
    EnableIds(*this, {IDC_REMOTE_PROGRAM_END, IDC_REMOTE_PROGRAM_END_LABEL}, false);
  for (TEdit* e : {TriggerEdit, EndEdit, JobTriggerEdit, JobEndEdit, RestartEdit, RestartEndEdit, RestartLineEdit})
    e->SetValidator(new TFilterValidator("0-9,"));
  DelayEdit->SetValidator(new TFilterValidator("0-9"));
  const std::pair<TEdit*, int> texts[] = {
      {TriggerEdit, kPropRequestTrigger},        {EndEdit, kPropRequestEndTrigger},
      {JobTriggerEdit, kPropJobTrigger},         {JobEndEdit, kPropJobEndTrigger},
      {RestartEdit, kPropRestartTrigger},        {RestartEndEdit, kPropRestartEndTrigger},
      {RestartLineEdit, kPropRestartLineTrigger}};
  for (auto [edit, n] : texts) ShowProperty(edit, Record, n);
  ShowNumber(DelayEdit, Record->Number[kPropAnswerDelay]);
  SearchTypeBox->SetCheck(Checked(Record->Number[kPropSearchOnType] != 0));
  ShowPreview(TriggerEdit);
}

void TRemoteRequestSetup::EvEdit(UINT id) {
  if (auto* e = dynamic_cast<TEdit*>(ChildWithId(static_cast<int>(id)))) ShowPreview(e);
}

void TRemoteRequestSetup::CmOk() {
  if (!Record || !CanClose()) return;
  Record->SetText(kPropRequestTrigger, EditText(TriggerEdit, 199).c_str());
  Record->SetText(kPropRequestEndTrigger, EditText(EndEdit, 49).c_str());
  Record->SetText(kPropJobTrigger, EditText(JobTriggerEdit, 99).c_str());
  Record->SetText(kPropJobEndTrigger, EditText(JobEndEdit, 59).c_str());
  Record->SetText(kPropRestartTrigger, EditText(RestartEdit, 49).c_str());
  Record->SetText(kPropRestartEndTrigger, EditText(RestartEndEdit, 49).c_str());
  Record->SetText(kPropRestartLineTrigger, EditText(RestartLineEdit, 49).c_str());
  Record->Number[kPropAnswerDelay] = LeadingNumber(DelayEdit->GetText(), 3);
  Record->Number[kPropSearchOnType] = SearchTypeBox->GetCheck() == BST_CHECKED;
  TLangDlg::CmOk();
}

// ---- return statements ----------------------------------------------------------

TMdncReturnStat::TMdncReturnStat(TWindow* parent, TMultiDncRecord* record)
    : TDialog(parent, IDD_RETURN_STAT), Record(record) {
  for (int i = 0; i < 4; i++) Texts[i] = new TEdit(this, IDC_RETURN_STAT_NOT_FOUND + i, 1000);
}

void TMdncReturnStat::SetupWindow() {
  TDialog::SetupWindow();
  CentreOnScreen(*this);
  if (!Record) {
    Destroy(IDCANCEL);
    return;
  }
  for (int i = 0; i < 4; i++) ShowProperty(Texts[i], Record, kPropFirstReturnStatement + i);
}

void TMdncReturnStat::CmOk() {
  if (!Record || !CanClose()) return;
  for (int i = 0; i < 4; i++) Record->SetText(kPropFirstReturnStatement + i, Texts[i]->GetText().c_str());
  TDialog::CmOk();
}

HBRUSH TMdncReturnStat::EvCtlColor(TDC& dc, HWND, UINT ctlType) {
  auto grey = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  if (ctlType == WM_CTLCOLOREDIT) return nullptr;
  if (ctlType == WM_CTLCOLORBTN || ctlType == WM_CTLCOLORSTATIC) {
    dc.SetTextColor(RGB(0, 0, 192));
    dc.SetBkColor(RGB(192, 192, 192));
  }
  return grey;
}
