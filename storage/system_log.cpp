// The system log viewer over LOG00000.DBF.
#include "storage/system_log.h"

#include <vector>

#include "app/users_lines.h"
#include "appcore/globals.h"
#include "dbmodel/syslog.h"
#include "storage/log_common.h"

namespace {
enum : int {
  kMsgNotStored = 1970,
  kMsgDeleteSelected = 1975,
  kMsgDeleteShown = 1976,
};

// Event types by button 101-117; 113 lists types 1 and 2. Nothing in this
// system writes the events of 114-116, so those buttons are disabled.
constexpr long kButtonTypes[] = {7, 4, 6, 21, 22, 23, 5, 12, 29, 28, 26, 25, 1, 0, 0, 0, 20};
}  // namespace

long SystemLogButtonType(int buttonId) {
  if (buttonId < 101 || buttonId > 117) return 0;
  return kButtonTypes[buttonId - 101];
}

DEFINE_RESPONSE_TABLE1(TLogDlg, TLangDlg)
  EV_CHILD_NOTIFY_AND_ID(101, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(102, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(103, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(104, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(105, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(106, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(107, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(108, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(109, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(110, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(111, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(112, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(113, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(117, BN_CLICKED, EvEventFilter),
  EV_BN_CLICKED(301, CmDelete),
  EV_BN_CLICKED(302, CmDeleteAll),
END_RESPONSE_TABLE;

TLogDlg::TLogDlg(TWindow* parent) : TLangDlg(parent, 25) {
  LogList = new TListBox(this, 300);
  ListFont = std::make_unique<TFont>("COURIER", 10, 0, 0, 0, FW_NORMAL);
}

void TLogDlg::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(586);
  SetItemTexts(100, 587, 18);
  SetItemTexts(301, 605, 7);
  LogList->SetHorizontalExtent(1750);
  LogList->SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(*ListFont)), TRUE);
  // No events of their own, and print and dump have nothing behind them.
  for (int id : {114, 115, 116, 303, 304, 305, 306, 307}) ChildWithId(id)->EnableWindow(false);
}

void TLogDlg::EvEventFilter(UINT buttonId) {
  long type = SystemLogButtonType(static_cast<int>(buttonId));
  if (type == 0) return;
  CurrentType = type;
  TwoTypes = buttonId == 113;
  if (TwoTypes) {
    SecondType = 2;
    FillLogListTwoTypes();
  } else {
    FillLogList();
  }
}

void TLogDlg::FillLogList() {
  TLogTable t(kSystemLogFile, 0, 0);
  TControlLines lines(*LogList);
  t.FillListOfType(CurrentType, &lines);
}

void TLogDlg::FillLogListTwoTypes() {
  TLogTable t(kSystemLogFile, 0, 0);
  TControlLines lines(*LogList);
  t.FillListOfTwoTypes(CurrentType, SecondType, &lines);
}

void TLogDlg::Refill() {
  if (TwoTypes) FillLogListTwoTypes();
  else if (CurrentType != 0) FillLogList();
}

bool TLogDlg::DeleteLines(const std::vector<std::string>& lines) {
  bool all = true;
  TLogTable t(kSystemLogFile, 0, 0);
  for (const std::string& line : lines) {
    if (line.find("@@") == std::string::npos) continue;
    if (!t.DeleteById(ListLineId(line.c_str()))) all = false;
  }
  return all;
}

void TLogDlg::CmDelete() {
  int sel = LogList->GetSelIndex();
  if (sel < 0) return;
  if (LogMessage(kMsgDeleteSelected, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  if (!DeleteLines({LogList->GetString(sel)})) LogMessage(kMsgNotStored, MB_OK | MB_ICONSTOP);
  Refill();
}

void TLogDlg::CmDeleteAll() {
  int n = LogList->GetCount();
  if (n == 0) return;
  if (LogMessage(kMsgDeleteShown, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  std::vector<std::string> lines;
  for (int i = 0; i < n; i++) lines.push_back(LogList->GetString(i));
  if (!DeleteLines(lines)) LogMessage(kMsgNotStored, MB_OK | MB_ICONSTOP);
  Refill();
}
