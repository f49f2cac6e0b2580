// The four text rewrites: block numbers in every format, renumbering
// options and their file, spacing and blank removal with comments (also
// across the raw blocks), progress in 64 bits, and Cancel.
#include <vector>

#include "editor/nc_line_options.h"
#include "editor/nc_progress.h"
#include "editor/nc_transforms.h"
#include "platform/ui/application.h"
#include "resources/dialogs/nctools.h"
#include "tests/nctools/nc_fixture.h"

namespace {

using kvnc::NcTest;
using plat::Pilot;

std::vector<std::string> Renumbered(const TUserPreferences& options, const std::vector<std::string>& lines) {
  TRenumbering r(options);
  std::vector<std::string> out;
  std::string line;
  for (const std::string& in : lines) {
    r.Line(in.c_str(), line);
    out.push_back(line);
  }
  return out;
}

TEST(LineNumberText, EveryFormatPadsToItsWidth) {
  struct Case {
    int format, preceding;
    long n;
    const char* text;
  } cases[] = {
      {3, 1, 20, "N0020 "},     {0, 0, 5, "5 "},          {0, 1, 123456, "N123456 "}, {1, 1, 7, "N07 "},
      {1, 1, 123, "N123 "},     {2, 0, 5, "005 "},        {4, 1, 42, "N00042 "},      {5, 1, 1, "N000001 "},
      {6, 0, 1, "0000001 "},    {6, 1, 12345678, "N12345678 "},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatLineNumber(c.n, c.format, c.preceding), c.text) << c.format << " " << c.n;
}

TEST(Renumbering, OptionsDecideWhichLinesGetWhichNumbers) {
  TUserPreferences plain;
  plain.FormatIndex = 0;
  plain.PrecedingN = 0;
  plain.StartNumber = 5;
  plain.IntervalIndex = 0;
  EXPECT_EQ(Renumbered(plain, {"G01", "", "N99 X1", "NEXT", "n7\tG1", "  N5 N6 X2", "123"}),
            (std::vector<std::string>{"5 G01", "6 ", "7 X1", "8 NEXT", "9 G1", "10 X2", "11 "}));

  TUserPreferences excluded;  // N, step 2, from 10
  excluded.Exclusion = "%(";
  EXPECT_EQ(Renumbered(excluded, {"%", "(COMMENT)", "N5(COMMENT)", "G1", "N3  %", ""}),
            (std::vector<std::string>{"%", "(COMMENT)", "(COMMENT)", "N10 G1", "%", "N12 "}));

  TUserPreferences later;
  later.StartLine = 3;
  later.IntervalIndex = 3;
  EXPECT_EQ(Renumbered(later, {"N1 %", "O1000", "N7 G0", "G1"}),
            (std::vector<std::string>{"N1 %", "O1000", "N10 G0", "N20 G1"}));

  TUserPreferences restart;  // 10, 20, then 30 reaches 3 x 10 and starts again
  restart.IntervalIndex = 3;
  restart.RestartValue = 3;
  restart.FormatIndex = 3;
  EXPECT_EQ(Renumbered(restart, {"A", "B", "C", "D", "E"}),
            (std::vector<std::string>{"N0010 A", "N0020 B", "N0010 C", "N0020 D", "N0010 E"}));
  restart.RestartValue = 0;  // 0 and -1 never restart
  EXPECT_EQ(Renumbered(restart, {"A", "B", "C"}).back(), "N0030 C");
}

TEST(Spacing, WordsAreSeparatedAndCommentsStayAsWritten) {
  struct Case {
    const char* in;
    const char* out;  // null: the line gives no text
  } cases[] = {
      {"g01x10.5 y-3", "G01 X10.5 Y-3"},
      {"N10G00(TOOL 1)", "N10 G00(TOOL 1)"},
      {"n10 g00 (tool 1) x1", "N10 G00(tool 1)X1"},
      {"X=5", "X=5"},
      {"X=#1", "X=#1"},
      {"G1#5", "G1 #5"},
      {"x[#1 + 2]y2", "X[#1+2]Y2"},
      {"(open comment x y", "(open comment x y"},
      {"%", "%"},
      {"", nullptr},
      {" \t ", nullptr},
  };
  for (const Case& c : cases) {
    std::string out;
    bool has = SpaceLine(c.in, out);
    EXPECT_EQ(has, c.out != nullptr) << c.in;
    if (c.out) {
      EXPECT_EQ(out, c.out) << c.in;
    }
  }
}

TEST(BlankRemoval, CommentsKeepTheirBlanksUntilTheyCloseOrTheLineEnds) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"G01 X1 (A B)", "G01X1(A B)"},
      {"G1 (A B\r\nX 1 Y\t2\n", "G1(A B\r\nX1Y2\n"},
      {"(A) B (C D) E", "(A)B(C D)E"},
  };
  for (const Case& c : cases) {
    TSpaceRemoval r;
    std::string s = c.in;
    s.resize(r.Block(s.data(), s.size()));
    EXPECT_EQ(s, c.out) << c.in;
  }
}

