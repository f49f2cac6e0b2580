// The Heidenhain block protocol end to end: the master with the six port
// threads against a control simulated on a pseudo-terminal. Time runs a
// hundred times faster; the exchange time-out is a second.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dnc/heidenhain.h"
#include "tests/dnc/protocol_server.h"
#include "tests/sim/heidenhain_sim.h"
#include "tests/sim/sim_process.h"

namespace {

using H = sim::HeidenhainControl;

const std::string kProgram = "0 BEGIN PGM PROG7 MM\r\n1 L X+10 R0 F9999\r\n2 END PGM PROG7 MM\r\n";
const std::vector<std::string> kLines = {"0 BEGIN PGM PROG7 MM", "1 L X+10 R0 F9999", "2 END PGM PROG7 MM"};
const std::string kAck(1, H::kAck), kNak(1, H::kNak), kEtx(1, H::kEtx), kEot(1, H::kEot);

class HeidenhainTest : public kvdnc::ProtocolServerTest {
 protected:
  void Start(int type = kProtoHeidenhain, const Adjust& adjust = {}) {
    OnePort(type, [](TMultiDncRecord& r) { r.Number[kPropReadTimeout] = 100; }, adjust);
    StartServer();
  }
  // PROG7 in the index, the server started, the control's request for it
  // acknowledged and its first block out and good; that block in *first.
  void SendUnderWay(H& c, std::string* first = nullptr) {
    AddProgram(100, "PROG7", kProgram);
    ASSERT_NO_FATAL_FAILURE(Start());
    c.Request("PROG7");
    ASSERT_EQ(c.Bytes(1), kAck);
    const std::string block = c.Next();
    ASSERT_TRUE(H::GoodBlock(block));
    if (first) *first = block;
  }
  // PROG9 announced and its lines acknowledged, with no end block yet.
  static void OutputUnended(H& c, const std::vector<std::string>& lines) {
    ASSERT_EQ(c.Output("PROG9", lines, false), std::string(lines.size() + 1, H::kAck));
  }
  // The text of the received program stored under that program id.
  std::string Stored(const char* desc) {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    std::unique_ptr<TcbFileRecord> r(t.Select(("DESC = '" + std::string(desc) + "'").c_str(), "DESC"));
    if (!r) return "<none>";
    FreeRecordList(r->next);
    r->next = nullptr;
    return kvdb::ReadFileBytes(Native(std::string(r->DIR) + r->NAME + "." + r->EXT));
  }
  // The send let the program's row go and the port polls again.
  bool Released() {
    return WaitFor([this] { return Ports[0] && Ports[0]->Polling == 1 && OtherStationCanLock(100); });
  }
};

TEST_F(HeidenhainTest, RequestedProgramGoesOutBlockByBlock) {
  sim::Machine m(kCom);
  H c(m);
  AddProgram(100, "PROG7", kProgram);
  Start();
  c.Request("PROG7");
  EXPECT_EQ(c.Bytes(1), kAck);
  EXPECT_EQ(c.ReadProgram(), kLines);
  ASSERT_TRUE(WaitFor([&] { return SentCount(100) == 1; }));
  EXPECT_TRUE(Released());

  // The port serves the next exchange.
  c.Request("PROG7");
  EXPECT_EQ(c.Bytes(1), kAck);
  EXPECT_EQ(c.ReadProgram(), kLines);
  ASSERT_TRUE(WaitFor([&] { return SentCount(100) == 2; }));
}

TEST_F(HeidenhainTest, ThreeNaksResendTheBlockAndTheFourthEndsTheSend) {
  sim::Machine m(kCom);
  H c(m);
  std::string first;
  ASSERT_NO_FATAL_FAILURE(SendUnderWay(c, &first));
  for (int i = 0; i < 3; i++) {
    c.Send(kNak);
    EXPECT_EQ(c.Next(), first) << "resend " << i + 1;
  }
  c.Send(kNak);
  EXPECT_EQ(c.Next(), kEtx);
  EXPECT_TRUE(Released());
  EXPECT_EQ(SentCount(100), 0) << "a send that broke off is no send";
}

TEST_F(HeidenhainTest, AnnouncedProgramIsStoredWithSoftwareFlowOnAType2Port) {
  sim::Machine m(kCom);
  H c(m);
  Start(kProtoHeidenhain, [](TMultiDncRecord& r) { r.Number[kPropFlow] = 1; });
  EXPECT_EQ(c.Output("PROG9", {"0 BEGIN PGM PROG9 MM", "1 L X+5"}), kAck + kAck + kAck);
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVFILE.DBF") == 1; }));
  EXPECT_EQ(Stored("PROG9"), "0 BEGIN PGM PROG9 MM\r\n1 L X+5");
  EXPECT_TRUE(Polling());
}

TEST_F(HeidenhainTest, BlockChecksOfDc1AndOfType8Lines) {
  // A line whose check byte is DC1, received on both types.
  std::string line;
  for (int ch = ' '; ch <= '~' && line.empty(); ch++)
    for (int ch2 = '0'; ch2 <= '9' && line.empty(); ch2++) {
      std::string t = "1 L Z+" + std::string(1, static_cast<char>(ch)) + static_cast<char>(ch2);
      if (H::Check("\x02" + t + "\x17") == H::kDc1) line = t;
    }
  ASSERT_FALSE(line.empty());
  std::size_t stored = 0;
  for (int type : {kProtoHeidenhain, kProtoHeidenhain310}) {
    SCOPED_TRACE(type);
    const std::string name = type == kProtoHeidenhain ? "DCA" : "DCB";
    sim::Machine m(kCom);
    H c(m, type == kProtoHeidenhain);
    Start(type);
    c.Announce(name);
    ASSERT_EQ(c.Bytes(1), kAck);
    EXPECT_EQ(c.WriteProgram({"0 BEGIN PGM", line, "2 END PGM"}), kAck + kAck + kAck);
    ASSERT_TRUE(WaitFor([&] { return RowCount("KELVFILE.DBF") == stored + 1; }));
    stored++;
    EXPECT_EQ(Stored(name.c_str()), "0 BEGIN PGM\r\n" + line + "\r\n2 END PGM");
    StopServer();
  }
}

TEST_F(HeidenhainTest, BadBlockCheckIsAnsweredWithNakAndTheGoodCopyStored) {
  sim::Machine m(kCom);
  H c(m);
  Start();
  c.Announce("PROG9");
  ASSERT_EQ(c.Bytes(1), kAck);
  c.Send(c.Block("0 BEGIN PGM PROG9 MM", H::kStx, 0x7F));
  EXPECT_EQ(c.Bytes(1), kNak);
  EXPECT_EQ(c.WriteProgram({"0 BEGIN PGM PROG9 MM", "1 END PGM PROG9 MM"}), kAck + kAck);
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVFILE.DBF") == 1; }));
  EXPECT_EQ(Stored("PROG9"), "0 BEGIN PGM PROG9 MM\r\n1 END PGM PROG9 MM");
}

TEST_F(HeidenhainTest, ThirdBadCopyFailsTheReceptionKeptAsFailed) {
  sim::Machine m(kCom);
  H c(m);
  Start();
  ASSERT_NO_FATAL_FAILURE(OutputUnended(c, {"0 BEGIN PGM PROG9 MM"}));
  for (const std::string& answer : {kNak, kNak, kEtx}) {
    c.Send(c.Block("1 L X+5", H::kStx, 0x7F));
    EXPECT_EQ(c.Bytes(1), answer);
  }
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 1; }));
  EXPECT_EQ(FailedBytes(), "0 BEGIN PGM PROG9 MM");
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u) << "a broken reception is no program";
  EXPECT_TRUE(Polling());
}

