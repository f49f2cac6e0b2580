// The standard RS-232 protocol end to end: the master thread with its
// real poll, read, parse and write threads against machines simulated on
// pseudo-terminals. Time runs a hundred times faster, so a reception ends
// after a short quiet line.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "dnc/dnclog.h"
#include "dnc/rs232.h"
#include "dnc_fixture.h"
#include "tests/sim/machine_sim.h"

namespace {

const std::string kProgram = "%\r\n(PROG7)\r\nG1 X10\r\nM30\r\n%";

class Rs232Test : public kvdnc::DncServerTest {
 protected:
  Rs232Test() : DncServerTest(11, 0.01) {}

  // One port on COM 11 with the standard texts; adjust changes the row
  // further.
  void OnePort(const Adjust& adjust = {}) { DncServerTest::OnePort(kProtoStandard, StandardTexts, adjust); }
  // A program of the machine in the index, as a reception would leave it.
  void StoreProgram(sim::Machine& m, const std::string& text) {
    const std::size_t before = RowCount("KELVFILE.DBF");
    m.Send(text);
    ASSERT_TRUE(WaitFor([&] { return RowCount("KELVFILE.DBF") == before + 1; }));
    ASSERT_TRUE(Polling());
  }
  void HoldAndRelease(long baud, int lines, std::size_t before, int wait_ms);
};

TEST_F(Rs232Test, ReceivedProgramIsStoredByteForByte) {
  sim::Machine m(11);
  OnePort();
  StartServer();
  m.Send(kProgram);
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVFILE.DBF") == 1; }));
  auto rows = Rows(DbPath("KELVFILE.DBF"));
  EXPECT_EQ(kvdb::ReadFileBytes(Native(Root() + "/mach1\\P3.NC")), kProgram);
  EXPECT_TRUE(Polling());
  EXPECT_TRUE(view_.Saw(6));
  EXPECT_TRUE(view_.Saw(10));
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 0u);
}

TEST_F(Rs232Test, RequestedProgramIsSentWithStartTextLineEndsAndEndText) {
  sim::Machine m(11);
  OnePort();
  StartServer();
  StoreProgram(m, kProgram);
  m.Send("R PROG7/\r\n");
  const std::string expected = "%\r\n%\r\n(PROG7)\r\nG1 X10\r\nM30\r\n%\r\n%";
  EXPECT_EQ(Collect(m, expected.size()), expected);
  EXPECT_EQ(m.Received(50), "") << "nothing after the end text";
  ASSERT_TRUE(WaitFor([&] { return SentCount(3) == 1; }));
  EXPECT_TRUE(view_.Saw(11));
  EXPECT_EQ(LogTypes().back(), "1");
  EXPECT_TRUE(Polling());
}

TEST_F(Rs232Test, UnrecognisedTextIsKeptAsFailed) {
  sim::Machine m(11);
  OnePort();
  StartServer();
  m.Send("this is neither a program nor a request\r\n");
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 1; }));
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
  EXPECT_TRUE(Polling());
}

TEST_F(Rs232Test, CancelDuringReadDropsTheReception) {
  sim::Machine m(11);
  OnePort([](TMultiDncRecord& r) { r.Number[kPropReadTimeout] = 200; });  // reads end by the gap only
  StartServer();
  plat::set_time_scale(0.05);  // a line gap of half a second: a busy machine keeps the trickle going
  sim::Trickle t(m);
  ASSERT_TRUE(WaitFor([] { return Ports[0]->CancelOpen() && Ports[0]->BytesReceived > 20; }));
  t.Stop();  // what comes after the cancel would be a reception of its own
  ASSERT_TRUE(Ports[0]->SignalCancel());
  ASSERT_TRUE(WaitFor([&] { return view_.Saw(4); }));
  ASSERT_TRUE(Polling());
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 0u);
}

TEST_F(Rs232Test, ServerStopDuringReadKeepsThePartAsFailed) {
  sim::Machine m(11);
  OnePort([](TMultiDncRecord& r) { r.Number[kPropReadTimeout] = 200; });  // reads end by the gap only
  StartServer();
  plat::set_time_scale(0.05);  // a line gap of half a second: a busy machine keeps the trickle going
  sim::Trickle t(m);
  ASSERT_TRUE(WaitFor([] { return Ports[0]->BytesReceived > 40; }));
  StopServer();
  t.Stop();
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u) << "a cut reception is no program";
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 1u);
}

// A program of many lines, long enough to be held half-way.
std::string LongProgram(int lines) {
  std::string p = "%\r\n(PROG7)\r\n";
  for (int i = 0; i < lines; i++) p += "N" + std::to_string(i) + " G1 X" + std::to_string(i) + " Y1.5 F200\r\n";
  return p + "M30\r\n%";
}

