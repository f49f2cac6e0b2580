// The control through its messages alone, as the editor drives it.
#include "platform/ledit/control.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/msgbox.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/dc.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/print.h"
#include "tests/ledit/ledit_support.h"
#include "tests/platform/file_sandbox.h"
#include "tests/support/run_command.h"

using namespace ledittest;

namespace {

class LeditControl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(parent.Create());
    ctl = new LEditControl(&parent, 77, nullptr, 0, 0, 400, 160);
    ASSERT_TRUE(ctl->Create());
    h = ctl->GetHandle();
  }
  void TearDown() override { parent.Destroy(); }
  Recorder parent;
  LEditControl* ctl = nullptr;
  HWND h = nullptr;
};

TEST_F(LeditControl, LoadCountsBytesAndSaveWritesThemBack) {
  FileSandbox box;
  std::string text = "%\r\nO1000\r\nN10 G00 X0 Y0\r\nM30\r\n";
  FileSandbox::put(box.c("P1.NC"), text);
  EXPECT_EQ(LOWORD(::SendMessage(h, LEM_LOADFILE, 0, reinterpret_cast<LPARAM>("C:\\P1.NC"))), 0);
  EXPECT_EQ(::SendMessage(h, LEM_GETLENGTH, 1, 0), static_cast<LRESULT>(text.size()));
  EXPECT_EQ(::SendMessage(h, LEM_GETLINECOUNT, 0, 0), 5);
  EXPECT_EQ(::SendMessage(h, LEM_GETSTATE, 15, 0), 0);
  EXPECT_EQ(line_of(h, 3), "N10 G00 X0 Y0");
  EXPECT_EQ(line_of(h, 5), "");
  EXPECT_EQ(line_of(h, 6), "<failed>");
  EXPECT_EQ(line_of(h, 0), "<failed>");  // lines count from 1

  select(h, 2, lcol_end_of_line, 2, lcol_end_of_line);
  type(h, " (PART)");
  EXPECT_EQ(::SendMessage(h, LEM_GETSTATE, 2, 0), 2);
  EXPECT_EQ(::SendMessage(h, LEM_GETSTATE, 15, 0), 2);
  EXPECT_EQ(::SendMessage(h, LEM_SAVEFILE, 0, reinterpret_cast<LPARAM>("C:\\P2.NC")), 0);
  std::ifstream in(box.c("P2.NC"), std::ios::binary);
  std::string saved{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(saved, "%\r\nO1000 (PART)\r\nN10 G00 X0 Y0\r\nM30\r\n");
  EXPECT_EQ(::SendMessage(h, LEM_GETLENGTH, 1, 0), static_cast<LRESULT>(saved.size()));

  ::SendMessage(h, LEM_SETSTATE, 1, 0);
  ::SendMessage(h, LEM_SETSTATE, 2, 0);
  EXPECT_EQ(::SendMessage(h, LEM_GETSTATE, 15, 0), 3);
  ::SendMessage(h, LEM_SETSTATE, 0, 15);
  EXPECT_EQ(::SendMessage(h, LEM_GETSTATE, 15, 0), 0);

  // A failed load says why and keeps the text.
  LRESULT r = ::SendMessage(h, LEM_LOADFILE, 0, reinterpret_cast<LPARAM>("C:\\MISSING.NC"));
  EXPECT_NE(LOWORD(r), 0);
  char why[200];
  LEditBuffer b{why, sizeof why};
  EXPECT_GT(::SendMessage(h, LEM_GETLASTERROR, 0, reinterpret_cast<LPARAM>(&b)), 0);
  EXPECT_NE(std::string(why).find("MISSING.NC"), std::string::npos);
  EXPECT_EQ(line_of(h, 2), "O1000 (PART)");
}

TEST_F(LeditControl, BuffersAreNeverWrittenPastTheirSize) {
  ::SendMessage(h, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>("G01 X123456\r\nM30"));
  struct Case {
    UINT msg;
    size_t size;
    LRESULT want;
    const char* text;
  } cases[] = {
      {LEM_COPYALLTEXT, 17, 0, "G01 X123456\r\nM30"},
      {LEM_COPYALLTEXT, 16, -1, ""},
      {LEM_GETTEXT, 17, 0, "G01 X123456\r\nM30"},
      {LEM_GETTEXT, 3, -1, ""},
  };
  for (const Case& c : cases) {
    std::vector<char> buf(c.size + 1, '#');
    LEditBuffer b{buf.data(), c.size};
    EXPECT_EQ(::SendMessage(h, c.msg, 1, reinterpret_cast<LPARAM>(&b)), c.want) << c.msg << " size " << c.size;
    EXPECT_STREQ(buf.data(), c.text);
    EXPECT_EQ(buf[c.size], '#');
  }
  EXPECT_EQ(line_of(h, 1, 12), "G01 X123456");
  EXPECT_EQ(line_of(h, 1, 11), "<failed>");
  // A line far longer than any fixed buffer is kept whole.
  std::string longLine(100000, 'X');
  ::SendMessage(h, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>(longLine.c_str()));
  EXPECT_EQ(line_of(h, 1, longLine.size() + 1), longLine);
}

TEST_F(LeditControl, SelectionRecordsCaretAndEndOfLine) {
  ::SendMessage(h, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>("N10 G01\r\nN20\r\n"));
  EXPECT_EQ(::SendMessage(h, LEM_HASSEL, 0, 0), 0);
  select(h, 1, 4, 2, lcol_end_of_line);
  SelectionRange r = selection(h);
  EXPECT_EQ(r.startLine, 1u);
  EXPECT_EQ(r.startCol, 4);
  EXPECT_EQ(r.endLine, 2u);
  EXPECT_EQ(r.endCol, 3);
  EXPECT_GT(::SendMessage(h, LEM_HASSEL, 0, 0), 0);
  // Lines and columns beyond the text are held at its end.
  select(h, 9, 50, 9, 50);
  r = selection(h);
  EXPECT_EQ(r.startLine, 3u);
  EXPECT_EQ(r.startCol, 0);
  EXPECT_EQ(::SendMessage(h, LEM_HASSEL, 0, 0), 0);
  EXPECT_EQ(::SendMessage(h, LEM_PING, 0, lping_question), lping_answer);
  EXPECT_EQ(::SendMessage(h, LEM_PING, 0, 1), 0);
}

TEST_F(LeditControl, KeysSelectTypeCopyPasteUndoAndNotify) {
  ::SendMessage(h, LEM_BIND, 1000, reinterpret_cast<LPARAM>(parent.GetHandle()));
  ::SendMessage(h, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>("G00 X0\r\nG01 Y5\r\n"));
  int changes = parent.count(1000, LEN_CHANGE);
  key(h, VK_END);
  key(h, VK_LEFT, true);
  key(h, VK_LEFT, true);
  SelectionRange r = selection(h);
  EXPECT_EQ(r.startCol, 4);
  EXPECT_EQ(r.endCol, 6);
  ::SendMessage(h, WM_COPY, 0, 0);
  EXPECT_EQ(plat::clipboard_text(), "X0");
  key(h, VK_DOWN);  // leaves the selection at its caret end, one line down
  key(h, VK_END);
  ::SendMessage(h, WM_PASTE, 0, 0);
  type(h, "\r");
  type(h, "M30");
  EXPECT_EQ(all_text(h), "G00 X0\r\nG01 Y5X0\r\nM30\r\n");
  EXPECT_GT(parent.count(1000, LEN_CHANGE), changes);

  // Typing undoes as one, paste as another.
  ::SendMessage(h, WM_COMMAND, LEC_UNDO, 0);
  EXPECT_EQ(all_text(h), "G00 X0\r\nG01 Y5X0\r\n");
  ::SendMessage(h, LEM_UNDO, 0, 0);
  EXPECT_EQ(all_text(h), "G00 X0\r\nG01 Y5\r\n");
  ::SendMessage(h, WM_COMMAND, LEC_REDO, 0);
  EXPECT_EQ(all_text(h), "G00 X0\r\nG01 Y5X0\r\n");
  EXPECT_EQ(::SendMessage(h, LEM_CANDO, LEC_REDO, 0), 1);

  // Backspace and Delete take CR LF as one.
  select(h, 2, 0, 2, 0);
  type(h, "\b");
  EXPECT_EQ(line_of(h, 1), "G00 X0G01 Y5X0");
  key(h, VK_INSERT);
  EXPECT_EQ(parent.count(1000, LEN_OVERTYPEMODE), 1);
  type(h, "ZZ");
  EXPECT_EQ(line_of(h, 1), "G00 X0ZZ1 Y5X0");
  ::SendMessage(h, LEM_SETTYPING, 1, 0);
  EXPECT_EQ(parent.count(1000, LEN_INSERTMODE), 1);

  // Read-only refuses every change and beeps.
  int beeps = plat::beep_count();
  ::SendMessage(h, LEM_SETREADONLY, 1, 0);
  type(h, "Q");
  ::SendMessage(h, WM_PASTE, 0, 0);
  ::SendMessage(h, WM_CLEAR, 1, 0);
  EXPECT_EQ(line_of(h, 1), "G00 X0ZZ1 Y5X0");
  EXPECT_GE(plat::beep_count(), beeps + 3);
  EXPECT_EQ(::SendMessage(h, LEM_CANDO, LEC_PASTE, 0), 0);
  ::SendMessage(h, LEM_SETREADONLY, 0, 0);
  ::SendMessage(h, WM_CLEAR, 1, 0);
  EXPECT_EQ(::SendMessage(h, LEM_GETLENGTH, 1, 0), 0);
}

TEST_F(LeditControl, CommandsDuplicateSelectAllAndAnswerEnabling) {
  ::SendMessage(h, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>("A1\r\nB2"));
  ::SendMessage(h, LEM_TEXTREPLACED, 0, 0);
  EXPECT_EQ(::SendMessage(h, LEM_CANDO, LEC_UNDO, 0), 0);
  EXPECT_EQ(::SendMessage(h, LEM_CANDO, LEC_COPY, 0), 0);
  EXPECT_EQ(::SendMessage(h, LEM_CANDO, 0, 0), 0);
  ::SendMessage(h, WM_COMMAND, LEC_DUPLICATE, 0);
  EXPECT_EQ(all_text(h), "A1\r\nA1\r\nB2");
  select(h, 3, 0, 3, lcol_end_of_line);
  ::SendMessage(h, WM_COMMAND, LEC_DUPLICATE, 0);
  EXPECT_EQ(all_text(h), "A1\r\nA1\r\nB2B2");
  ::SendMessage(h, WM_COMMAND, LEC_DUPLICATE, 0);
  EXPECT_EQ(all_text(h), "A1\r\nA1\r\nB2B2B2");
  ::SendMessage(h, WM_COMMAND, LEC_SELECTALL, 0);
  EXPECT_EQ(::SendMessage(h, LEM_CANDO, LEC_COPY, 0), 1);
  ::SendMessage(h, WM_COMMAND, LEC_CUT, 0);
  EXPECT_EQ(plat::clipboard_text(), "A1\r\nA1\r\nB2B2B2");
  EXPECT_EQ(::SendMessage(h, LEM_GETLENGTH, 1, 0), 0);
}

TEST_F(LeditControl, FindReplaceAndGotoDialogs) {
  plat::GTestUiDriver driver;
  ::SendMessage(h, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>("G01 X1\r\ng01 X2\r\nG010 X3\r\nG01 X4\r\n"));
  driver.expect_dialog(32700, [](TDialog& d) {
    d.SetDlgItemText(101, "g01");
    d.SendDlgItemMessage(102, BM_SETCHECK, BST_CHECKED);
    d.SendMessage(WM_COMMAND, IDOK, 0);
  });
  ::SendMessage(h, WM_COMMAND, LEC_FIND, 0);
  SelectionRange r = selection(h);
  EXPECT_EQ(r.startLine, 2u);
  EXPECT_EQ(r.endCol, 3);
  driver.expect_message_box(IDOK, "Cannot find \"g01\"");
  ::SendMessage(h, WM_COMMAND, LEC_FINDNEXT, 0);

  driver.expect_dialog(32701, [](TDialog& d) {
    d.SetDlgItemText(101, "G01");
    d.SetDlgItemText(105, "G1");
    EXPECT_EQ(d.SendDlgItemMessage(102, BM_GETCHECK), BST_CHECKED);  // kept from the find
    d.SendDlgItemMessage(102, BM_SETCHECK, BST_UNCHECKED);
    d.SendDlgItemMessage(103, BM_SETCHECK, BST_CHECKED);
    d.SendMessage(WM_COMMAND, 107, 0);  // replace all
  });
  ::SendMessage(h, WM_COMMAND, LEC_REPLACE, 0);
  EXPECT_EQ(all_text(h), "G1 X1\r\nG1 X2\r\nG010 X3\r\nG1 X4\r\n");
  ::SendMessage(h, LEM_UNDO, 0, 0);
  EXPECT_EQ(line_of(h, 4), "G01 X4");

  driver.expect_dialog(32702, [](TDialog& d) {
    d.SetDlgItemText(101, "99");
    d.SendMessage(WM_COMMAND, IDOK, 0);  // no such line: stays open
    EXPECT_FALSE(d.HasEnded());
    d.SetDlgItemText(101, "3");
    d.SendMessage(WM_COMMAND, IDOK, 0);
  });
  ::SendMessage(h, WM_COMMAND, LEC_GOTOLINE, 0);
  r = selection(h);
  EXPECT_EQ(r.startLine, 3u);
  EXPECT_EQ(r.startCol, 0);
}

// Paints what it is asked about, so the test sees the callbacks.
class Colouring : public LEditControl {
 public:
  using LEditControl::LEditControl;
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == LEM_TOKENCOLOR) {
      const char* rec = reinterpret_cast<const char*>(lp);
      uint16_t cls;
      std::memcpy(&cls, rec + ltoken_class_at, 2);
      Tokens.push_back(std::to_string(cls) + ":" + std::string(rec + ltoken_text_at));
      if (cls == LTOK_INTEGER) reinterpret_cast<TDC*>(wp)->SetTextColor(0x0000FF);
      return 0;
    }
    return LEditControl::DefWindowProc(msg, wp, lp);
  }
  std::vector<std::string> Tokens;
};

