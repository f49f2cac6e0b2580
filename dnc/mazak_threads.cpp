#include "dnc/mazak_threads.h"

#include <string>
#include <utility>
#include <vector>

#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "dnc/port_threads.h"
#include "formats/mazak_tape.h"
#include "dnc/rs232.h"
#include "dnc/server.h"
#include "dnc/storing.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/serial.h"
#include "platform/sync.h"

namespace {

int TypeOf(const TDncPort& port) { return static_cast<int>(port.Setting(kPropMazakType)); }

void Log(const TDncPort& port, const std::string& text) {
  std::string tagged = text;
  // The log texts carry the type's tag in place of "T3".
  std::size_t at = tagged.find("T3");
  if (at != std::string::npos) tagged.replace(at, 2, MazakLogTag(TypeOf(port)));
  DncPortLog(tagged.c_str(), &port);
}

// Silent: the control sent nothing for the port's time-out; Garbage: bytes
// without an end ran past any telegram's length; LineFailed: the line is
// gone.
enum class Read { Telegram, Stopped, Cancelled, Silent, Garbage, LineFailed };

// Time-out of a control that falls silent during an exchange: the row's
// read time-out, or two minutes.
DWORD ExchangeTimeout(const TDncPort& port) {
  const long s = port.Setting(kPropReadTimeout);
  return s > 0 ? static_cast<DWORD>(s) * 1000 : 120000;
}

// Milliseconds on the clock the line's time-outs run by.
uint64_t Now() { return static_cast<uint64_t>(static_cast<double>(plat::tick_count64()) / plat::time_scale()); }

// How long the control has kept silent, or held the port's answer back,
// since its last byte. The line's own time-outs end a read empty now and
// then; the read is issued again, and the count goes on across it.
struct TControlWait {
  DWORD Held = 0;
  DWORD Queued = 0;
  uint64_t SilentUntil = 0;  // 0: the answer is still going out
};

// Waits for the pending read, the stop or the cancel. The control's
// silence is counted from the moment the port's own answer has left the
// line: on a slow line a long answer may still be going out when the read
// starts, and the control cannot reply before it has it all. An answer
// the control holds back (XOFF, CTS) longer than the time-out counts as
// its silence; one still going out, however slowly, does not.
DWORD WaitForControl(TDncPort& port, plat::Waitable* const* waits, DWORD count, TControlWait& wait) {
  constexpr DWORD kLook = 100;
  const DWORD timeout = ExchangeTimeout(port);
  for (;; wait.Held += kLook) {
    DWORD errors = 0;
    plat::COMSTAT st{};
    plat::clear_comm_error(port.ComHandle, &errors, &st);
    if (st.cbOutQue == 0) {
      if (!wait.SilentUntil) wait.SilentUntil = Now() + timeout;
      const uint64_t now = Now();
      const DWORD left = now >= wait.SilentUntil ? 0 : static_cast<DWORD>(wait.SilentUntil - now);
      return plat::wait_for_multiple(waits, count, false, left);
    }
    if (st.cbOutQue < wait.Queued) wait.Held = 0;  // the line took a byte: not held back
    wait.Queued = st.cbOutQue;
    if (wait.Held >= timeout) return plat::wait_for_multiple(waits, count, false, 0);
    const DWORD w = plat::wait_for_multiple(waits, count, false, kLook);
    if (w != WAIT_TIMEOUT) return w;
  }
}

// Collects one telegram byte by byte. A failed read adds nothing.
Read ReadTelegram(TDncPort& port, bool sending, std::string& telegram) {
  const int type = TypeOf(port);
  plat::Event done(true, false);
  port.ReadOverlapped.hEvent = &done;
  telegram.clear();
  Read result = Read::Telegram;
  TControlWait wait;
  for (;;) {
    unsigned char byte = 0;
    DWORD n = 0;
    BOOL ok = plat::read_comm(port.ComHandle, &byte, 1, &n, &port.ReadOverlapped);
    if (!ok && plat::last_comm_error() == ERROR_IO_PENDING) {
      plat::Event* cancel = port.Cancel();
      plat::Waitable* waits[] = {&done, &port.StopEvent, cancel};
      DWORD w = WaitForControl(port, waits, cancel ? 3 : 2, wait);
      if (w != WAIT_OBJECT_0) {
        plat::purge_comm(port.ComHandle, PURGE_RXABORT);
        plat::get_overlapped_result(port.ComHandle, &port.ReadOverlapped, &n, TRUE);
        if (w == WAIT_TIMEOUT && n == 1) {
          ok = TRUE;  // the byte came as the wait ended
        } else {
          result = w == WAIT_TIMEOUT ? Read::Silent : w == WAIT_OBJECT_0 + 1 ? Read::Stopped : Read::Cancelled;
          break;
        }
      } else {
        ok = plat::get_overlapped_result(port.ComHandle, &port.ReadOverlapped, &n, TRUE);
      }
    }
    if (!ok) {
      Log(port, sending ? "S-T3-1-Should not occour!" : "R-T3-1-Should not occour!");
      // A line that is gone gives no further byte: end rather than spin.
      const DWORD error = plat::last_comm_error();
      if (port.StopEvent.is_set()) {
        result = Read::Stopped;
        break;
      }
      if (LineGone(error)) {
        result = Read::LineFailed;
        break;
      }
      continue;
    }
    if (n == 0) continue;
    wait = TControlWait{};
    telegram.push_back(static_cast<char>(byte));
    DncTraceBuffer(telegram.c_str(), port.ComNumber());
    if (MazakTelegramComplete(type, sending, telegram)) break;
    if (telegram.size() > kMazakLongestTelegram) {
      result = Read::Garbage;
      break;
    }
  }
  port.ReadOverlapped.hEvent = nullptr;
  if (result == Read::Silent) Log(port, "T3-Control silent: exchange ended");
  if (result == Read::Garbage) Log(port, "T3-Telegram without an end: exchange ended");
  if (result == Read::LineFailed) Log(port, "T3-Line failed: exchange ended");
  return result;
}

void WriteBytes(TDncPort& port, const std::string& bytes, const char* sentLog, const char* failLog) {
  plat::Event done(true, false);
  port.WriteOverlapped.hEvent = &done;
  DWORD n = 0;
  BOOL ok = plat::write_comm(port.ComHandle, bytes.data(), static_cast<DWORD>(bytes.size()), &n,
                             &port.WriteOverlapped);
  if (!ok && plat::last_comm_error() == ERROR_IO_PENDING)
    ok = plat::get_overlapped_result(port.ComHandle, &port.WriteOverlapped, &n, TRUE);
  port.WriteOverlapped.hEvent = nullptr;
  Log(port, ok ? sentLog : failLog);
  if (ok) port.BytesSent += n;
}

void Answer(TDncPort& port, const TMazakStep& step, bool sending) {
  if (step.Answer.empty()) return;
  std::string bytes = step.Answer;
  if (step.Eot) bytes += kMazakEot;
  DncTraceBuffer(bytes.c_str(), port.ComNumber());
  WriteBytes(port, bytes, sending ? "S-T3-Answer sent" : "R-T3-Answer sent",
             sending ? "S-T3-3-Should not occour!" : "R-T3-4-Should not occour!");
}

// Appends a line to the tape image and writes it through at once, so the
// image on disk is complete at every answer. False when it was not written.
bool AppendLine(TDncPort& port, const std::string& line) {
  if (!port.TransferFile || !port.TransferFile->WriteOpen) return false;
  // Straight to the file, past the text buffer: the image must be whole
  // on disk at each answer, line ends included.
  const std::string bytes = line + "\r\n";
  return plat::write(port.TransferFile->Handle, bytes.data(), bytes.size()) == static_cast<int64_t>(bytes.size());
}

void CloseImage(TDncPort& port) {
  if (!port.TransferFile) return;
  port.TransferFile->Close();
  port.TransferFile.reset();
}

void ReleaseProgram(TDncPort& port, bool countSent) {
  if (!port.ProgramTable) return;
  if (countSent && port.ProgramRecord) port.ProgramTable->IncrementSent(port.ProgramRecord->NCID);
  port.ProgramTable.reset();
  port.ProgramRecord.reset();
  port.SendProgramId = 0;
  port.ProgramPath.reset();
}

// The next block to send: past an empty line and one tape mark; empty at
// the end of the image.
std::string NextBlock(TDncPort& port) {
  if (!port.TransferFile) return {};
  auto line = port.TransferFile->ReadLine(0);
  if (line && !*line.get()) line = port.TransferFile->ReadLine(0);
  if (line && std::string(line.get()).find("TAPEMARK") != std::string::npos) line = port.TransferFile->ReadLine(0);
  return line ? MazakLineBlock(line.get()) : std::string();
}

void SeekTapeMark(TDncPort& port, int number) {
  CloseImage(port);
  if (!port.ProgramPath) return;
  port.TransferFile = std::make_unique<TMyFile>(port.ProgramPath.get());
  if (!port.TransferFile->Open(1)) {
    port.TransferFile.reset();
    Log(port, "S-T3-Search : File open failed");
    return;
  }
  const std::string mark = "TAPEMARK-" + std::to_string(number);
  while (auto line = port.TransferFile->ReadLine(0))
    if (std::string(line.get()).find(mark) != std::string::npos) return;
}

}  // namespace

