// Start-up and shutdown of the program: the placement file, the path
// check's box and result, the start file, paths kept in their case, and
// every worker ended before the global state goes.
#include <functional>
#include <string>
#include <vector>

#include "app/appmain.h"
#include "appcore/fatal.h"
#include "platform/ui/gtest_driver.h"
#include "tests/app/station.h"

namespace {

namespace fs = std::filesystem;
using station::StationTest;

// What a run saw of the global state while the application ran.
struct Seen {
  bool ran = false;
  std::string startFile;
  int startFileGiven = -1;
  std::string programPath;
  size_t workers = 0;
};
Seen g_seen;
std::function<void()> g_during;

int RecordingRunner() {
  g_seen.ran = true;
  g_seen.startFile = Globals->StartFile.IsSet() ? Globals->StartFile.c_str() : "(unset)";
  g_seen.startFileGiven = Globals->StartFileGiven;
  g_seen.programPath = Globals->ProgramPath.c_str();
  if (g_during) g_during();
  g_seen.workers = RunningWorkers();
  return 0;
}

class StartupTest : public StationTest {
 protected:
  void SetUp() override {
    StationTest::SetUp();
    g_seen = Seen();
    g_during = nullptr;
    SetAppRunner(RecordingRunner);
  }
  void TearDown() override {
    SetAppRunner(nullptr);
    StationTest::TearDown();
  }
  int Run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Each run starts where a new process would.
    plat::set_current_directory("C:\\");
    return AppMain(static_cast<int>(args.size()), argv.data());
  }
};

std::string Le(std::initializer_list<int32_t> values) {
  std::string b;
  for (int32_t v : values)
    for (int k = 0; k < 4; ++k) b += static_cast<char>((static_cast<uint32_t>(v) >> (8 * k)) & 0xFF);
  return b;
}

TEST_F(StartupTest, FirstRunWritesTheDefaultPlacementAndAnUnchangedFileIsWrittenBackAlike) {
  EXPECT_EQ(Run({"/opt/Kelvane/bin/kelvane"}), 0);
  EXPECT_TRUE(g_seen.ran);
  EXPECT_EQ(Read("CFG/EDITSIZE.BIN"), Le({20, 60, 600, 580}));

  const std::string placed = Le({-5, 0, 1919, 1079});
  Write("CFG/EDITSIZE.BIN", placed);
  EXPECT_EQ(Run({"kelvane"}), 0);
  EXPECT_EQ(Read("CFG/EDITSIZE.BIN"), placed);
}

TEST_F(StartupTest, ShortPlacementFileKeepsTheValuesPastItsEnd) {
  Write("CFG/EDITSIZE.BIN", Le({100, 200}) + "\x01");
  EXPECT_EQ(Run({"kelvane"}), 0);
  EXPECT_EQ(Read("CFG/EDITSIZE.BIN"), Le({100, 200, 600, 580}));
}

TEST_F(StartupTest, MissingTempDirStopsBeforeTheWindowWithTheSystemErrorBox) {
  fs::remove_all(Cfg() / "TEMP");
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDOK, "The following systempath is invalid...\r\n\r\nPath : C:\\KELVACFG\\TEMP\\");
  EXPECT_EQ(Run({"kelvane", "C:\\PART.NC"}), -1);
  EXPECT_FALSE(g_seen.ran) << "no main window after a failed path check";
  ASSERT_EQ(driver.message_boxes().size(), 1u);
  EXPECT_EQ(driver.message_boxes()[0].caption, "System error");
  EXPECT_EQ(driver.message_boxes()[0].flags & MB_ICONSTOP, static_cast<UINT>(MB_ICONSTOP));
  EXPECT_FALSE(fs::exists(Cfg() / "CFG/EDITSIZE.BIN"));
}

