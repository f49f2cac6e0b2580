#include "dnc/link_dialog.h"

#include <cstdio>

#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "appcore/message_ids.h"
#include "dnc/setup_fields.h"
#include "dnc/setup_link.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "resources/dialogs/dnclink.h"

namespace {

constexpr int kPortList = IDC_DNC_LINK_PORTS, kPortLine = IDC_DNC_LINK_PORT, kProgramText = IDC_DNC_LINK_PROGRAM;
constexpr int kExit = IDC_DNC_LINK_EXIT, kSend = IDC_DNC_LINK_SEND, kReceive = IDC_DNC_LINK_RECEIVE,
              kStop = IDC_DNC_LINK_STOP, kSetup = IDC_DNC_LINK_SETUP, kAdd = IDC_DNC_LINK_ADD_PORT,
              kDelete = IDC_DNC_LINK_DELETE_PORT;
constexpr int kDelayCheck = IDC_DNC_LINK_DELAY, kFilterCheck = IDC_DNC_LINK_FILTER,
              kProgressBar = IDC_DNC_LINK_PROGRESS;
constexpr UINT kMsgTestProgress = WM_USER + 0x141, kMsgTestEnded = WM_USER + 0x142;

const char* kPortTable = "KELVCOMM.DBF";

std::string Caption() { return Globals ? Globals->CaptionText.c_str() : ""; }

}  // namespace

DEFINE_RESPONSE_TABLE1(TDncLinkDlg, TLangDlg)
  EV_LBN_SELCHANGE(kPortList, EvPortSelChange),
  EV_BN_CLICKED(kExit, CmClose),
  EV_BN_CLICKED(kSend, CmTestSend),
  EV_BN_CLICKED(kReceive, CmTestReceive),
  EV_BN_CLICKED(kStop, CmStopTest),
  EV_BN_CLICKED(kSetup, CmEditPort),
  EV_BN_CLICKED(kAdd, CmNewPort),
  EV_BN_CLICKED(kDelete, CmDeletePort),
  EV_COMMAND(IDCANCEL, CmCancel),
  EV_COMMAND(IDOK, CmOk),
  EV_WM_CLOSE,
  EV_WM_CTLCOLOR,
  EV_MESSAGE(kMsgTestProgress, EvTestProgress),
  EV_MESSAGE(kMsgTestEnded, EvTestEnded),
END_RESPONSE_TABLE;

TDncLinkDlg::TDncLinkDlg(TWindow* parent, const TcbFileRecord* program, long machineId, bool offerReceive)
    : TLangDlg(parent, kTemplate), haveProgram_(program != nullptr), machineId_(machineId), offerReceive_(offerReceive) {
  if (program) {
    programDesc_ = program->DESC;
    programMachine_ = program->MACHINE;
  }
  PortList = new TListBox(this, kPortList);
}

TDncLinkDlg::~TDncLinkDlg() {
  // Only a dialog torn down with its owner gets here with a test running.
  if (thread_) {
    if (transfer_) transfer_->Stop.set();
    plat::wait_for_single(thread_.get(), INFINITE);
  }
}

std::string TDncLinkDlg::ReceivePath() { return (Globals ? Globals->TempDir : std::string()) + "RECDNC.TMP"; }

void TDncLinkDlg::Tell(int messageId, const std::string& value) {
  std::string text = Globals ? Globals->GetMessageText(messageId) : std::string();
  if (!value.empty()) text = text.find("%s") != std::string::npos ? FillIn(text, "%s", value) : text + "\r\n" + value;
  ::MessageBox(GetHandle(), text.c_str(), Caption().c_str(), MB_OK | MB_ICONSTOP);
}

void TDncLinkDlg::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(704);
  SetItemTexts(kProgramText, 705, 9);
  SetItemTexts(kExit, 714, 5);
  SetItemText(kDelayCheck, 736);
  SetItemText(kFilterCheck, 737);
  if (!offerReceive_) ::ShowWindow(GetDlgItem(kReceive), SW_HIDE);
  SetDlgItemText(kProgramText,
                 haveProgram_ ? programDesc_.c_str() : (Globals ? Globals->GetMessageText(kMsgNoProgram).c_str() : ""));
  if (!Globals || !(Globals->RightsMask & kRightLinkPorts))
    for (int id : {kSetup, kAdd, kDelete}) ::ShowWindow(GetDlgItem(id), SW_HIDE);
  FillPorts(-1);
  ResetTestUi();
}

