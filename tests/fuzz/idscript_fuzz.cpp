// Fuzz target: an ID script as a user loads it and the text of a program
// it is run on. A script that reads must read back the same from the lines
// the editor writes for its steps; a run either names the script line
// that failed or builds an identifier.
//
// Input: the script, a NUL byte, the sample text (without a NUL the whole
// input is the script, run on an empty text).
// Covers: dnc/idscript.cpp
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dnc/idscript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\0');
  const std::string script = input.substr(0, cut);
  const std::string text = cut == std::string::npos ? std::string() : input.substr(cut + 1);

  const idscript::Parsed parsed = idscript::Parse(script);
  if (!parsed.ok()) {
    if (parsed.error.compare(0, 5, "line ") != 0) std::abort();
    return 0;
  }
  // Written out as the editor writes it and read again: the same steps.
  std::string written;
  for (const idscript::Step& s : parsed.steps) {
    const auto& f = idscript::kFunctionTable[s.function];
    written += idscript::ScriptLine(s.function, f.kind == idscript::ArgKind::None ? "" : s.argument) + "\r\n";
  }
  const idscript::Parsed again = idscript::Parse(written);
  if (!again.ok() || again.steps.size() != parsed.steps.size()) std::abort();
  for (std::size_t i = 0; i < parsed.steps.size(); i++) {
    const idscript::Step &a = parsed.steps[i], &b = again.steps[i];
    if (a.function != b.function || a.argument != b.argument || a.number != b.number) std::abort();
  }

  const idscript::Result r = idscript::Run(parsed.steps, text);
  if (r.ok() == r.id.empty()) std::abort();
  if (!r.ok() && r.error.compare(0, 5, "line ") != 0 && r.error != "the script built no identifier") std::abort();
  if (r.reserved && !r.ok()) std::abort();
  return 0;
}
