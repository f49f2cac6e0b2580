// What the port threads of every protocol share: the transfer's start and
// end around the line, and the read loop that the line-oriented protocols
// (standard RS-232 and raw) run with hooks of their own, and their send
// loop.
#pragma once

#include "dnc/block_sender.h"
#include "platform/serial.h"
#include "platform/wintypes.h"

class TDncPort;

// The port's status in the control window.
void SetDncPortStatus(TDncPort& port, int status);
// A poll thread's start on a port with a job's programs still to send: the
// answer delay, cut short by a cancel (the job's programs are dropped) or
// a stop. True when the thread is done: the next program's send is
// requested or the server stops.
bool AwaitJobTurn(TDncPort& port);
// Polling from here on: the send-request event opens and the transfer
// counters clear; the log line says which protocol polls.
void BeginPolling(TDncPort& port, const char* log);
// Whether a comm call's error means the line itself is gone (hung up,
// device unplugged, handle closed).
bool LineGone(unsigned long error);
// A line that is gone is closed and opened again once a second until it
// opens, as when the cable or adapter is back; false when the server stops
// meanwhile.
bool ReopenLine(TDncPort& port);
// Whether a line that is gone still holds bytes it took before it went:
// they are a reception to keep, not to drop with the old line.
bool InputLeftOnLine(TDncPort& port);
// Polling reads the line's error state to learn of queued bytes and
// breaks; errors (a break among them) that came with those bytes are kept
// for the reception they start.
void KeepPollLineErrors(TDncPort& port, unsigned long errors);
// A read thread's start: the errors kept while polling mark the reception.
void TakePollLineErrors(TDncPort& port);
// Opens the port's receive file for a reception; when it cannot be
// created the port is logged and sent back to polling, and false comes back.
bool OpenTransferFile(TDncPort& port);
// Flushes and closes the receive file; a failed flush marks the reception.
void CloseTransferFile(TDncPort& port);
// Keeps the reception as a failed transfer unless the row discards them;
// true when something was kept.
bool KeepFailed(TDncPort& port);
// A machine's request that cannot be served (its program could not be
// looked up or locked) is logged and kept as a failed transfer, unless the
// row discards them: never dropped unnoticed. True when it was kept.
bool KeepUnservedRequest(TDncPort& port);
// A reception on a port with an end trigger that never reached it is an
// incomplete program: kept as a failed transfer (true), not to be stored.
bool KeepIfIncomplete(TDncPort& port);

// What a protocol's poll thread does its own way; the loop around the line
// (the bytes queued before a wait, the wait for the line's event, the stop
// and the send request, the line that goes and comes back) is the same.
enum class PollStep { Again, Receive, Cancelled };
struct TPollHooks {
  DWORD WaitMask = EV_RXCHAR;  // the events the line reports while polling
  const char* StartLog = "";
  const char* StopLog = "";
  const char* WaitLog = nullptr;  // before each wait (null: none)
  const char* FailLog = nullptr;  // when the wait cannot start (null: none)
  // An event the line reports at once starts the reception; without this
  // the line's queue is asked again.
  bool ReceivesOnImmediateEvent = false;
  // The line made ready for polling once the job's turn is past (null:
  // nothing).
  void (*Prepare)(TDncPort& port) = nullptr;
  // What the event the wait brought means.
  PollStep (*Woken)(TDncPort& port, DWORD mask) = nullptr;
};
// A poll thread: waits for the line until bytes come (the master gets the
// request to receive), the server stops or a send is requested.
void RunPolling(TDncPort& port, const TPollHooks& hooks);

// What a protocol's read thread does its own way; the loop around the line
// (overlapped reads, the waits on the read, the stop and the cancel, the
// line errors, the receive file and the log) is the same for all.
struct TReadHooks {
  DWORD CommMask = 0;  // the events the line reports while it receives
  const char* StartLog = "";
  // Each read, wait and last block is logged, and the line errors by name.
  bool Traces = false;
  // A parity or framing error lets the reading go on; without this any
  // failed read ends the reception as failed.
  bool ReadsOnAfterLineErrors = false;
  // Clears the protocol's own reception state (null: none).
  void (*Begin)(TDncPort& port) = nullptr;
  // Keeps what came when the server stops under a reception: the master
  // serves no more requests.
  void (*KeepStopped)(TDncPort& port) = nullptr;
};
// The reception's path without its line, as the read loop takes it: with
// the receive file open (OpenTransferFile), the start clears the counters
// and the protocol's state; each block the line brings goes through the
// port's filter into the file; CloseTransferFile ends it.
void StartReceiving(TDncPort& port, const TReadHooks& hooks);
void ReceiveBlock(TDncPort& port, const unsigned char* bytes, DWORD n);
// A read thread: receives until the line falls silent, the operator cancels
// or the server stops, then asks the master for the parse (or, cancelled,
// for polling).
void RunReception(TDncPort& port, const TReadHooks& hooks);

// What a protocol's write thread does its own way: the program's bytes, the
// texts around them and the rules of the sender. The loop around them (the
// job's next program, the program's lock, the cancel, the drain, the log of
// the send, the count and the rest before polling) is the same for all.
class TSendHooks {
 public:
  virtual ~TSendHooks() = default;
  // Opens the program to send (the port's program path) and sets the bytes
  // to send; false when it cannot be read.
  virtual bool OpenProgram(TDncPort& port) = 0;
  // Everything between the open program and the drain: what the machine
  // gets, through the sender.
  virtual SendEnd Send(TDncPort& port, TBlockSender& sender) = 0;
  virtual void CloseProgram() = 0;
  virtual TSendRules Rules(const TDncPort& port) const = 0;

  const char* StartLog = "";
  const char* StopLog = "";
  bool SetsRingMask = true;  // the line reports nothing but a ring meanwhile
  bool PurgesFirst = true;
  // A job's next program is taken from the port's list, whether it can be
  // sent or not, so a job left in the port is not offered again and again.
  bool TakesJobProgram = false;
  // A port whose row sends over the link leaves the program unlocked.
  bool LinkSendsUnlocked = false;
  bool LogsSend = true;  // the system log gets a line for the send
  // The program's description in that line falls back to the pending name.
  bool NamesPending = false;
  bool LogsWaits = false;  // the drain and the rest are logged
  bool RestsAfterSend = true;
  bool ClearsOmitLines = false;
};
// A write thread: sends the port's program (a database program under its
// lock, or a file) and asks the master for polling. A send that does not
// reach its end is logged as cancelled and not counted.
void RunSend(TDncPort& port, TSendHooks& hooks);
