// The Heidenhain block protocol: framing, the block check, and the six
// port threads.
//
// One exchange runs from the poll thread's hand-over (the control's first
// byte) to its end, which resets the line and sends the port back to
// polling. Between the two the threads answer each other through the
// port's hand-off events. Readers (wait and read threads) wait for bytes
// no longer than the exchange time-out while an exchange runs; an ending
// exchange interrupts them before it resets the line, so no read is left
// on a handle that goes away.
#include "dnc/heidenhain.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "dbmodel/filetable.h"
#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "dnc/port_exchange.h"
#include "dnc/rs232.h"
#include "dnc/server.h"
#include "dnc/storing.h"
#include "platform/clock.h"
#include "platform/file.h"

// ---------------------------------------------------------------------------
// Framing

unsigned char HeiBlockCheck(std::string_view bytes) {
  unsigned char x = 0;
  for (char c : bytes) x ^= static_cast<unsigned char>(c);
  return x;
}

std::string HeiFrameBlock(std::string_view text) {
  std::string b;
  b.reserve(text.size() + 4);
  b += static_cast<char>(kHeiStx);
  b += text;
  b += static_cast<char>(kHeiEtb);
  b += static_cast<char>(HeiBlockCheck(b));
  b += static_cast<char>(kHeiDc1);
  return b;
}

bool THeiBlockReader::Feed(unsigned char byte) {
  if (checkNext_) {
    // The check byte may take any value, DC1 and ETB included.
    if (!overlong_) bytes_ += static_cast<char>(byte);
    checkNext_ = false;
    checkTaken_ = true;
    return !dc1_;
  }
  if (dc1_ && byte == kHeiDc1) return true;
  if (bytes_.size() >= kLongest) {
    overlong_ = true;  // still read up to its end, so the line stays in step
  } else {
    bytes_ += static_cast<char>(byte);
  }
  if (byte == kHeiEtb && !checkTaken_) checkNext_ = true;
  return false;
}

bool THeiBlockReader::Good() const {
  if (overlong_) return false;
  std::size_t etb = bytes_.find(static_cast<char>(kHeiEtb));
  if (etb == std::string::npos || etb + 2 != bytes_.size()) return false;
  std::string checked(1, static_cast<char>(start_));
  checked.append(bytes_, 0, etb + 1);
  return HeiBlockCheck(checked) == static_cast<unsigned char>(bytes_.back());
}

std::string THeiBlockReader::Text() const {
  std::size_t etb = bytes_.find(static_cast<char>(kHeiEtb));
  return bytes_.substr(0, etb);
}

THeiCommand HeiParseCommand(const std::string& text, std::string* name) {
  // The marker is the last byte of the text: "E" asks for a program, "A"
  // announces one.
  if (text.size() < 2) return THeiCommand::None;
  const char marker = text.back();
  if (marker != 'E' && marker != 'A') return THeiCommand::None;
  if (name) *name = text.substr(1, text.size() - 2);
  return marker == 'E' ? THeiCommand::Request : THeiCommand::Announce;
}

bool THeiListMatcher::Feed(unsigned char byte, bool* matched) {
  const bool ok = static_cast<unsigned char>(kCommand[at_]) == byte;
  if (matched) *matched = ok;
  if (ok) at_++;
  if (at_ < 7) return false;
  at_ = 0;
  return true;
}

std::string HeiListingHead() { return std::string("O D\r\n\fTRAMOX3.XX\r\nFILENAME    \r\n\r\n"); }

std::string HeiEmptyDirectory() { return std::string("\r\n\r\nFREE:   65534\r\nUSED:       0\r\n\x03"); }

// ---------------------------------------------------------------------------
// Threads

