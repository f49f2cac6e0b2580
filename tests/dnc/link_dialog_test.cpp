// The DNC link dialog driven as a user drives it: its ports of
// KELVCOMM.DBF, sends and receptions over a pseudo-terminal with the
// simulated machine, stopping, the system log, and the port editing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>

#include "dnc/link_dialog.h"
#include "platform/file.h"
#include "dialog_fixture.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "platform/ui/gtest_driver.h"
#include "resources/dialogs/dnclink.h"
#include "resources/dialogs/dncsetup.h"
#include "tests/sim/machine_sim.h"

namespace {

using plat::Pilot;

constexpr int kMillCom = 31, kLatheCom = 32;

class LinkDialogTest : public kvdnc::DncDialogTest {
 protected:
  void SetUp() override {
    DncDialogTest::SetUp();
    Globals->LogTexts.Set(1, "Sent %s %s %s");
    Globals->LogTexts.Set(2, "Cancelled %s %s %s");
    Globals->RightsMask = TDncLinkDlg::kRightLinkPorts;
    plat::set_time_scale(0.01);
    TMultiDncTable t("KELVCOMM.DBF", 1, 0);
    ASSERT_EQ(t.Create((Root() + "/alt/KELVCOMM.DBF").c_str()), 1);
    Port(0, [](TMultiDncRecord& r) {
      r.SetText(kPropName, "Lathe link");
      r.SetListA(kPropComNumber, kLatheCom);
      for (int n : {kPropBaud, kPropDataBits, kPropStopBits, kPropParity, kPropFlow}) r.Number[n] = 0;
    });
    Port(1, [this](TMultiDncRecord& r) {
      r.SetText(kPropName, "Mill link");
      r.SetText(kLinkDisplayName, "Mill one");
      r.SetListA(kPropComNumber, kMillCom);
      r.Number[kPropMachineId] = machineId_;
      r.Number[kPropBaud] = 12;
      r.Number[kPropDataBits] = 3;
      r.Number[kPropFlow] = 1;
      r.Number[kPropParity] = 0;
      r.Number[kPropStopBits] = 0;
      r.Number[kPropReadTimeout] = 5;
      r.Number[kLinkFilter] = 1;
      r.SetText(kLinkStartTrigger, "37");
      r.SetText(kLinkEndTrigger, "37");
    });
    program_.NCID = 7;
    std::strcpy(program_.DESC, "PROG7");
    std::strcpy(program_.MACHINE, "MILL1");
    sendFile_ = Root() + "/temp/DNCF1.RF1";
    std::ofstream(sendFile_, std::ios::binary) << "%\r\nO7\r\nG1 X10\r\nM30\r\n%";
    Globals->DncTransferFile.Set(sendFile_.c_str());
  }
  void TearDown() override {
    plat::set_time_scale(1.0);
    DncDialogTest::TearDown();
  }

  void Port(long id, const std::function<void(TMultiDncRecord&)>& adjust) {
    TMultiDncTable t("KELVCOMM.DBF", 1, 0);
    std::unique_ptr<TMultiDncRecord> r(t.FindById(id));
    ASSERT_TRUE(r);
    adjust(*r);
    ASSERT_EQ(t.Update(r.get()), 1);
  }
  std::unique_ptr<TMultiDncRecord> Stored(long id) {
    TMultiDncTable t("KELVCOMM.DBF", 1, 0);
    return std::unique_ptr<TMultiDncRecord>(t.FindById(id));
  }
  std::vector<std::string> LogTypes() {
    std::vector<std::string> t;
    for (auto& r : Rows(DbPath("LOG00000.DBF"))) t.push_back(r[2]);
    return t;
  }
  // Pumps the dialog's messages until the test it runs has ended.
  static bool WaitIdle(plat::UiDriver& driver, TDncLinkDlg& dlg) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (dlg.TestRunning() && std::chrono::steady_clock::now() < end)
      driver.wait_and_pump(std::chrono::milliseconds(20));
    return !dlg.TestRunning();
  }

  TcbFileRecord program_;
  std::string sendFile_;
};

