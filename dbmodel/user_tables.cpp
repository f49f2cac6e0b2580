// Users and account types: layouts, the built-in rows, list lines, finds
// and the changes the logon and the user dialogs make.
#include "dbmodel/user_tables.h"

#include <algorithm>
#include <cstring>

#include "dbmodel/counter.h"
#include "dbmodel/layout_rebuild.h"
#include "engine/engine_api.h"

namespace {

enum { aID = 1, aNAME, aUR1, aUR2, aUR3 };
enum { uID = 1, uTYPE, uNAME, uPASS, uFNAM, uLNAM };

std::string Upper(const char* text) {
  std::string s = text ? text : "";
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Trimmed copy of a text, the form the fields keep.
std::string Trimmed(const char* text) {
  std::string s = text ? text : "";
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

// A file that has no rows yet gets its built-in row.
void FillNewFile(const char* fullPath, const std::function<void(DbDataFile*)>& write) {
  DbDataFile* d = data_open(DbContext, fullPath);
  if (!d) {
    layout::ClearError();
    return;
  }
  if (data_reccount(d) == 0) layout::AppendRow(d, [&] { write(d); });
  data_close(d);
  layout::ClearError();
}

}  // namespace

// ---- account types ------------------------------------------------------------

int TAccountTable::NewRecord() { return NewInto(made); }

int TAccountTable::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(aID);
  FieldText(aNAME, made->NAME, sizeof made->NAME);
  made->UR1 = static_cast<int32_t>(FieldLong(aUR1));
  made->UR2 = static_cast<int32_t>(FieldLong(aUR2));
  made->UR3 = static_cast<int32_t>(FieldLong(aUR3));
  SetCurrent(made);
  return 1;
}

int TAccountTable::CreateTable(const char* fileName) {
  if (!fileName) return 1;
  FieldInfoList fields(DbContext);
  fields.add("ID", 'N', 10, 0);
  fields.add("NAME", 'C', 50, 0);
  for (const char* n : {"UR1", "UR2", "UR3"}) fields.add(n, 'N', 11, 0);
  TagInfoList tags(DbContext);
  tags.add("ID", "ID", nullptr, 20, 0);
  tags.add("NAME", "NAME", nullptr, 20, 0);
  CreateLayout(fileName, fields, tags);
  FillNewFile(fileName, [](DbDataFile* d) {
    layout::PutLong(d, aID, kAdminTypeId);
    layout::PutText(d, aNAME, kAdminTypeName);
    for (int f : {aUR1, aUR2, aUR3}) layout::PutLong(d, f, kAllRights);
  });
  return 1;
}

void TAccountTable::FillList(TListLines* list) {
  if (list) list->ClearLines();
  if (!list || !Open()) return;
  EachLiveRow([&] {
    char name[51];
    FieldText(aNAME, name, sizeof name);
    list->AddLine(FormatText("%-100s@@%ld", ListLineText(name).c_str(), FieldLong(aID)).c_str());
  });
  list->SelectLine(0);
}

int TAccountTable::LoadRights(long typeId, int32_t& ur1, int32_t& ur2, int32_t& ur3) {
  ur1 = ur2 = ur3 = 0;
  if (typeId == 0 || !Open()) return 0;
  int found = 0;
  if (layout::SeekById(Data(), "ID", aID, typeId) && !data_is_deleted(Data())) {
    ur1 = static_cast<int32_t>(FieldLong(aUR1));
    ur2 = static_cast<int32_t>(FieldLong(aUR2));
    ur3 = static_cast<int32_t>(FieldLong(aUR3));
    found = 1;
  }
  EngineFailed();
  Close();
  return found;
}

int TAccountTable::SaveRights(long typeId, int32_t ur1, int32_t ur2, int32_t ur3) {
  if (typeId == 0 || !Open()) return 0;
  if (!layout::SeekById(Data(), "ID", aID, typeId) || data_is_deleted(Data())) {
    Close();
    return 0;
  }
  PutLong(aUR1, ur1);
  PutLong(aUR2, ur2);
  PutLong(aUR3, ur3);
  return Close();
}

long TAccountTable::FindName(const char* name, long exceptId) {
  std::string key = Upper(Trimmed(name).c_str());
  if (!Open()) return 0;
  long hit = 0;
  EachLiveRow([&] {
    char stored[51];
    FieldText(aNAME, stored, sizeof stored);
    long id = FieldLong(aID);
    if (!hit && id != exceptId && Upper(stored) == key) hit = id;
  });
  return hit;
}

std::vector<long> TAccountTable::AllRightsTypes() {
  std::vector<long> ids;
  if (!Open()) return ids;
  EachLiveRow([&] {
    if (static_cast<int32_t>(FieldLong(aUR1)) == kAllRights) ids.push_back(FieldLong(aID));
  });
  return ids;
}

// ---- users -----------------------------------------------------------------------

int TUserInfoTable::NewRecord() { return NewInto(made); }

int TUserInfoTable::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(uID);
  made->TYPE = FieldLong(uTYPE);
  FieldText(uNAME, made->NAME, sizeof made->NAME);
  FieldText(uPASS, made->PASS, sizeof made->PASS);
  FieldText(uFNAM, made->FNAM, sizeof made->FNAM);
  FieldText(uLNAM, made->LNAM, sizeof made->LNAM);
  SetCurrent(made);
  return 1;
}

