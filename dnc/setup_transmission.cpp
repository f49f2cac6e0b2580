// Transmission parameters and line omit. OK asks the edits' validators
// before anything is copied, so a refused value never reaches the row.
#include "dnc/setup_transmission.h"

#include "appcore/globals.h"
#include "dnc/setup_fields.h"
#include "platform/msgbox.h"
#include "platform/ui/validator.h"
#include "resources/dialogs/dncsetup.h"

void ShowReleasedSoon(TWindow* owner) {
  ::MessageBox(owner ? owner->GetHandle() : nullptr, "To be released soon...", "Notice...",
               MB_OK | MB_ICONINFORMATION);
}

DEFINE_RESPONSE_TABLE1(TMultiDncTrnParam, TLangDlg)
  EV_BN_CLICKED(IDC_TRANSMISSION_HEADER_SELECT, CmSelectHeader),
  EV_BN_CLICKED(IDC_TRANSMISSION_TAIL_SELECT, CmSelectTail),
  EV_BN_CLICKED(IDC_TRANSMISSION_HEADER_CLEAR, CmClearHeader),
  EV_BN_CLICKED(IDC_TRANSMISSION_TAIL_CLEAR, CmClearTail),
  EV_BN_CLICKED(IDC_TRANSMISSION_LINE_OMIT, CmLineOmmit),
  EV_BN_CLICKED(IDC_TRANSMISSION_REPLACEMENTS, CmReplacements),
END_RESPONSE_TABLE;

TMultiDncTrnParam::TMultiDncTrnParam(TWindow* parent, TResId resId, TMultiDncRecord* record)
    : TLangDlg(parent, resId), Record(record) {
  CrLfEdit = new TEdit(this, IDC_TRANSMISSION_CRLF, 100);
  OmmitEdit = new TEdit(this, IDC_TRANSMISSION_OMIT, 100);
  WhitespaceBox = new TCheckBox(this, IDC_TRANSMISSION_WHITESPACE);
  StartFeedEdit = new TEdit(this, IDC_TRANSMISSION_START_FEED, 100);
  BeforeEdit = new TEdit(this, IDC_TRANSMISSION_BEFORE, 100);
  HeaderEdit = new TEdit(this, IDC_TRANSMISSION_HEADER, 200);
  TailEdit = new TEdit(this, IDC_TRANSMISSION_TAIL, 200);
  AfterEdit = new TEdit(this, IDC_TRANSMISSION_AFTER, 100);
  EndFeedEdit = new TEdit(this, IDC_TRANSMISSION_END_FEED, 100);
  BreakEdit = new TEdit(this, IDC_TRANSMISSION_BREAK, 4);
  XoffEdit = new TEdit(this, IDC_TRANSMISSION_XOFF, 3);
  DelayEdit = new TEdit(this, IDC_TRANSMISSION_DELAY, 4);
  OnLinesEdit = new TEdit(this, IDC_TRANSMISSION_ON_LINES, 20);
  EofBox = new TCheckBox(this, IDC_TRANSMISSION_EOF);
  SofBox = new TCheckBox(this, IDC_TRANSMISSION_SOF);
  FirstOnlyBox = new TCheckBox(this, IDC_TRANSMISSION_FIRST_ONLY);
  SendLineBox = new TCheckBox(this, IDC_TRANSMISSION_SEND_LINE);
  LineDelayEdit = new TEdit(this, IDC_TRANSMISSION_LINE_DELAY, 4);
}

