// The table base: path choice, lazy open and close, the record list and the
// field helpers every table class reads and writes its rows with.
#include "dbmodel/codetb.h"

#include <cstring>
#include <utility>

#include "appcore/globals.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {

bool EndsInSeparator(const std::string& dir) {
  return !dir.empty() && (dir.back() == '\\' || dir.back() == '/');
}

}  // namespace

void FreeRecordList(TcbRecord* head) {
  while (head) {
    TcbRecord* next = head->next;
    delete head;
    head = next;
  }
}

TCodeTB::TCodeTB(const char* fileName, int alternateDir, int localDir)
    : alternateDir_(alternateDir) {
  if (!fileName) return;
  if (fileName[0] && fileName[1] == ':') {
    fileName_ = fileName;
    return;
  }
  std::string dir;
  if (Globals) {
    if (localDir)
      dir = Globals->LocalDir;
    else if (alternateDir)
      dir = Globals->AlternateDir;
    else
      dir = Globals->DatabaseDir;
  }
  if (dir.empty()) {
    fileName_ = fileName;
    return;
  }
  fileName_ = dir;
  if (!EndsInSeparator(dir)) fileName_ += '\\';
  fileName_ += fileName;
}

TCodeTB::~TCodeTB() {
  FreeRecords();
  Close();
}

bool TCodeTB::EngineFailed() {
  int code = code_error_get(DbContext);
  if (code > 0) code_error_set(DbContext, 0);  // a status kept by a quiet failure
  if (code >= 0) return false;
  lastError_ = code;
  failed_ = true;
  code_error_set(DbContext, 0);
  return true;
}

int TCodeTB::Open() {
  if (data_) return 1;
  if (fileName_.empty()) return 0;
  failed_ = false;
  // An error left pending by an earlier caller would refuse every call.
  EngineFailed();
  failed_ = false;
  data_ = data_open(DbContext, fileName_.c_str());
  if (!data_) {
    EngineFailed();
    failed_ = false;
    return 0;
  }
  for (const char* name : repeatableTags_) {
    DbTag* t = data_tag_find(data_, name);
    if (t)
      t->unique_action = DB_UNIQUE_KEEP_FIRST;
    else
      EngineFailed();  // a file without the tag has nothing to keep
  }
  failed_ = false;
  return 1;
}

int TCodeTB::Close() {
  if (!data_) {
    bool ok = !failed_;
    failed_ = false;
    return ok ? 1 : 0;
  }
  int rc = data_close(data_);
  data_ = nullptr;
  EngineFailed();
  bool ok = !failed_ && rc == 0;
  failed_ = false;
  return ok ? 1 : 0;
}

TcbRecord* TCodeTB::LoadAll() {
  if (!Open()) return nullptr;
  int rc = data_top(data_);
  while (rc == 0) {
    if (!AddCurrent()) {
      FreeRecords();
      EngineFailed();
      return nullptr;
    }
    rc = data_skip(data_, 1);
  }
  bool failed = EngineFailed() || rc < 0;
  Close();
  if (failed) {
    FreeRecords();
    return nullptr;
  }
  return first_;
}

int TCodeTB::AddCurrent() {
  if (!data_) return 0;
  if (data_is_deleted(data_)) return 1;
  if (!ReadRecord()) return 0;
  TcbRecord* r = current_;
  r->next = nullptr;
  r->prev = last_;
  if (last_)
    last_->next = r;
  else
    first_ = r;
  last_ = r;
  return 1;
}

void TCodeTB::SwapList(TcbRecord*& first, TcbRecord*& last) {
  std::swap(first, first_);
  std::swap(last, last_);
}

void TCodeTB::FreeRecords() {
  FreeRecordList(first_);
  first_ = last_ = nullptr;
  current_ = nullptr;
}

TcbRecord* TCodeTB::DetachList() {
  TcbRecord* head = first_;
  first_ = last_ = nullptr;
  return head;
}

