// Plug-in calls.
#include "app/plugin_calls.h"

#include <array>
#include <cstring>
#include <string>

#include "app/ui_texts.h"
#include "appcore/globals.h"
#include "platform/path.h"
#include "platform/plugin.h"
#include "platform/sysinfo.h"
#include "platform/ui/window.h"

namespace {

// LastDir stands for a 300-byte buffer.
constexpr std::size_t kLastDirSize = 300;

using HookEntry = kv_word (*)(kv_word* block);
using LoaderEntry = const char* (*)(kv_word* block);

// The loader's dialog texts; the English ones when the table has none.
const char* const kLoaderTexts[7] = {"Open file...",      "Open", "Delete", "File information",
                                     "File size", "Date && time", "File to open"};

}  // namespace

HeapText CallPrintHook(TWindow*) {
  // The plug-in reads the start directory from a buffer of the size it
  // knows and must not write into it; it gets a copy.
  std::array<char, kLastDirSize> start{};
  std::strncpy(start.data(), Globals->LastDir.c_str(), kLastDirSize - 1);
  kv_word block[2] = {reinterpret_cast<kv_word>(start.data()), 0};
  HMODULE lib = LoadLibrary((Globals->HookDir + "BRENTIX.DLL").c_str());
  if (lib) {
    if (auto entry = reinterpret_cast<HookEntry>(GetProcAddress(lib, "_CHOOKMAIN3"))) entry(block);
  }
  HeapText chosen;
  if (block[1]) {
    const char* text = reinterpret_cast<const char*>(block[1]);
    // A text that does not fit would be cut to another directory: refused.
    if (strnlen(text, kLastDirSize) < kLastDirSize) {
      Globals->LastDir = text;
      chosen.Set(text);
    }
  }
  // The text belongs to the plug-in: copied before it is unloaded.
  if (lib) FreeLibrary(lib);
  return chosen;
}

void TellPluginLoadFailed(TWindow* owner, const char* dll) {
  std::string text = std::string("Load of ") + dll + " failed";
  std::string why = plat::last_plugin_error();
  if (!why.empty()) text += "\r\n\r\n" + why;
  ::MessageBox(owner ? owner->GetHandle() : nullptr, text.c_str(), "error", MB_OK);
}

std::string MemoFilePath() { return plat::system_directory() + "\\MEMOTEXT.TMP"; }

void RunFileLoader(TWindow* owner) {
  HMODULE lib = LoadLibrary((Globals->HookDir + "MALDON.DLL").c_str());
  if (!lib) return;
  auto entry = reinterpret_cast<LoaderEntry>(GetProcAddress(lib, "_LOADAFILE"));
  if (!entry) {
    FreeLibrary(lib);
    return;
  }
  // The block and its texts stay until the next call, as the loader may
  // keep pointers into them.
  static std::array<std::string, 8> texts;
  static kv_word block[9];
  texts[0] = Globals->LastDir;
  for (int i = 0; i < 7; ++i)
    texts[i + 1] = LanguageText(Globals->DialogTexts, kLoaderDialogTexts + i, kLoaderTexts[i]);
  for (int i = 0; i < 8; ++i) block[i] = reinterpret_cast<kv_word>(texts[i].c_str());
  block[8] = Globals->LanguageNo;
  const char* result = entry(block);
  if (result) {
    std::string name = result;
    ::MessageBox(owner ? owner->GetHandle() : nullptr, name.c_str(), "Filename", MB_OK);
    std::string cwd = plat::get_current_directory();
    if (cwd.size() < kLastDirSize) Globals->LastDir = cwd;
  }
  FreeLibrary(lib);
}
