// The control side of a Mazak tape unit line: the control drives the
// emulated tape with command telegrams and reads each answer up to its
// EOT. On M2 a control that reads follows every telegram's EOT with
// another byte, which the port needs to take the telegram as complete.
#pragma once

#include <chrono>
#include <string>

#include "formats/mazak_tape.h"
#include "tests/sim/machine_sim.h"

namespace sim {

class MazakControl {
 public:
  MazakControl(Machine& line, int type) : line_(line), type_(type) {}

  // While the port sends, M2 telegrams get their trailing byte.
  void SetReading(bool reading) { reading_ = reading; }

  // A command telegram ("q", "pA" ...) and its answer up to EOT.
  std::string Command(const std::string& text) { return Exchange(text + kMazakEot); }
  // Writes one block with the given check characters (its own by default).
  std::string WriteBlock(const std::string& data, const std::string& check = "") {
    return Exchange("p1" + std::string(1, kMazakStx) + data + kMazakEtx +
                    (check.empty() ? MazakCheckText(data) : check) + kMazakEot);
  }
  // Writes a whole tape: each line a block, or a tape mark for "[TAPEMARK".
  // The first answer that differs from ack is returned, else ack.
  std::string WriteTape(const std::string& ack, const std::initializer_list<std::string>& blocks) {
    for (const auto& b : blocks) {
      std::string a = b.rfind("[TAPEMARK", 0) == 0 ? Command("p2") : WriteBlock(b);
      if (a != ack + kMazakEot && b.rfind("[TAPEMARK", 0) != 0) return a;
    }
    return ack;
  }
  // What is left after the last answer, until the line is quiet.
  std::string Rest(int quiet_ms) { return pending_ + line_.Received(quiet_ms); }

  // A command telegram whose answer is read later (a control busy with
  // something else): Put, then Answer.
  void Put(const std::string& text) { Write(text + kMazakEot); }
  // The next answer up to its EOT, or what came within ms when none.
  std::string Answer(int ms = kAnswerWaitMs) {
    for (int waited = 0; pending_.find(kMazakEot) == std::string::npos && waited < ms; waited += 20)
      pending_ += line_.Received(20);
    std::size_t eot = pending_.find(kMazakEot);
    std::size_t end = eot == std::string::npos ? pending_.size() : eot + 1;
    std::string answer = pending_.substr(0, end);
    pending_.erase(0, end);
    return answer;
  }

 private:
  void Write(const std::string& telegram) {
    line_.Send(telegram);
    if (type_ == kMazakM2 && reading_) line_.Send("8");
  }
  // A port that never answers fails the test's comparison with a text
  // saying so, rather than leaving the control waiting for ever.
  std::string Exchange(const std::string& telegram) {
    Write(telegram);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
    while (pending_.find(kMazakEot) == std::string::npos) {
      if (std::chrono::steady_clock::now() >= end) {
        std::string got = pending_;
        pending_.clear();
        return got + "[no answer within " + std::to_string(kAnswerWaitMs / 1000) + " s to " + Printable(telegram) + "]";
      }
      pending_ += line_.Received(20);
    }
    std::size_t eot = pending_.find(kMazakEot) + 1;
    std::string answer = pending_.substr(0, eot);
    pending_.erase(0, eot);
    return answer;
  }
  // Control characters as <hex>, so a failure message shows the telegram.
  static std::string Printable(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
      if (c >= 0x20 && c < 0x7f) {
        out += static_cast<char>(c);
      } else {
        out += '<';
        out += digits[c >> 4];
        out += digits[c & 15];
        out += '>';
      }
    }
    return out;
  }

  // Far beyond any answer on a loaded machine at the slowest line a test
  // uses; the same as Answer's default wait.
  static constexpr int kAnswerWaitMs = 30000;

  Machine& line_;
  int type_;
  bool reading_ = false;
  std::string pending_;
};

}  // namespace sim
