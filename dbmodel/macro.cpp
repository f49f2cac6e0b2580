// Macros: layout, finds, the machine's macro list and the changes.
#include "dbmodel/macro.h"

#include <cstring>

#include "dbmodel/counter.h"
#include "dbmodel/layout_rebuild.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {

enum { fID = 1, fCONN, fNAME, fMEMO };

}  // namespace

void MacroLayout(FieldInfoList& fields, TagInfoList& tags) {
  fields.add("ID", 'N', 10, 0);
  fields.add("CONN", 'N', 10, 0);
  fields.add("NAME", 'C', 30, 0);
  fields.add("MEMOSTR", 'M', 0, 0);
  tags.add("ID", "ID", nullptr, 20, 0);
}

int TcbMacroTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList fields(DbContext);
  TagInfoList tags(DbContext);
  MacroLayout(fields, tags);
  CreateLayout(fullPath, fields, tags);
  return 1;
}

int TcbMacroTable::NewRecord() { return NewInto(made); }

int TcbMacroTable::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(fID);
  made->CONN = FieldLong(fCONN);
  FieldText(fNAME, made->NAME, sizeof made->NAME);
  made->text = FieldMemo(fMEMO);
  SetCurrent(made);
  return 1;
}

void TcbMacroTable::WriteRow(const TcbMacroRecord* r) {
  PutLong(fID, r->ID);
  PutLong(fCONN, r->CONN);
  PutText(fNAME, r->NAME);
  PutMemo(fMEMO, r->text);
}

TcbMacroRecord* TcbMacroTable::FindById(long id) {
  if (id == 0 || !Open()) return nullptr;
  if (!layout::SeekById(Data(), "ID", 1, id) || !ReadRecord()) return nullptr;
  return made;
}

int TcbMacroTable::FindByConnAndName(long machineId, const char* name) {
  if (machineId == 0 || !name) return 0;
  std::string key(name, strnlen(name, 30));
  key.resize(30, ' ');
  std::string q;
  if (!QuoteFilterText(key, q)) return 0;  // no stored name can hold all three quotes
  if (!Open()) return 0;
  int rc;
  {
    TQueryWalk walk(Data());
    std::string filter = FormatText("CONN = %ld .AND. NAME = ", machineId) + q;
    rc = walk.Valid() ? walk.Top(filter.c_str(), nullptr) : -1;
    // A deleted macro does not hold its name.
    while (rc == 0 && data_is_deleted(Data())) rc = walk.Skip();
  }
  EngineFailed();
  Close();
  return rc == 0 ? 1 : 0;
}

void TcbMacroTable::FillList(long machineId, TListLines* list) {
  if (machineId == 0 || !list) return;
  list->ClearLines();
  if (!Open()) return;
  {
    TQueryWalk walk(Data());
    int rc = walk.Valid() ? walk.Top(FormatText("CONN = %ld", machineId).c_str(), nullptr) : -1;
    for (; rc == 0; rc = walk.Skip()) {
      if (data_is_deleted(Data())) continue;
      char name[32];
      FieldText(fNAME, name, sizeof name);
      list->AddLine(FormatText("%-80s @@%ld", ListLineText(name).c_str(), FieldLong(fID)).c_str());
    }
  }
  EngineFailed();
  Close();
}

TcbMacroRecord* TcbMacroTable::Add(const char* name, const char* text, long machineId) {
  if (machineId == 0 || !name || !text || !Open()) return nullptr;
  if (!NewRecord()) {
    Close();
    return nullptr;
  }
  TcbMacroRecord* r = made;
  r->ID = NextMacroId();
  r->CONN = machineId;
  TrimCopy(r->NAME, name);
  r->text = HeapCopy(text);
  bool ok = r->ID >= 0 && BeginAppend();
  if (ok) {
    WriteRow(r);
    ok = FinishAppend();
  }
  ok = Close() && ok;
  if (!ok) {
    delete r;
    made = nullptr;
  }
  return made;
}

int TcbMacroTable::Update(long id, const char* text) {
  if (!text || !*text) return 0;
  TcbMacroRecord* r = FindById(id);
  if (!r) {
    Close();
    return 0;
  }
  delete[] r->text;
  r->text = HeapCopy(text);
  WriteRow(r);
  delete r;
  made = nullptr;
  return Close();
}

int TcbMacroTable::DeleteById(long id) {
  TcbMacroRecord* r = FindById(id);
  if (r) data_delete(Data());
  delete r;
  made = nullptr;
  int closed = Close();
  return r && closed ? 1 : 0;
}
