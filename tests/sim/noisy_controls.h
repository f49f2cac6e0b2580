// The machine side of one exchange per protocol over a noisy line: a valid
// exchange as a control runs it (a program sent, a program asked for),
// with one damage (tests/sim/line_noise.h) put on one of the machine's
// sends. The control behaves as a control does: it answers and resends by
// its protocol's rules, and it stops when the server's answer is not what
// it expects or does not come.
//
// Each exchange returns what it did and what the server may store of it:
// for a protocol with a block check, the program as the blocks the server
// acknowledged carried it on the wire; for standard RS-232 and raw, whose
// lines check parity only, the program as sent, and nothing when the UART
// flagged any of it. A control that sees the server acknowledge a block
// that was not a good one on the wire notes a problem.
#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/sim/line_noise.h"
#include "tests/sim/noisy_line.h"

namespace sim {

struct NoisyExchange {
  std::string what;
  // The damage done (kind kNone when the exchange went out clean).
  Damage damage;
  bool hungUp = false;
  // Bytes the machine put on the line in all.
  std::size_t sent = 0;
  // What a good transfer of the exchange may hold, when one may come from
  // it: the stored text and the program id.
  bool mayStore = false;
  std::string content, name;
  // What the exchange would have stored without the damage.
  std::string clean, cleanName;
  // A clean exchange of a program: it must be stored.
  bool mustStore = false;
  // Raw data: the bytes the port receives, each flagged character as the
  // error character '#' that the port puts in its place (a flagged NUL is
  // a break and gives none).
  std::string delivered;
  // What the machine saw the server do wrong.
  std::string problem;

  std::string Describe() const {
    std::string d = what + ", damage: " + damage.Describe();
    if (!problem.empty()) d += ", problem: " + problem;
    return d;
  }
};

// Puts the one damage of an exchange on its `target`-th send; the sends
// before and after it go out clean.
class DamagedSends {
 public:
  DamagedSends(NoisyLine& line, NoiseSource& noise, NoisyExchange& x, bool flagged, int target, bool damaged)
      : line_(line), noise_(noise), x_(x), flagged_(flagged), target_(damaged ? target : -1) {}

  // Sends the bytes, damaged when this is the target. False when the
  // damage cut the line: the exchange is over for the machine.
  bool Send(const std::string& clean, std::string* onWire = nullptr) {
    std::string bytes = clean;
    bool cut = false;
    if (count_++ == target_ && !clean.empty()) {
      x_.damage = noise_.Pick(clean.size());
      // Something of the exchange's first send always goes out, so the
      // server has an exchange to end.
      if (x_.sent == 0 && x_.damage.Cuts() && x_.damage.at % clean.size() == 0) x_.damage.at = 1;
      cut = x_.damage.Cuts();
      bytes = flagged_ ? x_.damage.Flagged(clean) : NoisyLine::Plain(x_.damage.Apply(clean));
      if (onWire) *onWire = x_.damage.Apply(clean);
    } else {
      bytes = NoisyLine::Plain(clean);
      if (onWire) *onWire = clean;
    }
    line_.Send(bytes);
    x_.sent += bytes.size();
    if (cut && x_.damage.kind == Damage::kHangUp) {
      // The cable goes a moment after the last byte; what is still on its
      // way then is lost, as on a real line.
      for (int i = 0; i < 2000 && line_.Unread() > 0; i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      line_.HangUp();
      x_.hungUp = true;
    }
    return !cut;
  }
  bool Damaged() const { return x_.damage.kind != Damage::kNone; }

 private:
  NoisyLine& line_;
  NoiseSource& noise_;
  NoisyExchange& x_;
  bool flagged_;
  int target_;
  int count_ = 0;
};

// ---- standard RS-232 and raw ----------------------------------------------

// A control punching programs with "%" at both ends and "(name)" as the
// program id, and asking for programs with "R" name "/" between "%".
class NoisyStandardControl {
 public:
  NoisyStandardControl(NoisyLine& line, NoiseSource& noise) : line_(line), noise_(noise) {}

