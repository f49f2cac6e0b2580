// Random NC-like file pairs: whatever the alignment, each list shows its
// file whole and in order, equal steps pair equal lines, and the verdict
// rebuilds the new file. GNU diff, an independent reader of the same files,
// bounds the number of lines that can be kept unchanged.
// Covers: compare/compare_engine.cpp, compare/telmix.cpp
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tests/compare/telmix_harness.h"

namespace {

using namespace telmix_test;
using Lines = std::vector<std::string>;

class PairMaker {
 public:
  explicit PairMaker(unsigned seed) : rng_(seed) {}

  // Few distinct texts, so lines repeat within and across the files.
  std::string Line() {
    static const char* const fixed[] = {"G0 Z5", "M3 S1200", "G1 Z-2 F100", "", "(ROUGHING)", "M5", "G90 G54"};
    if (Pick(3) == 0) return fixed[Pick(7)];
    return "N" + std::to_string(Pick(40) * 10) + " G1 X" + std::to_string(Pick(6)) + " Y" + std::to_string(Pick(4));
  }

  Lines OldFile() {
    Lines lines(Pick(60));
    for (auto& line : lines) line = Line();
    return lines;
  }

  Lines Edit(Lines lines) {
    for (int edits = Pick(7); edits > 0; --edits) {
      const std::size_t at = lines.empty() ? 0 : Pick(lines.size());
      switch (Pick(5)) {
        case 0: lines.insert(lines.begin() + at, Line()); break;
        case 1: if (!lines.empty()) lines.erase(lines.begin() + at); break;
        case 2: if (!lines.empty()) lines[at] = Line(); break;
        case 3: if (!lines.empty()) lines.insert(lines.begin() + Pick(lines.size() + 1), lines[at]); break;
        default: {  // move a block elsewhere
          if (lines.size() < 2) break;
          const std::size_t length = 1 + Pick(std::min<std::size_t>(8, lines.size() - at));
          Lines block(lines.begin() + at, lines.begin() + at + length);
          lines.erase(lines.begin() + at, lines.begin() + at + length);
          lines.insert(lines.begin() + Pick(lines.size() + 1), block.begin(), block.end());
        }
      }
    }
    return lines;
  }

  // CR LF or LF ends; sometimes no end after a last line that has text.
  std::string Text(const Lines& lines, bool mayDropLastEnd = true) {
    const std::string end = Pick(2) ? "\r\n" : "\n";
    std::string text;
    for (const auto& line : lines) text += line + end;
    if (mayDropLastEnd && !lines.empty() && !lines.back().empty() && Pick(3) == 0) text.resize(text.size() - end.size());
    return text;
  }

  std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

 private:
  std::mt19937 rng_;
};

TEST(CompareProperties, EachSideShowsItsFileAndTheVerdictRebuildsTheNewFile) {
  PairMaker maker(20261209);
  for (int round = 0; round < 400; ++round) {
    const Lines oldLines = maker.OldFile();
    const Lines newLines = maker.Edit(oldLines);
    const auto lists = CompareTexts(maker.Text(oldLines), maker.Text(newLines));
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_EQ(lists.result, 1);
    ASSERT_EQ(lists.oldSide.size(), lists.newSide.size());

    Lines oldShown, rebuilt;
    for (std::size_t k = 0; k < lists.oldSide.size(); ++k) {
      const std::string& o = lists.oldSide[k];
      const std::string& n = lists.newSide[k];
      ASSERT_TRUE(o.size() >= 3 && n.size() >= 3 && o[0] == n[0] && o.compare(1, 2, "@@") == 0 &&
                  n.compare(1, 2, "@@") == 0)
          << o << " | " << n;
      const char type = o[0];
      const std::string oldText = o.substr(3), newText = n.substr(3);
      switch (type) {
        case '0': EXPECT_EQ(oldText, newText); break;  // equal steps pair equal lines
        case '1': EXPECT_NE(oldText, newText); break;
        case '2': EXPECT_EQ(newText, "<Line deleted>"); break;
        case '3': EXPECT_EQ(oldText, "<Line inserted>"); break;
        default: FAIL() << "type " << type;
      }
      if (type != '3') oldShown.push_back(oldText);
      if (type != '2') rebuilt.push_back(newText);  // keep equal lines, take the rest from the new file
    }
    EXPECT_EQ(oldShown, oldLines);
    EXPECT_EQ(rebuilt, newLines);
  }
}

// Lines GNU diff keeps unchanged with a minimal edit: every old line it does
// not list as removed.
long DiffUnchanged(const std::string& oldFile, const std::string& newFile, std::size_t oldCount) {
  const std::string command = "diff --minimal --strip-trailing-cr '" + oldFile + "' '" + newFile + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  long removed = 0;
  bool lineStart = true;
  char buffer[4096];
  while (fgets(buffer, sizeof buffer, pipe)) {
    if (lineStart && buffer[0] == '<' && buffer[1] == ' ') ++removed;
    lineStart = std::string(buffer).back() == '\n';
  }
  const int status = pclose(pipe);
  if (status == -1 || WEXITSTATUS(status) > 1) return -1;
  return static_cast<long>(oldCount) - removed;
}

TEST(CompareProperties, KeepsNoMoreLinesUnchangedThanGnuDiffFinds) {
  PairMaker maker(7);
  for (int round = 0; round < 40; ++round) {
    const Lines oldLines = maker.OldFile();
    const Lines newLines = maker.Pick(8) == 0 ? oldLines : maker.Edit(oldLines);
    // diff tells a last line without end from the same line with one.
    TempDir dir("telmix");
    const std::string oldFile = dir.write("old.nc", maker.Text(oldLines, false));
    const std::string newFile = dir.write("new.nc", maker.Text(newLines, false));
    const auto lists = CompareFiles(newFile, oldFile);
    long same = 0;
    for (const auto& item : lists.oldSide) same += item[0] == '0';
    const long peer = DiffUnchanged(oldFile, newFile, oldLines.size());
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_GE(peer, 0) << "diff failed";
    EXPECT_LE(same, peer);
    if (oldLines == newLines) {
      EXPECT_EQ(same, peer);
    }
  }
}

}  // namespace
