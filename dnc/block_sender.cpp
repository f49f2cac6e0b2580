#include "dnc/block_sender.h"

#include <algorithm>

#include "appcore/globals.h"
#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "dnc/rs232.h"
#include "dnc/server.h"
#include "platform/serial.h"

namespace {

void Log(TDncPort& port, const char* text) { DncPortLog(text, &port); }

void PurgeAll(TDncPort& port) {
  plat::purge_comm(port.ComHandle, PURGE_TXCLEAR | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_RXABORT);
}

DWORD Baud(const TDncPort& port) { return port.Dcb.BaudRate ? port.Dcb.BaudRate : 9600; }

// Bytes the line carries in half a second (ten bits a character).
std::size_t HalfSecond(const TDncPort& port) { return Baud(port) / 20; }

// About as long as the queued bytes take on the line, 2 to 500 ms.
DWORD DrainMs(const TDncPort& port, DWORD queued) {
  const DWORD ms = static_cast<DWORD>(queued * 10ull * 1000 / Baud(port));
  return std::clamp<DWORD>(ms, 2, 500);
}

// A write under way is looked at when its bytes should have gone out (at
// most half a second on), with room for the layer's pacing. Line time
// passes in real time whatever the time scale of the waits.
DWORD WriteWaitMs(const TDncPort& port, DWORD queued) {
  const double real = DrainMs(port, queued) + 100.0;
  return static_cast<DWORD>(std::max(1.0, real / plat::time_scale()));
}

}  // namespace

std::size_t DncSendBlock(const TDncPort& port) { return std::clamp<std::size_t>(HalfSecond(port), 1000, 8192); }

DWORD DncReadBlock(const TDncPort& port) {
  const std::size_t configured = Globals && Globals->ReadBlockSize > 0 ? static_cast<std::size_t>(Globals->ReadBlockSize) : 1024;
  return static_cast<DWORD>(std::max(configured, std::min<std::size_t>(HalfSecond(port), 8192)));
}

TBlockSender::TBlockSender(TDncPort& port, const TSendRules& rules) : port_(port), rules_(rules) {
  flow_ = port.Setting(kPropFlow);
  port.WriteOverlapped.hEvent = &writeEvent_;
}

TBlockSender::~TBlockSender() { port_.WriteOverlapped.hEvent = nullptr; }

TBlockSender::Woke TBlockSender::Await(DWORD ms, bool writing) {
  plat::Waitable* waits[3];
  DWORD count = 0;
  if (writing) waits[count++] = &writeEvent_;
  waits[count++] = &port_.StopEvent;
  if (port_.Cancel()) waits[count++] = port_.Cancel();
  const DWORD w = plat::wait_for_multiple(waits, count, false, ms);
  if (w == WAIT_TIMEOUT) return Woke::Timeout;
  return writing && w == WAIT_OBJECT_0 ? Woke::Written : Woke::Stopped;
}

bool TBlockSender::Cancelled(DWORD ms) {
  if (Await(ms, false) == Woke::Timeout) return false;
  PurgeAll(port_);
  port_.StopEvent.wait(500);
  plat::escape_comm_function(port_.ComHandle, SETXON);
  return true;
}

