// LSV-2 telegrams and the program side of a send, without a line: framing
// and block checks, reading telegrams out of a byte stream, the meaning of
// received texts, the drip-feed file and the blocks cut from it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dnc/lsv2_dripfeed.h"
#include "dnc/lsv2_telegram.h"
#include "platform/file.h"
#include "tests/support/scratch_dir.h"

namespace {

void WriteFileBytes(const std::string& path, const std::string& bytes) { kvtest::ScratchDir::write_file(path, bytes); }
std::string ReadFileBytes(const std::string& path) { return kvtest::ScratchDir::read_file(path); }

std::string Framed(const std::string& text, char check) {
  return std::string{kLsv2Dle, kLsv2Stx} + text + std::string{kLsv2Dle, kLsv2Etx} + check;
}

TEST(Lsv2Telegram, FramesAndChecks) {
  struct Case {
    TLsv2Kind kind;
    unsigned long number;
    std::string text;
    char check;
  };
  const Case cases[] = {
      {TLsv2Kind::Found, 123, "PRPP%000123*", 0x0E},
      {TLsv2Kind::Finished, 0, "T FD", 'u'},
      {TLsv2Kind::NextBlock, 0, "T NB", 0x7B},
      {TLsv2Kind::NotFound, 0, "TDPPF ", 0x75},
      {TLsv2Kind::Ready, 7, "PTPP%000007*", static_cast<char>(Lsv2Bcc("PTPP%000007*"))},
      {TLsv2Kind::DripAnnounce, 100124, "PRPP%100124*", static_cast<char>(Lsv2Bcc("PRPP%100124*"))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Lsv2FormatTelegram(c.kind, c.number), Framed(c.text, c.check));
  }
  // "T FD" is the nine bytes DLE STX "T FD" DLE ETX 'u'.
  EXPECT_EQ(Lsv2FormatTelegram(TLsv2Kind::Finished).size(), 9u);
  EXPECT_EQ(Lsv2Frame("R PPG1\x03X"), Framed("R PPG1\x03X", static_cast<char>(Lsv2Bcc("R PPG1\x03X"))));
}

TEST(Lsv2Telegram, ReaderFindsTheRealEnd) {
  using R = TLsv2TelegramReader;
  struct Case {
    const char* what;
    std::string bytes;
    R::Result result;
    std::string text;
  };
  const std::string good = Lsv2Frame("T NB");
  const std::string withEtx = "R PPG1 X1\x03 Y2\r\n";
  const std::string withDle = std::string("R PP\x10Z");
  const Case cases[] = {
      {"plain", good, R::Complete, "T NB"},
      {"stray bytes before the frame", std::string("\x7F\x10") + "x" + good, R::Complete, "T NB"},
      {"an ETX of the data", Lsv2Frame(withEtx), R::Complete, withEtx},
      {"a DLE of the data", Lsv2Frame(withDle), R::Complete, withDle},
      {"wrong check", Framed("T NB", 0x7C), R::BadCheck, "T NB"},
      {"too long", std::string{kLsv2Dle, kLsv2Stx} + std::string(R::kMaxText + 1, 'A'), R::TooLong, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    R reader;
    R::Result last = R::More;
    std::size_t used = 0;
    for (char b : c.bytes) {
      used++;
      if ((last = reader.Take(b)) != R::More) break;
    }
    EXPECT_EQ(last, c.result);
    EXPECT_EQ(used, c.bytes.size());
    if (c.result != R::TooLong) {
      EXPECT_EQ(reader.Text(), c.text);
    }
  }
  // After a refused telegram the reader takes the repeat.
  R reader;
  for (char b : Framed("T NB", 0) + good) {
    if (reader.Take(b) == R::Complete) break;
  }
  EXPECT_EQ(reader.Text(), "T NB");
}

TEST(Lsv2Telegram, HeadsAndNumbers) {
  const std::pair<std::string, TLsv2Head> heads[] = {
      {"\r\n?\rF", TLsv2Head::Clearing},           {"TDPP%000123*", TLsv2Head::ProgramRequest},
      {"M RR", TLsv2Head::FirstBlock},            {"M RT", TLsv2Head::RequestNext},
      {"T WA", TLsv2Head::Wait},                  {"M IN", TLsv2Head::Reset},
      {"RDPP%000007*", TLsv2Head::MachineSending}, {"R PPG1 X1", TLsv2Head::DataBlock},
      {"T FD", TLsv2Head::MachineFinished},       {"T NB", TLsv2Head::NextRequest},
      {"T F", TLsv2Head::Unknown},                {"", TLsv2Head::Unknown},
      {"\r\n?\rG", TLsv2Head::Unknown},
  };
  for (const auto& [text, head] : heads) EXPECT_EQ(Lsv2Head(text), head) << text;

  EXPECT_EQ(Lsv2TelegramNumber("TDPP%000123*"), 123ul);
  EXPECT_EQ(Lsv2TelegramNumber("TDPP%500123*"), 500123ul);
  EXPECT_EQ(Lsv2TelegramNumber("RDPP%7"), 7ul);
  EXPECT_EQ(Lsv2TelegramNumber("TDPP*"), std::nullopt);
  EXPECT_EQ(Lsv2TelegramNumber("TDPP%*"), std::nullopt);
  EXPECT_EQ(Lsv2TelegramNumber("TDPP%1234567890123*"), std::nullopt);
}

class Lsv2Files : public ::testing::Test {
 protected:
  std::string Path(const char* name) { return dir_.file(name); }
  // The telegram texts of a whole send.
  std::vector<std::string> Blocks(const std::string& path, bool drip, unsigned long next) {
    TLsv2BlockSource source;
    EXPECT_TRUE(source.Open(path, drip, next));
    std::vector<std::string> out;
    for (int i = 0; i < 100000; i++) {
      auto b = source.Next();
      EXPECT_FALSE(b.Failed);
      out.push_back(b.Text);
      if (b.Ends == TLsv2BlockSource::End::Program) break;
    }
    return out;
  }
  kvtest::ScratchDir dir_{"lsv2"};
};

TEST_F(Lsv2Files, PlainBlocksAndTheQuestionMark) {
  std::string program;
  for (int i = 0; i < 30; i++) program += "G1 X" + std::to_string(i) + " Y" + std::to_string(i * 2) + "\r\n";
  WriteFileBytes(Path("P.NC"), program);
  auto blocks = Blocks(Path("P.NC"), false, 0);
  ASSERT_GE(blocks.size(), 3u);
  EXPECT_EQ(blocks.back(), "T FD");
  std::string back;
  for (std::size_t i = 0; i + 1 < blocks.size(); i++) {
    ASSERT_EQ(blocks[i].rfind("R PP", 0), 0u);
    EXPECT_LE(blocks[i].size(), 4 + kLsv2BlockData);
    back += blocks[i].substr(4);
  }
  EXPECT_EQ(back, program);

  // A '?' line ends the program: its CR LF and "0000" CR LF close the
  // block, whatever stood there; a '?' inside a line is data.
  WriteFileBytes(Path("Q.NC"), "G1 (WHY?)\r\n?\r\n9999\r\nREST\r\n");
  blocks = Blocks(Path("Q.NC"), false, 0);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0], "R PPG1 (WHY?)\r\n?\r\n0000\r\n");

