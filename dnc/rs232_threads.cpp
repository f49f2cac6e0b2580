// Poll, read and parse threads of the standard RS-232 protocol.
#include <cstring>
#include <memory>
#include <string>

#include "appcore/globals.h"
#include "dbmodel/job.h"
#include "dnc/block_sender.h"
#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "dnc/rs232.h"
#include "dnc/server.h"
#include "dnc/storing.h"
#include "platform/clock.h"

namespace {

void Log(TDncPort& port, const char* text) { DncPortLog(text, &port); }

// Reads and clears the line's error state; a non-zero state marks the
// reception, whose parse then keeps it as a failed transfer.
DWORD CheckLineErrors(TDncPort& port, int tag) {
  DWORD errors = 0;
  plat::COMSTAT st;
  plat::clear_comm_error(port.ComHandle, &errors, &st);
  if (!errors) return 0;
  port.ParityError = 1;
  std::string t = std::to_string(tag);
  if (errors & CE_IOE) Log(port, ("CE_IOE (" + t + ")").c_str());
  if (errors & CE_RXPARITY) Log(port, ("CE_RXPARITY (" + t + ")").c_str());
  return errors;
}

void Received(TDncPort& port, const unsigned char* buf, DWORD n) {
  if (n) port.WriteReceived(buf, n);
  port.BytesReceived += n;
  SetDncEvent(kRefreshPanel);
}

// Ends a pending comm-event wait and collects it, so the record's event
// may go.
void EndWait(TDncPort& port) {
  DWORD n = 0;
  plat::set_comm_mask(port.ComHandle, EV_RXCHAR | EV_BREAK);
  plat::get_overlapped_result(port.ComHandle, &port.WaitOverlapped, &n, TRUE);
}

}  // namespace

