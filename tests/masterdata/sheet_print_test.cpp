// The setup-sheet printout, printed from page 1 to PDF and read back by
// poppler: text by pdftotext -layout, pages by pdfinfo, the frame and the
// title box by pdftoppm's pixels where the 748 x 1079 page puts them.
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "appcore/log_text.h"
#include "masterdata/sheet_print.h"
#include "platform/ui/print.h"
#include "tests/masterdata/sheet_fixture.h"
#include "tests/support/run_command.h"

namespace {

using kvsheets::SheetTest;
using plat::Pilot;

// The lines of a text, blanks at both ends off.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t nl = text.find('\n', start);
    std::string l = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    l.erase(0, l.find_first_not_of(" \f"));
    l.erase(l.find_last_not_of(" \r") + 1);
    lines.push_back(l);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

class SheetPrintTest : public SheetTest {
 protected:
  void SetUp() override {
    SheetTest::SetUp();
    std::filesystem::create_directories(Root() + "/print");
    Globals->GetPrinter().GetSetup().OutputDir = Root() + "/print";
    Globals->GetPrinter().GetSetup().Queue.clear();
    // Formats of our own, so the lines below do not hang on the wording
    // of the shipped texts (which the last test checks).
    const std::pair<int, const char*> texts[] = {
        {kPrintProgramDesc, "Program : %s"}, {kPrintProgramChar3, "Description : %s"},
        {kPrintProgramDraw, "Drawing : %s"}, {kPrintProgramPart, "Part : %s"},
        {kPrintProgramMachine, "Machine : %s"}, {kPrintCustomer, "Customer : %s"},
        {kPrintProject, "Project : %s"}, {kPrintNone, "(none)"},
        {kPrintSheetHeading, "%s - %s"}, {kPrintTextLine, "%s : %s"},
        {kPrintDecimalLine, "%s : %2.4f"}, {kPrintIntegerLine, "%s : %ld"},
        {kPrintFlagOn, "Yes"}, {kPrintFlagOff, "No"},
    };
    for (const auto& [id, text] : texts) Globals->PrintTexts.Set(id, text);
    std::snprintf(Program.CHAR3, sizeof Program.CHAR3, "%s", "Shaft");
    std::snprintf(Program.DRAW, sizeof Program.DRAW, "%s", "D-1");
    std::snprintf(Program.PART, sizeof Program.PART, "%s", "T-1");
    std::snprintf(Program.MACHINE, sizeof Program.MACHINE, "%s", "DMU50");
  }

  // Prints the sheet page 1 shows after before(p) ran on it; the text of
  // the PDF, or "" when nothing was printed.
  std::string Print(const std::function<void(Pilot&)>& before = {}) {
    const std::string last = Globals->GetPrinter().LastFile();
    Page1([&](Pilot& p, TSetupPage1&) {
      if (before) before(p);
      driver.expect_dialog(TPrintDialog::kTemplate, [](TDialog& d) { Pilot(d).click(IDOK); });
      EXPECT_TRUE(p.click(IDC_PAGE1_PRINT));
    });
    Pdf = Globals->GetPrinter().LastFile();
    if (Pdf.empty() || Pdf == last) return "";
    return kvtest::run_command("pdftotext -layout '" + Pdf + "' -");
  }
  int PdfPages() const {
    std::string info = kvtest::run_command("pdfinfo '" + Pdf + "'");
    size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
  }

