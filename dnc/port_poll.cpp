// The poll loop of the line-oriented protocols: bytes queued before a wait
// raise no event, so the line's queue is asked before each wait; a line
// that hung up is opened again, one that fails otherwise is left to the
// read thread after a second.
#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "dnc/port_threads.h"
#include "dnc/server.h"

namespace {

void Log(TDncPort& port, const char* text) {
  if (text) DncPortLog(text, &port);
}

// A wait that cannot start: the line's input first, then the line itself.
PollStep WaitFailed(TDncPort& port, const TPollHooks& hooks, DWORD error) {
  Log(port, hooks.FailLog);
  // A line that hung up is opened again and polled anew; bytes it took
  // before it went are received first.
  if (LineGone(error)) {
    if (InputLeftOnLine(port)) return PollStep::Receive;
    return ReopenLine(port) ? PollStep::Again : PollStep::Cancelled;
  }
  // A line that fails otherwise keeps failing: give it a second before the
  // read thread tries, so it does not spin.
  return port.StopEvent.wait(1000) == WAIT_OBJECT_0 ? PollStep::Cancelled : PollStep::Receive;
}

PollStep PollOnce(TDncPort& port, const TPollHooks& hooks, plat::Event& waitEvent) {
  DWORD errors = 0;
  plat::COMSTAT st;
  plat::clear_comm_error(port.ComHandle, &errors, &st);
  KeepPollLineErrors(port, errors);
  if (st.cbInQue > 0) return PollStep::Receive;
  Log(port, hooks.WaitLog);
  DWORD mask = 0;
  if (plat::wait_comm_event(port.ComHandle, &mask, &port.WaitOverlapped))
    return hooks.ReceivesOnImmediateEvent ? PollStep::Receive : PollStep::Again;
  const DWORD error = plat::last_comm_error();
  if (error != ERROR_IO_PENDING) return WaitFailed(port, hooks, error);
  plat::Waitable* waits[] = {&waitEvent, &port.StopEvent, port.SendRequest()};
  DWORD n = 0;
  if (plat::wait_for_multiple(waits, 3, false, INFINITE) != WAIT_OBJECT_0) {
    // Changing the mask ends the pending wait, so its record may go.
    plat::set_comm_mask(port.ComHandle, hooks.WaitMask);
    plat::get_overlapped_result(port.ComHandle, &port.WaitOverlapped, &n, TRUE);
    return PollStep::Cancelled;
  }
  plat::get_overlapped_result(port.ComHandle, &port.WaitOverlapped, &n, FALSE);
  return hooks.Woken(port, mask);
}

}  // namespace

void RunPolling(TDncPort& port, const TPollHooks& hooks) {
  if (AwaitJobTurn(port)) return;
  if (hooks.Prepare) hooks.Prepare(port);
  plat::set_comm_mask(port.ComHandle, hooks.WaitMask);

  plat::Event waitEvent(false, false);
  port.WaitOverlapped.hEvent = &waitEvent;
  BeginPolling(port, hooks.StartLog);
  PollStep step = PollStep::Again;
  while (step == PollStep::Again) step = PollOnce(port, hooks, waitEvent);

  port.WaitOverlapped.hEvent = nullptr;
  port.CloseSendRequestEvent();
  port.StopPolling();
  if (step == PollStep::Receive) {
    SetDncPortStatus(port, 6);
    PostPortRequest(&port, kRequestReceive);
  }
  Log(port, hooks.StopLog);
}
