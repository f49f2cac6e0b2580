#include "dnc/link_transfer.h"

#include <cstdio>
#include <vector>

#include "appcore/globals.h"
#include "appcore/myfile.h"
#include "dnc/dncport.h"
#include "dnc/setup_fields.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace {

constexpr DWORD kPurgeAll = PURGE_TXCLEAR | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_RXABORT;

std::string Codes(const TMultiDncRecord& row, int n, bool repeats = false) {
  return DncCodeBytes(row.GetValue(n), repeats);
}

std::string Text(const TMultiDncRecord& row, int n) {
  const char* t = row.GetValue(n);
  return t ? t : "";
}

bool Holds(const std::string& line, const std::string& text) {
  return !text.empty() && line.find(text) != std::string::npos;
}

// The lines of the send file that go out: "[STOP]" ... "[START]" stretches
// left out, the stop pattern, and (extended) the omit lists, whose lines
// count as sent.
class SendLines {
 public:
  SendLines(const TMultiDncRecord& row, bool extended, std::size_t lineEndSize)
      : extended_(extended), lineEndSize_(lineEndSize) {
    stopText_ = row.Short156;
    stopCount_ = row.Number[kLinkStopCount];
    for (int i = 0; i < 10; i++) {
      omitText_[i] = Text(row, kLinkOmitText + i);
      repeat_[i] = row.Number[kLinkOmitRepeat + i] != 0;
    }
  }

  // The next line without its line end; false at the end of the program.
  bool Next(TMyFile& file, std::string& line, std::atomic<uint32_t>& sent) {
    if (ended_) return false;
    for (;;) {
      std::unique_ptr<char[]> raw = file.ReadLine(0);
      if (!raw) return false;
      line = raw.get();
      if (skipping_) {
        if (line.find("[START]") != std::string::npos) skipping_ = false;
        continue;
      }
      if (!line.empty() && line[0] == '[' && line.find("[STOP]") != std::string::npos) {
        skipping_ = true;
        continue;
      }
      if (!stopText_.empty() && stopCount_ > 0 && Holds(line, stopText_) && ++stopSeen_ >= stopCount_) {
        ended_ = true;
        return false;
      }
      if (extended_ && Omitted(line)) {
        sent += static_cast<uint32_t>(line.size() + lineEndSize_);
        continue;
      }
      return true;
    }
  }

 private:
  bool Omitted(const std::string& line) {
    for (int i = 0; i < 10; i++) {
      if (!Holds(line, omitText_[i])) continue;
      if (!repeat_[i] || matched_[i]) return true;
      matched_[i] = true;
    }
    return false;
  }

  bool extended_;
  std::size_t lineEndSize_;
  std::string stopText_;
  long stopCount_ = 0, stopSeen_ = 0;
  std::string omitText_[10];
  bool repeat_[10] = {}, matched_[10] = {};
  bool skipping_ = false, ended_ = false;
};

}  // namespace

// ---- reception filter ---------------------------------------------------------

TLinkReceiveFilter::TLinkReceiveFilter(const TMultiDncRecord& row)
    : start_(Codes(row, kLinkStartTrigger)),
      end_(Codes(row, kLinkEndTrigger)),
      remove_(Codes(row, kLinkRemoveList)),
      lineEnd_(Codes(row, kLinkReceiveLineEnd)),
      filter_(row.Number[kLinkFilter]) {}

void TLinkReceiveFilter::Reset() {
  startSeen_ = endSeen_ = blockSeen_ = false;
  skip_ = 0;
}

