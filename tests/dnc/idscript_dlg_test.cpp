// The ID-script editor driven as a user drives it: lines put where the
// user wants them, arguments asked and refused, and the script written to
// the file the user chooses.
#include <gtest/gtest.h>

#include "dialog_fixture.h"
#include "dnc/idscript_dlg.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/gtest_driver.h"

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
    EXPECT_EQ(p.lines(102).size(), 24u);
    EXPECT_FALSE(p.enabled(104)) << "scripts are not kept under names";
    EXPECT_FALSE(p.enabled(105));
    EXPECT_EQ(p.lines(102)[10], "LEFT__ZEROPAD_NUMERIC_ID  (NUMBER)");
    p.select(102, kResetToTop);
    p.click(106);
    // Nothing selected in the script: insert puts the line first, append last.
    p.select(102, kNextLine);
    p.click(106);
    p.select(102, kRightTrim);
    p.click(107);
    EXPECT_EQ(p.lines(103), (Lines{"NEXTLINE();", "RESET_TO_TOP();", "RIGHT_TRIM_ID();"}));
    p.select(103, 1);
    p.select(102, kLeftTrim);
    p.click(106);
    EXPECT_EQ(p.lines(103), (Lines{"NEXTLINE();", "LEFT_TRIM_ID();", "RESET_TO_TOP();", "RIGHT_TRIM_ID();"}));
    p.double_click(102, kNextLine);  // a double click inserts
    EXPECT_EQ(p.lines(103).size(), 5u);
    // Removing the last line selects the new last one.
    p.select(103, 4);
    p.click(108);
    EXPECT_EQ(p.lines(103).size(), 4u);
    EXPECT_EQ(p.selection(103), 3);
    p.double_click(103, 0);
    EXPECT_EQ(p.lines(103).front(), "LEFT_TRIM_ID();");
    EXPECT_EQ(p.selection(103), 0);
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
      p.select(102, function);
      p.click(107);
    };
    add(kSkipLines, [](Pilot& a) {
      EXPECT_EQ(a.text(200), "SKIPLINES                 (NUMBER)");
      a.type(101, "12a3");  // digits only
      a.click(IDOK);
    });
    add(kUntilChar, [](Pilot& a) {
      a.type(101, "654");  // two digits at most: 65 is 'A'
      a.click(IDOK);
    });
    driver.expect_message_box(IDOK, "cannot be used");
    add(kUntilString, [](Pilot& a) {
      a.set_text(101, "a);B(");
      a.click(IDOK);
      EXPECT_TRUE(a.visible(101)) << "the question stays open";
      a.set_text(101, "END X");
      a.click(IDOK);
    });
    add(kSkipLines, [](Pilot& a) { a.click(IDCANCEL); });
    add(kSkipLines, [](Pilot& a) { a.click(IDOK); });  // empty: nothing added
    driver.expect_message_box(IDYES, "Set it True");
    p.select(102, kNoSpaces);
    p.click(107);
    driver.expect_message_box(IDNO, "Set it True");
    p.click(107);
    EXPECT_EQ(p.lines(103), (Lines{"SKIPLINES(123);", "ADD_TO_ID_UNTIL_CHAR(65);", "ADD_TO_ID_UNTIL_STRING(END X);",
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
    p.click(109);  // an empty script asks for no file
    p.select(102, kNextLine);
    p.click(107);
    p.select(102, kRightTrim);
    p.click(107);
    driver.expect_dialog("TFileSaveDialog", [](TDialog& f) { f.CmCancel(); });
    p.click(109);
    EXPECT_FALSE(std::filesystem::exists(path));
    driver.expect_dialog("TFileSaveDialog", [&](TDialog& f) { static_cast<TOpenSaveDialog&>(f).Choose(path); });
    p.click(109);
    EXPECT_EQ(kvdb::ReadFileBytes(path), "NEXTLINE();\r\nRIGHT_TRIM_ID();");
    driver.expect_dialog("TFileSaveDialog",
                         [&](TDialog& f) { static_cast<TOpenSaveDialog&>(f).Choose(Root() + "/gone/SHOP.SCR"); });
    driver.expect_message_box(IDOK, "could not be written");
    p.click(109);
    p.click(IDOK);
  });
  TDefineScript dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_FALSE(std::filesystem::exists(Root() + "/temp/DNCPARS.TMP"));
}

}  // namespace
