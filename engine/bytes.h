// Little-endian integers inside file images: .DBF, .DBT and .MDX headers and
// blocks are little-endian whatever machine reads them.
#pragma once

#include <cstdint>

inline unsigned le_get16(const unsigned char* p) { return unsigned(p[0]) | unsigned(p[1]) << 8; }
inline uint32_t le_get32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void le_put16(unsigned char* p, unsigned v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void le_put32(unsigned char* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
