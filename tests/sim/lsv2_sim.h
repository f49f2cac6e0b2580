// The control side of an LSV-2 line, for the DNC tests: a pseudo-terminal
// mapped to a COM number, and a control that frames its own telegrams
// (DLE STX text DLE ETX, block check = XOR of the text and ETX), answers
// the server's ENQ with DLE '0' and its telegram with DLE '1' (or NAK when
// the check is wrong), and closes its own telegrams with EOT. It asks for
// programs, takes drip feeds part by part and sends programs in blocks;
// options make it hold back, send wrong checks or refuse telegrams. Every
// wait ends after a time-out, so a silent server fails the test rather
// than hanging it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial.h"

namespace sim {

class Lsv2Control {
 public:
  static constexpr char DLE = 0x10, STX = 0x02, ETX = 0x03, EOT = 0x04, ENQ = 0x05, NAK = 0x15;

  explicit Lsv2Control(int com) {
    char name[256];
    int slave = -1;
    if (openpty(&fd_, &slave, name, nullptr, nullptr) != 0) return;
    slave_ = slave;
    termios t;
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    plat::map_comm_port(com, name);
  }
  ~Lsv2Control() {
    Drop();
    if (slave_ >= 0) close(slave_);
  }
  Lsv2Control(const Lsv2Control&) = delete;
  Lsv2Control& operator=(const Lsv2Control&) = delete;

  bool ok() const { return fd_ >= 0; }

  // The cable is pulled: the control's end is gone for good.
  void Drop() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  // How long one wait for the server may take.
  int timeout_ms = 10000;
  // Server telegrams to refuse with NAK before taking one (counted down).
  int refuse = 0;
  // Own telegrams to send with a wrong check first (counted down).
  int bad_checks = 0;
  // Milliseconds to wait before asking for each next block.
  int block_pause_ms = 0;
  // ENQs of the server for a next drip-feed part left unanswered.
  int hold_enqs = 0;
  // Counts of what happened.
  int enqs_held = 0, naks_received = 0, naks_sent = 0;

  static unsigned char Check(const std::string& text) {
    unsigned char x = ETX;
    for (char c : text) x ^= static_cast<unsigned char>(c);
    return x;
  }
  static std::string Framed(const std::string& text, bool wrong = false) {
    std::string out{DLE, STX};
    out += text;
    out += DLE;
    out += ETX;
    out += static_cast<char>(Check(text) ^ (wrong ? 0x5A : 0));
    return out;
  }
  static std::string Six(unsigned long n) {
    char t[24];
    std::snprintf(t, sizeof t, "%06lu", n);
    return t;
  }

  void Put(const std::string& bytes) {
    std::size_t off = 0;
    while (fd_ >= 0 && off < bytes.size()) {
      ssize_t w = ::write(fd_, bytes.data() + off, bytes.size() - off);
      if (w > 0) {
        off += static_cast<std::size_t>(w);
      } else {
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 100);
      }
    }
  }

