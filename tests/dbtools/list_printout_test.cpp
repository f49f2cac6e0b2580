// The program list print-out, printed from the main frame to PDF and read
// back by poppler: pages by pdfinfo, text by pdftotext, the frame, band and
// rules by pdftoppm's pixels where the 748 x 1079 page puts them.
// Covers: dbtools/list_printout.cpp, dbtools/program_set_commands.cpp
#include <gtest/gtest.h>

#include <cstdlib>

#include "dbtools/list_printout.h"
#include "tests/dbtools/program_sets_fixture.h"

namespace {

using kvsets::Program;

class ListPrintoutTest : public kvsets::ProgramSetTest {
 protected:
  void SetUp() override {
    ProgramSetTest::SetUp();
    std::filesystem::create_directories(Native("print"));
    Globals->GetPrinter().GetSetup().OutputDir = Native("print");
    Globals->GetPrinter().GetSetup().Queue.clear();
  }

  // Programs P01.. of a new customer of that name.
  void AddPrograms(const std::string& company, int n) {
    long c = AddCustomer(company);
    for (int i = 1; i <= n; ++i) {
      char desc[16];
      std::snprintf(desc, sizeof desc, "P%02d", i);
      AddProgram({desc, "DMU50", "Text " + std::string(desc), "D" + std::string(desc), "T" + std::string(desc), c});
    }
  }

  // Prints the customer's list; the pages asked for (0: all). The PDF's path.
  std::string Print(const std::string& company, int from = 0, int to = 0, int wantPages = 0) {
    ExpectCustomer(company);
    driver.expect_dialog(TPrintDialog::kTemplate, [=](TDialog& d) {
      plat::Pilot p(d);
      // Pages 1 to the page count are offered, all of them chosen.
      EXPECT_EQ(p.text(TPrintDialog::IdFrom), "1");
      EXPECT_EQ(p.text(TPrintDialog::IdTo), std::to_string(wantPages));
      if (from) {
        p.set_text(TPrintDialog::IdFrom, std::to_string(from));
        p.set_text(TPrintDialog::IdTo, std::to_string(to));
      }
      p.click(IDOK);
    });
    Run(kCmPrintProgramsForCustomer);
    return Globals->GetPrinter().LastFile();
  }

