// The DNC setup dialog over the port table and the link-test port editor:
// layouts per protocol, naming mode and file-name mode, what reaches the
// table (read back by python3-dbfread), and what Cancel keeps out.
#include "dnc/setup_link.h"
#include "dnc/setup_multi.h"
#include "tests/dncsetup/setup_fixture.h"

namespace {

using kvdnc::SetupTest;
using plat::Pilot;

const std::string kPorts = "/alt/KELVMD32.DBF";

TEST_F(SetupTest, ProtocolAndNamingDecideWhatIsShownAndReservedEntriesSnapBack) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(102, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TMultiDncSetup&>(d);
    ASSERT_NE(dlg.Current, nullptr);
    EXPECT_EQ(dlg.Current->Number[1], 0);
    EXPECT_EQ(p.lines(102).size(), 64u);
    EXPECT_EQ(p.lines(102)[0], "PORT #1");
    // Only the rates the server sets on a line are offered.
    auto bauds = p.lines(103);
    ASSERT_EQ(bauds.size(), 12u);
    EXPECT_EQ(bauds.front(), "300");
    EXPECT_EQ(bauds.back(), "115200");
    EXPECT_EQ(bauds[p.selection(103)], "4800");  // the new slot's index 10
    TMemoryDC dc;
    dlg.EvCtlColor(dc, p.control(205)->GetHandle(), WM_CTLCOLORSTATIC);
    EXPECT_EQ(dc.GetTextColor(), RGB(128, 0, 0));
    struct Case {
      int protocol, naming;
      bool naming117, buttons108, mazak124, setup127, resNo110;
    } cases[] = {
        {0, 0, true, true, false, true, false},   {0, 1, true, true, false, true, true},
        {0, 3, true, true, false, true, true},    {1, 0, false, false, true, false, true},
        {2, 0, false, false, false, false, false}, {3, 0, false, false, false, false, false},
        {8, 0, false, false, false, false, false}, {4, 1, true, true, false, true, false},
        {7, 1, true, true, false, true, true},    {9, 5, true, true, false, true, false},
    };
    for (const Case& c : cases) {
      p.select(123, c.protocol);
      p.select(117, c.naming);
      EXPECT_EQ(p.visible(117), c.naming117) << c.protocol;
      EXPECT_EQ(p.visible(206), c.naming117) << c.protocol;
      EXPECT_EQ(p.visible(108), c.buttons108) << c.protocol;
      EXPECT_EQ(p.visible(109), c.buttons108) << c.protocol;
      EXPECT_EQ(p.visible(124), c.mazak124) << c.protocol;
      EXPECT_EQ(p.visible(207), c.mazak124) << c.protocol;
      EXPECT_EQ(p.visible(127), c.setup127) << c.protocol;
      EXPECT_EQ(p.visible(110), c.resNo110) << c.protocol << "/" << c.naming;
      EXPECT_EQ(dlg.Current->Number[69], c.protocol);
    }
    for (int refused : {5, 6}) {
      p.select(123, refused);
      EXPECT_EQ(p.selection(123), 0);
      EXPECT_EQ(dlg.Current->Number[69], 0);
    }
    for (int refused : {2, 4}) {
      p.select(117, refused);
      EXPECT_EQ(p.selection(117), 0);
      EXPECT_EQ(dlg.Current->Number[33], 0);
    }
    // A new slot runs on file names: the extension and directories show.
    EXPECT_TRUE(p.checked(119));
    EXPECT_EQ(p.text(118), "NC");
    for (int id : {204, 122, 128, 118, 121}) EXPECT_TRUE(p.visible(id)) << id;
    for (int id : {101, 202}) EXPECT_FALSE(p.visible(id)) << id;
    p.click(119);
    for (int id : {204, 122, 128, 118, 121}) EXPECT_FALSE(p.visible(id)) << id;
    for (int id : {101, 202}) EXPECT_TRUE(p.visible(id)) << id;
    p.click(IDCANCEL);
  });
  TMultiDncSetup dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
  // Cancel wrote none of it.
  EXPECT_EQ(PeerFields(Root() + kPorts, {1, 69, 79})[0], "0|0|True");
}

