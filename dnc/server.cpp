#include "dnc/server.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "appcore/globals.h"
#include "dnc/dnclog.h"
#include "dnc/heidenhain.h"
#include "dnc/lsv2_threads.h"
#include "dnc/mazak_threads.h"
#include "dnc/raw_ascii.h"
#include "dnc/rs232.h"
#include "platform/msgbox.h"
#include "platform/sync.h"
#include "platform/ui/window.h"
#include "platform/winmsg.h"
#include "resources/dialogs/dnccontrol.h"

TPortSlot Ports[kMaxPorts];
std::atomic<int> PortCount{0};
std::atomic<TDncControlView*> ControlWindow{nullptr};
std::mutex ControlWindowLock;
std::atomic<int> CurrentPortIndex{0};
TDncPort* CurrentPort = nullptr;

void NullPortThread(void*) {}

namespace {

TDncThreadRole Role(int slot) { return TDncThreadRole{nullptr, slot}; }

TDncProtocolThreads Standard() {
  TDncProtocolThreads t;
  t.Served = true;
  t.Startup[0] = Role(kSlotPoll);
  t.Poll = Role(kSlotPoll);
  t.Send = t.SendOmit = Role(kSlotWrite);
  t.Receive = Role(kSlotRead);
  t.Parse = Role(kSlotParse);
  return t;
}

// The standard RS-232 chain: poll, read, parse, write.
TDncProtocolThreads StandardRs232() {
  TDncProtocolThreads t = Standard();
  t.Startup[0].Entry = t.Poll.Entry = Rs232PollThread;
  t.Receive.Entry = Rs232ReadThread;
  t.Parse.Entry = Rs232ParseThread;
  t.Send.Entry = Rs232WriteThread;
  t.SendOmit.Entry = Rs232WriteOmitThread;
  return t;
}

// Type 9: the received program's numbering is checked before it is
// parsed.
TDncProtocolThreads CheckedRs232() {
  TDncProtocolThreads t = StandardRs232();
  t.Parse.Entry = Rs232CheckParseThread;
  return t;
}

// Type 7: sends pause on the lines that hold the wait text.
TDncProtocolThreads DelayedRs232() {
  TDncProtocolThreads t = StandardRs232();
  t.Send.Entry = t.SendOmit.Entry = Rs232WriteWaitThread;
  return t;
}

TDncProtocolThreads Heidenhain() {
  TDncProtocolThreads t;
  t.Served = true;
  // Started in this order; the slots are poll, send, read, parse, wait,
  // answer.
  const plat::ThreadEntry entries[6] = {HeiPollThread, HeiSendThread,   HeiReadThread,
                                        HeiParsThread, HeiAnswerThread, HeiWaitThread};
  const int slots[6] = {0, 1, 2, 3, 5, 4};
  for (int i = 0; i < 6; i++) t.Startup[i] = TDncThreadRole{entries[i], kSlotHeidenhain + slots[i]};
  t.Poll = t.Startup[0];
  t.Send = t.SendOmit = t.Startup[1];
  return t;
}

// Type 4: bytes kept whole, programs sent as their files' bytes.
TDncProtocolThreads RawAscii() {
  TDncProtocolThreads t = Standard();
  t.Startup[0].Entry = t.Poll.Entry = RawPollThread;
  t.Receive.Entry = RawReadThread;
  t.Parse.Entry = RawParseThread;
  t.Send.Entry = t.SendOmit.Entry = RawWriteThread;
  return t;
}

TDncProtocolThreads Lsv2() {
  TDncProtocolThreads t;
  t.Served = true;
  // Slots: poll, wait, send, read, answer; started poll, send, read,
  // wait, answer.
  t.Startup[0] = t.Poll = TDncThreadRole{Lsv2PollingThread, kSlotLsv2};
  t.Startup[1] = TDncThreadRole{Lsv2SendThread, kSlotLsv2 + 2};
  t.Startup[2] = TDncThreadRole{Lsv2ReadThread, kSlotLsv2 + 3};
  t.Startup[3] = TDncThreadRole{Lsv2WaitThread, kSlotLsv2 + 1};
  t.Startup[4] = TDncThreadRole{Lsv2AnswerThread, kSlotLsv2 + 4};
  // The standard write slot is free on this port: a send request is
  // refused there while the port keeps polling.
  t.Send = t.SendOmit = TDncThreadRole{Lsv2SendRefusedThread, kSlotWrite};
  t.SendEndsPoll = false;
  return t;
}

TDncProtocolThreads Mazak() {
  TDncProtocolThreads t = Standard();
  // Relative to the sub-type's four slots.
  t.Startup[0] = t.Poll = Role(kSlotPoll);
  t.Startup[0].Entry = t.Poll.Entry = MazakPollThread;
  t.Receive.Entry = MazakReceiveThread;
  t.Parse.Entry = MazakParseThread;
  t.Send.Entry = t.SendOmit.Entry = MazakSendThread;
  return t;
}

TDncProtocolThreads ReceiveOnly() {
  TDncProtocolThreads t;
  t.Served = true;
  t.Startup[0] = t.Poll = Role(kSlotPoll);
  t.Receive = TDncThreadRole{NullPortThread, kSlotReceiveOnly};
  return t;
}

// Events live as long as the process: a stop set just after the start is
// never lost to an event being made anew.
plat::Event Events[kServerEvents];

struct ThreadStart {
  TDncPort* port;
  plat::ThreadEntry entry;
  int slot;
  plat::Thread* self = nullptr;
};

void RunPortThread(void* arg) {
  auto* s = static_cast<ThreadStart*>(arg);
  s->entry(s->port);
  {
    std::lock_guard<std::mutex> g(s->port->SlotLock);
    if (s->port->Threads[s->slot].get() == s->self) s->port->Threads[s->slot].reset();
  }
  delete s;
}

int SlotOf(const TDncPort& port, int slot) {
  if (port.Protocol() == kProtoMazak && slot >= 0 && slot < 4) {
    long sub = port.Setting(kPropMazakType);
    if (sub < 0 || sub > 7) sub = 0;
    return kSlotMazak + static_cast<int>(sub) * 4 + slot;
  }
  return slot;
}

const TDncProtocolThreads* ThreadsOf(const TDncPort& port) {
  int type = port.Protocol();
  if (type < 0 || type > 9 || !DncProtocolTable[type].Served) return nullptr;
  return &DncProtocolTable[type];
}

void SetStatus(TDncPort& port, int status) {
  WithControlWindow([&](TDncControlView& w) { w.SetPortStatus(port.PortIndex, status); });
}

void UpdatePanel() {
  WithControlWindow([](TDncControlView& w) { w.UpdatePortPanel(); });
}

void StartPolling(TDncPort& port) {
  if (const TDncProtocolThreads* t = ThreadsOf(port)) StartPortThread(&port, t->Poll);
}

void ServeRequest(TDncPort& port, int code) {
  const TDncProtocolThreads* t = ThreadsOf(port);
  if (!t) return;
  switch (code) {
    case kRequestSend:
      SetStatus(port, 5);
      StartPortThread(&port, port.OmitLines ? t->SendOmit : t->Send);
      break;
    case kRequestReceive:
      SetStatus(port, 6);
      StartPortThread(&port, t->Receive);
      break;
    case kRequestPoll:
      SetStatus(port, 4);
      if (port.TransferFile) {
        port.TransferFile->FlushBuffer();
        port.TransferFile->Close();
        port.TransferFile.reset();
      }
      port.ClearRequest();
      StartPolling(port);
      break;
    case kRequestParse:
      SetStatus(port, 10);
      StartPortThread(&port, t->Parse);
      break;
    default:
      return;
  }
  UpdatePanel();
}

void ScanRequests() {
  for (int i = 0; i < PortCount; i++) {
    if (!Ports[i]) continue;
    for (int code; (code = Ports[i]->TakeRequest()) != kRequestNone;) ServeRequest(*Ports[i], code);
  }
}

TDncPort* SelectedPort() {
  int i = CurrentPortIndex.load();
  CurrentPort = i >= 0 && i < kMaxPorts ? static_cast<TDncPort*>(Ports[i]) : nullptr;
  return CurrentPort;
}

void HandOverSend() {
  if (!ControlWindow.load()) return;
  TDncPort* port = SelectedPort();
  // Only a polling port takes a send: its poll thread ends on the event.
  if (!port || !port->SignalSendRequest()) return;
  // The port sends from here on, though its poll thread may take a moment
  // to end: until it polls again the window hands nothing more over.
  const TDncProtocolThreads* t = ThreadsOf(*port);
  if (t && t->SendEndsPoll) port->StopPolling();
  PostPortRequest(port, kRequestSend);
}

void ShowSelected() {
  if (!ControlWindow.load()) return;
  TDncPort* port = SelectedPort();
  if (!port) return;
  const std::string shown = port->ShownProgram();
  std::string program = std::string("Program : ") + (shown.empty() ? "?" : shown);
  WithControlWindow([&](TDncControlView& w) {
    w.SetItemText(IDC_DNC_CONTROL_PROGRAM, program.c_str());
    w.SetItemText(IDC_DNC_CONTROL_RECEIVED, std::to_string(port->BytesReceived.load()).c_str());
    w.SetItemText(IDC_DNC_CONTROL_SENT, std::to_string(port->BytesSent.load()).c_str());
    w.SetItemText(IDC_DNC_CONTROL_TOTAL, std::to_string(port->BytesTotal.load()).c_str());
  });
}

// A copy of a row for its port, so the rows the window shows stay valid
// whatever happens to the port.
TMultiDncRecord* CopyRow(const TMultiDncRecord& row) {
  auto* r = new TMultiDncRecord;
  std::memcpy(r->Number, row.Number, sizeof r->Number);
  std::memcpy(r->Short156, row.Short156, sizeof r->Short156);
  std::memcpy(r->ListLength, row.ListLength, sizeof r->ListLength);
  std::memcpy(r->ExtractState, row.ExtractState, sizeof r->ExtractState);
  for (int n = 1; n <= TMultiDncRecord::kProperties; n++)
    if (const char* t = row.GetValue(n)) r->SetText(n, t);
  return r;
}

// A DNC station is its server: when the server ends, the program ends. An
// editor station keeps running, with the user's open programs.
void CloseMainWindow() {
  if (Globals && Globals->MainWnd && Globals->DncStationMode) PostMessage(Globals->MainWnd, WM_CLOSE, 0, 0);
}

void DestroyPort(int slot) {
  TDncPort* port = Ports[slot];
  Ports[slot] = nullptr;
  if (!port) return;
  port->StopEvent.set();
  std::vector<plat::ThreadHandle> threads;
  {
    std::lock_guard<std::mutex> g(port->SlotLock);
    threads = port->Started;
  }
  for (auto& h : threads) plat::wait_for_single(h.get(), INFINITE);
  delete port;
}

bool OpenPorts(TMultiDncRecord* rows) {
  PortCount = 0;
  for (auto& p : Ports) p = nullptr;
  for (TcbRecord* r = rows; r; r = r->next) {
    auto* row = static_cast<TMultiDncRecord*>(r);
    const long com = row->GetListA(kPropComNumber);
    if (com == 0) continue;
    if (PortCount == kMaxPorts) {
      DncLog(("More than 128 ports: row " + std::to_string(row->Number[kPropId]) + " not served").c_str(),
             static_cast<int>(com));
      continue;
    }
    auto* port = new TDncPort(CopyRow(*row));
    if (!port->OpenResult) {
      const char* name = row->GetValue(kPropDisplayName);
      std::string text = "Port " + std::to_string(PortCount + 1) + ":\r\nMachine : " + (name ? name : "") +
                         "\r\n\r\nPort Initialization failure on COMM" + std::to_string(com);
      if (!port->OpenError.empty()) text += "\r\n\r\n" + port->OpenError;
      DncPortLog("Port Initialization failure", port);
      WithControlWindow([&](TDncControlView& w) { w.ReportPortFailure(PortCount, text.c_str()); });
      delete port;
      continue;
    }
    port->PortIndex = PortCount;
    Ports[PortCount++] = port;
  }
  return true;
}

void StartIdleThreads() {
  for (int i = 0; i < PortCount; i++) {
    TDncPort* port = Ports[i];
    if (!port) continue;
    const TDncProtocolThreads* t = ThreadsOf(*port);
    if (!t || !port->OpenResult) {
      DncPortLog("Protocol type not served: port removed", port);
      DestroyPort(i);
      continue;
    }
    for (const auto& role : t->Startup)
      if (role.Slot >= 0) StartPortThread(port, role);
  }
}

}  // namespace

