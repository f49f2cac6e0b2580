// The setup-sheet editors driven as a user would: sheet types with their
// label rows, the values of a choice field and the combo a "!" button
// refills, and the label editors, which keep what was typed whichever way
// they are left and write nothing when nothing changed.
#include "masterdata/setup_sheet_editors.h"

#include <cstring>
#include <functional>
#include <memory>

#include "app/users_lines.h"
#include "appcore/text_scan.h"
#include "dbmodel/counter.h"
#include "dbmodel/idname.h"
#include "platform/ui/gtest_driver.h"
#include "resources/dialogs/dnclink.h"
#include "resources/dialogs/setup_sheet_labels.h"
#include "resources/dialogs/users.h"
#include "tests/dbmodel/db_fixture.h"
#include "tests/support/dialog_fixture.h"

namespace {

using plat::Pilot;

class SheetEditorTest : public kvtest::DialogTest<kvdb::DbTest> {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    MakeCounters();
    CreateTable<TSheetTypeTable>("SS000001.DBF");
    CreateTable<TSheet02Table>("SS000002.DBF");
    CreateTable<TSheet03Table>("SS000003.DBF");
    CreateTable<TSheet04Table>("SS000004.DBF");
  }
  long AddValue(long type, int field, const char* name) {
    TSheet02Record r;
    r.ID = NextSetupSheetValueId();
    r.ID2 = type;
    r.ID3 = field;
    CopyCut(r.NAME, sizeof r.NAME, name);
    TSheet02Table t("SS000002.DBF", 0, 0);
    EXPECT_EQ(t.AppendEntry(&r), &r);
    return r.ID;
  }
  // Adds a sheet type through the dialog; its id.
  long AddType(const char* name) {
    driver.expect_dialog(IDD_TYPES, [&](TDialog& d) {
      Pilot p(d);
      p.set_text(IDC_TYPES_NAME, name);
      p.click(IDC_TYPES_ADD);
      p.click(IDCANCEL);
    });
    EditSheetTypes(nullptr);
    auto rows = Rows(DbPath("SS000001.DBF"));
    return rows.empty() ? 0 : std::stol(rows.back()[1]);
  }
  std::vector<std::string> FirstFields(const char* file) {
    std::vector<std::string> ids;
    for (const auto& r : Rows(DbPath(file))) ids.push_back(r[0] + r[1]);
    return ids;
  }
  plat::GTestUiDriver driver;
};

TEST_F(SheetEditorTest, ANewTypeGetsOneEmptyLabelRowPerPageUnderItsId) {
  long mill = AddType("  MILLING  ");
  ASSERT_GT(mill, 0);
  long again = AddType("MILLING");  // a name may repeat
  const std::string m = std::to_string(mill), a = std::to_string(again);
  for (const char* file : {"SS000001.DBF", "SS000003.DBF", "SS000004.DBF"})
    EXPECT_EQ(FirstFields(file), (std::vector<std::string>{" " + m, " " + a})) << file;
  auto page1 = Rows(DbPath("SS000003.DBF"));
  ASSERT_EQ(page1[0].size(), 28u);  // deleted mark, ID, F1..F26
  for (size_t i = 2; i < page1[0].size(); i++) EXPECT_EQ(page1[0][i], "") << i;
  EXPECT_EQ(Rows(DbPath("SS000001.DBF"))[0][2], "MILLING");

  // Empty name: a beep and the focus, nothing stored. Rename and delete
  // work on the selected line; the labels stay behind the deleted type.
  driver.expect_dialog(IDD_TYPES, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(d.GetText(), "Sheet types");
    EXPECT_EQ(p.text(IDC_TYPES_RENAME), "&Modify");
    ASSERT_EQ(p.lines(IDC_TYPES_LIST).size(), 2u);
    int beeps = plat::beep_count();
    p.set_text(IDC_TYPES_NAME, "   ");
    p.click(IDC_TYPES_ADD);
    EXPECT_EQ(plat::beep_count(), beeps + 1);
    EXPECT_TRUE(p.focused(IDC_TYPES_NAME));
    p.select(IDC_TYPES_LIST, 1);
    p.set_text(IDC_TYPES_NAME, "TURNING");
    p.click(IDC_TYPES_RENAME);
    EXPECT_EQ(p.text(IDC_TYPES_NAME), "");
    p.select(IDC_TYPES_LIST, 0);
    p.click(IDC_TYPES_DELETE);
    ASSERT_EQ(p.lines(IDC_TYPES_LIST).size(), 1u);
    EXPECT_EQ(p.lines(IDC_TYPES_LIST)[0].substr(0, 7), "TURNING");
    p.click(IDCANCEL);
  });
  EditSheetTypes(nullptr);
  auto types = Rows(DbPath("SS000001.DBF"));
  EXPECT_EQ(types[0][0], "*");
  EXPECT_EQ(types[1][2], "TURNING");
  EXPECT_EQ(Rows(DbPath("SS000003.DBF")).size(), 2u);
  EXPECT_TRUE(driver.message_boxes().empty());
}

