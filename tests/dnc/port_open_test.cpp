// Opening a port: the row's line settings as the serial layer reads them
// back on a pseudo-terminal, the time-outs, the converted byte lists, and
// the rows that must not give an open port.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "dnc/dnclog.h"
#include "dnc_fixture.h"
#include "platform/ui/resource.h"
#include "tests/sim/machine_sim.h"

namespace {

using kvdnc::DncTest;

class PortOpenTest : public DncTest {
 protected:
  void SetUp() override {
    DncTest::SetUp();
    plat::set_resource_dir(KV_SOURCE_DIR "/resources");
    Globals->DebugMode = 1;
    CreateDncDebugWindows(nullptr);
  }
  void TearDown() override {
    DestroyDncDebugWindows();
    plat::set_comm_line_factory({});
    DncTest::TearDown();
  }
  static std::vector<std::string> LogLines() {
    std::vector<std::string> out;
    TDncDebug* w = DncDebugWindow(0);
    for (int i = 0; w && i < w->List()->GetCount(); i++) out.push_back(w->List()->GetString(i));
    return out;
  }
};

TEST_F(PortOpenTest, BaudTable) {
  const long expected[] = {0, 0, 0, 0, 0, 300, 600, 1200, 1800, 2400, 4800, 7200, 9600, 19200, 38400, 57600, 115200};
  for (long i = 0; i <= 16; i++) EXPECT_EQ(DncBaudRate(i), expected[i]) << i;
  EXPECT_EQ(DncBaudRate(17), -1);
  EXPECT_EQ(DncBaudRate(-1), -1);
}

struct SettingsCase {
  const char* what;
  int protocol, baud, dataBits, stopBits, parity, flow, timeout;
  DWORD rate;
  BYTE byteSize, stop, par;
  DWORD outCts, outX, inX;
  int xon, xoff;
  DWORD rts, dtr, errorChar;
  DWORD readMultiplier, writeMultiplier;
};

TEST_F(PortOpenTest, SettingsFromPortRows) {
  sim::Machine m(5);
  ASSERT_TRUE(m.ok());
  const SettingsCase cases[] = {
      {"9600 8N1 no flow", 0, 12, 3, 0, 0, 0, 20, 9600, 8, ONESTOPBIT, NOPARITY, 0, 0, 0, 17, 19, RTS_CONTROL_DISABLE,
       DTR_CONTROL_DISABLE, 1, 10, 100},
      {"software flow, standard", 0, 9, 2, 1, 2, 1, 5, 2400, 7, TWOSTOPBITS, EVENPARITY, 0, 1, 1, 17, 19,
       RTS_CONTROL_ENABLE, DTR_CONTROL_ENABLE, 1, 10, 100},
      {"software flow, Heidenhain: output only", 2, 16, 3, 0, 1, 1, 5, 115200, 8, ONESTOPBIT, ODDPARITY, 0, 1, 0, 17,
       19, RTS_CONTROL_ENABLE, DTR_CONTROL_ENABLE, 1, 10000, 10000},
      {"hardware flow, standard: XON/XOFF both ways", 0, 11, 3, 0, 0, 2, 5, 7200, 8, ONESTOPBIT, NOPARITY, 1, 1, 1, 17,
       19, RTS_CONTROL_HANDSHAKE, DTR_CONTROL_ENABLE, 1, 10, 100},
      {"hardware flow, LSV-2: 255/254, none", 3, 13, 3, 0, 0, 2, 5, 19200, 8, ONESTOPBIT, NOPARITY, 1, 0, 0, 255, 254,
       RTS_CONTROL_HANDSHAKE, DTR_CONTROL_ENABLE, 1, 10, 100},
      {"both, raw: no XON/XOFF", 4, 8, 3, 0, 4, 3, 5, 1800, 8, ONESTOPBIT, SPACEPARITY, 1, 0, 0, 17, 19,
       RTS_CONTROL_HANDSHAKE, DTR_CONTROL_ENABLE, 1, 10, 100},
      {"Mazak: no error replacement, slow time-outs", 1, 12, 3, 0, 0, 0, 5, 9600, 8, ONESTOPBIT, NOPARITY, 0, 0, 0,
       17, 19, RTS_CONTROL_DISABLE, DTR_CONTROL_DISABLE, 0, 10000, 10000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto* row = Row(1, 5, c.protocol);
    row->Number[kPropBaud] = c.baud;
    row->Number[kPropDataBits] = c.dataBits;
    row->Number[kPropStopBits] = c.stopBits;
    row->Number[kPropParity] = c.parity;
    row->Number[kPropFlow] = c.flow;
    row->Number[kPropReadTimeout] = c.timeout;
    TDncPort port(row);
    ASSERT_EQ(port.OpenResult, 1);
    plat::DCB d;
    ASSERT_TRUE(plat::get_comm_state(port.ComHandle, &d));
    EXPECT_EQ(d.BaudRate, c.rate);
    EXPECT_EQ(d.ByteSize, c.byteSize);
    EXPECT_EQ(d.StopBits, c.stop);
    EXPECT_EQ(d.Parity, c.par);
    EXPECT_EQ(d.fOutxCtsFlow, c.outCts);
    EXPECT_EQ(d.fOutX, c.outX);
    EXPECT_EQ(d.fInX, c.inX);
    EXPECT_EQ(static_cast<unsigned char>(d.XonChar), c.xon);
    EXPECT_EQ(static_cast<unsigned char>(d.XoffChar), c.xoff);
    EXPECT_EQ(d.fRtsControl, c.rts);
    EXPECT_EQ(d.fDtrControl, c.dtr);
    EXPECT_EQ(d.fErrorChar, c.errorChar);
    EXPECT_EQ(d.ErrorChar, '#');
    EXPECT_EQ(d.fBinary, 1u);
    EXPECT_EQ(d.fParity, 1u);
    plat::COMMTIMEOUTS t;
    ASSERT_TRUE(plat::get_comm_timeouts(port.ComHandle, &t));
    EXPECT_EQ(t.ReadIntervalTimeout, 10000u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, c.readMultiplier);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, static_cast<DWORD>(c.timeout) * 1000);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, c.writeMultiplier);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 20000u);
    DWORD mask = 0;
    ASSERT_TRUE(plat::get_comm_mask(port.ComHandle, &mask));
    EXPECT_EQ(mask, EV_RXCHAR);
  }
}

