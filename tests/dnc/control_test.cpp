// The DNC control window: rows and pages for up to 128 ports, status
// texts and colours, the port selection, and the transfer commands
// against a running server with a simulated machine.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "appcore/message_ids.h"
#include "appcore/text_scan.h"
#include "dbmodel/job.h"
#include "dnc/control_window.h"
#include "dnc/dnclog.h"
#include "app/frame_commands.h"
#include "dnc/rs232.h"
#include "dnc_fixture.h"
#include "platform/ui/driver.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/resource.h"
#include "resources/dialogs/dnccontrol.h"
#include "resources/dialogs/jobs.h"
#include "resources/dialogs/search.h"
#include "resources/menus/main.h"
#include "storage/program_lock.h"
#include "storage/search_dialogs.h"
#include "tests/sim/machine_sim.h"

extern char** environ;

namespace {

using kvdnc::DncTest;
using plat::Pilot;

class ControlTest : public kvdnc::DncServerTest {
 protected:
  ControlTest() : DncServerTest(11, 0.01) {}

  void SetUp() override {
    DncServerTest::SetUp();
    plat::set_resource_dir(KV_SOURCE_DIR "/resources");
    for (int i = 0; i < 6; i++)
      Globals->MessageTexts.Set(kMsgPortSending + i, ("S" + std::to_string(kMsgPortSending + i)).c_str());
    Globals->MessageTexts.Set(kMsgCancelTransfer, "Cancel the transfer?");
  }
  // A row list of n rows with COM numbers, named "M<i>".
  static TMultiDncRecord* Rows(int n) {
    TMultiDncRecord* first = nullptr;
    TMultiDncRecord* last = nullptr;
    for (int i = 0; i < n; i++) {
      auto* r = new TMultiDncRecord;
      r->SetListA(kPropComNumber, 20 + i);
      r->SetText(kPropDisplayName, ("M" + std::to_string(i)).c_str());
      if (last) last->next = r; else first = r;
      last = r;
    }
    return first;
  }
};

TEST_F(ControlTest, PagesRowsAndStatusTexts) {
  TDncControll w(nullptr);
  ASSERT_TRUE(w.Create());
  w.ShowWindow(SW_SHOW);
  Pilot p(w);
  TMultiDncRecord* nine = Rows(9);
  w.SetPorts(nine);
  FreeRecordList(nine);  // the window keeps only the names
  EXPECT_TRUE(p.visible(IDC_DNC_CONTROL_PAGE1));
  EXPECT_TRUE(p.visible(IDC_DNC_CONTROL_PAGE2));
  EXPECT_FALSE(p.visible(IDC_DNC_CONTROL_PAGE3));
  EXPECT_EQ(p.text(IDC_DNC_CONTROL_ROW1), " &A. M0");
  EXPECT_TRUE(p.visible(IDC_DNC_CONTROL_ROW8));

  // A status for a port of another page is kept and shown with its page.
  w.SetPortStatus(8, 6);
  w.SetPortStatus(1, 36);
  EXPECT_EQ(p.text(IDC_DNC_CONTROL_STATUS2), "S1113");
  EXPECT_EQ(p.text(IDC_DNC_CONTROL_STATUS1), "");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_PAGE2));
  EXPECT_EQ(w.Page(), 1);
  EXPECT_EQ(p.text(IDC_DNC_CONTROL_ROW1), " &A. M8");
  EXPECT_EQ(p.text(IDC_DNC_CONTROL_STATUS1), "S1115");
  EXPECT_FALSE(p.visible(IDC_DNC_CONTROL_ROW2)) << "the second page has one port";
  EXPECT_EQ(CurrentPortIndex.load(), 8);
  // A code outside the table leaves the row's text.
  w.SetPortStatus(8, 3);
  EXPECT_EQ(p.text(IDC_DNC_CONTROL_STATUS1), "S1115");

  // All 128 ports can be reached.
  TMultiDncRecord* all = Rows(128);
  w.SetPorts(all);
  FreeRecordList(all);
  EXPECT_TRUE(p.visible(IDC_DNC_CONTROL_PAGE16));
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_PAGE16));
  EXPECT_EQ(p.text(IDC_DNC_CONTROL_ROW8), " &H. M127");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_ROW8));
  EXPECT_EQ(CurrentPortIndex.load(), 127);
  w.SetPortStatus(127, 11);
  EXPECT_EQ(w.StatusOf(127), 11);
  EXPECT_EQ(p.text(IDC_DNC_CONTROL_STATUS8), "S1117");
  EXPECT_FALSE(p.enabled(IDC_DNC_CONTROL_SEND)) << "no program search on this station";
  EXPECT_FALSE(p.enabled(IDC_DNC_CONTROL_RECEIVE));
  EXPECT_TRUE(p.enabled(IDC_DNC_CONTROL_SEND_JOB));
  // A port on plain files chooses them in the file dialogs.
  TMultiDncRecord* files = Rows(2);
  static_cast<TMultiDncRecord*>(files->next)->SetListB(kPropFileMode, 1);
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_PAGE1));
  w.SetPorts(files);
  FreeRecordList(files);
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_ROW2));
  EXPECT_TRUE(p.enabled(IDC_DNC_CONTROL_SEND));
  EXPECT_TRUE(p.enabled(IDC_DNC_CONTROL_RECEIVE));
  w.Destroy();
}

