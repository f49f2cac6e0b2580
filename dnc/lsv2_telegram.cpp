#include "dnc/lsv2_telegram.h"

#include <cstdio>

unsigned char Lsv2Bcc(std::string_view text) {
  unsigned char bcc = static_cast<unsigned char>(kLsv2Etx);
  for (char c : text) bcc ^= static_cast<unsigned char>(c);
  return bcc;
}

std::string Lsv2Frame(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 5);
  out += kLsv2Dle;
  out += kLsv2Stx;
  out += text;
  out += kLsv2Dle;
  out += kLsv2Etx;
  out += static_cast<char>(Lsv2Bcc(text));
  return out;
}

std::string Lsv2FormatTelegram(TLsv2Kind kind, unsigned long number) {
  char text[40];
  switch (kind) {
    case TLsv2Kind::Found:
    case TLsv2Kind::DripAnnounce:
      std::snprintf(text, sizeof text, "PRPP%%%06lu*", number);
      break;
    case TLsv2Kind::Ready:
      std::snprintf(text, sizeof text, "PTPP%%%06lu*", number);
      break;
    case TLsv2Kind::NotFound:
      std::snprintf(text, sizeof text, "TDPPF ");
      break;
    case TLsv2Kind::NextBlock:
      std::snprintf(text, sizeof text, "T NB");
      break;
    case TLsv2Kind::Finished:
      std::snprintf(text, sizeof text, "T FD");
      break;
  }
  return Lsv2Frame(text);
}

void TLsv2TelegramReader::Reset() {
  stage_ = Hunting;
  dle_ = false;
  taken_ = 0;
  text_.clear();
}

TLsv2TelegramReader::Result TLsv2TelegramReader::Take(char byte) {
  taken_++;
  switch (stage_) {
    case Hunting:
      // A stray byte before the frame is passed over.
      if (dle_ && byte == kLsv2Stx) {
        stage_ = InText;
        text_.clear();
        dle_ = false;
      } else {
        dle_ = byte == kLsv2Dle;
      }
      return More;
    case InText:
      if (dle_) {
        dle_ = false;
        if (byte == kLsv2Etx) {
          stage_ = AwaitCheck;
          return More;
        }
        text_ += kLsv2Dle;
      }
      if (byte == kLsv2Dle) {
        dle_ = true;
        return More;
      }
      text_ += byte;
      if (text_.size() > kMaxText) {
        stage_ = Hunting;
        return TooLong;
      }
      return More;
    case AwaitCheck:
      stage_ = Hunting;
      return static_cast<unsigned char>(byte) == Lsv2Bcc(text_) ? Complete : BadCheck;
  }
  return More;
}

TLsv2Head Lsv2Head(std::string_view text) {
  if (text.substr(0, 5) == "\r\n?\rF") return TLsv2Head::Clearing;
  struct Entry {
    const char* head;
    TLsv2Head meaning;
  };
  static const Entry kHeads[] = {
      {"TDPP", TLsv2Head::ProgramRequest}, {"M RR", TLsv2Head::FirstBlock}, {"M RT", TLsv2Head::RequestNext},
      {"T WA", TLsv2Head::Wait},           {"M IN", TLsv2Head::Reset},      {"RDPP", TLsv2Head::MachineSending},
      {"R PP", TLsv2Head::DataBlock},      {"T FD", TLsv2Head::MachineFinished}, {"T NB", TLsv2Head::NextRequest},
  };
  const std::string_view head = text.substr(0, 4);
  for (const auto& e : kHeads)
    if (head == e.head) return e.meaning;
  return TLsv2Head::Unknown;
}

std::optional<unsigned long> Lsv2TelegramNumber(std::string_view text) {
  const std::size_t at = text.find('%');
  if (at == std::string_view::npos) return std::nullopt;
  unsigned long n = 0;
  std::size_t i = at + 1, digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; i++, digits++) {
    if (digits >= 9) return std::nullopt;
    n = n * 10 + static_cast<unsigned long>(text[i] - '0');
  }
  if (digits == 0) return std::nullopt;
  return n;
}