TEST_F(SheetEditorTest, ANewTypeCopiesTheLabelsOfARowWithIdZero) {
  TSheet03Record model;
  model.SetLabel(0, "Fixture");
  TSheet03Table t("SS000003.DBF", 0, 0);
  ASSERT_EQ(t.AppendLabels(&model), &model);
  long type = AddType("MILLING");
  std::unique_ptr<TSheet03Record> got(t.SeekId(type));
  t.Close();
  ASSERT_NE(got, nullptr);
  EXPECT_STREQ(got->Label(0), "Fixture");
  TSheet04Table t4("SS000004.DBF", 0, 0);
  std::unique_ptr<TSheet04Record> page2(t4.SeekId(type));
  t4.Close();
  ASSERT_NE(page2, nullptr);
  EXPECT_STREQ(page2->Label(0), "");
}

// The "!" button of a choice field: the combo keeps the line it showed
// while the new list has a line beginning with its first 50 characters,
// else it shows the first line.
TEST_F(SheetEditorTest, AValueRenamedInTheValueDialogKeepsOrLosesTheComboLine) {
  struct Case {
    const char* shown;    // the line selected before, by its name
    const char* renamed;  // which value gets a new name
    const char* to;
    const char* after;    // the name the combo shows afterwards
  } cases[] = {
      {"STEEL", "BRASS", "COPPER", "STEEL"},     // another value renamed
      {"STEEL", "STEEL", "STAINLESS", "ALU"},    // the shown one renamed: first line
      {"STEEL", "STEEL", "STEEL 2", "ALU"},      // its old line text is gone
      {"BRASS", "STEEL", "CAST IRON", "BRASS"},  // the first line is not the shown one
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.shown) + " / " + c.renamed + " -> " + c.to);
    long type = 40 + (&c - cases);
    for (const char* v : {"ALU", "STEEL", "BRASS"}) AddValue(type, 2, v);
    driver.expect_dialog(IDD_ID_SCRIPT, [&](TDialog& host) {
      auto* combo = dynamic_cast<TComboBox*>(host.ChildWithId(IDC_ID_SCRIPT_SCRIPTS));
      ASSERT_NE(combo, nullptr);
      {
        TSheet02Table values("SS000002.DBF", 0, 0);
        TControlLines lines(*combo);
        values.FillListByIds(&lines, type, 2);
      }
      ASSERT_GE(combo->SetSelString(c.shown, -1), 0);
      driver.expect_dialog(IDD_TYPES, [&](TDialog& d) {
        Pilot p(d);
        EXPECT_EQ(d.GetText(), "Values of the choice field");
        EXPECT_FALSE(p.visible(IDC_TYPES_DELETE));
        auto lines = p.lines(IDC_TYPES_LIST);
        for (size_t i = 0; i < lines.size(); i++)
          if (lines[i].rfind(c.renamed, 0) == 0 && lines[i][std::strlen(c.renamed)] == ' ') p.select(IDC_TYPES_LIST, int(i));
        p.set_text(IDC_TYPES_NAME, c.to);
        p.click(IDC_TYPES_RENAME);
        p.click(IDCANCEL);
      });
      int selected = EditChoiceValues(&host, type, 2, *combo);
      ASSERT_GE(selected, 0);
      EXPECT_EQ(TrimText(combo->GetString(selected).substr(0, 50)), c.after);
      EXPECT_EQ(combo->GetCount(), 3);
      Pilot(host).press_escape();
    });
    TDialog(nullptr, IDD_ID_SCRIPT).Execute();
  }
}