class ControlServerTest : public ControlTest {
 protected:
  void OnePort(const Adjust& adjust = {}) {
    DncServerTest::OnePort(kProtoStandard, [](TMultiDncRecord& r) { r.Number[kPropReadTimeout] = 200; }, adjust);
  }
  void Start(TDncControll& w) {
    ASSERT_NO_FATAL_FAILURE(StartServer(&w));
    w.SelectPort(0);
  }
};

TEST_F(ControlServerTest, CancelAskedAndAnsweredDropsTheReception) {
  sim::Machine m(11);
  OnePort();
  TDncControll w(nullptr);
  ASSERT_TRUE(w.Create());
  w.ShowWindow(SW_SHOW);
  Pilot p(w);
  Start(w);
  plat::set_time_scale(0.05);  // a line gap of half a second: a busy machine keeps the trickle going
  sim::Trickle t(m);
  ASSERT_TRUE(WaitFor([] { return Ports[0]->CancelOpen() && Ports[0]->BytesReceived > 20; }));
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDNO, "Cancel the transfer?");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_CANCEL));
  EXPECT_TRUE(Ports[0]->CancelOpen()) << "No changes nothing";
  t.Stop();  // what comes after the cancel would be a reception of its own
  driver.expect_message_box(IDYES, "Cancel the transfer?");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_CANCEL));
  ASSERT_TRUE(WaitFor([] { return Ports[0]->Polling == 1; }));
  EXPECT_EQ(w.StatusOf(0), 4);
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 0u);
  StopServer();
  w.Destroy();
}

TEST_F(ControlServerTest, ReceiveNewNamesTheNextReception) {
  sim::Machine m(11);
  OnePort();
  TDncControll w(nullptr);
  ASSERT_TRUE(w.Create());
  w.ShowWindow(SW_SHOW);
  Pilot p(w);
  Start(w);
  plat::GTestUiDriver driver;
  driver.expect_dialog(TReceiveNew::kTemplate, [](TDialog& d) {
    Pilot q(d);
    q.type(IDC_RECEIVE_NEW_PROGRAM, "SHAFT-2");
    q.click(IDOK);
  });
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_RECEIVE_NEW));
  EXPECT_EQ(w.StatusOf(0), 6);
  m.Send("%\r\nG1 X1\r\nM30\r\n%");  // no program id of its own
  ASSERT_TRUE(WaitFor([this] { return RowCount("KELVFILE.DBF") == 1; }));
  EXPECT_EQ(DncTest::Rows(DbPath("KELVFILE.DBF"))[0][2], "SHAFT-2");
  StopServer();
  w.Destroy();
}