  // Near the end of a read the block stops before the '?', and the next
  // one carries the end whole.
  const std::string head(120, 'A');
  WriteFileBytes(Path("E.NC"), head + "\r\n?\r\n0000\r\n");
  blocks = Blocks(Path("E.NC"), false, 0);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0], "R PP" + head + "\r\n");
  EXPECT_EQ(blocks[1], "R PP?\r\n0000\r\n");
}

TEST_F(Lsv2Files, DripFeedFileRewritesTheProgram) {
  std::string program = "%\r\n(TITLE)\r\nN10 G1 X1\r\n  N20 N  G1 X2\r\n\r\n&%5\r\nN30\r\n?\r\n0000\r\n12\r\nG1 X3\r\n";
  for (int i = 0; i < 40; i++) program += "G1 Y" + std::to_string(i) + "\r\n";
  program += "M30\r\nAFTER\r\n";
  WriteFileBytes(Path("P.NC"), program);
  ASSERT_TRUE(Lsv2WriteDripFeedFile(Path("P.NC"), Path("D.LSV"), 100123, 8000));
  const std::string drip = ReadFileBytes(Path("D.LSV"));
  std::string expect = "%\r\n(&%100123/000000\"NLP aus %100123)\r\nN3 G1 X1\r\nN4 G1 X2\r\nN5 &%100124\r\nN6 G1 X3\r\n";
  int n = 7;
  for (int i = 0; i < 40; i++) {
    expect += "N" + std::to_string(n) + " G1 Y" + std::to_string(i) + "\r\n";
    // The 39th block of the first part ends it.
    if (n == 39) {
      expect += std::string(kLsv2PartBreak) + "\r\n";
      n = 0;
    }
    n++;
  }
  expect += "N" + std::to_string(n) + " M30\r\n?\r\n0000\r\n";
  EXPECT_EQ(drip, expect);

  // A program without a title loses no line to the part header.
  WriteFileBytes(Path("N.NC"), "%\r\nG1 X1\r\nM30\r\n");
  ASSERT_TRUE(Lsv2WriteDripFeedFile(Path("N.NC"), Path("N.LSV"), 7, 8000));
  EXPECT_EQ(ReadFileBytes(Path("N.LSV")), "%\r\n(&%000007/000000\"NLP aus %000007)\r\nN3 G1 X1\r\nN4 M30\r\n?\r\n0000\r\n");

  // Parts after the first follow the part size.
  std::string longer = "%\r\n";
  for (int i = 0; i < 300; i++) longer += "G1 X" + std::to_string(i) + "\r\n";
  WriteFileBytes(Path("L.NC"), longer);
  ASSERT_TRUE(Lsv2WriteDripFeedFile(Path("L.NC"), Path("L.LSV"), 1, 500));
  const std::string l = ReadFileBytes(Path("L.LSV"));
  std::vector<std::size_t> breaks;
  for (std::size_t at = 0; (at = l.find('\f', at)) != std::string::npos; at++) breaks.push_back(at);
  ASSERT_GE(breaks.size(), 4u);
  for (std::size_t i = 2; i < breaks.size(); i++) {
    EXPECT_GT(breaks[i] - breaks[i - 1], 500u);
    EXPECT_LT(breaks[i] - breaks[i - 1], 700u);
  }

  // A program that cannot be read, a file that cannot be written.
  EXPECT_FALSE(Lsv2WriteDripFeedFile(Path("MISSING.NC"), Path("X.LSV"), 1, 500));
  EXPECT_FALSE(Lsv2WriteDripFeedFile(Path("L.NC"), Path("nodir/X.LSV"), 1, 500));
  plat::set_write_fault("W.LSV", 100);
  EXPECT_FALSE(Lsv2WriteDripFeedFile(Path("L.NC"), Path("W.LSV"), 1, 500));
  plat::set_write_fault("", 0);
}

