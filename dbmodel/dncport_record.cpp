// The DNC port record: property kinds, texts, and the splitting of the
// character-code lists that frame and fill a transfer.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dbmodel/dncport.h"

int DncPropertyKind(int n) {
  if (n < 1 || n > TMultiDncRecord::kProperties) return 0;
  if ((n >= 38 && n <= 41) || n == 44 || n == 45) return 0;
  if (n >= 46 && n <= 55) return 'M';
  if (n == 156) return 'S';
  if ((n >= 76 && n <= 85) || (n >= 125 && n <= 134) || (n >= 146 && n <= 155) || n == 163)
    return 'L';
  static const int numbers[][2] = {{1, 1},   {3, 8},   {14, 14}, {23, 25},   {28, 31},
                                   {33, 35}, {42, 43}, {66, 75}, {157, 157}, {164, 168}};
  for (const auto& r : numbers)
    if (n >= r[0] && n <= r[1]) return 'N';
  return 'C';
}

void TMultiDncRecord::Clear() {
  for (char*& t : text_) {
    delete[] t;
    t = nullptr;
  }
  std::memset(Number, 0, sizeof Number);
  std::memset(Short156, 0, sizeof Short156);
  std::memset(ListLength, 0, sizeof ListLength);
  std::memset(ExtractState, 0, sizeof ExtractState);
}

void TMultiDncRecord::SetText(int n, const char* text) {
  int kind = DncPropertyKind(n);
  if (kind != 'C' && kind != 'M') return;
  size_t len = text ? std::strlen(text) : 0;
  while (len > 0 && text[len - 1] == ' ') len--;
  char* copy = new char[len + 1];
  if (len) std::memcpy(copy, text, len);
  copy[len] = 0;
  delete[] text_[n];
  text_[n] = copy;
}

const char* TMultiDncRecord::GetValue(int n) const {
  int kind = DncPropertyKind(n);
  return kind == 'C' || kind == 'M' ? text_[n] : nullptr;
}

namespace {

// One byte per item; with `stars` an item "count*code" repeats the code.
char* Split(char* text, int* count, bool stars, size_t limit) {
  if (count) *count = 0;
  if (!text || !*text) return nullptr;
  size_t n = std::strlen(text);
  if (text[n - 1] == ',' || (stars && text[n - 1] == '*')) text[--n] = 0;
  for (char* p = text; *p == ',' || *p == ' ' || (stars && *p == '*'); p++) *p = ' ';
  if (std::strspn(text, " ") == std::strlen(text)) return nullptr;

  auto number = [](const char* s) {
    errno = 0;
    long v = std::strtol(s, nullptr, 10);
    return errno == ERANGE ? 0 : v;
  };
  std::string bytes;
  for (char* item = text; item && bytes.size() < limit;) {
    char* comma = std::strchr(item, ',');
    std::string piece = comma ? std::string(item, comma) : std::string(item);
    size_t star = stars ? piece.find('*') : std::string::npos;
    if (star != std::string::npos) {
      long times = number(piece.c_str());
      char code = static_cast<char>(number(piece.c_str() + star + 1));
      for (long i = 0; i < times && bytes.size() < limit; i++) bytes += code;
    } else {
      bytes += static_cast<char>(number(piece.c_str()));
    }
    item = comma ? comma + 1 : nullptr;
  }
  if (bytes.empty()) return nullptr;
  char* out = new char[bytes.size() + 1];
  std::memcpy(out, bytes.data(), bytes.size());
  out[bytes.size()] = 0;
  if (count) *count = static_cast<int>(bytes.size());
  return out;
}

}  // namespace

char* SplitCommaList(char* text, int* count) { return Split(text, count, false, 499); }
char* SplitStarCommaList(char* text, int* count) { return Split(text, count, true, 4999); }