TEST_F(LinkDialogTest, ShowsTheProgramThePreselectedPortAndWhatTheUserMayDo) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(TDncLinkDlg::kTemplate, [](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_DNC_LINK_PROGRAM), "PROG7");
    EXPECT_EQ(p.selection(IDC_DNC_LINK_PORTS), 1) << "the line of the program's machine";
    EXPECT_EQ(p.text(IDC_DNC_LINK_PORT), "COMM-31: 9600 baud, 8-NONE-1 , Flow : SOFTWARE");
    EXPECT_FALSE(p.visible(IDC_DNC_LINK_RECEIVE)) << "no receiving offered";
    EXPECT_FALSE(p.visible(IDC_DNC_LINK_STOP));
    for (int id : {IDC_DNC_LINK_SETUP, IDC_DNC_LINK_ADD_PORT, IDC_DNC_LINK_DELETE_PORT}) EXPECT_TRUE(p.visible(id));
    for (int id : {IDC_DNC_LINK_RECEIVED, IDC_DNC_LINK_SENT, IDC_DNC_LINK_TOTAL, IDC_DNC_LINK_RATE})
      EXPECT_EQ(p.text(id), "0");
    EXPECT_EQ(p.text(IDC_DNC_LINK_TIME), "00.00.00");
    EXPECT_EQ(p.text(IDC_DNC_LINK_EXIT), "&0. Exit");
    p.select(IDC_DNC_LINK_PORTS, 0);
    EXPECT_EQ(p.text(IDC_DNC_LINK_PORT), "COMM-32: 50 baud, 5-NONE-1 , Flow : NONE");
    p.click(IDC_DNC_LINK_EXIT);
  });
  TDncLinkDlg dlg(nullptr, &program_, machineId_, false);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);

  Globals->RightsMask = 0;
  driver.expect_dialog(TDncLinkDlg::kTemplate, [](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_DNC_LINK_PROGRAM), "No program");
    EXPECT_EQ(p.selection(IDC_DNC_LINK_PORTS), 0);
    EXPECT_TRUE(p.visible(IDC_DNC_LINK_RECEIVE));
    for (int id : {IDC_DNC_LINK_SETUP, IDC_DNC_LINK_ADD_PORT, IDC_DNC_LINK_DELETE_PORT}) EXPECT_FALSE(p.visible(id));
    p.press_escape();
  });
  TDncLinkDlg bare(nullptr, nullptr, 0, true);
  EXPECT_EQ(bare.Execute(), IDCANCEL);
}

TEST_F(LinkDialogTest, AReceptionThatEndsByItselfClosesWithOkOverTheReceivedFile) {
  sim::Machine m(kMillCom);
  std::ofstream(TDncLinkDlg::ReceivePath(), std::ios::binary) << "stale";
  plat::GTestUiDriver driver;
  driver.expect_dialog(TDncLinkDlg::kTemplate, [&](TDialog& d) {
    auto& dlg = static_cast<TDncLinkDlg&>(d);
    Pilot p(d);
    ASSERT_TRUE(p.click(IDC_DNC_LINK_RECEIVE));
    {
      TClientDC dc(d.GetHandle());
      EXPECT_EQ(plat::ask_control_colors(p.control(IDC_DNC_LINK_RECEIVED)->GetHandle(), dc).text, RGB(255, 255, 0))
          << "yellow counters while receiving";
    }
    EXPECT_TRUE(p.visible(IDC_DNC_LINK_STOP));
    EXPECT_FALSE(p.enabled(IDC_DNC_LINK_EXIT));
    EXPECT_FALSE(p.enabled(IDC_DNC_LINK_PORTS));
    d.PostMessage(WM_CLOSE);
    driver.pump();
    EXPECT_FALSE(d.HasEnded()) << "no closing while a test runs";
    m.Send("noise%\r\nO7\r\nG1 X10\r\nM30\r\n%\r\n");
    ASSERT_TRUE(WaitIdle(driver, dlg));
    EXPECT_TRUE(d.HasEnded());
  });
  TDncLinkDlg dlg(nullptr, &program_, machineId_, true);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(kvdb::ReadFileBytes(Native(TDncLinkDlg::ReceivePath())), "%\r\nO7\r\nG1 X10\r\nM30\r\n%\r\n");
}