int TCodeTB::Pack() {
  if (!Open()) return 0;
  int rc = data_pack(data_);
  EngineFailed();
  int mc = memo_compress(data_);
  EngineFailed();
  int closed = Close();
  return rc == 0 && mc >= 0 && closed ? 1 : 0;
}

int TCodeTB::Reindex() {
  if (!Open()) return 0;
  int rc = data_reindex(data_);
  int closed = Close();
  return rc == 0 && closed ? 1 : 0;
}

int TCodeTB::Zap() {
  if (!Open()) return 0;
  int rc = data_remove_range(data_, 1, 2000000000L);
  EngineFailed();
  memo_compress(data_);
  EngineFailed();
  return rc == 0 ? 1 : 0;
}

int TCodeTB::FillListFromField(TListLines* list, int fieldNo) {
  if (!list || fieldNo == 0) return 0;
  if (!Open()) return 0;
  list->ClearLines();
  DbField* f = data_field_at(data_, fieldNo);
  if (!f) {
    EngineFailed();
    Close();
    return 0;
  }
  int rc = data_top(data_);
  while (rc == 0) {
    if (!data_is_deleted(data_)) {
      char line[256];
      unsigned n = field_len(f) < 255 ? field_len(f) : 255;
      std::memcpy(line, field_ptr(f), n);
      line[n] = 0;
      TrimTrailingBlanks(line);
      list->AddLine(line);
    }
    rc = data_skip(data_, 1);
  }
  list->SelectLine(0);
  bool failed = rc < 0;
  EngineFailed();
  int closed = Close();
  return !failed && closed ? 1 : 0;
}

int TCodeTB::LockRecords(const long* recNos, int count) {
  if (!recNos || count == 0) return 0;
  if (!Open()) return 0;
  if (data_lock_group(data_, recNos, count) != 0) {
    EngineFailed();
    Close();
    return 0;
  }
  return 1;
}

bool TCodeTB::SeekNumber(const char* tag, double value) {
  if (!data_) return false;
  DbTag* t = data_tag_find(data_, tag);
  if (!t) {
    EngineFailed();
    return false;
  }
  data_tag_select(data_, t);
  int rc = data_seek_double(data_, value);
  if (rc < 0) EngineFailed();
  return rc == 0;
}

long TCodeTB::FieldLong(int fieldNo) {
  FieldRef f(data_, fieldNo);
  return f.valid() ? f.asLong() : 0;
}

bool TCodeTB::FieldTrue(int fieldNo) {
  FieldRef f(data_, fieldNo);
  if (!f.valid() || f.len() == 0) return false;
  char c = *f.ptr();
  return c == 'Y' || c == 'y' || c == 'T' || c == 't';
}

void TCodeTB::FieldText(int fieldNo, char* dest, size_t size) {
  if (!dest || size == 0) return;
  dest[0] = 0;
  FieldRef f(data_, fieldNo);
  if (!f.valid()) return;
  std::string text(f.ptr(), f.len());
  TrimCopy(dest, size, text.c_str());
}

char* TCodeTB::FieldMemo(int fieldNo) {
  FieldRefMemo f(data_, fieldNo);
  unsigned n = f.valid() ? f.len() : 0;
  char* text = new char[n + 1];
  if (n) std::memcpy(text, f.ptr(), n);
  text[n] = 0;
  return text;
}

void TCodeTB::PutLong(int fieldNo, long value) {
  FieldRef f(data_, fieldNo);
  if (f.valid()) f.assignLong(value);
}

void TCodeTB::PutText(int fieldNo, const char* text) {
  FieldRef f(data_, fieldNo);
  if (f.valid()) f.assign(text ? text : "");
}

void TCodeTB::PutLogical(int fieldNo, int flag) {
  FieldRef f(data_, fieldNo);
  if (f.valid()) f.assign(flag ? "T" : "F");
}

