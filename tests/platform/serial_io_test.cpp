// Overlapped operations waited together with events, comm events, purge,
// close while other threads use the port, a dropped line, and a large
// transfer, over pseudo-terminals.
#include <atomic>
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "platform/serial.h"
#include "serial_fixture.h"

namespace {

using namespace serial_test;

struct Port : ::testing::Test {
  Pty pty{8};
  plat::HCOMM h = plat::open_comm("\\\\.\\COM8");
  ~Port() override {
    if (h) plat::close_comm(h);
  }
  void set_read_timeouts(DWORD interval, DWORD mult, DWORD constant) {
    plat::COMMTIMEOUTS to{interval, mult, constant, 0, 0};
    plat::set_comm_timeouts(h, &to);
  }
};

using CommEvents = Port;

// The poll thread's wait: a received byte ends it without being consumed;
// bytes that came before the mask was set do not.
TEST_F(CommEvents, ReceivedByteEndsTheWaitAndStaysQueued) {
  ASSERT_NE(h, nullptr);
  write_all(pty.master, "old");
  ASSERT_TRUE(eventually([&] { return status(h).cbInQue == 3; }));
  ASSERT_TRUE(plat::set_comm_mask(h, EV_RXCHAR | EV_BREAK));
  plat::Event wait_ev, stop, send;
  plat::OVERLAPPED ov;
  ov.hEvent = &wait_ev;
  DWORD mask = 0;
  EXPECT_FALSE(plat::wait_comm_event(h, &mask, &ov));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_IO_PENDING));
  plat::Waitable* handles[] = {&wait_ev, &stop, &send};
  EXPECT_EQ(plat::wait_for_multiple(handles, 3, false, 30), WAIT_TIMEOUT);
  write_all(pty.master, "%");
  EXPECT_EQ(plat::wait_for_multiple(handles, 3, false, INFINITE), WAIT_OBJECT_0);
  DWORD n = 0;
  EXPECT_TRUE(plat::get_overlapped_result(h, &ov, &n, TRUE));
  EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR));
  EXPECT_EQ(status(h).cbInQue, 4u);
  // An event that happened with no wait pending completes the next wait at once.
  write_all(pty.master, "x");
  ASSERT_TRUE(eventually([&] { return status(h).cbInQue == 5; }));
  EXPECT_TRUE(plat::wait_comm_event(h, &mask, &ov));
  EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR));
}