TEST_F(LinkDialogTest, AFailedReceptionIsToldAndNeverEndsWithOk) {
  sim::Machine m(kMillCom);
  plat::GTestUiDriver driver;
  driver.expect_dialog(TDncLinkDlg::kTemplate, [&](TDialog& d) {
    auto& dlg = static_cast<TDncLinkDlg&>(d);
    Pilot p(d);
    // Nothing between the triggers: no program to hand over.
    driver.expect_message_box(IDOK, "Nothing was received");
    ASSERT_TRUE(p.click(IDC_DNC_LINK_RECEIVE));
    m.Send("noise without a start\r\n");
    ASSERT_TRUE(WaitIdle(driver, dlg));
    EXPECT_FALSE(d.HasEnded());
    EXPECT_TRUE(p.enabled(IDC_DNC_LINK_RECEIVE));
    // A receive file that cannot be created.
    Globals->TempDir = Root() + "/gone\\";
    driver.expect_message_box(IDOK, "could not be created");
    ASSERT_TRUE(p.click(IDC_DNC_LINK_RECEIVE));
    ASSERT_TRUE(WaitIdle(driver, dlg));
    EXPECT_FALSE(d.HasEnded());
    // A disk that fills while the program comes in.
    Globals->TempDir = Root() + "/temp\\";
    plat::set_write_fault("RECDNC.TMP", 5);
    driver.expect_message_box(IDOK, "could not be written");
    ASSERT_TRUE(p.click(IDC_DNC_LINK_RECEIVE));
    m.Send("%\r\nO7\r\nG1 X10\r\nM30\r\n%\r\n");
    ASSERT_TRUE(WaitIdle(driver, dlg));
    plat::set_write_fault("", 0);
    EXPECT_FALSE(d.HasEnded());
    // Stopped by the user.
    ASSERT_TRUE(p.click(IDC_DNC_LINK_RECEIVE));
    driver.expect_message_box(IDYES, "Cancel the transfer");
    ASSERT_TRUE(p.click(IDC_DNC_LINK_STOP));
    ASSERT_TRUE(WaitIdle(driver, dlg));
    EXPECT_FALSE(d.HasEnded());
    p.click(IDC_DNC_LINK_EXIT);
  });
  TDncLinkDlg dlg(nullptr, &program_, machineId_, true);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
}

TEST_F(LinkDialogTest, SendsTheFileAndLogsOnlyACompletedSendAsSent) {
  sim::Machine m(kMillCom);
  plat::GTestUiDriver driver;
  std::string got;
  driver.expect_dialog(TDncLinkDlg::kTemplate, [&](TDialog& d) {
    auto& dlg = static_cast<TDncLinkDlg&>(d);
    Pilot p(d);
    auto colours = [&](int id) {
      TClientDC dc(d.GetHandle());
      return plat::ask_control_colors(p.control(id)->GetHandle(), dc);
    };
    EXPECT_EQ(colours(103).text, RGB(0, 0, 192));
    EXPECT_EQ(colours(400).text, RGB(0, 255, 0));
    EXPECT_EQ(colours(IDC_DNC_LINK_PROGRAM).back, RGB(0, 0, 0));
    ASSERT_TRUE(p.click(IDC_DNC_LINK_SEND));
    EXPECT_TRUE(p.visible(IDC_DNC_LINK_PROGRESS)) << "the progress bar shows while sending";
    EXPECT_EQ(colours(IDC_DNC_LINK_SENT).text, RGB(0, 255, 0)) << "green counters while sending";
    EXPECT_EQ(colours(IDC_DNC_LINK_SENT).back, RGB(0, 0, 0));
    ASSERT_TRUE(WaitIdle(driver, dlg));
    got = m.Received(20);
    EXPECT_FALSE(p.visible(IDC_DNC_LINK_PROGRESS));
    EXPECT_EQ(p.text(IDC_DNC_LINK_SENT), "0") << "counters back to zero";

    // Held by XOFF until the port's time-out: not sent, and said so.
    Port(1, [](TMultiDncRecord& r) {
      r.Number[kLinkStartInXoff] = 1;
      r.Number[kLinkXoffMinutes] = 1;
    });
    p.select(IDC_DNC_LINK_PORTS, 1);
    driver.expect_message_box(IDOK, "XOFF");
    ASSERT_TRUE(p.click(IDC_DNC_LINK_SEND));
    ASSERT_TRUE(WaitIdle(driver, dlg));

    // Stopped during the hold: the user is asked first.
    Port(1, [](TMultiDncRecord& r) { r.Number[kLinkXoffMinutes] = 0; });
    p.select(IDC_DNC_LINK_PORTS, 1);
    ASSERT_TRUE(p.click(IDC_DNC_LINK_SEND));
    driver.expect_message_box(IDNO, "Cancel the transfer");
    ASSERT_TRUE(p.click(IDC_DNC_LINK_STOP));
    EXPECT_TRUE(dlg.TestRunning());
    driver.expect_message_box(IDYES, "Cancel the transfer");
    ASSERT_TRUE(p.click(IDC_DNC_LINK_STOP));
    ASSERT_TRUE(WaitIdle(driver, dlg));
    p.click(IDC_DNC_LINK_EXIT);
  });
  TDncLinkDlg dlg(nullptr, &program_, machineId_, false);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
  EXPECT_EQ(got, "%\r\nO7\r\nG1 X10\r\nM30\r\n%\r\n");
  EXPECT_EQ(LogTypes(), (std::vector<std::string>{"1", "2", "2"}));
  bool named = false;
  const auto rows = Rows(DbPath("LOG00000.DBF"));
  for (const std::string& field : rows[0]) named |= field.find("PROG7 MILL1 Mill one") != std::string::npos;
  EXPECT_TRUE(named) << ::testing::PrintToString(rows[0]);
}

