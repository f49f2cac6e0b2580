// Printouts end as PDF files that independent readers (poppler's pdftotext,
// pdfinfo, pdffonts) read back: text in order, the page count, the fonts.
// Covers: platform/ui/print.cpp, platform/ui/print_pdf.cpp
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/ui/gtest_driver.h"
#include "platform/ui/print.h"
#include "tests/support/scratch_dir.h"
#include "ui_test_support.h"
#include "tests/support/run_command.h"

namespace {

// Two pages on the 748 x 1079 logical page the program's printouts use:
// a title in ARIAL, a body line in TIMES ROMAN, a code line in COURIER, a
// frame of lines and a grey band.
class TwoPages : public TPrintout {
 public:
  TwoPages() : TPrintout("Listing") {}
  void GetDialogInfo(int& minPage, int& maxPage, int& from, int& to) override {
    minPage = 1;
    maxPage = 2;
    from = 1;
    to = 2;
  }
  bool HasPage(int page) override { return page <= 2; }
  void PrintPage(int page, TRect&, unsigned) override {
    TDC& dc = *DC;
    dc.SetMapMode(MM_ANISOTROPIC);
    dc.SetWindowExt({748, 1079});
    dc.SetViewportExt(PageSize);
    dc.IntersectClipRect(0, 0, 748, 1079);
    dc.MoveTo(30, 100);
    dc.LineTo(30, 1029);
    dc.LineTo(718, 1029);
    dc.LineTo(718, 100);
    dc.LineTo(30, 100);
    TBrush grey(RGB(192, 192, 192));
    dc.FillRect(TRect(30, 100, 718, 130), grey);
    TFont title("ARIAL", 24, 0, 0, 0, FW_BOLD);
    TFont body("TIMES ROMAN", 16);
    TFont code("COURIER", 12);
    dc.SetBkMode(TRANSPARENT);
    dc.SelectObject(title);
    std::string t = "Program listing page " + std::to_string(page);
    dc.TextOut((748 - dc.GetTextExtent(t.c_str()).cx) / 2, 40, t.c_str());
    dc.SelectObject(body);
    dc.DrawText("Customer\tVelda works", -1, TRect(30, 100, 718, 130), DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_EXPANDTABS);
    dc.SelectObject(code);
    std::string c = "N10 G00 X" + std::to_string(page * 100) + " Y50";
    dc.TabbedTextOut(40, 140, c.c_str(), -1);
    dc.RestoreFont();
    Drawn++;
  }
  int Drawn = 0;
};

class PrintTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    printer_.GetSetup().OutputDir = dir_;
    printer_.GetSetup().Queue.clear();
  }
  kvtest::ScratchDir scratch_{"kv-print"};
  std::string dir_ = scratch_.file();
  TPrinter printer_;
};

TEST_F(PrintTest, TwoPagesReadBackInOrderWithTheirFonts) {
  plat::GTestUiDriver ui;
  ui.expect_dialog(TPrintDialog::kTemplate, [](TDialog& d) {
    plat::Pilot p(d);
    EXPECT_TRUE(p.checked(TPrintDialog::IdPages));
    EXPECT_EQ(p.text(TPrintDialog::IdFrom), "1");
    EXPECT_EQ(p.text(TPrintDialog::IdTo), "2");
    p.click(IDOK);
  });
  TwoPages out;
  ASSERT_TRUE(printer_.Print(nullptr, out, true)) << printer_.GetErrorText();
  EXPECT_EQ(out.Drawn, 2);
  const std::string pdf = printer_.LastFile();
  ASSERT_TRUE(std::filesystem::exists(pdf));
  EXPECT_EQ(std::filesystem::path(pdf).parent_path(), dir_);
  std::string info = kvtest::run_command("pdfinfo '" + pdf + "'");
  size_t at = info.find("Pages:");
  ASSERT_NE(at, std::string::npos) << info;
  EXPECT_EQ(std::atoi(info.c_str() + at + 6), 2) << info;
  EXPECT_NE(info.find("(A4)"), std::string::npos) << info;

  std::string text = kvtest::run_command("pdftotext -layout '" + pdf + "' -");
  size_t p1 = text.find("Program listing page 1");
  size_t c1 = text.find("Velda works", p1);
  size_t n1 = text.find("N10 G00 X100 Y50", c1);
  size_t ff = text.find('\f', n1);
  size_t p2 = text.find("Program listing page 2", ff);
  size_t n2 = text.find("N10 G00 X200 Y50", p2);
  EXPECT_NE(p1, std::string::npos) << text;
  EXPECT_NE(c1, std::string::npos) << text;
  EXPECT_NE(n1, std::string::npos) << text;
  EXPECT_NE(p2, std::string::npos) << text;
  EXPECT_NE(n2, std::string::npos) << text;

  // Rendered by poppler: the grey band and the frame's left line where
  // the 748 x 1079 page puts them, white elsewhere.
  std::string pgm = kvtest::run_command("pdftoppm -r 72 -f 1 -l 1 -gray '" + pdf + "'");
  int w = 0, h = 0, maxv = 0, n = 0;
  ASSERT_EQ(std::sscanf(pgm.c_str(), "P5 %d %d %d%n", &w, &h, &maxv, &n), 3);
  const unsigned char* px = reinterpret_cast<const unsigned char*>(pgm.data()) + n + 1;
  auto gray = [&](int lx, int ly) { return px[(ly * h / 1079) * w + lx * w / 748]; };
  // The darkest pixel near a point, for lines thinner than a pixel.
  auto darkest = [&](int lx, int ly) {
    int d = 255;
    for (int dx = -2; dx <= 2; ++dx) d = std::min<int>(d, px[(ly * h / 1079) * w + lx * w / 748 + dx]);
    return d;
  };
  EXPECT_NEAR(w, 595, 1);
  EXPECT_EQ(gray(374, 112), 192);
  EXPECT_EQ(gray(374, 400), 255);
  EXPECT_LT(darkest(30, 500), 128);
  EXPECT_EQ(darkest(60, 500), 255);

  std::string fonts = kvtest::run_command("pdffonts '" + pdf + "'");
  for (const char* f : {"LiberationSans-Bold", "LiberationSerif", "LiberationMono"})
    EXPECT_NE(fonts.find(f), std::string::npos) << f << "\n" << fonts;
}

