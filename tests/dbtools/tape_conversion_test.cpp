// The tape conversions on files: Mazak tapes against the tape text built
// here from the blocks, WC-18 cleaning against GNU tr on the same bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "dbtools/tape_conversions.h"
#include "platform/file.h"
#include "tests/support/tape_text.h"
#include "tests/support/scratch_dir.h"

namespace {

using kvtest::ScratchDir;
using namespace kvtape;

class MazakConversionTest : public ::testing::Test {
 protected:
  void TearDown() override {
    plat::set_read_fault("", 0);
    plat::set_write_fault("", 0);
  }
  TConversion Convert(const std::string& bytes, bool plus = false) {
    std::string source = dir.write("T.TAP", bytes);
    return plus ? ConvertMazakTPlusTape(source, Work()) : ConvertMazakT32Tape(source, Work());
  }
  std::string Work() const { return dir.file("WORK.TMP"); }
  std::string Text() const { return dir.read("WORK.TMP"); }

  ScratchDir dir{"kvmazak"};
};

TEST_F(MazakConversionTest, OneBlockGivesTheFixedHeadersAndTheirChecks) {
  const std::string block = "1100" + std::string(10, 'N') + "0001" + std::string(110, 'X');
  ASSERT_EQ(Convert(block), TConversion::Taken);
  std::string text = Text();
  EXPECT_EQ(text.size(), 717u);
  EXPECT_EQ(text, TapeText('1', {block}));
  // The check characters of the four header records: 07 (T32), 05 with
  // the program bytes 0001, 05, 02; 0B for T+.
  auto check = [](const std::string& t, std::size_t line) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < line; ++i) at = t.find("\r\n", at) + 2;
    return t.substr(at + 130, 2);
  };
  EXPECT_EQ(check(text, 1), "07");
  EXPECT_EQ(check(text, 2), "05");
  EXPECT_EQ(check(text, 3), "05");
  EXPECT_EQ(check(text, 7), "02");
  EXPECT_EQ(text.substr(text.size() - 135), "_2" + Zeros(127) + "_02_\r\n");
  ASSERT_EQ(Convert(block, true), TConversion::Taken);
  EXPECT_EQ(check(Text(), 1), "0B");
}

TEST_F(MazakConversionTest, T32AndTPlusDifferOnlyInTheFirstHeader) {
  std::vector<std::string> blocks = {Block("1100ABCDEFGHIJ1234"), Block("N20G1X5", 'B'), Block("M30", ' ')};
  ASSERT_EQ(Convert(TapeFile("%\r\n", blocks)), TConversion::Taken);
  std::string t32 = Text();
  ASSERT_EQ(Convert(TapeFile("%\r\n", blocks), true), TConversion::Taken);
  std::string plus = Text();
  EXPECT_EQ(t32, TapeText('1', blocks));
  EXPECT_EQ(plus, TapeText('5', blocks));
  ASSERT_EQ(t32.size(), plus.size());
  std::vector<std::size_t> differ;
  for (std::size_t i = 0; i < t32.size(); ++i)
    if (t32[i] != plus[i]) differ.push_back(i);
  // "[TAPEMARK-0]" CR LF, then the record: "_" and payload position 3;
  // the check characters 07 and 0B differ in their second.
  EXPECT_EQ(differ, (std::vector<std::size_t>{14 + 1 + 3, 14 + 131}));
}

