// The editor's "Setup Sheets" command: page 1 opens for the window's
// program, showing its sheets, and a sheet added there belongs to it.
#include "resources/dialogs/setup_sheet_pages.h"
#include "resources/menus/editor.h"
#include "tests/editor/editor_fixture.h"
#include "tests/support/sheet_rows.h"

namespace {

using kveditor::EditorTest;
using plat::Pilot;

TEST_F(EditorTest, SetupSheetsOpensPageOneForTheWindowsProgram) {
  kvtest::CreateSheetTables([this](const char* file) { return DbPath(file); });
  const long type = kvtest::AddSheetType("MILL", {"Clamping"});
  // Sheets of program 40 and of another program.
  kvtest::AddSheet(type, 40, "OP 10");
  kvtest::AddSheet(type, 41, "OTHER");
  AddMillProgram(40, "O40\r\nM30\r\n");
  TChildFrame* f = Open(40);
  EXPECT_TRUE(Enabled(f, kCmSetupSheets));
  driver.expect_dialog(IDD_SETUP_PAGE1, [&](TDialog& d) {
    Pilot p(d);
    ASSERT_EQ(p.lines(IDC_PAGE1_SHEETS).size(), 1u);
    EXPECT_EQ(p.text(IDC_PAGE1_NAME), "OP 10");
    EXPECT_EQ(p.text(IDC_PAGE1_TEXT1_LABEL), "Clamping");
    p.set_text(IDC_PAGE1_NAME, "OP 20");
    EXPECT_TRUE(p.click(IDC_PAGE1_ADD));
    EXPECT_EQ(p.lines(IDC_PAGE1_SHEETS).size(), 2u);
    p.close_box();
  });
  Command(f, kCmSetupSheets);
  std::vector<std::string> rows = PeerRows(DbPath("SS000005.DBF"), "ID3 NAME");
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::string>{"ID3=40 NAME=OP 10", "ID3=40 NAME=OP 20", "ID3=41 NAME=OTHER"}));
  EXPECT_TRUE(Close(f));
}

}  // namespace
