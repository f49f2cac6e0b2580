// The master thread with a few ports against machines simulated on
// pseudo-terminals: start-up from the port table, dispatch of requests by
// protocol type, the send request, and a shutdown that leaves no thread
// running. The protocol threads are stand-ins written for these tests
// (wait for the line, read until it goes quiet, name and store, go back to
// polling); the real ones replace them in the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "dnc/dnclog.h"
#include "dnc/server.h"
#include "platform/ui/resource.h"
#include "dnc_fixture.h"
#include "platform/msgbox.h"
#include "tests/sim/machine_sim.h"

namespace {

using kvdnc::DncTest;

std::atomic<int> Running{0};
std::atomic<int> Pollers{0};
std::mutex StartedLock;
std::vector<std::string> StartedRoles;

void Started(const char* role, TDncPort* port) {
  std::lock_guard<std::mutex> g(StartedLock);
  StartedRoles.push_back(std::string(role) + " " + std::to_string(port->PortIndex));
}

// Waits for the first character, a send request or the stop.
void TestPoll(void* arg) {
  auto* port = static_cast<TDncPort*>(arg);
  Running++;
  Started("poll", port);
  port->Polling = 1;
  port->OpenSendRequestEvent();
  plat::Event done(true, false);
  port->WaitOverlapped.hEvent = &done;
  DWORD mask = 0, n = 0;
  plat::COMSTAT st;
  DWORD errors = 0;
  // Arrivals seen by an earlier wait count no more; what is queued now is
  // asked for directly.
  plat::set_comm_mask(port->ComHandle, EV_RXCHAR);
  plat::clear_comm_error(port->ComHandle, &errors, &st);
  int result = 2;
  if (st.cbInQue == 0 && !plat::wait_comm_event(port->ComHandle, &mask, &port->WaitOverlapped)) {
    Pollers++;
    plat::Waitable* waits[] = {&port->StopEvent, port->SendRequest(), &done};
    DWORD w = plat::wait_for_multiple(waits, 3, false, INFINITE);
    Pollers--;
    if (w != WAIT_OBJECT_0 + 2) {
      plat::set_comm_mask(port->ComHandle, EV_RXCHAR);  // ends the pending wait
      plat::get_overlapped_result(port->ComHandle, &port->WaitOverlapped, &n, TRUE);
      result = 0;
    }
  }
  port->WaitOverlapped.hEvent = nullptr;
  port->CloseSendRequestEvent();
  port->Polling = 0;
  if (result) PostPortRequest(port, kRequestReceive);
  Running--;
}

// Reads blocks through the filter until a block comes short (the line went
// quiet) or the server stops.
void TestRead(void* arg) {
  auto* port = static_cast<TDncPort*>(arg);
  Running++;
  Started("read", port);
  port->TransferFile = std::make_unique<TMyFile>(port->TransferPath.c_str());
  port->TransferFile->Open(0);
  port->ReceptionTriggered = port->Codes(kPropStartTrigger).empty() ? 1 : 0;
  port->ReceptionEnded = 0;
  port->LineEndSkip = 0;
  port->BytesReceived = 0;
  plat::Event done(true, false);
  port->ReadOverlapped.hEvent = &done;
  bool stopped = false;
  for (;;) {
    unsigned char buf[1024];
    DWORD n = 0;
    if (!plat::read_comm(port->ComHandle, buf, sizeof buf, &n, &port->ReadOverlapped)) {
      plat::Waitable* waits[] = {&port->StopEvent, &done};
      if (plat::wait_for_multiple(waits, 2, false, INFINITE) == WAIT_OBJECT_0) {
        plat::purge_comm(port->ComHandle, PURGE_RXABORT);
        stopped = true;
      }
      plat::get_overlapped_result(port->ComHandle, &port->ReadOverlapped, &n, TRUE);
    }
    if (stopped) break;
    port->WriteReceived(buf, n);
    port->BytesReceived += n;
    if (n < sizeof buf) break;
  }
  port->ReadOverlapped.hEvent = nullptr;
  if (!stopped) PostPortRequest(port, kRequestParse);
  Running--;
}

void TestParse(void* arg) {
  auto* port = static_cast<TDncPort*>(arg);
  Running++;
  Started("parse", port);
  // A parse the test asks for beside a send has no receive file to close.
  if (port->TransferFile) port->TransferFile.reset();
  bool named = false;
  {
    TMyFile in(port->TransferPath.c_str());
    if (in.Open(1))
      while (auto line = in.ReadLine(1))
        if ((named = port->ExtractProgramName(line.get()) != 0)) break;
  }
  if (named)
    port->StoreReceived();
  else
    port->StoreFailed();
  PostPortRequest(port, kRequestPoll);
  Running--;
}

// Sends that ask for another send as their last act, like a job's
// programs, and linger a moment before they leave their slot.
std::atomic<int> ChainedSends{0};

void TestWrite(void* arg) {
  auto* port = static_cast<TDncPort*>(arg);
  Running++;
  Started(port->OmitLines ? "write-omit" : "write", port);
  if (ChainedSends > 0) {
    ChainedSends--;
    PostPortRequest(port, kRequestSend);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  } else {
    PostPortRequest(port, kRequestPoll);
  }
  Running--;
}

class RecordingView : public TDncControlView {
 public:
  void SetPorts(TMultiDncRecord* rows) override {
    std::lock_guard<std::mutex> g(lock);
    for (TcbRecord* r = rows; r; r = r->next) rowCount++;
  }
  void SetPortStatus(int index, int status) override {
    std::lock_guard<std::mutex> g(lock);
    statuses.push_back(std::to_string(index) + ":" + std::to_string(status));
  }
  void UpdatePortPanel() override { panelUpdates++; }
  void SetItemText(int id, const char* text) override {
    std::lock_guard<std::mutex> g(lock);
    texts.push_back(std::to_string(id) + "=" + text);
  }
  void ShowItem(int id, bool) override {
    std::lock_guard<std::mutex> g(lock);
    shown.push_back(id);
  }
  void ReportPortFailure(int index, const char* text) override {
    std::lock_guard<std::mutex> g(lock);
    failures.push_back(std::to_string(index) + " " + text);
  }
  std::vector<std::string> Statuses() {
    std::lock_guard<std::mutex> g(lock);
    return statuses;
  }

