// Fuzz target: arbitrary text as each of the language files, read for a
// language number taken from the first byte. Every text a table keeps must
// be one the file gave (escapes expanded), under an id within the table.
// Covers: appcore/language.cpp, appcore/language_files.cpp
#include <cstdint>
#include <cstdlib>
#include <string>

#include "appcore/globals.h"
#include "appcore/language.h"
#include "tests/support/scratch_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kvtest::ScratchDir dir("kv-fuzz-lang");
  if (size < 1) return 0;
  const int languageNo = data[0] % 4 == 0 ? 44 : data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  for (const char* name : {"MESSAGES", "DIALOGS", "LOGSTRS", "PRINTS", "MENUHINT", "MENUES"})
    dir.write(std::string(name) + ".CFG", text);

  static TGlobals g;  // its tables are large: cleared, not made anew
  g.ClearLanguageTables();
  g.CfgDir = dir.file() + "/";
  g.LanguageNo = languageNo;
  g.LoadAllLanguageFiles();  // the .USR files are missing: skipped

  // A text longer than the file cannot have come from it (the CR LF escape
  // turns 4 bytes into 2, the tab escape 2 into 1).
  for (const TextTable* t : {&g.MessageTexts, &g.DialogTexts, &g.LogTexts, &g.PrintTexts,
                             g.MenuHints.get(), g.MenuTexts.get()}) {
    for (size_t id = 0; id < t->Size(); ++id) {
      const char* s = t->Get(static_cast<long>(id));
      if (s && std::string(s).size() > text.size()) std::abort();
    }
  }
  (void)g.GetMessageText(-1);
  (void)g.GetMessageText(static_cast<int>(g.MessageTexts.Size()));
  return 0;
}
