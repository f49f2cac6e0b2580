// What the port threads of every protocol share: the start of polling and
// of a transfer, the line that goes and comes back, the receive file, and
// the read loop of the line-oriented protocols.
#include "dnc/port_threads.h"

#include <memory>
#include <string>

#include "dnc/block_sender.h"
#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "dnc/server.h"
#include "platform/clock.h"

namespace {

void Log(TDncPort& port, const char* text) { DncPortLog(text, &port); }

}  // namespace

bool KeepFailed(TDncPort& port) {
  if (port.Setting(kPropDiscardFailed)) return false;
  return port.StoreFailed() != 0;
}

bool KeepUnservedRequest(TDncPort& port) {
  Log(port, ("Request not served: " + port.RequestedText()).c_str());
  if (port.Setting(kPropDiscardFailed)) return false;
  return port.StoreUnservedRequest() != 0;
}

bool KeepIfIncomplete(TDncPort& port) {
  if (port.Codes(kPropEndTrigger).empty() || port.EndTriggerSeen) return false;
  Log(port, "The program came without its end: kept as a failed transfer");
  KeepFailed(port);
  return true;
}

void CloseTransferFile(TDncPort& port) {
  if (!port.TransferFile) return;
  if (!port.TransferFile->FlushBuffer()) port.ReceiveFailed = 1;
  port.TransferFile->Close();
  port.TransferFile.reset();
}

void SetDncPortStatus(TDncPort& port, int status) {
  WithControlWindow([&](TDncControlView& w) { w.SetPortStatus(port.PortIndex, status); });
}

bool AwaitJobTurn(TDncPort& port) {
  if (!port.JobPrograms) return false;
  port.OpenCancelEvent();
  SetDncPortStatus(port, 2);
  SetDncEvent(kRefreshPanel);
  plat::Waitable* waits[] = {port.Cancel(), &port.StopEvent};
  DWORD w = plat::wait_for_multiple(waits, 2, false, static_cast<DWORD>(port.Setting(kPropAnswerDelay) * 1000));
  port.CloseCancelEvent();
  if (w == WAIT_TIMEOUT) {
    port.StopPolling();
    PostPortRequest(&port, kRequestSend);
    return true;
  }
  if (w == WAIT_OBJECT_0 + 1) return true;
  port.FreeBufferList();
  return false;
}

void KeepPollLineErrors(TDncPort& port, unsigned long errors) {
  port.LineErrorsWhilePolling |= static_cast<DWORD>(errors);
}

void TakePollLineErrors(TDncPort& port) {
  port.ParityError = port.LineErrorsWhilePolling ? 1 : 0;
  if (port.LineErrorsWhilePolling) Log(port, "Line errors with the first bytes");
  port.LineErrorsWhilePolling = 0;
}

bool LineGone(unsigned long error) { return error == ERROR_INVALID_HANDLE || error == ERROR_GEN_FAILURE; }

bool InputLeftOnLine(TDncPort& port) {
  DWORD errors = 0;
  plat::COMSTAT st;
  if (!plat::clear_comm_error(port.ComHandle, &errors, &st)) return false;
  KeepPollLineErrors(port, errors);
  return st.cbInQue > 0;
}

bool ReopenLine(TDncPort& port) {
  Log(port, "Line failed: opening it again");
  for (;;) {
    if (port.StopEvent.wait(1000) == WAIT_OBJECT_0) return false;
    port.ResetPort();
    if (port.ComHandle) {
      // What the old line had, errors and all, went with it.
      port.LineErrorsWhilePolling = 0;
      Log(port, "Line opened again");
      return true;
    }
  }
}

void BeginPolling(TDncPort& port, const char* log) {
  port.OpenSendRequestEvent();
  // Polling only once a send request can reach the thread.
  port.Polling = 1;
  // Errors of bytes queued already are still on the line: the loop reads
  // them with the bytes.
  port.LineErrorsWhilePolling = 0;
  port.BytesReceived = 0;
  port.BytesSent = 0;
  port.BytesTotal = 0;
  SetDncEvent(kRefreshPanel);
  Log(port, log);
  port.ProgramRecord.reset();
  port.ProgramTable.reset();
}

bool OpenTransferFile(TDncPort& port) {
  port.TransferFile.reset();
  port.TransferFile = std::make_unique<TMyFile>(port.TransferPath.c_str());
  port.ReceiveFailed = 0;
  if (port.TransferFile->Open(0)) return true;
  Log(port, ("Cannot create " + port.TransferPath).c_str());
  port.TransferFile.reset();
  plat::purge_comm(port.ComHandle, PURGE_RXCLEAR);
  PostPortRequest(&port, kRequestPoll);
  return false;
}


// ---------------------------------------------------------------------------
// The read loop

namespace {

enum class ReadStep { More, Last, Stopped, Cancelled };

class TReception {
 public:
  TReception(TDncPort& port, const TReadHooks& hooks)
      : port_(port), hooks_(hooks), block_(DncReadBlock(port)), buf_(new unsigned char[block_ + 200]) {}

