// The program side of an LSV-2 send: the drip-feed file that cuts a long
// program into numbered part programs a control can take one after the
// other, and the source that turns the file to send into the telegram
// texts of the exchange ("R PP" blocks, the part ends and starts, "T FD").
#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"

// A part break in the drip-feed file: FF CR LF ETX, then the line's CR LF.
inline constexpr char kLsv2PartBreak[] = "\f\r\n\x03";
inline constexpr std::size_t kLsv2PartBreakBytes = 6;

// The part size of a block size from the configuration (a fifth of it).
long Lsv2PartSize(long blockSize);

// Rewrites the program at `program` into the drip-feed file at `drip`:
// blocks renumbered, the first part header carrying `firstNumber`, part
// breaks after about `partSize` bytes (and after the 39th block of the
// first part), the end lines "?" and "0000". False when the program cannot
// be read or the file not written whole.
bool Lsv2WriteDripFeedFile(const std::string& program, const std::string& drip, unsigned long firstNumber,
                           long partSize);

// The file being sent, as telegram texts one after the other.
class TLsv2BlockSource {
 public:
  // Plain: the file in "R PP" blocks. Drip feed: `nextPart` is the number
  // of the part program that follows the first one.
  bool Open(const std::string& path, bool drip, unsigned long nextPart);
  void Close();
  bool IsOpen() const { return file_.is_open(); }

  enum class End { None, Program, Part };
  struct Block {
    std::string Text;
    // Program: "T FD" ends the program; Part: "T FD" ends a part, the next
    // one is to be announced.
    End Ends = End::None;
    // True when the file could not be read: the text is "T FD" but the
    // program was not sent whole.
    bool Failed = false;
  };
  Block Next();

  // The number of the next part program (the one after the part sent).
  unsigned long PartNumber() const { return part_; }
  int Step() const { return step_; }
  bool DripFeed() const { return drip_; }

 private:
  // Tops the look-ahead up to n bytes when the file has them.
  bool Fill(std::size_t n);
  std::string TakeData(std::size_t room);
  Block Finish(bool failed = false);

  plat::File file_;
  std::string ahead_;
  bool eof_ = false;
  bool failed_ = false;
  bool drip_ = false;
  bool done_ = false;
  int step_ = 0;
  unsigned long part_ = 0;
  char last_ = '\n';
};
