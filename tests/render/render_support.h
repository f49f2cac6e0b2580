// Shared by the screen tests: the virtual display, a fixture that skips
// without one, and a helper to run the image tools.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/application.h"
#include "platform/ui/dialog.h"
#include "platform/ui/resource.h"
#include "platform/wx/desktop_sim.h"
#include "tests/render/virtual_display.h"
#include "tests/support/run_command.h"

using namespace std::chrono_literals;
namespace desk = plat::desktop;

namespace rendertest {

// Where this test process keeps its pictures: a directory of its own, as
// other runs of the same test (another build, another developer) take
// pictures of the same names at the same time. It goes when every test of
// the process passed, and stays to be looked at when one failed.
class ScreenDir : public ::testing::Environment {
 public:
  static const std::string& path() {
    static const std::string dir = [] {
      std::string d = ::testing::TempDir() + "kelvane-screens-" + std::to_string(getpid()) + "/";
      std::filesystem::create_directories(d);
      return d;
    }();
    return dir;
  }
  void TearDown() override {
    std::error_code ec;
    if (!::testing::UnitTest::GetInstance()->Failed()) std::filesystem::remove_all(path(), ec);
  }
};
inline ::testing::Environment* const kScreenDir = ::testing::AddGlobalTestEnvironment(new ScreenDir);

// Takes a picture of the whole screen into the test's own directory; the
// spread of its grey levels (0 for a blank screen), or -1 when no picture
// could be taken.
inline double screenshot(const std::string& name) {
  std::string shot = ScreenDir::path() + name;
  std::remove(shot.c_str());
  kvtest::run_command("import -window root " + shot + " 2>/dev/null");
  std::string spread = kvtest::run_command("convert " + shot + " -format '%[fx:standard_deviation]' info: 2>/dev/null");
  try {
    return spread.empty() ? -1 : std::stod(spread);
  } catch (...) {
    return -1;
  }
}

// Takes pictures of the screen, the display running in between, until
// check (reading the picture taken as name) holds for one; false when the
// time ran out first. The painting a check looks for can come late on a
// loaded machine.
inline bool screen_until(const std::string& name, const std::function<bool()>& check,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  return plat::desktop::run_until([&] { return screenshot(name) >= 0 && check(); }, timeout);
}

// The colours (0xRRGGBB) of a rectangle of a screenshot, row by row.
inline std::vector<uint32_t> pixels(const std::string& name, const TRect& r) {
  std::vector<uint32_t> out;
  if (r.Width() <= 0 || r.Height() <= 0) return out;
  std::string shot = ScreenDir::path() + name;
  std::string text = kvtest::run_command("convert " + shot + " -crop " + std::to_string(r.Width()) + "x" + std::to_string(r.Height()) +
                         "+" + std::to_string(r.left) + "+" + std::to_string(r.top) + " +repage txt:- 2>/dev/null");
  // Lines "x,y: (r,g,b)  #RRGGBB  name" after a header line.
  size_t at = 0;
  while ((at = text.find("  #", at)) != std::string::npos) {
    out.push_back(static_cast<uint32_t>(std::strtoul(text.substr(at + 3, 6).c_str(), nullptr, 16)));
    at += 9;
  }
  return out;
}

// A program of one frame that runs a window of the test (a modal dialog,
// say) at its first idle time and closes once that is done.
class TRunOnceApp : public TApplication {
 public:
  TRunOnceApp(const char* name, int w, int h, std::function<void(TWindow*)> run)
      : TApplication(name), W(w), H(h), RunIt(std::move(run)) {}
  void InitMainWindow() override {
    auto* frame = new TWindow(nullptr, "Test frame");
    frame->Attr.Style = WS_OVERLAPPEDWINDOW;
    frame->Attr.W = W;
    frame->Attr.H = H;
    SetMainWindow(frame);
  }
  bool IdleAction(long idleCount) override {
    if (!Started) {
      Started = true;
      RunIt(MainWindow);
      MainWindow->PostMessage(WM_CLOSE);
    }
    return TApplication::IdleAction(idleCount);
  }

 private:
  int W, H;
  std::function<void(TWindow*)> RunIt;
  bool Started = false;
};

// A visible frame of its own for a test's modeless dialogs.
inline bool create_frame(TWindow& frame) {
  frame.Attr.Style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
  frame.Attr.W = 700;
  frame.Attr.H = 500;
  return frame.Create();
}

inline uint32_t pixel(const std::string& name, int x, int y) {
  std::vector<uint32_t> p = pixels(name, TRect(x, y, x + 1, y + 1));
  return p.empty() ? 0xFFFFFFFFu : p[0];
}

// How many pixels of the rectangle are (about) the colour.
inline int count_colour(const std::vector<uint32_t>& px, uint32_t rgb, int tolerance = 24) {
  int n = 0;
  for (uint32_t p : px) {
    int dr = static_cast<int>((p >> 16) & 0xFF) - static_cast<int>((rgb >> 16) & 0xFF);
    int dg = static_cast<int>((p >> 8) & 0xFF) - static_cast<int>((rgb >> 8) & 0xFF);
    int db = static_cast<int>(p & 0xFF) - static_cast<int>(rgb & 0xFF);
    if (std::abs(dr) <= tolerance && std::abs(dg) <= tolerance && std::abs(db) <= tolerance) ++n;
  }
  return n;
}

}  // namespace rendertest

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rendertest::VirtualDisplay::get().ok()) << rendertest::VirtualDisplay::get().why();
    plat::set_resource_dir(KV_FIXTURES_DIR "/ui");
  }
  void TearDown() override { desk::set_modal_hook(nullptr); }
  // Runs body on each modal dialog once it is on screen; a dialog the body
  // leaves open (a failed check) is cancelled, so the test never hangs.
  static void on_dialog(std::function<void(TDialog&)> body) {
    desk::set_modal_hook([body](TDialog& d) {
      body(d);
      if (!d.HasEnded()) d.Destroy(IDCANCEL);
    });
  }
};