TEST_F(LeditControl, PaintsOnlyVisibleLinesAndAsksForTokenColours) {
  auto* c = new Colouring(&parent, 78, nullptr, 0, 0, 300, 60);
  ASSERT_TRUE(c->Create());
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "N" + std::to_string(i) + " G1 X" + std::to_string(i) + ".5\r\n";
  ::SendMessage(*c, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>(text.c_str()));
  unsigned char table[] = {1, 1, 'X', 3};
  ::SendMessage(*c, LEM_SETCHARTABLE, (0 << 8) + 2, reinterpret_cast<LPARAM>(table));
  plat::DrawRecord rec = plat::paint_window(*c);
  int texts = 0;
  for (const plat::DrawOp& op : rec) texts += op.kind == plat::DrawOp::Text;
  int lines = 60 / c->Metrics().lineHeight;
  EXPECT_LE(texts, (lines + 1) * 8);
  ASSERT_GE(c->Tokens.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(c->Tokens.begin(), c->Tokens.begin() + 5),
            (std::vector<std::string>{"1:N", "8193:0", "1:G", "8193:1", "32768:X"}));
  bool blue = false;
  for (const plat::DrawOp& op : rec)
    blue |= op.kind == plat::DrawOp::Text && op.text == "1" && op.textColor == 0x0000FF;
  EXPECT_TRUE(blue);

  // Going to the last line paints the last lines, no others.
  ::SendMessage(*c, WM_COMMAND, 0, 0);
  c->Tokens.clear();
  select(*c, 5000, 0, 5000, 0);
  rec = plat::paint_window(*c);
  bool sawLast = false;
  for (const plat::DrawOp& op : rec) sawLast |= op.kind == plat::DrawOp::Text && op.text == "4999";
  EXPECT_TRUE(sawLast);
  EXPECT_LE(c->Tokens.size(), static_cast<size_t>((lines + 1) * 6));
}

}  // namespace