TDncProtocolThreads DncProtocolTable[10] = {StandardRs232(), Mazak(),        Heidenhain(), Lsv2(), RawAscii(),
                                            {},         ReceiveOnly(),  DelayedRs232(), Heidenhain(), CheckedRs232()};

void SetControlWindow(TDncControlView* view) {
  std::lock_guard<std::mutex> hold(ControlWindowLock);
  ControlWindow = view;
}

void SetDncEvent(int which) {
  if (which >= 0 && which < kServerEvents) Events[which].set();
}

void PostPortRequest(TDncPort* port, int code) {
  if (!port) return;
  port->PushRequest(code);
  Events[kScanRequests].set();
}

constexpr double kSlotHandOverMs = 250;

void StartPortThread(TDncPort* port, const TDncThreadRole& role) {
  if (!port || !role.Entry || role.Slot < 0) return;
  const int slot = SlotOf(*port, role.Slot);
  if (slot < 0 || slot >= kThreadSlots) return;
  // A thread that asked for its successor as its last act (a write thread
  // asking for the poll, a job's poll asking for the next send) may not have
  // left the slot yet: give it a moment, in real time whatever the clock's
  // scale, rather than lose the request. A thread that keeps its slot for
  // good is waited for that long only.
  plat::ThreadHandle busy;
  {
    std::lock_guard<std::mutex> g(port->SlotLock);
    busy = port->Threads[slot];
  }
  if (busy) plat::wait_for_single(busy.get(), static_cast<DWORD>(kSlotHandOverMs / plat::time_scale()));
  std::lock_guard<std::mutex> g(port->SlotLock);
  if (port->Threads[slot]) return;
  auto* start = new ThreadStart{port, role.Entry, slot};
  plat::ThreadHandle h = plat::begin_thread(RunPortThread, kPortStack, start);
  if (!h) {
    delete start;
    DncPortLog("Thread could not be started", port);
    return;
  }
  start->self = h.get();
  port->Threads[slot] = h;
  std::erase_if(port->Started, [](const plat::ThreadHandle& t) { return t->finished(); });
  port->Started.push_back(h);
}

