// Small scanners shared by the configuration and language readers.
#include "appcore/text_scan.h"

#include <limits>

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
}  // namespace

int32_t DecimalValue(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  int64_t v = 0;
  const int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > limit) v = limit;
  }
  if (neg) v = -v;
  if (v > std::numeric_limits<int32_t>::max()) v = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(v);
}

std::string WordAfterEquals(std::string_view line) {
  std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  std::size_t i = eq + 1;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  std::size_t end = line.find_first_of(" \t", i);
  if (end == std::string_view::npos) end = line.size();
  return std::string(line.substr(i, end - i));
}

bool QuotedText(std::string_view line, std::string& out) {
  std::size_t a = line.find('"');
  if (a == std::string_view::npos) return false;
  std::size_t b = line.find('"', a + 1);
  if (b == std::string_view::npos) return false;
  out.assign(line.substr(a + 1, b - a - 1));
  return true;
}

std::string TrimText(std::string_view text) {
  std::size_t b = text.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  std::size_t e = text.find_last_not_of(' ');
  return std::string(text.substr(b, e - b + 1));
}

std::string CutText(std::string text, std::size_t max) {
  if (text.size() > max) text.resize(max);
  return text;
}
