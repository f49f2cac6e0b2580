// The DNC setup dialog over the port table and the link-test port editor:
// layouts per protocol, naming mode and file-name mode, what reaches the
// table (read back by python3-dbfread), and what Cancel keeps out.
#include "dnc/setup_link.h"
#include "dnc/setup_multi.h"
#include "resources/dialogs/dncsetup.h"
#include "tests/dncsetup/setup_fixture.h"

namespace {

using kvdnc::SetupTest;
using plat::Pilot;

const std::string kPorts = "/alt/KELVMD32.DBF";

TEST_F(SetupTest, ProtocolAndNamingDecideWhatIsShownAndReservedEntriesSnapBack) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_DNC_SETUP, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TMultiDncSetup&>(d);
    ASSERT_NE(dlg.Current, nullptr);
    EXPECT_EQ(dlg.Current->Number[kPropId], 0);
    EXPECT_EQ(p.lines(IDC_DNC_SETUP_PORT).size(), 64u);
    EXPECT_EQ(p.lines(IDC_DNC_SETUP_PORT)[0], "PORT #1");
    // Only the rates the server sets on a line are offered.
    auto bauds = p.lines(IDC_DNC_SETUP_BAUD);
    ASSERT_EQ(bauds.size(), 12u);
    EXPECT_EQ(bauds.front(), "300");
    EXPECT_EQ(bauds.back(), "115200");
    EXPECT_EQ(bauds[p.selection(IDC_DNC_SETUP_BAUD)], "4800");  // the new slot's index 10
    TMemoryDC dc;
    dlg.EvCtlColor(dc, p.control(IDC_DNC_SETUP_PROTOCOL_GROUP)->GetHandle(), WM_CTLCOLORSTATIC);
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
      p.select(IDC_DNC_SETUP_PROTOCOL, c.protocol);
      p.select(IDC_DNC_SETUP_NAMING, c.naming);
      EXPECT_EQ(p.visible(IDC_DNC_SETUP_NAMING), c.naming117) << c.protocol;
      EXPECT_EQ(p.visible(IDC_DNC_SETUP_NAMING_LABEL), c.naming117) << c.protocol;
      EXPECT_EQ(p.visible(IDC_DNC_SETUP_RECEPTION), c.buttons108) << c.protocol;
      EXPECT_EQ(p.visible(IDC_DNC_SETUP_TRANSMISSION), c.buttons108) << c.protocol;
      EXPECT_EQ(p.visible(IDC_DNC_SETUP_MAZAK), c.mazak124) << c.protocol;
      EXPECT_EQ(p.visible(IDC_DNC_SETUP_MAZAK_LABEL), c.mazak124) << c.protocol;
      EXPECT_EQ(p.visible(IDC_DNC_SETUP_PROTOCOL_SETUP), c.setup127) << c.protocol;
      EXPECT_EQ(p.visible(IDC_DNC_SETUP_NAMING_SETUP), c.resNo110) << c.protocol << "/" << c.naming;
      EXPECT_EQ(dlg.Current->Number[kPropProtocol], c.protocol);
    }
    for (int refused : {5, 6}) {
      p.select(IDC_DNC_SETUP_PROTOCOL, refused);
      EXPECT_EQ(p.selection(IDC_DNC_SETUP_PROTOCOL), 0);
      EXPECT_EQ(dlg.Current->Number[kPropProtocol], 0);
    }
    for (int refused : {2, 4}) {
      p.select(IDC_DNC_SETUP_NAMING, refused);
      EXPECT_EQ(p.selection(IDC_DNC_SETUP_NAMING), 0);
      EXPECT_EQ(dlg.Current->Number[kPropNamingMode], 0);
    }
    // A new slot runs on file names: the extension and directories show.
    EXPECT_TRUE(p.checked(IDC_DNC_SETUP_FILENAMES));
    EXPECT_EQ(p.text(IDC_DNC_SETUP_EXTENSION), "NC");
    for (int id : {IDC_DNC_SETUP_EXTENSION_LABEL, IDC_DNC_SETUP_ADD_DIRECTORY, IDC_DNC_SETUP_REMOVE_DIRECTORY,
                   IDC_DNC_SETUP_EXTENSION, IDC_DNC_SETUP_DIRECTORIES})
      EXPECT_TRUE(p.visible(id)) << id;
    for (int id : {IDC_DNC_SETUP_MACHINE, IDC_DNC_SETUP_MACHINE_LABEL}) EXPECT_FALSE(p.visible(id)) << id;
    p.click(IDC_DNC_SETUP_FILENAMES);
    for (int id : {IDC_DNC_SETUP_EXTENSION_LABEL, IDC_DNC_SETUP_ADD_DIRECTORY, IDC_DNC_SETUP_REMOVE_DIRECTORY,
                   IDC_DNC_SETUP_EXTENSION, IDC_DNC_SETUP_DIRECTORIES})
      EXPECT_FALSE(p.visible(id)) << id;
    for (int id : {IDC_DNC_SETUP_MACHINE, IDC_DNC_SETUP_MACHINE_LABEL}) EXPECT_TRUE(p.visible(id)) << id;
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
    r->SetText(kPropFirstDirectory + 1, "D:\\B\\");
    r->SetText(kPropFirstDirectory, "D:\\A\\");
    r->SetText(kPropFirstDirectory + 2, "D:\\C\\");
    StorePort(*r);
  }
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_DNC_SETUP, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_DNC_SETUP_PORT, 1);
    EXPECT_EQ(p.lines(IDC_DNC_SETUP_DIRECTORIES), (std::vector<std::string>{"D:\\A\\", "D:\\B\\", "D:\\C\\"}));
    EXPECT_FALSE(p.enabled(IDC_DNC_SETUP_REMOVE_DIRECTORY));
    p.select(IDC_DNC_SETUP_DIRECTORIES, 1);
    EXPECT_TRUE(p.enabled(IDC_DNC_SETUP_REMOVE_DIRECTORY));
    p.click(IDC_DNC_SETUP_REMOVE_DIRECTORY);
    EXPECT_FALSE(p.enabled(IDC_DNC_SETUP_REMOVE_DIRECTORY));
    p.double_click(IDC_DNC_SETUP_DIRECTORIES, 0);
    p.set_text(IDC_DNC_SETUP_EXTENSION, "h");
    p.focus(IDC_DNC_SETUP_EXTENSION);
    p.set_text(IDC_DNC_SETUP_EXTENSION, "HEID");
    p.focus(IDC_DNC_SETUP_PORT_TEXT);
    p.select(IDC_DNC_SETUP_PORT, 2);  // leaving port 2 writes it
    EXPECT_EQ(PeerFields(Root() + kPorts, {1, 61, 86, 87, 88, 35})[1], "1|HEI|D:\\C\\|||1");
    // Port 3: a machine, line settings, a COM number of three digits.
    p.click(IDC_DNC_SETUP_FILENAMES);
    p.select(IDC_DNC_SETUP_MACHINE, 1);
    p.select(IDC_DNC_SETUP_BAUD, 0);   // 300
    p.select(IDC_DNC_SETUP_DATA_BITS, 2);   // 7 bits
    p.select(IDC_DNC_SETUP_PARITY, 2);   // even
    p.select(IDC_DNC_SETUP_FLOW, 2);   // hardware
    p.click(IDC_DNC_SETUP_UNIX_LINK);
    p.set_text(IDC_DNC_SETUP_COM, "123");
    p.focus(IDC_DNC_SETUP_COM);
    p.set_text(IDC_DNC_SETUP_PORT_TEXT, "Mill left");
    p.focus(IDC_DNC_SETUP_PORT);
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
  driver.expect_dialog(IDD_DNC_SETUP, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_DNC_SETUP_PORT_TEXT, "");
    p.click(IDOK);  // an empty port text keeps the dialog open
    EXPECT_TRUE(p.focused(IDC_DNC_SETUP_PORT_TEXT));
    // Empty edits keep the focus, and two of them do not pass it back
    // and forth without end.
    p.set_text(IDC_DNC_SETUP_COM, "");
    p.focus(IDC_DNC_SETUP_COM);
    EXPECT_TRUE(p.focused(IDC_DNC_SETUP_PORT_TEXT));
    p.set_text(IDC_DNC_SETUP_PORT_TEXT, "Lathe");
    p.focus(IDC_DNC_SETUP_COM);
    p.focus(IDC_DNC_SETUP_PORT_TEXT);
    EXPECT_TRUE(p.focused(IDC_DNC_SETUP_COM));
    p.set_text(IDC_DNC_SETUP_COM, "1");
    p.select(IDC_DNC_SETUP_PARITY, 4);
    p.click(IDC_DNC_SETUP_FILENAMES);
    driver.expect_dialog(IDD_TRANSMISSION, [&](TDialog& t) {
      Pilot q(t);
      q.set_text(IDC_TRANSMISSION_DELAY, "15");
      q.click(IDOK);
    });
    p.click(IDC_DNC_SETUP_TRANSMISSION);  // the transmission settings are written at once
    p.select(IDC_DNC_SETUP_FLOW, 3);
    p.click(IDCANCEL);
  });
  TMultiDncSetup dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
  EXPECT_EQ(PeerFields(Root() + kPorts, {1, 6, 7, 42, 37, 66})[0], "0|4|1|15|Lathe|1");
}

