// Device contexts record device positions: mapping modes, the state stack,
// clipping, text layout flags, shapes and bitmaps.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/ui/dc.h"
#include "platform/ui/gdi_bmp.h"
#include "ui_test_support.h"

namespace {

// A client DC of a window of a given size.
class Surface {
 public:
  Surface(int w, int h) : win_(static_cast<TWindow*>(nullptr)) {
    win_.Attr.Style = WS_POPUP;
    win_.Attr.W = w;
    win_.Attr.H = h;
    win_.Create();
  }
  ~Surface() { win_.Destroy(); }
  HWND handle() { return win_.GetHandle(); }

 private:
  TWindow win_;
};

TEST(GdiDc, MappingModesTurnLogicalIntoDeviceUnits) {
  struct Case {
    int mode;
    TSize winExt, vpExt;
    TPoint logical, device;
  } cases[] = {
      {MM_TEXT, {0, 0}, {0, 0}, {10, 20}, {10, 20}},
      // The printouts' page of 748 x 1079 stretched over an A4 page at 300 dpi.
      {MM_ANISOTROPIC, {748, 1079}, {2480, 3508}, {748, 1079}, {2480, 3508}},
      {MM_ANISOTROPIC, {748, 1079}, {2480, 3508}, {374, 100}, {1240, 325}},
      // Thousandths of an inch, y up.
      {MM_HIENGLISH, {0, 0}, {0, 0}, {1000, -2000}, {96, 192}},
      {MM_LOMETRIC, {0, 0}, {0, 0}, {254, -254}, {96, 96}},
      // Isotropic: the smaller scale on both axes.
      {MM_ISOTROPIC, {100, 100}, {200, 400}, {50, 50}, {100, 100}},
  };
  for (const Case& c : cases) {
    TClientDC dc(nullptr);
    dc.SetMapMode(c.mode);
    if (c.winExt.cx) {
      EXPECT_TRUE(dc.SetWindowExt(c.winExt));
      EXPECT_TRUE(dc.SetViewportExt(c.vpExt));
    }
    TPoint p = c.logical;
    dc.LPtoDP(&p);
    EXPECT_EQ(p.x, c.device.x) << c.mode;
    EXPECT_EQ(p.y, c.device.y) << c.mode;
    dc.DPtoLP(&p);
    EXPECT_EQ(p.x, c.logical.x) << c.mode;
    EXPECT_EQ(p.y, c.logical.y) << c.mode;
  }
  // Extents are fixed outside the two free modes; switching to anisotropic
  // keeps the extents in force.
  TClientDC dc(nullptr);
  EXPECT_FALSE(dc.SetWindowExt({10, 10}));
  dc.SetMapMode(MM_HIENGLISH);
  dc.SetMapMode(MM_ANISOTROPIC);
  TPoint p{1000, -1000};
  dc.LPtoDP(&p);
  EXPECT_EQ(p.x, 96);
  EXPECT_EQ(p.y, 96);
  EXPECT_FALSE(dc.SetWindowExt({0, 5}));
}

TEST(GdiDc, FontsScaleWithTheMapping) {
  TClientDC dc(nullptr);
  dc.SetMapMode(MM_ANISOTROPIC);
  dc.SetWindowExt({748, 1079});
  dc.SetViewportExt({2244, 3237});  // three device units a logical one
  TFont arial("ARIAL", 24, 0, 0, 0, FW_BOLD);
  dc.SelectObject(arial);
  EXPECT_EQ(dc.CurrentFont().tm.tmHeight, 72);
  TEXTMETRIC tm;
  dc.GetTextMetrics(tm);
  EXPECT_EQ(tm.tmHeight, 24);
  dc.SetBkMode(TRANSPARENT);
  dc.TextOut(100, 40, "Listing");
  ASSERT_EQ(dc.Record().size(), 1u);
  const plat::DrawOp& op = dc.Record()[0];
  EXPECT_EQ(op.rect.left, 300);
  EXPECT_EQ(op.rect.top, 120);
  EXPECT_EQ(op.rect.Height(), 72);
  EXPECT_FALSE(op.opaque);
  EXPECT_NEAR(dc.GetTextExtent("Listing").cx * 3, op.rect.Width(), 2);
}

TEST(GdiDc, SaveRestoreAndClipping) {
  TClientDC dc(nullptr);
  TFont courier("COURIER", 12);
  int level = dc.SaveDC();
  EXPECT_EQ(level, 1);
  dc.SelectObject(courier);
  dc.SetTextColor(RGB(255, 0, 0));
  dc.SetMapMode(MM_HIENGLISH);
  EXPECT_EQ(dc.IntersectClipRect(0, 0, 100, 100), 2);
  EXPECT_EQ(dc.SaveDC(), 2);
  EXPECT_EQ(dc.IntersectClipRect(200, 0, 300, 100), 1);  // nothing left
  EXPECT_TRUE(dc.RestoreDC(-1));
  TRect box;
  EXPECT_EQ(dc.GetClipBox(box), 2);
  EXPECT_EQ(box, TRect(0, 0, 104, 104));  // 10 x 10 pixels, back in logical units
  EXPECT_TRUE(dc.RestoreDC(level));
  EXPECT_EQ(dc.GetMapMode(), MM_TEXT);
  EXPECT_EQ(dc.GetTextColor(), 0u);
  EXPECT_NE(dc.GetCurrentFont(), courier.GetHandle());
  EXPECT_FALSE(dc.RestoreDC(1));

  dc.IntersectClipRect(10, 10, 50, 50);
  dc.IntersectClipRect(30, 0, 100, 40);
  dc.Rectangle(0, 0, 20, 20);
  dc.SelectClipRgn(nullptr);
  dc.Rectangle(0, 0, 20, 20);
  ASSERT_EQ(dc.Record().size(), 2u);
  EXPECT_EQ(dc.Record()[0].clip, TRect(30, 10, 50, 40));
  EXPECT_FALSE(dc.Record()[1].clip.has_value());
}

TEST(GdiDc, DrawTextPlacesLinesByItsFlags) {
  TClientDC dc(nullptr);
  TFont font("ARIAL", 20);
  dc.SelectObject(font);
  int w = dc.GetTextExtent("File").cx, h = 20;
  struct Case {
    const char* text;
    UINT flags;
    const char* drawn;
    int x, y;
  } cases[] = {
      {"File", DT_SINGLELINE | DT_CENTER | DT_VCENTER, "File", (200 - w) / 2, 10},
      {"File", DT_SINGLELINE | DT_RIGHT | DT_BOTTOM, "File", 200 - w, 20},
      {"File", DT_LEFT, "File", 0, 0},
      {"&File", DT_SINGLELINE, "File", 0, 0},
      {"&File", DT_SINGLELINE | DT_NOPREFIX, "&File", 0, 0},
      {"A && B", DT_SINGLELINE, "A & B", 0, 0},
  };
  for (const Case& c : cases) {
    TRect r(0, 0, 200, 40);
    EXPECT_EQ(dc.DrawText(c.text, -1, r, c.flags), h) << c.text;
    plat::DrawRecord rec = dc.TakeRecord();
    ASSERT_EQ(rec.size(), 1u) << c.text;
    EXPECT_EQ(rec[0].text, c.drawn);
    EXPECT_EQ(rec[0].rect.left, c.x) << c.text << " " << c.flags;
    EXPECT_EQ(rec[0].rect.top, c.y) << c.text << " " << c.flags;
    EXPECT_EQ(rec[0].clip, TRect(0, 0, 200, 40));
  }

  // Word breaks fill lines up to the width; line ends always break.
  int narrow = dc.GetTextExtent("alpha beta").cx;
  TRect r(0, 0, narrow, 100);
  EXPECT_EQ(dc.DrawText("alpha beta gamma\ndelta", -1, r, DT_WORDBREAK | DT_NOCLIP), 3 * h);
  plat::DrawRecord rec = dc.TakeRecord();
  ASSERT_EQ(rec.size(), 3u);
  EXPECT_EQ(rec[0].text, "alpha beta");
  EXPECT_EQ(rec[1].text, "gamma");
  EXPECT_EQ(rec[2].text, "delta");
  EXPECT_EQ(rec[2].rect.top, 2 * h);
  EXPECT_FALSE(rec[0].clip.has_value());

  TRect calc(5, 5, 6, 6);
  EXPECT_EQ(dc.DrawText("one\ntwo", -1, calc, DT_CALCRECT), 2 * h);
  EXPECT_EQ(calc.bottom, 5 + 2 * h);
  EXPECT_EQ(calc.right, 5 + std::max(dc.GetTextExtent("one").cx, dc.GetTextExtent("two").cx));
  EXPECT_TRUE(dc.Record().empty());
}

TEST(GdiDc, TabsAndAlignment) {
  TClientDC dc(nullptr);
  TFont font("ARIAL", 16);
  dc.SelectObject(font);
  TEXTMETRIC tm;
  dc.GetTextMetrics(tm);
  TSize s = dc.TabbedTextOut(10, 5, "N10\tX5", -1);
  plat::DrawRecord rec = dc.TakeRecord();
  ASSERT_EQ(rec.size(), 2u);
  EXPECT_EQ(rec[1].text, "X5");
  EXPECT_EQ(rec[1].rect.left, 10 + 8 * tm.tmAveCharWidth);
  EXPECT_EQ(s.cx, 8 * tm.tmAveCharWidth + dc.GetTextExtent("X5").cx);
  EXPECT_EQ(dc.GetTabbedTextExtent("N10\tX5", -1).cx, s.cx);
  int stops[] = {100, 160};
  dc.TabbedTextOut(0, 0, "a\tb\tc", -1, 2, stops);
  rec = dc.TakeRecord();
  ASSERT_EQ(rec.size(), 3u);
  EXPECT_EQ(rec[1].rect.left, 100);
  EXPECT_EQ(rec[2].rect.left, 160);

  int w = dc.GetTextExtent("Mid").cx;
  dc.SetTextAlign(TA_CENTER | TA_BASELINE);
  dc.TextOut(100, 50, "Mid");
  rec = dc.TakeRecord();
  EXPECT_EQ(rec[0].rect.left, 100 - w / 2);
  EXPECT_EQ(rec[0].baseline, 50);
  EXPECT_EQ(rec[0].xs.size(), 3u);
}

TEST(GdiDc, ShapesCarryPenAndBrush) {
  TClientDC dc(nullptr);
  TPen red(RGB(255, 0, 0), 2);
  TBrush grey(RGB(192, 192, 192));
  dc.SelectObject(red);
  dc.SelectObject(grey);
  dc.MoveTo(30, 100);
  dc.LineTo(718, 100);
  dc.Rectangle(30, 30, 718, 60);
  dc.RoundRect(0, 0, 100, 50, 20, 20);
  dc.SelectStockObject(NULL_BRUSH);
  dc.Rectangle(1, 1, 2, 2);
  dc.FillRect(TRect(0, 0, 5, 5), static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
  dc.FillRect(TRect(0, 0, 5, 5), static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
  const plat::DrawRecord& r = dc.Record();
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[0].kind, plat::DrawOp::Line);
  EXPECT_EQ(r[0].to.x, 718);
  EXPECT_EQ(dc.GetCurrentPosition().x, 718);
  EXPECT_EQ(r[0].penColor, RGB(255, 0, 0));
  EXPECT_EQ(r[0].penWidth, 2);
  EXPECT_EQ(r[1].brushColor, RGB(192, 192, 192));
  EXPECT_FALSE(r[1].brushNull);
  EXPECT_EQ(r[2].corner.cx, 20);
  EXPECT_TRUE(r[3].brushNull);
  EXPECT_EQ(r[4].kind, plat::DrawOp::FillRect);
  EXPECT_TRUE(r[4].penNull);
  EXPECT_EQ(r[4].brushColor, RGB(192, 192, 192));
}

TEST(GdiDc, MemoryDcRendersIntoItsBitmap) {
  TClientDC screen(nullptr);
  TMemoryDC mem(screen);
  TBitmap bmp(4, 2);
  mem.SelectObject(bmp);
  TBrush blue(RGB(0, 0, 255));
  mem.FillRect(TRect(0, 0, 2, 2), blue);
  ASSERT_TRUE(screen.BitBlt(10, 10, 4, 2, mem, 0, 0, SRCCOPY));
  const plat::DrawOp& op = screen.Record().at(0);
  EXPECT_EQ(op.kind, plat::DrawOp::Blit);
  EXPECT_EQ(op.rect, TRect(10, 10, 14, 12));
  ASSERT_TRUE(op.image);
  EXPECT_EQ(op.image->px[0], 0x0000FFu);  // pixels are 0x00RRGGBB
  EXPECT_EQ(op.image->px[3], 0xFFFFFFu);
  EXPECT_EQ(bmp.Pixels()->px[4], 0x0000FFu);
  // Shapes and text land on the bitmap's pixels.
  TBitmap canvas(40, 20);
  TMemoryDC paint(screen);
  paint.SelectObject(canvas);
  TPen red(RGB(255, 0, 0));
  TBrush green(RGB(0, 255, 0));
  paint.SelectObject(red);
  paint.SelectObject(green);
  paint.Rectangle(0, 0, 10, 10);
  paint.MoveTo(0, 15);
  paint.LineTo(40, 15);
  paint.Ellipse(20, 0, 30, 10);
  paint.RoundRect(30, 0, 40, 10, 4, 4);
  TFont font("ARIAL", 10);
  paint.SelectObject(font);
  paint.TextOut(12, 0, "W");
  paint.Flush();
  auto px = [&](int x, int y) { return canvas.Pixels()->px[size_t(y) * 40 + x]; };
  EXPECT_EQ(px(0, 5), 0xFF0000u);   // outline inside the rectangle
  EXPECT_EQ(px(9, 5), 0xFF0000u);
  EXPECT_EQ(px(5, 5), 0x00FF00u);   // filled
  EXPECT_EQ(px(10, 5), 0xFFFFFFu);  // nothing beyond
  EXPECT_EQ(px(25, 15), 0xFF0000u);
  EXPECT_EQ(px(25, 5), 0x00FF00u);
  EXPECT_EQ(px(35, 5), 0x00FF00u);
  int dark = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 12; x < 24; ++x) dark += (px(x, y) & 0xFF) < 128;
  EXPECT_GT(dark, 3);
  EXPECT_TRUE(paint.Record().empty());

  // A DC without a bitmap has nothing to copy.
  TMemoryDC empty;
  EXPECT_FALSE(screen.BitBlt(0, 0, 4, 2, empty, 0, 0));
}

class GdiPaint : public uitest::UiTest {};

class Painted : public TWindow {
 public:
  Painted() : TWindow(static_cast<TWindow*>(nullptr)) {
    Attr.Style = WS_POPUP;
    Attr.W = 300;
    Attr.H = 200;
  }
  void Paint(TDC& dc, bool, TRect& r) override {
    dc.SetBkMode(TRANSPARENT);
    dc.DrawText("v3.56 (Build 2)", -1, TRect(r.left + 10, 180, r.right, 230), DT_SINGLELINE | DT_CENTER);
  }
};

TEST_F(GdiPaint, WindowsPaintOnAClientDc) {
  Painted w;
  ASSERT_TRUE(w.Create());
  plat::DrawRecord rec = plat::paint_window(w);
  ASSERT_EQ(rec.size(), 1u);
  EXPECT_EQ(rec[0].text, "v3.56 (Build 2)");
  EXPECT_EQ(rec[0].font.logfont.lfWeight, FW_BOLD);  // the system font
  EXPECT_TRUE(UpdateWindow(w.GetHandle()));
  HWND gone = w.GetHandle();
  w.Destroy();
  EXPECT_FALSE(UpdateWindow(gone));
}

}  // namespace