// New values go to the end of the list (page 2 keeps positions in it); an
// empty name adds nothing and says nothing.
TEST_F(SheetEditorTest, ValuesAreAddedAtTheEndOfTheirField) {
  AddValue(7, 5, "ZINC");
  long lastId = AddValue(7, 6, "OTHER FIELD");
  driver.expect_dialog(IDD_ID_SCRIPT, [&](TDialog& host) {
    auto* combo = dynamic_cast<TComboBox*>(host.ChildWithId(IDC_ID_SCRIPT_SCRIPTS));
    ASSERT_NE(combo, nullptr);
    driver.expect_dialog(IDD_TYPES, [&](TDialog& d) {
      Pilot p(d);
      p.set_text(IDC_TYPES_NAME, "  ALU  ");
      p.click(IDC_TYPES_ADD);
      EXPECT_EQ(p.text(IDC_TYPES_NAME), "");
      p.set_text(IDC_TYPES_NAME, "  ");
      p.click(IDC_TYPES_ADD);
      EXPECT_EQ(p.lines(IDC_TYPES_LIST).size(), 2u);
      p.click(IDCANCEL);
    });
    EXPECT_EQ(EditChoiceValues(&host, 7, 5, *combo), 0);  // nothing shown before: the first line
    ASSERT_EQ(combo->GetCount(), 2);
    EXPECT_EQ(TrimText(combo->GetString(0).substr(0, 170)), "ZINC");
    EXPECT_EQ(TrimText(combo->GetString(1).substr(0, 170)), "ALU");
    EXPECT_EQ(ListLineId(combo->GetString(1).c_str()), lastId + 1);
    Pilot(host).press_escape();
  });
  TDialog(nullptr, IDD_ID_SCRIPT).Execute();
  EXPECT_TRUE(driver.message_boxes().empty());
}

class LabelEditorTest : public SheetEditorTest {
 protected:
  void SetUp() override {
    SheetEditorTest::SetUp();
    for (long id : {3, 4}) {
      TSheet03Record r;
      r.ID = id;
      r.SetLabel(0, "Vise");
      r.SetLabel(1, "12345678901234567890");
      TSheet03Table t("SS000003.DBF", 0, 0);
      ASSERT_EQ(t.AppendLabels(&r), &r);
      TSheet04Record r2;
      r2.ID = id;
      r2.SetLabel(18, "Coolant");
      TSheet04Table t2("SS000004.DBF", 0, 0);
      ASSERT_EQ(t2.AppendLabels(&r2), &r2);
    }
  }
  std::vector<std::string> Page1Row(long id) {
    for (const auto& r : Rows(DbPath("SS000003.DBF")))
      if (r[1] == std::to_string(id)) return std::vector<std::string>(r.begin() + 2, r.end());
    return {};
  }
};

