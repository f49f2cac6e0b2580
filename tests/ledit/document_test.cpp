// The document against a plain string: random edits, undo and redo must
// leave the same bytes and the same line starts; files load and save
// whole or not at all.
#include "platform/ledit/document.h"

#include <gtest/gtest.h>

#include <random>

#include <filesystem>
#include <fstream>

#include "platform/file.h"
#include "tests/platform/file_sandbox.h"

namespace plat::ledit {
namespace {

std::vector<size_t> starts_of(const std::string& s) {
  std::vector<size_t> v{0};
  for (size_t i = 0; i < s.size(); ++i)
    if (s[i] == '\n') v.push_back(i + 1);
  return v;
}

void expect_same(Document& d, const std::string& model) {
  ASSERT_EQ(d.all(), model);
  std::vector<size_t> want = starts_of(model);
  ASSERT_EQ(d.lines(), want.size());
  for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(d.line_start(i), want[i]) << "line " << i;
  for (size_t pos : {size_t{0}, model.size() / 2, model.size()}) {
    size_t line = std::upper_bound(want.begin(), want.end(), pos) - want.begin() - 1;
    ASSERT_EQ(d.line_of(pos), line);
  }
}

TEST(LeditDocument, RandomEditsUndoAndRedoMatchAStringModel) {
  std::mt19937 rng(24);
  Document d;
  std::string model;
  std::vector<std::string> history{model};  // text after each group
  size_t at = 0;                            // index in history of the current text
  bool lastMerged = false;
  const char* pieces[] = {"G01 X10\r\n", "\r\n", "Y", "\n", "N10 ", "M30\r\n\r\n", "ZZZ"};
  for (int round = 0; round < 3000; ++round) {
    int what = rng() % 10;
    if (what < 6 || model.empty()) {
      d.begin_group(what == 0);
      int edits = 1 + rng() % 3;
      for (int e = 0; e < edits; ++e) {
        if (rng() % 2 || model.empty()) {
          size_t pos = rng() % (model.size() + 1);
          std::string s = pieces[rng() % 7];
          d.insert(pos, s);
          model.insert(pos, s);
        } else {
          size_t pos = rng() % model.size();
          size_t n = 1 + rng() % std::min<size_t>(12, model.size() - pos);
          d.erase(pos, n);
          model.erase(pos, n);
        }
      }
      d.end_group();
      // Merging groups (typing) join the merging group before them.
      if (what == 0 && lastMerged && at > 0) {
        history[at] = model;
      } else {
        history.resize(at + 1);
        history.push_back(model);
        at = history.size() - 1;
      }
      lastMerged = what == 0;
    } else if (what < 8) {
      lastMerged = false;
      int64_t caret = d.undo();
      if (at == 0) {
        EXPECT_EQ(caret, -1);
      } else {
        --at;
        model = history[at];
      }
    } else {
      lastMerged = false;
      int64_t caret = d.redo();
      if (at + 1 == history.size()) {
        EXPECT_EQ(caret, -1);
      } else {
        ++at;
        model = history[at];
      }
    }
    ASSERT_NO_FATAL_FAILURE(expect_same(d, model)) << "round " << round << " op " << what;
  }
}

}  // namespace
}  // namespace plat::ledit