TEST_F(MazakConversionTest, WhereTheTapeStartsAndEnds) {
  const std::string body = std::string(124, 'D');
  struct Case {
    const char* name;
    std::string file;
    TConversion result;
    std::vector<std::string> blocks;
  } cases[] = {
      // The marker after a stray "1" is found (11100).
      {"stray one", "11100" + body, TConversion::Taken, {"1100" + body}},
      {"marker inside a group", "x1x11100" + body + "\r\n" + Block("G1"), TConversion::Taken,
       {"1100" + body, Block("G1")}},
      {"short last block dropped", "1100" + body + "\r\n" + Block("N1") + "\r\n" + std::string(50, 'Z'),
       TConversion::Taken, {"1100" + body, Block("N1")}},
      {"only the gap after the block", "1100" + body + "\r\n", TConversion::Taken, {"1100" + body}},
      {"123 bytes after the marker", "1100" + body.substr(1), TConversion::NotTaken, {}},
      {"no marker", "1110" + body + "1011", TConversion::NotTaken, {}},
      {"empty", "", TConversion::NotTaken, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Convert(c.file), c.result);
    if (c.result == TConversion::Taken) {
      EXPECT_EQ(Text(), TapeText('1', c.blocks));
    }
  }
}

TEST_F(MazakConversionTest, BlocksWithLineBreakingBytesTakeTheHexForm) {
  std::string cr = Block("1100") , lf = Block("N2"), nul = Block("N3"), high = Block("N4");
  cr[15] = '\r';  // also among the program bytes of header 2
  lf[100] = '\n';
  nul[127] = '\0';
  high[5] = static_cast<char>(0xB1);  // the byte sum, not a signed one
  std::vector<std::string> blocks = {cr, lf, nul, high};
  ASSERT_EQ(Convert(TapeFile("", blocks)), TConversion::Taken);
  std::string text = Text();
  EXPECT_EQ(text, TapeText('1', blocks));
  EXPECT_NE(text.find("_" + Hex(nul) + "_" + CheckOf(nul) + "_\r\n"), std::string::npos);
  EXPECT_NE(text.find("_" + high + "_" + CheckOf(high) + "_\r\n"), std::string::npos);
  // Every line of the text is one line: a mark or a record of 133 or 261.
  std::size_t start = 0, lines = 0;
  for (std::size_t nl; (nl = text.find("\r\n", start)) != std::string::npos; start = nl + 2, ++lines) {
    std::size_t n = nl - start;
    EXPECT_TRUE(n == 12 || n == 133 || n == 261) << n;
    EXPECT_EQ(text.substr(start, nl - start).find_first_of(std::string("\r\n\0", 3)), std::string::npos);
  }
  EXPECT_EQ(lines, 7u + blocks.size());
}

TEST_F(MazakConversionTest, RandomTapesGiveTheirBlocksInOrder) {
  std::mt19937 rng(140);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    std::string leader;
    for (int i = rng() % 300; i > 0; --i) leader += static_cast<char>(rng());
    std::vector<std::string> blocks;
    for (int b = 1 + rng() % 12; b > 0; --b) {
      std::string block;
      for (int i = 0; i < 128; ++i) block += static_cast<char>(rng() % 4 ? ' ' + rng() % 95 : rng());
      blocks.push_back(block);
    }
    blocks[0].replace(0, 4, "1100");
    std::string file = TapeFile(leader, blocks, std::string(rng() % 130, 'T'));
    // Where the tape starts is where "1100" first stands in the file.
    std::size_t start = file.find("1100");
    std::vector<std::string> expected;
    for (std::size_t at = start; at + 128 <= file.size(); at += 130) expected.push_back(file.substr(at, 128));
    ASSERT_EQ(Convert(file), TConversion::Taken);
    EXPECT_EQ(Text(), TapeText('1', expected));
  }
}

TEST_F(MazakConversionTest, FailuresAreNotTakenAsTheEndOfTheTape) {
  const std::string file = TapeFile("", {Block("1100"), Block("N1"), Block("N2"), Block("N3")});
  int error = 0;
  EXPECT_EQ(ConvertMazakT32Tape(dir.file("NONE.TAP"), Work(), &error), TConversion::SourceFailed);
  EXPECT_EQ(error, plat::error_not_found);
  plat::set_read_fault("T.TAP", 200);
  EXPECT_EQ(Convert(file), TConversion::SourceFailed);
  plat::set_read_fault("", 0);
  plat::set_write_fault("WORK.TMP", 100);
  EXPECT_EQ(Convert(file), TConversion::WorkFailed);
  plat::set_write_fault("", 0);
  std::string source = dir.write("T2.TAP", file);
  EXPECT_EQ(ConvertMazakT32Tape(source, dir.file("no/such/WORK.TMP"), &error), TConversion::WorkFailed);
  EXPECT_EQ(Convert(file), TConversion::Taken);
}

