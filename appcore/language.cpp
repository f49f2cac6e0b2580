// Language-file lines into a text table; the format note is in language.h.
#include "appcore/language.h"

#include <cstdio>

#include "appcore/text_scan.h"

std::string ExpandLanguageEscapes(std::string_view text, LanguageEscape esc) {
  if (esc == LanguageEscape::None) return std::string(text);
  const std::size_t take = esc == LanguageEscape::CrLf ? 3 : 1;
  const char* with = esc == LanguageEscape::CrLf ? "\r\n" : "\t";
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\\' && text.size() - i - 1 >= take) {
      out += with;
      i += 1 + take;
    } else {
      out += text[i++];
    }
  }
  return out;
}

bool LanguageBlockReader::Feed(std::string_view line) {
  if (line.empty()) return true;
  if (matched_ && line[0] == '}') return false;
  if (!inBlock_) {
    if (line[0] == '{') {
      inBlock_ = true;
      matched_ = false;
    }
    return true;
  }
  if (line[0] == '[') return true;
  if (DecimalValue(line) != languageNo_) {
    inBlock_ = false;
    matched_ = false;
    return true;
  }
  matched_ = true;
  StoreEntry(line);
  return true;
}

void LanguageBlockReader::StoreEntry(std::string_view line) {
  std::size_t comma = line.find(',');
  if (comma == std::string_view::npos) return;
  int32_t id = DecimalValue(line.substr(comma + 1));
  if (!table_.InRange(id)) return;
  std::size_t q1 = line.find('"', comma + 1);
  if (q1 == std::string_view::npos) return;
  std::size_t q2 = line.find('"', q1 + 1);
  if (q2 == std::string_view::npos) return;
  table_.Set(id, ExpandLanguageEscapes(line.substr(q1 + 1, q2 - q1 - 1), esc_));
}

std::string MissingMessageText(int id) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "String with ID = %d not present in MESSAGES.CFG", id);
  return buf;
}
