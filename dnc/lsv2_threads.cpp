#include "dnc/lsv2_threads.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "dnc/lsv2_dripfeed.h"
#include "dnc/lsv2_telegram.h"
#include "dnc/port_exchange.h"
#include "dnc/rs232.h"
#include "dnc/server.h"
#include "dnc/storing.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/serial.h"
#include "platform/sync.h"

namespace {

// The hand-off events, by their place among the port's first twelve.
enum {
  kSendGo = 0,
  kAnswerEnq,
  kAnswerDle0,
  kAnswerDle1,
  kAnswerEot,
  kReadTelegram,
  kWaitEnq,
  kWaitDle,
  kWaitEot,
  kWaitStopped,
  kAnswerEnqWait,
  kWaitTimeout
};

// A telegram or an ENQ the control refused is written again this often
// before the transfer is given up.
constexpr int kRepeats = 3;
constexpr unsigned long kDefaultTimeoutMs = 60000;

// What the five threads of a port share beyond the port object.
struct TLsv2Session {
  std::atomic<int> State{kLsv2Idle};
  // The requested program was found and opened.
  bool Prepared = false;
  // The number of the program in the exchange (requested, announced or
  // the drip feed's first part).
  unsigned long Number = 0;
  TLsv2BlockSource Source;
  // The last ENQ or telegram written, written again after a NAK.
  std::string LastWritten;
  bool Repeat = false;
  int Refusals = 0;
  // The telegram just read meant nothing here: after its EOT the server
  // waits for the next one.
  bool Unknown = false;
  // The control's blocks could not all be written to the receive file.
  bool ReceiveFailed = false;
  // The last transfer failed: polling shows it when it starts again.
  std::atomic<bool> Failed{false};
  // When the server began to repeat ENQ for the next part.
  uint64_t EnqSince = 0;
};

std::mutex SessionLock;
std::map<const TDncPort*, std::weak_ptr<TLsv2Session>> Sessions;

// The port's session; made by the first of its threads, gone with the last.
std::shared_ptr<TLsv2Session> SessionOf(const TDncPort& port) {
  std::lock_guard<std::mutex> g(SessionLock);
  std::erase_if(Sessions, [](const auto& e) { return e.second.expired(); });
  auto& slot = Sessions[&port];
  auto s = slot.lock();
  if (!s) {
    s = std::make_shared<TLsv2Session>();
    slot = s;
  }
  return s;
}

void Log(const TDncPort& port, const std::string& text) { DncPortLog(text.c_str(), &port); }

void Set(TDncPort& port, int event) { port.HandOff[event]->set(); }

// Milliseconds on the clock that time-outs run by.
uint64_t Now() { return static_cast<uint64_t>(static_cast<double>(plat::tick_count64()) / plat::time_scale()); }

DWORD Left(uint64_t deadline) {
  const uint64_t now = Now();
  return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

enum class Got { Byte, Timeout, Stopped, LineFailed };

// The deadline of a wait for the control, on the clock above.
class Lsv2Deadline : public TExchangeDeadline {
 public:
  explicit Lsv2Deadline(uint64_t at) : at_(at) {}
  bool Expired() const override { return Left(at_) == 0; }
  DWORD Remaining() const override { return Left(at_); }

 private:
  uint64_t at_;
};

// One byte from the line, waiting until the deadline at most. A stop is
// seen between bytes: a byte that came with it is still taken.
Got ReadByte(TDncPort& port, char& byte, uint64_t deadline) {
  plat::Event done(true, false);
  plat::OVERLAPPED ov;
  ov.hEvent = &done;
  TExchangeReadRules rules;
  rules.StopsBetweenBytes = true;
  unsigned char c = 0;
  const ExchangeRead got = ReadExchangeByte(port, ov, done, c, Lsv2Deadline(deadline), rules);
  if (got == ExchangeRead::Byte) byte = static_cast<char>(c);
  switch (got) {
    case ExchangeRead::Byte: return Got::Byte;
    case ExchangeRead::TimedOut: return Got::Timeout;
    case ExchangeRead::Stopped: return Got::Stopped;
    case ExchangeRead::Interrupted:
    case ExchangeRead::LineFailed: break;
  }
  return Got::LineFailed;
}

bool WriteBytes(TDncPort& port, const std::string& bytes) {
  plat::Event done(true, false);
  plat::OVERLAPPED ov;
  ov.hEvent = &done;
  DWORD n = 0;
  BOOL ok = plat::write_comm(port.ComHandle, bytes.data(), static_cast<DWORD>(bytes.size()), &n, &ov);
  if (!ok && plat::last_comm_error() == ERROR_IO_PENDING) ok = plat::get_overlapped_result(port.ComHandle, &ov, &n, TRUE);
  return ok && n == bytes.size();
}

// Ends the exchange that runs and hands the port back to polling. A
// reception under way is kept as a failed transfer; a program being sent
// stays as it is and its lock goes when polling starts.
void EndTransfer(TDncPort& port, TLsv2Session& s, const std::string& why, bool failed = true) {
  Log(port, "LSV2 : " + why);
  s.Source.Close();
  if (port.TransferFile && port.TransferFile->WriteOpen) {
    CloseTransferFile(port);
    if (KeepFailed(port)) Log(port, "LSV2 : The incomplete reception was kept as a failed transfer");
  }
  s.State = kLsv2Idle;
  s.Repeat = s.Unknown = false;
  if (failed) s.Failed = true;
  PostPortRequest(&port, kRequestPoll);
}

// Writes an answer; a line that is gone ends the transfer.
bool Answer(TDncPort& port, TLsv2Session& s, const std::string& bytes) {
  if (WriteBytes(port, bytes)) return true;
  if (!port.StopEvent.is_set()) EndTransfer(port, s, "The line failed while writing");
  return false;
}

void WriteTelegram(TDncPort& port, TLsv2Session& s, const std::string& framed) {
  DncTraceBuffer(framed.c_str(), port.ComNumber());
  s.LastWritten = framed;
  if (Answer(port, s, framed)) Set(port, kWaitDle);
}

void Failed(TDncPort& port, TLsv2Session& s, Got got, const char* waitingFor) {
  if (got == Got::Stopped) return;
  if (got == Got::LineFailed) {
    EndTransfer(port, s, std::string("The line failed while waiting for ") + waitingFor);
    return;
  }
  // A stray byte that woke polling is no transfer.
  const bool idle = s.State == kLsv2Idle;
  EndTransfer(port, s, std::string("No ") + waitingFor + " from the control in time", !idle);
}

// ---- wait thread ------------------------------------------------------------

void WaitForEnq(TDncPort& port, TLsv2Session& s) {
  Log(port, "LSV2 : Waiting for ENQ");
  const uint64_t deadline = Now() + Lsv2TimeoutMs(port);
  for (;;) {
    char b = 0;
    const Got got = ReadByte(port, b, deadline);
    if (got != Got::Byte) return Failed(port, s, got, "ENQ");
    if (b == kLsv2Enq) {
      Log(port, "LSV2 : ENQ Received");
      Set(port, kAnswerDle0);
      return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "Buffer = %c, %hd, %lu", b, static_cast<short>(static_cast<unsigned char>(b)), 1ul);
    Log(port, text);
  }
}

// Pairs DLE '0' and DLE '1' out of what comes; a stray byte only moves the
// pair on by one. NAK asks for the last ENQ or telegram again. False when
// nothing came before the deadline (the caller decides what follows).
bool AwaitAcknowledge(TDncPort& port, TLsv2Session& s, uint64_t deadline, bool& timedOut) {
  timedOut = false;
  char previous = 0;
  for (;;) {
    char b = 0;
    const Got got = ReadByte(port, b, deadline);
    if (got == Got::Timeout) {
      timedOut = true;
      return false;
    }
    if (got != Got::Byte) {
      Failed(port, s, got, "acknowledge");
      return false;
    }
    if (previous == kLsv2Dle && (b == '0' || b == '1')) {
      s.Refusals = 0;
      Log(port, b == '0' ? "LSV2 : DLE-0 Received" : "LSV2 : DLE-1 Received");
      Set(port, b == '0' ? kSendGo : kAnswerEot);
      return true;
    }
    if (b == kLsv2Nak) {
      Log(port, "LSV2 : NAK Received");
      if (++s.Refusals > kRepeats) {
        s.Refusals = 0;
        Answer(port, s, std::string(1, kLsv2Eot));
        EndTransfer(port, s, "The control refused the telegram repeatedly");
        return false;
      }
      s.Repeat = true;
      Set(port, kSendGo);
      return true;
    }
    previous = b;
  }
}

void WaitForDle(TDncPort& port, TLsv2Session& s) {
  Log(port, "LSV2 : Waiting for DLE");
  bool timedOut = false;
  if (!AwaitAcknowledge(port, s, Now() + Lsv2TimeoutMs(port), timedOut) && timedOut)
    Failed(port, s, Got::Timeout, "acknowledge");
}

void WaitForEot(TDncPort& port, TLsv2Session& s) {
  Log(port, "LSV2 : Waiting for EOT");
  const uint64_t deadline = Now() + Lsv2TimeoutMs(port);
  for (;;) {
    char b = 0;
    const Got got = ReadByte(port, b, deadline);
    if (got != Got::Byte) return Failed(port, s, got, "EOT");
    if (b == kLsv2Eot) {
      Log(port, "LSV2 : EOT Received");
      Set(port, kSendGo);
      return;
    }
  }
}

// After an ENQ for the next part: the control answers when it is ready
// for it; until then ENQ is repeated about every 1.2 s, up to the port's
// time-out. An answer that comes while the server waits is taken at once,
// so no repeated ENQ crosses it.
void CheckEnqAnswer(TDncPort& port, TLsv2Session& s) {
  Log(port, "LSV2 : Waiting Timeout");
  bool timedOut = false;
  if (AwaitAcknowledge(port, s, Now() + 1200, timedOut) || !timedOut) return;
  Log(port, "WAIT-1");
  if (Now() - s.EnqSince >= Lsv2TimeoutMs(port))
    return EndTransfer(port, s, "The control did not take the next part in time");
  Set(port, kAnswerEnqWait);
}

// ---- telegrams from the control ---------------------------------------------

void SetStatus(TDncPort& port, int status) {
  SetDncPortStatus(port, status);
  SetDncEvent(kRefreshPanel);
}

void TakeProgramNumber(TDncPort& port, TLsv2Session& s, const std::string& text) {
  if (auto n = Lsv2TelegramNumber(text)) {
    s.Number = *n;
    port.SetRequested(std::to_string(*n));
  } else {
    s.Number = 0;
    port.ClearRequest();
  }
}

// A block of the control's program, straight to the end of the receive
// file so that what came is on disk at each answer.
void StoreBlock(TDncPort& port, TLsv2Session& s, const std::string& data) {
  if (!port.TransferFile || !port.TransferFile->WriteOpen) {
    Log(port, "LSV2 : A block without an announced program was refused");
    s.ReceiveFailed = true;
    return;
  }
  if (data.empty()) return;
  if (plat::write(port.TransferFile->Handle, data.data(), data.size()) != static_cast<int64_t>(data.size())) {
    if (!s.ReceiveFailed) Log(port, "LSV2 : The receive file could not be written");
    s.ReceiveFailed = true;
    return;
  }
  port.BytesReceived += static_cast<uint32_t>(data.size());
  SetDncEvent(kRefreshPanel);
}

void FinishReception(TDncPort& port, TLsv2Session& s) {
  if (!port.TransferFile || !port.TransferFile->WriteOpen) return;
  CloseTransferFile(port);
  if (s.ReceiveFailed || port.ReceiveFailed) {
    Log(port, "LSV2 : The reception is incomplete");
    KeepFailed(port);
    s.Failed = true;
  } else if (!port.StoreReceived()) {
    Log(port, "LSV2 : The reception could not be stored");
    s.Failed = true;
  }
  s.ReceiveFailed = false;
}

void DecodeTelegram(TDncPort& port, TLsv2Session& s, const std::string& text) {
  DncTraceBuffer2(text.substr(0, 5).c_str(), port.ComNumber());
  switch (Lsv2Head(text)) {
    case TLsv2Head::Clearing:
      s.State = kLsv2Clearing;
      break;
    case TLsv2Head::ProgramRequest:
      Log(port, "LSV2 : LSV2_PROGRAMREQUEST");
      TakeProgramNumber(port, s, text);
      s.State = kLsv2ProgramRequest;
      SetStatus(port, 5);
      break;
    case TLsv2Head::FirstBlock:
      Log(port, std::string(56, '*'));
      Log(port, "LSV2 : LSV2_FIRSTBLOCKREQUEST1 (M RR)");
      s.State = kLsv2FirstBlockRequest;
      break;
    case TLsv2Head::RequestNext:
      Log(port, "LSV2 : LSV2_REQUESTNEXTBLOCK1 (M RT)");
      s.State = kLsv2ReceiveNext;
      break;
    case TLsv2Head::Wait:
      Log(port, "LSV2 : LSV2_WAIT (T WA)");
      Log(port, std::string(56, '-'));
      s.State = kLsv2Wait;
      break;
    case TLsv2Head::Reset:
      Log(port, "LSV2 : LSV2_RESET (M MI)");
      s.State = kLsv2Reset;
      break;
    case TLsv2Head::MachineSending:
      Log(port, "LSV2 : LSV2_MACHINESENDING");
      TakeProgramNumber(port, s, text);
      s.State = kLsv2MachineSending;
      SetStatus(port, 6);
      break;
    case TLsv2Head::DataBlock:
      Log(port, "LSV2 : LSV2_NEXTBLOCKREQUEST (R_PP)");
      StoreBlock(port, s, text.substr(4));
      s.State = kLsv2ReceiveNext;
      break;
    case TLsv2Head::MachineFinished:
      Log(port, "LSV2 : LSV2_MACHINEFINISHED");
      FinishReception(port, s);
      s.State = kLsv2Clearing;
      break;
    case TLsv2Head::NextRequest:
      Log(port, "LSV2 : LSV2_NEXTBLOCKREQUEST (T NB)");
      s.State = kLsv2NextBlockRequest;
      break;
    case TLsv2Head::Unknown:
      Log(port, "LSV2 : Unknown telegram");
      s.Unknown = true;
      break;
  }
}

// ---- the program to send ----------------------------------------------------

std::string DripFeedPath(const TDncPort& port) {
  return (Globals ? Globals->TempDir : std::string()) + "PORT" + std::to_string(port.ComNumber()) + ".LSV";
}

void SetProgramPath(TDncPort& port, const std::string& path) {
  port.ProgramPath = std::make_unique<char[]>(path.size() + 1);
  std::memcpy(port.ProgramPath.get(), path.c_str(), path.size() + 1);
}

// A program longer than the block size goes out as a drip feed of part
// programs; false when the drip-feed file cannot be written.
bool MakeDripFeedFile(TDncPort& port, TLsv2Session& s, bool& drip) {
  long limit = Globals ? Globals->Lsv2BlockSize : 40000;
  if (limit <= 0) limit = 40000;
  drip = false;
  if (port.BytesTotal <= static_cast<uint32_t>(limit)) {
    Log(port, "LSV2 : Program split not needed");
    return true;
  }
  Log(port, "LSV2 : Making Dripp-Feed File");
  const unsigned long first = s.Number + static_cast<unsigned long>(Globals ? Globals->Lsv2ResProgNo : 100000);
  port.SetRequested(std::to_string(first));
  Log(port, port.Requested());
  const std::string path = DripFeedPath(port);
  if (!Lsv2WriteDripFeedFile(port.ProgramPath.get(), path, first, Lsv2PartSize(limit))) {
    Log(port, "LSV2 : The drip-feed file could not be written: " + path);
    s.Failed = true;
    return false;
  }
  s.Number = first;
  SetProgramPath(port, path);
  drip = true;
  return true;
}

int PrepareProgram(TDncPort& port, TLsv2Session& s) {
  Log(port, "LSV2 : Preparing Program");
  s.Source.Close();
  if (s.Number > 500000) {
    s.Number -= 500000;
    port.SetRequested(std::to_string(s.Number));
  }
  auto fail = [&](const char* text) {
    port.ClearRequest();
    port.ProgramPath.reset();
    port.ProgramTable.reset();
    port.ProgramRecord.reset();
    Log(port, text);
    return 0;
  };
  if (!port.Requested() || !PrepareToSend(&port)) return fail("LSV2 : Exit false #1");
  if (!port.FileMode() && !port.CopyForSend(nullptr)) return fail("LSV2 : Exit false #2");
  {
    plat::File f = plat::create_file(port.ProgramPath.get(), plat::Access::read, plat::Share::read_write,
                                     plat::Disposition::open_existing);
    port.BytesTotal = f.is_open() ? static_cast<uint32_t>(plat::length(f)) : 0;
  }
  Log(port, "LSV2 : Program Preparation OK");
  bool drip = false;
  if (!MakeDripFeedFile(port, s, drip)) return fail("LSV2 : Exit false #3");
  if (!s.Source.Open(port.ProgramPath.get(), drip, s.Number + 1)) return fail("LSV2 : Exit false #4");
  port.BytesSent = 0;
  port.TransferStart = plat::tick_count();
  return 1;
}

// The next telegram of the program; at its end the protocol closes.
void SendBlock(TDncPort& port, TLsv2Session& s) {
  TLsv2BlockSource::Block b = s.Source.Next();
  if (b.Failed) {
    // The control must not take a cut program for a whole one.
    Answer(port, s, std::string(1, kLsv2Eot));
    return EndTransfer(port, s, "The program could not be read: the transfer ends");
  }
  if (b.Ends == TLsv2BlockSource::End::Program) s.State = kLsv2Closing;
  if (b.Ends == TLsv2BlockSource::End::Part) s.State = kLsv2DripStart;
  if (b.Ends == TLsv2BlockSource::End::None && !s.Source.DripFeed()) {
    DncTraceBuffer2(b.Text.c_str() + 4, port.ComNumber());
  }
  if (b.Text.rfind("R PP", 0) == 0) {
    port.BytesSent += static_cast<uint32_t>(b.Text.size() - 4);
    SetDncEvent(kRefreshPanel);
  }
  WriteTelegram(port, s, Lsv2Frame(b.Text));
}

// The control goes on with its ENQ: the state moves on and the answer
// thread takes the line.
void HandOn(TDncPort& port, TLsv2Session& s, const char* log, int next, int event) {
  Log(port, log);
  s.State = next;
  Set(port, event);
}

void OpenReception(TDncPort& port, TLsv2Session& s) {
  Log(port, "LSV2 : Send LSV2_MACHINESENDING");
  CloseTransferFile(port);
  port.TransferFile = std::make_unique<TMyFile>(port.TransferPath.c_str());
  if (!port.TransferFile->Open(0)) {
    port.TransferFile.reset();
    return EndTransfer(port, s, "The receive file could not be created: " + port.TransferPath);
  }
  s.ReceiveFailed = false;
  port.ReceiveFailed = 0;
  port.BytesReceived = 0;
  port.TransferStart = plat::tick_count();
  s.State = kLsv2ServerReady;
  Set(port, kAnswerEnq);
}

void Clear(TDncPort& port, TLsv2Session& s, int state) {
  Log(port, "LSV2 : Send CLEARING");
  if (port.StopEvent.wait(2000) == WAIT_OBJECT_0) return;
  // A reception the control broke off is kept as a failed transfer.
  if (port.TransferFile && port.TransferFile->WriteOpen)
    EndTransfer(port, s, "The control cleared the line during a reception");
  else if (state == kLsv2Reset)
    EndTransfer(port, s, "Reset by the control", false);
  else
    PostPortRequest(&port, kRequestPoll);
}

void AnswerProgramRequest(TDncPort& port, TLsv2Session& s) {
  Log(port, "LSV2 : Send LSV2_PROGRAMREQUEST2");
  if (s.Prepared) {
    Log(port, "LSV2 : Send PROGRAM WAS FOUND");
    WriteTelegram(port, s, Lsv2FormatTelegram(TLsv2Kind::Found, s.Number));
  } else {
    Log(port, "LSV2 : Send PROGRAM WAS NOT FOUND");
    s.State = kLsv2Closing;
    WriteTelegram(port, s, Lsv2FormatTelegram(TLsv2Kind::NotFound));
  }
}

void RunStep(TDncPort& port, TLsv2Session& s) {
  const int state = s.State;
  char text[32];
  std::snprintf(text, sizeof text, "Status = %d", state);
  Log(port, text);
  switch (state) {
    case kLsv2ProgramRequest:
      Log(port, "LSV2 : Send LSV2_PROGRAMREQUEST1");
      // Found before the ENQ: writing a drip-feed file may take a while,
      // and the control waits for the answer only after its DLE '0'.
      s.Prepared = PrepareProgram(port, s) != 0;
      s.State = kLsv2ProgramAnswer;
      Set(port, kAnswerEnq);
      break;
    case kLsv2FirstBlockRequest:
      return HandOn(port, s, "LSV2 : Send LSV2_FIRSTBLOCKREQUEST1", kLsv2FirstBlock, kAnswerEnq);
    case kLsv2MachineSending:
      return OpenReception(port, s);
    case kLsv2NextBlockRequest:
      return HandOn(port, s, "LSV2 : Send LSV2_NEXTBLOCKREQUEST1", kLsv2NextBlock, kAnswerEnq);
    case kLsv2Clearing:
    case kLsv2Reset:
      return Clear(port, s, state);
    case kLsv2ServerReady:
      Log(port, "LSV2 : Send LSV2_TRAMOXREADY");
      WriteTelegram(port, s, Lsv2FormatTelegram(TLsv2Kind::Ready, s.Number));
      break;
    case kLsv2ReceiveNext:
      return HandOn(port, s, "LSV2 : Send LSV2_REQUESTNEXTBLOCK1", kLsv2RequestNext, kAnswerEnq);
    case kLsv2RequestNext:
      Log(port, "LSV2 : Send LSV2_REQUESTNEXTBLOCK2");
      s.State = kLsv2ReceiveNext;
      WriteTelegram(port, s, Lsv2FormatTelegram(TLsv2Kind::NextBlock));
      break;
    case kLsv2ProgramAnswer:
      return AnswerProgramRequest(port, s);
    case kLsv2FirstBlock:
      Log(port, "LSV2 : Send LSV2_FIRSTBLOCKREQUEST2");
      SendBlock(port, s);
      break;
    case kLsv2NextBlock:
      Log(port, "LSV2 : Send LSV2_NEXTBLOCKREQUEST2");
      SendBlock(port, s);
      break;
    case kLsv2DripStart:
      s.EnqSince = Now();
      return HandOn(port, s, "LSV2 : Send LSV2_DF_STARTBLOCK1", kLsv2DripAnnounce, kAnswerEnqWait);
    case kLsv2DripAnnounce:
      Log(port, "LSV2 : Send LSV2_DF_STARTBLOCK2");
      WriteTelegram(port, s, Lsv2FormatTelegram(TLsv2Kind::DripAnnounce, s.Source.PartNumber() - 1));
      break;
    case kLsv2DripEnd:
      return HandOn(port, s, "LSV2 : Send LSV2_DF_ENDBLOCK3", kLsv2DripEndTelegram, kAnswerEnq);
    case kLsv2DripEndTelegram:
      Log(port, "LSV2 : Send LSV2_DF_ENDBLOCK4");
      s.State = kLsv2Closing;
      WriteTelegram(port, s, Lsv2FormatTelegram(TLsv2Kind::Finished));
      break;
    case kLsv2Wait:
      return HandOn(port, s, "LSV2 : Send LSV2_WAIT", kLsv2Idle, kWaitEnq);
    default:
      // Nothing to send: the server waits for the control's next telegram
      // rather than for nothing at all.
      Set(port, kWaitEnq);
      break;
  }
}

}  // namespace

unsigned long Lsv2TimeoutMs(const TDncPort& port) {
  const long seconds = port.ReadTimeoutSeconds;
  return seconds > 0 ? static_cast<unsigned long>(seconds) * 1000 : kDefaultTimeoutMs;
}

int Lsv2StateOf(const TDncPort* port) {
  if (!port) return kLsv2Idle;
  std::lock_guard<std::mutex> g(SessionLock);
  auto it = Sessions.find(port);
  if (it == Sessions.end()) return kLsv2Idle;
  auto s = it->second.lock();
  return s ? s->State.load() : kLsv2Idle;
}

void Lsv2PollingThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  auto s = SessionOf(port);
  port.Polling = 1;
  // What the last transfer left: the send's row lock goes with its table.
  port.ProgramTable.reset();
  port.ProgramRecord.reset();
  port.SendProgramId = 0;
  CloseTransferFile(port);
  s->Source.Close();
  s->State = kLsv2Idle;
  s->Repeat = s->Unknown = s->ReceiveFailed = s->Prepared = false;
  s->Refusals = 0;
  if (s->Failed.exchange(false)) SetStatus(port, 36);

