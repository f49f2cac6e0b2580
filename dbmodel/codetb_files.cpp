// Whole-file work of the table base: copying a table's layout into another
// directory and setting its files aside before a layout upgrade.
//
// Set-aside copies lie in a sub-directory named by the date (CCYYMMDD) of
// the database (or alternate) directory, under the lower-cased file names;
// an existing copy is never overwritten, so the first copy of a day stays.
#include <cctype>
#include <cstring>

#include "appcore/globals.h"
#include "dbmodel/codetb.h"
#include "engine/engine_api.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace {

size_t LastSeparator(const std::string& path) {
  size_t a = path.find_last_of("\\/");
  return a;
}

void DropTrailingSeparator(std::string& dir) {
  if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
}

}  // namespace

int TCodeTB::CopyStructure(const char* targetDir) {
  if (!targetDir) return 0;
  if (!Open()) return 0;
  FieldInfoList fields(data_);
  TagInfoList tags(data_);
  std::string target = targetDir;
  DropTrailingSeparator(target);
  // The layout goes under the table's base name into the target directory;
  // the directory is named in the path instead of being made current, which
  // would change it for every thread of the process.
  if (!plat::directory_exists(target)) {
    Close();
    return 0;
  }
  std::string base = fileName_;
  size_t sep = LastSeparator(base);
  if (sep != std::string::npos) base = base.substr(sep + 1);
  if (base.size() >= 2 && base[1] == ':') base = base.substr(2);
  size_t dot = base.rfind('.');
  std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
  if (stem.empty()) {
    Close();
    return 0;
  }
  std::string path = target + "\\" + base;
  DbDataFile* made = data_create(DbContext, path.c_str(), fields.fields(), tags.tags());
  if (made) data_close(made);
  EngineFailed();
  Close();
  return 1;
}

std::string TCodeTB::SetAsideFiles() {
  plat::SystemTime now = plat::local_time();
  return SetAsideFilesAs(FormatText("%04d%02d%02d", now.year, now.month, now.day));
}

std::string TCodeTB::SetAsideFilesAs(const std::string& subDir) {
  asideCopies_.clear();
  std::string dir;
  if (Globals) dir = alternateDir_ ? Globals->AlternateDir : Globals->DatabaseDir;
  DropTrailingSeparator(dir);
  // The files are looked for beside the table's own data file.
  size_t sep = LastSeparator(fileName_);
  // Without a directory setting the copies go beside the file, never to
  // the root of the current drive.
  if (dir.empty() && sep != std::string::npos) dir = fileName_.substr(0, sep);
  if (dir.empty()) return std::string();
  std::string dateDir = dir + "\\" + subDir;

  std::string name = sep == std::string::npos ? fileName_ : fileName_.substr(sep + 1);
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  std::string home = sep == std::string::npos ? std::string() : fileName_.substr(0, sep);
  std::string pattern = fileName_.substr(0, fileName_.size() - (name.size() - dot)) + ".*";

  if (!plat::directory_exists(dateDir)) plat::create_directory(dateDir);

  std::string dataCopy;
  plat::FindHandle h;
  plat::FindData fd;
  for (bool more = plat::find_first(pattern, h, fd); more; more = plat::find_next(h, fd)) {
    if (fd.attributes & plat::attr_directory) continue;
    std::string lower = fd.name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string from = (home.empty() ? std::string() : home + "\\") + fd.name;
    std::string to = dateDir + "\\" + lower;
    if (!plat::file_exists(to)) plat::copy_file(from, to, true);
    if (plat::file_exists(to)) asideCopies_.emplace_back(from, to);
    if (lower.find(".dbf") != std::string::npos && plat::file_exists(to)) dataCopy = to;
  }
  plat::find_close(h);
  return dataCopy;
}
