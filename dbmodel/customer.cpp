// Customers: layout, record reader, finds, queries and row changes.
#include "dbmodel/customer.h"

#include <cstring>

#include "dbmodel/counter.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {

enum { fID = 1, fCATEGORY = 5, fCOMPANY = 6, fUSER3 = 18, fMEMO = 19, fLONG1 = 20, fCHAR1 = 24, fDIRECTORY = 28 };

using TextMember = char (TcbAdvCustRecord::*)[101];
// Fields 6 to 18, then 24 to 27.
constexpr TextMember kTexts[] = {
    &TcbAdvCustRecord::COMPANY, &TcbAdvCustRecord::ADDR1,    &TcbAdvCustRecord::ADDR2,
    &TcbAdvCustRecord::PHONE1,  &TcbAdvCustRecord::PHONE2,   &TcbAdvCustRecord::FAX,
    &TcbAdvCustRecord::BBS,     &TcbAdvCustRecord::EMAIL,    &TcbAdvCustRecord::BANKNAME,
    &TcbAdvCustRecord::BANKACC, &TcbAdvCustRecord::USER1,    &TcbAdvCustRecord::USER2,
    &TcbAdvCustRecord::USER3,   &TcbAdvCustRecord::CHAR1,    &TcbAdvCustRecord::CHAR2,
    &TcbAdvCustRecord::CHAR3,   &TcbAdvCustRecord::CHAR4};

int TextField(int i) { return i < 13 ? fCOMPANY + i : fCHAR1 + (i - 13); }

}  // namespace

void TcbAdvCustRecord::SetMemo(const char* text) { ReplaceText(memo, text); }

int TcbAdvCustTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  for (const char* n : {"ID", "OWNER", "CITY", "COUNTRY"}) f.add(n, 'N', 10, 0);
  f.add("CATEGORY", 'N', 1, 0);
  f.add("COMPANY", 'C', 40, 0);
  f.add("ADDR1", 'C', 40, 0);
  f.add("ADDR2", 'C', 40, 0);
  for (const char* n : {"PHONE1", "PHONE2", "FAX", "BBS"}) f.add(n, 'C', 20, 0);
  f.add("EMAIL", 'C', 100, 0);
  f.add("BANKNAME", 'C', 40, 0);
  f.add("BANKACC", 'C', 40, 0);
  for (const char* n : {"USER1", "USER2", "USER3"}) f.add(n, 'C', 80, 0);
  f.add("MEMO", 'M', 0, 0);
  for (const char* n : {"LONG1", "LONG2", "LONG3", "LONG4"}) f.add(n, 'N', 10, 0);
  for (const char* n : {"CHAR1", "CHAR2", "CHAR3", "CHAR4"}) f.add(n, 'C', 40, 0);
  f.add("DIRECTORY", 'C', 250, 0);
  TagInfoList t(DbContext);
  t.add("ID", "ID", nullptr, 20, 0);
  t.add("COMPANY", "COMPANY", nullptr, 0, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

int TcbAdvCustTable::NewRecord() { return NewInto(made); }

int TcbAdvCustTable::ReadRecord() {
  if (!NewRecord()) return 0;
  TcbAdvCustRecord* r = made;
  long* numbers[] = {&r->ID, &r->OWNER, &r->CITY, &r->COUNTRY, &r->CATEGORY};
  for (int i = 0; i < 5; i++) *numbers[i] = FieldLong(fID + i);
  long* spares[] = {&r->LONG1, &r->LONG2, &r->LONG3, &r->LONG4};
  for (int i = 0; i < 4; i++) *spares[i] = FieldLong(fLONG1 + i);
  for (int i = 0; i < 17; i++) FieldText(TextField(i), r->*kTexts[i], sizeof(r->*kTexts[i]));
  FieldText(fDIRECTORY, r->DIRECTORY, sizeof r->DIRECTORY);
  std::string memo;  // a memo that cannot be read leaves the record without one
  if (ReadMemoText(fMEMO, memo)) r->SetMemo(memo.c_str());
  SetCurrent(r);
  return 1;
}

void TcbAdvCustTable::WriteRow(const TcbAdvCustRecord* r) {
  const long numbers[] = {r->ID, r->OWNER, r->CITY, r->COUNTRY, r->CATEGORY};
  for (int i = 0; i < 5; i++) PutLong(fID + i, numbers[i]);
  const long spares[] = {r->LONG1, r->LONG2, r->LONG3, r->LONG4};
  for (int i = 0; i < 4; i++) PutLong(fLONG1 + i, spares[i]);
  for (int i = 0; i < 13; i++) PutText(TextField(i), r->*kTexts[i]);
  PutMemo(fMEMO, r->memo ? r->memo : "");
  for (int i = 13; i < 17; i++) PutText(TextField(i), r->*kTexts[i]);
  PutText(fDIRECTORY, r->DIRECTORY);
}

TcbAdvCustRecord* TcbAdvCustTable::ReadAll() { return static_cast<TcbAdvCustRecord*>(LoadAll()); }

TcbAdvCustRecord* TcbAdvCustTable::FindById(long id) { return ReadById("ID", id) ? made : nullptr; }

TcbAdvCustRecord* TcbAdvCustTable::FindByCompany(const char* company) {
  if (!company || !Open()) return nullptr;
  DbTag* t = data_tag_find(Data(), "COMPANY");
  if (!t) {
    EngineFailed();
    return nullptr;
  }
  data_tag_select(Data(), t);
  std::string key = PadText(company, 40);
  int rc = data_seek(Data(), key.c_str());
  // Rows deleted without the rename still carry the name in the tag.
  while (rc == 0 && data_is_deleted(Data())) {
    rc = data_skip(Data(), 1);
    FieldRef f(Data(), fCOMPANY);
    if (rc == 0 && std::string(f.ptr(), f.len()) != key) rc = 2;
  }
  if (rc < 0) EngineFailed();
  if (rc != 0) return nullptr;
  return ReadRecord() ? made : nullptr;
}

long TcbAdvCustTable::FindByCompanyText(const char* company) {
  if (!company) return 0;
  std::string q;
  if (!QuoteSearchText(PadText(company, 40), q)) return 0;
  if (!Open()) return 0;
  long id = 0;
  if (AtFirstLive(("COMPANY = " + q).c_str(), [&] { id = FieldLong(fID); }) < 0) return 0;
  Close();
  return id;
}

char* TcbAdvCustTable::GetName(long id) { return FieldCopyById(id, fCOMPANY); }

void TcbAdvCustTable::FillList(TListLines* list) {
  if (!list || !Open()) return;
  list->ClearLines();
  EachLiveRow([&] {
    FieldRef f(Data(), fCOMPANY);
    std::string name = ListLineText(std::string(f.ptr(), f.len()));
    list->AddLine(FormatText("%-170s@@%ld", name.c_str(), FieldLong(fID)).c_str());
  });
  list->SelectLine(0);
}

TcbAdvCustRecord* TcbAdvCustTable::Contains(const char* text, const char* field) {
  if (!text) return nullptr;
  std::string q;
  if (!QuoteSearchText(text, q)) return nullptr;
  return RunQuery((q + " $ " + field).c_str(), nullptr);
}

TcbAdvCustRecord* TcbAdvCustTable::Equals(const char* text, const char* field) {
  if (!text) return nullptr;
  std::string q;
  if (!QuoteSearchText(text, q)) return nullptr;
  return RunQuery((std::string(field) + " = " + q).c_str(), nullptr);
}

TcbAdvCustRecord* TcbAdvCustTable::NumberIs(long n, const char* field) {
  return RunQuery(FormatText("%s = %ld", field, n).c_str(), nullptr);
}

TcbAdvCustRecord* TcbAdvCustTable::RunQuery(const char* filter, const char* sort) {
  return Query(filter, sort, 1);
}

TcbAdvCustRecord* TcbAdvCustTable::RunQueryKeep(const char* filter, int handOver) {
  return Query(filter, nullptr, handOver);
}

TcbAdvCustRecord* TcbAdvCustTable::Query(const char* filter, const char* sort, int handOver) {
  if (!filter || !Open()) return nullptr;
  made = static_cast<TcbAdvCustRecord*>(CollectQuery(filter, sort, handOver));
  return made;
}

long TcbAdvCustTable::Add(const char* company) {
  if (!company) return 0;
  if (!Open()) return 0;
  long id = NextCustomerId();
  if (id <= 0) {
    Close();
    return 0;
  }
  TcbAdvCustRecord r;
  r.ID = id;
  TrimCopy(r.COMPANY, company);
  return AppendAndClose([&] { WriteRow(&r); }) ? id : 0;
}

TcbAdvCustRecord* TcbAdvCustTable::AppendRecord(TcbAdvCustRecord* record) {
  if (!record || !Open()) return nullptr;
  return AppendAndClose([&] { WriteRow(record); }) ? record : nullptr;
}

int TcbAdvCustTable::Update(TcbAdvCustRecord* record) {
  if (!record) return 0;
  return ChangeFound(FindById(record->ID), made, [&](TcbAdvCustRecord*) { WriteRow(record); });
}

int TcbAdvCustTable::Rename(long id, const char* company) {
  if (!company || !*company) return 0;
  if (!SeekId(id)) return 0;
  char name[41];
  TrimCopy(name, company);
  PutText(fCOMPANY, name);
  return Close();
}

int TcbAdvCustTable::SeekId(long id) {
  if (id == 0 || !Open()) return 0;
  if (SeekNumber("ID", static_cast<double>(id))) return 1;
  Close();
  return 0;
}

int TcbAdvCustTable::DeleteById(long id) {
  if (id == 0 || !Open()) return 0;
  bool found = SeekNumber("ID", static_cast<double>(id));
  if (found) {
    PutText(fCOMPANY, "deleted");
    data_flush(Data());
    data_delete(Data());
  }
  return Close() && found ? 1 : 0;
}

int TcbAdvCustTable::DeleteRecord(TcbAdvCustRecord* record) {
  if (!record) return 0;
  return ChangeFound(FindById(record->ID), made, [&](TcbAdvCustRecord*) { data_delete(Data()); });
}