  plat::set_comm_mask(port.ComHandle, EV_RING);
  // Stale input goes; output already handed to the line stays, or the
  // EOT that closed the last exchange could be lost before it left.
  plat::purge_comm(port.ComHandle, PURGE_RXCLEAR | PURGE_TXABORT | PURGE_RXABORT);
  plat::set_comm_mask(port.ComHandle, EV_RXCHAR);
  Set(port, kWaitStopped);
  if (port.StopEvent.wait(5000) == WAIT_OBJECT_0) {
    port.StopPolling();
    return;
  }

  plat::Event done(false, false);
  port.OpenSendRequestEvent();
  port.BytesReceived = port.BytesTotal = port.BytesSent = 0;
  port.ProgramPath.reset();
  port.ClearRequest();
  SetDncEvent(kRefreshPanel);
  Log(port, "LSV2 : Polling Started");
  port.WaitOverlapped.hEvent = &done;
  enum { Character, Stopped } outcome = Character;
  for (;;) {
    DWORD errors = 0, mask = 0, n = 0;
    plat::COMSTAT st;
    if (plat::clear_comm_error(port.ComHandle, &errors, &st) && st.cbInQue > 0) break;
    if (plat::wait_comm_event(port.ComHandle, &mask, &port.WaitOverlapped)) {
      if (mask & EV_RXCHAR) break;
      continue;
    }
    plat::Waitable* waits[] = {&done, &port.StopEvent, port.SendRequest()};
    if (plat::last_comm_error() != ERROR_IO_PENDING) {
      if (!LineGone(plat::last_comm_error())) break;
      // A line that is gone gives no character: it is opened again, as when
      // the cable is back.
      Log(port, "LSV2 : The line failed");
      if (!ReopenLine(port)) {
        outcome = Stopped;
        break;
      }
      continue;
    }
    const DWORD w = plat::wait_for_multiple(waits, 3, false, INFINITE);
    if (w == WAIT_OBJECT_0) {
      plat::get_overlapped_result(port.ComHandle, &port.WaitOverlapped, &n, TRUE);
      if (mask & EV_RXCHAR) break;
      continue;
    }
    plat::set_comm_mask(port.ComHandle, EV_RXCHAR);  // ends the pending wait
    plat::get_overlapped_result(port.ComHandle, &port.WaitOverlapped, &n, TRUE);
    if (w == WAIT_OBJECT_0 + 1) {
      Log(port, "LSV2 : Closing Port-1");
      outcome = Stopped;
      break;
    }
    // A send request: refused by the thread the master starts for it, and
    // the port keeps polling.
    Log(port, "LSV2 : Send request refused");
  }
  port.WaitOverlapped.hEvent = nullptr;
  port.CloseSendRequestEvent();
  port.StopPolling();
  if (outcome == Character) Set(port, kWaitEnq);
  Log(port, "LSV2 : Polling Stopped");
}

