#include "formats/mazak_tape.h"

#include <cstdio>

bool MazakActiveType(int t) { return t >= kMazakT2 && t <= kMazakMPlus; }

bool MazakInitCodes(int t, TMazakCodes& c) {
  if (t < kMazakT1 || t > kMazakMPlus) return false;
  const bool ack8 = t == kMazakM2 || t == kMazakMPlus;
  const bool status8 = t == kMazakT32 || t == kMazakM32 || t == kMazakMPlus;
  c.Ack = ack8 ? "p08" : "p00";
  c.Error = "P9401";
  c.Status = status8 ? "q08" : "q00";
  c.Mark = ack8 ? "p0A" : "p02";
  return true;
}

const char* MazakLogTag(int t) {
  static const char* const tags[] = {"", "", "T2", "M2", "T3", "M3", "T4", "M4"};
  return t >= 0 && t <= kMazakMPlus ? tags[t] : "";
}

int MazakSplitCommand(std::string& telegram, std::string& command) {
  std::size_t stx = telegram.find(kMazakStx);
  if (stx != std::string::npos) {
    command = telegram.substr(0, stx);
    telegram.erase(0, stx + 1);
    return 4;
  }
  std::size_t eot = telegram.find(kMazakEot);
  if (eot == std::string::npos) return 5;
  std::string head = telegram.substr(0, eot);
  std::size_t from = head.find('q');
  if (from == std::string::npos) from = head.find('p');
  command = from == std::string::npos ? head : head.substr(from);
  return 4;
}

namespace {
struct CommandEntry {
  const char* Text;
  int Code;
};
constexpr CommandEntry kCommands[] = {
    {"p1", kMazakWriteBlock}, {"q", kMazakReadStatus},  {"pq", kMazakReadStatus}, {"p", kMazakWriteEmpty},
    {"p2", kMazakWriteMark},  {"p3", kMazakDeleteRec},  {"p4", kMazakReadBlock},  {"p6", kMazakSkipBlock},
    {"p8", kMazakLoadPoint},  {"p9", kMazakLoadDelete}, {"pA", kMazakRewind},     {"pD", kMazakSearch}};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}
}  // namespace

int MazakDecodeCommand(const std::string& command) {
  for (const auto& e : kCommands)
    if (command == e.Text) return e.Code;
  return -1;
}

const char* MazakCommandName(int code) {
  static const char* const names[] = {
      "MAZAK_CMD_WRITEBLOCK", "MAZAK_CMD_READSTATUS", "MAZAK_CMD_WRITEEMPTY", "MAZAK_CMD_WRITEMARK ",
      "MAZAK_CMD_DELETEREC ", "MAZAK_CMD_READBLOCK ", "MAZAK_CMD_SKIPBLOCK ", "MAZAK_CMD_LOADPOINT ",
      "MAZAK_CMD_LOADDELETE", "MAZAK_CMD_REWIND    ", "MAZAK_CMD_SEARCH    "};
  return code >= 1 && code <= 11 ? names[code - 1] : "";
}

std::string MazakCheckText(const std::string& data) {
  unsigned sum = 0;
  for (unsigned char c : data) sum += c;
  char text[3];
  std::snprintf(text, sizeof text, "%02X", sum & 0xFF);
  return text;
}

bool MazakCheckBlock(const std::string& block, std::string* data) {
  // The data may hold any byte but the framing ones; the ETX is the last
  // one before the check characters and the final EOT.
  std::size_t eot = block.find(kMazakEot);
  if (eot == std::string::npos) return false;
  std::size_t etx = block.rfind(kMazakEtx, eot);
  if (etx == std::string::npos) return false;
  std::string body = block.substr(0, etx);
  if (body.find(kMazakStx) != std::string::npos || body.find(kMazakEtx) != std::string::npos) return false;
  if (block.substr(etx + 1, eot - etx - 1) != MazakCheckText(body)) return false;
  if (data) *data = body;
  return true;
}

