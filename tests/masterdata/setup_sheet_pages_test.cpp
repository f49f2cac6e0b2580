// The setup-sheet pages driven as a user would, the stored sheets read back
// with python3-dbfread: the type's labels decide which fields show, Add
// makes a sheet of what the user gave it (never another sheet's page-2
// values), a type without sheets leaves nothing for Modify or Delete to
// reach, Delete asks first, and page 2's typed values stay through its
// label editor and go with Cancel.
#include "resources/dialogs/setup_sheet_labels.h"
#include "tests/masterdata/sheet_fixture.h"

namespace {

using kvsheets::SheetTest;
using plat::Pilot;

class SetupPageTest : public SheetTest {};

// Every control a page-1 label stands for: its caption, and its edit,
// check box or choice combo with the combo's "!" button.
std::vector<int> Page1Controls(int n) {
  std::vector<int> c{IDC_PAGE1_TEXT1_LABEL + n};
  if (n < 15) c.push_back(IDC_PAGE1_TEXT1 + n);
  if (n > 20) {
    c.push_back(IDC_PAGE1_CHOICE1 + n - 21);
    c.push_back(IDC_PAGE1_EDIT_CHOICE1 + n - 21);
  }
  return c;
}
std::vector<int> Page2Controls(int n) {
  std::vector<int> c{IDC_PAGE2_TEXT1_LABEL + n};
  if (n < 15) {
    c.push_back(IDC_PAGE2_TEXT1 + n);
  } else {
    c.push_back(IDC_PAGE2_CHOICE1 + n - 15);
    c.push_back(IDC_PAGE2_EDIT_CHOICE1 + n - 15);
  }
  return c;
}

TEST_F(SetupPageTest, TheTypesLabelsDecideWhichFieldsShow) {
  struct Case {
    const char* name;
    std::vector<int> labelled1;  // page-1 labels given, the others empty
    std::vector<int> labelled2;
  };
  const Case cases[] = {
      {"all empty", {}, {}},
      {"one of each kind", {2, 7, 12, 17, 22}, {1, 6, 11, 16}},
      {"first and last", {0, 24}, {0, 18}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> l1(25), l2(19);
    for (int n : c.labelled1) l1[n] = "L1-" + std::to_string(n);
    for (int n : c.labelled2) l2[n] = "L2-" + std::to_string(n);
    long type = AddType(c.name, l1, l2);
    auto has = [](const std::vector<int>& v, int n) { return std::find(v.begin(), v.end(), n) != v.end(); };
    Page1([&](Pilot& p, TSetupPage1& page) {
      ASSERT_TRUE(SelectType(p, type));
      ASSERT_EQ(page.CurrentType(), type);
      for (int n = 0; n < 25; ++n)
        for (int id : Page1Controls(n)) EXPECT_EQ(p.visible(id), has(c.labelled1, n)) << "control " << id;
      for (int n : c.labelled1) EXPECT_EQ(p.text(IDC_PAGE1_TEXT1_LABEL + n), l1[n]);
      // What no label hides.
      for (int id : {IDC_PAGE1_TYPE, IDC_PAGE1_EDIT_TYPES, IDC_PAGE1_SHEETS, IDC_PAGE1_NAME, IDC_PAGE1_PRINT,
                     IDC_PAGE1_ADD, IDC_PAGE1_MODIFY, IDC_PAGE1_DELETE, IDC_PAGE1_SETUP, IDC_PAGE1_PAGE2})
        EXPECT_TRUE(p.visible(id)) << "control " << id;
      EXPECT_FALSE(p.visible(IDC_PAGE1_MEMO));

      driver.expect_dialog(IDD_SETUP_PAGE2, [&](TDialog& d) {
        Pilot p2(d);
        for (int n = 0; n < 19; ++n)
          for (int id : Page2Controls(n)) EXPECT_EQ(p2.visible(id), has(c.labelled2, n)) << "page 2 control " << id;
        for (int n : c.labelled2) EXPECT_EQ(p2.text(IDC_PAGE2_TEXT1_LABEL + n), l2[n]);
        for (int id : {IDC_PAGE2_SETUP, IDC_PAGE2_OK, IDCANCEL}) EXPECT_TRUE(p2.visible(id));
        p2.press_escape();
      });
      EXPECT_TRUE(p.click(IDC_PAGE1_PAGE2));
    });
  }
}

TEST_F(SetupPageTest, TwoSheetsOfOneNameAreTwoSheets) {
  AddType("MILL", AllLabels1());
  Page1([&](Pilot& p, TSetupPage1&) {
    for (const char* text : {"first", "second"}) {
      p.set_text(IDC_PAGE1_NAME, "OP 10");
      p.set_text(IDC_PAGE1_TEXT1, text);
      EXPECT_TRUE(p.click(IDC_PAGE1_ADD));
    }
    EXPECT_EQ(p.lines(IDC_PAGE1_SHEETS).size(), 2u);
  });
  std::vector<std::string> rows = Sheets("NAME CH1");
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::string>{"NAME=OP 10 CH1=first", "NAME=OP 10 CH1=second"}));
  std::vector<std::string> ids = Sheets("ID1");
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_NE(ids[0], ids[1]);
}

