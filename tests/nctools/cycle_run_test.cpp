// The cycle fill-in dialog: fields by flags, formatting and signs, the
// built text, a missing required value, insert and test modes.
#include <vector>

#include "editor/cycle_run.h"
#include "resources/dialogs/nctools.h"
#include "resources/menus/editor.h"
#include "tests/nctools/nc_fixture.h"

namespace {

using kvnc::NcTest;
using plat::Pilot;

struct Slot {
  const char* code;
  long flag;
  long deci = 3;
  double autoValue = 0;
  const char* hint = "";
};

// The parameter list of a cycle with these slots (the rest undefined).
TcbParamRecord* Params(const std::vector<Slot>& slots) {
  TcbParamRecord* first = nullptr;
  TcbParamRecord* last = nullptr;
  for (int i = 15; i >= 1; i--) {  // stored out of order on purpose
    auto* r = new TcbParamRecord;
    r->PNUMBER = i;
    r->ID = 100 + i;
    if (static_cast<size_t>(i) <= slots.size()) {
      const Slot& s = slots[i - 1];
      CopyCut(r->CODE, sizeof r->CODE, s.code);
      CopyCut(r->HINT, sizeof r->HINT, s.hint);
      r->FLAG = s.flag;
      r->DECI = s.deci;
      r->AUTO = s.autoValue;
    }
    if (last) last->next = r;
    else first = r;
    r->prev = last;
    last = r;
  }
  return first;
}

class CycleRun : public NcTest {
 protected:
  // Runs the dialog on the slots, types the values into fields 101 on and
  // presses Insert; the text handed over ("" when none).
  std::string Insert(const std::vector<Slot>& slots, const std::vector<std::string>& values) {
    Globals->CycleText.Clear();
    plat::GTestUiDriver driver;
    driver.expect_dialog(TCycleRun::kResourceId, [&](TDialog& d) {
      Pilot p(d);
      for (size_t i = 0; i < values.size(); i++)
        if (!values[i].empty()) p.type(IDC_CYCLE_FIELD1 + static_cast<int>(i), values[i]);
      p.click(IDC_CYCLE_INSERT);
    });
    TCycleRun run(nullptr, Params(slots), TCycleRun::InsertMode);
    EXPECT_EQ(run.Execute(), IDOK);
    return Globals->CycleText.IsSet() ? Globals->CycleText.get() : "";
  }
};

TEST_F(CycleRun, TextsOfTheFlags) {
  const long D = kParamDefined;
  struct Case {
    std::vector<Slot> slots;
    std::vector<std::string> values;
    std::string text;
  } cases[] = {
      // Address, blank, value; a line break; the next word after one blank.
      {{{"X", D | kParamBlank}, {"Y", D | kParamBlank | kParamLineBreak}, {"F", D | kParamRequired}},
       {"10", "20.5", "100"},
       "X 10.000 Y 20.500\r\nF100.000"},
      // Comma as the point; plus sign only for numbers above 0.
      {{{"A", D | kParamPlusSign}, {"B", D | kParamPlusSign | kParamNegative}, {"C", D | kParamPlusSign}},
       {"12,5", "-3", "0"},
       "A+12.500 B-3.000 C0.000"},
      // Decimals 0; alphanumeric text stays as typed, commas included.
      {{{"T", D, 0}, {"M", D | kParamAlpha}}, {"7.6", "A,B(1)"}, "T8 MA,B(1)"},
      // An address always written, alone when empty; the last slot never
      // ends in a blank; an empty optional value gives nothing (its blank
      // stays on the word before).
      {{{"G81", D | kParamAlways | kParamLineBreak}, {"Z", D | kParamNegative}, {"R", D}},
       {"", "-1", ""},
       "G81\r\nZ-1.000 "},
      // Undefined slots contribute nothing even with text behind them.
      {{{"X", D}, {"Q", kParamAlways}}, {"1"}, "X1.000"},
      // The automatic value is proposed.
      {{{"S", D | kParamAuto, 1, 1200}}, {}, "S1200.0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Insert(c.slots, c.values), c.text) << c.text;

  std::vector<Slot> full;
  for (int i = 0; i < 15; i++) full.push_back({"P", kParamDefined, 0});
  EXPECT_EQ(Insert(full, std::vector<std::string>(15, "1")), "P1 P1 P1 P1 P1 P1 P1 P1 P1 P1 P1 P1 P1 P1 P1");
}

TEST_F(CycleRun, ControlsFollowTheFlags) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(TCycleRun::kResourceId, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.visible(IDC_CYCLE_FIELD1));
    EXPECT_TRUE(p.visible(IDC_CYCLE_MARKER1));   // required marker
    EXPECT_FALSE(p.visible(IDC_CYCLE_MARKER2));  // optional
    EXPECT_FALSE(p.visible(IDC_CYCLE_FIELD3));  // undefined: field, label, marker hidden
    EXPECT_FALSE(p.visible(IDC_CYCLE_LABEL3));
    EXPECT_EQ(p.text(IDC_CYCLE_LABEL1), "Z");
    EXPECT_EQ(p.text(IDC_CYCLE_FIELD2), "5.50");  // auto value, formatted with its decimals
    p.type(IDC_CYCLE_FIELD1, "1a-");
    EXPECT_EQ(p.text(IDC_CYCLE_FIELD1), "1");  // no letters, no minus without the flag
    p.focus(IDC_CYCLE_FIELD1);
    EXPECT_EQ(p.text(IDC_CYCLE_HINT), "Depth");
    p.focus(IDC_CYCLE_FIELD2);
    EXPECT_EQ(p.text(IDC_CYCLE_FIELD1), "1.000");  // formatted on leaving
    p.click(IDCANCEL);
  });
  TCycleRun run(nullptr, Params({{"Z", kParamDefined | kParamRequired, 3, 0, "Depth"},
                                 {"R", kParamDefined | kParamAuto, 2, 5.5},
                                 {"Q", 0}}),
                TCycleRun::InsertMode);
  EXPECT_EQ(run.Execute(), IDCANCEL);
}