TMazakReceived MazakReceivedTelegram(std::string telegram) {
  TMazakReceived r;
  const bool block = telegram.find(kMazakStx) != std::string::npos;
  std::string command;
  MazakSplitCommand(telegram, command);
  r.Code = MazakDecodeCommand(command);
  if (r.Code == kMazakWriteBlock) {
    // The image keeps a block as one text line: a line end or NUL in the
    // data would come back as another block.
    r.BlockOk = MazakCheckBlock(telegram, &r.Data) &&
                r.Data.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
    if (!r.BlockOk) r.Data.clear();
  } else if (block) {
    r.BlockOk = false;
  }
  return r;
}

std::string MazakBlockLine(const std::string& data) { return "_" + data + "_" + MazakCheckText(data) + "_"; }

namespace {
constexpr std::size_t kTapeBlock = 128;

// The bytes of a block that its image line holds as 256 upper-case hex
// digits (a block with CR, LF or NUL, which would break the line); false
// for data that is no such line.
bool DecodeHexBlock(const std::string& digits, std::string& block) {
  if (digits.size() != 2 * kTapeBlock) return false;
  auto value = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
  std::string bytes(kTapeBlock, '\0');
  for (std::size_t i = 0; i < kTapeBlock; ++i) {
    int high = value(digits[2 * i]), low = value(digits[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<char>(high * 16 + low);
  }
  if (bytes.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) return false;
  block = std::move(bytes);
  return true;
}
}  // namespace

std::string MazakLineBlock(const std::string& line) {
  if (line.size() < 3 || line.front() != '_' || line.back() != '_') return {};
  std::size_t etx = line.rfind('_', line.size() - 2);
  if (etx == 0) return {};
  std::string data = line.substr(1, etx - 1);
  DecodeHexBlock(data, data);
  return kMazakStx + data + kMazakEtx + line.substr(etx + 1, line.size() - etx - 2) + kMazakEot;
}

std::string MazakTapeMarkLine(int number) { return "[TAPEMARK-" + std::to_string(number) + "]"; }

uint32_t MazakHex8ToLong(const std::string& text, std::size_t from, std::size_t digits) {
  uint32_t v = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    std::size_t at = from + i;
    v = v * 16 + static_cast<uint32_t>(at < text.size() ? HexDigit(text[at]) : 0);
  }
  return v;
}

uint32_t MazakHex4SwappedToLong(const std::string& text, std::size_t from) {
  // Low byte first: "3412" is 0x1234.
  return MazakHex8ToLong(text, from + 2, 2) * 256 + MazakHex8ToLong(text, from, 2);
}

std::optional<uint32_t> MazakHeaderNumber(int t, const std::string& data) {
  auto begins = [&](const char* kind) { return data.compare(0, 4, kind) == 0; };
  switch (t) {
    case kMazakM2:
      if (begins("1100")) return MazakHex4SwappedToLong(data, 14);
      [[fallthrough]];
    case kMazakT32:
    case kMazakM32:
    case kMazakTPlus:
      if (begins("3000")) return MazakHex8ToLong(data, 4, 4);
      return std::nullopt;
    case kMazakMPlus:
      if (begins("3000")) return MazakHex8ToLong(data, 4, 8);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::optional<std::string> MazakRequestName(int t, const std::vector<std::string>& lines) {
  if (t == kMazakM2) {
    if (lines.size() < 3 || lines[2].size() < 109) return std::nullopt;
    return std::to_string(MazakHex4SwappedToLong(lines[2], 105));
  }
  std::size_t from, pairs;
  if (t == kMazakT32 || t == kMazakM32 || t == kMazakTPlus) {
    from = 23;
    pairs = 4;
  } else if (t == kMazakMPlus) {
    from = 27;
    pairs = 8;
  } else {
    return std::nullopt;
  }
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].find("[TAPEMARK-1]") == std::string::npos) continue;
    const std::string& line = lines[i + 1];
    if (line.size() < from + 2 * pairs) return std::nullopt;
    std::string name;
    for (std::size_t p = 0; p < pairs; ++p) {
      char c = static_cast<char>(MazakHex8ToLong(line, from + 2 * p, 2));
      // A NUL would cut the name; a request names a program by text only.
      if (c == 0) return std::nullopt;
      name += c;
    }
    return name;
  }
  return std::nullopt;
}