std::string TLinkReceiveFilter::Filter(const unsigned char* bytes, std::size_t count) {
  std::string out;
  if (endSeen_ || count == 0) return out;
  std::size_t from = 0, to = count;
  bool startHere = false;
  if (!start_.empty() && !startSeen_) {
    while (from < count && bytes[from] != static_cast<unsigned char>(start_[0])) from++;
    if (from == count) {
      blockSeen_ = true;
      return out;
    }
    startSeen_ = startHere = true;
  }
  // The first block is not searched for the end, and a later one only
  // after its start byte: a program framed by the same character
  // ('%' ... '%') would end at its own start.
  if (!end_.empty() && blockSeen_) {
    for (std::size_t i = startHere ? from + 1 : from; i < count; i++) {
      if (bytes[i] == static_cast<unsigned char>(end_[0])) {
        to = i + 1;
        endSeen_ = true;
        break;
      }
    }
  }
  blockSeen_ = true;
  for (std::size_t i = from; i < to; i++) {
    const unsigned char c = bytes[i];
    if (skip_ > 0) {
      skip_--;
      continue;
    }
    if (remove_.find(static_cast<char>(c)) != std::string::npos) continue;
    if (!lineEnd_.empty()) {
      if (c == static_cast<unsigned char>(lineEnd_[0])) {
        out += "\r\n";
        skip_ = lineEnd_.size() - 1;
        continue;
      }
    } else if (c == '\r' || c == '\n') {
      out += static_cast<char>(c);
      continue;
    }
    bool keep = false;
    switch (filter_) {
      case 1: keep = true; break;
      case 2: keep = c >= 32 && c <= 127; break;
      case 3: keep = c != 0; break;
      default: break;
    }
    if (keep) out += static_cast<char>(c == 0 ? TMyFile::kNulSubstitute : c);
  }
  return out;
}

// ---- the port -------------------------------------------------------------------

TLinkTransfer::TLinkTransfer(const TMultiDncRecord& row) {
  CopyPortRecord(row, row_);
  readOv_.hEvent = &readEvent_;
  writeOv_.hEvent = &writeEvent_;
}

TLinkTransfer::~TLinkTransfer() { Close(); }

void TLinkTransfer::Close() {
  if (com_) plat::close_comm(com_);
  com_ = nullptr;
}

bool TLinkTransfer::Open(std::string* text, std::string* caption) {
  Close();
  auto fail = [&](const std::string& t, const std::string& c) {
    if (text) *text = t;
    if (caption) *caption = c;
    Close();
    return false;
  };
  char name[40];
  std::snprintf(name, sizeof name, "\\\\.\\COM%ld", row_.GetListA(kPropComNumber));
  com_ = plat::open_comm(name);
  if (!com_) return fail("Opening of port failed\r\n\r\n" + plat::last_comm_open_error(), "Fatal Error");

  plat::DCB dcb;
  plat::get_comm_state(com_, &dcb);
  // The rates below 300 are not driven: the port keeps the rate it has.
  if (const long baud = DncBaudRate(row_.Number[kPropBaud]); baud > 0) dcb.BaudRate = static_cast<DWORD>(baud);
  dcb.fBinary = 1;
  dcb.fParity = 1;
  const auto software = [&dcb] {
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    dcb.fTXContinueOnXoff = 0;
  };
  dcb.fOutxDsrFlow = 0;
  switch (row_.Number[kPropFlow]) {
    case 1:
      dcb.fOutxCtsFlow = 0;
      software();
      dcb.fRtsControl = RTS_CONTROL_ENABLE;
      dcb.fDtrControl = DTR_CONTROL_ENABLE;
      break;
    case 2:
      dcb.fOutxCtsFlow = 1;
      dcb.fOutX = 0;
      dcb.fInX = 0;
      dcb.XonChar = 17;
      dcb.XoffChar = 19;
      dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
      dcb.fDtrControl = DTR_CONTROL_ENABLE;
      break;
    case 3:
      dcb.fOutxCtsFlow = 1;
      software();
      dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
      dcb.fDtrControl = DTR_CONTROL_ENABLE;
      break;
    default:
      dcb.fOutxCtsFlow = 0;
      dcb.fOutX = 0;
      dcb.fInX = 0;
      dcb.fRtsControl = RTS_CONTROL_DISABLE;
      dcb.fDtrControl = DTR_CONTROL_DISABLE;
      break;
  }
  dcb.Parity = static_cast<BYTE>(row_.Number[kPropParity]);
  dcb.ErrorChar = '#';
  dcb.fErrorChar = 1;
  dcb.fAbortOnError = 0;
  dcb.StopBits = row_.Number[kPropStopBits] == 0 ? ONESTOPBIT : TWOSTOPBITS;
  dcb.ByteSize = static_cast<BYTE>(row_.Number[kPropDataBits] + 5);

  if (!plat::setup_comm(com_, 2048, 2048)) return fail("SetupComm failed", "Fatal Error");
  DWORD errors = 0;
  plat::clear_comm_error(com_, &errors, nullptr);
  plat::COMMTIMEOUTS t;
  t.ReadIntervalTimeout = 4000;
  t.ReadTotalTimeoutMultiplier = 100;
  t.ReadTotalTimeoutConstant = static_cast<DWORD>(row_.Number[kPropReadTimeout]) * 1000;
  t.WriteTotalTimeoutMultiplier = 100;
  t.WriteTotalTimeoutConstant = 10000;
  if (!plat::set_comm_timeouts(com_, &t)) return fail("SetupCommTimeOuts failed", "Fatal Error");
  if (!plat::set_comm_state(com_, &dcb))
    return fail("SetCommState failed", "Error = " + std::to_string(plat::last_comm_error()));
  plat::purge_comm(com_, kPurgeAll);
  plat::escape_comm_function(com_, SETDTR);
  return true;
}