namespace {

TEST_F(LeditControl, RawPrintWritesEveryLineToPagesOfAPdf) {
  FileSandbox box;
  ctl->Printer().GetSetup().OutputDir = box.dir();
  std::string text;
  for (int i = 1; i <= 150; ++i) text += "N" + std::to_string(i) + "\tG01 X" + std::to_string(i) + "\r\n";
  ::SendMessage(h, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>(text.c_str()));
  plat::GTestUiDriver driver;
  driver.expect_dialog(TPrintSetupDialog::kTemplate, [](TDialog& d) { d.SendMessage(WM_COMMAND, IDOK, 0); });
  ::SendMessage(h, WM_COMMAND, LEC_PRINTSETUP, 0);
  driver.expect_dialog(TPrintDialog::kTemplate, [](TDialog& d) { d.SendMessage(WM_COMMAND, IDOK, 0); });
  driver.expect_message_box(IDOK, "Untitled was printed to " + box.dir());
  ::SendMessage(h, WM_COMMAND, LEC_RAWPRINT, 0);
  std::string pdf = ctl->Printer().LastFile();
  ASSERT_TRUE(std::filesystem::exists(pdf)) << ctl->Printer().GetErrorText();
  EXPECT_NE(driver.message_boxes().back().text.find(pdf), std::string::npos);
  EXPECT_GE(ctl->Printer().LastPageCount(), 2);
  std::string raw = kvtest::run_command("pdftotext -layout '" + pdf + "' -"), out;
  for (char c : raw)  // the tab's width in spaces is the reader's guess
    if (!(c == ' ' && !out.empty() && out.back() == ' ')) out += c;
  size_t first = out.find("N1 G01 X1\n"), last = out.find("N150 G01 X150\n");
  EXPECT_NE(first, std::string::npos) << out.substr(0, 300);
  EXPECT_NE(last, std::string::npos);
  EXPECT_LT(first, last);
}

}  // namespace

