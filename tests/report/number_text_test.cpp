// How output objects show numbers: plain, currency, percent and
// scientific; the report's decimal point and separator; brackets, leading
// zero, display-zero; what shows as zero prints as nothing.
// Covers: report/number_text.cpp
#include <gtest/gtest.h>

#include <cmath>

#include "report/number_text.h"

namespace kvtest {
namespace {

struct Case {
  const char* what;
  int type;
  int decimals;
  int flags;  // kZero, kBrackets, kLeading
  char point, separator;
  const char* currency;
  double value;
  const char* shown;
};

constexpr int kZero = 1, kBrackets = 2, kLeading = 4;
constexpr int P = DB_NUMERIC_PLAIN, C = DB_NUMERIC_CURRENCY, R = DB_NUMERIC_PERCENT, S = DB_NUMERIC_SCIENTIFIC;

const Case kCases[] = {
    {"grouped by three", P, 2, 0, '.', ',', "$", 1234567.891, "1,234,567.89"},
    {"short first group", P, 0, 0, '.', ',', "$", 12345, "12,345"},
    {"negative without decimals", P, 0, 0, '.', ',', "$", -5, "-5"},
    {"below 1 without decimals", P, 0, 0, '.', ',', "$", 0.4, ""},
    {"negative below 1 without decimals", P, 0, 0, '.', ',', "$", -0.4, ""},
    {"rounds to 1", P, 0, 0, '.', ',', "$", 0.6, "1"},
    {"below 1 shown as zero", P, 0, kZero, '.', ',', "$", 0.4, "0"},
    {"negative shown as zero has no sign", P, 0, kZero, '.', ',', "$", -0.4, "0"},
    {"zero", P, 2, 0, '.', ',', "$", 0, ""},
    {"zero shown", P, 2, kZero, '.', ',', "$", 0, ".00"},
    {"zero shown with leading zero", P, 2, kZero | kLeading, '.', ',', "$", 0, "0.00"},
    {"fraction", P, 2, 0, '.', ',', "$", 0.5, ".50"},
    {"fraction with leading zero", P, 2, kLeading, '.', ',', "$", 0.5, "0.50"},
    {"negative fraction", P, 2, kLeading, '.', ',', "$", -0.25, "-0.25"},
    {"brackets", P, 2, kBrackets, '.', ',', "$", -1234.5, "(1,234.50)"},
    {"brackets leave positives", P, 2, kBrackets, '.', ',', "$", 1234.5, "1,234.50"},
    {"decimal comma", P, 2, 0, ',', '.', "$", 1234567.891, "1.234.567,89"},
    {"no separator", P, 2, 0, '.', '\0', "$", 1234567.891, "1234567.89"},
    {"no decimal point: no decimals", P, 2, 0, '\0', ',', "$", 1234.56, "1,235"},
    {"currency", C, 2, 0, '.', ',', "$", 1234.5, "$1,234.50"},
    {"currency after the sign", C, 2, 0, '.', ',', "$", -1234.5, "-$1,234.50"},
    {"currency in brackets", C, 2, kBrackets, '.', ',', "$", -1234.5, "($1,234.50)"},
    {"currency symbol of several letters", C, 0, 0, ',', '.', "EUR ", 1500, "EUR 1.500"},
    {"percent", R, 1, 0, '.', ',', "$", 0.256, "25.6%"},
    {"negative percent", R, 0, 0, '.', ',', "$", -0.05, "-5%"},
    {"percent below one hundredth", R, 0, 0, '.', ',', "$", 0.004, ""},
    {"scientific", S, 2, 0, '.', ',', "$", 1234.5, "1.23e3"},
    {"scientific, small", S, 2, 0, '.', ',', "$", 0.00123, "1.23e-3"},
    {"scientific, negative", S, 2, 0, '.', ',', "$", -1234.5, "-1.23e3"},
    {"scientific, brackets", S, 1, kBrackets, '.', ',', "$", -1234.5, "(1.2e3)"},
    {"scientific, no decimals", S, 0, 0, '.', ',', "$", 1234, "1e3"},
    {"scientific, decimal comma", S, 3, 0, ',', '.', "$", 98766, "9,877e4"},
    {"scientific zero shown", S, 2, kZero, '.', ',', "$", 0, "0.00e0"},
    {"large", P, 0, 0, '.', ',', "$", 1e20, "100,000,000,000,000,000,000"},
    {"not a number", P, 2, kZero, '.', ',', "$", std::nan(""), ""},
};

TEST(NumberText, RulesAsATable) {
  for (const Case& c : kCases) {
    NumberRules n;
    n.type = c.type;
    n.decimals = c.decimals;
    n.display_zero = c.flags & kZero;
    n.brackets = c.flags & kBrackets;
    n.leading_zero = c.flags & kLeading;
    n.point = c.point;
    n.separator = c.separator;
    n.currency = c.currency;
    EXPECT_EQ(number_text(c.value, n), c.shown) << c.what;
  }
}

TEST(NumberText, DecimalsBeyondWhatADoubleHoldsAreCapped) {
  NumberRules n;
  n.decimals = 32000;
  EXPECT_EQ(number_text(0.5, n), ".5" + std::string(29, '0'));
}

}  // namespace
}  // namespace kvtest
