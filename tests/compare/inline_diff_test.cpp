// Character comparison of two lines: the run texts and the final state.
// Covers: compare/inline_diff.cpp
#include "compare/inline_diff.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// Markers written as '<digit>' for readability: "<0>ab<3>." is
// 0xA3 0xA3 '0' 'a' 'b' 0xA3 0xA3 '3' 0xB7.
std::string Runs(const std::string& readable) {
  std::string out;
  for (std::size_t k = 0; k < readable.size(); ++k) {
    if (readable[k] == '<' && k + 2 < readable.size() && readable[k + 2] == '>') {
      out += "\xA3\xA3";
      out += readable[k + 1];
      k += 2;
    } else if (readable[k] == '.') {
      out += '\xB7';
    } else {
      out += readable[k];
    }
  }
  return out;
}

TEST(InlineDiff, RunsAndFinalState) {
  struct {
    const char* a;
    const char* b;
    const char* runs;
    int state;
  } cases[] = {
      {"G1 X10", "G1 X10", "<0>G1 X10", 1},
      {"G1 X10", "", "", 0},
      {"", "abc", "<3>...", 3},
      {"abc", "abd", "<0>ab<3>.", 3},       // A's last character is not shown
      {"G1 X10 Y5", "G1 X10", "<0>G1 X10", 1},  // the rest of A is not shown
      {"G1 X25 Y5", "G1 X10 Y5", "<0>G1 X<1>25<0> Y5", 1},
      {"G1 XX10", "G1 X10", "<0>G1 X<2>X<0>10", 1},
      {"b", "ab", "<3>.<0>b", 1},
      // Alternating runs need more than four bytes per character of the
      // longer line: 13 bytes here.
      {"ab", "ba", "<2>a<0>b<3>.", 3},
  };
  for (const auto& c : cases) {
    int state = -7;
    char* result = InlineDiff(&state, c.a, c.b);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(std::string(result), Runs(c.runs)) << c.a << " / " << c.b;
    EXPECT_EQ(state, c.state) << c.a << " / " << c.b;
    std::free(result);
  }
}

TEST(InlineDiff, LongAlternatingLinesFit) {
  // Worst cases for the result size; ASan reports any overrun.
  std::string a, b;
  for (int k = 0; k < 500; ++k) {
    a += (k % 2) ? "ab" : "ba";
    b += (k % 2) ? "ba" : "ab";
  }
  for (const auto& [x, y] : {std::pair{a, b}, std::pair{b, a}, std::pair{a, std::string("xyz")}}) {
    int state = 0;
    char* result = InlineDiff(&state, x.c_str(), y.c_str());
    ASSERT_NE(result, nullptr);
    EXPECT_LE(std::string(result).size(), 4 * (x.size() + y.size()));
    std::free(result);
  }
}

}  // namespace
