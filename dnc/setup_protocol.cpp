// Advanced RS-232, program-check and reserved-number options. The stop
// string and the reserved number are checked against what the row can
// hold before anything is copied: a longer text or a larger number is
// refused, never cut.
#include "dnc/setup_protocol.h"

#include <climits>
#include <cstdio>

#include "dnc/setup_fields.h"
#include "platform/ui/validator.h"
#include "resources/dialogs/dncsetup.h"

namespace {
// The row keeps the stop string in 20 bytes and the reserved number as a
// signed 32-bit value.
constexpr size_t kStopStringMost = 19;
constexpr long kReservedMost = INT32_MAX;

UINT Checked(long v) { return v ? BST_CHECKED : BST_UNCHECKED; }
}  // namespace

// ---- advanced RS-232 ------------------------------------------------------------

TStdRs232Setup::TStdRs232Setup(TWindow* parent, TMultiDncRecord* record)
    : TLangDlg(parent, IDD_RS232), Record(record) {
  WaitDc2Box = new TCheckBox(this, IDC_RS232_WAIT_DC2);
  ReplyDc4Box = new TCheckBox(this, IDC_RS232_REPLY_DC4);
  WaitXonBox = new TCheckBox(this, IDC_RS232_WAIT_XON);
  StopStringEdit = new TEdit(this, IDC_RS232_STOP_TEXT, 40);
  StopCountEdit = new TEdit(this, IDC_RS232_STOP_COUNT, 2);
}

void TStdRs232Setup::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(755);
  SetItemTexts(IDC_RS232_WAIT_DC2, 756, 6);
  SetItemText(IDC_RS232_STOP_COUNT_UNIT, 762);
  if (!Record) {
    Destroy(IDCANCEL);
    return;
  }
  StopCountEdit->SetValidator(new TFilterValidator("0-9"));
  WaitDc2Box->SetCheck(Checked(Record->Number[kPropWaitDc2]));
  ReplyDc4Box->SetCheck(Checked(Record->Number[kPropAnswerDc4]));
  WaitXonBox->SetCheck(Checked(Record->Number[kPropStartInXoff]));
  StopStringEdit->SetWindowText(Record->Short156);
  ShowNumber(StopCountEdit, Record->Number[kPropSkipOccurrence]);
}

void TStdRs232Setup::CmOk() {
  if (!Record || !CanClose()) return;
  std::string stop = TrimText(EditText(StopStringEdit, 39));
  if (!TextFits(this, StopStringEdit, stop, kStopStringMost)) return;
  Record->Number[kPropWaitDc2] = WaitDc2Box->GetCheck() == BST_CHECKED;
  Record->Number[kPropAnswerDc4] = ReplyDc4Box->GetCheck() == BST_CHECKED;
  Record->Number[kPropStartInXoff] = WaitXonBox->GetCheck() == BST_CHECKED;
  CopyCut(Record->Short156, sizeof Record->Short156, stop.c_str());
  Record->Number[kPropSkipOccurrence] = LeadingNumber(StopCountEdit->GetText(), 2);
  TLangDlg::CmOk();
}

// ---- program check --------------------------------------------------------------

TCheckProtSetup::TCheckProtSetup(TWindow* parent, TMultiDncRecord* record)
    : TDialog(parent, IDD_CHECK), Record(record) {
  StartLineEdit = new TEdit(this, IDC_CHECK_START, 3);
  IntervalEdit = new TEdit(this, IDC_CHECK_STEP, 3);
  FirstTextEdit = new TEdit(this, IDC_CHECK_FIRST_TEXT, 30);
  LastTextEdit = new TEdit(this, IDC_CHECK_LAST_TEXT, 30);
  NotifyEdit = new TEdit(this, IDC_CHECK_NOTIFY, 3);
  HasNBox = new TCheckBox(this, IDC_CHECK_HAS_N);
  LeaveOutEdit = new TEdit(this, IDC_CHECK_LEAVE_OUT, 30);
}

void TCheckProtSetup::SetupWindow() {
  TDialog::SetupWindow();
  CentreOnScreen(*this);
  if (!Record) {
    Destroy(IDCANCEL);
    return;
  }
  for (TEdit* e : {StartLineEdit, IntervalEdit, NotifyEdit}) e->SetValidator(new TFilterValidator("0-9"));
  ShowNumber(StartLineEdit, Record->Number[kPropBreakCount]);
  ShowNumber(IntervalEdit, Record->Number[kPropXoffLimit]);
  ShowNumber(NotifyEdit, Record->Number[kPropFlashCount]);
  ShowProperty(FirstTextEdit, Record, kPropFirstLineText);
  ShowProperty(LastTextEdit, Record, kPropResetText);
  ShowProperty(LeaveOutEdit, Record, kPropIgnoreText);
  HasNBox->SetCheck(Checked(Record->Number[kPropBlockLetter]));
}