// Waits until the line may take the next block or, with `writing` bytes
// under way, until that write completes. A write is awaited for the time
// its bytes take on the line; only one that takes longer is looked at, so
// a flowing send costs one wake-up a block. A stop or cancel during a
// write is left to the caller (stoppedWriting_), which ends the write.
SendEnd TBlockSender::FlowWait(DWORD writing) {
  bool waited = false;
  long xoffWaits = 0;
  SendEnd result = SendEnd::Done;
  // True when the wait is over: the write completed or the send ends.
  auto pause = [&](DWORD ms) {
    switch (Await(ms, writing != 0)) {
      case Woke::Timeout:
        return false;
      case Woke::Written:
        return true;
      case Woke::Stopped:
        break;
    }
    if (writing) {
      stoppedWriting_ = true;
    } else {
      PurgeAll(port_);
      port_.StopEvent.wait(500);
      plat::escape_comm_function(port_.ComHandle, SETXON);
    }
    result = SendEnd::Cancelled;
    return true;
  };
  if (writing && pause(WriteWaitMs(port_, writing))) return result;
  for (;;) {
    DWORD errors = 0, modem = 0;
    plat::COMSTAT st;
    plat::clear_comm_error(port_.ComHandle, &errors, &st);
    plat::get_comm_modem_status(port_.ComHandle, &modem);
    if (rules_.heedsCts && (flow_ == 2 || flow_ == 3) && !(modem & MS_CTS_ON)) {
      const bool first = !waited;
      if (first) {
        SetDncPortStatus(port_, 36);
        waited = true;
      }
      if (pause(first ? 20 : 30)) break;
      continue;
    }
    if (rules_.breakCount > 0 && st.cbInQue > static_cast<DWORD>(rules_.breakCount)) {
      Log(port_, "Incoming data > BreakCount");
      plat::purge_comm(port_.ComHandle, PURGE_TXABORT | PURGE_TXCLEAR);
      result = SendEnd::BreakCount;
      break;
    }
    if (st.fXoffHold) {
      if (!waited) {
        SetDncPortStatus(port_, 36);
        waited = true;
      }
      xoffWaits++;
      if (pause(20)) break;
      if (rules_.logsXoffWaits) Log(port_, st.cbOutQue == 0 ? "XOFF : CS.cbOutQue = 0" : "XOFF : CS.cbOutQue <> 0");
      if (rules_.xoffLimit > 0 && xoffWaits / 3000 >= rules_.xoffLimit) {
        if (rules_.logsXoffLimit) Log(port_, "XOFF limit reached");
        PurgeAll(port_);
        port_.StopEvent.wait(500);
        plat::escape_comm_function(port_.ComHandle, SETXON);
        result = SendEnd::XoffLimit;
        break;
      }
      continue;
    }
    if (st.cbOutQue == 0) break;
    const DWORD ms = writing ? WriteWaitMs(port_, st.cbOutQue) : rules_.drainsByTicks ? 20 : DrainMs(port_, st.cbOutQue);
    if (pause(ms)) break;
  }
  if (waited && result == SendEnd::Done) SetDncPortStatus(port_, 5);
  return result;
}

SendEnd TBlockSender::Send(const std::string& block) {
  std::size_t off = 0;
  while (off < block.size()) {
    SendEnd e = FlowWait(0);
    if (e != SendEnd::Done) return e;
    if (rules_.blockDelayMs > 0) plat::sleep_ms(static_cast<DWORD>(rules_.blockDelayMs));
    DWORD n = 0;
    const DWORD size = static_cast<DWORD>(block.size() - off);
    if (!plat::write_comm(port_.ComHandle, block.data() + off, size, &n, &port_.WriteOverlapped)) {
      if (plat::last_comm_error() != ERROR_IO_PENDING) {
        Count(n);
        Log(port_, "Error in writting to port");
        return SendEnd::WriteError;
      }
      stoppedWriting_ = false;
      e = FlowWait(size);
      if (stoppedWriting_) {
        Log(port_, "Writting Cancelled");
        PurgeAll(port_);
        plat::get_overlapped_result(port_.ComHandle, &port_.WriteOverlapped, &n, TRUE);
        Count(n);
        return SendEnd::Cancelled;
      }
      // A break count or XOFF limit purged the write: count what went.
      const BOOL ok = plat::get_overlapped_result(port_.ComHandle, &port_.WriteOverlapped, &n, TRUE);
      if (e != SendEnd::Done) {
        Count(n);
        return e;
      }
      if (!ok) {
        Count(n);
        Log(port_, "Write error detected");
        return SendEnd::WriteError;
      }
    }
    Count(n);
    off += n;
  }
  return SendEnd::Done;
}

void TBlockSender::Count(DWORD n) {
  port_.BytesSent += n;
  sinceRefresh_ += n;
  if (sinceRefresh_ > rules_.refreshEvery) {
    sinceRefresh_ = 0;
    SetDncEvent(kRefreshPanel);
  }
}

void AwaitDrained(TDncPort& port) {
  for (;;) {
    port.StopEvent.wait(1000);
    DWORD errors = 0;
    plat::COMSTAT st;
    plat::clear_comm_error(port.ComHandle, &errors, &st);
    if (st.cbOutQue == 0 || port.StopEvent.is_set()) break;
  }
}