int TUserInfoTable::CreateTable(const char* fileName) {
  if (!fileName) return 1;
  FieldInfoList fields(DbContext);
  fields.add("ID", 'N', 10, 0);
  fields.add("TYPE", 'N', 10, 0);
  fields.add("NAME", 'C', 8, 0);
  fields.add("PASS", 'C', 8, 0);
  fields.add("FNAM", 'C', 40, 0);
  fields.add("LNAM", 'C', 40, 0);
  TagInfoList tags(DbContext);
  tags.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fileName, fields, tags);
  FillNewFile(fileName, [](DbDataFile* d) {
    layout::PutLong(d, uID, kAdminUserId);
    layout::PutLong(d, uTYPE, kAdminTypeId);
    layout::PutText(d, uNAME, kAdminLogin);
    layout::PutText(d, uPASS, kAdminLogin);
    layout::PutText(d, uFNAM, kAdminDisplayName);
    layout::PutText(d, uLNAM, kAdminDisplayName);
  });
  return 1;
}

void TUserInfoTable::WriteFields(long typeId, const char* name, const char* password,
                                 const char* firstName, const char* lastName) {
  PutLong(uTYPE, typeId);
  PutText(uNAME, Trimmed(name).c_str());
  PutText(uPASS, password ? password : "");
  PutText(uFNAM, Trimmed(firstName).c_str());
  PutText(uLNAM, Trimmed(lastName).c_str());
}

long TUserInfoTable::AddUser(long typeId, const char* name, const char* password,
                             const char* firstName, const char* lastName) {
  // The id is drawn before this file is opened: the two files are never
  // locked together.
  long id = NextUserId();
  if (id <= 0 || !Open()) return 0;
  bool ok = AppendAndClose([&] {
    PutLong(uID, id);
    WriteFields(typeId, name, password, firstName, lastName);
  });
  return ok ? id : 0;
}

int TUserInfoTable::UpdateUser(long userId, long typeId, const char* name, const char* password,
                               const char* firstName, const char* lastName) {
  if (userId == 0 || !Open()) return 0;
  if (!layout::SeekById(Data(), "ID", uID, userId) || data_is_deleted(Data())) {
    Close();
    return 0;
  }
  WriteFields(typeId, name, password, firstName, lastName);
  return Close();
}

int TUserInfoTable::SetPassword(const TUserInfoRecord* record) {
  if (!record || record->ID == 0 || !Open()) return 0;
  if (!layout::SeekById(Data(), "ID", uID, record->ID) || data_is_deleted(Data())) {
    Close();
    return 0;
  }
  PutLong(uID, record->ID);
  WriteFields(record->TYPE, record->NAME, record->PASS, record->FNAM, record->LNAM);
  return Close();
}

