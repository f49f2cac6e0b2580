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

void TDncPort::WriteReceived(const unsigned char* bytes, std::size_t count) {
  if (Protocol() == kProtoRaw) {
    if (count == 0) return;
    if (!TransferFile || !TransferFile->Handle.is_open()) {
      ReceiveFailed = 1;
      DncPortLog("No receive file: block lost", this);
      return;
    }
    WriteDirect(*this, reinterpret_cast<const char*>(bytes), count);
    return;
  }
  if (ReceptionEnded) return;
  if (!TransferFile || !TransferFile->Handle.is_open()) {
    if (count) {
      ReceiveFailed = 1;
      DncPortLog("No receive file: block lost", this);
    }
    return;
  }

  std::size_t start = 0;
  bool startsHere = false;
  const std::string& startTrigger = Codes(kPropStartTrigger);
  if (!startTrigger.empty() && !ReceptionTriggered) {
    const void* hit = std::memchr(bytes, static_cast<unsigned char>(startTrigger[0]), count);
    if (!hit) return;
    ReceptionTriggered = 1;
    startsHere = true;
    DncLog("Reception Trigged", ComNumber());
    start = static_cast<const unsigned char*>(hit) - bytes;
  }

  std::size_t end = count;
  const std::string& endTrigger = Codes(kPropEndTrigger);
  if (!endTrigger.empty()) {
    // Past the start trigger, and past the first byte of a reception
    // without one: the byte that opens a program may be the one that ends
    // it.
    const std::size_t from = startsHere ? start + 1 : BytesReceived == 0 ? 1 : start;
    const void* hit =
        from < count ? std::memchr(bytes + from, static_cast<unsigned char>(endTrigger[0]), count - from) : nullptr;
    if (hit) {
      EndTriggerSeen = 1;
      // The first block of a reception is never cut: it may start with the
      // same byte that ends the program.
      if (BytesReceived != 0) {
        end = static_cast<const unsigned char*>(hit) - bytes + 1;
        ReceptionEnded = 1;
        DncLog("End Of Reception Trigged", ComNumber());
      }
    }
  }

  const std::string& remove = Codes(kPropRemoveList);
  const std::string& lineEnd = Codes(kPropReceiveLineEnd);
  const uint32_t L = static_cast<uint32_t>(lineEnd.size());
  const long mode = Setting(kPropNulFilter);
  std::string kept;
  kept.reserve((end - start) * 2);
  for (std::size_t i = start; i < end; i++) {
    const unsigned char b = bytes[i];
    if (remove.find(static_cast<char>(b)) != std::string::npos) continue;
    if (L > 0) {
      if (LineEndSkip != 0) {
        if (++LineEndSkip >= L) LineEndSkip = 0;
        continue;
      }
      if (b == static_cast<unsigned char>(lineEnd[0])) {
        kept += "\r\n";
        if (++LineEndSkip >= L) LineEndSkip = 0;
        continue;
      }
    } else if (b == '\r' || b == '\n') {
      kept += static_cast<char>(b);
      continue;
    }
    if (PassesNulFilter(b, mode)) kept += static_cast<char>(b);
  }
  if (kept.empty()) return;
  DncPortLog(("Saving " + std::to_string(kept.size()) + " bytes").c_str(), this);
  if (mode == kKeepAll)
    for (char& c : kept)
      if (c == 0) c = static_cast<char>(TMyFile::kNulSubstitute);

  std::size_t from = 0;
  if (Setting(kPropNamingMode) == 3 && !Pending()) {
    std::size_t dollar = kept.find('$');
    std::size_t dot = dollar == std::string::npos ? std::string::npos : kept.find('.', dollar + 1);
    if (dot != std::string::npos) {
      SetPending(kept.substr(dollar + 1, dot - dollar - 1));
      std::size_t percent = kept.find('%', dot + 1);
      if (percent != std::string::npos) from = percent;
    }
  }
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
