// Mazak T32 and T+ tapes into the Mazak tape text (see tape_conversions.h).
// The records and marks are those the tape emulation reads back, written
// by its own line functions; a block that would break its line takes the
// VurErad import's hex form.
#include <cassert>
#include <string_view>

#include "dbtools/tape_conversions.h"
#include "dbtools/work_file.h"
#include "formats/mazak_tape.h"
#include "formats/vurerad.h"

namespace {

constexpr std::size_t kBlock = vurerad::kBlockSize;  // 128
constexpr std::string_view kMarker = "1100";
constexpr std::size_t kGap = 2;  // bytes between two blocks
constexpr std::size_t kProgramAt = 14, kProgramLength = 4;
constexpr const char* kLineEnd = "\r\n";

// Header payloads: 128 characters each.
std::string Header1(char kind) {
  std::string h = "311" + std::string(1, kind) + std::string(7, '0') + "1";
  return h + std::string(kBlock - h.size(), '0');
}
std::string Header2(const std::string& firstBlock) {
  std::string h = "3000" + firstBlock.substr(kProgramAt, kProgramLength) + "01";
  return h + std::string(kBlock - h.size(), '0');
}
std::string Header3() { return "32" + std::string(kBlock - 2, '0'); }
std::string Header4() { return "2" + std::string(kBlock - 1, '0'); }

std::string RecordLine(const std::string& payload) {
  assert(payload.size() == kBlock);
  if (payload.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
    return vurerad::DataLine(payload.data());
  return MazakBlockLine(payload) + kLineEnd;
}

std::string MarkLine(int number) { return MazakTapeMarkLine(number) + kLineEnd; }

// Reads up to the end of the first block marker; false when the file has
// none (or could not be read).
bool FindMarker(TSourceReader& in) {
  std::string last;
  for (int c; (c = in.Next()) >= 0;) {
    last.push_back(static_cast<char>(c));
    if (last.size() > kMarker.size()) last.erase(0, 1);
    if (last == kMarker) return true;
  }
  return false;
}

TConversion Fail(TConversion result, int code, int* error) {
  if (error) *error = code;
  return result;
}

TConversion ConvertMazakTape(const std::string& source, const std::string& work, char kind, int* error) {
  TSourceReader in(source);
  if (in.Failed()) return Fail(TConversion::SourceFailed, in.Error(), error);
  TWorkWriter out(work);
  if (out.Failed()) return Fail(TConversion::WorkFailed, out.Error(), error);

  std::string block(kMarker);
  block.resize(kBlock);
  bool found = FindMarker(in);
  if (found && in.Read(block.data() + kMarker.size(), kBlock - kMarker.size()) != kBlock - kMarker.size())
    found = false;
  if (in.Failed()) return Fail(TConversion::SourceFailed, in.Error(), error);
  if (!found) {
    out.Finish();
    return TConversion::NotTaken;
  }

  out.Put(MarkLine(0));
  out.Put(RecordLine(Header1(kind)));
  out.Put(RecordLine(Header2(block)));
  out.Put(RecordLine(Header3()));
  out.Put(MarkLine(1));
  out.Put(RecordLine(block));
  char gap[kGap];
  while (in.Read(gap, kGap) == kGap && in.Read(block.data(), kBlock) == kBlock) out.Put(RecordLine(block));
  // A read that failed mid-tape is no end of the tape: nothing is taken.
  if (in.Failed()) return Fail(TConversion::SourceFailed, in.Error(), error);
  out.Put(MarkLine(2));
  out.Put(RecordLine(Header4()));
  if (!out.Finish()) return Fail(TConversion::WorkFailed, out.Error(), error);
  return TConversion::Taken;
}

}  // namespace

TConversion ConvertMazakT32Tape(const std::string& source, const std::string& work, int* error) {
  return ConvertMazakTape(source, work, '1', error);
}

TConversion ConvertMazakTPlusTape(const std::string& source, const std::string& work, int* error) {
  return ConvertMazakTape(source, work, '5', error);
}
