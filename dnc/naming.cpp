// Program names by the port's naming mode: is a received line the name of
// a program, a program request or a job request, and which name does it
// give. The name found becomes the port's pending program name. Digit runs
// are collected into strings as long as the line; a number too long for the
// id fields is no name.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dnc/dnclog.h"
#include "dnc/dncport.h"

namespace {

enum { kModeTriggers = 0, kModeReserved = 1, kModeScript = 2, kModeOkuma = 3, kModeTriggers2 = 4,
       kModeMulti = 5, kModeDialog4 = 6, kModeDialog11 = 7, kModeReserved4 = 8 };

// The line without its CR LF.
std::string Body(const char* line) {
  std::string s(line ? line : "");
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

std::size_t SkipBlanks(const std::string& s, std::size_t pos) {
  while (pos < s.size() && s[pos] == ' ') pos++;
  return pos;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The leading digits of s from pos as a number; false when there is no
// digit or the number does not fit.
bool LeadingNumber(const std::string& s, std::size_t pos, long& value) {
  std::size_t end = pos;
  while (end < s.size() && IsDigit(s[end])) end++;
  if (end == pos) return false;
  errno = 0;
  long long v = std::strtoll(s.substr(pos, end - pos).c_str(), nullptr, 10);
  if (errno == ERANGE || v > 0x7FFFFFFFLL) return false;
  value = static_cast<long>(v);
  return true;
}

// Every digit of s from pos on.
std::string Digits(const std::string& s, std::size_t pos) {
  std::string d;
  for (std::size_t i = pos; i < s.size(); i++)
    if (IsDigit(s[i])) d += s[i];
  return d;
}

bool NumberOf(const std::string& digits, long& value) { return LeadingNumber(digits, 0, value); }

std::string Format(const char* format, long v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

std::string Padded(long v, int width) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%0*ld", width, v);
  return buf;
}

// The text between a trigger and the end trigger after it, blanks skipped;
// empty when either is missing.
std::string Between(const std::string& s, const std::string& trigger, const std::string& endTrigger) {
  if (trigger.empty() || endTrigger.empty()) return {};
  std::size_t at = s.find(trigger);
  if (at == std::string::npos) return {};
  std::size_t from = at + trigger.size();
  std::size_t to = s.find(endTrigger, from);
  if (to == std::string::npos) return {};
  from = SkipBlanks(s, from);
  return from < to ? s.substr(from, to - from) : std::string();
}

}  // namespace

namespace {

// Modes 1 and 8: the number after a trigger, refused when it is the
// reserved program number. `seen` is set for that number.
int ReservedRule(TDncPort& port, const std::string& s, const std::string& trigger, bool fourDigits,
                 bool skipNonDigits, bool logSeen) {
  if (trigger.empty()) return 0;
  std::size_t at = s.find(trigger);
  if (at == std::string::npos) return 0;
  std::size_t pos = SkipBlanks(s, at + trigger.size());
  if (skipNonDigits)
    while (pos < s.size() && !IsDigit(s[pos])) pos++;
  long number = 0;
  if (!LeadingNumber(s, pos, number)) return 0;
  if (number == port.Setting(kPropReservedNumber)) {
    if (logSeen) {
      port.ReservedNumberSeen = 1;
      DncPortLog("Res Number Found", &port);
      DncPortLog(s.c_str(), &port);
    }
    port.ClearRequest();
    return 0;
  }
  if (fourDigits) {
    port.SetRequested(Padded(number, 4));
  } else if (port.Setting(kPropZeroPad)) {
    long index = port.Setting(kPropZeroPadIndex);
    if (index < 0) index = 0;
    if (index > 12) index = 12;
    port.SetRequested(Padded(number, 4 + static_cast<int>(index)));
  } else {
    port.SetRequested(Format("%ld", number));
  }
  return 1;
}

// Modes 6 and 7 rewrite the receive file before the program is stored:
// after each line that starts with '?' the control's next line is replaced
// by "0000".
void RewriteForDialog(TDncPort& port) {
  if (port.TransferFile) {
    port.TransferFile->FlushBuffer();
    port.TransferFile->Close();
    port.TransferFile.reset();
  }
  TMyFile in(port.TransferPath.c_str());
  if (!in.Open(1)) {
    DncPortLog(("Cannot read " + port.TransferPath).c_str(), &port);
    return;
  }
  if (!port.OpenTempFile(0)) {
    DncPortLog("Cannot create the rewrite file", &port);
    return;
  }
  bool dropNext = false;
  while (auto line = in.ReadLine(0)) {
    if (dropNext) {
      dropNext = false;
      continue;
    }
    port.TempFile->WriteLine(line.get());
    if (line[0] == '?') {
      port.TempFile->WriteLine("0000");
      dropNext = true;
    }
  }
  bool written = port.TempFile->FlushBuffer() != 0;
  port.TempFile->Close();
  port.TempFile.reset();
  in.Close();
  if (written)
    port.CommitTempFile();
  else
    DncPortLog("Rewrite file not written", &port);
}

}  // namespace

int TDncPort::ExtractProgramName(const char* line) {
  const std::string s = Body(line);
  const std::string& trigger = Codes(kPropIdTrigger);
  switch (Setting(kPropNamingMode)) {
    case kModeTriggers:
    case kModeScript:
    case kModeTriggers2: {
      std::string name = Between(s, trigger, Codes(kPropIdEndTrigger));
      if (name.empty()) return 0;
      SetRequested(name);
      return 1;
    }
    case kModeReserved:
      return ReservedRule(*this, s, trigger, false, true, true);
    case kModeOkuma: {
      if (!Requested()) return 0;
      long number = std::atol(Requested());
      return number == Setting(kPropReservedNumber) ? 0 : 1;
    }
    case kModeMulti: {
      if (trigger.empty()) return 0;
      std::size_t at = s.find(trigger[0]);
      if (at == std::string::npos) return 0;
      SetRequested(Digits(s, at));
      return 1;
    }
    case kModeDialog4: {
      if (DialogState == 1 || DialogState == 2) return 0;
      std::size_t at = s.find("&%");
      if (at == std::string::npos) return 0;
      std::size_t pos = at + 2;
      long state = 0;
      if (!LeadingNumber(s, pos, state)) state = 0;
      DialogState = static_cast<uint32_t>(state);
      while (pos < s.size() && IsDigit(s[pos])) pos++;
      std::string name;
      if (state == 0) {
        long number = 0;
        if (pos >= s.size() || s[pos] != '*' || !LeadingNumber(s, pos + 1, number)) return 0;
        name = "0_" + std::to_string(number);
      } else if (state <= 2) {
        return 0;
      } else {
        name = Padded(state, 8);
        if (!trigger.empty()) {
          std::size_t t = s.find(trigger);
          long number = 0;
          if (t != std::string::npos && LeadingNumber(s, t + 1, number) && number != 0) {
            DialogState = static_cast<uint32_t>(number);
            name = Padded(number, 8);
          }
        }
      }
      SetRequested(name);
      RewriteForDialog(*this);
      DialogState = 0;
      return 1;
    }
    case kModeDialog11: {
      if (DialogState == 0) {
        std::size_t at = s.find('%');
        if (at != std::string::npos) {
          long state = 0;
          DialogState = LeadingNumber(s, at + 1, state) ? static_cast<uint32_t>(state) : 0;
          return 0;
        }
      }
      if (DialogState < 2) return 0;
      SetRequested(Padded(DialogState, 8));
      RewriteForDialog(*this);
      DialogState = 0;
      return 1;
    }
    case kModeReserved4:
      return ReservedRule(*this, s, trigger, true, false, false);
    default:
      return 0;
  }
}

namespace {

// The request rules shared by program and job requests.
int RequestByMode(TDncPort& port, const std::string& s, long mode, const std::string& trigger,
                  const std::string& endTrigger) {
  switch (mode) {
    case kModeTriggers:
    case kModeTriggers2: {
      if (mode == kModeTriggers) port.ClearRequest();
      std::string name = Between(s, trigger, endTrigger);
      if (name.empty()) return 0;
      port.SetRequested(name);
      return 1;
    }
    case kModeReserved:
      return ReservedRule(port, s, trigger, false, false, false);
    case kModeReserved4:
      return ReservedRule(port, s, trigger, true, false, false);
    case kModeScript: {
      std::size_t at = s.find("&H");
      if (at == std::string::npos || s.find("&HE") != std::string::npos) return 0;
      long number = 0;
      if (!LeadingNumber(s, at + 2, number)) return 0;
      port.SetRequested(Padded(number, 4));
      return 1;
    }
    case kModeMulti: {
      if (trigger.empty()) return 0;
      std::size_t at = s.find(trigger[0]);
      if (at == std::string::npos) return 0;
      port.SetRequested(Digits(s, at));
      port.DialogState = 0;
      return 1;
    }
    case kModeDialog4: {
      if (port.DialogState != 1 && port.DialogState != 2) return 0;
      std::size_t at = trigger.empty() ? s.find('"') : s.find(trigger[0]);
      if (at == std::string::npos) return 0;
      std::string collected;
      for (std::size_t i = at + 1; i < s.size(); i++) {
        if (IsDigit(s[i])) collected += s[i];
        if (s[i] == '*') collected += '_';
      }
      if (collected.empty()) return 0;
      long number = 0;
      std::size_t star = collected.find('_');
      if (star == std::string::npos) {
        if (!NumberOf(collected, number)) return 0;
        port.SetRequested(Padded(number, 8));
      } else {
        if (!LeadingNumber(collected, star + 1, number)) number = 0;
        port.SetRequested("0_" + std::to_string(number));
      }
      port.DialogState = 0;
      return 1;
    }
    case kModeDialog11: {
      if (port.DialogState > 1) return 0;
      std::size_t at = s.rfind('-');
      if (at == std::string::npos) return 0;
      long number = 0;
      if (!NumberOf(Digits(s, at), number) || number == 0) return 0;
      port.SetRequested(Padded(number, 8));
      port.DialogState = 0;
      return 1;
    }
    default:
      return 0;
  }
}

}  // namespace

int TDncPort::ExtractProgramNumber(const char* line) {
  const long mode = Setting(kPropNamingMode);
  const std::string& trigger = Codes(kPropRequestTrigger);
  if (mode != kModeDialog4 && mode != kModeDialog11 && trigger.empty()) return 0;
  const std::string s = Body(line);
  if (mode == kModeOkuma) {
    if (!Requested() || std::atol(Requested()) != Setting(kPropReservedNumber)) return 0;
    return RequestByMode(*this, s, kModeTriggers, trigger, Codes(kPropRequestEndTrigger));
  }
  return RequestByMode(*this, s, mode, trigger, Codes(kPropRequestEndTrigger));
}

int TDncPort::CheckForJob(const char* line) {
  const long mode = Setting(kPropNamingMode);
  const std::string& jobTrigger = Codes(kPropJobTrigger);
  if (mode != kModeDialog11 && jobTrigger.empty()) return 0;
  const std::string s = Body(line);
  switch (mode) {
    case kModeTriggers:
      DncPortLog("Check For Job", this);
      return RequestByMode(*this, s, kModeTriggers, jobTrigger, Codes(kPropJobEndTrigger));
    case kModeReserved:
      return RequestByMode(*this, s, kModeReserved, jobTrigger, {});
    case kModeOkuma:
      return RequestByMode(*this, s, kModeTriggers, Codes(kPropRequestTrigger), Codes(kPropRequestEndTrigger));
    case kModeDialog4: {
      const std::string& trigger = Codes(kPropRequestTrigger);
      if (DialogState != 1 || trigger.empty()) return 0;
      std::size_t at = s.find(trigger[0]);
      if (at == std::string::npos) return 0;
      long number = 0;
      if (!NumberOf(Digits(s, at), number)) return 0;
      SetRequested(Padded(number, 8));
      DialogState = 0;
      return 1;
    }
    default:
      return RequestByMode(*this, s, mode, Codes(kPropRequestTrigger), Codes(kPropRequestEndTrigger));
  }
}
