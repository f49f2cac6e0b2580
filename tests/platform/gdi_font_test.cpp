// Fonts: the stored 60-byte record survives byte for byte, the old faces
// map to their metric-compatible files, and metrics follow the Windows
// height rules.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/ui/dc.h"

namespace {

TEST(GdiFont, LogFontRecordIsByteExact) {
  EXPECT_EQ(offsetof(LOGFONT, lfWeight), 16u);
  EXPECT_EQ(offsetof(LOGFONT, lfItalic), 20u);
  EXPECT_EQ(offsetof(LOGFONT, lfCharSet), 23u);
  EXPECT_EQ(offsetof(LOGFONT, lfPitchAndFamily), 27u);
  EXPECT_EQ(offsetof(LOGFONT, lfFaceName), 28u);

  // As an older station wrote it: height -13, weight 700, italic, OEM
  // character set, fixed pitch, "Courier New", and leftovers after the zero.
  unsigned char stored[60] = {0xF3, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xBC, 0x02, 0, 0,
                              1,    0,    0,    0xFF, 3, 2, 1, 0x31};
  std::memcpy(stored + 28, "Courier New", 12);
  stored[50] = 0x5A;  // garbage a dialog left behind
  LOGFONT lf;
  std::memcpy(&lf, stored, 60);
  EXPECT_EQ(lf.lfHeight, -13);
  EXPECT_EQ(lf.lfWeight, 700);
  TFont font(lf);
  unsigned char back[60];
  ASSERT_EQ(GetObject(font, sizeof back, back), 60);
  EXPECT_EQ(std::memcmp(stored, back, 60), 0);
  // A short buffer gets what fits.
  unsigned char part[20];
  EXPECT_EQ(GetObject(font, sizeof part, part), 20);

  // A damaged record still gives a usable font.
  LOGFONT bad = lf;
  bad.lfHeight = INT32_MIN;
  bad.lfWidth = INT32_MAX;
  TFont huge(bad);
  TClientDC dc(nullptr);
  dc.SelectObject(huge);
  TEXTMETRIC tm;
  ASSERT_TRUE(dc.GetTextMetrics(tm));
  EXPECT_GT(tm.tmHeight, 0);
  EXPECT_LE(tm.tmHeight, 20000);

  LOGFONT16 old = LogFontTo16(lf);
  LOGFONT again = LogFontFrom16(old);
  EXPECT_EQ(std::memcmp(&again, &lf, 60), 0);
}

TEST(GdiFont, FacesMapToMetricCompatibleFiles) {
  struct Case {
    const char* face;
    int weight;
    BYTE pitch;
    const char* file;
  } cases[] = {
      {"ARIAL", FW_NORMAL, 0, "LiberationSans-Regular.ttf"},
      {"ARIAL", FW_BOLD, 0, "LiberationSans-Bold.ttf"},
      {"MS Sans Serif", FW_NORMAL, 0, "LiberationSans-Regular.ttf"},
      {"MS SANS SERIF", FW_BOLD, FIXED_PITCH, "LiberationMono-Bold.ttf"},
      {"TIMES ROMAN", FW_BOLD, 0, "LiberationSerif-Bold.ttf"},
      {"COURIER", FW_NORMAL, 0, "LiberationMono-Regular.ttf"},
      {"FIXEDSYS", FW_NORMAL, 0, "DejaVuSansMono.ttf"},
      // A fixed pitch outranks the face, as on Windows.
      {"ARIAL", FW_BOLD, FIXED_PITCH, "LiberationMono-Bold.ttf"},
      {"", FW_NORMAL, FF_ROMAN, "LiberationSerif-Regular.ttf"},
      {"No Such Face", FW_NORMAL, 0, "LiberationSans-Regular.ttf"},
  };
  for (const Case& c : cases) {
    LOGFONT lf{};
    lf.lfHeight = 16;
    lf.lfWeight = c.weight;
    lf.lfPitchAndFamily = c.pitch;
    std::strncpy(lf.lfFaceName, c.face, 31);
    const plat::FontFile* f = plat::resolve_font_file(lf);
    ASSERT_NE(f, nullptr) << c.face;
    EXPECT_EQ(f->path.substr(f->path.rfind('/') + 1), c.file) << c.face;
  }
}

TEST(GdiFont, HeightsAndWidthsFollowTheWindowsRules) {
  struct Case {
    const char* face;
    int height;
  } cases[] = {{"ARIAL", 24}, {"ARIAL", 12}, {"TIMES ROMAN", 72}, {"COURIER", 8}, {"ARIAL", -16}, {"TIMES ROMAN", -24}};
  for (const Case& c : cases) {
    TClientDC dc(nullptr);
    TFont font(c.face, c.height);
    dc.SelectObject(font);
    TEXTMETRIC tm;
    ASSERT_TRUE(dc.GetTextMetrics(tm));
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent) << c.face << c.height;
    if (c.height > 0) {
      EXPECT_EQ(tm.tmHeight, c.height) << c.face;  // the cell
    } else {
      EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, -c.height) << c.face;  // the em
    }
    EXPECT_GT(tm.tmAveCharWidth, 0);
    EXPECT_EQ(dc.GetTextExtent("").cx, 0);
    EXPECT_EQ(dc.GetTextExtent("NC").cx, dc.GetTextExtent("N").cx + dc.GetTextExtent("C").cx);
    EXPECT_EQ(dc.GetTextExtent("N1").cy, tm.tmHeight);
  }
  TClientDC dc(nullptr);
  TFont courier("COURIER", 20), arial("ARIAL", 20);
  dc.SelectObject(courier);
  EXPECT_EQ(dc.GetTextExtent("i").cx, dc.GetTextExtent("W").cx);
  TEXTMETRIC tm;
  dc.GetTextMetrics(tm);
  EXPECT_FALSE(tm.tmPitchAndFamily & TMPF_FIXED_PITCH);  // the bit means variable pitch
  dc.SelectObject(arial);
  EXPECT_LT(dc.GetTextExtent("i").cx, dc.GetTextExtent("W").cx);
  dc.GetTextMetrics(tm);
  EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_FIXED_PITCH);
  // Arial's metrics: a 2048-unit em, 'W' 1933 units, 'i' 455.
  TFont em("ARIAL", -2048);
  dc.SelectObject(em);
  EXPECT_EQ(dc.GetTextExtent("W").cx, 1933);
  EXPECT_EQ(dc.GetTextExtent("i").cx, 455);
}

TEST(GdiFont, StockObjectsAndDeletedHandles) {
  HGDIOBJ f = GetStockObject(DEVICE_DEFAULT_FONT);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f, GetStockObject(DEVICE_DEFAULT_FONT));
  EXPECT_TRUE(DeleteObject(f));  // stock objects stay
  LOGFONT lf;
  EXPECT_EQ(GetObject(f, sizeof lf, &lf), 60);
  EXPECT_EQ(GetStockObject(99), nullptr);

  size_t live = plat::live_gdi_object_count();
  HBRUSH b = CreateSolidBrush(RGB(0, 0, 255));
  EXPECT_EQ(plat::live_gdi_object_count(), live + 1);
  EXPECT_TRUE(DeleteObject(b));
  EXPECT_FALSE(DeleteObject(b));
  EXPECT_EQ(plat::live_gdi_object_count(), live);
  TClientDC dc(nullptr);
  EXPECT_EQ(dc.SelectObject(b), nullptr);  // a stale handle selects nothing
  EXPECT_EQ(RGB(0, 0, 255), 0xFF0000u);
}

}  // namespace
