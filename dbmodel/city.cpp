// Cities: layout, reader, finds, the country query and row changes. The
// layout has no tag on NAME, so the find by name walks the file.
#include <cstring>

#include "dbmodel/city.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {
enum { fID = 1, fNAME, fZIP, fCOUNTRY };
}

int TcbCityTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  f.add("ID", 'N', 10, 0);
  f.add("NAME", 'C', 40, 0);
  f.add("ZIP", 'C', 15, 0);
  f.add("COUNTRY", 'N', 10, 0);
  TagInfoList t(DbContext);
  t.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

int TcbCityTable::NewRecord() { return NewInto(made); }

int TcbCityTable::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(fID);
  FieldText(fNAME, made->NAME, sizeof made->NAME);
  FieldText(fZIP, made->ZIP, sizeof made->ZIP);
  made->COUNTRY = FieldLong(fCOUNTRY);
  SetCurrent(made);
  return 1;
}

void TcbCityTable::WriteRow(const TcbCityRecord* r) {
  PutLong(fID, r->ID);
  PutText(fNAME, r->NAME);
  PutText(fZIP, r->ZIP);
  PutLong(fCOUNTRY, r->COUNTRY);
}

TcbCityRecord* TcbCityTable::FindById(long id) { return ReadById("ID", id) ? made : nullptr; }

TcbCityRecord* TcbCityTable::FindByName(const char* name) {
  if (!name || !Open()) return nullptr;
  size_t n = std::strlen(name);
  DbDataFile* d = Data();
  int rc = data_top(d);
  for (; rc == 0; rc = data_skip(d, 1)) {
    FieldRef f(d, fNAME);
    if (data_is_deleted(d) || !f.valid() || n > f.len()) continue;
    if (std::memcmp(f.ptr(), name, n) == 0) break;
  }
  if (rc < 0) EngineFailed();
  if (rc != 0) return nullptr;
  return ReadRecord() ? made : nullptr;
}

TcbCityRecord* TcbCityTable::SelectByCountry(long country) {
  return RunQuery(FormatText("COUNTRY = %ld", country).c_str(), "NAME");
}

TcbCityRecord* TcbCityTable::RunQuery(const char* filter, const char* sort) {
  if (!filter || !Open()) return nullptr;
  made = static_cast<TcbCityRecord*>(CollectQuery(filter, sort, 1));
  return made;
}

TcbCityRecord* TcbCityTable::AppendRecord(TcbCityRecord* record) {
  if (!record || !Open()) return nullptr;
  return AppendAndClose([&] { WriteRow(record); }) ? record : nullptr;
}

int TcbCityTable::Update(TcbCityRecord* record) {
  if (!record) return 0;
  return ChangeFound(FindById(record->ID), made, [&](TcbCityRecord*) { WriteRow(record); });
}

int TcbCityTable::DeleteRecord(TcbCityRecord* record) {
  if (!record) return 0;
  return ChangeFound(FindById(record->ID), made, [&](TcbCityRecord*) { data_delete(Data()); });
}
