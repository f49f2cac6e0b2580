// Shared by the screen tests: the virtual display, a fixture that skips
// without one, and a helper to run the image tools.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/dialog.h"
#include "platform/ui/resource.h"
#include "platform/wx/desktop_sim.h"
#include "tests/render/virtual_display.h"

using namespace std::chrono_literals;
namespace desk = plat::desktop;

namespace rendertest {

inline std::string run(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen(command.c_str(), "r"), pclose);
  if (!p) return out;
  std::array<char, 256> buf;
  while (fgets(buf.data(), buf.size(), p.get())) out += buf.data();
  return out;
}

// Takes a picture of the whole screen into the test's temporary
// directory; the spread of its grey levels (0 for a blank screen), or -1
// when no picture could be taken.
inline double screenshot(const std::string& name) {
  std::string shot = ::testing::TempDir() + name;
  std::remove(shot.c_str());
  run("import -window root " + shot + " 2>/dev/null");
  std::string spread = run("convert " + shot + " -format '%[fx:standard_deviation]' info: 2>/dev/null");
  try {
    return spread.empty() ? -1 : std::stod(spread);
  } catch (...) {
    return -1;
  }
}

}  // namespace rendertest

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!rendertest::VirtualDisplay::get().ok()) GTEST_SKIP() << rendertest::VirtualDisplay::get().why();
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
