// Transmission parameters and line omit. OK asks the edits' validators
// before anything is copied, so a refused value never reaches the row.
#include "dnc/setup_transmission.h"

#include "appcore/globals.h"
#include "dnc/setup_fields.h"
#include "platform/msgbox.h"
#include "platform/ui/validator.h"

void ShowReleasedSoon(TWindow* owner) {
  ::MessageBox(owner ? owner->GetHandle() : nullptr, "To be released soon...", "Notice...",
               MB_OK | MB_ICONINFORMATION);
}

DEFINE_RESPONSE_TABLE1(TMultiDncTrnParam, TLangDlg)
  EV_BN_CLICKED(114, CmSelectHeader),
  EV_BN_CLICKED(115, CmSelectTail),
  EV_BN_CLICKED(121, CmClearHeader),
  EV_BN_CLICKED(122, CmClearTail),
  EV_BN_CLICKED(106, CmLineOmmit),
  EV_BN_CLICKED(107, CmReplacements),
END_RESPONSE_TABLE;

TMultiDncTrnParam::TMultiDncTrnParam(TWindow* parent, TResId resId, TMultiDncRecord* record)
    : TLangDlg(parent, resId), Record(record) {
  CrLfEdit = new TEdit(this, 109, 100);
  OmmitEdit = new TEdit(this, 110, 100);
  WhitespaceBox = new TCheckBox(this, 120);
  StartFeedEdit = new TEdit(this, 111, 100);
  BeforeEdit = new TEdit(this, 112, 100);
  HeaderEdit = new TEdit(this, 116, 200);
  TailEdit = new TEdit(this, 117, 200);
  AfterEdit = new TEdit(this, 113, 100);
  EndFeedEdit = new TEdit(this, 119, 100);
  BreakEdit = new TEdit(this, 124, 4);
  XoffEdit = new TEdit(this, 125, 3);
  DelayEdit = new TEdit(this, 123, 4);
  OnLinesEdit = new TEdit(this, 102, 20);
  EofBox = new TCheckBox(this, 103);
  SofBox = new TCheckBox(this, 105);
  FirstOnlyBox = new TCheckBox(this, 101);
  SendLineBox = new TCheckBox(this, 104);
  LineDelayEdit = new TEdit(this, 108, 4);
}

void TMultiDncTrnParam::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(765);
  SetItemTexts(200, 766, 20);
  const int ids[][2] = {{120, 786}, {103, 787}, {105, 788}, {101, 789}, {104, 790}, {106, 791}, {107, 792},
                        {114, 793}, {115, 793}, {121, 794}, {122, 794}, {220, 795}, {221, 796}};
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

  const std::pair<TEdit*, int> texts[] = {{CrLfEdit, 15},  {OmmitEdit, 16}, {StartFeedEdit, 17}, {EndFeedEdit, 18},
                                          {BeforeEdit, 19}, {AfterEdit, 20}, {HeaderEdit, 21},    {TailEdit, 22},
                                          {OnLinesEdit, 62}};
  for (auto [edit, n] : texts) ShowProperty(edit, Record, n);
  ShowNumber(DelayEdit, Record->Number[42]);
  ShowNumber(BreakEdit, Record->Number[70]);
  ShowNumber(XoffEdit, Record->Number[71]);
  ShowNumber(LineDelayEdit, Record->Number[73]);
  WhitespaceBox->SetCheck(Record->Number[23] ? BST_CHECKED : BST_UNCHECKED);
  const std::pair<TCheckBox*, int> boxes[] = {{SendLineBox, 81}, {FirstOnlyBox, 82}, {EofBox, 83}, {SofBox, 84}};
  for (auto [box, n] : boxes) box->SetCheck(Record->Number[n] ? BST_CHECKED : BST_UNCHECKED);
  ShowFileButtons(HeaderEdit, 114, 121);
  ShowFileButtons(TailEdit, 115, 122);
  for (int hidden : {107, 118})
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
  TLineOmmit dlg(this, 37, Record);
  dlg.Execute();
}

void TMultiDncTrnParam::CmReplacements() { ShowReleasedSoon(this); }

void TMultiDncTrnParam::CmOk() {
  if (!Record || !CanClose()) return;
  const std::pair<TEdit*, int> texts[] = {{CrLfEdit, 15},   {OmmitEdit, 16}, {StartFeedEdit, 17},
                                          {EndFeedEdit, 18}, {BeforeEdit, 19}, {AfterEdit, 20}};
  for (auto [edit, n] : texts) Record->SetText(n, EditText(edit, 99).c_str());
  Record->SetText(21, EditText(HeaderEdit, 199).c_str());
  Record->SetText(22, EditText(TailEdit, 199).c_str());
  Record->SetText(62, EditText(OnLinesEdit, 199).c_str());
  Record->Number[42] = LeadingNumber(DelayEdit->GetText(), 3);
  Record->Number[70] = LeadingNumber(BreakEdit->GetText(), 3);
  Record->Number[71] = LeadingNumber(XoffEdit->GetText(), 3);
  Record->Number[73] = LeadingNumber(LineDelayEdit->GetText(), 3);
  Record->Number[23] = WhitespaceBox->GetCheck() == BST_CHECKED;
  Record->Number[81] = SendLineBox->GetCheck() == BST_CHECKED;
  Record->Number[82] = FirstOnlyBox->GetCheck() == BST_CHECKED;
  Record->Number[83] = EofBox->GetCheck() == BST_CHECKED;
  Record->Number[84] = SofBox->GetCheck() == BST_CHECKED;
  TLangDlg::CmOk();
}

// ---- line omit ----------------------------------------------------------------

TLineOmmit::TLineOmmit(TWindow* parent, TResId resId, TMultiDncRecord* record)
    : TDialog(parent, resId), Record(record) {
  for (int i = 0; i < 10; i++) {
    TextEdits[i] = new TEdit(this, 101 + i, 10);
    FirstBoxes[i] = new TCheckBox(this, 111 + i);
  }
  EndFeedEdit = new TEdit(this, 122, 40);
}

void TLineOmmit::SetupWindow() {
  TDialog::SetupWindow();
  CentreOnScreen(*this);
  if (!Record) {
    Destroy(IDCANCEL);
    return;
  }
  for (int i = 0; i < 10; i++) {
    ShowProperty(TextEdits[i], Record, 135 + i);
    FirstBoxes[i]->SetCheck(Record->Number[125 + i] ? BST_CHECKED : BST_UNCHECKED);
  }
  ShowProperty(EndFeedEdit, Record, 145);
}

void TLineOmmit::CmOk() {
  if (!Record || !CanClose()) return;
  // Field 145 holds 49 characters; a longer text cannot come from a row.
  for (int i = 0; i < 10; i++) {
    Record->SetText(135 + i, EditText(TextEdits[i], 10).c_str());
    Record->Number[125 + i] = FirstBoxes[i]->GetCheck() == BST_CHECKED;
  }
  Record->SetText(145, EditText(EndFeedEdit, 49).c_str());
  TDialog::CmOk();
}