namespace {

TEST_F(LeditControl, MouseClicksPlaceTheCaretShiftExtendsDoubleClickTakesAWord) {
  ::SendMessage(h, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>("N10 G01 X5\r\nN20\tM30"));
  LOGFONT lf{};
  lf.lfHeight = -16;
  std::strcpy(lf.lfFaceName, "Courier New");
  ::SendMessage(h, LEM_SETFONT, 0, reinterpret_cast<LPARAM>(&lf));
  int lineH = ctl->Metrics().lineHeight;
  TClientDC dc(h);
  TFont font(lf);
  dc.SelectObject(font);
  auto x_of = [&](const char* prefix) { return dc.GetTextExtent(prefix).cx; };
  ::SendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x_of("N10 G") + 1, lineH / 2));
  ::SendMessage(h, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(ctl->CaretPos(), 5u);
  EXPECT_EQ(ctl->AnchorPos(), 5u);
  // The tab stands for spaces up to column 8.
  ::SendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(x_of("N20     M") + 1, lineH + lineH / 2));
  EXPECT_EQ(ctl->AnchorPos(), 5u);
  EXPECT_EQ(ctl->CaretPos(), 17u);
  ::SendMessage(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5000, lineH / 2));  // dragged right past the end
  EXPECT_EQ(ctl->CaretPos(), 10u);
  ::SendMessage(h, WM_LBUTTONUP, 0, 0);
  ::SendMessage(h, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x_of("N10 G0"), lineH / 2));
  EXPECT_EQ(ctl->AnchorPos(), 4u);
  EXPECT_EQ(ctl->CaretPos(), 7u);
}

}  // namespace

