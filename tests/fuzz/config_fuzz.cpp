// Fuzz target: arbitrary text as KELVA31.CFG and SYNTAX.CFG. Every line goes
// to the configuration reader of a fresh state object (a fatal line stops
// the reading, as at start-up); the same bytes are then read as SYNTAX.CFG.
// Covers: appcore/config_line.cpp, appcore/language_files.cpp (SYNTAX.CFG)
#include <cstdint>
#include <cstdlib>
#include <string>

#include "appcore/fatal.h"
#include "appcore/globals.h"
#include "appcore/myfile.h"
#include "platform/msgbox.h"
#include "tests/support/scratch_dir.h"

namespace {
struct Quiet {
  Quiet() {
    // Fatal lines show a box and end the process; here both only return.
    plat::set_message_box_handler([](HWND, const std::string&, const std::string&, UINT) { return IDOK; });
    SetFatalExitHook([](int) {});
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Quiet quiet;
  static kvtest::ScratchDir dir("kv-fuzz-config");
  const std::string text(reinterpret_cast<const char*>(data), size);
  dir.write("KELVA31.CFG", text);
  dir.write("SYNTAX.CFG", text);

  TGlobals g;
  g.CfgDir = dir.file() + "/";
  TMyFile f((g.CfgDir + "KELVA31.CFG").c_str());
  if (!f.Open(1)) std::abort();
  while (auto line = f.ReadLine(0)) {
    if (!g.ApplyConfigLine(line.get())) break;
  }
  f.Close();
  g.SetupFileData();
  g.LoadSyntax();
  if (g.SyntaxValueCount != static_cast<int>(g.SyntaxValues.size())) std::abort();
  if (ReadSyntaxSections(g.CfgDir) != g.SyntaxValueCount) std::abort();
  return 0;
}
