// Converted tapes sent by the Mazak tape emulation to the control side of
// the machine simulator over a pseudo-terminal: the control reads every
// block of the tape in order, byte for byte, CR, LF and NUL included.
#include <cstring>
#include <random>
#include <thread>

#include "dbtools/tape_conversions.h"
#include "formats/mazak_tape.h"
#include "dnc/mazak_threads.h"
#include "tests/support/tape_text.h"
#include "tests/dnc/dnc_fixture.h"
#include "tests/sim/mazak_sim.h"

namespace {

class TapeSendTest : public kvdnc::DncTest {
 protected:
  void SetUp() override {
    DncTest::SetUp();
    plat::set_time_scale(0.01);  // the protocol's pauses, a hundred times faster
  }
  void TearDown() override {
    plat::set_time_scale(1.0);
    DncTest::TearDown();
  }
  // A T32 port sending the program file at path.
  std::unique_ptr<TDncPort> Port(sim::Machine& m, const std::string& path) {
    auto* row = Row(1, m.com(), kProtoMazak);
    row->SetListA(kPropMazakType, kMazakT32);
    row->SetListB(kPropFileMode, 1);
    row->SetText(kPropFirstDirectory, (Root() + "/files").c_str());
    auto port = std::make_unique<TDncPort>(row);
    EXPECT_TRUE(port->OpenResult);
    port->ProgramPath = std::make_unique<char[]>(path.size() + 1);
    std::memcpy(port->ProgramPath.get(), path.c_str(), path.size() + 1);
    return port;
  }
};

// A block of random bytes the line can frame: STX, ETX and EOT (and the
// flow-control bytes) never stand in a tape block.
std::string RandomBlock(std::mt19937& rng) {
  std::string block;
  while (block.size() < 128) {
    unsigned char c = static_cast<unsigned char>(rng());
    if (c == 0x02 || c == 0x03 || c == 0x04 || c == 0x11 || c == 0x13) continue;
    block += static_cast<char>(c);
  }
  return block;
}

TEST_F(TapeSendTest, ConvertedRandomTapesReachTheControlBlockForBlock) {
  std::mt19937 rng(7141);
  const std::string stx(1, kMazakStx), etx(1, kMazakEtx), eot(1, kMazakEot);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::string> blocks;
    for (int b = 0; b < 6; ++b) blocks.push_back(b % 2 ? RandomBlock(rng) : kvtape::Block("N" + std::to_string(b) + " G1"));
    blocks[0].replace(0, 4, "1100");
    blocks[1][7] = '\r';
    blocks[3][64] = '\n';
    blocks[5][0] = '\0';
    const std::string source = Root() + "/files/T" + std::to_string(round) + ".TAP";
    kvdb::WriteFileBytes(source, kvtape::TapeFile("LEAD", blocks));
    const std::string program = Root() + "/files/P" + std::to_string(round) + ".MZK";
    ASSERT_EQ(ConvertMazakT32Tape(source, program), TConversion::Taken);

    // What the control reads: the three headers, the blocks, the last header.
    std::vector<std::string> expected = {"3111" + std::string(7, '0') + "1" + std::string(116, '0'),
                                         "3000" + blocks[0].substr(14, 4) + "01" + std::string(118, '0'),
                                         "32" + std::string(126, '0')};
    expected.insert(expected.end(), blocks.begin(), blocks.end());
    expected.push_back("2" + std::string(127, '0'));

    sim::Machine m(41 + round);
    ASSERT_TRUE(m.ok());
    auto port = Port(m, program);
    sim::MazakControl control(m, kMazakT32);
    control.SetReading(true);
    std::thread sender(MazakSendThread, port.get());
    EXPECT_EQ(control.Command("q"), "q04" + eot);
    for (const std::string& payload : expected)
      EXPECT_EQ(control.Command("p4"), "p04" + stx + payload + etx + MazakCheckText(payload) + eot);
    EXPECT_EQ(control.Command("p4"), "p06" + eot);  // the end of the tape
    sender.join();
    EXPECT_EQ(port->TakeRequest(), kRequestPoll);
  }
}

}  // namespace