namespace {

TEST_F(LeditControl, ScrollingFollowsTheCaretAndTellsTheParent) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "N" + std::to_string(i) + "\r\n";
  text += std::string(400, 'X');
  ::SendMessage(h, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>(text.c_str()));
  select(h, 1, 0, 1, 0);
  size_t page = ctl->Metrics().pageLines;
  // The scroll bars take their room from the lines that fit.
  ::SendMessage(h, LEM_SETOPTIONWORD, 0, 0x30000);
  EXPECT_LT(ctl->Metrics().pageLines, page);
  page = ctl->Metrics().pageLines;
  parent.Notes.clear();
  key(h, VK_NEXT);
  EXPECT_EQ(ctl->Metrics().topLine, page);
  EXPECT_GE(parent.count(77, LEN_VSCROLL), 1);
  ::SendMessage(h, WM_VSCROLL, SB_LINEUP, 0);
  EXPECT_EQ(ctl->Metrics().topLine, page - 1);
  ::SendMessage(h, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
  EXPECT_EQ(ctl->Metrics().topLine, page + 2);
  ::SendMessage(h, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 100), 0);
  EXPECT_EQ(ctl->Metrics().topLine, 100u);
  // The long last line scrolls sideways to show the caret at its end.
  key(h, VK_END, false, true);
  EXPECT_EQ(ctl->Metrics().topLine + page - 1, 300u);
  EXPECT_GT(ctl->Metrics().leftPx, 0);
  EXPECT_GE(parent.count(77, LEN_HSCROLL), 1);
  plat::ledit::ViewMetrics m = ctl->Metrics();
  EXPECT_GT(m.caret.left, 0);
  EXPECT_LE(m.caret.right, 400 - m.barPx);
  key(h, VK_HOME, false, true);
  EXPECT_EQ(ctl->Metrics().topLine, 0u);
  EXPECT_EQ(ctl->Metrics().leftPx, 0);
}

}  // namespace
