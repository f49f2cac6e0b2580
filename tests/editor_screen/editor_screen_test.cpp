// An editor window of the program on a real (virtual) display: a stored
// program opened into it, a line typed, the text saved from the File menu
// and the window closed from it; the program's file and the system log
// hold the change, and the program is free again.
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/appmain.h"
#include "app/main_frame.h"
#include "resources/dialogs/masterdata.h"
#include "resources/dialogs/setup_sheet_pages.h"
#include "resources/menus/editor.h"
#include "resources/menus/main.h"
#include "storage/program_lock.h"
#include "tests/editor/editor_fixture.h"
#include "tests/render/render_support.h"
#include "tests/support/sheet_rows.h"

namespace {

class TScriptedApp : public TheApp {
 public:
  std::function<void(TMainFrame&)> Script;
  TMainFrame* Frame = nullptr;
  bool CloseAfterScript = true;

 protected:
  TMainFrame* NewFrame(const char* title, TWindow* client) override {
    return Frame = new TMainFrame(title, client);
  }
  bool IdleAction(long idleCount) override {
    bool more = TheApp::IdleAction(idleCount);
    if (Script) {
      auto run = std::move(Script);
      Script = nullptr;
      run(*Frame);
      if (CloseAfterScript) Frame->PostMessage(WM_CLOSE);
    }
    return more;
  }
};

class EditorScreenTest : public kveditor::EditorTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rendertest::VirtualDisplay::get().ok()) << rendertest::VirtualDisplay::get().why();
    EditorTest::SetUp();
    // The desktop, not this test's driver, runs the loops: attached anew
    // over the driver each test makes.
    plat::detach_desktop_renderer();
    ASSERT_TRUE(plat::attach_desktop_renderer());
    std::string cfg = Globals->CfgDir;
    Globals->CfgDir = KV_SOURCE_DIR "/resources/lang/";
    Globals->LoadMenuHints(44, 0);
    Globals->CfgDir = cfg;
    Globals->StartupDone = 1;  // no logon: the station is set up already
    RegisterEditorCommands();
  }
  void TearDown() override {
    desk::set_modal_hook(nullptr);
    for (UINT id : {102u, 1213u, 9000u, 29000u}) RegisterFrameCommand(id, nullptr);
    EditorTest::TearDown();
  }
};

TEST_F(EditorScreenTest, AStoredProgramIsEditedSavedFromTheMenuAndClosed) {
  AddMillProgram(40, "O40\r\nG0 X0\r\n");
  TScriptedApp app;
  bool closed = false;
  app.Script = [&](TMainFrame& frame) {
    // As the program search hands it over.
    Globals->CurrentProgramId = 40;
    frame.PostMessage(WM_COMMAND, kCmOpenEditor);
    ASSERT_TRUE(desk::run_until([&] { return frame.Children[0] && frame.Children[0]->IsWindowVisible(); }, 5s));
    TChildFrame* child = frame.Children[0];
    EXPECT_FALSE(child->IsCommandEnabled(kCmFileSave));
    HWND edit = child->Edit()->GetHandle();
    // The click of typing puts the caret at the end of the text.
    ASSERT_TRUE(desk::type(edit, "M30"));
    desk::press_enter();
    ASSERT_TRUE(desk::run_until([&] { return Text(child) == "O40\r\nG0 X0\r\nM30\r\n"; }, 3s)) << Text(child);
    EXPECT_GT(rendertest::screenshot("editor_window.png"), 0.0);
    EXPECT_TRUE(desk::menu_item_enabled(frame.GetHandle(), kCmFileSave));
    ASSERT_TRUE(desk::choose_menu(frame.GetHandle(), kCmFileSave));
    ASSERT_TRUE(desk::run_until([&] { return ReadFile(MachPath("P40.NC")) == "O40\r\nG0 X0\r\nM30\r\n"; }, 3s));
    EXPECT_EQ(CanLockProgram(40, 0), -1);
    ASSERT_TRUE(desk::choose_menu(frame.GetHandle(), kCmCloseEditor));
    closed = desk::run_until([&] { return frame.Children[0] == nullptr; }, 3s);
  };
  app.Run();
  EXPECT_TRUE(closed);
  EXPECT_EQ(ReadFile(MachPath("P40.NC")), "O40\r\nG0 X0\r\nM30\r\n");
  EXPECT_EQ(PeerRows(DbPath("LOG00000.DBF"), "TYPE"), std::vector<std::string>{"TYPE=24"});
  EXPECT_EQ(CanLockProgram(40, 0), 1);
}