void MazakPollThread(void* arg) {
  auto& port = *static_cast<TDncPort*>(arg);
  const int type = TypeOf(port);
  if (!MazakActiveType(type)) return;
  port.Polling = 1;
  plat::set_comm_mask(port.ComHandle, EV_RING);
  if (type == kMazakM2 || type == kMazakTPlus || type == kMazakMPlus) ReleaseProgram(port, false);
  // Stale input goes; output already handed to the line stays: the answer
  // that closed the last exchange (the "p00" of the second rewind) may not
  // have left yet, and the control waits for it.
  plat::purge_comm(port.ComHandle, PURGE_RXCLEAR | PURGE_TXABORT | PURGE_RXABORT);
  plat::set_comm_mask(port.ComHandle, EV_RXCHAR);
  if (type == kMazakT32 || type == kMazakTPlus || type == kMazakMPlus) plat::sleep_ms(1000);
  plat::Event done(false, false);
  port.OpenSendRequestEvent();
  port.BytesSent = port.BytesReceived = port.BytesTotal = 0;
  SetDncEvent(kRefreshPanel);
  Log(port, "T3-Polling Started");
  port.WaitOverlapped.hEvent = &done;
  bool stopped = false;
  DWORD mask = 0, n = 0, errors = 0;
  plat::COMSTAT st;
  bool pending = false;
  for (;;) {
    plat::clear_comm_error(port.ComHandle, &errors, &st);
    if (st.cbInQue > 0 || plat::wait_comm_event(port.ComHandle, &mask, &port.WaitOverlapped)) break;
    const DWORD error = plat::last_comm_error();
    pending = error == ERROR_IO_PENDING;
    if (pending || !LineGone(error)) break;
    // A line that hung up brings no telegram: it is opened again before
    // polling goes on.
    if (!ReopenLine(port)) {
      stopped = true;
      break;
    }
  }
  if (pending) {
    plat::Waitable* waits[] = {&done, &port.StopEvent, port.SendRequest()};
    DWORD w = plat::wait_for_multiple(waits, 3, false, INFINITE);
    if (w != WAIT_OBJECT_0) {
      stopped = true;
      plat::set_comm_mask(port.ComHandle, EV_RXCHAR);  // ends the pending wait
      plat::get_overlapped_result(port.ComHandle, &port.WaitOverlapped, &n, TRUE);
      if (w == WAIT_OBJECT_0 + 1) {
        Log(port, "T3 : Closing Port-1");
        plat::close_comm(port.ComHandle);
        port.ComHandle = nullptr;
      }
    }
  }
  port.WaitOverlapped.hEvent = nullptr;
  port.CloseSendRequestEvent();
  port.StopPolling();
  if (!stopped) {
    SetDncPortStatus(port, 6);
    PostPortRequest(&port, kRequestReceive);
  }
  Log(port, "T3-Polling Stopped");
}