// The id of the value chosen goes to CBIDX2; a stored id that names no
// value of the list shows the first line and is written back as it was.
TEST_F(SetupPageTest, AChosenValueIsStoredByIdAndAnUnknownIdIsKept) {
  long type = AddType("MILL", AllLabels1());
  AddValue(type, 2, "ALU");
  long steel = AddValue(type, 2, "STEEL");
  AddValue(type, 1, "OTHER FIELD");
  AddSheet(type, "A", [](TSheet05Record& r) { r.SetComboIndex(1, 999); });
  Page1([&](Pilot& p, TSetupPage1&) {
    EXPECT_EQ(p.selection(IDC_PAGE1_CHOICE2), 0);
    EXPECT_EQ(p.lines(IDC_PAGE1_CHOICE2).size(), 2u);
    EXPECT_TRUE(p.click(IDC_PAGE1_MODIFY));
    ASSERT_TRUE(p.select(IDC_PAGE1_CHOICE2, 1));
    p.set_text(IDC_PAGE1_NAME, "B");
    EXPECT_TRUE(p.click(IDC_PAGE1_ADD));
  });
  std::vector<std::string> rows = Sheets("NAME CBIDX1 CBIDX2");
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::string>{"NAME=A CBIDX1=-1 CBIDX2=999",
                                            "NAME=B CBIDX1=-1 CBIDX2=" + std::to_string(steel)}));
}

TEST_F(SetupPageTest, AddWithoutAnyTypeStoresTypeZero) {
  Page1([&](Pilot& p, TSetupPage1& page) {
    EXPECT_EQ(page.CurrentType(), 0);
    EXPECT_TRUE(p.lines(IDC_PAGE1_TYPE).empty());
    p.set_text(IDC_PAGE1_NAME, "X");
    p.set_text(IDC_PAGE1_TEXT1, "typed");
    EXPECT_TRUE(p.click(IDC_PAGE1_ADD));
  });
  EXPECT_EQ(Sheets("ID2 ID3 NAME CH1"), std::vector<std::string>{"ID2=0 ID3=42 NAME=X CH1=typed"});
}

TEST_F(SetupPageTest, AddTakesPageTwoOnlyAsThePageWasConfirmed) {
  long type = AddType("MILL", AllLabels1(), AllLabels2());
  AddValue(type, 5, "V5A");
  AddValue(type, 5, "V5B");
  AddSheet(type, "A", [](TSheet05Record& r) {
    r.SetComboIndex(4, 1);
    r.SetText(5, "A6");
    r.SetDecimal(5, 6.5);
    r.SetInteger(5, 6);
    r.SetMemo("memo of A");
  });
  const char* fields = "NAME CBIDX5 CH6 DBL6 L6 MEMO";
  const std::string rowA = "NAME=A CBIDX5=1 CH6=A6 DBL6=6.5 L6=6 MEMO=memo of A";
  ASSERT_EQ(Sheets(fields), std::vector<std::string>{rowA});
  Page1([&](Pilot& p, TSetupPage1&) {
    EXPECT_EQ(p.text(IDC_PAGE1_NAME), "A");
    p.set_text(IDC_PAGE1_NAME, "B");
    EXPECT_TRUE(p.click(IDC_PAGE1_ADD));
    // The list's first sheet again: A. Page 2 shows A's half; what the
    // user confirms there goes with the next Add.
    EXPECT_EQ(p.text(IDC_PAGE1_NAME), "A");
    driver.expect_dialog(IDD_SETUP_PAGE2, [&](TDialog& d) {
      Pilot p2(d);
      EXPECT_EQ(p2.text(IDC_PAGE2_TEXT1), "A6");
      EXPECT_EQ(p2.text(IDC_PAGE2_DECIMAL1), "6.5000");
      EXPECT_EQ(p2.selection(IDC_PAGE2_CHOICE1), 1);
      p2.set_text(IDC_PAGE2_TEXT1, "C6");
      EXPECT_TRUE(p2.click(IDC_PAGE2_OK));
    });
    EXPECT_TRUE(p.click(IDC_PAGE1_PAGE2));
    p.set_text(IDC_PAGE1_NAME, "C");
    EXPECT_TRUE(p.click(IDC_PAGE1_ADD));
  });
  std::vector<std::string> rows = Sheets(fields);
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::string>{rowA, "NAME=B CBIDX5=-1 CH6= DBL6=0.0 L6=0 MEMO=None",
                                            "NAME=C CBIDX5=1 CH6=C6 DBL6=6.5 L6=6 MEMO=None"}));
}