// ---- WC-18 ------------------------------------------------------------------

class Wc18Test : public ::testing::Test {
 protected:
  void TearDown() override { plat::set_read_fault("", 0); }
  // GNU tr -d of the dropped bytes over a file, into another.
  std::string Tr(const std::string& in) {
    std::string out = dir.file("TR.OUT");
    std::string cmd = "tr -d '\\000-\\011\\013\\014\\016-\\037\\200-\\377' < '" + in + "' > '" + out + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return out;
  }
  static bool Same(const std::string& a, const std::string& b) {
    return std::system(("cmp -s '" + a + "' '" + b + "'").c_str()) == 0;
  }
  std::string Work() const { return dir.file("WORK.TMP"); }

  ScratchDir dir{"kvwc18"};
};

TEST_F(Wc18Test, RandomFilesEqualTrOfTheDroppedBytes) {
  std::mt19937 rng(142);
  for (std::size_t size : {0, 1, 9999, 10000, 10001, 65537, 300000, 1000000}) {
    SCOPED_TRACE(size);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    std::string source = dir.write("W.NC", bytes);
    ASSERT_EQ(ConvertWc18File(source, Work()), TConversion::Taken);
    EXPECT_TRUE(Same(Work(), Tr(source)));
  }
}

TEST_F(Wc18Test, TheOneFortyVariantStartsAtTheFirstPercent) {
  std::mt19937 rng(143);
  auto randomText = [&](std::size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
  };
  std::string noPercent = randomText(20000);
  for (char& c : noPercent)
    if (c == '%') c = 'P';
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"first percent at 12000", noPercent.substr(0, 12000) + "%N10\x01G1\r\n%" + randomText(30000)},
      {"random with percents", randomText(1000000)},
      {"percent first", "%" + randomText(100)},
      {"percent last", noPercent.substr(0, 500) + "%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string source = dir.write("W.NC", c.bytes);
    ASSERT_EQ(ConvertWc18140File(source, Work()), TConversion::Taken);
    std::string cut = dir.write("CUT.NC", c.bytes.substr(c.bytes.find('%')));
    EXPECT_TRUE(Same(Work(), Tr(cut)));
    EXPECT_EQ(dir.read("WORK.TMP").substr(0, 1), "%");
  }
  ASSERT_EQ(ConvertWc18140File(dir.write("W.NC", noPercent), Work()), TConversion::Taken);
  EXPECT_EQ(dir.read("WORK.TMP"), "");
}

TEST_F(Wc18Test, KeptAndDroppedBytes) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {std::string("\0\x02N10\r\n\xB1", 8), "N10\r\n"},
      {"A\x7F\tB", "A\x7F" "B"},
      {std::string(25000, 'G'), std::string(25000, 'G')},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(ConvertWc18File(dir.write("W.NC", c.in), Work()), TConversion::Taken);
    EXPECT_EQ(dir.read("WORK.TMP"), c.out);
  }
}

TEST_F(Wc18Test, AnUnreadableSourceIsNotTaken) {
  int error = 0;
  EXPECT_EQ(ConvertWc18File(dir.file("NONE.NC"), Work(), &error), TConversion::SourceFailed);
  EXPECT_EQ(error, plat::error_not_found);
  std::string source = dir.write("W.NC", std::string(50000, 'N'));
  plat::set_read_fault("W.NC", 20000);
  EXPECT_EQ(ConvertWc18140File(source, Work(), &error), TConversion::SourceFailed);
  EXPECT_EQ(error, plat::error_io);
  EXPECT_EQ(ConvertWc18File(source, Work()), TConversion::SourceFailed);
}

}  // namespace
