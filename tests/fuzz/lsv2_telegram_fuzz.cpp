// Fuzz target: bytes from an LSV-2 line, read telegram by telegram as the
// read thread does. Every telegram read whole must have the check the
// protocol gives it, frame back to a telegram that reads the same, and be
// no longer than the reader allows; a refused one must really be wrong.
// Its head and number are read as the decoder reads them.
// Covers: dnc/lsv2_telegram.cpp
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dnc/lsv2_telegram.h"

namespace {

// The check of a text by the protocol's rule, apart from the code.
unsigned char Check(const std::string& text) {
  unsigned char x = 0x03;
  for (char c : text) x ^= static_cast<unsigned char>(c);
  return x;
}

// The text of the telegram that starts at the first DLE STX of the bytes.
std::string FramedText(const std::string& bytes) {
  TLsv2TelegramReader r;
  for (char b : bytes)
    if (r.Take(b) == TLsv2TelegramReader::Complete) return r.Text();
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TLsv2TelegramReader reader;
  for (size_t i = 0; i < size; i++) {
    const char b = static_cast<char>(data[i]);
    const TLsv2TelegramReader::Result r = reader.Take(b);
    if (r == TLsv2TelegramReader::More) continue;
    const std::string text = reader.Text();
    if (text.size() > TLsv2TelegramReader::kMaxText + 1) std::abort();
    if (r == TLsv2TelegramReader::Complete) {
      if (Check(text) != static_cast<unsigned char>(b) || Lsv2Bcc(text) != static_cast<unsigned char>(b)) std::abort();
      // A text holds no DLE ETX, so it frames back to itself.
      if (text.find(std::string{kLsv2Dle, kLsv2Etx}) != std::string::npos) std::abort();
      if (FramedText(Lsv2Frame(text)) != text) std::abort();
      // What the decoder takes from it.
      const TLsv2Head head = Lsv2Head(text);
      if (head == TLsv2Head::DataBlock && text.compare(0, 4, "R PP") != 0) std::abort();
      if (auto n = Lsv2TelegramNumber(text)) {
        if (*n > 999999999ul) std::abort();
        const std::string answer = Lsv2FormatTelegram(TLsv2Kind::Ready, *n);
        if (FramedText(answer).compare(0, 5, "PTPP%") != 0) std::abort();
      }
    } else if (r == TLsv2TelegramReader::BadCheck) {
      if (Check(text) == static_cast<unsigned char>(b)) std::abort();
    }
    reader.Reset();
  }
  return 0;
}
