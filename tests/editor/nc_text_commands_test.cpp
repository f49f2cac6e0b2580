// The NC text commands as the editor window's menu runs them: renumbering
// of a program's text through its options dialog, block numbers away
// again, and when the macro commands are offered.
#include <filesystem>

#include "editor/nc_line_options.h"
#include "editor/user_prefs.h"
#include "resources/dialogs/nctools.h"
#include "resources/menus/editor.h"
#include "tests/editor/editor_fixture.h"

namespace {

using kveditor::EditorTest;
using plat::Pilot;

// The renumbering options are the process's: each test starts from the
// defaults and leaves them so.
class NcTextCommandsTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    *UserPreferences = TUserPreferences();
  }
  void TearDown() override {
    *UserPreferences = TUserPreferences();
    EditorTest::TearDown();
  }
};

TEST_F(NcTextCommandsTest, RenumberingRunsOnTheWindowsTextAndSaveAsMacroWaitsForASelection) {
  const std::string original = "%\r\nG0 X1\r\nN7 G1";
  AddMillProgram(40, original);
  TChildFrame* f = Open(40);
  ASSERT_NE(f->Program(), nullptr);
  ASSERT_EQ(Text(f), original);

  // Save As Macro needs a program and a selection; Insert macro is
  // always offered.
  EXPECT_FALSE(Enabled(f, kCmSaveAsMacro));
  f->Edit()->SetSelection(1, 1, 2, 1);
  ASSERT_GT(f->Edit()->SendMessage(LEM_HASSEL, 0, 0), 0);
  for (UINT id : {301u, 302u, 304u, 305u, 306u, 307u, 1226u, 1227u, 1228u}) EXPECT_TRUE(Enabled(f, id)) << id;

  // Cancelling the options leaves the text as it was.
  driver.expect_dialog(TLineOptionDialog::kResourceId, [](TDialog& d) { Pilot(d).click(IDCANCEL); });
  Command(f, kCmInsertLineNumbers);
  EXPECT_EQ(Text(f), original);
  EXPECT_FALSE(Enabled(f, kCmFileSave));

  driver.expect_dialog(TLineOptionDialog::kResourceId, [](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_LINE_NUMBERS_FIRST_NUMBER), "10");
    p.set_text(IDC_LINE_NUMBERS_EXCLUSION, "%");
    p.click(IDOK);
  });
  Command(f, kCmInsertLineNumbers);
  EXPECT_EQ(Text(f), "%\r\nN10 G0 X1\r\nN12 G1");
  EXPECT_TRUE(Enabled(f, kCmFileSave));  // the rewritten text is a change to save
  // The pass goes through the window's own scratch files and leaves none;
  // the program's file is written only by Save.
  EXPECT_FALSE(std::filesystem::exists(f->TempPath("CRNF", "RF1")));
  EXPECT_FALSE(std::filesystem::exists(f->TempPath("CRNF", "RF2")));
  EXPECT_EQ(ReadFile(MachPath("P40.NC")), original);

  Command(f, kCmRemoveLineNumbers);
  EXPECT_EQ(Text(f), "%\r\nG0 X1\r\nG1");

  driver.expect_message_box(IDNO, "changed");
  EXPECT_TRUE(Close(f));
}

}  // namespace