void Lsv2WaitThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  auto s = SessionOf(port);
  Log(port, "LSV2 : Wait thread started");
  plat::Waitable* waits[] = {&port.StopEvent,           port.HandOff[kWaitEnq].get(),     port.HandOff[kWaitDle].get(),
                             port.HandOff[kWaitEot].get(), port.HandOff[kWaitStopped].get(), port.HandOff[kWaitTimeout].get()};
  for (;;) {
    switch (plat::wait_for_multiple(waits, 6, false, INFINITE)) {
      case WAIT_OBJECT_0 + 1:
        WaitForEnq(port, *s);
        break;
      case WAIT_OBJECT_0 + 2:
        WaitForDle(port, *s);
        break;
      case WAIT_OBJECT_0 + 3:
        WaitForEot(port, *s);
        break;
      case WAIT_OBJECT_0 + 4:
        Log(port, "LSV2 : Waiting Stopped");
        break;
      case WAIT_OBJECT_0 + 5:
        CheckEnqAnswer(port, *s);
        break;
      default:
        return;
    }
  }
}

void Lsv2ReadThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  auto s = SessionOf(port);
  Log(port, "LSV2 : Read thread started");
  plat::Waitable* waits[] = {&port.StopEvent, port.HandOff[kReadTelegram].get()};
  TLsv2TelegramReader reader;
  while (plat::wait_for_multiple(waits, 2, false, INFINITE) == WAIT_OBJECT_0 + 1) {
    reader.Reset();
    int refused = 0;
    uint64_t deadline = Now() + Lsv2TimeoutMs(port);
    for (;;) {
      char b = 0;
      const Got got = ReadByte(port, b, deadline);
      if (got != Got::Byte) {
        Failed(port, *s, got, "complete telegram");
        break;
      }
      const auto result = reader.Take(b);
      if (result == TLsv2TelegramReader::More) continue;
      if (result == TLsv2TelegramReader::Complete) {
        DecodeTelegram(port, *s, reader.Text());
        Set(port, kAnswerDle1);
        break;
      }
      Log(port, result == TLsv2TelegramReader::BadCheck ? "LSV2 : Block check error" : "LSV2 : Telegram too long");
      if (++refused > kRepeats) {
        Answer(port, *s, std::string(1, kLsv2Eot));
        EndTransfer(port, *s, "The telegram came wrong repeatedly");
        break;
      }
      // The control sends the telegram again.
      Log(port, "LSV2 : Answer = NAK");
      if (!Answer(port, *s, std::string(1, kLsv2Nak))) break;
      reader.Reset();
      deadline = Now() + Lsv2TimeoutMs(port);
    }
  }
}

