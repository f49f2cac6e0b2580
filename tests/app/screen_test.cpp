// The real program on a demo station under a private X server: the main
// window comes up and shows something, and File, Exit, Yes ends the
// process with code 0, every worker thread ended (and, in a sanitizer
// build, nothing of ours leaked). Skipped without Xvfb, xdotool or
// ImageMagick.
#include <fstream>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "tests/app/station.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Shell(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen(command.c_str(), "r"), pclose);
  if (!p) return out;
  std::array<char, 256> buf;
  while (fgets(buf.data(), buf.size(), p.get())) out += buf.data();
  return out;
}

// A private X server for this test, ended with it.
class XServer {
 public:
  XServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      close(fds[0]);
      int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
      std::string fd = std::to_string(fds[1]);
      execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') display_ += c;
    close(fds[0]);
    if (!display_.empty()) display_ = ":" + display_;
  }
  ~XServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& display() const { return display_; }
  std::string x(const std::string& command) const { return Shell("DISPLAY=" + display_ + " " + command + " 2>/dev/null"); }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

bool Have(const char* tool) { return !Shell(std::string("command -v ") + tool).empty(); }

// The visible window whose name is exactly name; 0 when there is none yet.
std::string FindWindow(const XServer& x, const std::string& name) {
  std::string ids = x.x("xdotool search --onlyvisible --name .");
  size_t start = 0;
  while (start < ids.size()) {
    size_t end = ids.find('\n', start);
    std::string id = ids.substr(start, end - start);
    if (!id.empty() && x.x("xdotool getwindowname " + id) == name + "\n") return id;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return "";
}

std::string WaitForWindow(const XServer& x, const std::string& name, std::chrono::seconds limit) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < until) {
    std::string id = FindWindow(x, name);
    if (!id.empty()) return id;
    std::this_thread::sleep_for(200ms);
  }
  return "";
}

// Waits for the child to end; its exit code, or -1 when it did not end in time.
int WaitForExit(pid_t pid, std::chrono::seconds limit) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < until) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(100ms);
  }
  return -1;
}

TEST(ProgramOnScreen, StartsOnTheDemoStationAndEndsThroughFileExitYes) {
#ifndef KV_HAVE_DESKTOP
  GTEST_SKIP() << "the program was built without the desktop renderer";
#endif
  if (access("/usr/bin/Xvfb", X_OK) != 0 || !Have("xdotool") || !Have("import"))
    GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
  XServer x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb gave no display";
  fs::path home = fs::temp_directory_path() / ("kvscreen_" + std::to_string(getpid()));
  fs::remove_all(home);
  fs::create_directories(home);
  ASSERT_EQ(std::system(("'" KV_DEMO_DB_BIN "' '" KV_BUILD_RESOURCES "' '" + home.string() + "' >/dev/null").c_str()), 0);
  // The demo user logs on by itself, so the main window is the first thing to answer.
  {
    std::ofstream cfg(home / "c" / "KELVACFG" / "CFG" / "KELVA31.CFG", std::ios::app);
    cfg << "DEFUSER=\"DEMO\"\r\nDEFPASSWORD=\"DEMO\"\r\n";
  }

  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (chdir(home.c_str()) != 0) _exit(126);
    setenv("DISPLAY", x.display().c_str(), 1);
    setenv("KELVANE_HOME", home.c_str(), 1);
    setenv("GDK_BACKEND", "x11", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    unsetenv("WAYLAND_DISPLAY");
    execl(KV_KELVANE_BIN, "kelvane", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);

  std::string main = WaitForWindow(x, "KELVANE v3.56 (Build 2)", 90s);
  ASSERT_FALSE(main.empty()) << "the main window never showed";
  std::this_thread::sleep_for(1500ms);  // its first paint
  std::string shot = (home / "screen.png").string();
  x.x("import -window root " + shot);
  std::string spread = Shell("convert " + shot + " -format '%[fx:standard_deviation]' info: 2>/dev/null");
  ASSERT_FALSE(spread.empty()) << "no screenshot";
  EXPECT_GT(std::stod(spread), 0.05) << "the screen is blank";

  x.x("xdotool windowfocus --sync " + main);
  x.x("xdotool key --clearmodifiers alt+f");
  std::this_thread::sleep_for(700ms);
  x.x("xdotool key 5");
  std::string box = WaitForWindow(x, "Kelvane", 30s);
  ASSERT_FALSE(box.empty()) << "Exit asked nothing";
  // A plain Y answers Yes, as the box's button says.
  x.x("xdotool windowfocus --sync " + box);
  x.x("xdotool key --clearmodifiers y");

  int code = WaitForExit(pid, 60s);
  if (code == -1) kill(pid, SIGKILL);
  EXPECT_EQ(code, 0) << "3 would mean worker threads were left running; a sanitizer build also checks for leaks";
  std::error_code ec;
  fs::remove_all(home, ec);
}

}  // namespace