namespace plat::ledit {
namespace {

std::string slurp(const std::string& native) {
  std::ifstream in(native, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(LeditDocument, FindsForwardBackwardByCaseAndWholeWord) {
  Document d;
  d.insert(0, std::string("G01 X1\r\ng01 X2\r\nG010 X3\r\n"));
  struct Case {
    const char* what;
    size_t from;
    bool forward, matchCase, wholeWord;
    int64_t want;
  } cases[] = {
      {"G01", 0, true, true, false, 0},   {"G01", 1, true, true, false, 16},  {"G01", 1, true, false, false, 8},
      {"G01", 1, true, true, true, -1},   {"G01", 1, true, false, true, 8},   {"G01", 16, false, true, false, 0},
      {"X3", 100, false, true, false, 21}, {"", 0, true, true, false, -1},     {"X3\r\n+", 0, true, true, false, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(d.find(c.what, c.from, c.forward, c.matchCase, c.wholeWord), c.want) << c.what << " from " << c.from;
}

TEST(LeditDocument, ReplaceAllIsOneUndoAndKeepsLines) {
  Document d;
  std::string text;
  for (int i = 0; i < 500; ++i) text += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + "\r\n";
  d.insert(0, text);
  d.clear_undo();
  EXPECT_EQ(d.replace_all("G01", "G1", true, true, 0, d.length()), 500u);
  EXPECT_EQ(d.lines(), 501u);
  EXPECT_EQ(d.line_text(499), "N499 G1 X499");
  EXPECT_EQ(d.replace_all("X", "", true, false, d.line_start(10), d.line_start(12)), 2u);
  EXPECT_EQ(d.line_text(11), "N11 G1 11");
  EXPECT_EQ(d.line_text(12), "N12 G1 X12");
  d.undo();
  d.undo();
  EXPECT_EQ(d.all(), text);
  EXPECT_FALSE(d.can_undo());
}

TEST(LeditDocument, LoadAndSaveKeepBytesAndFailWithoutLoss) {
  FileSandbox box;
  FileSandbox::put(box.c("P1.NC"), "%\r\nN1 G0 X0\r\nM30\r\n");
  Document d;
  ASSERT_TRUE(d.load("C:\\P1.NC").ok);
  EXPECT_EQ(d.lines(), 4u);
  EXPECT_EQ(d.line_text(1), "N1 G0 X0");
  EXPECT_FALSE(d.modified());

  IoResult missing = d.load("C:\\NONE.NC");
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.message.find("NONE.NC"), std::string::npos);
  EXPECT_EQ(d.line_text(1), "N1 G0 X0");  // untouched by the failure

  d.insert(0, std::string("(NEW)\r\n"));
  EXPECT_TRUE(d.modified());
  set_write_fault("P1.NC~KV", 5);
  IoResult full = d.save("C:\\P1.NC");
  set_write_fault("", 0);
  EXPECT_FALSE(full.ok);
  EXPECT_EQ(full.error, error_disk_full);
  EXPECT_EQ(slurp(box.c("P1.NC")), "%\r\nN1 G0 X0\r\nM30\r\n");
  EXPECT_FALSE(std::filesystem::exists(box.c("P1.NC~kv")));

  std::filesystem::permissions(box.c("P1.NC"), std::filesystem::perms(0640));
  ASSERT_TRUE(d.save("C:\\P1.NC").ok);
  EXPECT_EQ(slurp(box.c("P1.NC")), "(NEW)\r\n%\r\nN1 G0 X0\r\nM30\r\n");
  EXPECT_EQ(std::filesystem::status(box.c("P1.NC")).permissions(), std::filesystem::perms(0640));

  // A reader of the old file keeps its text; the name has the new one, and
  // a save straight after replaces it again.
  std::ifstream reader(box.c("P1.NC"), std::ios::binary);
  d.insert(0, std::string("(TWO)\r\n"));
  ASSERT_TRUE(d.save("C:\\P1.NC").ok);
  d.erase(0, 7);
  d.insert(0, std::string("(3)\r\n"));
  ASSERT_TRUE(d.save("C:\\P1.NC").ok);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), "(NEW)\r\n%\r\nN1 G0 X0\r\nM30\r\n");
  EXPECT_EQ(slurp(box.c("P1.NC")), "(3)\r\n(NEW)\r\n%\r\nN1 G0 X0\r\nM30\r\n");
  EXPECT_EQ(std::filesystem::status(box.c("P1.NC")).permissions(), std::filesystem::perms(0640));
  EXPECT_FALSE(std::filesystem::exists(box.c("P1.NC~kv")));
}

}  // namespace
}  // namespace plat::ledit

namespace plat::ledit {
namespace {

TEST(LeditDocument, LineEndsOfEveryKindAndEmptyFiles) {
  FileSandbox box;
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {""}},
      {"M30", {"M30"}},
      {"A\nB\n", {"A", "B", ""}},
      {"A\r\nB", {"A", "B"}},
      {"A\rB\r\n\r\n", {"A\rB", "", ""}},  // a lone CR ends no line
  };
  for (const Case& c : cases) {
    FileSandbox::put(box.c("T.NC"), c.bytes);
    Document d;
    ASSERT_TRUE(d.load("C:\\T.NC").ok);
    std::vector<std::string> got;
    for (size_t i = 0; i < d.lines(); ++i) got.push_back(d.line_text(i));
    EXPECT_EQ(got, c.lines) << c.bytes;
    EXPECT_EQ(d.length(), c.bytes.size());
  }
}

}  // namespace
}  // namespace plat::ledit
