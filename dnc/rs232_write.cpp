// Write threads of the standard RS-232 protocol: a program sent line by
// line between the port's start and end texts, under the machine's
// software or hardware flow control, with the operator's cancel, the
// break count and the XOFF limit; and the check of a received program's
// block numbers on type-9 ports.
//
// A send that does not reach its end (cancel, server stop, break count,
// XOFF limit, a write error) is logged as cancelled and does not count as
// a send of the program.
#include <cstring>
#include <memory>
#include <string>

#include "appcore/globals.h"
#include "dbmodel/job.h"
#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "dnc/rs232.h"
#include "dnc/server.h"
#include "dnc/storing.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace {

enum class End { Done, Cancelled, BreakCount, XoffLimit, WriteError };

constexpr std::size_t kBlockSize = 1000;

// The standard write, the one that omits listed lines, and the one that
// pauses on the lines holding the wait text (type 7).
enum class Kind { Standard, Omit, Wait };

void Log(TDncPort& port, const char* text) { DncPortLog(text, &port); }

void PurgeAll(TDncPort& port) {
  plat::purge_comm(port.ComHandle, PURGE_TXCLEAR | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_RXABORT);
}

bool Holds(const std::string& line, const std::string& text) {
  return !text.empty() && line.find(text) != std::string::npos;
}

class Sender {
 public:
  Sender(TDncPort& port, Kind kind) : port_(port), omit_(kind == Kind::Omit), wait_(kind == Kind::Wait) {
    flow_ = port.Setting(kPropFlow);
    // On a checking port these two hold the block numbering of the check.
    if (port.Protocol() != kProtoStandardCheck) {
      breakCount_ = port.Setting(kPropBreakCount);
      xoffLimit_ = kind == Kind::Standard ? port.Setting(kPropXoffLimit) : 0;
    }
    refreshEvery_ = omit_ ? 100 : wait_ ? 128 : 256;
    port.WriteOverlapped.hEvent = &writeEvent_;
  }
  ~Sender() { port_.WriteOverlapped.hEvent = nullptr; }

  // True when the operator cancelled or the server stops; the line is
  // then purged and released from XOFF.
  bool Cancelled(DWORD ms) {
    plat::Waitable* waits[2] = {&port_.StopEvent, port_.Cancel()};
    DWORD w = plat::wait_for_multiple(waits, port_.Cancel() ? 2 : 1, false, ms);
    if (w == WAIT_TIMEOUT) return false;
    PurgeAll(port_);
    port_.StopEvent.wait(500);
    plat::escape_comm_function(port_.ComHandle, SETXON);
    return true;
  }

  DWORD DrainMs(DWORD queued) const {
    const DWORD baud = port_.Dcb.BaudRate ? port_.Dcb.BaudRate : 9600;
    const DWORD ms = static_cast<DWORD>(queued * 10ull * 1000 / baud);
    return ms < 2 ? 2 : ms > 500 ? 500 : ms;
  }

  End FlowWait() {
    bool waited = false;
    long xoffWaits = 0;
    End result = End::Done;
    for (;;) {
      DWORD errors = 0, modem = 0;
      plat::COMSTAT st;
      plat::clear_comm_error(port_.ComHandle, &errors, &st);
      plat::get_comm_modem_status(port_.ComHandle, &modem);
      if (!wait_ && (flow_ == 2 || flow_ == 3) && !(modem & MS_CTS_ON)) {
        if (!waited) {
          SetDncPortStatus(port_, 36);
          waited = true;
          plat::sleep_ms(20);
        } else if (Cancelled(30)) {
          result = End::Cancelled;
          break;
        }
        continue;
      }
      if (breakCount_ > 0 && st.cbInQue > static_cast<DWORD>(breakCount_)) {
        Log(port_, "Incoming data > BreakCount");
        plat::purge_comm(port_.ComHandle, PURGE_TXABORT | PURGE_TXCLEAR);
        result = End::BreakCount;
        break;
      }
      if (st.fXoffHold) {
        if (!waited) {
          SetDncPortStatus(port_, 36);
          waited = true;
        }
        xoffWaits++;
        if (Cancelled(20)) {
          result = End::Cancelled;
          break;
        }
        if (!omit_) Log(port_, st.cbOutQue == 0 ? "XOFF : CS.cbOutQue = 0" : "XOFF : CS.cbOutQue <> 0");
        if (xoffLimit_ > 0 && xoffWaits / 3000 >= xoffLimit_) {
          Log(port_, "XOFF limit reached");
          PurgeAll(port_);
          port_.StopEvent.wait(500);
          plat::escape_comm_function(port_.ComHandle, SETXON);
          result = End::XoffLimit;
          break;
        }
        continue;
      }
      if (st.cbOutQue == 0) break;
      // Wait about as long as the queued bytes take on the line (at least
      // 2 ms); a cancel or stop ends the wait at once.
      if (Cancelled(wait_ ? 20 : DrainMs(st.cbOutQue))) {
        result = End::Cancelled;
        break;
      }
    }
    if (waited && result == End::Done) SetDncPortStatus(port_, 5);
    return result;
  }

