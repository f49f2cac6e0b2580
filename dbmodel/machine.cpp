// Machines: layout, finds, changes and the machine lists.
#include "dbmodel/machine.h"

#include <cstring>

#include "dbmodel/counter.h"
#include "dbmodel/layout_rebuild.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {

enum { fID = 1, fTYPE, fNAME, fDESC, fPATH, fMAZAK };

}  // namespace

void MachineLayout(FieldInfoList& fields, TagInfoList& tags) {
  fields.add("ID", 'N', 10, 0);
  fields.add("TYPE", 'N', 10, 0);
  fields.add("NAME", 'C', 20, 0);
  fields.add("DESC", 'C', 40, 0);
  fields.add("PATH", 'C', 100, 0);
  fields.add("MAZAK", 'L', 1, 0);
  tags.add("ID", "ID", nullptr, 20, 0);
  tags.add("NAME", "NAME", nullptr, 20, 0);
  tags.add("TYPE", "TYPE", nullptr, 0, 0);
}

int TcbMachTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList fields(DbContext);
  TagInfoList tags(DbContext);
  MachineLayout(fields, tags);
  CreateLayout(fullPath, fields, tags);
  return 1;
}

int TcbMachTable::NewRecord() { return NewInto(made); }

int TcbMachTable::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(fID);
  made->TYPE = FieldLong(fTYPE);
  FieldText(fNAME, made->NAME, sizeof made->NAME);
  FieldText(fDESC, made->DESC, sizeof made->DESC);
  FieldText(fPATH, made->PATH, sizeof made->PATH);
  made->MAZAK = FieldTrue(fMAZAK);
  SetCurrent(made);
  return 1;
}

void TcbMachTable::WriteRow(const TcbMachRecord* r) {
  PutLong(fID, r->ID);
  PutLong(fTYPE, r->TYPE);
  PutText(fNAME, r->NAME);
  PutText(fDESC, r->DESC);
  PutText(fPATH, r->PATH);
  PutLogical(fMAZAK, r->MAZAK);
}

TcbMachRecord* TcbMachTable::FindById(long id) {
  if (id == 0 || !Open()) return nullptr;
  if (!layout::SeekById(Data(), "ID", 1, id) || !ReadRecord()) return nullptr;
  return made;
}

bool TcbMachTable::SeekName(const char* name) {
  std::string key(name, strnlen(name, 20));
  key.resize(20, ' ');
  int rc;
  if (layout::HasTag(Data(), "NAME")) {
    data_tag_select(Data(), data_tag_find(Data(), "NAME"));
    rc = data_seek(Data(), key.c_str());
  } else {
    // A file without the tag: the same match through a query.
    std::string q;
    if (!QuoteFilterText(key, q)) return false;
    TQueryWalk walk(Data());
    rc = walk.Valid() ? walk.Top(("NAME = " + q).c_str(), nullptr) : -1;
    while (rc == 0 && data_is_deleted(Data())) rc = walk.Skip();
  }
  EngineFailed();
  return rc == 0;
}

bool TcbMachTable::FreeDeletedName(const char* name) {
  if (!SeekName(name) || !data_is_deleted(Data())) return true;
  // A deleted machine still holds its name in the unique tag; it gives the
  // name up so that a new machine can take it.
  PutText(fNAME, FormatText("~%ld", FieldLong(fID)).c_str());
  bool ok = data_flush(Data()) == 0;
  return !EngineFailed() && ok;
}

TcbMachRecord* TcbMachTable::FindByName(const char* name) {
  if (!name || !Open()) return nullptr;
  if (!SeekName(name) || data_is_deleted(Data()) || !ReadRecord()) return nullptr;
  return made;
}

long TcbMachTable::ExistsByName(const char* name) {
  TcbMachRecord* r = FindByName(name);
  long id = r ? r->ID : 0;
  delete r;
  made = nullptr;
  Close();
  return id;
}

char* TcbMachTable::GetNameCopy(long id) {
  TcbMachRecord* r = FindById(id);
  char* copy = r ? HeapCopy(r->NAME) : nullptr;
  delete r;
  made = nullptr;
  Close();
  return copy;
}

char* TcbMachTable::GetPath(long id) {
  if (id == 0 || !Open()) return nullptr;
  char* copy = nullptr;
  if (layout::SeekById(Data(), "ID", 1, id)) {
    char path[102];
    FieldText(fPATH, path, sizeof path);
    copy = HeapCopy(path);
  }
  Close();
  return copy;
}

