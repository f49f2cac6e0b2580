// The text of a system log entry; the rules are in log_text.h.
#include "appcore/log_text.h"

#include "appcore/globals.h"

int LogValueCount(int type) {
  switch (type) {
    // Types 3 and 27 have texts and values but nothing writes them.
    case kLogProgramSent: case kLogProgramSentAgain: case 3: case kLogReceivedTemporary: case 27:
    case kLogReceivedReplaced: case kLogReceivedNew:
      return 3;
    case kLogProgramDeleted: case kLogBackupRestored: case kLogProgramCreated: case kLogImportDeleted:
    case kLogProgramLocked: case kLogProgramUnlocked: case kLogProgramSaved: case kLogReceiveFailed:
    case kLogAutoImportWaiting:
      return 2;
    case kLogProgramCopied: case kLogProgramRenamed: return 4;
    case kLogMachineChanged: return 1;
    default: return -1;
  }
}

namespace {

struct Conversion {
  std::size_t start = 0, end = 0;  // the "%...s" text
  bool left = false;
  std::size_t width = 0;
  std::optional<std::size_t> precision;
};

std::size_t Digits(std::string_view f, std::size_t& i) {
  std::size_t v = 0;
  while (i < f.size() && f[i] >= '0' && f[i] <= '9') v = std::min<std::size_t>(v * 10 + (f[i++] - '0'), 1000);
  return v;
}

// The %s conversions of a format; false when it holds any other one.
bool StringConversions(std::string_view f, std::vector<Conversion>& out) {
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') continue;
    Conversion c;
    c.start = i++;
    if (i < f.size() && f[i] == '%') continue;
    while (i < f.size() && f[i] == '-') c.left = true, ++i;
    c.width = Digits(f, i);
    if (i < f.size() && f[i] == '.') c.precision = Digits(f, ++i);
    if (i >= f.size() || f[i] != 's') return false;
    c.end = i + 1;
    out.push_back(c);
  }
  return true;
}

std::string Unescape(std::string_view f) {
  std::string s;
  for (std::size_t i = 0; i < f.size(); ++i) {
    s += f[i];
    if (f[i] == '%' && i + 1 < f.size() && f[i + 1] == '%') ++i;
  }
  return s;
}

}  // namespace

std::string FormatLogValues(std::string_view format, const std::vector<std::string>& values) {
  std::vector<Conversion> convs;
  std::string out;
  if (!StringConversions(format, convs) || convs.size() != values.size()) {
    out.assign(format);
    for (const auto& v : values) out += " " + v;
  } else {
    std::size_t at = 0;
    for (std::size_t n = 0; n < convs.size(); ++n) {
      const Conversion& c = convs[n];
      out += Unescape(format.substr(at, c.start - at));
      std::string v = values[n].substr(0, c.precision.value_or(std::string::npos));
      std::string pad(v.size() < c.width ? c.width - v.size() : 0, ' ');
      out += c.left ? v + pad : pad + v;
      at = c.end;
    }
    out += Unescape(format.substr(at));
  }
  if (out.size() > kLogTextMax) out.resize(kLogTextMax);
  return out;
}

std::optional<std::string> TGlobals::FormatLogText(int type, const char* value1, const char* value2,
                                                   const char* value3, const char* value4) const {
  if (!LogTexts.Has(type)) return std::nullopt;
  int n = LogValueCount(type);
  if (n < 0) return std::nullopt;
  const char* given[4] = {value1, value2, value3, value4};
  std::vector<std::string> values;
  for (int i = 0; i < n; ++i) values.emplace_back(given[i] ? given[i] : "");
  std::string first, last;
  GetUserName(first, last);
  values.push_back(first);
  values.push_back(last);
  return FormatLogValues(LogTexts.Get(type), values);
}