  // One read of a block; what it brought goes through the filter.
  ReadStep Read() {
    Trace("Read request");
    readEvent_.reset();
    DWORD n = 0;
    if (plat::read_comm(port_.ComHandle, buf_.get(), block_, &n, &port_.ReadOverlapped)) {
      LineErrors(1);
      Received(n);
      return LastIfShort(n, "Processing last block (1)");
    }
    if (plat::last_comm_error() != ERROR_IO_PENDING) {
      Trace("GetLastError() != ERROR_IO_PENDING");
      // What the read took before it failed is kept. A parity error may let
      // the reading go on; a line that failed ends it, and what came is
      // kept as failed, not as a program.
      const DWORD errors = LineErrors(0);
      Received(n);
      if (hooks_.ReadsOnAfterLineErrors && errors && !(errors & CE_IOE)) return ReadStep::More;
      port_.ReceiveFailed = 1;
      return ReadStep::Last;
    }
    Trace("Object wait");
    plat::Waitable* waits[] = {&readEvent_, &port_.StopEvent, port_.Cancel()};
    const DWORD w = plat::wait_for_multiple(waits, 3, false, INFINITE);
    if (w == WAIT_OBJECT_0) return Completed();
    // Stop or cancel: end the read, and take what it still brought.
    plat::purge_comm(port_.ComHandle, PURGE_RXABORT);
    plat::get_overlapped_result(port_.ComHandle, &port_.ReadOverlapped, &n, TRUE);
    if (w == WAIT_OBJECT_0 + 1) {
      Received(n);
      return ReadStep::Stopped;
    }
    Log(port_, "Reading Cancelled");
    plat::purge_comm(port_.ComHandle, PURGE_TXCLEAR | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_RXABORT);
    return ReadStep::Cancelled;
  }

  plat::Event& ReadEvent() { return readEvent_; }

 private:
  ReadStep Completed() {
    DWORD n = 0;
    const BOOL ok = plat::get_overlapped_result(port_.ComHandle, &port_.ReadOverlapped, &n, TRUE);
    const DWORD errors = LineErrors(ok ? 2 : 3);
    // What the read took before the line failed is kept too.
    Received(n);
    if (!ok) {
      if (!hooks_.ReadsOnAfterLineErrors || errors & CE_IOE || n == 0) port_.ReceiveFailed = 1;
      Trace("Processing last block (3)");
      return ReadStep::Last;
    }
    return LastIfShort(n, "Processing last block (2)");
  }

  // A short read: the line fell silent for the interval.
  ReadStep LastIfShort(DWORD n, const char* trace) {
    if (n >= block_) return ReadStep::More;
    Trace(trace);
    return ReadStep::Last;
  }

  // Reads and clears the line's error state; a non-zero state marks the
  // reception, whose parse then keeps it as a failed transfer.
  DWORD LineErrors(int tag) {
    DWORD errors = 0;
    plat::COMSTAT st;
    plat::clear_comm_error(port_.ComHandle, &errors, &st);
    if (!errors) return 0;
    port_.ParityError = 1;
    if (hooks_.Traces) {
      const std::string t = std::to_string(tag);
      if (errors & CE_IOE) Log(port_, ("CE_IOE (" + t + ")").c_str());
      if (errors & CE_RXPARITY) Log(port_, ("CE_RXPARITY (" + t + ")").c_str());
    }
    return errors;
  }

  void Received(DWORD n) { ReceiveBlock(port_, buf_.get(), n); }

  void Trace(const char* text) {
    if (hooks_.Traces) Log(port_, text);
  }

  TDncPort& port_;
  const TReadHooks& hooks_;
  const DWORD block_;
  std::unique_ptr<unsigned char[]> buf_;
  plat::Event readEvent_{true, false};
};

}  // namespace

void StartReceiving(TDncPort& port, const TReadHooks& hooks) {
  port.BytesReceived = 0;
  port.BytesSent = 0;
  port.BytesTotal = 0;
  if (hooks.Begin) hooks.Begin(port);
  TakePollLineErrors(port);
  Log(port, hooks.StartLog);
  port.TransferStart = plat::tick_count();
}

void ReceiveBlock(TDncPort& port, const unsigned char* bytes, DWORD n) {
  if (n) port.WriteReceived(bytes, n);
  port.BytesReceived += n;
  SetDncEvent(kRefreshPanel);
}

void RunReception(TDncPort& port, const TReadHooks& hooks) {
  if (!OpenTransferFile(port)) return;
  plat::set_comm_mask(port.ComHandle, hooks.CommMask);
  TReception reception(port, hooks);
  port.ReadOverlapped.hEvent = &reception.ReadEvent();
  port.OpenCancelEvent();
  StartReceiving(port, hooks);

  ReadStep step = ReadStep::More;
  while (step == ReadStep::More) step = reception.Read();

  port.ReadOverlapped.hEvent = nullptr;
  port.CloseCancelEvent();
  CloseTransferFile(port);
  if (step == ReadStep::Stopped) {
    hooks.KeepStopped(port);
    return;
  }
  Log(port, "Reading Stopped");
  PostPortRequest(&port, step == ReadStep::Cancelled ? kRequestPoll : kRequestParse);
}
