// The main-frame command that opens the DNC setup, and the directories a
// port scans when it runs on file names.
#include "app/frame_commands.h"
#include "dnc/setup_commands.h"
#include "dnc/setup_multi.h"
#include "platform/plugin.h"
#include "resources/dialogs/dncsetup.h"
#include "tests/dncsetup/setup_fixture.h"

namespace {

using kvdnc::SetupTest;
using plat::Pilot;

TEST_F(SetupTest, TheToolBarCommandOpensTheDncSetup) {
  RegisterDncSetupCommands();
  ASSERT_TRUE(HasFrameCommand(kCmMultiDncSetup));
  auto* frame = new TCommandHostFrame(nullptr, "Kelvane", nullptr);
  frame->Create();
  Globals->RightsMask = CommandRights(kCmMultiDncSetup);  // the right the command needs
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_DNC_SETUP, [](TDialog& d) { Pilot(d).click(IDCANCEL); });
  EXPECT_TRUE(frame->RouteCommand(kCmMultiDncSetup));
  EXPECT_EQ(driver.dialogs_shown(), std::vector<std::string>{"102 TMultiDncSetup"});
  RegisterFrameCommand(kCmMultiDncSetup, nullptr);
  frame->Destroy();
  delete frame;
}

TEST_F(SetupTest, DirectoryListTakesAtMostFifteenAndWritesThemInOrder) {
  plat::set_plugin_dir(KV_TEST_PLUGIN_DIR);
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_DNC_SETUP, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_DNC_SETUP_PORT_TEXT, "Files");
    for (int i = 0; i < 16; i++) {
      Globals->LastDir = "D:\\NC" + std::to_string(i) + "\\";
      p.click(IDC_DNC_SETUP_ADD_DIRECTORY);
    }
    auto dirs = p.lines(IDC_DNC_SETUP_DIRECTORIES);
    ASSERT_EQ(dirs.size(), 15u);
    EXPECT_EQ(dirs[14], "D:\\NC14\\CHOSEN\\");
    p.select(IDC_DNC_SETUP_DIRECTORIES, 0);
    p.click(IDC_DNC_SETUP_REMOVE_DIRECTORY);
    p.click(IDOK);
  });
  TMultiDncSetup dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDOK);
  std::vector<int> fields{1};
  for (int n = 86; n <= 100; n++) fields.push_back(n);
  std::string expected = "0";
  for (int i = 1; i <= 14; i++) expected += "|D:\\NC" + std::to_string(i) + "\\CHOSEN\\";
  expected += "|";
  EXPECT_EQ(PeerFields(Root() + "/alt/KELVMD32.DBF", fields)[0], expected);
  plat::set_plugin_dir("");
}

TEST_F(SetupTest, APortTableThatCannotBeReadIsToldAndNothingIsWritten) {
  std::filesystem::remove(AltPath("KELVMD32.DBF"));
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDOK, "cannot be opened");
  driver.expect_dialog(IDD_DNC_SETUP, [](TDialog& d) {
    auto& dlg = static_cast<TMultiDncSetup&>(d);
    EXPECT_EQ(dlg.Current, nullptr);
    Pilot(d).click(IDOK);
  });
  TMultiDncSetup dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_FALSE(std::filesystem::exists(AltPath("KELVMD32.DBF")));
}

}  // namespace
