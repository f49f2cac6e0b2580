// A Mazak control asking the running server for a program it does not
// have, over and over, on a line that takes its time as a UART's does:
// every telegram of every exchange is answered, the second rewind's "p00"
// included, though the port goes back to polling while that answer is
// still on its way, and whenever the control gets round to reading it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "formats/mazak_tape.h"
#include "tests/dnc/dnc_fixture.h"
#include "tests/sim/mazak_sim.h"

namespace {

const std::string kEot(1, kMazakEot);
constexpr int kCom = 38;

class MazakRequestTest : public kvdnc::DncServerTest {
 protected:
  MazakRequestTest() : DncServerTest(kCom, 0.01) {}

  // The port polls again once its send request can reach it, which is
  // after it cleared the line for the next exchange.
  static bool PollingAfresh() {
    return WaitFor([] { return PortCount == 1 && Ports[0] && Ports[0]->SendRequestOpen(); });
  }
  // A T32 port whose reserved number 4 marks a request.
  void RequestPort() {
    OnePort(kProtoMazak, {}, [](TMultiDncRecord& r) {
      r.SetListA(kPropMazakType, kMazakT32);
      r.SetListA(kPropReservedNumber, 4);
      // A second at the test's time scale: a loaded machine may be slow to
      // let the control reply.
      r.Number[kPropReadTimeout] = 100;
    });
  }
  // The request tape up to its rewind: header, a block, the name 9999.
  static void AskFor9999(sim::MazakControl& control) {
    const std::string ack = "p00" + kEot, mark = "p02" + kEot;
    ASSERT_EQ(control.WriteBlock("30000004"), ack);
    ASSERT_EQ(control.Command("p2"), mark);
    ASSERT_EQ(control.WriteBlock("x"), ack);
    ASSERT_EQ(control.Command("p2"), mark);
    ASSERT_EQ(control.WriteBlock(std::string(22, '0') + "39393939"), ack);
    ASSERT_EQ(control.Command("pA"), ack);
  }
};

// A T32 request tape (header naming the reserved number 4, a block, the
// program name 9999 in the last block) for a program the database does
// not have; the server goes back to polling after each. In every other
// round the control reads the answer to the second rewind only once the
// port polls again, as a control that is slow to read does: the answer
// must still be on the line.
TEST_F(MazakRequestTest, MissingProgramRequestIsAnsweredToTheLastRewind) {
  sim::UartLines uart(1200);  // an answer of four bytes takes 33 ms on the line
  sim::Machine m(kCom);
  ASSERT_TRUE(m.ok());
  RequestPort();
  StartServer();
  sim::MazakControl control(m, kMazakT32);
  const std::string ack = "p00" + kEot;
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_TRUE(PollingAfresh());
    ASSERT_NO_FATAL_FAILURE(AskFor9999(control));
    control.Put("pA");
    if (round % 2) {
      ASSERT_TRUE(PollingAfresh());
    }
    ASSERT_EQ(control.Answer(), ack) << "no answer to the second rewind";
  }
  ASSERT_TRUE(PollingAfresh());
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 0u) << "a request is no failed transfer";
}

// The same request while the program index cannot be read: the control
// gets the answers it gets for a missing program, and the station keeps
// the request as a failed transfer rather than dropping it unnoticed.
TEST_F(MazakRequestTest, RequestWhoseLookUpFailsIsKeptAsAFailedTransfer) {
  sim::Machine m(kCom);
  ASSERT_TRUE(m.ok());
  RequestPort();
  StartServer();
  AddProgram(9999, "9999", "%\r\nG1 X1\r\nM30\r\n%");
  const std::string index = DbPath("KELVFILE.DBF");
  std::filesystem::rename(index, index + ".away");
  sim::MazakControl control(m, kMazakT32);
  ASSERT_TRUE(PollingAfresh());
  ASSERT_NO_FATAL_FAILURE(AskFor9999(control));
  control.Put("pA");
  EXPECT_EQ(control.Answer(), "p00" + kEot);
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 1; }));
  ASSERT_TRUE(PollingAfresh());
  std::filesystem::rename(index + ".away", index);
}

}  // namespace