void TLinkTransfer::Progress() {
  if (OnProgress) OnProgress();
}

// ---- receiving ------------------------------------------------------------------

TLinkTransfer::End TLinkTransfer::Receive(const std::string& path) {
  BytesReceived = 0;
  BytesStored = 0;
  BytesSent = 0;
  LineErrors = false;
  plat::File out = plat::create_file(path, plat::Access::write, plat::Share::read, plat::Disposition::create_always);
  if (!out.is_open()) return End::NoFile;
  TLinkReceiveFilter filter(row_);
  const std::size_t block = Globals && Globals->ReadBlockSize > 0 ? static_cast<std::size_t>(Globals->ReadBlockSize) : 1024;
  std::vector<unsigned char> buffer(block + 200);
  StartTick = plat::tick_count();
  Progress();
  End end = End::Completed;
  for (;;) {
    DWORD n = 0;
    if (!plat::read_comm(com_, buffer.data(), static_cast<DWORD>(block), &n, &readOv_)) {
      if (plat::last_comm_error() != ERROR_IO_PENDING) {
        end = End::LineError;
        break;
      }
      plat::Waitable* waits[2] = {&readEvent_, &Stop};
      if (plat::wait_for_multiple(waits, 2, false, INFINITE) != WAIT_OBJECT_0) {
        plat::purge_comm(com_, kPurgeAll);
        plat::get_overlapped_result(com_, &readOv_, &n, TRUE);
        end = End::Stopped;
        break;
      }
      if (!plat::get_overlapped_result(com_, &readOv_, &n, TRUE)) {
        end = End::LineError;
        break;
      }
    }
    // Nothing yet: the machine has not started. Nothing after bytes came:
    // the line fell silent (a program of whole blocks would else wait for
    // ever).
    if (n == 0 && BytesReceived == 0) {
      if (!Stop.is_set()) continue;
      end = End::Stopped;
      break;
    }
    DWORD errors = 0;
    plat::clear_comm_error(com_, &errors, nullptr);
    if (errors) LineErrors = true;
    const std::string kept = filter.Filter(buffer.data(), n);
    if (!kept.empty()) {
      if (plat::write(out, kept.data(), kept.size()) != static_cast<int64_t>(kept.size())) {
        plat::purge_comm(com_, kPurgeAll);
        end = End::FileError;
        break;
      }
      BytesStored += static_cast<uint32_t>(kept.size());
    }
    BytesReceived += n;
    Progress();
    if (n < block) break;  // the line fell silent
  }
  if (!plat::close(out) && end == End::Completed) end = End::FileError;
  return end;
}

// ---- sending --------------------------------------------------------------------

TLinkTransfer::End TLinkTransfer::Cancel() {
  plat::purge_comm(com_, kPurgeAll);
  plat::sleep_ms(500);
  plat::escape_comm_function(com_, SETXON);
  return End::Stopped;
}

