// What a Mazak port does with damaged telegrams and a control that stops:
// a block that came with the wrong command or holds a line end is refused,
// a control that falls silent or sends bytes without end ends the
// exchange, and the part of a tape that came is kept as a failed transfer.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "formats/mazak_tape.h"
#include "dnc/mazak_threads.h"
#include "platform/sync.h"
#include "tests/dnc/dnc_fixture.h"
#include "tests/sim/mazak_sim.h"

namespace {

const std::string kEot(1, kMazakEot);

std::string Block(const std::string& command, const std::string& data) {
  return command + kMazakStx + data + kMazakEtx + MazakCheckText(data) + kMazakEot;
}

TEST(MazakReceivedTelegram, BlocksAreTakenOnlyWhole) {
  const struct {
    std::string telegram;
    int code;
    bool ok;
    std::string data;
  } cases[] = {
      {Block("p1", "30001234"), kMazakWriteBlock, true, "30001234"},
      {"q" + kEot, kMazakReadStatus, true, ""},
      {"pA" + kEot, kMazakRewind, true, ""},
      // Noise turned the write into another command: the block is no
      // longer written, so the telegram is damaged.
      {Block("p3", "30001234"), kMazakDeleteRec, false, ""},
      {Block("p", "G1X1"), kMazakWriteEmpty, false, ""},
      {Block("pq", "G1X1"), kMazakReadStatus, false, ""},
      // Right checks, but the tape image keeps a block as one line.
      {Block("p1", "G1\nX1"), kMazakWriteBlock, false, ""},
      {Block("p1", "G1\rX1"), kMazakWriteBlock, false, ""},
      {Block("p1", std::string("G1\0X1", 5)), kMazakWriteBlock, false, ""},
      {"p1" + std::string(1, kMazakStx) + "G1" + kMazakEtx + "00" + kEot, kMazakWriteBlock, false, ""},
  };
  for (const auto& c : cases) {
    const TMazakReceived r = MazakReceivedTelegram(c.telegram);
    EXPECT_EQ(r.Code, c.code) << c.telegram;
    EXPECT_EQ(r.BlockOk, c.ok) << c.telegram;
    EXPECT_EQ(r.Data, c.data) << c.telegram;
  }
  // A damaged telegram is answered with the error code, whatever command
  // it seems to carry, and ends the exchange.
  for (int code : std::initializer_list<int>{kMazakWriteBlock, kMazakDeleteRec, kMazakReadStatus, -1}) {
    TMazakExchange e(kMazakT32, false);
    const TMazakStep s = e.Step(code, false);
    EXPECT_EQ(s.Answer, "P9401");
    EXPECT_TRUE(s.Failed && s.End);
    EXPECT_FALSE(s.StoreBlock);
  }
}

class MazakDamageTest : public kvdnc::DncTest {
 protected:
  void SetUp() override {
    DncTest::SetUp();
    plat::set_time_scale(0.01);
  }
  void TearDown() override {
    plat::set_time_scale(1.0);
    DncTest::TearDown();
  }
  // The time-out defaults to a second at the test's time scale: the
  // control's first telegram may come late on a loaded machine.
  std::unique_ptr<TDncPort> Port(sim::Machine& m, long timeout = 100) {
    auto* row = Row(1, m.com(), kProtoMazak);
    row->SetListA(kPropMazakType, kMazakT32);
    row->Number[kPropReadTimeout] = timeout;
    auto port = std::make_unique<TDncPort>(row);
    EXPECT_TRUE(port->OpenResult);
    return port;
  }
  std::size_t RowCount(const char* table) { return Rows(DbPath(table)).size(); }
};

// The control stops in the middle of a tape: the exchange ends after the
// port's time-out, the blocks that came are a failed transfer, and the
// port goes back to polling.
TEST_F(MazakDamageTest, SilentControlLeavesAFailedTransfer) {
  sim::Machine m(41);
  ASSERT_TRUE(m.ok());
  auto port = Port(m);
  sim::MazakControl control(m, kMazakT32);
  std::thread t(MazakReceiveThread, port.get());
  EXPECT_EQ(control.WriteBlock("30001A2B0000"), "p00" + kEot);
  EXPECT_EQ(control.WriteBlock("G1_X10_Y20_Z30"), "p00" + kEot);
  m.Send("p1" + std::string(1, kMazakStx) + "G1");  // and nothing more
  t.join();
  EXPECT_EQ(port->TakeRequest(), kRequestPoll);
  ASSERT_EQ(RowCount("KELVDNCF.DBF"), 1u);
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
  const std::string image = "_30001A2B0000_" + MazakCheckText("30001A2B0000") + "_\r\n_G1_X10_Y20_Z30_" +
                            MazakCheckText("G1_X10_Y20_Z30") + "_\r\n";
  EXPECT_EQ(kvdb::ReadFileBytes(Root() + "/dncfail/" + Rows(DbPath("KELVDNCF.DBF"))[0][4] + ".NC"), image);
}

// A port without a read time-out of its own gives the control two
// minutes, while the line ends each of its reads empty after ten seconds:
// the control's silence counts on across those reads, and the exchange
// ends with what came kept as failed.
TEST_F(MazakDamageTest, SilenceCountsAcrossEmptyReads) {
  sim::Machine m(44);
  ASSERT_TRUE(m.ok());
  auto port = Port(m, 0);
  sim::MazakControl control(m, kMazakT32);
  std::promise<void> ended;
  std::future<void> end = ended.get_future();
  std::thread t([&] {
    MazakReceiveThread(port.get());
    ended.set_value();
  });
  EXPECT_EQ(control.WriteBlock("30001A2B0000"), "p00" + kEot);
  EXPECT_EQ(control.WriteBlock("G1_X10_Y20_Z30"), "p00" + kEot);  // and nothing more
  // Far beyond the 1.2 s the silence takes at the test's time scale.
  const bool done = end.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
  EXPECT_TRUE(done) << "the port waits for a silent control without end";
  if (!done) port->StopEvent.set();
  t.join();
  if (!done) return;
  EXPECT_EQ(port->TakeRequest(), kRequestPoll);
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 1u);
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
}

