// Reading the ids back out of list lines.
#include "dbmodel/list_lines.h"

#include <cstdlib>
#include <cstring>

namespace {

long DigitsAfter(const char* p) {
  if (!p) return 0;
  // Only an optional minus and leading digits count; anything else gives 0.
  const char* q = p;
  if (*q == '-') q++;
  if (*q < '0' || *q > '9') return 0;
  return std::strtol(p, nullptr, 10);
}

}  // namespace

std::string ListLineText(std::string text) {
  for (size_t i = 0; i + 1 < text.size(); i++) {
    char c = text[i];
    if ((c == '@' || c == '$' || c == '\xA3' || c == '\xA7') && text[i + 1] == c) text[i + 1] = ' ';
  }
  return text;
}

long ListLineId(const char* line) { return ListLineMarkedId(line, "@@"); }

long ListLineSecondId(const char* line) {
  if (!line) return 0;
  const char* pound = std::strstr(line, "\xA3\xA3");
  const char* dollar = std::strstr(line, "$$");
  const char* at = pound;
  if (!at || (dollar && dollar < at)) at = dollar;
  return at ? DigitsAfter(at + 2) : 0;
}

long ListLineMarkedId(const char* line, const char* marker) {
  if (!line || !marker || !*marker) return 0;
  const char* at = std::strstr(line, marker);
  return at ? DigitsAfter(at + std::strlen(marker)) : 0;
}
