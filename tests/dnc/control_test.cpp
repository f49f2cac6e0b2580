// The DNC control window: rows and pages for up to 128 ports, status
// texts and colours, the port selection, and the Cancel and Receive-new
// commands against a running server with a simulated machine.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "dnc/control_window.h"
#include "dnc/rs232.h"
#include "dnc_fixture.h"
#include "platform/ui/driver.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/resource.h"
#include "tests/sim/machine_sim.h"

namespace {

using kvdnc::DncTest;
using plat::Pilot;

class ControlTest : public DncTest {
 protected:
  void SetUp() override {
    DncTest::SetUp();
    plat::set_resource_dir(KV_SOURCE_DIR "/resources");
    plat::set_time_scale(0.01);
    for (int i = 0; i < 6; i++) Globals->MessageTexts.Set(1113 + i, ("S" + std::to_string(1113 + i)).c_str());
    Globals->MessageTexts.Set(1141, "Cancel the transfer?");
  }
  void TearDown() override {
    if (master_) {
      SetDncEvent(kStopServer);
      plat::wait_for_single(master_.get(), INFINITE);
    }
    ControlWindow = nullptr;
    plat::set_time_scale(1.0);
    DncTest::TearDown();
  }
  // A row list of n rows with COM numbers, named "M<i>".
  static TMultiDncRecord* Rows(int n) {
    TMultiDncRecord* first = nullptr;
    TMultiDncRecord* last = nullptr;
    for (int i = 0; i < n; i++) {
      auto* r = new TMultiDncRecord;
      r->SetListA(66, 20 + i);
      r->SetText(37, ("M" + std::to_string(i)).c_str());
      if (last) last->next = r; else first = r;
      last = r;
    }
    return first;
  }
  static bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
  }
  plat::ThreadHandle master_;
};

TEST_F(ControlTest, PagesRowsAndStatusTexts) {
  TDncControll w(nullptr);
  ASSERT_TRUE(w.Create());
  w.ShowWindow(SW_SHOW);
  Pilot p(w);
  TMultiDncRecord* nine = Rows(9);
  w.SetPorts(nine);
  FreeRecordList(nine);  // the window keeps only the names
  EXPECT_TRUE(p.visible(300));
  EXPECT_TRUE(p.visible(301));
  EXPECT_FALSE(p.visible(302));
  EXPECT_EQ(p.text(101), " &A. M0");
  EXPECT_TRUE(p.visible(108));

  // A status for a port of another page is kept and shown with its page.
  w.SetPortStatus(8, 6);
  w.SetPortStatus(1, 36);
  EXPECT_EQ(p.text(201), "S1113");
  EXPECT_EQ(p.text(200), "");
  ASSERT_TRUE(p.click(301));
  EXPECT_EQ(w.Page(), 1);
  EXPECT_EQ(p.text(101), " &A. M8");
  EXPECT_EQ(p.text(200), "S1115");
  EXPECT_FALSE(p.visible(102)) << "the second page has one port";
  EXPECT_EQ(CurrentPortIndex.load(), 8);
  // A code outside the table leaves the row's text.
  w.SetPortStatus(8, 3);
  EXPECT_EQ(p.text(200), "S1115");

  // All 128 ports can be reached.
  TMultiDncRecord* all = Rows(128);
  w.SetPorts(all);
  FreeRecordList(all);
  EXPECT_TRUE(p.visible(315));
  ASSERT_TRUE(p.click(315));
  EXPECT_EQ(p.text(108), " &H. M127");
  ASSERT_TRUE(p.click(108));
  EXPECT_EQ(CurrentPortIndex.load(), 127);
  w.SetPortStatus(127, 11);
  EXPECT_EQ(w.StatusOf(127), 11);
  EXPECT_EQ(p.text(207), "S1117");
  EXPECT_FALSE(p.enabled(600)) << "no program choice on this station yet";
  EXPECT_FALSE(p.enabled(605));
  w.Destroy();
}

class ControlServerTest : public ControlTest {
 protected:
  void OnePort() {
    TMultiDncTable t("KELVMD32.DBF", 1, 0);
    t.Create((Root() + "/alt/KELVMD32.DBF").c_str());
    std::unique_ptr<TMultiDncRecord> r(t.FindById(0));
    ASSERT_TRUE(r);
    r->SetListA(kPropComNumber, 11);
    r->SetListA(kPropProtocol, kProtoStandard);
    r->SetListB(kPropFileMode, 0);
    r->Number[kPropMachineId] = machineId_;
    r->Number[kPropBaud] = 16;
    r->Number[kPropDataBits] = 3;
    r->Number[kPropNulFilter] = 1;
    r->Number[kPropStorageMode] = 1;
    r->Number[kPropReadTimeout] = 200;
    r->SetText(kPropDisplayName, "Mill one");
    ASSERT_EQ(t.Update(r.get()), 1);
  }
  void Start(TDncControll& w) {
    ControlWindow = &w;
    master_ = StartDncServer();
    ASSERT_TRUE(WaitFor([] { return PortCount == 1 && Ports[0] && Ports[0]->Polling == 1; }));
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
  ASSERT_TRUE(WaitFor([] { return Ports[0]->Cancel() != nullptr && Ports[0]->BytesReceived > 20; }));
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDNO, "Cancel the transfer?");
  ASSERT_TRUE(p.click(602));
  EXPECT_NE(Ports[0]->Cancel(), nullptr) << "No changes nothing";
  t.Stop();  // what comes after the cancel would be a reception of its own
  driver.expect_message_box(IDYES, "Cancel the transfer?");
  ASSERT_TRUE(p.click(602));
  ASSERT_TRUE(WaitFor([] { return Ports[0]->Polling == 1; }));
  EXPECT_EQ(w.StatusOf(0), 4);
  EXPECT_EQ(DncTest::Rows(DbPath("KELVFILE.DBF")).size(), 0u);
  EXPECT_EQ(DncTest::Rows(DbPath("KELVDNCF.DBF")).size(), 0u);
  SetDncEvent(kStopServer);
  plat::wait_for_single(master_.get(), INFINITE);
  master_.reset();
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
    q.type(101, "SHAFT-2");
    q.click(IDOK);
  });
  ASSERT_TRUE(p.click(603));
  EXPECT_EQ(w.StatusOf(0), 6);
  m.Send("%\r\nG1 X1\r\nM30\r\n%");  // no program id of its own
  ASSERT_TRUE(WaitFor([this] { return DncTest::Rows(DbPath("KELVFILE.DBF")).size() == 1; }));
  EXPECT_EQ(DncTest::Rows(DbPath("KELVFILE.DBF"))[0][2], "SHAFT-2");
  SetDncEvent(kStopServer);
  plat::wait_for_single(master_.get(), INFINITE);
  master_.reset();
  w.Destroy();
}

}  // namespace
