// The macro dialogs driven as a user would, the stored rows read back with
// python3-dbfread: texts stored whole up to the one limit and refused
// beyond it, names unique per machine, the confirmed text on the
// clipboard, and a macro list that follows the machine shown.
#include "masterdata/macro_dialogs.h"

#include "platform/ui/clipboard.h"
#include "resources/dialogs/masterdata.h"
#include "tests/masterdata/master_fixture.h"

namespace {

using kvmaster::MasterTest;
using plat::Pilot;

// A text of n characters on one line (python3-dbfread's rows are read a
// line each), different for each seed.
std::string MacroText(size_t n, char seed) {
  std::string s;
  for (size_t i = 0; s.size() < n; i++) s += "N" + std::to_string(i) + " G1 " + seed + "1.5 ";
  s.resize(n);
  return s;
}

class MacroTest : public MasterTest {
 protected:
  std::vector<std::string> Macros() { return LiveRows("KELVMACR.DBF", "CONN NAME MEMOSTR"); }
  static std::string Row(long machine, const char* name, const std::string& text) {
    return "CONN=" + std::to_string(machine) + " NAME=" + name + " MEMOSTR=" + text;
  }
  plat::GTestUiDriver driver;
};

TEST_F(MacroTest, TenThousandCharactersPassSaveModifyAndInsertWholeAndOneMoreIsRefused) {
  const std::string saved = MacroText(kMacroTextMax, 'X');
  const std::string modified = MacroText(kMacroTextMax, 'Y');
  const std::string tooLong = MacroText(kMacroTextMax + 1, 'Z');

  plat::set_clipboard_text(saved);
  driver.expect_dialog(IDD_NEW_MACRO, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_NEW_MACRO_TEXT), saved);
    p.set_text(IDC_NEW_MACRO_NAME, "PARK");
    p.click(IDC_NEW_MACRO_SAVE);
  });
  EXPECT_EQ(TNewMacro(nullptr, 7).Execute(), IDOK);
  ASSERT_EQ(Macros(), std::vector<std::string>{Row(7, "PARK", saved)});

  // A paste would be cut at the edit's limit: the dialog refuses instead.
  plat::set_clipboard_text(tooLong);
  driver.expect_message_box(IDOK, "longer than the 10000 characters");
  EXPECT_EQ(TNewMacro(nullptr, 7).Execute(), IDCANCEL);

  AddMachine("DMU50", 1);
  long hermle = AddMachine("HERMLE", 1);
  {
    TcbMacroTable t("KELVMACR.DBF", 0, 0);
    std::unique_ptr<TcbMacroRecord> r(t.Add("PARK", saved.c_str(), hermle));
  }
  driver.expect_dialog(IDD_MACROS, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_MACROS_MACHINE, 1);  // HERMLE
    EXPECT_EQ(p.text(IDC_MACROS_TEXT), saved);
    p.set_text(IDC_MACROS_TEXT, modified);
    p.click(IDC_MACROS_MODIFY);
    p.set_text(IDC_MACROS_TEXT, tooLong);
    driver.expect_message_box(IDOK, "longer than the 10000 characters");
    p.click(IDC_MACROS_MODIFY);
    p.click(IDCANCEL);
  });
  TEditMacro(nullptr).Execute();
  EXPECT_EQ(Macros(), (std::vector<std::string>{Row(7, "PARK", saved), Row(hermle, "PARK", modified)}));

  plat::set_clipboard_text("");
  driver.expect_dialog(IDD_INSERT_MACRO, [&](TDialog& d) { Pilot(d).click(IDC_INSERT_MACRO_INSERT); });
  EXPECT_EQ(TInsertMacro(nullptr, modified.c_str()).Execute(), IDOK);
  EXPECT_EQ(plat::clipboard_text(), modified);
  driver.expect_message_box(IDOK, "longer than the 10000 characters");
  EXPECT_EQ(TInsertMacro(nullptr, tooLong.c_str()).Execute(), IDCANCEL);
  EXPECT_EQ(plat::clipboard_text(), modified);
}