// Fills the port list and shows the port of the row with selectId, else the
// first port of the machine to preselect, else the first line.
void TDncLinkDlg::FillPorts(long selectId) {
  TControlLines<TListBox> lines(*PortList);
  TMultiDncTable table(kPortTable, 1, 0);
  table.FillListTwoIds(&lines);
  const int count = PortList->GetCount();
  int pick = -1;
  for (int i = 0; i < count && pick < 0; i++)
    if (selectId >= 0 && ListLineId(PortList->GetString(i).c_str()) == selectId) pick = i;
  for (int i = 0; i < count && pick < 0 && selectId < 0; i++)
    if (machineId_ != 0 && ListLineSecondId(PortList->GetString(i).c_str()) == machineId_) pick = i;
  if (pick >= 0) PortList->SetSelIndex(pick);
  EvPortSelChange();
}

void TDncLinkDlg::EvPortSelChange() {
  if (TestRunning()) return;
  SetDlgItemText(kPortLine, "");
  selected_.reset();
  transfer_.reset();
  const int sel = PortList->GetSelIndex();
  if (sel >= 0) {
    const long id = ListLineId(PortList->GetString(sel).c_str());
    TMultiDncTable table(kPortTable, 1, 0);
    selected_.reset(table.FindById(id));
  }
  if (selected_) {
    transfer_ = std::make_unique<TLinkTransfer>(*selected_);
    SetDlgItemText(kPortLine, LinkPortLine(*selected_).c_str());
  }
  ::ShowWindow(GetDlgItem(kStop), SW_HIDE);
}

bool TDncLinkDlg::CanClose() { return !TestRunning() && TLangDlg::CanClose(); }

void TDncLinkDlg::CmClose() {
  if (CanClose()) Destroy(IDCANCEL);
}

void TDncLinkDlg::EnableIdle(bool idle) {
  for (int id : {kPortList, kExit, kSend, kDelayCheck, kFilterCheck}) ::EnableWindow(GetDlgItem(id), idle);
  ::EnableWindow(GetDlgItem(kReceive), idle && offerReceive_);
  if (Globals && (Globals->RightsMask & kRightLinkPorts))
    for (int id : {kSetup, kAdd, kDelete}) ::EnableWindow(GetDlgItem(id), idle);
  ::ShowWindow(GetDlgItem(kStop), idle ? SW_HIDE : SW_SHOW);
}

