// Splits a line into the tokens the colour callback is asked about. The
// character-class table (two-byte entries) adjusts the classes:
//   (c, 0)   c is a word byte as letters are;
//   (c, 3)   c is a symbol of its own (an NC address such as "Z");
//   (c, 4)   c starts a comment that runs to the end of the line;
//   (c, d)   any other second byte: a comment from c up to and with d;
//   (1, 1)   digits end a word, so "G01" is the word "G" and the number 01.
// Numbers are digits with at most one decimal point and an optional sign;
// their value is the whole part, kept at 0xFFFFFFFF when larger.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace plat::ledit {

struct Token {
  size_t start = 0;  // byte offset in the line
  size_t len = 0;
  uint16_t cls = 0;
  uint32_t value = 0;
};

class Tokenizer {
 public:
  Tokenizer();
  // Installs count two-byte entries (count is clamped to 0..254).
  void set_table(const unsigned char* entries, int count);
  int entries() const { return entries_; }

  // Tokens of one line; whitespace makes none.
  std::vector<Token> tokens(std::string_view line) const;

 private:
  enum Kind : unsigned char { Plain, Word, Symbol, LineComment, PairComment };
  Kind kind_[256];
  unsigned char closer_[256];
  bool digitsEndWords_ = false;
  int entries_ = 0;
};

}  // namespace plat::ledit
