// The raw ASCII protocol end to end over a pseudo-terminal: receptions
// are kept byte for byte as failed transfers, programs go out as their
// files' bytes between the start and end texts.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "dnc/raw_ascii.h"
#include "tests/dnc/protocol_server.h"
#include "tests/sim/machine_sim.h"

namespace {

class RawAsciiTest : public kvdnc::ProtocolServerTest {
 protected:
  void Start(const Adjust& adjust = {}) {
    OnePort(
        kProtoRaw,
        [](TMultiDncRecord& r) {
          r.SetText(kPropBeforeFile, "2*37,13,10");
          r.SetText(kPropAfterFile, "37");
          // Neither triggers nor line ends of the row touch a raw reception.
          r.SetText(kPropStartTrigger, "37");
          r.SetText(kPropReceiveLineEnd, "13,10");
          r.SetText(kPropRemoveList, "32");
        },
        adjust);
    StartServer();
  }
  void SendFromWindow(long id) {
    Ports[0]->SendProgramId = id;
    CurrentPortIndex = 0;
    SetDncEvent(kSendRequest);
  }
};

TEST_F(RawAsciiTest, ReceptionsAreKeptByteForByteFromTwentyBytesOn) {
  sim::Machine m(kCom);
  Start();
  m.Send("0123456789");  // ten bytes: noise on the line
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // read, parsed, polling again
  ASSERT_TRUE(Polling());
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 0u);

  std::string data = "% N1 G1 X1\r\n";
  data += std::string("\0\x13\x11\xff\xa7", 5) + "\rM30 \n%";
  for (int i = 0; i < 300; i++) data += static_cast<char>(i);  // every byte value
  m.Send(data);
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 1; }));
  EXPECT_EQ(FailedBytes(), data);
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u) << "a raw port stores no program itself";
  EXPECT_TRUE(Polling());
}

TEST_F(RawAsciiTest, ProgramGoesOutAsItsFileBetweenStartAndEndText) {
  sim::Machine m(kCom);
  std::string program;
  for (int i = 0; program.size() < 300; i++) program += "N" + std::to_string(i) + " G1 X1\n";
  program.resize(300);
  program[10] = '\0';
  program[20] = '\xa7';
  AddProgram(100, "PROG7", program);
  Start();
  SendFromWindow(100);
  const std::string expected = "%%\r\n" + program + "%";
  ASSERT_EQ(Collect(m, expected.size()), expected);
  EXPECT_EQ(m.Received(50), "");
  ASSERT_TRUE(WaitFor([&] { return SentCount(100) == 1; }));
  EXPECT_TRUE(Polling());
}

}  // namespace
