// The background threads on a fast clock: transfer watchers notify once per
// growth, survive a table that will not open, and never hold their lock
// while a box is open; the watchdog reports a lost path to the main window
// without moving the program's current directory; shutdown ends them all.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "app/threads.h"
#include "dbmodel/filetable.h"
#include "platform/sync.h"
#include "platform/ui/gtest_driver.h"
#include "tests/app/station.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using station::StationTest;

class ThreadsTest : public StationTest {
 protected:
  void SetUp() override {
    StationTest::SetUp();
    WriteConfig(std::string(station::kConfig) + "NOTIFYINTERVAL=1\n");
    LoadGlobals();
    Globals->RebuildDatabase();
    // One minute between polls becomes 6 ms.
    plat::set_time_scale(0.0001);
  }
  void TearDown() override {
    StopWorkers();
    plat::set_time_scale(1.0);
    StationTest::TearDown();
  }
  static void AddTransfer(const char* file, long id) {
    TcbFileTable t(file, 0, 0);
    TcbFileRecord r;
    r.NCID = id;
    ASSERT_EQ(t.Append(&r), 1);
  }
  // Waits until the watcher has taken n more counts than `from`: after two,
  // it has seen what was there before the first and acted on it.
  static bool WaitForCounts(bool failed, std::size_t from, std::size_t n) {
    for (int i = 0; i < 2000 && TransferCountsTaken(failed) < from + n; ++i) std::this_thread::sleep_for(5ms);
    return TransferCountsTaken(failed) >= from + n;
  }
  // Waits until the message box log holds n boxes, or gives up.
  static bool WaitForBoxes(plat::UiDriver& driver, size_t n) {
    for (int i = 0; i < 400 && driver.message_boxes().size() < n; ++i) std::this_thread::sleep_for(5ms);
    return driver.message_boxes().size() >= n;
  }
};

TEST_F(ThreadsTest, EachGrowthOfATransferTableIsToldOnce) {
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDOK, "New DNC transfer has occured!");
  driver.expect_message_box(IDOK, "Failed DNC transfer has occured!");
  ASSERT_TRUE(StartTransferWatchers());
  EXPECT_FALSE(StartTransferWatchers()) << "one pair per process";
  // Both have their base before anything grows, however late they start.
  ASSERT_TRUE(WaitForCounts(false, TransferCountsTaken(false), 2));
  ASSERT_TRUE(WaitForCounts(true, TransferCountsTaken(true), 2));
  EXPECT_TRUE(driver.message_boxes().empty()) << "nothing grew yet";
  AddTransfer("KELVDNCT.DBF", 1);
  ASSERT_TRUE(WaitForBoxes(driver, 1));
  AddTransfer("KELVDNCF.DBF", 1);
  ASSERT_TRUE(WaitForBoxes(driver, 2));
  ASSERT_TRUE(WaitForCounts(false, TransferCountsTaken(false), 2));
  ASSERT_TRUE(WaitForCounts(true, TransferCountsTaken(true), 2));
  EXPECT_EQ(driver.message_boxes().size(), 2u) << "a count seen once is not told again";
  EXPECT_EQ(driver.message_boxes()[0].caption, "Notification");
  StopWorkers();
  EXPECT_EQ(RunningWorkers(), 0u);
}

TEST_F(ThreadsTest, TableThatDoesNotOpenIsRetriedAndGivesNoFalseAlarm) {
  fs::remove(Cfg() / "DB31" / "KELVDNCT.DBF");
  fs::remove(Cfg() / "DB31" / "KELVDNCT.MDX");
  fs::remove(Cfg() / "DB31" / "KELVDNCT.DBT");
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDOK, "New DNC transfer has occured!");
  std::size_t from = TransferCountsTaken(false);
  ASSERT_TRUE(StartWorker(DncTransferWatchThread, 20480, nullptr));
  ASSERT_TRUE(WaitForCounts(false, from, 3)) << "the missing table is looked at again";
  // The table comes back with a row: that is its first count, no alarm.
  {
    std::lock_guard<std::recursive_mutex> hold(Globals->WatchLock);
    TcbFileTable t("KELVDNCT.DBF", 0, 0);
    t.Create((Globals->DatabaseDir + "KELVDNCT.DBF").c_str());
    AddTransfer("KELVDNCT.DBF", 1);
  }
  ASSERT_TRUE(WaitForCounts(false, TransferCountsTaken(false), 2));
  EXPECT_TRUE(driver.message_boxes().empty());
  AddTransfer("KELVDNCT.DBF", 2);
  ASSERT_TRUE(WaitForBoxes(driver, 1)) << "the watcher kept watching";
}