// The DNC start command puts the control window over the running server in
// place of the station's main window; closing the control window (asked,
// with every port polling) stops the server and brings the main window
// back.
TEST_F(ControlServerTest, StartHidesTheMainWindowBehindTheControlWindowAndStopBringsItBack) {
  sim::Machine m(11);
  OnePort();
  RegisterDncCommands();
  Globals->RightsMask = 0xFFFFFFFF;
  Globals->MessageTexts.Set(kMsgStopServer, "Stop the DNC server?");
  auto frame = std::make_unique<TCommandHostFrame>(nullptr, "Tramox", nullptr);
  ASSERT_TRUE(frame->Create());
  frame->ShowWindow(SW_SHOW);
  frame->SendMessage(WM_COMMAND, kCmDncStart);
  auto* w = dynamic_cast<TDncControll*>(ControlWindow.load());
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->IsWindowVisible());
  EXPECT_FALSE(frame->IsWindowVisible());
  ASSERT_TRUE(WaitFor([] { return PortCount == 1 && Ports[0] && Ports[0]->Polling == 1; }));

  plat::GTestUiDriver driver;
  driver.expect_message_box(IDNO, "Stop the DNC server?");
  w->SendMessage(WM_CLOSE);
  plat::dispatch_all();
  EXPECT_EQ(ControlWindow.load(), w) << "No keeps the server";
  EXPECT_FALSE(frame->IsWindowVisible());
  driver.expect_message_box(IDYES, "Stop the DNC server?");
  w->SendMessage(WM_CLOSE);
  plat::dispatch_all();
  EXPECT_EQ(ControlWindow.load(), nullptr);
  EXPECT_TRUE(frame->IsWindowVisible());
  ASSERT_TRUE(WaitFor([] { return PortCount == 0; })) << "the server ends";
  // Its last steps still read the station's globals: wait until it is gone.
  ASSERT_TRUE(StartedDncMaster());
  plat::wait_for_single(StartedDncMaster().get(), INFINITE);
  frame->Destroy();
  RegisterFrameCommand(kCmDncStart, {});
  RegisterFrameCommand(kCmDncStop, {});
}

// The stop command frees the control window while the master may be
// drawing the port panel on it: the master keeps refreshing the panel
// through every start and stop.
TEST_F(ControlServerTest, StopFreesTheWindowOnlyWhenTheMasterIsNotDrawingOnIt) {
  sim::Machine m(11);
  OnePort();
  RegisterDncCommands();
  Globals->RightsMask = 0xFFFFFFFF;
  auto frame = std::make_unique<TCommandHostFrame>(nullptr, "Tramox", nullptr);
  ASSERT_TRUE(frame->Create());
  std::atomic<bool> refreshing{true};
  std::thread refresher([&refreshing] {
    while (refreshing) SetDncEvent(kRefreshPanel);
  });
  for (int round = 0; round < 20 && !HasFailure(); round++) {
    frame->SendMessage(WM_COMMAND, kCmDncStart);
    EXPECT_NE(ControlWindow.load(), nullptr);
    EXPECT_TRUE(WaitFor([] { return PortCount == 1 && Ports[0] && Ports[0]->Polling == 1; })) << "round " << round;
    frame->SendMessage(WM_COMMAND, kCmDncStop);
    if (StartedDncMaster()) plat::wait_for_single(StartedDncMaster().get(), INFINITE);
    plat::dispatch_all();
  }
  refreshing = false;
  refresher.join();
  frame->Destroy();
  RegisterFrameCommand(kCmDncStart, {});
  RegisterFrameCommand(kCmDncStop, {});
}

