#include "dnc/control_window.h"

#include <cstdio>
#include <cstring>

#include "app/frame_commands.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "appcore/text_scan.h"
#include "dbmodel/filetable.h"
#include "dbmodel/job.h"
#include "dnc/dnclog.h"
#include "dnc/job_dialogs.h"
#include "dnc/jobfile.h"
#include "dnc/rs232.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "resources/dialogs/dnccontrol.h"
#include "resources/menus/main.h"
#include "storage/program_lock.h"

namespace {

constexpr int kStatusStatic = IDC_DNC_CONTROL_STATUS1, kRowRadio = IDC_DNC_CONTROL_ROW1,
              kPageButton = IDC_DNC_CONTROL_PAGE1, kOmitCheck = IDC_DNC_CONTROL_OMIT;
constexpr int kSend = IDC_DNC_CONTROL_SEND, kReceive = IDC_DNC_CONTROL_RECEIVE, kCancel = IDC_DNC_CONTROL_CANCEL,
              kReceiveNew = IDC_DNC_CONTROL_RECEIVE_NEW, kSendJob = IDC_DNC_CONTROL_SEND_JOB;

enum { kRed, kGreen, kBlue, kYellow, kMagenta };

// Text (message id offset from 1113) and colours of a status code.
struct StatusLook {
  int code, text;
  COLORREF fore, back;
  int brush;  // -1: a stock brush (white or light grey)
};
const StatusLook kLooks[] = {
    {2, 3, RGB(255, 255, 0), RGB(0, 0, 255), kBlue},      {4, 1, RGB(0, 0, 0), RGB(192, 192, 192), -1},
    {5, 0, RGB(0, 0, 0), RGB(0, 255, 0), kGreen},         {6, 2, RGB(0, 0, 0), RGB(255, 255, 0), kYellow},
    {10, 5, RGB(0, 0, 0), RGB(255, 255, 255), -1},        {11, 4, RGB(0, 0, 0), RGB(255, 0, 255), kMagenta},
    {36, 0, RGB(255, 255, 255), RGB(255, 0, 0), kRed}};

const StatusLook* LookOf(int code) {
  for (const auto& l : kLooks)
    if (l.code == code) return &l;
  return nullptr;
}

TDncPort* PortAt(int index) {
  // The master owns the slots; an index past the ports in use has none.
  return index >= 0 && index < PortCount ? static_cast<TDncPort*>(Ports[index]) : nullptr;
}

TDncControll* Control = nullptr;
// The master thread the start command began, so its end can be waited for.
plat::ThreadHandle Master;

// A directory for a dialog's start: one that does not fit is not cut (it
// would name another place); the dialog then starts where it last was.
template <std::size_t N>
void CopyText(char (&to)[N], const char* from) {
  const std::size_t n = from ? std::strlen(from) : 0;
  if (n >= N) return;
  std::memcpy(to, from ? from : "", n);
  to[n] = '\0';
}

// The program search and the program dialog: the chosen program's id and
// program id. False when the user chose none or it has gone meanwhile.
bool ChooseProgramOf(TWindow* parent, TDncPort::THandOver& what) {
  const TProgramChooser& choose = GetProgramChooser();
  if (!choose) return false;
  const long id = choose(parent);
  if (id == 0) return false;
  TcbFileTable programs("KELVFILE.DBF", 0, 0);
  std::unique_ptr<TcbFileRecord> chosen(programs.FindById(id));
  if (!chosen) return false;
  what.Name = TrimText(chosen->DESC);
  what.ProgramId = chosen->NCID;
  return true;
}

}  // namespace

void Check(TWindow& dlg, int id, UINT state) { dlg.SendDlgItemMessage(id, BM_SETCHECK, state); }
bool Checked(TWindow& dlg, int id) { return dlg.SendDlgItemMessage(id, BM_GETCHECK) == BST_CHECKED; }

namespace {

}  // namespace

