// The editor's macro and association commands: Save As Macro hands the
// selection to the save dialog on the clipboard, Insert macro pastes the
// text the user confirmed at the caret, and the associations show the
// window's program.
#include "resources/dialogs/masterdata.h"
#include "resources/menus/editor.h"
#include "tests/editor/editor_fixture.h"

namespace {

using kveditor::EditorTest;
using plat::Pilot;

TEST_F(EditorTest, ASelectionSavedAsMacroIsInsertedAsConfirmedAtTheCaret) {
  AddMillProgram(40, "O40\r\nG28 Z0\r\nM30\r\n");
  TChildFrame* f = Open(40);
  EXPECT_EQ(f->MacroBox()->GetCount(), 0);
  f->Edit()->SetSelection(2, 0, 3, 0);
  driver.expect_dialog(IDD_NEW_MACRO, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_NEW_MACRO_TEXT), "G28 Z0\r\n");
    p.set_text(IDC_NEW_MACRO_NAME, "PARK");
    p.click(IDC_NEW_MACRO_SAVE);
  });
  Command(f, kCmSaveAsMacro);
  // Offered at once in the window's macro box.
  ASSERT_EQ(f->MacroBox()->GetCount(), 1);
  EXPECT_EQ(f->MacroBox()->GetString(0).substr(0, 4), "PARK");

  f->Edit()->SetSelection(4, 0, 4, 0);
  driver.expect_dialog(IDD_INSERT_MACRO, [&](TDialog& d) { Pilot(d).click(IDCANCEL); });
  Command(f, kCmInsertMacro);
  EXPECT_EQ(Text(f), "O40\r\nG28 Z0\r\nM30\r\n");
  driver.expect_dialog(IDD_INSERT_MACRO, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_INSERT_MACRO_TEXT), "G28 Z0\r\n");
    p.set_text(IDC_INSERT_MACRO_TEXT, "G28 Z50\r\n");
    p.click(IDC_INSERT_MACRO_INSERT);
  });
  Command(f, kCmInsertMacro);
  EXPECT_EQ(Text(f), "O40\r\nG28 Z0\r\nM30\r\nG28 Z50\r\n");

  driver.expect_dialog(IDD_ASSOCIATIONS, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_ASSOCIATIONS_ID), "PRG40");
    EXPECT_EQ(p.text(IDC_ASSOCIATIONS_MACHINE), "DMU50");
    p.click(IDOK);
  });
  Command(f, kCmAssociations);
  driver.expect_message_box(IDNO, "changed");
  EXPECT_TRUE(Close(f));
}

}  // namespace