  static std::string Program(const std::string& name, const std::vector<std::string>& lines) {
    std::string p = "%\r\n(" + name + ")\r\n";
    for (const auto& l : lines) p += l + "\r\n";
    return p + "%";
  }

  // A program; the line's parity check flags any damage to it.
  NoisyExchange SendProgram(const std::string& name, const std::vector<std::string>& lines, bool damaged) {
    NoisyExchange x;
    x.what = "program " + name + " from COM " + std::to_string(line_.com());
    const std::string clean = Program(name, lines);
    DamagedSends(line_, noise_, x, true, 0, damaged).Send(clean);
    x.mayStore = x.mustStore = x.damage.kind == Damage::kNone;
    x.content = x.clean = clean;
    x.name = x.cleanName = name;
    return x;
  }

  // Raw bytes: kept whole as a failed transfer, never stored.
  NoisyExchange SendData(const std::string& data, bool damaged) {
    NoisyExchange x;
    x.what = "data from COM " + std::to_string(line_.com());
    DamagedSends(line_, noise_, x, true, 0, damaged).Send(data);
    x.content = data;
    const std::string marked = x.damage.Flagged(data);
    for (std::size_t i = 0; i < marked.size(); i++) {
      if (static_cast<unsigned char>(marked[i]) != 0xFF) {
        x.delivered += marked[i];
      } else if (marked[i + 1] == '\0') {
        // A flagged NUL is a break: the line was held low, no character.
        if (marked[i + 2] != '\0') x.delivered += '#';
        i += 2;
      } else {
        x.delivered += marked[i++];
      }
    }
    return x;
  }

  // A request; the program comes back after the exchange.
  NoisyExchange Request(const std::string& name, bool damaged) {
    NoisyExchange x;
    x.what = "request for " + name + " from COM " + std::to_string(line_.com());
    DamagedSends(line_, noise_, x, true, 0, damaged).Send("%\r\nR" + name + "/\r\n%");
    return x;
  }
 private:
  NoisyLine& line_;
  NoiseSource& noise_;
};

// ---- Heidenhain block protocol --------------------------------------------

class NoisyHeidenhainControl {
 public:
  static constexpr char kSoh = 0x01, kStx = 0x02, kEtx = 0x03, kEot = 0x04, kAck = 0x06, kNak = 0x15,
                        kEtb = 0x17, kDc1 = 0x11;

  // timeoutMs: how long the control waits for an answer.
  NoisyHeidenhainControl(NoisyLine& line, NoiseSource& noise, int timeoutMs)
      : line_(line), noise_(noise), timeout_(timeoutMs) {}

  static std::string Block(const std::string& text, char start = kStx) {
    std::string b = std::string(1, start) + text + kEtb;
    unsigned char x = 0;
    for (char c : b) x ^= static_cast<unsigned char>(c);
    return b + static_cast<char>(x) + kDc1;
  }
  // The text of a block as a type-2 port reads it from the wire bytes:
  // bytes before the start byte are passed over, the block ends at the DC1
  // after its check (what follows is no part of it); it must be text, ETB,
  // the right check and DC1. None when it is not a good block.
  static std::optional<std::string> GoodText(const std::string& wire) {
    const std::size_t s = wire.find_first_of(std::string{kStx, kSoh});
    if (s == std::string::npos) return std::nullopt;
    const std::size_t etb = wire.find(kEtb, s);
    if (etb == std::string::npos || etb + 3 > wire.size() || wire[etb + 2] != kDc1) return std::nullopt;
    unsigned char x = 0;
    for (std::size_t i = s; i <= etb; i++) x ^= static_cast<unsigned char>(wire[i]);
    if (x != static_cast<unsigned char>(wire[etb + 1])) return std::nullopt;
    const std::string text = wire.substr(s + 1, etb - s - 1);
    if (text.find(kDc1) != std::string::npos) return std::nullopt;
    return text;
  }