  static int PdfPages(const std::string& pdf) {
    std::string info = kvtest::run_command("pdfinfo '" + pdf + "'");
    std::size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
  }
  static std::string PdfText(const std::string& pdf) {
    return kvtest::run_command("pdftotext -layout '" + pdf + "' -");
  }
};

TEST_F(ListPrintoutTest, SevenProgramsToAPage) {
  const std::pair<int, int> cases[] = {{7, 1}, {8, 2}, {14, 2}, {15, 3}};
  for (const auto& [programs, pages] : cases) {
    const std::string company = "C" + std::to_string(programs);
    AddPrograms(company, programs);
    const std::string pdf = Print(company, 0, 0, pages);
    EXPECT_EQ(PdfPages(pdf), pages) << programs << " programs";
    const std::string text = PdfText(pdf);
    // Every program once, in DESC order.
    std::size_t at = 0;
    for (int i = 1; i <= programs; ++i) {
      char desc[16];
      std::snprintf(desc, sizeof desc, ": P%02d", i);
      std::size_t found = text.find(desc, at);
      EXPECT_NE(found, std::string::npos) << desc << "\n" << text;
      if (found != std::string::npos) at = found;
    }
    EXPECT_NE(text.find("Page " + std::to_string(pages) + " of " + std::to_string(pages)), std::string::npos);
  }
}

// Page 2 alone of two shows the eighth program and no other, under the
// heading and band, with its own footer.
TEST_F(ListPrintoutTest, ASecondPageAloneShowsItsOwnPrograms) {
  AddPrograms("ACME", 8);
  const std::string pdf = Print("ACME", 2, 2, 2);
  EXPECT_EQ(PdfPages(pdf), 1);
  const std::string text = PdfText(pdf);
  EXPECT_NE(text.find("NC program documentation"), std::string::npos) << text;
  EXPECT_NE(text.find("Customer: ACME"), std::string::npos) << text;
  EXPECT_NE(text.find(": P08"), std::string::npos) << text;
  for (const char* other : {": P01", ": P07"}) EXPECT_EQ(text.find(other), std::string::npos) << other;
  for (const char* line : {": Text P08", ": DP08", ": TP08", ": DMU50", "K:\\MILL1\\P"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  EXPECT_NE(text.find("Page 2 of 2"), std::string::npos) << text;
}

// Rendered by poppler: the frame, the grey band, each block's rule, white
// between them; logical points scaled onto the rendered page.
TEST_F(ListPrintoutTest, FrameBandAndRulesWhereThePagePutsThem) {
  AddPrograms("ACME", 7);
  const std::string pdf = Print("ACME", 0, 0, 1);
  std::string pgm = kvtest::run_command("pdftoppm -r 72 -f 1 -l 1 -gray '" + pdf + "'");
  int w = 0, h = 0, maxv = 0, n = 0;
  ASSERT_EQ(std::sscanf(pgm.c_str(), "P5 %d %d %d%n", &w, &h, &maxv, &n), 3);
  const unsigned char* px = reinterpret_cast<const unsigned char*>(pgm.data()) + n + 1;
  auto at = [&](int lx, int ly) { return static_cast<int>(px[(ly * h / 1079) * w + lx * w / 748]); };
  // The darkest pixel near a point, for lines thinner than a pixel.
  auto darkest = [&](int lx, int ly) {
    int d = 255;
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx)
        d = std::min(d, static_cast<int>(px[(ly * h / 1079 + dy) * w + lx * w / 748 + dx]));
    return d;
  };
  EXPECT_EQ(at(45, 115), 192);   // the band
  EXPECT_LT(darkest(30, 600), 128);   // left edge of the frame
  EXPECT_LT(darkest(718, 600), 128);  // right edge
  EXPECT_LT(darkest(374, 1029), 128);  // bottom
  for (int k = 0; k < 7; ++k) EXPECT_LT(darkest(600, 140 + 114 * k + 104), 128) << "rule " << k;
  EXPECT_EQ(darkest(600, 980), 255);  // below the last rule
  EXPECT_EQ(darkest(740, 600), 255);  // outside the frame
}

// A value is neither cut nor wrapped: a long path runs out of the frame and
// is clipped at the page's right edge.
TEST_F(ListPrintoutTest, LongPathIsClippedAtThePageEdge) {
  TProgramList programs;
  programs.push_back(std::make_unique<TcbFileRecord>());
  std::string dir = "K:\\" + std::string(96, 'D') + "\\";
  CopyCut(programs[0]->DIR, sizeof programs[0]->DIR, dir.c_str());
  CopyCut(programs[0]->NAME, sizeof programs[0]->NAME, "P1");
  CopyCut(programs[0]->EXT, sizeof programs[0]->EXT, "NC");
  TPrintListMach out("MILL1", std::move(programs));
  EXPECT_EQ(out.PageCount(), 1);
  TPrintDC dc(Globals->GetPrinter().GetSetup());
  out.SetPrintParams(&dc, dc.DeviceSize());
  dc.StartDoc("Listing");
  dc.StartPage();
  TRect r(0, 0, dc.DeviceSize().cx, dc.DeviceSize().cy);
  out.PrintPage(1, r, 0);
  dc.EndPage();
  bool seen = false;
  for (const plat::DrawOp& op : dc.Pages().at(0)) {
    if (op.kind != plat::DrawOp::Text || op.text.find(dir) == std::string::npos) continue;
    seen = true;
    EXPECT_EQ(op.text, ": " + dir + "P1.NC");  // whole
    ASSERT_TRUE(op.clip);
    EXPECT_EQ(op.clip->right, dc.DeviceSize().cx);
    EXPECT_GT(op.xs.back(), dc.DeviceSize().cx);  // it runs past the edge
  }
  EXPECT_TRUE(seen);
}

}  // namespace
