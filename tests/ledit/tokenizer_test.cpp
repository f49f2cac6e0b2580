// Tokens of a line by the character-class table.
#include "platform/ledit/tokenizer.h"

#include <gtest/gtest.h>

#include "platform/ledit/protocol.h"

namespace plat::ledit {
namespace {

std::string show(const Tokenizer& t, std::string_view line) {
  std::string out;
  for (const Token& k : t.tokens(line)) {
    out += std::to_string(k.cls) + ":" + std::string(line.substr(k.start, k.len));
    if (k.cls == LTOK_INTEGER || k.cls == LTOK_DECIMAL) out += "=" + std::to_string(k.value);
    out += " ";
  }
  return out;
}

TEST(LeditTokenizer, TableChangesWordsSymbolsAndComments) {
  struct Case {
    std::vector<unsigned char> table;
    const char* line;
    const char* want;
  } cases[] = {
      {{}, "G01 X-12.5", "1:G01 1:X 24577:-12.5=12 "},
      {{1, 1}, "G01 X-12.5", "1:G 8193:01=1 1:X 24577:-12.5=12 "},
      {{1, 1, 'X', 3}, "X99999999999", "32768:X 8193:99999999999=4294967295 "},
      {{'(', ')'}, "N1 (ROUGH) M3", "1:N1 16384:(ROUGH) 1:M3 "},
      {{'(', ')'}, "N1 (OPEN", "1:N1 16384:(OPEN "},
      {{';', 4}, "G0 ;rest X1", "1:G0 16384:;rest X1 "},
      {{'#', 0}, "#1=5 %", "1:#1 0:= 8193:5=5 0:% "},
      {{}, "", ""},
  };
  for (const Case& c : cases) {
    Tokenizer t;
    t.set_table(c.table.data(), static_cast<int>(c.table.size() / 2));
    EXPECT_EQ(show(t, c.line), c.want) << c.line;
  }
}

}  // namespace
}  // namespace plat::ledit