void TCheckProtSetup::CmOk() {
  if (!Record || !CanClose()) return;
  Record->Number[kPropBreakCount] = LeadingNumber(StartLineEdit->GetText(), 3);
  Record->Number[kPropXoffLimit] = LeadingNumber(IntervalEdit->GetText(), 3);
  Record->Number[kPropFlashCount] = LeadingNumber(NotifyEdit->GetText(), 3);
  Record->SetText(kPropFirstLineText, EditText(FirstTextEdit, 30).c_str());
  Record->SetText(kPropResetText, EditText(LastTextEdit, 30).c_str());
  Record->SetText(kPropIgnoreText, EditText(LeaveOutEdit, 30).c_str());
  Record->Number[kPropBlockLetter] = HasNBox->GetCheck() == BST_CHECKED;
  TDialog::CmOk();
}

// ---- reserved number ------------------------------------------------------------

std::string LeadingZeroLine(int width) {
  char format[32];
  std::snprintf(format, sizeof format, "(%02d) %c0%dd", width, '%', width);
  char line[64];
  std::snprintf(line, sizeof line, format, 9999);
  return line;
}

DEFINE_RESPONSE_TABLE1(TResNumberProtocolDlg, TLangDlg)
  EV_BN_CLICKED(IDC_RESERVED_NUMBER_FORMAT, EvFormatClicked),
END_RESPONSE_TABLE;

TResNumberProtocolDlg::TResNumberProtocolDlg(TWindow* parent, TMultiDncRecord* record)
    : TLangDlg(parent, IDD_RESERVED_NUMBER), Record(record) {
  NumberEdit = new TEdit(this, IDC_RESERVED_NUMBER_VALUE, 16);
  FormatList = new TListBox(this, IDC_RESERVED_NUMBER_FORMATS);
  FormatBox = new TCheckBox(this, IDC_RESERVED_NUMBER_FORMAT);
}

void TResNumberProtocolDlg::SetupWindow() {
  TLangDlg::SetupWindow();
  if (!Record) {
    Destroy(IDCANCEL);
    return;
  }
  NumberEdit->SetValidator(new TFilterValidator("0-9"));
  ShowNumber(NumberEdit, Record->Number[kPropReservedNumber]);
  for (int w = 4; w <= 16; w++) FormatList->AddString(LeadingZeroLine(w).c_str());
  FormatList->SetSelIndex(static_cast<int>(Record->Number[kPropZeroPadIndex]));
  if (Record->Number[kPropZeroPad] == 0)
    FormatList->EnableWindow(false);
  else
    FormatBox->SetCheck(BST_CHECKED);
  // A Mazak port takes the number without a format.
  if (Record->Number[kPropProtocol] == 1) {
    FormatList->EnableWindow(false);
    FormatBox->EnableWindow(false);
  }
}

void TResNumberProtocolDlg::EvFormatClicked() {
  FormatList->EnableWindow(FormatBox->GetCheck() == BST_CHECKED);
}

void TResNumberProtocolDlg::CmOk() {
  if (!Record || !CanClose()) return;
  std::string text = NumberEdit->GetText();
  if (text.empty()) {
    NumberEdit->SetFocus();
    return;
  }
  // Fifteen digits fit the edit but not the row: refused like any value
  // out of range, with the bounds named.
  std::string digits = text.substr(0, text.find_first_not_of("0123456789"));
  size_t nonZero = digits.find_first_not_of('0');
  std::string significant = nonZero == std::string::npos ? "0" : digits.substr(nonZero);
  if (significant.size() > 10 || std::stoll(significant) > kReservedMost) {
    TRangeValidator(0, kReservedMost).Error(this);
    NumberEdit->SetFocus();
    return;
  }
  Record->Number[kPropReservedNumber] = static_cast<long>(std::stoll(significant));
  Record->Number[kPropZeroPad] = FormatBox->GetCheck() == BST_CHECKED;
  if (FormatList->GetSelIndex() >= 0) Record->Number[kPropZeroPadIndex] = FormatList->GetSelIndex();
  TLangDlg::CmOk();
}