// A request for a program of `lines` lines at the baud index, held by
// XOFF once `before` bytes came and released after a while: status 36
// shows within wait_ms, nothing goes out while held, and the whole
// program arrives and counts as sent.
void Rs232Test::HoldAndRelease(long baud, int lines, std::size_t before, int wait_ms) {
  sim::Machine m(11);
  OnePort([baud](TMultiDncRecord& r) { r.Number[kPropBaud] = baud; });
  StartServer();
  const std::string program = LongProgram(lines);
  StoreProgram(m, program);
  m.Send("R PROG7/\r\n");
  std::string got = Collect(m, before);
  m.Send("\x13");
  got += m.Received(50);  // what was under way when the XOFF left
  ASSERT_TRUE(WaitFor([&] { return view_.Saw(36); }, wait_ms));
  EXPECT_EQ(m.Received(300), "") << "nothing is sent while held";
  m.Send("\x11");
  const std::string expected = Framed(program);
  got += Collect(m, expected.size() - got.size());
  EXPECT_EQ(got, expected);
  ASSERT_TRUE(WaitFor([&] { return SentCount(3) == 1; }));
}

TEST_F(Rs232Test, XoffHoldsTheSendAndXonResumesItWithoutLoss) {
  HoldAndRelease(12, 300, 500, 20000);  // 9600: the send takes a while
}

TEST_F(Rs232Test, HoldInTheMiddleOfABlockShowsLongBeforeTheWriteTimesOut) {
  // 115200: blocks of half a second, the XOFF comes inside the first; the
  // held block's write would end by its time-out only after some seconds.
  HoldAndRelease(16, 600, 1000, 3000);
}

TEST_F(Rs232Test, BreakCountEndsTheSendAsCancelled) {
  sim::Machine m(11);
  OnePort([](TMultiDncRecord& r) {
    r.Number[kPropBaud] = 12;
    r.Number[kPropBreakCount] = 10;
  });
  StartServer();
  StoreProgram(m, LongProgram(300));
  m.Send("R PROG7/\r\n");
  Collect(m, 200);
  m.Send("\x13" "0123456789ABCDEF");  // held, and more than ten bytes back
  ASSERT_TRUE(WaitFor([&] {
    auto t = LogTypes();
    return !t.empty() && t.back() == "2";
  }));
  EXPECT_TRUE(Polling());
  EXPECT_EQ(SentCount(3), 0) << "a send that did not end is no send";
}

TEST_F(Rs232Test, Dc2IsAwaitedAndAnsweredWithDc4) {
  sim::Machine m(11);
  OnePort([](TMultiDncRecord& r) {
    r.Number[kPropWaitDc2] = 1;
    r.Number[kPropAnswerDc4] = 1;
  });
  StartServer();
  StoreProgram(m, kProgram);
  m.Send("R PROG7/\r\n");
  // Only the write thread sets a total; its cancel event opens after that.
  // A DC2 sent while the read thread still runs would be read as text.
  ASSERT_TRUE(WaitFor([] {
    return Ports[0]->BytesTotal > 0 && Ports[0]->CancelOpen() && Ports[0]->Polling == 0;
  }));
  EXPECT_EQ(m.Received(200), "") << "nothing before the DC2";
  m.Send("\x12");
  const std::string expected = "\x14%\r\n%\r\n(PROG7)\r\nG1 X10\r\nM30\r\n%\r\n%";
  EXPECT_EQ(Collect(m, expected.size()), expected);
}

TEST_F(Rs232Test, ProgramCheckStoresGoodNumberingAndFlashesDtrOnBad) {
  sim::DtrRecorder dtr;
  sim::Machine m(11);
  OnePort([](TMultiDncRecord& r) {
    r.SetListA(kPropProtocol, kProtoStandardCheck);
    r.Number[kPropBreakCount] = 10;  // first block
    r.Number[kPropXoffLimit] = 10;   // increment
    r.Number[kPropBlockLetter] = 1;
    r.Number[kPropFlashCount] = 2;
  });
  StartServer();
  const std::string good = "N10 (PROG7)\r\nN20 G1 X1\r\nN30 M30\r\n";
  m.Send(good);
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVFILE.DBF") == 1; }));
  EXPECT_EQ(kvdb::ReadFileBytes(Native(Root() + "/mach1\\P3.NC")), good);
  ASSERT_TRUE(Polling());
  dtr.Clear();

  m.Send("N10 (PROG8)\r\nN20 G1 X1\r\nN25 M30\r\n");
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 1; }));
  EXPECT_EQ(dtr.Changes(), "-+-+-+-++") << "two double flashes, DTR left on";
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 1u);
  EXPECT_TRUE(Polling());

  // A request passes the check when its line is numbered too.
  m.Send("N10 R PROG7/\r\n");
  const std::string expected = "%\r\n" + good.substr(0, good.size() - 2) + "\r\n%";
  EXPECT_EQ(Collect(m, expected.size()), expected);
}

