// The renumbering options dialog. The list choices go into the
// preferences as soon as they are picked; the rest only with "Do it".
#include "editor/nc_line_options.h"

#include <cstdlib>

#include "appcore/globals.h"
#include "editor/user_prefs.h"
#include "platform/ui/validator.h"
#include "resources/dialogs/nctools.h"

namespace {
const char* const kFormats[] = {"N1", "N01", "N001", "N0001", "N00001", "N000001", "N0000001"};
const char* const kIntervals[] = {"1", "2", "5", "10", "20", "100", "1000"};
constexpr int kNumberChars = 6;
}  // namespace

DEFINE_RESPONSE_TABLE1(TLineOptionDialog, TLangDlg)
  EV_CBN_SELCHANGE(IDC_LINE_NUMBERS_FORMAT, EvFormatChange),
  EV_CBN_SELCHANGE(IDC_LINE_NUMBERS_INTERVAL, EvIntervalChange),
END_RESPONSE_TABLE;

TLineOptionDialog::TLineOptionDialog(TWindow* parent) : TLangDlg(parent, kResourceId) {
  FormatList = new TComboBox(this, IDC_LINE_NUMBERS_FORMAT);
  IntervalList = new TComboBox(this, IDC_LINE_NUMBERS_INTERVAL);
  PrecedingBox = new TCheckBox(this, IDC_LINE_NUMBERS_PRECEDING_N);
  ExclusionEdit = new TEdit(this, IDC_LINE_NUMBERS_EXCLUSION, TUserPreferences::kExclusionMax + 1);
  StartNumberEdit = new TEdit(this, IDC_LINE_NUMBERS_FIRST_NUMBER, kNumberChars + 1);
  StartLineEdit = new TEdit(this, IDC_LINE_NUMBERS_FIRST_LINE, kNumberChars + 1);
  RestartEdit = new TEdit(this, IDC_LINE_NUMBERS_RESTART, kNumberChars + 1);
  StartNumberEdit->SetValidator(new TRangeValidator(0, 500000));
  StartLineEdit->SetValidator(new TRangeValidator(1, 500000));
  RestartEdit->SetValidator(new TRangeValidator(-1, 500000));
}

void TLineOptionDialog::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(83);
  SetItemTexts(IDC_LINE_NUMBERS_FORMAT_GROUP, 84, 6);
  SetItemText(IDC_LINE_NUMBERS_PRECEDING_N, 90);
  TUserPreferences& p = *UserPreferences;
  p.Load();
  for (const char* f : kFormats) FormatList->AddString(f);
  for (const char* i : kIntervals) IntervalList->AddString(i);
  FormatList->SetSelIndex(p.FormatIndex >= 0 && p.FormatIndex < 7 ? p.FormatIndex : 0);
  IntervalList->SetSelIndex(p.IntervalIndex >= 0 && p.IntervalIndex < 7 ? p.IntervalIndex : 0);
  PrecedingBox->SetCheck(p.PrecedingN ? BST_CHECKED : BST_UNCHECKED);
  ExclusionEdit->SetWindowText(p.Exclusion.c_str());
  StartNumberEdit->SetWindowText(std::to_string(p.StartNumber).c_str());
  StartLineEdit->SetWindowText(std::to_string(p.StartLine).c_str());
  RestartEdit->SetWindowText(std::to_string(p.RestartValue).c_str());
}

void TLineOptionDialog::EvFormatChange() {
  int i = FormatList->GetSelIndex();
  if (i >= 0) UserPreferences->FormatIndex = i;
}

void TLineOptionDialog::EvIntervalChange() {
  int i = IntervalList->GetSelIndex();
  if (i >= 0) UserPreferences->IntervalIndex = i;
}

bool TLineOptionDialog::TakeNumber(TEdit* edit, int& value) {
  std::string text = edit->GetText();
  if (text.empty()) {
    edit->SetFocus();
    return false;
  }
  value = static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
  return true;
}

void TLineOptionDialog::CmOk() {
  int start = 0, restart = 0, line = 0;
  if (!TakeNumber(StartNumberEdit, start) || !TakeNumber(RestartEdit, restart) || !TakeNumber(StartLineEdit, line))
    return;
  // Out of range: the validator tells the user and the dialog stays.
  for (TEdit* e : {StartNumberEdit, RestartEdit, StartLineEdit})
    if (!e->IsValid(true)) return;
  TUserPreferences& p = *UserPreferences;
  if (FormatList->GetSelIndex() >= 0) p.FormatIndex = FormatList->GetSelIndex();
  if (IntervalList->GetSelIndex() >= 0) p.IntervalIndex = IntervalList->GetSelIndex();
  p.PrecedingN = PrecedingBox->GetCheck() == BST_CHECKED ? 1 : 0;
  p.Exclusion = ExclusionEdit->GetText();
  if (p.Exclusion.size() > TUserPreferences::kExclusionMax) p.Exclusion.resize(TUserPreferences::kExclusionMax);
  p.StartNumber = start;
  p.RestartValue = restart;
  p.StartLine = line;
  // A file that cannot be written keeps the options for this run only.
  p.Save();
  Destroy(IDOK);
}