void Lsv2AnswerThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  auto s = SessionOf(port);
  Log(port, "LSV2 : Answer thread started");
  plat::Waitable* waits[] = {&port.StopEvent,
                             port.HandOff[kAnswerEnq].get(),
                             port.HandOff[kAnswerDle0].get(),
                             port.HandOff[kAnswerDle1].get(),
                             port.HandOff[kAnswerEot].get(),
                             port.HandOff[kAnswerEnqWait].get()};
  const std::string enq(1, kLsv2Enq), eot(1, kLsv2Eot);
  for (;;) {
    switch (plat::wait_for_multiple(waits, 6, false, INFINITE)) {
      case WAIT_OBJECT_0 + 1:
        Log(port, "LSV2 : Answer = ENQ  ");
        s->LastWritten = enq;
        if (Answer(port, *s, enq)) Set(port, kWaitDle);
        break;
      case WAIT_OBJECT_0 + 2:
        Log(port, "LSV2 : Answer = DLE-0");
        if (Answer(port, *s, std::string{kLsv2Dle, '0'})) Set(port, kReadTelegram);
        break;
      case WAIT_OBJECT_0 + 3:
        Log(port, "LSV2 : Answer = DLE-1");
        if (Answer(port, *s, std::string{kLsv2Dle, '1'})) Set(port, kWaitEot);
        break;
      case WAIT_OBJECT_0 + 4:
        Log(port, "LSV2 : Answer = EOT  ");
        if (!Answer(port, *s, eot)) break;
        if (s->State == kLsv2Closing) {
          Log(port, "LSV2 : Closing Protocol");
          s->Source.Close();
          s->State = kLsv2Idle;
          PostPortRequest(&port, kRequestPoll);
          port.StopEvent.wait(1000);
        } else if (s->State == kLsv2DripStart) {
          Set(port, kSendGo);
        } else {
          Set(port, kWaitEnq);
        }
        break;
      case WAIT_OBJECT_0 + 5:
        Log(port, "LSV2 : Answer = ENQ + WAIT");
        s->LastWritten = enq;
        if (Answer(port, *s, enq)) Set(port, kWaitTimeout);
        break;
      default:
        return;
    }
  }
}