TLinkTransfer::End TLinkTransfer::FlowWait() {
  const long flow = row_.Number[kPropFlow];
  const long limit = row_.Number[kLinkInputLimit];
  const long xoffMinutes = row_.Number[kLinkXoffMinutes];
  bool ctsWaited = false;
  long xoffSteps = 0;
  for (;;) {
    if (Stop.is_set()) return Cancel();
    DWORD errors = 0, modem = 0;
    plat::COMSTAT st;
    plat::clear_comm_error(com_, &errors, &st);
    plat::get_comm_modem_status(com_, &modem);
    if ((flow == 2 || flow == 3) && !(modem & MS_CTS_ON)) {
      if (!ctsWaited) {
        ctsWaited = true;
        plat::sleep_ms(20);
      } else if (StopIn(30)) {
        return Cancel();
      }
      continue;
    }
    if (limit > 0 && st.cbInQue > static_cast<DWORD>(limit)) {
      plat::purge_comm(com_, PURGE_TXABORT | PURGE_TXCLEAR);
      return End::InputLimit;
    }
    if (st.fXoffHold) {
      if (StopIn(20)) return Cancel();
      if (xoffMinutes > 0 && ++xoffSteps >= xoffMinutes * 3000) {
        plat::purge_comm(com_, PURGE_TXABORT | PURGE_TXCLEAR);
        return End::XoffTimeout;
      }
      continue;
    }
    if (st.cbOutQue == 0) return End::Completed;
    if (StopIn(2)) return Cancel();
  }
}

TLinkTransfer::End TLinkTransfer::Write(const std::string& block) {
  std::size_t off = 0;
  while (off < block.size()) {
    if (End e = FlowWait(); e != End::Completed) return e;
    if (const long delay = row_.Number[kLinkSendDelay]; delay > 0 && StopIn(static_cast<DWORD>(delay))) return Cancel();
    DWORD n = 0;
    const DWORD size = static_cast<DWORD>(block.size() - off);
    if (!plat::write_comm(com_, block.data() + off, size, &n, &writeOv_)) {
      if (plat::last_comm_error() != ERROR_IO_PENDING) return End::LineError;
      plat::Waitable* waits[2] = {&writeEvent_, &Stop};
      if (plat::wait_for_multiple(waits, 2, false, INFINITE) != WAIT_OBJECT_0) {
        plat::purge_comm(com_, kPurgeAll);
        plat::get_overlapped_result(com_, &writeOv_, &n, TRUE);
        BytesSent += n;
        return Cancel();
      }
      if (!plat::get_overlapped_result(com_, &writeOv_, &n, TRUE)) {
        BytesSent += n;
        return End::LineError;
      }
    }
    BytesSent += n;
    off += n;
    if (BytesSent - lastShown_ >= 128) {
      lastShown_ = BytesSent;
      Progress();
    }
  }
  return End::Completed;
}

TLinkTransfer::End TLinkTransfer::WaitDc2() {
  for (;;) {
    unsigned char c = 0;
    DWORD n = 0;
    if (!plat::read_comm(com_, &c, 1, &n, &readOv_)) {
      if (plat::last_comm_error() != ERROR_IO_PENDING) return End::LineError;
      plat::Waitable* waits[2] = {&readEvent_, &Stop};
      if (plat::wait_for_multiple(waits, 2, false, INFINITE) != WAIT_OBJECT_0) {
        plat::purge_comm(com_, PURGE_RXABORT);
        plat::get_overlapped_result(com_, &readOv_, &n, TRUE);
        return Cancel();
      }
      if (!plat::get_overlapped_result(com_, &readOv_, &n, TRUE)) return End::LineError;
    }
    if (n == 1 && c == 0x12) return End::Completed;
  }
}