TEST_F(PortOpenTest, IndexPastTheTableKeepsTheDeviceRate) {
  sim::Machine m(5);
  plat::HCOMM h = plat::open_comm("\\\\.\\COM5");
  ASSERT_NE(h, nullptr);
  plat::DCB before;
  plat::get_comm_state(h, &before);
  plat::close_comm(h);
  auto* row = Row(1, 5);
  row->Number[kPropBaud] = 17;
  TDncPort port(row);
  ASSERT_EQ(port.OpenResult, 1);
  plat::DCB d;
  plat::get_comm_state(port.ComHandle, &d);
  EXPECT_EQ(d.BaudRate, before.BaudRate);
}

TEST_F(PortOpenTest, RatesBelow300AreRefusedWithALogLine) {
  sim::Machine m(5);
  auto* row = Row(1, 5);
  row->Number[kPropBaud] = 4;
  TDncPort port(row);
  EXPECT_EQ(port.OpenResult, 0);
  EXPECT_EQ(port.ComHandle, nullptr);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"COMM-5 : 4", "COMM-5 : Baud index 4 not supported"}));
  // The line is free again.
  plat::HCOMM h = plat::open_comm("\\\\.\\COM5");
  EXPECT_NE(h, nullptr);
  plat::close_comm(h);
}

TEST_F(PortOpenTest, SettingsTheDeviceRefusesLeaveThePortClosed) {
  struct Refusing : plat::SerialLine {
    std::unique_ptr<plat::SerialLine> line;
    int fd() const override { return line->fd(); }
    bool configure(const plat::DCB&) override { return false; }
    void current(plat::DCB& d) override { line->current(d); }
    long read(unsigned char* b, std::size_t n) override { return line->read(b, n); }
    long write(const unsigned char* b, std::size_t n) override { return line->write(b, n); }
    DWORD modem_status() override { return line->modem_status(); }
    bool set_dtr(bool on) override { return line->set_dtr(on); }
    bool set_rts(bool on) override { return line->set_rts(on); }
    DWORD out_queue() override { return line->out_queue(); }
    void flush_input() override { line->flush_input(); }
    void flush_output() override { line->flush_output(); }
  };
  sim::Machine m(5);
  plat::set_comm_line_factory([](const std::string& device, DWORD* error) -> std::unique_ptr<plat::SerialLine> {
    auto inner = plat::open_termios_line(device, error);
    if (!inner) return nullptr;
    auto r = std::make_unique<Refusing>();
    r->line = std::move(inner);
    return r;
  });
  TDncPort port(Row(1, 5));
  EXPECT_EQ(port.OpenResult, 0);
  EXPECT_EQ(port.ComHandle, nullptr);
  EXPECT_EQ(LogLines().back(), "COMM-5 : Line settings refused by the device");
}