TEST_F(Lsv2Files, DripFeedBlocksEndAndStartParts) {
  // Two parts: the break falls inside a block.
  const std::string part1 = "%\r\n(&%000100/000000)\r\nN3 G1 X1\r\n";
  const std::string part2 = "N1 G1 X2\r\n?\r\n0000\r\n";
  WriteFileBytes(Path("A.LSV"), part1 + kLsv2PartBreak + "\r\n" + part2);
  auto blocks = Blocks(Path("A.LSV"), true, 101);
  const std::vector<std::string> expect = {
      "R PP" + part1,
      "R PPN9999 L0 %101\r\n\r\n?\r\n0000\r\n",
      "T FD",
      "R PP%101\r\n(&%101/000000)\r\n" + part2,
      "T FD",
  };
  EXPECT_EQ(blocks, expect);

  // A break at the end of a 124-byte read keeps CR LF ETX with the
  // marker: nothing of it reaches the next part.
  const std::string filler = std::string(121, 'B') + "\r\n";
  WriteFileBytes(Path("B.LSV"), filler + kLsv2PartBreak + "\r\n" + "G1\r\n");
  blocks = Blocks(Path("B.LSV"), true, 5);
  ASSERT_EQ(blocks.size(), 5u);
  EXPECT_EQ(blocks[0], "R PP" + filler);
  EXPECT_EQ(blocks[3], "R PP%5\r\n(&%5/000000)\r\nG1\r\n");

  // A long part start: its first block holds 124 data bytes, the rest
  // follows.
  const std::string body(300, 'C');
  WriteFileBytes(Path("C.LSV"), std::string("X\r\n") + kLsv2PartBreak + "\r\n" + body);
  blocks = Blocks(Path("C.LSV"), true, 9);
  ASSERT_GE(blocks.size(), 6u);
  EXPECT_EQ(blocks[3].size(), 4 + kLsv2BlockData);
  std::string rest;
  for (std::size_t i = 3; i + 1 < blocks.size(); i++) rest += blocks[i].substr(4);
  EXPECT_EQ(rest, "%9\r\n(&%9/000000)\r\n" + body);

  // The last part's end: nothing after the break closes the program.
  WriteFileBytes(Path("D.LSV"), std::string("X\r\n") + kLsv2PartBreak);
  blocks = Blocks(Path("D.LSV"), true, 2);
  const std::vector<std::string> last = {"R PPX\r\n", "R PPN9999 L0 %2\r\n\r\n?\r\n0000\r\n", "T FD"};
  EXPECT_EQ(blocks, last);
}

}  // namespace
