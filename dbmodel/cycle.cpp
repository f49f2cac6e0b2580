// Cycle headers: layout, reader, the machine's list, finds and changes.
#include "dbmodel/counter.h"
#include "dbmodel/customer.h"
#include "dbmodel/cycle.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {
enum { fID = 1, fCONN = 2, fNAME = 3 };
}

int TcbCycleTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  f.add("ID", 'N', 10, 0);
  f.add("CONN", 'N', 10, 0);
  f.add("NAME", 'C', 50, 0);
  TagInfoList t(DbContext);
  t.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

int TcbCycleTable::NewRecord() { return NewInto(made); }

int TcbCycleTable::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(fID);
  made->CONN = FieldLong(fCONN);
  FieldText(fNAME, made->NAME, sizeof made->NAME);
  SetCurrent(made);
  return 1;
}

void TcbCycleTable::WriteRecord(const TcbCycleRecord* r) {
  PutLong(fID, r->ID);
  PutLong(fCONN, r->CONN);
  PutText(fNAME, r->NAME);
}

TcbCycleRecord* TcbCycleTable::FindById(long id) { return ReadById("ID", id) ? made : nullptr; }

void TcbCycleTable::FillList(long machine, TListLines* list) {
  if (!list || !Open()) return;
  {
    TQueryWalk walk(Data());
    if (!walk.Valid()) {
      EngineFailed();
      return;
    }
    list->ClearLines();
    int rc = walk.Top(FormatText("CONN = %ld", machine).c_str(), nullptr);
    for (; rc == 0; rc = walk.Skip()) {
      if (data_is_deleted(Data())) continue;
      char name[51];
      FieldText(fNAME, name, sizeof name);
      list->AddLine(FormatText("%-80s@@%ld", ListLineText(name).c_str(), FieldLong(fID)).c_str());
    }
  }
  EngineFailed();
  Close();
}

long TcbCycleTable::Add(long machine, const char* name) {
  if (!Open()) return 0;
  long id = NextCycleId();
  if (id <= 0) {
    Close();
    return 0;
  }
  TcbCycleRecord r;
  r.ID = id;
  r.CONN = machine;
  TrimCopy(r.NAME, name);
  return AppendAndClose([&] { WriteRecord(&r); }) ? id : 0;
}

int TcbCycleTable::FindByConnAndName(long machine, const char* name) {
  if (machine == 0 || !name) return 0;
  std::string q;
  if (!QuoteSearchText(PadText(name, 50), q)) return 0;
  if (!Open()) return 0;
  // A deleted cycle does not hold on to its name.
  std::string filter = FormatText("CONN = %ld .AND. NAME = %s", machine, q.c_str());
  int found = AtFirstLive(filter.c_str(), [] {});
  if (found < 0) return 0;
  Close();
  return found;
}

int TcbCycleTable::DeleteById(long id) {
  return ChangeFound(FindById(id), made, [&](TcbCycleRecord*) { data_delete(Data()); });
}

int TcbCycleTable::Rename(long id, const char* name) {
  return ChangeFound(FindById(id), made, [&](TcbCycleRecord* found) {
    TrimCopy(found->NAME, name);
    WriteRecord(found);
  });
}