// A type without sheets clears the page; Modify, Delete and Print then
// reach no sheet, and Add makes one of the new type.
TEST_F(SetupPageTest, ATypeWithoutSheetsLeavesNothingToModify) {
  long mill = AddType("MILL", AllLabels1());
  long turn = AddType("TURN", AllLabels1());
  AddSheet(mill, "A", [](TSheet05Record& r) {
    r.SetText(0, "A1");
    r.SetInteger(0, 5);
    r.SetFlag(0, true);
  });
  const std::vector<std::string> before = Sheets();
  Page1([&](Pilot& p, TSetupPage1& page) {
    EXPECT_EQ(p.text(IDC_PAGE1_TEXT1), "A1");
    ASSERT_TRUE(p.select(IDC_PAGE1_TYPE, 1));
    EXPECT_EQ(page.CurrentType(), turn);
    EXPECT_EQ(page.CurrentSheet(), nullptr);
    for (int id : {IDC_PAGE1_NAME, IDC_PAGE1_TEXT1, IDC_PAGE1_INTEGER1}) EXPECT_EQ(p.text(id), "") << id;
    EXPECT_FALSE(p.checked(IDC_PAGE1_FLAG1));
    p.set_text(IDC_PAGE1_TEXT1, "typed");
    EXPECT_TRUE(p.click(IDC_PAGE1_MODIFY));
    EXPECT_TRUE(p.click(IDC_PAGE1_DELETE));
    EXPECT_TRUE(p.click(IDC_PAGE1_PRINT));
    EXPECT_EQ(Sheets(), before);
    p.set_text(IDC_PAGE1_NAME, "T");
    EXPECT_TRUE(p.click(IDC_PAGE1_ADD));
  });
  EXPECT_TRUE(driver.message_boxes().empty());
  std::vector<std::string> rows = Sheets("ID2 NAME CH1 L1 B1");
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::string>{"ID2=" + std::to_string(mill) + " NAME=A CH1=A1 L1=5 B1=True",
                                            "ID2=" + std::to_string(turn) + " NAME=T CH1=typed L1=0 B1=False"}));
}

TEST_F(SetupPageTest, DeleteAsksFirstAndDeletingTheLastSheetClearsThePage) {
  long type = AddType("MILL", AllLabels1());
  AddSheet(type, "A", [](TSheet05Record& r) { r.SetText(0, "A1"); });
  AddSheet(type, "B", [](TSheet05Record& r) { r.SetText(0, "B1"); });
  Page1([&](Pilot& p, TSetupPage1& page) {
    ASSERT_TRUE(p.select(IDC_PAGE1_SHEETS, 1));
    EXPECT_EQ(p.text(IDC_PAGE1_TEXT1), "B1");
    driver.expect_message_box(IDNO, "Delete the setup sheet B?");
    EXPECT_TRUE(p.click(IDC_PAGE1_DELETE));
    EXPECT_EQ(Sheets("NAME").size(), 2u);
    driver.expect_message_box(IDYES, "Delete the setup sheet B?");
    EXPECT_TRUE(p.click(IDC_PAGE1_DELETE));
    EXPECT_EQ(Sheets("NAME"), std::vector<std::string>{"NAME=A"});
    EXPECT_EQ(p.lines(IDC_PAGE1_SHEETS).size(), 1u);
    EXPECT_EQ(p.text(IDC_PAGE1_TEXT1), "A1");
    driver.expect_message_box(IDYES, "Delete the setup sheet A?");
    EXPECT_TRUE(p.click(IDC_PAGE1_DELETE));
    EXPECT_TRUE(Sheets("NAME").empty());
    EXPECT_EQ(page.CurrentSheet(), nullptr);
    EXPECT_EQ(p.text(IDC_PAGE1_TEXT1), "");
    EXPECT_EQ(p.text(IDC_PAGE1_NAME), "");
  });
}

