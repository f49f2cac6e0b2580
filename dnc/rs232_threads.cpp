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

// The line reports bytes and breaks while polling; the transmit side is
// cleared of what an ended send left.
void PreparePolling(TDncPort& port) {
  plat::set_comm_mask(port.ComHandle, EV_RING);
  plat::purge_comm(port.ComHandle, PURGE_TXCLEAR);
  plat::purge_comm(port.ComHandle, PURGE_TXABORT);
}

PollStep Woken(TDncPort& port, DWORD mask) {
  DWORD errors = 0;
  plat::COMSTAT st;
  plat::clear_comm_error(port.ComHandle, &errors, &st);
  KeepPollLineErrors(port, errors);
  if (mask & EV_BREAK || errors & CE_BREAK) {
    Log(port, "RS232 (Poll) : Break detected");
    // A break on an idle line is no reception; one among the bytes of a
    // reception damaged it.
    if (st.cbInQue == 0) port.LineErrorsWhilePolling = 0;
    plat::clear_comm_break(port.ComHandle);
    return PollStep::Again;
  }
  // A mask of none: it was changed under the wait.
  return mask == 0 ? PollStep::Again : PollStep::Receive;
}

}  // namespace

void Rs232PollThread(void* arg) {
  TPollHooks hooks;
  hooks.WaitMask = EV_RXCHAR | EV_BREAK;
  hooks.StartLog = "Polling Started";
  hooks.StopLog = "Polling Stopped";
  hooks.WaitLog = "RS232 (Poll) : WaitCommEvent intinated";
  hooks.FailLog = "RS232 (Poll) : WaitCommEvent failed";
  hooks.Prepare = PreparePolling;
  hooks.Woken = Woken;
  RunPolling(*static_cast<TDncPort*>(arg), hooks);
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
    jobId = FindJobByMachinePart(&jobs, port.Setting(kPropMachineId), port.RequestedText().c_str());
  }
  if (!jobId) {
    Log(port, "Job Not Found");
    port.ClearRequest();
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
      port.ClearRequest();
      return false;
    }
    port.FreeBufferList();
    port.JobId = jobId;
    port.JobPrograms = programs;
  }
  SetDncPortStatus(port, 11);
  port.AnswersRequest = 1;
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
      if (!PrepareToSend(&port)) {
        if (port.LookupFailed) KeepUnservedRequest(port);
        return kParseNothing;
      }
      Log(port, "Program was request");
      SetDncPortStatus(port, 11);
      port.AnswersRequest = 1;
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
