// Log types and change criteria driven as a user would, the rows read back
// with python3-dbfread.
#include "storage/log_types.h"

#include <algorithm>

#include "resources/dialogs/logs.h"
#include "tests/storage/log_fixture.h"

namespace {

using kvlogs::LogTest;
using plat::Pilot;

TEST_F(LogTest, LogTypesAreSavedTrimmedRenamedAndDeletedWithoutLeavingATarget) {
  long kept = AddType("SETUP");
  long crit = AddCriterion(kept, "NEW TOOL");
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_LOG_TYPES, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TLogTypes&>(d);
    EXPECT_EQ(d.GetCaption(), std::string("Log types"));
    ASSERT_EQ(p.lines(IDC_LOG_TYPES_LIST).size(), 1u);
    EXPECT_EQ(dlg.SelectedId, 0) << "the fill selects a line but chooses nothing";
    // Nothing typed, or nothing chosen: no change.
    p.click(IDC_LOG_TYPES_SAVE);
    p.set_text(IDC_LOG_TYPES_NAME, "X");
    p.click(IDC_LOG_TYPES_MODIFY);
    p.click(IDC_LOG_TYPES_DELETE);
    EXPECT_EQ(p.lines(IDC_LOG_TYPES_LIST).size(), 1u);
    // Blanks around go, a long name is cut to 49 characters.
    p.set_text(IDC_LOG_TYPES_NAME, "  \tMILLING  ");
    p.click(IDC_LOG_TYPES_SAVE);
    p.set_text(IDC_LOG_TYPES_NAME, std::string(60, 'Q'));
    p.click(IDC_LOG_TYPES_SAVE);
    ASSERT_EQ(p.lines(IDC_LOG_TYPES_LIST).size(), 3u);
    EXPECT_EQ(p.lines(IDC_LOG_TYPES_LIST)[0].substr(0, 8), "MILLING ");
    // A name taken already is refused by the table, and the user told.
    p.set_text(IDC_LOG_TYPES_NAME, "SETUP");
    driver.expect_message_box(IDOK, "could not be stored");
    p.click(IDC_LOG_TYPES_SAVE);
    EXPECT_EQ(p.lines(IDC_LOG_TYPES_LIST).size(), 3u);
    p.select(IDC_LOG_TYPES_LIST, 0);
    long milling = dlg.SelectedId;
    EXPECT_EQ(p.lines(IDC_LOG_TYPES_LIST)[0],
              std::string("MILLING") + std::string(163, ' ') + "@@" + std::to_string(milling));
    p.set_text(IDC_LOG_TYPES_NAME, "TURNING");
    p.click(IDC_LOG_TYPES_MODIFY);
    EXPECT_EQ(p.lines(IDC_LOG_TYPES_LIST)[2].substr(0, 8), "TURNING ");
    // A deleted type is no longer the one Modify rewrites.
    p.select(IDC_LOG_TYPES_LIST, 1);
    ASSERT_EQ(dlg.SelectedId, kept);
    p.click(IDC_LOG_TYPES_DELETE);
    EXPECT_EQ(dlg.SelectedId, 0);
    p.set_text(IDC_LOG_TYPES_NAME, "GHOST");
    p.click(IDC_LOG_TYPES_MODIFY);
    p.close_box();
  });
  TLogTypes dlg(nullptr);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
  std::vector<std::string> rows = PeerRows(DbPath("LOG00001.DBF"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], "ID=" + std::to_string(kept + 1) + " NAME=TURNING");
  EXPECT_EQ(rows[1], "ID=" + std::to_string(kept + 2) + " NAME=" + std::string(49, 'Q'));
  EXPECT_EQ(rows[2], "* ID=" + std::to_string(kept) + " NAME=SETUP");
  // The criteria of a deleted type stay.
  EXPECT_EQ(PeerRows(DbPath("LOG00004.DBF")),
            std::vector<std::string>{"ID=" + std::to_string(crit) + " TYPE=" + std::to_string(kept) +
                                     " NAME=NEW TOOL"});
}

