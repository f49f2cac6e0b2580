// The shared open and save dialogs and the shared printer: the members of
// the global state that need the window model (library appcore_ui).
#include <cstring>

#include "appcore/globals.h"
#include "platform/path.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/print.h"

namespace {
// LastDir stands for a 300-byte buffer: a longer directory would be cut and
// name another place, so it is not taken.
constexpr size_t kLastDirMax = 299;
constexpr int kMaxPath = 260;
}  // namespace

int TGlobals::RunFileDialog(bool save, TWindow* parent, char* dir, int keepDir) {
  FileData.FileName.clear();
  const std::string initial = dir && *dir ? std::string(dir) : LastDir;
  TOpenSaveDialog::TData data(FileData.Flags, FileData.Filter.c_str(), nullptr, initial.c_str(),
                              FileData.DefaultExt.c_str(), kMaxPath);
  int result = save ? TFileSaveDialog(parent, data).Execute() : TFileOpenDialog(parent, data).Execute();
  if (result != IDOK) return 0;
  FileData.FileName = data.FileName;
  StartFile.Set(data.FileName);
  const std::string cwd = plat::get_current_directory();
  if (keepDir && dir && cwd.size() < static_cast<size_t>(kDirBufferSize)) std::memcpy(dir, cwd.c_str(), cwd.size() + 1);
  if (cwd.size() <= kLastDirMax) LastDir = cwd;
  return 1;
}

int TGlobals::FileOpenDialog(TWindow* parent, char* dir, int keepDir) {
  return RunFileDialog(false, parent, dir, keepDir);
}

int TGlobals::FileSaveDialog(TWindow* parent, char* dir, int keepDir) {
  return RunFileDialog(true, parent, dir, keepDir);
}

TPrinter& TGlobals::GetPrinter() {
  if (!Printer) Printer = std::make_shared<TPrinter>();
  return *Printer;
}
