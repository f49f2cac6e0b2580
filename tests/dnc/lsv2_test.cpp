// The LSV-2 protocol end to end: the master thread with the five LSV-2
// threads of a port against a control simulated on a pseudo-terminal.
// Time runs twenty times faster; the port's time-out of 40 s is two real
// seconds.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "appcore/message_ids.h"
#include "dnc/lsv2_dripfeed.h"
#include "dnc/lsv2_telegram.h"
#include "dnc/lsv2_threads.h"
#include "dnc_fixture.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "tests/sim/lsv2_sim.h"
#include "tests/support/scratch_dir.h"

namespace {

using sim::Lsv2Control;

constexpr int kCom = 21;

// A program of `lines` lines "G1 X<i> Y<i>" between "%" with a title and
// "M30".
std::string Program(int lines) {
  std::string p = "%\r\n(TITLE)\r\n";
  for (int i = 0; i < lines; i++) p += "G1 X" + std::to_string(i) + " Y" + std::to_string(i) + "\r\n";
  return p + "M30\r\n";
}

// A program of exactly `size` bytes.
std::string ProgramOfSize(std::size_t size) {
  std::string p = "%\r\n";
  for (int i = 0; p.size() + 60 < size; i++) p += "G1 X" + std::to_string(i) + "\r\n";
  const std::string end = "M30\r\n";
  const std::size_t room = size - p.size() - end.size() - 4;  // "(" ")" CR LF
  return p + "(" + std::string(room, 'C') + ")\r\n" + end;
}

class Lsv2Test : public kvdnc::DncServerTest {
 protected:
  Lsv2Test() : DncServerTest(kCom, 0.05) {}

  void SetUp() override {
    DncServerTest::SetUp();
    Globals->MessageTexts.Set(kMsgSendRefused, "Not from here");
  }
  void TearDown() override {
    DncServerTest::TearDown();
    plat::clear_message_box_log();
  }

  void OnePort(const Adjust& adjust = {}) {
    DncServerTest::OnePort(
        kProtoLsv2,
        [](TMultiDncRecord& r) {
          r.Number[kPropNulFilter] = 0;
          r.Number[kPropReadTimeout] = 40;
          r.SetText(kPropDisplayName, "Lathe two");
        },
        adjust);
  }
  // The port listens for the control again.
  bool Polling() override {
    return WaitFor([] { return PortCount == 1 && Ports[0] && Ports[0]->Polling == 1 && Ports[0]->SendRequestOpen(); });
  }

