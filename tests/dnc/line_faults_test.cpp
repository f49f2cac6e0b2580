// Faults of the line between a machine and its port: a program that stops
// before its end trigger, a cable pulled and plugged in again, failed
// transfers that come within one minute.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "dnc/dnclog.h"
#include "formats/mazak_tape.h"
#include "dnc/raw_ascii.h"
#include "dnc/rs232.h"
#include "dnc/storing.h"
#include "platform/ui/resource.h"
#include "tests/dnc/protocol_server.h"
#include "tests/sim/heidenhain_sim.h"
#include "tests/sim/lsv2_sim.h"
#include "tests/sim/machine_sim.h"
#include "tests/sim/mazak_sim.h"
#include "tests/sim/noisy_line.h"

namespace {

using kvdnc::DncTest;
using kvdnc::PortLog;

class EndTriggerTest : public DncTest {};

// The end trigger is seen once a program reaches it after its start; the
// first block is never cut, and the byte that opens a program never ends
// it, in whichever block it comes.
TEST_F(EndTriggerTest, ProgramReachesItsEnd) {
  const struct {
    const char* name;
    const char* start;  // start trigger code list
    std::vector<std::string> blocks;
    bool seen;
    std::string kept;
  } cases[] = {
      {"whole program in the first block", "37", {"%\r\nG1\r\n%"}, true, "%\r\nG1\r\n%"},
      {"first block cut short", "37", {"%\r\nG1 X1\r\nG1"}, false, "%\r\nG1 X1\r\nG1"},
      {"end in a later block", "37", {"%\r\nG1", "\r\n%M"}, true, "%\r\nG1\r\n%"},
      {"opening byte after noise in an earlier block", "37", {"\x07", "%\r\nG1\r\n%"}, true, "%\r\nG1\r\n%"},
      {"opening byte after noise, cut short", "37", {"\x07", "%\r\nG1"}, false, "%\r\nG1"},
      {"no start trigger: the leading byte opens", "", {"%\r\nG1"}, false, "%\r\nG1"},
      {"no start trigger, end later", "", {"%\r\nG1", "\r\n%"}, true, "%\r\nG1\r\n%"},
  };
  for (const auto& c : cases) {
    auto* row = Row(1, 0);
    row->SetText(kPropStartTrigger, c.start);
    row->SetText(kPropEndTrigger, "37");
    auto port = OfflinePort(row);
    BeginReception(*port);
    for (const auto& b : c.blocks) Receive(*port, b);
    port->TransferFile->Close();
    port->TransferFile.reset();
    EXPECT_EQ(port->EndTriggerSeen != 0, c.seen) << c.name;
    EXPECT_EQ(kvdb::ReadFileBytes(Native(port->TransferPath)), c.kept) << c.name;
  }
}

// A standard port with an end trigger: a program that the line cuts off
// before its end is a failed transfer, a whole one is stored.
class IncompleteProgramTest : public kvdnc::ProtocolServerTest {};

TEST_F(IncompleteProgramTest, IsKeptAsFailedNotStored) {
  sim::Machine m(kCom);
  OnePort(kProtoStandard, [](TMultiDncRecord& r) {
    StandardTexts(r);
    r.SetText(kPropStartTrigger, "37");
    r.SetText(kPropEndTrigger, "37");
  });
  StartServer();
  m.Send("%\r\n(PROG1)\r\nG1 X1 Y1\r\nG1 X2 Y");  // the line falls silent
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 1; }));
  EXPECT_EQ(FailedBytes(), "%\r\n(PROG1)\r\nG1 X1 Y1\r\nG1 X2 Y");
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
  ASSERT_TRUE(Polling());
  m.Send("%\r\n(PROG2)\r\nG1 X1 Y1\r\nM30\r\n%");
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVFILE.DBF") == 1; }));
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 1u);
}

