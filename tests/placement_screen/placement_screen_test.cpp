// Where the program puts its windows, on its demo station under a private
// X server, read back from the screen: an editor opened and closed again
// and again comes back to the same place inside the main window's client,
// a second editor beside an open one is cascaded from it, the place
// survives a restart, a place an older station left beyond the client is
// brought inside, and the plug-ins' windows open over the main window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/appmain.h"
#include "app/main_frame.h"
#include "appcore/globals.h"
#include "editor/child_frame.h"
#include "main/register.h"
#include "platform/msgbox.h"
#include "platform/path.h"
#include "platform/ui/driver.h"
#include "platform/ui/plugin_services.h"
#include "platform/ui/print.h"
#include "platform/ui/resource.h"
#include "resources/dialogs/program.h"
#include "resources/dialogs/search.h"
#include "resources/menus/editor.h"
#include "resources/menus/main.h"
#include "tests/render/render_support.h"
#include "tests/support/scripted_app.h"

namespace {

namespace fs = std::filesystem;

enum DialogId : int { kDlgLogon = 2 };
enum ControlId : int { kLogonUser = 101, kLogonPassword = 102 };

const std::string kFirst = "PH-200 HOUSING OP10", kSecond = "PH-200 HOUSING OP20";
// Far enough for an editor that runs on a slow machine.
constexpr auto kPatience = 30s;
// The caption of the active editor window.
constexpr uint32_t kActiveCaption = 0x000080;

using kvtest::g_script;
using kvtest::RunScripted;

std::string Show(const TRect& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}

// Where the X server shows the visible top-level window of that title, as
// a window manager or a screenshot sees it; empty when there is none.
TRect XWindowRect(const std::string& title) {
  std::string pattern = "^";
  for (char c : title) {
    if (c == '\'') pattern += "'\\''";
    else if (std::strchr(".[]()*+?^$|\\{}", c)) pattern += std::string("\\") + c;
    else pattern += c;
  }
  std::istringstream ids(kvtest::run_command("xdotool search --onlyvisible --name '" + pattern + "$' 2>/dev/null"));
  for (std::string id; ids >> id;) {
    std::istringstream geometry(kvtest::run_command("xdotool getwindowgeometry --shell " + id + " 2>/dev/null"));
    std::map<std::string, int> v;
    for (std::string line; std::getline(geometry, line);)
      if (size_t eq = line.find('='); eq != std::string::npos) v[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    if (v["WIDTH"] > 1) return TRect(v["X"], v["Y"], v["X"] + v["WIDTH"], v["Y"] + v["HEIGHT"]);
  }
  return {};
}

bool Inside(const TRect& inner, const TRect& outer) {
  return inner.Width() > 0 && inner.Height() > 0 && inner.left >= outer.left && inner.top >= outer.top &&
         inner.right <= outer.right && inner.bottom <= outer.bottom;
}

class PlacementScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rendertest::VirtualDisplay::get().ok()) << rendertest::VirtualDisplay::get().why();
    home_ = fs::temp_directory_path() / ("kvplace_" + std::to_string(getpid()));
    fs::remove_all(home_);
    fs::create_directories(home_);
    std::string make = "'" KV_DEMO_DB_BIN "' '" KV_BUILD_RESOURCES "' '" + home_.string() + "' >/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    // The plug-ins in the station's plug-in directory, as the demo has them.
    const fs::path hooks = home_ / "c" / "KELVACFG" / "CHOOKS";
    fs::create_directories(hooks);
    for (const char* lib : {"libbrentix.so", "librichedit.so"})
      fs::copy_file(fs::path(KV_PLUGINS_DIR) / lib, hooks / lib, fs::copy_options::overwrite_existing);
    kvtest::EnterStation(home_, KV_BUILD_RESOURCES);
    ASSERT_TRUE(fs::equivalent(fs::current_path(), home_));
    oldBoxes_ = plat::set_message_box_handler([this](HWND, const std::string& text, const std::string&, UINT flags) {
      boxes_.push_back(text);
      return plat::default_message_box_answer(flags);
    });
  }
  void TearDown() override {
    plat::set_message_box_handler(oldBoxes_);
    kvtest::LeaveStation(home_);
  }

  // One start of the program on the station: logged on as the demo user,
  // the script runs, then the program ends (and stores the placement).
  // Dialogs the script does not answer itself are cancelled.
  void Run(const std::function<void(TMainFrame&)>& script, const std::function<void(TDialog&)>& answer = {}) {
    g_script = [this, script](TMainFrame& frame) {
      placementFile_ = plat::to_native_path(Globals->CfgDir + "EDITSIZE.BIN");
      script(frame);
    };
    desk::set_modal_hook([&, answer](TDialog& d) {
      if (!LogOn(d) && !Choose(d) && answer) answer(d);
      if (!d.HasEnded()) d.CloseWindow(IDCANCEL);
    });
    // Where a start finds the station, whatever the last one left.
    ASSERT_EQ(chdir(home_.c_str()), 0);
    plat::set_base_directory(home_.string());
    plat::reset_drive_table();
    char name[] = "kelvane";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(AppMain(1, argv), 0);
  }
  bool LogOn(TDialog& d) {
    if (d.GetTemplateId() != kDlgLogon) return false;
    plat::Pilot p(d);
    std::vector<std::string> users = p.lines(kLogonUser);
    for (size_t i = 0; i < users.size(); ++i)
      if (users[i].rfind("DEMO", 0) == 0) p.select(kLogonUser, static_cast<int>(i));
    p.set_text(kLogonPassword, "DEMO");
    p.click(IDOK);
    return true;
  }
  // File > Open: all programs, the wanted one's line, Open.
  bool Choose(TDialog& d) {
    plat::Pilot p(d);
    if (d.GetTemplateId() == IDD_SEARCH) {
      p.click(IDC_SEARCH_ALL);
      return true;
    }
    if (d.GetTemplateId() != IDD_PROGRAM) return false;
    std::vector<std::string> lines = p.lines(IDC_PROGRAM_LIST);
    bool found = false;
    for (size_t i = 0; i < lines.size(); ++i) {
      for (const std::string& name : {kFirst, kSecond})
        if (lines[i].find(name) != std::string::npos && lines[i].find("@@") != std::string::npos)
          ids_[name] = std::atol(lines[i].c_str() + lines[i].find("@@") + 2);
      if (!found && lines[i].find(wanted_) != std::string::npos) {
        p.select(IDC_PROGRAM_LIST, static_cast<int>(i));
        found = true;
      }
    }
    EXPECT_TRUE(found) << wanted_ << " in " << ::testing::PrintToString(lines);
    EXPECT_TRUE(p.click(IDC_PROGRAM_OPEN));
    return true;
  }

  // Opens the program through File > Open; its window once the screen
  // shows it where the program placed it.
  TChildFrame* Open(TMainFrame& frame, const std::string& program) {
    wanted_ = program;
    return Opened(frame, [&] { frame.SendMessage(WM_COMMAND, kCmFileOpen); });
  }
  // Opens a second window beside the active one, as another program asks
  // for it (File > Open would load into the active window).
  TChildFrame* OpenBeside(TMainFrame& frame, const std::string& program) {
    EXPECT_TRUE(ids_.count(program)) << program << " was not listed";
    return Opened(frame, [&] {
      Globals->CurrentProgramId = static_cast<int>(ids_[program]);
      frame.SendMessage(WM_COMMAND, kCmOpenEditor);
    });
  }
  TChildFrame* Opened(TMainFrame& frame, const std::function<void()>& open) {
    std::array<TChildFrame*, TMainFrame::kChildSlots> before;
    std::copy(std::begin(frame.Children), std::end(frame.Children), before.begin());
    open();
    TChildFrame* opened = nullptr;
    for (int i = 0; i < TMainFrame::kChildSlots; ++i)
      if (frame.Children[i] && frame.Children[i] != before[i]) opened = frame.Children[i];
    if (!opened) return nullptr;
    // The screen shows the client's children from the client's corner.
    TWindow* client = frame.GetClientWindow();
    bool shown = desk::run_until(
        [&] {
          TRect r = desk::screen_rect(opened->GetHandle()), area = desk::screen_rect(client->GetHandle());
          TRect model = opened->GetWindowRect(), modelArea = client->GetWindowRect();
          return opened->IsWindowVisible() && r.Width() > 0 && r.left - area.left == model.left - modelArea.left &&
                 r.top - area.top == model.top - modelArea.top && r.Width() == model.Width() &&
                 r.Height() == model.Height();
        },
        kPatience);
    EXPECT_TRUE(shown) << "the window shows at " << Show(desk::screen_rect(opened->GetHandle())) << ", placed at "
                       << Show(opened->GetWindowRect());
    return opened;
  }
  static bool Close(TMainFrame& frame, TChildFrame* editor) {
    int slot = 0;
    while (slot < TMainFrame::kChildSlots && frame.Children[slot] != editor) ++slot;
    if (slot == TMainFrame::kChildSlots) return false;
    editor->PostMessage(WM_CLOSE);
    return desk::run_until([&] { return frame.Children[slot] == nullptr; }, kPatience);
  }
  // The client of the main window as the screen shows it.
  static TRect ClientArea(TMainFrame& frame) {
    HWND client = frame.GetClientWindow()->GetHandle();
    desk::run_until([&] { return desk::screen_rect(client).Width() > 0; }, kPatience);
    return desk::screen_rect(client);
  }
  std::string PlacementBytes() const {
    std::ifstream in(placementFile_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  static std::string Bytes(const TRect& r) {
    std::string out;
    for (int32_t v : {r.left, r.top, r.right, r.bottom})
      for (int k = 0; k < 4; ++k) out += static_cast<char>(static_cast<uint32_t>(v) >> (8 * k));
    return out;
  }

  fs::path home_;
  std::string placementFile_;
  std::string wanted_;
  std::map<std::string, long> ids_;
  plat::MessageBoxHandler oldBoxes_;
  std::vector<std::string> boxes_;
};

TEST_F(PlacementScreen, AnEditorKeepsItsPlaceInsideTheClientASecondCascadesAndARestartKeepsIt) {
  std::vector<TRect> alone;
  TRect area, first, second, firstPlaced;
  Run([&](TMainFrame& frame) {
    area = ClientArea(frame);
    // Opened and closed six times: each time in the same place.
    for (int i = 0; i < 6; ++i) {
      TChildFrame* editor = Open(frame, kFirst);
      ASSERT_NE(editor, nullptr) << "open " << i + 1;
      alone.push_back(desk::screen_rect(editor->GetHandle()));
      ASSERT_TRUE(Close(frame, editor)) << "close " << i + 1;
    }
    // Two at once: the second steps down and right from the first.
    TChildFrame* a = Open(frame, kFirst);
    ASSERT_NE(a, nullptr);
    TChildFrame* b = OpenBeside(frame, kSecond);
    ASSERT_NE(b, nullptr);
    first = desk::screen_rect(a->GetHandle());
    firstPlaced = a->GetWindowRect();
    second = desk::screen_rect(b->GetHandle());
    // The screen shows the second one's caption where it was placed.
    const TPoint caption(second.right - 80, second.top + 8);
    EXPECT_TRUE(rendertest::screen_until("two_editors.png", [&] {
      return rendertest::pixels("two_editors.png", TRect(caption.x, caption.y, caption.x + 1, caption.y + 1)) ==
             std::vector<uint32_t>{kActiveCaption};
    }, kPatience)) << "no caption at " << caption.x << "," << caption.y;
    ASSERT_TRUE(Close(frame, b));
    ASSERT_TRUE(Close(frame, a));
  });
  ASSERT_EQ(alone.size(), 6u);
  for (size_t i = 0; i < alone.size(); ++i) {
    EXPECT_TRUE(Inside(alone[i], area)) << "open " << i + 1 << " at " << Show(alone[i]) << " in " << Show(area);
    EXPECT_EQ(alone[i], alone[0]) << "open " << i + 1 << " at " << Show(alone[i]) << ", the first at "
                                  << Show(alone[0]);
  }
  EXPECT_TRUE(Inside(first, area)) << Show(first) << " in " << Show(area);
  EXPECT_TRUE(Inside(second, area)) << Show(second) << " in " << Show(area);
  EXPECT_EQ(first, alone[0]);
  const int dx = second.left - first.left, dy = second.top - first.top;
  EXPECT_TRUE(dx > 0 && dy > 0 && dx == dy && dx <= 48) << Show(first) << " then " << Show(second);
  // The file holds the place on the screen of the editor closed last, as
  // the program reckons it.
  const std::string stored = PlacementBytes();
  EXPECT_EQ(stored, Bytes(firstPlaced));

  // The next start opens the editor where it was and stores the same.
  TRect again;
  Run([&](TMainFrame& frame) {
    TChildFrame* editor = Open(frame, kFirst);
    ASSERT_NE(editor, nullptr);
    again = desk::screen_rect(editor->GetHandle());
    ASSERT_TRUE(Close(frame, editor));
  });
  EXPECT_EQ(again, alone[0]) << Show(again) << ", before the restart " << Show(alone[0]);
  EXPECT_EQ(PlacementBytes(), stored);
  for (const std::string& b : boxes_) std::printf("box: %s\n", b.c_str());
}

// An older station stored its editors' places with the main window's
// origin added at each close; its last one lies below the client.
TEST_F(PlacementScreen, APlaceBeyondTheClientIsBroughtInside) {
  TRect area, placed, reckoned;
  const fs::path file = home_ / "c" / "KELVACFG" / "CFG" / "EDITSIZE.BIN";
  ASSERT_TRUE(fs::exists(file.parent_path())) << file;
  std::ofstream(file, std::ios::binary) << Bytes(TRect(355, 615, 935, 1135));
  Run([&](TMainFrame& frame) {
    ASSERT_EQ(plat::to_native_path(Globals->CfgDir + "EDITSIZE.BIN"), file.string());
    area = ClientArea(frame);
    TChildFrame* editor = Open(frame, kFirst);
    ASSERT_NE(editor, nullptr);
    placed = desk::screen_rect(editor->GetHandle());
    reckoned = editor->GetWindowRect();
    ASSERT_TRUE(Close(frame, editor));
  });
  EXPECT_TRUE(Inside(placed, area)) << Show(placed) << " in " << Show(area);
  EXPECT_EQ(PlacementBytes(), Bytes(reckoned));
}

// The plug-ins name no owner for their windows: the print dialog of the
// formatted print and the memo window open over the main window.
TEST_F(PlacementScreen, ThePlugInsWindowsOpenOverTheMainWindow) {
  TRect main;
  std::vector<std::pair<int, TRect>> shown;
  Run(
      [&](TMainFrame& frame) {
        TChildFrame* editor = Open(frame, kFirst);
        ASSERT_NE(editor, nullptr);
        editor->SendMessage(WM_COMMAND, kCmFormattedPrint);
        editor->SendMessage(WM_COMMAND, kCmMemorandum);
        ASSERT_TRUE(Close(frame, editor));
      },
      [&](TDialog& d) {
        const int id = d.GetTemplateId();
        if (id != TPrintDialog::kTemplate && id != TTextFileDialog::kTemplate) {
          ADD_FAILURE() << "dialog " << id << " was not asked for";
          return;
        }
        TRect r, over;
        desk::run_until(
            [&] {
              r = XWindowRect(d.GetText());
              over = XWindowRect(Globals->MainFrame->GetText());
              return Inside(r, over);
            },
            kPatience);
        // On top, and painted: the middle of the memo's white text field.
        if (id == TTextFileDialog::kTemplate) {
          const TRect middle(r.left + r.Width() / 2 - 2, r.top + r.Height() / 2 - 2, r.left + r.Width() / 2 + 2,
                             r.top + r.Height() / 2 + 2);
          EXPECT_TRUE(rendertest::screen_until("memo_window.png", [&] {
            std::vector<uint32_t> px = rendertest::pixels("memo_window.png", middle);
            return !px.empty() && std::all_of(px.begin(), px.end(), [](uint32_t c) { return c == 0xFFFFFF; });
          }, kPatience)) << "the memo window does not show at " << Show(r);
        }
        shown.emplace_back(id, r);
        main = over;
      });
  ASSERT_EQ(shown.size(), 2u);
  for (const auto& [id, r] : shown)
    EXPECT_TRUE(Inside(r, main)) << "dialog " << id << " at " << Show(r) << " over " << Show(main);
  for (const std::string& b : boxes_) std::printf("box: %s\n", b.c_str());
}

}  // namespace
