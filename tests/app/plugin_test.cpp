// Plug-in calls through test plug-ins built beside the tests: the print
// plug-in's directory choice and the file loader of the client's command
// 7900, with pointer-sized parameter blocks.
#include "app/main_frame.h"
#include "app/plugin_calls.h"
#include "platform/plugin.h"
#include "platform/ui/gtest_driver.h"
#include "tests/app/station.h"

namespace {

namespace fs = std::filesystem;
using station::StationTest;

class PluginTest : public StationTest {
 protected:
  void SetUp() override {
    StationTest::SetUp();
    LoadGlobals();
    plat::set_plugin_dir(KV_TEST_PLUGIN_DIR);
  }
  void TearDown() override {
    plat::set_plugin_dir("");
    StationTest::TearDown();
  }
};

TEST_F(PluginTest, ChosenDirectoryIsReturnedAndKeptInLastDir) {
  Globals->LastDir = "C:\\KELVACFG\\IMPORT\\";
  HeapText dir = CallPrintHook(nullptr);
  ASSERT_TRUE(dir.IsSet());
  EXPECT_STREQ(dir.c_str(), "C:\\KELVACFG\\IMPORT\\CHOSEN\\");
  EXPECT_EQ(Globals->LastDir, "C:\\KELVACFG\\IMPORT\\CHOSEN\\");
}

TEST_F(PluginTest, NoChoiceTooLongAChoiceOrNoPluginChangeNothing) {
  for (const char* start : {"C:\\NONE\\", "C:\\LONG\\"}) {
    Globals->LastDir = start;
    EXPECT_FALSE(CallPrintHook(nullptr).IsSet()) << start;
    EXPECT_EQ(Globals->LastDir, start);
  }
  plat::set_plugin_dir((Cfg() / "CHOOKS").string());
  Globals->LastDir = "C:\\KELVACFG\\IMPORT\\";
  EXPECT_FALSE(CallPrintHook(nullptr).IsSet());
  EXPECT_EQ(Globals->LastDir, "C:\\KELVACFG\\IMPORT\\");
}

TEST_F(PluginTest, FileLoaderGetsItsBlockAndItsAnswerIsShown) {
  WriteConfig(std::string(station::kConfig) + "DEBUGFLAG=\"QIMPA\"\n");
  delete Globals;
  LoadGlobals();
  Globals->LastDir = "C:\\KELVACFG\\IMPORT\\";
  TheApp app;
  app.InitMainWindow();
  TWindow* frame = app.GetMainWindow();
  ASSERT_TRUE(frame->Create());
  frame->ShowWindow(SW_SHOW);
  TWindow* client = static_cast<TFrameWindow*>(frame)->GetClientWindow();
  ASSERT_NE(client->ChildWithId(TMainClient::kDebugButtons), nullptr) << "the debug buttons";
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDOK, "C:\\KELVACFG\\IMPORT\\|Open file...|File to open|44");
  ASSERT_TRUE(plat::Pilot(*client).click(TMainClient::kDebugButtons));
  driver.pump();
  ASSERT_EQ(driver.message_boxes().size(), 1u);
  EXPECT_EQ(driver.message_boxes()[0].caption, "Filename");
  EXPECT_EQ(Globals->LastDir, plat::get_current_directory());

  plat::set_plugin_dir((Cfg() / "CHOOKS").string());
  plat::Pilot(*client).click(TMainClient::kDebugButtons);
  driver.pump();
  EXPECT_EQ(driver.message_boxes().size(), 1u) << "a missing loader ends the command silently";
  frame->Destroy();
}

}  // namespace
