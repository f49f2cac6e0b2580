#include "platform/ledit/tokenizer.h"

#include <algorithm>
#include <cctype>

#include "platform/ledit/protocol.h"

namespace plat::ledit {

Tokenizer::Tokenizer() { set_table(nullptr, 0); }

void Tokenizer::set_table(const unsigned char* entries, int count) {
  count = std::clamp(count, 0, 254);
  for (int c = 0; c < 256; ++c) {
    kind_[c] = (std::isalpha(c) || c == '_') ? Word : Plain;
    closer_[c] = 0;
  }
  digitsEndWords_ = false;
  for (int i = 0; i < count; ++i) {
    unsigned char c = entries[2 * i], d = entries[2 * i + 1];
    if (c == 1 && d == 1) digitsEndWords_ = true;
    else if (d == 0) kind_[c] = Word;
    else if (d == 3) kind_[c] = Symbol;
    else if (d == 4) kind_[c] = LineComment;
    else {
      kind_[c] = PairComment;
      closer_[c] = d;
    }
  }
  entries_ = count;
}

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

// Length of a number at p (0 when none starts there).
size_t number_at(std::string_view s, size_t p, bool& decimal, uint32_t& value) {
  size_t i = p;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  decimal = false;
  uint64_t v = 0;
  size_t digits = 0;
  for (; i < s.size(); ++i) {
    if (digit(s[i])) {
      if (!decimal) v = std::min<uint64_t>(v * 10 + (s[i] - '0'), 0xFFFFFFFFu);
      ++digits;
    } else if (s[i] == '.' && !decimal) {
      decimal = true;
    } else {
      break;
    }
  }
  if (digits == 0) return 0;
  value = static_cast<uint32_t>(v);
  return i - p;
}

}  // namespace

std::vector<Token> Tokenizer::tokens(std::string_view s) const {
  std::vector<Token> out;
  for (size_t p = 0; p < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[p]);
    Token t;
    t.start = p;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++p;
      continue;
    }
    bool decimal = false;
    size_t n = 0;
    if (kind_[c] == LineComment) {
      t.cls = LTOK_COMMENT;
      n = s.size() - p;
    } else if (kind_[c] == PairComment) {
      size_t close = s.find(static_cast<char>(closer_[c]), p + 1);
      t.cls = LTOK_COMMENT;
      n = (close == std::string_view::npos ? s.size() : close + 1) - p;
    } else if (kind_[c] == Symbol) {
      t.cls = LTOK_SYMBOL;
      n = 1;
    } else if (kind_[c] == Word) {
      t.cls = LTOK_WORD;
      n = 1;
      while (p + n < s.size()) {
        unsigned char k = static_cast<unsigned char>(s[p + n]);
        if (kind_[k] == Word || (digit(k) && !digitsEndWords_)) ++n;
        else break;
      }
    } else if ((n = number_at(s, p, decimal, t.value)) > 0) {
      t.cls = decimal ? LTOK_DECIMAL : LTOK_INTEGER;
    } else {
      t.cls = LTOK_OTHER;
      n = 1;
    }
    t.len = n;
    out.push_back(t);
    p += n;
  }
  return out;
}

}  // namespace plat::ledit
