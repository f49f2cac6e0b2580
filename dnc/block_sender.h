// Sending blocks of a program to a machine on a serial line, shared by the
// write threads of the standard and raw ASCII protocols: each block goes
// out whole under the machine's software or hardware flow control, the
// operator's cancel, the break count and the XOFF limit. A port held by
// XOFF or CTS shows status 36 while it waits, also in the middle of a
// block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/sync.h"
#include "platform/wintypes.h"

class TDncPort;

// How a send ended. Anything but Done is logged and counted as cancelled.
enum class SendEnd { Done, Cancelled, BreakCount, XoffLimit, WriteError };

// What the protocols' senders do differently.
struct TSendRules {
  long breakCount = 0;  // more incoming bytes than this end the send; 0: none
  long xoffLimit = 0;   // minutes held by XOFF that end the send; 0: none
  long blockDelayMs = 0;
  bool heedsCts = true;       // the type-7 wait variant sends without looking at CTS
  bool drainsByTicks = false;  // the wait variant looks at the queue every 20 ms
  bool logsXoffWaits = true;
  bool logsXoffLimit = true;
  uint32_t refreshEvery = 256;  // bytes between updates of the transfer panel
};

class TBlockSender {
 public:
  TBlockSender(TDncPort& port, const TSendRules& rules);
  ~TBlockSender();
  TBlockSender(const TBlockSender&) = delete;
  TBlockSender& operator=(const TBlockSender&) = delete;

  // Sends the block whole: what a write leaves is written again after the
  // next flow wait.
  SendEnd Send(const std::string& block);
  // True when the operator cancelled or the server stops within ms; the
  // line is then purged and released from XOFF.
  bool Cancelled(DWORD ms);

 private:
  enum class Woke { Written, Stopped, Timeout };
  Woke Await(DWORD ms, bool writing);
  SendEnd FlowWait(DWORD writing);
  void Count(DWORD n);

  TDncPort& port_;
  TSendRules rules_;
  long flow_ = 0;
  bool stoppedWriting_ = false;
  uint32_t sinceRefresh_ = 0;
  plat::Event writeEvent_{true, false};
};

// After a send: a second at a time until the line has sent all, or the
// server stops.
void AwaitDrained(TDncPort& port);

// Bytes a send hands the line in one write: about half a second of line
// time, at least 1000 bytes, at most 8 KB. Every block costs the port's
// thread a wake-up and a look at the flow state, so a fast line sends
// bigger blocks; the wait for a block still notices a hold, a cancel or a
// stop at once.
std::size_t DncSendBlock(const TDncPort& port);
// Bytes a reception asks the line for at a time: the configured read block
// size, or half a second of line time (at most 8 KB) when that is more.
// A read's total time-out grows with its size by the same time a byte, so
// a reception ends as before: when the line falls quiet for the interval
// or delivers too slowly.
DWORD DncReadBlock(const TDncPort& port);
