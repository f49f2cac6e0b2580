// Layout upgrade of the version log. Older stations wrote 7 fields (up to
// MEMO), 10 (with REASON01-03), 11 (USERNAME) or 12 (TIME); the current
// layout adds SEND. The old files are set aside first and the file is
// rebuilt from the copy: every live row keeps its values and its date, the
// new fields start at 0 or empty. A file without a live row is rebuilt
// empty. When anything fails the copies are put back.
#include <cstring>

#include "dbmodel/versionlog.h"
#include "engine/fieldinfo.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/msgbox.h"

namespace {

enum { fDATE = 6, kFields = 13 };

struct SafetyOff {
  SafetyOff() { DbContext->safety = 0; }
  ~SafetyOff() { DbContext->safety = 1; }
};

bool Failed() {
  if (code_error_get(DbContext) >= 0) return false;
  code_error_set(DbContext, 0);
  return true;
}

// Set-aside copies that are surely of the files as they are now: a copy
// left by an earlier run of the same day gets a directory of its own.
std::string SetAsideFresh(TCodeTB& t) {
  std::string copy = t.SetAsideFiles();
  for (int k = 2; !copy.empty() && k < 100; k++) {
    bool same = true;
    for (const auto& [from, to] : t.SetAsideCopies()) {
      plat::File a = plat::create_file(from, plat::Access::read, plat::Share::read_write,
                                       plat::Disposition::open_existing);
      plat::File b = plat::create_file(to, plat::Access::read, plat::Share::read_write,
                                       plat::Disposition::open_existing);
      int64_t la = a.is_open() ? plat::length(a) : -1, lb = b.is_open() ? plat::length(b) : -2;
      std::string ba(la > 0 ? la : 0, '\0'), bb(lb > 0 ? lb : 0, '\0');
      if (la != lb || (la > 0 && (plat::read_at(a, 0, ba.data(), ba.size()) != la ||
                                  plat::read_at(b, 0, bb.data(), bb.size()) != lb || ba != bb)))
        same = false;
    }
    if (same) return copy;
    plat::SystemTime now = plat::local_time();
    copy = t.SetAsideFilesAs(FormatText("%04d%02d%02d-%d", now.year, now.month, now.day, k));
  }
  return std::string();
}

}  // namespace

int TLog00002Table::Upgrade() {
  if (!Open()) return 0;
  int n = data_num_fields(Data());
  FieldInfoList fields(Data());
  TagInfoList tags(Data());
  Failed();
  Close();
  if (n >= kFields) return 1;
  if (n < 7) return 0;  // not a version log this program knows
  if (n < 10)
    for (const char* f : {"REASON01", "REASON02", "REASON03"}) fields.add(f, 'N', 10, 0);
  if (n < 11) fields.add("USERNAME", 'C', 50, 0);
  if (n < 12) fields.add("TIME", 'C', 5, 0);
  fields.add("SEND", 'N', 10, 0);

  std::string copy = SetAsideFresh(*this);
  if (copy.empty()) return 0;
  auto copies = SetAsideCopies();
  bool ok;
  {
    SafetyOff off;
    DbDataFile* fresh = data_create(DbContext, FileName(), fields.fields(), tags.tags());
    ok = fresh != nullptr;
    if (fresh) ok = data_close(fresh) == 0 && ok;
    if (ok) ok = Open() == 1;
    DbDataFile* old = ok ? data_open(DbContext, copy.c_str()) : nullptr;
    if (ok && !old) ok = false;
    int rc = ok ? data_top(old) : -1;
    for (; ok && rc == 0; rc = data_skip(old, 1)) {
      if (data_is_deleted(old)) continue;
      TLog00002Record r;
      ReadFields(&r, old);
      FieldRef date(old, fDATE);
      std::string stored = date.valid() ? std::string(date.ptr(), date.len()) : std::string();
      ok = BeginAppend();
      if (ok) {
        WriteRecord(&r);
        PutText(fDATE, stored.c_str());  // the version keeps its day
        ok = FinishAppend();
      }
    }
    if (rc < 0) ok = false;
    if (old) data_close(old);
    if (Failed()) ok = false;
    if (Data() && data_flush(Data()) != 0) ok = false;
    if (Failed()) ok = false;
    if (!Close()) ok = false;
  }
  if (ok) return 1;
  for (const auto& [from, to] : copies) plat::copy_file(to, from, false);
  std::string text = FormatText(
      "The file %s could not be brought to its new layout. It has been left as it was; "
      "no record is lost.",
      FileName() ? FileName() : "");
  MessageBox(nullptr, text.c_str(), "Database", MB_OK | MB_ICONSTOP);
  return 0;
}
