// A long reception on a standard RS-232 port with XON/XOFF both ways (the
// limits of 100 the port sets) whose read thread falls behind: the disk
// under the receive file stops answering for eight seconds three times.
// The machine stops within 32 bytes of the port's XOFF; the stored
// program is the sent one, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "dnc_fixture.h"
#include "platform/file.h"
#include "tests/sim/machine_sim.h"
#include "tests/sim/paced_sender.h"

namespace {

constexpr int kCom = 12;

class ReceptionFlowTest : public kvdnc::DncServerTest {
 protected:
  // Eight seconds of stall take 160 ms, the line's ten-second gap 200 ms.
  ReceptionFlowTest() : DncServerTest(kCom, 0.02) {}
  void TearDown() override {
    plat::set_write_stalls("", {}, 0);
    DncServerTest::TearDown();
  }
};

TEST_F(ReceptionFlowTest, StallingDiskLosesNoByteOfATenMegabyteProgram) {
  sim::Machine m(kCom);
  ASSERT_TRUE(m.ok());
  OnePort(kProtoStandard, StandardTexts);
  StartServer();
  const std::string program = "%\r\n(BIG1)\r\n" + sim::LongNcText(10u << 20) + "M30\r\n%";
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  // One stall in each third of the program.
  std::vector<int64_t> stalls;
  const int64_t third = static_cast<int64_t>(program.size() - (1u << 20)) / 3;
  for (int64_t i = 0; i < 3; ++i) stalls.push_back(i * third + std::uniform_int_distribution<int64_t>(0, third - 1)(rng));
  plat::set_write_stalls("PORT*.DNC", stalls, 8000);

  sim::PacedSender machine(m, program, 2.5e6, 32, seed);
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVFILE.DBF") == 1; }, 180000)) << machine.Sent() << " bytes sent";
  ASSERT_TRUE(WaitFor([&] {
    const std::string flow = machine.Flow();
    return flow.size() % 2 == 0 && (flow.empty() || flow.back() == '+');
  }));
  machine.Stop();

  const std::string sentFile = Root() + "/sent.nc";
  kvdb::WriteFileBytes(sentFile, program);
  EXPECT_EQ(std::system(("cmp '" + sentFile + "' '" + Native(Root() + "/mach1\\P3.NC") + "'").c_str()), 0);
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 0u);
  const std::string flow = machine.Flow();
  for (std::size_t i = 0; i < flow.size(); ++i) EXPECT_EQ(flow[i], i % 2 ? '+' : '-') << i;
  // Each stall of 160 ms fills the queue at the line's rate; a machine
  // slowed by a loaded host may fill it fewer times.
  RecordProperty("xoff_xon_pairs", static_cast<int>(flow.size() / 2));
  EXPECT_GE(flow.size() / 2, 1u) << "the stalls must have stopped the machine";
  EXPECT_LE(machine.MostAfterXoff(), 32u);
}

}  // namespace
