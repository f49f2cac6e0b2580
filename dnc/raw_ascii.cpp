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

void PurgeAll(TDncPort& port) {
  plat::purge_comm(port.ComHandle, PURGE_TXCLEAR | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_RXABORT);
}

// Reads and clears the line's error state; any error marks the reception.
void TakeLineErrors(TDncPort& port) {
  DWORD errors = 0;
  plat::COMSTAT st;
  plat::clear_comm_error(port.ComHandle, &errors, &st);
  if (errors) port.ParityError = 1;
}

void Received(TDncPort& port, const unsigned char* buf, DWORD n) {
  if (n) port.WriteReceived(buf, n);
  port.BytesReceived += n;
  SetDncEvent(kRefreshPanel);
}

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

void RawPollThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  plat::purge_comm(port.ComHandle, PURGE_TXCLEAR | PURGE_TXABORT);
  if (AwaitJobTurn(port)) return;

  plat::set_comm_mask(port.ComHandle, EV_RXCHAR);
  plat::Event waitEvent(false, false);
  port.WaitOverlapped.hEvent = &waitEvent;
  BeginPolling(port, "RAW Polling Started");

  bool cancelled = false;
  for (;;) {
    // Bytes queued before the wait began raise no event: ask for them.
    DWORD errors = 0;
    plat::COMSTAT st;
    plat::clear_comm_error(port.ComHandle, &errors, &st);
    KeepPollLineErrors(port, errors);
    if (st.cbInQue > 0) break;
    DWORD mask = 0;
    if (plat::wait_comm_event(port.ComHandle, &mask, &port.WaitOverlapped)) break;
    const DWORD error = plat::last_comm_error();
    if (error != ERROR_IO_PENDING) {
      // A line that hung up is opened again; one that fails otherwise is
      // tried again after a second, not in a loop.
      if (LineGone(error)) {
        if (InputLeftOnLine(port)) break;
        if (ReopenLine(port)) continue;
        cancelled = true;
        break;
      }
      if (port.StopEvent.wait(1000) == WAIT_OBJECT_0) cancelled = true;
      break;
    }
    plat::Waitable* waits[] = {&waitEvent, &port.StopEvent, port.SendRequest()};
    DWORD n = 0;
    if (plat::wait_for_multiple(waits, 3, false, INFINITE) != WAIT_OBJECT_0) {
      plat::set_comm_mask(port.ComHandle, EV_RXCHAR);
      plat::get_overlapped_result(port.ComHandle, &port.WaitOverlapped, &n, TRUE);
      cancelled = true;
      break;
    }
    plat::get_overlapped_result(port.ComHandle, &port.WaitOverlapped, &n, FALSE);
    if (mask != 0) break;
    // The mask changed under the wait: the write thread of a send the
    // operator asked for, not the line.
    if (port.SendRequest()->is_set() || port.StopEvent.is_set()) {
      cancelled = true;
      break;
    }
  }

  port.WaitOverlapped.hEvent = nullptr;
  port.CloseSendRequestEvent();
  port.StopPolling();
  if (!cancelled) {
    SetDncPortStatus(port, 6);
    PostPortRequest(&port, kRequestReceive);
  }
  Log(port, "RAW Polling Stopped");
}

void RawReadThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  if (!OpenTransferFile(port)) return;
  plat::set_comm_mask(port.ComHandle, EV_BREAK);
  plat::Event readEvent(true, false);
  port.ReadOverlapped.hEvent = &readEvent;
  port.OpenCancelEvent();

  const DWORD block = DncReadBlock(port);
  std::unique_ptr<unsigned char[]> buf(new unsigned char[block + 200]);
  port.BytesReceived = 0;
  port.BytesSent = 0;
  port.BytesTotal = 0;
  TakePollLineErrors(port);
  Log(port, "RAW Reading Started");
  port.TransferStart = plat::tick_count();

  int request = kRequestParse;
  bool stopped = false;
  for (;;) {
    readEvent.reset();
    DWORD n = 0;
    if (plat::read_comm(port.ComHandle, buf.get(), block, &n, &port.ReadOverlapped)) {
      TakeLineErrors(port);
      Received(port, buf.get(), n);
      if (n < block) break;
      continue;
    }
    if (plat::last_comm_error() != ERROR_IO_PENDING) {
      // A line that hung up fails the read at once, yet the read may
      // have taken the bytes queued before it: those are kept too.
      TakeLineErrors(port);
      Received(port, buf.get(), n);
      port.ReceiveFailed = 1;
      break;
    }
    plat::Waitable* waits[] = {&readEvent, &port.StopEvent, port.Cancel()};
    const DWORD w = plat::wait_for_multiple(waits, 3, false, INFINITE);
    if (w == WAIT_OBJECT_0) {
      const BOOL ok = plat::get_overlapped_result(port.ComHandle, &port.ReadOverlapped, &n, TRUE);
      TakeLineErrors(port);
      // What the read took before the line failed is kept too.
      Received(port, buf.get(), n);
      if (!ok) {
        port.ReceiveFailed = 1;
        break;
      }
      if (n < block) break;
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
      PurgeAll(port);
      request = kRequestPoll;
    }
    break;
  }

  port.ReadOverlapped.hEvent = nullptr;
  port.CloseCancelEvent();
  CloseTransferFile(port);
  Log(port, "Reading Stopped");
  if (stopped) {
    // The master serves no more requests: keep what came here.
    port.StoreFailed();
    return;
  }
  PostPortRequest(&port, request);
}

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

void RawWriteThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  plat::set_comm_mask(port.ComHandle, EV_RING);
  port.BytesSent = 0;
  Log(port, "RAW Writting Started");
  PurgeAll(port);

  const bool database = !port.FileMode();
  auto release = [&port] {
    port.ProgramTable.reset();
    port.ProgramRecord.reset();
    port.SendProgramId = 0;
  };
  if (database) {
    Log(port, "Placing Lock");
    if (!port.CopyForSend("KELVFILE.DBF")) {
      Log(port, "Program could not be locked");
      release();
      PostPortRequest(&port, kRequestPoll);
      return;
    }
    Log(port, "Lock was placed");
  }
  plat::File file;
  if (port.ProgramPath)
    file = plat::create_file(port.ProgramPath.get(), plat::Access::read, plat::Share::read_write,
                             plat::Disposition::open_existing);
  if (!file.is_open()) {
    Log(port, "Program file could not be opened");
    if (database) release();
    PostPortRequest(&port, kRequestPoll);
    return;
  }
  port.BytesTotal = static_cast<uint32_t>(plat::length(file));
  port.OpenCancelEvent();
  port.TransferStart = plat::tick_count();

  End end = End::Done;
  {
    TBlockSender sender(port, RawRules(port));
    std::string block = port.StartTrigger;
    std::vector<char> chunk(DncSendBlock(port));
    for (;;) {
      const int64_t got = plat::read(file, chunk.data(), chunk.size());
      if (got < 0) {
        Log(port, "Program file could not be read");
        end = End::WriteError;
        break;
      }
      if (got == 0) block += port.EndTrigger;
      block.append(chunk.data(), static_cast<std::size_t>(got));
      if (!block.empty()) end = sender.Send(block);
      block.clear();
      if (got == 0 || end != End::Done) break;
    }
  }
  plat::close(file);

  plat::escape_comm_function(port.ComHandle, SETXON);
  if (end == End::Done) AwaitDrained(port);
  if (database && Globals) {
    const char* desc = port.ProgramRecord ? port.ProgramRecord->DESC : "";
    const char* machine = port.ProgramRecord ? port.ProgramRecord->MACHINE : port.Text(kPropName);
    Globals->WriteLog(end == End::Done ? 1 : 2, desc, machine, port.Text(kPropDisplayName));
  }
  if (end != End::BreakCount) plat::purge_comm(port.ComHandle, PURGE_RXCLEAR);
  if (database) {
    Log(port, "Removing Lock");
    // Only a program that went out whole counts as sent.
    if (end == End::Done && port.ProgramTable) port.ProgramTable->IncrementSent(port.SendProgramId);
    release();
    port.ProgramPath.reset();
  }
  port.CloseCancelEvent();
  if (end == End::Done)
    port.StopEvent.wait(port.JobPrograms ? 1000 : 10000);
  else
    port.FreeBufferList();
  PostPortRequest(&port, kRequestPoll);
  Log(port, "Writting Stopped");
}