// A program that arrives while the port polls is flagged by the line's
// parity check (or holds a break) in its first bytes: the poll thread
// reads the line's errors to see the bytes, and the errors still mark the
// reception, which is kept as failed, not stored.
TEST_F(IncompleteProgramTest, LineErrorsOfTheFirstBytesMarkTheReception) {
  sim::NoiseLines marks;
  sim::NoisyLine line(kCom);
  OnePort(kProtoStandard, [](TMultiDncRecord& r) {
    StandardTexts(r);
    r.Number[kPropParity] = 2;
    r.SetListB(kPropParityCheck, 1);
  });
  StartServer();
  const std::string head = "%\r\n(PROG1)\r\nG1 X1 Y1", tail = "\r\nM30\r\n%";
  const std::string damaged[] = {
      sim::NoisyLine::Flagged('Z'),             // a character with a parity error
      std::string("\xFF\x00\x00", 3),           // a break among the bytes
  };
  std::size_t failed = 0;
  for (const auto& d : damaged) {
    line.Send(head + d + tail);
    ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == failed + 1; }));
    failed++;
    ASSERT_TRUE(Polling());
  }
  EXPECT_EQ(RowCount("KELVFILE.DBF"), 0u);
  // The same line then carries a clean program, which is stored.
  line.Send(head + tail);
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVFILE.DBF") == 1; }));
}

// The cable is pulled while the port polls and plugged in again: every
// protocol opens its line again and takes the next program.
class HangUpTest : public kvdnc::ProtocolServerTest {
 protected:
  // makeLine(com) plugs a machine's line in; send(line) sends a program on
  // it, which must reach the table.
  template <class MakeLine, class Send>
  void PullAndPlug(int protocol, const Adjust& settings, MakeLine makeLine, Send send, const char* table) {
    for (const char* t : {"KELVFILE.DBF", "KELVDNCF.DBF"}) {
      std::filesystem::remove(DbPath(t));
      CreateTable<TcbFileTable>(t);
    }
    // The windows go before the server, whose end forgets them.
    std::optional<PortLog> logged(std::in_place);
    PortLog& log = *logged;
    {
      auto first = makeLine(kCom);
      OnePort(protocol, {}, settings);
      StartServer();
      // Before the line goes, the port must be waiting on it.
      ASSERT_TRUE(WaitFor([&] { return log.Has(kCom, "Started", 0) && Polling(); }));
    }
    const int pulled = log.Count();
    auto second = makeLine(kCom);  // plugged in again at once
    ASSERT_TRUE(WaitFor([&] { return log.Has(kCom, "Line opened again", pulled); }));
    ASSERT_TRUE(Polling());
    send(*second);
    EXPECT_TRUE(WaitFor([&] { return RowCount(table) == 1; }));
    logged.reset();
    StopServer();
  }
  static std::unique_ptr<sim::Machine> Line(int com) { return std::make_unique<sim::Machine>(com); }
};

TEST_F(HangUpTest, EveryProtocolOpensItsLineAgain) {
  {
    SCOPED_TRACE("standard");
    PullAndPlug(
        kProtoStandard, [](TMultiDncRecord& r) { StandardTexts(r); }, Line,
        [](sim::Machine& m) { m.Send("%\r\n(PROG1)\r\nG1 X1\r\n%"); }, "KELVFILE.DBF");
  }
  {
    SCOPED_TRACE("raw");
    PullAndPlug(
        kProtoRaw, {}, Line, [](sim::Machine& m) { m.Send("%\r\nG1 X1 Y1 Z1\r\nG1 X2 Y2 Z2\r\n%"); },
        "KELVDNCF.DBF");
  }
  {
    SCOPED_TRACE("Heidenhain");
    PullAndPlug(
        kProtoHeidenhain, [](TMultiDncRecord& r) { r.Number[kPropReadTimeout] = 100; }, Line,
        [](sim::Machine& m) {
          sim::HeidenhainControl c(m);
          EXPECT_EQ(c.Output("PROG9", {"0 BEGIN PGM PROG9 MM", "1 END PGM PROG9 MM"}), "\x06\x06\x06");
        },
        "KELVFILE.DBF");
  }
  {
    SCOPED_TRACE("LSV-2");
    PullAndPlug(
        kProtoLsv2, [](TMultiDncRecord& r) { r.Number[kPropReadTimeout] = 40; },
        [](int com) { return std::make_unique<sim::Lsv2Control>(com); },
        [](sim::Lsv2Control& c) { EXPECT_TRUE(c.Upload("000012", "%\r\nG1 X1\r\nM30\r\n")) << c.error; },
        "KELVFILE.DBF");
  }
  {
    SCOPED_TRACE("Mazak");
    PullAndPlug(
        kProtoMazak,
        [](TMultiDncRecord& r) {
          r.SetListA(kPropMazakType, kMazakT32);
          r.Number[kPropReadTimeout] = 100;
        },
        Line,
        [](sim::Machine& m) {
          sim::MazakControl c(m, kMazakT32);
          EXPECT_EQ(c.WriteBlock("30001A2B0000"), "p00\x04");
          EXPECT_EQ(c.Command("pA"), "p00\x04");
          EXPECT_EQ(c.Command("pA"), "p00\x04");
        },
        "KELVFILE.DBF");
  }
}

