// The editor's "Setup Sheets" command: page 1 opens for the window's
// program, showing its sheets, and a sheet added there belongs to it.
#include "dbmodel/counter.h"
#include "dbmodel/idname.h"
#include "dbmodel/setup_sheet.h"
#include "resources/dialogs/setup_sheet_pages.h"
#include "tests/editor/editor_fixture.h"

namespace {

using kveditor::EditorTest;
using plat::Pilot;

TEST_F(EditorTest, SetupSheetsOpensPageOneForTheWindowsProgram) {
  CreateTable<TSheetTypeTable>("SS000001.DBF");
  CreateTable<TSheet02Table>("SS000002.DBF");
  CreateTable<TSheet03Table>("SS000003.DBF");
  CreateTable<TSheet04Table>("SS000004.DBF");
  CreateTable<TSheet05Table>("SS000005.DBF");
  const long type = NextSetupSheetTypeId();
  {
    TSheetTypeTable t("SS000001.DBF", 0, 0);
    TcbIdAndNameRecord r;
    r.ID = type;
    CopyCut(r.NAME, sizeof r.NAME, "MILL");
    ASSERT_NE(t.Add(&r), nullptr);
    TSheet03Record l1;
    l1.ID = type;
    l1.SetLabel(0, "Clamping");
    ASSERT_NE(TSheet03Table("SS000003.DBF", 0, 0).AppendLabels(&l1), nullptr);
    TSheet04Record l2;
    l2.ID = type;
    ASSERT_NE(TSheet04Table("SS000004.DBF", 0, 0).AppendLabels(&l2), nullptr);
  }
  // Sheets of program 40 and of another program.
  for (auto [key, name] : {std::pair{40L, "OP 10"}, std::pair{41L, "OTHER"}}) {
    TSheet05Record r;
    r.SetId(0, NextSetupSheetId());
    r.SetId(1, type);
    r.SetId(2, key);
    r.SetName(name);
    ASSERT_NE(TSheet05Table("SS000005.DBF", 0, 0).AppendSheet(&r), nullptr);
  }
  AddMillProgram(40, "O40\r\nM30\r\n");
  TChildFrame* f = Open(40);
  EXPECT_TRUE(Enabled(f, 554));
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
  Command(f, 554);
  std::vector<std::string> rows = PeerRows(DbPath("SS000005.DBF"), "ID3 NAME");
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::string>{"ID3=40 NAME=OP 10", "ID3=40 NAME=OP 20", "ID3=41 NAME=OTHER"}));
  EXPECT_TRUE(Close(f));
}

}  // namespace
