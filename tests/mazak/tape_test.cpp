// Telegram framing, command codes, block checks, image lines, header
// numbers, request names and the answer tables of every control type.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/mazak_tape.h"
#include "tests/support/tape_text.h"

namespace {

const std::string kEot(1, kMazakEot);
const std::string kStx(1, kMazakStx);
const std::string kEtx(1, kMazakEtx);

std::string Block(const std::string& data) { return kStx + data + kEtx + MazakCheckText(data) + kEot; }

TEST(MazakTape, SplitsCommands) {
  struct Case {
    std::string telegram;
    int result;
    std::string command;
    std::string rest;
  } cases[] = {
      {"q" + kEot, 4, "q", "q" + kEot},
      {"pq" + kEot, 4, "q", "pq" + kEot},
      {"xxpA" + kEot, 4, "pA", "xxpA" + kEot},
      {"zz" + kEot, 4, "zz", "zz" + kEot},
      {"p1" + kStx + "ABC" + kEtx + "12" + kEot, 4, "p1", "ABC" + kEtx + "12" + kEot},
      {"xp1" + kStx + "A" + kEot, 4, "xp1", "A" + kEot},
      {"p1", 5, "", "p1"},
  };
  for (auto& c : cases) {
    std::string t = c.telegram, cmd;
    EXPECT_EQ(MazakSplitCommand(t, cmd), c.result) << c.telegram;
    EXPECT_EQ(cmd, c.command);
    EXPECT_EQ(t, c.rest);
  }
  std::string t = "xp1" + kStx + "A" + kEot, cmd;
  MazakSplitCommand(t, cmd);
  EXPECT_EQ(MazakDecodeCommand(cmd), -1);
}

TEST(MazakTape, DecodesEveryCommandExactly) {
  const std::vector<std::pair<std::string, int>> table = {
      {"p1", 1}, {"q", 2}, {"pq", 2}, {"p", 3},  {"p2", 4}, {"p3", 5}, {"p4", 6}, {"p6", 7},
      {"p8", 8}, {"p9", 9}, {"pA", 10}, {"pD", 11}, {"pa", -1}, {"P1", -1}, {"p5", -1}, {"", -1}};
  for (auto& [text, code] : table) EXPECT_EQ(MazakDecodeCommand(text), code) << text;
  EXPECT_STREQ(MazakCommandName(4), "MAZAK_CMD_WRITEMARK ");
  EXPECT_STREQ(MazakCommandName(10), "MAZAK_CMD_REWIND    ");
}

TEST(MazakTape, ChecksBlocks) {
  std::string data;
  EXPECT_TRUE(MazakCheckBlock("ABC" + kEtx + MazakCheckText("ABC") + kEot, &data));
  EXPECT_EQ(data, "ABC");
  EXPECT_EQ(MazakCheckText("ABC"), "C6");
  EXPECT_FALSE(MazakCheckBlock("ABC" + kEtx + "12" + kEot));  // wrong check
  EXPECT_FALSE(MazakCheckBlock("ABD" + kEtx + "C6" + kEot));  // damaged data
  EXPECT_FALSE(MazakCheckBlock("ABC" + kEtx + "C6"));         // no EOT
  EXPECT_FALSE(MazakCheckBlock("ABC" + kEot));                 // no ETX
  // An underscore is data like any other byte.
  EXPECT_TRUE(MazakCheckBlock("A_B" + kEtx + MazakCheckText("A_B") + kEot, &data));
  EXPECT_EQ(data, "A_B");
}

TEST(MazakTape, ImageLinesRoundTrip) {
  EXPECT_EQ(MazakBlockLine("ABC"), "_ABC_C6_");
  EXPECT_EQ(MazakTapeMarkLine(0), "[TAPEMARK-0]");
  for (const std::string& data : std::vector<std::string>{"ABC", "A_B", "_", "__X__", std::string(128, 'Z')}) {
    std::string line = MazakBlockLine(data);
    std::string block = MazakLineBlock(line);
    ASSERT_EQ(block, Block(data)) << data;
    std::string back;
    ASSERT_TRUE(MazakCheckBlock(block.substr(1), &back));
    EXPECT_EQ(back, data);
  }
  EXPECT_EQ(MazakBlockLine(std::string(128, 'Z')).size(), 133u);
  EXPECT_EQ(MazakLineBlock("[TAPEMARK-1]"), "");
  EXPECT_EQ(MazakLineBlock("__"), "");
}

// A block with CR, LF or NUL stands in its line as 256 hex digits (as the
// imports write it) and goes out as its 128 bytes; hex digits that are no
// such block stay data.
TEST(MazakTape, HexLinesGoOutAsTheirBlocks) {
  using kvtape::Hex;
  std::string block(128, 'G');
  block[3] = '\r';
  block[4] = '\n';
  block[127] = '\0';
  block[9] = static_cast<char>(0xB1);
  const std::string check = MazakCheckText(block);
  EXPECT_EQ(MazakLineBlock("_" + Hex(block) + "_" + check + "_"), Block(block));
  const std::string plainHex = Hex(std::string(128, 'G'));  // nothing that breaks a line
  const std::string lower = "_" + std::string(256, 'a') + "_00_";
  struct Case {
    const char* name;
    std::string line, data;
  } asData[] = {
      {"no CR, LF or NUL in it", "_" + plainHex + "_00_", plainHex},
      {"lower-case digits", lower, std::string(256, 'a')},
      {"255 digits", "_" + Hex(block).substr(1) + "_00_", Hex(block).substr(1)},
      {"a digit that is none", "_" + Hex(block).substr(0, 255) + "G_00_", Hex(block).substr(0, 255) + "G"},
  };
  for (const Case& c : asData) {
    std::string sent = MazakLineBlock(c.line);
    EXPECT_EQ(sent, kStx + c.data + kEtx + "00" + kEot) << c.name;
  }
}

TEST(MazakTape, HeaderNumbers) {
  const std::string m2 = "1100" + std::string(10, '0') + "3412";
  const std::string plus = "30001A2B" + std::string(8, '0');
  const std::string eight = "3000000A1B2C";
  struct Case {
    int type;
    std::string data;
    std::optional<uint32_t> number;
  } cases[] = {
      {kMazakM2, m2, 4660u},
      {kMazakM2, plus, 6699u},
      {kMazakT32, plus, 6699u},
      {kMazakM32, plus, 6699u},
      {kMazakTPlus, plus, 6699u},
      {kMazakMPlus, eight, 0xA1B2Cu},
      {kMazakMPlus, "3000FFFFFFFF", 4294967295u},
      {kMazakT32, m2, std::nullopt},
      {kMazakT32, "30001x2b", 0x1020u},  // other characters count as 0
      {kMazakT32, "300012", 0x1200u},    // a short header reads 0 past its end
      {kMazakT1, plus, std::nullopt},
      {kMazakM1, plus, std::nullopt},
      {kMazakT2, plus, std::nullopt},
      {kMazakT32, "2000" + plus, std::nullopt},
  };
  for (auto& c : cases) EXPECT_EQ(MazakHeaderNumber(c.type, c.data), c.number) << c.type << " " << c.data;
}

TEST(MazakTape, RequestNames) {
  std::string line = std::string(23, '0') + "31323334";
  std::vector<std::string> tape = {"_30001A2B_00_", "[TAPEMARK-0]", "_x_00_", "[TAPEMARK-1]", line};
  for (int t : {kMazakT32, kMazakM32, kMazakTPlus}) EXPECT_EQ(MazakRequestName(t, tape), "1234") << t;
  std::vector<std::string> plus = {"[TAPEMARK-1]", std::string(27, '0') + "4131323334353637"};
  EXPECT_EQ(MazakRequestName(kMazakMPlus, plus), "A1234567");
  std::vector<std::string> m2 = {"a", "b", std::string(105, '0') + "3412"};
  EXPECT_EQ(MazakRequestName(kMazakM2, m2), "4660");
  // Tapes that hold no request.
  EXPECT_EQ(MazakRequestName(kMazakT32, {"[TAPEMARK-1]"}), std::nullopt);
  EXPECT_EQ(MazakRequestName(kMazakT32, {"[TAPEMARK-0]", line}), std::nullopt);
  EXPECT_EQ(MazakRequestName(kMazakT32, {"[TAPEMARK-1]", "_short_"}), std::nullopt);
  EXPECT_EQ(MazakRequestName(kMazakM2, {"a", "b"}), std::nullopt);
  EXPECT_EQ(MazakRequestName(kMazakT2, tape), std::nullopt);
}

TEST(MazakTape, CodesByType) {
  struct Case {
    int type;
    const char *ack, *status, *mark;
  } cases[] = {{kMazakT1, "p00", "q00", "p02"},   {kMazakM1, "p00", "q00", "p02"},  {kMazakT2, "p00", "q00", "p02"},
               {kMazakM2, "p08", "q00", "p0A"},   {kMazakT32, "p00", "q08", "p02"}, {kMazakM32, "p00", "q08", "p02"},
               {kMazakTPlus, "p00", "q00", "p02"}, {kMazakMPlus, "p08", "q08", "p0A"}};
  for (auto& c : cases) {
    TMazakCodes codes;
    ASSERT_TRUE(MazakInitCodes(c.type, codes));
    EXPECT_EQ(codes.Ack, c.ack) << c.type;
    EXPECT_EQ(codes.Status, c.status) << c.type;
    EXPECT_EQ(codes.Mark, c.mark) << c.type;
    EXPECT_EQ(codes.Error, "P9401");
  }
  TMazakCodes none;
  EXPECT_FALSE(MazakInitCodes(8, none));
  EXPECT_FALSE(MazakInitCodes(-1, none));
  EXPECT_FALSE(MazakActiveType(kMazakT1));
  EXPECT_FALSE(MazakActiveType(kMazakM1));
  EXPECT_TRUE(MazakActiveType(kMazakT2));
  EXPECT_TRUE(MazakActiveType(kMazakMPlus));
}

// The answers of one command for every active type, receiving.
TEST(MazakTape, ReceivingAnswers) {
  const int types[] = {kMazakT2, kMazakM2, kMazakT32, kMazakM32, kMazakTPlus, kMazakMPlus};
  for (int t : types) {
    TMazakCodes c;
    MazakInitCodes(t, c);
    TMazakExchange x(t, false);
    struct Row {
      int code;
      std::string answer;
    } rows[] = {{kMazakWriteBlock, c.Ack}, {kMazakReadStatus, c.Status}, {kMazakWriteEmpty, c.Ack},
                {kMazakLoadPoint, c.Ack},  {kMazakLoadDelete, c.Ack},    {kMazakDeleteRec, c.Ack},
                {kMazakReadBlock, c.Error}, {kMazakSearch, c.Mark},      {kMazakSkipBlock, ""},
                {-1, ""}};
    for (auto& r : rows) {
      TMazakStep s = x.Step(r.code);
      EXPECT_EQ(s.Answer, r.answer) << t << " " << r.code;
      EXPECT_TRUE(s.Eot);
      EXPECT_FALSE(s.End);
    }
    TMazakStep w = x.Step(kMazakWriteBlock);
    EXPECT_TRUE(w.StoreBlock);
    EXPECT_EQ(w.CountBytes, t != kMazakT2);
    // Tape marks: T2 writes the line but keeps its count and acknowledges.
    TMazakStep m0 = x.Step(kMazakWriteMark), m1 = x.Step(kMazakWriteMark);
    EXPECT_EQ(m0.MarkLine, 0);
    EXPECT_EQ(m1.MarkLine, t == kMazakT2 ? 0 : 1);
    EXPECT_EQ(m0.Answer, t == kMazakT2 ? c.Ack : c.Mark);
    // Status between two rewinds starts the rewind count again.
    EXPECT_FALSE(x.Step(kMazakRewind).End);
    x.Step(kMazakReadStatus);
    EXPECT_FALSE(x.Step(kMazakRewind).End);
    TMazakStep last = x.Step(kMazakRewind);
    EXPECT_TRUE(last.End);
    EXPECT_EQ(last.Answer, c.Ack);
    EXPECT_EQ(last.PauseMs, 1000);
    const bool keepsMarks = t == kMazakM2 || t == kMazakTPlus || t == kMazakMPlus;
    EXPECT_EQ(x.Marks(), t == kMazakT2 ? 0 : (keepsMarks ? 2 : 0)) << t;
  }
  TMazakExchange x(kMazakT32, false);
  EXPECT_EQ(x.Step(kMazakReadStatus).Answer, "q08");
  TMazakExchange y(kMazakT2, false);
  EXPECT_EQ(y.Step(kMazakReadStatus).Answer, "q00");
}

TEST(MazakTape, BadBlockFailsTheReception) {
  TMazakExchange x(kMazakT32, false);
  TMazakStep s = x.Step(kMazakWriteBlock, false);
  EXPECT_EQ(s.Answer, "P9401");
  EXPECT_FALSE(s.StoreBlock);
  EXPECT_TRUE(s.Failed);
  EXPECT_TRUE(s.End);
}

TEST(MazakTape, SendingAnswers) {
  for (int t : {kMazakM2, kMazakT32, kMazakM32, kMazakTPlus, kMazakMPlus}) {
    const bool m2 = t == kMazakM2;
    const std::string ok = m2 ? "p00" : "p04";
    TMazakExchange x(t, true);
    struct Row {
      int code;
      std::string answer;
    } rows[] = {{kMazakWriteBlock, "p9401"}, {kMazakReadStatus, "q04"}, {kMazakWriteEmpty, ok},
                {kMazakLoadPoint, ok},       {kMazakLoadDelete, ok},    {kMazakDeleteRec, "p04"},
                {kMazakWriteMark, "p04"},    {kMazakSkipBlock, "p04"},  {-1, "p04"}};
    for (auto& r : rows) {
      TMazakStep s = x.Step(r.code);
      EXPECT_EQ(s.Answer, r.answer) << t << " " << r.code;
      EXPECT_TRUE(s.Eot);
    }
    TMazakStep read = x.Step(kMazakReadBlock);
    EXPECT_EQ(read.Answer, ok);
    EXPECT_FALSE(read.Eot);
    EXPECT_TRUE(read.SendBlock);
    TMazakStep search = x.Step(kMazakSearch);
    EXPECT_EQ(search.Answer, m2 ? "p02" : "p06");
    EXPECT_EQ(search.PauseMs, 1000);
    const int rewindsToEnd = m2 ? 3 : 2;
    for (int i = 1; i < rewindsToEnd; ++i) {
      TMazakStep r = x.Step(kMazakRewind);
      EXPECT_FALSE(r.End);
      EXPECT_EQ(r.PauseMs, 500);
      EXPECT_EQ(r.Answer, ok);
    }
    TMazakStep end = x.Step(kMazakRewind);
    EXPECT_TRUE(end.End);
    EXPECT_EQ(end.PauseMs, 0);
  }
}

// Which counts a status resets while sending decides where a search looks.
TEST(MazakTape, SendingStatusAndSearch) {
  struct Case {
    int type;
    int searchAfterStatus;
  } cases[] = {{kMazakT32, 0}, {kMazakM32, 0}, {kMazakTPlus, 1}, {kMazakMPlus, 1}, {kMazakM2, 0}};
  for (auto& c : cases) {
    TMazakExchange x(c.type, true);
    EXPECT_EQ(x.Step(kMazakSearch).Search, 0);
    x.Step(kMazakReadStatus);
    EXPECT_EQ(x.Step(kMazakSearch).Search, c.searchAfterStatus) << c.type;
  }
  // M2's status keeps the rewinds: three in all end the exchange.
  TMazakExchange m2(kMazakM2, true);
  m2.Step(kMazakRewind);
  m2.Step(kMazakReadStatus);
  m2.Step(kMazakRewind);
  EXPECT_TRUE(m2.Step(kMazakRewind).End);
  // T32's status starts the rewinds again.
  TMazakExchange t32(kMazakT32, true);
  t32.Step(kMazakRewind);
  t32.Step(kMazakReadStatus);
  EXPECT_FALSE(t32.Step(kMazakRewind).End);
}

TEST(MazakTape, TelegramCompletion) {
  struct Case {
    int type;
    bool sending;
    std::string bytes;
    bool complete;
    std::string kept;
  } cases[] = {
      {kMazakT32, false, "q" + kEot, true, "q" + kEot},
      {kMazakT32, false, "q", false, "q"},
      {kMazakT32, true, "q" + kEot, true, "q" + kEot},
      {kMazakM2, false, "x", false, ""},
      {kMazakM2, false, "q" + kEot, true, "q" + kEot},
      {kMazakM2, true, "q" + kEot, false, "q" + kEot},
      {kMazakM2, true, "q" + kEot + "8", true, "q" + kEot + "8"},
      {kMazakM2, true, "q" + kEot + "C", true, "q" + kEot + "C"},
      {kMazakM2, true, "q" + kEot + kEot, true, "q" + kEot + kEot},
      {kMazakM2, true, "q" + kEot + kStx, true, "q" + kEot},
      {kMazakM2, true, "q" + kEot + "x", false, "q" + kEot + "x"},
      {kMazakM2, true, kEot, false, kEot},
  };
  for (auto& c : cases) {
    std::string t = c.bytes;
    EXPECT_EQ(MazakTelegramComplete(c.type, c.sending, t), c.complete) << c.type << " " << c.bytes;
    EXPECT_EQ(t, c.kept);
  }
}

}  // namespace
