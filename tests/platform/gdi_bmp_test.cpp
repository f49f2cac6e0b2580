// .BMP files: what netpbm's ppmtobmp writes (1, 4, 8 and 24 bits, both
// header forms) reads back pixel for pixel; damaged or unsupported files
// are refused with a reason, never half read.
// Covers: platform/ui/gdi_bmp.cpp
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ui/dc.h"
#include "platform/ui/gadget_window.h"
#include "platform/ui/gdi_bmp.h"
#include "platform/ui/resource.h"
#include "tests/support/scratch_dir.h"

namespace {

class GdiBmp : public ::testing::Test {
 protected:
  kvtest::ScratchDir scratch_{"kv-bmp"};
  std::string dir_ = scratch_.file();
};

// A 3 x 2 picture with four colours (so every depth can hold it).
const uint32_t kPixels[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0xFF0000};

TEST_F(GdiBmp, ReadsWhatAnIndependentWriterWrites) {
  std::string ppm = dir_ + "/in.ppm";
  {
    std::ofstream out(ppm);
    out << "P3\n3 2\n255\n";
    for (uint32_t p : kPixels) out << (p >> 16) << ' ' << ((p >> 8) & 0xFF) << ' ' << (p & 0xFF) << '\n';
  }
  struct Case {
    const char* options;
  } cases[] = {{"-bpp 24 -windows"}, {"-bpp 8 -windows"}, {"-bpp 4 -windows"}, {"-bpp 24 -os2"}, {"-bpp 8 -os2"}};
  for (const Case& c : cases) {
    std::string bmp = dir_ + "/out.bmp";
    std::string cmd = std::string("ppmtobmp ") + c.options + " " + ppm + " > " + bmp + " 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    TDib dib(bmp.c_str());
    ASSERT_TRUE(dib.IsOK()) << c.options << ": " << dib.Error();
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(dib.Height(), 2);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(dib.Pixels()->px[i], kPixels[i]) << c.options << " pixel " << i;
  }
}

// Builds a 40-byte-header bitmap file by hand.
std::vector<uint8_t> bmp(int w, int h, int bits, uint32_t compression, size_t pixelBytes) {
  // The pixels, 0x80 each, behind a header of zeros filled in below.
  std::vector<uint8_t> b(14 + 40 + pixelBytes, 0x80);
  std::fill_n(b.begin(), 14 + 40, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(h));
  b[26] = 1;
  b[28] = static_cast<uint8_t>(bits);
  put32(30, compression);
  return b;
}

TEST_F(GdiBmp, DamagedFilesAreRefused) {
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    const char* reason;
  } cases[] = {
      {"rows cut short", bmp(4, 4, 24, 0, 40), "cut short"},
      {"run-length coded", bmp(4, 4, 8, 1, 1024 + 16), "compressed"},
      {"16 bits", bmp(4, 4, 16, 0, 64), "16 bits"},
      {"absurd size", bmp(100000, 1, 24, 0, 16), "out of range"},
      {"not a bitmap", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "not a bitmap"},
      {"empty", {}, "not a bitmap"},
  };
  for (const Case& c : cases) {
    std::string path = dir_ + "/bad.bmp";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(c.data.data()), c.data.size());
    TDib dib(path.c_str());
    EXPECT_FALSE(dib.IsOK()) << c.what;
    EXPECT_NE(dib.Error().find(c.reason), std::string::npos) << c.what << ": " << dib.Error();
  }
  TDib missing((dir_ + "/LOGO.BMP").c_str());
  EXPECT_FALSE(missing.IsOK());
  EXPECT_NE(missing.Error().find("cannot open"), std::string::npos);
}

// A palette shorter than the depth allows (biClrUsed) with pixels that
// point past it: those pixels come out black, nothing beyond is read.
TEST_F(GdiBmp, PixelsPastAShortPaletteAreBlack) {
  for (int bits : {1, 4}) {
    auto b = bmp(2, 1, bits, 0, 2 * 4 + 4);  // two palette entries, one row
    b[14 + 32] = bits == 1 ? 1 : 2;           // colours used
    std::string path = dir_ + "/short.bmp";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
    TDib dib(path.c_str());
    ASSERT_TRUE(dib.IsOK()) << bits << ": " << dib.Error();
    // Every palette and pixel byte is 0x80: the first pixel's index is 1
    // (1 bit) or 8 (4 bits), past the palette; the second is 0.
    EXPECT_EQ(dib.Pixels()->px[0], 0u) << bits;
    EXPECT_EQ(dib.Pixels()->px[1], 0x808080u) << bits;
  }
}

// Above 8 bits a colours-used count still puts a palette (that no pixel
// indexes) between the header and the bits.
TEST_F(GdiBmp, APaletteAbove8BitsIsSkipped) {
  auto b = bmp(1, 1, 24, 0, 2 * 4 + 4);
  b[14 + 32] = 2;  // colours used
  b[54 + 8] = 0x11;  // blue, green, red of the one pixel, after the palette
  b[54 + 9] = 0x22;
  b[54 + 10] = 0x33;
  std::string path = dir_ + "/palette24.bmp";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  TDib dib(path.c_str());
  ASSERT_TRUE(dib.IsOK()) << dib.Error();
  EXPECT_EQ(dib.Pixels()->px[0], 0x332211u);
}

TEST_F(GdiBmp, BitmapsDrawAtTheirSize) {
  auto b = bmp(2, 2, 24, 0, 16);
  std::string path = dir_ + "/logo.bmp";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  TDib dib(path.c_str());
  ASSERT_TRUE(dib.IsOK()) << dib.Error();
  TClientDC dc(nullptr);
  EXPECT_TRUE(dc.DrawImage(50, 60, *dib.Pixels()));
  EXPECT_EQ(dc.StretchDIBits(TRect(0, 0, 20, 20), TRect(0, 0, 9, 9), dib), 2);  // cut to the bitmap
  ASSERT_EQ(dc.Record().size(), 2u);
  EXPECT_EQ(dc.Record()[0].rect, TRect(50, 60, 52, 62));
  EXPECT_EQ(dc.Record()[0].image->px[0], 0x808080u);
  EXPECT_EQ(dc.Record()[1].image->width, 2);
}

TEST_F(GdiBmp, BitmapResourcesGiveButtonsTheirGlyphs) {
  std::filesystem::create_directories(dir_ + "/bitmaps");
  auto b = bmp(2, 2, 24, 0, 16);
  std::ofstream(dir_ + "/bitmaps/107.bmp", std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  plat::set_resource_dir(dir_);
  HBITMAP h = LoadBitmap(nullptr, 107);
  ASSERT_NE(h, nullptr);
  int size[2];
  EXPECT_EQ(GetObject(h, sizeof size, size), 8);
  EXPECT_EQ(size[0], 2);
  DeleteObject(h);
  EXPECT_EQ(LoadBitmap(nullptr, 108), nullptr);

  TControlBar bar(nullptr);
  bar.Insert(*new TButtonGadget(107, 107));
  bar.Insert(*new TButtonGadget(108, 108));
  bar.LayoutSession();
  TClientDC dc(nullptr);
  TRect all;
  bar.Paint(dc, true, all);
  int blits = 0, labels = 0;
  for (const plat::DrawOp& op : dc.Record()) {
    blits += op.kind == plat::DrawOp::Blit;
    labels += op.kind == plat::DrawOp::Text && op.text == "108";
  }
  EXPECT_EQ(blits, 1);
  EXPECT_EQ(labels, 1);
  plat::set_resource_dir("");
}

}  // namespace