  // A program of the machine in the index under `desc`.
  void AddProgram(const std::string& desc, const std::string& text) {
    auto port = OfflinePort(Row(90, 0));
    kvdb::WriteFileBytes(Native(port->TransferPath), text);
    port->SetRequested(desc);
    ASSERT_EQ(port->StoreReceived(), 1);
  }
  // The row of the program, NCID and file.
  std::pair<long, std::string> ProgramRow(const std::string& desc) {
    for (auto& r : Rows(DbPath("KELVFILE.DBF")))
      if (r[0] != "*" && r[2] == desc) return {std::stol(r[1]), r[4]};
    return {0, ""};
  }
  // Another station may lock the program: no send holds it.
  bool Unlocked(long ncid) { return OtherStationCanLock(ncid); }
};

// The lines a drip feed delivered, without part headers, part ends and
// block numbers; every part after the first must start with its header.
std::vector<std::string> DeliveredLines(const Lsv2Control::Fetched& f) {
  std::vector<std::string> lines;
  for (std::size_t k = 0; k < f.parts.size(); k++) {
    const std::string& part = f.parts[k];
    if (k > 0) {
      const std::string n = std::to_string(f.announced[k]);
      EXPECT_EQ(part.rfind("%" + n + "\r\n(&%" + n + "/000000)\r\n", 0), 0u) << "part " << k;
    }
    if (k + 1 < f.parts.size()) {
      const std::string end = "N9999 L0 %" + std::to_string(f.announced[k + 1]) + "\r\n\r\n?\r\n0000\r\n";
      EXPECT_TRUE(part.size() >= end.size() && part.compare(part.size() - end.size(), end.size(), end) == 0)
          << "part " << k;
    }
    for (std::size_t at = 0, nl; (nl = part.find("\r\n", at)) != std::string::npos; at = nl + 2) {
      std::string line = part.substr(at, nl - at);
      if (line.empty() || line[0] == '%' || line.rfind("(&%", 0) == 0 || line.rfind("N9999 L0", 0) == 0 ||
          line == "?" || line == "0000")
        continue;
      if (line[0] == 'N') line.erase(0, line.find(' ') + 1);
      lines.push_back(line);
    }
  }
  return lines;
}

std::vector<std::string> ProgramLines(int lines) {
  std::vector<std::string> out;
  for (int i = 0; i < lines; i++) out.push_back("G1 X" + std::to_string(i) + " Y" + std::to_string(i));
  out.push_back("M30");
  return out;
}

TEST_F(Lsv2Test, RequestedProgramArrivesByteEqualAndIsReleased) {
  Lsv2Control c(kCom);
  ASSERT_TRUE(c.ok());
  const std::string text = Program(60);
  AddProgram("123", text);
  OnePort();
  StartServer();

  auto f = c.Request("000123");
  ASSERT_TRUE(f.complete) << c.error;
  EXPECT_EQ(f.announced, std::vector<unsigned long>{123});
  ASSERT_EQ(f.parts.size(), 1u);
  EXPECT_EQ(f.parts[0], text);
  EXPECT_EQ(c.telegrams.front(), "PRPP%000123*");
  EXPECT_TRUE(view_.Saw(5));
  ASSERT_TRUE(Polling());
  EXPECT_TRUE(Unlocked(ProgramRow("123").first));

  // Numbers above 500000 ask for the program below them.
  c.telegrams.clear();
  f = c.Request("500123");
  ASSERT_TRUE(f.complete) << c.error;
  EXPECT_EQ(c.telegrams.front(), "PRPP%000123*");
  EXPECT_EQ(f.parts[0], text);
  ASSERT_TRUE(Polling());

  // A program the machine does not have.
  c.telegrams.clear();
  f = c.Request("000999");
  EXPECT_FALSE(f.found);
  EXPECT_EQ(c.telegrams, std::vector<std::string>{"TDPPF "});
  ASSERT_TRUE(Polling());
  EXPECT_EQ(Lsv2StateOf(Ports[0]), kLsv2Idle);
}

TEST_F(Lsv2Test, ProgramFromTheControlIsStored) {
  Lsv2Control c(kCom);
  OnePort();
  StartServer();
  std::string text = Program(50);
  text[40] = '\x03';  // an ETX of its own inside the data
  ASSERT_TRUE(c.Upload("000007", text)) << c.error;
  EXPECT_EQ(c.telegrams.front(), "PTPP%000007*");
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVFILE.DBF") == 1; }));
  auto [ncid, name] = ProgramRow("7");
  ASSERT_GT(ncid, 0);
  EXPECT_EQ(kvdb::ReadFileBytes(Native(Root() + "/mach1\\" + name + ".NC")), text);
  EXPECT_TRUE(view_.Saw(6));
  EXPECT_TRUE(Polling());
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 0u);

  // A reception the control resets half way is kept as a failed transfer.
  ASSERT_TRUE(c.Upload("000008", text, 2)) << c.error;
  ASSERT_TRUE(c.Reset());
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 1; }));
  auto failed = Rows(DbPath("KELVDNCF.DBF"))[0];
  EXPECT_EQ(kvdb::ReadFileBytes(Native(Root() + "/dncfail\\" + failed[4] + ".NC")), text.substr(0, 2 * 124));
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 1u);
  EXPECT_TRUE(Polling());
}