void TCodeTB::PutMemo(int fieldNo, const char* text) {
  FieldRefMemo f(data_, fieldNo);
  if (f.valid()) f.assign(text ? text : "");
}

bool TCodeTB::BeginAppend() {
  if (!data_) return false;
  if (data_append_start(data_, 0) != 0) {
    EngineFailed();
    return false;
  }
  data_blank(data_);
  return true;
}

bool TCodeTB::FinishAppend() {
  if (!data_) return false;
  int rc = data_append(data_);
  if (rc != 0) {
    EngineFailed();
    failed_ = true;
    return false;
  }
  return !EngineFailed();
}

void TCodeTB::CreateLayout(const char* fullPath, const FieldInfoList& fields, const TagInfoList& tags) {
  DbContext->safety = 1;
  DbDataFile* d = data_create(DbContext, fullPath, fields.fields(), tags.tags());
  if (d) data_close(d);
  EngineFailed();
}

char* TCodeTB::FieldCopyById(long id, int fieldNo) {
  if (id == 0 || !Open()) return nullptr;
  if (!SeekNumber("ID", static_cast<double>(id))) return nullptr;
  FieldRef f(data_, fieldNo);
  std::string text(f.ptr(), f.len());
  while (!text.empty() && text.back() == ' ') text.pop_back();
  Close();
  return HeapCopy(text.c_str());
}

bool TCodeTB::ReadMemoText(int fieldNo, std::string& text) {
  FieldRefMemo m(data_, fieldNo);
  if (!m.valid()) return false;
  unsigned n = m.len();
  const char* p = m.ptr();
  text = p ? std::string(p, n) : std::string();
  return !EngineFailed();
}

bool TCodeTB::ReadById(const char* tag, long id) {
  if (id == 0 || !Open()) return false;
  if (!SeekNumber(tag, static_cast<double>(id))) return false;
  return ReadRecord() == 1;
}

TcbRecord* TCodeTB::CollectQuery(const char* filter, const char* sort, int handOver,
                                  bool* succeeded) {
  TcbRecord* keptFirst = nullptr;
  TcbRecord* keptLast = nullptr;
  if (handOver) SwapList(keptFirst, keptLast);
  TcbRecord* before = last_;
  bool ok = true;
  {
    TQueryWalk walk(data_);
    int rc = walk.Valid() ? walk.Top(filter, sort) : -1;
    for (; rc == 0 && ok; rc = walk.Skip()) ok = AddCurrent() == 1;
    if (rc < 0) ok = false;
  }
  EngineFailed();
  if (succeeded) *succeeded = ok;
  if (!handOver) return ok ? (before ? before->next : first_) : nullptr;
  TcbRecord* result = DetachList();
  SwapList(keptFirst, keptLast);
  if (!ok) {
    FreeRecordList(result);
    result = nullptr;
  }
  return result;
}

int TCodeTB::AtFirstLive(const char* filter, const std::function<void()>& atRow) {
  int found = 0;
  {
    TQueryWalk walk(data_);
    if (!walk.Valid()) {
      EngineFailed();
      return -1;
    }
    for (int rc = walk.Top(filter, nullptr); rc == 0; rc = walk.Skip()) {
      if (data_is_deleted(data_)) continue;
      atRow();
      found = 1;
      break;
    }
  }
  EngineFailed();
  return found;
}

void TCodeTB::EachLiveRow(const std::function<void()>& row) {
  for (int rc = data_top(data_); rc == 0; rc = data_skip(data_, 1))
    if (!data_is_deleted(data_)) row();
  EngineFailed();
  Close();
}

bool TCodeTB::AppendAndClose(const std::function<void()>& write) {
  bool ok = BeginAppend();
  if (ok) {
    write();
    ok = FinishAppend();
  }
  return Close() && ok;
}

void CloseDatabaseEngine() {
  if (!DbContext) return;
  code_close_all(DbContext);
  delete DbContext;
  DbContext = nullptr;
}