// What another X client reads from the desktop's clipboard. The program
// owns the clipboard and answers the request from its loop, so the loop
// runs while the client reads.
std::string SystemClipboard() {
  std::string out;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    out = kvtest::run_command("timeout 5 xclip -o -selection clipboard 2>/dev/null");
    done = true;
  });
  desk::run_until([&] { return done.load(); }, 6s);
  reader.join();
  return out;
}

TEST_F(EditorScreenTest, AMacroTravelsThroughTheDesktopsClipboard) {
  ASSERT_EQ(std::system("command -v xclip >/dev/null"), 0) << "xclip is not installed (deps/ui-render.txt)";
  AddMillProgram(40, "O40\r\nG28 Z0\r\nM30\r\n");
  TScriptedApp app;
  std::string savedClip, insertedClip;
  app.Script = [&](TMainFrame& frame) {
    Globals->CurrentProgramId = 40;
    frame.PostMessage(WM_COMMAND, kCmOpenEditor);
    ASSERT_TRUE(desk::run_until([&] { return frame.Children[0] && frame.Children[0]->IsWindowVisible(); }, 5s));
    TChildFrame* child = frame.Children[0];
    desk::set_modal_hook([&](TDialog& d) {
      HWND h = d.GetHandle();
      desk::run_for(300ms);
      if (d.GetTemplateId() == IDD_NEW_MACRO) {
        // The selection arrived through the clipboard.
        EXPECT_EQ(desk::shown_text(GetDlgItem(h, IDC_NEW_MACRO_TEXT)).find("G28 Z0"), 0u);
        savedClip = SystemClipboard();
        ASSERT_TRUE(desk::type(GetDlgItem(h, IDC_NEW_MACRO_NAME), "PARK"));
        ASSERT_TRUE(desk::click(GetDlgItem(h, IDC_NEW_MACRO_SAVE)));
      } else if (d.GetTemplateId() == IDD_INSERT_MACRO) {
        // The user changes the text before it goes in.
        ASSERT_TRUE(desk::click(GetDlgItem(h, IDC_INSERT_MACRO_TEXT)));
        desk::press_ctrl('a');
        desk::type_here("G28 Z50");
        ASSERT_TRUE(desk::run_until([&] { return d.ChildWithId(IDC_INSERT_MACRO_TEXT)->GetText() == "G28 Z50"; }, 3s));
        ASSERT_TRUE(desk::click(GetDlgItem(h, IDC_INSERT_MACRO_INSERT)));
      }
      desk::run_until([&] { return d.HasEnded(); }, 3s);
    });
    child->Edit()->SetSelection(2, 0, 3, 0);
    child->PostMessage(WM_COMMAND, kCmSaveAsMacro);
    ASSERT_TRUE(desk::run_until([&] { return child->MacroBox()->GetCount() == 1; }, 5s));
    child->Edit()->SetSelection(4, 0, 4, 0);
    child->PostMessage(WM_COMMAND, kCmInsertMacro);
    ASSERT_TRUE(desk::run_until([&] { return Text(child) == "O40\r\nG28 Z0\r\nM30\r\nG28 Z50"; }, 5s)) << Text(child);
    insertedClip = SystemClipboard();
    // Closing asks about the changed text: not saved.
    desk::answer_box_later(500ms, 'n');
  };
  app.Run();
  EXPECT_EQ(savedClip.substr(0, 6), "G28 Z0");
  EXPECT_EQ(insertedClip, "G28 Z50");
}

