// Layout upgrade of the program-index files. Older stations wrote 15, 17
// or 18 fields (the current layout less LOCK/PROG, MAZAK, SENT at the end)
// or a wide layout of 39 fields and more, of which fields 1-11, 15, 21, 23
// and 28 are kept. The old files are set aside first; the file is rebuilt
// in place from the set-aside copy, and when anything fails the copies are
// put back so that no row is ever lost.
#include <cstring>

#include "app/core/globals.h"
#include "dbmodel/filetable.h"
#include "engine/fieldinfo.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/msgbox.h"

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

// Turns the safety setting off for the rebuild and back on after it.
struct SafetyOff {
  SafetyOff() { DbContext->safety = 0; }
  ~SafetyOff() { DbContext->safety = 1; }
};

// Reading the rows of the set-aside copy.
long OldLong(DbDataFile* d, int n) {
  FieldRef f(d, n);
  return f.valid() ? f.asLong() : 0;
}

std::string OldText(DbDataFile* d, int n) {
  FieldRef f(d, n);
  return f.valid() ? std::string(f.ptr(), f.len()) : std::string();
}

std::string OldMemo(DbDataFile* d, int n) {
  FieldRefMemo f(d, n);
  return f.valid() ? std::string(f.ptr(), f.len()) : std::string();
}

bool OldTrue(DbDataFile* d, int n) {
  std::string t = OldText(d, n);
  return !t.empty() && (t[0] == 'Y' || t[0] == 'y' || t[0] == 'T' || t[0] == 't');
}

// True when the expression names one of the dropped fields (and not a
// kept field of the same name).
bool NamesAnyOf(const char* expr, const std::vector<std::string>& dropped, const FieldInfoList& kept) {
  if (!expr) return false;
  std::string word;
  auto check = [&]() {
    bool hit = false;
    for (const auto& d : dropped)
      if (word == d) hit = true;
    for (int i = 0; hit && i < kept.count(); i++)
      if (word == kept[i].name) hit = false;
    word.clear();
    return hit;
  };
  for (const char* p = expr;; p++) {
    char c = *p;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_') {
      word += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    } else {
      if (!word.empty() && check()) return true;
      if (!c) return false;
    }
  }
}

void Report(const char* fileName) {
  std::string text = FormatText(
      "The file %s could not be brought to its new layout. It has been left as it "
      "was; no record is lost.",
      fileName ? fileName : "");
  MessageBox(nullptr, text.c_str(), "Database", MB_OK | MB_ICONSTOP);
}

}  // namespace

int TcbFileTable::Upgrade() {
  if (!Open()) return 0;
  int n = data_num_fields(Data());
  EngineFailed();
  Close();
  if (n == 19) return 2;
  if (n == 15 || n == 17 || n == 18) return UpgradeNarrow(n);
  if (n >= 39) return UpgradeWide(n);
  return 0;  // a layout this version does not know: left as it is
}