DEFINE_RESPONSE_TABLE1(TDncControll, TLangDlg)
  EV_COMMAND_AND_ID(IDC_DNC_CONTROL_ROW1, CmRow), EV_COMMAND_AND_ID(IDC_DNC_CONTROL_ROW2, CmRow),
  EV_COMMAND_AND_ID(IDC_DNC_CONTROL_ROW3, CmRow), EV_COMMAND_AND_ID(IDC_DNC_CONTROL_ROW4, CmRow),
  EV_COMMAND_AND_ID(IDC_DNC_CONTROL_ROW5, CmRow), EV_COMMAND_AND_ID(IDC_DNC_CONTROL_ROW6, CmRow),
  EV_COMMAND_AND_ID(IDC_DNC_CONTROL_ROW7, CmRow), EV_COMMAND_AND_ID(IDC_DNC_CONTROL_ROW8, CmRow),
  EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE1, CmPage), EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE2, CmPage),
  EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE3, CmPage), EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE4, CmPage),
  EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE5, CmPage), EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE6, CmPage),
  EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE7, CmPage), EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE8, CmPage),
  EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE9, CmPage), EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE10, CmPage),
  EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE11, CmPage), EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE12, CmPage),
  EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE13, CmPage), EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE14, CmPage),
  EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE15, CmPage), EV_COMMAND_AND_ID(IDC_DNC_CONTROL_PAGE16, CmPage),
  EV_COMMAND(IDC_DNC_CONTROL_SEND, CmSend),
  EV_COMMAND(IDC_DNC_CONTROL_RECEIVE, CmReceiveTarget),
  EV_COMMAND(IDC_DNC_CONTROL_SEND_JOB, CmJobMaintain),
  EV_COMMAND(IDC_DNC_CONTROL_CANCEL, CmCancelTransfer),
  EV_COMMAND(IDC_DNC_CONTROL_RECEIVE_NEW, CmReceiveNew),
  EV_COMMAND(IDC_DNC_CONTROL_OMIT, CmOmit),
  EV_COMMAND(IDC_DNC_CONTROL_UNIX_LINK1, CmUnixLink1),
  EV_COMMAND(IDC_DNC_CONTROL_UNIX_LINK2, CmUnixLink2),
  EV_COMMAND(IDCANCEL, CmNothing),
  EV_WM_CLOSE,
  EV_WM_SIZE,
  EV_WM_CTLCOLOR,
END_RESPONSE_TABLE;

TDncControll::TDncControll(TWindow* parent) : TLangDlg(parent, kTemplate) {
  for (int i = 0; i < 6; i++) statusTexts_[i] = Globals ? Globals->GetMessageText(kMsgPortSending + i) : std::string();
  const COLORREF colours[5] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 0), RGB(255, 0, 255)};
  for (int i = 0; i < 5; i++) brushes_[i] = std::make_unique<TBrush>(colours[i]);
  for (auto& s : statusCodes_) s = 0;
}

TDncControll::~TDncControll() {
  // A window freed while still the view waits for the server's call on it.
  std::lock_guard<std::mutex> hold(ControlWindowLock);
  TDncControlView* self = this;
  ControlWindow.compare_exchange_strong(self, nullptr);
}

void TDncControll::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaption("Tramox 3.56 (1)");
  SetItemTexts(IDC_DNC_CONTROL_SEND, 664, 4);
  SetItemTexts(IDC_DNC_CONTROL_RECEIVED_LABEL, 706, 5);
  TLangDlg::SetItemText(IDC_DNC_CONTROL_SEND_JOB, 689);
  if (Globals) SetDlgItemText(IDC_DNC_CONTROL_STATE, Globals->GetMessageText(kMsgDncServerCaption).c_str());
  SetupUnixLink();
  ShowPage(0);
}

void TDncControll::SetPorts(TMultiDncRecord* rows) {
  std::vector<std::string> names;
  std::vector<bool> fileModes, unixLinks;
  for (TcbRecord* r = rows; r; r = r->next) {
    auto* row = static_cast<TMultiDncRecord*>(r);
    // The master numbers only the rows with a COM number.
    if (row->GetListA(kPropComNumber) == 0) continue;
    const char* n = row->GetValue(kPropDisplayName);
    names.push_back(n ? n : "");
    fileModes.push_back(row->GetListB(kPropFileMode) != 0);
    unixLinks.push_back(row->Number[kPropUnixLink] != 0);
  }
  const int count = static_cast<int>(names.size());
  {
    std::lock_guard<std::mutex> g(namesLock_);
    names_ = std::move(names);
    fileModes_ = std::move(fileModes);
    unixLinks_ = std::move(unixLinks);
  }
  for (int p = 0; p < kPages; p++)
    ::ShowWindow(GetDlgItem(kPageButton + p), count > kRows && p * kRows < count ? SW_SHOW : SW_HIDE);
  ShowPage(page_);
}

