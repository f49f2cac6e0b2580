// The control side of a Heidenhain block-protocol line: the control asks
// for programs, announces the programs it outputs and asks for its
// directory, and answers every block it reads with ACK or NAK. Blocks are
// STX (SOH for a command), the text, ETB, the XOR check of all of that and,
// on a type-2 line, DC1.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/sim/machine_sim.h"

namespace sim {

class HeidenhainControl {
 public:
  static constexpr char kSoh = 0x01, kStx = 0x02, kEtx = 0x03, kEot = 0x04, kAck = 0x06, kNak = 0x15,
                        kEtb = 0x17, kDc1 = 0x11, kDc3 = 0x13, kEsc = 0x1B;

  // withDc1: a type-2 control ends its blocks with DC1.
  HeidenhainControl(Machine& line, bool withDc1 = true) : line_(line), dc1_(withDc1) {}

  static char Check(const std::string& bytes) {
    unsigned char x = 0;
    for (char c : bytes) x ^= static_cast<unsigned char>(c);
    return static_cast<char>(x);
  }
  // A block as this control sends it; a check other than -1 replaces the
  // right one.
  std::string Block(const std::string& text, char start = kStx, int check = -1) const {
    std::string b = std::string(1, start) + text + kEtb;
    b += check < 0 ? Check(b) : static_cast<char>(check);
    if (dc1_) b += kDc1;
    return b;
  }

  void Send(const std::string& bytes) { line_.Send(bytes); }
  // A request ("H" name "E") or an announcement ("H" name "A").
  void Request(const std::string& name) { Send(Block("H" + name + "E", kSoh)); }
  void Announce(const std::string& name) { Send(Block("H" + name + "A", kSoh)); }
  void AskDirectory(const std::string& noise = "") {
    Send(std::string(1, kDc3) + noise + kEsc + kDc1 + "O D\r\n");
  }

  // The next byte from the server, or -1 after ms of silence.
  int Byte(int ms = 20000) {
    if (!Fill(1, ms)) return -1;
    const unsigned char c = static_cast<unsigned char>(pending_[0]);
    pending_.erase(0, 1);
    return c;
  }
  // The next n bytes (fewer after ms of silence).
  std::string Bytes(std::size_t n, int ms = 20000) {
    Fill(n, ms);
    std::string out = pending_.substr(0, n);
    pending_.erase(0, out.size());
    return out;
  }
  // The next thing the server sends: a whole block (STX ... ETB check DC1)
  // or one control byte. Empty after ms of silence.
  std::string Next(int ms = 20000) {
    if (!Fill(1, ms)) return {};
    if (pending_[0] != kStx) return Bytes(1, ms);
    for (std::size_t etb; (etb = pending_.find(kEtb)) == std::string::npos || pending_.size() < etb + 3;)
      if (!Fill(pending_.size() + 1, ms)) return Bytes(pending_.size(), ms);
    return Bytes(pending_.find(kEtb) + 3, ms);
  }
  // Whether a block from the server is framed right and its check holds.
  static bool GoodBlock(const std::string& b) {
    const std::size_t etb = b.find(kEtb);
    return b.size() >= 4 && b[0] == kStx && etb == b.size() - 3 && b.back() == kDc1 &&
           Check(b.substr(0, etb + 1)) == b[etb + 1];
  }
  static std::string Text(const std::string& block) { return block.substr(1, block.find(kEtb) - 1); }

  // Reads a program the control asked for: every good block is
  // acknowledged, up to the server's ETX, which the control ends with EOT.
  // The lines read, or what broke off as the last element.
  std::vector<std::string> ReadProgram() {
    std::vector<std::string> lines;
    for (;;) {
      std::string b = Next();
      if (b == std::string(1, kEtx)) {
        Send(std::string(1, kEot));
        return lines;
      }
      if (!GoodBlock(b)) {
        lines.push_back("<" + b + ">");
        return lines;
      }
      lines.push_back(Text(b));
      Send(std::string(1, kAck));
    }
  }
  // Outputs the lines as data blocks, each awaiting the server's answer;
  // ends with EOT when every block was acknowledged. The answers in order.
  std::string WriteProgram(const std::vector<std::string>& lines, bool end = true) {
    std::string answers;
    for (const auto& l : lines) {
      Send(Block(l));
      const int a = Byte();
      answers += a < 0 ? '?' : static_cast<char>(a);
      if (a != kAck) return answers;
    }
    if (end) Send(std::string(1, kEot));
    return answers;
  }
  // Announces a program and outputs its lines: every answer in order,
  // the one to the announcement first.
  std::string Output(const std::string& name, const std::vector<std::string>& lines, bool end = true) {
    Announce(name);
    const int a = Byte();
    if (a != kAck) return std::string(1, a < 0 ? '?' : static_cast<char>(a));
    return std::string(1, kAck) + WriteProgram(lines, end);
  }
  // What is left, until the line is quiet for ms.
  std::string Rest(int ms) { return pending_ + line_.Received(ms); }

 private:
  bool Fill(std::size_t n, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    // Answers go out as soon as a block is whole, as a control's do.
    while (pending_.size() < n) {
      if (std::chrono::steady_clock::now() >= end) return false;
      std::string got = line_.Received(0);
      if (got.empty()) std::this_thread::sleep_for(std::chrono::microseconds(100));
      pending_ += got;
    }
    return true;
  }

  Machine& line_;
  bool dc1_;
  std::string pending_;
};

}  // namespace sim
