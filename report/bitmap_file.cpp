// .BMP files: a 14-byte file header ("BM", the file's size, 4 reserved
// bytes, the offset of the pixel bits), then the bitmap as it is kept in
// memory (bitmap_file.h). A file is trusted only after its header, sizes,
// palette and rows were checked against its length; a file whose bits do
// not follow the palette directly (a gap before them) is taken with the
// bits moved up behind the palette, as memory keeps them.
#include "report/bitmap_file.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/ui/app_state.h"
#include "platform/ui/gdi_bmp.h"
#include "platform/ui/winstyle.h"

namespace {

constexpr uint8_t kMark[2] = {'B', 'M'};
constexpr size_t kFileHeader = 14;
constexpr uint32_t kCoreHeader = 12;
constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kBitFields = 3;  // compression: three colour masks after a 40-byte header

uint32_t get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}

// The bytes before the pixel bits of a bitmap in memory (header, masks,
// palette); 0 when the header is of no known kind. The palette: the
// colours-used count of a 40-byte header when it is set, else 2, 16 or 256
// entries for 1, 4 or 8 bits, else none; 4 bytes an entry, 3 with the
// 12-byte header.
uint64_t bits_offset(const uint8_t* d, size_t n) {
  if (n < 4) return 0;
  uint32_t header = get32(d);
  if (header == kCoreHeader) {
    if (n < kCoreHeader) return 0;
    unsigned bits = get16(d + 10);
    uint64_t colours = bits <= 8 ? uint64_t(1) << bits : 0;
    return kCoreHeader + 3 * colours;
  }
  if (header < kInfoHeader || header > n) return 0;
  unsigned bits = get16(d + 14);
  uint32_t compression = get32(d + 16), used = get32(d + 32);
  uint64_t colours = used ? used : bits <= 8 ? uint64_t(1) << bits : 0;
  uint64_t masks = compression == kBitFields && header == kInfoHeader ? 12 : 0;
  return header + masks + 4 * colours;
}

// True when the block is a bitmap the drawing can take whole: a header of
// 12, 40 or more bytes, sizes and bit count it knows, and the palette and
// every row within the block.
bool sound_bitmap(const uint8_t* d, size_t n, plat::Image* pixels) {
  uint64_t offset = bits_offset(d, n);
  if (offset == 0 || offset > n) return false;
  plat::Image img;
  std::string error;
  if (!plat::parse_dib(d, n, img, error)) return false;
  if (pixels) *pixels = std::move(img);
  return true;
}

std::string name_alone(const std::string& name) {
  size_t cut = name.find_last_of("\\/:");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

bool read_whole(const std::string& path, std::vector<uint8_t>& out) {
  plat::File f = plat::create_file(path, plat::Access::read, plat::Share::read, plat::Disposition::open_existing);
  if (!f.is_open()) return false;
  int64_t len = plat::length(f);
  if (len < 0 || uint64_t(len) > SIZE_MAX) return false;
  out.resize(size_t(len));
  return len == 0 || plat::read_at(f, 0, out.data(), out.size()) == len;
}

// The wait cursor while a file is read; the arrow again afterwards.
struct WaitCursor {
  WaitCursor() { plat::set_current_cursor(IDC_WAIT); }
  ~WaitCursor() { plat::set_current_cursor(IDC_ARROW); }
};

// The bitmap of a whole file in memory, its bits right behind its palette.
HGLOBAL from_file(const std::vector<uint8_t>& file) {
  if (file.size() < kFileHeader || std::memcmp(file.data(), kMark, 2) != 0) return nullptr;
  const uint8_t* d = file.data() + kFileHeader;
  size_t n = file.size() - kFileHeader;
  uint64_t offset = bits_offset(d, n);
  uint64_t stated = get32(file.data() + 10);
  // The bits lie in the file behind header and palette.
  if (offset == 0 || stated < kFileHeader + offset || stated > file.size()) return nullptr;
  std::vector<uint8_t> dib(d, d + offset);
  dib.insert(dib.end(), file.begin() + long(stated), file.end());
  if (!sound_bitmap(dib.data(), dib.size(), nullptr)) return nullptr;
  HGLOBAL h = GlobalAlloc(GHND, dib.size());
  if (!h) return nullptr;
  std::memcpy(GlobalLock(h), dib.data(), dib.size());
  GlobalUnlock(h);
  return h;
}

// The block's bytes while it is locked.
class Locked {
 public:
  explicit Locked(HGLOBAL h) : h_(h), p_(static_cast<const uint8_t*>(GlobalLock(h))), n_(GlobalSize(h)) {}
  ~Locked() {
    if (p_) GlobalUnlock(h_);
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  const uint8_t* data() const { return p_; }
  size_t size() const { return p_ ? n_ : 0; }

 private:
  HGLOBAL h_;
  const uint8_t* p_;
  size_t n_;
};

bool write_whole(const std::string& path, const uint8_t* head, size_t head_n, const uint8_t* body, size_t body_n) {
  plat::File f = plat::create_file(path, plat::Access::write, plat::Share::none, plat::Disposition::create_always);
  if (!f.is_open()) return false;
  bool ok = plat::write_at(f, 0, head, head_n) == int64_t(head_n) &&
            plat::write_at(f, int64_t(head_n), body, body_n) == int64_t(body_n);
  return plat::close(f) && ok;
}

}  // namespace

HGLOBAL bitmap_load(const char* name, DB_ENGINE*) {
  if (!name || !*name) return nullptr;
  WaitCursor wait;
  std::vector<uint8_t> file;
  std::string here = plat::get_current_directory();
  if (!here.empty() && here.back() != '\\') here += '\\';
  if (!read_whole(here + name_alone(name), file) && !read_whole(name, file)) return nullptr;
  return from_file(file);
}

int bitmap_save(const char* name, HGLOBAL bitmap) {
  if (!name || !*name || !bitmap) return 0;
  Locked dib(bitmap);
  if (!dib.data() || !sound_bitmap(dib.data(), dib.size(), nullptr)) return 0;
  uint64_t total = uint64_t(dib.size()) + kFileHeader;
  if (total > UINT32_MAX) return 0;
  uint8_t head[kFileHeader] = {kMark[0], kMark[1]};
  put32(head + 2, uint32_t(total));
  put32(head + 10, uint32_t(kFileHeader + bits_offset(dib.data(), dib.size())));
  // Written beside the target and copied into place whole, so a failed
  // write leaves the old file as it was.
  std::string work = std::string(name) + "~";
  bool done = write_whole(work, head, sizeof head, dib.data(), dib.size()) && plat::copy_file(work, name, false);
  plat::delete_file(work);
  return done ? 1 : 0;
}

bool bitmap_pixels(HGLOBAL bitmap, plat::Image& out) {
  if (!bitmap) return false;
  Locked dib(bitmap);
  return dib.data() && sound_bitmap(dib.data(), dib.size(), &out);
}
