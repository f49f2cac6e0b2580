// Keys as seeks make and compare them: a whole number keys exactly as its
// formatted value does, and a block's binary search orders keys as the tag's
// compare routine does, whatever bytes lie past a packed number's digits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/convert.h"
#include "engine/index.h"

namespace {

std::string hex(const unsigned char* p, int n) {
  std::string s;
  char b[3];
  for (int i = 0; i < n; i++) {
    std::snprintf(b, sizeof b, "%02X", p[i]);
    s += b;
  }
  return s;
}

TEST(KeyOrder, NumbersKeyAsTheirFormattedValue) {
  DbTag t{};
  ASSERT_EQ(tag_routines_set(&t, 'N'), 0);
  const double values[] = {1,    -1,  7,     10,     100,   -4500,    123456, 1000000, 99999999999999.0,
                           999999999999999.0, 1e15, -1e15, 1e20, 0,        -0.0,   2.5,     -0.001};
  for (double v : values) {
    unsigned char want[DB_PACKED_LEN], got[DB_PACKED_LEN];
    packed_from_double(want, v);
    t.double_to_key(got, v);
    EXPECT_EQ(hex(got, DB_PACKED_LEN), hex(want, DB_PACKED_LEN)) << v;
  }
}

std::string unhex(const std::string& h) {
  std::string out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) out += char(std::stoi(h.substr(i, 2), nullptr, 16));
  return out;
}

// A leaf of one key `stored`: the seek for `wanted` must stop before it
// exactly when the tag's compare puts `stored` at or after `wanted`.
void expect_seek_agrees(char type, bool descending, const std::string& stored, const std::string& wanted,
                        unsigned len) {
  DbTag t{};
  t.header.key_format = descending ? 0x08 : 0;
  t.header.key_len = int(stored.size());
  t.header.group_len = 4 + int(stored.size());
  ASSERT_EQ(tag_routines_set(&t, type), 0);
  unsigned char image[64] = {};
  image[0] = 1;  // one key, pointing at record 1
  image[8] = 1;
  std::memcpy(image + 12, stored.data(), stored.size());
  DbBlock b{};
  b.tag = &t;
  b.image = image;
  int want = t.compare(stored.data(), wanted.data(), len);
  std::string what = hex(reinterpret_cast<const unsigned char*>(stored.data()), int(stored.size())) + " / " +
                     hex(reinterpret_cast<const unsigned char*>(wanted.data()), int(len)) +
                     (descending ? " descending" : "");
  EXPECT_EQ(block_seek(&b, wanted.data(), len), want == 0 ? 0 : DB_AFTER) << what;
  EXPECT_EQ(b.cur, want < 0 ? 1 : 0) << what;
}

TEST(KeyOrder, BlockSeekOrdersPackedKeysAsTheTagCompares) {
  const char* keys[] = {
      "370510000000000000000000",  // 100
      "360D99500000000000000000",  // 99.5
      "369112340000000000000000",  // -12.34
      "328550000000000000000000",  // -0.005
      "340100000000000000000000",  // 0
      "000100000000000000000000",  // 0 with another exponent byte
      "FF8100000000000000000000",  // 0 with the sign bit
      "370510FFFFFFFFFFFFFFFFFF",  // 100 with bytes past its digit
      "370512000000000000000000",  // a digit past the count
      "3705100000000000000000AB",
      "3E5112345678901234567890",  // twenty digits: the last two bytes count
      "3E5112345678901234567891",
      "3E4D12345678901234567899",  // nineteen: the last byte counts whole
      "3E7D12345678901234567899",  // a digit count past twenty
  };
  for (const char* a : keys)
    for (const char* b : keys)
      for (bool descending : {false, true}) expect_seek_agrees('N', descending, unhex(a), unhex(b), 12);
}

TEST(KeyOrder, BlockSeekOrdersCharacterKeysAsTheTagCompares) {
  struct {
    std::string stored, wanted;
    unsigned len;
  } cases[] = {
      {"K100      ", "K099      ", 10}, {"K099      ", "K100      ", 10}, {"K100      ", "K100      ", 10},
      {"K100      ", "K1", 2},          {"K099      ", "K1", 2},          {"K\xE9" "00      ", "K100      ", 10},
  };
  for (const auto& k : cases)
    for (bool descending : {false, true}) expect_seek_agrees('C', descending, k.stored, k.wanted, k.len);
}

}  // namespace