bool KeepFailed(TDncPort& port) {
  if (port.Setting(kPropDiscardFailed)) return false;
  return port.StoreFailed() != 0;
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
  if (TDncControlView* w = ControlWindow.load()) w->SetPortStatus(port.PortIndex, status);
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

void Rs232PollThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  if (AwaitJobTurn(port)) return;

  plat::set_comm_mask(port.ComHandle, EV_RING);
  plat::purge_comm(port.ComHandle, PURGE_TXCLEAR);
  plat::purge_comm(port.ComHandle, PURGE_TXABORT);
  plat::set_comm_mask(port.ComHandle, EV_RXCHAR | EV_BREAK);

  plat::Event waitEvent(false, false);
  port.WaitOverlapped.hEvent = &waitEvent;
  BeginPolling(port, "Polling Started");

  bool cancelled = false;
  for (;;) {
    // Bytes queued before the wait began raise no event: ask for them.
    DWORD errors = 0;
    plat::COMSTAT st;
    plat::clear_comm_error(port.ComHandle, &errors, &st);
    KeepPollLineErrors(port, errors);
    if (st.cbInQue > 0) break;
    Log(port, "RS232 (Poll) : WaitCommEvent intinated");
    DWORD mask = 0;
    if (plat::wait_comm_event(port.ComHandle, &mask, &port.WaitOverlapped)) continue;
    const DWORD error = plat::last_comm_error();
    if (error != ERROR_IO_PENDING) {
      Log(port, "RS232 (Poll) : WaitCommEvent failed");
      // A line that hung up is opened again and polled anew; bytes it
      // took before it went are received first.
      if (LineGone(error)) {
        if (InputLeftOnLine(port)) break;
        if (ReopenLine(port)) continue;
        cancelled = true;
        break;
      }
      // A line that fails otherwise keeps failing: give it a second before
      // the read thread tries, so it does not spin.
      if (port.StopEvent.wait(1000) == WAIT_OBJECT_0) cancelled = true;
      break;
    }
    plat::Waitable* waits[] = {&waitEvent, &port.StopEvent, port.SendRequest()};
    DWORD w = plat::wait_for_multiple(waits, 3, false, INFINITE);
    if (w != WAIT_OBJECT_0) {
      EndWait(port);
      cancelled = true;
      break;
    }
    DWORD n = 0;
    plat::get_overlapped_result(port.ComHandle, &port.WaitOverlapped, &n, FALSE);
    plat::clear_comm_error(port.ComHandle, &errors, &st);
    KeepPollLineErrors(port, errors);
    if (mask & EV_BREAK || errors & CE_BREAK) {
      Log(port, "RS232 (Poll) : Break detected");
      // A break on an idle line is no reception; one among the bytes of a
      // reception damaged it.
      if (st.cbInQue == 0) port.LineErrorsWhilePolling = 0;
      plat::clear_comm_break(port.ComHandle);
      continue;
    }
    if (mask == 0) continue;  // the mask was changed under the wait
    break;
  }

  port.WaitOverlapped.hEvent = nullptr;
  port.CloseSendRequestEvent();
  port.StopPolling();
  if (!cancelled) {
    SetDncPortStatus(port, 6);
    PostPortRequest(&port, kRequestReceive);
  }
  Log(port, "Polling Stopped");
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

void Rs232ReadThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  if (!OpenTransferFile(port)) return;
  plat::set_comm_mask(port.ComHandle, EV_RING);
  plat::Event readEvent(true, false);
  port.ReadOverlapped.hEvent = &readEvent;
  port.OpenCancelEvent();

  const DWORD block = DncReadBlock(port);
  std::unique_ptr<unsigned char[]> buf(new unsigned char[block + 200]);
  port.BytesReceived = 0;
  port.BytesSent = 0;
  port.BytesTotal = 0;
  port.ReceptionTriggered = port.Codes(kPropStartTrigger).empty() ? 1 : 0;
  port.ReceptionEnded = 0;
  port.EndTriggerSeen = 0;
  port.LineEndSkip = 0;
  TakePollLineErrors(port);
  Log(port, "Reading Started");
  port.TransferStart = plat::tick_count();

  int request = kRequestParse;
  bool stopped = false;
  for (bool done = false; !done;) {
    Log(port, "Read request");
    readEvent.reset();
    DWORD n = 0;
    if (plat::read_comm(port.ComHandle, buf.get(), block, &n, &port.ReadOverlapped)) {
      CheckLineErrors(port, 1);
      Received(port, buf.get(), n);
      if (n < block) {
        Log(port, "Processing last block (1)");
        done = true;
      }
      continue;
    }
    if (plat::last_comm_error() != ERROR_IO_PENDING) {
      Log(port, "GetLastError() != ERROR_IO_PENDING");
      DWORD errors = CheckLineErrors(port, 0);
      // What the read took before it failed is kept. A parity error lets
      // the reading go on; a line that failed ends it, and what came is
      // kept as failed, not as a program.
      Received(port, buf.get(), n);
      if (errors && !(errors & CE_IOE)) continue;
      port.ReceiveFailed = 1;
      break;
    }
    Log(port, "Object wait");
    plat::Waitable* waits[] = {&readEvent, &port.StopEvent, port.Cancel()};
    DWORD w = plat::wait_for_multiple(waits, 3, false, INFINITE);
    if (w == WAIT_OBJECT_0) {
      BOOL ok = plat::get_overlapped_result(port.ComHandle, &port.ReadOverlapped, &n, TRUE);
      DWORD errors = CheckLineErrors(port, ok ? 2 : 3);
      Received(port, buf.get(), n);
      if (!ok) {
        if (errors & CE_IOE || n == 0) port.ReceiveFailed = 1;
        Log(port, "Processing last block (3)");
        done = true;
      } else if (n < block) {
        Log(port, "Processing last block (2)");
        done = true;
      }
      continue;
    }
    // Stop or cancel: end the read, and take what it still brought.
    plat::purge_comm(port.ComHandle, PURGE_RXABORT);
    plat::get_overlapped_result(port.ComHandle, &port.ReadOverlapped, &n, TRUE);
    if (w == WAIT_OBJECT_0 + 1) {
      Received(port, buf.get(), n);
      stopped = true;
    } else {
      Log(port, "Reading Cancelled");
      plat::purge_comm(port.ComHandle, PURGE_TXCLEAR | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_RXABORT);
      request = kRequestPoll;
    }
    break;
  }

  port.ReadOverlapped.hEvent = nullptr;
  port.CloseCancelEvent();
  CloseTransferFile(port);
  if (stopped) {
    // The server stops under a reception: the master serves no more
    // requests, so the part that came is kept here, as failed.
    port.ReceiveFailed = 1;
    KeepFailed(port);
    Log(port, "Reading Stopped");
    return;
  }
  Log(port, "Reading Stopped");
  PostPortRequest(&port, request);
}

