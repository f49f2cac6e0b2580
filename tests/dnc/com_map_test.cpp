// The station's port map, COMPORTS.CFG in the configuration directory,
// read as the program starts: a port it maps to a pseudo-terminal is
// opened by the server and carries a program; a missing device and a
// regular file give the ports' open errors in the DNC log and the
// start-up message; a line that names no port is shown in the DNC log.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "dnc/dnclog.h"
#include "dnc_fixture.h"
#include "platform/ui/resource.h"
#include "tests/sim/machine_sim.h"

namespace {

constexpr int kMapped = 21, kMissing = 22, kPlainFile = 23;

class FailureView : public kvdnc::StatusView {
 public:
  void ReportPortFailure(int, const char* text) override {
    std::lock_guard<std::mutex> g(lock_);
    failures_.push_back(text);
  }
  std::vector<std::string> Failures() {
    std::lock_guard<std::mutex> g(lock_);
    return failures_;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> failures_;
};

class ComMapTest : public kvdnc::DncServerTest {
 protected:
  ComMapTest() : DncServerTest(kMapped, 0.01) {}
  void SetUp() override {
    DncServerTest::SetUp();
    plat::set_resource_dir(KV_SOURCE_DIR "/resources");
    Globals->DebugMode = 1;
    CreateDncDebugWindows(nullptr);
  }
  void TearDown() override {
    // The windows go first: a server that ends only forgets them.
    DestroyDncDebugWindows();
    DncServerTest::TearDown();
  }
  static std::vector<std::string> LogLines() {
    std::vector<std::string> out;
    TDncDebug* w = DncDebugWindow(0);
    for (int i = 0; w && i < w->List()->GetCount(); i++) out.push_back(w->List()->GetString(i));
    return out;
  }
  static bool Logged(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  FailureView view_;  // outlives the server, which TearDown stops
};

TEST_F(ComMapTest, MappedPortCarriesAProgramAndBadDevicesSayWhy) {
  // The machine's pseudo-terminal; the map, not the test, gives it a port.
  sim::Machine m(99);
  ASSERT_TRUE(m.ok());
  const std::string missing = Root() + "/no-such-tty", plain = Root() + "/plain.txt";
  kvdb::WriteFileBytes(plain, "not a terminal\r\n");
  std::filesystem::create_directories(Root() + "/cfg");
  Globals->CfgDir = Root() + "/cfg\\";
  kvdb::WriteFileBytes(Root() + "/cfg/COMPORTS.CFG",
                       "; the test station's ports\r\n"
                       "COM" + std::to_string(kMapped) + " = " + m.device() + "\r\n"
                       "COM" + std::to_string(kMissing) + "=" + missing + "\r\n"
                       "COM" + std::to_string(kPlainFile) + "=" + plain + "\r\n"
                       "COM24 /dev/ttyS3\r\n");
  Globals->LoadComPortMap();
  const std::string refused = "COMPORTS.CFG line 5: \"COM24 /dev/ttyS3\" is not COMn=device";
  EXPECT_EQ(Globals->ComPortMapProblems, std::vector<std::string>{refused});
  EXPECT_EQ(plat::comm_device(kMapped), m.device());

  for (int com : {kMapped, kMissing, kPlainFile})
    PortRow(com - kMapped, com, kProtoStandard, StandardTexts);
  StartServer(&view_);

  const auto failures = view_.Failures();
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0], "Port 2:\r\nMachine : Mill one\r\n\r\nPort Initialization failure on COMM22\r\n\r\nCOM22 -> " +
                             missing + ": no such device");
  EXPECT_EQ(failures[1], "Port 2:\r\nMachine : Mill one\r\n\r\nPort Initialization failure on COMM23\r\n\r\nCOM23 -> " +
                             plain + ": not a terminal device");
  const auto log = LogLines();
  EXPECT_TRUE(Logged(log, "DNC : " + refused));
  EXPECT_TRUE(Logged(log, "COMM-22 : COM22 -> " + missing + ": no such device"));
  EXPECT_TRUE(Logged(log, "COMM-23 : COM23 -> " + plain + ": not a terminal device"));

  const std::string program = "%\r\n(MAPPED1)\r\nG1 X10\r\nM30\r\n%";
  m.Send(program);
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVFILE.DBF") == 1; }));
  EXPECT_EQ(kvdb::ReadFileBytes(Native(Root() + "/mach1\\P3.NC")), program);
}

}  // namespace
