// A machine that sends a long text at a steady line rate and heeds the
// port's XON/XOFF as a control does: it looks at its input before every
// few dozen bytes, and after it reads an XOFF it sends at most
// stop_within bytes more (what its output buffer still held), then
// nothing until XON. The flow bytes it read are kept in order.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "tests/sim/machine_sim.h"

namespace sim {

// NC lines of about `bytes` bytes in all, each line different, so a lost,
// doubled or moved piece shows in a comparison.
inline std::string LongNcText(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 64);
  char line[64];
  for (unsigned long i = 0; text.size() < bytes; ++i) {
    int n = std::snprintf(line, sizeof line, "N%lu G01 X%lu.%03lu Y-%lu.%02lu F800\r\n", i, i % 997, i % 1000,
                          i % 89, i % 100);
    text.append(line, static_cast<std::size_t>(n));
  }
  return text;
}

class PacedSender {
 public:
  PacedSender(Machine& m, std::string text, double bytes_per_second, std::size_t stop_within, unsigned seed)
      : fd_(m.master()), text_(std::move(text)), rate_(bytes_per_second), stop_within_(stop_within), rng_(seed) {
    thread_ = std::thread([this] { Run(); });
  }
  ~PacedSender() { Stop(); }
  PacedSender(const PacedSender&) = delete;
  PacedSender& operator=(const PacedSender&) = delete;

  // Ends the sending (if it has not ended) and the reading of flow bytes,
  // and waits for the thread.
  void Stop() {
    quit_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool Done() const { return done_.load(); }
  std::size_t Sent() const { return sent_.load(); }
  // The flow bytes read so far: '-' an XOFF, '+' an XON.
  std::string Flow() const {
    std::lock_guard<std::mutex> g(lock_);
    return flow_;
  }
  // The most bytes sent after an XOFF was read, before the XON.
  std::size_t MostAfterXoff() const { return most_after_xoff_.load(); }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kLook = 32;  // bytes between two looks at the input
  static constexpr auto kAhead = std::chrono::milliseconds(1);
  static constexpr char kXon = 0x11, kXoff = 0x13;

  void TakeInput(bool& held, std::size_t& allowance, std::size_t& after) {
    char buf[256];
    for (ssize_t r; (r = ::read(fd_, buf, sizeof buf)) > 0;) {
      for (ssize_t i = 0; i < r; ++i) {
        if (buf[i] != kXoff && buf[i] != kXon) continue;
        {
          std::lock_guard<std::mutex> g(lock_);
          flow_ += buf[i] == kXoff ? '-' : '+';
        }
        if (buf[i] == kXoff && !held) {
          held = true;
          after = 0;
          allowance = std::uniform_int_distribution<std::size_t>(0, stop_within_)(rng_);
        } else if (buf[i] == kXon) {
          held = false;
        }
      }
    }
  }

  void Run() {
    const auto byte_time = std::chrono::duration<double>(1.0 / rate_);
    auto next = Clock::now();
    bool held = false;
    std::size_t allowance = 0, after = 0, sent = 0;
    while (sent < text_.size() && !quit_) {
      TakeInput(held, allowance, after);
      if (held && allowance == 0) {
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, 20);
        continue;
      }
      std::size_t n = std::min(kLook, text_.size() - sent);
      if (held) n = std::min(n, allowance);
      const auto now = Clock::now();
      if (!held) {
        // A line that was held starts afresh: no burst to catch up. The
        // machine may run up to a millisecond ahead of the line, as a
        // UART's FIFO does; a sleep shorter than that would oversleep.
        if (next + kAhead < now) next = now;
        if (now + kAhead < next) {
          std::this_thread::sleep_until(next - kAhead);
          continue;
        }
      }
      ssize_t w = ::write(fd_, text_.data() + sent, n);
      if (w <= 0) {
        pollfd p{fd_, POLLIN | POLLOUT, 0};
        ::poll(&p, 1, 20);
        continue;
      }
      sent += static_cast<std::size_t>(w);
      sent_ = sent;
      next += std::chrono::duration_cast<Clock::duration>(byte_time * static_cast<double>(w));
      if (held) {
        allowance -= static_cast<std::size_t>(w);
        after += static_cast<std::size_t>(w);
        most_after_xoff_ = std::max(most_after_xoff_.load(), after);
      }
    }
    done_ = true;
    // The port may still have an XON to send when the reader catches up.
    while (!quit_) {
      TakeInput(held, allowance, after);
      pollfd p{fd_, POLLIN, 0};
      ::poll(&p, 1, 20);
    }
  }

  int fd_;
  std::string text_;
  double rate_;
  std::size_t stop_within_;
  std::mt19937 rng_;
  mutable std::mutex lock_;
  std::string flow_;
  std::atomic<std::size_t> sent_{0};
  std::atomic<std::size_t> most_after_xoff_{0};
  std::atomic<bool> done_{false};
  std::atomic<bool> quit_{false};
  std::thread thread_;
};

}  // namespace sim
