// The directory choice of the print plug-in. Its parameter block is two
// words: the 300-byte start directory and the result text the plug-in sets.
#include "app/profile_hook.h"

#include <cstring>
#include <string>

#include "appcore/globals.h"
#include "dbmodel/text_helpers.h"
#include "platform/plugin.h"

namespace {

using HookEntry = void (*)(kv_word*);

}  // namespace

char* CallPrintHook(TWindow*) {
  char start[300];
  CopyCut(start, sizeof start, Globals->LastDir.c_str());
  kv_word block[2] = {reinterpret_cast<kv_word>(start), 0};
  std::string dll = Globals->HookDir + "BRENTIX.DLL";
  HMODULE lib = LoadLibrary(dll.c_str());
  if (!lib) return nullptr;
  if (auto entry = reinterpret_cast<HookEntry>(GetProcAddress(lib, "_CHOOKMAIN3"))) entry(block);
  char* chosen = nullptr;
  if (block[1]) {
    // The plug-in's text is copied before the library goes; a text longer
    // than LastDir can hold is cut, not overrun.
    char dir[300];
    CopyCut(dir, sizeof dir, reinterpret_cast<const char*>(block[1]));
    Globals->LastDir = dir;
    chosen = HeapCopy(dir);
  }
  FreeLibrary(lib);
  return chosen;
}
