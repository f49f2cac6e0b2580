// Fuzz target: what a machine sends to a standard RS-232 or raw port,
// block by block through the reception filter, as the read thread passes
// it: start and end triggers, removal list, receive line end, NUL filter
// and the Okuma program header. The receive file must hold exactly what
// the filter's rules keep of the same blocks, worked out here apart.
//
// Input: seven bytes of port settings, then the bytes of the line.
//   0: bit 0 raw port; bits 1-2 NUL filter (0 is a setting that keeps
//      nothing); bit 3 Okuma naming; bit 4 start trigger; bit 5 end
//      trigger; bit 6 removal byte
//   1, 2: start and end trigger; 3: removal byte
//   4: first byte of the receive line end; 5: its length (low two bits)
//   6: block sizes (seed)
// Covers: dnc/reception.cpp (TDncPort::WriteReceived)
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "appcore/myfile.h"
#include "dnc/dncport.h"
#include "platform/msgbox.h"
#include "tests/support/scratch_dir.h"

namespace {

struct Settings {
  bool raw, okuma;
  int nul;
  std::string start, end, remove, lineEnd;
};

// The bytes one block adds to the receive file by the filter's rules.
struct Model {
  const Settings& s;
  bool triggered, ended = false, endSeen = false;
  uint32_t skip = 0, received = 0;
  std::string pending;
  bool named = false;

  explicit Model(const Settings& set) : s(set), triggered(set.start.empty()) {}

  static bool Passes(unsigned char b, int mode) {
    switch (mode) {
      case 1: return true;
      case 2: return static_cast<signed char>(b) > 31;
      case 3: return b != 0;
      default: return false;
    }
  }

  std::string Block(const std::string& block) {
    const uint32_t before = received;
    received += static_cast<uint32_t>(block.size());
    if (s.raw) return block;
    if (ended) return {};
    std::size_t from = 0;
    bool startsHere = false;
    if (!triggered) {
      from = block.find(s.start[0]);
      if (from == std::string::npos) return {};
      triggered = startsHere = true;
    }
    std::size_t to = block.size();
    if (!s.end.empty()) {
      // Not the byte that opened the program.
      const std::size_t hit = block.find(s.end[0], startsHere ? from + 1 : before == 0 ? 1 : from);
      if (hit != std::string::npos) {
        endSeen = true;
        if (before != 0) {
          to = hit + 1;
          ended = true;
        }
      }
    }
    std::string kept;
    for (std::size_t i = from; i < to; i++) {
      const unsigned char b = static_cast<unsigned char>(block[i]);
      if (s.remove.find(static_cast<char>(b)) != std::string::npos) continue;
      if (!s.lineEnd.empty()) {
        if (skip) {
          if (++skip >= s.lineEnd.size()) skip = 0;
          continue;
        }
        if (b == static_cast<unsigned char>(s.lineEnd[0])) {
          kept += "\r\n";
          if (++skip >= s.lineEnd.size()) skip = 0;
          continue;
        }
      } else if (b == '\r' || b == '\n') {
        kept += static_cast<char>(b);
        continue;
      }
      if (Passes(b, s.nul)) kept += static_cast<char>(b);
    }
    if (s.nul == 1)
      for (char& c : kept)
        if (c == 0) c = static_cast<char>(TMyFile::kNulSubstitute);
    if (s.okuma && !named && !kept.empty()) {
      const std::size_t dollar = kept.find('$');
      const std::size_t dot = dollar == std::string::npos ? dollar : kept.find('.', dollar + 1);
      if (dot != std::string::npos) {
        pending = kept.substr(dollar + 1, dot - dollar - 1);
        named = true;
        const std::size_t percent = kept.find('%', dot + 1);
        if (percent != std::string::npos) kept.erase(0, percent);
      }
    }
    return kept;
  }
};

struct Station {
  kvtest::ScratchDir dir{"kv-fuzz-reception"};
  TGlobals globals;
  Station() {
    plat::set_message_box_handler([](HWND, const std::string&, const std::string&, UINT) { return IDOK; });
    globals.TempDir = dir.file() + "/";
    Globals = &globals;
  }
};

std::string Codes(const std::string& bytes) {
  std::string t;
  for (unsigned char c : bytes) t += (t.empty() ? "" : ",") + std::to_string(c);
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Station* station = new Station;
  if (size < 7) return 0;
  Settings s;
  s.raw = data[0] & 1;
  s.nul = (data[0] >> 1) & 3;
  s.okuma = data[0] & 8;
  if (data[0] & 16) s.start.assign(1, static_cast<char>(data[1]));
  if (data[0] & 32) s.end.assign(1, static_cast<char>(data[2]));
  if (data[0] & 64) s.remove.assign(1, static_cast<char>(data[3]));
  for (int k = 0; k < (data[5] & 3); k++) s.lineEnd += static_cast<char>(data[4] + k);

  auto* row = new TMultiDncRecord;
  row->Number[kPropId] = 1;
  row->SetListA(kPropProtocol, s.raw ? kProtoRaw : kProtoStandard);
  row->Number[kPropNulFilter] = s.nul;
  row->Number[kPropNamingMode] = s.okuma ? 3 : 0;
  row->SetText(kPropStartTrigger, Codes(s.start).c_str());
  row->SetText(kPropEndTrigger, Codes(s.end).c_str());
  row->SetText(kPropRemoveList, Codes(s.remove).c_str());
  row->SetText(kPropReceiveLineEnd, Codes(s.lineEnd).c_str());
  TDncPort port(row);  // COM 0: no line is opened

  // As the read thread starts a reception.
  port.TransferFile = std::make_unique<TMyFile>(port.TransferPath.c_str());
  if (!port.TransferFile->Open(0)) std::abort();
  port.ReceptionTriggered = s.start.empty() ? 1 : 0;
  port.ReceptionEnded = 0;
  port.LineEndSkip = 0;
  port.BytesReceived = 0;

  Model model(s);
  std::string expected;
  uint32_t seed = data[6] | 1u;
  for (size_t at = 7; at < size;) {
    seed = seed * 1103515245u + 12345u;
    const size_t n = std::min<size_t>(size - at, 1 + (seed >> 16) % 64);
    const std::string block(reinterpret_cast<const char*>(data + at), n);
    port.WriteReceived(reinterpret_cast<const unsigned char*>(block.data()), n);
    port.BytesReceived += static_cast<uint32_t>(n);
    expected += model.Block(block);
    at += n;
  }
  port.TransferFile->Close();
  port.TransferFile.reset();
  if (port.ReceiveFailed) std::abort();
  if (kvtest::ScratchDir::read_file(port.TransferPath) != expected) std::abort();
  if (!s.raw && (port.ReceptionEnded != 0) != model.ended) std::abort();
  if (!s.raw && (port.EndTriggerSeen != 0) != model.endSeen) std::abort();
  if (s.okuma && !s.raw && port.RequestedText() != model.pending) std::abort();
  return 0;
}
