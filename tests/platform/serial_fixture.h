// Helpers for the serial tests: a pseudo-terminal with the port mapped to
// its slave side and the test playing the machine on the master side, and a
// socket line that stands in for a real UART (modem lines, marked parity
// errors and breaks written by the machine end).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/serial.h"

namespace serial_test {

struct ScaleGuard {
  explicit ScaleGuard(double f) { plat::set_time_scale(f); }
  ~ScaleGuard() { plat::set_time_scale(1.0); }
};

inline void write_all(int fd, const std::string& s) {
  std::size_t off = 0;
  while (off < s.size()) {
    ssize_t w = ::write(fd, s.data() + off, s.size() - off);
    if (w > 0) {
      off += static_cast<std::size_t>(w);
    } else {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 100);
    }
  }
}

// Everything that arrives until the line stays quiet for quiet_ms.
inline std::string read_quiet(int fd, int quiet_ms, std::size_t limit = 1u << 30) {
  std::string out;
  char buf[65536];
  while (out.size() < limit) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, quiet_ms) <= 0) break;
    ssize_t r = ::read(fd, buf, std::min(sizeof buf, limit - out.size()));
    if (r <= 0) break;
    out.append(buf, static_cast<std::size_t>(r));
  }
  return out;
}

// Everything that arrives within ms (a fixed window, however busy).
inline std::string read_for(int fd, int ms) {
  std::string out;
  char buf[4096];
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    ssize_t r = ::read(fd, buf, sizeof buf);
    if (r > 0) out.append(buf, static_cast<std::size_t>(r));
  }
  return out;
}

// The port's COM number maps to the slave of a fresh pseudo-terminal; the
// test is the machine on the master side. The slave stays open here too,
// so the master never sees a hang-up between a close and a reopen.
struct Pty {
  int master = -1;
  int slave = -1;
  std::string path;

  explicit Pty(int com) {
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    path = name;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // The machine end passes bytes untouched.
    termios t;
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
    plat::map_comm_port(com, path);
  }
  ~Pty() {
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
    plat::reset_comm_ports();
  }
};

// A line over a socket pair. What the machine end writes is what the port
// reads, in the marked form (0xFF 0x00 c parity error, 0xFF 0x00 0x00
// break, 0xFF 0xFF data 0xFF). Counts the bytes the port wrote and how many
// had been written when an XOFF byte was handed to the port.
struct SocketLineState {
  std::atomic<DWORD> modem{MS_CTS_ON | MS_DSR_ON};
  std::atomic<bool> dtr{false};
  std::atomic<long> written{0};
  std::atomic<long> written_at_xoff{-1};
  // The device's output queue as the line reports it; with count_queue
  // every written byte stays in it until the test says it went out.
  std::atomic<long> out_queue{0};
  std::atomic<bool> count_queue{false};
  int machine = -1;
};

class SocketLine : public plat::SerialLine {
 public:
  SocketLine(int fd, std::shared_ptr<SocketLineState> st) : fd_(fd), st_(std::move(st)) {}
  ~SocketLine() override { close(fd_); }
  int fd() const override { return fd_; }
  bool configure(const plat::DCB&) override { return true; }
  void current(plat::DCB&) override {}
  long read(unsigned char* buf, std::size_t n) override {
    ssize_t r = ::read(fd_, buf, n);
    if (r == 0) return -1;
    if (r < 0) return errno == EAGAIN ? 0 : -1;
    for (ssize_t i = 0; i < r; ++i)
      if (buf[i] == 0x13 && st_->written_at_xoff.load() < 0) st_->written_at_xoff = st_->written.load();
    return r;
  }
  long write(const unsigned char* buf, std::size_t n) override {
    ssize_t r = ::write(fd_, buf, n);
    if (r < 0) return errno == EAGAIN ? 0 : -1;
    st_->written += r;
    if (st_->count_queue) st_->out_queue += r;
    return r;
  }
  DWORD modem_status() override { return st_->modem.load(); }
  bool set_dtr(bool on) override {
    st_->dtr = on;
    return true;
  }
  bool set_rts(bool) override { return true; }
  DWORD out_queue() override { return static_cast<DWORD>(st_->out_queue.load()); }
  void flush_input() override {}
  void flush_output() override {}

 private:
  int fd_;
  std::shared_ptr<SocketLineState> st_;
};

// Installs the socket line for every port opened while it lives.
struct SocketSeam {
  std::shared_ptr<SocketLineState> st = std::make_shared<SocketLineState>();
  SocketSeam() {
    plat::set_comm_line_factory([st = st](const std::string&, DWORD*) -> std::unique_ptr<plat::SerialLine> {
      int sv[2];
      if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv) != 0) return nullptr;
      if (st->machine >= 0) close(st->machine);
      st->machine = sv[1];
      return std::make_unique<SocketLine>(sv[0], st);
    });
  }
  ~SocketSeam() {
    plat::reset_comm_ports();
    if (st->machine >= 0) close(st->machine);
  }
  int machine() const { return st->machine; }
};

// Waits (real time, bounded) until pred holds.
template <class Pred>
bool eventually(Pred pred, int ms = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return pred();
}

inline plat::COMSTAT status(plat::HCOMM h, DWORD* errors = nullptr) {
  plat::COMSTAT cs;
  DWORD e = 0;
  plat::clear_comm_error(h, &e, &cs);
  if (errors) *errors = e;
  return cs;
}

}  // namespace serial_test
