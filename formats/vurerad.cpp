#include "formats/vurerad.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/file.h"

namespace vurerad {

bool IsTapeMark(const char* block, std::size_t size) {
  std::size_t n = strnlen(block, size);
  return std::string_view(block, n).find("TAPE") != std::string_view::npos;
}

std::string DataLine(const char* block) {
  static const char kHex[] = "0123456789ABCDEF";
  unsigned sum = 0;
  bool breaksLine = false;
  for (std::size_t k = 0; k < kBlockSize; ++k) {
    unsigned char c = static_cast<unsigned char>(block[k]);
    sum += c;
    if (c == '\0' || c == '\r' || c == '\n') breaksLine = true;
  }
  std::string line = "_";
  if (breaksLine) {
    for (std::size_t k = 0; k < kBlockSize; ++k) {
      unsigned char c = static_cast<unsigned char>(block[k]);
      line += kHex[c >> 4];
      line += kHex[c & 15];
    }
  } else {
    line.append(block, kBlockSize);
  }
  line += '_';
  line += kHex[(sum >> 4) & 15];
  line += kHex[sum & 15];
  line += "_\r\n";
  return line;
}

bool ToText(const std::string& image, std::string& text) {
  text.clear();
  if (image.size() <= kHeaderSize) return false;
  int marks = 0;
  for (std::size_t at = kHeaderSize; at < image.size(); at += kBlockSize) {
    char block[kBlockSize] = {};
    std::size_t n = std::min(kBlockSize, image.size() - at);
    std::memcpy(block, image.data() + at, n);
    bool mark = IsTapeMark(block, n);
    if (at == kHeaderSize && !mark) return false;
    if (mark)
      text += "[TAPEMARK-" + std::to_string(marks++) + "]\r\n";
    else
      text += DataLine(block);
  }
  return true;
}

TVurEradResult Convert(const std::string& source, const std::string& result, std::string& error) {
  plat::File in = plat::create_file(source, plat::Access::read, plat::Share::read, plat::Disposition::open_existing);
  if (!in.is_open()) {
    error = plat::error_text(plat::last_error());
    return TVurEradResult::ReadFailed;
  }
  std::string image;
  char piece[64 * 1024];
  for (;;) {
    int64_t n = plat::read(in, piece, sizeof piece);
    if (n < 0) {
      error = plat::error_text(plat::last_error());
      return TVurEradResult::ReadFailed;
    }
    if (n == 0) break;
    image.append(piece, static_cast<std::size_t>(n));
  }
  plat::close(in);
  std::string text;
  if (!ToText(image, text)) return TVurEradResult::NotVurErad;
  plat::File out = plat::create_file(result, plat::Access::write, plat::Share::read, plat::Disposition::create_always);
  bool ok = out.is_open() && plat::write(out, text.data(), text.size()) == static_cast<int64_t>(text.size());
  if (!ok) error = plat::error_text(plat::last_error());
  if (out.is_open() && !plat::close(out) && ok) {
    ok = false;
    error = plat::error_text(plat::last_error());
  }
  return ok ? TVurEradResult::Done : TVurEradResult::WriteFailed;
}

}  // namespace vurerad
