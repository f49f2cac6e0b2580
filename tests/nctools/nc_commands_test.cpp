// The NC text commands over an edit control: the transform pass and its
// temporary files, the axis value ranges, and cycles put in at the caret.
#include <memory>

#include "dbmodel/cycle.h"
#include "dbmodel/macro.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/combobox.h"
#include "editor/cycle_run.h"
#include "editor/ledit.h"
#include "editor/nc_commands.h"
#include "editor/nc_transforms.h"
#include "platform/ui/application.h"
#include "resources/dialogs/nctools.h"
#include "tests/ledit/ledit_support.h"
#include "tests/nctools/nc_fixture.h"

namespace {

using kvnc::NcTest;
using plat::Pilot;

// Controls the test puts on its frame.
constexpr int kEditId = 5, kComboId = 9;

std::string Ranges(const std::vector<std::string>& lines) {
  TAxisRanges r;
  for (const std::string& l : lines) r.ScanLine(l.c_str());
  r.Finish();
  return r.Text();
}

std::string Range(const std::string& text, const std::string& letter) {
  size_t at = text.find(letter + " : ");
  return at == std::string::npos ? "" : text.substr(at, text.find("\r\n", at) - at);
}

TEST(AxisRanges, FirstWordOfEachLetterOutsideComments) {
  struct Case {
    std::vector<std::string> lines;
    const char* letter;
    const char* range;
  } cases[] = {
      {{"G1 X1 Y2"}, "Z", "Z : 0.0000 -> 0.0000"},
      {{"X10 X20", "X15"}, "X", "X : 10.0000 -> 15.0000"},
      {{"x5", "X2"}, "X", "X : 2.0000 -> 2.0000"},
      {{"F"}, "F", "F : 0.0000 -> 0.0000"},
      {{"F100", "F"}, "F", "F : 0.0000 -> 100.0000"},
      {{"X200000000", "X-300000000"}, "X", "X : -300000000.0000 -> 200000000.0000"},
      {{"(MAX Z DEPTH)", "G1 Z-2"}, "Z", "Z : -2.0000 -> -2.0000"},
      {{"G1 (Z9) Z-3.5 (Z8"}, "Z", "Z : -3.5000 -> -3.5000"},
      {{"S1200 F300.5", "S 800"}, "S", "S : 800.0000 -> 1200.0000"},
      {{"Y+1.5", "Y-.5"}, "Y", "Y : -0.5000 -> 1.5000"},
  };
  for (const Case& c : cases) EXPECT_EQ(Range(Ranges(c.lines), c.letter), c.range) << c.lines[0];
  // F stands before S in the box.
  std::string text = Ranges({"S1 F2"});
  EXPECT_LT(text.find("F : "), text.find("S : "));
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

class NcCommands : public NcTest {
 protected:
  void SetUp() override {
    NcTest::SetUp();
    ASSERT_TRUE(frame.Create());
    frame.ShowWindow(SW_SHOW);
    edit = new TLEdit(&frame, kEditId, "", 0, 0, 300, 100);
    ASSERT_TRUE(edit->Create());
  }
  void TearDown() override {
    frame.Destroy();
    NcTest::TearDown();
  }
  void SetText(const char* text) { ::SendMessage(*edit, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>(text)); }
  std::string Text() { return ledittest::all_text(*edit); }

  TWindow frame{nullptr, "Editor"};
  TLEdit* edit = nullptr;
  TApplication app{"test"};
};

TEST_F(NcCommands, TransformPassReplacesTheTextOnlyWhenTheTransformFinished) {
  SetText("N10 G01 X1 (A B)\r\nN20 X 2");
  EXPECT_EQ(RunTransformPass(&frame, edit, 3, RemoveSpaces, &app), 1);
  EXPECT_EQ(Text(), "N10G01X1(A B)\r\nN20X2");
  EXPECT_EQ(TransformTempName(3, 2), Globals->TempDir + "CRNF3.RF2");
  EXPECT_FALSE(std::filesystem::exists(TmpPath("CRNF3.RF1")));
  EXPECT_FALSE(std::filesystem::exists(TmpPath("CRNF3.RF2")));

  NcTransform cancelled = [](TWindow*, const char*, const char* dest, TApplication*) {
    kvdb::WriteFileBytes(dest, "half");
    return 0;
  };
  EXPECT_EQ(RunTransformPass(&frame, edit, 3, cancelled, &app), 0);
  EXPECT_EQ(Text(), "N10G01X1(A B)\r\nN20X2");
  EXPECT_FALSE(std::filesystem::exists(TmpPath("CRNF3.RF2")));

  // A text that cannot be saved is not run through the transform.
  Globals->TempDir = Root() + "/missing\\";
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDOK, "temporary directory");
  EXPECT_EQ(RunTransformPass(&frame, edit, 3, InsertSpaces, &app), 0);
  EXPECT_EQ(Text(), "N10G01X1(A B)\r\nN20X2");
}

TEST_F(NcCommands, AxisValuesOfTheWholeText) {
  plat::GTestUiDriver driver;
  SetText("");
  driver.expect_message_box(IDOK, "X : 0.0000 -> 0.0000");  // one empty line: every letter unseen
  ShowAxisValues(&frame, edit, &app);
  std::string text;
  for (int i = 1; i <= 120; i++) text += "N" + std::to_string(i) + " G1 X" + std::to_string(i) + " (X999)\r\n";
  SetText(text.c_str());
  driver.expect_message_box(IDOK, "X : 1.0000 -> 120.0000\r\nY : 0.0000 -> 0.0000");
  ShowAxisValues(&frame, edit, &app);
  ASSERT_EQ(driver.message_boxes().size(), 2u);
  EXPECT_EQ(driver.message_boxes().back().caption, "Values");
}

TEST_F(NcCommands, CyclesGoInAtTheCaretWhichThenStandsAfterThem) {
  MakeCounters();
  CreateTable<TcbCycleTable>("KELVCYC3.DBF");
  CreateTable<TcbParamTable>("KELVCYC4.DBF");
  long id;
  {
    TcbCycleTable t("KELVCYC3.DBF", 0, 0);
    id = t.Add(4, "DRILL");
    TcbParamTable p("KELVCYC4.DBF", 0, 0);
    ASSERT_EQ(p.Add(id), 1);
    TcbParamRecord* all = p.ReadOfOwner(id);
    ASSERT_NE(all, nullptr);
    TcbParamRecord* second = static_cast<TcbParamRecord*>(all->next);
    all->FLAG = kParamDefined | kParamLineBreak | kParamAlways;
    CopyCut(all->CODE, sizeof all->CODE, "G81");
    second->FLAG = kParamDefined | kParamRequired | kParamNegative;
    second->DECI = 1;
    CopyCut(second->CODE, sizeof second->CODE, "Z");
    ASSERT_EQ(p.Update(all), 1);
    ASSERT_EQ(p.Update(second), 1);
    FreeRecordList(all);
  }
  SetText("N10\r\nN30");
  edit->SetCaretPos(2, 0);
  plat::GTestUiDriver driver;
  driver.expect_dialog(TCycleRun::kResourceId, [](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_CYCLE_LABEL1), "G81");
    p.type(IDC_CYCLE_FIELD2, "-5");
    p.click(IDC_CYCLE_INSERT);
  });
  InsertCycle(&frame, edit, "DRILL                    @@" + std::to_string(id));
  EXPECT_EQ(Text(), "N10\r\nG81\r\nZ-5.0N30");
  SelectionRange r = edit->GetSelection();
  EXPECT_EQ(r.startLine, 3u);
  EXPECT_EQ(r.startCol, 5u);
  EXPECT_EQ(r.endCol, 5u);

  // A line without an id, and a cancelled dialog, insert nothing.
  InsertCycle(&frame, edit, "DRILL");
  driver.expect_dialog(TCycleRun::kResourceId, [](TDialog& d) { Pilot(d).click(IDCANCEL); });
  InsertCycle(&frame, edit, "DRILL @@" + std::to_string(id));
  EXPECT_EQ(Text(), "N10\r\nG81\r\nZ-5.0N30");

  Globals->CycleText.Set("X1 ");
  InsertCycleText(edit);
  EXPECT_EQ(Text(), "N10\r\nG81\r\nZ-5.0X1 N30");
}