void TDncLinkDlg::StartTest(bool send) {
  if (TestRunning()) return;
  if (!selected_) CmNewPort();
  if (!selected_ || !transfer_) return;
  transfer_->Close();
  std::string text, caption;
  if (!transfer_->Open(&text, &caption)) {
    ::MessageBox(GetHandle(), text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
    ::MessageBox(GetHandle(), "Initialization of Commport failed", "Fatal Error", MB_OK | MB_ICONSTOP);
    return;
  }
  transfer_->Stop.reset();
  transfer_->BytesSent = 0;
  transfer_->BytesReceived = 0;
  transfer_->FileSize = 0;
  transfer_->StartTick = plat::tick_count();
  shownPercent_ = 0;
  if (send) {
    sendPath_ = Globals ? Globals->DncTransferFile.c_str() : "";
    plat::File f = plat::create_file(sendPath_, plat::Access::read, plat::Share::read_write,
                                     plat::Disposition::open_existing);
    transfer_->FileSize = f.is_open() ? static_cast<uint32_t>(plat::length(f)) : 0;
    delay_ = SendDlgItemMessage(kDelayCheck, BM_GETCHECK) == BST_CHECKED;
    extended_ = SendDlgItemMessage(kFilterCheck, BM_GETCHECK) == BST_CHECKED;
    SendDlgItemMessage(kProgressBar, PBM_SETPOS, 0);
  }
  EnableIdle(false);
  if (send) ::ShowWindow(GetDlgItem(kProgressBar), SW_SHOW);
  transfer_->OnProgress = [this] {
    if (!progressPosted_.exchange(true)) PostMessage(kMsgTestProgress);
  };
  running_ = send ? kSending : kReceiving;
  thread_ = plat::begin_thread(send ? SendThread : ReceiveThread, 20480, this);
  if (!thread_) {
    running_ = kIdle;
    ResetTestUi();
    return;
  }
  ShowProgress();
}

void TDncLinkDlg::SendThread(void* arg) {
  auto* d = static_cast<TDncLinkDlg*>(arg);
  TLinkTransfer& t = *d->transfer_;
  const TLinkTransfer::End end = t.Send(d->sendPath_, d->delay_, d->extended_);
  if (end != TLinkTransfer::End::NoFile) {
    // A send that did not reach its end is logged as cancelled: only a
    // completed one counts as sent.
    if (Globals) {
      const char* port = d->selected_->GetValue(kLinkDisplayName);
      Globals->WriteLog(end == TLinkTransfer::End::Completed ? kLogProgramSent : kLogSendCancelled,
                        d->haveProgram_ ? d->programDesc_.c_str() : d->sendPath_.c_str(), d->programMachine_.c_str(),
                        port ? port : "");
    }
    if (end != TLinkTransfer::End::Stopped) plat::sleep_ms(1000);
  }
  d->PostMessage(kMsgTestEnded, static_cast<WPARAM>(end));
}

void TDncLinkDlg::ReceiveThread(void* arg) {
  auto* d = static_cast<TDncLinkDlg*>(arg);
  const TLinkTransfer::End end = d->transfer_->Receive(ReceivePath());
  d->PostMessage(kMsgTestEnded, static_cast<WPARAM>(end));
}

LRESULT TDncLinkDlg::EvTestProgress(WPARAM, LPARAM) {
  progressPosted_ = false;
  if (TestRunning()) ShowProgress();
  return 0;
}

LRESULT TDncLinkDlg::EvTestEnded(WPARAM wp, LPARAM) {
  using End = TLinkTransfer::End;
  const auto end = static_cast<End>(wp);
  if (thread_) plat::wait_for_single(thread_.get(), INFINITE);
  thread_.reset();
  const bool send = running_ == kSending;
  const uint32_t stored = transfer_ ? transfer_->BytesStored.load() : 0;
  running_ = kIdle;
  const bool received = !send && end == End::Completed && stored > 0;
  // The user learns why a transfer did not finish; a reception closes the
  // dialog with OK only when a program was stored.
  ResetTestUi();
  switch (end) {
    case End::NoFile: Tell(send ? kMsgSendFileNotOpened : kMsgReceiveFileNotCreated, send ? sendPath_ : ReceivePath()); break;
    case End::FileError: Tell(kMsgReceiveFileNotWritten, ReceivePath()); break;
    case End::InputLimit: Tell(kMsgInputLimit); break;
    case End::XoffTimeout: Tell(kMsgXoffTimeout); break;
    case End::LineError: Tell(kMsgLineFailed); break;
    case End::Completed:
      if (!send && stored == 0) Tell(kMsgNothingReceived);
      break;
    case End::Stopped: break;
  }
  if (received) Destroy(IDOK);
  return 0;
}

void TDncLinkDlg::ResetTestUi() {
  if (transfer_) transfer_->Close();
  SendDlgItemMessage(kDelayCheck, BM_SETCHECK, BST_UNCHECKED);
  SendDlgItemMessage(kFilterCheck, BM_SETCHECK, BST_UNCHECKED);
  ::ShowWindow(GetDlgItem(kProgressBar), SW_HIDE);
  EnableIdle(true);
  for (int id : {500, 501, 502, 504}) SetDlgItemText(id, "0");
  SetDlgItemText(IDC_DNC_LINK_TIME, "00.00.00");
}

void TDncLinkDlg::ShowProgress() {
  if (!transfer_) return;
  const TLinkTransfer& t = *transfer_;
  const uint32_t sent = t.BytesSent, received = t.BytesReceived, size = t.FileSize;
  SetDlgItemText(IDC_DNC_LINK_RECEIVED, std::to_string(received).c_str());
  SetDlgItemText(IDC_DNC_LINK_SENT, std::to_string(sent).c_str());
  SetDlgItemText(IDC_DNC_LINK_TOTAL, std::to_string(size).c_str());
  const uint32_t ms = plat::tick_count() - t.StartTick;
  const uint32_t s = ms / 1000;
  char time[40];
  std::snprintf(time, sizeof time, "%02lu.%02lu.%02lu", static_cast<unsigned long>(s / 3600),
                static_cast<unsigned long>(s / 60 % 60), static_cast<unsigned long>(s % 60));
  SetDlgItemText(IDC_DNC_LINK_TIME, time);
  const uint64_t bytes = running_ == kSending ? sent : received;
  const uint64_t rate = ms == 0 ? 0 : bytes * 100 / ms * 100;
  SetDlgItemText(IDC_DNC_LINK_RATE, std::to_string(rate).c_str());
  if (running_ == kSending && size > 0) {
    const int percent = static_cast<int>(std::min<uint64_t>(100, static_cast<uint64_t>(sent) * 100 / size));
    if (percent > shownPercent_) {
      shownPercent_ = percent;
      SendDlgItemMessage(kProgressBar, PBM_SETPOS, percent);
    }
  }
}

void TDncLinkDlg::CmStopTest() {
  if (!TestRunning() || !transfer_) return;
  const std::string text = Globals ? Globals->GetMessageText(kMsgCancelTransfer) : std::string();
  if (::MessageBox(GetHandle(), text.c_str(), Caption().c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES)
    transfer_->Stop.set();
}

void TDncLinkDlg::CmEditPort() {
  if (TestRunning() || !selected_) return;
  TDncSetupDlg dlg(this, selected_.get());
  if (dlg.Execute() != IDOK) return;
  const long id = selected_->Number[kPropId];
  TMultiDncTable table(kPortTable, 1, 0);
  if (table.Update(selected_.get()) != 1) Tell(kMsgPortsNotWritten);
  FillPorts(id);
}

void TDncLinkDlg::CmNewPort() {
  if (TestRunning()) return;
  selected_.reset();
  transfer_.reset();
  auto row = std::make_unique<TMultiDncRecord>();
  {
    TMultiDncTable table(kPortTable, 1, 0);
    if (table.Append(row.get()) != 1) {
      Tell(kMsgPortsNotWritten);
      FillPorts(-1);
      return;
    }
  }
  TDncSetupDlg dlg(this, row.get());
  const bool ok = dlg.Execute() == IDOK;
  TMultiDncTable table(kPortTable, 1, 0);
  if (!ok) table.DeleteById(row->Number[kPropId]);
  else if (table.Update(row.get()) != 1) Tell(kMsgPortsNotWritten);
  FillPorts(ok ? row->Number[kPropId] : -1);
}

void TDncLinkDlg::CmDeletePort() {
  if (TestRunning() || !selected_) return;
  const std::string text = Globals ? Globals->GetMessageText(kMsgDeletePort) : std::string();
  if (::MessageBox(GetHandle(), text.c_str(), Caption().c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  {
    TMultiDncTable table(kPortTable, 1, 0);
    table.DeleteById(selected_->Number[kPropId]);
  }
  FillPorts(-1);
}

HBRUSH TDncLinkDlg::EvCtlColor(HDC dc, HWND control, UINT ctlType) {
  if (ctlType != CTLCOLOR_STATIC || !control) return nullptr;
  const int id = ::GetDlgCtrlID(control);
  const auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  if (id >= IDC_DNC_LINK_RECEIVED && id <= IDC_DNC_LINK_RATE && TestRunning()) {
    SetTextColor(dc, running_ == kSending ? RGB(0, 255, 0) : RGB(255, 255, 0));
    SetBkColor(dc, RGB(0, 0, 0));
    return black;
  }
  if (id == kProgramText) {
    SetTextColor(dc, RGB(0, 255, 0));
    SetBkColor(dc, RGB(0, 0, 0));
    return black;
  }
  if (id == kPortLine) {
    // Dark blue on the face the static has anyway.
    const plat::ControlColors face = plat::default_control_colors(WM_CTLCOLORSTATIC);
    if (!faceBrush_) faceBrush_ = std::make_unique<TBrush>(face.back);
    SetTextColor(dc, RGB(0, 0, 192));
    SetBkColor(dc, face.back);
    return static_cast<HBRUSH>(faceBrush_->GetHandle());
  }
  return nullptr;
}
