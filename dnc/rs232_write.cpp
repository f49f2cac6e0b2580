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
#include "dnc/block_sender.h"
#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "dnc/rs232.h"
#include "dnc/server.h"
#include "dnc/storing.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace {

using End = SendEnd;

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

TSendRules RulesOf(const TDncPort& port, Kind kind) {
  TSendRules rules;
  // On a checking port these two hold the block numbering of the check.
  if (port.Protocol() != kProtoStandardCheck) {
    rules.breakCount = port.Setting(kPropBreakCount);
    rules.xoffLimit = kind == Kind::Standard ? port.Setting(kPropXoffLimit) : 0;
  }
  rules.blockDelayMs = port.Setting(kPropBlockDelay);
  rules.heedsCts = kind != Kind::Wait;
  rules.drainsByTicks = kind == Kind::Wait;
  rules.logsXoffWaits = kind != Kind::Omit;
  rules.refreshEvery = kind == Kind::Omit ? 100 : kind == Kind::Wait ? 128 : 256;
  return rules;
}

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
End Pause(TDncPort& port, TBlockSender& sender, const std::string& block) {
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

  TBlockSender sender(port, RulesOf(port, kind));
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
  const std::size_t blockSize = DncSendBlock(port);
  std::string blocks;
  while (end == End::Done && source.Next(*file, line)) {
    if (together) {
      if (!blocks.empty() && blocks.size() + line.size() + port.LineEnd.size() > blockSize) {
        end = sender.Send(blocks);
        blocks.clear();
      }
      blocks += line;
      blocks += port.LineEnd;
      continue;
    }
    std::string block = line + port.LineEnd;
    if (wait && Holds(block, port.Text(kPropWaitText)) && (port.Setting(kPropPauseFirst) || waitSeen)) {
      end = Pause(port, sender, block);
      continue;
    }
    if (wait && Holds(block, port.Text(kPropWaitText))) waitSeen = true;
    end = sender.Send(block);
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
    AwaitDrained(port);
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