// The setup sheets of a program on screen: page 1 shows the type and the
// program's sheet by their names alone, only the labelled fields, and page
// 2 opens from its button. Both pages are left in screenshots.
TEST_F(EditorScreenTest, SetupSheetPagesShowTheirLabelledFields) {
  kvtest::CreateSheetTables([this](const char* file) { return DbPath(file); });
  const long type = kvtest::AddSheetType(
      "MILLING",
      {"Clamping", "Zero point", "Tool list", "", "", "Stock X", "Stock Y", "Stock Z", "", "", "Parts", "Cycle (min)",
       "", "", "", "Deburred", "Measured", "", "", "", "", "Material", "Fixture"},
      {"Coolant", "Remark", "", "", "", "Spindle hours", "", "", "", "", "Torque", "", "", "", "", "Vise"});
  for (auto [field, name] : {std::pair{1, "C45"}, std::pair{1, "ALU 7075"}, std::pair{2, "VISE 125"},
                             std::pair{5, "KURT DX6"}})
    kvtest::AddSheetValue(type, field, name);
  kvtest::AddSheet(type, 40, "OP 10", [](TSheet05Record& r) {
    r.SetText(0, "Vise, jaws soft");
    r.SetDecimal(0, 120.5);
    r.SetInteger(0, 25);
    r.SetFlag(0, 1);
  });
  AddMillProgram(40, "O40\r\nM30\r\n");
  TScriptedApp app;
  std::vector<std::string> sheets, types;
  bool page2 = false, page2Ended = false;
  app.Script = [&](TMainFrame& frame) {
    Globals->CurrentProgramId = 40;
    frame.PostMessage(WM_COMMAND, kCmOpenEditor);
    ASSERT_TRUE(desk::run_until([&] { return frame.Children[0] && frame.Children[0]->IsWindowVisible(); }, 5s));
    desk::set_modal_hook([&](TDialog& d) {
      HWND h = d.GetHandle();
      desk::run_for(500ms);
      if (d.GetTemplateId() == IDD_SETUP_PAGE1) {
        sheets = desk::shown_lines(GetDlgItem(h, IDC_PAGE1_SHEETS));
        types = desk::shown_lines(GetDlgItem(h, IDC_PAGE1_TYPE));
        EXPECT_TRUE(d.ChildWithId(IDC_PAGE1_TEXT1)->IsWindowVisible());
        EXPECT_FALSE(d.ChildWithId(IDC_PAGE1_TEXT4)->IsWindowVisible());
        EXPECT_GT(rendertest::screenshot("setup_page1.png"), 0.0);
        ASSERT_TRUE(desk::click(GetDlgItem(h, IDC_PAGE1_PAGE2)));
        EXPECT_TRUE(desk::run_until([&] { return page2Ended; }, 10s));
      } else if (d.GetTemplateId() == IDD_SETUP_PAGE2) {
        page2 = true;
        EXPECT_GT(rendertest::screenshot("setup_page2.png"), 0.0);
      }
      desk::press_escape();
      desk::run_until([&] { return d.HasEnded(); }, 3s);
      if (d.GetTemplateId() == IDD_SETUP_PAGE2) page2Ended = d.HasEnded();
    });
    ASSERT_TRUE(desk::choose_menu(frame.GetHandle(), kCmSetupSheets));
    ASSERT_TRUE(desk::run_until([&] { return !sheets.empty(); }, 5s));
  };
  app.Run();
  EXPECT_EQ(sheets, std::vector<std::string>{"OP 10"});
  EXPECT_EQ(types, std::vector<std::string>{"MILLING"});
  EXPECT_TRUE(page2);
}

