// Software XON/XOFF in the port, CTS hold, parity errors and breaks: over a
// pseudo-terminal where it can carry them, through the socket line where
// it cannot.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/serial.h"
#include "serial_fixture.h"

namespace {

using namespace serial_test;

void set_flow(plat::HCOMM h, DWORD outx, DWORD inx, DWORD cts = 0) {
  plat::DCB dcb;
  plat::get_comm_state(h, &dcb);
  dcb.fOutX = outx;
  dcb.fInX = inx;
  dcb.fOutxCtsFlow = cts;
  dcb.BaudRate = 115200;  // a pseudo-terminal's output is paced by it
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  ASSERT_TRUE(plat::set_comm_state(h, &dcb));
}

std::string read_now(plat::HCOMM h) {
  plat::COMMTIMEOUTS to{MAXDWORD, 0, 0, 0, 0};
  plat::set_comm_timeouts(h, &to);
  std::string buf(65536, '\0');
  DWORD got = 0;
  EXPECT_TRUE(plat::read_comm(h, buf.data(), buf.size(), &got, nullptr));
  buf.resize(got);
  return buf;
}

TEST(SoftwareFlow, XoffHoldsAWriteAndXonResumesItWithNothingLost) {
  Pty pty(6);
  plat::HCOMM h = plat::open_comm("\\\\.\\COM6");
  ASSERT_NE(h, nullptr) << plat::last_comm_open_error();
  set_flow(h, 1, 0);
  write_all(pty.master, "\x13");
  ASSERT_TRUE(eventually([&] { return status(h).fXoffHold == 1; }));
  std::string data(3000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('0' + i % 10);
  plat::Event ev(true);
  plat::OVERLAPPED ov;
  ov.hEvent = &ev;
  DWORD done = 0;
  EXPECT_FALSE(plat::write_comm(h, data.data(), data.size(), &done, &ov));
  EXPECT_EQ(read_quiet(pty.master, 50), "");
  plat::COMSTAT cs = status(h);
  EXPECT_EQ(cs.cbOutQue, data.size());
  EXPECT_EQ(cs.fXoffHold, 1u);
  write_all(pty.master, "\x11");
  // Read until all came: a loaded machine may pause the line for longer
  // than any quiet spell a reader could wait out.
  std::string got;
  eventually([&] {
    got += read_quiet(pty.master, 10);
    return got.size() >= data.size();
  });
  EXPECT_EQ(got, data);
  EXPECT_TRUE(plat::get_overlapped_result(h, &ov, &done, TRUE));
  EXPECT_EQ(done, data.size());
  EXPECT_EQ(status(h).fXoffHold, 0u);
  plat::close_comm(h);
}

// The flow bytes are taken out of the received data only while output
// XON/XOFF is on; switching it at run time takes effect at once.
TEST(SoftwareFlow, FlowBytesAreConsumedOnlyWhileOutputFlowIsOn) {
  Pty pty(6);
  plat::HCOMM h = plat::open_comm("\\\\.\\COM6");
  ASSERT_NE(h, nullptr);
  struct Case {
    DWORD outx;
    std::string sent, read;
  };
  const Case cases[] = {
      {1, "A\x13" "B\x11" "C", "ABC"},
      {0, "A\x13" "B\x11" "C", "A\x13" "B\x11" "C"},
      {1, "\x11\x11xy\x13\x11", "xy"},
  };
  for (const auto& c : cases) {
    set_flow(h, c.outx, 0);
    write_all(pty.master, c.sent);
    ASSERT_TRUE(eventually([&] { return status(h).cbInQue == c.read.size(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(read_now(h), c.read);
    EXPECT_EQ(status(h).fXoffHold, 0u);
  }
  // A hold left when output flow is switched off is released with it.
  set_flow(h, 1, 0);
  write_all(pty.master, "\x13");
  ASSERT_TRUE(eventually([&] { return status(h).fXoffHold == 1; }));
  set_flow(h, 0, 0);
  EXPECT_EQ(status(h).fXoffHold, 0u);
  plat::close_comm(h);
}

TEST(SoftwareFlow, XoffStopsTransmissionWithinOneByte) {
  SocketSeam seam;
  plat::HCOMM h = plat::open_comm("\\\\.\\COM1");
  ASSERT_NE(h, nullptr);
  set_flow(h, 1, 0);
  std::string data(2 << 20, 'a');
  plat::Event ev(true);
  plat::OVERLAPPED ov;
  ov.hEvent = &ev;
  DWORD done = 0;
  plat::write_comm(h, data.data(), data.size(), &done, &ov);
  std::string got = read_quiet(seam.machine(), 200, 100000);
  ASSERT_EQ(got.size(), 100000u);
  write_all(seam.machine(), "\x13");
  ASSERT_TRUE(eventually([&] { return status(h).fXoffHold == 1; }));
  // Whatever the line still held is drained; then nothing more comes.
  std::string after = read_quiet(seam.machine(), 100);
  long at_xoff = seam.st->written_at_xoff.load();
  ASSERT_GE(at_xoff, 0);
  EXPECT_LE(seam.st->written.load() - at_xoff, 1);
  EXPECT_EQ(read_quiet(seam.machine(), 50), "");
  write_all(seam.machine(), "\x11");
  std::string rest = read_quiet(seam.machine(), 200);
  EXPECT_EQ(got.size() + after.size() + rest.size(), data.size());
  EXPECT_TRUE(plat::get_overlapped_result(h, &ov, &done, TRUE));
  EXPECT_EQ(done, data.size());
  plat::close_comm(h);
}

// With receive flow on, a queue that fills up sends XOFF, and reading it
// empty sends XON; nothing the machine sent is lost.
TEST(SoftwareFlow, FullReceiveQueueSendsXoffAndDrainingSendsXon) {
  SocketSeam seam;
  plat::HCOMM h = plat::open_comm("\\\\.\\COM1");
  ASSERT_NE(h, nullptr);
  set_flow(h, 0, 1);
  std::string data(200000, 'r');
  std::thread machine([&] { write_all(seam.machine(), data); });
  ASSERT_TRUE(eventually([&] { return status(h).fXoffSent == 1; }));
  std::string got;
  while (got.size() < data.size()) {
    std::string part = read_now(h);
    got += part;
    if (part.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  machine.join();
  EXPECT_EQ(got, data);
  // This machine ignores XOFF, so the queue may fill more than once: the
  // port answers with XOFF, XON, XOFF ... and ends on XON.
  std::string flow = read_quiet(seam.machine(), 20);
  ASSERT_FALSE(flow.empty());
  EXPECT_EQ(flow.size() % 2, 0u);
  for (std::size_t i = 0; i < flow.size(); ++i) EXPECT_EQ(flow[i], i % 2 ? '\x11' : '\x13') << i;
  EXPECT_EQ(status(h).fXoffSent, 0u);
  plat::close_comm(h);
}

TEST(HardwareFlow, CtsOffHoldsTransmissionUntilItComesBack) {
  SocketSeam seam;
  plat::HCOMM h = plat::open_comm("\\\\.\\COM1");
  ASSERT_NE(h, nullptr);
  set_flow(h, 0, 0, 1);
  seam.st->modem = MS_DSR_ON;  // CTS off
  DWORD ms = 0;
  ASSERT_TRUE(plat::get_comm_modem_status(h, &ms));
  EXPECT_EQ(ms & MS_CTS_ON, 0u);
  plat::Event ev(true);
  plat::OVERLAPPED ov;
  ov.hEvent = &ev;
  DWORD done = 0;
  EXPECT_FALSE(plat::write_comm(h, "N10 G0 X0\r\n", 11, &done, &ov));
  EXPECT_EQ(read_quiet(seam.machine(), 50), "");
  plat::COMSTAT cs = status(h);
  EXPECT_EQ(cs.fCtsHold, 1u);
  EXPECT_EQ(cs.cbOutQue, 11u);
  seam.st->modem = MS_CTS_ON | MS_DSR_ON;
  EXPECT_EQ(read_quiet(seam.machine(), 100), "N10 G0 X0\r\n");
  EXPECT_TRUE(plat::get_overlapped_result(h, &ov, &done, TRUE));
  EXPECT_EQ(done, 11u);
  EXPECT_EQ(status(h).fCtsHold, 0u);
  plat::close_comm(h);
}

TEST(LineErrors, ParityErrorsAndBreaksAreReportedAndMarkedBytesDecoded) {
  SocketSeam seam;
  plat::HCOMM h = plat::open_comm("\\\\.\\COM1");
  ASSERT_NE(h, nullptr);
  struct Case {
    DWORD replace;
    std::string wire, read;
    DWORD errors;
  };
  const Case cases[] = {
      {1, std::string("AB\xFF\x00" "CD", 6), "AB#D", CE_RXPARITY},
      {0, std::string("AB\xFF\x00" "CD", 6), "ABCD", CE_RXPARITY},
      {1, std::string("x\xFF\xFFy", 4), "x\xFFy", 0},
      {1, std::string("x\xFF\x00\x00y", 5), "xy", CE_BREAK},
      // Marks past the first eight bytes of a block, and a plain block.
      {1, std::string("01234567\xFF\xFF" "89ABCDEF", 18), "01234567\xFF" "89ABCDEF", 0},
      {1, std::string("0123456789\xFF\x00" "CDEFGH", 18), "0123456789#DEFGH", CE_RXPARITY},
      {1, "0123456789ABCDEFGHIJ", "0123456789ABCDEFGHIJ", 0},
  };
  for (const auto& c : cases) {
    plat::DCB dcb;
    plat::get_comm_state(h, &dcb);
    dcb.fParity = 1;
    dcb.fErrorChar = c.replace;
    dcb.ErrorChar = '#';
    ASSERT_TRUE(plat::set_comm_state(h, &dcb));
    write_all(seam.machine(), c.wire);
    std::string got;
    ASSERT_TRUE(eventually([&] {
      got += read_now(h);
      return got.size() >= c.read.size();
    }));
    EXPECT_EQ(got, c.read);
    DWORD errors = 0;
    status(h, &errors);
    EXPECT_EQ(errors, c.errors);
    status(h, &errors);
    EXPECT_EQ(errors, 0u);  // reading the errors clears them
  }
  EXPECT_TRUE(plat::clear_comm_break(h));
  plat::close_comm(h);
}

TEST(ModemLines, DtrFollowsTheEscapeFunctions) {
  SocketSeam seam;
  plat::HCOMM h = plat::open_comm("\\\\.\\COM1");
  ASSERT_NE(h, nullptr);
  struct Case {
    DWORD fn;
    bool dtr;
  };
  for (const Case& c : {Case{SETDTR, true}, Case{CLRDTR, false}, Case{SETDTR, true}}) {
    EXPECT_TRUE(plat::escape_comm_function(h, c.fn));
    EXPECT_EQ(seam.st->dtr.load(), c.dtr);
  }
  EXPECT_FALSE(plat::escape_comm_function(h, 99));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  plat::close_comm(h);
}

}  // namespace

namespace {

// The poll thread waits for a received byte or a break; a break-only mask
// lets data pass without ending the wait.
TEST(LineErrors, BreakEndsACommEventWait) {
  using namespace serial_test;
  SocketSeam seam;
  plat::HCOMM h = plat::open_comm("\\\\.\\COM1");
  ASSERT_NE(h, nullptr);
  struct Case {
    DWORD mask;
    std::string wire;
    DWORD expect;  // 0: the wait stays pending
  };
  const Case cases[] = {
      {EV_BREAK, "data", 0},
      {EV_BREAK, std::string("\xFF\x00\x00", 3), EV_BREAK},
      {EV_RXCHAR | EV_BREAK, std::string("\xFF\x00\x00", 3), EV_BREAK},
      {EV_RXCHAR | EV_BREAK, "d", EV_RXCHAR},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(plat::set_comm_mask(h, c.mask));
    plat::Event ev(true);
    plat::OVERLAPPED ov;
    ov.hEvent = &ev;
    DWORD mask = 0;
    ASSERT_FALSE(plat::wait_comm_event(h, &mask, &ov));
    write_all(seam.machine(), c.wire);
    if (c.expect == 0) {
      ASSERT_TRUE(eventually([&] { return status(h).cbInQue == c.wire.size(); }));
      EXPECT_FALSE(ev.is_set());
      plat::set_comm_mask(h, 0);  // ends the wait
    }
    EXPECT_EQ(ev.wait(INFINITE), WAIT_OBJECT_0);
    DWORD n = 0;
    EXPECT_TRUE(plat::get_overlapped_result(h, &ov, &n, TRUE));
    EXPECT_EQ(mask, c.expect);
    plat::purge_comm(h, PURGE_RXCLEAR);
    status(h);
  }
  plat::close_comm(h);
}

}  // namespace

namespace {

using namespace serial_test;

// A machine that chatters while it receives fills the receive queue; its
// XOFF must still be read and stop the send. A pseudo-terminal cannot
// report its output queue, so the send is paced by the baud: it never runs
// ahead of the time since the write began, and from the hold on nothing
// more goes. What found the queue full is lost and reported as a receive
// overrun; the queue keeps what came first. The pseudo-terminal carries
// bytes late on a loaded machine, so what went out is counted from the
// port's output queue, never from a window of time at the machine end.
TEST(SoftwareFlow, XoffIsHeededWithAFullReceiveQueue) {
  Pty pty(6);
  plat::HCOMM h = plat::open_comm("\\\\.\\COM6");
  ASSERT_NE(h, nullptr);
  plat::DCB dcb;
  plat::get_comm_state(h, &dcb);
  dcb.BaudRate = 1200;  // 120 bytes a second: 8.3 ms a byte
  dcb.fOutX = 1;
  ASSERT_TRUE(plat::set_comm_state(h, &dcb));
  const std::size_t queue = 64 * 1024;
  std::string chatter(queue + 4096, '\0');
  for (std::size_t i = 0; i < chatter.size(); ++i) chatter[i] = static_cast<char>('a' + i % 26);
  write_all(pty.master, chatter);
  DWORD seen = 0;
  auto full_and_read = [&] {
    DWORD e = 0;
    plat::COMSTAT cs = status(h, &e);
    seen |= e;
    return cs.cbInQue == queue && (seen & CE_RXOVER);
  };
  ASSERT_TRUE(eventually(full_and_read));

  std::string data(100, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('A' + i % 26);
  plat::Event ev(true);
  plat::OVERLAPPED ov;
  ov.hEvent = &ev;
  DWORD done = 0;
  const auto began = std::chrono::steady_clock::now();
  EXPECT_FALSE(plat::write_comm(h, data.data(), data.size(), &done, &ov));
  std::string before;
  ASSERT_TRUE(eventually([&] {
    before += read_quiet(pty.master, 10);
    return before.size() >= 10;
  }));
  // No faster than the line: a tick's worth (4 bytes) may go at once.
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
  EXPECT_LE(before.size(), static_cast<std::size_t>(ms.count() * 120 / 1000) + 5u);
  write_all(pty.master, "xy\x13z");
  ASSERT_TRUE(eventually([&] { return status(h).fXoffHold == 1; })) << "the XOFF behind a full queue was read";
  const std::size_t sent = data.size() - status(h).cbOutQue;
  EXPECT_LT(sent, data.size());
  // All that went before the hold arrives, then nothing more.
  std::string after;
  eventually([&] {
    after += read_quiet(pty.master, 10);
    return before.size() + after.size() >= sent;
  });
  EXPECT_EQ(before.size() + after.size(), sent);
  EXPECT_EQ(read_quiet(pty.master, 100), "");
  plat::COMSTAT cs = status(h);
  EXPECT_EQ(cs.fXoffHold, 1u);
  EXPECT_EQ(cs.cbOutQue, data.size() - sent);
  write_all(pty.master, "\x11");
  std::string rest;
  eventually([&] {
    rest += read_quiet(pty.master, 10);
    return before.size() + after.size() + rest.size() >= data.size();
  });
  EXPECT_EQ(before + after + rest, data);
  EXPECT_TRUE(plat::get_overlapped_result(h, &ov, &done, TRUE));
  EXPECT_EQ(done, data.size());
  EXPECT_EQ(read_now(h), chatter.substr(0, queue));
  plat::close_comm(h);
}

// A write aborted by a purge that also clears the transmit side counts
// only what left the device, not what the clear threw away.
TEST(SoftwareFlow, PurgedWriteCountsOnlyBytesThatLeftTheDevice) {
  SocketSeam seam;
  seam.st->count_queue = true;
  plat::HCOMM h = plat::open_comm("\\\\.\\COM1");
  ASSERT_NE(h, nullptr);
  set_flow(h, 1, 0);
  std::string data(1000, 'p');
  plat::Event ev(true);
  plat::OVERLAPPED ov;
  ov.hEvent = &ev;
  DWORD done = 0;
  EXPECT_FALSE(plat::write_comm(h, data.data(), data.size(), &done, &ov));
  // The device takes its share and holds it: its queue never drains.
  ASSERT_TRUE(eventually([&] { return seam.st->written.load() >= 64; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const long taken = seam.st->written.load();
  ASSERT_LT(taken, static_cast<long>(data.size()));
  seam.st->count_queue = false;
  seam.st->out_queue = taken - 40;  // 40 of them went out
  EXPECT_TRUE(plat::purge_comm(h, PURGE_TXABORT | PURGE_TXCLEAR));
  EXPECT_FALSE(plat::get_overlapped_result(h, &ov, &done, TRUE));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(done, 40u);
  plat::close_comm(h);
}

}  // namespace
