// The Mazak threads over a pseudo-terminal against the control side of
// the machine simulator: a tape received, filed and parsed; a program sent
// when the control requests it; damaged blocks; a cancelled send.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "formats/mazak_tape.h"
#include "dnc/mazak_threads.h"
#include "platform/sync.h"
#include "tests/support/tape_text.h"
#include "tests/dnc/dnc_fixture.h"
#include "tests/sim/mazak_sim.h"

namespace {

using kvdb::ReadFileBytes;
using kvdb::WriteFileBytes;

const std::string kEot(1, kMazakEot);

class MazakExchangeTest : public kvdnc::DncTest {
 protected:
  void SetUp() override {
    DncTest::SetUp();
    // The protocol's pauses run a hundred times faster here.
    plat::set_time_scale(0.01);
  }
  void TearDown() override {
    plat::set_time_scale(1.0);
    DncTest::TearDown();
  }
  // A Mazak port in file mode, filing into and sending from files/.
  std::unique_ptr<TDncPort> Port(sim::Machine& m, int type, long reserved = 0) {
    auto* row = Row(1, m.com(), kProtoMazak);
    row->SetListA(kPropMazakType, type);
    row->SetListA(kPropReservedNumber, reserved);
    row->SetListB(kPropFileMode, 1);
    row->SetText(kPropExtension, "NC");
    row->SetText(kPropFirstDirectory, (Root() + "/files").c_str());
    auto port = std::make_unique<TDncPort>(row);
    EXPECT_TRUE(port->OpenResult);
    return port;
  }
  static std::thread Run(void (*entry)(void*), TDncPort& port) { return std::thread(entry, &port); }
};

// A T32 tape: a header naming 6699, a data block with an underscore, a
// tape mark, two rewinds.
TEST_F(MazakExchangeTest, TapeReceivedAndFiled) {
  sim::Machine m(31);
  ASSERT_TRUE(m.ok());
  auto port = Port(m, kMazakT32);
  sim::MazakControl control(m, kMazakT32);
  std::thread t = Run(MazakReceiveThread, *port);
  EXPECT_EQ(control.Command("q"), "q08" + kEot);
  EXPECT_EQ(control.Command("p8"), "p00" + kEot);
  EXPECT_EQ(control.WriteBlock("30001A2B0000"), "p00" + kEot);
  EXPECT_EQ(control.WriteBlock("G1_X10"), "p00" + kEot);
  EXPECT_EQ(control.WriteBlock("30009999"), "p00" + kEot);  // a later header names nothing
  EXPECT_EQ(control.Command("p2"), "p02" + kEot);
  EXPECT_EQ(control.Command("p4"), "P9401" + kEot);
  EXPECT_EQ(control.Command("pA"), "p00" + kEot);
  EXPECT_EQ(control.Command("pA"), "p00" + kEot);
  t.join();
  EXPECT_EQ(port->TakeRequest(), kRequestParse);
  ASSERT_STREQ(port->Requested(), "6699");
  const std::string image = "_30001A2B0000_" + MazakCheckText("30001A2B0000") + "_\r\n_G1_X10_" +
                            MazakCheckText("G1_X10") + "_\r\n_30009999_" + MazakCheckText("30009999") +
                            "_\r\n[TAPEMARK-0]";
  EXPECT_EQ(ReadFileBytes(Native(port->TransferPath)).substr(0, image.size()), image);

  std::thread p = Run(MazakParseThread, *port);
  p.join();
  EXPECT_EQ(port->TakeRequest(), kRequestPoll);
  EXPECT_EQ(ReadFileBytes(Root() + "/files/6699.NC").substr(0, image.size()), image);
}

TEST_F(MazakExchangeTest, BadCheckFailsTheReception) {
  sim::Machine m(32);
  ASSERT_TRUE(m.ok());
  auto port = Port(m, kMazakM2);
  sim::MazakControl control(m, kMazakM2);
  std::thread t = Run(MazakReceiveThread, *port);
  EXPECT_EQ(control.WriteBlock("G1X10"), "p08" + kEot);
  EXPECT_EQ(control.WriteBlock("G1X11", "00"), "P9401" + kEot);
  t.join();
  EXPECT_EQ(port->TakeRequest(), kRequestPoll);
  port->ClearRequest();
  EXPECT_FALSE(std::filesystem::exists(Root() + "/files/G1X10.NC"));
}

// A T32 request tape names 1234; the control then reads the program.
TEST_F(MazakExchangeTest, ProgramSentOnRequest) {
  sim::Machine m(33);
  ASSERT_TRUE(m.ok());
  const std::string program = "_30000004_00_\r\n[TAPEMARK-0]\r\n_A_B_00_\r\n\r\n[TAPEMARK-1]\r\n_C_00_\r\n";
  WriteFileBytes(Root() + "/files/1234.NC", program);
  auto port = Port(m, kMazakT32, 4);
  sim::MazakControl control(m, kMazakT32);
  std::thread t = Run(MazakReceiveThread, *port);
  EXPECT_EQ(control.WriteBlock("30000004"), "p00" + kEot);
  EXPECT_EQ(control.Command("p2"), "p02" + kEot);
  EXPECT_EQ(control.WriteBlock("x"), "p00" + kEot);
  EXPECT_EQ(control.Command("p2"), "p02" + kEot);
  EXPECT_EQ(control.WriteBlock(std::string(22, '0') + "31323334"), "p00" + kEot);
  EXPECT_EQ(control.Command("pA"), "p00" + kEot);
  EXPECT_EQ(control.Command("pA"), "p00" + kEot);
  t.join();
  ASSERT_EQ(port->TakeRequest(), kRequestParse);
  Run(MazakParseThread, *port).join();
  ASSERT_EQ(port->TakeRequest(), kRequestSend);
  EXPECT_EQ(std::filesystem::path(Native(port->ProgramPath.get())), std::filesystem::path(Root() + "/files/1234.NC"));

  control.SetReading(true);
  std::thread s = Run(MazakSendThread, *port);
  const std::string stx(1, kMazakStx), etx(1, kMazakEtx);
  EXPECT_EQ(control.Command("q"), "q04" + kEot);
  EXPECT_EQ(control.Command("p4"), "p04" + stx + "30000004" + etx + "00" + kEot);
  // Past the tape mark; an underscore inside the data stays data.
  EXPECT_EQ(control.Command("p4"), "p04" + stx + "A_B" + etx + "00" + kEot);
  EXPECT_EQ(control.Command("pD"), "p06" + kEot);  // TAPEMARK-0 again
  EXPECT_EQ(control.Command("p4"), "p04" + stx + "A_B" + etx + "00" + kEot);
  EXPECT_EQ(control.Command("pD"), "p06" + kEot);  // TAPEMARK-1
  EXPECT_EQ(control.Command("p4"), "p04" + stx + "C" + etx + "00" + kEot);
  EXPECT_EQ(control.Command("p4"), "p06" + kEot);  // the end of the tape
  s.join();
  EXPECT_EQ(port->TakeRequest(), kRequestPoll);
}

// A block holding CR, LF and NUL stands in the program as 256 hex digits;
// the control reads its 128 bytes.
TEST_F(MazakExchangeTest, AHexLineIsSentAsItsBlock) {
  sim::Machine m(38);
  ASSERT_TRUE(m.ok());
  std::string block(128, 'N');
  block[1] = '\r';
  block[2] = '\n';
  block[3] = '\0';
  const std::string digits = kvtape::Hex(block);
  const std::string path = Root() + "/files/HEX.MZK";
  WriteFileBytes(path, "[TAPEMARK-0]\r\n_" + digits + "_" + MazakCheckText(block) + "_\r\n_M30_" +
                           MazakCheckText("M30") + "_\r\n");
  auto port = Port(m, kMazakT32);
  port->ProgramPath = std::make_unique<char[]>(path.size() + 1);
  std::memcpy(port->ProgramPath.get(), path.c_str(), path.size() + 1);
  sim::MazakControl control(m, kMazakT32);
  control.SetReading(true);
  std::thread s = Run(MazakSendThread, *port);
  const std::string stx(1, kMazakStx), etx(1, kMazakEtx);
  EXPECT_EQ(control.Command("q"), "q04" + kEot);
  EXPECT_EQ(control.Command("p4"), "p04" + stx + block + etx + MazakCheckText(block) + kEot);
  EXPECT_EQ(control.Command("p4"), "p04" + stx + "M30" + etx + MazakCheckText("M30") + kEot);
  EXPECT_EQ(control.Command("p4"), "p06" + kEot);
  s.join();
  EXPECT_EQ(port->TakeRequest(), kRequestPoll);
}

// M2 sends "p" NUL after the last answer; the third rewind ends it.
TEST_F(MazakExchangeTest, M2SendEndsAtTheThirdRewind) {
  sim::Machine m(34);
  ASSERT_TRUE(m.ok());
  WriteFileBytes(Root() + "/files/P.NC", "_1100_00_\r\n");
  auto port = Port(m, kMazakM2);
  std::string path = Root() + "/files/P.NC";
  port->ProgramPath = std::make_unique<char[]>(path.size() + 1);
  std::memcpy(port->ProgramPath.get(), path.c_str(), path.size() + 1);
  sim::MazakControl control(m, kMazakM2);
  control.SetReading(true);
  std::thread s = Run(MazakSendThread, *port);
  EXPECT_EQ(control.Command("q"), "q04" + kEot);
  EXPECT_EQ(control.Command("pA"), "p00" + kEot);
  EXPECT_EQ(control.Command("pD"), "p02" + kEot);
  EXPECT_EQ(control.Command("pA"), "p00" + kEot);
  EXPECT_EQ(control.Command("pA"), "p00" + kEot);
  std::string rest;
  while (rest.size() < 2) rest += control.Rest(50);
  EXPECT_EQ(rest, std::string("p\0", 2));
  s.join();
  EXPECT_EQ(port->TakeRequest(), kRequestPoll);
}

TEST_F(MazakExchangeTest, PollingStartsTheReceptionAndStops) {
  sim::Machine m(35);
  ASSERT_TRUE(m.ok());
  auto port = Port(m, kMazakT2);
  std::thread t = Run(MazakPollThread, *port);
  while (!port->SendRequestOpen()) std::this_thread::yield();
  m.Send("q");
  t.join();
  EXPECT_EQ(port->TakeRequest(), kRequestReceive);
  // A stop closes the line and leaves no request; T1 has no threads.
  std::thread u = Run(MazakPollThread, *port);
  while (!port->SendRequestOpen()) std::this_thread::yield();
  port->StopEvent.set();
  u.join();
  EXPECT_EQ(port->TakeRequest(), kRequestNone);
  EXPECT_EQ(port->ComHandle, nullptr);
}

TEST_F(MazakExchangeTest, T1HasNoThreadsAndACancelledSendGoesBackToPolling) {
  sim::Machine m(36), n(37);
  ASSERT_TRUE(m.ok() && n.ok());
  auto t1 = Port(m, kMazakT1);
  Run(MazakPollThread, *t1).join();
  Run(MazakPollThread, *t1).join();
  EXPECT_EQ(t1->TakeRequest(), kRequestNone);
  EXPECT_EQ(t1->Polling, 0);

  WriteFileBytes(Root() + "/files/P.NC", "_A_00_\r\n");
  auto port = Port(n, kMazakTPlus);
  std::string path = Root() + "/files/P.NC";
  port->ProgramPath = std::make_unique<char[]>(path.size() + 1);
  std::memcpy(port->ProgramPath.get(), path.c_str(), path.size() + 1);
  std::thread s = Run(MazakSendThread, *port);
  while (!port->SignalCancel()) std::this_thread::yield();
  s.join();
  EXPECT_EQ(port->TakeRequest(), kRequestPoll);
}

}  // namespace