  std::string Pdf;
};

// The heading, the program block, then one line per labelled field in
// label order: no room for the empty labels of texts 4 and 5, flags as
// their two texts, choices as page 1 shows them now, stored values for
// everything else.
TEST_F(SheetPrintTest, HeadingProgramBlockAndOneLinePerLabelledField) {
  long acme = AddCustomer("ACME");
  Program.CUST = acme;
  Program.PROJECT = AddProject("GEARBOX", acme);
  std::vector<std::string> labels = AllLabels1();
  labels[3] = labels[4] = "";
  long type = AddType("MILL", labels);
  long bar = AddValue(type, 1, "BAR STOCK");
  long alu = AddValue(type, 2, "ALU");
  AddValue(type, 2, "STEEL");
  AddSheet(type, "OP 10", [&](TSheet05Record& r) {
    r.SetComboIndex(0, bar);
    r.SetComboIndex(1, alu);
    for (int k = 0; k < 3; ++k) r.SetText(k, ("t" + std::to_string(k + 1)).c_str());
    r.SetDecimal(0, 2.5);
    r.SetInteger(0, 12);
    r.SetFlag(0, true);
    r.SetFlag(2, true);
  });
  const std::string text = Print([](Pilot& p) {
    p.set_text(IDC_PAGE1_TEXT1, "typed, not stored");
    ASSERT_TRUE(p.select(IDC_PAGE1_CHOICE2, 1));
  });
  EXPECT_EQ(PdfPages(), 1);
  const std::vector<std::string> lines = Lines(text);
  const std::vector<std::string> want = {
      "MILL - OP 10",         "Program : P4711",     "Description : Shaft", "Drawing : D-1",
      "Part : T-1",           "Machine : DMU50",     "Customer : ACME",     "Project : GEARBOX",
      "Text 1 : t1",          "Text 2 : t2",         "Text 3 : t3",         "Decimal 1 : 2.5000",
      "Decimal 2 : 0.0000",   "Decimal 3 : 0.0000",  "Decimal 4 : 0.0000",  "Decimal 5 : 0.0000",
      "Integer 1 : 12",       "Integer 2 : 0",       "Integer 3 : 0",       "Integer 4 : 0",
      "Integer 5 : 0",        "Flag 1 : Yes",        "Flag 2 : No",         "Flag 3 : Yes",
      "Flag 4 : No",          "Flag 5 : No",         "Flag 6 : No",         "Choice 1 : BAR STOCK",
      "Choice 2 : STEEL",     "Choice 3 : (none)",   "Choice 4 : (none)",
  };
  size_t at = 0;
  for (const std::string& w : want) {
    auto found = std::find(lines.begin() + static_cast<long>(at), lines.end(), w);
    ASSERT_NE(found, lines.end()) << "missing or out of order: " << w << "\n" << text;
    at = static_cast<size_t>(found - lines.begin()) + 1;
  }
  // Decimal 1 straight under text 3, every field line under the one before.
  auto index = [&](const std::string& l) { return std::find(lines.begin(), lines.end(), l) - lines.begin(); };
  EXPECT_EQ(index("Decimal 1 : 2.5000"), index("Text 3 : t3") + 1) << text;
  EXPECT_EQ(index("Choice 4 : (none)"), index("Text 1 : t1") + 22) << text;
  EXPECT_EQ(text.find("typed"), std::string::npos);
  EXPECT_NE(text.find("NC program documentation"), std::string::npos) << "the title";
  EXPECT_NE(text.find("Page 1 of 1"), std::string::npos) << "the footer";
}

TEST_F(SheetPrintTest, CustomerAndProjectOrTheNoneText) {
  long acme = AddCustomer("ACME");
  long gearbox = AddProject("GEARBOX", acme);
  long type = AddType("MILL", AllLabels1());
  AddSheet(type, "OP 10");
  struct Case {
    const char* name;
    long customer, project;
    const char* customerLine;
    const char* projectLine;
  };
  const Case cases[] = {
      {"both", acme, gearbox, "Customer : ACME", "Project : GEARBOX"},
      {"no project", acme, 0, "Customer : ACME", "Project : (none)"},
      {"project unknown", acme, 9999, "Customer : ACME", "Project : (none)"},
      {"no customer", 0, gearbox, "Customer : (none)", "Project : (none)"},
      {"customer unknown", 9999, gearbox, "Customer : (none)", "Project : (none)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Program.CUST = c.customer;
    Program.PROJECT = c.project;
    const std::vector<std::string> lines = Lines(Print());
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.customerLine), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.projectLine), lines.end());
  }
}