TEST_F(Lsv2Test, FileModePortSendsAndStoresPlainFiles) {
  Lsv2Control c(kCom);
  const std::string text = Program(20);
  kvdb::WriteFileBytes(Root() + "/files/sub/123.NC", text);
  OnePort([&](TMultiDncRecord& r) {
    r.SetListB(kPropFileMode, 1);
    r.SetText(kPropExtension, "NC");
    r.SetText(kPropFirstDirectory, (Root() + "/files").c_str());
  });
  StartServer();
  auto f = c.Request("000123");
  ASSERT_TRUE(f.complete) << c.error;
  EXPECT_EQ(c.telegrams.front(), "PRPP%000123*");
  EXPECT_EQ(f.parts[0], text);
  ASSERT_TRUE(Polling());

  ASSERT_TRUE(c.Upload("000007", text)) << c.error;
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(Root() + "/files/7.NC"); }));
  ASSERT_TRUE(Polling());
  EXPECT_EQ(kvdb::ReadFileBytes(Root() + "/files/7.NC"), text);
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
}

TEST_F(Lsv2Test, ProgramsAbove40000BytesGoAsDripFeed) {
  Lsv2Control c(kCom);
  const std::string exact = ProgramOfSize(40000), more = ProgramOfSize(40001);
  ASSERT_EQ(exact.size(), 40000u);
  AddProgram("11", exact);
  AddProgram("12", more);
  OnePort();
  StartServer();

  // The answer tells: the program itself, or the first part of a drip feed
  // numbered LSV2RESPROGNO above the request.
  EXPECT_EQ(c.Ask("000011"), "PRPP%000011*") << c.error;
  ASSERT_TRUE(c.Reset());
  ASSERT_TRUE(Polling());
  EXPECT_EQ(c.Ask("000012"), "PRPP%100012*") << c.error;
  ASSERT_TRUE(c.Send("M RR"));
  auto first = c.Receive(c.timeout_ms);
  ASSERT_TRUE(first) << c.error;
  EXPECT_EQ(first->rfind("R PP%\r\n(&%100012/000000\"NLP aus %100012)\r\nN3 G1 X0\r\nN4 G1 X1\r\n", 0), 0u);
  ASSERT_TRUE(c.Reset());
  ASSERT_TRUE(Polling());
  EXPECT_TRUE(Unlocked(ProgramRow("12").first));
}

TEST_F(Lsv2Test, DripFeedWaitsWhileTheControlHoldsBack) {
  Lsv2Control c(kCom);
  Globals->Lsv2BlockSize = 5000;
  AddProgram("5", Program(600));
  OnePort();
  StartServer();
  c.hold_enqs = 2;
  c.block_pause_ms = 2;
  auto f = c.Request("000005");
  ASSERT_TRUE(f.complete) << c.error;
  EXPECT_GT(f.parts.size(), 5u);
  EXPECT_GE(c.enqs_held, 2 * static_cast<int>(f.parts.size() - 1));
  EXPECT_EQ(f.announced[0], 100005u);
  // The first part ends after its 39th block.
  EXPECT_NE(f.parts[0].find("N39 G1 X36 Y36\r\nN9999 L0 %100006\r\n"), std::string::npos);
  EXPECT_EQ(DeliveredLines(f), ProgramLines(600));
  ASSERT_TRUE(Polling());
  EXPECT_TRUE(Unlocked(ProgramRow("5").first));
}

