// Reader of .BMP files; the format note is in gdi_bmp.h.
#include "platform/ui/gdi_bmp.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/path.h"
#include "platform/ui/resource.h"

namespace plat {
namespace {

uint32_t u32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

bool parse_dib(const uint8_t* data, size_t size, Image& out, std::string& error) {
  if (size < 12) return error = "bitmap header is cut short", false;
  uint32_t hsize = u32(data);
  int64_t width, height;
  int bits;
  uint32_t compression = 0, used = 0;
  size_t entry;
  if (hsize == 12) {
    width = u16(data + 4);
    height = static_cast<int16_t>(u16(data + 6));
    bits = u16(data + 10);
    entry = 3;
  } else if (hsize >= 40 && hsize <= size) {
    width = static_cast<int32_t>(u32(data + 4));
    height = static_cast<int32_t>(u32(data + 8));
    bits = u16(data + 14);
    compression = u32(data + 16);
    used = u32(data + 32);
    entry = 4;
  } else {
    return error = "unknown bitmap header of " + std::to_string(hsize) + " bytes", false;
  }
  if (compression != 0 && !(compression == 3 && (bits == 32 || bits == 16)))
    return error = "compressed bitmaps are not supported", false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
    return error = "bitmaps of " + std::to_string(bits) + " bits a pixel are not supported", false;
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767)
    return error = "bitmap size " + std::to_string(width) + " x " + std::to_string(height) + " is out of range", false;
  size_t colours = bits <= 8 ? (used ? used : (1u << bits)) : 0;
  if (colours > 256) return error = "palette of " + std::to_string(colours) + " colours", false;
  // Above 8 bits a colours-used count gives a palette the pixels do not
  // index; it still stands between the header and the bits.
  size_t unused = bits > 8 ? used : 0;
  size_t palAt = hsize + (compression == 3 && hsize == 40 ? 12 : 0);
  size_t bitsAt = palAt + (colours + unused) * entry;
  size_t stride = ((size_t(width) * bits + 31) / 32) * 4;
  if (bitsAt > size || (size - bitsAt) / stride < size_t(height)) return error = "bitmap pixels are cut short", false;
  std::vector<uint32_t> pal(colours);
  for (size_t i = 0; i < colours; ++i) {
    const uint8_t* p = data + palAt + i * entry;
    pal[i] = (p[2] << 16) | (p[1] << 8) | p[0];
  }
  Image img(static_cast<int>(width), static_cast<int>(height));
  for (int64_t row = 0; row < height; ++row) {
    const uint8_t* src = data + bitsAt + size_t(row) * stride;
    int64_t y = topDown ? row : height - 1 - row;
    uint32_t* dst = &img.px[size_t(y) * width];
    for (int64_t x = 0; x < width; ++x) {
      uint32_t v;
      size_t index;
      switch (bits) {
        // An index past a short palette (a damaged file) is black.
        case 1: index = (src[x / 8] >> (7 - x % 8)) & 1; v = index < colours ? pal[index] : 0; break;
        case 4: index = (src[x / 2] >> (x % 2 ? 0 : 4)) & 0xF; v = index < colours ? pal[index] : 0; break;
        case 8: v = src[x] < colours ? pal[src[x]] : 0; break;
        case 24: v = (src[3 * x + 2] << 16) | (src[3 * x + 1] << 8) | src[3 * x]; break;
        default: v = (src[4 * x + 2] << 16) | (src[4 * x + 1] << 8) | src[4 * x]; break;
      }
      dst[x] = v;
    }
  }
  out = std::move(img);
  return true;
}

bool read_bmp_file(const std::string& path, Image& out, std::string& error) {
  std::ifstream in(to_native_path(path), std::ios::binary);
  if (!in) return error = "cannot open " + path, false;
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.size() < 14 || data[0] != 'B' || data[1] != 'M') return error = path + " is not a bitmap file", false;
  if (!parse_dib(data.data() + 14, data.size() - 14, out, error)) return error = path + ": " + error, false;
  return true;
}

std::shared_ptr<Image> find_bitmap_resource(int id) {
  std::string dir = resource_dir();
  if (dir.empty())
    if (const char* env = std::getenv("KV_RESOURCE_DIR")) dir = env;
  if (dir.empty()) return nullptr;
  auto img = std::make_shared<Image>();
  std::string error;
  if (!read_bmp_file(dir + "/bitmaps/" + std::to_string(id) + ".bmp", *img, error)) return nullptr;
  return img;
}

}  // namespace plat

HBITMAP LoadBitmap(HINSTANCE, int resId) {
  auto img = plat::find_bitmap_resource(resId);
  if (!img) return nullptr;
  auto o = std::make_shared<plat::GdiObject>();
  o->kind = plat::GdiObject::Bitmap;
  o->image = img;
  return plat::add_gdi_object(o);
}

TDib::TDib(const char* fileName) {
  auto img = std::make_shared<plat::Image>();
  if (fileName && plat::read_bmp_file(fileName, *img, Err)) Image = std::move(img);
  else if (!fileName) Err = "no file name";
}
