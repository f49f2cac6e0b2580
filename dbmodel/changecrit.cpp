// Change criteria: layout, lists of a base type, add, rename and deletes.
#include <cstring>
#include <vector>

#include "dbmodel/changecrit.h"
#include "dbmodel/counter.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {
enum { fID = 1, fTYPE, fNAME };
}

int TcbLogChangeTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  f.add("ID", 'N', 10, 0);
  f.add("TYPE", 'N', 10, 0);
  f.add("NAME", 'C', 50, 0);
  TagInfoList t(DbContext);
  t.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

void TcbLogChangeTable::WriteRecord(const TcbLogChangeRecord* r) {
  PutLong(fID, r->ID);
  PutLong(fTYPE, r->TYPE);
  PutText(fNAME, r->NAME);
}

int TcbLogChangeTable::SeekId(long id) {
  if (id == 0 || !Open()) return 0;
  return SeekNumber("ID", static_cast<double>(id)) ? 1 : 0;
}

char* TcbLogChangeTable::GetName(long id) {
  char* copy = nullptr;
  if (SeekId(id)) {
    char name[51];
    FieldText(fNAME, name, sizeof name);
    copy = HeapCopy(name);
  }
  EngineFailed();
  Close();
  return copy;
}

void TcbLogChangeTable::FillListOfType(TListLines* list, long type) {
  if (list) Fill({list}, type, false, 0);
}

void TcbLogChangeTable::FillThreeLists(TListLines* list1, TListLines* list2, TListLines* list3, long type) {
  std::vector<TListLines*> lists;
  for (TListLines* l : {list1, list2, list3})
    if (l) lists.push_back(l);
  Fill(lists, type, true, 0);
}

void TcbLogChangeTable::Fill(const std::vector<TListLines*>& lists, long type, bool emptyLine, long selectId) {
  for (TListLines* l : lists) l->ClearLines();
  if (!Open()) return;
  int select = 0, count = 0;
  {
    TQueryWalk walk(Data());
    if (!walk.Valid()) {
      EngineFailed();
      return;
    }
    for (int rc = walk.Top(FormatText("TYPE = %ld", type).c_str(), nullptr); rc == 0; rc = walk.Skip()) {
      if (data_is_deleted(Data())) continue;
      char name[51];
      FieldText(fNAME, name, sizeof name);
      long id = FieldLong(fID);
      if (selectId && id == selectId) select = count;
      count++;
      std::string line = FormatText("%-100s, @@%ld", ListLineText(name).c_str(), id);
      for (TListLines* l : lists) l->AddLine(line.c_str());
    }
  }
  EngineFailed();
  Close();
  for (TListLines* l : lists) {
    if (emptyLine) l->AddLine("");
    l->SelectLine(select);
  }
}

long TcbLogChangeTable::Add(long type, const char* name, TListLines* list) {
  if (!Open()) return 0;
  long id = NextChangeCriterionId();
  if (id <= 0) {
    Close();
    return 0;
  }
  TcbLogChangeRecord r;
  r.ID = id;
  r.TYPE = type;
  TrimCopy(r.NAME, name);
  bool ok = AppendAndClose([&] { WriteRecord(&r); });
  if (!ok) return 0;
  // The list shows the type's criteria with the new one selected.
  if (list) Fill({list}, type, false, id);
  return id;
}

int TcbLogChangeTable::Rename(long id, const char* name) {
  if (!name) return 0;
  bool found = SeekId(id);
  if (found) PutText(fNAME, name);
  return Close() && found ? 1 : 0;
}

int TcbLogChangeTable::DeleteById(long id) {
  bool found = SeekId(id);
  if (found) data_delete(Data());
  return Close() && found ? 1 : 0;
}

int TcbLogChangeTable::DeleteAllOfType(long type) {
  if (!Open()) return 0;
  {
    TQueryWalk walk(Data());
    if (!walk.Valid()) {
      EngineFailed();
      return 0;
    }
    for (int rc = walk.Top(FormatText("TYPE = %ld", type).c_str(), nullptr); rc == 0; rc = walk.Skip())
      data_delete(Data());
  }
  EngineFailed();
  return Close();
}