  // Announces a program and outputs its lines, each block sent again on
  // NAK (three times at most), then EOT.
  NoisyExchange Output(const std::string& name, const std::vector<std::string>& lines, bool damaged) {
    NoisyExchange x;
    x.what = "program " + name + " from COM " + std::to_string(line_.com());
    DamagedSends sends(line_, noise_, x, false, static_cast<int>(noise_.Below(static_cast<uint32_t>(lines.size() + 2))),
                       damaged);
    x.mayStore = true;
    x.cleanName = name;
    for (std::size_t l = 0; l < lines.size(); l++) x.clean += (l ? "\r\n" : "") + lines[l];
    std::vector<std::string> blocks{Block("H" + name + "A", kSoh)};
    for (const auto& l : lines) blocks.push_back(Block(l));
    for (std::size_t b = 0; b < blocks.size(); b++) {
      bool acked = false;
      for (int attempt = 0; attempt < 4 && !acked; attempt++) {
        std::string wire;
        if (!sends.Send(blocks[b], &wire)) return x;
        const int a = Answer();
        if (a == kNak) continue;
        if (a != kAck) return x;
        acked = true;
        const auto text = GoodText(wire);
        if (!text) {
          x.problem = "block " + std::to_string(b) + " acknowledged though damaged";
          return x;
        }
        if (b == 0) {
          if (text->size() < 2 || text->back() != 'A') {
            x.problem = "an announcement acknowledged that was none";
            return x;
          }
          x.name = text->substr(1, text->size() - 2);
        } else {
          // The port writes the lines apart, without a line end after the
          // last.
          if (b > 1) x.content += "\r\n";
          x.content += *text;
        }
      }
      if (!acked) return x;
    }
    sends.Send(std::string(1, kEot));
    x.mustStore = !sends.Damaged();
    return x;
  }

  // Asks for a program and reads it, acknowledging every good block, up
  // to the server's ETX, which it ends with EOT. The program read is in
  // `got` when it came whole.
  NoisyExchange Request(const std::string& name, std::size_t lines, bool damaged, std::string* got) {
    NoisyExchange x;
    x.what = "request for " + name + " from COM " + std::to_string(line_.com());
    DamagedSends sends(line_, noise_, x, false, static_cast<int>(noise_.Below(static_cast<uint32_t>(lines + 3))),
                       damaged);
    got->clear();
    if (!sends.Send(Block("H" + name + "E", kSoh))) return x;
    if (Answer() != kAck) return x;
    std::string text;
    for (int naks = 0;;) {
      const std::string b = NextBlock();
      if (b.empty()) return x;  // the server fell silent
      if (b == std::string(1, kEtx)) {
        sends.Send(std::string(1, kEot));
        *got = text;
        return x;
      }
      const auto t = GoodText(b);
      if (!t) {
        // Anything but a good block or ETX: asked again, but not for ever.
        if (++naks > 4 || !sends.Send(std::string(1, kNak))) return x;
        continue;
      }
      naks = 0;
      text += *t + "\r\n";
      if (!sends.Send(std::string(1, kAck))) return x;
    }
  }

 private:
  int Answer() {
    char c = 0;
    return line_.Next(c, timeout_) ? static_cast<unsigned char>(c) : -1;
  }
  // A whole block of the server, or one control byte; empty on silence.
  std::string NextBlock() {
    char c = 0;
    if (!line_.Next(c, timeout_)) return {};
    if (c != kStx) return std::string(1, c);
    std::string b(1, c);
    while (b.size() < 3 || b[b.size() - 3] != kEtb) {
      if (!line_.Next(c, timeout_)) return {};
      b += c;
    }
    return b;
  }

  NoisyLine& line_;
  NoiseSource& noise_;
  int timeout_;
};

// ---- LSV-2 -------------------------------------------------------------------

class NoisyLsv2Control {
 public:
  static constexpr char DLE = 0x10, STX = 0x02, ETX = 0x03, EOT = 0x04, ENQ = 0x05, NAK = 0x15;

