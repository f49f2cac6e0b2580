// A machine tool at the far end of a serial line, for the DNC tests: a
// pseudo-terminal whose slave side is mapped to a COM number, with the test
// playing the control on the master side. It sends programs and requests
// the way a control does (a block of text framed by the port's trigger
// codes) and collects what the server sends back.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial.h"

namespace sim {

class Machine {
 public:
  explicit Machine(int com) : com_(com) {
    char name[256];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    path_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    termios t;
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
    plat::map_comm_port(com, path_);
  }
  ~Machine() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  bool ok() const { return master_ >= 0; }
  int com() const { return com_; }
  const std::string& device() const { return path_; }
  // The control's end of the line.
  int master() const { return master_; }

  // Writes the bytes as the control's output.
  void Send(const std::string& bytes) {
    std::size_t off = 0;
    while (off < bytes.size()) {
      ssize_t w = ::write(master_, bytes.data() + off, bytes.size() - off);
      if (w > 0) {
        off += static_cast<std::size_t>(w);
      } else {
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 100);
      }
    }
  }

  // A program as a control punches it: the start code, the lines each
  // ended by CR LF, the end code.
  void SendProgram(char start, const std::string& text, char end) { Send(std::string(1, start) + text + end); }

  // What the server sent until the line stays quiet for quiet_ms.
  std::string Received(int quiet_ms) {
    std::string out;
    char buf[4096];
    for (;;) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, quiet_ms) <= 0) break;
      ssize_t r = ::read(master_, buf, sizeof buf);
      if (r <= 0) break;
      out.append(buf, static_cast<std::size_t>(r));
    }
    return out;
  }

 private:
  int com_;
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// A machine that keeps sending program lines a few milliseconds apart
// until it is told to stop: a reception still under way.
class Trickle {
 public:
  explicit Trickle(Machine& m)
      : thread_([this, &m] {
          m.Send("%\r\n(PROG9)\r\n");
          for (int i = 0; !done_ && i < 2000; i++) {
            m.Send("G1 X" + std::to_string(i) + "\r\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
        }) {}
  ~Trickle() { Stop(); }
  void Stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// What a pseudo-terminal cannot carry: the DTR line the server drives.
// While it lives, every port opens its termios line through a wrapper
// that records each DTR change ('+' on, '-' off) in order.
class DtrRecorder {
 public:
  DtrRecorder() : state_(std::make_shared<State>()) {
    plat::set_comm_line_factory([st = state_](const std::string& device, DWORD* error)
                                    -> std::unique_ptr<plat::SerialLine> {
      auto line = plat::open_termios_line(device, error);
      if (!line) return nullptr;
      return std::make_unique<Line>(std::move(line), st);
    });
  }
  ~DtrRecorder() { plat::set_comm_line_factory({}); }
  std::string Changes() {
    std::lock_guard<std::mutex> g(state_->lock);
    return state_->changes;
  }
  void Clear() {
    std::lock_guard<std::mutex> g(state_->lock);
    state_->changes.clear();
  }

 private:
  struct State {
    std::mutex lock;
    std::string changes;
  };
  class Line : public plat::SerialLine {
   public:
    Line(std::unique_ptr<plat::SerialLine> inner, std::shared_ptr<State> st)
        : inner_(std::move(inner)), st_(std::move(st)) {}
    int fd() const override { return inner_->fd(); }
    bool configure(const plat::DCB& dcb) override { return inner_->configure(dcb); }
    void current(plat::DCB& dcb) override { inner_->current(dcb); }
    long read(unsigned char* buf, std::size_t n) override { return inner_->read(buf, n); }
    long write(const unsigned char* buf, std::size_t n) override { return inner_->write(buf, n); }
    DWORD modem_status() override { return inner_->modem_status(); }
    bool set_dtr(bool on) override {
      std::lock_guard<std::mutex> g(st_->lock);
      st_->changes += on ? '+' : '-';
      return true;
    }
    bool set_rts(bool) override { return true; }
    DWORD out_queue() override { return inner_->out_queue(); }
    bool reports_out_queue() const override { return inner_->reports_out_queue(); }
    void flush_input() override { inner_->flush_input(); }
    void flush_output() override { inner_->flush_output(); }

   private:
    std::unique_ptr<plat::SerialLine> inner_;
    std::shared_ptr<State> st_;
  };
  std::shared_ptr<State> state_;
};

// What a pseudo-terminal hides: a UART's transmit side. While it lives,
// every port opens its termios line through a wrapper that holds written
// bytes in a device queue and hands them to the line at the baud, as a
// UART sends them; the queue counts as the device's output queue and a
// transmit purge throws away what it still holds, as on a real port.
class UartLines {
 public:
  explicit UartLines(unsigned baud) {
    plat::set_comm_line_factory([baud](const std::string& device, DWORD* error) -> std::unique_ptr<plat::SerialLine> {
      auto line = plat::open_termios_line(device, error);
      if (!line) return nullptr;
      return std::make_unique<Line>(std::move(line), baud);
    });
  }
  ~UartLines() { plat::set_comm_line_factory({}); }
  UartLines(const UartLines&) = delete;
  UartLines& operator=(const UartLines&) = delete;

 private:
  class Line : public plat::SerialLine {
   public:
    Line(std::unique_ptr<plat::SerialLine> inner, unsigned baud)
        : inner_(std::move(inner)), byte_time_(std::chrono::microseconds(10000000 / baud)) {
      sender_ = std::thread([this] { Send(); });
    }
    ~Line() override {
      {
        std::lock_guard<std::mutex> g(lock_);
        quit_ = true;
      }
      wake_.notify_all();
      sender_.join();
    }
    int fd() const override { return inner_->fd(); }
    bool configure(const plat::DCB& dcb) override { return inner_->configure(dcb); }
    void current(plat::DCB& dcb) override { inner_->current(dcb); }
    long read(unsigned char* buf, std::size_t n) override { return inner_->read(buf, n); }
    long write(const unsigned char* buf, std::size_t n) override {
      {
        std::lock_guard<std::mutex> g(lock_);
        queue_.append(reinterpret_cast<const char*>(buf), n);
      }
      wake_.notify_all();
      return static_cast<long>(n);
    }
    DWORD modem_status() override { return inner_->modem_status(); }
    bool set_dtr(bool on) override { return inner_->set_dtr(on); }
    bool set_rts(bool on) override { return inner_->set_rts(on); }
    DWORD out_queue() override {
      std::lock_guard<std::mutex> g(lock_);
      return static_cast<DWORD>(queue_.size());
    }
    bool reports_out_queue() const override { return true; }
    void flush_input() override { inner_->flush_input(); }
    void flush_output() override {
      std::lock_guard<std::mutex> g(lock_);
      queue_.clear();
    }

   private:
    // One byte a byte time, as the shift register sends them.
    void Send() {
      std::unique_lock<std::mutex> g(lock_);
      for (;;) {
        wake_.wait(g, [this] { return quit_ || !queue_.empty(); });
        if (quit_) return;
        wake_.wait_for(g, byte_time_, [this] { return quit_; });
        if (quit_) return;
        if (queue_.empty()) continue;  // purged meanwhile
        const unsigned char c = static_cast<unsigned char>(queue_.front());
        queue_.erase(0, 1);
        inner_->write(&c, 1);
      }
    }

    std::unique_ptr<plat::SerialLine> inner_;
    std::chrono::microseconds byte_time_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::string queue_;
    bool quit_ = false;
    std::thread sender_;
  };
};

}  // namespace sim
