// Little-endian numbers in byte strings, as the file formats the tests
// build and take apart store them (dBASE headers, bitmaps, stream records).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kvtest {

// Reads at p; the caller keeps p within the bytes.
inline uint16_t le16(const void* p) {
  auto b = static_cast<const unsigned char*>(p);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
inline uint32_t le32(const void* p) {
  auto b = static_cast<const unsigned char*>(p);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t{b[3]} << 24);
}
// Reads at an offset of a byte string; past its end throws (a test fault,
// not a read of whatever follows).
inline std::string_view bytes_at(std::string_view s, std::size_t at, std::size_t n) {
  if (at > s.size() || s.size() - at < n) throw std::out_of_range("byte offset past the end");
  return s.substr(at, n);
}
inline uint16_t le16(std::string_view s, std::size_t at) { return le16(bytes_at(s, at, 2).data()); }
inline uint32_t le32(std::string_view s, std::size_t at) { return le32(bytes_at(s, at, 4).data()); }

inline void put_le16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
inline void put_le32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
// Overwrites the number at an offset (patching a header in place).
inline void set_le16(std::string& s, std::size_t at, uint16_t v) {
  bytes_at(s, at, 2);
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}
inline void set_le32(std::string& s, std::size_t at, uint32_t v) {
  bytes_at(s, at, 4);
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace kvtest
