// The dialog template files: what they hold and how bad ones are refused.
#include "platform/ui/resource.h"

#include <fstream>
#include <sstream>

#include "platform/ui/winstyle.h"
#include "tests/platform/ui_test_support.h"

namespace {

TEST(UiResources, TemplateHoldsControlsWithDefaultsTextsAndGeometry) {
  auto r = plat::parse_dialog_templates(R"(# comment
dialog 38 "Users \"all\"" 10 20 200 100
  font "MS Sans Serif" 8
  listbox 102 "" 4 4 100 80 LBS_SORT | WS_VSCROLL   # sorted
  edit 103 "\xA3\x41" 110 4 60 12 ES_UPPERCASE | not WS_BORDER
  control 104 "" "LEdit32" 0 0 10 10 0x1000
  ltext -1 "a" 0 0 1 1
  ltext -1 "b" 0 0 1 1
end
)",
                                        "users.dlg");
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.dialogs.size(), 1u);
  const plat::DialogTemplate& d = r.dialogs[0];
  EXPECT_EQ(d.id, 38);
  EXPECT_EQ(d.caption, "Users \"all\"");
  EXPECT_EQ(d.controls.size(), 5u);
  const plat::ControlTemplate* list = d.control(102);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->className, "LISTBOX");
  EXPECT_EQ(list->style, WS_CHILD | WS_VISIBLE | LBS_NOTIFY | WS_BORDER | WS_TABSTOP | LBS_SORT | WS_VSCROLL);
  const plat::ControlTemplate* edit = d.control(103);
  EXPECT_EQ(edit->text, "\xA3" "A");
  EXPECT_EQ(edit->style & WS_BORDER, 0u);
  EXPECT_TRUE(edit->style & ES_UPPERCASE);
  EXPECT_EQ(d.control(104)->className, "LEdit32");
  EXPECT_EQ(d.control(104)->style & 0x1000u, 0x1000u);
  // Dialog units: a quarter and an eighth of the 8-point font's 6 x 13 cell.
  EXPECT_EQ(d.to_pixels(110, 4, 60, 12), TRect(165, 6, 255, 25));
}

// Names are what code calls the ids; a standard button keeps its own name.
TEST(UiResources, TemplateNamesItsIdsOncePerFile) {
  auto r = plat::parse_dialog_templates(R"(dialog 46 IDD_PROGRAM "Open" 0 0 100 50
  listbox 101 IDC_PROGRAM_LIST "" 0 0 50 40
  ltext -1 "plain" 0 0 5 5
  edit 102 "" 0 0 5 5
  pushbutton IDCANCEL "Cancel" 60 30 30 14
end
dialog 47 "Backup" 0 0 100 50
  listbox 101 IDC_PROGRAM_LIST "" 0 0 50 40
  defpushbutton IDOK IDC_BACKUP_OK "OK" 60 30 30 14
end
)",
                                        "program.dlg");
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.dialogs.size(), 2u);
  const plat::DialogTemplate& d = r.dialogs[0];
  EXPECT_EQ(d.name, "IDD_PROGRAM");
  EXPECT_EQ(d.control(101)->name, "IDC_PROGRAM_LIST");
  EXPECT_EQ(d.control(101)->text, "");
  EXPECT_EQ(d.control(102)->name, "");
  EXPECT_EQ(d.control(IDCANCEL)->text, "Cancel");
  EXPECT_EQ(d.control(IDCANCEL)->name, "");
  EXPECT_EQ(r.dialogs[1].name, "");
  EXPECT_EQ(r.dialogs[1].control(101)->name, "IDC_PROGRAM_LIST");  // the same control in both
  EXPECT_EQ(r.dialogs[1].control(IDOK)->name, "IDC_BACKUP_OK");

  struct Case {
    const char* text;
    const char* error;
  } bad[] = {
      {"dialog 1 IDD_A \"x\" 0 0 10 10\n edit 101 IDC_A \"\" 0 0 5 5\n edit 102 IDC_A \"\" 0 0 5 5\nend\n",
       "f.dlg:3: name IDC_A stands for 101 already, not 102"},
      {"dialog 1 \"x\" 0 0 10 10\n edit 101 IDC_A \"\" 0 0 5 5\nend\n"
       "dialog 2 \"y\" 0 0 10 10\n edit 102 IDC_A \"\" 0 0 5 5\nend\n",
       "f.dlg:5: name IDC_A stands for 101 already, not 102"},
      {"dialog 1 IDC_A \"x\" 0 0 10 10\n edit 101 IDC_A \"\" 0 0 5 5\nend\n",
       "f.dlg:2: name IDC_A stands for 1 already"},
      {"dialog 1 \"x\" 0 0 10 10\n ltext -1 IDC_A \"\" 0 0 5 5\nend\n", "f.dlg:2: id -1 is for texts nobody addresses"},
      {"dialog 1 \"x\" 0 0 10 10\n edit 101 1A \"\" 0 0 5 5\nend\n",
       "f.dlg:2: expected: edit <id> [<name>] \"<text>\""},
      {"dialog 1 \"x\" 0 0 10 10\n edit IDC_A \"\" 0 0 5 5\nend\n", "f.dlg:2: expected: edit <id> [<name>]"},
      {"dialog 1 \"x\" 0 0 10 10\n edit 101 IDC_A IDC_B \"\" 0 0 5 5\nend\n", "f.dlg:2: expected: edit <id> [<name>]"},
      {"dialog IDD_A \"x\" 0 0 10 10\nend\n", "f.dlg:1: expected: dialog <id> [<name>]"},
  };
  for (const Case& c : bad) {
    auto e = plat::parse_dialog_templates(c.text, "f.dlg");
    EXPECT_NE(e.error.find(c.error), std::string::npos) << c.text << " -> " << e.error;
    EXPECT_TRUE(e.dialogs.empty());
  }
}