class Transforms : public NcTest {};

TEST_F(Transforms, RemoveSpacesCarriesTheCommentStateAcrossBlocks) {
  // The comment opens 10 bytes before the first block ends and closes in
  // the second; its blanks stay, the blanks after it go.
  std::string head(199000 - 10, 'X');
  std::string comment = "(A B C D E F G H I J)";
  std::string src = head + comment + " G 1 \r\n( x y\r\nZ 2";
  std::string path = MakeText("in.nc", src);
  ASSERT_EQ(RemoveSpaces(nullptr, path.c_str(), TmpPath("out.nc").c_str(), nullptr), 1);
  EXPECT_EQ(kvdb::ReadFileBytes(TmpPath("out.nc")), head + comment + "G1\r\n( x y\r\nZ2");
}

TEST_F(Transforms, LineRewritesKeepEveryLine) {
  std::string path = MakeText("in.nc", "N10 G01 X1\r\nNEXT\nN20\r\n\r\n  123 \r\n%\r\n(MSG n10 a)\r\nN30 g1 x2 (a b)");
  struct Case {
    int (*transform)(TWindow*, const char*, const char*, TApplication*);
    std::string out;
  } cases[] = {
      {RemoveLineNumbers, "G01 X1\r\nEXT\r\n\r\n\r\n\r\n%\r\n(MSG n10 a)\r\ng1 x2 (a b)"},
      {InsertSpaces, "N10 G01 X1\r\nNEXT\r\nN20\r\n\r\n123\r\n%\r\n(MSG n10 a)\r\nN30 G1 X2(a b)"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(c.transform(nullptr, path.c_str(), TmpPath("out.nc").c_str(), nullptr), 1);
    EXPECT_EQ(kvdb::ReadFileBytes(TmpPath("out.nc")), c.out);
  }
}

TEST_F(Transforms, EmptyAndMissingFiles) {
  std::string empty = MakeText("empty.nc", "");
  for (auto* t : {RemoveLineNumbers, InsertSpaces, RemoveSpaces}) {
    EXPECT_EQ(t(nullptr, empty.c_str(), TmpPath("out.nc").c_str(), nullptr), 1);
    EXPECT_EQ(kvdb::ReadFileBytes(TmpPath("out.nc")), "");
    EXPECT_EQ(t(nullptr, TmpPath("none.nc").c_str(), TmpPath("out2.nc").c_str(), nullptr), 0);
    EXPECT_FALSE(std::filesystem::exists(TmpPath("out2.nc")));
    EXPECT_EQ(t(nullptr, empty.c_str(), TmpPath("no/such/dir/out.nc").c_str(), nullptr), 0);
  }
}

TEST(ProgressPercent, LargeFilesDoNotOverflow) {
  EXPECT_EQ(TProgressRun::Percent(22000000, 25000000), 88);
  EXPECT_EQ(TProgressRun::Percent(15000000000LL, 30000000000LL), 50);
  EXPECT_EQ(TProgressRun::Percent(5, 0), 0);
  EXPECT_EQ(TProgressRun::Percent(30, 20), 100);
}

// A parent window that presses the progress window's Cancel when a posted
// message reaches it, as a user's click arrives while the work runs.
class TCancellingParent : public TWindow {
 public:
  static constexpr UINT kPress = WM_USER + 77;
  TCancellingParent() : TWindow(nullptr, "Editor") { Attr.Style = WS_OVERLAPPEDWINDOW; }
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == kPress) {
      for (TWindow* c : GetChildren())
        if (auto* d = dynamic_cast<ProgressDialog*>(c)) {
          Bar = d->Bar() != nullptr;
          Caption = d->GetText();
          Pilot(*d).click(IDCANCEL);
          Pressed++;
          return 0;
        }
      return 0;
    }
    return TWindow::DefWindowProc(msg, wp, lp);
  }
  int Pressed = 0;
  bool Bar = false;
  std::string Caption;
};

TEST_F(Transforms, CancelInTheProgressWindowStopsEveryTransform) {
  std::string text;
  for (int i = 0; i < 5000; i++) text += "N" + std::to_string(i) + " G01 X1 Y2\r\n";
  std::string path = MakeText("in.nc", text);
  TApplication app("test");
  TCancellingParent parent;
  ASSERT_TRUE(parent.Create());
  parent.ShowWindow(SW_SHOW);
  plat::GTestUiDriver driver;
  // The press waits in the queue until the work lets it run.
  driver.expect_dialog(TLineOptionDialog::kResourceId, [&](TDialog& d) {
    EXPECT_TRUE(Pilot(d).click(IDOK));
    parent.PostMessage(TCancellingParent::kPress);
  });
  for (auto* t : {RenumberLines, RemoveLineNumbers, InsertSpaces, RemoveSpaces}) {
    parent.Pressed = 0;
    if (t != RenumberLines) parent.PostMessage(TCancellingParent::kPress);
    EXPECT_EQ(t(&parent, path.c_str(), TmpPath("out.nc").c_str(), &app), 0);
    EXPECT_EQ(parent.Pressed, 1);
    EXPECT_TRUE(parent.Bar);
    EXPECT_EQ(parent.Caption, t == RenumberLines ? "Renumbering..." : "Progress");
  }
  // Without a press the same run completes.
  EXPECT_EQ(RemoveLineNumbers(&parent, path.c_str(), TmpPath("out.nc").c_str(), &app), 1);
  parent.Destroy();
}