TEST_F(LabelEditorTest, EveryWayOutKeepsWhatWasTyped) {
  struct Case {
    const char* way;
    std::function<void(Pilot&)> leave;
    int result;
  } cases[] = {
      {"close box", [](Pilot& p) { p.close_box(); }, IDCANCEL},
      {"button 1", [](Pilot& p) { p.click(IDOK); }, IDOK},
      {"Esc", [](Pilot& p) { p.press_escape(); }, IDCANCEL},
  };
  std::string before = "Vise";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.way);
    driver.expect_dialog(IDD_SETUP_PAGE1_LABELS, [&](TDialog& d) {
      Pilot p(d);
      EXPECT_EQ(d.GetText(), "Labels of setup sheet page 1");
      EXPECT_EQ(p.text(IDOK), "&Save...");
      EXPECT_EQ(p.text(IDC_SETUP_LABEL_CAPTION_1), "Text 1 :");
      EXPECT_EQ(p.text(IDC_SETUP_LABEL_CAPTION_25), "Further info 4 :");
      EXPECT_EQ(p.text(IDC_SETUP_LABEL_1), before);
      EXPECT_EQ(p.text(IDC_SETUP_LABEL_2), "12345678901234567890");  // shown whole
      p.set_text(IDC_SETUP_LABEL_1, "");
      p.type(IDC_SETUP_LABEL_1, std::string("Clamp ") + c.way);
      p.set_text(IDC_SETUP_LABEL_3, "   ");
      p.type(IDC_SETUP_LABEL_25, "ABCDEFGHIJKLMNOPQRSTU");  // the 21st is refused
      EXPECT_EQ(p.text(IDC_SETUP_LABEL_25), "ABCDEFGHIJKLMNOPQRST");
      c.leave(p);
    });
    EXPECT_TRUE(EditPage1Labels(nullptr, 3));
    auto row = Page1Row(3);
    ASSERT_EQ(row.size(), 26u);
    EXPECT_EQ(row[0], std::string("Clamp ") + c.way);
    before = row[0];
    EXPECT_EQ(row[1], "12345678901234567890");
    EXPECT_EQ(row[2], "");
    EXPECT_EQ(row[24], "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(row[25], "");  // F26 untouched
    EXPECT_EQ(Page1Row(4)[0], "Vise");  // the other type's row
  }
  EXPECT_EQ(driver.dialogs_shown().size(), 3u);
}

TEST_F(LabelEditorTest, AnEditorLeftUnchangedWritesNothing) {
  // The record handed over differs from the row: a write would show.
  TSheet03Record stale;
  stale.ID = 3;
  stale.SetLabel(0, "Stale");
  for (auto leave : {+[](Pilot& p) { p.close_box(); }, +[](Pilot& p) { p.click(IDOK); }}) {
    driver.expect_dialog(IDD_SETUP_PAGE1_LABELS, [&](TDialog& d) {
      Pilot p(d);
      EXPECT_EQ(p.text(IDC_SETUP_LABEL_1), "Stale");
      leave(p);
    });
    TSetupPage1Text(nullptr, &stale).Execute();
    EXPECT_EQ(Page1Row(3)[0], "Vise");
  }
}

TEST_F(LabelEditorTest, PageTwoHasNineteenLabels) {
  driver.expect_dialog(IDD_SETUP_PAGE2_LABELS, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(d.GetText(), "Labels of setup sheet page 2");
    EXPECT_EQ(p.text(IDOK), "OK");
    EXPECT_EQ(p.text(IDC_SETUP_LABEL_CAPTION_1), "Text 6 :");
    EXPECT_EQ(p.text(IDC_SETUP_LABEL_CAPTION_19), "Further info 8 :");
    EXPECT_EQ(p.control(IDC_SETUP_LABEL_20), nullptr);
    EXPECT_EQ(p.text(IDC_SETUP_LABEL_19), "Coolant");
    p.set_text(IDC_SETUP_LABEL_19, "Coolant 2");
    p.click(IDOK);
  });
  EXPECT_TRUE(EditPage2Labels(nullptr, 4));
  TSheet04Table t("SS000004.DBF", 0, 0);
  std::unique_ptr<TSheet04Record> r(t.SeekId(4));
  t.Close();
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r->Label(18), "Coolant 2");
  // A type without a label row opens nothing.
  EXPECT_FALSE(EditPage2Labels(nullptr, 99));
  EXPECT_FALSE(EditPage1Labels(nullptr, 0));
}

TEST_F(LabelEditorTest, ARowThatCannotBeWrittenIsTold) {
  TSheet03Record gone;
  gone.ID = 77;  // no such row
  driver.expect_message_box(IDOK);
  driver.expect_dialog(IDD_SETUP_PAGE1_LABELS, [&](TDialog& d) {
    Pilot p(d);
    p.type(IDC_SETUP_LABEL_1, "X");
    p.close_box();
  });
  TSetupPage1Text(nullptr, &gone).Execute();
  EXPECT_EQ(driver.message_boxes().size(), 1u);
}

}  // namespace
