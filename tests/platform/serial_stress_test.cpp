// Every kind of thread the DNC server runs on one port at once (reading,
// writing, waiting for line events, changing settings and purging) while
// the port is closed and reopened every 100 ms, as the Heidenhain threads
// do after each transfer. The machine chatters, sends XON and XOFF and
// drains what it gets. Nothing may hang, crash or race; `make check` also
// runs this under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "platform/serial.h"
#include "serial_fixture.h"

namespace {

using namespace serial_test;
using Clock = std::chrono::steady_clock;

constexpr auto kRun = std::chrono::seconds(3);

// Every call on a handle that may have been closed meanwhile must fail
// cleanly; the threads then take the current one and go on.
struct Shared {
  std::atomic<plat::HCOMM> h{nullptr};
  std::atomic<bool> stop{false};
  std::atomic<long> reads{0}, writes{0}, waits{0}, reopens{0};
};

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void reader(Shared& s) {
  plat::Event ev(true);
  plat::OVERLAPPED ov;
  ov.hEvent = &ev;
  std::vector<char> buf(1024);
  while (!s.stop) {
    DWORD n = 0;
    plat::HCOMM h = s.h.load();
    if (!plat::read_comm(h, buf.data(), buf.size(), &n, &ov)) {
      if (plat::last_comm_error() != ERROR_IO_PENDING) {
        pause_ms(1);
        continue;
      }
      plat::get_overlapped_result(h, &ov, &n, TRUE);
    }
    ++s.reads;
  }
}

void writer(Shared& s) {
  plat::Event ev(true);
  plat::OVERLAPPED ov, unawaited;
  ov.hEvent = &ev;
  std::string block(200, 'W');
  for (int i = 0; !s.stop; ++i) {
    DWORD n = 0;
    plat::HCOMM h = s.h.load();
    if (i % 4 == 0) {
      plat::write_comm(h, "N1;", 3, &n, &unawaited);  // nobody collects it
      continue;
    }
    if (!plat::write_comm(h, block.data(), block.size(), &n, &ov)) {
      if (plat::last_comm_error() != ERROR_IO_PENDING) {
        pause_ms(1);
        continue;
      }
      plat::get_overlapped_result(h, &ov, &n, TRUE);
    }
    ++s.writes;
  }
}

void event_waiter(Shared& s) {
  plat::Event ev(true);
  plat::OVERLAPPED ov;
  ov.hEvent = &ev;
  while (!s.stop) {
    DWORD mask = 0, n = 0, errors = 0;
    plat::HCOMM h = s.h.load();
    plat::set_comm_mask(h, EV_RXCHAR | EV_BREAK);
    if (!plat::wait_comm_event(h, &mask, &ov)) {
      if (plat::last_comm_error() != ERROR_IO_PENDING) {
        pause_ms(1);
        continue;
      }
      plat::get_overlapped_result(h, &ov, &n, TRUE);
    }
    plat::COMSTAT cs;
    plat::clear_comm_error(h, &errors, &cs);
    ++s.waits;
  }
}

// Settings, escapes, purges and mask changes, and the close and reopen.
void control(Shared& s) {
  std::mt19937 rng(7);
  auto next_reopen = Clock::now() + std::chrono::milliseconds(100);
  while (!s.stop) {
    plat::HCOMM h = s.h.load();
    plat::DCB dcb;
    if (plat::get_comm_state(h, &dcb)) {
      dcb.fOutX = rng() % 2;
      dcb.fInX = rng() % 2;
      dcb.BaudRate = rng() % 2 ? 115200 : 38400;
      plat::set_comm_state(h, &dcb);
    }
    static const DWORD escapes[] = {SETXOFF, SETXON, SETDTR, CLRDTR};
    plat::escape_comm_function(h, escapes[rng() % 4]);
    static const DWORD purges[] = {PURGE_TXABORT | PURGE_TXCLEAR, PURGE_RXABORT | PURGE_RXCLEAR, PURGE_RXCLEAR, 0};
    plat::purge_comm(h, purges[rng() % 4]);
    if (rng() % 3 == 0) plat::set_comm_mask(h, EV_RING);  // ends the event wait
    DWORD ms = 0;
    plat::get_comm_modem_status(h, &ms);
    pause_ms(5);
    if (Clock::now() >= next_reopen) {
      plat::close_comm(h);
      plat::HCOMM fresh = plat::open_comm("\\\\.\\COM11");
      ASSERT_NE(fresh, nullptr) << plat::last_comm_error();
      plat::COMMTIMEOUTS to{20, 1, 50, 1, 50};
      plat::set_comm_timeouts(fresh, &to);
      s.h = fresh;
      ++s.reopens;
      next_reopen += std::chrono::milliseconds(100);
    }
  }
}

void machine(Shared& s, int fd) {
  const std::string chatter = "N10 G01 X1.5\r\n\x13" "N20\r\n\x11";
  char buf[4096];
  while (!s.stop) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 2) > 0) {
      ssize_t r = ::read(fd, buf, sizeof buf);
      (void)r;
    }
    ssize_t w = ::write(fd, chatter.data(), chatter.size());
    (void)w;
  }
}

TEST(SerialStress, ThreadsOnOnePortSurviveCloseAndReopenEvery100ms) {
  Pty pty(11);
  Shared s;
  s.h = plat::open_comm("\\\\.\\COM11");
  ASSERT_NE(s.h.load(), nullptr);
  plat::COMMTIMEOUTS to{20, 1, 50, 1, 50};
  plat::set_comm_timeouts(s.h, &to);
  std::vector<std::thread> threads;
  threads.emplace_back(machine, std::ref(s), pty.master);
  threads.emplace_back(reader, std::ref(s));
  threads.emplace_back(writer, std::ref(s));
  threads.emplace_back(event_waiter, std::ref(s));
  threads.emplace_back(control, std::ref(s));
  std::this_thread::sleep_for(kRun);
  s.stop = true;
  threads.back().join();  // control: the handle stays put from here on
  threads.pop_back();
  plat::close_comm(s.h.load());  // ends whatever the others still wait for
  for (auto& t : threads) t.join();
  EXPECT_GE(s.reopens.load(), 15);
  EXPECT_GT(s.reads.load(), 0);
  EXPECT_GT(s.writes.load(), 0);
  EXPECT_GT(s.waits.load(), 0);
}

}  // namespace
