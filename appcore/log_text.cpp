// The text of a system log entry; the rules are in log_text.h.
#include "appcore/log_text.h"

#include <charconv>
#include <cstdio>

#include "appcore/globals.h"

int LogValueCount(int type) {
  switch (type) {
    // Types 3 and 27 have texts and values but nothing writes them.
    case kLogProgramSent: case kLogSendCancelled: case 3: case kLogReceivedTemporary: case 27:
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
  std::size_t start = 0, end = 0;  // the "%..." text
  std::string flags;
  std::size_t width = 0;
  std::optional<std::size_t> precision;
  char type = 's';
};

std::size_t Digits(std::string_view f, std::size_t& i) {
  std::size_t v = 0;
  while (i < f.size() && f[i] >= '0' && f[i] <= '9') v = std::min<std::size_t>(v * 10 + (f[i++] - '0'), 1000);
  return v;
}

TFormatValue::Kind KindOf(char type) {
  switch (type) {
    case 's': return TFormatValue::Text;
    case 'c': return TFormatValue::Char;
    case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': return TFormatValue::Decimal;
    default: return TFormatValue::Integer;
  }
}

// The conversions of a format; false when it holds one this formatter
// does not take.
bool Conversions(std::string_view f, std::vector<Conversion>& out) {
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') continue;
    Conversion c;
    c.start = i++;
    if (i < f.size() && f[i] == '%') continue;
    while (i < f.size() && std::string_view("-0+ #").find(f[i]) != std::string_view::npos) c.flags += f[i++];
    c.width = Digits(f, i);
    if (i < f.size() && f[i] == '.') c.precision = Digits(f, ++i);
    std::string length;
    while (i < f.size() && (f[i] == 'l' || f[i] == 'h')) length += f[i++];
    if (i >= f.size() || std::string_view("scdiuxXofFeEgG").find(f[i]) == std::string_view::npos) return false;
    c.type = f[i];
    const TFormatValue::Kind kind = KindOf(c.type);
    // Texts and characters take only "-"; a decimal only "l" (it means
    // nothing there).
    if ((kind == TFormatValue::Text || kind == TFormatValue::Char) && c.flags.find_first_not_of('-') != std::string::npos)
      return false;
    if (kind == TFormatValue::Decimal && !length.empty() && length != "l") return false;
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

std::string Padded(const std::string& v, const Conversion& c) {
  std::string pad(v.size() < c.width ? c.width - v.size() : 0, ' ');
  return c.flags.empty() ? pad + v : v + pad;
}

std::string Filled(const Conversion& c, const TFormatValue& v) {
  switch (v.kind) {
    case TFormatValue::Text:
      return Padded(v.text.substr(0, c.precision.value_or(std::string::npos)), c);
    case TFormatValue::Char:
      return Padded(std::string(1, static_cast<char>(v.number)), c);
    case TFormatValue::Integer:
    case TFormatValue::Decimal:
      break;
  }
  // The conversion is rebuilt from parts already checked, so printf sees
  // nothing the language file could smuggle in.
  std::string spec = "%" + c.flags + (c.width ? std::to_string(c.width) : "");
  if (c.precision) spec += "." + std::to_string(*c.precision);
  if (v.kind == TFormatValue::Decimal) {
    spec += c.type;
    int n = std::snprintf(nullptr, 0, spec.c_str(), v.decimal);
    if (n < 0) return {};
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), spec.c_str(), v.decimal);
    out.resize(static_cast<std::size_t>(n));
    return out;
  }
  spec += "ll";
  spec += c.type;
  const bool isSigned = c.type == 'd' || c.type == 'i';
  const unsigned long long u = static_cast<unsigned long long>(v.number);
  int n = isSigned ? std::snprintf(nullptr, 0, spec.c_str(), v.number) : std::snprintf(nullptr, 0, spec.c_str(), u);
  if (n < 0) return {};
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  if (isSigned)
    std::snprintf(out.data(), out.size(), spec.c_str(), v.number);
  else
    std::snprintf(out.data(), out.size(), spec.c_str(), u);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

}  // namespace

std::string TFormatValue::Plain() const {
  switch (kind) {
    case Text: return text;
    case Char: return std::string(1, static_cast<char>(number));
    case Integer: return std::to_string(number);
    case Decimal: break;
  }
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, decimal);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

bool FormatChecked(std::string_view format, const std::vector<TFormatValue>& values, std::string& out) {
  std::vector<Conversion> convs;
  if (!Conversions(format, convs) || convs.size() != values.size()) return false;
  for (std::size_t n = 0; n < convs.size(); ++n)
    if (KindOf(convs[n].type) != values[n].kind) return false;
  std::string text;
  std::size_t at = 0;
  for (std::size_t n = 0; n < convs.size(); ++n) {
    text += Unescape(format.substr(at, convs[n].start - at));
    text += Filled(convs[n], values[n]);
    at = convs[n].end;
  }
  text += Unescape(format.substr(at));
  out = std::move(text);
  return true;
}

std::string FormatLogValues(std::string_view format, const std::vector<TFormatValue>& values) {
  std::string out;
  if (FormatChecked(format, values, out)) return out;
  out.assign(format);
  for (const auto& v : values) out += " " + v.Plain();
  return out;
}

std::optional<std::string> TGlobals::FormatLogText(int type, const char* value1, const char* value2,
                                                   const char* value3, const char* value4) const {
  if (!LogTexts.Has(type)) return std::nullopt;
  int n = LogValueCount(type);
  if (n < 0) return std::nullopt;
  const char* given[4] = {value1, value2, value3, value4};
  std::vector<TFormatValue> values;
  for (int i = 0; i < n; ++i) values.emplace_back(given[i] ? given[i] : "");
  std::string first, last;
  GetUserName(first, last);
  values.emplace_back(first);
  values.emplace_back(last);
  std::string text = FormatLogValues(LogTexts.Get(type), values);
  if (text.size() > kLogTextMax) text.resize(kLogTextMax);
  return text;
}