TEST_F(HeidenhainTest, SilentControlEndsTheExchange) {
  sim::Machine m(kCom);
  H c(m);
  // A send: the first block gets no answer.
  ASSERT_NO_FATAL_FAILURE(SendUnderWay(c));
  EXPECT_TRUE(Released()) << "the program's lock goes with the exchange";
  EXPECT_EQ(SentCount(100), 0);

  // A reception: two blocks, then nothing.
  ASSERT_NO_FATAL_FAILURE(OutputUnended(c, {"0 BEGIN PGM PROG9 MM", "1 L X+5"}));
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 1; }));
  EXPECT_EQ(FailedBytes(), "0 BEGIN PGM PROG9 MM\r\n1 L X+5");
  EXPECT_TRUE(Polling());

  // Half a block, then nothing.
  ASSERT_NO_FATAL_FAILURE(OutputUnended(c, {"0 BEGIN PGM PROG9 MM", "1 L X+5 R0 FMAX"}));
  c.Send("\x02" "2 L Y+");
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 2; }));
  EXPECT_TRUE(Polling());
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 1u) << "only the program added";
}

TEST_F(HeidenhainTest, LineDroppedMidReceptionKeepsWhatCameAsFailed) {
  auto m = std::make_unique<sim::Machine>(kCom);
  H c(*m);
  Start();
  ASSERT_NO_FATAL_FAILURE(OutputUnended(c, {"0 BEGIN PGM PROG9 MM", "1 L X+5 R0 FMAX"}));
  m.reset();  // the cable is pulled
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 1; }));
  EXPECT_EQ(FailedBytes(), "0 BEGIN PGM PROG9 MM\r\n1 L X+5 R0 FMAX");
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
  EXPECT_TRUE(Polling()) << "the port waits for its line to come back";
}

