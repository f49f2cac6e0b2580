// The DNC link's test transfers: the reception filter, and sends and
// receptions over a pseudo-terminal with the simulated machine at the far
// end. Time runs a hundred times faster: the four-second silence that
// ends a reception takes 40 ms.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "dnc/link_transfer.h"
#include "dnc_fixture.h"
#include "platform/file.h"
#include "tests/sim/machine_sim.h"

namespace {

using End = TLinkTransfer::End;
using namespace std::string_literals;
using kvdnc::DncTest;

constexpr int kCom = 31;

// A link port on the simulated machine's COM number with software flow.
std::unique_ptr<TMultiDncRecord> LinkRow(const std::function<void(TMultiDncRecord&)>& adjust = {}) {
  auto r = std::make_unique<TMultiDncRecord>();
  r->Number[kPropId] = 3;
  r->SetListA(kPropComNumber, kCom);
  r->Number[kPropBaud] = 16;
  r->Number[kPropDataBits] = 3;
  r->Number[kPropFlow] = 1;
  r->Number[kPropReadTimeout] = 5;
  r->Number[kLinkFilter] = 1;
  r->SetText(kLinkDisplayName, "Link one");
  if (adjust) adjust(*r);
  return r;
}

std::string Filtered(TMultiDncRecord& row, const std::vector<std::string>& blocks) {
  TLinkReceiveFilter f(row);
  f.Reset();
  std::string out;
  for (const std::string& b : blocks) out += f.Filter(reinterpret_cast<const unsigned char*>(b.data()), b.size());
  return out;
}

TEST(LinkFilter, ByteFiltersKeepWhatTheyShould) {
  const std::string bytes = std::string("A\xC1\r\n", 4) + std::string(1, '\0') + "\x07" + "~";
  struct Case {
    long filter;
    std::string kept;
  } cases[] = {
      {0, "\r\n"},
      {1, std::string("A\xC1\r\n\xA7\x07~", 7)},
      {2, "A\r\n~"},
      {3, std::string("A\xC1\r\n\x07~", 6)},
  };
  for (const Case& c : cases) {
    auto row = LinkRow([&](TMultiDncRecord& r) { r.Number[kLinkFilter] = c.filter; });
    EXPECT_EQ(Filtered(*row, {bytes}), c.kept) << "filter " << c.filter;
  }
}

TEST(LinkFilter, TriggersRemovalAndLineEnds) {
  struct Case {
    const char* name;
    const char* start;
    const char* end;
    const char* remove;
    const char* lineEnd;
    std::vector<std::string> blocks;
    std::string kept;
  } cases[] = {
      // The '%' that starts the reception in the first block does not end it.
      {"same start and end", "37", "37", "", "", {"xx%\r\nO1\r\n", "G1\r\n%\r\nM30"}, "%\r\nO1\r\nG1\r\n%"},
      {"end in the first block is kept", "37", "37", "", "", {"%O1%G1"}, "%O1%G1"},
      {"a block without the start is dropped", "37", "", "", "", {"noise\r\n", "..%O1"}, "%O1"},
      {"a start in a later block does not end it", "37", "37", "", "", {"noise", "..%O1%rest", "more"}, "%O1%"},
      {"nothing after the end", "", "69", "", "", {"O1", "G1E", "more"}, "O1G1E"},
      {"removal list", "", "", "32,9", "", {"G1 X\t10\r\n"}, "G1X10\r\n"},
      // The first byte of the sequence becomes CR LF; the rest of its
      // length goes whatever it is, also across blocks.
      {"line-end sequence", "", "", "", "13,10", {"G1\r\nG2\r", "\nG3\rX"}, "G1\r\nG2\r\nG3\r\n"},
      {"every byte a line end", "", "", "", "59", {std::string(3000, ';')}, [] {
         std::string s;
         for (int i = 0; i < 3000; i++) s += "\r\n";
         return s;
       }()},
  };
  for (const Case& c : cases) {
    auto row = LinkRow([&](TMultiDncRecord& r) {
      r.SetText(kLinkStartTrigger, c.start);
      r.SetText(kLinkEndTrigger, c.end);
      r.SetText(kLinkRemoveList, c.remove);
      r.SetText(kLinkReceiveLineEnd, c.lineEnd);
    });
    EXPECT_EQ(Filtered(*row, c.blocks), c.kept) << c.name;
  }
}

TEST(LinkFilter, PortLineNamesTheSettings) {
  auto row = LinkRow([](TMultiDncRecord& r) {
    r.Number[kPropParity] = 2;
    r.Number[kPropStopBits] = 1;
    r.Number[kPropDataBits] = 2;
    r.Number[kPropFlow] = 3;
  });
  EXPECT_EQ(LinkPortLine(*row), "COMM-31: 115200 baud, 7-EVEN-2 , Flow : BOTH");
  row->Number[kPropBaud] = 2;
  row->Number[kPropFlow] = 0;
  EXPECT_EQ(LinkPortLine(*row), "COMM-31: 110 baud, 7-EVEN-2 , Flow : NONE");
}

class LinkTransferTest : public DncTest {
 protected:
  void SetUp() override {
    DncTest::SetUp();
    plat::set_time_scale(0.01);
  }
  void TearDown() override {
    plat::set_write_fault("", 0);
    plat::set_time_scale(1.0);
    DncTest::TearDown();
  }

