// Fuzz target: arbitrary bytes as the .BMP file of a report's bitmap
// object. What bitmap_load takes must draw whole, be saved and come back
// from its saved file with the same bytes; what it refuses leaves nothing
// behind.
// Covers: report/bitmap_file.cpp
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "report/bitmap_file.h"
#include "tests/support/scratch_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kvtest::ScratchDir dir("kv-fuzz-bitmap-load");
  const std::string in = dir.write("IN.BMP", std::string_view(reinterpret_cast<const char*>(data), size));
  HGLOBAL h = bitmap_load(in.c_str(), nullptr);
  if (!h) return 0;
  plat::Image img;
  if (!bitmap_pixels(h, img) || img.width <= 0 || img.height <= 0) std::abort();
  if (img.px.size() != size_t(img.width) * size_t(img.height)) std::abort();
  // The block is the file without its header, the bits moved up to the
  // palette: never larger than the file.
  if (GlobalSize(h) + 14 > size) std::abort();
  const std::string out = dir.file("OUT.BMP");
  if (bitmap_save(out.c_str(), h) != 1) std::abort();
  HGLOBAL again = bitmap_load(out.c_str(), nullptr);
  if (!again || GlobalSize(again) != GlobalSize(h) ||
      std::memcmp(GlobalLock(again), GlobalLock(h), GlobalSize(h)) != 0)
    std::abort();
  GlobalUnlock(again);
  GlobalUnlock(h);
  GlobalFree(again);
  GlobalFree(h);
  return 0;
}
