// Setup-sheet page 2; see setup_sheet_pages.h.
#include <memory>
#include <string>

#include "appcore/text_scan.h"
#include "masterdata/setup_sheet_pages.h"
#include "masterdata/sheet_fields.h"
#include "masterdata/setup_sheet_editors.h"
#include "platform/ui/validator.h"
#include "resources/dialogs/setup_sheet_pages.h"

namespace {

constexpr int kLabels = 19;
constexpr std::size_t kTextMax = 49;
// Page 2's half of a sheet: choices 5-8, texts, decimals and integers 6-10.
constexpr int kFirstChoice = 4, kFirstField = 5;
enum : int { kTextCaption = 383, kTextFirstCaption = 384 };

}  // namespace

DEFINE_RESPONSE_TABLE1(TSetupPage2, TLangDlg)
  EV_BN_CLICKED(IDC_PAGE2_EDIT_CHOICE1, CmEditComboData1),
  EV_BN_CLICKED(IDC_PAGE2_EDIT_CHOICE2, CmEditComboData2),
  EV_BN_CLICKED(IDC_PAGE2_EDIT_CHOICE3, CmEditComboData3),
  EV_BN_CLICKED(IDC_PAGE2_EDIT_CHOICE4, CmEditComboData4),
  EV_BN_CLICKED(IDC_PAGE2_SETUP, CmSetupTexts),
  EV_BN_CLICKED(IDC_PAGE2_OK, CmOk),
END_RESPONSE_TABLE;

// The program key is page 1's; page 2 needs only the type and the record.
TSetupPage2::TSetupPage2(TWindow* parent, long /*programKey*/, long typeId, TSheet05Record* sheet)
    : TLangDlg(parent, IDD_SETUP_PAGE2), TypeId(typeId), Sheet(sheet) {
  for (int k = 0; k < kChoices; ++k) Choices[k] = new TComboBox(this, IDC_PAGE2_CHOICE1 + k, 51);
  for (int k = 0; k < kFields; ++k) {
    Texts[k] = new TEdit(this, IDC_PAGE2_TEXT1 + k, kTextMax + 1);
    Integers[k] = new TEdit(this, IDC_PAGE2_INTEGER1 + k, 15);
    Decimals[k] = new TEdit(this, IDC_PAGE2_DECIMAL1 + k, 10);
  }
}

void TSetupPage2::SetupWindow() {
  TLangDlg::SetupWindow();
  for (int k = 0; k < kFields; ++k) {
    Integers[k]->SetValidator(new TFilterValidator("0-9-"));
    Decimals[k]->SetValidator(new TFilterValidator("0-9.-"));
  }
  SetCaptionText(kTextCaption);
  SetItemTexts(IDC_PAGE2_TEXT1_LABEL, kTextFirstCaption, kLabels);
  ShowPage();
}

void TSetupPage2::ShowLabels() {
  for (int k = 0; k < kChoices; ++k) FillChoiceCombo(*Choices[k], TypeId, kFirstChoice + 1 + k);
  std::unique_ptr<TSheet04Record> labels;
  {
    TSheet04Table table("SS000004.DBF", 0, 0);
    labels.reset(table.SeekId(TypeId));
  }
  if (!labels) return;
  for (int k = 0; k < kChoices; ++k) ::ShowWindow(GetDlgItem(IDC_PAGE2_EDIT_CHOICE1 + k), SW_SHOW);
  for (int n = 0; n < kLabels; ++n) {
    const std::string label = labels->Label(n);
    const int show = label.empty() ? SW_HIDE : SW_SHOW;
    ::ShowWindow(GetDlgItem(IDC_PAGE2_TEXT1_LABEL + n), show);
    if (n < 15) {
      ::ShowWindow(GetDlgItem(IDC_PAGE2_TEXT1 + n), show);
    } else {
      ::ShowWindow(GetDlgItem(IDC_PAGE2_CHOICE1 + n - 15), show);
      ::ShowWindow(GetDlgItem(IDC_PAGE2_EDIT_CHOICE1 + n - 15), show);
    }
    if (!label.empty()) SetDlgItemText(IDC_PAGE2_TEXT1_LABEL + n, label.c_str());
  }
}

void TSetupPage2::ShowPage() {
  ShowLabels();
  ShowValues();
}

void TSetupPage2::ShowValues() {
  if (!Sheet) return;
  const TSheet05Record& s = *Sheet;
  for (int k = 0; k < kChoices; ++k) {
    const int at = s.ComboIndex(kFirstChoice + k);
    if (at >= 0 && at < Choices[k]->GetCount()) Choices[k]->SetSelIndex(at);
  }
  for (int k = 0; k < kFields; ++k) {
    Texts[k]->SetText(s.Text(kFirstField + k));
    Decimals[k]->SetText(SheetDecimalText(s.Decimal(kFirstField + k)).c_str());
    Integers[k]->SetText(std::to_string(s.Integer(kFirstField + k)).c_str());
  }
}

void TSetupPage2::CmOk() {
  std::array<double, kFields> decimals{};
  std::array<long, kFields> integers{};
  for (int k = 0; k < kFields; ++k)
    if (!ReadSheetInteger(*Integers[k], integers[k]) || !ReadSheetDecimal(*Decimals[k], decimals[k])) return;
  if (Sheet) {
    TSheet05Record& s = *Sheet;
    for (int k = 0; k < kChoices; ++k) s.SetComboIndex(kFirstChoice + k, Choices[k]->GetSelIndex());
    for (int k = 0; k < kFields; ++k) {
      s.SetText(kFirstField + k, CutText(Texts[k]->GetText(), kTextMax).c_str());
      s.SetDecimal(kFirstField + k, decimals[k]);
      s.SetInteger(kFirstField + k, integers[k]);
    }
  }
  CloseWindow(IDOK);
}

void TSetupPage2::CmSetupTexts() {
  if (TypeId == 0 || !EditPage2Labels(this, TypeId)) return;
  // New labels over what the user typed: the typed values stay, the
  // record is taken only by OK.
  std::array<std::string, kFields * 3> typed;
  std::array<int, kChoices> chosen{};
  for (int k = 0; k < kFields; ++k) {
    typed[k] = Texts[k]->GetText();
    typed[kFields + k] = Integers[k]->GetText();
    typed[2 * kFields + k] = Decimals[k]->GetText();
  }
  for (int k = 0; k < kChoices; ++k) chosen[k] = Choices[k]->GetSelIndex();
  ShowLabels();
  for (int k = 0; k < kFields; ++k) {
    Texts[k]->SetText(typed[k].c_str());
    Integers[k]->SetText(typed[kFields + k].c_str());
    Decimals[k]->SetText(typed[2 * kFields + k].c_str());
  }
  for (int k = 0; k < kChoices; ++k)
    if (chosen[k] >= 0 && chosen[k] < Choices[k]->GetCount()) Choices[k]->SetSelIndex(chosen[k]);
}

void TSetupPage2::EditComboData(int k) { EditChoiceValues(this, TypeId, kFirstChoice + 1 + k, *Choices[k]); }
