// Numbers, packed decimal keys, dates and file names.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <cstring>
#include <string>
#include <vector>

#include "engine/convert.h"

namespace {

std::string ltoa(long v, int w) {
  char b[32];
  ltoa_width(v, b, w);
  return std::string(b, w < 0 ? -w : w);
}

std::string fixed(double v, int w, int d) {
  char b[64];
  double_to_fixed(v, b, w, d);
  return std::string(b, w);
}

TEST(Numbers, LongIntoWidth) {
  struct { long v; int w; const char* out; } cases[] = {
      {7, 3, "  7"},   {7, -3, "007"},    {-920, 4, "-920"}, {-1020, 4, "****"},
      {12345, 3, "***"}, {0, 4, "   0"}, {-7, -3, "***"},  {-7, 3, " -7"},
      {1234567890, 10, "1234567890"},
  };
  for (const auto& c : cases) EXPECT_EQ(ltoa(c.v, c.w), c.out) << c.v << " in " << c.w;
}

TEST(Numbers, DoubleToFixed) {
  struct { double v; int w, d; const char* out; } cases[] = {
      {0.5, 5, 2, " 0.50"}, {12345, 3, 0, "***"}, {-1.25, 6, 2, " -1.25"},
      {3.14159, 8, 3, "   3.142"}, {-12.5, 4, 1, "****"}, {100, 5, 0, "  100"},
      {0, 4, 1, " 0.0"}, {99.999, 6, 2, "100.00"}, {-0.5, 6, 2, " -0.50"},
  };
  for (const auto& c : cases) EXPECT_EQ(fixed(c.v, c.w, c.d), c.out) << c.v;
}

// What a numeric field shows: printf's %.*f right-aligned, no sign on a
// value that rounds to zero, the 0 before the point dropped when it has no
// room, stars when the number still does not fit.
std::string printf_fixed(double v, int w, int d) {
  if (!std::isfinite(v)) return std::string(size_t(w), '*');
  char t[400];
  std::snprintf(t, sizeof t, "%.*f", d, v);
  std::string s = t;
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  size_t zero = s.find("0.");
  if (int(s.size()) > w && zero != std::string::npos && zero == s.find_first_of("0123456789")) s.erase(zero, 1);
  if (int(s.size()) > w) return std::string(size_t(w), '*');
  return std::string(size_t(w) - s.size(), ' ') + s;
}

// Every value printf's rounding would give, for hard values (ties at every
// place, digits that carry, the edge of 2^53 and 2^64 scaled, tiny and huge
// values, -0, NaN, infinities) and for a sweep of random ones, at every
// count of decimals and narrow widths too.
TEST(Numbers, DoubleToFixedRoundsAsPrintf) {
  std::vector<double> values = {0.5, 1.5, 2.5, 0.125, 0.375, 1.0625, 2.675, 1.005, 0.045, 9.995, 99.5,
                                999.9999999, 0.05, 0.15, 0.25, 0.35, 1e15, 1e15 + 0.5, 999999999999999.9,
                                4503599627370495.5, 9007199254740992.0, 9007199254740993.0, 1e16, 1e17,
                                1.8446744073709552e19, 1e19, 1e20, 1e300, 1.7976931348623157e308,
                                5e-324, 2.2250738585072014e-308, 1e-16, 4.9999999999999996e-16, 5e-16,
                                0.0, -0.0, -0.004, -0.005, -0.5, -1.5, -2.5, 123.456, -123.456, 0.1, 0.2, 0.3,
                                std::nan(""), INFINITY, -INFINITY, 250.0, 249.75, 3.14159};
  for (int p = 1; p <= 15; p++) {
    double unit = std::pow(10.0, -p);
    values.push_back(5 * unit / 10);  // a tie (or nearly) one place past the last
    values.push_back(0.5 + unit);
    values.push_back(1 - unit / 2);
  }
  for (int j = 1; j <= 60; j++) values.push_back(std::ldexp(1.0, -j) * 3);  // exact binary ties
  std::mt19937_64 rng(20261211);
  for (int i = 0; i < 3000; i++) {
    double scale = std::pow(10.0, int(rng() % 36) - 18);
    double v = std::ldexp(double(rng() >> 11), -53) * scale;
    values.push_back(rng() & 1 ? -v : v);
    values.push_back(std::round(v * 1000) / (i % 2 ? 1000 : 4));  // few digits, as fields hold
  }
  int failures = 0;
  for (double v : values)
    for (int d = 0; d <= 15 && failures < 10; d++)
      for (int w : {d + 2, d + 5, 24}) {
        std::string got = fixed(v, w, d), want = printf_fixed(v, w, d);
        if (got != want) {
          ADD_FAILURE() << std::hexfloat << v << std::defaultfloat << " (" << v << ") width " << w << " decimals "
                        << d << ": \"" << got << "\" not \"" << want << "\"";
          failures++;
        }
      }
}

TEST(Numbers, TextToNumber) {
  EXPECT_DOUBLE_EQ(str_to_double("  12.50xyz", 10), 12.5);
  EXPECT_DOUBLE_EQ(str_to_double("123456", 3), 123);
  EXPECT_EQ(str_to_long("   42   ", 8), 42);
  EXPECT_EQ(str_to_long("-17", 3), -17);
  EXPECT_EQ(log2_floor(1), 0);
  EXPECT_EQ(log2_floor(1024), 10);
  EXPECT_EQ(log2_floor(1023), 9);
}

// Whole numbers read without strtol give strtol's very value: signs,
// blanks on either side, other white space, stray characters, a NUL inside,
// more digits than a long holds.
TEST(Numbers, TextToLongAgreesWithStrtol) {
  const std::string texts[] = {"0", "-0", "+7", "   42", "42   ", "  -5  ", "-", "+", "    ", "", "12x4",
                               "x12", "\t 9", " \n3", "+-5", "- 5", "007", std::string("12\0" "34", 5),
                               "123456789012345678", "-123456789012345678", "1234567890123456789",
                               "99999999999999999999", "-99999999999999999999", "00000000000000000000012"};
  for (const std::string& t : texts) {
    std::string copy = t.substr(0, t.find('\0'));
    EXPECT_EQ(str_to_long(t.data(), int(t.size())), std::strtol(copy.c_str(), nullptr, 10)) << t;
  }
}

// Field texts read without strtod give strtod's very double: plain ones,
// edge ones, and random values of every width and number of decimals.
TEST(Numbers, TextToNumberAgreesWithStrtod) {
  std::vector<std::string> texts = {"0", "-0", "-0.00", "  .5", "1.", "-.25", "+7", "  0.000000000000001",
                                    "0.0000000000000001", "123456789012345", "1234567890123456",
                                    "999999999999999.", "0.1", "  -12.30  ", "1e5", "1.2.3", "-", " ",
                                    "\t5", "12 34", "00000000000000000012"};
  std::mt19937_64 rng(7);
  for (int i = 0; i < 3000; i++) {
    int decimals = int(rng() % 10);
    double v = double(int64_t(rng() % 2000000000001ULL) - 1000000000000LL) / std::pow(10.0, decimals);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%20.*f", decimals, v);
    texts.push_back(buf);
  }
  for (const std::string& t : texts) {
    double want = std::strtod(t.c_str(), nullptr);
    double got = str_to_double(t.c_str(), int(t.size()));
    EXPECT_EQ(std::memcmp(&want, &got, sizeof want), 0) << "'" << t << "'";
  }
}

std::string hex(const unsigned char* p) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (int i = 0; i < DB_PACKED_LEN; i++) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

TEST(PackedDecimal, BytesForValues) {
  struct { const char* text; const char* bytes; } cases[] = {
      {"100", "370510000000000000000000"},
      {"99.5", "360D99500000000000000000"},
      {"0", "340100000000000000000000"},
      {"   ", "340100000000000000000000"},
      {"-0.005", "328550000000000000000000"},
      {"-12.34", "369112340000000000000000"},
      {"+007", "350570000000000000000000"},
  };
  for (const auto& c : cases) {
    unsigned char p[DB_PACKED_LEN];
    packed_from_str(p, c.text, static_cast<int>(std::strlen(c.text)));
    EXPECT_EQ(hex(p), c.bytes) << c.text;
  }
  // Texts that end early: at the length given, at a NUL, at a stray
  // character, at a second point; and more digits than a key holds.
  struct { const char* text; int len; const char* bytes; } edges[] = {
      {"12\0" "34", 5, "360912000000000000000000"}, {"12345", 3, "370D12300000000000000000"},
      {"12x4", 4, "360912000000000000000000"},     {"1.2.3", 5, "350912000000000000000000"},
      {".05", 3, "330550000000000000000000"},      {"-.5", 3, "348550000000000000000000"},
      {"  - 5", 5, "358550000000000000000000"},    {"-0.00", 5, "320100000000000000000000"},
      {" \0" "7", 3, "340100000000000000000000"},  {"7", 0, "340100000000000000000000"},
      {"123456789012345678901234", 24, "4C4D12345678901234567890"},
      {"0.000000000000000000001", 23, "200510000000000000000000"},
  };
  for (const auto& c : edges) {
    unsigned char p[DB_PACKED_LEN];
    packed_from_str(p, c.text, c.len);
    EXPECT_EQ(hex(p), c.bytes) << c.text << " in " << c.len;
  }
}

TEST(PackedDecimal, FromDoubleMatchesText) {
  for (double v : {100.0, 99.5, -12.34, 0.001, 123456789.25}) {
    unsigned char a[DB_PACKED_LEN], b[DB_PACKED_LEN];
    packed_from_double(a, v);
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", v);
    packed_from_str(b, text, static_cast<int>(std::strlen(text)));
    EXPECT_EQ(hex(a), hex(b)) << v;
  }
}

TEST(PackedDecimal, FromDoubleTakesEveryFiniteMagnitude) {
  // Writing these out once overran the conversion's text buffer.
  for (double v : {1e45, -1e300, 1.7976931348623157e308, 1e-46, -4.9e-324}) {
    unsigned char a[DB_PACKED_LEN];
    packed_from_double(a, v);
    EXPECT_EQ((a[1] & 0x80) != 0, v < 0) << v;
  }
}

TEST(PackedDecimal, CompareOrdersLikeNumbers) {
  const double sorted[] = {-1000, -99.5, -1, -0.01, 0, 0.001, 0.5, 1, 99.5, 100, 1e6};
  const int n = sizeof sorted / sizeof sorted[0];
  for (int i = 0; i < n; i++) {
    for (int j = 0; j < n; j++) {
      unsigned char a[DB_PACKED_LEN], b[DB_PACKED_LEN];
      packed_from_double(a, sorted[i]);
      packed_from_double(b, sorted[j]);
      int want = i < j ? -1 : i > j ? 1 : 0;
      EXPECT_EQ(packed_compare(a, b), want) << sorted[i] << " vs " << sorted[j];
    }
  }
}

// Julian day numbers against the standard library's civil calendar.
long reference_julian(int y, unsigned m, unsigned d) {
  using namespace std::chrono;
  return static_cast<long>(sys_days(year(y) / month(m) / day(d)).time_since_epoch().count()) +
         2440588;
}

TEST(Dates, JulianAgainstIndependentCalendar) {
  for (int y : {1, 4, 99, 100, 400, 1582, 1899, 1900, 1970, 1999, 2000, 2001, 2024, 2100, 9999}) {
    for (unsigned m = 1; m <= 12; m++) {
      for (unsigned d : {1u, 15u, 28u}) {
        char text[9];
        std::snprintf(text, sizeof text, "%04d%02u%02u", y, m, d);
        long j = date_to_julian(text);
        ASSERT_EQ(j, reference_julian(y, m, d)) << text;
        char back[9] = {};
        date_from_julian(back, j);
        ASSERT_STREQ(back, text);
      }
    }
  }
  // Every day of a stretch that crosses leap and century years.
  for (long j = reference_julian(1896, 1, 1); j < reference_julian(1905, 1, 1); j++) {
    char back[9] = {};
    date_from_julian(back, j);
    ASSERT_EQ(date_to_julian(back), j) << back;
  }
}

TEST(Dates, EdgeCases) {
  EXPECT_EQ(date_to_julian("20000229"), reference_julian(2000, 2, 29));
  EXPECT_EQ(date_to_julian("19000229"), -1);
  EXPECT_EQ(date_to_julian("20230230"), -1);
  EXPECT_EQ(date_to_julian("20231301"), -1);
  EXPECT_EQ(date_to_julian("2023AB01"), -1);
  EXPECT_EQ(date_to_julian("        "), 0);
  EXPECT_EQ(date_to_julian("00010101"), 1721426);
  char b[9] = {};
  date_from_julian(b, 0);
  EXPECT_STREQ(b, "        ");
  date_from_julian(b, 99999999);  // beyond four-digit years
  EXPECT_STREQ(b, "        ");
  EXPECT_EQ(date_day_of_week("19700101"), 5);
  EXPECT_STREQ(date_day_name("19700101"), "Thursday");
  EXPECT_STREQ(date_month_name("19700301"), "March");
  EXPECT_EQ(date_day_of_week("19700231"), 0);
  EXPECT_EQ(date_as_double("        "), 1e100);
  unsigned char raw[8];
  date_as_double_buf("        ", raw);
  const unsigned char blank[8] = {0x7D, 0xC3, 0x94, 0x25, 0xAD, 0x49, 0xB2, 0x54};
  EXPECT_EQ(std::memcmp(raw, blank, 8), 0);
}

TEST(Dates, Pictures) {
  struct { const char* date; const char* picture; const char* out; } cases[] = {
      {"19991231", "MM/DD/YY", "12/31/99"},
      {"19991231", "DD MMMMMMMMM CCYY", "31 December  1999"},
      {"20240305", "DD/MM-CCYY", "05/03-2024"},
      {"20240305", "dd.mm.ccyy", "05.03.2024"},
      {"20240505", "MMM DD", "May 05"},
      {"        ", "MM/DD/YY", "  /  /  "},
  };
  for (const auto& c : cases) {
    char out[64];
    date_format(c.date, out, c.picture);
    EXPECT_STREQ(out, c.out) << c.picture;
  }
  struct { const char* text; const char* picture; const char* out; } back[] = {
      {"12/31/99", "MM/DD/YY", "19991231"},
      {"05/03-2024", "DD/MM-CCYY", "20240305"},
      {"  /  /  ", "MM/DD/YY", "        "},
      {"31 Dec       1999", "DD MMMMMMMMM CCYY", "19991231"},
      {"03/  /99", "MM/DD/YY", "19990300"},
      {"1999", "CCYY", "19990101"},
  };
  for (const auto& c : back) {
    char out[9] = {};
    date_from_picture(out, c.text, c.picture);
    EXPECT_STREQ(out, c.out) << c.text;
  }
}

TEST(Texts, FileNamesAndCopies) {
  struct { const char* name; const char* ext; int replace; const char* out; } cases[] = {
      // Companions take the case of the table's name; the rest stays as given.
      {"kelvindx", "DBF", 0, "kelvindx.dbf"},
      {"KELVINDX", "DBF", 0, "KELVINDX.DBF"},
      {"kelvindx.dbf  ", "DBT", 0, "kelvindx.dbf"},
      {"kelvindx.dbf", ".DBT", 1, "kelvindx.dbt"},
      {"KELVINDX.DBF", "MDX", 1, "KELVINDX.MDX"},
      {"People.dbf", "DBT", 1, "People.dbt"},      // the extension decides
      {"people.Dbf", "DBT", 1, "people.DBT"},      // mixed: upper, as DOS wrote
      {"Kelv", "DBF", 0, "Kelv.DBF"},
      {"t.1", "DBT", 1, "t.dbt"},                  // no letters in it: the name decides
      {"c:\\DB.V2\\kelv", "DBF", 0, "c:\\DB.V2\\kelv.dbf"},
      {"/tmp/Work/t", "MDX", 0, "/tmp/Work/t.mdx"},
  };
  for (const auto& c : cases) {
    char b[258];
    std::strcpy(b, c.name);
    EXPECT_EQ(file_name_ext(b, sizeof b, c.ext, c.replace), 0);
    EXPECT_STREQ(b, c.out);
  }
  char small[8] = "ABCDEFG";
  EXPECT_EQ(file_name_ext(small, sizeof small, "DBF", 0), -1);
  EXPECT_STREQ(small, "ABCDEFG");

  char piece[16];
  file_name_piece(piece, sizeof piece, "c:\\db\\kelvindx.dbf", 0, 0);
  EXPECT_STREQ(piece, "KELVINDX");
  file_name_piece(piece, sizeof piece, "c:\\db\\kelvindx.dbf", 0, 1);
  EXPECT_STREQ(piece, "KELVINDX.DBF");
  file_name_piece(piece, 5, "c:\\db\\kelvindx.dbf", 1, 1);
  EXPECT_STREQ(piece, "C:\\D");

  char t[16] = "AB   \0\0";
  EXPECT_STREQ(str_trim_len(t, 10), "AB");
  char t2[8] = "   ";
  EXPECT_STREQ(str_trim_len(t2, 3), " ");
  char dst[4];
  EXPECT_EQ(str_copy_max(dst, "HELLO", sizeof dst), 3);
  EXPECT_STREQ(dst, "HEL");
  EXPECT_TRUE(char_is_name('_') && char_is_name('@') && char_is_name('&') && char_is_name('z'));
  EXPECT_FALSE(char_is_name('.') || char_is_name(' '));
}

}  // namespace
