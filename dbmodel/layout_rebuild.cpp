// The rebuild shared by the layout upgrades of the station's and the
// database's small tables.
#include "dbmodel/layout_rebuild.h"

#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/msgbox.h"

namespace layout {

namespace {

bool SameBytes(const std::string& a, const std::string& b) {
  plat::File fa = plat::create_file(a, plat::Access::read, plat::Share::read_write,
                                    plat::Disposition::open_existing);
  plat::File fb = plat::create_file(b, plat::Access::read, plat::Share::read_write,
                                    plat::Disposition::open_existing);
  if (!fa.is_open() || !fb.is_open()) return false;
  int64_t la = plat::length(fa), lb = plat::length(fb);
  if (la < 0 || la != lb) return false;
  std::vector<char> ba(65536), bb(65536);
  for (int64_t pos = 0; pos < la;) {
    int64_t na = plat::read_at(fa, pos, ba.data(), ba.size());
    int64_t nb = plat::read_at(fb, pos, bb.data(), bb.size());
    if (na <= 0 || na != nb || std::memcmp(ba.data(), bb.data(), static_cast<size_t>(na)) != 0)
      return false;
    pos += na;
  }
  return true;
}

// A copy of the day made by an earlier run may hold older contents; the
// rebuild must start from copies of the files as they are now.
std::string SetAsideNow(TCodeTB& t) {
  std::string copy = t.SetAsideFiles();
  for (int k = 2; !copy.empty() && k < 100; k++) {
    bool same = true;
    for (const auto& [from, to] : t.SetAsideCopies())
      if (!SameBytes(from, to)) same = false;
    if (same) return copy;
    plat::SystemTime now = plat::local_time();
    copy = t.SetAsideFilesAs(FormatText("%04d%02d%02d-%d", now.year, now.month, now.day, k));
  }
  return std::string();
}

}  // namespace

bool ClearError() {
  int code = code_error_get(DbContext);
  if (code == 0) return false;
  code_error_set(DbContext, 0);
  return code < 0;
}

void PutLong(DbDataFile* d, int n, long value) {
  FieldRef f(d, n);
  if (f.valid()) f.assignLong(value);
}

void PutText(DbDataFile* d, int n, const char* text) {
  FieldRef f(d, n);
  if (f.valid()) f.assign(text ? text : "");
}

void PutLogical(DbDataFile* d, int n, int flag) {
  FieldRef f(d, n);
  if (f.valid()) f.assign(flag ? "T" : "F");
}

bool AppendRow(DbDataFile* d, const std::function<void()>& fill) {
  if (data_append_start(d, 0) != 0) {
    ClearError();
    return false;
  }
  data_blank(d);
  fill();
  bool ok = data_append(d) == 0;
  if (ClearError()) ok = false;
  return ok;
}

Rebuilt RebuildLayout(TCodeTB& t, const FieldInfoList& fields, const TagInfoList& tags,
                      const std::function<bool(DbDataFile*)>& carry,
                      const std::function<bool()>& empty) {
  t.Close();
  std::string copy = SetAsideNow(t);
  if (copy.empty()) return Rebuilt::not_set_aside;
  auto copies = t.SetAsideCopies();
  bool ok;
  {
    SafetyOff off;
    ClearError();
    DbDataFile* made = data_create(DbContext, t.FileName(), fields.fields(), tags.tags());
    ok = made != nullptr;
    if (made) ok = data_close(made) == 0 && ok;
    if (ok) ok = t.Open() == 1;
    DbDataFile* old = ok ? data_open(DbContext, copy.c_str()) : nullptr;
    if (ok && !old) ok = false;
    if (ok) {
      bool any = false;
      int rc = data_top(old);
      while (ok && rc == 0) {
        if (!data_is_deleted(old)) {
          any = true;
          ok = carry(old);
        }
        if (ok) rc = data_skip(old, 1);
      }
      if (rc < 0) ok = false;
      if (ok && !any && empty) ok = empty();
    }
    if (old) data_close(old);
    if (ClearError()) ok = false;
    if (t.Data() && data_flush(t.Data()) != 0) ok = false;
    if (ClearError()) ok = false;
    if (!t.Close()) ok = false;
  }
  if (ok) return Rebuilt::done;
  for (const auto& [from, to] : copies) plat::copy_file(to, from, false);
  return Rebuilt::failed;
}

void ReportLayoutKept(const char* fileName) {
  std::string text = FormatText(
      "The file %s could not be brought to its new layout. It has been left as it "
      "was; no record is lost.",
      fileName ? fileName : "");
  MessageBox(nullptr, text.c_str(), "Database", MB_OK | MB_ICONSTOP);
}

bool HasTag(DbDataFile* d, const char* tag) {
  if (!d) return false;
  TagInfoList tags(d);
  for (int i = 0; i < tags.count(); i++)
    if (tags[i].name && std::strcmp(tags[i].name, tag) == 0) return true;
  return false;
}

bool SeekById(DbDataFile* d, const char* tag, int field, long value) {
  if (!d) return false;
  if (HasTag(d, tag)) {
    DbTag* t = data_tag_find(d, tag);
    if (t) {
      data_tag_select(d, t);
      int rc = data_seek_double(d, static_cast<double>(value));
      ClearError();
      // A damaged index may point at another row: only a row that holds
      // the id is taken; past such a key the rows themselves are searched.
      if (rc != DB_SUCCESS) return false;
      if (OldLong(d, field) == value) return true;
    }
  }
  ClearError();
  data_tag_select(d, nullptr);
  for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1))
    if (OldLong(d, field) == value) return true;
  ClearError();
  return false;
}

long OldLong(DbDataFile* d, int n) {
  if (n > data_num_fields(d)) return 0;
  FieldRef f(d, n);
  return f.valid() ? f.asLong() : 0;
}

std::string OldText(DbDataFile* d, int n) {
  if (n > data_num_fields(d)) return std::string();
  FieldRef f(d, n);
  return f.valid() ? std::string(f.ptr(), f.len()) : std::string();
}

std::string OldMemo(DbDataFile* d, int n) {
  if (n > data_num_fields(d)) return std::string();
  FieldRefMemo f(d, n);
  return f.valid() ? std::string(f.ptr(), f.len()) : std::string();
}

bool OldTrue(DbDataFile* d, int n) {
  std::string t = OldText(d, n);
  return !t.empty() && (t[0] == 'Y' || t[0] == 'y' || t[0] == 'T' || t[0] == 't');
}

}  // namespace layout