TLinkTransfer::End TLinkTransfer::Send(const std::string& path, bool delay, bool extended) {
  BytesSent = 0;
  BytesReceived = 0;
  lastShown_ = 0;
  plat::purge_comm(com_, kPurgeAll);
  TMyFile file(path.c_str());
  if (path.empty() || !file.Open(1)) return End::NoFile;
  {
    plat::File f = plat::create_file(path, plat::Access::read, plat::Share::read_write, plat::Disposition::open_existing);
    FileSize = f.is_open() ? static_cast<uint32_t>(plat::length(f)) : 0;
  }

  std::string lineEnd = Codes(row_, kLinkSendLineEnd);
  if (lineEnd.empty()) lineEnd = "\r\n";
  const std::string startText = Codes(row_, kLinkStartCodes) + Codes(row_, kLinkStartRepeats, true);
  const std::string endText = Codes(row_, kLinkEndRepeats, true) + Codes(row_, kLinkEndCodes);
  const std::string endLine = extended ? Text(row_, kLinkEndLine) : std::string();
  const std::string comments = Codes(row_, kLinkCommentChars);
  const std::string pauseText = delay ? Text(row_, kLinkPauseText) : std::string();

  SendLines lines(row_, extended, lineEnd.size());
  std::string line;
  bool have = lines.Next(file, line, BytesSent);
  End end = End::Completed;
  if (!have && extended) {
    // Every line was left out: nothing goes to the machine.
    end = End::Completed;
  } else {
    bool startDue = !startText.empty();
    const bool endDue = !endText.empty() || !endLine.empty();
    if (row_.Number[kLinkWaitDc2]) {
      end = WaitDc2();
      if (end == End::Completed && row_.Number[kLinkAnswerDc4]) {
        end = Write(std::string(1, '\x14'));
        plat::sleep_ms(20);
      }
    }
    if (end == End::Completed && row_.Number[kLinkStartInXoff]) plat::escape_comm_function(com_, SETXOFF);
    StartTick = plat::tick_count();
    bool pauseSeen = false;
    while (end == End::Completed) {
      std::string block;
      bool isLine = false, last = false;
      if (startDue) {
        block = startText;
        startDue = false;
      } else if (have) {
        const std::size_t first = line.find_first_not_of(" \t");
        if (!comments.empty() && first != std::string::npos && comments.find(line[first]) != std::string::npos) {
          have = lines.Next(file, line, BytesSent);
          continue;
        }
        block = line + lineEnd;
        for (char& c : block)
          if (static_cast<unsigned char>(c) == TMyFile::kNulSubstitute) c = '\0';
        isLine = true;
      } else {
        if (!endDue) break;
        if (!endLine.empty()) block = endLine + lineEnd;
        block += endText;
        last = true;
      }
      if (Holds(block, pauseText)) {
        if (!row_.Number[kLinkPauseFirst] && !pauseSeen) {
          pauseSeen = true;
        } else {
          if (row_.Number[kLinkEndBeforePause] && !endText.empty()) end = Write(endText);
          for (long s = 0; end == End::Completed && s < row_.Number[kLinkPauseSeconds]; s++) {
            if (StopIn(1000)) end = Cancel();
            Progress();
          }
          if (end != End::Completed) break;
          if (row_.Number[kLinkStartAfterPause]) block = startText + block;
        }
      }
      end = Write(block);
      if (last) break;
      if (isLine) have = lines.Next(file, line, BytesSent);
    }
  }

  Progress();
  plat::sleep_ms(5000);
  plat::escape_comm_function(com_, SETXON);
  if (end != End::Stopped) {
    for (;;) {
      DWORD errors = 0;
      plat::COMSTAT st;
      plat::clear_comm_error(com_, &errors, &st);
      if (st.cbOutQue == 0 || StopIn(1000)) break;
    }
  }
  if (end != End::InputLimit) plat::purge_comm(com_, PURGE_RXCLEAR);
  return end;
}

// ---- the port line --------------------------------------------------------------

std::string LinkPortLine(const TMultiDncRecord& row) {
  static const char* const kParity[] = {"NONE", "ODD", "EVEN", "MARK", "SPACE"};
  static const char* const kFlow[] = {"NONE", "SOFTWARE", "HARDWARE", "BOTH"};
  const long baudIndex = row.Number[kPropBaud];
  const long rate = DncBaudRate(baudIndex);
  std::string baud = rate > 0 ? std::to_string(rate) : baudIndex >= 0 && baudIndex <= 4 ? kBaudTexts[baudIndex] : "?";
  const long parity = row.Number[kPropParity], flow = row.Number[kPropFlow];
  char text[200];
  std::snprintf(text, sizeof text, "COMM-%ld: %s baud, %ld-%s-%d , Flow : %s", row.GetListA(kPropComNumber),
                baud.c_str(), row.Number[kPropDataBits] + 5, parity >= 0 && parity <= 4 ? kParity[parity] : "?",
                row.Number[kPropStopBits] == 0 ? 1 : 2, flow >= 0 && flow <= 3 ? kFlow[flow] : "?");
  return text;
}
