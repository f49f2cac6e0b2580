// The preview as a user drives it: the first page shown at once, "&Next"
// until it is greyed at the end, the scroll bars, the page window's
// picture of the page, "&Close" (and the close box) posting the end of the
// output to the owner.
// Covers: report/output_windows.cpp, report/output_report.cpp
#include <gtest/gtest.h>

#include "platform/ui/capture.h"
#include "platform/ui/menu.h"
#include "tests/report/output_fixture.h"

namespace kvtest {
namespace {

class Owner : public TWindow {
 public:
  Owner() : TWindow(nullptr, "Owner") { Attr.Style = WS_OVERLAPPEDWINDOW | WS_VISIBLE; }
  int done = 0;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_REPORT_DONE) return ++done, 0;
    return TWindow::WindowProc(msg, wp, lp);
  }
};

class OutputPreviewTest : public OutputTest {
 protected:
  Owner owner;

  void SetUp() override {
    OutputTest::SetUp();
    ASSERT_TRUE(owner.Create());
    report_parent_set(report, owner.GetHandle());
    // One page per order, each with its number and a black square of one
    // inch at the top left corner of the printable width.
    DbReportGroup* g = group_create(report, "Order", nullptr);
    ASSERT_NE(g, nullptr);
    group_break_before_set(g, 1);
    DbReportArea* a = area(g, true, 1200);
    DbReportObject* square = obj_frame_create(a, 0, 0, 1000, 1000);
    ASSERT_NE(square, nullptr);
    obj_frameFill(square, 1);
    expr(a, "'Order ' + STR(ORDNO, 1)", 2000);
  }

  TPreviewWin* preview() {
    for (TWindow* w : owner.GetChildren())
      if (w->ClassName() == "PreViewWin" && w->GetHandle()) return dynamic_cast<TPreviewWin*>(w);
    return nullptr;
  }

  static std::vector<std::string> shown(const TPreviewWin* p) {
    std::vector<std::string> out;
    for (const TextAt& t : texts_at(p->LastPage())) out.push_back(t.text);
    return out;
  }
};

TEST_F(OutputPreviewTest, NextPagesThroughTheReportUntilItIsGreyed) {
  ASSERT_EQ(report_output(report), 0);
  TPreviewWin* p = preview();
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p->GetCaption(), "ZevoZezododo 2.0");
  EXPECT_EQ(p->GetStyle(), 0x91ff0000u);
  EXPECT_EQ(p->GetWindowRect().Width(), plat::screen_width());
  EXPECT_EQ(p->GetWindowRect().Height(), plat::screen_height());
  EXPECT_EQ(shown(p), std::vector<std::string>{"Order 1"});
  EXPECT_EQ(GetCapture(), nullptr) << "the preview takes the input";
  int pages = 1;
  while (p->ChooseMenuCommand(IDM_REPORT_NEXT)) {
    pages++;
    EXPECT_EQ(shown(p), std::vector<std::string>{"Order " + std::to_string(pages)});
    ASSERT_LT(pages, 10);
  }
  EXPECT_EQ(pages, 5);
  EXPECT_TRUE(GetMenuState(p->GetMenu(), IDM_REPORT_NEXT, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_TRUE(p->Finished());
  EXPECT_EQ(owner.done, 0) << "the preview stays until closed";
}

TEST_F(OutputPreviewTest, ThePageWindowShowsThePartTheScrollBarsPointAt) {
  ASSERT_EQ(report_output(report), 0);
  TPreviewWin* p = preview();
  ASSERT_NE(p, nullptr);
  TWindow* page = p->GetClientWindow();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->ClassName(), "OutputPageWin");
  // The page at the screen's 96 dots an inch: letter paper is 816 x 1054,
  // taller than the window, so only the vertical bar scrolls.
  int min = -1, max = -1;
  GetScrollRange(p->GetHandle(), SB_VERT, &min, &max);
  TRect view = page->GetClientRect();
  EXPECT_EQ(max, std::max(0, 1054 - view.Height()));
  GetScrollRange(p->GetHandle(), SB_HORZ, &min, &max);
  EXPECT_EQ(max, std::max(0, 816 - view.Width()));
  // The square fills dots 24 to 120 across (a quarter inch of margin) and
  // 0 to 96 down.
  auto picture = [&] {
    plat::DrawRecord r = plat::paint_window(*page);
    for (const plat::DrawOp& op : r)
      if (op.kind == plat::DrawOp::Blit && op.image) return *op.image;
    return plat::Image();
  };
  plat::Image top = picture();
  ASSERT_GT(top.width, 0);
  EXPECT_EQ(top.px[size_t(50) * top.width + 60], 0u);
  EXPECT_EQ(top.px[size_t(100) * top.width + 60], 0xFFFFFFu);
  p->SendMessage(WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
  p->SendMessage(WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(p->ScrollPos().y, 16);
  plat::Image down = picture();
  EXPECT_EQ(down.px[size_t(50 - 16) * down.width + 60], 0u);
  EXPECT_EQ(down.px[size_t(100 - 16) * down.width + 60], 0xFFFFFFu);
  p->SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 30000), 0);
  GetScrollRange(p->GetHandle(), SB_VERT, &min, &max);
  EXPECT_EQ(p->ScrollPos().y, max) << "kept within the range";
  p->SendMessage(WM_VSCROLL, MAKEWPARAM(SB_PAGEUP, 0), 0);
  EXPECT_EQ(p->ScrollPos().y, std::max(0, max - view.Height()));
  // The next page starts at the top again.
  ASSERT_TRUE(p->ChooseMenuCommand(IDM_REPORT_NEXT));
  EXPECT_EQ(p->ScrollPos().y, 0);
}

TEST_F(OutputPreviewTest, CloseTakesThePreviewDownAndTellsTheOwner) {
  ASSERT_EQ(report_output(report), 0);
  TPreviewWin* p = preview();
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(p->ChooseMenuCommand(IDM_REPORT_CLOSE));
  EXPECT_FALSE(p->IsWindow());
  plat::dispatch_all();
  EXPECT_EQ(owner.done, 1);
  // The close box does the same.
  ASSERT_EQ(report_output(report), 0);
  p = preview();
  ASSERT_NE(p, nullptr);
  p->SendMessage(WM_CLOSE);
  EXPECT_FALSE(p->IsWindow());
  plat::dispatch_all();
  EXPECT_EQ(owner.done, 2);
  // Freeing the report takes down a preview still open.
  ASSERT_EQ(report_output(report), 0);
  ASSERT_NE(preview(), nullptr);
  ASSERT_EQ(report_free(report, 0, 0), 0);
  report = nullptr;
  EXPECT_EQ(preview(), nullptr);
}

}  // namespace
}  // namespace kvtest