// The other station of the lock checks: tries once to take the program's
// row for editing and writes down what it got.
TEST(OtherStation, TriesToLockAProgram) {
  const char* db = std::getenv("KV_STATION_DB");
  if (!db) GTEST_SKIP() << "runs only as the other station of the transfer tests";
  auto* g = new TGlobals;
  Globals = g;
  g->DatabaseDir = db;
  DbContext->auto_open = 1;
  DbContext->exclusive = 0;
  DbContext->lock_attempts = 1;
  DbContext->report_open_errors = 0;
  const long got = CanLockProgram(std::atol(std::getenv("KV_STATION_PROGRAM")), 0);
  kvdb::WriteFileBytes(std::getenv("KV_STATION_ANSWER"), std::to_string(got));
  Globals = nullptr;
  delete g;
}

// The transfer commands against a running server: programs chosen in the
// program search (a result dialog of the test picks one), jobs chosen in
// the job dialog, files chosen in the file dialogs.
class TransferTest : public ControlServerTest {
 protected:
  void SetUp() override {
    ControlServerTest::SetUp();
    CreateTable<TJobTable01>(kJobFile);
    CreateTable<TJobTable02>(kJobLineFile);
    SetProgramChooser(ChooseProgram);
    // The program dialog of the test opens the program named by pick_.
    SetProgramListDialog([this](TWindow*, TcbFileRecord* list) {
      long id = 0;
      for (TcbRecord* r = list; r; r = r->next)
        if (TrimText(static_cast<TcbFileRecord*>(r)->DESC) == pick_) id = static_cast<TcbFileRecord*>(r)->NCID;
      FreeRecordList(list);
      Globals->CurrentProgramId = static_cast<int>(id);
      return id ? IDOK : IDCANCEL;
    });
  }
  void TearDown() override {
    SetProgramListDialog(nullptr);
    SetProgramChooser(nullptr);
    ControlServerTest::TearDown();
  }
  // The standard port: start text "%" CR LF, end text "%", software flow,
  // program ids "(" ... ")", requests "R" ... "/", job requests "J" ... "/".
  void StandardPort(const std::function<void(TMultiDncRecord&)>& adjust = {}) {
    OnePort([&](TMultiDncRecord& r) {
      r.Number[kPropReadTimeout] = 5;
      StandardTexts(r);
      r.SetText(kPropJobTrigger, "74");
      r.SetText(kPropJobEndTrigger, "47");
      if (adjust) adjust(r);
    });
  }
  // A program of the machine in the index with its file.
  long Seed(const char* desc, const std::string& text) {
    const long id = nextId_++;
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    TcbFileRecord r;
    r.NCID = r.LONG1 = id;
    r.MID = machineId_;
    std::snprintf(r.DESC, sizeof r.DESC, "%s", desc);
    std::snprintf(r.DIR, sizeof r.DIR, "%s", (Root() + "/mach1\\").c_str());
    std::snprintf(r.NAME, sizeof r.NAME, "P%ld", id);
    std::snprintf(r.EXT, sizeof r.EXT, "NC");
    EXPECT_TRUE(t.Append(&r));
    kvdb::WriteFileBytes(Root() + "/mach1/P" + std::to_string(id) + ".NC", text);
    return id;
  }
  long Job(const char* part, const std::vector<long>& programs) {
    TJobTable01 jobs;
    const long id = jobs.AppendJob(machineId_, (std::string("Job ") + part).c_str(), part, "");
    TJobTable02 lines;
    for (long p : programs) EXPECT_GT(lines.AppendJobLine(id, p, 0), 0);
    return id;
  }
  // The editor's lock test as another station runs it, in a process of
  // its own: the row's record number, or -1 when it is taken.
  long OtherStationLocks(long id) {
    const std::string answer = Root() + "/lock_answer";
    std::filesystem::remove(answer);
    std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=OtherStation.*";
    std::vector<std::string> env;
    // A sharded run's settings would leave the child's one test out.
    for (char** e = environ; *e; e++)
      if (std::strncmp(*e, "GTEST_TOTAL_SHARDS=", 19) && std::strncmp(*e, "GTEST_SHARD_INDEX=", 18)) env.emplace_back(*e);
    env.push_back("KV_STATION_DB=" + Globals->DatabaseDir);
    env.push_back("KV_STATION_ANSWER=" + answer);
    env.push_back("KV_STATION_PROGRAM=" + std::to_string(id));
    std::vector<char*> envp, argv{exe.data(), filter.data(), nullptr};
    for (auto& v : env) envp.push_back(v.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return 0;
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string got = kvdb::ReadFileBytes(answer);
    return got.empty() ? 0 : std::atol(got.c_str());
  }
  // Send Job: the job dialog with the machine's first job chosen and sent.
  void SendJobOfFirstMachine(Pilot& window) {
    driver.expect_dialog(IDD_JOB_LISTS, [](TDialog& d) {
      Pilot q(d);
      q.select(IDC_JOB_LISTS_MACHINES, 0);
      q.click(IDC_JOB_LISTS_SEND);
    });
    EXPECT_TRUE(window.click(IDC_DNC_CONTROL_SEND_JOB));
  }
  // The search dialog's "All" button: every program goes to the result
  // dialog, which opens pick_.
  void ChooseInSearch(const std::string& name) {
    pick_ = name;
    driver.expect_dialog(IDD_SEARCH, [](TDialog& d) { Pilot(d).click(IDC_SEARCH_ALL); });
  }
  // The control window over a started server, its port selected.
  TDncControll& Window() {
    window_ = std::make_unique<TDncControll>(nullptr);
    EXPECT_TRUE(window_->Create());
    window_->ShowWindow(SW_SHOW);
    Start(*window_);
    return *window_;
  }
  void Stop(TDncControll& w) {
    StopServer();
    w.Destroy();
  }

  plat::GTestUiDriver driver;
  std::unique_ptr<TDncControll> window_;
  std::string pick_;
  long nextId_ = 5;
};

std::string ManyLines(const char* name, int lines) {
  std::string p = std::string("%\r\n(") + name + ")\r\n";
  for (int i = 0; i < lines; i++) p += "N" + std::to_string(i) + " G1 X" + std::to_string(i) + " Y1.5\r\n";
  return p + "M30\r\n%";
}

TEST_F(TransferTest, SendTakesTheChosenProgramUnderItsLockToTheMachine) {
  sim::Machine m(11);
  StandardPort([](TMultiDncRecord& r) { r.Number[kPropBaud] = 12; });  // 9600: time to look at the lock
  const std::string program = ManyLines("SHAFT", 120);
  const long id = Seed("SHAFT", program);
  Seed("OTHER", "%\r\nG0\r\n%");
  TDncControll& w = Window();
  Pilot p(w);
  ASSERT_TRUE(p.enabled(IDC_DNC_CONTROL_SEND));
  ChooseInSearch("SHAFT");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_SEND));
  EXPECT_EQ(p.text(IDC_DNC_CONTROL_PROGRAM), "Program : SHAFT");
  std::string got = Collect(m, 300);
  m.Send("\x13");  // held: the program is being sent
  got += m.Received(50);
  ASSERT_TRUE(WaitFor([&] { return w.StatusOf(0) == 36; }));
  EXPECT_EQ(OtherStationLocks(id), -1) << "no other station takes a program under a send";
  m.Send("\x11");
  const std::string expected = Framed(program);
  got += Collect(m, expected.size() - got.size());
  EXPECT_EQ(got, expected);
  ASSERT_TRUE(WaitFor([&] { return SentCount(id) == 1; }));
  ASSERT_TRUE(WaitFor([] { return Ports[0]->Polling == 1; }));
  EXPECT_GT(OtherStationLocks(id), 0) << "the lock goes with the send";
  EXPECT_EQ(LogTypes().back(), "1");
  Stop(w);
}

