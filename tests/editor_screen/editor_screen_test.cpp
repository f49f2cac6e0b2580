// An editor window of the program on a real (virtual) display: a stored
// program opened into it, a line typed, the text saved from the File menu
// and the window closed from it; the program's file and the system log
// hold the change, and the program is free again.
#include "app/main_frame.h"
#include "storage/program_lock.h"
#include "tests/editor/editor_fixture.h"
#include "tests/render/render_support.h"

namespace {

class TScriptedApp : public TheApp {
 public:
  std::function<void(TMainFrame&)> Script;
  TMainFrame* Frame = nullptr;

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
      Frame->PostMessage(WM_CLOSE);
    }
    return more;
  }
};

class EditorScreenTest : public kveditor::EditorTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rendertest::VirtualDisplay::get().ok()) << rendertest::VirtualDisplay::get().why();
    EditorTest::SetUp();
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
    desk::run_for(300ms);
    // As the program search hands it over.
    Globals->CurrentProgramId = 40;
    frame.PostMessage(WM_COMMAND, 9000);
    ASSERT_TRUE(desk::run_until([&] { return frame.Children[0] && frame.Children[0]->IsWindowVisible(); }, 5s));
    TChildFrame* child = frame.Children[0];
    EXPECT_FALSE(child->IsCommandEnabled(103));
    HWND edit = child->Edit()->GetHandle();
    // The click of typing puts the caret at the end of the text.
    ASSERT_TRUE(desk::type(edit, "M30"));
    desk::press_enter();
    ASSERT_TRUE(desk::run_until([&] { return Text(child) == "O40\r\nG0 X0\r\nM30\r\n"; }, 3s)) << Text(child);
    EXPECT_GT(rendertest::screenshot("editor_window.png"), 0.0);
    EXPECT_TRUE(desk::menu_item_enabled(frame.GetHandle(), 103));
    ASSERT_TRUE(desk::choose_menu(frame.GetHandle(), 103));
    ASSERT_TRUE(desk::run_until([&] { return ReadFile(MachPath("P40.NC")) == "O40\r\nG0 X0\r\nM30\r\n"; }, 3s));
    EXPECT_EQ(CanLockProgram(40, 0), -1);
    ASSERT_TRUE(desk::choose_menu(frame.GetHandle(), 118));
    closed = desk::run_until([&] { return frame.Children[0] == nullptr; }, 3s);
  };
  app.Run();
  EXPECT_TRUE(closed);
  EXPECT_EQ(ReadFile(MachPath("P40.NC")), "O40\r\nG0 X0\r\nM30\r\n");
  EXPECT_EQ(PeerRows(DbPath("LOG00000.DBF"), "TYPE"), std::vector<std::string>{"TYPE=24"});
  EXPECT_EQ(CanLockProgram(40, 0), 1);
}

}  // namespace