  // A control starts an exchange with nothing of the last one in its
  // input. An answer the server wrote after the control had given up
  // waiting for it would otherwise be read as the first answer of this
  // exchange, and every exchange after it would be one answer behind.
  NoisyLsv2Control(NoisyLine& line, NoiseSource& noise, int timeoutMs)
      : line_(line), noise_(noise), timeout_(timeoutMs) {
    line_.ForgetWaiting();
  }

  static std::string Framed(const std::string& text) {
    unsigned char x = ETX;
    for (char c : text) x ^= static_cast<unsigned char>(c);
    return std::string{DLE, STX} + text + DLE + ETX + static_cast<char>(x);
  }
  // The text of a telegram as a port reads it from the wire bytes: from the
  // first DLE STX to the first DLE ETX, the check after it right. None when
  // it is not a good telegram.
  static std::optional<std::string> GoodText(const std::string& wire) {
    const std::size_t s = wire.find(std::string{DLE, STX});
    if (s == std::string::npos) return std::nullopt;
    const std::size_t e = wire.find(std::string{DLE, ETX}, s + 2);
    if (e == std::string::npos || e + 3 > wire.size()) return std::nullopt;
    const std::string text = wire.substr(s + 2, e - s - 2);
    unsigned char x = ETX;
    for (char c : text) x ^= static_cast<unsigned char>(c);
    if (x != static_cast<unsigned char>(wire[e + 2])) return std::nullopt;
    return text;
  }

  // Sends a program: "RDPP", the server's "PTPP", the blocks each answered
  // with "T NB", "T FD".
  NoisyExchange Upload(unsigned long number, const std::string& program, bool damaged) {
    NoisyExchange x;
    char num[16];
    std::snprintf(num, sizeof num, "%06lu", number);
    x.what = "program " + std::string(num) + " from COM " + std::to_string(line_.com());
    const std::size_t blocks = (program.size() + 123) / 124;
    // Sends: each telegram of the machine has its ENQ, telegram, EOT; each
    // of the server's its DLE 0 and DLE 1.
    DamagedSends sends(line_, noise_, x, false, static_cast<int>(noise_.Below(static_cast<uint32_t>(5 * blocks + 12))),
                       damaged);
    x.mayStore = true;
    x.clean = program;
    x.cleanName = std::to_string(number);
    bool named = false;
    if (!Tell(sends, "RDPP%" + std::string(num) + "*", x, [&](const std::string& t) {
          if (t.compare(0, 4, "RDPP") != 0) return false;
          const std::size_t pc = t.find('%');
          if (pc == std::string::npos) return false;
          unsigned long n = 0;
          std::size_t i = pc + 1, digits = 0;
          for (; i < t.size() && t[i] >= '0' && t[i] <= '9' && digits < 9; i++, digits++) n = n * 10 + (t[i] - '0');
          if (digits == 0) return false;
          x.name = std::to_string(n);
          named = true;
          return true;
        }))
      return x;
    auto ready = Hear(sends);
    if (!ready || ready->compare(0, 5, "PTPP%") != 0) return x;
    for (std::size_t at = 0; at < program.size(); at += 124) {
      if (!Tell(sends, "R PP" + program.substr(at, 124), x, [&](const std::string& t) {
            if (t.compare(0, 4, "R PP") != 0) return false;
            x.content += t.substr(4);
            return true;
          }))
        return x;
      auto next = Hear(sends);
      if (!next || *next != "T NB") return x;
    }
    Tell(sends, "T FD", x, [](const std::string& t) { return t.compare(0, 4, "T FD") == 0; });
    x.mustStore = named && !sends.Damaged();
    return x;
  }