namespace {

// The old files' copies, made sure to be those of the files as they are
// now: a copy left by an earlier run of the same day may be older.
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

// The layout steps shared by both kinds of old file: set aside, create the
// new file, carry the rows with `carry`, put the old files back on failure.
template <typename Carry>
static int Rebuild(TcbFileTable& t, FieldInfoList& fields, TagInfoList& tags, Carry carry) {
  std::string copy = SetAsideNow(t);
  if (copy.empty()) return -1;
  auto copies = t.SetAsideCopies();
  bool ok;
  {
    SafetyOff off;
    DbDataFile* made = data_create(DbContext, t.FileName(), fields.fields(), tags.tags());
    ok = made != nullptr;
    if (made) ok = data_close(made) == 0 && ok;
    if (ok) ok = t.Open() == 1;
    DbDataFile* old = ok ? data_open(DbContext, copy.c_str()) : nullptr;
    if (ok && !old) ok = false;
    if (ok) {
      int rc = data_top(old);
      while (ok && rc == 0) {
        if (!data_is_deleted(old)) ok = carry(old);
        if (ok) rc = data_skip(old, 1);
      }
      if (rc < 0) ok = false;
    }
    if (old) data_close(old);
    if (code_error_get(DbContext) < 0) {
      ok = false;
      code_error_set(DbContext, 0);
    }
    if (t.Data() && data_flush(t.Data()) != 0) ok = false;
    if (code_error_get(DbContext) < 0) {
      ok = false;
      code_error_set(DbContext, 0);
    }
    if (!t.Close()) ok = false;
  }
  if (ok) return 1;
  for (const auto& [from, to] : copies) plat::copy_file(to, from, false);
  return -1;
}

int TcbFileTable::UpgradeNarrow(int n) {
  if (!Open()) return 0;
  FieldInfoList fields(Data());
  TagInfoList tags(Data());
  Close();
  if (n < 16) {
    fields.add("LOCK", 'L', 0, 0);
    fields.add("PROG", 'N', 10, 0);
  }
  if (n < 18) fields.add("MAZAK", 'L', 0, 0);
  fields.add("SENT", 'N', 10, 0);
  auto carry = [&](DbDataFile* old) {
    if (!BeginAppend()) return false;
    for (int f : {1, 8, 9, 10, 11, 14}) PutLong(f, OldLong(old, f));
    for (int f : {2, 3, 4, 5, 6, 7, 12, 13}) PutText(f, OldText(old, f).c_str());
    PutMemo(15, OldMemo(old, 15).c_str());
    PutLogical(16, n < 16 ? 0 : OldTrue(old, 16));
    PutLong(17, n < 16 ? -1 : OldLong(old, 17));
    PutLogical(18, n < 18 ? 0 : OldTrue(old, 18));
    PutLong(19, 0);
    return FinishAppend();
  };
  int rc = Rebuild(*this, fields, tags, carry);
  if (rc < 0) Report(FileName());
  return rc;
}

int TcbFileTable::UpgradeWide(int n) {
  if (!Open()) return 0;
  FieldInfoList fields(Data());
  TagInfoList tags(Data());
  Close();
  std::vector<std::string> dropped;
  for (int i = n - 1; i >= 28; i--) {
    dropped.emplace_back(fields[i].name);
    fields.delAt(i);
  }
  for (int i : {26, 25, 24, 23, 21, 19, 18, 17, 16, 15, 13, 12, 11}) {
    dropped.emplace_back(fields[i].name);
    fields.delAt(i);
  }
  fields.add("LOCK", 'L', 0, 0);
  fields.add("PROG", 'N', 10, 0);
  fields.add("MAZAK", 'L', 0, 0);
  fields.add("SENT", 'N', 10, 0);
  for (const char* name : {"CHAR3", "CHAR4", "CLFILE", "CUST", "DESC", "DIR", "DRAW", "FOURAXIS",
                           "MAT", "MID", "PART", "POST", "PROCESS", "PROJECT"}) {
    for (int i = 0; i < tags.count(); i++) {
      if (tags[i].name && std::strcmp(tags[i].name, name) == 0) {
        tags.delAt(i);
        break;
      }
    }
  }
  // A further tag over a field that is gone could not be built and would
  // fail the whole upgrade; it goes as well.
  for (int i = tags.count() - 1; i >= 0; i--)
    if (NamesAnyOf(tags[i].expression, dropped, fields)) tags.delAt(i);
  auto carry = [&](DbDataFile* old) {
    if (!NewRecord()) return false;
    TcbFileRecord* r = made;
    r->NCID = OldLong(old, 1);
    r->CUST = OldLong(old, 8);
    r->MID = OldLong(old, 9);
    r->MAT = OldLong(old, 10);
    r->PROJECT = OldLong(old, 11);
    TrimCopy(r->DESC, OldText(old, 2).c_str());
    TrimCopy(r->DIR, OldText(old, 3).c_str());
    TrimCopy(r->NAME, OldText(old, 4).c_str());
    TrimCopy(r->EXT, OldText(old, 5).c_str());
    TrimCopy(r->PART, OldText(old, 6).c_str());
    TrimCopy(r->DRAW, OldText(old, 7).c_str());
    TrimCopy(r->MACHINE, OldText(old, 15).c_str());
    TrimCopy(r->CHAR3, OldText(old, 21).c_str());
    r->LONG1 = OldLong(old, 39);
    r->SetMemo(OldMemo(old, 28).c_str());
    bool ok = BeginAppend();
    if (ok) {
      WriteRow(r);
      ok = FinishAppend();
    }
    delete r;
    made = nullptr;
    return ok;
  };
  int rc = Rebuild(*this, fields, tags, carry);
  if (rc < 0) Report(FileName());
  return rc;
}
