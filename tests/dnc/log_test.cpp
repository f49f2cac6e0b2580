// The port log, the control-character traces and the three debug windows.
#include <gtest/gtest.h>

#include <thread>

#include "appcore/globals.h"
#include "dnc/dnclog.h"
#include "platform/ui/resource.h"

namespace {

class DncLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::set_resource_dir(KV_SOURCE_DIR "/resources");
    globals_ = std::make_unique<TGlobals>();
    Globals = globals_.get();
  }
  void TearDown() override {
    DestroyDncDebugWindows();
    Globals = nullptr;
  }
  static std::vector<std::string> Lines(int which) {
    std::vector<std::string> out;
    TDncDebug* w = DncDebugWindow(which);
    if (!w) return out;
    for (int i = 0; i < w->List()->GetCount(); i++) out.push_back(w->List()->GetString(i));
    return out;
  }
  std::unique_ptr<TGlobals> globals_;
};

TEST_F(DncLogTest, TraceLines) {
  const struct {
    unsigned char byte;
    const char* line;
  } chars[] = {{12, "COMM-3 : [MRK]"}, {13, "COMM-3 : [013]"}, {65, "COMM-3 : [65]"},
               {200, "COMM-3 : [-56]"}, {0, "COMM-3 : [0]"},   {2, "COMM-3 : [STX]"},
               {27, "COMM-3 : [027]"},  {23, "COMM-3 : [ETB]"}};
  for (const auto& c : chars) EXPECT_EQ(DncTraceCharLine(c.byte, 3), c.line);
  EXPECT_EQ(DncTraceBufferLine("AB\x02" "C", 4), "COMM-4 : AB[STX]C");
  EXPECT_EQ(DncTraceBufferLine("A\xE9\x80Z\x1F", 4), "COMM-4 : AZ[031]");
  std::string longText(500, 'x');
  EXPECT_EQ(DncLogLine(longText.c_str(), 1), "COMM-1 : " + longText);
}

TEST_F(DncLogTest, WithoutDebugModeNothingIsWritten) {
  CreateDncDebugWindows(nullptr);
  for (int i = 0; i < 3; i++) EXPECT_EQ(DncDebugWindow(i), nullptr);
  DncLog("lost", 1);
  DncTraceChar(2, 1);
}

TEST_F(DncLogTest, LinesGoToTheirWindows) {
  Globals->DebugMode = 1;
  CreateDncDebugWindows(nullptr);
  for (int i = 0; i < 3; i++) ASSERT_NE(DncDebugWindow(i), nullptr);
  DncLog("Reception Trigged", 2);
  DncLog("ignored: port 0", 0);
  DncLog(nullptr, 2);
  DncPortLog("ignored: no port", nullptr);
  DncTraceLog("trace", 2);
  DncTraceChar(6, 2);
  DncTraceBuffer("A\x03", 2);
  DncTraceBuffer2("B\x04", 5);
  EXPECT_EQ(Lines(0), std::vector<std::string>{"COMM-2 : Reception Trigged"});
  EXPECT_EQ(Lines(1), (std::vector<std::string>{"COMM-2 : trace", "COMM-2 : [ACK]", "COMM-2 : A[ETX]"}));
  EXPECT_EQ(Lines(2), std::vector<std::string>{"COMM-5 : B[EOT]"});
  DncDebugWindow(1)->CmClear();
  EXPECT_TRUE(Lines(1).empty());
}

// The editor's monitor: a window of template 1010 of its own, shown while
// its handle lives; the server's windows are not touched.
TEST_F(DncLogTest, AMonitorOfItsOwnLivesAsLongAsItsHandle) {
  HWND shown = nullptr;
  {
    std::shared_ptr<TDncDebug> monitor = OpenDncMonitor(nullptr);
    ASSERT_NE(monitor, nullptr);
    shown = monitor->GetHandle();
    EXPECT_TRUE(::IsWindow(shown));
    EXPECT_TRUE(monitor->IsWindowVisible());
    EXPECT_EQ(monitor->GetCaption(), std::string("DNC - Debugger"));
    EXPECT_EQ(monitor->List()->GetHorizontalExtent(), 3000);
    EXPECT_EQ(DncDebugWindow(0), nullptr);
  }
  EXPECT_FALSE(::IsWindow(shown));
}

TEST_F(DncLogTest, WindowsGoWhileThreadsWrite) {
  Globals->DebugMode = 1;
  CreateDncDebugWindows(nullptr);
  std::atomic<bool> run{true};
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; t++)
    writers.emplace_back([&run, t] {
      while (run) {
        DncLog("busy", t + 1);
        DncTraceChar(17, t + 1);
      }
    });
  while (DncDebugWindow(0)->List()->GetCount() < 100) std::this_thread::yield();
  DestroyDncDebugWindows();
  run = false;
  for (auto& w : writers) w.join();
  EXPECT_EQ(DncDebugWindow(0), nullptr);
}

}  // namespace