TEST_F(TransferTest, CancelledChoiceAndCancelledSendSendNothingMoreAndFreeTheProgram) {
  sim::Machine m(11);
  StandardPort([](TMultiDncRecord& r) { r.Number[kPropBaud] = 12; });
  const long id = Seed("SHAFT", ManyLines("SHAFT", 300));
  TDncControll& w = Window();
  Pilot p(w);
  // The search left without a program: nothing is handed to the port.
  driver.expect_dialog(IDD_SEARCH, [](TDialog& d) { Pilot(d).click(IDCANCEL); });
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_SEND));
  ChooseInSearch("NO SUCH PROGRAM");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_RECEIVE));
  EXPECT_EQ(Ports[0]->RequestedText(), "");
  EXPECT_EQ(Ports[0]->NameForReception, 0);
  EXPECT_EQ(m.Received(100), "");
  EXPECT_EQ(Ports[0]->Polling, 1);

  ChooseInSearch("SHAFT");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_SEND));
  Collect(m, 200);
  m.Send("\x13");
  ASSERT_TRUE(WaitFor([&] { return w.StatusOf(0) == 36; }));
  // Receive and Receive new are not taken while the port sends.
  ChooseInSearch("SHAFT");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_RECEIVE));
  EXPECT_EQ(Ports[0]->NameForReception, 0);
  driver.expect_message_box(IDYES, "Cancel the transfer?");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_CANCEL));
  ASSERT_TRUE(WaitFor([] { return Ports[0]->Polling == 1; }));
  m.Send("\x11");
  EXPECT_EQ(SentCount(id), 0);
  EXPECT_EQ(LogTypes().back(), "2");
  EXPECT_GT(OtherStationLocks(id), 0);
  m.Received(50);
  Stop(w);
}

