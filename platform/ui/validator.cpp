// Filter and range validators and their messages.
#include "platform/ui/validator.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ui/window.h"

namespace {

void show(TWindow* owner, const char* text) {
  if (owner) owner->MessageBox(text, nullptr, MB_OK | MB_ICONEXCLAMATION);
  else ::MessageBox(nullptr, text, nullptr, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

void TValidator::Error(TWindow*) {}

bool TValidator::Valid(const char* text, TWindow* owner) {
  if (IsValid(text)) return true;
  Error(owner);
  return false;
}

TCharSet::TCharSet(const char* chars) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(chars ? chars : "");
  size_t n = std::strlen(reinterpret_cast<const char*>(s));
  for (size_t i = 0; i < n;) {
    if (i + 2 < n && s[i + 1] == '-') {
      unsigned char lo = s[i], hi = s[i + 2];
      if (lo <= hi) {
        for (unsigned c = lo; c <= hi; ++c) Bits[c] = true;
      } else {
        // "+-*" lists three characters; read as a range it would be empty.
        Bits[lo] = Bits['-'] = Bits[hi] = true;
      }
      i += 3;
    } else {
      Bits[s[i]] = true;
      ++i;
    }
  }
}

TFilterValidator::TFilterValidator(const char* validChars) : ValidChars(validChars) {}

bool TFilterValidator::IsValid(const char* text) {
  if (!text) return false;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
    if (!ValidChars.Has(*p)) return false;
  return true;
}

bool TFilterValidator::IsValidInput(const char* text, bool) { return TFilterValidator::IsValid(text); }

void TFilterValidator::Error(TWindow* owner) { show(owner, "Invalid character in input"); }

TRangeValidator::TRangeValidator(long min, long max) : TFilterValidator(min < 0 ? "0-9+-" : "0-9+"), Min(min), Max(max) {}

bool TRangeValidator::IsValid(const char* text) {
  if (!TFilterValidator::IsValid(text)) return false;
  // An empty field counts as 0, as the dialogs read it.
  if (!*text) return Min <= 0 && 0 <= Max;
  // The whole text must be one number: "12-3" or a lone sign is not.
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text, &end, 10);
  if (*end || end == text || errno == ERANGE) return false;
  return v >= Min && v <= Max;
}

void TRangeValidator::Error(TWindow* owner) {
  char msg[96];
  std::snprintf(msg, sizeof msg, "Value is not in the range %ld to %ld.", Min, Max);
  show(owner, msg);
}