// A line so slow that each answer takes longer to leave the port than the
// port's time-out: the control cannot reply before it has the answer, so
// its silence counts only from then. The tape comes whole, nothing is kept
// as a failed transfer.
TEST_F(MazakDamageTest, SlowAnswerIsNoSilentControl) {
  sim::UartLines uart(25);  // four bytes take 1.6 s on the line
  sim::Machine m(44);
  ASSERT_TRUE(m.ok());
  // 1.2 s at the test's time scale: room for a control slowed by a loaded
  // machine or a sanitizer to reply.
  auto port = Port(m, 120);
  sim::MazakControl control(m, kMazakT32);
  std::thread t(MazakReceiveThread, port.get());
  // A port that gave up leaves the control without answers: the first
  // wrong one ends the tape.
  const std::string ack = "p00" + kEot;
  bool whole = control.WriteBlock("30001A2B0000") == ack;
  whole = whole && control.WriteBlock("G1_X10") == ack;
  whole = whole && control.Command("p2") == "p02" + kEot;
  whole = whole && control.Command("pA") == ack;
  whole = whole && control.Command("pA") == ack;
  EXPECT_TRUE(whole) << "an answer went missing";
  if (!whole) port->StopEvent.set();
  t.join();
  EXPECT_EQ(port->TakeRequest(), kRequestParse);
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 0u) << "a whole tape was kept as a failed transfer";
}

// Noise without an EOT: the port does not collect it without end; the
// control is told the tape failed.
TEST_F(MazakDamageTest, TelegramWithoutEndIsRefused) {
  sim::Machine m(42);
  ASSERT_TRUE(m.ok());
  auto port = Port(m);
  std::thread t(MazakReceiveThread, port.get());
  m.Send(std::string(kMazakLongestTelegram + 10, '5'));
  // The port takes the bytes one by one: a loaded machine may need some
  // seconds before it answers.
  std::string answer;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (answer.find(kEot) == std::string::npos && std::chrono::steady_clock::now() < end) answer += m.Received(100);
  EXPECT_EQ(answer.substr(0, 6), "P9401" + kEot);
  t.join();
  EXPECT_EQ(port->TakeRequest(), kRequestPoll);
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
}

// A block whose write command noise changed is refused, not dropped with
// an acknowledge; nothing is filed.
TEST_F(MazakDamageTest, BlockWithAnotherCommandIsRefused) {
  sim::Machine m(43);
  ASSERT_TRUE(m.ok());
  auto port = Port(m);
  sim::MazakControl control(m, kMazakT32);
  std::thread t(MazakReceiveThread, port.get());
  EXPECT_EQ(control.WriteBlock("30001A2B0000"), "p00" + kEot);
  m.Send(Block("p3", "G1_X10"));
  EXPECT_EQ(control.Rest(2000).substr(0, 6), "P9401" + kEot);
  t.join();
  EXPECT_EQ(port->TakeRequest(), kRequestPoll);
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
}

}  // namespace
