// Program version log: layout, reader and writer, add, finds, the lists of
// a program and the latest version.
#include <cstring>

#include "appcore/globals.h"
#include "dbmodel/counter.h"
#include "dbmodel/syslog.h"
#include "dbmodel/versionlog.h"
#include "engine/engine_api.h"
#include "platform/clock.h"

namespace {

enum { fID = 1, fTYPE, fPROGRAM, fREVISION, fTEXT, fDATE, fMEMO, fREASON01, fREASON02, fREASON03,
       fUSERNAME, fTIME, fSEND };

long Long(DbDataFile* d, int n) {
  FieldRef f(d, n);
  return f.valid() ? f.asLong() : 0;
}

void Text(DbDataFile* d, int n, char* out, size_t size) {
  FieldRef f(d, n);
  std::string s = f.valid() ? std::string(f.ptr(), f.len()) : std::string();
  TrimCopy(out, size, s.c_str());
}

// A relation over the file that is unlocked and freed when it goes.
struct Relation {
  explicit Relation(DbDataFile* d) : rel(d ? relate_init(d) : nullptr) {}
  ~Relation() {
    if (!rel) return;
    relate_unlock(rel);
    relate_free(rel, 0);
  }
  DbRelation* rel;
};

}  // namespace

void TLog00002Record::SetMemo(const char* text) { ReplaceText(MEMO, text); }

int TLog00002Table::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  for (const char* n : {"ID", "TYPE", "PROGRAM", "REVISION"}) f.add(n, 'N', 10, 0);
  f.add("TEXT", 'C', 50, 0);
  f.add("DATE", 'D', 8, 0);
  f.add("MEMO", 'M', 0, 0);
  for (const char* n : {"REASON01", "REASON02", "REASON03"}) f.add(n, 'N', 10, 0);
  f.add("USERNAME", 'C', 50, 0);
  f.add("TIME", 'C', 5, 0);
  f.add("SEND", 'N', 10, 0);
  TagInfoList t(DbContext);
  t.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

int TLog00002Table::NewRecord() { return NewInto(made); }

int TLog00002Table::ReadFields(TLog00002Record* r, DbDataFile* d) {
  r->ID = Long(d, fID);
  r->TYPE = Long(d, fTYPE);
  r->PROGRAM = Long(d, fPROGRAM);
  r->REVISION = Long(d, fREVISION);
  Text(d, fTEXT, r->TEXT, sizeof r->TEXT);
  LogDateText(d, fDATE, r->DATE, sizeof r->DATE);
  FieldRefMemo m(d, fMEMO);
  if (m.valid()) {
    unsigned n = m.len();
    const char* p = m.ptr();
    std::string text = p ? std::string(p, n) : std::string();
    if (code_error_get(DbContext) < 0)
      code_error_set(DbContext, 0);  // an unreadable note: the version keeps none
    else
      r->SetMemo(text.c_str());
  }
  int n = data_num_fields(d);
  if (n > 7) {
    r->REASON01 = Long(d, fREASON01);
    r->REASON02 = Long(d, fREASON02);
    r->REASON03 = Long(d, fREASON03);
  }
  if (n > 10) Text(d, fUSERNAME, r->USERNAME, sizeof r->USERNAME);
  if (n > 11) Text(d, fTIME, r->TIME, sizeof r->TIME);
  if (n > 12) r->SEND = Long(d, fSEND);
  return 1;
}

int TLog00002Table::ReadRecord() {
  if (!NewRecord()) return 0;
  ReadFields(made, Data());
  SetCurrent(made);
  return 1;
}

void TLog00002Table::WriteRecord(const TLog00002Record* r) {
  PutLong(fID, r->ID);
  PutLong(fTYPE, r->TYPE);
  PutLong(fPROGRAM, r->PROGRAM);
  PutLong(fREVISION, r->REVISION);
  PutText(fTEXT, r->TEXT);
  char today[9] = {};  // the date has no terminator of its own
  date_today(today);
  PutText(fDATE, today);
  PutMemo(fMEMO, r->MEMO ? r->MEMO : "");
  PutLong(fREASON01, r->REASON01);
  PutLong(fREASON02, r->REASON02);
  PutLong(fREASON03, r->REASON03);
  PutText(fUSERNAME, r->USERNAME);
  PutText(fTIME, r->TIME);
  PutLong(fSEND, r->SEND);
}

int TLog00002Table::Add(TLog00002Record* record) {
  if (!record) return 0;
  if (!Open()) return 0;
  long id = NextVersionLogId();
  if (id <= 0) {
    Close();
    return 0;
  }
  record->ID = id;
  StampNow(record);
  bool ok = AppendAndClose([&] { WriteRecord(record); });
  return ok ? 1 : 0;
}

void TLog00002Table::StampNow(TLog00002Record* record) {
  std::string first, last;
  if (Globals) Globals->GetUserName(first, last);
  std::string user = Globals ? first + " " + last : std::string();
  CopyCut(record->USERNAME, sizeof record->USERNAME, user.c_str());
  plat::SystemTime now = plat::local_time();
  std::snprintf(record->TIME, sizeof record->TIME, "%02d:%02d", now.hour, now.minute);
  char today[9] = {};
  date_today(today);
  date_format(today, record->DATE, "DD/MM-CCYY");
}