TEST_F(CycleRun, AMissingRequiredValueIsAskedForNotFilledIn) {
  Globals->CycleText.Set("old");
  plat::GTestUiDriver driver;
  driver.expect_dialog(TCycleRun::kResourceId, [&](TDialog& d) {
    Pilot p(d);
    p.type(IDC_CYCLE_FIELD1, "10");
    driver.expect_message_box(IDOK, "value of F");
    p.click(IDC_CYCLE_INSERT);
    EXPECT_FALSE(d.HasEnded());
    EXPECT_TRUE(p.focused(IDC_CYCLE_FIELD2));
    EXPECT_STREQ(Globals->CycleText.get(), "old");
    p.type(IDC_CYCLE_FIELD2, "5");
    p.click(IDC_CYCLE_INSERT);
  });
  TCycleRun run(nullptr, Params({{"X", kParamDefined}, {"F", kParamDefined | kParamRequired, 0}}),
                TCycleRun::InsertMode);
  EXPECT_EQ(run.Execute(), IDOK);
  EXPECT_STREQ(Globals->CycleText.get(), "X10.000 F5");
}

// A parent that counts the insert-block commands.
class TEditorStandIn : public TWindow {
 public:
  TEditorStandIn() : TWindow(nullptr, "Editor") { Attr.Style = WS_OVERLAPPEDWINDOW; }
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_COMMAND && LOWORD(wp) == kCmInsertBlock) Inserted.push_back(Globals->CycleText.get());
    return TWindow::DefWindowProc(msg, wp, lp);
  }
  std::vector<std::string> Inserted;
};

TEST_F(CycleRun, StayingOpenInsertsOnEveryPressAndTestOnlyShows) {
  Globals->CloseCycleWindowOnInsert = 0;
  TEditorStandIn editor;
  ASSERT_TRUE(editor.Create());
  editor.ShowWindow(SW_SHOW);
  plat::GTestUiDriver driver;
  driver.expect_dialog(TCycleRun::kResourceId, [&](TDialog& d) {
    Pilot p(d);
    p.type(IDC_CYCLE_FIELD1, "2");
    p.click(IDC_CYCLE_INSERT);
    p.click(IDC_CYCLE_INSERT);
    EXPECT_FALSE(d.HasEnded());
    p.click(IDCANCEL);
  });
  TCycleRun run(&editor, Params({{"X", kParamDefined}}), TCycleRun::InsertMode);
  EXPECT_EQ(run.Execute(), IDCANCEL);
  EXPECT_EQ(editor.Inserted, (std::vector<std::string>{"X2.000", "X2.000"}));

  Globals->CycleText.Clear();
  driver.expect_dialog(TCycleRun::kResourceId, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_FALSE(p.visible(IDC_CYCLE_INSERT));
    p.type(IDC_CYCLE_FIELD1, "3");
    driver.expect_message_box(IDOK, "X3.000");
    p.click(IDC_CYCLE_TEST);
    p.click(IDCANCEL);
  });
  TCycleRun test(&editor, Params({{"X", kParamDefined}}), TCycleRun::TestMode);
  test.Execute();
  EXPECT_FALSE(Globals->CycleText.IsSet());
  ASSERT_FALSE(driver.message_boxes().empty());
  EXPECT_EQ(driver.message_boxes().back().caption, "Cycle text");
  editor.Destroy();
}

}  // namespace
