// The common file open and save dialogs and their filter texts.
#include "platform/ui/filedlg.h"

#include "platform/path.h"

#include <cstring>
#include <mutex>

namespace plat {
namespace {
std::mutex g_cd_mu;
std::function<void(const std::string&)> g_set_cd;
}  // namespace

std::vector<std::pair<std::string, std::string>> parse_file_filter(const std::string& filter) {
  std::vector<std::pair<std::string, std::string>> out;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < filter.size()) {
    size_t bar = filter.find('|', start);
    if (bar == std::string::npos) bar = filter.size();
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  for (size_t i = 0; i + 1 < parts.size(); i += 2) out.emplace_back(parts[i], parts[i + 1]);
  return out;
}

void set_current_directory_setter(std::function<void(const std::string&)> setter) {
  std::lock_guard lock(g_cd_mu);
  g_set_cd = std::move(setter);
}

}  // namespace plat

TOpenSaveDialog::TData::TData(DWORD flags, const char* filter, char*, const char* initialDir, const char* defExt,
                              int maxPath, int filterIndex)
    : Flags(flags),
      Filter(filter ? filter : ""),
      InitialDir(initialDir ? initialDir : ""),
      DefExt(defExt ? defExt : ""),
      FilterIndex(filterIndex),
      MaxPath(maxPath > 0 ? maxPath : 260) {
  FileName = new char[MaxPath]();
}

TOpenSaveDialog::TData::~TData() { delete[] FileName; }

void TOpenSaveDialog::TData::SetFilter(const char* filter) { Filter = filter ? filter : ""; }
void TOpenSaveDialog::TData::SetInitialDir(const char* dir) { InitialDir = dir ? dir : ""; }

TOpenSaveDialog::TOpenSaveDialog(TWindow* parent, TData& data) : TDialog(parent, 0), Data(data) {}

void TOpenSaveDialog::Choose(const std::string& fileName) {
  std::string name = fileName;
  size_t sep = name.find_last_of("\\/");
  std::string base = sep == std::string::npos ? name : name.substr(sep + 1);
  if (!Data.DefExt.empty() && base.find('.') == std::string::npos) name += "." + Data.DefExt;
  if (static_cast<int>(name.size()) >= Data.MaxPath) {
    // The name does not fit the caller's buffer: refuse rather than cut it.
    Data.Error = 0x3003;
    Destroy(IDCANCEL);
    return;
  }
  Data.Error = 0;
  std::memcpy(Data.FileName, name.c_str(), name.size() + 1);
  if (!(Data.Flags & OFN_NOCHANGEDIR) && sep != std::string::npos) {
    std::function<void(const std::string&)> setter;
    {
      std::lock_guard lock(plat::g_cd_mu);
      setter = plat::g_set_cd;
    }
    std::string dir = name.substr(0, sep);
    if (dir.empty() || dir.back() == ':') dir = name.substr(0, sep + 1);  // a root keeps its separator
    if (setter) setter(dir);
    else plat::set_current_directory(dir);
  }
  Destroy(IDOK);
}

TFileOpenDialog::TFileOpenDialog(TWindow* parent, TData& data) : TOpenSaveDialog(parent, data) {}

TFileSaveDialog::TFileSaveDialog(TWindow* parent, TData& data) : TOpenSaveDialog(parent, data) { Save = true; }
