// Heidenhain block framing: the block check, where a received block ends on
// type-2 and type-8 lines, the command of an idle block and the directory
// command.
#include <gtest/gtest.h>

#include <string>

#include "dnc/heidenhain.h"

namespace {

const std::string kEtb(1, '\x17');

// A check byte that makes the block STX text ETB check come out at want.
std::string TextWithCheck(unsigned char want, char start = '\x02') {
  for (int c = ' '; c <= '~'; c++)
    for (int d = '0'; d <= '9'; d++) {
      std::string text = "L X+" + std::string(1, static_cast<char>(c)) + static_cast<char>(d);
      if (HeiBlockCheck(std::string(1, start) + text + kEtb) == want) return text;
    }
  return {};
}

TEST(HeidenhainFrame, BlockIsStxTextEtbCheckDc1) {
  const unsigned char check = 0x02 ^ 'A' ^ 'B' ^ 0x17;
  EXPECT_EQ(HeiFrameBlock("AB"), std::string("\x02" "AB\x17") + static_cast<char>(check) + "\x11");
  EXPECT_EQ(HeiFrameBlock(""), std::string("\x02\x17\x15\x11")) << "an empty line is a block too";
}

TEST(HeidenhainFrame, ReceivedBlocksEndWhereTheirTypeSays) {
  const std::string dc1Text = TextWithCheck(0x11);
  const std::string etbText = TextWithCheck(0x17);
  const std::string sohText = TextWithCheck(0x40, '\x01');
  ASSERT_FALSE(dc1Text.empty());
  ASSERT_FALSE(etbText.empty());
  ASSERT_FALSE(sohText.empty());
  auto framed = [](const std::string& text, char start = '\x02') {
    std::string b = text + kEtb;
    return b + static_cast<char>(HeiBlockCheck(std::string(1, start) + b));
  };
  const struct {
    const char* name;
    char start;
    bool dc1;
    std::string bytes;  // after the start byte
    std::size_t ends;   // bytes taken up to the end of the block, 0: not ended
    bool good;
    std::string text;
  } cases[] = {
      {"type 2 plain", '\x02', true, framed("1 L X+10") + "\x11", 11, true, "1 L X+10"},
      {"type 2 check byte is DC1", '\x02', true, framed(dc1Text) + "\x11", 9, true, dc1Text},
      {"type 2 check byte is ETB", '\x02', true, framed(etbText) + "\x11", 9, true, etbText},
      {"type 2 waits for the DC1", '\x02', true, framed("AB"), 0, false, ""},
      {"type 8 ends at the check", '\x02', false, framed(dc1Text) + "\x11" "more", 8, true, dc1Text},
      {"type 8 check byte is DC1 ends it", '\x02', false, framed(dc1Text), 8, true, dc1Text},
      {"command block counts SOH in the check", '\x01', true, framed(sohText, '\x01') + "\x11", 9, true, sohText},
      {"wrong check", '\x02', true, "AB" + kEtb + "\x7f\x11", 5, false, ""},
      {"DC1 before the ETB ends a bad block", '\x02', true, "AB\x11", 3, false, ""},
      {"bytes between check and DC1", '\x02', true, framed("AB") + "x\x11", 6, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    THeiBlockReader r(static_cast<unsigned char>(c.start), c.dc1);
    std::size_t ends = 0;
    for (std::size_t i = 0; i < c.bytes.size() && !ends; i++)
      if (r.Feed(static_cast<unsigned char>(c.bytes[i]))) ends = i + 1;
    EXPECT_EQ(ends, c.ends);
    if (!ends) continue;
    EXPECT_EQ(r.Good(), c.good);
    if (c.good) {
      EXPECT_EQ(r.Text(), c.text);
    }
  }
}

TEST(HeidenhainFrame, LongBlocksAreReadWholeAndOverlongOnesRefused) {
  const std::string line(5000, 'X');
  THeiBlockReader r(0x02, true);
  std::string bytes = line + kEtb;
  bytes += static_cast<char>(HeiBlockCheck("\x02" + bytes));
  bytes += '\x11';
  bool ended = false;
  for (char c : bytes) ended = r.Feed(static_cast<unsigned char>(c));
  ASSERT_TRUE(ended);
  EXPECT_TRUE(r.Good());
  EXPECT_EQ(r.Text(), line);

  THeiBlockReader big(0x02, true);
  for (std::size_t i = 0; i < THeiBlockReader::kLongest + 10; i++) big.Feed('Y');
  big.Feed(0x17);
  big.Feed(0x00);
  EXPECT_TRUE(big.Feed(0x11)) << "read up to its end";
  EXPECT_FALSE(big.Good());
  EXPECT_LE(big.Bytes().size(), THeiBlockReader::kLongest);
}

TEST(HeidenhainFrame, CommandOfAnIdleBlock) {
  const struct {
    std::string text;
    THeiCommand command;
    std::string name;
  } cases[] = {
      {"HPROG7E", THeiCommand::Request, "PROG7"},
      {"H123.HA", THeiCommand::Announce, "123.H"},
      {"XE", THeiCommand::Request, ""},
      {"HNAMX", THeiCommand::None, ""},
      {"HNAME", THeiCommand::Request, "NAM"},
      {"E", THeiCommand::None, ""},
      {"", THeiCommand::None, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string name = "unchanged";
    EXPECT_EQ(HeiParseCommand(c.text, &name), c.command);
    if (c.command != THeiCommand::None) {
      EXPECT_EQ(name, c.name);
    }
  }
}

TEST(HeidenhainFrame, DirectoryCommandSkipsWrongBytes) {
  THeiListMatcher m;
  const std::string in = std::string("\x1b") + "zz\x11O  D\r\n";
  std::string seen;
  bool done = false;
  for (char c : in) {
    bool ok = false;
    done = m.Feed(static_cast<unsigned char>(c), &ok);
    seen += ok ? '+' : '-';
  }
  EXPECT_TRUE(done);
  EXPECT_EQ(seen, "+--+++-+++");
  EXPECT_EQ(HeiListingHead(), std::string("O D\r\n\x0cTRAMOX3.XX\r\nFILENAME    \r\n\r\n"));
}

}  // namespace
