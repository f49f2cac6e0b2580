// The replacement texts dialog.
#include "dnc/replace_text.h"

#include <string>

#include "dbmodel/text_helpers.h"
#include "platform/ui/validator.h"

namespace {

constexpr int kCaptionReception = 648, kCaptionTransmission = 649;
constexpr const char* kTable = "TRAMOX01.DBF";

// Without leading blanks and TABs and without trailing blanks.
std::string Trimmed(const std::string& s) {
  size_t start = s.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  size_t end = s.find_last_not_of(' ');
  return s.substr(start, end - start + 1);
}

}  // namespace

TReplaceTextDialog::TReplaceTextDialog(TWindow* parent, int selector, long rowId)
    : TLangDlg(parent, IDD_REPLACE_TEXT), Offset(selector == kReception ? 0 : 32), Selector(selector), RowId(rowId) {
  for (int i = 0; i < kEdits; ++i) Edits[i] = new TEdit(this, IDC_REPLACE_TEXT1 + i, 60);
}

TReplaceTextDialog::~TReplaceTextDialog() { delete Record; }

void TReplaceTextDialog::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(Selector == kReception ? kCaptionReception : kCaptionTransmission);
  {
    TTramox01Table t(kTable, 1, 0);
    Record = t.FindById(RowId);
    t.made = nullptr;
  }
  for (TEdit* e : Edits) e->SetValidator(new TFilterValidator("0-9,"));
  if (Record) {
    for (int i = 0; i < kEdits; ++i) Edits[i]->SetWindowText(Record->text[Offset + i]);
    return;
  }
  // A port without a row gets one now, with every text empty.
  Record = new TTramox01Record;
  Record->ID = RowId;
  TTramox01Table t(kTable, 1, 0);
  t.Append(Record);
}

void TReplaceTextDialog::CmOk() {
  if (!Record || !CanClose()) return;
  for (int i = 0; i < kEdits; ++i) {
    std::string text = Edits[i]->GetText().substr(0, 60);
    CopyCut(Record->text[Offset + i], sizeof Record->text[Offset + i], Trimmed(text).c_str());
  }
  TTramox01Table t(kTable, 1, 0);
  if (!t.Update(Record)) {
    MessageBox("The replacement texts could not be stored in TRAMOX01.DBF.", "Kelvane", MB_OK | MB_ICONSTOP);
    return;
  }
  TLangDlg::CmOk();
}