// The program side of a drip feed of 5 MB, taken part by part as the
// control takes it. (Over the simulated line every exchange waits for the
// serial layer's input pacing, so this size runs without one.)
TEST(Lsv2DripFeed, FiveMegabytesArriveWholeAndInOrder) {
  kvtest::ScratchDir dir("lsv2");
  const int lines = 270000;
  const std::string text = Program(lines);
  ASSERT_GT(text.size(), 5000000u);
  kvtest::ScratchDir::write_file(dir.file("BIG.NC"), text);
  ASSERT_TRUE(Lsv2WriteDripFeedFile(dir.file("BIG.NC"), dir.file("PORT1.LSV"), 100077, Lsv2PartSize(40000)));
  TLsv2BlockSource source;
  ASSERT_TRUE(source.Open(dir.file("PORT1.LSV"), true, 100078));
  Lsv2Control::Fetched f;
  f.announced.push_back(100077);
  std::string data;
  for (;;) {
    auto b = source.Next();
    ASSERT_FALSE(b.Failed);
    if (b.Ends == TLsv2BlockSource::End::None) {
      ASSERT_EQ(b.Text.rfind("R PP", 0), 0u);
      ASSERT_LE(b.Text.size(), 4 + kLsv2BlockData);
      data += b.Text.substr(4);
      continue;
    }
    f.parts.push_back(data);
    data.clear();
    if (b.Ends == TLsv2BlockSource::End::Program) break;
    f.announced.push_back(source.PartNumber() - 1);
  }
  EXPECT_GT(f.parts.size(), 600u);
  EXPECT_EQ(DeliveredLines(f), ProgramLines(lines));
}

TEST_F(Lsv2Test, WrongChecksAreRefusedAndRepeated) {
  Lsv2Control c(kCom);
  const std::string text = Program(30);
  AddProgram("8", text);
  OnePort();
  StartServer();

  // The server refuses the control's damaged telegrams until they come right.
  c.bad_checks = 2;
  auto f = c.Request("000008");
  ASSERT_TRUE(f.complete) << c.error;
  EXPECT_EQ(c.naks_received, 2);
  EXPECT_EQ(f.parts[0], text);
  ASSERT_TRUE(Polling());

  // The server repeats what the control refuses.
  c.refuse = 3;
  f = c.Request("000008");
  ASSERT_TRUE(f.complete) << c.error;
  EXPECT_EQ(c.naks_sent, 3);
  EXPECT_EQ(f.parts[0], text);
  ASSERT_TRUE(Polling());

  // A telegram that never comes right ends the exchange as a failure.
  view_.Clear();
  c.bad_checks = 10;
  EXPECT_FALSE(c.Send("RDPP%000009*"));
  EXPECT_EQ(c.naks_received, 2 + 3);
  ASSERT_TRUE(Polling());
  EXPECT_TRUE(view_.Saw(36));
  c.bad_checks = 0;
  c.error.clear();
  ASSERT_TRUE(c.Upload("000009", text)) << c.error;
  ASSERT_TRUE(WaitFor([&] { return ProgramRow("9").first > 0; }));
}

TEST_F(Lsv2Test, StrayBytesAndStrangeTelegramsAreSkipped) {
  Lsv2Control c(kCom);
  const std::string text = Program(20);
  AddProgram("4", text);
  OnePort();
  StartServer();
  // Noise before the control's ENQ.
  c.Put("\r\n#");
  ASSERT_TRUE(c.Send("TDPP%000004*")) << c.error;
  char b = 0;
  ASSERT_TRUE(c.Next(b, 5000));
  ASSERT_EQ(b, Lsv2Control::ENQ);
  // Noise, a DLE that pairs with nothing, then DLE '0'.
  c.Put(std::string{'\x7F', Lsv2Control::DLE, 'x', Lsv2Control::DLE, Lsv2Control::DLE, '0'});
  std::string t;
  for (char x; t.size() < 2 || t.compare(t.size() - 2, 2, "\x10\x03") != 0;) {
    ASSERT_TRUE(c.Next(x, 5000));
    t += x;
  }
  ASSERT_TRUE(c.Next(b, 5000));
  EXPECT_EQ(t, std::string("\x10\x02PRPP%000004*\x10\x03"));
  c.Put(std::string{Lsv2Control::DLE, '1'});
  ASSERT_TRUE(c.Expect(std::string(1, Lsv2Control::EOT)));
  ASSERT_TRUE(c.Send("M RR"));
  auto block = c.Receive(5000);
  ASSERT_TRUE(block) << c.error;
  std::string data = block->substr(4);
  // "T WA" and a telegram the server does not know change nothing: the
  // program goes on where it stood.
  ASSERT_TRUE(c.Send("T WA"));
  ASSERT_TRUE(c.Send("X YZ"));
  for (;;) {
    ASSERT_TRUE(c.Send("T NB"));
    block = c.Receive(5000);
    ASSERT_TRUE(block) << c.error;
    if (*block == "T FD") break;
    data += block->substr(4);
  }
  EXPECT_EQ(data, text);
  EXPECT_TRUE(Polling());
}