namespace {

// The hand-off events, after the twelve of LSV-2 in the port.
enum HeiEvent {
  AckReceived,
  NakReceived,
  EtxWhileIdle,
  EotWhileIdle,
  BlockStart,
  ListStart,
  ArmWaitEot,
  ArmWaitAck,
  ArmWaitStx,
  AnswerEtx,
  AnswerEot,
  AnswerAck,
  AnswerEnd,
  BlockReceived,
  ListRequested,
  ListBody,
  AnswerNak,
  ExchangeFailed,
  kHeiEvents
};
constexpr int kFirstHeiEvent = 12;

plat::Event& Ev(TDncPort& port, int which) { return *port.HandOff[kFirstHeiEvent + which]; }
void Set(TDncPort& port, int which) { Ev(port, which).set(); }

// Time-out of a control that falls silent in the middle of an exchange:
// the row's read time-out, or two minutes.
DWORD ExchangeTimeout(const TDncPort& port) {
  long s = port.Setting(kPropReadTimeout);
  return s > 0 ? static_cast<DWORD>(s) * 1000 : 120000;
}

// What the six threads of one port share beyond the port object.
struct Session {
  std::atomic<int> State{kHeiNone};
  // Set while no exchange runs: readers give up at once.
  plat::Event Idle{true, true};
  std::mutex BusyLock;
  bool WaitBusy = false, ReadBusy = false;
  std::mutex EndLock;
  bool Open = false;
  // Wait thread -> read thread: the byte that started the block.
  std::atomic<unsigned char> StartByte{kHeiStx};
  // Read thread -> parse thread.
  std::mutex BlockLock;
  std::string BlockText;
  bool BlockGood = false;
  std::atomic<int> BadCopies{0};
  std::atomic<uint32_t> RefreshMark{0};
  // The send reached the end of its file (the control has every block).
  std::atomic<bool> Complete{false};
  std::atomic<bool> FlowFlagged{false};
  // A read or write found the line gone: it is opened anew at the end.
  std::atomic<bool> LineFailed{false};
};

// The session lives in the last of the port's hand-off slots, which the
// protocol leaves unused: it goes with the port, whichever of the port's
// threads comes first or ends last.
class SessionSlot : public plat::Event {
 public:
  std::shared_ptr<Session> Shared = std::make_shared<Session>();
};
constexpr int kSessionSlot = TDncPort::kHandOffEvents - 1;
static_assert(kFirstHeiEvent + kHeiEvents <= kSessionSlot);

std::mutex g_sessionLock;

std::shared_ptr<Session> SessionOf(TDncPort& port) {
  std::lock_guard<std::mutex> g(g_sessionLock);
  std::unique_ptr<plat::Event>& slot = port.HandOff[kSessionSlot];
  auto* holder = dynamic_cast<SessionSlot*>(slot.get());
  if (!holder) {
    auto made = std::make_unique<SessionSlot>();
    holder = made.get();
    slot = std::move(made);
  }
  return holder->Shared;
}

void Log(TDncPort& port, const std::string& text) { DncPortLog(text.c_str(), &port); }

// Received DC1 and DC3 frame the blocks and ask for the directory: a
// type-2 line must not take them as flow control.
void KeepFramingBytes(TDncPort& port, Session& s) {
  if (port.Protocol() != kProtoHeidenhain || !port.ComHandle) return;
  const bool takesDc1 = port.Dcb.XonChar == static_cast<char>(kHeiDc1) || port.Dcb.XoffChar == static_cast<char>(kHeiDc3);
  if (!port.Dcb.fOutX || !takesDc1) return;
  port.Dcb.fOutX = 0;
  port.Dcb.fInX = 0;
  plat::set_comm_state(port.ComHandle, &port.Dcb);
  if (!s.FlowFlagged.exchange(true))
    Log(port, "HEI : Software flow control would take DC1/DC3 of the blocks: off on input");
}

void SetXonXoff(TDncPort& port, bool on) {
  if (!port.ComHandle) return;
  port.Dcb.fOutX = on ? 1 : 0;
  port.Dcb.fInX = on ? 1 : 0;
  plat::set_comm_state(port.ComHandle, &port.Dcb);
}

// Back to the row's line settings at the end of an exchange. The last
// answer may still be on its way out, so the transmit side is left alone;
// only a line that failed is closed and opened again.
void SettleLine(TDncPort& port, Session& s) {
  if (s.LineFailed.exchange(false) || !port.ComHandle) {
    port.ResetPort();
    if (port.ComHandle) Log(port, "Line opened again");
  } else {
    if (BuildLineSettings(*port.Record, TLineUse::Port, port.Dcb, port.Timeouts, nullptr)) {
      plat::set_comm_timeouts(port.ComHandle, &port.Timeouts);
      plat::set_comm_state(port.ComHandle, &port.Dcb);
    }
    plat::purge_comm(port.ComHandle, PURGE_RXCLEAR | PURGE_RXABORT);
    plat::set_comm_mask(port.ComHandle, EV_RXCHAR);
  }
  KeepFramingBytes(port, s);
}

enum class Io { Done, Stopped, TimedOut, Failed, Interrupted };

// The exchange time-out of a read or a write, on the steady clock.
class HeiDeadline : public TExchangeDeadline {
 public:
  // No deadline when ms is 0.
  void Start(DWORD ms) {
    infinite_ = ms == 0;
    if (!infinite_) deadline_ = Clock::now() + plat::scaled_ms(ms);
  }
  bool Expired() const override { return !infinite_ && Clock::now() >= deadline_; }
  // The rest of the time in the layer's (unscaled) milliseconds.
  DWORD Remaining() const override {
    if (infinite_) return INFINITE;
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline_ - Clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<DWORD>(static_cast<double>(left) / 1000.0 / plat::time_scale()) + 1;
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool infinite_ = true;
  Clock::time_point deadline_;
};

// One thread's line access: its own overlapped record and event.
class Line {
 public:
  Line(TDncPort& port, Session& s) : port_(port), s_(s) { ov_.hEvent = &event_; }