  // Asks for a program and takes it block by block; the program is in
  // `got` when it came whole.
  NoisyExchange Request(unsigned long number, std::size_t blocks, bool damaged, std::string* got) {
    NoisyExchange x;
    char num[16];
    std::snprintf(num, sizeof num, "%06lu", number);
    x.what = "request for " + std::string(num) + " from COM " + std::to_string(line_.com());
    DamagedSends sends(line_, noise_, x, false, static_cast<int>(noise_.Below(static_cast<uint32_t>(5 * blocks + 12))),
                       damaged);
    got->clear();
    auto any = [](const std::string&) { return true; };
    if (!Tell(sends, "TDPP%" + std::string(num) + "*", x, any)) return x;
    auto answer = Hear(sends);
    if (!answer || answer->compare(0, 5, "PRPP%") != 0) return x;
    if (!Tell(sends, "M RR", x, any)) return x;
    std::string data;
    for (;;) {
      auto t = Hear(sends);
      if (!t) return x;
      if (*t == "T FD") break;
      if (t->compare(0, 4, "R PP") != 0) return x;
      data += t->substr(4);
      if (!Tell(sends, "T NB", x, any)) return x;
    }
    *got = data;
    return x;
  }

 private:
  // One telegram of the machine: ENQ, DLE '0', the telegram (again after
  // NAK), DLE '1', EOT. `took` judges the telegram as the server read it
  // from the wire once it acknowledged it. False when the exchange is over
  // for the machine: no answer, a refusal, or a telegram the damage made
  // into another one.
  template <class Took>
  bool Tell(DamagedSends& sends, const std::string& text, NoisyExchange& x, Took took) {
    if (!sends.Send(std::string(1, ENQ))) return false;
    if (!Expect(std::string{DLE, '0'})) return false;
    for (int attempt = 0;; attempt++) {
      if (attempt == 4) return false;
      std::string wire;
      if (!sends.Send(Framed(text), &wire)) return false;
      char a = 0, b = 0;
      if (!line_.Next(a, timeout_)) return false;
      if (a == NAK) continue;
      if (a != DLE || !line_.Next(b, timeout_) || b != '1') return false;
      const auto t = GoodText(wire);
      if (!t) {
        x.problem = "telegram acknowledged though damaged";
        return false;
      }
      // The damage made another good telegram of it: the server took it
      // for what it said, and the machine gives up.
      if (!took(*t)) return false;
      break;
    }
    return sends.Send(std::string(1, EOT));
  }
  // One telegram of the server, answered DLE '0' and DLE '1'.
  std::optional<std::string> Hear(DamagedSends& sends) {
    char c = 0;
    do {
      if (!line_.Next(c, timeout_)) return std::nullopt;
    } while (c != ENQ);
    if (!sends.Send(std::string{DLE, '0'})) return std::nullopt;
    std::string bytes;
    for (;;) {
      if (!line_.Next(c, timeout_)) return std::nullopt;
      bytes += c;
      const std::size_t e = bytes.find(std::string{DLE, ETX});
      if (e != std::string::npos && bytes.size() == e + 3) break;
    }
    const auto text = GoodText(bytes);
    if (!text) {
      if (!sends.Send(std::string(1, NAK))) return std::nullopt;
      return std::nullopt;
    }
    if (!sends.Send(std::string{DLE, '1'})) return std::nullopt;
    if (!Expect(std::string(1, EOT))) return std::nullopt;
    return text;
  }
  bool Expect(const std::string& want) {
    for (char w : want) {
      char c = 0;
      if (!line_.Next(c, timeout_) || c != w) return false;
    }
    return true;
  }

  NoisyLine& line_;
  NoiseSource& noise_;
  int timeout_;
};

// ---- Mazak tape emulation (T32) ------------------------------------------------

class NoisyMazakControl {
 public:
  static constexpr char kStx = 0x02, kEtx = 0x03, kEot = 0x04;

  NoisyMazakControl(NoisyLine& line, NoiseSource& noise, int timeoutMs)
      : line_(line), noise_(noise), timeout_(timeoutMs) {}

