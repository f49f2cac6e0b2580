// Damage that a noisy line does to what a machine sends, drawn from a
// seeded generator so a failing run can be repeated: a flipped bit, a
// dropped or doubled character, a stray control character, a line that
// falls silent (the rest never comes) or hangs up at a point.
//
// On an asynchronous line the receiving UART checks every character's
// parity and stop bit: a character a burst of noise hits arrives flagged.
// Flagged() damage models that (a port with parity checking sees it);
// Apply() without flags is the same damage on a line that checks nothing,
// which only a protocol's own block check can catch.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "tests/sim/noisy_line.h"

namespace sim {

struct Damage {
  enum Kind { kNone, kFlip, kDrop, kDouble, kStray, kSilent, kHangUp };
  Kind kind = kNone;
  std::size_t at = 0;  // the character hit (the cut for kSilent and kHangUp)
  int bit = 0;
  char stray = 0;

  // Cuts the send short: the rest never reaches the server.
  bool Cuts() const { return kind == kSilent || kind == kHangUp; }

  std::string Describe() const {
    static const char* const names[] = {"none", "flipped bit", "dropped byte", "doubled byte",
                                        "stray control character", "silent line", "hang-up"};
    std::string d = names[kind];
    if (kind != kNone) d += " at " + std::to_string(at);
    if (kind == kFlip) d += " bit " + std::to_string(bit);
    if (kind == kStray) d += " code " + std::to_string(static_cast<unsigned char>(stray));
    return d;
  }

  // The bytes that arrive (the part before the cut for kSilent and
  // kHangUp), as data: the line checks nothing.
  std::string Apply(const std::string& clean) const {
    std::string out = clean;
    if (out.empty()) return out;
    const std::size_t i = at % out.size();
    switch (kind) {
      case kFlip: out[i] = static_cast<char>(out[i] ^ (1 << bit)); break;
      case kDrop: out.erase(i, 1); break;
      case kDouble: out.insert(i, 1, out[i]); break;
      case kStray: out.insert(i, 1, stray); break;
      case kSilent:
      case kHangUp: out.resize(i); break;
      default: break;
    }
    return out;
  }

  // The same damage as a UART with parity checking receives it, in the
  // marked form of NoisyLine::Send: the character the noise hit arrives
  // flagged (for a dropped character, the one after the gap).
  std::string Flagged(const std::string& clean) const {
    if (clean.empty() || kind == kNone) return NoisyLine::Plain(clean);
    const std::size_t i = at % clean.size();
    const std::string before = NoisyLine::Plain(clean.substr(0, i));
    switch (kind) {
      case kFlip:
        return before + NoisyLine::Flagged(static_cast<char>(clean[i] ^ (1 << bit))) + NoisyLine::Plain(clean.substr(i + 1));
      case kDrop:
        if (i + 1 >= clean.size()) return before;
        return before + NoisyLine::Flagged(clean[i + 1]) + NoisyLine::Plain(clean.substr(i + 2));
      case kDouble:
        return before + NoisyLine::Plain(clean.substr(i, 1)) + NoisyLine::Flagged(clean[i]) +
               NoisyLine::Plain(clean.substr(i + 1));
      case kStray:
        return before + NoisyLine::Flagged(stray) + NoisyLine::Plain(clean.substr(i));
      case kSilent:
      case kHangUp:
        return before;
      default:
        return NoisyLine::Plain(clean);
    }
  }
};

class NoiseSource {
 public:
  explicit NoiseSource(uint64_t seed) : rng_(seed) {}

  // One damage somewhere in a send of `length` characters.
  Damage Pick(std::size_t length, bool cuts = true) {
    Damage d;
    const int kinds = cuts ? 6 : 4;
    d.kind = static_cast<Damage::Kind>(1 + Below(kinds));
    d.at = Below(static_cast<uint32_t>(length ? length : 1));
    d.bit = static_cast<int>(Below(8));
    static const char kStrays[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x10,
                                   0x11, 0x12, 0x13, 0x15, 0x17, 0x1B, 0x7F, '\r', '\n'};
    d.stray = kStrays[Below(sizeof kStrays)];
    return d;
  }
  // True with the chance `percent` in a hundred.
  bool Chance(int percent) { return static_cast<int>(Below(100)) < percent; }
  uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }

 private:
  std::mt19937_64 rng_;
};

}  // namespace sim
