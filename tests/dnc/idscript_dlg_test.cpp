// The ID-script editor driven as a user drives it: lines put where the
// user wants them, arguments asked and refused, and the script written to
// the file the user chooses.
#include <gtest/gtest.h>

#include "dialog_fixture.h"
#include "dnc/idscript_dlg.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/gtest_driver.h"
#include "resources/dialogs/dnclink.h"

namespace {

using plat::Pilot;
using Lines = std::vector<std::string>;

class IdScriptDialogTest : public kvdnc::DncDialogTest {};

enum { kNoSpaces = 0, kSkipLines = 4, kResetToTop = 2, kNextLine = 3, kRightTrim = 7, kLeftTrim = 8,
       kUntilChar = 11, kUntilString = 14 };

TEST_F(IdScriptDialogTest, LinesGoBeforeTheSelectedLineOrToTheEnd) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(TDefineScript::kTemplate, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.lines(IDC_ID_SCRIPT_FUNCTIONS).size(), 24u);
    EXPECT_FALSE(p.enabled(IDC_ID_SCRIPT_ADD)) << "scripts are not kept under names";
    EXPECT_FALSE(p.enabled(IDC_ID_SCRIPT_SAVE_AS));
    EXPECT_EQ(p.lines(IDC_ID_SCRIPT_FUNCTIONS)[10], "LEFT__ZEROPAD_NUMERIC_ID  (NUMBER)");
    p.select(IDC_ID_SCRIPT_FUNCTIONS, kResetToTop);
    p.click(IDC_ID_SCRIPT_INSERT);
    // Nothing selected in the script: insert puts the line first, append last.
    p.select(IDC_ID_SCRIPT_FUNCTIONS, kNextLine);
    p.click(IDC_ID_SCRIPT_INSERT);
    p.select(IDC_ID_SCRIPT_FUNCTIONS, kRightTrim);
    p.click(IDC_ID_SCRIPT_APPEND);
    EXPECT_EQ(p.lines(IDC_ID_SCRIPT_LINES), (Lines{"NEXTLINE();", "RESET_TO_TOP();", "RIGHT_TRIM_ID();"}));
    p.select(IDC_ID_SCRIPT_LINES, 1);
    p.select(IDC_ID_SCRIPT_FUNCTIONS, kLeftTrim);
    p.click(IDC_ID_SCRIPT_INSERT);
    EXPECT_EQ(p.lines(IDC_ID_SCRIPT_LINES),
              (Lines{"NEXTLINE();", "LEFT_TRIM_ID();", "RESET_TO_TOP();", "RIGHT_TRIM_ID();"}));
    p.double_click(IDC_ID_SCRIPT_FUNCTIONS, kNextLine);  // a double click inserts
    EXPECT_EQ(p.lines(IDC_ID_SCRIPT_LINES).size(), 5u);
    // Removing the last line selects the new last one.
    p.select(IDC_ID_SCRIPT_LINES, 4);
    p.click(IDC_ID_SCRIPT_REMOVE);
    EXPECT_EQ(p.lines(IDC_ID_SCRIPT_LINES).size(), 4u);
    EXPECT_EQ(p.selection(IDC_ID_SCRIPT_LINES), 3);
    p.double_click(IDC_ID_SCRIPT_LINES, 0);
    EXPECT_EQ(p.lines(IDC_ID_SCRIPT_LINES).front(), "LEFT_TRIM_ID();");
    EXPECT_EQ(p.selection(IDC_ID_SCRIPT_LINES), 0);
    p.click(IDOK);
  });
  TDefineScript dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDOK);
}

