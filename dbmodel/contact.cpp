// Contact persons: layout, reader, queries and row changes.
#include <cstring>

#include "dbmodel/contact.h"
#include "dbmodel/customer.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {
enum { fID = 1, fCOMPANY, fTITLE, fFNAME, fLNAME, fDPHONE, fLPHONE, fDFAX, fHPHONE, fMEMO };
}

void TcbPersonRecord::SetMemo(const char* text) { ReplaceText(memo, text); }

int TcbPersonTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  for (const char* n : {"ID", "COMPANY", "TITLE"}) f.add(n, 'N', 10, 0);
  f.add("FNAME", 'C', 20, 0);
  f.add("LNAME", 'C', 30, 0);
  f.add("DPHONE", 'C', 20, 0);
  f.add("LPHONE", 'C', 6, 0);
  f.add("DFAX", 'C', 20, 0);
  f.add("HPHONE", 'C', 20, 0);
  f.add("MEMO", 'M', 0, 0);
  TagInfoList t(DbContext);
  t.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

int TcbPersonTable::NewRecord() { return NewInto(made); }

int TcbPersonTable::ReadRecord() {
  if (!NewRecord()) return 0;
  TcbPersonRecord* r = made;
  r->ID = FieldLong(fID);
  r->COMPANY = FieldLong(fCOMPANY);
  r->TITLE = FieldLong(fTITLE);
  FieldText(fFNAME, r->FNAME, sizeof r->FNAME);
  FieldText(fLNAME, r->LNAME, sizeof r->LNAME);
  FieldText(fDPHONE, r->DPHONE, sizeof r->DPHONE);
  FieldText(fLPHONE, r->LPHONE, sizeof r->LPHONE);
  FieldText(fDFAX, r->DFAX, sizeof r->DFAX);
  FieldText(fHPHONE, r->HPHONE, sizeof r->HPHONE);
  std::string memo;
  if (ReadMemoText(fMEMO, memo)) r->SetMemo(memo.c_str());
  SetCurrent(r);
  return 1;
}

void TcbPersonTable::WriteRow(const TcbPersonRecord* r) {
  PutLong(fID, r->ID);
  PutLong(fCOMPANY, r->COMPANY);
  PutLong(fTITLE, r->TITLE);
  PutText(fFNAME, r->FNAME);
  PutText(fLNAME, r->LNAME);
  PutText(fDPHONE, r->DPHONE);
  PutText(fLPHONE, r->LPHONE);
  PutText(fDFAX, r->DFAX);
  PutText(fHPHONE, r->HPHONE);
  PutMemo(fMEMO, r->memo ? r->memo : "");
}

TcbPersonRecord* TcbPersonTable::FindById(long id) { return ReadById("ID", id) ? made : nullptr; }

TcbPersonRecord* TcbPersonTable::FindByName(const char* first, const char* last, long customer) {
  std::string f, l;
  if (!QuoteSearchText(PadText(first, 20), f) || !QuoteSearchText(PadText(last, 30), l)) return nullptr;
  std::string filter =
      FormatText("COMPANY = %ld .AND. FNAME = %s .AND. LNAME = %s", customer, f.c_str(), l.c_str());
  return RunQuery(filter.c_str(), "LNAME");
}

TcbPersonRecord* TcbPersonTable::FindByNames(const char* first, const char* last, int exact) {
  std::string f, l;
  if (!QuoteSearchText(first ? first : "", f) || !QuoteSearchText(last ? last : "", l)) return nullptr;
  std::string filter = exact ? FormatText("FNAME = %s .AND. LNAME = %s", f.c_str(), l.c_str())
                             : FormatText("%s $ FNAME .AND. %s $ LNAME", f.c_str(), l.c_str());
  return RunQuery(filter.c_str(), "LNAME");
}

TcbPersonRecord* TcbPersonTable::SelectByCompany(long customer) {
  return RunQuery(FormatText("COMPANY = %ld", customer).c_str(), "LNAME");
}

TcbPersonRecord* TcbPersonTable::SelectByTitle(long title) {
  return RunQuery(FormatText("TITLE = %ld", title).c_str(), "LNAME");
}

TcbPersonRecord* TcbPersonTable::RunQuery(const char* filter, const char* sort) {
  if (!filter || !Open()) return nullptr;
  made = static_cast<TcbPersonRecord*>(CollectQuery(filter, sort, 1));
  return made;
}

TcbPersonRecord* TcbPersonTable::AppendRecord(TcbPersonRecord* record) {
  if (!record || !Open()) return nullptr;
  return AppendAndClose([&] { WriteRow(record); }) ? record : nullptr;
}

int TcbPersonTable::Update(TcbPersonRecord* record) {
  if (!record) return 0;
  return ChangeFound(FindById(record->ID), made, [&](TcbPersonRecord*) { WriteRow(record); });
}

int TcbPersonTable::DeleteRecord(TcbPersonRecord* record) {
  if (!record) return 0;
  return ChangeFound(FindById(record->ID), made, [&](TcbPersonRecord*) { data_delete(Data()); });
}