TEST_F(Lsv2Test, SilentControlEndsTheTransferAndFreesTheProgram) {
  Lsv2Control c(kCom);
  AddProgram("6", Program(200));
  OnePort();
  StartServer();
  const long ncid = ProgramRow("6").first;

  // The control asks, takes two blocks and falls silent.
  ASSERT_TRUE(c.Send("TDPP%000006*"));
  ASSERT_TRUE(c.Receive(5000));
  ASSERT_TRUE(c.Send("M RR"));
  ASSERT_TRUE(c.Receive(5000));
  ASSERT_TRUE(c.Send("T NB"));
  ASSERT_TRUE(c.Receive(5000));
  EXPECT_FALSE(Unlocked(ncid)) << "the send holds the program";
  ASSERT_TRUE(Polling());
  EXPECT_TRUE(view_.Saw(36));
  EXPECT_TRUE(Unlocked(ncid));

  // A reception that stops half way is kept as a failed transfer.
  const std::string text = Program(100);
  ASSERT_TRUE(c.Upload("000031", text, 3)) << c.error;
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 1; }));
  auto failed = Rows(DbPath("KELVDNCF.DBF"))[0];
  EXPECT_EQ(kvdb::ReadFileBytes(Native(Root() + "/dncfail\\" + failed[4] + ".NC")), text.substr(0, 3 * 124));
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 1u);
  ASSERT_TRUE(Polling());

  // The server still serves the control.
  EXPECT_TRUE(c.Request("000006").complete) << c.error;
}

TEST_F(Lsv2Test, LineDroppedMidReceptionKeepsWhatCame) {
  auto c = std::make_unique<Lsv2Control>(kCom);
  OnePort();
  StartServer();
  const std::string text = Program(100);
  ASSERT_TRUE(c->Upload("000032", text, 4)) << c->error;
  c->Drop();
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 1; }));
  auto failed = Rows(DbPath("KELVDNCF.DBF"))[0];
  EXPECT_EQ(kvdb::ReadFileBytes(Native(Root() + "/dncfail\\" + failed[4] + ".NC")), text.substr(0, 4 * 124));
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
  EXPECT_TRUE(WaitFor([&] { return view_.Saw(36); }));
  // The server still stops cleanly on a dead line.
  StopServer();
}

TEST_F(Lsv2Test, DripFeedFileThatCannotBeWrittenIsRefused) {
  Lsv2Control c(kCom);
  AddProgram("3", ProgramOfSize(45000));
  OnePort();
  StartServer();
  plat::set_write_fault("PORT21.LSV", 1000);
  auto f = c.Request("000003");
  plat::set_write_fault("", 0);
  EXPECT_FALSE(f.found);
  EXPECT_EQ(c.telegrams, std::vector<std::string>{"TDPPF "});
  ASSERT_TRUE(Polling());
  EXPECT_TRUE(view_.Saw(36));
  EXPECT_TRUE(Unlocked(ProgramRow("3").first));
}

TEST_F(Lsv2Test, SendRequestIsRefusedAndThePortKeepsPolling) {
  Lsv2Control c(kCom);
  AddProgram("2", Program(5));
  OnePort();
  StartServer();
  CurrentPortIndex = 0;
  SetDncEvent(kSendRequest);
  ASSERT_TRUE(WaitFor([] { return !plat::message_box_log().empty(); }));
  EXPECT_EQ(plat::message_box_log()[0].text, "Not from here");
  ASSERT_TRUE(WaitFor([&] { return view_.Last() == 4; }));
  EXPECT_TRUE(Ports[0]->Polling == 1);
  EXPECT_TRUE(c.Request("000002").complete) << c.error;
}

}  // namespace