TEST_F(SetupTest, LeavingAPortAndOkWriteTheFieldsOfTheRow) {
  long mill = MachineId("MILL");
  {
    auto r = Port(1);
    r->SetText(87, "D:\\B\\");
    r->SetText(86, "D:\\A\\");
    r->SetText(88, "D:\\C\\");
    StorePort(*r);
  }
  plat::GTestUiDriver driver;
  driver.expect_dialog(102, [&](TDialog& d) {
    Pilot p(d);
    p.select(102, 1);
    EXPECT_EQ(p.lines(121), (std::vector<std::string>{"D:\\A\\", "D:\\B\\", "D:\\C\\"}));
    EXPECT_FALSE(p.enabled(128));
    p.select(121, 1);
    EXPECT_TRUE(p.enabled(128));
    p.click(128);
    EXPECT_FALSE(p.enabled(128));
    p.double_click(121, 0);
    p.set_text(118, "h");
    p.focus(118);
    p.set_text(118, "HEID");
    p.focus(115);
    p.select(102, 2);  // leaving port 2 writes it
    EXPECT_EQ(PeerFields(Root() + kPorts, {1, 61, 86, 87, 88, 35})[1], "1|HEI|D:\\C\\|||1");
    // Port 3: a machine, line settings, a COM number of three digits.
    p.click(119);
    p.select(101, 1);
    p.select(103, 0);   // 300
    p.select(104, 2);   // 7 bits
    p.select(106, 2);   // even
    p.select(107, 2);   // hardware
    p.click(112);
    p.set_text(113, "123");
    p.focus(113);
    p.set_text(115, "Mill left");
    p.focus(102);
    p.click(IDOK);
  });
  TMultiDncSetup dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDOK);
  auto rows = PeerFields(Root() + kPorts, {1, 2, 3, 4, 6, 7, 24, 25, 26, 37, 66, 76, 79});
  ASSERT_EQ(rows.size(), 64u);
  EXPECT_EQ(rows[2], "2|MILL|5|2|2|2|" + std::to_string(mill) + "|8|C:\\NC\\MILL\\|Mill left|12|True|False");
}

TEST_F(SetupTest, CancelKeepsPendingEditsOutAndOptionDialogsSaveAtOnce) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(102, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(115, "");
    p.click(IDOK);  // an empty port text keeps the dialog open
    EXPECT_TRUE(p.focused(115));
    // Empty edits keep the focus, and two of them do not pass it back
    // and forth without end.
    p.set_text(113, "");
    p.focus(113);
    EXPECT_TRUE(p.focused(115));
    p.set_text(115, "Lathe");
    p.focus(113);
    p.focus(115);
    EXPECT_TRUE(p.focused(113));
    p.set_text(113, "1");
    p.select(106, 4);
    p.click(119);
    driver.expect_dialog(104, [&](TDialog& t) {
      Pilot q(t);
      q.set_text(123, "15");
      q.click(IDOK);
    });
    p.click(109);  // the transmission settings are written at once
    p.select(107, 3);
    p.click(IDCANCEL);
  });
  TMultiDncSetup dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
  EXPECT_EQ(PeerFields(Root() + kPorts, {1, 6, 7, 42, 37, 66})[0], "0|4|1|15|Lathe|1");
}

TEST_F(SetupTest, ProtocolSetupOpensTheDialogsOfItsProtocol) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(102, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(115, "Mill");
    p.select(123, 9);
    driver.expect_dialog(101, [](TDialog& c) { Pilot(c).click(IDOK); });
    driver.expect_dialog(114, [](TDialog& c) {
      Pilot q(c);
      q.click(101);
      q.click(IDOK);
    });
    p.click(127);
    p.select(123, 1);  // Mazak: the reserved number
    driver.expect_dialog(107, [](TDialog& c) {
      Pilot q(c);
      q.set_text(101, "8000");
      q.click(IDOK);
    });
    p.click(110);
    p.select(124, 5);
    p.click(IDOK);
  });
  TMultiDncSetup dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(PeerFields(Root() + kPorts, {1, 69, 68, 67, 146})[0], "0|1|5|8000|True");
  EXPECT_EQ(driver.dialogs_shown().size(), 4u);
}

TEST_F(SetupTest, LinkPortEditorShowsAndStoresTheComEntry) {
  TMultiDncRecord r;
  r.Number[66] = 3;
  r.Number[3] = 12;
  r.SetText(2, "Link 1");
  r.SetText(37, "LATHE");
  plat::GTestUiDriver driver;
  driver.expect_dialog(42, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.lines(102).size(), 10u);
    EXPECT_EQ(p.lines(102)[p.selection(102)], "COMM-03");
    EXPECT_EQ(p.lines(105)[p.selection(105)], "9600");
    EXPECT_EQ(p.text(101), "Link 1");
    EXPECT_EQ(p.text(103), "LATHE");
    EXPECT_FALSE(p.enabled(405));  // the machine chooser is not there yet
    p.click(401);
    p.click(402);
    p.select(102, 9);
    p.select(105, 11);
    p.set_text(101, "Link 2");
    driver.expect_dialog(114, [](TDialog& c) {
      Pilot q(c);
      q.click(103);
      q.click(IDOK);
    });
    p.click(406);
    driver.expect_dialog(43, [](TDialog& c) {
      Pilot q(c);
      q.set_text(101, "60");
      q.click(IDOK);
    });
    p.click(404);
    EXPECT_EQ(r.Number[66], 3);  // line settings wait for Save & Exit
    p.press_enter();
    EXPECT_FALSE(d.HasEnded());
    p.click(400);
  });
  TDncSetupDlg dlg(nullptr, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(r.Number[66], 10);
  EXPECT_EQ(r.Number[3], 16);
  EXPECT_STREQ(r.GetValue(2), "Link 2");
  EXPECT_EQ(r.Number[148], 1);
  EXPECT_EQ(r.Number[8], 60);
}

}  // namespace
