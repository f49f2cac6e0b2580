// The main frame's commands that open editor windows: command 29000 opens
// the program it was asked for or the file named with it, a window for a
// file without program, four windows at most, and the commands that need
// dialogs not present stay without handler.
#include "app/main_frame.h"
#include "resources/menus/editor.h"
#include "resources/menus/main.h"
#include "storage/program_lock.h"
#include "tests/editor/editor_fixture.h"

namespace {

using kveditor::EditorTest;

class FrameCommandsTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    std::string cfg = Globals->CfgDir;
    Globals->CfgDir = KV_SOURCE_DIR "/resources/lang/";
    Globals->LoadMenuHints(44, 0);
    Globals->CfgDir = cfg;
    frame = new TMainFrame("Kelvane", new TMainClient);
    ASSERT_TRUE(frame->Create());
    RegisterEditorCommands();
  }
  void TearDown() override {
    for (TChildFrame* c : frame->Children)
      if (c) {
        c->CanClose();
        c->Destroy();
        delete c;
      }
    frame->Destroy();
    delete frame;
    for (UINT id : {102u, 1213u, 9000u, 29000u}) RegisterFrameCommand(id, nullptr);
    EditorTest::TearDown();
  }
  TMainFrame* frame = nullptr;
};

TEST_F(FrameCommandsTest, OpenNamedProgramOpensTheProgramAskedForAndNeverAStaleFileOverIt) {
  AddMillProgram(40, "O40\r\n");
  std::string stale = Root() + "/STALE.NC", copy = Root() + "/L7.LOG";
  kvdb::WriteFileBytes(stale, "STALE\r\n");
  kvdb::WriteFileBytes(copy, "OLD VERSION\r\n");
  Globals->CurrentProgramId = 40;
  Globals->StartFile.Set(stale.c_str());
  frame->SendMessage(WM_COMMAND, kCmOpenNamedProgram);
  driver.pump();
  ASSERT_NE(frame->Children[0], nullptr);
  ASSERT_NE(frame->Children[0]->Program(), nullptr);
  EXPECT_EQ(Text(frame->Children[0]), "O40\r\n");
  // A stored version asked for by its file: a window without program.
  Globals->CurrentProgramId = 0;
  Globals->StartFile.Set(copy.c_str());
  frame->SendMessage(WM_COMMAND, kCmOpenNamedProgram);
  Globals->StartFile.Set(stale.c_str());  // changed before the window loads
  driver.pump();
  ASSERT_NE(frame->Children[1], nullptr);
  EXPECT_EQ(frame->Children[1]->Program(), nullptr);
  EXPECT_EQ(Text(frame->Children[1]), "OLD VERSION\r\n");
  EXPECT_EQ(frame->Children[1]->GetText(), copy);
  EXPECT_FALSE(Enabled(frame->Children[1], kCmFileSave));
}

TEST_F(FrameCommandsTest, FourWindowsAtMostAndNoHandlerWithoutTheirDialogs) {
  Globals->StartFile.Set((Root() + "/none.NC").c_str());
  for (int i = 0; i < 4; i++) frame->SendMessage(WM_COMMAND, kCmOpenEditorWindow);
  for (TChildFrame* c : frame->Children) ASSERT_NE(c, nullptr);
  TChildFrame* first = frame->Children[0];
  frame->SendMessage(WM_COMMAND, kCmOpenEditorWindow);
  EXPECT_EQ(frame->Children[0], first);
  driver.expect_message_box(IDOK, "could not be read");
  driver.expect_message_box(IDOK, "could not be read");
  driver.expect_message_box(IDOK, "could not be read");
  driver.expect_message_box(IDOK, "could not be read");
  driver.pump();
  // New and Import need the machine chooser, Open the program search.
  for (UINT id : {101u, 110u, 102u}) EXPECT_FALSE(HasFrameCommand(id)) << id;
  SetProgramChooser([](TWindow*) { return 0L; });
  RegisterEditorCommands();
  EXPECT_TRUE(HasFrameCommand(kCmFileOpen));
  EXPECT_TRUE(first->IsCommandEnabled(kCmFileOpen));
  SetProgramChooser(nullptr);
}

TEST_F(FrameCommandsTest, NewFromAnEditorRunsTheFramesNewOnce) {
  Globals->StartFile.Set((Root() + "/none.NC").c_str());
  driver.expect_message_box(IDOK, "could not be read");
  frame->SendMessage(WM_COMMAND, kCmOpenEditorWindow);
  driver.pump();
  ASSERT_NE(frame->Children[0], nullptr);
  int runs = 0;
  RegisterFrameCommand(kCmFileNew, [&](TFrameWindow&, UINT) { ++runs; });
  // The editor is the active child: the frame's chain reaches it first.
  frame->Children[0]->SendMessage(WM_COMMAND, kCmFileNew);
  driver.pump();
  EXPECT_EQ(runs, 1);
  RegisterFrameCommand(kCmFileNew, nullptr);
}

}  // namespace
