// The common file open and save dialogs over one data block: flags
// (OFN_*), a filter text of "description|pattern|" pairs, an initial
// directory, a default extension and the file-name buffer. On OK the chosen
// name stands in the block and, unless OFN_NOCHANGEDIR is set, the
// program's current directory moves to the chosen file's directory.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/dialog.h"

class TOpenSaveDialog : public TDialog {
 public:
  struct TData {
    TData(DWORD flags = 0, const char* filter = nullptr, char* customFilter = nullptr,
          const char* initialDir = nullptr, const char* defExt = nullptr, int maxPath = 0, int filterIndex = 0);
    ~TData();
    TData(const TData&) = delete;
    TData& operator=(const TData&) = delete;

    void SetFilter(const char* filter);
    void SetInitialDir(const char* dir);

    DWORD Flags;
    char* FileName;  // MaxPath bytes
    std::string Filter;
    std::string InitialDir;
    std::string DefExt;
    int FilterIndex;
    int MaxPath;
    DWORD Error = 0;  // set when a chosen name does not fit FileName
  };

  TOpenSaveDialog(TWindow* parent, TData& data);

  TData& GetData() { return Data; }
  // The user's choice (what the driver or the desktop calls): takes the
  // name into the data block and ends the dialog with IDOK; a name longer
  // than the buffer ends it with IDCANCEL and sets Error.
  void Choose(const std::string& fileName);
  bool IsSave() const { return Save; }

 protected:
  TData& Data;
  bool Save = false;
};

class TFileOpenDialog : public TOpenSaveDialog {
 public:
  TFileOpenDialog(TWindow* parent, TData& data);
};

class TFileSaveDialog : public TOpenSaveDialog {
 public:
  TFileSaveDialog(TWindow* parent, TData& data);
};

namespace plat {
// The filter's (description, pattern) pairs.
std::vector<std::pair<std::string, std::string>> parse_file_filter(const std::string& filter);
// Where the program's current directory lives; the file layer installs it.
void set_current_directory_setter(std::function<void(const std::string&)> setter);
}  // namespace plat