TEST_F(SetupTest, ProtocolSetupOpensTheDialogsOfItsProtocol) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_DNC_SETUP, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_DNC_SETUP_PORT_TEXT, "Mill");
    p.select(IDC_DNC_SETUP_PROTOCOL, 9);
    driver.expect_dialog(IDD_CHECK, [](TDialog& c) { Pilot(c).click(IDOK); });
    driver.expect_dialog(IDD_RS232, [](TDialog& c) {
      Pilot q(c);
      q.click(IDC_RS232_WAIT_DC2);
      q.click(IDOK);
    });
    p.click(IDC_DNC_SETUP_PROTOCOL_SETUP);
    p.select(IDC_DNC_SETUP_PROTOCOL, 1);  // Mazak: the reserved number
    driver.expect_dialog(IDD_RESERVED_NUMBER, [](TDialog& c) {
      Pilot q(c);
      q.set_text(IDC_RESERVED_NUMBER_VALUE, "8000");
      q.click(IDOK);
    });
    p.click(IDC_DNC_SETUP_NAMING_SETUP);
    p.select(IDC_DNC_SETUP_MAZAK, 5);
    p.click(IDOK);
  });
  TMultiDncSetup dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(PeerFields(Root() + kPorts, {1, 69, 68, 67, 146})[0], "0|1|5|8000|True");
  EXPECT_EQ(driver.dialogs_shown().size(), 4u);
}