// The log shows the baud index line, then why the device did not open.
TEST_F(PortOpenTest, MissingOrBusyDevice) {
  const std::string gone = Root() + "/no-such-tty";
  plat::map_comm_port(9, gone);
  TDncPort missing(Row(1, 9));
  EXPECT_EQ(missing.OpenResult, 0);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"COMM-9 : 12", "COMM-9 : COM9 -> " + gone + ": no such device"}));

  sim::Machine m(5);
  TDncPort first(Row(1, 5));
  ASSERT_EQ(first.OpenResult, 1);
  TDncPort second(Row(2, 5));
  EXPECT_EQ(second.OpenResult, 0);
  EXPECT_EQ(second.OpenError, "COM5: already open in this program");
  // Reset opens again; on a closed handle it only opens.
  first.ResetPort();
  EXPECT_EQ(first.OpenResult, 1);
  plat::close_comm(first.ComHandle);
  first.ComHandle = nullptr;
  first.ResetPort();
  EXPECT_EQ(first.OpenResult, 1);
}

TEST_F(PortOpenTest, RowTextsConvertedOnce) {
  auto* row = Row(7, 0);
  row->SetText(kPropFeedStart, "37,");
  row->SetText(kPropBeforeFile, "3*0,13");
  row->SetText(kPropAfterFile, "2*10");
  row->SetText(kPropFeedEnd, ",37");
  row->SetText(kPropReceiveLineEnd, "13,10");
  TDncPort port(row);
  EXPECT_EQ(port.StartTrigger, std::string("%\0\0\0\r", 5));
  EXPECT_EQ(port.EndTrigger, "\n\n%");
  EXPECT_EQ(port.Codes(kPropReceiveLineEnd), "\r\n");
  EXPECT_EQ(port.LineEnd, "\r\n");
  EXPECT_STREQ(port.Record->GetValue(kPropName), "MILL1");
  EXPECT_EQ(kvdnc::DncTest::Native(port.TransferPath), Root() + "/temp/PORT7.DNC");

  TDncPort empty(Row(8, 0));
  EXPECT_TRUE(empty.StartTrigger.empty());
  EXPECT_TRUE(empty.EndTrigger.empty());
  EXPECT_EQ(empty.LineEnd, "\r\n");
  auto* odd = Row(9, 0);
  odd->SetText(kPropLineEnd, "59");
  odd->SetText(kPropMachineDir, "X:\\KEEP\\");
  odd->Number[kPropMachineId] = 4711;
  TDncPort other(odd);
  EXPECT_EQ(other.LineEnd, ";");
  EXPECT_STREQ(other.Record->GetValue(kPropMachineDir), "X:\\KEEP\\");
}

}  // namespace

namespace {

TEST_F(PortOpenTest, StopReleasesEveryThreadOfThePort) {
  TDncPort port(Row(1, 0));
  std::atomic<int> released{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; i++)
    threads.emplace_back([&] {
      plat::Waitable* waits[] = {&port.StopEvent, port.HandOff[0].get()};
      if (plat::wait_for_multiple(waits, 2, false, INFINITE) == WAIT_OBJECT_0) released++;
    });
  port.StopEvent.set();
  for (auto& t : threads) t.join();
  EXPECT_EQ(released.load(), 3);
  EXPECT_EQ(port.HandOff.size(), 33u);
}

TEST_F(PortOpenTest, RequestsAreKeptInOrder) {
  TDncPort port(Row(1, 0));
  for (int code : {kRequestSend, kRequestParse, kRequestPoll}) port.PushRequest(code);
  EXPECT_EQ(port.TakeRequest(), kRequestSend);
  EXPECT_EQ(port.TakeRequest(), kRequestParse);
  EXPECT_EQ(port.TakeRequest(), kRequestPoll);
  EXPECT_EQ(port.TakeRequest(), kRequestNone);
  EXPECT_FALSE(port.SignalSendRequest()) << "no poll thread: the send request is ignored";
  port.OpenSendRequestEvent();
  EXPECT_TRUE(port.SignalSendRequest());
  port.CloseSendRequestEvent();
  EXPECT_FALSE(port.SignalCancel());
}

}  // namespace