// A text whose conversions do not fit its values prints as it stands with
// the values after it; a missing text prints the values alone; a type
// without labels prints the header only.
TEST_F(SheetPrintTest, TextsAreFormatsOnlyWhereTheyFit) {
  long labelled = AddType("MILL", AllLabels1());
  AddSheet(labelled, "OP 10", [](TSheet05Record& r) {
    r.SetText(0, "t1");
    r.SetDecimal(0, 2.5);
    r.SetInteger(0, 7);
  });
  Globals->PrintTexts.Set(kPrintTextLine, "%d pieces %s");
  Globals->PrintTexts.Set(kPrintDecimalLine, "");
  Globals->PrintTexts.Set(kPrintIntegerLine, "%s = %n");
  Globals->PrintTexts.Set(kPrintSheetHeading, "%s");
  std::vector<std::string> lines = Lines(Print());
  for (const char* want : {"%s MILL OP 10", "%d pieces %s Text 1 t1", "Decimal 1 2.5", "%s = %n Integer 1 7"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end()) << want;

  long bare = AddType("BARE");
  AddSheet(bare, "OP 20");
  const std::string text = Print([&](Pilot& p) { ASSERT_TRUE(SelectType(p, bare)); });
  EXPECT_NE(text.find("Program : P4711"), std::string::npos) << text;
  for (const char* field : {"Text", "Decimal", "Integer", "Flag", "Choice"})
    EXPECT_EQ(text.find(field), std::string::npos) << field << "\n" << text;
  EXPECT_EQ(PdfPages(), 1);
}

// Rendered by poppler: the frame from (30, 100) to (718, 1029), the title
// box above it, the rules under the heading and the program block.
TEST_F(SheetPrintTest, FrameAndTitleBoxWhereThePagePutsThem) {
  long type = AddType("MILL", AllLabels1());
  AddSheet(type, "OP 10");
  ASSERT_NE(Print(), "");
  std::string pgm = kvtest::run_command("pdftoppm -r 72 -f 1 -l 1 -gray '" + Pdf + "'");
  int w = 0, h = 0, maxv = 0, n = 0;
  ASSERT_EQ(std::sscanf(pgm.c_str(), "P5 %d %d %d%n", &w, &h, &maxv, &n), 3);
  ASSERT_EQ(pgm.size(), static_cast<size_t>(n) + 1 + static_cast<size_t>(w) * h);
  const unsigned char* px = reinterpret_cast<const unsigned char*>(pgm.data()) + n + 1;
  // The darkest pixel near a point of the logical page.
  auto darkest = [&](int lx, int ly) {
    int d = 255;
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx) {
        int x = lx * w / 748 + dx, y = ly * h / 1079 + dy;
        if (x >= 0 && x < w && y >= 0 && y < h) d = std::min(d, static_cast<int>(px[y * w + x]));
      }
    return d;
  };
  EXPECT_LT(darkest(30, 600), 128);    // frame: left
  EXPECT_LT(darkest(718, 600), 128);   // right
  EXPECT_LT(darkest(374, 1029), 128);  // bottom
  EXPECT_LT(darkest(600, 100), 128);   // top
  EXPECT_LT(darkest(600, 130), 128);   // under the heading
  EXPECT_LT(darkest(600, 280), 128);   // under the program block
  EXPECT_LT(darkest(100, 30), 128);    // title box: top
  EXPECT_LT(darkest(30, 50), 128);     // left
  EXPECT_LT(darkest(718, 50), 128);    // right
  EXPECT_EQ(darkest(600, 86), 255);    // between the title box and the frame
  EXPECT_EQ(darkest(740, 600), 255);   // outside the frame
  EXPECT_EQ(darkest(600, 1000), 255);  // below the last field
}

// The shipped texts take the values the printout gives them.
TEST_F(SheetPrintTest, TheShippedTextsFitTheirValues) {
  Globals->PrintTexts.Clear();
  ASSERT_GT(Globals->LoadPrintTexts(44, 0), 0);
  const std::pair<int, std::vector<TFormatValue>> uses[] = {
      {kPrintProgramDesc, {"P1"}},    {kPrintProgramChar3, {"x"}},      {kPrintProgramDraw, {"x"}},
      {kPrintProgramPart, {"x"}},     {kPrintProgramMachine, {"x"}},    {kPrintCustomer, {"x"}},
      {kPrintProject, {"x"}},         {kPrintSheetHeading, {"T", "N"}}, {kPrintTextLine, {"L", "t"}},
      {kPrintDecimalLine, {"L", 2.5}}, {kPrintIntegerLine, {"L", 7L}},
  };
  for (const auto& [id, values] : uses) {
    std::string out;
    EXPECT_TRUE(Globals->PrintTexts.Has(id)) << "PRINTS " << id;
    EXPECT_TRUE(FormatChecked(Globals->PrintTexts.Get(id) ? Globals->PrintTexts.Get(id) : "", values, out))
        << "PRINTS " << id << ": " << (Globals->PrintTexts.Get(id) ? Globals->PrintTexts.Get(id) : "");
  }
  for (int id : {kPrintNone, kPrintFlagOn, kPrintFlagOff}) EXPECT_TRUE(Globals->PrintTexts.Has(id)) << id;
  std::string out;
  EXPECT_TRUE(FormatChecked(Globals->GetMessageText(kMsgPrintFooter), {1, 1, 10, 12, 2026, 18, 30}, out));
}

}  // namespace