TEST_F(SetupPageTest, PageTwoKeepsTypedValuesThroughItsLabelsAndCancelDropsThem) {
  long type = AddType("MILL", AllLabels1(), AllLabels2());
  AddSheet(type, "A", [](TSheet05Record& r) {
    r.SetText(5, "A6");
    r.SetInteger(5, 6);
  });
  // Page 2 with a value typed and the first label renamed in its editor;
  // then how the page is left.
  auto page2 = [&](Pilot& p, const std::string& typed, bool ok) {
    driver.expect_dialog(IDD_SETUP_PAGE2, [&, typed, ok](TDialog& d) {
      Pilot p2(d);
      p2.set_text(IDC_PAGE2_TEXT1, typed);
      p2.set_text(IDC_PAGE2_INTEGER1, "77");
      driver.expect_dialog(IDD_SETUP_PAGE2_LABELS, [](TDialog& e) {
        Pilot pe(e);
        pe.set_text(IDC_SETUP_LABEL_1, "Tool");
        pe.click(IDOK);
      });
      EXPECT_TRUE(p2.click(IDC_PAGE2_SETUP));
      EXPECT_EQ(p2.text(IDC_PAGE2_TEXT1_LABEL), "Tool");
      EXPECT_EQ(p2.text(IDC_PAGE2_TEXT1), typed);
      EXPECT_EQ(p2.text(IDC_PAGE2_INTEGER1), "77");
      if (ok)
        EXPECT_TRUE(p2.click(IDC_PAGE2_OK));
      else
        p2.press_escape();
    });
    EXPECT_TRUE(p.click(IDC_PAGE1_PAGE2));
  };
  Page1([&](Pilot& p, TSetupPage1&) {
    page2(p, "dropped", false);
    EXPECT_TRUE(p.click(IDC_PAGE1_MODIFY));
    EXPECT_EQ(Sheets("NAME CH6 L6"), std::vector<std::string>{"NAME=A CH6=A6 L6=6"});
    page2(p, "kept", true);
    EXPECT_TRUE(p.click(IDC_PAGE1_MODIFY));
    EXPECT_EQ(Sheets("NAME CH6 L6"), std::vector<std::string>{"NAME=A CH6=kept L6=77"});
  });
}

// A number the field cannot hold is refused, not stored as another one;
// the largest that fit are stored as typed.
TEST_F(SetupPageTest, ANumberTooLargeForItsFieldIsRefused) {
  AddType("MILL", AllLabels1());
  struct Case {
    int edit;
    const char* typed;
    bool fits;
  };
  const Case cases[] = {
      {IDC_PAGE1_INTEGER1, "99999999999", false},  {IDC_PAGE1_INTEGER1, "2147483648", false},
      {IDC_PAGE1_INTEGER1, "-1000000000", false},  {IDC_PAGE1_DECIMAL1, "100000000", false},
      {IDC_PAGE1_DECIMAL1, "-10000000", false},    {IDC_PAGE1_INTEGER1, "2147483647", true},
      {IDC_PAGE1_INTEGER1, "-999999999", true},    {IDC_PAGE1_DECIMAL1, "99999999.9", true},
      {IDC_PAGE1_DECIMAL1, "-9999999.99", true},
  };
  Page1([&](Pilot& p, TSetupPage1&) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.typed);
      const size_t rows = Sheets("NAME").size();
      p.set_text(IDC_PAGE1_NAME, c.typed);
      p.set_text(IDC_PAGE1_INTEGER1, "");
      p.set_text(IDC_PAGE1_DECIMAL1, "");
      p.set_text(c.edit, c.typed);
      if (!c.fits) driver.expect_message_box(IDOK, std::string("The number ") + c.typed + " does not fit");
      EXPECT_TRUE(p.click(IDC_PAGE1_ADD));
      EXPECT_EQ(Sheets("NAME").size(), rows + (c.fits ? 1 : 0));
    }
  });
  std::vector<std::string> rows = Sheets("L1 DBL1");
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::string>{"L1=-999999999 DBL1=0.0", "L1=0 DBL1=-9999999.99",
                                            "L1=0 DBL1=99999999.9", "L1=2147483647 DBL1=0.0"}));
}

}  // namespace
