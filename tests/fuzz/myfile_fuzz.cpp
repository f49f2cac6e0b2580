// Fuzz target: arbitrary bytes read as a text file with TMyFile, line by
// line (both ways of reading), checked against the line rule of myfile.h;
// the lines are then written back and must read back the same.
// Covers: appcore/myfile.cpp
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "appcore/myfile.h"
#include "tests/support/scratch_dir.h"

namespace {

// The lines the file holds by the rule of myfile.h, without line ends.
std::vector<std::string> ExpectedLines(const uint8_t* data, size_t size) {
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < size; ++i) {
    unsigned char c = data[i];
    if (c == '\n') {
      if (!cur.empty() && cur.back() == '\r') cur.pop_back();
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += static_cast<char>(c == 0 ? TMyFile::kNulSubstitute : c);
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

std::vector<std::string> ReadAll(const std::string& path, bool inPlace) {
  TMyFile f(path.c_str());
  if (!f.Open(1)) std::abort();
  std::vector<std::string> lines;
  if (inPlace) {
    while (const char* l = f.ReadLineInPlace(0)) lines.emplace_back(l);
  } else {
    while (auto l = f.ReadLine(0)) lines.emplace_back(l.get());
  }
  if (f.Failed() || !f.Close()) std::abort();
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kvtest::ScratchDir dir("kv-fuzz-myfile");
  const std::string path = dir.write("IN.TXT", std::string_view(reinterpret_cast<const char*>(data), size));
  const std::vector<std::string> expected = ExpectedLines(data, size);
  if (ReadAll(path, false) != expected) std::abort();
  if (ReadAll(path, true) != expected) std::abort();

  // Written back line by line: the same lines, but a last empty line is
  // lost with the line end the writer leaves off after the last line.
  const std::string out = dir.file("OUT.TXT");
  {
    TMyFile f(out.c_str());
    if (!f.Open(0)) std::abort();
    for (const std::string& l : expected) f.WriteLine(l.c_str());
    if (!f.FlushBuffer() || !f.Close()) std::abort();
  }
  std::vector<std::string> back = expected;
  if (!back.empty() && back.back().empty()) back.pop_back();
  if (ReadAll(out, false) != back) std::abort();
  return 0;
}
