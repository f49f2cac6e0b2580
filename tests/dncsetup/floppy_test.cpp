// Port setups saved to and loaded from the floppy file A:\KELVMD32.DBF,
// with the drive mapped onto a scratch directory.
#include "dnc/setup_floppy.h"
#include "dnc/setup_multi.h"
#include "resources/dialogs/dncsetup.h"
#include "tests/dncsetup/setup_fixture.h"

namespace {

using kvdnc::SetupTest;
using plat::Pilot;

void Export(plat::UiDriver& driver, Pilot& p, const std::string& name,
            const std::vector<std::string>& listed, const char* refusal = nullptr) {
  driver.expect_message_box(IDOK, "Insert disk into drive A:");
  driver.expect_dialog(IDD_SAVE_SETUP, [&, name, listed, refusal](TDialog& s) {
    Pilot q(s);
    EXPECT_EQ(q.lines(IDC_SAVE_SETUP_LIST), listed);
    q.set_text(IDC_SAVE_SETUP_NAME, name);
    if (refusal) {
      driver.expect_message_box(IDOK, refusal);
      q.click(IDOK);
      EXPECT_TRUE(q.focused(IDC_SAVE_SETUP_NAME));
      q.click(IDCANCEL);
    } else {
      q.click(IDOK);
    }
  });
  p.click(IDC_DNC_SETUP_EXPORT);
}

TEST_F(SetupTest, ExportCreatesTheSetupFileAndKeepsNamesApart) {
  {
    auto r = Port(0);
    r->SetText(kPropSetupName, "G04");  // the port's own delay-line text
    r->Number[kPropProtocol] = 7;
    StorePort(*r);
  }
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_DNC_SETUP, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_DNC_SETUP_PORT_TEXT, "Lathe");
    Export(driver, p, "Lathe Fanuc", {});
    Export(driver, p, "Lathe Fanuc", {"Lathe Fanuc"}, "Cannot save to duplicate name!");
    Export(driver, p, "LATHE FANUC", {"Lathe Fanuc"});
    Export(driver, p, std::string(95, 'N').substr(0, 94), {"Lathe Fanuc", "LATHE FANUC"});
    // The export dialog beeps at an empty name and stays.
    driver.expect_message_box(IDOK, "Insert disk");
    driver.expect_dialog(IDD_SAVE_SETUP, [](TDialog& s) {
      Pilot q(s);
      q.set_text(IDC_SAVE_SETUP_NAME, "   ");
      q.click(IDOK);
      EXPECT_TRUE(q.focused(IDC_SAVE_SETUP_NAME));
      q.click(IDCANCEL);
    });
    p.click(IDC_DNC_SETUP_EXPORT);
    // The port's transmission settings still show its own text.
    driver.expect_dialog(IDD_TRANSMISSION, [](TDialog& t) {
      EXPECT_EQ(Pilot(t).text(IDC_TRANSMISSION_ON_LINES), "G04");
      Pilot(t).click(IDCANCEL);
    });
    p.click(IDC_DNC_SETUP_TRANSMISSION);
    p.click(IDOK);
  });
  TMultiDncSetup dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDOK);
  std::string layout = kvdb::PeerLayout(Root(), FloppyPath());
  EXPECT_EQ(layout, kvdb::PeerLayout(Root(), AltPath("KELVMD32.DBF")).substr(0, layout.find('|')) + "| 3");
  EXPECT_NE(layout.find("F_062:C:100"), std::string::npos);
  EXPECT_EQ(PeerFields(FloppyPath(), {1, 62, 69, 37}),
            (std::vector<std::string>{"0|Lathe Fanuc|7|Lathe", "1|LATHE FANUC|7|Lathe",
                                      "2|" + std::string(94, 'N') + "|7|Lathe"}));
  EXPECT_EQ(PeerFields(AltPath("KELVMD32.DBF"), {1, 62})[0], "0|G04");
}

TEST_F(SetupTest, ImportAppliesTheSetupUnderThePortsId) {
  {
    // A setup saved earlier from another station's port 9.
    TMultiDncRecord saved;
    saved.SetText(kPropSetupName, "Heidenhain 530");
    saved.SetText(kPropDisplayName, "Mill right");
    saved.Number[kPropProtocol] = 2;
    saved.Number[kPropBaud] = 13;
    plat::GTestUiDriver driver;
    driver.expect_message_box(IDOK, "Insert disk");
    driver.expect_dialog(IDD_SAVE_SETUP, [](TDialog& s) {
      Pilot q(s);
      q.set_text(IDC_SAVE_SETUP_NAME, "Heidenhain 530");
      q.click(IDOK);
    });
    TSaveDncSetup dlg(nullptr, &saved);
    EXPECT_EQ(dlg.Execute(), IDOK);
  }
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_DNC_SETUP, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_DNC_SETUP_PORT, 4);
    driver.expect_message_box(IDOK, "Insert disk");
    driver.expect_dialog(IDD_LOAD_SETUP, [](TDialog& l) {
      Pilot q(l);
      auto lines = q.lines(IDC_LOAD_SETUP_LIST);
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0], std::string("Heidenhain 530") + std::string(116, ' ') + "@@0");
      q.click(IDOK);  // nothing selected: nothing happens
      q.double_click(IDC_LOAD_SETUP_LIST, 0);
    });
    p.click(IDC_DNC_SETUP_IMPORT);
    EXPECT_EQ(p.text(IDC_DNC_SETUP_PORT_TEXT), "Mill right");
    EXPECT_FALSE(p.visible(IDC_DNC_SETUP_NAMING));  // Heidenhain
    p.click(IDOK);
  });
  TMultiDncSetup dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDOK);
  auto rows = PeerFields(AltPath("KELVMD32.DBF"), {1, 37, 69, 3, 62});
  ASSERT_EQ(rows.size(), 64u);
  EXPECT_EQ(rows[4], "4|Mill right|2|13|Heidenhain 530");
}

TEST_F(SetupTest, NoDiskGivesUpWithAMessageAndCancelTouchesNothing) {
  TMultiDncRecord r;
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDCANCEL, "Insert disk into drive A:");
  TSaveDncSetup cancelled(nullptr, &r);
  EXPECT_EQ(cancelled.Execute(), IDCANCEL);
  EXPECT_FALSE(std::filesystem::exists(FloppyPath()));

  plat::set_drive_root('A', Root() + "/no-drive");
  driver.expect_message_box(IDOK, "Insert disk into drive A:");
  driver.expect_message_box(IDOK, "can neither be found nor created");
  TLoadDncSetup load(nullptr);
  EXPECT_EQ(load.Execute(), IDCANCEL);
  EXPECT_FALSE(load.Loaded);
}

}  // namespace
