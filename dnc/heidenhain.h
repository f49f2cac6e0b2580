// The Heidenhain block protocol (types 2 and 8): the control on the
// machine drives every exchange. It asks for a program by name (the server
// sends it block by block), announces a program it is about to output (the
// server stores it), or asks for a directory listing. Six threads per port
// carry the protocol and hand work to each other through the port's
// hand-off events: poll, send, read, parse, answer and wait.
//
// Each exchange ends with the port reset and back to polling, so a control
// that falls silent, a line that drops or the operator's cancel never
// leaves the port half-way: a send that did not reach its end is not
// counted, and a reception that did not reach its end is kept as a failed
// transfer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class TDncPort;

// Control characters of the protocol.
enum : unsigned char {
  kHeiSoh = 0x01,
  kHeiStx = 0x02,
  kHeiEtx = 0x03,
  kHeiEot = 0x04,
  kHeiAck = 0x06,
  kHeiFf = 0x0C,
  kHeiDc1 = 0x11,
  kHeiDc3 = 0x13,
  kHeiNak = 0x15,
  kHeiEtb = 0x17,
  kHeiEsc = 0x1B
};

// Transfer state of a port.
enum { kHeiNone = 0, kHeiSend = 1, kHeiRead = 3 };

void HeiPollThread(void* port);
void HeiSendThread(void* port);
void HeiReadThread(void* port);
void HeiParsThread(void* port);
void HeiAnswerThread(void* port);
void HeiWaitThread(void* port);

// The block check: XOR of every byte from the start byte through the ETB.
unsigned char HeiBlockCheck(std::string_view bytes);
// A block as the server sends it: STX, the text, ETB, the check, DC1.
std::string HeiFrameBlock(std::string_view text);

// Collects one received block, byte by byte, after its STX or SOH. Type 2
// ends a block at a DC1 outside the check position; type 8 at the check
// byte after the first ETB. A block is good when it is text, ETB and the
// right check byte.
class THeiBlockReader {
 public:
  // Blocks longer than this are garbage on the line, not a program line.
  static constexpr std::size_t kLongest = 1 << 20;

  THeiBlockReader(unsigned char startByte, bool endsWithDc1) : start_(startByte), dc1_(endsWithDc1) {}
  // True when the byte ended the block.
  bool Feed(unsigned char byte);
  // The block text without its ETB (valid once good).
  std::string Text() const;
  bool Good() const;
  const std::string& Bytes() const { return bytes_; }

 private:
  unsigned char start_;
  bool dc1_;
  bool checkNext_ = false;
  bool checkTaken_ = false;
  bool overlong_ = false;
  std::string bytes_;
};

// What a block received while idle asks for.
enum class THeiCommand { None, Request, Announce };
// The command of a block text, and the program name: the text from its
// second byte up to the marker "E" (request) or "A" (announcement) that
// ends it.
THeiCommand HeiParseCommand(const std::string& text, std::string* name);

// The directory command after DC3: ESC, DC1, "O D", CR, LF. Feed returns
// true once the whole command came; wrong bytes are skipped.
class THeiListMatcher {
 public:
  static constexpr char kCommand[] = "\x1b\x11O D\r\n";
  bool Feed(unsigned char byte, bool* matched = nullptr);
  int Position() const { return at_; }

 private:
  int at_ = 0;
};

// The head of a directory listing and the text sent when the machine's
// directory cannot be built.
std::string HeiListingHead();
std::string HeiEmptyDirectory();
