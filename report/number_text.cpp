// The number rules of output objects (number_text.h). Digits come from the
// C library's rounding at the decimals asked for; everything else is put
// around them here.
#include "report/number_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// More decimals than a double holds only add zeros; a field's or a user's
// setting beyond this is taken as this.
constexpr int kDecimalsMax = 30;

std::string printed(const char* format, int decimals, double v) {
  int n = std::snprintf(nullptr, 0, format, decimals, v);
  std::string s(size_t(std::max(n, 0)) + 1, '\0');
  std::snprintf(s.data(), s.size(), format, decimals, v);
  s.resize(size_t(std::max(n, 0)));
  return s;
}

bool all_zero(const std::string& digits) {
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c < '1' || c > '9'; });
}

std::string grouped(const std::string& whole, char separator) {
  if (!separator) return whole;
  std::string out;
  size_t first = whole.size() % 3 ? whole.size() % 3 : 3;
  for (size_t i = 0; i < whole.size(); i++) {
    if (i >= first && (i - first) % 3 == 0) out += separator;
    out += whole[i];
  }
  return out;
}

std::string signed_text(const std::string& body, bool negative, bool brackets) {
  if (!negative) return body;
  return brackets ? "(" + body + ")" : "-" + body;
}

// "1.23e3": the mantissa's digits with the point after the first, the
// exponent without sign padding.
std::string scientific(double v, int decimals, const NumberRules& n) {
  std::string s = printed("%.*e", decimals, std::fabs(v));
  size_t e = s.find('e');
  std::string mantissa = s.substr(0, e);
  if (all_zero(mantissa) && !n.display_zero) return "";
  bool negative = v < 0 && !all_zero(mantissa);
  int exponent = all_zero(mantissa) ? 0 : std::stoi(s.substr(e + 1));
  std::string body(1, mantissa[0]);
  if (decimals > 0) body += n.point + mantissa.substr(2);
  body += "e" + std::to_string(exponent);
  return signed_text(body, negative, n.brackets);
}

}  // namespace

NumberRules number_rules(const DbReport* r, const DbReportObject* o) {
  NumberRules n;
  n.type = o->numeric_type;
  n.decimals = o->decimals;
  n.display_zero = o->display_zero != 0;
  n.brackets = o->brackets != 0;
  n.leading_zero = o->leading_zero != 0;
  n.point = r->decimal_point;
  n.separator = r->separator;
  n.currency = r->currency;
  return n;
}

std::string number_text(double v, const NumberRules& n) {
  if (!std::isfinite(v)) return "";
  int decimals = n.point ? std::clamp(n.decimals, 0, kDecimalsMax) : 0;
  if (n.type == DB_NUMERIC_SCIENTIFIC) return scientific(v, decimals, n);
  double shown = n.type == DB_NUMERIC_PERCENT ? v * 100 : v;
  std::string digits = printed("%.*f", decimals, std::fabs(shown));
  bool zero = all_zero(digits);
  if (zero && !n.display_zero) return "";
  size_t dot = digits.find('.');
  std::string whole = digits.substr(0, dot);
  std::string fraction = dot == std::string::npos ? "" : digits.substr(dot + 1);
  if (whole == "0" && !n.leading_zero && !fraction.empty()) whole.clear();
  std::string body = grouped(whole, n.separator);
  if (!fraction.empty()) body += n.point + fraction;
  if (n.type == DB_NUMERIC_CURRENCY) body = n.currency + body;
  if (n.type == DB_NUMERIC_PERCENT) body += "%";
  return signed_text(body, shown < 0 && !zero, n.brackets);
}
