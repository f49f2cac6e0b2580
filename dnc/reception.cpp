// The reception filter: which bytes of a block from the line belong to the
// program being received. It applies the start and end triggers, the
// removal list, the receive line-end conversion and the NUL filter, and in
// the Okuma naming mode takes the program name from the header. Bytes that
// cannot be written to the receive file mark the reception as failed and
// are logged; nothing is dropped without a trace.
#include <cstring>
#include <string>

#include "appcore/globals.h"
#include "dnc/dnclog.h"
#include "dnc/dncport.h"

namespace {

// NUL filter modes (property 34).
enum { kKeepAll = 1, kNoneBelowSpace = 2, kNoZeros = 3 };

bool PassesNulFilter(unsigned char b, long mode) {
  switch (mode) {
    case kKeepAll: return true;
    case kNoneBelowSpace: return static_cast<signed char>(b) > 31;
    case kNoZeros: return b != 0;
    default: return false;
  }
}

}  // namespace

namespace {

bool WriteDirect(TDncPort& port, const char* bytes, std::size_t n) {
  if (n == 0) return true;
  int64_t w = plat::write(port.TransferFile->Handle, bytes, n);
  port.TransferFile->BytesDone = w > 0 ? static_cast<uint32_t>(w) : 0;
  if (w == static_cast<int64_t>(n)) return true;
  port.ReceiveFailed = 1;
  DncPortLog(("Write error on " + port.TransferPath + ": " + plat::error_text(plat::last_error())).c_str(),
             &port);
  return false;
}

}  // namespace

namespace {

bool HasReceiveFile(TDncPort& port, std::size_t count) {
  if (port.TransferFile && port.TransferFile->Handle.is_open()) return true;
  if (count) {
    port.ReceiveFailed = 1;
    DncPortLog("No receive file: block lost", &port);
  }
  return false;
}

// The part of the block between the start and end triggers, as [start, end);
// false when the block comes before the start.
bool TriggeredPart(TDncPort& port, const unsigned char* bytes, std::size_t count, std::size_t& start,
                   std::size_t& end) {
  start = 0;
  bool startsHere = false;
  const std::string& startTrigger = port.Codes(kPropStartTrigger);
  if (!startTrigger.empty() && !port.ReceptionTriggered) {
    const void* hit = std::memchr(bytes, static_cast<unsigned char>(startTrigger[0]), count);
    if (!hit) return false;
    port.ReceptionTriggered = 1;
    startsHere = true;
    DncLog("Reception Trigged", port.ComNumber());
    start = static_cast<const unsigned char*>(hit) - bytes;
  }

  end = count;
  const std::string& endTrigger = port.Codes(kPropEndTrigger);
  if (endTrigger.empty()) return true;
  // Past the start trigger, and past the first byte of a reception without
  // one: the byte that opens a program may be the one that ends it.
  const std::size_t from = startsHere ? start + 1 : port.BytesReceived == 0 ? 1 : start;
  const void* hit =
      from < count ? std::memchr(bytes + from, static_cast<unsigned char>(endTrigger[0]), count - from) : nullptr;
  if (hit) {
    port.EndTriggerSeen = 1;
    // The first block of a reception is never cut: it may start with the
    // same byte that ends the program.
    if (port.BytesReceived != 0) {
      end = static_cast<const unsigned char*>(hit) - bytes + 1;
      port.ReceptionEnded = 1;
      DncLog("End Of Reception Trigged", port.ComNumber());
    }
  }
  return true;
}

// The removal list, the receive line ends and the NUL filter over the bytes.
std::string Filtered(TDncPort& port, const unsigned char* bytes, std::size_t start, std::size_t end) {
  const std::string& remove = port.Codes(kPropRemoveList);
  const std::string& lineEnd = port.Codes(kPropReceiveLineEnd);
  const uint32_t L = static_cast<uint32_t>(lineEnd.size());
  const long mode = port.Setting(kPropNulFilter);
  std::string kept;
  kept.reserve((end - start) * 2);
  for (std::size_t i = start; i < end; i++) {
    const unsigned char b = bytes[i];
    if (remove.find(static_cast<char>(b)) != std::string::npos) continue;
    if (L > 0) {
      if (port.LineEndSkip != 0) {
        if (++port.LineEndSkip >= L) port.LineEndSkip = 0;
        continue;
      }
      if (b == static_cast<unsigned char>(lineEnd[0])) {
        kept += "\r\n";
        if (++port.LineEndSkip >= L) port.LineEndSkip = 0;
        continue;
      }
    } else if (b == '\r' || b == '\n') {
      kept += static_cast<char>(b);
      continue;
    }
    if (PassesNulFilter(b, mode)) kept += static_cast<char>(b);
  }
  return kept;
}

// In the Okuma naming mode the header "$name." names the program; the
// program itself starts at the "%" after it.
std::size_t TakeOkumaName(TDncPort& port, const std::string& kept) {
  if (port.Setting(kPropNamingMode) != 3 || port.Requested()) return 0;
  std::size_t dollar = kept.find('$');
  std::size_t dot = dollar == std::string::npos ? std::string::npos : kept.find('.', dollar + 1);
  if (dot == std::string::npos) return 0;
  port.SetRequested(kept.substr(dollar + 1, dot - dollar - 1));
  std::size_t percent = kept.find('%', dot + 1);
  return percent != std::string::npos ? percent : 0;
}

}  // namespace

void TDncPort::WriteReceived(const unsigned char* bytes, std::size_t count) {
  if (Protocol() == kProtoRaw) {
    if (count == 0) return;
    if (!HasReceiveFile(*this, count)) return;
    WriteDirect(*this, reinterpret_cast<const char*>(bytes), count);
    return;
  }
  if (ReceptionEnded) return;
  if (!HasReceiveFile(*this, count)) return;
  std::size_t start = 0, end = count;
  if (!TriggeredPart(*this, bytes, count, start, end)) return;
  std::string kept = Filtered(*this, bytes, start, end);
  if (kept.empty()) return;
  DncPortLog(("Saving " + std::to_string(kept.size()) + " bytes").c_str(), this);
  if (Setting(kPropNulFilter) == kKeepAll)
    for (char& c : kept)
      if (c == 0) c = static_cast<char>(TMyFile::kNulSubstitute);
  const std::size_t from = TakeOkumaName(*this, kept);
  WriteDirect(*this, kept.data() + from, kept.size() - from);
}

int TDncPort::OpenTempFile(int readMode) {
  std::string path = (Globals ? Globals->TempDir : std::string()) + "PORT" + std::to_string(RowId()) + ".TMP";
  TempFile = std::make_unique<TMyFile>(path.c_str());
  if (TempFile->Open(readMode)) return 1;
  TempFile->FlushBuffer();
  TempFile->Close();
  TempFile.reset();
  return 0;
}

int TDncPort::CommitTempFile() {
  std::string path = (Globals ? Globals->TempDir : std::string()) + "PORT" + std::to_string(RowId()) + ".TMP";
  if (plat::copy_file(path, TransferPath, false)) return 1;
  DncPortLog(("Copy of " + path + " failed: " + plat::error_text(plat::last_error())).c_str(), this);
  return 0;
}