TEST_F(HeidenhainTest, ServerStopMidReceptionKeepsWhatCameAsFailed) {
  sim::Machine m(kCom);
  H c(m);
  Start();
  ASSERT_NO_FATAL_FAILURE(OutputUnended(c, {"0 BEGIN PGM PROG9 MM", "1 L X+5 R0 FMAX"}));
  StopServer();
  EXPECT_EQ(FailedBytes(), "0 BEGIN PGM PROG9 MM\r\n1 L X+5 R0 FMAX");
}

TEST_F(HeidenhainTest, RefusedBlocksAreAnsweredWithEot) {
  sim::Machine m(kCom);
  H c(m);
  Start();
  const struct {
    const char* name;
    std::string block;
  } cases[] = {
      {"program not there", c.Block("HNOPEE", H::kSoh)},
      {"neither request nor announcement", c.Block("HELLO")},
      {"name that is no file name", c.Block("H../x/yE", H::kSoh)},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    c.Send(k.block);
    EXPECT_EQ(c.Bytes(1), kEot);
    EXPECT_TRUE(Polling());
  }
}

TEST_F(HeidenhainTest, CancelEndsTheSend) {
  sim::Machine m(kCom);
  H c(m);
  ASSERT_NO_FATAL_FAILURE(SendUnderWay(c));
  ASSERT_TRUE(Ports[0]->SignalCancel());
  EXPECT_EQ(c.Next(), kEtx);
  EXPECT_TRUE(Released());
  EXPECT_EQ(SentCount(100), 0);
}

TEST_F(HeidenhainTest, DirectoryListing) {
  sim::Machine m(kCom);
  H c(m);
  Start();
  // No program of the machine: the fixed text.
  c.AskDirectory("zz");
  const std::string head = HeiListingHead();
  const std::string empty = "\r\n\r\nFREE:   65534\r\nUSED:       0\r\n\x03";
  EXPECT_EQ(c.Bytes(head.size() + empty.size()), head + empty);
  c.Send(kEot);
  ASSERT_TRUE(Polling());

  AddProgram(100, "PROG8", "%PROG8\r\nG1 X1\r\n");
  AddProgram(101, "BEGIN7", "0 BEGIN PGM BEGIN7 MM\r\n");  // not a tape program
  c.AskDirectory();
  const std::string list = "DPROG8         1\r\n\r\nFREE:   65534\r\nUSED:     100\r\n\x03";
  EXPECT_EQ(c.Bytes(head.size() + list.size()), head + list);
  c.Send(kEot);
  EXPECT_TRUE(Polling());
  EXPECT_EQ(c.Rest(50), "");
}

// The demo station's control, the simulator program, on the line: it asks
// for its program once the server has opened the port, keeps it, and a few
// seconds later sends it back, which replaces the stored program after a
// backup of it.
TEST_F(HeidenhainTest, TheDemoControlFetchesItsProgramAndSendsItBack) {
  const std::string dir = Root() + "/control";
  sim::SimProcess control(KV_MACHINE_SIM_BIN, "heidenhain", dir, "PROG7");
  ASSERT_FALSE(control.device().empty()) << kvdb::ReadFileBytes(dir + "/machine.log");
  plat::map_comm_port(kCom, control.device());
  AddProgram(100, "PROG7", kProgram);
  // The control runs in real time: the server's time-outs are scaled up to
  // match.
  Start(kProtoHeidenhain, [](TMultiDncRecord& r) {
    r.Number[kPropStorageMode] = 2;
    r.Number[kPropReadTimeout] = 1000;
  });
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVBACK.DBF") == 1; }, 60000))
      << kvdb::ReadFileBytes(dir + "/machine.log");
  EXPECT_EQ(SentCount(100), 1);
  EXPECT_EQ(kvdb::ReadFileBytes(dir + "/PROG7.H"), kProgram);
  // The backup's row comes before the program is written over.
  const std::string back = kProgram.substr(0, kProgram.size() - 2);
  EXPECT_TRUE(WaitFor([&] { return Stored("PROG7") == back; }));
  EXPECT_EQ(Stored("PROG7"), back);
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 1u);
  EXPECT_TRUE(WaitFor([&] {
    return kvdb::ReadFileBytes(dir + "/machine.log").find("every block acknowledged") != std::string::npos;
  }));
}

}  // namespace