// A telegram the control sent during a reception: its block goes to the
// tape image; what the exchange answers comes back. A block that cannot be
// written ends the reception with the control told.
TMazakStep TakeTelegram(TDncPort& port, int type, TMazakExchange& exchange, const std::string& telegram) {
  Log(port, "R-T3-EOT Received");
  if (type == kMazakM2) plat::sleep_ms(50);
  const std::size_t bytes = telegram.size();
  const TMazakReceived got = MazakReceivedTelegram(telegram);
  const int code = got.Code;
  if (code > 0) DncTraceLog(MazakCommandName(code), port.ComNumber());
  const std::string& data = got.Data;
  TMazakStep step = exchange.Step(code, got.BlockOk);
  if (step.Failed) Log(port, "R-T3-Block check failed: reception ended");
  if (step.StoreBlock) {
    if (!AppendLine(port, MazakBlockLine(data))) {
      // The tape would be incomplete: the control is told and nothing is
      // filed.
      Log(port, "R-T3-Tape image not written: reception ended");
      TMazakCodes codes;
      MazakInitCodes(type, codes);
      step = TMazakStep{};
      step.Answer = codes.Error;
      step.Failed = step.End = true;
    } else if (!port.Requested()) {
      if (auto number = MazakHeaderNumber(type, data)) port.SetRequested(std::to_string(*number));
    }
    if (step.CountBytes) {
      port.BytesReceived += static_cast<uint32_t>(bytes);
      SetDncEvent(kRefreshPanel);
    }
  }
  if (step.MarkLine >= 0 && !AppendLine(port, MazakTapeMarkLine(step.MarkLine))) {
    Log(port, "R-T3-Tape image not written: reception ended");
    TMazakCodes codes;
    MazakInitCodes(type, codes);
    step.Answer = codes.Error;
    step.Failed = step.End = true;
  }
  return step;
}

