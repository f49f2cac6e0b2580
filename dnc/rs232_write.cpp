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

// The standard write and its two variants as hooks of the send loop.
class TRs232Send : public TSendHooks {
 public:
  explicit TRs232Send(Kind kind) : kind_(kind), omit_(kind == Kind::Omit), wait_(kind == Kind::Wait) {
    StartLog = omit_ ? "Writting With Ommit Started" : wait_ ? "Writting (With wait) Started" : "Writting Started";
    StopLog = wait_ ? "Writting (With wait) Stopped" : "Writting Stopped";
    SetsRingMask = kind == Kind::Standard;
    PurgesFirst = !wait_;
    TakesJobProgram = true;
    LinkSendsUnlocked = true;
    LogsSend = !wait_;
    NamesPending = true;
    LogsWaits = true;
    RestsAfterSend = !omit_;
    ClearsOmitLines = omit_;
  }

  bool OpenProgram(TDncPort& port) override {
    if (!port.ProgramPath) return false;
    plat::File f = plat::create_file(port.ProgramPath.get(), plat::Access::read, plat::Share::read_write,
                                     plat::Disposition::open_existing);
    port.BytesTotal = f.is_open() ? static_cast<uint32_t>(plat::length(f)) : 0;
    file_ = std::make_unique<TMyFile>(port.ProgramPath.get());
    if (file_->Open(1)) return true;
    file_.reset();
    return false;
  }

  void CloseProgram() override { file_.reset(); }

  TSendRules Rules(const TDncPort& port) const override { return RulesOf(port, kind_); }

  SendEnd Send(TDncPort& port, TBlockSender& sender) override {
    const long flow = port.Setting(kPropFlow);
    if (port.Setting(kPropStartInXoff) && flow != 1 && flow != 3)
      Log(port, "Start in XOFF without software flow control: no XON can release the line");
    End end = End::Done;
    if (!wait_ && port.Setting(kPropWaitDc2)) end = AwaitDc2(port, sender);
    if (end == End::Done && !wait_ && port.Setting(kPropStartInXoff))
      plat::escape_comm_function(port.ComHandle, SETXOFF);
    port.TransferStart = plat::tick_count();
    if (end == End::Done) end = SendHeader(port, sender);
    if (end == End::Done) end = SendLines(port, sender);
    if (end == End::Done) end = SendTrailer(port, sender);
    return end;
  }

 private:
  // The machine asks for the program with DC2 and may want DC4 back.
  static End AwaitDc2(TDncPort& port, TBlockSender& sender) {
    End end = End::Done;
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
    return end;
  }

  End SendHeader(TDncPort& port, TBlockSender& sender) const {
    std::string header;
    if (kind_ != Kind::Standard) {
      header = port.StartTrigger;
    } else if (!port.StartTrigger.empty() || port.Setting(kPropNamingMode) == 3) {
      header = port.StartTrigger;
      if (port.Setting(kPropNamingMode) == 3) {
        header += "$";
        header += port.ShownProgram();
        header += ".MIN";
        header += '\0';
      }
    }
    return header.empty() ? End::Done : sender.Send(header);
  }

  End SendLines(TDncPort& port, TBlockSender& sender) {
    LineSource source(port, kind_);
    std::string line;
    bool waitSeen = false;
    // Short lines go out together in blocks of up to the block size: one
    // write and one flow wait per block, not per line, keeps a server of
    // many ports off the processor. Pauses and block delays work on single
    // lines, as the row asks.
    const bool together = !wait_ && port.Setting(kPropBlockDelay) <= 0;
    const std::size_t blockSize = DncSendBlock(port);
    std::string blocks;
    End end = End::Done;
    while (end == End::Done && source.Next(*file_, line)) {
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
      const bool holdsWait = wait_ && Holds(block, port.Text(kPropWaitText));
      if (holdsWait && (port.Setting(kPropPauseFirst) || waitSeen)) {
        end = Pause(port, sender, block);
        continue;
      }
      if (holdsWait) waitSeen = true;
      end = sender.Send(block);
    }
    if (end == End::Done && !blocks.empty()) end = sender.Send(blocks);
    return end;
  }

  End SendTrailer(TDncPort& port, TBlockSender& sender) const {
    std::string trailer;
    if (omit_ && *port.Text(kPropOmitFeed)) trailer = std::string(port.Text(kPropOmitFeed)) + port.LineEnd;
    trailer += port.EndTrigger;
    return trailer.empty() ? End::Done : sender.Send(trailer);
  }

  Kind kind_;
  bool omit_, wait_;
  std::unique_ptr<TMyFile> file_;
};

void WriteThread(TDncPort& port, Kind kind) {
  TRs232Send hooks(kind);
  RunSend(port, hooks);
}

}  // namespace

void Rs232WriteThread(void* arg) { WriteThread(*static_cast<TDncPort*>(arg), Kind::Standard); }
void Rs232WriteOmitThread(void* arg) { WriteThread(*static_cast<TDncPort*>(arg), Kind::Omit); }
void Rs232WriteWaitThread(void* arg) { WriteThread(*static_cast<TDncPort*>(arg), Kind::Wait); }
