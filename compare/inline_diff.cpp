// Character comparison of two lines (see inline_diff.h for the run format).
#include "compare/inline_diff.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

enum RunState { kNone = 0, kRunSame = 1, kRunOnlyA = 2, kRunOnlyB = 3, kRunChanged = 4 };

void OpenRun(std::string& out, int* state, RunState run, char digit) {
  if (*state == run) return;
  *state = run;
  out += '\xA3';
  out += '\xA3';
  out += digit;
}

}  // namespace

std::size_t InlineDiffStep(const char* a, std::size_t lenA, const char* b, std::size_t lenB) {
  const std::size_t limit = lenA < lenB ? lenA : lenB;
  for (std::size_t k = 1; k < limit; ++k)
    if (a[k] == b[k]) return k;
  return 0;
}

char* InlineDiff(int* state, const char* lineA, const char* lineB) {
  const std::size_t lenA = std::strlen(lineA), lenB = std::strlen(lineB);
  *state = kNone;
  // Alternating runs can take four bytes per character of either line, more
  // than the longer line alone would give; the text grows as needed.
  std::string out;
  std::size_t a = 0, b = 0;
  while (b < lenB) {
    if (a < lenA && lineA[a] == lineB[b]) {
      OpenRun(out, state, kRunSame, '0');
      out += lineA[a++];
      ++b;
      continue;
    }
    if (const std::size_t k = InlineDiffStep(lineA + a, lenA - a, lineB + b, lenB - b)) {
      OpenRun(out, state, kRunChanged, '1');
      out.append(lineA + a, k);
      a += k;
      b += k;
      continue;
    }
    const void* hit = a < lenA ? std::memchr(lineA + a, lineB[b], lenA - a) : nullptr;
    if (hit) {
      const std::size_t j = static_cast<const char*>(hit) - (lineA + a);
      OpenRun(out, state, kRunOnlyA, '2');
      out.append(lineA + a, j);
      a += j;
      continue;
    }
    OpenRun(out, state, kRunOnlyB, '3');
    out += '\xB7';
    ++b;
  }
  char* result = static_cast<char*>(std::malloc(out.size() + 1));
  if (!result) return nullptr;
  std::memcpy(result, out.data(), out.size());
  result[out.size()] = '\0';
  return result;
}
