// What the block protocols share in their exchanges with the control.
#include "dnc/port_exchange.h"

#include "dnc/dncport.h"

namespace {

// A wait that ended otherwise than by the read: the read is aborted and
// what it still brought is taken.
ExchangeRead AbortRead(TDncPort& port, plat::OVERLAPPED& ov, DWORD w, const TExchangeReadRules& rules) {
  DWORD n = 0;
  plat::purge_comm(port.ComHandle, PURGE_RXABORT);
  // A one-byte read that failed took nothing.
  const bool took = plat::get_overlapped_result(port.ComHandle, &ov, &n, TRUE) && n == 1;
  if (w == WAIT_OBJECT_0 + 1) return took && rules.StopsBetweenBytes ? ExchangeRead::Byte : ExchangeRead::Stopped;
  if (rules.Interrupt && w == WAIT_OBJECT_0 + 2) return ExchangeRead::Interrupted;
  return took ? ExchangeRead::Byte : ExchangeRead::TimedOut;
}

}  // namespace

ExchangeRead ReadExchangeByte(TDncPort& port, plat::OVERLAPPED& ov, plat::Event& done, unsigned char& byte,
                              const TExchangeDeadline& deadline, const TExchangeReadRules& rules) {
  for (;;) {
    if (rules.StopsBetweenBytes && port.StopEvent.is_set()) return ExchangeRead::Stopped;
    if (!port.ComHandle) return ExchangeRead::LineFailed;
    done.reset();
    DWORD n = 0;
    if (plat::read_comm(port.ComHandle, &byte, 1, &n, &ov)) {
      if (n == 1) return ExchangeRead::Byte;
      if (deadline.Expired()) return ExchangeRead::TimedOut;
      continue;
    }
    if (plat::last_comm_error() != ERROR_IO_PENDING) return ExchangeRead::LineFailed;
    plat::Waitable* waits[] = {&done, &port.StopEvent, rules.Interrupt};
    const DWORD w = plat::wait_for_multiple(waits, rules.Interrupt ? 3 : 2, false, deadline.Remaining());
    if (w != WAIT_OBJECT_0) return AbortRead(port, ov, w, rules);
    const BOOL ok = plat::get_overlapped_result(port.ComHandle, &ov, &n, TRUE);
    const DWORD error = plat::last_comm_error();
    if (ok && n == 1) return ExchangeRead::Byte;
    if (!ok) {
      if (rules.StopsBetweenBytes && port.StopEvent.is_set()) return ExchangeRead::Stopped;
      if (!rules.ReissuesAbortedRead || error != ERROR_OPERATION_ABORTED) return ExchangeRead::LineFailed;
    }
    // An empty read, or one a purge aborted: issued again until the
    // deadline.
    if (deadline.Expired()) return ExchangeRead::TimedOut;
  }
}
