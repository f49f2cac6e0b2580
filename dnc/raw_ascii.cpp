// Poll, read, parse and write threads of the raw ASCII protocol. They run
// the standard chain of requests; where they differ from the standard
// threads is that nothing is parsed or rewritten: receptions are kept
// byte for byte, programs are sent in file-sized chunks.
#include "dnc/raw_ascii.h"

#include <memory>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "dnc/block_sender.h"
#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "dnc/rs232.h"
#include "dnc/server.h"
#include "dnc/storing.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace {

void Log(TDncPort& port, const char* text) { DncPortLog(text, &port); }

using End = SendEnd;

// The raw sender logs no XOFF waits.
TSendRules RawRules(const TDncPort& port) {
  TSendRules rules;
  rules.breakCount = port.Setting(kPropBreakCount);
  rules.xoffLimit = port.Setting(kPropXoffLimit);
  rules.logsXoffWaits = false;
  rules.logsXoffLimit = false;
  return rules;
}

}  // namespace

namespace {

PollStep RawWoken(TDncPort& port, DWORD mask) {
  if (mask != 0) return PollStep::Receive;
  // The mask changed under the wait: the write thread of a send the
  // operator asked for, not the line.
  if (port.SendRequest()->is_set() || port.StopEvent.is_set()) return PollStep::Cancelled;
  return PollStep::Again;
}

}  // namespace

void RawPollThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  plat::purge_comm(port.ComHandle, PURGE_TXCLEAR | PURGE_TXABORT);
  TPollHooks hooks;
  hooks.WaitMask = EV_RXCHAR;
  hooks.StartLog = "RAW Polling Started";
  hooks.StopLog = "RAW Polling Stopped";
  hooks.ReceivesOnImmediateEvent = true;
  hooks.Woken = RawWoken;
  RunPolling(port, hooks);
}

TReadHooks RawReadHooks() {
  TReadHooks hooks;
  hooks.CommMask = EV_BREAK;
  hooks.StartLog = "RAW Reading Started";
  // The master serves no more requests: keep what came here.
  hooks.KeepStopped = [](TDncPort& port) {
    DncPortLog("Reading Stopped", &port);
    port.StoreFailed();
  };
  return hooks;
}

void RawReadThread(void* arg) { RunReception(*static_cast<TDncPort*>(arg), RawReadHooks()); }

void RawParseThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  CloseTransferFile(port);
  port.ReservedNumberSeen = 0;
  if (!port.Setting(kPropParityCheck)) port.ParityError = 0;
  if (port.NameForReception) {
    port.StoreTransfer();
    port.NameForReception = 0;
  } else if (!(port.ParityError && port.Setting(kPropDiscardFailed))) {
    // Every reception is kept as it came, for the operator to review.
    port.StoreFailed();
  }
  port.ParityError = 0;
  port.ReceiveFailed = 0;
  SetDncEvent(kRefreshPanel);
  port.BytesReceived = 0;
  port.BytesSent = 0;
  port.BytesTotal = 0;
  Log(port, "Parsing Stopped");
  PostPortRequest(&port, kRequestPoll);
}

namespace {

// A program goes out as its file's bytes in chunks of the send block, the
// start text before the first and the end text after the last.
class TRawSend : public TSendHooks {
 public:
  TRawSend() {
    StartLog = "RAW Writting Started";
    StopLog = "Writting Stopped";
  }

  bool OpenProgram(TDncPort& port) override {
    if (port.ProgramPath)
      file_ = plat::create_file(port.ProgramPath.get(), plat::Access::read, plat::Share::read_write,
                                plat::Disposition::open_existing);
    if (!file_.is_open()) return false;
    port.BytesTotal = static_cast<uint32_t>(plat::length(file_));
    return true;
  }

  void CloseProgram() override { plat::close(file_); }

  TSendRules Rules(const TDncPort& port) const override { return RawRules(port); }

  SendEnd Send(TDncPort& port, TBlockSender& sender) override {
    port.TransferStart = plat::tick_count();
    std::string block = port.StartTrigger;
    std::vector<char> chunk(DncSendBlock(port));
    for (;;) {
      const int64_t got = plat::read(file_, chunk.data(), chunk.size());
      if (got < 0) {
        DncPortLog("Program file could not be read", &port);
        return End::WriteError;
      }
      if (got == 0) block += port.EndTrigger;
      block.append(chunk.data(), static_cast<std::size_t>(got));
      const End end = block.empty() ? End::Done : sender.Send(block);
      block.clear();
      if (got == 0 || end != End::Done) return end;
    }
  }

 private:
  plat::File file_;
};

}  // namespace

void RawWriteThread(void* arg) {
  TRawSend hooks;
  RunSend(*static_cast<TDncPort*>(arg), hooks);
}