TEST_F(MacroTest, ANameIsUniquePerMachineAndNameAndTextAreRequired) {
  struct Case {
    long machine;
    const char* name;
    bool stored;
  };
  for (const Case& c : {Case{7, "PARK", true}, Case{8, "PARK", true}, Case{7, "PARK", false},
                        Case{7, "O'PARK", true}, Case{7, "O'PARK", false}}) {
    plat::set_clipboard_text("G28 Z0");
    driver.expect_dialog(IDD_NEW_MACRO, [&](TDialog& d) {
      Pilot p(d);
      p.set_text(IDC_NEW_MACRO_NAME, c.name);
      if (!c.stored) driver.expect_message_box(IDOK, "has a macro of that name");
      p.click(IDC_NEW_MACRO_SAVE);
      if (!c.stored) p.click(IDCANCEL);
    });
    EXPECT_EQ(TNewMacro(nullptr, c.machine).Execute(), c.stored ? IDOK : IDCANCEL) << c.machine << c.name;
  }
  EXPECT_EQ(Macros(), (std::vector<std::string>{Row(7, "PARK", "G28 Z0"), Row(8, "PARK", "G28 Z0"),
                                                Row(7, "O'PARK", "G28 Z0")}));

  // An empty name or text: a beep and the focus on it, nothing stored.
  plat::set_clipboard_text("");
  driver.expect_dialog(IDD_NEW_MACRO, [&](TDialog& d) {
    Pilot p(d);
    struct Field {
      const char* name;
      const char* text;
      int focused;
    };
    for (const Field& f : {Field{" ", "G0", IDC_NEW_MACRO_NAME}, Field{"HOME", "", IDC_NEW_MACRO_TEXT}}) {
      p.set_text(IDC_NEW_MACRO_NAME, f.name);
      p.set_text(IDC_NEW_MACRO_TEXT, f.text);
      int beeps = plat::beep_count();
      p.click(IDC_NEW_MACRO_SAVE);
      EXPECT_EQ(plat::beep_count(), beeps + 1);
      EXPECT_TRUE(p.focused(f.focused));
    }
    p.click(IDCANCEL);
  });
  TNewMacro(nullptr, 7).Execute();
  EXPECT_EQ(Macros().size(), 3u);
}

TEST_F(MacroTest, TheConfirmDialogHandsOverTheTextAsTheUserLeftItAndNeedsAText) {
  // No text: closed before it shows.
  EXPECT_EQ(TInsertMacro(nullptr, nullptr).Execute(), IDCANCEL);

  plat::set_clipboard_text("earlier");
  driver.expect_dialog(IDD_INSERT_MACRO, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_INSERT_MACRO_TEXT), "G28 Z0\r\nG28 X0");
    p.set_text(IDC_INSERT_MACRO_TEXT, "G28 Z50");
    p.click(IDC_INSERT_MACRO_INSERT);
  });
  EXPECT_EQ(TInsertMacro(nullptr, "G28 Z0\r\nG28 X0").Execute(), IDOK);
  EXPECT_EQ(plat::clipboard_text(), "G28 Z50");

  // Emptied by the user: nothing to paste, not what the clipboard held.
  driver.expect_dialog(IDD_INSERT_MACRO, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_INSERT_MACRO_TEXT, "");
    p.click(IDC_INSERT_MACRO_INSERT);
  });
  EXPECT_EQ(TInsertMacro(nullptr, "G28 Z0").Execute(), IDOK);
  EXPECT_EQ(plat::clipboard_text(), "");
}

TEST_F(MacroTest, TheMacroListFollowsTheMachineShownAndDeletesAsk) {
  long dmu = AddMachine("DMU50", 1);
  AddMachine("HERMLE", 1);
  long park = AddMacro("PARK", "G28 Z0", dmu);
  AddMacro("DRILL", "G81 R2", dmu);
  driver.expect_dialog(IDD_MACROS, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = dynamic_cast<TEditMacro&>(d);
    // Sorted: DRILL, PARK.
    ASSERT_EQ(p.lines(IDC_MACROS_MACRO).size(), 2u);
    EXPECT_EQ(p.text(IDC_MACROS_TEXT), "G81 R2");
    p.select(IDC_MACROS_MACRO, 1);
    EXPECT_EQ(dlg.SelectedMacro, park);
    EXPECT_EQ(p.text(IDC_MACROS_TEXT), "G28 Z0");

    // A machine without macros shows none: Modify and Delete then act on
    // nothing.
    p.select(IDC_MACROS_MACHINE, 1);
    EXPECT_EQ(p.lines(IDC_MACROS_MACRO).size(), 0u);
    EXPECT_EQ(dlg.SelectedMacro, 0);
    EXPECT_EQ(p.text(IDC_MACROS_TEXT), "");
    p.set_text(IDC_MACROS_TEXT, "M30");
    p.click(IDC_MACROS_MODIFY);
    p.click(IDC_MACROS_DELETE);  // no question: nothing to delete

    p.select(IDC_MACROS_MACHINE, 0);
    for (int answer : {IDNO, IDYES, IDYES}) {
      driver.expect_message_box(answer, "Delete the selected macro");
      p.click(IDC_MACROS_DELETE);
    }
    EXPECT_EQ(p.lines(IDC_MACROS_MACRO).size(), 0u);
    EXPECT_EQ(p.text(IDC_MACROS_TEXT), "");
    p.click(IDCANCEL);
  });
  TEditMacro(nullptr).Execute();
  EXPECT_EQ(Macros(), std::vector<std::string>{});
}

}  // namespace