TEST_F(TransferTest, ReceiveStoresTheNextReceptionAsTheChosenProgram) {
  sim::Machine m(11);
  StandardPort([](TMultiDncRecord& r) { r.Number[kPropStorageMode] = 2; });  // backup and overwrite
  const std::string old = "%\r\nG0 X0\r\n%";
  const long id = Seed("SHAFT", old);
  TDncControll& w = Window();
  Pilot p(w);
  ChooseInSearch("SHAFT");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_RECEIVE));
  EXPECT_EQ(w.StatusOf(0), 6);
  EXPECT_EQ(p.text(IDC_DNC_CONTROL_PROGRAM), "Program : SHAFT");
  const std::string text = "%\r\nG1 X99\r\nM30\r\n%";  // no program id of its own
  m.Send(text);
  ASSERT_TRUE(WaitFor([&] {
    return kvdb::ReadFileBytes(Root() + "/mach1/P" + std::to_string(id) + ".NC") == text;
  }));
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 1u) << "stored over the chosen program";
  ASSERT_EQ(RowCount("KELVBACK.DBF"), 1u);
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 0u);
  ASSERT_TRUE(WaitFor([] { return Ports[0]->Polling == 1 && Ports[0]->NameForReception == 0; }));
  Stop(w);
}

TEST_F(TransferTest, SendJobSendsEachProgramOfTheJobInOrder) {
  sim::Machine m(11);
  StandardPort();
  const std::string a = "%\r\n(A)\r\nG1 X1\r\n%", b = "%\r\n(B)\r\nG1 X2\r\n%";
  const long ida = Seed("A", a), idb = Seed("B", b);
  // A program no longer in the index is passed over.
  Job("AB1", {idb, 999, ida});
  TDncControll& w = Window();
  Pilot p(w);
  SendJobOfFirstMachine(p);
  const std::string expected = Framed(b) + Framed(a);
  EXPECT_EQ(Collect(m, expected.size()), expected);
  ASSERT_TRUE(WaitFor([&] { return SentCount(ida) == 1 && SentCount(idb) == 1; }));
  ASSERT_TRUE(WaitFor([] { return Ports[0]->Polling == 1; }));
  EXPECT_EQ(Ports[0]->JobPrograms, nullptr);
  EXPECT_EQ(m.Received(100), "") << "the job is sent once";
  // The job dialog left without a job sends nothing.
  driver.expect_dialog(IDD_JOB_LISTS, [](TDialog& d) { Pilot(d).click(IDCANCEL); });
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_SEND_JOB));
  EXPECT_EQ(m.Received(100), "");
  Stop(w);
}

