// Path check of the directory layout.
#include "app/paths.h"

#include <string>

#include "appcore/globals.h"
#include "platform/path.h"

int DirectoryExists(const char* path) {
  if (!path) return 0;
  std::string p = path;
  if (!p.empty() && p.back() == '\\') p.pop_back();
  if (p.empty()) return 0;
  // "C:" alone would name the drive's current directory, not its root.
  if (p.size() == 2 && p[1] == ':') p += '\\';
  return plat::set_current_directory(p) ? 1 : 0;
}

int TGlobals::CheckDirectories() {
  std::vector<const std::string*> dirs = {&DatabaseDir, &AlternateDir, &CfgDir};
  if (DncStationMode) {
    dirs.push_back(&DncFailDir);
    dirs.push_back(&DncTempDir);
  }
  for (const std::string* d : {&HookDir, &TemplateDir, &TemplateLocalDir, &PicturesDir, &VideoDir, &ImportDir,
                               &ExportDir, &BackupDir, &TempDir})
    dirs.push_back(d);
  for (const std::string* d : dirs) {
    if (!DirectoryExists(d->c_str())) {
      StartFile.Set(d->c_str());
      return 0;
    }
  }
  return 1;
}
