// The Extras menu's connection dialogs: a network folder onto a drive
// letter through the drive table, and the printer the station prints to,
// chosen from the print service's list.
#include "app/main_frame.h"
#include "app/net_connect.h"
#include "app/profile_net.h"
#include "platform/path.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/print.h"
#include "tests/app/station.h"

namespace {

using plat::Pilot;
using station::StationTest;
namespace fs = std::filesystem;

class NetConnectTest : public StationTest {
 protected:
  void SetUp() override {
    StationTest::SetUp();
    kept_ = plat::default_print_setup();
  }
  void TearDown() override {
    for (char c = 'D'; c <= 'Z'; ++c) NetCancelConnection(std::string(1, c) + ":");
    plat::set_default_print_setup(kept_);
    StationTest::TearDown();
  }
  std::string Share(const std::string& server, const std::string& share) {
    fs::path dir = Home() / "net" / server / share;
    fs::create_directories(dir);
    return dir.string();
  }
  static int LineOf(Pilot& p, int id, const std::string& start) {
    std::vector<std::string> lines = p.lines(id);
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].rfind(start, 0) == 0) return static_cast<int>(i);
    return -1;
  }
  // A print service that knows the printers given, as `lpstat -e` names them.
  void PrintService(const std::string& script) {
    fs::path lpstat = Home() / "lpstat";
    std::ofstream(lpstat) << "#!/bin/sh\n" << script;
    fs::permissions(lpstat, fs::perms::owner_all);
    TPrintSetup s = plat::default_print_setup();
    s.ListCommand = lpstat.string();
    plat::set_default_print_setup(s);
  }

  plat::GTestUiDriver driver;
  TPrintSetup kept_;
};

TEST_F(NetConnectTest, AFolderGoesOntoTheChosenLetterAndAMissingOneIsTold) {
  const std::string progs = Share("SRV", "PROGS");
  Share("SRV", "BACKUP");
  driver.expect_dialog(IDD_CONNECT_DRIVE, [&](TDialog& d) {
    Pilot p(d);
    // D: to Z:, the first free one chosen; the shares there are offered.
    std::vector<std::string> letters = p.lines(IDC_CONNECT_DRIVE_LETTER);
    ASSERT_EQ(letters.size(), 23u);
    EXPECT_EQ(letters.front(), "D:");
    EXPECT_EQ(letters.back(), "Z:");
    EXPECT_EQ(p.selection(IDC_CONNECT_DRIVE_LETTER), 0);
    EXPECT_EQ(p.lines(IDC_CONNECT_DRIVE_FOLDER), (std::vector<std::string>{"\\\\SRV\\BACKUP", "\\\\SRV\\PROGS"}));
    p.select(IDC_CONNECT_DRIVE_LETTER, LineOf(p, IDC_CONNECT_DRIVE_LETTER, "H:"));
    // No such share: said, and the dialog stays for another try.
    p.set_text(IDC_CONNECT_DRIVE_FOLDER, "\\\\SRV\\NONE");
    driver.expect_message_box(IDOK, "The network folder \\\\SRV\\NONE was not found.");
    p.click(IDOK);
    EXPECT_FALSE(d.HasEnded());
    p.set_text(IDC_CONNECT_DRIVE_FOLDER, "\\\\srv\\progs");
    p.click(IDOK);
  });
  EXPECT_EQ(TConnectDriveDialog(nullptr).Execute(), IDOK);
  EXPECT_EQ(plat::drive_root('H'), progs);
  std::ofstream(progs + "/P1.NC") << "O1\r\n";
  EXPECT_EQ(plat::to_native_path("H:\\P1.NC"), progs + "/P1.NC");

  // The letter shows its folder; another one of the same letter replaces it.
  driver.expect_dialog(IDD_CONNECT_DRIVE, [&](TDialog& d) {
    Pilot p(d);
    int h = LineOf(p, IDC_CONNECT_DRIVE_LETTER, "H:");
    EXPECT_EQ(p.lines(IDC_CONNECT_DRIVE_LETTER)[h], "H:   \\\\srv\\progs");
    EXPECT_EQ(p.selection(IDC_CONNECT_DRIVE_LETTER), 0) << "the first free letter";
    p.select(IDC_CONNECT_DRIVE_LETTER, h);
    EXPECT_EQ(p.text(IDC_CONNECT_DRIVE_FOLDER), "\\\\srv\\progs");
    p.set_text(IDC_CONNECT_DRIVE_FOLDER, "\\\\SRV\\BACKUP");
    p.click(IDOK);
  });
  EXPECT_EQ(TConnectDriveDialog(nullptr).Execute(), IDOK);
  EXPECT_EQ(plat::drive_root('H'), Home().string() + "/net/SRV/BACKUP");
}