  // Sends the block whole: what a write leaves is written again after
  // the next flow wait.
  End Send(const std::string& block) {
    std::size_t off = 0;
    while (off < block.size()) {
      End e = FlowWait();
      if (e != End::Done) return e;
      if (long delay = port_.Setting(kPropBlockDelay); delay > 0) plat::sleep_ms(static_cast<DWORD>(delay));
      DWORD n = 0;
      const DWORD size = static_cast<DWORD>(block.size() - off);
      if (!plat::write_comm(port_.ComHandle, block.data() + off, size, &n, &port_.WriteOverlapped)) {
        if (plat::last_comm_error() != ERROR_IO_PENDING) {
          Count(n);
          Log(port_, "Error in writting to port");
          return End::WriteError;
        }
        plat::Waitable* waits[3] = {&writeEvent_, &port_.StopEvent, port_.Cancel()};
        DWORD w = plat::wait_for_multiple(waits, port_.Cancel() ? 3 : 2, false, INFINITE);
        if (w != WAIT_OBJECT_0) {
          Log(port_, "Writting Cancelled");
          PurgeAll(port_);
          plat::get_overlapped_result(port_.ComHandle, &port_.WriteOverlapped, &n, TRUE);
          Count(n);
          return End::Cancelled;
        }
        if (!plat::get_overlapped_result(port_.ComHandle, &port_.WriteOverlapped, &n, TRUE)) {
          Count(n);
          Log(port_, "Write error detected");
          return End::WriteError;
        }
      }
      Count(n);
      off += n;
    }
    return End::Done;
  }

  void Count(DWORD n) {
    port_.BytesSent += n;
    sinceRefresh_ += n;
    if (sinceRefresh_ > refreshEvery_) {
      sinceRefresh_ = 0;
      SetDncEvent(kRefreshPanel);
    }
  }

 private:
  TDncPort& port_;
  bool omit_, wait_;
  long flow_ = 0, breakCount_ = 0, xoffLimit_ = 0;
  uint32_t sinceRefresh_ = 0, refreshEvery_ = 256;
  plat::Event writeEvent_{true, false};
};

// The lines of the program that go out, by the rules of the port.
class LineSource {
 public:
  LineSource(TDncPort& port, Kind kind) : port_(port), omit_(kind == Kind::Omit), plain_(kind == Kind::Wait) {
    if (kind == Kind::Standard) {
      skipText_ = port.Record->Short156;
      skipAt_ = port.Setting(kPropSkipOccurrence);
    } else {
      for (int i = 0; i < 10; i++) {
        const char* t = port.Text(kPropOmitText + i);
        omitText_[i] = t;
        firstSent_[i] = port.Record->Number[kPropOmitFirst + i] != 0;
      }
    }
  }

  // The next line to send (without its line end), false at the end.
  bool Next(TMyFile& file, std::string& line) {
    for (;;) {
      std::unique_ptr<char[]> raw = file.ReadLine(0);
      if (!raw) return false;
      line = raw.get();
      if (plain_) return true;
      if (stopped_) {
        if (line.find("[START]") != std::string::npos) stopped_ = false;
        continue;
      }
      if (!line.empty() && line[0] == '[' && line.find("[STOP]") != std::string::npos) {
        stopped_ = true;
        continue;
      }
      if (!omit_ && !skipText_.empty() && skipAt_ > 0 && Holds(line, skipText_) && ++skipCount_ == skipAt_) continue;
      if (omit_ && Omitted(line)) continue;
      if (!omit_ && PrefixOmitted(line)) continue;
      for (char& c : line)
        if (static_cast<unsigned char>(c) == TMyFile::kNulSubstitute) c = '\0';
      return true;
    }
  }

 private:
  bool Omitted(const std::string& line) {
    for (int i = 0; i < 10; i++) {
      if (!Holds(line, omitText_[i])) continue;
      if (!firstSent_[i] || seen_[i]) return true;
      seen_[i] = true;
    }
    return false;
  }
  bool PrefixOmitted(const std::string& line) const {
    const std::string& prefixes = port_.Codes(kPropOmitCodes);
    if (prefixes.empty()) return false;
    std::size_t i = line.find_first_not_of(" \t");
    return i != std::string::npos && prefixes.find(line[i]) != std::string::npos;
  }