bool MazakTelegramComplete(int t, bool sending, std::string& telegram) {
  if (telegram.empty()) return false;
  if (t != kMazakM2) return telegram.back() == kMazakEot;
  if (!sending) {
    if (telegram.size() == 1 && telegram[0] != 'q' && telegram[0] != 'p') {
      telegram.clear();
      return false;
    }
    return telegram.back() == kMazakEot;
  }
  if (telegram.size() < 2 || telegram[telegram.size() - 2] != kMazakEot) return false;
  switch (telegram.back()) {
    case kMazakStx:
      telegram.pop_back();
      return true;
    case kMazakEot:
    case '8':
    case '0':
    case '4':
    case 'C':
      return true;
    default:
      return false;
  }
}

TMazakExchange::TMazakExchange(int t, bool sending) : type_(t), sending_(sending) { MazakInitCodes(t, codes_); }

TMazakStep TMazakExchange::Step(int code, bool blockOk) {
  if (sending_) return SendStep(code);
  if (blockOk) return ReceiveStep(code);
  TMazakStep s;
  s.Answer = codes_.Error;
  s.Failed = true;
  s.End = true;
  return s;
}

TMazakStep TMazakExchange::ReceiveStep(int code) {
  TMazakStep s;
  switch (code) {
    case kMazakWriteBlock:
      s.StoreBlock = true;
      s.CountBytes = type_ != kMazakT2;
      s.Answer = codes_.Ack;
      break;
    case kMazakReadStatus:
      rewinds_ = 0;
      if (type_ == kMazakT2 || type_ == kMazakT32 || type_ == kMazakM32) marks_ = 0;
      s.Answer = codes_.Status;
      break;
    case kMazakWriteEmpty:
    case kMazakLoadPoint:
    case kMazakLoadDelete:
    case kMazakDeleteRec:
      s.Answer = codes_.Ack;
      break;
    case kMazakWriteMark:
      s.MarkLine = marks_;
      if (type_ == kMazakT2) {
        s.Answer = codes_.Ack;
      } else {
        ++marks_;
        s.Answer = codes_.Mark;
      }
      break;
    case kMazakReadBlock:
      s.Answer = codes_.Error;
      break;
    case kMazakRewind:
      s.Answer = codes_.Ack;
      if (++rewinds_ >= 2) {
        s.PauseMs = 1000;
        s.End = true;
      }
      break;
    case kMazakSearch:
      s.Answer = codes_.Mark;
      break;
    default:
      break;
  }
  return s;
}

TMazakStep TMazakExchange::SendStep(int code) {
  TMazakStep s;
  const bool m2 = type_ == kMazakM2;
  const char* ok = m2 ? "p00" : "p04";
  switch (code) {
    case kMazakWriteBlock:
      s.Answer = "p9401";
      break;
    case kMazakReadStatus:
      if (m2) {
        marks_ = 0;
      } else {
        rewinds_ = 0;
        if (type_ == kMazakT32 || type_ == kMazakM32) marks_ = 0;
      }
      s.Answer = "q04";
      break;
    case kMazakWriteEmpty:
    case kMazakLoadPoint:
    case kMazakLoadDelete:
      s.Answer = ok;
      break;
    case kMazakWriteMark:
      ++marks_;
      s.Answer = "p04";
      break;
    case kMazakReadBlock:
      s.Answer = ok;
      s.Eot = false;
      s.SendBlock = true;
      break;
    case kMazakRewind:
      s.Answer = ok;
      if (++rewinds_ >= (m2 ? 3 : 2))
        s.End = true;
      else
        s.PauseMs = 500;
      break;
    case kMazakSearch:
      s.Search = marks_++;
      s.PauseMs = 1000;
      s.Answer = m2 ? "p02" : "p06";
      break;
    default:
      s.Answer = "p04";
      break;
  }
  return s;
}