void TMultiDncTrnParam::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(765);
  SetItemTexts(IDC_TRANSMISSION_CRLF_LABEL, 766, 20);
  const int ids[][2] = {{IDC_TRANSMISSION_WHITESPACE, 786},
                        {IDC_TRANSMISSION_EOF, 787},
                        {IDC_TRANSMISSION_SOF, 788},
                        {IDC_TRANSMISSION_FIRST_ONLY, 789},
                        {IDC_TRANSMISSION_SEND_LINE, 790},
                        {IDC_TRANSMISSION_LINE_OMIT, 791},
                        {IDC_TRANSMISSION_REPLACEMENTS, 792},
                        {IDC_TRANSMISSION_HEADER_SELECT, 793},
                        {IDC_TRANSMISSION_TAIL_SELECT, 793},
                        {IDC_TRANSMISSION_HEADER_CLEAR, 794},
                        {IDC_TRANSMISSION_TAIL_CLEAR, 794},
                        {IDC_TRANSMISSION_FILES_GROUP, 795},
                        {IDC_TRANSMISSION_LINE_DELAY_GROUP, 796}};
  for (auto [control, text] : ids) SetItemText(control, text);
  if (!Record) {
    Destroy(IDCANCEL);
    return;
  }
  for (TEdit* e : {CrLfEdit, OmmitEdit, StartFeedEdit, EndFeedEdit}) e->SetValidator(new TFilterValidator("0-9,"));
  for (TEdit* e : {BeforeEdit, AfterEdit}) e->SetValidator(new TFilterValidator("0-9,*"));
  for (TEdit* e : {DelayEdit, BreakEdit, XoffEdit, LineDelayEdit}) e->SetValidator(new TFilterValidator("0-9"));
  HeaderEdit->SetReadOnly(true);
  TailEdit->SetReadOnly(true);

  const std::pair<TEdit*, int> texts[] = {
      {CrLfEdit, kPropLineEnd},      {OmmitEdit, kPropOmitCodes},   {StartFeedEdit, kPropFeedStart},
      {EndFeedEdit, kPropFeedEnd},   {BeforeEdit, kPropBeforeFile}, {AfterEdit, kPropAfterFile},
      {HeaderEdit, kPropHeaderFile}, {TailEdit, kPropTailFile},     {OnLinesEdit, kPropWaitText}};
  for (auto [edit, n] : texts) ShowProperty(edit, Record, n);
  ShowNumber(DelayEdit, Record->Number[kPropPauseSeconds]);
  ShowNumber(BreakEdit, Record->Number[kPropBreakCount]);
  ShowNumber(XoffEdit, Record->Number[kPropXoffLimit]);
  ShowNumber(LineDelayEdit, Record->Number[kPropBlockDelay]);
  WhitespaceBox->SetCheck(Record->Number[kPropSkipWhitespace] ? BST_CHECKED : BST_UNCHECKED);
  const std::pair<TCheckBox*, int> boxes[] = {{SendLineBox, kPropSendPauseLine},
                                              {FirstOnlyBox, kPropPauseFirst},
                                              {EofBox, kPropEndBeforePause},
                                              {SofBox, kPropStartAfterPause}};
  for (auto [box, n] : boxes) box->SetCheck(Record->Number[n] ? BST_CHECKED : BST_UNCHECKED);
  ShowFileButtons(HeaderEdit, IDC_TRANSMISSION_HEADER_SELECT, IDC_TRANSMISSION_HEADER_CLEAR);
  ShowFileButtons(TailEdit, IDC_TRANSMISSION_TAIL_SELECT, IDC_TRANSMISSION_TAIL_CLEAR);
  for (int hidden : {IDC_TRANSMISSION_REPLACEMENTS, IDC_TRANSMISSION_ASCII_TABLE})
    if (TWindow* w = ChildWithId(hidden)) w->ShowWindow(SW_HIDE);
}

void TMultiDncTrnParam::ShowFileButtons(TEdit* edit, int selectId, int clearId) {
  bool set = !edit->GetText().empty();
  if (TWindow* w = ChildWithId(selectId)) w->ShowWindow(set ? SW_HIDE : SW_SHOW);
  if (TWindow* w = ChildWithId(clearId)) w->ShowWindow(set ? SW_SHOW : SW_HIDE);
}

void TMultiDncTrnParam::SelectFile(TEdit* edit, int selectId, int clearId) {
  if (!Globals || !Globals->FileOpenDialog(this, nullptr, 0)) return;
  edit->SetWindowText(Globals->StartFile.c_str());
  ShowFileButtons(edit, selectId, clearId);
}

