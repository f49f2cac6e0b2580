// Helpers shared by the index files: little-endian fields, the tag header
// image, and dropping a tag's cached blocks.
#pragma once

#include <cstdint>

#include "engine/index.h"

inline uint32_t mdx_get32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline unsigned mdx_get16(const unsigned char* p) { return unsigned(p[0]) | unsigned(p[1]) << 8; }
inline void mdx_put32(unsigned char* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
inline void mdx_put16(unsigned char* p, unsigned v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void mdx_header_decode(DbTagHeader* h, const unsigned char* image24);
void mdx_header_encode(const DbTagHeader* h, unsigned char* image24);
// Forgets every block the tag holds (changed ones must be flushed first).
void mdx_drop_buffers(DbTag* t);
// The key of the data file's current record for this tag in `key`;
// blank dates key the same whichever way the date was made.
int mdx_record_key(DbTag* t, unsigned char* key);