plat::ThreadHandle StartDncServer() {
  // A stop or request left over from a server that already ended (a stop
  // command after a failed start) must not end or drive the new one; what
  // is set from now on reaches it, even before its thread runs.
  for (auto& e : Events) e.reset();
  return plat::begin_thread(DncServerThread, kMasterStack, nullptr);
}

void DncServerThread(void*) {
  TMultiDncRecord* rows = nullptr;
  {
    TMultiDncTable table("KELVMD32.DBF", 1, 0);
    rows = table.LoadAllDetached(1);
  }
  if (!rows) {
    MessageBox(nullptr, "Port Initialization failure:\r\n\r\nPlease run setup\r\n\r\nTramox will terminate!",
               "Fatal Error", MB_OK);
    CloseMainWindow();
    ClearDncDebugWindows();
    return;
  }
  WithControlWindow([rows](TDncControlView& w) { w.SetPorts(rows); });
  // A line of the port map that named no port leaves its port on the
  // default device: say so before the ports open.
  if (Globals)
    for (const std::string& problem : Globals->ComPortMapProblems) DncStationLog(problem.c_str());
  OpenPorts(rows);
  StartIdleThreads();
  CurrentPort = Ports[0];
  if (Ports[0] && Ports[0]->Protocol() == kProtoStandard)
    WithControlWindow([](TDncControlView& w) {
      w.ShowItem(IDC_DNC_CONTROL_SEND, true);
      w.ShowItem(IDC_DNC_CONTROL_RECEIVE, true);
    });

  plat::Waitable* waits[kServerEvents];
  for (int i = 0; i < kServerEvents; i++) waits[i] = &Events[i];
  for (bool serving = true; serving;) {
    switch (plat::wait_for_multiple(waits, kServerEvents, false, INFINITE)) {
      case WAIT_OBJECT_0 + kStopServer:
        serving = false;
        break;
      case WAIT_OBJECT_0 + kRefreshPanel:
        UpdatePanel();
        break;
      case WAIT_OBJECT_0 + kScanRequests:
        ScanRequests();
        break;
      case WAIT_OBJECT_0 + kSendRequest:
        HandOverSend();
        break;
      case WAIT_OBJECT_0 + kPortSelected:
        ShowSelected();
        break;
      default:
        break;
    }
  }

  // Every port's threads see the stop before any port is freed.
  for (int i = 0; i < PortCount; i++)
    if (Ports[i]) Ports[i]->StopEvent.set();
  for (int i = 0; i < PortCount; i++) DestroyPort(i);
  PortCount = 0;
  CurrentPort = nullptr;
  FreeRecordList(rows);
  SetControlWindow(nullptr);
  ClearDncDebugWindows();
  CloseMainWindow();
}
