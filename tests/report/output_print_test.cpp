// Printing through the layer's printer into PDF, read back by poppler:
// pdfinfo for page counts, pdftotext -layout for texts and their pages,
// pdftoppm images for lines, frames, fills, colours and bitmaps (pixels at
// 100 dots an inch, the printer's own resolution). Also the page range,
// the document's name and the cancel dialog.
// Covers: report/output_report.cpp, report/output_draw.cpp,
// report/output_windows.cpp, report/bitmap_file.cpp
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "platform/ui/capture.h"
#include "platform/ui/driver.h"
#include "tests/report/output_fixture.h"

namespace kvtest {
namespace {

// Pixels of a PPM image as pdftoppm writes it.
struct Raster {
  int width = 0, height = 0;
  std::string rgb;
  uint32_t at(int x, int y) const {
    size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
    return (uint32_t(uint8_t(rgb[i])) << 16) | (uint32_t(uint8_t(rgb[i + 1])) << 8) | uint8_t(rgb[i + 2]);
  }
};

// A window that hears what the output tells it, and does what a test asks
// when a message of its own comes.
class Owner : public TWindow {
 public:
  static constexpr UINT kAct = WM_USER + 62;
  Owner() : TWindow(nullptr, "Owner") { Attr.Style = WS_OVERLAPPEDWINDOW | WS_VISIBLE; }
  int done = 0;
  std::function<void()> act;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_REPORT_DONE) return ++done, 0;
    if (msg == kAct) {
      if (act) act();
      return 0;
    }
    return TWindow::WindowProc(msg, wp, lp);
  }
};

class OutputPrintTest : public OutputTest {
 protected:
  Owner owner;

  void SetUp() override {
    OutputTest::SetUp();
    ASSERT_TRUE(owner.Create());
    report_parent_set(report, owner.GetHandle());
    report_toScreen(report, 0);
  }

  // One page per order: the page header with the page's number, then the
  // order's number, customer and name.
  void page_per_order() {
    expr(area(report_page_group(report), true), "'Page ' + STR(PAGENO(), 1)");
    DbReportGroup* g = group_create(report, "Order", nullptr);
    ASSERT_NE(g, nullptr);
    group_break_before_set(g, 1);
    DbReportArea* a = area(g, true);
    expr(a, "'Order ' + STR(ORDNO, 1)");
    show(a, "CUST", 2000);
    expr(a, "CUSTS->NAME", 3000);
  }

  // Prints and gives the one PDF written.
  std::string print() {
    auto before = printed();
    EXPECT_EQ(report_output(report), 0);
    plat::dispatch_all();
    auto files = printed();
    EXPECT_EQ(files.size(), before.size() + 1);
    for (const std::string& f : files)
      if (std::find(before.begin(), before.end(), f) == before.end()) return f;
    return "";
  }

  int page_count(const std::string& pdf) {
    std::istringstream in(kvtest::run_command("pdfinfo '" + pdf + "' 2>&1"));
    for (std::string line; std::getline(in, line);)
      if (line.rfind("Pages:", 0) == 0) return std::stoi(line.substr(6));
    return -1;
  }

  // The text of each page, as pdftotext lays it out.
  std::vector<std::string> pdf_pages(const std::string& pdf) {
    std::string all = kvtest::run_command("pdftotext -layout '" + pdf + "' - 2>&1");
    std::vector<std::string> pages;
    std::istringstream in(all);
    for (std::string page; std::getline(in, page, '\f');) pages.push_back(page);
    return pages;
  }

  Raster raster(const std::string& pdf, int page = 1) {
    std::string base = dir.file("raster");
    kvtest::run_command("pdftoppm -r 100 -singlefile -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" +
          pdf + "' '" + base + "' 2>&1");
    std::ifstream in(base + ".ppm", std::ios::binary);
    Raster r;
    std::string magic;
    int max = 0;
    in >> magic >> r.width >> r.height >> max;
    in.get();
    r.rgb.assign(size_t(r.width) * size_t(r.height) * 3, '\0');
    in.read(r.rgb.data(), std::streamsize(r.rgb.size()));
    EXPECT_EQ(magic, "P6");
    return r;
  }

  DbReportStyle* style(const char* name, COLORREF color) {
    LOGFONT16 f{};
    std::strcpy(f.lfFaceName, "Arial");
    DbReportStyle* s = style_create(report, &f, name, color, 10);
    EXPECT_NE(s, nullptr);
    return s;
  }
};

