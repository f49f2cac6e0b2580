// Text helpers of the table classes.
#include "dbmodel/text_helpers.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/msgbox.h"

void TrimCopy(char* dest, size_t size, const char* src) {
  if (!dest || size == 0) return;
  dest[0] = 0;
  if (!src) return;
  while (*src == ' ' || *src == '\t') src++;
  size_t n = std::strlen(src);
  while (n > 0 && src[n - 1] == ' ') n--;
  if (n > size - 1) n = size - 1;
  std::memcpy(dest, src, n);
  dest[n] = 0;
}

int CutAtFirstBlank(char* text) {
  if (!text) return 0;
  char* blank = std::strchr(text, ' ');
  if (blank) *blank = 0;
  return 1;
}

int TrimTrailingBlanks(char* text) {
  if (!text) return 0;
  size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == ' ') n--;
  text[n] = 0;
  return 1;
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), format, again);
    out.resize(static_cast<size_t>(n));
  }
  va_end(again);
  return out;
}

void CopyCut(char* dest, size_t size, const char* src) {
  if (!dest || size == 0) return;
  size_t n = src ? strnlen(src, size - 1) : 0;
  if (n) std::memcpy(dest, src, n);
  dest[n] = 0;
}

bool QuoteFilterText(const std::string& text, std::string& quoted) {
  if (text.find('\'') == std::string::npos) {
    quoted = "'" + text + "'";
  } else if (text.find('"') == std::string::npos) {
    quoted = "\"" + text + "\"";
  } else if (text.find('[') == std::string::npos && text.find(']') == std::string::npos) {
    quoted = "[" + text + "]";
  } else {
    quoted.clear();
    return false;
  }
  return true;
}

bool QuoteSearchText(const std::string& text, std::string& quoted) {
  if (QuoteFilterText(text, quoted)) return true;
  MessageBox(nullptr,
             "The search text contains ', \" and a bracket together and cannot be "
             "searched for. Please leave one of them out.",
             "Search", MB_OK | MB_ICONSTOP);
  return false;
}

std::string PadText(const char* text, size_t width) {
  std::string s = text ? text : "";
  if (s.size() > width) s.resize(width);
  s.resize(width, ' ');
  return s;
}

char* HeapCopy(const char* text) {
  size_t n = text ? std::strlen(text) : 0;
  char* copy = new char[n + 1];
  if (n) std::memcpy(copy, text, n);
  copy[n] = 0;
  return copy;
}

void ReplaceText(char*& dest, const char* text) {
  delete[] dest;
  dest = nullptr;
  if (text) dest = HeapCopy(text);
}

void UpperInPlace(char* text) {
  if (!text) return;
  for (; *text; text++)
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}