TEST_F(TransferTest, CancelBetweenTheProgramsOfAJobDropsTheRest) {
  sim::Machine m(11);
  StandardPort([](TMultiDncRecord& r) { r.Number[kPropAnswerDelay] = 100; });  // a second, scaled
  const std::string a = "%\r\n(A)\r\nG1 X1\r\n%";
  const long ida = Seed("A", a), idb = Seed("B", "%\r\n(B)\r\n%");
  Job("AB1", {ida, idb});
  TDncControll& w = Window();
  Pilot p(w);
  SendJobOfFirstMachine(p);
  EXPECT_EQ(Collect(m, Framed(a).size()), Framed(a));
  ASSERT_TRUE(WaitFor([&] { return w.StatusOf(0) == 2; })) << "the job waits for its next program";
  driver.expect_message_box(IDYES, "Cancel the transfer?");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_CANCEL));
  ASSERT_TRUE(WaitFor([] { return Ports[0]->Polling == 1; }));
  EXPECT_EQ(Ports[0]->JobPrograms, nullptr);
  EXPECT_EQ(m.Received(300), "");
  EXPECT_EQ(SentCount(idb), 0);
  Stop(w);
}

TEST_F(TransferTest, MachineRequestsAJobAndGetsItsProgramsInOrder) {
  sim::Machine m(11);
  StandardPort();
  const std::string a = "%\r\n(A)\r\nG1 X1\r\n%", b = "%\r\n(B)\r\nG1 X2\r\n%";
  const long ida = Seed("A", a), idb = Seed("B", b);
  Job("AB1", {ida, idb});
  const long gone = Job("AB2", {idb});
  {
    TJobTable01 jobs;
    ASSERT_EQ(jobs.DeleteJob(gone), 1);
  }
  TDncControll& w = Window();
  m.Send("J AB1/\r\n");
  const std::string expected = Framed(a) + Framed(b);
  EXPECT_EQ(Collect(m, expected.size()), expected);
  ASSERT_TRUE(WaitFor([&] { return SentCount(ida) == 1 && SentCount(idb) == 1; }));
  ASSERT_TRUE(WaitFor([] { return Ports[0]->Polling == 1 && Ports[0]->JobPrograms == nullptr; }));
  // A deleted job and an unknown one answer nothing.
  for (const char* request : {"J AB2/\r\n", "J AB9/\r\n", "J O'X\"Y/\r\n"}) {
    m.Send(request);
    EXPECT_EQ(m.Received(300), "") << request;
    ASSERT_TRUE(WaitFor([] { return Ports[0]->Polling == 1; }));
  }
  EXPECT_EQ(SentCount(idb), 1);
  Stop(w);
}