  std::string File(const std::string& name) const { return Root() + "/temp/" + name; }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(File(name), std::ios::binary) << bytes;
    return File(name);
  }
  std::string Read(const std::string& name) const { return kvdb::ReadFileBytes(File(name)); }

  // Runs the transfer on a thread of its own, as the dialog does.
  struct Running {
    std::thread thread;
    End end = End::LineError;
    ~Running() {
      if (thread.joinable()) thread.join();
    }
    End Wait() {
      thread.join();
      return end;
    }
  };
  // A send empties the line's input as it starts; a machine's answer goes
  // out once the send is past that (it has learnt the file's size), as an
  // operator presses start on a line that is ready.
  static void WaitPastPurge(const TLinkTransfer& t) {
    for (int i = 0; i < 1000 && t.FileSize == 0; i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(t.FileSize, 0u) << "the send never started";
  }
  std::unique_ptr<Running> StartSend(TLinkTransfer& t, const std::string& path, bool delay = false,
                                     bool extended = false) {
    auto r = std::make_unique<Running>();
    r->thread = std::thread([&t, path, delay, extended, run = r.get()] { run->end = t.Send(path, delay, extended); });
    return r;
  }
};

TEST_F(LinkTransferTest, ReceptionEndsWhenTheLineFallsSilentAndKeepsTheFilteredBytes) {
  sim::Machine m(kCom);
  auto row = LinkRow([](TMultiDncRecord& r) {
    r.SetText(kLinkStartTrigger, "37");
    r.SetText(kLinkEndTrigger, "37");
    r.Number[kLinkFilter] = 2;
  });
  // Blocks of eight: the end trigger is looked for after the first block,
  // and the 40 bytes fill whole blocks, so the silence after them ends
  // the reception with a read that brings nothing.
  Globals->ReadBlockSize = 8;
  TLinkTransfer t(*row);
  ASSERT_TRUE(t.Open(nullptr, nullptr));
  End end = End::LineError;
  std::thread th([&] { end = t.Receive(File("RECDNC.TMP")); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the machine starts late
  m.Send(std::string("\x11\x12junk%\r\nO1 (\xC1)\r\n", 17));  // XON is the line's, not data
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  m.Send("G1 X10\r\nM30\r\n%\r\ntrailing");
  th.join();
  Globals->ReadBlockSize = 1024;
  EXPECT_EQ(end, End::Completed);
  const std::string expected = "%\r\nO1 ()\r\nG1 X10\r\nM30\r\n%";
  EXPECT_EQ(Read("RECDNC.TMP"), expected);
  EXPECT_EQ(t.BytesStored, expected.size());
  EXPECT_EQ(t.BytesReceived, 40u);
}

// A program punched as the machine holds it, longer than a read block, its
// CR LF after the closing '%' included: the bytes after the end trigger's
// byte go only when the row has an end trigger; without one, what the
// machine sent is kept to the last byte.
TEST_F(LinkTransferTest, ReceptionKeepsTheBytesAfterTheClosingPercentUnlessTheRowEndsThere) {
  std::string punched = "%\r\n(PH-200 HOUSING OP10)\r\n";
  for (int i = 0; punched.size() < 1367 - 10; i++)
    punched += "N" + std::to_string(10 * i) + " G1 X" + std::to_string(i) + "\r\n";
  punched.resize(1367 - 10, ' ');
  punched += "\r\nM30\r\n%\r\n";
  ASSERT_EQ(punched.size(), 1367u);
  struct Case {
    const char* name;
    const char* endTrigger;
    std::string kept;
  } cases[] = {
      {"no end trigger", "", punched},
      {"end trigger '%'", "37", punched.substr(0, 1365)},
  };
  for (const Case& c : cases) {
    sim::Machine m(kCom);
    auto row = LinkRow([&](TMultiDncRecord& r) {
      r.SetText(kLinkStartTrigger, "37");
      r.SetText(kLinkEndTrigger, c.endTrigger);
    });
    TLinkTransfer t(*row);
    ASSERT_TRUE(t.Open(nullptr, nullptr));
    End end = End::LineError;
    std::thread th([&] { end = t.Receive(File("RECDNC.TMP")); });
    m.Send(punched);
    th.join();
    EXPECT_EQ(end, End::Completed) << c.name;
    EXPECT_EQ(t.BytesReceived, 1367u) << c.name;
    EXPECT_EQ(Read("RECDNC.TMP"), c.kept) << c.name;
    EXPECT_EQ(t.BytesStored, c.kept.size()) << c.name;
  }
}

TEST_F(LinkTransferTest, AReceiveFileThatCannotBeCreatedOrWrittenEndsTheReception) {
  sim::Machine m(kCom);
  auto row = LinkRow();
  TLinkTransfer t(*row);
  ASSERT_TRUE(t.Open(nullptr, nullptr));
  EXPECT_EQ(t.Receive(Root() + "/no/such/dir/RECDNC.TMP"), End::NoFile);

  plat::set_write_fault("RECDNC.TMP", 10);  // the disk fills after ten bytes
  End end = End::LineError;
  std::thread th([&] { end = t.Receive(File("RECDNC.TMP")); });
  m.Send("%\r\nO1\r\nG1 X10\r\nM30\r\n%\r\n");
  th.join();
  EXPECT_EQ(end, End::FileError);
}

TEST_F(LinkTransferTest, SendWrapsTheLinesInTheStartAndEndTextsAndLeavesOutWhatTheRowSays) {
  sim::Machine m(kCom);
  auto row = LinkRow([](TMultiDncRecord& r) {
    r.SetText(kLinkStartCodes, "37");
    r.SetText(kLinkStartRepeats, "2*13,10");
    r.SetText(kLinkEndRepeats, "3*0");
    r.SetText(kLinkEndCodes, "37");
    r.SetText(kLinkCommentChars, "40");  // '(' lines are comments
  });
  const std::string text = "O1\r\n  (comment)\r\nG1 X10\r\n[STOP] tool change\r\nT1\r\n[START]\r\nG2\xA7\r\nM30";
  const std::string path = Write("SEND.NC", text);
  TLinkTransfer t(*row);
  ASSERT_TRUE(t.Open(nullptr, nullptr));
  auto run = StartSend(t, path);
  const std::string expected = "%\r\r\nO1\r\nG1 X10\r\nG2\0\r\nM30\r\n\0\0\0%"s;
  EXPECT_EQ(Collect(m, expected.size()), expected);
  EXPECT_EQ(run->Wait(), End::Completed);
  EXPECT_EQ(m.Received(20), "");
  EXPECT_EQ(t.BytesSent, expected.size());
  EXPECT_EQ(t.FileSize, text.size());
}

TEST_F(LinkTransferTest, StopPatternEndsTheProgramAndOmitListsCountAsSent) {
  sim::Machine m(kCom);
  auto row = LinkRow([](TMultiDncRecord& r) {
    std::strcpy(r.Short156, "M30");
    r.Number[kLinkStopCount] = 2;  // the second M30 ends the program
    r.SetText(kLinkOmitText, "N");
    r.Number[kLinkOmitRepeat] = 1;  // the first "N" line passes
    r.SetText(kLinkOmitText + 3, "MSG");
    r.SetText(kLinkEndLine, "M02");
    r.SetText(kLinkEndCodes, "37");
  });
  const std::string path = Write("SEND.NC", "(MSG)\r\nN1 G1\r\nG0\r\nN2 G2\r\nM30\r\nN3\r\nM30\r\nG4\r\n");
  TLinkTransfer t(*row);
  ASSERT_TRUE(t.Open(nullptr, nullptr));
  auto run = StartSend(t, path, false, true);
  const std::string expected = "N1 G1\r\nG0\r\nM30\r\nM02\r\n%";
  EXPECT_EQ(Collect(m, expected.size()), expected);
  EXPECT_EQ(run->Wait(), End::Completed);
  // Left-out lines count as sent with their line ends: (MSG), N2 G2, N3.
  EXPECT_EQ(t.BytesSent, expected.size() + 7 + 7 + 4);

  // Without the extended filter the omit lists and the end line do nothing.
  auto plain = StartSend(t, path);
  const std::string all = "(MSG)\r\nN1 G1\r\nG0\r\nN2 G2\r\nM30\r\nN3\r\n%";
  EXPECT_EQ(Collect(m, all.size()), all);
  EXPECT_EQ(plain->Wait(), End::Completed);
}

TEST_F(LinkTransferTest, StopDuringAnXoffHoldEndsTheSendAsStopped) {
  sim::Machine m(kCom);
  auto row = LinkRow([](TMultiDncRecord& r) { r.Number[kLinkStartInXoff] = 1; });
  const std::string path = Write("SEND.NC", "G1\r\nG2\r\n");
  TLinkTransfer t(*row);
  ASSERT_TRUE(t.Open(nullptr, nullptr));
  auto run = StartSend(t, path);
  EXPECT_EQ(m.Received(100), "") << "held until the machine sends XON";
  t.Stop.set();
  EXPECT_EQ(run->Wait(), End::Stopped);
  EXPECT_EQ(t.BytesSent, 0u);
  EXPECT_EQ(m.Received(20), "");
}

TEST_F(LinkTransferTest, XonReleasesTheHoldAndAnXoffTimeOutEndsTheSend) {
  sim::Machine m(kCom);
  auto row = LinkRow([](TMultiDncRecord& r) {
    r.Number[kLinkStartInXoff] = 1;
    r.Number[kLinkXoffMinutes] = 1;  // 3000 waits of 20 ms: 0.6 s here
  });
  const std::string path = Write("SEND.NC", "G1\r\nG2\r\n");
  TLinkTransfer t(*row);
  ASSERT_TRUE(t.Open(nullptr, nullptr));
  auto run = StartSend(t, path);
  WaitPastPurge(t);
  EXPECT_EQ(m.Received(50), "");
  m.Send("\x11");
  EXPECT_EQ(Collect(m, 8), "G1\r\nG2\r\n");
  EXPECT_EQ(run->Wait(), End::Completed);

  auto held = StartSend(t, path);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(held->Wait(), End::XoffTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(m.Received(20), "");
}

TEST_F(LinkTransferTest, AMachineSendingMoreThanTheInputLimitEndsTheSend) {
  sim::Machine m(kCom);
  auto row = LinkRow([](TMultiDncRecord& r) {
    r.Number[kLinkInputLimit] = 10;
    r.Number[kLinkWaitDc2] = 1;
    r.Number[kLinkAnswerDc4] = 1;
    r.Number[kLinkStartInXoff] = 1;  // keeps the program back until the machine talks
  });
  const std::string path = Write("SEND.NC", "G1 X1\r\nG1 X2\r\n");
  TLinkTransfer t(*row);
  ASSERT_TRUE(t.Open(nullptr, nullptr));
  auto run = StartSend(t, path);
  WaitPastPurge(t);
  EXPECT_EQ(m.Received(50), "") << "nothing before DC2";
  m.Send("\x12");
  EXPECT_EQ(Collect(m, 1), "\x14");
  m.Send("0123456789ABCDEF");
  EXPECT_EQ(run->Wait(), End::InputLimit);
  EXPECT_EQ(t.BytesSent, 1u);
  EXPECT_EQ(m.Received(20), "");
}

TEST_F(LinkTransferTest, PauseHoldsTheBlockBackAfterTheEndText) {
  sim::Machine m(kCom);
  auto row = LinkRow([](TMultiDncRecord& r) {
    r.SetText(kLinkPauseText, "M00");
    r.Number[kLinkPauseSeconds] = 2;
    r.Number[kLinkEndBeforePause] = 1;
    r.Number[kLinkStartAfterPause] = 1;
    r.SetText(kLinkStartCodes, "37");
    r.SetText(kLinkEndCodes, "38");
  });
  const std::string path = Write("SEND.NC", "G1\r\nM00\r\nG2\r\nM00\r\nG3\r\n");
  TLinkTransfer t(*row);
  ASSERT_TRUE(t.Open(nullptr, nullptr));
  // The first block with the pause text passes; the second pauses.
  auto run = StartSend(t, path, true);
  const std::string expected = "%G1\r\nM00\r\nG2\r\n&%M00\r\nG3\r\n&";
  EXPECT_EQ(Collect(m, expected.size()), expected);
  EXPECT_EQ(run->Wait(), End::Completed);
}

TEST_F(LinkTransferTest, AMissingSendFileOrPortIsTold) {
  auto row = LinkRow();
  TLinkTransfer t(*row);
  std::string text, caption;
  const std::string device = Root() + "/no-such-tty";
  plat::map_comm_port(kCom, device);
  EXPECT_FALSE(t.Open(&text, &caption));  // no machine on the port
  EXPECT_EQ(text, "Opening of port failed\r\n\r\nCOM" + std::to_string(kCom) + " -> " + device + ": no such device");
  EXPECT_EQ(caption, "Fatal Error");
  sim::Machine m(kCom);
  ASSERT_TRUE(t.Open(&text, &caption));
  EXPECT_EQ(t.Send(File("MISSING.NC"), false, false), End::NoFile);
}

}  // namespace