// Bytes the raw port took just before the line hung up are kept with the
// rest of the reception.
TEST_F(HangUpTest, RawReceptionKeepsTheBytesBeforeTheHangUp) {
  sim::NoisyLine line(kCom);
  std::optional<PortLog> logged(std::in_place);
  OnePort(kProtoRaw);
  StartServer();
  const std::string data = "%\r\nG1 X1 Y1 Z1\r\nG1 X2 Y2 Z2\r\n";
  line.Send(data);
  ASSERT_TRUE(WaitFor([&] { return line.Unread() == 0 && !Ports[0]->Polling; })) << logged->Text();
  line.HangUp();
  ASSERT_TRUE(WaitFor([&] { return RowCount("KELVDNCF.DBF") == 1; })) << logged->Text();
  EXPECT_EQ(FailedBytes(), data);
  // The windows go before the server, whose end forgets them.
  logged.reset();
  StopServer();
}

// A line that hangs up before the read thread starts fails its read at
// once; the bytes the port took before the hang-up still reach the
// reception, which ends as failed.
TEST_F(EndTriggerTest, ReadOnALineThatHungUpKeepsTheQueuedBytes) {
  constexpr int kLineCom = 22;
  const struct {
    const char* name;
    int protocol;
    void (*read)(void*);
  } cases[] = {{"raw", kProtoRaw, RawReadThread}, {"standard", kProtoStandard, Rs232ReadThread}};
  const std::string data = "%\r\nG1 X1 Y1\r\nG1 X2 Y2\r\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::NoisyLine line(kLineCom);
    auto port = OfflinePort(Row(1, kLineCom, c.protocol));
    ASSERT_TRUE(port->ComHandle);  // the port opens its line
    DWORD errors = 0;
    auto queued = [&] {
      DWORD e = 0;
      plat::COMSTAT st;
      plat::clear_comm_error(port->ComHandle, &e, &st);
      errors |= e;
      return st.cbInQue;
    };
    line.Send(data);
    ASSERT_TRUE(WaitFor([&] { return queued() == data.size(); }));
    line.HangUp();
    ASSERT_TRUE(WaitFor([&] { return queued() && (errors & CE_IOE); }));
    c.read(port.get());
    EXPECT_EQ(port->ReceiveFailed, 1);
    EXPECT_EQ(kvdb::ReadFileBytes(Native(port->TransferPath)), data);
  }
}

// Failed transfers of a port on plain files are named by the minute:
// two within one minute are both kept.
TEST_F(EndTriggerTest, FailedTransfersWithinAMinuteAreBothKept) {
  auto* row = Row(1, 0);
  row->SetListB(kPropFileMode, 1);
  row->SetText(kPropExtension, "NC");
  auto port = OfflinePort(row);
  const std::string texts[] = {"%\r\nFIRST FAILED TRANSFER\r\n", "%\r\nSECOND FAILED TRANSFER\r\n"};
  for (const auto& t : texts) {
    kvdb::WriteFileBytes(Native(port->TransferPath), t);
    EXPECT_EQ(port->StoreFailed(), 1);
  }
  std::vector<std::string> kept;
  for (const auto& e : std::filesystem::directory_iterator(Root() + "/dncfail")) kept.push_back(kvdb::ReadFileBytes(e.path()));
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, std::vector<std::string>(std::begin(texts), std::end(texts)));
}

// A name noise put a control character into, or one that a station
// sharing the directory cannot name a file with, is no file name.
TEST_F(EndTriggerTest, NamesWithControlCharactersAreNoFileNames) {
  for (const char* name : {"O12\r34", "O12\x07", "\x1b[2J", "O1\x7f", "O1?", "O*", "A<B", "A>B", "A|B", "A\"B"})
    EXPECT_FALSE(IsSafeProgramFileName(name)) << name;
  for (const char* name : {"O1234", "O1234.MIN", "PART 7-A_B", "Teil\xe4", "#12"})
    EXPECT_TRUE(IsSafeProgramFileName(name)) << name;
}

}  // namespace
