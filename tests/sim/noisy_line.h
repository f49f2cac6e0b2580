// A serial line with noise on it, for the noise tests: a pseudo-terminal
// mapped to a COM number, whose machine end can send what a noisy line
// delivers: characters the receiving UART flags with a parity or framing
// error, a line that falls silent, and a cable that is pulled (the line
// hangs up; a new one then takes the COM number, as a USB adapter plugged
// in again).
//
// A pseudo-terminal carries no parity, so the line errors travel in band:
// the port's tty marks them as a real one does (PARMRK: 0xFF 0x00 c for a
// character received with an error, 0xFF 0xFF for a 0xFF data byte), and
// while a NoiseLines object lives every port opens its line through a
// wrapper that takes the machine's bytes for that marked form. Send()
// therefore takes the marked form; Plain() and Flagged() make it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/serial.h"

namespace sim {

// While it lives, the lines of all ports read the machines' marked form.
class NoiseLines {
 public:
  NoiseLines() {
    plat::set_comm_line_factory([](const std::string& device, DWORD* error) -> std::unique_ptr<plat::SerialLine> {
      auto line = plat::open_termios_line(device, error);
      if (!line) return nullptr;
      return std::make_unique<Line>(std::move(line));
    });
  }
  ~NoiseLines() { plat::set_comm_line_factory({}); }
  NoiseLines(const NoiseLines&) = delete;
  NoiseLines& operator=(const NoiseLines&) = delete;

 private:
  // The tty doubles every 0xFF the machine wrote; undoing that leaves the
  // machine's own bytes, which are the marked form.
  class Line : public plat::SerialLine {
   public:
    explicit Line(std::unique_ptr<plat::SerialLine> inner) : inner_(std::move(inner)) {}
    int fd() const override { return inner_->fd(); }
    bool configure(const plat::DCB& dcb) override { return inner_->configure(dcb); }
    void current(plat::DCB& dcb) override { inner_->current(dcb); }
    long read(unsigned char* buf, std::size_t n) override {
      const long r = inner_->read(buf, n);
      if (r <= 0) return r;
      std::size_t k = 0;
      for (long i = 0; i < r; i++) {
        if (buf[i] == 0xFF && !halfPair_) {
          halfPair_ = true;
          continue;
        }
        halfPair_ = false;
        buf[k++] = buf[i];
      }
      return static_cast<long>(k);
    }
    long write(const unsigned char* buf, std::size_t n) override { return inner_->write(buf, n); }
    DWORD modem_status() override { return inner_->modem_status(); }
    bool set_dtr(bool on) override { return inner_->set_dtr(on); }
    bool set_rts(bool on) override { return inner_->set_rts(on); }
    DWORD out_queue() override { return inner_->out_queue(); }
    bool reports_out_queue() const override { return inner_->reports_out_queue(); }
    void flush_input() override {
      halfPair_ = false;
      inner_->flush_input();
    }
    void flush_output() override { inner_->flush_output(); }

   private:
    std::unique_ptr<plat::SerialLine> inner_;
    bool halfPair_ = false;
  };
};

class NoisyLine {
 public:
  explicit NoisyLine(int com) : com_(com) { Plug(); }
  ~NoisyLine() { Unplug(); }
  NoisyLine(const NoisyLine&) = delete;
  NoisyLine& operator=(const NoisyLine&) = delete;

  bool ok() const { return master_ >= 0; }
  int com() const { return com_; }

  // The marked form of data bytes and of one character received with a
  // line error.
  static std::string Plain(const std::string& bytes) {
    std::string out;
    for (char c : bytes) {
      out += c;
      if (static_cast<unsigned char>(c) == 0xFF) out += c;
    }
    return out;
  }
  static std::string Flagged(char c) { return std::string("\xFF\x00", 2) + c; }

  // Writes bytes in the marked form.
  void Send(const std::string& marked) {
    std::size_t off = 0;
    while (master_ >= 0 && off < marked.size()) {
      const ssize_t w = ::write(master_, marked.data() + off, marked.size() - off);
      if (w > 0) {
        off += static_cast<std::size_t>(w);
      } else {
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 100);
      }
    }
  }

  // The next byte the server sent within ms; false when none came.
  bool Next(char& c, int ms) {
    if (at_ == buffer_.size()) {
      buffer_.clear();
      at_ = 0;
      const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
      while (buffer_.empty()) {
        if (master_ < 0) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left < 0) return false;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left) + 1) <= 0) continue;
        char buf[4096];
        const ssize_t r = ::read(master_, buf, sizeof buf);
        if (r > 0) buffer_.append(buf, static_cast<std::size_t>(r));
      }
    }
    c = buffer_[at_++];
    return true;
  }
  // Everything the server sends until it is quiet for ms.
  std::string Quiet(int ms) {
    std::string out;
    for (char c; Next(c, ms);) out += c;
    return out;
  }
  // Drops what the server sent and the sim did not read.
  void Forget() {
    buffer_.clear();
    at_ = 0;
  }
  // Drops, besides, what the server sent that still waits on the line:
  // the late answers of an exchange the machine had given up on.
  void ForgetWaiting() {
    Forget();
    char buf[4096];
    while (master_ >= 0 && ::read(master_, buf, sizeof buf) > 0) {
    }
  }

  // Bytes written that the server's line has not taken yet.
  int Unread() const {
    int n = 0;
    if (slave_ < 0 || ::ioctl(slave_, FIONREAD, &n) != 0) return 0;
    return n;
  }

  // The cable is pulled: the server's line hangs up. A new line takes the
  // COM number at once, as an adapter plugged in again. It does so before
  // the old one goes: the pseudo-terminal freed first would be the next
  // one any process opens, and a port opening its line again in between
  // would find another test's line under its COM number.
  void HangUp() {
    const int oldMaster = master_, oldSlave = slave_;
    Plug();
    if (oldMaster >= 0) close(oldMaster);
    if (oldSlave >= 0) close(oldSlave);
  }

 private:
  void Plug() {
    char name[256];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
      master_ = slave_ = -1;
      return;
    }
    termios t;
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    plat::map_comm_port(com_, name);
    Forget();
  }
  void Unplug() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    master_ = slave_ = -1;
  }

  int com_;
  int master_ = -1;
  // Held open so the machine's end reads on while the server reopens its
  // line.
  int slave_ = -1;
  std::string buffer_;
  std::size_t at_ = 0;
};

}  // namespace sim