TEST(UiResources, BadTemplatesAreRefusedWithTheirLine) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"dialog 1 \"x\" 0 0 10 10\n edit 101 \"\" 0 0 10\nend\n", "f.dlg:2:"},
      {"dialog 1 \"x\" 0 0 10 10\n edit 101 \"\" 0 0 10 10 ES_BOGUS\nend\n", "unknown style ES_BOGUS"},
      {"dialog 1 \"x\" 0 0 10 10\n edit 101 \"\" 0 0 10 10\n edit 101 \"\" 0 0 10 10\nend\n", "used twice"},
      {"dialog 1 \"x\" 0 0 10 10\n slider 101 \"\" 0 0 10 10\nend\n", "unknown statement 'slider'"},
      {"dialog 1 \"open 0 0 10 10\nend\n", "closing quote"},
      {"dialog 1 \"x\" 0 0 10 10\n", "has no end"},
      {" edit 101 \"\" 0 0 10 10\n", "outside a dialog"},
      {"dialog 1 \"x\" 0 0 10 10\n edit 1 \"\" 0 0 1 1 WS_BORDER |\nend\n", "ends with '|'"},
      // Coordinates and sizes beyond a template's 16 bits, and fonts that
      // would make their pixels overflow.
      {"dialog 1 \"x\" 0 999999990 5 1\nend\n", "f.dlg:1: y 999999990 is out of range"},
      {"dialog 1 \"x\" -32769 0 5 1\nend\n", "x -32769 is out of range"},
      {"dialog 1 \"x\" 0 0 32768 1\nend\n", "width 32768 is out of range"},
      {"dialog 1 \"x\" 0 0 10 10\n edit 101 \"\" 0 0 10 -1\nend\n", "f.dlg:2: height -1 is out of range"},
      {"dialog 1 \"x\" 0 0 10 10\n edit 101 \"\" 0 0 99999999999 1\nend\n", "width 99999999999 is out of range"},
      {"dialog 1 \"x\" 0 0 10 10\n font \"Arial\" 1000\nend\n", "font size 1000 is out of range"},
      {"dialog 4294967297 \"x\" 0 0 10 10\nend\n", "dialog id 4294967297 is out of range"},
  };
  for (const Case& c : cases) {
    auto r = plat::parse_dialog_templates(c.text, "f.dlg");
    EXPECT_NE(r.error.find(c.error), std::string::npos) << c.text << " -> " << r.error;
    EXPECT_TRUE(r.dialogs.empty());
  }
}

TEST(UiResources, TemplateAtTheEdgesOfItsRangeGivesPixelsWithoutOverflow) {
  auto r = plat::parse_dialog_templates(
      "dialog 1 \"x\" -32768 32767 32767 32767\n font \"Arial\" 999\n edit 2 \"\" 32767 -32768 32767 0\nend\n",
      "edge.dlg");
  ASSERT_EQ(r.error, "");
  const plat::DialogTemplate& d = r.dialogs[0];
  TRect p = d.to_pixels(d.x, d.y, d.cx, d.cy);
  EXPECT_LT(p.left, 0);
  EXPECT_GT(p.right, p.left);
  EXPECT_GT(p.bottom, p.top);
  // A template built by code is held to the same ranges.
  plat::DialogTemplate made;
  made.fontSize = 1 << 30;
  TRect q = made.to_pixels(1 << 30, 1 << 30, 1 << 30, 1 << 30);
  EXPECT_GE(q.right, q.left);
  EXPECT_GE(q.bottom, q.top);
}

// A damaged template file seen in the field: refused with its line, no
// arithmetic on its coordinates.
TEST(UiResources, DamagedTemplateFileIsRefused) {
  std::ifstream in(std::string(KV_FIXTURES_DIR) + "/damaged-dialog.dlg", std::ios::binary);
  ASSERT_TRUE(in) << "fixture damaged-dialog.dlg missing";
  std::stringstream text;
  text << in.rdbuf();
  auto r = plat::parse_dialog_templates(text.str(), "damaged-dialog.dlg");
  EXPECT_NE(r.error.find("damaged-dialog.dlg:1: y 999999990 is out of range"), std::string::npos) << r.error;
  EXPECT_TRUE(r.dialogs.empty());
}

TEST(UiResources, DirectoryIsReadOnceAndIdsStayUnique) {
  uitest::use_test_templates();
  ASSERT_TRUE(plat::find_dialog_template(900));
  EXPECT_EQ(plat::find_dialog_template(900)->controls.size(), 19u);
  std::string err;
  EXPECT_FALSE(plat::add_dialog_templates("dialog 900 \"again\" 0 0 1 1\nend\n", "extra.dlg", &err));
  EXPECT_NE(err.find("defined twice"), std::string::npos);
  EXPECT_TRUE(plat::add_dialog_templates("dialog 5000 \"new\" 0 0 1 1\nend\n", "extra.dlg", &err));
  EXPECT_TRUE(plat::find_dialog_template(5000));
  uitest::use_test_templates();  // back to the files alone
}

}  // namespace
