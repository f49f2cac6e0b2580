// What the block protocols (Heidenhain, LSV-2) share in their exchanges
// with the control: the read of the control's next byte, one at a time,
// against the exchange's deadline, with the waits on the read and the stop.
#pragma once

#include "platform/serial.h"
#include "platform/sync.h"
#include "platform/wintypes.h"

class TDncPort;

// When the wait for the control's next byte runs out; each protocol keeps
// its own clock for it.
class TExchangeDeadline {
 public:
  virtual ~TExchangeDeadline() = default;
  virtual bool Expired() const = 0;
  // The time left for a wait, in the layer's milliseconds (INFINITE: no
  // deadline).
  virtual DWORD Remaining() const = 0;
};

// What a protocol's byte read does its own way.
struct TExchangeReadRules {
  // An event that ends the read at once (null: none), as an exchange that
  // ends under a reader.
  plat::Waitable* Interrupt = nullptr;
  // A read that a purge aborted is issued again; without this it ends the
  // read as a failed line.
  bool ReissuesAbortedRead = false;
  // A stop is seen before each read, and a byte that came with it is still
  // handed on; without this the stop ends the read whatever came.
  bool StopsBetweenBytes = false;
};

enum class ExchangeRead { Byte, TimedOut, Stopped, Interrupted, LineFailed };

// Reads one byte through the caller's overlapped record (whose event is
// `done`). Empty reads (the line's own time-outs) are issued again until
// the deadline; a wait that the deadline, the stop or the interrupt ends
// aborts the read and takes what it still brought.
ExchangeRead ReadExchangeByte(TDncPort& port, plat::OVERLAPPED& ov, plat::Event& done, unsigned char& byte,
                              const TExchangeDeadline& deadline, const TExchangeReadRules& rules);
