#include "dnc/control_window.h"

#include <cstdio>
#include <cstring>

#include "app/frame_commands.h"
#include "appcore/globals.h"
#include "appcore/text_scan.h"
#include "dbmodel/filetable.h"
#include "dbmodel/job.h"
#include "dnc/dnclog.h"
#include "dnc/job_dialogs.h"
#include "dnc/jobfile.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "storage/program_lock.h"

namespace {

constexpr int kStatusStatic = 200, kRowRadio = 101, kPageButton = 300, kOmitCheck = 110;
constexpr int kSend = 600, kReceive = 601, kCancel = 602, kReceiveNew = 603, kSendJob = 605;
constexpr UINT kCmDncStart = 25152, kCmDncStop = 25154;

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
  Globals->CurrentProgramId = 0;
  if (choose(parent) != IDOK || Globals->CurrentProgramId == 0) return false;
  TcbFileTable programs("KELVFILE.DBF", 0, 0);
  std::unique_ptr<TcbFileRecord> chosen(programs.FindById(Globals->CurrentProgramId));
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
  EV_COMMAND_AND_ID(101, CmRow), EV_COMMAND_AND_ID(102, CmRow), EV_COMMAND_AND_ID(103, CmRow),
  EV_COMMAND_AND_ID(104, CmRow), EV_COMMAND_AND_ID(105, CmRow), EV_COMMAND_AND_ID(106, CmRow),
  EV_COMMAND_AND_ID(107, CmRow), EV_COMMAND_AND_ID(108, CmRow),
  EV_COMMAND_AND_ID(300, CmPage), EV_COMMAND_AND_ID(301, CmPage), EV_COMMAND_AND_ID(302, CmPage),
  EV_COMMAND_AND_ID(303, CmPage), EV_COMMAND_AND_ID(304, CmPage), EV_COMMAND_AND_ID(305, CmPage),
  EV_COMMAND_AND_ID(306, CmPage), EV_COMMAND_AND_ID(307, CmPage), EV_COMMAND_AND_ID(308, CmPage),
  EV_COMMAND_AND_ID(309, CmPage), EV_COMMAND_AND_ID(310, CmPage), EV_COMMAND_AND_ID(311, CmPage),
  EV_COMMAND_AND_ID(312, CmPage), EV_COMMAND_AND_ID(313, CmPage), EV_COMMAND_AND_ID(314, CmPage),
  EV_COMMAND_AND_ID(315, CmPage),
  EV_COMMAND(600, CmSend),
  EV_COMMAND(601, CmReceiveTarget),
  EV_COMMAND(605, CmJobMaintain),
  EV_COMMAND(602, CmCancelTransfer),
  EV_COMMAND(603, CmReceiveNew),
  EV_COMMAND(110, CmOmit),
  EV_COMMAND(IDCANCEL, CmNothing),
  EV_WM_CLOSE,
  EV_WM_SIZE,
  EV_WM_CTLCOLOR,
END_RESPONSE_TABLE;

TDncControll::TDncControll(TWindow* parent) : TLangDlg(parent, kTemplate) {
  for (int i = 0; i < 6; i++) statusTexts_[i] = Globals ? Globals->GetMessageText(1113 + i) : std::string();
  const COLORREF colours[5] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 0), RGB(255, 0, 255)};
  for (int i = 0; i < 5; i++) brushes_[i] = std::make_unique<TBrush>(colours[i]);
  for (auto& s : statusCodes_) s = 0;
}

TDncControll::~TDncControll() {
  TDncControlView* self = this;
  ControlWindow.compare_exchange_strong(self, nullptr);
}

void TDncControll::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaption("Tramox 3.56 (1)");
  SetItemTexts(600, 664, 4);
  SetItemTexts(401, 706, 5);
  TLangDlg::SetItemText(605, 689);
  if (Globals) SetDlgItemText(109, Globals->GetMessageText(291).c_str());
  // The Unix link is not part of this station: its buttons stay hidden.
  for (int id : {700, 701}) ::ShowWindow(GetDlgItem(id), SW_HIDE);
  ShowPage(0);
}