  // Reads one byte; no time-out when timeoutMs is 0. Empty reads (the
  // line's own time-outs) and reads aborted by a purge are issued again;
  // an ending exchange (the session going idle) interrupts the read.
  Io ReadByte(unsigned char& c, DWORD timeoutMs) {
    deadline_.Start(timeoutMs);
    TExchangeReadRules rules;
    rules.Interrupt = &s_.Idle;
    rules.ReissuesAbortedRead = true;
    switch (ReadExchangeByte(port_, ov_, event_, c, deadline_, rules)) {
      case ExchangeRead::Byte: return Io::Done;
      case ExchangeRead::TimedOut: return Io::TimedOut;
      case ExchangeRead::Stopped: return Io::Stopped;
      case ExchangeRead::Interrupted: return Io::Interrupted;
      case ExchangeRead::LineFailed: break;
    }
    return Io::Failed;
  }

  // Writes every byte; a write that takes longer than the exchange
  // time-out ends as timed out.
  Io Write(const std::string& bytes) {
    deadline_.Start(ExchangeTimeout(port_));
    std::size_t off = 0;
    while (off < bytes.size()) {
      if (!port_.ComHandle) return Io::Failed;
      event_.reset();
      DWORD n = 0;
      const DWORD size = static_cast<DWORD>(bytes.size() - off);
      if (!plat::write_comm(port_.ComHandle, bytes.data() + off, size, &n, &ov_)) {
        if (plat::last_comm_error() != ERROR_IO_PENDING) return Io::Failed;
        plat::Waitable* waits[] = {&event_, &port_.StopEvent};
        const DWORD w = plat::wait_for_multiple(waits, 2, false, deadline_.Remaining());
        if (w != WAIT_OBJECT_0) {
          plat::purge_comm(port_.ComHandle, PURGE_TXABORT);
          plat::get_overlapped_result(port_.ComHandle, &ov_, &n, TRUE);
          return w == WAIT_OBJECT_0 + 1 ? Io::Stopped : Io::TimedOut;
        }
        if (!plat::get_overlapped_result(port_.ComHandle, &ov_, &n, TRUE)) return Io::Failed;
      }
      off += n;
      if (off < bytes.size() && deadline_.Expired()) return Io::TimedOut;
    }
    return Io::Done;
  }

