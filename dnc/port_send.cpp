// The send loop of the line-oriented protocols: the program's lock and file
// around what the protocol sends, then the drain, the log, the count and the
// rest before polling again.
#include <string>
#include <utility>

#include "appcore/globals.h"
#include "dbmodel/job.h"
#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "dnc/port_threads.h"
#include "dnc/server.h"

namespace {

void Log(TDncPort& port, const char* text) { DncPortLog(text, &port); }

void TakeJobProgram(TDncPort& port) {
  auto* first = static_cast<TJobRecord02*>(port.JobPrograms);
  if (!first) return;
  port.SendProgramId = first->PROG;
  port.JobPrograms = first->next;
  first->next = nullptr;
  delete first;
  if (!port.JobPrograms) port.JobId = 0;
  Log(port, ("Job program " + std::to_string(port.SendProgramId)).c_str());
}

void ReleaseProgram(TDncPort& port) {
  port.ProgramTable.reset();
  port.ProgramRecord.reset();
  port.SendProgramId = 0;
}

// The program's lock and its file; false, logged, when the send cannot
// start.
bool StartSend(TDncPort& port, TSendHooks& hooks, bool locked) {
  if (locked) {
    Log(port, "Placing Lock");
    if (!port.CopyForSend("KELVFILE.DBF")) {
      Log(port, "Program could not be locked");
      return false;
    }
    Log(port, "Lock was placed");
  }
  if (hooks.OpenProgram(port)) return true;
  Log(port, "Program file could not be opened");
  return false;
}

void LogSend(TDncPort& port, const TSendHooks& hooks, SendEnd end) {
  const std::string shown = hooks.NamesPending ? port.ShownProgram() : std::string();
  const char* desc = port.ProgramRecord ? port.ProgramRecord->DESC : shown.c_str();
  const char* machine = port.ProgramRecord ? port.ProgramRecord->MACHINE : port.Text(kPropName);
  Globals->WriteLog(end == SendEnd::Done ? 1 : 2, desc, machine, port.Text(kPropDisplayName));
}

void EndSend(TDncPort& port, TSendHooks& hooks, SendEnd end, bool database, bool locked) {
  plat::escape_comm_function(port.ComHandle, SETXON);
  if (end == SendEnd::Done) {
    if (hooks.LogsWaits) Log(port, "Sleeping 1 Second");
    AwaitDrained(port);
  }
  if (database && Globals && hooks.LogsSend) LogSend(port, hooks, end);
  if (end != SendEnd::BreakCount) plat::purge_comm(port.ComHandle, PURGE_RXCLEAR);
  if (locked) {
    Log(port, "Removing Lock");
    // Only a program that went out whole counts as sent.
    if (end == SendEnd::Done && port.ProgramTable) port.ProgramTable->IncrementSent(port.SendProgramId);
    ReleaseProgram(port);
    port.ProgramPath.reset();
  }
  hooks.CloseProgram();
  port.CloseCancelEvent();
  if (hooks.ClearsOmitLines) port.OmitLines = 0;
  if (end != SendEnd::Done) {
    port.FreeBufferList();
  } else if (hooks.RestsAfterSend) {
    if (hooks.LogsWaits) Log(port, "Sleeping 10 seconds");
    port.StopEvent.wait(port.JobPrograms ? 1000 : 10000);
  }
  PostPortRequest(&port, kRequestPoll);
  Log(port, hooks.StopLog);
}

}  // namespace

void RunSend(TDncPort& port, TSendHooks& hooks) {
  if (hooks.SetsRingMask) plat::set_comm_mask(port.ComHandle, EV_RING);
  port.BytesSent = 0;
  Log(port, hooks.StartLog);
  if (hooks.PurgesFirst)
    plat::purge_comm(port.ComHandle, PURGE_TXCLEAR | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_RXABORT);

  const bool database = !port.FileMode();
  const bool locked = database && !(hooks.LinkSendsUnlocked && port.Setting(kPropUnixLink));
  const bool answers = std::exchange(port.AnswersRequest, 0) != 0;
  if (database && hooks.TakesJobProgram) TakeJobProgram(port);
  // A program that cannot be sent is passed over: the rest of a job still
  // goes out, one program per turn of the poll thread.
  if (!StartSend(port, hooks, locked)) {
    ReleaseProgram(port);
    if (answers) KeepUnservedRequest(port);
    port.AnswersRequest = answers && port.JobPrograms ? 1 : 0;
    PostPortRequest(&port, kRequestPoll);
    return;
  }
  port.OpenCancelEvent();
  SendEnd end = SendEnd::Done;
  {
    TBlockSender sender(port, hooks.Rules(port));
    end = hooks.Send(port, sender);
  }
  // The rest of the machine's job still answers its request (a send that
  // ends short drops the job, and this with it).
  port.AnswersRequest = answers && port.JobPrograms ? 1 : 0;
  EndSend(port, hooks, end, database, locked);
}