TEST_F(SetupTest, LinkPortEditorShowsAndStoresTheComEntry) {
  TMultiDncRecord r;
  r.Number[kPropComNumber] = 3;
  r.Number[kPropBaud] = 12;
  r.SetText(kPropName, "Link 1");
  r.SetText(kPropDisplayName, "LATHE");
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_PORT_SETUP, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.lines(IDC_PORT_SETUP_COM).size(), 10u);
    EXPECT_EQ(p.lines(IDC_PORT_SETUP_COM)[p.selection(IDC_PORT_SETUP_COM)], "COMM-03");
    EXPECT_EQ(p.lines(IDC_PORT_SETUP_BAUD)[p.selection(IDC_PORT_SETUP_BAUD)], "9600");
    EXPECT_EQ(p.text(IDC_PORT_SETUP_NAME), "Link 1");
    EXPECT_EQ(p.text(IDC_PORT_SETUP_MACHINE), "LATHE");
    EXPECT_FALSE(p.enabled(IDC_PORT_SETUP_PICK_MACHINE));  // the machine chooser is not there yet
    p.click(IDC_PORT_SETUP_IMPORT);
    p.click(IDC_PORT_SETUP_EXPORT);
    p.select(IDC_PORT_SETUP_COM, 9);
    p.select(IDC_PORT_SETUP_BAUD, 11);
    p.set_text(IDC_PORT_SETUP_NAME, "Link 2");
    driver.expect_dialog(IDD_RS232, [](TDialog& c) {
      Pilot q(c);
      q.click(IDC_RS232_WAIT_XON);
      q.click(IDOK);
    });
    p.click(IDC_PORT_SETUP_START_STOP);
    driver.expect_dialog(IDD_RECEPTION_LINK, [](TDialog& c) {
      Pilot q(c);
      q.set_text(IDC_RECEPTION_TIMEOUT, "60");
      q.click(IDOK);
    });
    p.click(IDC_PORT_SETUP_RECEPTION);
    EXPECT_EQ(r.Number[kPropComNumber], 3);  // line settings wait for Save & Exit
    p.press_enter();
    EXPECT_FALSE(d.HasEnded());
    p.click(IDC_PORT_SETUP_SAVE);
  });
  TDncSetupDlg dlg(nullptr, &r);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(r.Number[kPropComNumber], 10);
  EXPECT_EQ(r.Number[kPropBaud], 16);
  EXPECT_STREQ(r.GetValue(kPropName), "Link 2");
  EXPECT_EQ(r.Number[kPropStartInXoff], 1);
  EXPECT_EQ(r.Number[kPropReadTimeout], 60);
}

}  // namespace