  static std::string Check(const std::string& data) {
    unsigned sum = 0;
    for (unsigned char c : data) sum += c;
    char t[3];
    std::snprintf(t, sizeof t, "%02X", sum & 0xFF);
    return t;
  }
  // The data of a write telegram as a port reads it from the wire bytes
  // up to the first EOT (what follows is the next telegram): "p1", STX,
  // data, ETX, the check, EOT. None when it is not that.
  static std::optional<std::string> GoodBlock(const std::string& wire) {
    const std::size_t eot = wire.find(kEot);
    const std::size_t stx = wire.find(kStx);
    if (stx == std::string::npos || eot == std::string::npos || stx > eot) return std::nullopt;
    const std::string command = wire.substr(0, stx);
    if (command != "p1") return std::nullopt;
    const std::size_t etx = wire.rfind(kEtx, eot);
    if (etx == std::string::npos || etx < stx) return std::nullopt;
    const std::string data = wire.substr(stx + 1, etx - stx - 1);
    if (data.find_first_of(std::string{kStx, kEtx, '\r', '\n', '\0'}) != std::string::npos) return std::nullopt;
    if (wire.substr(etx + 1, eot - etx - 1) != Check(data)) return std::nullopt;
    return data;
  }

  // Writes a tape of a T32 control: status, a header naming the number,
  // one block a line, a tape mark, two rewinds.
  NoisyExchange WriteTape(unsigned number, const std::vector<std::string>& lines, bool damaged) {
    NoisyExchange x;
    char header[16];
    std::snprintf(header, sizeof header, "3000%04X0000", number & 0xFFFF);
    x.what = "tape " + std::to_string(number & 0xFFFF) + " from COM " + std::to_string(line_.com());
    DamagedSends sends(line_, noise_, x, false, static_cast<int>(noise_.Below(static_cast<uint32_t>(lines.size() + 5))),
                       damaged);
    x.mayStore = true;
    std::vector<std::string> blocks{header};
    blocks.insert(blocks.end(), lines.begin(), lines.end());
    for (const auto& b : blocks) x.clean += "_" + b + "_" + Check(b) + "_\r\n";
    x.clean += "[TAPEMARK-0]\r\n";
    x.cleanName = std::to_string(number & 0xFFFF);
    if (!Command(sends, "q", "q08")) return x;
    for (std::size_t b = 0; b < blocks.size(); b++) {
      std::string wire;
      if (!sends.Send("p1" + std::string(1, kStx) + blocks[b] + kEtx + Check(blocks[b]) + kEot, &wire)) return x;
      if (AnswerText() != "p00") return x;
      const auto data = GoodBlock(wire);
      if (!data) {
        x.problem = "block " + std::to_string(b) + " acknowledged though damaged";
        return x;
      }
      if (b == 0 && data->compare(0, 4, "3000") == 0) {
        unsigned n = 0;
        for (int i = 4; i < 8; i++) {
          const char c = (*data)[i];
          n = n * 16 + (c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 0);
        }
        x.name = std::to_string(n);
      }
      x.content += "_" + *data + "_" + Check(*data) + "_\r\n";
    }
    if (!Command(sends, "p2", "p02")) return x;
    x.content += "[TAPEMARK-0]\r\n";
    if (!Command(sends, "pA", "p00") || !Command(sends, "pA", "p00")) return x;
    x.mustStore = !sends.Damaged();
    return x;
  }

 private:
  bool Command(DamagedSends& sends, const std::string& command, const std::string& answer) {
    return sends.Send(command + kEot) && AnswerText() == answer;
  }
  // The answer up to its EOT, without it; empty on silence.
  std::string AnswerText() {
    std::string a;
    for (char c; line_.Next(c, timeout_);) {
      if (c == kEot) return a;
      a += c;
    }
    return {};
  }

  NoisyLine& line_;
  NoiseSource& noise_;
  int timeout_;
};

}  // namespace sim