std::string TDncControll::RowName(int index) {
  std::lock_guard<std::mutex> g(namesLock_);
  return index >= 0 && index < static_cast<int>(names_.size()) ? names_[index] : std::string();
}

void TDncControll::ShowRowStatus(int row) {
  const int code = StatusOf(page_ * kRows + row);
  if (const StatusLook* l = LookOf(code)) SetDlgItemText(kStatusStatic + row, statusTexts_[l->text].c_str());
  if (TWindow* w = ChildWithId(kStatusStatic + row)) w->Invalidate();
}

void TDncControll::ShowPage(int page) {
  if (page < 0 || page >= kPages) return;
  page_ = page;
  int known;
  {
    std::lock_guard<std::mutex> g(namesLock_);
    known = static_cast<int>(names_.size());
  }
  for (int row = 0; row < kRows; row++) {
    const int index = page * kRows + row;
    const bool shown = index < known;
    ::ShowWindow(GetDlgItem(kRowRadio + row), shown ? SW_SHOW : SW_HIDE);
    ::ShowWindow(GetDlgItem(kStatusStatic + row), shown ? SW_SHOW : SW_HIDE);
    if (shown) {
      char label[80];
      std::snprintf(label, sizeof label, " &%c. %s", 'A' + row, RowName(index).c_str());
      SetDlgItemText(kRowRadio + row, label);
      ShowRowStatus(row);
    }
    Check(*this, kRowRadio + row, row == 0 ? BST_CHECKED : BST_UNCHECKED);
  }
  for (int p = 0; p < kPages; p++) Check(*this, kPageButton + p, p == page ? BST_CHECKED : BST_UNCHECKED);
  SetDncEvent(kPageChanged);
  selectedRow_ = 0;
  SelectPort(page * kRows);
}

void TDncControll::EnableTransferButtons(int index) {
  bool fileMode = false, unixLink = false;
  {
    std::lock_guard<std::mutex> g(namesLock_);
    fileMode = index >= 0 && index < static_cast<int>(fileModes_.size()) && fileModes_[index];
    unixLink = index >= 0 && index < static_cast<int>(unixLinks_.size()) && unixLinks_[index];
  }
  // A program of the database is chosen through the program search; a
  // station without it offers Send and Receive on plain files only, and
  // Send on a port that sends from the Unix host.
  const bool canChoose = fileMode || static_cast<bool>(GetProgramChooser());
  ::EnableWindow(GetDlgItem(kSend), canChoose || unixLink);
  ::EnableWindow(GetDlgItem(kReceive), canChoose);
}

void TDncControll::SelectPort(int index) {
  CurrentPortIndex = index;
  EnableTransferButtons(index);
  if (TDncPort* port = PortAt(index)) {
    ::ShowWindow(GetDlgItem(kReceiveNew), port->FileMode() ? SW_HIDE : SW_SHOW);
    const bool heidenhain = port->Protocol() == 2 || port->Protocol() == 3;
    for (int id : {kOmitCheck, kSend, kReceive}) ::ShowWindow(GetDlgItem(id), heidenhain ? SW_HIDE : SW_SHOW);
    Check(*this, kOmitCheck, port->OmitLines ? BST_CHECKED : BST_UNCHECKED);
  }
  SetDncEvent(kPortSelected);
}

void TDncControll::SetPortStatus(int portIndex, int status) {
  if (portIndex < 0 || portIndex >= kMaxPorts) return;
  statusCodes_[portIndex] = status;
  const int row = portIndex - page_ * kRows;
  if (row >= 0 && row < kRows) ShowRowStatus(row);
}