  TDncPort& port_;
  bool omit_, plain_;
  bool stopped_ = false;
  std::string skipText_;
  long skipAt_ = 0, skipCount_ = 0;
  std::string omitText_[10];
  bool firstSent_[10] = {}, seen_[10] = {};
};

// Type 7: a line holding the wait text is held back, the machine gets the
// end text (or nothing) and a pause, then the line, after the start text
// when the row asks for it.
End Pause(TDncPort& port, Sender& sender, const std::string& block) {
  Log(port, "Waiting-1");
  Log(port, block.c_str());
  End end = End::Done;
  if (!port.EndTrigger.empty() && port.Setting(kPropEndBeforePause)) {
    Log(port, "Waiting-2");
    end = sender.Send(port.EndTrigger);
  } else {
    Log(port, port.EndTrigger.empty() ? "Waiting-4" : "Waiting-3");
  }
  if (end != End::Done) return end;
  Log(port, "Delaying...");
  if (sender.Cancelled(static_cast<DWORD>(port.Setting(kPropPauseSeconds) * 1000))) return End::Cancelled;
  if (port.Setting(kPropStartAfterPause)) {
    Log(port, "Restart-1");
    end = sender.Send(port.StartTrigger + block);
  } else {
    Log(port, "Restart-2");
    end = sender.Send(block);
  }
  return end;
}

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