 private:
  TDncPort& port_;
  Session& s_;
  plat::Event event_{true, false};
  plat::OVERLAPPED ov_;
  HeiDeadline deadline_;
};

// A reader takes up work only while an exchange runs; an ending exchange
// waits until both readers are back at their events.
bool BeginRead(Session& s, bool& busy) {
  std::lock_guard<std::mutex> g(s.BusyLock);
  if (s.Idle.is_set()) return false;
  busy = true;
  return true;
}
void EndRead(Session& s, bool& busy) {
  std::lock_guard<std::mutex> g(s.BusyLock);
  busy = false;
}

void DrainEvents(TDncPort& port) {
  for (int e = 0; e < kHeiEvents; e++) Ev(port, e).reset();
}

void BackToPolling(TDncPort& port) {
  // The poll thread that handed over may still be leaving its slot; the
  // master starts the new one only into an empty slot.
  for (int i = 0; i < 2000; i++) {
    {
      std::lock_guard<std::mutex> g(port.SlotLock);
      if (!port.Threads[kSlotHeidenhain]) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  PostPortRequest(&port, kRequestPoll);
}

// Ends the running exchange by its state: a send is counted only when the
// control got the whole program; a reception that did not end well is kept
// as a failed transfer. The line is reset and the port polls again.
void EndExchange(TDncPort& port, Session& s) {
  std::lock_guard<std::mutex> end(s.EndLock);
  if (!s.Open) return;
  s.Idle.set();
  for (int i = 0; i < 5000; i++) {
    {
      std::lock_guard<std::mutex> g(s.BusyLock);
      if (!s.WaitBusy && !s.ReadBusy) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  DrainEvents(port);

  const int state = s.State;
  if (state == kHeiRead) {
    CloseTransferFile(port);
    if (port.ReceiveFailed) {
      Log(port, "HEI : Reception failed, kept as a failed transfer");
      KeepFailed(port);
    } else {
      port.StoreReceived();
    }
    port.ReceiveFailed = 0;
  } else if (state == kHeiSend) {
    if (port.TransferFile) {
      port.TransferFile->Close();
      port.TransferFile.reset();
    }
    if (!port.FileMode() && port.ProgramTable && port.ProgramRecord) {
      if (s.Complete)
        port.ProgramTable->IncrementSent(port.SendProgramId);
      else
        Log(port, "HEI : Send did not end: not counted");
    }
    port.ProgramTable.reset();
    port.ProgramRecord.reset();
    port.SendProgramId = 0;
  }
  SettleLine(port, s);
  port.BytesReceived = 0;
  port.BytesTotal = 0;
  port.BytesSent = 0;
  s.RefreshMark = 0;
  s.BadCopies = 0;
  s.Complete = false;
  port.ProgramPath.reset();
  port.ClearRequest();
  s.State = kHeiNone;
  if (state != kHeiNone) SetDncPortStatus(port, 4);
  SetDncEvent(kRefreshPanel);
  s.Open = false;
  BackToPolling(port);
}

// Marks a failed reception and ends the exchange through the answer
// thread, which tells the control with ETX.
void Abort(TDncPort& port, Session& s) {
  if (s.State == kHeiRead) port.ReceiveFailed = 1;
  Set(port, AnswerEnd);
}

// ---------------------------------------------------------------------------
// Starting transfers (parse thread)

int HeiSendProgram(TDncPort& port, Session& s, const std::string& name) {
  s.State = kHeiSend;
  s.Complete = false;
  port.SetRequested(name);
  Log(port, name);
  Log(port, "HEI : Program " + name + " being sent");
  if (!PrepareToSend(&port)) {
    Log(port, "HEI : Start Transfer (FALSE)");
    return 0;
  }
  if (!port.FileMode()) {
    if (!port.CopyForSend(nullptr)) {
      Log(port, "HEI : Program could not be locked");
      return 0;
    }
    plat::File f = plat::create_file(port.ProgramPath.get(), plat::Access::read, plat::Share::read_write,
                                     plat::Disposition::open_existing);
    port.BytesTotal = f.is_open() ? static_cast<uint32_t>(plat::length(f)) : 0;
    Log(port, port.ProgramPath.get());
  }
  // A program that cannot be read is not available: the control gets EOT,
  // not an empty program.
  auto file = std::make_unique<TMyFile>(port.ProgramPath ? port.ProgramPath.get() : "");
  if (!port.ProgramPath || !file->Open(1)) {
    Log(port, "HEI : Program file could not be opened");
    return 0;
  }
  port.TransferFile = std::move(file);
  PostPortRequest(&port, kRequestSend);
  SetXonXoff(port, true);
  port.TransferStart = plat::tick_count();
  return 1;
}

int HeiReceiveProgram(TDncPort& port, Session& s, const std::string& name) {
  s.State = kHeiRead;
  port.SetRequested(name);
  port.ReceiveFailed = 0;
  Log(port, "HEI : Program " + name + " being received");
  port.TransferFile.reset();
  auto file = std::make_unique<TMyFile>(port.TransferPath.c_str());
  if (!file->Open(0)) {
    Log(port, "Cannot create " + port.TransferPath);
    s.State = kHeiNone;
    return 0;
  }
  port.TransferFile = std::move(file);
  PostPortRequest(&port, kRequestReceive);
  port.TransferStart = plat::tick_count();
  return 1;
}

void Refresh(Session& s, uint32_t count) {
  if (count - s.RefreshMark > 2048) {
    s.RefreshMark = count;
    SetDncEvent(kRefreshPanel);
  }
}

// Appends the block text as one line of the reception; false when it could
// not be written.
bool HeiSaveBlock(TDncPort& port, Session& s, std::string text) {
  if (!port.TransferFile) return false;
  // NUL bytes pass the text file as its substitute, which it writes back.
  for (char& c : text)
    if (c == '\0') c = static_cast<char>(TMyFile::kNulSubstitute);
  if (!port.TransferFile->WriteLine(text.c_str())) return false;
  port.BytesReceived += static_cast<uint32_t>(text.size());
  Refresh(s, port.BytesReceived);
  return true;
}

// The next line of the program as a block; false at the end of the file.
bool GetLine(TDncPort& port, Session& s, std::string& block) {
  if (!port.TransferFile) return false;
  std::unique_ptr<char[]> line = port.TransferFile->ReadLine(0);
  if (!line) return false;
  const std::string_view text(line.get());
  block = HeiFrameBlock(text);
  port.BytesSent += static_cast<uint32_t>(text.size() + 1);
  Refresh(s, port.BytesSent);
  return true;
}

std::string HeiDirectoryText(TDncPort& port) {
  port.ProgramTable.reset();
  port.ProgramRecord.reset();
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  return t.WriteTapeDirectory(port.Setting(kPropMachineId));
}

const char* Name(unsigned char c) {
  switch (c) {
    case kHeiAck: return "ACK";
    case kHeiNak: return "NAK";
    case kHeiEtx: return "ETX";
    case kHeiEot: return "EOT";
    case kHeiStx: return "STX";
    case kHeiSoh: return "SOH";
    case kHeiDc3: return "DC3";
    default: return "?";
  }
}

// A block the read thread took: a line of the program coming in, or
// the command of a new exchange.
void OnBlock(TDncPort& port, Session& s, int state) {
  std::string text;
  bool good;
  {
    std::lock_guard<std::mutex> g(s.BlockLock);
    text = s.BlockText;
    good = s.BlockGood;
  }
  if (state == kHeiSend) {
    Log(port, "HEI : Should not occur");
    Set(port, ArmWaitStx);
    return;
  }
  if (!good) {
    // The control sends a block again on NAK; the third bad copy
    // ends the exchange.
    if (++s.BadCopies >= 3) {
      Log(port, "HEI : Third bad block: exchange ended");
      Abort(port, s);
    } else {
      Log(port, "HEI : Block check wrong");
      Set(port, AnswerNak);
    }
    return;
  }
  s.BadCopies = 0;
  if (state == kHeiRead) {
    Log(port, "HEI : Saving");
    if (HeiSaveBlock(port, s, text)) {
      Set(port, AnswerAck);
    } else {
      Log(port, "HEI : Reception could not be written");
      Abort(port, s);
    }
    return;
  }
  Log(port, "HEI (NONE) : Parsing");
  DncTraceBuffer(text.c_str(), port.ComNumber());
  std::string name;
  switch (HeiParseCommand(text, &name)) {
    case THeiCommand::Request:
      Log(port, "HEI : REQUEST");
      Set(port, HeiSendProgram(port, s, name) ? AnswerAck : AnswerEot);
      break;
    case THeiCommand::Announce:
      Log(port, "HEI : RECEIVE");
      Set(port, HeiReceiveProgram(port, s, name) ? AnswerAck : AnswerEot);
      break;
    case THeiCommand::None:
      // Neither a request nor an announcement: refused like a program
      // that is not there.
      Log(port, "HEI : Block without a command");
      Set(port, AnswerEot);
      break;
  }
}

// What the wait thread waits for: an answer to a sent block, the start
// of the control's next block (or its end of the exchange), or the EOT
// that ends a listing.
enum class WaitFor { Ack, Stx, Eot };

// Hands on a byte the wait thread read; false when it was none it waits
// for.
bool TakeWaitByte(TDncPort& port, Session& s, WaitFor mode, unsigned char c) {
  if (mode == WaitFor::Ack) {
    if (c == kHeiAck) {
      Log(port, "HEI 1: ACK Received");
      Set(port, AckReceived);
    } else if (c == kHeiNak) {
      Log(port, "HEI 1: NAK Received");
      Set(port, NakReceived);
    } else if (c == kHeiEtx || c == kHeiEot) {
      Log(port, std::string("HEI 1: ") + Name(c) + " Received");
      Set(port, AnswerEnd);
    } else {
      return false;
    }
  } else if (mode == WaitFor::Stx) {
    if (c == kHeiStx || c == kHeiSoh) {
      Log(port, std::string("HEI 3: ") + Name(c) + " Received");
      s.StartByte = c;
      Set(port, BlockStart);
    } else if (c == kHeiEot) {
      Log(port, "HEI 3: EOT Received");
      Set(port, EotWhileIdle);
    } else if (c == kHeiEtx) {
      Log(port, "HEI 3: ETX Received");
      Set(port, EtxWhileIdle);
    } else if (c == kHeiDc3) {
      Log(port, "HEI 3: DC3 Received");
      Set(port, ListStart);
    } else {
      Log(port, "HEI : Buffer something");
      Log(port, "HEI : Buffer = " + std::to_string(c));
      return false;
    }
  } else {
    Log(port, "HEI 3: EOT Received On Wait");
    // The listing is over: the exchange ends and the port polls again.
    Set(port, EotWhileIdle);
  }
  return true;
}

}  // namespace

void HeiPollThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  std::shared_ptr<Session> s = SessionOf(port);
  Log(port, "HEI : Poll Thread Started");
  KeepFramingBytes(port, *s);
  plat::set_comm_mask(port.ComHandle, EV_RING);
  // The receive side only: the answer that ended the last exchange may
  // still be leaving.
  plat::purge_comm(port.ComHandle, PURGE_RXCLEAR | PURGE_RXABORT);
  plat::set_comm_mask(port.ComHandle, EV_RXCHAR);
  // Polling once what the line brings from now on is kept for the exchange.
  port.Polling = 1;
  plat::Event waitEvent(false, false);
  plat::OVERLAPPED ov;
  ov.hEvent = &waitEvent;
  port.BytesReceived = 0;
  port.BytesTotal = 0;
  port.BytesSent = 0;
  SetDncEvent(kRefreshPanel);

  bool stopped = false;
  for (;;) {
    if (!port.ComHandle) {
      // A line that went away is opened again every second.
      if (!ReopenLine(port)) {
        stopped = true;
        break;
      }
      KeepFramingBytes(port, *s);
      continue;
    }
    // Bytes queued before the wait began raise no event.
    DWORD errors = 0;
    plat::COMSTAT st;
    plat::clear_comm_error(port.ComHandle, &errors, &st);
    if (st.cbInQue > 0) break;
    DWORD mask = 0;
    if (plat::wait_comm_event(port.ComHandle, &mask, &ov)) continue;
    if (plat::last_comm_error() != ERROR_IO_PENDING) {
      Log(port, "HEI : Line failed");
      if (!ReopenLine(port)) {
        stopped = true;
        break;
      }
      KeepFramingBytes(port, *s);
      continue;
    }
    plat::Waitable* waits[] = {&waitEvent, &port.StopEvent};
    DWORD n = 0;
    if (plat::wait_for_multiple(waits, 2, false, INFINITE) != WAIT_OBJECT_0) {
      Log(port, "HEI : Closing Port-1");
      plat::set_comm_mask(port.ComHandle, EV_RXCHAR);
      plat::get_overlapped_result(port.ComHandle, &ov, &n, TRUE);
      stopped = true;
      break;
    }
    plat::get_overlapped_result(port.ComHandle, &ov, &n, FALSE);
  }
  ov.hEvent = nullptr;

  // Not polling before the exchange can start: whoever sees the port
  // polling may send, and the exchange's end makes it poll again.
  port.StopPolling();
  if (!stopped) {
    std::lock_guard<std::mutex> g(s->EndLock);
    DrainEvents(port);
    s->State = kHeiNone;
    s->Open = true;
    s->Idle.reset();
    Set(port, ArmWaitStx);
  }
  Log(port, "HEI : Poll Thread Stopped");
}

void HeiWaitThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  std::shared_ptr<Session> s = SessionOf(port);
  Log(port, "HEI : Wait Thread Started");
  Line line(port, *s);
  WaitFor mode = WaitFor::Stx;
  plat::Waitable* waits[] = {&port.StopEvent, &Ev(port, ArmWaitAck), &Ev(port, ArmWaitStx), &Ev(port, ArmWaitEot)};
  for (;;) {
    const DWORD w = plat::wait_for_multiple(waits, 4, false, INFINITE);
    if (w == WAIT_OBJECT_0) break;
    if (w == WAIT_OBJECT_0 + 1) {
      mode = WaitFor::Ack;
      Log(port, "HEI : Wait For ACK");
    } else if (w == WAIT_OBJECT_0 + 2) {
      mode = WaitFor::Stx;
      Log(port, "HEI : Wait For STX");
    } else {
      mode = WaitFor::Eot;
      Log(port, "HEI : Wait For EOT");
    }
    if (!BeginRead(*s, s->WaitBusy)) continue;
    bool stop = false;
    for (bool done = false; !done;) {
      unsigned char c = 0;
      const Io io = line.ReadByte(c, ExchangeTimeout(port));
      if (io == Io::Stopped) {
        stop = true;
        break;
      }
      if (io == Io::Interrupted) break;
      if (io != Io::Done) {
        Log(port, io == Io::TimedOut ? "HEI : Control silent: exchange ended" : "HEI : Line failed");
        if (io == Io::Failed) s->LineFailed = true;
        if (s->State == kHeiRead) port.ReceiveFailed = 1;
        Set(port, ExchangeFailed);
        break;
      }
      DncTraceChar(c, port.ComNumber());
      done = TakeWaitByte(port, *s, mode, c);
    }
    EndRead(*s, s->WaitBusy);
    if (stop) break;
  }
  Log(port, "HEI : Wait Thread Stopped");
}

void HeiReadThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  std::shared_ptr<Session> s = SessionOf(port);
  Log(port, "HEI : Read Thread Started");
  Line line(port, *s);
  plat::Waitable* waits[] = {&port.StopEvent, &Ev(port, BlockStart), &Ev(port, ListStart)};
  for (;;) {
    const DWORD w = plat::wait_for_multiple(waits, 3, false, INFINITE);
    if (w == WAIT_OBJECT_0) break;
    Log(port, "Read Wait Done");
    if (!BeginRead(*s, s->ReadBusy)) continue;
    const bool block = w == WAIT_OBJECT_0 + 1;
    Log(port, block ? "HEI : Reader Started (STX)" : "HEI : Reader Started (DC3)");
    THeiBlockReader reader(s->StartByte, port.Protocol() != kProtoHeidenhain310);
    THeiListMatcher list;
    Io io = Io::Done;
    for (bool done = false; !done;) {
      unsigned char c = 0;
      io = line.ReadByte(c, ExchangeTimeout(port));
      if (io != Io::Done) break;
      if (block) {
        if (c == kHeiDc1) Log(port, "HEI : Read - DC1 Received");
        done = reader.Feed(c);
      } else {
        bool matched = false;
        const int position = list.Position() + 1;
        done = list.Feed(c, &matched);
        Log(port, "To be #" + std::to_string(position) + (matched ? " OK" : " NOT OK"));
      }
    }
    if (io == Io::Done) {
      if (block) {
        DncTraceBuffer(reader.Bytes().c_str(), port.ComNumber());
        {
          std::lock_guard<std::mutex> g(s->BlockLock);
          s->BlockGood = reader.Good();
          s->BlockText = reader.Text();
        }
        Set(port, BlockReceived);
      } else {
        Set(port, ListRequested);
      }
    } else if (io == Io::TimedOut || io == Io::Failed) {
      Log(port, io == Io::TimedOut ? "HEI : Control silent in a block: exchange ended" : "HEI : Line failed");
      if (io == Io::Failed) s->LineFailed = true;
      if (s->State == kHeiRead) port.ReceiveFailed = 1;
      Set(port, ExchangeFailed);
    }
    EndRead(*s, s->ReadBusy);
    if (io == Io::Stopped) break;
  }
  Log(port, "HEI : Read Thread Stopped");
}

void HeiParsThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  std::shared_ptr<Session> s = SessionOf(port);
  plat::Waitable* waits[] = {&port.StopEvent, &Ev(port, BlockReceived), &Ev(port, EotWhileIdle),
                             &Ev(port, EtxWhileIdle), &Ev(port, ExchangeFailed)};
  for (;;) {
    const DWORD w = plat::wait_for_multiple(waits, 5, false, INFINITE);
    Log(port, "Pars Wait Done");
    if (w == WAIT_OBJECT_0) {
      Log(port, "Pars Event-0");
      break;
    }
    const int state = s->State;
    const char* stateName = state == kHeiSend ? "SEND" : state == kHeiRead ? "READ" : "NONE";
    if (w == WAIT_OBJECT_0 + 1) {
      Log(port, "Pars Event-1");
      OnBlock(port, *s, state);
    } else if (w == WAIT_OBJECT_0 + 2) {
      Log(port, std::string("HeiParsThread WAIT_OBJECT_0+2 Stat = ") + stateName);
      EndExchange(port, *s);
    } else if (w == WAIT_OBJECT_0 + 3) {
      Log(port, std::string("HeiParsThread WAIT_OBJECT_0+3 Stat = ") + stateName);
      // ETX during a reception only returns to listening.
      if (state == kHeiRead)
        Set(port, ArmWaitStx);
      else
        EndExchange(port, *s);
    } else if (w == WAIT_OBJECT_0 + 4) {
      EndExchange(port, *s);
    }
  }
  // The server stops under a reception: what came is kept, as failed.
  if (s->State == kHeiRead && port.TransferFile) {
    CloseTransferFile(port);
    port.ReceiveFailed = 1;
    KeepFailed(port);
  }
  Log(port, "HEI : Pars Thread Stopped");
}

void HeiAnswerThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  std::shared_ptr<Session> s = SessionOf(port);
  Line line(port, *s);
  plat::Waitable* waits[] = {&port.StopEvent, &Ev(port, AnswerAck),     &Ev(port, AnswerEtx), &Ev(port, AnswerEot),
                             &Ev(port, AnswerEnd), &Ev(port, ListRequested), &Ev(port, AnswerNak)};
  for (;;) {
    const DWORD w = plat::wait_for_multiple(waits, 7, false, INFINITE);
    Log(port, "Answ Wait Done");
    if (w == WAIT_OBJECT_0) break;
    const int state = s->State;
    Io io = Io::Done;
    switch (w - WAIT_OBJECT_0) {
      case 1:
        Log(port, "HEI : Answer = ACK  ");
        io = line.Write(std::string(1, static_cast<char>(kHeiAck)));
        if (io == Io::Done) Set(port, state == kHeiSend ? AckReceived : ArmWaitStx);
        break;
      case 2:
        Log(port, "HEI : Answer = ETX  ");
        io = line.Write(std::string(1, static_cast<char>(kHeiEtx)));
        if (io == Io::Done) Set(port, ArmWaitStx);
        break;
      case 3:
        Log(port, "HEI : Answer = EOT  ");
        line.Write(std::string(1, static_cast<char>(kHeiEot)));
        EndExchange(port, *s);
        continue;
      case 4:
        Log(port, "HEI : Answer = END  ");
        line.Write(std::string(1, static_cast<char>(kHeiEtx)));
        Log(port, "HEI : Terminated");
        if (port.StopEvent.wait(500) == WAIT_OBJECT_0) break;
        Set(port, EotWhileIdle);
        continue;
      case 5:
        Log(port, "HEI : Answer = LIST ");
        io = line.Write(HeiListingHead());
        if (io == Io::Done) Set(port, ListBody);
        break;
      case 6:
        Log(port, "HEI : Answer = NAK  ");
        io = line.Write(std::string(1, static_cast<char>(kHeiNak)));
        if (io == Io::Done) Set(port, ArmWaitStx);
        break;
      default:
        continue;
    }
    if (io == Io::Stopped) break;
    if (io != Io::Done) {
      if (state == kHeiRead) port.ReceiveFailed = 1;
      if (io == Io::Failed) s->LineFailed = true;
      Set(port, ExchangeFailed);
    }
  }
  Log(port, "HEI : Answer Thread Stopped");
}

void HeiSendThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  std::shared_ptr<Session> s = SessionOf(port);
  port.OpenCancelEvent();
  plat::Event* cancel = port.Cancel();
  Log(port, "HEI : Send Thread Started");
  Line line(port, *s);
  std::string block;
  int resent = 0;
  plat::Waitable* waits[] = {&port.StopEvent, &Ev(port, AckReceived), &Ev(port, NakReceived), cancel,
                             &Ev(port, ListBody)};
  for (;;) {
    const DWORD w = plat::wait_for_multiple(waits, 5, false, INFINITE);
    Log(port, "Send Wait Done");
    if (w == WAIT_OBJECT_0) break;
    Io io = Io::Done;
    if (w == WAIT_OBJECT_0 + 1) {
      resent = 0;
      if (!GetLine(port, *s, block)) {
        if (port.TransferFile && port.TransferFile->Failed()) {
          Log(port, "HEI : Program file could not be read");
          Set(port, AnswerEnd);
          continue;
        }
        s->Complete = true;
        Set(port, AnswerEtx);
        continue;
      }
      DncTraceLog(("Bytes Sent : " + std::to_string(block.size())).c_str(), port.ComNumber());
      io = line.Write(block);
      if (io == Io::Done) Set(port, ArmWaitAck);
    } else if (w == WAIT_OBJECT_0 + 2) {
      if (resent == 3) {
        Log(port, "HEI : Fourth NAK: send ended");
        Set(port, AnswerEnd);
        continue;
      }
      resent++;
      io = line.Write(block);
      if (io == Io::Done) Set(port, ArmWaitAck);
    } else if (w == WAIT_OBJECT_0 + 3) {
      // The operator's cancel ends the running transfer; an idle port only
      // has its queues purged.
      Log(port, "HEI : Cancelled");
      plat::purge_comm(port.ComHandle, PURGE_TXCLEAR | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_RXABORT);
      if (s->State != kHeiNone) Abort(port, *s);
      continue;
    } else if (w == WAIT_OBJECT_0 + 4) {
      std::string text = HeiDirectoryText(port);
      io = line.Write(text.empty() ? HeiEmptyDirectory() : text);
      if (io == Io::Done) {
        if (port.StopEvent.wait(1000) == WAIT_OBJECT_0) break;
        Set(port, ArmWaitEot);
      }
    }
    if (io == Io::Stopped) break;
    if (io != Io::Done) {
      if (io == Io::Failed) s->LineFailed = true;
      Set(port, ExchangeFailed);
    }
  }
  port.CloseCancelEvent();
  Log(port, "HEI : Send Thread Stopped");
}
