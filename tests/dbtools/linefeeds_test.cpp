// Convert line feeds: a table of inputs, each cleaned as one piece, piece
// by piece through a file, and by an independent Python filter, all equal;
// the command over a directory leaves a file without "%" and a file it
// cannot read as they are, and removes its work file.
#include <gtest/gtest.h>

#include "dbtools/linefeeds.h"
#include "dbtools/maintenance.h"
#include "appcore/log_text.h"
#include "tests/dbtools/import_fixture.h"

namespace {

struct CleanCase {
  const char* name;
  std::string input;
  std::string expected;  // empty: no "%"
};

std::string Straddling() {
  // A CR LF whose CR is the last byte of the first piece.
  std::string s = "%\r\n";
  while (s.size() < kLinefeedPiece - 1) s += 'X';
  return s + "\r\nM30\r\n\r\n";
}

std::vector<CleanCase> Cases() {
  std::string straddle = Straddling();
  std::string straddleOut = straddle.substr(0, kLinefeedPiece - 1) + "\r\nM30\r\n";
  return {
      {"LoneLf", "%\nG01 X10\n\nM30\n", "%\r\nG01 X10\r\nM30\r\n"},
      {"CrLf", "%\r\nG01 X10\r\nM30\r\n", "%\r\nG01 X10\r\nM30\r\n"},
      {"LoneCr", "%\rG01\rM30\r", "%\r\nG01\r\nM30\r\n"},
      {"RunsOfEmptyLines", "%\n\n\r\n\r\rG01\n\r\n\nM30", "%\r\nG01\r\nM30"},
      {"TextBeforePercent", "HEADER\r\nO100\r\n%\r\nG01\r\n", "%\r\nG01\r\n"},
      {"Tabs", "%\r\nG01\tX10\t\r\nM30\r\n", "%\r\nG01X10\r\nM30\r\n"},
      {"HighBytes", "%\r\n(\xe4\xf6\xfc) G01\x7f\x80\xff\r\n", "%\r\n() G01\x7f\r\n"},
      {"TabBetweenLineEnds", "%\n\t\nM30\n", "%\r\n\r\nM30\r\n"},
      {"NoPercent", "G01 X10\r\nM30\r\n", ""},
      {"StraddlesThePieceEnd", straddle, straddleOut},
  };
}

class LinefeedsTest : public kvimport::ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    RegisterMaintenanceCommands();
    std::filesystem::create_directories(Native("SRC/CHOSEN"));
    plat::clear_message_box_log();
  }
  void TearDown() override {
    RegisterFrameCommand(kCmConvertLinefeeds, nullptr);
    ImportTest::TearDown();
  }
  std::string Read(const std::string& sub) { return kvtest::ScratchDir::read_file(Native(sub)); }
  std::string PeerClean(const std::string& input, int* status) {
    Write("peer.in", input);
    return kvtest::run_command("/usr/bin/python3 " KV_SOURCE_DIR "/tests/dbtools/peers/clean_linefeeds.py < '" +
                                    Native("peer.in") + "'",
                                status);
  }
};

TEST_F(LinefeedsTest, EveryWayOfCleaningGivesTheSameText) {
  for (const auto& c : Cases()) {
    SCOPED_TRACE(c.name);
    TLinefeedCleaner whole;
    std::string one;
    whole.Feed(c.input, one);
    EXPECT_EQ(whole.Started(), !c.expected.empty());
    if (!c.expected.empty()) {
      EXPECT_EQ(one, c.expected);
    }

    // Byte by byte: the state crosses every possible piece end.
    TLinefeedCleaner bytes;
    std::string many;
    for (char ch : c.input) bytes.Feed(std::string_view(&ch, 1), many);
    EXPECT_EQ(many, one);

    Write("src.nc", c.input);
    int error = 0;
    TCleanOutcome got = CleanLinefeedsInFile(Native("src.nc"), Native("out.nc"), &error);
    EXPECT_EQ(got, c.expected.empty() ? TCleanOutcome::NoPercent : TCleanOutcome::Converted);
    if (!c.expected.empty()) {
      EXPECT_EQ(Read("out.nc"), one);
    }

    int status = 0;
    std::string peer = PeerClean(c.input, &status);
    if (c.expected.empty()) {
      EXPECT_NE(status, 0);
    } else {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(peer, one);
    }
  }
}

TEST_F(LinefeedsTest, TheCommandCleansEveryFileButLeavesThoseWithoutPercent) {
  Write("SRC/CHOSEN/P1.NC", "O1\n%\nG01 X10\n\nM30\n");
  Write("SRC/CHOSEN/NOTES.TXT", "no program here\n");
  Write("SRC/CHOSEN/IMPORT.TMP", "%\nleft by an earlier run\n");
  driver.expect_message_box(IDOK);
  Run(kCmConvertLinefeeds);
  EXPECT_EQ(Read("SRC/CHOSEN/P1.NC"), "%\r\nG01 X10\r\nM30\r\n");
  EXPECT_EQ(Read("SRC/CHOSEN/NOTES.TXT"), "no program here\n");
  EXPECT_EQ(Names("SRC/CHOSEN"), (std::vector<std::string>{"NOTES.TXT", "P1.NC"}));
  auto boxes = driver.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(FormatLogValues(Globals->GetMessageText(kMsgLinefeedsSummary), {"1"})),
            std::string::npos);
  EXPECT_NE(boxes[0].text.find("NOTES.TXT"), std::string::npos) << boxes[0].text;
}

TEST_F(LinefeedsTest, AFileThatCannotBeReadIsListedAndKept) {
  Write("SRC/CHOSEN/P1.NC", "%\nG01\n");
  Write("SRC/CHOSEN/P2.NC", "%\nG02\n");
  plat::set_read_fault("P2.NC", 1);
  driver.expect_message_box(IDOK);
  Run(kCmConvertLinefeeds);
  EXPECT_EQ(Read("SRC/CHOSEN/P1.NC"), "%\r\nG01\r\n");
  EXPECT_EQ(Read("SRC/CHOSEN/P2.NC"), "%\nG02\n");
  auto boxes = driver.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("P2.NC"), std::string::npos) << boxes[0].text;
}

}  // namespace