void Lsv2SendThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  auto s = SessionOf(port);
  Log(port, "LSV2 : Send thread started");
  plat::Waitable* waits[] = {&port.StopEvent, port.HandOff[kSendGo].get()};
  while (plat::wait_for_multiple(waits, 2, false, INFINITE) == WAIT_OBJECT_0 + 1) {
    if (s->Repeat) {
      s->Repeat = false;
      Log(port, "LSV2 : Repeating");
      DncTraceBuffer(s->LastWritten.c_str(), port.ComNumber());
      if (Answer(port, *s, s->LastWritten))
        Set(port, s->LastWritten.size() == 1 && s->State == kLsv2DripAnnounce ? kWaitTimeout : kWaitDle);
      continue;
    }
    if (s->Unknown) {
      s->Unknown = false;
      Set(port, kWaitEnq);
      continue;
    }
    RunStep(port, *s);
  }
}

void Lsv2SendRefusedThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  Log(port, "LSV2 : A program cannot be sent to this port: the control asks for it");
  SetStatus(port, 4);
  const std::string text = Globals ? Globals->GetMessageText(kMsgSendRefused) : std::string();
  MessageBox(nullptr, text.c_str(), port.Text(kPropDisplayName), MB_OK | MB_ICONINFORMATION);
  SetStatus(port, 4);
}
