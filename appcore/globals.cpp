// The global state object: defaults and the two directory layouts.
#include "appcore/globals.h"

#include "appcore/language.h"
#include "platform/path.h"
#include "platform/sysinfo.h"

TGlobals* Globals = nullptr;

namespace {
std::string WithBackslash(std::string dir) {
  if (dir.empty() || dir.back() != '\\') dir += '\\';
  return dir;
}
}  // namespace

TGlobals::TGlobals()
    : MenuHints(std::make_unique<TextTable>(kMenuTableSize)),
      MenuTexts(std::make_unique<TextTable>(kMenuTableSize)) {
  // Messages added since the first 2000 are numbered from 2000 on; a
  // language file that stops below 2000 loads as before.
  constexpr std::size_t kMessageTableSize = 4000;
  MessageTexts = TextTable(kMessageTableSize);
  FrameHooks.reserve(kHookSlots);
  EditorHooks.reserve(kHookSlots);
  ComputerName = plat::computer_name().substr(0, 15);
}

TGlobals::~TGlobals() = default;

// No length limits here: a cut directory would name another place.
std::string TGlobals::MakeCfgPath(const char* sub) {
  std::string p = WithBackslash(plat::get_current_directory());
  if (sub) p += sub;
  return p;
}

std::string TGlobals::MakeWindowsDirPath(const char* sub) {
  std::string p = WithBackslash(plat::windows_directory());
  if (sub) p += sub;
  return p;
}

void TGlobals::BuildLayout(const std::string& root, bool fallback) {
  auto dir = [&](const char* sub) { return root + sub; };
  BaseDir = root;
  if (!fallback) {
    LocalDir = dir("KELVACFG\\LOCAL\\");
    TemplateLocalDir = dir("KELVACFG\\TEMPLATE\\LOCAL\\");
  }
  DatabaseDir = dir("KELVACFG\\DB31\\");
  Db31Dir = dir("KELVACFG\\DB31\\");
  HookDir = dir("KELVACFG\\CHOOKS\\");
  AlternateDir = dir("KELVACFG\\LOCAL\\");
  TemplateDir = dir("KELVACFG\\TEMPLATE\\");
  PicturesDir = dir("KELVACFG\\PICTURES\\");
  VideoDir = dir("KELVACFG\\VIDEO\\");
  ImportDir = dir("KELVACFG\\IMPORT\\");
  ExportDir = dir("KELVACFG\\EXPORT\\");
  BackupDir = dir("KELVACFG\\BACKUP\\PROGRAMS\\");
  TempDir = dir("KELVACFG\\TEMP\\");
  CfgDir = dir("KELVACFG\\CFG\\");
  DncFailDir = dir("KELVACFG\\DNCFAIL\\");
  DncTempDir = dir("KELVACFG\\DNCTEMP\\");
  Ge3Dir = dir("KELVACFG\\GE3\\");
  DxfDir = dir("KELVACFG\\DXF\\");
  BackupGe3Dir = dir("KELVACFG\\BACKUP\\GE3\\");
  BackupDxfDir = dir("KELVACFG\\BACKUP\\DXF\\");
  ScriptsDir = dir("KELVACFG\\SCRIPTS\\");
}

void TGlobals::BuildPrimaryLayout() { BuildLayout(MakeCfgPath(nullptr), false); }

void TGlobals::BuildFallbackLayout() { BuildLayout(MakeWindowsDirPath(nullptr), true); }

void TGlobals::SetUserName(const char* first, const char* last) {
  std::lock_guard<std::mutex> lock(UserNameLock);
  UserFirstName.Set(first);
  UserLastName.Set(last);
}

void TGlobals::GetUserName(std::string& first, std::string& last) const {
  std::lock_guard<std::mutex> lock(UserNameLock);
  first = UserFirstName.c_str();
  last = UserLastName.c_str();
}

std::string TGlobals::GetMessageText(int id) const {
  // An id outside the table gets the fallback text too.
  if (MessageTexts.Has(id)) return MessageTexts.Get(id);
  return MissingMessageText(id);
}

void TGlobals::ClearLanguageTables() {
  MessageTexts.Clear();
  DialogTexts.Clear();
  LogTexts.Clear();
  PrintTexts.Clear();
  MenuHints->Clear();
  MenuTexts->Clear();
}