int TUserInfoTable::DeleteUser(long userId) {
  if (userId == 0 || !Open()) return 0;
  if (!layout::SeekById(Data(), "ID", uID, userId) || data_is_deleted(Data())) {
    Close();
    return 0;
  }
  data_delete(Data());
  return Close();
}

void TUserInfoTable::FillList(TListLines* list, long typeId) {
  if (list) list->ClearLines();
  if (!list || !Open()) return;
  EachLiveRow([&] {
    if (FieldLong(uTYPE) != typeId) return;
    char first[41], last[41];
    FieldText(uFNAM, first, sizeof first);
    FieldText(uLNAM, last, sizeof last);
    list->AddLine(FormatText("%s %-80s @@%ld", ListLineText(first).c_str(), ListLineText(last).c_str(),
                             FieldLong(uID))
                      .c_str());
  });
  list->SelectLine(0);
}

void TUserInfoTable::FillLogonList(TListLines* list) {
  if (list) list->ClearLines();
  if (!list || !Open()) return;
  EachLiveRow([&] {
    char name[9];
    FieldText(uNAME, name, sizeof name);
    list->AddLine(FormatText("%-80s @@%ld", ListLineText(name).c_str(), FieldLong(uID)).c_str());
  });
  list->SelectLine(0);
}

long TUserInfoTable::FirstLive(const std::function<bool()>& row) {
  if (!Open()) return 0;
  long hit = 0;
  EachLiveRow([&] {
    if (!hit && row()) hit = FieldLong(uID);
  });
  return hit;
}

int TUserInfoTable::CountOfType(long typeId) {
  return FirstLive([&] { return FieldLong(uTYPE) == typeId; }) != 0 ? 1 : 0;
}

TUserInfoRecord* TUserInfoTable::ReadUser(long userId) {
  if (userId == 0 || !Open()) return nullptr;
  TUserInfoRecord* r = nullptr;
  if (layout::SeekById(Data(), "ID", uID, userId) && !data_is_deleted(Data()) && ReadRecord()) {
    r = made;
    made = nullptr;
    SetCurrent(nullptr);
  }
  EngineFailed();
  Close();
  return r;
}

long TUserInfoTable::FindLogin(const char* name) {
  std::string key = Trimmed(name);
  if (key.empty()) return 0;
  return FirstLive([&] {
    char stored[9];
    FieldText(uNAME, stored, sizeof stored);
    return key == stored;
  });
}

long TUserInfoTable::FindLoginAnyCase(const char* name, long exceptId) {
  std::string key = Upper(Trimmed(name).c_str());
  return FirstLive([&] {
    char stored[9];
    FieldText(uNAME, stored, sizeof stored);
    return FieldLong(uID) != exceptId && Upper(stored) == key;
  });
}

TUserInfoRecord* TUserInfoTable::ReadAllUsers() {
  LoadAll();
  return static_cast<TUserInfoRecord*>(DetachList());
}

int CountAllRightsUsers(long exceptUserId, long changedTypeId, bool changedTypeKeepsAll) {
  std::vector<long> full;
  {
    TAccountTable types("USER0001.DBF", 0, 1);
    full = types.AllRightsTypes();
  }
  TUserInfoTable users("USER0002.DBF", 0, 1);
  TUserInfoRecord* all = users.ReadAllUsers();
  int count = 0;
  for (TcbRecord* r = all; r; r = r->next) {
    auto* u = static_cast<TUserInfoRecord*>(r);
    if (u->ID == exceptUserId) continue;
    bool hasAll = u->TYPE == changedTypeId ? changedTypeKeepsAll
                                           : std::find(full.begin(), full.end(), u->TYPE) != full.end();
    if (hasAll) count++;
  }
  FreeRecordList(all);
  return count;
}