// A maximised window covers the client, between the main window's bars.
// A window closed while minimised or maximised leaves the place it is
// restored to, in screen pixels: the next one opens there, not as a
// caption bar at the client's foot nor over the whole client.
TEST_F(EditorScreenTest, AMinimisedOrMaximisedWindowLeavesItsNormalPlace) {
  AddMillProgram(40, "O40\r\n");
  const int32_t before[] = {EditLeft, EditTop, EditRight, EditBottom};
  TScriptedApp app;
  std::vector<std::pair<TRect, TRect>> normalAndLeft;
  app.Script = [&](TMainFrame& frame) {
    for (UINT state : {UINT(SC_MINIMIZE), UINT(SC_MAXIMIZE)}) {
      Globals->CurrentProgramId = 40;
      frame.SendMessage(WM_COMMAND, kCmOpenEditor);
      TChildFrame* child = frame.Children[0];
      ASSERT_NE(child, nullptr);
      const TRect normal = child->GetWindowRect();
      ASSERT_TRUE(child->MDISysCommand(state));
      ASSERT_NE(child->GetWindowRect(), normal) << "state " << state;
      if (state == SC_MAXIMIZE) {
        // Over the client, between the main window's bars.
        const TRect area = frame.GetClientWindow()->GetWindowRect(), client = child->GetClientRect();
        const TPoint corner = child->ClientToScreen({0, 0});
        EXPECT_EQ(TRect(corner.x, corner.y, corner.x + client.Width(), corner.y + client.Height()), area);
      }
      child->PostMessage(WM_CLOSE);
      ASSERT_TRUE(desk::run_until([&] { return frame.Children[0] == nullptr; }, 10s));
      normalAndLeft.emplace_back(normal, TRect(EditLeft, EditTop, EditRight, EditBottom));
    }
  };
  app.Run();
  EditLeft = before[0];
  EditTop = before[1];
  EditRight = before[2];
  EditBottom = before[3];
  ASSERT_EQ(normalAndLeft.size(), 2u);
  for (const auto& [normal, left] : normalAndLeft) EXPECT_EQ(left, normal);
}

// CPU time the whole process used so far, in clock ticks (all threads).
long CpuTicks() {
  std::ifstream stat("/proc/self/stat");
  std::string all((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream rest(all.substr(all.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime + stime;
}

TEST_F(EditorScreenTest, NewEditorsCascadeInsideTheClientAndTwoIdleOnesCostNothing) {
  AddMillProgram(41, "O41\r\nG0 X0\r\n");
  AddMillProgram(42, "O42\r\nG0 Y0\r\n");
  AddMillProgram(43, "O43\r\nG0 Z0\r\n");
  // Placed as a tall station left them: lower than the client reaches.
  const int32_t bottom = EditBottom;
  EditBottom = EditTop + 2000;
  TScriptedApp app;
  double percent = -1;
  std::thread measure;
  app.Script = [&](TMainFrame& frame) {
    for (long id : {41L, 42L}) {
      Globals->CurrentProgramId = static_cast<int>(id);
      frame.SendMessage(WM_COMMAND, kCmOpenEditor);
    }
    ASSERT_TRUE(desk::run_until([&] { return frame.Children[1] && frame.Children[1]->IsWindowVisible(); }, 5s));
    TWindow* client = frame.GetClientWindow();
    TRect area = desk::screen_rect(client->GetHandle());
    std::vector<TRect> placed;
    for (TChildFrame* c : {frame.Children[0], frame.Children[1]}) {
      ASSERT_TRUE(desk::run_until([&] { return desk::screen_rect(c->GetHandle()).Width() > 0; }, 3s));
      TRect r = desk::screen_rect(c->GetHandle());
      EXPECT_TRUE(r.left >= area.left && r.top >= area.top && r.right <= area.right && r.bottom <= area.bottom)
          << r.left << "," << r.top << "," << r.right << "," << r.bottom << " in " << area.left << "," << area.top
          << "," << area.right << "," << area.bottom;
      placed.push_back(r);
    }
    EXPECT_NE(placed[0].left, placed[1].left) << "the second one cascades";
    EXPECT_NE(placed[0].top, placed[1].top);
    desk::run_for(500ms);
    // Ten seconds of the program's own loop with nothing to do, measured
    // from a thread that then ends the run.
    // A check that failed above ends the run at once; from here the
    // measuring thread ends it.
    app.CloseAfterScript = false;
    measure = std::thread([&frame, &percent] {
      long before = CpuTicks();
      std::this_thread::sleep_for(10s);
      percent = 100.0 * static_cast<double>(CpuTicks() - before) / (10.0 * sysconf(_SC_CLK_TCK));
      frame.PostMessage(WM_CLOSE);
    });
  };
  app.Run();
  if (measure.joinable()) measure.join();
  EditBottom = bottom;
  EXPECT_GE(percent, 0.0);
  EXPECT_LT(percent, 2.0) << "an idle program with two editors";
}

}  // namespace