void MazakReceiveThread(void* arg) {
  auto& port = *static_cast<TDncPort*>(arg);
  const int type = TypeOf(port);
  if (!MazakActiveType(type)) return;
  Log(port, "T3-Reading Started");
  plat::set_comm_mask(port.ComHandle, EV_RING);
  CloseImage(port);
  port.TransferFile = std::make_unique<TMyFile>(port.TransferPath.c_str());
  bool imageOk = port.TransferFile->Open(0) != 0;
  if (!imageOk) port.TransferFile.reset();
  port.OpenCancelEvent();
  port.BytesReceived = port.BytesTotal = port.BytesSent = 0;
  port.ReceptionTriggered = port.Codes(kPropStartTrigger).empty() ? 1 : 0;
  port.ReceptionEnded = port.LineEndSkip = port.ParityError = 0;
  port.TransferStart = plat::tick_count();
  TMazakExchange exchange(type, false);
  bool byRewind = false;
  // The control fell silent or the line failed with part of a tape taken:
  // what came is kept as a failed transfer.
  bool cutOff = false;
  std::string telegram;
  for (;;) {
    Log(port, "R-T3-Read Started");
    const Read read = ReadTelegram(port, false, telegram);
    if (read == Read::Garbage) {
      // The control waits for an answer: it is told the tape failed.
      Answer(port, exchange.Step(-1, false), false);
      break;
    }
    if (read != Read::Telegram) {
      cutOff = read == Read::Silent || read == Read::LineFailed;
      break;
    }
    TMazakStep step = TakeTelegram(port, type, exchange, telegram);
    if (step.PauseMs) plat::sleep_ms(step.PauseMs);
    Answer(port, step, false);
    if (step.End) {
      byRewind = !step.Failed;
      break;
    }
  }
  CloseImage(port);
  port.CloseCancelEvent();
  Log(port, "T3-Reading Stopped");
  if (cutOff && imageOk) port.StoreFailed();
  if (type == kMazakT2) {
    ReleaseProgram(port, false);
    PostPortRequest(&port, kRequestPoll);
  } else if (byRewind) {
    PostPortRequest(&port, kRequestParse);
  } else if (!port.StopEvent.is_set()) {
    PostPortRequest(&port, kRequestPoll);
  }
}

void MazakParseThread(void* arg) {
  auto& port = *static_cast<TDncPort*>(arg);
  const int type = TypeOf(port);
  if (!MazakActiveType(type) || type == kMazakT2) return;
  Log(port, "T3-Parsing Started");
  bool sendFollows = false;
  if (!port.Requested()) {
    port.StoreFailed();
  } else {
    const long reserved = port.Setting(kPropReservedNumber);
    if (reserved == 0 || std::to_string(reserved) != port.Requested()) {
      port.StoreReceived();
      if (type == kMazakMPlus) port.NameForReception = 0;
    } else {
      std::vector<std::string> lines;
      TMyFile image(port.TransferPath.c_str());
      if (image.Open(1))
        while (auto line = image.ReadLine(0)) lines.emplace_back(line.get());
      image.Close();
      auto name = MazakRequestName(type, lines);
      if (!name) {
        Log(port, "Request without a program name");
      } else {
        Log(port, "Requesting");
        Log(port, *name);
        port.SetRequested(*name);
        if (PrepareToSend(&port)) {
          sendFollows = true;
          port.AnswersRequest = 1;
          SetDncPortStatus(port, 11);
        } else if (port.LookupFailed) {
          KeepUnservedRequest(port);
        }
      }
    }
  }
  port.BytesSent = port.BytesReceived = port.BytesTotal = 0;
  if (!sendFollows) port.ClearRequest();
  SetDncEvent(kRefreshPanel);
  Log(port, "T3-Parsing Ended");
  PostPortRequest(&port, sendFollows ? kRequestSend : kRequestPoll);
}