TEST_F(LinkDialogTest, APortThatDoesNotOpenAndAMissingSendFileAreTold) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(TDncLinkDlg::kTemplate, [&](TDialog& d) {
    auto& dlg = static_cast<TDncLinkDlg&>(d);
    Pilot p(d);
    driver.expect_message_box(IDOK, "Opening of port failed");
    driver.expect_message_box(IDOK, "Initialization of Commport failed");
    ASSERT_TRUE(p.click(IDC_DNC_LINK_SEND));
    EXPECT_FALSE(dlg.TestRunning());
    sim::Machine m(kMillCom);
    p.select(IDC_DNC_LINK_PORTS, 1);
    Globals->DncTransferFile.Set((Root() + "/temp/GONE.RF1").c_str());
    driver.expect_message_box(IDOK, "could not be opened");
    ASSERT_TRUE(p.click(IDC_DNC_LINK_SEND));
    ASSERT_TRUE(WaitIdle(driver, dlg));
    p.click(IDC_DNC_LINK_EXIT);
  });
  TDncLinkDlg dlg(nullptr, nullptr, 0, false);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
  EXPECT_TRUE(LogTypes().empty()) << "nothing was sent";
}

TEST_F(LinkDialogTest, PortsAreAddedEditedAndDeleted) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(TDncLinkDlg::kTemplate, [&](TDialog& d) {
    auto& dlg = static_cast<TDncLinkDlg&>(d);
    Pilot p(d);
    const std::size_t lines = p.lines(IDC_DNC_LINK_PORTS).size();
    // A new port whose setup is cancelled is not kept.
    driver.expect_dialog(IDD_PORT_SETUP, [](TDialog& s) { Pilot(s).click(IDCANCEL); });
    ASSERT_TRUE(p.click(IDC_DNC_LINK_ADD_PORT));
    EXPECT_EQ(p.lines(IDC_DNC_LINK_PORTS).size(), lines);
    // One saved with 400 is.
    driver.expect_dialog(IDD_PORT_SETUP, [](TDialog& s) {
      Pilot ps(s);
      ps.set_text(IDC_PORT_SETUP_NAME, "Grinder link");
      ps.select(IDC_PORT_SETUP_COM, 4);
      ps.click(IDC_PORT_SETUP_SAVE);
    });
    ASSERT_TRUE(p.click(IDC_DNC_LINK_ADD_PORT));
    ASSERT_EQ(p.lines(IDC_DNC_LINK_PORTS).size(), lines + 1);
    ASSERT_TRUE(dlg.SelectedPort());
    const long id = dlg.SelectedPort()->Number[kPropId];
    EXPECT_EQ(p.text(IDC_DNC_LINK_PORT).substr(0, 7), "COMM-5:");
    EXPECT_STREQ(Stored(id)->GetValue(kPropName), "Grinder link");
    // Edited.
    driver.expect_dialog(IDD_PORT_SETUP, [](TDialog& s) {
      Pilot ps(s);
      ps.select(IDC_PORT_SETUP_COM, 5);
      ps.click(IDC_PORT_SETUP_SAVE);
    });
    ASSERT_TRUE(p.click(IDC_DNC_LINK_SETUP));
    EXPECT_EQ(Stored(id)->GetListA(kPropComNumber), 6);
    EXPECT_EQ(p.text(IDC_DNC_LINK_PORT).substr(0, 7), "COMM-6:");
    // Deleted after the question.
    driver.expect_message_box(IDNO, "Delete this port");
    ASSERT_TRUE(p.click(IDC_DNC_LINK_DELETE_PORT));
    EXPECT_EQ(p.lines(IDC_DNC_LINK_PORTS).size(), lines + 1);
    driver.expect_message_box(IDYES, "Delete this port");
    ASSERT_TRUE(p.click(IDC_DNC_LINK_DELETE_PORT));
    EXPECT_EQ(p.lines(IDC_DNC_LINK_PORTS).size(), lines);
    for (const std::string& l : p.lines(IDC_DNC_LINK_PORTS)) EXPECT_NE(ListLineId(l.c_str()), id);
    p.click(IDC_DNC_LINK_EXIT);
  });
  TDncLinkDlg dlg(nullptr, &program_, machineId_, true);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
}

}  // namespace
