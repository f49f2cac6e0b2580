// DNC settings rows and the picture table.
#include "dbmodel/dncset.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "dbmodel/layout_rebuild.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

int TTramox01Table::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList fields(DbContext);
  fields.add("ID", 'N', 10, 0);
  for (int i = 1; i <= TTramox01Record::kTexts; i++)
    fields.add(FormatText("C%02d", i).c_str(), 'C', 60, 0);
  TagInfoList tags(DbContext);
  tags.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, fields, tags);
  return 1;
}

int TTramox01Table::NewRecord() { return NewInto(made); }

int TTramox01Table::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(1);
  for (int i = 0; i < TTramox01Record::kTexts; i++)
    FieldText(i + 2, made->text[i], TTramox01Record::kTextSize);
  SetCurrent(made);
  return 1;
}

int TTramox01Table::WriteRecord(const TTramox01Record* r, DbDataFile* d) {
  if (!r || !d) return 0;
  layout::PutLong(d, 1, r->ID);
  for (int i = 0; i < TTramox01Record::kTexts; i++) layout::PutText(d, i + 2, r->text[i]);
  return 1;
}

TTramox01Record* TTramox01Table::FindById(long id) {
  if (!Open()) return nullptr;
  if (!layout::SeekById(Data(), "ID", 1, id) || !ReadRecord()) return nullptr;
  return made;
}

int TTramox01Table::Append(const TTramox01Record* record) {
  if (!record || !Open()) return 0;
  return AppendAndClose([&] { WriteRecord(record, Data()); }) ? 1 : 0;
}

int TTramox01Table::Update(const TTramox01Record* record) {
  if (!record) return 0;
  TTramox01Record* found = FindById(record->ID);
  if (!found) return 0;
  WriteRecord(record, Data());
  delete found;
  made = nullptr;
  return Close();
}

void ParseCodeList(char* dest, const char* text, int* count) {
  if (count) *count = 0;
  if (!text || !*text || !dest) return;
  dest[0] = 0;
  std::string s = text;
  if (!s.empty() && s.back() == ',') s.pop_back();
  size_t p = s.find_first_not_of(',');
  int n = 0;
  while (p != std::string::npos && p < s.size() && n < 59) {
    dest[n++] = static_cast<char>(std::strtol(s.c_str() + p, nullptr, 10));
    size_t comma = s.find(',', p);
    p = comma == std::string::npos ? comma : comma + 1;
  }
  dest[n] = 0;
  if (count) *count = n;
}

int TPictureTable::CreateTable(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList fields(DbContext);
  fields.add("PROG", 'N', 10, 0);
  fields.add("DESCRIPT", 'C', 30, 0);
  fields.add("FILENAME", 'C', 250, 0);
  fields.add("MEMO", 'M', 0, 0);
  TagInfoList tags(DbContext);
  CreateLayout(fullPath, fields, tags);
  return 1;
}

int TPictureTable::DeleteProgramPictures(long programId) {
  if (programId == 0 || !Open()) return 0;
  bool ok;
  {
    TQueryWalk walk(Data());
    int rc = walk.Valid() ? walk.Top(FormatText("PROG = %ld", programId).c_str(), nullptr) : -1;
    for (; rc == 0; rc = walk.Skip()) data_delete(Data());
    ok = rc >= 0;
  }
  if (EngineFailed()) ok = false;
  return Close() && ok ? 1 : 0;
}
