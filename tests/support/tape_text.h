// The Mazak tape text as the tape emulation reads it, built here from a
// tape's blocks so that conversions are checked against bytes they did not
// write; and tape files of blocks with the two bytes between them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kvtape {

inline std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

inline std::string CheckOf(const std::string& payload) {
  unsigned sum = 0;
  for (unsigned char c : payload) sum += c;
  char text[3];
  std::snprintf(text, sizeof text, "%02X", sum & 0xFF);
  return text;
}

// A record as the tape emulation reads it: plain, or hex for a payload
// that holds CR, LF or NUL.
inline std::string Record(const std::string& payload) {
  bool breaks = payload.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
  return "_" + (breaks ? Hex(payload) : payload) + "_" + CheckOf(payload) + "_\r\n";
}

inline std::string Zeros(std::size_t n) { return std::string(n, '0'); }

// The whole tape text of a tape's blocks.
inline std::string TapeText(char kind, const std::vector<std::string>& blocks) {
  std::string text = "[TAPEMARK-0]\r\n";
  text += Record("311" + std::string(1, kind) + Zeros(7) + "1" + Zeros(116));
  text += Record("3000" + blocks[0].substr(14, 4) + "01" + Zeros(118));
  text += Record("32" + Zeros(126));
  text += "[TAPEMARK-1]\r\n";
  for (const auto& b : blocks) text += Record(b);
  text += "[TAPEMARK-2]\r\n";
  text += Record("2" + Zeros(127));
  return text;
}

// A tape file: a leader, the blocks with two bytes between them, a tail.
inline std::string TapeFile(const std::string& leader, const std::vector<std::string>& blocks, const std::string& tail = "") {
  std::string file = leader;
  for (std::size_t i = 0; i < blocks.size(); ++i) file += (i ? std::string("\x13\x11") : std::string()) + blocks[i];
  return file + tail;
}

inline std::string Block(const std::string& head, char fill = 'A') { return head + std::string(128 - head.size(), fill); }

}  // namespace kvtape
