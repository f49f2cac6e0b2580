// The system log viewer over LOG00000.DBF.
#include "storage/system_log.h"

#include <vector>

#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "appcore/message_ids.h"
#include "dbmodel/syslog.h"
#include "resources/dialogs/logs.h"
#include "storage/log_common.h"

namespace {

// Event types by button, IDC_SYSTEM_LOG_CREATED on; "sent" lists types 1
// and 2. Nothing in this system writes the events of the two configuration
// buttons and "temporary restored", so those buttons are disabled.
constexpr long kButtonTypes[] = {kLogProgramCreated,    kLogProgramDeleted,   kLogProgramCopied,    kLogProgramRenamed,
                                 kLogProgramLocked,     kLogProgramUnlocked,  kLogBackupRestored,   kLogImportDeleted,
                                 kLogReceivedNew,       kLogReceivedReplaced, kLogReceivedTemporary, kLogReceiveFailed,
                                 kLogProgramSent,       0,                    0,                    0,
                                 kLogMachineChanged};
}  // namespace

long SystemLogButtonType(int buttonId) {
  if (buttonId < IDC_SYSTEM_LOG_CREATED || buttonId > IDC_SYSTEM_LOG_MACHINE_CHANGED) return 0;
  return kButtonTypes[buttonId - IDC_SYSTEM_LOG_CREATED];
}

DEFINE_RESPONSE_TABLE1(TLogDlg, TLangDlg)
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_CREATED, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_DELETED, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_COPIED, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_RENAMED, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_LOCKED, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_UNLOCKED, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_BACKUP_RESTORED, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_BACKUP_DELETED, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_RECEIVED_NEW, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_RECEIVED_OVERWRITE, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_RECEIVED_TEMPORARY, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_RECEIVE_FAILED, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_SENT, BN_CLICKED, EvEventFilter),
  EV_CHILD_NOTIFY_AND_ID(IDC_SYSTEM_LOG_MACHINE_CHANGED, BN_CLICKED, EvEventFilter),
  EV_BN_CLICKED(IDC_SYSTEM_LOG_DELETE, CmDelete),
  EV_BN_CLICKED(IDC_SYSTEM_LOG_DELETE_ALL, CmDeleteAll),
END_RESPONSE_TABLE;

TLogDlg::TLogDlg(TWindow* parent) : TLangDlg(parent, IDD_SYSTEM_LOG) {
  LogList = new TListBox(this, IDC_SYSTEM_LOG_LIST);
  ListFont = std::make_unique<TFont>("COURIER", 10, 0, 0, 0, FW_NORMAL);
}

void TLogDlg::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(586);
  SetItemTexts(IDC_SYSTEM_LOG_EVENTS, 587, 18);
  SetItemTexts(IDC_SYSTEM_LOG_DELETE, 605, 7);
  LogList->SetHorizontalExtent(1750);
  LogList->SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(*ListFont)), TRUE);
  // No events of their own, and print and dump have nothing behind them.
  for (int id : {IDC_SYSTEM_LOG_CONFIG_CHANGED, IDC_SYSTEM_LOG_DNC_CONFIG_CHANGED, IDC_SYSTEM_LOG_TEMPORARY_RESTORED,
                 IDC_SYSTEM_LOG_PRINT, IDC_SYSTEM_LOG_PRINT_ALL, IDC_SYSTEM_LOG_DUMP, IDC_SYSTEM_LOG_DUMP_ALL,
                 IDC_SYSTEM_LOG_VIEW_ALL})
    ChildWithId(id)->EnableWindow(false);
}

void TLogDlg::EvEventFilter(UINT buttonId) {
  long type = SystemLogButtonType(static_cast<int>(buttonId));
  if (type == 0) return;
  CurrentType = type;
  TwoTypes = buttonId == IDC_SYSTEM_LOG_SENT;
  if (TwoTypes) {
    SecondType = kLogSendCancelled;
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
  std::vector<std::string> lines;
  for (int i : LogList->GetSelIndexes()) lines.push_back(LogList->GetString(i));
  if (lines.empty()) return;
  if (LogMessage(kMsgDeleteSystemLogEntries, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  if (!DeleteLines(lines)) LogMessage(kMsgLogNotStored, MB_OK | MB_ICONSTOP);
  Refill();
}

void TLogDlg::CmDeleteAll() {
  int n = LogList->GetCount();
  if (n == 0) return;
  if (LogMessage(kMsgDeleteSystemLogShown, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  std::vector<std::string> lines;
  for (int i = 0; i < n; i++) lines.push_back(LogList->GetString(i));
  if (!DeleteLines(lines)) LogMessage(kMsgLogNotStored, MB_OK | MB_ICONSTOP);
  Refill();
}