// Another thread changing the mask ends a pending wait with mask 0, as the
// read and write threads do to stop the poll thread.
TEST_F(CommEvents, MaskChangeEndsAPendingWait) {
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(plat::set_comm_mask(h, EV_RXCHAR));
  plat::Event wait_ev;
  plat::OVERLAPPED ov;
  ov.hEvent = &wait_ev;
  DWORD mask = 77;
  EXPECT_FALSE(plat::wait_comm_event(h, &mask, &ov));
  std::thread other([&] { plat::set_comm_mask(h, EV_RING); });
  EXPECT_EQ(wait_ev.wait(INFINITE), WAIT_OBJECT_0);
  other.join();
  DWORD n = 0;
  EXPECT_TRUE(plat::get_overlapped_result(h, &ov, &n, TRUE));
  EXPECT_EQ(mask, 0u);
  // No mask, nothing to wait for.
  plat::set_comm_mask(h, 0);
  EXPECT_FALSE(plat::wait_comm_event(h, &mask, &ov));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

using Purge = Port;

// The read thread's pending read is waited together with its stop and
// cancel events; a purge from the cancelling side ends it at once.
TEST_F(Purge, AbortEndsAnotherThreadsPendingReadAndWrite) {
  ASSERT_NE(h, nullptr);
  set_read_timeouts(0, 0, 0);  // would wait for ever
  plat::Event read_ev(true), stop, cancel;
  plat::OVERLAPPED rov;
  rov.hEvent = &read_ev;
  char buf[1024];
  DWORD got = 0;
  BOOL ok = TRUE, result = TRUE;
  DWORD error = 0, which = 0;
  // The read is issued here; the reader thread waits for it.
  ASSERT_TRUE(plat::set_comm_mask(h, EV_RXCHAR));
  ok = plat::read_comm(h, buf, sizeof buf, &got, &rov);
  std::thread reader([&] {
    plat::Waitable* handles[] = {&read_ev, &stop, &cancel};
    which = plat::wait_for_multiple(handles, 3, false, INFINITE);
    result = plat::get_overlapped_result(h, &rov, &got, TRUE);
    error = plat::last_comm_error();
  });
  // Once the byte's arrival is signalled, the pending read holds it.
  plat::Event rx_ev(true);
  plat::OVERLAPPED eov;
  eov.hEvent = &rx_ev;
  DWORD mask = 0;
  plat::wait_comm_event(h, &mask, &eov);
  write_all(pty.master, "a");
  ASSERT_EQ(rx_ev.wait(INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(status(h).cbInQue, 0u);
  plat::escape_comm_function(h, SETXOFF);
  plat::Event write_ev(true);
  plat::OVERLAPPED wov;
  wov.hEvent = &write_ev;
  DWORD sent = 0;
  EXPECT_FALSE(plat::write_comm(h, "held", 4, &sent, &wov));
  EXPECT_TRUE(plat::purge_comm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
  reader.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(which, WAIT_OBJECT_0);
  EXPECT_FALSE(result);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(got, 1u);  // what came before the abort is kept
  EXPECT_EQ(std::string(buf, got), "a");
  EXPECT_FALSE(plat::get_overlapped_result(h, &wov, &sent, TRUE));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(status(h).cbOutQue, 0u);
}

TEST_F(Purge, RxClearDropsQueuedBytes) {
  ASSERT_NE(h, nullptr);
  write_all(pty.master, "stale");
  ASSERT_TRUE(eventually([&] { return status(h).cbInQue == 5; }));
  EXPECT_TRUE(plat::purge_comm(h, PURGE_RXCLEAR));
  EXPECT_EQ(status(h).cbInQue, 0u);
  EXPECT_FALSE(plat::purge_comm(h, 0x100));
}

using Writes = Port;

// Answer and send threads write telegrams without awaiting them, sharing
// one OVERLAPPED: every telegram arrives whole and in the order of each
// thread's writes.
TEST_F(Writes, UnawaitedWritesFromTwoThreadsSharingOneRecordAllArrive) {
  ASSERT_NE(h, nullptr);
  plat::Event ev(true);
  plat::OVERLAPPED shared;
  shared.hEvent = &ev;
  auto writer = [&](char tag) {
    for (int i = 0; i < 200; ++i) {
      std::string t = std::string(1, tag) + std::to_string(1000 + i) + ";";
      DWORD n = 0;
      plat::write_comm(h, t.data(), t.size(), &n, &shared);
    }
  };
  std::thread a(writer, 'A'), b(writer, 'B');
  a.join();
  b.join();
  std::string got = read_quiet(pty.master, 100);
  EXPECT_EQ(got.size(), 2u * 200u * 6u);
  for (char tag : {'A', 'B'}) {
    std::size_t pos = 0;
    for (int i = 0; i < 200; ++i) {
      std::string t = std::string(1, tag) + std::to_string(1000 + i) + ";";
      pos = got.find(t, pos);
      ASSERT_NE(pos, std::string::npos) << t;
    }
  }
}

using Lifetime = Port;

// The Heidenhain threads close and reopen the port at the end of each
// transfer while sibling threads still hold the old handle.
TEST_F(Lifetime, CloseEndsSiblingsPendingIoAndReopenWorks) {
  ASSERT_NE(h, nullptr);
  set_read_timeouts(0, 0, 0);
  plat::HCOMM old = h;
  BOOL result = TRUE;
  DWORD error = 0;
  // The close must come while the sibling's read is pending, not before it
  // starts: on a loaded machine a fixed pause is no guarantee of that.
  std::atomic<bool> pending{false};
  std::thread sibling([&] {
    plat::Event ev(true);
    plat::OVERLAPPED ov;
    ov.hEvent = &ev;
    char b[16];
    DWORD n = 0;
    plat::read_comm(old, b, sizeof b, &n, &ov);
    pending = true;
    result = plat::get_overlapped_result(old, &ov, &n, TRUE);
    error = plat::last_comm_error();
  });
  while (!pending) std::this_thread::yield();
  EXPECT_TRUE(plat::close_comm(h));
  sibling.join();
  EXPECT_FALSE(result);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  h = plat::open_comm("\\\\.\\COM8");
  ASSERT_NE(h, nullptr);
  EXPECT_NE(h, old);  // a stale handle never reaches the new port
  DWORD n = 0;
  EXPECT_FALSE(plat::write_comm(old, "x", 1, &n, nullptr));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(plat::write_comm(h, "new", 3, &n, nullptr));
  EXPECT_EQ(read_quiet(pty.master, 50), "new");
}

TEST_F(Lifetime, DroppedLineFailsThePendingReadAndReportsAnIoError) {
  ASSERT_NE(h, nullptr);
  set_read_timeouts(0, 0, 0);
  plat::Event ev(true);
  plat::OVERLAPPED ov;
  ov.hEvent = &ev;
  char b[64];
  DWORD n = 0;
  EXPECT_FALSE(plat::read_comm(h, b, sizeof b, &n, &ov));
  ASSERT_TRUE(plat::set_comm_mask(h, EV_RXCHAR));
  plat::Event rx_ev(true);
  plat::OVERLAPPED eov;
  eov.hEvent = &rx_ev;
  DWORD mask = 0;
  plat::wait_comm_event(h, &mask, &eov);
  write_all(pty.master, "p");
  ASSERT_EQ(rx_ev.wait(INFINITE), WAIT_OBJECT_0);  // the read holds it now
  close(pty.master);
  pty.master = -1;
  close(pty.slave);
  pty.slave = -1;
  EXPECT_FALSE(plat::get_overlapped_result(h, &ov, &n, TRUE));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  EXPECT_EQ(std::string(b, n), "p");
  DWORD errors = 0;
  status(h, &errors);
  EXPECT_EQ(errors & CE_IOE, static_cast<DWORD>(CE_IOE));
  EXPECT_FALSE(plat::write_comm(h, "x", 1, &n, nullptr));
}

// Operations ended by a close report it from their records, as Windows
// does, even though the handle is gone.
TEST_F(Lifetime, RecordsReportTheAbortAfterClose) {
  ASSERT_NE(h, nullptr);
  set_read_timeouts(0, 0, 0);
  ASSERT_TRUE(plat::set_comm_mask(h, EV_RXCHAR));
  ASSERT_TRUE(plat::escape_comm_function(h, SETXOFF));
  plat::Event rev(true), wev(true), eev(true);
  plat::OVERLAPPED rov, wov, eov;
  rov.hEvent = &rev;
  wov.hEvent = &wev;
  eov.hEvent = &eev;
  char b[16];
  DWORD n = 0, mask = 0;
  EXPECT_FALSE(plat::read_comm(h, b, sizeof b, &n, &rov));
  EXPECT_FALSE(plat::write_comm(h, "held", 4, &n, &wov));
  EXPECT_FALSE(plat::wait_comm_event(h, &mask, &eov));
  plat::HCOMM old = h;
  ASSERT_TRUE(plat::close_comm(h));
  h = nullptr;
  for (plat::OVERLAPPED* ov : {&rov, &wov, &eov}) {
    n = 99;
    EXPECT_FALSE(plat::get_overlapped_result(old, ov, &n, FALSE));
    EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(n, 0u);
  }
  plat::OVERLAPPED fresh;
  EXPECT_FALSE(plat::get_overlapped_result(old, &fresh, &n, FALSE));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// An unplugged adapter hangs the line up: the poll thread's pending wait
// ends with an error instead of waiting for ever, and so do later waits.
TEST_F(Lifetime, HangUpEndsAPendingCommEventWait) {
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(plat::set_comm_mask(h, EV_RXCHAR | EV_BREAK));
  plat::Event ev(true);
  plat::OVERLAPPED ov;
  ov.hEvent = &ev;
  DWORD mask = 0, n = 0;
  ASSERT_FALSE(plat::wait_comm_event(h, &mask, &ov));
  close(pty.master);
  pty.master = -1;
  close(pty.slave);
  pty.slave = -1;
  ASSERT_EQ(ev.wait(5000), WAIT_OBJECT_0);
  EXPECT_FALSE(plat::get_overlapped_result(h, &ov, &n, TRUE));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  EXPECT_FALSE(plat::wait_comm_event(h, &mask, &ov));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  DWORD errors = 0;
  status(h, &errors);
  EXPECT_EQ(errors & CE_IOE, static_cast<DWORD>(CE_IOE));
}

using Transfer = Port;

// Ten megabytes each way at once, every byte value (XON, XOFF and 0xFF
// among them) with flow control off: nothing lost or changed.
TEST_F(Transfer, TenMegabytesEachWayArriveUnchanged) {
  ASSERT_NE(h, nullptr);
  std::string out(10 << 20, '\0'), in(10 << 20, '\0');
  std::mt19937 rng(42);
  for (auto& c : out) c = static_cast<char>(rng());
  for (auto& c : in) c = static_cast<char>(rng());
  plat::DCB dcb;
  plat::get_comm_state(h, &dcb);
  dcb.fParity = 1;  // marked bytes must still decode to the data
  plat::set_comm_state(h, &dcb);
  set_read_timeouts(1000, 0, 0);

  std::string machine_got;
  std::thread machine([&] {
    std::size_t off = 0;
    char buf[65536];
    while (machine_got.size() < out.size() || off < in.size()) {
      pollfd p{pty.master, POLLIN, 0};
      if (off < in.size()) p.events |= POLLOUT;
      if (::poll(&p, 1, 5000) <= 0) break;
      if (p.revents & POLLIN) {
        ssize_t r = ::read(pty.master, buf, sizeof buf);
        if (r > 0) machine_got.append(buf, static_cast<std::size_t>(r));
      }
      if (p.revents & POLLOUT) {
        ssize_t w = ::write(pty.master, in.data() + off, std::min<std::size_t>(in.size() - off, 65536));
        if (w > 0) off += static_cast<std::size_t>(w);
      }
    }
  });
  std::thread sender([&] {
    plat::Event ev(true);
    plat::OVERLAPPED ov;
    ov.hEvent = &ev;
    for (std::size_t off = 0; off < out.size(); off += 1000) {
      DWORD n = 0;
      DWORD len = static_cast<DWORD>(std::min<std::size_t>(1000, out.size() - off));
      if (!plat::write_comm(h, out.data() + off, len, &n, &ov)) plat::get_overlapped_result(h, &ov, &n, TRUE);
      ASSERT_EQ(n, len);
    }
  });
  std::string got;
  plat::Event ev(true);
  plat::OVERLAPPED ov;
  ov.hEvent = &ev;
  std::vector<char> buf(1024);
  while (got.size() < in.size()) {
    DWORD n = 0;
    if (!plat::read_comm(h, buf.data(), buf.size(), &n, &ov)) plat::get_overlapped_result(h, &ov, &n, TRUE);
    if (n == 0) break;
    got.append(buf.data(), n);
  }
  sender.join();
  machine.join();
  EXPECT_TRUE(got == in) << "received data differs";
  EXPECT_TRUE(machine_got == out) << "sent data differs";
  DWORD errors = 0;
  status(h, &errors);
  EXPECT_EQ(errors, 0u);
}

}  // namespace
