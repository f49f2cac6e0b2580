// Reading the two files: the new file is read in pieces and compared with
// the old one as it comes; whatever the piece size, the items are the same.
// Line texts are found again by hash, so equal texts must hash equal
// wherever they lie.
// Covers: compare/line_reader.cpp, compare/compare_engine.cpp, compare/text_index.cpp
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "compare/compare_engine.h"
#include "compare/text_index.h"
#include "tests/compare/telmix_harness.h"

namespace {

using telmix_test::TempDir;

class Rows : public TCompareOutput {
 public:
  std::vector<std::string> rows;
  bool Add(TCompareType type, std::string_view oldText, std::string_view newText) override {
    rows.push_back(std::to_string(type) + "|" + std::string(oldText) + "|" + std::string(newText));
    return true;
  }
};

std::vector<std::string> Compare(const std::string& oldFile, const std::string& newFile, std::size_t piece) {
  TCompareEngine engine(oldFile.c_str(), newFile.c_str(), piece);
  Rows out;
  EXPECT_TRUE(engine.Load());
  EXPECT_TRUE(engine.Walk(out));
  return out.rows;
}

// Lines from a few texts, with NULs, lone CRs and CR LF or LF ends.
std::string RandomText(std::mt19937& rng) {
  static const char* const texts[] = {"G0 Z5", "M3 S1200", "", "N10 X1", "A\rB", "X\r", "G1 X10. Y20. F500"};
  std::uniform_int_distribution<int> pick(0, 9), lines(0, 40);
  std::string text;
  for (int n = lines(rng); n > 0; --n) {
    const int k = pick(rng);
    text += k < 7 ? std::string(texts[k]) : k == 7 ? std::string("N\0B", 3) : "N" + std::to_string(rng() % 50);
    text += pick(rng) < 5 ? "\r\n" : "\n";
  }
  if (!text.empty() && pick(rng) < 3) text.pop_back();
  return text;
}

TEST(CompareReading, PieceSizeChangesNoItem) {
  std::mt19937 rng(31);
  const std::string common = "N1 G0 X0\r\nN2 G1 X1 Y1\r\n" + std::string(40, 'L') + "\r\nN4\r\n";
  std::vector<std::pair<std::string, std::string>> pairs = {
      {common, common},                                  // the same bytes
      {common, common.substr(0, 20)},                    // new file cut inside a line
      {common, common.substr(0, 24)},                    // new file cut after a line end
      {common.substr(0, 13), common},                    // old file the start of the new
      {common, common.substr(0, 30) + "X" + common.substr(31)},  // differs inside a long line
      {common, common.substr(0, 9) + "\n" + common.substr(10)},  // CR dropped before an LF
      {"", common},
      {common, ""},
  };
  for (int k = 0; k < 60; ++k) {
    const std::string oldText = RandomText(rng);
    // Every third new file starts with a part of the old one.
    const std::string start = k % 3 ? "" : oldText.substr(0, rng() % (oldText.size() + 1));
    pairs.emplace_back(oldText, start + RandomText(rng));
    if (k % 6 == 0) pairs.emplace_back(oldText, oldText);
  }
  TempDir dir("telmix");
  for (std::size_t p = 0; p < pairs.size(); ++p) {
    const std::string oldFile = dir.write("old.nc", pairs[p].first);
    const std::string newFile = dir.write("new.nc", pairs[p].second);
    const auto whole = Compare(oldFile, newFile, TMyFile::kPiece);
    for (std::size_t piece : {1u, 2u, 3u, 5u, 16u, 17u, 64u}) {
      ASSERT_EQ(Compare(oldFile, newFile, piece), whole) << "pair " << p << ", pieces of " << piece;
    }
  }
}

TEST(CompareReading, EqualTextsHashEqualWhateverSurroundsThem) {
  for (std::size_t length = 0; length <= 80; ++length) {
    std::string text;
    for (std::size_t k = 0; k < length; ++k) text += static_cast<char>('a' + k * 7 % 26);
    const std::string left = "\r\n" + text + "\r\nXXXXXXXXXXXXXXXX";
    const std::string right = "YYYYYYYY" + text + "ZZZZZZZZZZZZZZZZ";
    EXPECT_EQ(HashText(std::string_view(left).substr(2, length)), HashText(std::string_view(right).substr(8, length)))
        << length;
    if (length > 0) {
      std::string other = text;
      other[length - 1] ^= 1;
      EXPECT_NE(HashText(text), HashText(other)) << length;
    }
  }
}

TEST(CompareReading, TextIndexFindsEveryTextAfterGrowing) {
  TTextIndex index;
  std::vector<std::string> texts;
  for (int k = 0; k < 5000; ++k) texts.push_back("N" + std::to_string(k) + " G1");
  for (std::size_t k = 0; k < texts.size(); ++k) {
    ASSERT_EQ(index.Find(HashText(texts[k]), texts[k]), TTextIndex::kNone);
    ASSERT_EQ(index.Add(HashText(texts[k]), texts[k], true), k);
  }
  for (auto& text : texts) text += "!";  // the index keeps copies of its own
  for (std::size_t k = 0; k < texts.size(); ++k) {
    const std::string original = texts[k].substr(0, texts[k].size() - 1);
    EXPECT_EQ(index.Find(HashText(original), original), k);
    EXPECT_EQ(index.Text(static_cast<std::uint32_t>(k)), original);
  }
}

}  // namespace
