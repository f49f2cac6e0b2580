// Id-and-name tables: layout, record reader, finds, list filling and the
// row changes by id.
#include "dbmodel/idname.h"

#include <cstring>

#include "dbmodel/layout_rebuild.h"
#include "engine/engine_api.h"

int TcbIdAndNameTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList fields(DbContext);
  fields.add("ID", 'N', 10, 0);
  fields.add("NAME", 'C', 50, 0);
  TagInfoList tags(DbContext);
  tags.add("ID", "ID", nullptr, 20, 0);
  tags.add("NAME", "NAME", nullptr, 20, 0);
  DbDataFile* d = data_create(DbContext, fullPath, fields.fields(), tags.tags());
  if (d) data_close(d);
  EngineFailed();
  return 1;
}

int TcbIdAndNameTable::NewRecord() { return NewInto(made); }

int TcbIdAndNameTable::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(1);
  FieldText(2, made->NAME, sizeof made->NAME);
  SetCurrent(made);
  return 1;
}

void TcbIdAndNameTable::Fill(TListLines* list, int width) {
  if (!list || !Open()) return;
  list->ClearLines();
  EachLiveRow([&] {
    FieldRef name(Data(), 2);
    std::string text = ListLineText(name.valid() ? std::string(name.ptr(), name.len()) : std::string());
    list->AddLine(FormatText("%-*s@@%ld", width, text.c_str(), FieldLong(1)).c_str());
  });
  list->SelectLine(0);
}

TcbIdAndNameRecord* TcbIdAndNameTable::FindById(long id) { return ReadById("ID", id) ? made : nullptr; }

TcbIdAndNameRecord* TcbIdAndNameTable::FindByName(const char* name) {
  if (!name) return nullptr;
  if (!Open()) return nullptr;
  DbTag* t = data_tag_find(Data(), "NAME");
  TcbIdAndNameRecord* found = nullptr;
  if (t) {
    data_tag_select(Data(), t);
    char key[51];
    CopyCut(key, sizeof key, name);
    size_t n = std::strlen(key);
    int rc = data_seek(Data(), key);
    // A deleted row answers no more; the next key may still match.
    while (rc == 0 && data_is_deleted(Data())) {
      rc = data_skip(Data(), 1);
      FieldRef f(Data(), 2);
      if (rc == 0 && (!f.valid() || f.len() < n || std::memcmp(f.ptr(), key, n) != 0)) rc = 2;
    }
    if (rc == 0 && ReadRecord()) found = made;
  }
  EngineFailed();
  Close();
  return found;
}

bool TcbIdAndNameTable::FreeDeletedName(const char* name) {
  // A file without the tag has no unique key to hold the name.
  if (!layout::HasTag(Data(), "NAME")) return true;
  data_tag_select(Data(), data_tag_find(Data(), "NAME"));
  std::string key = PadText(name, 50);
  if (data_seek(Data(), key.c_str()) != 0 || !data_is_deleted(Data())) {
    EngineFailed();
    return true;
  }
  PutText(2, FormatText("~%ld", FieldLong(1)).c_str());
  bool ok = data_flush(Data()) == 0;
  return !EngineFailed() && ok;
}

TcbIdAndNameRecord* TcbIdAndNameTable::Add(TcbIdAndNameRecord* record) {
  if (!record) return nullptr;
  if (!Open()) return nullptr;
  if (!FreeDeletedName(record->NAME)) {
    Close();
    return nullptr;
  }
  bool ok = AppendAndClose([&] {
    PutLong(1, record->ID);
    PutText(2, record->NAME);
  });
  return ok ? record : nullptr;
}

int TcbIdAndNameTable::Update(TcbIdAndNameRecord* record) {
  if (!record) return 0;
  if (!Open()) return 0;
  if (!FreeDeletedName(record->NAME)) {
    Close();
    return 0;
  }
  return ChangeFound(FindById(record->ID), made, [&](TcbIdAndNameRecord*) {
    PutLong(1, record->ID);
    PutText(2, record->NAME);
  });
}

int TcbIdAndNameTable::Rename(long id, const char* name) {
  if (id == 0 || !name) return 0;
  if (!Open()) return 0;
  if (!FreeDeletedName(name)) {
    Close();
    return 0;
  }
  return ChangeFound(FindById(id), made, [&](TcbIdAndNameRecord*) { PutText(2, name); });
}

int TcbIdAndNameTable::Delete(TcbIdAndNameRecord* record) {
  if (!record) return 0;
  return ChangeFound(FindById(record->ID), made, [&](TcbIdAndNameRecord*) { data_delete(Data()); });
}

int TcbIdAndNameTable::DeleteById(long id) {
  if (!Open()) return 0;
  if (SeekNumber("ID", static_cast<double>(id))) data_delete(Data());
  return Close();
}