  // The next byte from the server within ms; false when none came.
  bool Next(char& c, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (at_ == buffer_.size()) {
      buffer_.clear();
      at_ = 0;
      if (fd_ < 0) return false;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() < 0) return false;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
      char buf[4096];
      ssize_t r = ::read(fd_, buf, sizeof buf);
      if (r > 0) buffer_.append(buf, static_cast<std::size_t>(r));
    }
    c = buffer_[at_++];
    return true;
  }
  // The next bytes must be exactly these.
  bool Expect(const std::string& want) {
    for (char w : want) {
      char c = 0;
      if (!Next(c, timeout_ms) || c != w) {
        error = "expected byte " + std::to_string(static_cast<unsigned char>(w)) + ", got " +
                std::to_string(static_cast<unsigned char>(c));
        return false;
      }
    }
    return true;
  }
  // Everything the server writes until it is quiet for ms.
  std::string Quiet(int ms) {
    std::string out;
    for (char c; Next(c, ms);) out += c;
    return out;
  }

  // One telegram of the control: ENQ, DLE '0', the telegram (again after a
  // NAK), DLE '1', EOT.
  bool Send(const std::string& text) {
    Put(std::string(1, ENQ));
    if (!Expect(std::string{DLE, '0'})) return false;
    for (;;) {
      const bool wrong = bad_checks > 0;
      if (wrong) bad_checks--;
      Put(Framed(text, wrong));
      char a = 0, b = 0;
      if (!Next(a, timeout_ms)) return Fail("no answer to a telegram");
      if (a == NAK) {
        naks_received++;
        continue;
      }
      if (a != DLE || !Next(b, timeout_ms) || b != '1') return Fail("telegram not acknowledged");
      break;
    }
    Put(std::string(1, EOT));
    return true;
  }

  // One telegram of the server: its ENQ (past held ones when asked), DLE
  // '0', the telegram checked, DLE '1', its EOT. None when the server
  // stays silent for ms.
  std::optional<std::string> Receive(int ms, int holdEnqs = 0) {
    char c = 0;
    for (;;) {
      if (!Next(c, ms)) return std::nullopt;
      if (c != ENQ) {
        Fail("ENQ expected, got " + std::to_string(static_cast<unsigned char>(c)));
        return std::nullopt;
      }
      if (holdEnqs-- <= 0) break;
      enqs_held++;
    }
    Put(std::string{DLE, '0'});
    std::string text;
    for (;;) {
      text.clear();
      // A repeated ENQ may cross the answer.
      do {
        if (!Next(c, timeout_ms)) return std::nullopt;
      } while (c == ENQ);
      if (c != DLE || !Expect(std::string(1, STX))) return std::nullopt;
      // The server's texts hold no DLE: the first DLE ETX ends one.
      while (text.size() < 2 || text.compare(text.size() - 2, 2, std::string{DLE, ETX}) != 0) {
        if (!Next(c, timeout_ms)) return std::nullopt;
        text += c;
      }
      text.resize(text.size() - 2);
      char check = 0;
      if (!Next(check, timeout_ms)) return std::nullopt;
      if (static_cast<unsigned char>(check) != Check(text)) {
        Fail("wrong block check from the server");
        Put(std::string(1, NAK));
        naks_sent++;
        continue;
      }
      if (refuse > 0) {
        refuse--;
        Put(std::string(1, NAK));
        naks_sent++;
        continue;
      }
      break;
    }
    Put(std::string{DLE, '1'});
    if (!Expect(std::string(1, EOT))) return std::nullopt;
    telegrams.push_back(text);
    return text;
  }

  struct Fetched {
    bool found = false;
    bool complete = false;
    std::vector<unsigned long> announced;  // numbers of "PRPP"
    std::vector<std::string> parts;        // data of each part
  };
  // Asks for a program and takes it whole, part by part in a drip feed.
  Fetched Request(const std::string& number) {
    Fetched f;
    if (!Send("TDPP%" + number + "*")) return f;
    auto answer = Receive(timeout_ms);
    while (answer && answer->rfind("PRPP%", 0) == 0) {
      f.found = true;
      f.announced.push_back(std::stoul(answer->substr(5)));
      if (!Send("M RR")) return f;
      std::string data;
      for (;;) {
        auto t = Receive(timeout_ms);
        if (!t) return f;
        if (*t == "T FD") break;
        if (t->rfind("R PP", 0) != 0) {
          Fail("unexpected telegram " + *t);
          return f;
        }
        data += t->substr(4);
        if (block_pause_ms) std::this_thread::sleep_for(std::chrono::milliseconds(block_pause_ms));
        if (!Send("T NB")) return f;
      }
      f.parts.push_back(data);
      // A drip feed announces its next part; a program's end is silence.
      answer = Receive(after_end_ms, hold_enqs);
    }
    f.complete = f.found && error.empty();
    return f;
  }
  // Asks for a program and returns the server's answer, without taking
  // the program.
  std::optional<std::string> Ask(const std::string& number) {
    if (!Send("TDPP%" + number + "*")) return std::nullopt;
    return Receive(timeout_ms);
  }
  // Breaks the exchange off: the server clears and polls again.
  bool Reset() { return Send("M IN"); }

  // How long silence after "T FD" means the program is complete.
  int after_end_ms = 400;

  // Sends a program in blocks; stops after `blocks` blocks when given.
  bool Upload(const std::string& number, const std::string& program, int blocks = -1) {
    if (!Send("RDPP%" + number + "*")) return false;
    auto ready = Receive(timeout_ms);
    if (!ready || ready->rfind("PTPP%", 0) != 0) return Fail("no PTPP");
    int sent = 0;
    for (std::size_t at = 0; at < program.size(); at += 124) {
      if (blocks >= 0 && sent++ == blocks) return true;
      if (!Send("R PP" + program.substr(at, 124))) return false;
      auto next = Receive(timeout_ms);
      if (!next || *next != "T NB") return Fail("no T NB");
    }
    return Send("T FD");
  }

  std::string error;
  std::vector<std::string> telegrams;

 private:
  bool Fail(const std::string& what) {
    if (error.empty()) error = what;
    return false;
  }

  int fd_ = -1;
  int slave_ = -1;
  std::string buffer_;
  std::size_t at_ = 0;
};

}  // namespace sim