TEST_F(ThreadsTest, WatcherHoldsNoLockWhileItsBoxIsOpen) {
  // The box stays open until the test closes it: a real wait, not one of
  // the layer's, which the time scale would cut short.
  std::mutex mu;
  std::condition_variable cv;
  bool open = false, closed = false;
  plat::MessageBoxHandler old = plat::set_message_box_handler([&](HWND, const std::string&, const std::string&, UINT) {
    std::unique_lock<std::mutex> lock(mu);
    open = true;
    cv.notify_all();
    cv.wait(lock, [&] { return closed; });
    return IDOK;
  });
  // However the test ends, the box closes, the watcher ends, and only then
  // does the handler that points at this frame go.
  struct Closer {
    std::function<void()> run;
    ~Closer() { run(); }
  } closer{[&] {
    {
      std::lock_guard<std::mutex> lock(mu);
      closed = true;
    }
    cv.notify_all();
    StopWorkers();
    plat::set_message_box_handler(old);
  }};
  const std::size_t from = TransferCountsTaken(false);
  ASSERT_TRUE(StartWorker(DncTransferWatchThread, 20480, nullptr));
  // After its first count the watcher has its base; the next row is news.
  ASSERT_TRUE(WaitForCounts(false, from, 1));
  AddTransfer("KELVDNCT.DBF", 1);
  {
    std::unique_lock<std::mutex> lock(mu);
    ASSERT_TRUE(cv.wait_for(lock, 60s, [&] { return open; })) << "the watcher never told of the new transfer";
  }
  // The watcher now sits in its box, which stays open while another
  // thread tries the lock.
  bool lockFree = false;
  std::thread other([&] {
    std::unique_lock<std::recursive_mutex> lock(Globals->WatchLock, std::try_to_lock);
    lockFree = lock.owns_lock();
  });
  other.join();
  EXPECT_TRUE(lockFree) << "the watcher holds its lock while its box is open";
}

// A window standing in for the main frame: records the watchdog's command.
class TMainStandIn : public TWindow {
 public:
  TMainStandIn() : TWindow(nullptr, "Main") { Attr.Style = WS_OVERLAPPEDWINDOW; }
  void CmLost() { ++Lost; }
  int Lost = 0;
  DECLARE_RESPONSE_TABLE(TMainStandIn);
};

DEFINE_RESPONSE_TABLE1(TMainStandIn, TWindow)
  EV_COMMAND(kCmDatabaseLost, CmLost),
END_RESPONSE_TABLE;

TEST_F(ThreadsTest, WatchdogReportsALostPathOnceAndLeavesTheCurrentDirectory) {
  fs::create_directories(Home() / "d" / "DB");
  Globals->CheckPath.Set("D:\\DB");
  plat::set_current_directory("C:\\KELVACFG\\TEMP");
  TMainStandIn main;
  ASSERT_TRUE(main.Create());
  Globals->MainWnd = main.GetHandle();
  plat::GTestUiDriver driver;
  ASSERT_TRUE(StartWorker(DatabaseWatchdogThread, 8192, nullptr));
  std::this_thread::sleep_for(20ms);
  driver.pump();
  EXPECT_EQ(main.Lost, 0) << "the path is there";
  fs::remove_all(Home() / "d" / "DB");
  ASSERT_TRUE(driver.wait_and_pump(2s));
  EXPECT_EQ(main.Lost, 1);
  for (int i = 0; i < 200 && RunningWorkers() > 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(RunningWorkers(), 0u) << "the watch ends with its report";
  EXPECT_EQ(plat::get_current_directory(), "C:\\KELVACFG\\TEMP");
  Globals->MainWnd = nullptr;
  main.Destroy();
}

TEST_F(ThreadsTest, ShutdownEndsWorkersInTheMiddleOfTheirSleep) {
  plat::set_time_scale(1.0);  // ten minutes between polls
  ASSERT_TRUE(StartTransferWatchers());
  Globals->CheckPath.Set("C:\\KELVACFG");
  ASSERT_TRUE(StartWorker(DatabaseWatchdogThread, 8192, nullptr));
  EXPECT_EQ(RunningWorkers(), 3u);
  StopWorkers();
  EXPECT_EQ(RunningWorkers(), 0u);
  EXPECT_TRUE(StartTransferWatchers()) << "a new run of the program may start them again";
}

}  // namespace
