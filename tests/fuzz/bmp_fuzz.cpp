// Fuzz target: arbitrary bytes as a .BMP file (read from disk, as the
// program reads one) and as a bitmap without its file header. What is
// accepted must be a picture whose pixels are all there.
// Covers: platform/ui/gdi_bmp.cpp
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ui/gdi_bmp.h"
#include "tests/support/scratch_dir.h"

namespace {
void CheckImage(const plat::Image& img) {
  if (img.width <= 0 || img.height <= 0) std::abort();
  if (img.px.size() != static_cast<size_t>(img.width) * static_cast<size_t>(img.height)) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kvtest::ScratchDir dir("kv-fuzz-bmp");
  {
    plat::Image img;
    std::string error;
    if (plat::parse_dib(data, size, img, error)) CheckImage(img);
    else if (error.empty()) std::abort();  // a refusal always says why
  }
  const std::string path = dir.write("IN.BMP", std::string_view(reinterpret_cast<const char*>(data), size));
  plat::Image img;
  std::string error;
  if (plat::read_bmp_file(path, img, error)) CheckImage(img);
  else if (error.empty()) std::abort();
  TDib dib(path.c_str());
  if (dib.IsOK()) CheckImage(*dib.Pixels());
  return 0;
}
