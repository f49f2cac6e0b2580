// The exact items _COMPARE adds to both lists for small file pairs.
// Covers: compare/compare_engine.cpp, compare/telmix.cpp
#include <string>
#include <utility>
#include <vector>

#include "tests/compare/telmix_harness.h"

namespace {

using telmix_test::CompareTexts;

struct AlignmentCase {
  const char* name;
  std::string oldText;
  std::string newText;
  std::vector<std::pair<std::string, std::string>> rows;  // old-side item, new-side item
};

void PrintTo(const AlignmentCase& c, std::ostream* os) { *os << c.name; }

const std::string kIns = "3@@<Line inserted>";
const std::string kDel = "2@@<Line deleted>";

std::vector<AlignmentCase> Cases() {
  return {
      {"IdenticalFiles", "G0 X0\r\nG1 X1\r\nM30\r\n", "G0 X0\r\nG1 X1\r\nM30\r\n",
       {{"0@@G0 X0", "0@@G0 X0"}, {"0@@G1 X1", "0@@G1 X1"}, {"0@@M30", "0@@M30"}}},
      {"InsertedLine", "A\nB\nC\n", "A\nX\nB\nC\n",
       {{"0@@A", "0@@A"}, {kIns, "3@@X"}, {"0@@B", "0@@B"}, {"0@@C", "0@@C"}}},
      {"DeletedLine", "A\nB\nC\n", "A\nC\n", {{"0@@A", "0@@A"}, {"2@@B", kDel}, {"0@@C", "0@@C"}}},
      {"ChangedLine", "A\nB\nC\n", "A\nY\nC\n", {{"0@@A", "0@@A"}, {"1@@B", "1@@Y"}, {"0@@C", "0@@C"}}},
      {"FirstOldLineOnlyInOld", "Z\nA\nB\n", "A\nB\n", {{"2@@Z", kDel}, {"0@@A", "0@@A"}, {"0@@B", "0@@B"}}},
      {"LineMovedTopToBottom", "A\nB\nC\nD\n", "B\nC\nD\nA\n",
       {{"2@@A", kDel}, {"0@@B", "0@@B"}, {"0@@C", "0@@C"}, {"0@@D", "0@@D"}, {kIns, "3@@A"}}},
      {"LineMovedBottomToTop", "B\nC\nD\nA\n", "A\nB\nC\nD\n",
       {{kIns, "3@@A"}, {"0@@B", "0@@B"}, {"0@@C", "0@@C"}, {"0@@D", "0@@D"}, {"2@@A", kDel}}},
      {"EqualBlocksSwapped", "A\nB\nC\nD\nE\nF\n", "D\nE\nF\nA\nB\nC\n",
       {{kIns, "3@@D"}, {kIns, "3@@E"}, {kIns, "3@@F"},
        {"0@@A", "0@@A"}, {"0@@B", "0@@B"}, {"0@@C", "0@@C"},
        {"2@@D", kDel}, {"2@@E", kDel}, {"2@@F", kDel}}},
      {"SmallerBlockMovesPastLarger", "A\nB\nC\nD\nE\n", "C\nD\nE\nA\nB\n",
       {{"2@@A", kDel}, {"2@@B", kDel}, {"0@@C", "0@@C"}, {"0@@D", "0@@D"}, {"0@@E", "0@@E"},
        {kIns, "3@@A"}, {kIns, "3@@B"}}},
      {"RepeatedLinesGrowFromFileEdges", "X\nA\nX\n", "X\nB\nX\n",
       {{"0@@X", "0@@X"}, {"1@@A", "1@@B"}, {"0@@X", "0@@X"}}},
      // Backward growth from the end stops at C; the line before C is not
      // tried as a start, so the Y pair stays apart.
      {"GrowthDoesNotRestartAtTheLineThatStoppedIt", "Y\nC\nY\n", "A\nY\nC\n",
       {{"1@@Y", "1@@A"}, {kIns, "3@@Y"}, {"0@@C", "0@@C"}, {"2@@Y", kDel}}},
      {"UnlinkedEqualLinesFacing", "A\nX\nB\nX\n", "C\nX\nD\n",
       {{"1@@A", "1@@C"}, {"0@@X", "0@@X"}, {"1@@B", "1@@D"}, {"2@@X", kDel}}},
      {"EmptyOldFile", "", "A\nB\n", {{kIns, "3@@A"}, {kIns, "3@@B"}}},
      {"EmptyNewFile", "A\nB\n", "", {{"2@@A", kDel}, {"2@@B", kDel}}},
      {"BothEmpty", "", "", {}},
      {"LastLineWithoutEnd", "A\nB", "A\nB\n", {{"0@@A", "0@@A"}, {"0@@B", "0@@B"}}},
      {"NewFileIsTheStartOfTheOld", "A\nB\nC\n", "A\nB", {{"0@@A", "0@@A"}, {"0@@B", "0@@B"}, {"2@@C", kDel}}},
      {"OldFileIsTheStartOfTheNew", "A\nB", "A\nBC\n", {{"0@@A", "0@@A"}, {"1@@B", "1@@BC"}}},
      {"LastLineWithoutEndComparedWhole", "A\nB1", "A\nB2", {{"0@@A", "0@@A"}, {"1@@B1", "1@@B2"}}},
      {"CrLfAgainstLf", "A\r\nB\r\n\r\nC\r\n", "A\nB\n\nC\n",
       {{"0@@A", "0@@A"}, {"0@@B", "0@@B"}, {"0@@", "0@@"}, {"0@@C", "0@@C"}}},
      // Only CR LF and LF end a line: the last character of an LF line is text.
      {"LfLinesKeepTheirLastCharacter", "G1 X10\nM30\n", "G1 X11\nM30\n",
       {{"1@@G1 X10", "1@@G1 X11"}, {"0@@M30", "0@@M30"}}},
      {"LoneCrStaysInTheLine", "A\rB\n", "A\rB\n", {{"0@@A\rB", "0@@A\rB"}}},
      {"NulShownAsSectionSign", std::string("N1\0X\n", 5), "N1\xA7X\n", {{"0@@N1\xA7X", "0@@N1\xA7X"}}},
  };
}

class Alignment : public ::testing::TestWithParam<AlignmentCase> {};

TEST_P(Alignment, FillsBothListsStepByStep) {
  const AlignmentCase& c = GetParam();
  const auto lists = CompareTexts(c.oldText, c.newText);
  EXPECT_EQ(lists.result, 1);
  std::vector<std::pair<std::string, std::string>> rows;
  ASSERT_EQ(lists.oldSide.size(), lists.newSide.size());
  for (std::size_t k = 0; k < lists.oldSide.size(); ++k) rows.emplace_back(lists.oldSide[k], lists.newSide[k]);
  EXPECT_EQ(rows, c.rows);
}

INSTANTIATE_TEST_SUITE_P(Pairs, Alignment, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
