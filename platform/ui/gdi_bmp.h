// .BMP files and device-independent bitmaps.
//
// Format: a 14-byte file header ("BM", file size, 4 reserved bytes, offset
// of the pixel bits; little-endian) followed by the bitmap itself: a header
// of 40 bytes (width, height, planes, bit count, compression, ...) or the
// old 12-byte core header (16-bit width and height), then the palette (4
// bytes an entry, 3 with the core header; by default 2, 16 or 256 entries
// for 1, 4 and 8 bits), then rows of pixels padded to 4 bytes, bottom row
// first unless the height is negative. Read here: 1, 4, 8, 24 and 32 bits,
// uncompressed; anything else is refused with a reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/gdi_object.h"

namespace plat {

// Reads a bitmap without its file header (header, palette, bits).
bool parse_dib(const uint8_t* data, size_t size, Image& out, std::string& error);
// Reads a whole .BMP file (a DOS or native path).
bool read_bmp_file(const std::string& path, Image& out, std::string& error);
// Bitmap resource id: bitmaps/<id>.bmp under the resource directory; null
// when there is none (tool-bar buttons then show their id).
std::shared_ptr<Image> find_bitmap_resource(int id);

}  // namespace plat

// A bitmap resource as a drawing object (null when there is none).
HBITMAP LoadBitmap(HINSTANCE instance, int resId);

// A device-independent bitmap from a .BMP file; IsOK tells whether it loaded.
class TDib {
 public:
  explicit TDib(const char* fileName);
  bool IsOK() const { return Image != nullptr; }
  int Width() const { return Image ? Image->width : 0; }
  int Height() const { return Image ? Image->height : 0; }
  const std::string& Error() const { return Err; }
  std::shared_ptr<plat::Image> Pixels() const { return Image; }

 private:
  std::shared_ptr<plat::Image> Image;
  std::string Err;
};