TEST_F(TransferTest, FilePortsSendAChosenFileAndAJobFile) {
  sim::Machine m(11);
  const std::string dir = Root() + "/files/";
  StandardPort([&](TMultiDncRecord& r) {
    r.SetListB(kPropFileMode, 1);
    r.SetText(kPropFirstDirectory, dir.c_str());
    r.SetText(kPropExtension, "NC");
  });
  kvdb::WriteFileBytes(dir + "ONE.NC", "G1 X1\r\nM30\r\n");
  kvdb::WriteFileBytes(dir + "TWO.NC", "G1 X2\r\n");
  kvdb::WriteFileBytes(dir + "JOB.TXT", "; two files\r\n#" + dir + "ONE.NC\r\n#" + dir + "TWO.NC\r\nM02");
  TDncControll& w = Window();
  Pilot p(w);
  auto choose = [this](const std::string& path) {
    driver.expect_dialog("TFileOpenDialog",
                         [path](TDialog& d) { static_cast<TOpenSaveDialog&>(d).Choose(path.c_str()); });
  };
  choose(dir + "ONE.NC");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_SEND));
  const std::string one = "%\r\nG1 X1\r\nM30\r\n%";
  EXPECT_EQ(Collect(m, one.size()), one);
  ASSERT_TRUE(WaitFor([] { return Ports[0]->Polling == 1; }));
  choose(dir + "JOB.TXT");
  ASSERT_TRUE(p.click(IDC_DNC_CONTROL_SEND_JOB));
  const std::string job = "%\r\nG1 X1\r\nM30\r\nG1 X2\r\nM02\r\n%";
  EXPECT_EQ(Collect(m, job.size()), job);
  ASSERT_TRUE(WaitFor([] { return Ports[0]->Polling == 1; }));
  // A machine's job request on such a port gets the file named like the
  // request id, once: the job's lines name programs of the database.
  Job("AB1", {5});
  kvdb::WriteFileBytes(dir + "AB1.NC", "G1 X3\r\n");
  m.Send("J AB1/\r\n");
  EXPECT_EQ(Collect(m, Framed("G1 X3").size()), Framed("G1 X3"));
  EXPECT_EQ(m.Received(300), "");
  EXPECT_EQ(Ports[0]->JobPrograms, nullptr);
  Stop(w);
}

TEST_F(TransferTest, TheWindowHandsNothingToABusyPort) {
  auto port = OfflinePort(Row(1, 0));
  TDncPort::THandOver what;
  what.Name = "SHAFT";
  what.ProgramId = 7;
  const long job = Job("AB1", {7});
  TJobTable02 lines;
  what.JobPrograms = lines.LoadJob(job);
  ASSERT_NE(what.JobPrograms, nullptr);
  port->Polling = 0;
  EXPECT_FALSE(port->HandOver(what));
  EXPECT_EQ(port->RequestedText(), "");
  EXPECT_EQ(port->SendProgramId, 0);
  ASSERT_NE(what.JobPrograms, nullptr) << "the caller keeps what was not taken";
  port->Polling = 1;
  EXPECT_TRUE(port->HandOver(what));
  EXPECT_EQ(port->RequestedText(), "SHAFT");
  EXPECT_EQ(port->SendProgramId, 7);
  EXPECT_EQ(what.JobPrograms, nullptr);
  EXPECT_NE(port->JobPrograms, nullptr);
  port->StopPolling();
  EXPECT_EQ(port->Polling, 0);
}

TEST_F(TransferTest, MinimisedWindowHidesTheDebugWindows) {
  Globals->DebugMode = 1;
  TDncControll w(nullptr);
  ASSERT_TRUE(w.Create());
  w.ShowWindow(SW_SHOW);
  CreateDncDebugWindows(nullptr);
  ASSERT_NE(DncDebugWindow(0), nullptr);
  for (int i = 0; i < 3; i++) DncDebugWindow(i)->ShowWindow(SW_SHOW);
  w.SendMessage(WM_SIZE, SIZE_MINIMIZED, 0);
  for (int i = 0; i < 3; i++) EXPECT_FALSE(DncDebugWindow(i)->IsWindowVisible()) << i;
  w.SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(400, 300));
  for (int i = 0; i < 3; i++) EXPECT_TRUE(DncDebugWindow(i)->IsWindowVisible()) << i;
  DestroyDncDebugWindows();
  w.Destroy();
  Globals->DebugMode = 0;
}

}  // namespace
