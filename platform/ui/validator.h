// Input validators of edits. A filter validator takes only characters of
// its set (ranges written "0-9A-Za-z"); a range validator takes only a
// whole number between its bounds. The edit asks IsValidInput for each
// typed character and IsValid when its dialog is about to close; Error
// shows the validator's message.
#pragma once

#include <bitset>
#include <string>

#include "platform/wintypes.h"

class TWindow;

class TValidator {
 public:
  virtual ~TValidator() = default;
  virtual bool IsValid(const char* text) { return text != nullptr; }
  virtual bool IsValidInput(const char* text, bool suppressFill) {
    (void)suppressFill;
    return IsValid(text);
  }
  virtual void Error(TWindow* owner);
  // IsValid, showing the message when not.
  bool Valid(const char* text, TWindow* owner);
};

// A set of bytes written as in the filter strings: "a-z" is a range, a '-'
// at either end stands for itself.
class TCharSet {
 public:
  TCharSet() = default;
  explicit TCharSet(const char* chars);
  bool Has(unsigned char c) const { return Bits[c]; }

 private:
  std::bitset<256> Bits;
};

class TFilterValidator : public TValidator {
 public:
  explicit TFilterValidator(const char* validChars);
  bool IsValid(const char* text) override;
  bool IsValidInput(const char* text, bool suppressFill) override;
  void Error(TWindow* owner) override;

 protected:
  TCharSet ValidChars;
};

class TRangeValidator : public TFilterValidator {
 public:
  TRangeValidator(long min, long max);
  bool IsValid(const char* text) override;
  void Error(TWindow* owner) override;
  long GetMin() const { return Min; }
  long GetMax() const { return Max; }

 protected:
  long Min;
  long Max;
};