void TMultiDncTrnParam::ClearFile(TEdit* edit, int selectId, int clearId) {
  edit->SetWindowText("");
  ShowFileButtons(edit, selectId, clearId);
}

void TMultiDncTrnParam::CmLineOmmit() {
  TLineOmmit dlg(this, IDD_LINE_OMIT, Record);
  dlg.Execute();
}

void TMultiDncTrnParam::CmReplacements() { ShowReleasedSoon(this); }

void TMultiDncTrnParam::CmOk() {
  if (!Record || !CanClose()) return;
  const std::pair<TEdit*, int> texts[] = {{CrLfEdit, kPropLineEnd},        {OmmitEdit, kPropOmitCodes},
                                          {StartFeedEdit, kPropFeedStart}, {EndFeedEdit, kPropFeedEnd},
                                          {BeforeEdit, kPropBeforeFile},   {AfterEdit, kPropAfterFile}};
  for (auto [edit, n] : texts) Record->SetText(n, EditText(edit, 99).c_str());
  Record->SetText(kPropHeaderFile, EditText(HeaderEdit, 199).c_str());
  Record->SetText(kPropTailFile, EditText(TailEdit, 199).c_str());
  Record->SetText(kPropWaitText, EditText(OnLinesEdit, 199).c_str());
  Record->Number[kPropPauseSeconds] = LeadingNumber(DelayEdit->GetText(), 3);
  Record->Number[kPropBreakCount] = LeadingNumber(BreakEdit->GetText(), 3);
  Record->Number[kPropXoffLimit] = LeadingNumber(XoffEdit->GetText(), 3);
  Record->Number[kPropBlockDelay] = LeadingNumber(LineDelayEdit->GetText(), 3);
  Record->Number[kPropSkipWhitespace] = WhitespaceBox->GetCheck() == BST_CHECKED;
  Record->Number[kPropSendPauseLine] = SendLineBox->GetCheck() == BST_CHECKED;
  Record->Number[kPropPauseFirst] = FirstOnlyBox->GetCheck() == BST_CHECKED;
  Record->Number[kPropEndBeforePause] = EofBox->GetCheck() == BST_CHECKED;
  Record->Number[kPropStartAfterPause] = SofBox->GetCheck() == BST_CHECKED;
  TLangDlg::CmOk();
}

// ---- line omit ----------------------------------------------------------------

TLineOmmit::TLineOmmit(TWindow* parent, TResId resId, TMultiDncRecord* record)
    : TDialog(parent, resId), Record(record) {
  for (int i = 0; i < 10; i++) {
    TextEdits[i] = new TEdit(this, IDC_LINE_OMIT_TEXT1 + i, 10);
    FirstBoxes[i] = new TCheckBox(this, IDC_LINE_OMIT_FIRST1 + i);
  }
  EndFeedEdit = new TEdit(this, IDC_LINE_OMIT_END_FEED, 40);
}

void TLineOmmit::SetupWindow() {
  TDialog::SetupWindow();
  CentreOnScreen(*this);
  if (!Record) {
    Destroy(IDCANCEL);
    return;
  }
  for (int i = 0; i < 10; i++) {
    ShowProperty(TextEdits[i], Record, kPropOmitText + i);
    FirstBoxes[i]->SetCheck(Record->Number[kPropOmitFirst + i] ? BST_CHECKED : BST_UNCHECKED);
  }
  ShowProperty(EndFeedEdit, Record, kPropOmitFeed);
}

void TLineOmmit::CmOk() {
  if (!Record || !CanClose()) return;
  // Field 145 holds 49 characters; a longer text cannot come from a row.
  for (int i = 0; i < 10; i++) {
    Record->SetText(kPropOmitText + i, EditText(TextEdits[i], 10).c_str());
    Record->Number[kPropOmitFirst + i] = FirstBoxes[i]->GetCheck() == BST_CHECKED;
  }
  Record->SetText(kPropOmitFeed, EditText(EndFeedEdit, 49).c_str());
  TDialog::CmOk();
}