TEST_F(IdScriptDialogTest, ArgumentsAreAskedAndThoseThatWouldBreakTheLineRefused) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(TDefineScript::kTemplate, [&](TDialog& d) {
    Pilot p(d);
    auto add = [&](int function, std::function<void(Pilot&)> answer) {
      driver.expect_dialog(TGetAnswer::kTemplate, [answer](TDialog& a) {
        Pilot pa(a);
        answer(pa);
      });
      p.select(IDC_ID_SCRIPT_FUNCTIONS, function);
      p.click(IDC_ID_SCRIPT_APPEND);
    };
    add(kSkipLines, [](Pilot& a) {
      EXPECT_EQ(a.text(IDC_SCRIPT_ARGUMENT_PROMPT), "SKIPLINES                 (NUMBER)");
      a.type(IDC_SCRIPT_ARGUMENT_VALUE, "12a3");  // digits only
      a.click(IDOK);
    });
    add(kUntilChar, [](Pilot& a) {
      a.type(IDC_SCRIPT_ARGUMENT_VALUE, "654");  // two digits at most: 65 is 'A'
      a.click(IDOK);
    });
    driver.expect_message_box(IDOK, "cannot be used");
    add(kUntilString, [](Pilot& a) {
      a.set_text(IDC_SCRIPT_ARGUMENT_VALUE, "a);B(");
      a.click(IDOK);
      EXPECT_TRUE(a.visible(IDC_SCRIPT_ARGUMENT_VALUE)) << "the question stays open";
      a.set_text(IDC_SCRIPT_ARGUMENT_VALUE, "END X");
      a.click(IDOK);
    });
    add(kSkipLines, [](Pilot& a) { a.click(IDCANCEL); });
    add(kSkipLines, [](Pilot& a) { a.click(IDOK); });  // empty: nothing added
    driver.expect_message_box(IDYES, "Set it True");
    p.select(IDC_ID_SCRIPT_FUNCTIONS, kNoSpaces);
    p.click(IDC_ID_SCRIPT_APPEND);
    driver.expect_message_box(IDNO, "Set it True");
    p.click(IDC_ID_SCRIPT_APPEND);
    EXPECT_EQ(p.lines(IDC_ID_SCRIPT_LINES),
              (Lines{"SKIPLINES(123);", "ADD_TO_ID_UNTIL_CHAR(65);", "ADD_TO_ID_UNTIL_STRING(END X);",
                     "NO_SPACES(TRUE);", "NO_SPACES(FALSE);"}));
    p.click(IDCANCEL);
  });
  TDefineScript dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
}

TEST_F(IdScriptDialogTest, RunWritesTheScriptToTheChosenFile) {
  const std::string path = Root() + "/temp/SHOP.SCR";
  plat::GTestUiDriver driver;
  driver.expect_dialog(TDefineScript::kTemplate, [&](TDialog& d) {
    Pilot p(d);
    p.click(IDC_ID_SCRIPT_SAVE);  // an empty script asks for no file
    p.select(IDC_ID_SCRIPT_FUNCTIONS, kNextLine);
    p.click(IDC_ID_SCRIPT_APPEND);
    p.select(IDC_ID_SCRIPT_FUNCTIONS, kRightTrim);
    p.click(IDC_ID_SCRIPT_APPEND);
    driver.expect_dialog("TFileSaveDialog", [](TDialog& f) { f.CmCancel(); });
    p.click(IDC_ID_SCRIPT_SAVE);
    EXPECT_FALSE(std::filesystem::exists(path));
    driver.expect_dialog("TFileSaveDialog", [&](TDialog& f) { static_cast<TOpenSaveDialog&>(f).Choose(path); });
    p.click(IDC_ID_SCRIPT_SAVE);
    EXPECT_EQ(kvdb::ReadFileBytes(path), "NEXTLINE();\r\nRIGHT_TRIM_ID();");
    driver.expect_dialog("TFileSaveDialog",
                         [&](TDialog& f) { static_cast<TOpenSaveDialog&>(f).Choose(Root() + "/gone/SHOP.SCR"); });
    driver.expect_message_box(IDOK, "could not be written");
    p.click(IDC_ID_SCRIPT_SAVE);
    p.click(IDOK);
  });
  TDefineScript dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_FALSE(std::filesystem::exists(Root() + "/temp/DNCPARS.TMP"));
}

}  // namespace
