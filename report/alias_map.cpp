// Alias replacement in expression texts.
#include "report/alias_map.h"

#include <cctype>

#include "engine/engine_api.h"

namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& ch : out) ch = char(std::toupper(static_cast<unsigned char>(ch)));
  return out;
}

// True when "->" follows the name ending at end (blanks between allowed,
// as the parser allows them): only then does the name stand for a file,
// and a field that happens to bear an alias's name keeps it.
bool names_file(std::string_view text, size_t end) {
  while (end < text.size() && text[end] >= 1 && text[end] <= 32) end++;
  return text.substr(end, 2) == "->";
}

}  // namespace

void AliasMap::add(const std::string& stored, const std::string& now) {
  std::string key = upper(stored);
  for (auto& entry : map_)
    if (entry.first == key) {
      entry.second = now;
      return;
    }
  map_.emplace_back(key, now);
}

std::string AliasMap::now(const std::string& stored) const {
  std::string key = upper(stored);
  for (const auto& entry : map_)
    if (entry.first == key) return entry.second;
  return stored;
}

std::string AliasMap::apply(std::string_view text) const {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char ch = text[i];
    if (ch == '\'' || ch == '"' || ch == '[') {
      // A constant runs to its closing mark (or to the end, unterminated).
      char close = ch == '[' ? ']' : ch;
      size_t end = text.find(close, i + 1);
      end = end == std::string_view::npos ? text.size() : end + 1;
      out.append(text.substr(i, end - i));
      i = end;
      continue;
    }
    if (!char_is_name(static_cast<unsigned char>(ch))) {
      out += ch;
      i++;
      continue;
    }
    size_t end = i;
    while (end < text.size() && char_is_name(static_cast<unsigned char>(text[end]))) end++;
    std::string_view word = text.substr(i, end - i);
    std::string key = upper(word);
    const std::string* replacement = nullptr;
    if (names_file(text, end))
      for (const auto& entry : map_)
        if (entry.first == key) replacement = &entry.second;
    if (replacement) out += *replacement;
    else out.append(word);
    i = end;
  }
  return out;
}