// Answers the control's command of a send, with the next block of the
// tape when it asked for one; at the end of the tape the step ends.
void AnswerStep(TDncPort& port, int type, TMazakStep& step) {
  std::string block;
  if (step.SendBlock) {
    block = NextBlock(port);
    if (block.empty()) {
      // The end of the tape: the control reads a tape mark, and the
      // program has been sent whole.
      step.Answer = type == kMazakM2 ? "p02" : "p06";
      step.Eot = true;
      step.SendBlock = false;
      step.End = true;
    }
  }
  if (step.PauseMs) plat::sleep_ms(step.PauseMs);
  Answer(port, step, true);
  if (step.SendBlock) {
    DncTraceBuffer(block.c_str(), port.ComNumber());
    WriteBytes(port, block, "S-T3-2-Data Block sent", "S-T3-4-Should not occour!");
  }
}

// The program to send: locked in the database, or the file the port was
// given; its file opened as the tape image. False when it cannot be sent.
bool OpenProgramToSend(TDncPort& port) {
  if (!port.FileMode()) {
    Log(port, "T3-Send : Placing Lock");
    if (!port.CopyForSend(nullptr)) {
      Log(port, "T3-Send : Lock failed");
      return false;
    }
    Log(port, "T3-Send-Lock was placed");
  } else if (!port.ProgramPath) {
    return false;
  } else {
    port.SetFoundPath(port.ProgramPath.get());
  }
  CloseImage(port);
  port.TransferFile = std::make_unique<TMyFile>(port.ProgramPath.get());
  if (!port.TransferFile->Open(1)) {
    port.TransferFile.reset();
    Log(port, "T3-Send : File open failed");
    ReleaseProgram(port, false);
    return false;
  }
  {
    plat::File f = plat::create_file(port.ProgramPath.get(), plat::Access::read, plat::Share::read_write,
                                     plat::Disposition::open_existing);
    if (f.is_open()) {
      port.BytesTotal = static_cast<uint32_t>(plat::length(f));
      plat::close(f);
    }
  }
  return true;
}

void MazakSendThread(void* arg) {
  auto& port = *static_cast<TDncPort*>(arg);
  const int type = TypeOf(port);
  if (!MazakActiveType(type) || type == kMazakT2) return;
  Log(port, "T3-Sending Started");
  plat::set_comm_mask(port.ComHandle, EV_RING);
  const bool answers = std::exchange(port.AnswersRequest, 0) != 0;
  if (!OpenProgramToSend(port)) {
    if (answers) KeepUnservedRequest(port);
    PostPortRequest(&port, kRequestPoll);
    return;
  }
  port.OpenCancelEvent();
  TMazakExchange exchange(type, true);
  bool completed = false;
  std::string telegram, command;
  for (;;) {
    if (ReadTelegram(port, true, telegram) != Read::Telegram) break;
    MazakSplitCommand(telegram, command);
    const int code = MazakDecodeCommand(command);
    if (code > 0) DncTraceLog(MazakCommandName(code), port.ComNumber());
    TMazakStep step = exchange.Step(code);
    if (code == kMazakRewind && type == kMazakM2)
      DncTraceLog(("***** REWINDS = " + std::to_string(exchange.Rewinds()) + " *****").c_str(), port.ComNumber());
    if (step.Search >= 0) SeekTapeMark(port, step.Search);
    AnswerStep(port, type, step);
    if (step.End) {
      completed = true;
      if (type == kMazakM2) {
        plat::sleep_ms(100);
        WriteBytes(port, std::string("p\0", 2), "S-T3-Answer sent", "S-T3-3-Should not occour!");
      }
      break;
    }
  }
  plat::sleep_ms(2000);
  CloseImage(port);
  // Only a program the control took to its end counts as sent.
  ReleaseProgram(port, completed);
  port.CloseCancelEvent();
  Log(port, "T3-Sending Stopped");
  PostPortRequest(&port, kRequestPoll);
}