void TDncControll::SetPorts(TMultiDncRecord* rows) {
  std::vector<std::string> names;
  std::vector<bool> fileModes;
  for (TcbRecord* r = rows; r; r = r->next) {
    auto* row = static_cast<TMultiDncRecord*>(r);
    // The master numbers only the rows with a COM number.
    if (row->GetListA(66) == 0) continue;
    const char* n = row->GetValue(37);
    names.push_back(n ? n : "");
    fileModes.push_back(row->GetListB(kPropFileMode) != 0);
  }
  const int count = static_cast<int>(names.size());
  {
    std::lock_guard<std::mutex> g(namesLock_);
    names_ = std::move(names);
    fileModes_ = std::move(fileModes);
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
  bool fileMode = false;
  {
    std::lock_guard<std::mutex> g(namesLock_);
    fileMode = index >= 0 && index < static_cast<int>(fileModes_.size()) && fileModes_[index];
  }
  // A program of the database is chosen through the program search; a
  // station without it offers Send and Receive on plain files only.
  const bool canChoose = fileMode || static_cast<bool>(GetProgramChooser());
  for (int id : {kSend, kReceive}) ::EnableWindow(GetDlgItem(id), canChoose);
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
  SetDlgItemText(500, text);
  std::snprintf(text, sizeof text, "%lu", sent);
  SetDlgItemText(501, text);
  std::snprintf(text, sizeof text, "%lu", total);
  SetDlgItemText(502, text);
  const unsigned long bytes = sent ? sent : received;
  unsigned long seconds = 0, rate = 0;
  if (bytes) {
    const unsigned long elapsed = plat::tick_count() - port->TransferStart;
    seconds = elapsed / 1000;
    rate = elapsed ? bytes * 100 / elapsed * 100 : 0;
  }
  std::snprintf(text, sizeof text, "%02lu.%02lu.%02lu", seconds / 3600, (seconds / 60) % 60, seconds % 60);
  SetDlgItemText(503, text);
  std::snprintf(text, sizeof text, "%lu", rate);
  SetDlgItemText(504, text);
  const std::string pending = port->PendingText();
  SetDlgItemText(400, ("Program : " + (pending.empty() ? std::string("?") : pending)).c_str());
}

void TDncControll::SetItemText(int id, const char* text) { SetDlgItemText(id, text ? text : ""); }

void TDncControll::ShowItem(int id, bool show) { ::ShowWindow(GetDlgItem(id), show ? SW_SHOW : SW_HIDE); }

void TDncControll::ReportPortFailure(int, const char* text) {
  // The server runs on without the port; the operator reads why.
  if (text) SetDlgItemText(109, text);
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
  SetDlgItemText(400, ("Program : " + what.Name).c_str());
  return true;
}

void TDncControll::CmSend() {
  TDncPort* port = PortAt(CurrentPortIndex);
  if (!port || !Globals) return;
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
  const std::string text = Globals ? Globals->GetMessageText(1141) : std::string();
  if (MessageBox(text.c_str(), port->Text(37), MB_YESNO | MB_ICONQUESTION) == IDNO) return;
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
  const std::string text = Globals ? Globals->GetMessageText(1140) : std::string();
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
  if (id == 109) {
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
  if (id >= 500 && id <= 504) {
    SetTextColor(dc, RGB(255, 255, 0));
    SetBkColor(dc, RGB(0, 0, 255));
    return brush(kBlue);
  }
  if (id == 400) {
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
  SetItemText(645, 200);
  SetItemText(102, 102);
}

void TReceiveNew::CmOk() {
  char text[41] = {};
  GetDlgItemText(101, text, sizeof text);
  if (!*text) return;
  if (!Checked(*this, 102) && Globals) {
    // A program of that id on the machine: ask before a second one is made.
    std::string key = PadText(text, 40);
    UpperInPlace(key.data());
    std::string quoted;
    if (QuoteFilterText(key, quoted)) {
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      std::string filter = "UPPER(DESC) = " + quoted + " .AND. MID = " + std::to_string(Globals->CurrentMachineId);
      if (TcbFileRecord* found = t.Select(filter.c_str(), "DESC")) {
        FreeRecordList(found);
        if (MessageBox(Globals->GetMessageText(164).c_str(), "Kelvane", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
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
    ControlWindow = w;
    if (Globals && Globals->DebugMode) CreateDncDebugWindows(&frame);
    if (!StartDncServer()) {
      ControlWindow = nullptr;
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
      // and no window may outlive the server it shows.
      ControlWindow = nullptr;
      Control->Destroy();
      delete Control;
      Control = nullptr;
      DestroyDncDebugWindows();
      SetDncEvent(kStopServer);
    }
    frame.ShowWindow(SW_SHOW);
  });
}
