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

// Ends a pending comm-event wait and collects it, so the record's event
// may go.
void EndWait(TDncPort& port) {
  DWORD n = 0;
  plat::set_comm_mask(port.ComHandle, EV_RXCHAR | EV_BREAK);
  plat::get_overlapped_result(port.ComHandle, &port.WaitOverlapped, &n, TRUE);
}

}  // namespace

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

namespace {

// The standard reception follows the start and end triggers and the
// receive line ends; a reception the server stops under is kept as failed
// unless the row discards those.
void BeginStandardReception(TDncPort& port) {
  port.ReceptionTriggered = port.Codes(kPropStartTrigger).empty() ? 1 : 0;
  port.ReceptionEnded = 0;
  port.EndTriggerSeen = 0;
  port.LineEndSkip = 0;
}

void KeepStoppedReception(TDncPort& port) {
  port.ReceiveFailed = 1;
  KeepFailed(port);
  Log(port, "Reading Stopped");
}

}  // namespace

TReadHooks Rs232ReadHooks() {
  TReadHooks hooks;
  hooks.CommMask = EV_RING;
  hooks.StartLog = "Reading Started";
  hooks.Traces = true;
  hooks.ReadsOnAfterLineErrors = true;
  hooks.Begin = BeginStandardReception;
  hooks.KeepStopped = KeepStoppedReception;
  return hooks;
}

void Rs232ReadThread(void* arg) { RunReception(*static_cast<TDncPort*>(arg), Rs232ReadHooks()); }

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

bool Rs232FinishReception(TDncPort& port) {
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
  return send;
}

void Rs232ParseThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  const bool send = Rs232FinishReception(port);
  if (send) port.StopEvent.wait(static_cast<DWORD>(port.Setting(kPropAnswerDelay) * 1000));
  port.BytesReceived = 0;
  port.BytesSent = 0;
  port.BytesTotal = 0;
  Log(port, "Parsing Stopped");
  PostPortRequest(&port, send ? kRequestSend : kRequestPoll);
}
