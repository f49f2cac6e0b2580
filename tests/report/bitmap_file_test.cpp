// Bitmap files: what ImageMagick writes (40-byte headers at 1, 4, 8 and 24
// bits, 12-byte headers at 4 and 24) is loaded with its pixels, saved and
// found equal to its source by ImageMagick's compare; damaged files are
// refused without a byte read past their end; a bitmap beside the report
// file comes back with the layout.
// Covers: report/bitmap_file.cpp
#include <gtest/gtest.h>

#include <cstring>

#include "platform/file.h"
#include "platform/path.h"
#include "report/bitmap_file.h"
#include "tests/report/layout_fixture.h"
#include "tests/support/run_command.h"

namespace kvtest {
namespace {

std::string fixture(const std::string& name) { return std::string(KV_FIXTURES_DIR) + "/report/" + name; }

// Frees a handle with the test.
struct Held {
  HGLOBAL h;
  explicit Held(HGLOBAL handle) : h(handle) {}
  ~Held() {
    if (h) GlobalFree(h);
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
};

struct Kind {
  const char* file;
  int height;
  uint32_t quads[4];  // top left, top right, bottom left, bottom right
};
const Kind kKinds[] = {
    {"bits1.bmp", 12, {0x000000, 0xFFFFFF, 0xFFFFFF, 0x000000}},
    {"bits4.bmp", 12, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
    {"bits8.bmp", 13, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
    {"bits24.bmp", 12, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
    {"core4.bmp", 12, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
    {"core24.bmp", 12, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
};

void expect_quadrants(HGLOBAL h, const Kind& k) {
  plat::Image img;
  ASSERT_TRUE(bitmap_pixels(h, img)) << k.file;
  EXPECT_EQ(img.width, 16) << k.file;
  EXPECT_EQ(img.height, k.height) << k.file;
  const int at[4][2] = {{2, 2}, {12, 2}, {2, 8}, {12, 8}};
  for (int q = 0; q < 4; q++)
    EXPECT_EQ(img.px[size_t(at[q][1]) * 16 + size_t(at[q][0])], k.quads[q]) << k.file << " quadrant " << q;
}

class BitmapFileTest : public LayoutTest {
 protected:
  // ImageMagick's count of pixels that differ.
  std::string differing(const std::string& a, const std::string& b) {
    return kvtest::run_command("/usr/bin/compare -metric AE '" + a + "' '" + b + "' null: 2>&1");
  }
};

TEST_F(BitmapFileTest, ImageMagicksBitmapsLoadWithTheirPixels) {
  for (const Kind& k : kKinds) {
    Held h(bitmap_load(fixture(k.file).c_str(), &ctx));
    ASSERT_NE(h.h, nullptr) << k.file;
    // Memory holds the file without its 14-byte header.
    EXPECT_EQ(GlobalSize(h.h) + 14, std::filesystem::file_size(fixture(k.file))) << k.file;
    expect_quadrants(h.h, k);
  }
}

TEST_F(BitmapFileTest, ASavedBitmapComparesEqualToItsSource) {
  for (const Kind& k : kKinds) {
    Held h(bitmap_load(fixture(k.file).c_str(), &ctx));
    ASSERT_NE(h.h, nullptr) << k.file;
    std::string out = dir.file(std::string("saved-") + k.file);
    ASSERT_EQ(bitmap_save(out.c_str(), h.h), 1) << k.file;
    EXPECT_EQ(differing(fixture(k.file), out), "0") << k.file;
    Held again(bitmap_load(out.c_str(), &ctx));
    ASSERT_NE(again.h, nullptr) << k.file;
    expect_quadrants(again.h, k);
  }
}

TEST_F(BitmapFileTest, DamagedFilesAreRefused) {
  const std::string good = ScratchDir::read_file(fixture("bits8.bmp"));
  auto put32 = [](std::string s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) s[at + size_t(i)] = char(v >> (8 * i));
    return s;
  };
  auto put16 = [](std::string s, size_t at, uint16_t v) {
    s[at] = char(v & 0xFF);
    s[at + 1] = char(v >> 8);
    return s;
  };
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"rows cut short", good.substr(0, good.size() - 10)},
      {"palette cut short", good.substr(0, 14 + 40 + 100)},
      {"the file header alone", good.substr(0, 14)},
      {"shorter than a file header", good.substr(0, 9)},
      {"empty", ""},
      {"no BM", "BX" + good.substr(2)},
      {"bits beyond the file", put32(good, 10, uint32_t(good.size() + 10))},
      {"bits inside the palette", put32(good, 10, 14 + 40 + 4)},
      {"header of 20 bytes", put32(good, 14, 20)},
      {"header beyond the file", put32(good, 14, 0x7FFFFFF0)},
      {"16 bits", put16(good, 28, 16)},
      {"7 bits", put16(good, 28, 7)},
      {"no width", put32(good, 18, 0)},
      {"negative width", put32(good, 18, 0xFFFFFFF0)},
      {"no height", put32(good, 22, 0)},
      {"height beyond the rows", put32(good, 22, 14)},
      {"300 colours", put32(good, 46, 300)},
      {"colours beyond counting", put32(good, 46, 0x7FFFFFFF)},
      {"run-length coded", ScratchDir::read_file(fixture("rle8.bmp"))},
  };
  for (const Case& c : cases) {
    std::string path = dir.write("BAD.BMP", c.bytes);
    Held h(bitmap_load(path.c_str(), &ctx));
    EXPECT_EQ(h.h, nullptr) << c.what;
  }
  EXPECT_EQ(bitmap_load(dir.file("MISSING.BMP").c_str(), &ctx), nullptr);
  // A bitmap-file object is not made from such a file.
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  DbReportArea* a = area_create(report_title_group(report), 1000, 1, nullptr);
  EXPECT_EQ(obj_bitmap_file_create(a, dir.file("BAD.BMP").c_str(), 0, 0, 100, 100), nullptr);
  EXPECT_EQ(a->objects.size(), 0u);
}

TEST_F(BitmapFileTest, BitsThatDoNotFollowThePaletteAreMovedUp) {
  std::string file = ScratchDir::read_file(fixture("bits24.bmp"));
  std::string gapped = file.substr(0, 54) + std::string(8, '\x55') + file.substr(54);
  gapped[10] = char(54 + 8);
  Held h(bitmap_load(dir.write("GAP.BMP", gapped).c_str(), &ctx));
  ASSERT_NE(h.h, nullptr);
  EXPECT_EQ(GlobalSize(h.h), file.size() - 14);
  expect_quadrants(h.h, kKinds[3]);
}

TEST_F(BitmapFileTest, TheCurrentDirectoryIsLookedInFirst) {
  std::string here = plat::get_current_directory();
  dir.write("HERE/LOGO.BMP", ScratchDir::read_file(fixture("bits4.bmp")));
  ASSERT_TRUE(plat::set_drive_root('Q', dir.file()));
  ASSERT_TRUE(plat::set_current_directory("Q:\\HERE"));
  // The name alone is found here, wherever the path pointed.
  Held found(bitmap_load("Q:\\ELSEWHERE\\LOGO.BMP", &ctx));
  Held given(bitmap_load(fixture("bits24.bmp").c_str(), &ctx));
  plat::set_current_directory(here);
  plat::set_drive_root('Q', "");
  ASSERT_NE(found.h, nullptr);
  expect_quadrants(found.h, kKinds[1]);
  ASSERT_NE(given.h, nullptr);
  expect_quadrants(given.h, kKinds[3]);
}

TEST_F(BitmapFileTest, WhatIsNoBitmapOrCannotBeWrittenIsNotSaved) {
  std::string out = dir.file("KEEP.BMP");
  Held h(bitmap_load(fixture("bits4.bmp").c_str(), &ctx));
  ASSERT_EQ(bitmap_save(out.c_str(), h.h), 1);
  std::string before = dir.read("KEEP.BMP");
  Held zeros(GlobalAlloc(GHND, 64));
  EXPECT_EQ(bitmap_save(out.c_str(), zeros.h), 0);
  EXPECT_EQ(bitmap_save(out.c_str(), nullptr), 0);
  Held other(bitmap_load(fixture("bits24.bmp").c_str(), &ctx));
  plat::set_write_fault("KEEP.BMP~", 100);
  EXPECT_EQ(bitmap_save(out.c_str(), other.h), 0);
  plat::set_write_fault("", 0);
  EXPECT_EQ(dir.read("KEEP.BMP"), before);
  EXPECT_FALSE(std::filesystem::exists(out + "~"));
}

TEST_F(BitmapFileTest, ABitmapInMemoryIsSavedBesideTheReportAndComesBack) {
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  DbReportArea* a = area_create(report_title_group(report), 1000, 1, nullptr);
  HGLOBAL logo = bitmap_load(fixture("bits8.bmp").c_str(), &ctx);
  ASSERT_NE(obj_bitmap_mem_create(a, logo, 100, 100, 1600, 1300), nullptr);
  ASSERT_EQ(report_save(report, dir.file("LOGOS.REP").c_str(), 0), 0);
  EXPECT_TRUE(no_work_files());
  // Named after the report, numbered from 0.
  EXPECT_EQ(differing(fixture("bits8.bmp"), dir.file("LOGOS.b00")), "0");
  report_free(report, 0, 0);
  report = report_retrieve(&ctx, dir.file("LOGOS.REP").c_str(), 0, nullptr);
  ASSERT_NE(report, nullptr);
  DbReportObject* o = area_obj_first(report_title_group(report)->headers.at(0));
  ASSERT_NE(o, nullptr);
  ASSERT_EQ(o->type, DB_OBJ_BITMAP_MEM);
  expect_quadrants(o->bitmap, kKinds[2]);
}

}  // namespace
}  // namespace kvtest
