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

// A leaf of one key `stored`; the seek for `wanted` must stop before it
// exactly when the tag's compare puts `stored` at or after `wanted`.
struct SeekCase {
  char type;
  bool descending;
  std::string stored, wanted;  // packed keys as 24 hex digits, character keys as they are
  unsigned len;
};

std::string unhex(const std::string& h) {
  std::string out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) out += char(std::stoi(h.substr(i, 2), nullptr, 16));
  return out;
}

TEST(KeyOrder, BlockSeekOrdersKeysAsTheTagCompares) {
  const SeekCase cases[] = {
      // 100 against 99.5, 100 and -12.34
      {'N', false, "370510000000000000000000", "360D99500000000000000000", 12},
      {'N', false, "370510000000000000000000", "370510000000000000000000", 12},
      {'N', false, "369112340000000000000000", "370510000000000000000000", 12},
      {'N', true, "370510000000000000000000", "360D99500000000000000000", 12},
      {'N', true, "369112340000000000000000", "370510000000000000000000", 12},
      // Bytes past the digits a key counts do not matter; digits either key counts do.
      {'N', false, "370510FFFFFFFFFFFFFFFFFF", "370510000000000000000000", 12},
      {'N', false, "370512000000000000000000", "370510000000000000000000", 12},
      {'N', false, "3705100000000000000000AB", "370510000000000000000000", 12},
      // Twenty digits: the last two bytes decide.
      {'N', false, "3E5112345678901234567891", "3E5112345678901234567890", 12},
      {'N', false, "3E5112345678901234567890", "3E5112345678901234567890", 12},
      // Zero keys with any exponent byte are zero; the sign bit still counts.
      {'N', false, "000100000000000000000000", "340100000000000000000000", 12},
      {'N', false, "FF8100000000000000000000", "340100000000000000000000", 12},
      {'N', false, "340100000000000000000000", "328550000000000000000000", 12},
      {'C', false, "K100      ", "K099      ", 10},
      {'C', false, "K100      ", "K1", 2},
      {'C', false, "K099      ", "K1", 2},
      {'C', true, "K100      ", "K099      ", 10},
      {'C', true, "K099      ", "K1", 2},
  };
  for (const SeekCase& k : cases) {
    std::string stored = k.type == 'N' ? unhex(k.stored) : k.stored;
    std::string wanted = k.type == 'N' ? unhex(k.wanted) : k.wanted;
    DbTag t{};
    t.header.key_format = k.descending ? 0x08 : 0;
    t.header.key_len = int(stored.size());
    t.header.group_len = 4 + int(stored.size());
    ASSERT_EQ(tag_routines_set(&t, k.type), 0);
    unsigned char image[64] = {};
    image[0] = 1;  // one key, pointing at record 1
    image[8] = 1;
    std::memcpy(image + 12, stored.data(), stored.size());
    DbBlock b{};
    b.tag = &t;
    b.image = image;
    int want = t.compare(stored.data(), wanted.data(), k.len);
    int rc = block_seek(&b, wanted.data(), k.len);
    EXPECT_EQ(rc, want == 0 ? 0 : DB_AFTER) << k.stored << " / " << k.wanted;
    EXPECT_EQ(b.cur, want < 0 ? 1 : 0) << k.stored << " / " << k.wanted;
  }
}

}  // namespace