TEST_F(NcCommands, MacrosGoThroughTheClipboard) {
  SetText("N10 G0\r\nN20 G1");
  plat::set_clipboard_text("before");
  EXPECT_FALSE(CopySelectionForMacro(edit));
  EXPECT_EQ(plat::clipboard_text(), "before");
  edit->SetSelection(1, 4, 1, 6);
  EXPECT_TRUE(CopySelectionForMacro(edit));
  EXPECT_EQ(plat::clipboard_text(), "G0");

  MakeCounters();
  CreateTable<TcbMacroTable>("KELVMACR.DBF");
  long id;
  {
    TcbMacroTable t("KELVMACR.DBF", 0, 0);
    std::unique_ptr<TcbMacroRecord> m(t.Add("PARK", "G28 Z0\r\n", 7));
    ASSERT_NE(m, nullptr);
    id = m->ID;
  }
  std::string text;
  EXPECT_TRUE(ReadMacroOfBoxLine("PARK    @@" + std::to_string(id), text));
  EXPECT_EQ(text, "G28 Z0\r\n");
  EXPECT_FALSE(ReadMacroOfBoxLine("PARK", text));
  EXPECT_FALSE(ReadMacroOfBoxLine("GONE @@" + std::to_string(id + 50), text));

  plat::set_clipboard_text(text);
  edit->SetCaretPos(2, 0);
  PasteMacro(edit);
  EXPECT_EQ(Text(), "N10 G0\r\nG28 Z0\r\nN20 G1");
  EXPECT_EQ(edit->GetSelection().endLine, 3u);
  EXPECT_EQ(edit->GetSelection().startCol, 0u);

  auto* box = new TComboBox(&frame, kComboId, 0, 0, 100, 100, CBS_DROPDOWNLIST, 0);
  ASSERT_TRUE(box->Create());
  Globals->DisplayFlags = 0;
  RefillMacroBox(box, 7);
  EXPECT_EQ(box->GetCount(), 0);  // tool bars hidden
  Globals->DisplayFlags = 0x2;
  RefillMacroBox(box, 0);
  EXPECT_EQ(box->GetCount(), 0);  // no machine
  RefillMacroBox(box, 7);
  ASSERT_EQ(box->GetCount(), 1);
  EXPECT_EQ(box->GetSelIndex(), 0);
  EXPECT_EQ(ListLineId(box->GetString(0).c_str()), id);
}

}  // namespace
