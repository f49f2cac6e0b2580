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
#include <iterator>
#include <memory>
#include <string>
#include <thread>

#include "dbmodel/filetable.h"
#include "tests/dbmodel/layout_peer.h"
#include "tests/app/station.h"
#include "tests/support/run_command.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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
  std::string x(const std::string& command) const { return kvtest::run_command("DISPLAY=" + display_ + " " + command + " 2>/dev/null"); }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

bool Have(const char* tool) { return !kvtest::run_command(std::string("command -v ") + tool).empty(); }

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

// Waits until no visible window has the name; false when one still has
// it at the limit.
bool WaitForWindowGone(const XServer& x, const std::string& name, std::chrono::seconds limit) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (!FindWindow(x, name).empty()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(200ms);
  }
  return true;
}

// How many pixels of a picture of the screen, taken now, are (about)
// pure red.
int RedPixels(const XServer& x, const std::string& shot) {
  x.x("import -window root " + shot);
  std::string n = kvtest::run_command("convert " + shot +
                        " -fuzz 10% -fill black +opaque '#FF0000' -fill white -opaque '#FF0000'"
                        " -format '%[fx:mean*w*h]' info: 2>/dev/null");
  try {
    return n.empty() ? 0 : static_cast<int>(std::stod(n));
  } catch (...) {
    return 0;
  }
}

// A popup menu of the program is a window of its own, named after the
// program.
constexpr const char* kMenuWindow = "kelvane";

