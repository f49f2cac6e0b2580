// Numbers as fixed-width texts, and the packed decimal keys of numeric tags.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/convert.h"

namespace {

// Plain field texts (blanks, a sign, at most 15 digits with a point among
// them) are read without strtod: both the digits and the power of ten are
// exact doubles, so one division rounds just as strtod does. Anything else
// goes to strtod. False when the text is not that plain.
bool plain_number(const char* text, int len, double* out) {
  static const double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = text;
  const char* end = text + len;
  while (p < end && *p == ' ') p++;
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
  // The usual field text: blanks, then digits to its end.
  const char* first = p;
  unsigned long long whole = 0;
  for (unsigned d; p < end && (d = unsigned(static_cast<unsigned char>(*p)) - '0') <= 9; p++)
    whole = whole * 10 + d;
  if (p == end && p > first && p - first <= 15) {
    double v = double(whole);
    *out = negative ? -v : v;
    return true;
  }
  p = first;
  long long digits = 0;
  int count = 0, decimals = 0;
  bool point = false, any = false;
  for (; p < end; p++) {
    unsigned d = unsigned(static_cast<unsigned char>(*p)) - '0';
    if (d <= 9) {
      any = true;
      decimals += point;
      if (digits == 0 && d == 0) continue;  // leading zeros count for nothing
      if (++count > 15) return false;
      digits = digits * 10 + d;
    } else if (*p == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any || decimals > 15) return false;
  for (; p < end && *p; p++)
    if (*p != ' ') return false;
  // Most field texts are whole numbers: no division to wait for.
  double v = decimals ? double(digits) / kTens[decimals] : double(digits);
  *out = negative ? -v : v;
  return true;
}

}  // namespace

double str_to_double(const char* text, int len) {
  if (len > 49) len = 49;
  double quick;
  if (len >= 0 && plain_number(text, len, &quick)) return quick;
  char buf[50];
  if (len < 0 || len > 49) len = 49;
  int n = 0;
  while (n < len && text[n]) { buf[n] = text[n]; n++; }
  buf[n] = 0;
  return std::strtod(buf, nullptr);
}

void str_to_double_p(const char* text, int len, double* result) {
  *result = str_to_double(text, len);
}

namespace {

// Blanks, a sign and at most 18 digits (no overflow), read without strtol,
// which would stop where this stops. False for any other text.
bool plain_long(const char* text, int len, long* out) {
  int i = 0;
  while (i < len && text[i] == ' ') i++;
  bool negative = false;
  if (i < len && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  else if (i < len && unsigned(static_cast<unsigned char>(text[i])) - '0' > 9) return false;
  long v = 0;
  for (int digits = 0; i < len; i++) {
    unsigned d = unsigned(static_cast<unsigned char>(text[i])) - '0';
    if (d > 9) break;
    if (++digits > 18) return false;
    v = v * 10 + long(d);
  }
  *out = negative ? -v : v;
  return true;
}

}  // namespace

long str_to_long(const char* text, int len) {
  long quick;
  if (len >= 0 && len <= 127 && plain_long(text, len, &quick)) return quick;
  char buf[128];
  if (len < 0 || len > 127) len = 127;
  int n = 0;
  while (n < len && text[n]) { buf[n] = text[n]; n++; }
  buf[n] = 0;
  return std::strtol(buf, nullptr, 10);
}

long str_to_long2(const char* text, int len) { return str_to_long(text, len); }

void ltoa_width(long value, char* buf, int width) {
  int w = width < 0 ? -width : width;
  if (w == 0) return;
  unsigned long v = value < 0 ? 0ul - static_cast<unsigned long>(value)
                              : static_cast<unsigned long>(value);
  for (int i = w - 1; i >= 0; i--) {
    buf[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  if (v != 0) {
    std::memset(buf, '*', w);
    return;
  }
  if (width > 0)
    for (int i = 0; i < w - 1 && buf[i] == '0'; i++) buf[i] = ' ';
  if (value < 0) {
    int i = w - 1;
    while (i >= 0 && buf[i] != ' ') i--;
    if (i < 0 || width < 0) {
      std::memset(buf, '*', w);
      return;
    }
    // The rightmost blank sits just left of the digits.
    buf[i] = '-';
  }
}

namespace {

constexpr uint64_t kPowersOfTen[] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull,
                                     10000000ull, 100000000ull, 1000000000ull, 10000000000ull,
                                     100000000000ull, 1000000000000ull, 10000000000000ull,
                                     100000000000000ull, 1000000000000000ull};

// a * 10^decimals rounded to a whole number as %.*f rounds a (finite, not
// negative) to at most 15 decimals, worked out in integers: a is m * 2^e
// exactly, so m * 10^decimals is shifted and the bits shifted out round it,
// to the nearest and a tie to even. False when the result does not fit 64
// bits (the caller formats it the long way).
bool scaled(double a, int decimals, uint64_t* out) {
  uint64_t bits;
  std::memcpy(&bits, &a, sizeof bits);
  int biased = int(bits >> 52);
  uint64_t m = bits & ((uint64_t(1) << 52) - 1);
  int e = biased == 0 ? -1074 : biased - 1075;
  if (biased != 0) m |= uint64_t(1) << 52;
  unsigned __int128 x = static_cast<unsigned __int128>(m) * kPowersOfTen[decimals];  // below 2^103
  unsigned __int128 q;
  if (e >= 0) {
    if (e > 24) return false;
    q = x << e;
  } else if (-e >= 104) {
    q = 0;  // below half of a unit of the last place
  } else {
    int k = -e;
    q = x >> k;
    unsigned __int128 rest = x & ((static_cast<unsigned __int128>(1) << k) - 1);
    unsigned __int128 half = static_cast<unsigned __int128>(1) << (k - 1);
    if (rest > half || (rest == half && (q & 1))) q++;
  }
  if (q >> 64) return false;
  *out = uint64_t(q);
  return true;
}

}  // namespace

void double_to_fixed(double value, char* buf, int width, int decimals) {
  if (width <= 0) return;
  std::memset(buf, '0', width);
  int point = width;  // no decimal point
  if (decimals >= 1) {
    if (decimals > 15) decimals = 15;
    if (decimals > width - 1) decimals = width - 1;
    point = width - decimals - 1;
  } else {
    decimals = 0;
  }
  if (!std::isfinite(value)) {
    std::memset(buf, '*', width);
    return;
  }
  // The whole part's digits (none for zero) and the decimals, rounded as
  // printf's %.*f would, without formatted printing.
  char digits[400];
  const char* int_digits;
  const char* fraction = digits;
  int int_len;
  bool all_zero;
  uint64_t q;
  if (scaled(std::fabs(value), decimals, &q)) {
    all_zero = q == 0;
    for (int i = decimals - 1; i >= 0; i--, q /= 10) digits[i] = char('0' + q % 10);
    char* end = digits + sizeof digits;
    char* p = end;
    for (; q; q /= 10) *--p = char('0' + q % 10);
    int_digits = p;
    int_len = static_cast<int>(end - p);
  } else {
    auto done = std::to_chars(digits, digits + sizeof digits - 1, std::fabs(value),
                              std::chars_format::fixed, decimals);
    *done.ptr = 0;
    char* dot = std::strchr(digits, '.');
    int_len = dot ? static_cast<int>(dot - digits) : static_cast<int>(std::strlen(digits));
    int_digits = digits;
    while (int_len > 0 && *int_digits == '0') { int_digits++; int_len--; }
    all_zero = std::strspn(digits, "0.") == std::strlen(digits);
    if (dot) fraction = dot + 1;
  }
  bool negative = value < 0 && !all_zero;
  int need = (int_len == 0 ? 1 : int_len) + (negative ? 1 : 0);
  if (int_len > point || (negative && int_len + 1 > point)) {
    std::memset(buf, '*', width);
    return;
  }
  std::memset(buf, ' ', point);
  if (int_len == 0) {
    if (point >= 1 && need <= point) buf[point - 1] = '0';
  } else {
    std::memcpy(buf + point - int_len, int_digits, int_len);
  }
  if (negative) {
    int first = point - (int_len == 0 ? (need <= point ? 1 : 0) : int_len);
    buf[first - 1] = '-';
  }
  if (decimals > 0) {
    buf[point] = '.';
    std::memcpy(buf + point + 1, fraction, decimals);
  }
}

int log2_floor(unsigned long value) {
  int n = 0;
  while (value >= 2) { value >>= 1; n++; }
  return n;
}

void packed_from_str(unsigned char* r, const char* text, int len) {
  std::memset(r, 0, DB_PACKED_LEN);
  // A NUL ends the text as its length does: no step below passes over one.
  const char* p = text;
  const char* end = text + (len > 0 ? len : 0);
  bool negative = false;
  while (p < end && *p == ' ') p++;
  if (p < end && *p == '-') { negative = true; p++; }
  else if (p < end && *p == '+') p++;
  while (p < end && (*p == ' ' || *p == '0')) p++;
  int exponent = 52;
  bool point = false;
  if (p < end && *p == '.') {
    point = true;
    for (p++; p < end && *p == '0'; p++) exponent--;
  }
  int n = 0, trailing = 0;
  for (; p < end; p++) {
    unsigned d = unsigned(static_cast<unsigned char>(*p)) - '0';
    if (d > 9) {
      if (*p == '.' && !point) { point = true; continue; }
      break;
    }
    if (!point) exponent++;
    if (n >= 20) continue;
    r[2 + n / 2] |= static_cast<unsigned char>(n % 2 ? d : d << 4);
    n++;
    trailing = d == 0 ? trailing + 1 : 0;
  }
  int significant = n - trailing;
  if (significant >= 32) significant = 31;
  if (significant == 0) negative = false;
  r[0] = static_cast<unsigned char>(exponent);
  r[1] = static_cast<unsigned char>((negative ? 0x80 : 0) | (significant << 2) | 1);
}

void packed_from_double(unsigned char* r, double value) {
  // Room for every finite double written out: up to 309 integer digits or
  // 324 leading fraction zeros, plus 15 digits, sign and point.
  char text[360];
  if (value == 0 || !std::isfinite(value)) {
    packed_from_str(r, "0", 1);
    return;
  }
  // d.dddddddddddddde+XX, rounded as printf's %.14e, without formatted printing.
  char e[40];
  auto done = std::to_chars(e, e + sizeof e - 1, std::fabs(value), std::chars_format::scientific, 14);
  *done.ptr = 0;
  char digits[16];
  digits[0] = e[0];
  std::memcpy(digits + 1, e + 2, 14);
  digits[15] = 0;
  int decpt = std::atoi(std::strchr(e, 'e') + 1) + 1;
  char* p = text;
  if (value < 0) *p++ = '-';
  if (decpt > 0) {
    for (int k = 0; k < 15 || k < decpt; k++) {
      if (k == decpt) *p++ = '.';
      *p++ = k < 15 ? digits[k] : '0';
    }
  } else {
    *p++ = '.';
    for (int k = 0; k < -decpt; k++) *p++ = '0';
    std::memcpy(p, digits, 15);
    p += 15;
  }
  *p = 0;
  packed_from_str(r, text, static_cast<int>(p - text));
}

int packed_compare(const unsigned char* a, const unsigned char* b) {
  int sign_a = a[1] & 0x80, sign_b = b[1] & 0x80;
  if (sign_a != sign_b) return sign_a ? -1 : 1;
  int digits_a = (a[1] >> 2) & 0x1F, digits_b = (b[1] >> 2) & 0x1F;
  int exp_a = digits_a ? a[0] : 0, exp_b = digits_b ? b[0] : 0;
  int r = 0;
  if (exp_a != exp_b) {
    r = exp_a < exp_b ? -1 : 1;
  } else {
    int n = ((digits_a > digits_b ? digits_a : digits_b) + 1) / 2;
    if (n > 10) n = 10;
    // The digit bytes as big-endian words, the bytes past the n that count
    // masked off: index seeks compare keys all the time.
    auto word = [](const unsigned char* p) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      return __builtin_bswap64(w);
    };
    uint64_t x = word(a + 2), y = word(b + 2);
    if (n < 8) {
      uint64_t mask = n > 0 ? ~uint64_t(0) << (8 * (8 - n)) : 0;
      x &= mask;
      y &= mask;
    }
    if (x != y) {
      r = x < y ? -1 : 1;
    } else {
      for (int i = 10; i < n + 2; i++) {
        if (a[i] != b[i]) {
          r = a[i] < b[i] ? -1 : 1;
          break;
        }
      }
    }
  }
  return sign_a ? -r : r;
}