TEST_F(LogTest, ChangeCriteriaFollowTheMainTypeAndSaveActsOnTheNewLine) {
  long a = AddType("ALPHA");
  long b = AddType("BETA");
  long a1 = AddCriterion(a, "A ONE");
  long b1 = AddCriterion(b, "B ONE");
  AddCriterion(b, "B TWO");
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_CHANGE_CRITERIA, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TLogChgTypes&>(d);
    EXPECT_EQ(d.GetCaption(), std::string("Log : Change Criteria"));
    EXPECT_TRUE(p.visible(IDC_CHANGE_CRITERIA_NEW_TYPE));
    // A button of the dialog, not an item of a numbered menu.
    EXPECT_EQ(p.text(IDC_CHANGE_CRITERIA_NEW_TYPE), "&New Type...");
    ASSERT_EQ(dlg.MainType, a);
    ASSERT_EQ(p.lines(IDC_CHANGE_CRITERIA_LIST).size(), 1u);
    EXPECT_EQ(p.lines(IDC_CHANGE_CRITERIA_LIST)[0], "A ONE" + std::string(95, ' ') + ", @@" + std::to_string(a1));
    EXPECT_EQ(dlg.SelectedCriterion, a1);
    p.select(IDC_CHANGE_CRITERIA_TYPE, 1);
    EXPECT_EQ(dlg.MainType, b);
    EXPECT_EQ(p.lines(IDC_CHANGE_CRITERIA_LIST).size(), 2u);
    EXPECT_EQ(dlg.SelectedCriterion, b1);
    // The saved criterion is shown selected and is the one Modify renames.
    p.set_text(IDC_CHANGE_CRITERIA_NAME, "A NEW ONE");
    p.click(IDC_CHANGE_CRITERIA_SAVE);
    ASSERT_EQ(p.lines(IDC_CHANGE_CRITERIA_LIST).size(), 3u);
    EXPECT_EQ(p.lines(IDC_CHANGE_CRITERIA_LIST)[p.selection(IDC_CHANGE_CRITERIA_LIST)].substr(0, 9), "A NEW ONE");
    long made = dlg.SelectedCriterion;
    EXPECT_NE(made, b1);
    p.set_text(IDC_CHANGE_CRITERIA_NAME, "B ZERO");
    p.click(IDC_CHANGE_CRITERIA_MODIFY);
    EXPECT_EQ(p.lines(IDC_CHANGE_CRITERIA_LIST)[0].substr(0, 6), "B ONE ");
    p.select(IDC_CHANGE_CRITERIA_LIST, 1);
    EXPECT_EQ(dlg.SelectedCriterion, b1 + 1);
    p.click(IDC_CHANGE_CRITERIA_DELETE);
    EXPECT_EQ(p.lines(IDC_CHANGE_CRITERIA_LIST).size(), 2u);
    // "New Type..." opens the log types and shows them afterwards.
    driver.expect_dialog(IDD_LOG_TYPES, [&](TDialog& t) {
      Pilot q(t);
      q.set_text(IDC_LOG_TYPES_NAME, "AAA FIRST");
      q.click(IDC_LOG_TYPES_SAVE);
      q.close_box();
    });
    p.click(IDC_CHANGE_CRITERIA_NEW_TYPE);
    EXPECT_EQ(p.lines(IDC_CHANGE_CRITERIA_TYPE).size(), 3u);
    EXPECT_TRUE(p.lines(IDC_CHANGE_CRITERIA_LIST).empty());
    p.click(IDCANCEL);
  });
  TLogChgTypes dlg(nullptr);
  dlg.Execute();
  std::vector<std::string> rows = PeerRows(DbPath("LOG00004.DBF"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3], "* ID=" + std::to_string(b1 + 1) + " TYPE=" + std::to_string(b) + " NAME=B TWO");
  // Modify renamed the criterion just saved, not the one chosen before.
  EXPECT_EQ(rows[2], "ID=" + std::to_string(b1 + 2) + " TYPE=" + std::to_string(b) + " NAME=B ZERO");
}

TEST_F(LogTest, ChangeCriteriaWithoutTypesOrRightStillWork) {
  Globals->RightsMask = 0;
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_CHANGE_CRITERIA, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_FALSE(p.visible(IDC_CHANGE_CRITERIA_NEW_TYPE));
    EXPECT_TRUE(p.lines(IDC_CHANGE_CRITERIA_TYPE).empty());
    EXPECT_TRUE(p.lines(IDC_CHANGE_CRITERIA_LIST).empty());
    p.set_text(IDC_CHANGE_CRITERIA_NAME, "LOOSE");
    p.click(IDC_CHANGE_CRITERIA_SAVE);
    EXPECT_EQ(p.lines(IDC_CHANGE_CRITERIA_LIST).size(), 1u);
    p.click(IDCANCEL);
  });
  TLogChgTypes dlg(nullptr);
  dlg.Execute();
  EXPECT_EQ(PeerRows(DbPath("LOG00004.DBF"), "TYPE NAME"), std::vector<std::string>{"TYPE=0 NAME=LOOSE"});
}

}  // namespace