void TDncControll::UpdatePortPanel() {
  TDncPort* port = PortAt(CurrentPortIndex);
  if (!port) return;
  char text[80];
  // The pending name belongs to the port's threads; the panel shows it
  // through the master's port-selected handling, which reads it safely.
  const unsigned long received = port->BytesReceived, sent = port->BytesSent, total = port->BytesTotal;
  std::snprintf(text, sizeof text, "%lu", received);
  SetDlgItemText(IDC_DNC_CONTROL_RECEIVED, text);
  std::snprintf(text, sizeof text, "%lu", sent);
  SetDlgItemText(IDC_DNC_CONTROL_SENT, text);
  std::snprintf(text, sizeof text, "%lu", total);
  SetDlgItemText(IDC_DNC_CONTROL_TOTAL, text);
  const unsigned long bytes = sent ? sent : received;
  unsigned long seconds = 0, rate = 0;
  if (bytes) {
    const unsigned long elapsed = plat::tick_count() - port->TransferStart;
    seconds = elapsed / 1000;
    rate = elapsed ? bytes * 100 / elapsed * 100 : 0;
  }
  std::snprintf(text, sizeof text, "%02lu.%02lu.%02lu", seconds / 3600, (seconds / 60) % 60, seconds % 60);
  SetDlgItemText(IDC_DNC_CONTROL_TIME, text);
  std::snprintf(text, sizeof text, "%lu", rate);
  SetDlgItemText(IDC_DNC_CONTROL_RATE, text);
  const std::string shown = port->ShownProgram();
  SetDlgItemText(IDC_DNC_CONTROL_PROGRAM, ("Program : " + (shown.empty() ? std::string("?") : shown)).c_str());
}

void TDncControll::SetItemText(int id, const char* text) { SetDlgItemText(id, text ? text : ""); }

void TDncControll::ShowItem(int id, bool show) { ::ShowWindow(GetDlgItem(id), show ? SW_SHOW : SW_HIDE); }

void TDncControll::ReportPortFailure(int, const char* text) {
  // The server runs on without the port; the operator reads why.
  if (text) SetDlgItemText(IDC_DNC_CONTROL_STATE, text);
}

void TDncControll::CmRow(UINT id) {
  const int row = static_cast<int>(id) - kRowRadio;
  if (row < 0 || row >= kRows || row == selectedRow_) return;
  for (int r = 0; r < kRows; r++) Check(*this, kRowRadio + r, r == row ? BST_CHECKED : BST_UNCHECKED);
  selectedRow_ = row;
  SelectPort(page_ * kRows + row);
}

void TDncControll::CmPage(UINT id) {
  const int page = static_cast<int>(id) - kPageButton;
  if (page == page_) return;
  ShowPage(page);
}

bool TDncControll::HandOver(TDncPort& port, TDncPort::THandOver& what, bool send) {
  if (!port.HandOver(what)) {
    FreeRecordList(what.JobPrograms);
    what.JobPrograms = nullptr;
    MessageBeep(0);
    return false;
  }
  if (send) {
    SetDncEvent(kSendRequest);
  } else {
    SetPortStatus(port.PortIndex, 6);
    SetDncEvent(kRefreshPanel);
  }
  SetDlgItemText(IDC_DNC_CONTROL_PROGRAM, ("Program : " + what.Name).c_str());
  return true;
}

void TDncControll::CmSend() {
  TDncPort* port = PortAt(CurrentPortIndex);
  if (!port || !Globals) return;
  if (port->Setting(kPropUnixLink)) {
    UnixLinkSend(*port);
    return;
  }
  TDncPort::THandOver what;
  if (port->FileMode()) {
    if (!*port->FileDialogPath) CopyText(port->FileDialogPath, port->Text(kPropFirstDirectory));
    if (!Globals->FileOpenDialog(this, port->FileDialogPath, 1)) return;
    what.Name = what.Path = Globals->StartFile.c_str();
  } else {
    if (!ChooseProgramOf(this, what)) return;
  }
  HandOver(*port, what, true);
}

void TDncControll::CmReceiveTarget() {
  TDncPort* port = PortAt(CurrentPortIndex);
  if (!port || !Globals) return;
  TDncPort::THandOver what;
  what.NameForReception = 1;
  if (port->FileMode()) {
    char dir[TGlobals::kDirBufferSize] = {};
    CopyText(dir, port->Text(kPropFirstDirectory));
    if (!Globals->FileSaveDialog(this, dir, 0)) return;
    what.Name = what.Path = Globals->StartFile.c_str();
  } else {
    if (!ChooseProgramOf(this, what)) return;
    what.ProgramId = 0;  // a reception names its program; it sends none
  }
  HandOver(*port, what, false);
}