TEST_F(OutputPrintTest, PagesPrintWithTheirTextsInOrder) {
  page_per_order();
  std::string pdf = print();
  EXPECT_EQ(page_count(pdf), 5);
  auto pages = pdf_pages(pdf);
  ASSERT_GE(pages.size(), 5u);
  const char* names[] = {"ACME", "ACME", "ACME", "BOLT", "BOLT"};
  for (int i = 0; i < 5; i++) {
    std::string n = std::to_string(i + 1);
    EXPECT_NE(pages[size_t(i)].find("Page " + n), std::string::npos) << pages[size_t(i)];
    size_t order = pages[size_t(i)].find("Order " + n);
    size_t name = pages[size_t(i)].find(names[i]);
    EXPECT_NE(order, std::string::npos) << pages[size_t(i)];
    EXPECT_LT(order, name) << "left to right on the line";
  }
  EXPECT_EQ(owner.done, 1) << "the owner hears of the end";
  EXPECT_TRUE(owner.IsWindowEnabled());
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(OutputPrintTest, APageRangePrintsExactlyItsPages) {
  page_per_order();
  report->page_range_on = 1;
  report->page_first = 2;
  report->page_last = 3;
  std::string pdf = print();
  EXPECT_EQ(page_count(pdf), 2);
  auto pages = pdf_pages(pdf);
  ASSERT_GE(pages.size(), 2u);
  EXPECT_NE(pages[0].find("Page 2"), std::string::npos) << pages[0];
  EXPECT_NE(pages[0].find("Order 2"), std::string::npos);
  EXPECT_EQ(pages[0].find("Order 1"), std::string::npos) << "page 1 never reaches paper";
  EXPECT_NE(pages[1].find("Order 3"), std::string::npos) << pages[1];
  EXPECT_EQ(pages[1].find("Order 2"), std::string::npos);
}

TEST_F(OutputPrintTest, TheDocumentIsNamedByCaptionElseReportName) {
  page_per_order();
  ASSERT_EQ(report_save(report, dir.file("SALES.REP").c_str(), 0), 0);
  EXPECT_EQ(std::filesystem::path(print()).filename().string().rfind("SALES-", 0), 0u);
  report_caption_set(report, "Monthly");
  EXPECT_EQ(std::filesystem::path(print()).filename().string().rfind("Monthly-", 0), 0u);
}

TEST_F(OutputPrintTest, CancellingStopsAtThePageBoundaryAndKeepsWhatPrinted) {
  page_per_order();
  bool disabled_meanwhile = false, eater_meanwhile = false, waiting_meanwhile = false;
  auto eater = [&] {
    for (TWindow* w : owner.GetChildren())
      if (w->ClassName() == "MouseEat" && w->GetHandle()) return true;
    return false;
  };
  owner.act = [&] {
    disabled_meanwhile = !owner.IsWindowEnabled();
    eater_meanwhile = eater();
    waiting_meanwhile = plat::current_cursor() == IDC_WAIT;
    for (TWindow* w : owner.GetChildren())
      if (auto* cancel = dynamic_cast<TReportCancelDlg*>(w); cancel && cancel->GetHandle()) {
        EXPECT_STREQ(cancel->GetCaption(), "ZevoZezododo 2.0");
        EXPECT_TRUE(plat::Pilot(*cancel).click(IDC_REPORT_CANCEL));
      }
  };
  owner.PostMessage(Owner::kAct);
  std::string pdf = print();
  EXPECT_TRUE(disabled_meanwhile);
  EXPECT_TRUE(eater_meanwhile) << "a mouse eater while pages are produced";
  EXPECT_TRUE(waiting_meanwhile);
  EXPECT_FALSE(eater());
  EXPECT_EQ(plat::current_cursor(), IDC_ARROW);
  EXPECT_EQ(page_count(pdf), 1);
  EXPECT_EQ(owner.done, 1);
  EXPECT_TRUE(owner.IsWindowEnabled());
}

TEST_F(OutputPrintTest, LinesFramesFillsAndColoursStandWhereTheLayoutPutsThem) {
  DbReportArea* a = area(report_title_group(report), true, 5000);
  DbReportStyle* red = style("Red", RGB(255, 0, 0));
  DbReportStyle* blue = style("Blue", RGB(0, 0, 255));
  DbReportStyle* green = style("Green", RGB(0, 160, 0));
  // Dots at 100 an inch, 25 of left margin: a filled red frame from 100,
  // 100 to 200, 150; a blue one, not filled, beside it; a rounded black
  // one; a green line 3 dots wide; red text.
  DbReportObject* filled = obj_frame_create(a, 750, 1000, 1000, 500);
  obj_style(filled, red);
  obj_frameFill(filled, 1);
  DbReportObject* open = obj_frame_create(a, 2250, 1000, 1000, 500);
  obj_style(open, blue);
  obj_line_width_set(open, 30);
  DbReportObject* round = obj_frame_create(a, 3750, 1000, 1000, 500);
  obj_frameCorners(round, 1);
  obj_style(round, nullptr);
  DbReportObject* line = obj_line_create(a, 0, 750, 2000, 3500);
  obj_style(line, green);
  obj_line_width_set(line, 30);
  DbReportObject* words = obj_text_create(a, "REDTEXT", 750, 2500, 2000, 300);
  obj_style(words, red);
  Raster r = raster(print());
  ASSERT_GE(r.width, 850);
  EXPECT_EQ(r.at(150, 125), 0xFF0000u) << "the filled frame";
  EXPECT_EQ(r.at(300, 125), 0xFFFFFFu) << "inside the open frame";
  // Its edges, 3 dots wide, inside the frame's place 250 to 350 (inset by
  // half the width, one more at the left and top): 252 to 254, 346 to 348.
  EXPECT_EQ(r.at(251, 125), 0xFFFFFFu);
  EXPECT_EQ(r.at(252, 125), 0x0000FFu) << "its left edge";
  EXPECT_EQ(r.at(254, 125), 0x0000FFu) << "its left edge";
  EXPECT_EQ(r.at(300, 102), 0x0000FFu) << "its top edge";
  EXPECT_EQ(r.at(348, 125), 0x0000FFu) << "its right edge";
  EXPECT_EQ(r.at(349, 125), 0xFFFFFFu);
  EXPECT_EQ(r.at(425, 125), 0xFFFFFFu) << "inside the rounded frame";
  EXPECT_NE(r.at(450, 100), 0xFFFFFFu) << "its top edge";
  EXPECT_EQ(r.at(400, 100), 0xFFFFFFu) << "its rounded corner";
  uint32_t g = r.at(200, 201);
  EXPECT_TRUE(((g >> 16) & 0xFF) < 60 && ((g >> 8) & 0xFF) > 120 && (g & 0xFF) < 60) << std::hex << g;
  int red_dots = 0;
  for (int y = 250; y < 280; y++)
    for (int x = 100; x < 300; x++) red_dots += r.at(x, y) != 0xFFFFFFu && (r.at(x, y) & 0xFFFFu) < 0x4040;
  EXPECT_GT(red_dots, 20) << "the text in its colour";
  EXPECT_NE(pdf_pages(printed().back()).at(0).find("REDTEXT"), std::string::npos);
}

TEST_F(OutputPrintTest, BitmapsOfEveryKindAreStretchedIntoTheirPlace) {
  // Each 16 x 12 bitmap (ImageMagick's: 1 bit black and white quadrants,
  // the others red, green, blue and white) stretched to 160 x 120 dots.
  struct Kind {
    const char* file;
    uint32_t quads[4];
  } kinds[] = {
      {"bits1.bmp", {0x000000, 0xFFFFFF, 0xFFFFFF, 0x000000}},
      {"bits4.bmp", {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
      {"bits8.bmp", {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
      {"bits24.bmp", {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
      {"core4.bmp", {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
      {"core24.bmp", {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
  };
  DbReportArea* a = area(report_title_group(report), true, 10000);
  for (size_t i = 0; i < std::size(kinds); i++) {
    std::string file = std::string(KV_FIXTURES_DIR) + "/report/" + kinds[i].file;
    long x = long(i % 3) * 2000, y = long(i / 3) * 2000;
    ASSERT_NE(obj_bitmap_file_create(a, file.c_str(), x, y, 1600, 1200), nullptr) << kinds[i].file;
  }
  Raster r = raster(print());
  for (size_t i = 0; i < std::size(kinds); i++) {
    int x = 25 + int(i % 3) * 200, y = int(i / 3) * 200;
    int at[4][2] = {{x + 40, y + 30}, {x + 120, y + 30}, {x + 40, y + 90}, {x + 120, y + 90}};
    for (int q = 0; q < 4; q++)
      EXPECT_EQ(r.at(at[q][0], at[q][1]), kinds[i].quads[q]) << kinds[i].file << " quadrant " << q;
  }
}

}  // namespace
}  // namespace kvtest
