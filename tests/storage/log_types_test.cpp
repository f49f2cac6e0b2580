// Log types and change criteria driven as a user would, the rows read back
// with python3-dbfread.
#include "storage/log_types.h"

#include <algorithm>

#include "tests/storage/log_fixture.h"

namespace {

using kvlogs::LogTest;
using plat::Pilot;

TEST_F(LogTest, LogTypesAreSavedTrimmedRenamedAndDeletedWithoutLeavingATarget) {
  long kept = AddType("SETUP");
  long crit = AddCriterion(kept, "NEW TOOL");
  plat::GTestUiDriver driver;
  driver.expect_dialog(31, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TLogTypes&>(d);
    EXPECT_EQ(d.GetCaption(), std::string("Log types"));
    ASSERT_EQ(p.lines(105).size(), 1u);
    EXPECT_EQ(dlg.SelectedId, 0) << "the fill selects a line but chooses nothing";
    // Nothing typed, or nothing chosen: no change.
    p.click(101);
    p.set_text(104, "X");
    p.click(102);
    p.click(103);
    EXPECT_EQ(p.lines(105).size(), 1u);
    // Blanks around go, a long name is cut to 49 characters.
    p.set_text(104, "  \tMILLING  ");
    p.click(101);
    p.set_text(104, std::string(60, 'Q'));
    p.click(101);
    ASSERT_EQ(p.lines(105).size(), 3u);
    EXPECT_EQ(p.lines(105)[0].substr(0, 8), "MILLING ");
    // A name taken already is refused by the table, and the user told.
    p.set_text(104, "SETUP");
    driver.expect_message_box(IDOK, "could not be stored");
    p.click(101);
    EXPECT_EQ(p.lines(105).size(), 3u);
    p.select(105, 0);
    long milling = dlg.SelectedId;
    EXPECT_EQ(p.lines(105)[0], std::string("MILLING") + std::string(163, ' ') + "@@" + std::to_string(milling));
    p.set_text(104, "TURNING");
    p.click(102);
    EXPECT_EQ(p.lines(105)[2].substr(0, 8), "TURNING ");
    // A deleted type is no longer the one Modify rewrites.
    p.select(105, 1);
    ASSERT_EQ(dlg.SelectedId, kept);
    p.click(103);
    EXPECT_EQ(dlg.SelectedId, 0);
    p.set_text(104, "GHOST");
    p.click(102);
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
  driver.expect_dialog(45, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TLogChgTypes&>(d);
    EXPECT_EQ(d.GetCaption(), std::string("Log : Change Criteria"));
    EXPECT_TRUE(p.visible(102));
    ASSERT_EQ(dlg.MainType, a);
    ASSERT_EQ(p.lines(104).size(), 1u);
    EXPECT_EQ(p.lines(104)[0], "A ONE" + std::string(95, ' ') + ", @@" + std::to_string(a1));
    EXPECT_EQ(dlg.SelectedCriterion, a1);
    p.select(101, 1);
    EXPECT_EQ(dlg.MainType, b);
    EXPECT_EQ(p.lines(104).size(), 2u);
    EXPECT_EQ(dlg.SelectedCriterion, b1);
    // The saved criterion is shown selected and is the one Modify renames.
    p.set_text(103, "A NEW ONE");
    p.click(105);
    ASSERT_EQ(p.lines(104).size(), 3u);
    EXPECT_EQ(p.lines(104)[p.selection(104)].substr(0, 9), "A NEW ONE");
    long made = dlg.SelectedCriterion;
    EXPECT_NE(made, b1);
    p.set_text(103, "B ZERO");
    p.click(106);
    EXPECT_EQ(p.lines(104)[0].substr(0, 6), "B ONE ");
    p.select(104, 1);
    EXPECT_EQ(dlg.SelectedCriterion, b1 + 1);
    p.click(107);
    EXPECT_EQ(p.lines(104).size(), 2u);
    // "New Type..." opens the log types and shows them afterwards.
    driver.expect_dialog(31, [&](TDialog& t) {
      Pilot q(t);
      q.set_text(104, "AAA FIRST");
      q.click(101);
      q.close_box();
    });
    p.click(102);
    EXPECT_EQ(p.lines(101).size(), 3u);
    EXPECT_TRUE(p.lines(104).empty());
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
  driver.expect_dialog(45, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_FALSE(p.visible(102));
    EXPECT_TRUE(p.lines(101).empty());
    EXPECT_TRUE(p.lines(104).empty());
    p.set_text(103, "LOOSE");
    p.click(105);
    EXPECT_EQ(p.lines(104).size(), 1u);
    p.click(IDCANCEL);
  });
  TLogChgTypes dlg(nullptr);
  dlg.Execute();
  EXPECT_EQ(PeerRows(DbPath("LOG00004.DBF"), "TYPE NAME"), std::vector<std::string>{"TYPE=0 NAME=LOOSE"});
}

}  // namespace