TEST_F(PrintTest, PageRangeAndCancel) {
  plat::GTestUiDriver ui;
  ui.expect_dialog(TPrintDialog::kTemplate, [](TDialog& d) {
    plat::Pilot p(d);
    p.set_text(TPrintDialog::IdFrom, "2");
    p.click(IDOK);
  });
  TwoPages out;
  ASSERT_TRUE(printer_.Print(nullptr, out, true));
  EXPECT_EQ(printer_.LastPageCount(), 1);
  std::string text = kvtest::run_command("pdftotext '" + printer_.LastFile() + "' -");
  EXPECT_EQ(text.find("page 1"), std::string::npos);
  EXPECT_NE(text.find("page 2"), std::string::npos);

  // A range beyond the document is refused in the dialog, which stays open.
  ui.expect_dialog(TPrintDialog::kTemplate, [](TDialog& d) {
    plat::Pilot p(d);
    p.click(TPrintDialog::IdPages);
    p.set_text(TPrintDialog::IdTo, "5");
    p.click(IDOK);
    EXPECT_FALSE(d.HasEnded());
    p.click(IDCANCEL);
  });
  ui.expect_message_box(IDOK, "Enter pages from 1 to 2");
  TwoPages cancelled;
  EXPECT_FALSE(printer_.Print(nullptr, cancelled, true));
  EXPECT_EQ(cancelled.Drawn, 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(PrintTest, QueueGetsTheFileAndItsRefusalIsReported) {
  std::string log = dir_ + "/lp.log";
  std::string lp = dir_ + "/lp";
  std::ofstream(lp) << "#!/bin/sh\nprintf '%s|' \"$@\" > '" << log << "'\n[ \"$2\" = good ]\n";
  std::filesystem::permissions(lp, std::filesystem::perms::owner_all);
  printer_.GetSetup().QueueCommand = lp;
  printer_.GetSetup().OutputDir = dir_ + "/out";

  plat::GTestUiDriver ui;
  printer_.GetSetup().Queue = "good";
  TwoPages out;
  ASSERT_TRUE(printer_.Print(nullptr, out, false)) << printer_.GetErrorText();
  std::string args;
  std::getline(std::ifstream(log), args);
  EXPECT_EQ(args, "-d|good|-t|Listing|-n|1|" + printer_.LastFile() + "|");

  printer_.GetSetup().Queue = "jammed";
  ui.expect_message_box(IDOK, "refused");
  TwoPages again;
  EXPECT_FALSE(printer_.Print(nullptr, again, false));
  // The document is kept even when the queue refuses it.
  EXPECT_TRUE(std::filesystem::exists(printer_.LastFile()));
}

TEST_F(PrintTest, UnwritableOutputIsAFailure) {
  printer_.GetSetup().OutputDir = "/proc/kv-no-such-dir";
  plat::GTestUiDriver ui;
  ui.expect_message_box(IDOK, "Printing failed");
  TwoPages out;
  EXPECT_FALSE(printer_.Print(nullptr, out, false));
  EXPECT_TRUE(printer_.LastFile().empty());
}

TEST_F(PrintTest, DcDrivenByItsCaller) {
  std::unique_ptr<TPrintDC> dc(printer_.MakeDC());
  dc->StartDoc("Report");
  for (int page = 1; page <= 3; ++page) {
    dc->StartPage();
    std::string t = "Report page " + std::to_string(page);
    dc->TextOut(300, 300, t.c_str());
    dc->EndPage();
  }
  dc->EndDoc();
  ASSERT_TRUE(printer_.Submit(nullptr, *dc));
  EXPECT_EQ(printer_.LastPageCount(), 3);
  EXPECT_EQ(std::filesystem::path(printer_.LastFile()).filename().string().rfind("Report-", 0), 0u);
  std::string text = kvtest::run_command("pdftotext '" + printer_.LastFile() + "' -");
  EXPECT_LT(text.find("Report page 1"), text.find("Report page 3"));

  // An aborted document leaves nothing to print.
  dc->StartDoc("Gone");
  dc->StartPage();
  dc->TextOut(0, 0, "x");
  dc->AbortDoc();
  EXPECT_TRUE(printer_.Submit(nullptr, *dc));
  EXPECT_TRUE(printer_.LastFile().empty());
}

TEST_F(PrintTest, SetupDialogChangesTheSetup) {
  plat::GTestUiDriver ui;
  ui.expect_dialog(TPrintSetupDialog::kTemplate, [&](TDialog& d) {
    plat::Pilot p(d);
    EXPECT_EQ(p.text(TPrintSetupDialog::IdOutputDir), dir_);
    p.click(TPrintSetupDialog::IdLandscape);
    p.set_text(TPrintSetupDialog::IdQueue, "office");
    p.click(IDOK);
  });
  printer_.Setup(nullptr);
  EXPECT_TRUE(printer_.GetSetup().Landscape);
  EXPECT_EQ(printer_.GetSetup().Queue, "office");
  TPrintDC dc(printer_.GetSetup());
  EXPECT_GT(dc.DeviceSize().cx, dc.DeviceSize().cy);
}

}  // namespace
