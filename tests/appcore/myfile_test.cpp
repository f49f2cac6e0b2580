// The buffered text file: line ends, NUL bytes, block seams, long lines.
// Covers: appcore/myfile.cpp
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "appcore/myfile.h"
#include "tests/support/scratch_dir.h"

namespace {

using Lines = std::vector<std::string>;

Lines ReadAll(const std::string& path, bool inPlace, int addLineEnd = 0) {
  TMyFile f(path.c_str());
  EXPECT_EQ(f.Open(1), 1);
  Lines out;
  if (inPlace) {
    while (const char* l = f.ReadLineInPlace(addLineEnd)) out.push_back(l);
  } else {
    while (auto l = f.ReadLine(addLineEnd)) out.push_back(l.get());
  }
  EXPECT_FALSE(f.Failed());
  return out;
}

struct ReadCase {
  const char* name;
  std::string bytes;
  Lines want;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class MyFileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(MyFileRead, BothReadersGiveTheLines) {
  kvtest::ScratchDir dir;
  std::string path = dir.write("in.nc", GetParam().bytes);
  EXPECT_EQ(ReadAll(path, false), GetParam().want);
  EXPECT_EQ(ReadAll(path, true), GetParam().want);
}

const ReadCase kReads[] = {
    {"crlf_no_final_end", "A\r\nB", {"A", "B"}},
    {"crlf_final_end", "A\r\nB\r\n", {"A", "B"}},
    {"bare_lf", "A\nB\n", {"A", "B"}},
    {"mixed", "A\nB\r\nC", {"A", "B", "C"}},
    {"empty_file", "", {}},
    {"empty_lines", "\n\r\n\nX", {"", "", "", "X"}},
    {"lone_cr_kept", "A\rB\r\n", {"A\rB"}},
    {"cr_at_end_of_file_kept", "A\r", {"A\r"}},
    {"nul_becomes_substitute", std::string("N1\0G0\r\n\0", 8), {"N1\xA7G0", "\xA7"}},
};

INSTANTIATE_TEST_SUITE_P(Bytes, MyFileRead, ::testing::ValuesIn(kReads),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MyFile, AddLineEndAppendsCrLf) {
  kvtest::ScratchDir dir;
  std::string path = dir.write("in.nc", "A\r\nB\nC");
  EXPECT_EQ(ReadAll(path, false, 1), (Lines{"A\r\n", "B\r\n", "C\r\n"}));
  EXPECT_EQ(ReadAll(path, true, 1), (Lines{"A\r\n", "B\r\n", "C\r\n"}));
}

// Lines whose ends fall on, just before and just after the block size.
TEST(MyFile, LinesAcrossBlockSeams) {
  kvtest::ScratchDir dir;
  for (int shift : {-2, -1, 0, 1, 2}) {
    for (const char* eol : {"\r\n", "\n"}) {
      Lines want;
      std::string bytes;
      const int first = TMyFile::kBlockSize + shift - static_cast<int>(std::string(eol).size());
      want.push_back(std::string(first > 0 ? first : 0, 'a'));
      for (int i = 0; want.size() < 400; ++i) want.push_back("N" + std::to_string(i) + std::string(i % 211, 'x'));
      for (const auto& l : want) bytes += l + eol;
      bytes += std::string(3 * TMyFile::kBlockSize - bytes.size() % TMyFile::kBlockSize + 7, 'z');
      want.push_back(bytes.substr(bytes.rfind('\n') + 1));
      std::string path = dir.write("seam.nc", bytes);
      EXPECT_EQ(ReadAll(path, false), want) << shift << (eol[0] == '\r' ? " crlf" : " lf");
      EXPECT_EQ(ReadAll(path, true), want) << shift << (eol[0] == '\r' ? " crlf" : " lf");
    }
  }
}

TEST(MyFile, VeryLongLine) {
  kvtest::ScratchDir dir;
  std::string longLine(100000, 'Q');
  longLine[50000] = '\0';
  std::string path = dir.write("long.nc", "G0\r\n" + longLine + "\r\nM30");
  std::string expect = longLine;
  expect[50000] = '\xA7';
  EXPECT_EQ(ReadAll(path, false), (Lines{"G0", expect, "M30"}));
  EXPECT_EQ(ReadAll(path, true), (Lines{"G0", expect, "M30"}));

  TMyFile out(dir.file("long.out").c_str());
  ASSERT_EQ(out.Open(0), 1);
  EXPECT_EQ(out.WriteLine("G0"), 1);
  EXPECT_EQ(out.WriteLine(expect.c_str()), 1);
  EXPECT_EQ(out.Write("M30"), 1);
  EXPECT_EQ(out.FlushBuffer(), 1);
  EXPECT_EQ(out.Close(), 1);
  EXPECT_EQ(dir.read("long.out"), "G0\r\n" + longLine + "\r\nM30");
}

struct WriteCase {
  const char* name;
  std::vector<std::pair<bool, const char*>> calls;  // true: WriteLine
  std::string want;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class MyFileWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(MyFileWrite, WritesBytes) {
  kvtest::ScratchDir dir;
  TMyFile f(dir.file("out.nc").c_str());
  ASSERT_EQ(f.Open(0), 1);
  for (auto [line, text] : GetParam().calls) EXPECT_EQ(line ? f.WriteLine(text) : f.Write(text), 1);
  EXPECT_EQ(f.FlushBuffer(), 1);
  EXPECT_EQ(f.Close(), 1);
  EXPECT_EQ(dir.read("out.nc"), GetParam().want);
}

const WriteCase kWrites[] = {
    {"two_lines_four_bytes", {{true, "A"}, {true, "B"}}, "A\r\nB"},
    {"write_without_line_end", {{false, "A"}, {false, "B"}}, "AB"},
    {"null_line", {{true, "A"}, {true, nullptr}, {true, "B"}}, "A\r\n\r\nB"},
    {"substitute_back_to_nul", {{true, "N1\xA7G0"}}, std::string("N1\0G0", 5)},
    // Only the line end goes: a text ending in a bare LF keeps its last character.
    {"bare_lf_at_end", {{false, "A\n"}}, "A"},
    {"nothing", {}, ""},
};

INSTANTIATE_TEST_SUITE_P(Calls, MyFileWrite, ::testing::ValuesIn(kWrites),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MyFile, ManyLinesPassTheThreshold) {
  kvtest::ScratchDir dir;
  TMyFile f(dir.file("big.nc").c_str());
  ASSERT_EQ(f.Open(0), 1);
  std::string want;
  for (int i = 0; i < 20000; ++i) {
    std::string l = "N" + std::to_string(i) + " X" + std::to_string(i * 7);
    f.WriteLine(l.c_str());
    want += l + "\r\n";
  }
  want.resize(want.size() - 2);
  ASSERT_EQ(f.FlushBuffer(), 1);
  f.Close();
  EXPECT_EQ(dir.read("big.nc"), want);
}

TEST(MyFile, OpenFailures) {
  kvtest::ScratchDir dir;
  TMyFile missing(dir.file("none.nc").c_str());
  EXPECT_EQ(missing.Open(1), 0);
  EXPECT_FALSE(missing.Handle.is_open());
  TMyFile unnamed(nullptr);
  EXPECT_EQ(unnamed.Open(1), 0);
  EXPECT_EQ(unnamed.Open(0), 0);
  TMyFile noDir(dir.file("no/such/dir.nc").c_str());
  EXPECT_EQ(noDir.Open(0), 0);
}

}  // namespace