  std::mutex lock;
  int rowCount = 0;
  std::atomic<int> panelUpdates{0};
  std::vector<std::string> statuses, texts, failures;
  std::vector<int> shown;
};

class ServerTest : public DncTest {
 protected:
  void SetUp() override {
    DncTest::SetUp();
    saved_ = DncProtocolTable[kProtoStandard];
    auto& t = DncProtocolTable[kProtoStandard];
    t.Startup[0].Entry = t.Poll.Entry = TestPoll;
    t.Receive.Entry = TestRead;
    t.Parse.Entry = TestParse;
    t.Send.Entry = t.SendOmit.Entry = TestWrite;
    StartedRoles.clear();
    plat::set_time_scale(0.01);
  }
  void TearDown() override {
    if (master_) {  // a test that failed half-way still stops its server
      SetDncEvent(kStopServer);
      plat::wait_for_single(master_.get(), INFINITE);
    }
    DncProtocolTable[kProtoStandard] = saved_;
    ControlWindow = nullptr;
    DestroyDncDebugWindows();
    plat::set_time_scale(1.0);
    DncTest::TearDown();
  }

  // The port table with rows (COM number, protocol type) in ids 0, 1, ...
  void PortTable(const std::vector<std::pair<int, int>>& rows) {
    TMultiDncTable t("KELVMD32.DBF", 1, 0);
    t.Create((Root() + "/alt/KELVMD32.DBF").c_str());
    for (size_t i = 0; i < rows.size(); i++) {
      std::unique_ptr<TMultiDncRecord> r(t.FindById(static_cast<long>(i)));
      ASSERT_TRUE(r);
      r->SetListA(kPropComNumber, rows[i].first);
      r->SetListA(kPropProtocol, rows[i].second);
      r->SetListB(kPropFileMode, 0);
      r->Number[kPropMachineId] = machineId_;
      r->Number[kPropBaud] = 12;
      r->Number[kPropDataBits] = 3;
      r->Number[kPropNulFilter] = 1;
      r->Number[kPropStorageMode] = 1;
      r->Number[kPropReadTimeout] = 5;
      r->SetText(kPropIdTrigger, "40");
      r->SetText(kPropIdEndTrigger, "41");
      r->SetText(kPropDisplayName, ("Machine " + std::to_string(i)).c_str());
      ASSERT_EQ(t.Update(r.get()), 1);
    }
  }

  plat::ThreadHandle Start() { return master_ = StartDncServer(); }
  void Stop(const plat::ThreadHandle& master) {
    master_.reset();
    DestroyDncDebugWindows();
    SetDncEvent(kStopServer);
    plat::wait_for_single(master.get(), INFINITE);
    EXPECT_EQ(Running.load(), 0) << "a port thread outlived the server";
    EXPECT_EQ(PortCount, 0);
    EXPECT_EQ(ControlWindow.load(), nullptr);
  }