void TDncControll::CmJobMaintain() {
  TDncPort* port = PortAt(CurrentPortIndex);
  if (!port || !Globals) return;
  TDncPort::THandOver what;
  if (port->FileMode()) {
    if (!*port->FileDialogPath) CopyText(port->FileDialogPath, Globals->ScriptsDir.c_str());
    if (!Globals->FileOpenDialog(this, port->FileDialogPath, 1)) return;
    const std::string jobFile = Globals->StartFile.c_str();
    // The send file is the port's own: it is not rebuilt under a transfer.
    if (!port->Polling) {
      MessageBeep(0);
      return;
    }
    what.Path = BuildJobSendFile(port, jobFile.c_str());
    if (what.Path.empty()) return;
    what.Name = jobFile;
  } else {
    TFont font("FIXEDSYS", 12, 0, 0, 0, 400);
    Globals->SelectedId = 0;
    {
      TJobMaintainDlg dlg(this, &font, 1);
      if (dlg.Execute() != IDOK || Globals->SelectedId == 0) return;
    }
    const long jobId = Globals->SelectedId;
    {
      TJobTable02 lines;
      what.JobPrograms = lines.LoadJob(jobId);
    }
    if (!what.JobPrograms) {
      MessageBeep(0);
      return;
    }
    what.JobId = jobId;
    TJobTable01 jobs;
    std::unique_ptr<TJobRecord01> job(jobs.ReadJob(jobId));
    what.Name = job ? TrimText(job->NAME) : std::to_string(jobId);
  }
  HandOver(*port, what, true);
}

void TDncControll::CmCancelTransfer() {
  TDncPort* port = PortAt(CurrentPortIndex);
  if (!port) return;
  const std::string text = Globals ? Globals->GetMessageText(kMsgCancelTransfer) : std::string();
  if (MessageBox(text.c_str(), port->Text(kPropDisplayName), MB_YESNO | MB_ICONQUESTION) == IDNO) return;
  SetPortStatus(port->PortIndex, 4);
  port->NameForReception = 0;
  port->SignalCancel();
  SetDncEvent(kRefreshPanel);
}

void TDncControll::CmReceiveNew() {
  TDncPort* port = PortAt(CurrentPortIndex);
  if (!port || !Globals) return;
  Globals->CurrentMachineId = static_cast<int>(port->Setting(kPropMachineId));
  TReceiveNew dlg(this);
  if (dlg.Execute() != IDOK) return;
  // Only a polling port takes a name: a running reception is not renamed
  // under its threads.
  TDncPort::THandOver what;
  what.Name = dlg.Name;
  what.NameForReception = 1;
  HandOver(*port, what, false);
}

void TDncControll::CmOmit() {
  if (TDncPort* port = PortAt(CurrentPortIndex)) port->OmitLines = Checked(*this, kOmitCheck) ? 1 : 0;
}

void TDncControll::EvClose() {
  for (int i = 0; i < PortCount; i++)
    if (Ports[i] && !Ports[i]->Polling) return;
  const std::string text = Globals ? Globals->GetMessageText(kMsgStopServer) : std::string();
  if (MessageBox(text.c_str(), "Kelvane", MB_YESNO | MB_ICONQUESTION) == IDNO) return;
  if (TWindow* parent = GetParentO()) parent->PostMessage(WM_COMMAND, kCmDncStop);
}

void TDncControll::EvSize(UINT sizeType, const TSize& size) {
  TLangDlg::EvSize(sizeType, size);
  if (sizeType != SIZE_MINIMIZED && sizeType != SIZE_RESTORED) return;
  for (int i = 0; i < 3; i++)
    if (TDncDebug* w = DncDebugWindow(i)) w->ShowWindow(sizeType == SIZE_MINIMIZED ? SW_HIDE : SW_SHOW);
}

