// Fuzz target: arbitrary bytes as a tape-import source. The Mazak
// conversion must give the tape text of the blocks from the first "1100"
// (built here) or take nothing, and every record line must go out through
// the tape emulation as its block; the WC-18 cleanings must keep exactly
// the kept bytes (from the first "%" for the 140/200 variant).
// Covers: dbtools/mazak_convert.cpp, dbtools/wc18_clean.cpp,
// dbtools/work_file.cpp, dnc/mazak_tape.cpp (image lines)
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dbtools/tape_conversions.h"
#include "formats/mazak_tape.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tape_text.h"

namespace {

void CheckMazak(const std::string& bytes, const std::string& source, const std::string& work,
                const kvtest::ScratchDir& dir) {
  std::size_t start = bytes.find("1100");
  std::vector<std::string> blocks;
  if (start != std::string::npos)
    for (std::size_t at = start; at + 128 <= bytes.size(); at += 130) blocks.push_back(bytes.substr(at, 128));
  TConversion r = ConvertMazakT32Tape(source, work);
  if (blocks.empty()) {
    if (r != TConversion::NotTaken) std::abort();
    return;
  }
  if (r != TConversion::Taken) std::abort();
  const std::string text = dir.read("WORK.TMP");
  if (text != kvtape::TapeText('1', blocks)) std::abort();
  // Each data record goes out as its block, framed and checked.
  std::size_t at = 0, line = 0;
  for (std::size_t nl; (nl = text.find("\r\n", at)) != std::string::npos; at = nl + 2, ++line) {
    if (line < 5 || line >= 5 + blocks.size()) continue;
    const std::string& block = blocks[line - 5];
    const std::string sent = MazakLineBlock(text.substr(at, nl - at));
    if (sent != kMazakStx + block + kMazakEtx + MazakCheckText(block) + kMazakEot) std::abort();
  }
}

std::string Kept(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes)
    if ((c >= 0x20 && c <= 0x7F) || c == '\r' || c == '\n') out += static_cast<char>(c);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kvtest::ScratchDir dir("kv-fuzz-tape");
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string source = dir.write("SOURCE.TAP", bytes);
  const std::string work = dir.file("WORK.TMP");
  CheckMazak(bytes, source, work, dir);
  if (ConvertWc18File(source, work) != TConversion::Taken || dir.read("WORK.TMP") != Kept(bytes)) std::abort();
  std::size_t percent = bytes.find('%');
  const std::string from = percent == std::string::npos ? std::string() : Kept(bytes.substr(percent));
  if (ConvertWc18140File(source, work) != TConversion::Taken || dir.read("WORK.TMP") != from) std::abort();
  return 0;
}