TEST_F(StartupTest, StartFileArgumentAndProgramPathKeepTheirCase) {
  EXPECT_EQ(Run({"/home/Anna/Kelvane/kelvane"}), 0);
  EXPECT_EQ(g_seen.startFile, "(unset)");
  EXPECT_EQ(g_seen.startFileGiven, 0);
  EXPECT_EQ(g_seen.programPath, "/home/Anna/Kelvane/kelvane");

  EXPECT_EQ(Run({"kelvane", "C:\\Nc\\Flange F60.nc"}), 0);
  EXPECT_EQ(g_seen.startFile, "C:\\Nc\\Flange F60.nc");
  EXPECT_EQ(g_seen.startFileGiven, 1);
}

TEST_F(StartupTest, DncStationWithCheckPathRunsTheWatchdogUntilShutdownEndsIt) {
  WriteConfig(std::string(station::kConfig) + "CHECKPATH=\"C:\\KELVACFG\\DB31\"\n");
  symlink("kelvane", (Home() / "TRAMOX").c_str());
  EXPECT_EQ(Run({(Home() / "TRAMOX").string()}), 0);
  EXPECT_EQ(g_seen.workers, 1u) << "the watchdog runs while the application runs";
  EXPECT_EQ(RunningWorkers(), 0u) << "and has ended before the run returned";
  EXPECT_EQ(Globals, nullptr);
}

TEST_F(StartupTest, EditorStationOrEmptyCheckPathStartsNoWatchdog) {
  WriteConfig(std::string(station::kConfig) + "CHECKPATH=\"C:\\KELVACFG\\DB31\"\n");
  EXPECT_EQ(Run({"kelvane"}), 0);
  EXPECT_EQ(g_seen.workers, 0u);
  WriteConfig(std::string(station::kConfig) + "CHECKPATH=\"\"\n");
  symlink("kelvane", (Home() / "tramox").c_str());
  EXPECT_EQ(Run({(Home() / "tramox").string()}), 0);
  EXPECT_EQ(g_seen.workers, 0u);
}

TEST_F(StartupTest, FatalConfigurationEndsWithANonZeroCode) {
  WriteConfig("OFD_F1=0,10\n");
  int exitCode = 0;
  FatalExitHook old = SetFatalExitHook([&](int code) { exitCode = code; });
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDOK, "OFD_1 in KELVA31.CFG is out of range");
  EXPECT_NE(Run({"kelvane"}), 0);
  EXPECT_NE(exitCode, 0);
  EXPECT_FALSE(g_seen.ran);
  SetFatalExitHook(old);
  delete Globals;
  Globals = nullptr;
}

}  // namespace

namespace {

class PathCheckTest : public StationTest {};

TEST_F(PathCheckTest, FirstMissingDirectoryByModeAndTheCurrentDirectoryAfterwards) {
  LoadGlobals();
  EXPECT_EQ(Globals->CheckDirectories(), 1);
  EXPECT_EQ(plat::get_current_directory(), "C:\\KELVACFG\\TEMP") << "the last one checked";

  // Without its final backslash a directory is checked alike.
  Globals->TempDir = "C:\\KELVACFG\\TEMP";
  EXPECT_EQ(Globals->CheckDirectories(), 1);

  // The DNC directories count only on a DNC station.
  fs::remove_all(Cfg() / "DNCFAIL");
  EXPECT_EQ(Globals->CheckDirectories(), 1);
  Globals->DncStationMode = 1;
  EXPECT_EQ(Globals->CheckDirectories(), 0);
  EXPECT_STREQ(Globals->StartFile.c_str(), "C:\\KELVACFG\\DNCFAIL\\");

  // Unchecked directories may be missing; the first checked one missing wins.
  Globals->DncStationMode = 0;
  Globals->ScriptsDir = "C:\\NOWHERE\\";
  fs::remove_all(Cfg() / "VIDEO");
  fs::remove_all(Cfg() / "BACKUP");
  EXPECT_EQ(Globals->CheckDirectories(), 0);
  EXPECT_STREQ(Globals->StartFile.c_str(), "C:\\KELVACFG\\VIDEO\\");
}

}  // namespace
