// The byte streams a wrapper writes its options to and reads them back
// from (little-endian, packed), for windows kept between sessions. A read
// past the end fails the stream; every later read then gives zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class TLEditOut {
 public:
  void raw(const void* p, size_t n) { Bytes.append(static_cast<const char*>(p), n); }
  void u8(uint8_t v) { raw(&v, 1); }
  void u16(uint16_t v) { raw(&v, 2); }
  void u32(uint32_t v) { raw(&v, 4); }
  void text(const std::string& s) {
    u32(static_cast<uint32_t>(s.size()));
    raw(s.data(), s.size());
  }
  std::string Bytes;
};

class TLEditIn {
 public:
  explicit TLEditIn(const std::string& bytes) : Bytes(bytes) {}
  bool raw(void* p, size_t n) {
    if (!Ok || Bytes.size() - At < n) {
      Ok = false;
      std::memset(p, 0, n);
      return false;
    }
    std::memcpy(p, Bytes.data() + At, n);
    At += n;
    return true;
  }
  uint8_t u8() { uint8_t v; raw(&v, 1); return v; }
  uint16_t u16() { uint16_t v; raw(&v, 2); return v; }
  uint32_t u32() { uint32_t v; raw(&v, 4); return v; }
  std::string text() {
    uint32_t n = u32();
    if (!Ok || Bytes.size() - At < n) return Ok = false, std::string();
    std::string s = Bytes.substr(At, n);
    At += n;
    return s;
  }
  bool ok() const { return Ok; }

 private:
  const std::string& Bytes;
  size_t At = 0;
  bool Ok = true;
};