TEST_F(NetConnectTest, AFolderThatCannotBeHadLeavesTheLetterOnItsFolder) {
  const std::string progs = Share("SRV", "PROGS");
  ASSERT_EQ(NetAddConnection("K:", "\\\\SRV\\PROGS", nullptr, nullptr), kNetOk);
  driver.expect_dialog(IDD_CONNECT_DRIVE, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_CONNECT_DRIVE_LETTER, LineOf(p, IDC_CONNECT_DRIVE_LETTER, "K:"));
    p.set_text(IDC_CONNECT_DRIVE_FOLDER, "\\\\SRV\\GONE");
    driver.expect_message_box(IDOK, "was not found");
    p.click(IDOK);
    EXPECT_EQ(p.lines(IDC_CONNECT_DRIVE_LETTER)[p.selection(IDC_CONNECT_DRIVE_LETTER)], "K:   \\\\SRV\\PROGS");
    p.click(IDCANCEL);
  });
  EXPECT_EQ(TConnectDriveDialog(nullptr).Execute(), IDCANCEL);
  EXPECT_EQ(plat::drive_root('K'), progs);
  std::string remote;
  EXPECT_EQ(NetGetConnection("K:", remote), kNetOk);
  EXPECT_EQ(remote, "\\\\SRV\\PROGS");
}

TEST_F(NetConnectTest, APrinterOfTheServiceBecomesTheStationsAndAnUnknownOneIsTold) {
  PrintService("echo plotter\necho office\n");
  driver.expect_dialog(IDD_CONNECT_PRINTER, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.lines(IDC_CONNECT_PRINTER_LIST), (std::vector<std::string>{"office", "plotter"}));
    EXPECT_EQ(p.text(IDC_CONNECT_PRINTER_NAME), "");
    EXPECT_NE(p.text(IDC_CONNECT_PRINTER_NOW).find("PDF files"), std::string::npos);
    p.set_text(IDC_CONNECT_PRINTER_NAME, "basement");
    driver.expect_message_box(IDOK, "The system knows no printer named basement.");
    p.click(IDOK);
    EXPECT_FALSE(d.HasEnded());
    p.select(IDC_CONNECT_PRINTER_LIST, 1);
    EXPECT_EQ(p.text(IDC_CONNECT_PRINTER_NAME), "plotter");
    p.click(IDOK);
  });
  EXPECT_EQ(TConnectPrinterDialog(nullptr).Execute(), IDOK);
  EXPECT_EQ(plat::default_print_setup().Queue, "plotter");
  EXPECT_EQ(TPrinter().GetSetup().Queue, "plotter") << "new prints go there";

  // Shown as the station's printer; an empty name prints to files only.
  driver.expect_dialog(IDD_CONNECT_PRINTER, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_CONNECT_PRINTER_NAME), "plotter");
    EXPECT_EQ(p.selection(IDC_CONNECT_PRINTER_LIST), 1);
    EXPECT_NE(p.text(IDC_CONNECT_PRINTER_NOW).find("plotter"), std::string::npos);
    p.set_text(IDC_CONNECT_PRINTER_NAME, "");
    p.click(IDOK);
  });
  EXPECT_EQ(TConnectPrinterDialog(nullptr).Execute(), IDOK);
  EXPECT_EQ(plat::default_print_setup().Queue, "");
}

TEST_F(NetConnectTest, WithoutAPrintServiceTheReasonIsShownAndATypedNameTaken) {
  PrintService("echo 'no scheduler' >&2\nexit 1\n");
  driver.expect_dialog(IDD_CONNECT_PRINTER, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.lines(IDC_CONNECT_PRINTER_LIST).empty());
    EXPECT_NE(p.text(IDC_CONNECT_PRINTER_NOTE).find("cannot be listed"), std::string::npos)
        << p.text(IDC_CONNECT_PRINTER_NOTE);
    p.set_text(IDC_CONNECT_PRINTER_NAME, "  office ");
    p.click(IDOK);
  });
  EXPECT_EQ(TConnectPrinterDialog(nullptr).Execute(), IDOK);
  EXPECT_EQ(plat::default_print_setup().Queue, "office");
}

}  // namespace