int TLog00002Table::SeekId(long id) {
  if (id == 0 || !Open()) return 0;
  return SeekNumber("ID", static_cast<double>(id)) ? 1 : 0;
}

TLog00002Record* TLog00002Table::FindById(long id) {
  if (!SeekId(id)) return nullptr;
  if (!ReadRecord()) {
    Close();
    return nullptr;
  }
  return made;
}

int TLog00002Table::DeleteById(long id) {
  bool found = SeekId(id);
  if (found) data_delete(Data());
  return Close() && found ? 1 : 0;
}

int TLog00002Table::Update(TLog00002Record* record) {
  if (!record || !SeekId(record->ID)) {
    Close();
    return 0;
  }
  plat::SystemTime now = plat::local_time();
  std::snprintf(record->TIME, sizeof record->TIME, "%02d:%02d", now.hour, now.minute);
  WriteRecord(record);
  return Close();
}

void TLog00002Table::Fill(const char* filter, const char* sort, TListLines* list) {
  if (!list) return;
  list->ClearLines();
  if (!Open()) return;
  {
    Relation q(Data());
    if (!q.rel) {
      EngineFailed();
      return;
    }
    int rc = relate_query_set(q.rel, filter);
    if (rc >= 0 && sort) rc = relate_sort_set(q.rel, sort);
    if (rc >= 0) rc = relate_bottom(q.rel);
    for (; rc == 0; rc = relate_skip(q.rel, -1)) {
      if (data_is_deleted(Data())) continue;
      TLog00002Record r;
      ReadFields(&r, Data());
      list->AddLine(FormatText("%-12s, %-200s@@%ld", r.DATE, ListLineText(r.TEXT).c_str(), r.ID).c_str());
    }
  }
  EngineFailed();
  Close();
  list->SelectLine(0);
}

void TLog00002Table::FillListOfProgram(long type, long program, TListLines* list) {
  Fill(FormatText("TYPE = %ld .AND. PROGRAM = %ld", type, program).c_str(), nullptr, list);
}

void TLog00002Table::FillList(long program, TListLines* list) {
  Fill(FormatText("PROGRAM = %ld", program).c_str(), "ID", list);
}

int TLog00002Table::ReadOfProgram(long program, long* reason1, long* reason2, long* reason3, long* type,
                                  std::string* date, std::string* time, std::string* user, std::string* memo) {
  for (long* p : {reason1, reason2, reason3, type})
    if (p) *p = 0;
  if (!Open()) return 0;
  int found = 0;
  {
    Relation q(Data());
    if (!q.rel) {
      EngineFailed();
      return 0;
    }
    int rc = relate_query_set(q.rel, FormatText("PROGRAM = %ld", program).c_str());
    if (rc >= 0) rc = relate_bottom(q.rel);
    for (; rc == 0 && !found; rc = relate_skip(q.rel, -1)) {
      if (data_is_deleted(Data())) continue;
      TLog00002Record r;
      ReadFields(&r, Data());
      if (reason1) *reason1 = r.REASON01;
      if (reason2) *reason2 = r.REASON02;
      if (reason3) *reason3 = r.REASON03;
      if (type) *type = r.TYPE;
      if (date) *date = r.DATE;
      if (time) *time = r.TIME;
      if (user) *user = r.USERNAME;
      if (memo) *memo = r.MEMO ? r.MEMO : "";
      found = 1;
      break;
    }
  }
  EngineFailed();
  Close();
  return found;
}

int TLog00002Table::DeleteAllOfProgram(long program) {
  if (!Open()) return 1;
  {
    Relation q(Data());
    if (!q.rel) {
      EngineFailed();
      return 0;
    }
    int rc = relate_query_set(q.rel, FormatText("PROGRAM = %ld", program).c_str());
    if (rc >= 0) rc = relate_top(q.rel);
    for (; rc == 0; rc = relate_skip(q.rel, 1)) data_delete(Data());
  }
  EngineFailed();
  return Close();
}

bool TLog00002Table::GoLastOfProgram(long program) {
  if (!Open()) return false;
  int rc;
  {
    Relation q(Data());
    if (!q.rel) {
      EngineFailed();
      return false;
    }
    rc = relate_query_set(q.rel, FormatText("PROGRAM = %ld", program).c_str());
    if (rc >= 0) rc = relate_bottom(q.rel);
  }
  EngineFailed();
  return rc == 0;
}

int TLog00002Table::BumpSendOfLast(long program) {
  bool found = GoLastOfProgram(program);
  if (found) PutLong(fSEND, FieldLong(fSEND) + 1);
  return Close() && found ? 1 : 0;
}

int TLog00002Table::DeleteLastOfProgram(long program) {
  bool found = GoLastOfProgram(program);
  if (found) data_delete(Data());
  return Close() && found ? 1 : 0;
}
