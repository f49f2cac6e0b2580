// Fuzz target: bytes a Mazak control sends, taken telegram by telegram as
// the receiving and sending threads take them: completion by control type,
// command, block check, the exchange's answer, and on the receiving side
// the tape image (block lines and tape marks) with the program number of
// its header and the name a request tape asks for. A block the exchange
// stores must come back from its image line byte for byte, as one line.
// The first input byte picks the control type (low three bits) and the
// side (bit 3: the port sends).
// Covers: dnc/mazak_tape.cpp (MazakReceivedTelegram, the exchange, image
// lines, header numbers and request names)
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/mazak_tape.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int type = data[0] & 7;
  const bool sending = (data[0] & 8) != 0;
  TMazakExchange exchange(type, sending);
  std::vector<std::string> image;
  std::string telegram, command;
  for (size_t i = 1; i < size; i++) {
    telegram.push_back(static_cast<char>(data[i]));
    if (!MazakTelegramComplete(type, sending, telegram)) continue;
    int code;
    bool blockOk = true;
    std::string block;
    if (sending) {
      MazakSplitCommand(telegram, command);
      code = MazakDecodeCommand(command);
    } else {
      const TMazakReceived got = MazakReceivedTelegram(telegram);
      code = got.Code;
      blockOk = got.BlockOk;
      block = got.Data;
    }
    if (code > 0 && MazakCommandName(code)[0] == 0) std::abort();
    const TMazakStep step = exchange.Step(code, blockOk);
    telegram.clear();
    if (step.StoreBlock) {
      if (sending || code != kMazakWriteBlock) std::abort();
      const std::string line = MazakBlockLine(block);
      // The image is a text of lines: the block's line must be one line
      // that gives back the block the control wrote.
      if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) std::abort();
      const std::string framed = MazakLineBlock(line);
      if (framed != kMazakStx + block + kMazakEtx + MazakCheckText(block) + kMazakEot) std::abort();
      std::string again;
      if (!MazakCheckBlock(framed.substr(1), &again) || again != block) std::abort();
      image.push_back(line);
      MazakHeaderNumber(type, block);
    }
    if (step.MarkLine >= 0) image.push_back(MazakTapeMarkLine(step.MarkLine));
    if (step.End) break;
  }
  if (auto name = MazakRequestName(type, image))
    if (name->find('\0') != std::string::npos) std::abort();
  return 0;
}