TEST_F(Rs232Test, LinesSentByTheRulesOfThePort) {
  const std::string program = "%\r\n(PROG7)\r\nG1 X1\r\n  (NOTE)\r\nG1 X2\r\n[STOP]\r\nG9\r\n[START]\r\nG1 X3\r\nM30\r\n%";
  const struct {
    const char* name;
    std::function<void(TMultiDncRecord&)> adjust;
    bool operatorSend;
    std::string expected;
  } cases[] = {
      {"plain", {}, false, "%\r\n%\r\n(PROG7)\r\nG1 X1\r\n  (NOTE)\r\nG1 X2\r\nG1 X3\r\nM30\r\n%\r\n%"},
      {"skip occurrence 2",
       [](TMultiDncRecord& r) {
         std::strcpy(r.Short156, "G1");
         r.Number[kPropSkipOccurrence] = 2;
       },
       false, "%\r\n%\r\n(PROG7)\r\nG1 X1\r\n  (NOTE)\r\nG1 X3\r\nM30\r\n%\r\n%"},
      {"omit prefix after blanks", [](TMultiDncRecord& r) { r.SetText(kPropOmitCodes, "40"); }, false,
       "%\r\n%\r\nG1 X1\r\nG1 X2\r\nG1 X3\r\nM30\r\n%\r\n%"},
      {"line end and no start text",
       [](TMultiDncRecord& r) {
         r.SetText(kPropLineEnd, "10");
         r.SetText(kPropBeforeFile, "");
       },
       false, "%\n(PROG7)\nG1 X1\n  (NOTE)\nG1 X2\nG1 X3\nM30\n%\n%"},
      {"block delay: line by line", [](TMultiDncRecord& r) { r.Number[kPropBlockDelay] = 50; }, false,
       "%\r\n%\r\n(PROG7)\r\nG1 X1\r\n  (NOTE)\r\nG1 X2\r\nG1 X3\r\nM30\r\n%\r\n%"},
      {"operator send in naming mode 3", [](TMultiDncRecord& r) { r.Number[kPropNamingMode] = 3; }, true,
       std::string("%\r\n$PROG7.MIN") + '\0' +
           "%\r\n(PROG7)\r\nG1 X1\r\n  (NOTE)\r\nG1 X2\r\nG1 X3\r\nM30\r\n%\r\n%"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Machine m(11);
    OnePort(c.adjust);
    StartServer();
    if (RowCount("KELVFILE.DBF") == 0) StoreProgram(m, program);
    if (c.operatorSend) {
      Ports[0]->SendProgramId = 3;
      CurrentPortIndex = 0;
      SetDncEvent(kSendRequest);
    } else {
      m.Send("R PROG7/\r\n");
    }
    EXPECT_EQ(Collect(m, c.expected.size()), c.expected);
    ASSERT_TRUE(Polling());
    StopServer();
  }
  EXPECT_EQ(SentCount(3), 6);
}

TEST_F(Rs232Test, ShortLinesGoTogetherAndLongLinesWhole) {
  sim::Machine m(11);
  OnePort();
  StartServer();
  std::string program = "%\r\n(PROG7)\r\n";
  for (int i = 0; i < 60; i++) program += "N" + std::to_string(i) + " G1 X1\r\n";
  program += std::string(2500, 'X') + "\r\n";
  for (int i = 0; i < 60; i++) program += "N" + std::to_string(i) + " G1 Y1\r\n";
  program += "M30\r\n%";
  StoreProgram(m, program);
  m.Send("R PROG7/\r\n");
  const std::string expected = Framed(program);
  EXPECT_EQ(Collect(m, expected.size()), expected);
  EXPECT_EQ(m.Received(100), "");
  ASSERT_TRUE(WaitFor([&] { return SentCount(3) == 1; }));
}

TEST_F(Rs232Test, StopWithoutStartEndsTheProgramButSendsTheEndText) {
  sim::Machine m(11);
  OnePort();
  StartServer();
  StoreProgram(m, "%\r\n(PROG7)\r\nG1 X1\r\n[STOP] here\r\nG1 X2\r\nM30\r\n%");
  m.Send("R PROG7/\r\n");
  const std::string expected = "%\r\n%\r\n(PROG7)\r\nG1 X1\r\n%";
  EXPECT_EQ(Collect(m, expected.size()), expected);
  EXPECT_EQ(m.Received(100), "");
}

TEST_F(Rs232Test, DelayedSendPausesOnTheWaitTextAfterItsFirstOccurrence) {
  sim::Machine m(11);
  OnePort([](TMultiDncRecord& r) {
    r.SetListA(kPropProtocol, kProtoStandardDelay);
    r.SetText(kPropWaitText, "M0");
    r.Number[kPropPauseSeconds] = 50;  // half a second at test speed
    r.Number[kPropEndBeforePause] = 1;
    r.Number[kPropStartAfterPause] = 1;
  });
  StartServer();
  StoreProgram(m, "%\r\n(PROG7)\r\nG1\r\nM0\r\nG2\r\nM0\r\nM30\r\n%");
  m.Send("R PROG7/\r\n");
  const std::string before = "%\r\n%\r\n(PROG7)\r\nG1\r\nM0\r\nG2\r\n%";
  EXPECT_EQ(Collect(m, before.size()), before);
  EXPECT_EQ(m.Received(200), "") << "the pause";
  const std::string after = "%\r\nM0\r\nM30\r\n%\r\n%";
  EXPECT_EQ(Collect(m, after.size()), after);
  ASSERT_TRUE(WaitFor([&] { return SentCount(3) == 1; }));
}

}  // namespace