TcbMachRecord* TcbMachTable::SelectByType(long typeId) {
  if (typeId == 0 || !Open()) return nullptr;
  FreeRecords();
  bool ok = true;
  {
    TQueryWalk walk(Data());
    int rc = walk.Valid() ? walk.Top(FormatText("TYPE = %ld", typeId).c_str(), nullptr) : -1;
    while (ok && rc == 0) {
      ok = AddCurrent();
      rc = walk.Skip();
    }
    if (rc < 0) ok = false;
  }
  EngineFailed();
  Close();
  if (!ok) {
    FreeRecords();
    return nullptr;
  }
  return static_cast<TcbMachRecord*>(First());
}

int TcbMachTable::Add(const char* name, long typeId, const char* desc, const char* path,
                      int mazak) {
  if (!name || !desc || !path || !Open()) return 0;
  TcbMachRecord r;
  // Drawn before the append: the counter file is never locked while this
  // file holds its append lock.
  r.ID = NextMachineId();
  if (r.ID < 0) {
    Close();
    return 0;
  }
  r.TYPE = typeId;
  TrimCopy(r.NAME, name);
  TrimCopy(r.DESC, desc);
  TrimCopy(r.PATH, path);
  r.MAZAK = mazak ? 1 : 0;
  if (!FreeDeletedName(r.NAME) || !BeginAppend()) {
    Close();
    return 0;
  }
  WriteRow(&r);
  bool ok = FinishAppend();
  return Close() && ok ? 1 : 0;
}

int TcbMachTable::Update(long id, const char* name, long typeId, const char* desc,
                         const char* path, int mazak) {
  TcbMachRecord* r = FindById(id);
  if (!r) {
    Close();
    return 0;
  }
  if (name && *name) TrimCopy(r->NAME, name);
  if (desc && *desc) TrimCopy(r->DESC, desc);
  if (path && *path) TrimCopy(r->PATH, path);
  r->TYPE = typeId;
  r->MAZAK = mazak ? 1 : 0;
  long recno = data_recno(Data());
  bool ok = FreeDeletedName(r->NAME) && data_go(Data(), recno) == 0;
  if (ok) WriteRow(r);
  delete r;
  made = nullptr;
  EngineFailed();
  return Close() && ok ? 1 : 0;
}

int TcbMachTable::DeleteById(long id) {
  TcbMachRecord* r = FindById(id);
  if (r) data_delete(Data());
  delete r;
  made = nullptr;
  int closed = Close();
  return r && closed ? 1 : 0;
}

void TcbMachTable::Fill(TListLines* list, int kind) {
  if (!list) return;
  list->ClearLines();
  if (Open()) {
    EachLiveRow([&] {
      char name[22];
      FieldText(fNAME, name, sizeof name);
      if (kind == 0)
        list->AddLine(name);
      else if (kind == 1)
        list->AddLine(FormatText("%-100s @@%ld", ListLineText(name).c_str(), FieldLong(fID)).c_str());
      else
        list->AddLine(
            FormatText("%-100s @@%ld$$%ld", ListLineText(name).c_str(), FieldLong(fID), FieldLong(fTYPE)).c_str());
    });
  }
  list->SelectLine(0);
}

void TcbMachTable::FillNameList(TListLines* list) { Fill(list, 0); }
void TcbMachTable::FillList(TListLines* list) { Fill(list, 1); }
void TcbMachTable::FillListWithType(TListLines* list) { Fill(list, 2); }

void TcbMachTable::FillListOfType(TListLines* list, long typeId) {
  if (!list || typeId == 0 || !Open()) return;
  {
    TQueryWalk walk(Data());
    int rc = walk.Valid() ? walk.Top(FormatText("TYPE = %ld", typeId).c_str(), nullptr) : -1;
    if (rc >= 0) {
      list->ClearLines();
      for (; rc == 0; rc = walk.Skip()) {
        if (data_is_deleted(Data())) continue;
        char name[22];
        FieldText(fNAME, name, sizeof name);
        list->AddLine(FormatText("%-100s @@%ld", ListLineText(name).c_str(), FieldLong(fID)).c_str());
      }
      list->SelectLine(0);
    }
  }
  EngineFailed();
  Close();
}