TEST_F(Transforms, RenumberOptionsComeFromTheDialogAndItsFile) {
  std::string path = MakeText("in.nc", "%\r\nN5 G0\r\nG1\r\n(END)");
  plat::GTestUiDriver driver;
  // No preference file: the defaults.
  driver.expect_dialog(TLineOptionDialog::kResourceId, [&driver](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_LINE_NUMBERS_FIRST_NUMBER), "10");
    EXPECT_EQ(p.text(IDC_LINE_NUMBERS_FIRST_LINE), "1");
    EXPECT_EQ(p.text(IDC_LINE_NUMBERS_RESTART), "-1");
    EXPECT_EQ(p.selection(IDC_LINE_NUMBERS_FORMAT), 0);
    EXPECT_EQ(p.selection(IDC_LINE_NUMBERS_INTERVAL), 1);
    EXPECT_TRUE(p.checked(IDC_LINE_NUMBERS_PRECEDING_N));
    EXPECT_EQ(p.lines(IDC_LINE_NUMBERS_FORMAT).back(), "N0000001");
    p.select(IDC_LINE_NUMBERS_FORMAT, 2);
    p.set_text(IDC_LINE_NUMBERS_EXCLUSION, "%(");
    p.set_text(IDC_LINE_NUMBERS_FIRST_NUMBER, "");
    p.click(IDOK);  // an empty start number keeps the dialog open
    EXPECT_FALSE(d.HasEnded());
    EXPECT_TRUE(p.focused(IDC_LINE_NUMBERS_FIRST_NUMBER));
    p.set_text(IDC_LINE_NUMBERS_FIRST_NUMBER, "500001");
    driver.expect_message_box(IDOK);
    p.click(IDOK);  // out of range
    EXPECT_FALSE(d.HasEnded());
    p.set_text(IDC_LINE_NUMBERS_FIRST_NUMBER, "100");
    p.set_text(IDC_LINE_NUMBERS_RESTART, "");
    p.click(IDOK);
    EXPECT_TRUE(p.focused(IDC_LINE_NUMBERS_RESTART));
    p.set_text(IDC_LINE_NUMBERS_RESTART, "100");
    p.click(IDOK);
  });
  ASSERT_EQ(RenumberLines(nullptr, path.c_str(), TmpPath("out.nc").c_str(), nullptr), 1);
  EXPECT_EQ(kvdb::ReadFileBytes(TmpPath("out.nc")), "%\r\nN100 G0\r\nN102 G1\r\n(END)");

  // The file holds what was entered; a new process reads all of it back.
  *UserPreferences = TUserPreferences();
  UserPreferences->FormatIndex = 6;
  ASSERT_TRUE(UserPreferences->Load());
  EXPECT_EQ(UserPreferences->FormatIndex, 2);
  EXPECT_EQ(UserPreferences->IntervalIndex, 1);
  EXPECT_EQ(UserPreferences->StartNumber, 100);
  EXPECT_EQ(UserPreferences->StartLine, 1);
  EXPECT_EQ(UserPreferences->RestartValue, 100);
  EXPECT_EQ(UserPreferences->Exclusion, "%(");
  EXPECT_EQ(UserPreferences->PrecedingN, 1);
  std::string bytes = kvdb::ReadFileBytes(Root() + "/cfg/KELVANE.PRF");
  EXPECT_EQ(bytes.size(), 26u);
  EXPECT_EQ(bytes.substr(24), "%(");
  EXPECT_EQ(bytes[12], 100);

  // Cancel: the changed list choice stays in memory, nothing is written or run.
  driver.expect_dialog(TLineOptionDialog::kResourceId, [](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_LINE_NUMBERS_EXCLUSION), "%(");
    p.select(IDC_LINE_NUMBERS_FORMAT, 5);
    p.click(IDCANCEL);
  });
  EXPECT_EQ(RenumberLines(nullptr, path.c_str(), TmpPath("out3.nc").c_str(), nullptr), 0);
  EXPECT_FALSE(std::filesystem::exists(TmpPath("out3.nc")));
  EXPECT_EQ(UserPreferences->FormatIndex, 5);
  EXPECT_EQ(kvdb::ReadFileBytes(Root() + "/cfg/KELVANE.PRF"), bytes);
}

}  // namespace
