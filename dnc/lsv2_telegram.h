// LSV-2 telegrams as they go over the line: DLE STX, the text, DLE ETX and
// a block check (the XOR of the text and ETX). The control characters of
// the exchange, the telegrams the server writes, a reader that takes a
// received telegram byte by byte, and the meaning of a received text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

constexpr char kLsv2Stx = 0x02;
constexpr char kLsv2Etx = 0x03;
constexpr char kLsv2Eot = 0x04;
constexpr char kLsv2Enq = 0x05;
constexpr char kLsv2Dle = 0x10;
constexpr char kLsv2Nak = 0x15;
// Data bytes in one "R PP" block.
constexpr std::size_t kLsv2BlockData = 124;

// The block check of a telegram text.
unsigned char Lsv2Bcc(std::string_view text);
// The text framed for the line.
std::string Lsv2Frame(std::string_view text);

// The fixed telegrams of the server.
enum class TLsv2Kind {
  Found,         // "PRPP%nnnnnn*": the requested program follows
  NotFound,      // "TDPPF ": no such program
  Ready,         // "PTPP%nnnnnn*": ready for the announced program
  NextBlock,     // "T NB": the control is to send its next block
  Finished,      // "T FD": the program sent is complete
  DripAnnounce,  // "PRPP%nnnnnn*" of the next drip-feed part
};
// The framed telegram; number is used by the three program telegrams.
std::string Lsv2FormatTelegram(TLsv2Kind kind, unsigned long number = 0);

// Reads one telegram out of the bytes of the line. Bytes before DLE STX
// are passed over; DLE bytes of the text are not doubled, so the text ends
// at the first DLE ETX, and the byte after it is the block check. A text
// that grows past kMaxText is refused, so nothing received can run away.
class TLsv2TelegramReader {
 public:
  static constexpr std::size_t kMaxText = 4096;
  enum Result { More, Complete, BadCheck, TooLong };

  Result Take(char byte);
  void Reset();
  // The text of the last complete telegram.
  const std::string& Text() const { return text_; }
  // The bytes taken since the last reset (for the trace).
  std::size_t Taken() const { return taken_; }

 private:
  enum Stage { Hunting, InText, AwaitCheck };
  Stage stage_ = Hunting;
  bool dle_ = false;
  std::size_t taken_ = 0;
  std::string text_;
};

// What a received telegram asks of the server.
enum class TLsv2Head {
  Unknown,
  Clearing,        // CR LF '?' CR 'F'
  ProgramRequest,  // "TDPP": the control asks for a program
  FirstBlock,      // "M RR": the control asks for the first block
  RequestNext,     // "M RT": the server is to ask for the next block
  Wait,            // "T WA"
  Reset,           // "M IN"
  MachineSending,  // "RDPP": the control announces a program
  DataBlock,       // "R PP": a block of the control's program
  MachineFinished, // "T FD": the control's program is complete
  NextRequest,     // "T NB": the control asks for the next block
};
TLsv2Head Lsv2Head(std::string_view text);
// The program number after the first '%' of the text; none when no digit
// follows it or the number does not fit.
std::optional<unsigned long> Lsv2TelegramNumber(std::string_view text);
