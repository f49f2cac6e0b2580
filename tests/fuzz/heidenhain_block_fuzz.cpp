// Fuzz target: bytes from a Heidenhain line, read as the read thread reads
// them: blocks after their start byte (type 2 ending at DC1, type 8 at the
// check byte), the command of a good block, and the directory command
// after DC3. A block is good exactly when it is text, ETB and the right
// check; a good block's text frames back to a block that reads the same.
// The first input byte picks the line type and the start byte.
// Covers: dnc/heidenhain.cpp (framing, block reader, command, list matcher)
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dnc/heidenhain.h"

namespace {

// Good by the protocol's rule: one ETB, the check after it and nothing
// more; the check is the XOR from the start byte through the ETB.
bool GoodByRule(unsigned char start, const std::string& bytes) {
  const std::size_t etb = bytes.find(static_cast<char>(kHeiEtb));
  if (etb == std::string::npos || etb + 2 != bytes.size()) return false;
  unsigned char x = start;
  for (std::size_t i = 0; i <= etb; i++) x ^= static_cast<unsigned char>(bytes[i]);
  return x == static_cast<unsigned char>(bytes.back());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool type2 = (data[0] & 1) == 0;
  const unsigned char start = (data[0] & 2) ? kHeiSoh : kHeiStx;
  size_t i = 1;
  while (i < size) {
    THeiBlockReader reader(start, type2);
    bool ended = false;
    while (i < size && !ended) ended = reader.Feed(data[i++]);
    if (!ended) break;
    const bool good = reader.Good();
    if (good != GoodByRule(start, reader.Bytes())) std::abort();
    if (!good) continue;
    const std::string text = reader.Text();
    if (text.find(static_cast<char>(kHeiEtb)) != std::string::npos) std::abort();
    // Framed again (always with STX), the text reads back whole.
    const std::string framed = HeiFrameBlock(text);
    THeiBlockReader again(kHeiStx, type2);
    bool back = false;
    for (std::size_t k = 1; k < framed.size() && !back; k++) back = again.Feed(static_cast<unsigned char>(framed[k]));
    if (!back || !again.Good() || again.Text() != text) std::abort();
    std::string name;
    const THeiCommand command = HeiParseCommand(text, &name);
    if (command != THeiCommand::None && name != text.substr(1, text.size() - 2)) std::abort();
  }

  // The directory command is found as the seven bytes in order, whatever
  // comes between them.
  THeiListMatcher list;
  const std::string command = THeiListMatcher::kCommand;
  std::size_t next = 0;
  for (size_t k = 1; k < size; k++) {
    const bool whole = list.Feed(data[k]);
    if (static_cast<char>(data[k]) == command[next]) next++;
    if (whole != (next == command.size())) std::abort();
    if (whole) next = 0;
  }
  return 0;
}
