// System log: layout, append with a new id and today's date, the lists of
// one or two event types, deletes by id.
#include "dbmodel/counter.h"
#include "dbmodel/query_walk.h"
#include "dbmodel/syslog.h"
#include "engine/engine_api.h"

namespace {
enum { fID = 1, fTYPE, fSTAT, fTEXT, fDATE };
}

void LogDateText(DbDataFile* data, int fieldNo, char* out, size_t size) {
  FieldRef f(data, fieldNo);
  char date[9] = "        ";
  if (f.valid() && f.len() >= 8) std::string(f.ptr(), 8).copy(date, 8);
  char shown[32] = {};
  date_format(date, shown, "DD/MM-CCYY");
  CopyCut(out, size, shown);
}

int TLogTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  f.add("ID", 'N', 10, 0);
  f.add("TYPE", 'N', 10, 0);
  f.add("STAT", 'N', 10, 0);
  f.add("TEXT", 'C', 200, 0);
  f.add("DATE", 'D', 8, 0);
  TagInfoList t(DbContext);
  t.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

int TLogTable::NewRecord() { return NewInto(made); }

int TLogTable::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(fID);
  made->TYPE = FieldLong(fTYPE);
  made->STAT = FieldLong(fSTAT);
  FieldText(fTEXT, made->TEXT, sizeof made->TEXT);
  LogDateText(Data(), fDATE, made->DATE, sizeof made->DATE);
  SetCurrent(made);
  return 1;
}

void TLogTable::WriteRecord(const TLogRecord* r) {
  PutLong(fID, r->ID);
  PutLong(fTYPE, r->TYPE);
  PutLong(fSTAT, r->STAT);
  PutText(fTEXT, r->TEXT);
  char today[9] = {};  // the date has no terminator of its own
  date_today(today);
  PutText(fDATE, today);
}

int TLogTable::Append(TLogRecord* record) {
  if (!record) return 0;
  // No id is drawn for a file that does not open.
  if (!Open()) return 0;
  long id = NextSystemLogId();
  if (id <= 0) {
    Close();
    return 0;
  }
  return AppendAndClose([&] {
    record->ID = id;
    WriteRecord(record);
  }) ? 1 : 0;
}

int TLogTable::DeleteById(long id) {
  if (!Open()) return 0;
  bool found = SeekNumber("ID", static_cast<double>(id));
  if (found) data_delete(Data());
  return Close() && found ? 1 : 0;
}

void TLogTable::Fill(const char* filter, TListLines* list) {
  if (!list) return;
  list->ClearLines();
  if (!Open()) return;
  auto add = [&] {
    if (data_is_deleted(Data())) return;
    char date[50], text[201];
    LogDateText(Data(), fDATE, date, sizeof date);
    FieldText(fTEXT, text, sizeof text);
    list->AddLine(FormatText("%s, %8ld , %-200s, @@%ld", date, FieldLong(fSTAT), ListLineText(text).c_str(),
                             FieldLong(fID)).c_str());
  };
  if (filter) {
    TQueryWalk walk(Data());
    if (!walk.Valid()) {
      EngineFailed();
      return;
    }
    for (int rc = walk.Top(filter, nullptr); rc == 0; rc = walk.Skip()) add();
  } else {
    for (int rc = data_top(Data()); rc == 0; rc = data_skip(Data(), 1)) add();
  }
  EngineFailed();
  Close();
  list->SelectLine(0);
}

void TLogTable::FillListOfType(long type, TListLines* list) {
  Fill(FormatText("TYPE = %ld", type).c_str(), list);
}

void TLogTable::FillListOfTwoTypes(long type1, long type2, TListLines* list) {
  Fill(FormatText("TYPE = %ld .OR. TYPE = %ld", type1, type2).c_str(), list);
}

void TLogTable::FillList(TListLines* list) { Fill(nullptr, list); }

TLogRecord* TLogTable::FindById(long id) {
  if (id == 0 || !Open()) return nullptr;
  TLogRecord* found = nullptr;
  if (SeekNumber("ID", static_cast<double>(id)) && ReadRecord()) found = made;
  EngineFailed();
  Close();
  return found;
}