void WriteThread(TDncPort& port, Kind kind) {
  const bool omit = kind == Kind::Omit, wait = kind == Kind::Wait;
  if (kind == Kind::Standard) plat::set_comm_mask(port.ComHandle, EV_RING);
  port.BytesSent = 0;
  Log(port, omit ? "Writting With Ommit Started" : wait ? "Writting (With wait) Started" : "Writting Started");
  if (!wait) PurgeAll(port);

  const bool database = !port.FileMode();
  // The sending port's own row says whether it sends over the link.
  const bool locked = database && !port.Setting(kPropUnixLink);
  // A program that cannot be sent is passed over: the rest of a job still
  // goes out, one program per turn of the poll thread.
  auto back = [&port] {
    port.ProgramTable.reset();
    port.ProgramRecord.reset();
    port.SendProgramId = 0;
    PostPortRequest(&port, kRequestPoll);
  };
  // Every write variant takes the job's next program: a job left in the
  // port would otherwise be offered again and again.
  if (database) TakeJobProgram(port);
  if (locked) {
    Log(port, "Placing Lock");
    if (!port.CopyForSend("KELVFILE.DBF")) {
      Log(port, "Program could not be locked");
      back();
      return;
    }
    Log(port, "Lock was placed");
  }
  std::unique_ptr<TMyFile> file;
  if (port.ProgramPath) {
    plat::File f = plat::create_file(port.ProgramPath.get(), plat::Access::read, plat::Share::read_write,
                                     plat::Disposition::open_existing);
    port.BytesTotal = f.is_open() ? static_cast<uint32_t>(plat::length(f)) : 0;
    file = std::make_unique<TMyFile>(port.ProgramPath.get());
    if (!file->Open(1)) file.reset();
  }
  if (!file) {
    Log(port, "Program file could not be opened");
    back();
    return;
  }

  port.OpenCancelEvent();
  const long flow = port.Setting(kPropFlow);
  if (port.Setting(kPropStartInXoff) && flow != 1 && flow != 3)
    Log(port, "Start in XOFF without software flow control: no XON can release the line");

  Sender sender(port, kind);
  LineSource source(port, kind);
  End end = End::Done;

  if (!wait && port.Setting(kPropWaitDc2)) {
    plat::Event readEvent(true, false);
    port.ReadOverlapped.hEvent = &readEvent;
    for (;;) {
      unsigned char c = 0;
      DWORD n = 0;
      readEvent.reset();
      if (!plat::read_comm(port.ComHandle, &c, 1, &n, &port.ReadOverlapped)) {
        if (plat::last_comm_error() != ERROR_IO_PENDING) {
          end = End::WriteError;
          break;
        }
        plat::Waitable* waits[3] = {&readEvent, &port.StopEvent, port.Cancel()};
        if (plat::wait_for_multiple(waits, 3, false, INFINITE) != WAIT_OBJECT_0) {
          plat::purge_comm(port.ComHandle, PURGE_RXABORT);
          plat::get_overlapped_result(port.ComHandle, &port.ReadOverlapped, &n, TRUE);
          end = End::Cancelled;
          break;
        }
        plat::get_overlapped_result(port.ComHandle, &port.ReadOverlapped, &n, TRUE);
      }
      if (n == 1 && c == 0x12) break;
    }
    port.ReadOverlapped.hEvent = nullptr;
    if (end == End::Done && port.Setting(kPropAnswerDc4)) {
      end = sender.Send(std::string(1, '\x14'));
      plat::sleep_ms(20);
    }
  }
  if (end == End::Done && !wait && port.Setting(kPropStartInXoff)) plat::escape_comm_function(port.ComHandle, SETXOFF);
  port.TransferStart = plat::tick_count();

  if (end == End::Done) {
    std::string header;
    if (kind != Kind::Standard) {
      header = port.StartTrigger;
    } else if (!port.StartTrigger.empty() || port.Setting(kPropNamingMode) == 3) {
      header = port.StartTrigger;
      if (port.Setting(kPropNamingMode) == 3) {
        header += "$";
        header += port.Pending() ? port.Pending() : "";
        header += ".MIN";
        header += '\0';
      }
    }
    if (!header.empty()) end = sender.Send(header);
  }
  std::string line;
  bool waitSeen = false;
  // Short lines go out together in blocks of up to the block size: one
  // write and one flow wait per block, not per line, keeps a server of
  // many ports off the processor. Pauses and block delays work on single
  // lines, as the row asks.
  const bool together = !wait && port.Setting(kPropBlockDelay) <= 0;
  std::string blocks;
  while (end == End::Done && source.Next(*file, line)) {
    std::string block = line + port.LineEnd;
    if (wait && Holds(block, port.Text(kPropWaitText)) && (port.Setting(kPropPauseFirst) || waitSeen)) {
      end = Pause(port, sender, block);
      continue;
    }
    if (wait && Holds(block, port.Text(kPropWaitText))) waitSeen = true;
    if (!together) {
      end = sender.Send(block);
      continue;
    }
    if (!blocks.empty() && blocks.size() + block.size() > kBlockSize) {
      end = sender.Send(blocks);
      blocks.clear();
    }
    blocks += block;
  }
  if (end == End::Done && !blocks.empty()) end = sender.Send(blocks);
  if (end == End::Done) {
    std::string trailer;
    if (omit && *port.Text(kPropOmitFeed)) trailer = std::string(port.Text(kPropOmitFeed)) + port.LineEnd;
    trailer += port.EndTrigger;
    if (!trailer.empty()) end = sender.Send(trailer);
  }

  plat::escape_comm_function(port.ComHandle, SETXON);
  if (end == End::Done) {
    Log(port, "Sleeping 1 Second");
    for (;;) {
      port.StopEvent.wait(1000);
      DWORD errors = 0;
      plat::COMSTAT st;
      plat::clear_comm_error(port.ComHandle, &errors, &st);
      if (st.cbOutQue == 0 || port.StopEvent.is_set()) break;
    }
  }
  if (database && Globals && !wait) {
    const char* desc = port.ProgramRecord ? port.ProgramRecord->DESC : (port.Pending() ? port.Pending() : "");
    const char* machine = port.ProgramRecord ? port.ProgramRecord->MACHINE : port.Text(kPropName);
    Globals->WriteLog(end == End::Done ? 1 : 2, desc, machine, port.Text(kPropDisplayName));
  }
  if (end != End::BreakCount) plat::purge_comm(port.ComHandle, PURGE_RXCLEAR);
  if (locked) {
    Log(port, "Removing Lock");
    if (end == End::Done && port.ProgramTable) port.ProgramTable->IncrementSent(port.SendProgramId);
    port.ProgramTable.reset();
    port.ProgramRecord.reset();
    port.SendProgramId = 0;
    port.ProgramPath.reset();
  }
  file.reset();
  port.CloseCancelEvent();
  if (omit) port.OmitLines = 0;
  if (end == End::Done) {
    if (kind != Kind::Omit) {
      Log(port, "Sleeping 10 seconds");
      port.StopEvent.wait(port.JobPrograms ? 1000 : 10000);
    }
  } else {
    port.FreeBufferList();
  }
  PostPortRequest(&port, kRequestPoll);
  Log(port, wait ? "Writting (With wait) Stopped" : "Writting Stopped");
}

}  // namespace

void Rs232WriteThread(void* arg) { WriteThread(*static_cast<TDncPort*>(arg), Kind::Standard); }
void Rs232WriteOmitThread(void* arg) { WriteThread(*static_cast<TDncPort*>(arg), Kind::Omit); }
void Rs232WriteWaitThread(void* arg) { WriteThread(*static_cast<TDncPort*>(arg), Kind::Wait); }
