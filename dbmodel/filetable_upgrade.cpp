// Layout upgrade of the program-index files. Older stations wrote 15, 17
// or 18 fields (the current layout less LOCK/PROG, MAZAK, SENT at the end)
// or a wide layout of 39 fields and more, of which fields 1-11, 15, 21, 23
// and 28 are kept. The old files are set aside first; the file is rebuilt
// in place from the set-aside copy, and when anything fails the copies are
// put back so that no row is ever lost.
#include <cstring>

#include "dbmodel/filetable.h"
#include "dbmodel/layout_rebuild.h"
#include "engine/engine_api.h"

namespace {

using layout::OldLong;
using layout::OldMemo;
using layout::OldText;
using layout::OldTrue;

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

// The rebuild of both kinds of old file, as 1 when done, else -1 after
// telling the user (the old files are back in place then).
static int Rebuild(TcbFileTable& t, const FieldInfoList& fields, const TagInfoList& tags,
                   const std::function<bool(DbDataFile*)>& carry) {
  if (layout::RebuildLayout(t, fields, tags, carry) == layout::Rebuilt::done) return 1;
  layout::ReportLayoutKept(t.FileName());
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
  return Rebuild(*this, fields, tags, carry);
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
  return Rebuild(*this, fields, tags, carry);
}