bool ServeJobRequest(TDncPort& port) {
  long jobId = 0;
  {
    TJobTable01 jobs;
    jobId = FindJobByMachinePart(&jobs, port.Setting(kPropMachineId), port.PendingText().c_str());
  }
  if (!jobId) {
    Log(port, "Job Not Found");
    port.ClearPending();
    return false;
  }
  Log(port, "Job Found");
  if (port.FileMode()) {
    // A port on plain files sends the file named like the job's request
    // id; the job's lines name programs of the database, which it has not.
    if (!PrepareToSend(&port)) return false;
  } else {
    // The write thread takes the job's programs one by one; the request id
    // names no program of its own.
    TJobTable02 lines;
    TcbRecord* programs = lines.LoadJob(jobId);
    if (!programs) {
      Log(port, "Job has no programs");
      port.ClearPending();
      return false;
    }
    port.FreeBufferList();
    port.JobId = jobId;
    port.JobPrograms = programs;
  }
  SetDncPortStatus(port, 11);
  return true;
}

int ParseReception(TDncPort& port, bool jobs) {
  auto in = std::make_unique<TMyFile>(port.TransferPath.c_str());
  if (!in->Open(1)) return kParseNoFile;
  Log(port, jobs ? "Parsing Started" : "Check Parsing Started");
  for (;;) {
    std::unique_ptr<char[]> line = in->ReadLine(1);
    if (!line) break;
    if (!port.ReservedNumberSeen && port.ExtractProgramName(line.get())) {
      in.reset();
      if (KeepIfIncomplete(port)) return kParseNothing;
      port.StoreReceived();
      return kParseStored;
    }
    if (port.ExtractProgramNumber(line.get())) {
      in.reset();
      if (!PrepareToSend(&port)) return kParseNothing;
      Log(port, "Program was request");
      SetDncPortStatus(port, 11);
      return kParseSend;
    }
    if (!jobs) continue;
    Log(port, "Checking for Job");
    if (port.CheckForJob(line.get())) {
      Log(port, "Program was Job-Request");
      in.reset();
      return ServeJobRequest(port) ? kParseSend : kParseNothing;
    }
  }
  in.reset();
  return kParseNoMatch;
}

void Rs232ParseThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  CloseTransferFile(port);
  port.ReservedNumberSeen = 0;
  if (!port.Setting(kPropParityCheck)) port.ParityError = 0;

  bool send = false;
  if (port.NameForReception) {
    if (port.ReceiveFailed)
      KeepFailed(port);
    else if (!KeepIfIncomplete(port))
      port.StoreTransfer();
    port.NameForReception = 0;
  } else if (port.ParityError || port.ReceiveFailed) {
    KeepFailed(port);
    port.ParityError = 0;
  } else {
    int result = ParseReception(port, true);
    if (result == kParseNoMatch) KeepFailed(port);
    send = result == kParseSend;
  }
  port.ReceiveFailed = 0;
  SetDncEvent(kRefreshPanel);
  if (send) port.StopEvent.wait(static_cast<DWORD>(port.Setting(kPropAnswerDelay) * 1000));
  port.BytesReceived = 0;
  port.BytesSent = 0;
  port.BytesTotal = 0;
  Log(port, "Parsing Stopped");
  PostPortRequest(&port, send ? kRequestSend : kRequestPoll);
}