  TDncProtocolThreads saved_;
  plat::ThreadHandle master_;
};

TEST_F(ServerTest, StartDispatchAndStop) {
  sim::Machine m1(11), m2(12), m3(13);
  // Row 2 is of a reserved type, row 3 has no line, row 4 no COM number.
  PortTable({{11, 0}, {12, 0}, {13, 5}, {14, 0}, {0, 0}, {0, 4}});
  const std::string gone = Root() + "/no-such-tty";
  plat::map_comm_port(14, gone);
  RecordingView view;
  ControlWindow = &view;
  plat::set_resource_dir(KV_SOURCE_DIR "/resources");
  Globals->DebugMode = 1;
  CreateDncDebugWindows(nullptr);
  auto master = Start();
  ASSERT_TRUE(WaitFor([&view] {
    std::lock_guard<std::mutex> g(view.lock);
    return Pollers == 2 && view.shown.size() == 2;  // the buttons come last
  }));
  {
    std::lock_guard<std::mutex> g(view.lock);
    EXPECT_EQ(view.rowCount, 64);
    ASSERT_EQ(view.failures.size(), 1u);
    EXPECT_EQ(view.failures[0], "3 Port 4:\r\nMachine : Machine 3\r\n\r\nPort Initialization failure on COMM14\r\n\r\nCOM14 -> " +
                                    gone + ": no such device");
    EXPECT_EQ(view.shown, (std::vector<int>{600, 601}));
  }
  EXPECT_EQ(PortCount, 3);
  EXPECT_EQ(Ports[2], nullptr) << "the reserved type's slot stays empty";

  // A program from the first machine goes round the whole cycle.
  m1.SendProgram('%', "\r\n(PROG7)\r\nG1 X10\r\nM30\r\n", '%');
  ASSERT_TRUE(WaitFor([this] { return Rows(DbPath("KELVFILE.DBF")).size() == 1 && Pollers == 2; }));
  EXPECT_EQ(kvdb::ReadFileBytes(Native(Root() + "/mach1\\P3.NC")), "%\r\n(PROG7)\r\nG1 X10\r\nM30\r\n%");
  EXPECT_EQ(view.Statuses(), (std::vector<std::string>{"0:6", "0:10", "0:4"}));

  // Two requests before a scan are both served, in order.
  Ports[1]->PushRequest(kRequestSend);
  Ports[1]->PushRequest(kRequestParse);
  Ports[1]->PushRequest(3);
  SetDncEvent(kScanRequests);
  ASSERT_TRUE(WaitFor([&view] { return view.Statuses().size() >= 7; }));
  auto s = view.Statuses();
  EXPECT_EQ(std::vector<std::string>(s.begin() + 3, s.begin() + 5), (std::vector<std::string>{"1:5", "1:10"}));

  // A send request reaches a polling port through its poll thread.
  ASSERT_TRUE(WaitFor([] { return Pollers == 2; }));
  Ports[0]->OmitLines = 1;
  CurrentPortIndex = 0;
  SetDncEvent(kSendRequest);
  ASSERT_TRUE(WaitFor([] {
    std::lock_guard<std::mutex> g(StartedLock);
    return std::find(StartedRoles.begin(), StartedRoles.end(), "write-omit 0") != StartedRoles.end();
  }));
  CurrentPortIndex = 1;
  SetDncEvent(kPortSelected);
  ASSERT_TRUE(WaitFor([&view] {
    std::lock_guard<std::mutex> g(view.lock);
    return view.texts.size() >= 4;
  }));
  EXPECT_EQ(view.texts[0], "400=Program : ?");
  Stop(master);
}

// The request reaches the master while the thread that made it still
// holds the slot it asks for: it is served once the slot is free.
TEST_F(ServerTest, ARequestForASlotStillBeingLeftIsNotLost) {
  sim::Machine m1(11);
  PortTable({{11, 0}});
  auto master = Start();
  ASSERT_TRUE(WaitFor([] { return Pollers == 1; }));
  ChainedSends = 2;
  Ports[0]->PushRequest(kRequestSend);
  SetDncEvent(kScanRequests);
  auto writes = [] {
    std::lock_guard<std::mutex> g(StartedLock);
    return std::count(StartedRoles.begin(), StartedRoles.end(), "write 0");
  };
  ASSERT_TRUE(WaitFor([&] { return writes() == 3 && Pollers == 1; }));
  ChainedSends = 0;
  Stop(master);
}

TEST_F(ServerTest, RowsWithoutComNumbersGiveNoPorts) {
  PortTable({{0, 0}, {0, 1}});
  auto master = Start();
  ASSERT_TRUE(WaitFor([] { return PortCount == 0; }));
  Stop(master);
}

TEST_F(ServerTest, EmptyPortTableEndsTheServer) {
  plat::clear_message_box_log();
  auto master = Start();
  plat::wait_for_single(master.get(), INFINITE);
  auto boxes = plat::message_box_log();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Fatal Error");
  EXPECT_EQ(boxes[0].text, "Port Initialization failure:\r\n\r\nPlease run setup\r\n\r\nTramox will terminate!");
}

TEST_F(ServerTest, StartAndStopFiftyTimesWithSixteenPorts) {
  std::vector<std::unique_ptr<sim::Machine>> machines;
  std::vector<std::pair<int, int>> rows;
  for (int i = 0; i < 16; i++) {
    machines.push_back(std::make_unique<sim::Machine>(20 + i));
    rows.push_back({20 + i, 0});
  }
  PortTable(rows);
  for (int round = 0; round < 50; round++) {
    SCOPED_TRACE(round);
    RecordingView view;
    ControlWindow = &view;
    auto master = Start();
    ASSERT_TRUE(WaitFor([] { return Pollers == 16; })) << Pollers << " " << PortCount << " "
                                                        << (view.failures.empty() ? "" : view.failures[0]);
    // A transfer under way on one port when the stop comes.
    if (round % 10 == 0) machines[round % 16]->Send("%\r\n(P1)\r\n");
    Stop(master);
    EXPECT_TRUE(view.failures.empty());
  }
}

}  // namespace
