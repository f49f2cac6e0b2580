// Two stations on one database: a program open in an editor of one
// process cannot be opened for editing in the other until the first
// closes it, or until that process dies. The other station is this test
// program run again as a helper that opens the program and waits.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "storage/program_lock.h"
#include "tests/editor/editor_fixture.h"

extern char** environ;

namespace {

using kveditor::EditorTest;
namespace fs = std::filesystem;

constexpr const char* kDbVar = "KV_STATION_DB";
constexpr const char* kDirVar = "KV_STATION_DIR";
constexpr const char* kIdVar = "KV_STATION_PROGRAM";

bool WaitFor(const std::string& path, int seconds) {
  for (int i = 0; i < seconds * 50; i++) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// The other station: opens the program in an editor window, says whether
// it holds it, and closes the window when told to.
TEST(StationHelper, HoldsAProgramOpenUntilToldToClose) {
  const char* db = std::getenv(kDbVar);
  if (!db) GTEST_SKIP() << "runs only as the other station of the two-station test";
  const std::string dir = std::getenv(kDirVar);
  auto* g = new TGlobals;
  Globals = g;
  g->DatabaseDir = db;
  g->TempDir = dir + "/temp2\\";
  g->CfgDir = dir + "/cfg2\\";
  fs::create_directories(dir + "/temp2");
  fs::create_directories(dir + "/cfg2");
  plat::set_resource_dir(KV_SOURCE_DIR "/resources");
  DB_ENGINE* c = DbContext;
  c->auto_open = 1;
  c->exclusive = 0;
  c->lock_attempts = 2;
  c->report_open_errors = 0;
  TChildFrame* slot = nullptr;
  auto* f = new TChildFrame(nullptr, &slot, std::atol(std::getenv(kIdVar)), 0);
  ASSERT_TRUE(f->Create());
  kvdb::PublishFileBytes(dir + "/ready", f->Program() ? "1" : "0");
  WaitFor(dir + "/quit", 60);
  EXPECT_TRUE(f->CanClose());
  f->Destroy();
  delete f;
  Globals = nullptr;
  delete g;
}

class TwoStationsTest : public EditorTest {
 protected:
  pid_t Start(long id) {
    fs::remove(Root() + "/ready");
    fs::remove(Root() + "/quit");
    std::string exe = fs::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=StationHelper.*";
    std::vector<std::string> env;
    for (char** e = environ; *e; e++) env.emplace_back(*e);
    env.push_back(std::string(kDbVar) + "=" + Globals->DatabaseDir);
    env.push_back(std::string(kDirVar) + "=" + Root());
    env.push_back(std::string(kIdVar) + "=" + std::to_string(id));
    std::vector<char*> envp, argv{exe.data(), filter.data(), nullptr};
    for (auto& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);
    EXPECT_TRUE(WaitFor(Root() + "/ready", 60)) << "the other station did not start";
    EXPECT_EQ(ReadFile(Root() + "/ready"), "1") << "the other station could not open the program";
    return pid;
  }
  static int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  }
  // True when this station's editor got the program.
  bool OpensHere(int slot) {
    TChildFrame* f = Open(40, slot);
    bool got = f->Program() != nullptr;
    EXPECT_TRUE(Close(f));
    return got;
  }
};

TEST_F(TwoStationsTest, AProgramOpenOnTheOtherStationIsRefusedUntilItClosesOrDies) {
  AddMillProgram(40, "O40\r\n");
  pid_t other = Start(40);
  driver.expect_message_box(IDOK, "open in an editor");
  EXPECT_FALSE(OpensHere(0));
  EXPECT_EQ(CanLockProgram(40, 0), -1);
  kvdb::WriteFileBytes(Root() + "/quit", "");
  int status = Wait(other);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(OpensHere(1));

  other = Start(40);
  driver.expect_message_box(IDOK, "open in an editor");
  EXPECT_FALSE(OpensHere(2));
  kill(other, SIGKILL);
  Wait(other);
  EXPECT_TRUE(OpensHere(3));
}

}  // namespace