// Alt and the menu's letter on the window, until its popup shows (a
// program still busy starting up takes the keys late or not at all), then
// the item's key; true once the popup has gone again.
bool ChooseFromMenu(const XServer& x, const std::string& window, const std::string& menuKey,
                    const std::string& itemKey) {
  auto until = std::chrono::steady_clock::now() + 60s;
  bool open = false;
  while (!open && std::chrono::steady_clock::now() < until) {
    x.x("xdotool windowfocus --sync " + window);
    x.x("xdotool key --clearmodifiers alt+" + menuKey);
    open = !WaitForWindow(x, kMenuWindow, 5s).empty();
  }
  if (!open) return false;
  x.x("xdotool key --clearmodifiers " + itemKey);
  return WaitForWindowGone(x, kMenuWindow, 30s);
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

// The demo station made anew in a home of its own, with the program
// started on it; the demo user logs on by itself, so the main window is
// the first thing to answer.
class DemoStation {
 public:
  explicit DemoStation(const XServer& x) {
    home_ = fs::temp_directory_path() / ("kvscreen_" + std::to_string(getpid()));
    fs::remove_all(home_);
    fs::create_directories(home_);
    if (std::system(("'" KV_DEMO_DB_BIN "' '" KV_BUILD_RESOURCES "' '" + home_.string() + "' >/dev/null").c_str()) != 0)
      return;
    {
      std::ofstream cfg(home_ / "c" / "KELVACFG" / "CFG" / "KELVA31.CFG", std::ios::app);
      cfg << "DEFUSER=\"DEMO\"\r\nDEFPASSWORD=\"DEMO\"\r\n";
    }
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (chdir(home_.c_str()) != 0) _exit(126);
      setenv("DISPLAY", x.display().c_str(), 1);
      setenv("KELVANE_HOME", home_.c_str(), 1);
      setenv("GDK_BACKEND", "x11", 1);
      setenv("NO_AT_BRIDGE", "1", 1);
      setenv("GSETTINGS_BACKEND", "memory", 1);
      unsetenv("WAYLAND_DISPLAY");
      execl(KV_KELVANE_BIN, "kelvane", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~DemoStation() {
    std::error_code ec;
    fs::remove_all(home_, ec);
  }
  pid_t pid() const { return pid_; }
  const fs::path& home() const { return home_; }

 private:
  fs::path home_;
  pid_t pid_ = -1;
};

bool CanRunOnScreen(std::string& why) {
#ifndef KV_HAVE_DESKTOP
  why = "the program was built without the desktop renderer (libwxgtk3.2-dev)";
  return false;
#endif
  if (access("/usr/bin/Xvfb", X_OK) != 0 || !Have("xdotool") || !Have("import")) {
    why = "needs Xvfb, xdotool and ImageMagick (deps/program.txt)";
    return false;
  }
  return true;
}

// The demo station's database, read from this process as another
// station would.
class DemoDatabase {
 public:
  explicit DemoDatabase(const fs::path& home) {
    Globals = globals_ = new TGlobals;
    globals_->DatabaseDir = (home / "c" / "KELVACFG" / "DB31").string() + "\\";
    DbContext->auto_open = 1;
    DbContext->exclusive = 0;
    DbContext->report_open_errors = 0;
    DbContext->lock_attempts = 1;
  }
  ~DemoDatabase() {
    Globals = nullptr;
    delete globals_;
  }

 private:
  TGlobals* globals_;
};

struct DemoProgram {
  long id = 0;
  fs::path file;  // where the station keeps it, on this machine
};

DemoProgram FindDemoProgram(const fs::path& home, const char* desc) {
  DemoDatabase db(home);
  TcbFileTable programs("KELVFILE.DBF", 0, 0);
  std::string key = desc;
  TcbFileRecord* found = programs.SelectByDesc(key.data(), kSearchExact);
  programs.made = nullptr;
  DemoProgram p;
  if (found) {
    p.id = found->NCID;
    // "C:\KELVACFG\NC\VMC1\" lies in the station's home.
    std::string dir = std::string(found->DIR) + found->NAME + "." + found->EXT;
    if (dir.size() > 3) dir = dir.substr(3);
    for (char& c : dir)
      if (c == '\\') c = '/';
    p.file = home / "c" / dir;
  }
  FreeRecordList(found);
  return p;
}

// The row's record number when it could be locked (and let go again), -1
// when someone holds it.
long DemoRowLock(const fs::path& home, long id) {
  DemoDatabase db(home);
  TcbFileTable programs("KELVFILE.DBF", 0, 0);
  return programs.LockById(id);
}

constexpr const char* kMainTitle = "KELVANE v3.56 (Build 2)";

// File, Exit, Yes: the process must end with code 0.
void ExitThroughTheMenu(const XServer& x, const std::string& main, pid_t pid) {
  ASSERT_TRUE(ChooseFromMenu(x, main, "f", "5"));
  std::string box = WaitForWindow(x, "Kelvane", 30s);
  ASSERT_FALSE(box.empty()) << "Exit asked nothing";
  // A plain Y answers Yes, as the box's button says.
  x.x("xdotool windowfocus --sync " + box);
  x.x("xdotool key --clearmodifiers y");

  int code = WaitForExit(pid, 60s);
  if (code == -1) kill(pid, SIGKILL);
  EXPECT_EQ(code, 0) << "3 would mean worker threads were left running; a sanitizer build also checks for leaks";
}

// The program started on a demo station of its own under a private X
// server, up to its main window.
class ProgramOnScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    // make check installs what the screen test needs: a lack is a failure.
    if (!CanRunOnScreen(why)) FAIL() << why;
    ASSERT_FALSE(x.display().empty()) << "Xvfb gave no display";
    station = std::make_unique<DemoStation>(x);
    ASSERT_GT(station->pid(), 0);
    main = WaitForWindow(x, kMainTitle, 90s);
    ASSERT_FALSE(main.empty()) << "the main window never showed";
  }

  XServer x;
  std::unique_ptr<DemoStation> station;
  std::string main;
};

TEST_F(ProgramOnScreen, StartsOnTheDemoStationAndEndsThroughFileExitYes) {
  // Pictures of the screen until the window's first paint shows in one.
  std::string shot = (station->home() / "screen.png").string();
  std::string spread;
  auto until = std::chrono::steady_clock::now() + 60s;
  do {
    x.x("import -window root " + shot);
    spread = kvtest::run_command("convert " + shot + " -format '%[fx:standard_deviation]' info: 2>/dev/null");
    if (!spread.empty() && std::stod(spread) > 0.05) break;
    std::this_thread::sleep_for(300ms);
  } while (std::chrono::steady_clock::now() < until);
  ASSERT_FALSE(spread.empty()) << "no screenshot";
  EXPECT_GT(std::stod(spread), 0.05) << "the screen is blank";

  ExitThroughTheMenu(x, main, station->pid());
}

// File, Open: the search, All, the program dialog lists the programs and
// Open (Enter) opens the first one in an editor window, which holds it
// until it closes; a line typed and saved is in the file and the save in
// the system log (as python3-dbfread reads it).
TEST_F(ProgramOnScreen, FileOpenSearchesAndOpensTheChosenProgramInAnEditor) {
  ASSERT_TRUE(ChooseFromMenu(x, main, "f", "2"));
  std::string search = WaitForWindow(x, "Select Program by...", 30s);
  ASSERT_FALSE(search.empty()) << "File, Open showed no search";
  x.x("xdotool windowfocus --sync " + search);
  x.x("xdotool key --clearmodifiers alt+a");  // All
  std::string programs = WaitForWindow(x, "Open program...", 30s);
  ASSERT_FALSE(programs.empty()) << "the search showed no program dialog";
  // Enter goes to the dialog's default button (Open), whenever the
  // program reads the key.
  x.x("xdotool windowfocus --sync " + programs);
  x.x("xdotool key --clearmodifiers Return");
  // The first program by Program-ID of the demo station: an editor holds
  // it while the window is open (its row cannot be locked from here), and
  // lets it go when the window closes.
  const DemoProgram program = FindDemoProgram(station->home(), "CH-40 HEAD OP10");
  const long id = program.id;
  ASSERT_GT(id, 0);
  ASSERT_TRUE(fs::exists(program.file)) << program.file;
  auto until = std::chrono::steady_clock::now() + 30s;
  bool held = false;
  while (!held && std::chrono::steady_clock::now() < until) {
    held = DemoRowLock(station->home(), id) < 0;
    if (!held) std::this_thread::sleep_for(300ms);
  }
  EXPECT_TRUE(held) << "no editor holds the program";
  // The dialog takes the row before it closes: it goes once the desktop
  // has taken its window down.
  EXPECT_TRUE(WaitForWindowGone(x, "Open program...", 30s)) << "the program dialog stayed open";
  // The editor opens after the dialog has gone, and takes the keys from
  // when it shows (it has the focus as it comes on screen): its text shows,
  // the G words in the demo station's red.
  const std::string shot = (station->home() / "editor.png").string();
  until = std::chrono::steady_clock::now() + 60s;
  bool shown = false;
  while (!shown && std::chrono::steady_clock::now() < until) {
    shown = RedPixels(x, shot) > 200;
    if (!shown) std::this_thread::sleep_for(300ms);
  }
  ASSERT_TRUE(shown) << "the editor never showed the program";
  // A line typed at the top, File, Save (item 2 of the editor's menu):
  // the program's file holds it and the system log the save.
  x.x("xdotool windowfocus --sync " + main);
  x.x("xdotool type --delay 60 'G04 P1'");
  x.x("xdotool key --clearmodifiers Return");
  ASSERT_TRUE(ChooseFromMenu(x, main, "f", "2"));
  until = std::chrono::steady_clock::now() + 30s;
  std::string text;
  while (std::chrono::steady_clock::now() < until) {
    std::ifstream in(program.file, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (text.rfind("G04 P1\r\n%", 0) == 0) break;
    std::this_thread::sleep_for(300ms);
  }
  EXPECT_EQ(text.substr(0, 9), "G04 P1\r\n%") << "the saved file does not start with the typed line";
  // The log row follows the file.
  bool saved = false;
  until = std::chrono::steady_clock::now() + 30s;
  while (!saved && std::chrono::steady_clock::now() < until) {
    std::vector<std::string> log = kvdb::PeerRows(
        station->home().string(), (station->home() / "c" / "KELVACFG" / "DB31" / "LOG00000.DBF").string());
    for (const std::string& row : log)
      if (row.find("TYPE=24 ") != std::string::npos && row.find("CH-40 HEAD OP10") != std::string::npos) saved = true;
    if (!saved) std::this_thread::sleep_for(300ms);
  }
  EXPECT_TRUE(saved) << "no system log row of the save";
  // The editor's File menu closes it (item 0); the main window's Exit then.
  ASSERT_TRUE(ChooseFromMenu(x, main, "f", "0"));
  until = std::chrono::steady_clock::now() + 30s;
  while (DemoRowLock(station->home(), id) < 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(300ms);
  EXPECT_GT(DemoRowLock(station->home(), id), 0) << "the closed editor kept the program";

  ExitThroughTheMenu(x, main, station->pid());
}

}  // namespace