HBRUSH TDncControll::EvCtlColor(HDC dc, HWND control, UINT ctlType) {
  if (ctlType != CTLCOLOR_STATIC || !control) return nullptr;
  const int id = ::GetDlgCtrlID(control);
  auto stock = [](int which) { return static_cast<HBRUSH>(GetStockObject(which)); };
  auto brush = [this](int i) { return static_cast<HBRUSH>(brushes_[i]->GetHandle()); };
  if (id == IDC_DNC_CONTROL_STATE) {
    SetTextColor(dc, RGB(0, 255, 0));
    SetBkColor(dc, RGB(0, 0, 0));
    return stock(BLACK_BRUSH);
  }
  if (id >= kStatusStatic && id < kStatusStatic + kRows) {
    const StatusLook* l = LookOf(StatusOf(page_ * kRows + id - kStatusStatic));
    SetTextColor(dc, l ? l->fore : RGB(0, 0, 0));
    SetBkColor(dc, l ? l->back : RGB(255, 255, 255));
    if (!l || l->brush < 0) return stock(l && l->code == 4 ? LTGRAY_BRUSH : WHITE_BRUSH);
    return brush(l->brush);
  }
  if (id >= IDC_DNC_CONTROL_RECEIVED && id <= IDC_DNC_CONTROL_RATE) {
    SetTextColor(dc, RGB(255, 255, 0));
    SetBkColor(dc, RGB(0, 0, 255));
    return brush(kBlue);
  }
  if (id == IDC_DNC_CONTROL_PROGRAM) {
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    return stock(WHITE_BRUSH);
  }
  return nullptr;
}

DEFINE_RESPONSE_TABLE1(TReceiveNew, TLangDlg)
  EV_COMMAND(IDOK, CmOk),
END_RESPONSE_TABLE;

void TReceiveNew::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(644);
  SetItemText(IDC_RECEIVE_NEW_PROGRAM_LABEL, 200);
  SetItemText(IDC_RECEIVE_NEW_NAME_ONLY, 102);
}

void TReceiveNew::CmOk() {
  char text[41] = {};
  GetDlgItemText(IDC_RECEIVE_NEW_PROGRAM, text, sizeof text);
  if (!*text) return;
  if (!Checked(*this, IDC_RECEIVE_NEW_NAME_ONLY) && Globals) {
    // A program of that id on the machine: ask before a second one is made.
    std::string key = PadText(text, 40);
    UpperInPlace(key.data());
    std::string quoted;
    if (QuoteFilterText(key, quoted)) {
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      std::string filter = "UPPER(DESC) = " + quoted + " .AND. MID = " + std::to_string(Globals->CurrentMachineId);
      if (TcbFileRecord* found = t.Select(filter.c_str(), "DESC")) {
        FreeRecordList(found);
        const std::string ask = Globals->GetMessageText(kMsgReceiveAgain);
        if (MessageBox(ask.c_str(), "Kelvane", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
      }
    }
  }
  Name = text;
  CloseWindow(IDOK);
}

void RegisterDncCommands() {
  RegisterFrameCommand(kCmDncStart, [](TFrameWindow& frame, UINT) {
    if (Control) return;  // one server at a time
    auto* w = new TDncControll(&frame);
    if (!w->Create()) {
      delete w;
      return;
    }
    w->ShowWindow(SW_SHOW);
    Control = w;
    SetControlWindow(w);
    if (Globals && Globals->DebugMode) CreateDncDebugWindows(&frame);
    Master = StartDncServer();
    if (!Master) {
      SetControlWindow(nullptr);
      Control = nullptr;
      w->Destroy();
      delete w;
      DestroyDncDebugWindows();
      return;
    }
    frame.ShowWindow(SW_HIDE);
  });
  RegisterFrameCommand(kCmDncStop, [](TFrameWindow& frame, UINT) {
    if (Control) {
      // The window goes in every case: the master lets go of it at its end
      // and no window may outlive the server it shows. Cleared under the
      // lock, the window is no longer in use by the server's threads.
      SetControlWindow(nullptr);
      Control->Destroy();
      delete Control;
      Control = nullptr;
      DestroyDncDebugWindows();
      SetDncEvent(kStopServer);
    }
    frame.ShowWindow(SW_SHOW);
  });
}

plat::ThreadHandle StartedDncMaster() { return Master; }
