// Mazak tape emulation: the port plays the tape unit of a Mazak control.
// The control sends short command telegrams ("p1" STX block ETX check EOT,
// "q" EOT, ...) and the port answers each with a code and EOT, or with a
// data block when the control reads. What the control writes is kept as a
// text file, the tape image, one line per block ("_data_check_") and one
// line "[TAPEMARK-n]" per tape mark; program imports write the same text,
// so an image received from a control can be sent back unchanged.
//
// This file holds the parts without a serial line: telegram framing,
// command codes, block checks, image lines, program numbers in headers,
// request names and the answer tables of both directions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Control types, by their index in the setup list.
enum {
  kMazakT1 = 0,
  kMazakM1 = 1,
  kMazakT2 = 2,
  kMazakM2 = 3,
  kMazakT32 = 4,
  kMazakM32 = 5,
  kMazakTPlus = 6,
  kMazakMPlus = 7
};

// Command codes; -1 for a text the tape unit does not know.
enum {
  kMazakWriteBlock = 1,
  kMazakReadStatus = 2,
  kMazakWriteEmpty = 3,
  kMazakWriteMark = 4,
  kMazakDeleteRec = 5,
  kMazakReadBlock = 6,
  kMazakSkipBlock = 7,
  kMazakLoadPoint = 8,
  kMazakLoadDelete = 9,
  kMazakRewind = 10,
  kMazakSearch = 11
};

constexpr char kMazakStx = 0x02;
constexpr char kMazakEtx = 0x03;
constexpr char kMazakEot = 0x04;

// The receiving answers of a port, by control type.
struct TMazakCodes {
  std::string Ack, Error, Status, Mark;
};
// False for a type that is not one of the eight (no codes, no threads).
bool MazakInitCodes(int controlType, TMazakCodes& codes);
// The types that have threads: T2, M2, T32, M32, T+ and M+.
bool MazakActiveType(int controlType);
// The tag in log lines ("T3" for T32 ...); empty for T1, M1 and others.
const char* MazakLogTag(int controlType);

// Separates the command text of a complete telegram. With STX the command
// is what precedes it and the telegram keeps only what follows it (block,
// ETX, check, EOT); else the command runs from the first "q" (or "p") to
// the EOT. 4 when a command was found, 5 when the telegram has no STX and
// no EOT.
int MazakSplitCommand(std::string& telegram, std::string& command);
// The code of a command text (exact, case-sensitive), or -1.
int MazakDecodeCommand(const std::string& command);
// The name of a code for the trace ("MAZAK_CMD_READSTATUS" ...).
const char* MazakCommandName(int code);

// The two check characters of a block's data: the sum of the data bytes
// modulo 256 as two upper-case hexadecimal digits.
std::string MazakCheckText(const std::string& data);
// A block as the telegram holds it after STX: data, ETX, check, EOT. True
// when it is framed so and its check characters match its data; the data
// is returned.
bool MazakCheckBlock(const std::string& block, std::string* data = nullptr);

// The tape-image line of a block's data ("_data_check_").
std::string MazakBlockLine(const std::string& data);
// The bytes sent for an image line: STX data ETX check EOT. The framing is
// taken from the line's first character and its last two underscores, so
// an underscore inside the data stays data. A 128-byte block holding CR,
// LF or NUL stands in its line as 256 upper-case hex digits (as imports
// write it) and is sent as its 128 bytes. Empty for a line that is no
// block line.
std::string MazakLineBlock(const std::string& line);
// "[TAPEMARK-n]".
std::string MazakTapeMarkLine(int number);

// Header readings; a character other than 0-9 and A-F counts as 0.
uint32_t MazakHex8ToLong(const std::string& text, std::size_t from, std::size_t digits);
uint32_t MazakHex4SwappedToLong(const std::string& text, std::size_t from);
// The program number that a header block's data names for the type, or
// nothing when the block is no header of that type.
std::optional<uint32_t> MazakHeaderNumber(int controlType, const std::string& data);
// The program name that a request tape (its image lines) asks for, or
// nothing when the tape does not hold it.
std::optional<std::string> MazakRequestName(int controlType, const std::vector<std::string>& lines);

// A telegram the receiving side took: its command code, and whether its
// block (when it has one) is good: framed, its check right, its data fit
// for a line of the tape image (no CR, LF or NUL), and sent with the write
// command. A block with any other command means the telegram was damaged.
struct TMazakReceived {
  int Code = -1;
  bool BlockOk = true;
  std::string Data;  // the written block's data
};
TMazakReceived MazakReceivedTelegram(std::string telegram);

// Longer than any telegram a control sends: bytes without an EOT that run
// past it are noise.
constexpr std::size_t kMazakLongestTelegram = 16384;

// Whether the collected bytes form a complete telegram. On M2 the
// receiving side drops a first byte other than "q" or "p" and the sending
// side needs an EOT followed by EOT, STX, "8", "0", "4" or "C" (a
// following STX is dropped). The telegram may be changed.
bool MazakTelegramComplete(int controlType, bool sending, std::string& telegram);

// What one command asks of an exchange.
struct TMazakStep {
  std::string Answer;      // empty: no answer
  bool Eot = true;         // the answer ends with EOT
  bool StoreBlock = false; // receiving: store the block
  bool CountBytes = false; // receiving: add the bytes and refresh the panel
  int MarkLine = -1;       // receiving: write this tape-mark line
  int Search = -1;         // sending: seek this tape mark
  bool SendBlock = false;  // sending: the next data block follows
  int PauseMs = 0;         // before the answer
  bool End = false;        // the exchange ends after the answer
  bool Failed = false;     // receiving: the tape is damaged, store nothing
};

// One exchange of a port: its direction, type and counts.
class TMazakExchange {
 public:
  TMazakExchange(int controlType, bool sending);
  // blockOk: the telegram's block is good (receiving only); a damaged
  // telegram is answered with the error code and ends the exchange.
  TMazakStep Step(int code, bool blockOk = true);
  int Marks() const { return marks_; }
  int Rewinds() const { return rewinds_; }

 private:
  TMazakStep ReceiveStep(int code);
  TMazakStep SendStep(int code);

  int type_;
  bool sending_;
  TMazakCodes codes_;
  int marks_ = 0;
  int rewinds_ = 0;
};
