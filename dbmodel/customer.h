// Customers: an id and a company name, with many reserved fields (owner,
// city, addresses, telephones, bank data, user texts, a memo, spare numbers
// and texts, a directory) that are created, read and written but filled by
// no dialog. KELVCUS2.DBF holds the customers; KELVSUPP.DBF has the same
// layout and is only created.
//
// Layout: ID N10, OWNER N10, CITY N10, COUNTRY N10, CATEGORY N1, COMPANY
// C40, ADDR1 C40, ADDR2 C40, PHONE1 C20, PHONE2 C20, FAX C20, BBS C20, EMAIL
// C100, BANKNAME C40, BANKACC C40, USER1-3 C80, MEMO M, LONG1-4 N10, CHAR1-4
// C40, DIRECTORY C250; tags ID (unique) and COMPANY.
#pragma once

#include <string>

#include "dbmodel/codetb.h"

class TcbAdvCustRecord : public TcbRecord {
 public:
  ~TcbAdvCustRecord() override { delete[] memo; }
  // Replaces the memo text with a copy (null: none).
  void SetMemo(const char* text);

  long ID = 0, OWNER = 0, CITY = 0, COUNTRY = 0, CATEGORY = 0;
  char* memo = nullptr;  // owned; null when there is none
  long LONG1 = 0, LONG2 = 0, LONG3 = 0, LONG4 = 0;
  char COMPANY[101] = {}, ADDR1[101] = {}, ADDR2[101] = {}, PHONE1[101] = {}, PHONE2[101] = {},
       FAX[101] = {}, BBS[101] = {}, EMAIL[101] = {}, BANKNAME[101] = {}, BANKACC[101] = {},
       USER1[101] = {}, USER2[101] = {}, USER3[101] = {};
  char CHAR1[101] = {}, CHAR2[101] = {}, CHAR3[101] = {}, CHAR4[101] = {};
  char DIRECTORY[251] = {};
};

class TcbAdvCustTable : public TCodeTB {
 public:
  TcbAdvCustTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  TcbAdvCustRecord* ReadAll();
  // Leaves the file open (on the row after a hit).
  TcbAdvCustRecord* FindById(long id);
  // The first live row whose company is the text (cut to 40); file left open.
  TcbAdvCustRecord* FindByCompany(const char* company);
  // Id of the first live customer of that company, 0 when none.
  long FindByCompanyText(const char* company);
  // Heap copy of the company name (the caller's), null when missing.
  char* GetName(long id);
  void FillList(TListLines* list);

  TcbAdvCustRecord* SelectByCompany(const char* text) { return Contains(text, "COMPANY"); }
  TcbAdvCustRecord* SelectByAddr1(const char* text) { return Contains(text, "ADDR1"); }
  TcbAdvCustRecord* SelectByAddr2(const char* text) { return Contains(text, "ADDR2"); }
  TcbAdvCustRecord* SelectByUser1(const char* text) { return Contains(text, "USER1"); }
  TcbAdvCustRecord* SelectByUser2(const char* text) { return Contains(text, "USER2"); }
  TcbAdvCustRecord* SelectByUser3(const char* text) { return Contains(text, "USER3"); }
  TcbAdvCustRecord* SelectByPhone1(const char* text) { return Equals(text, "PHONE1"); }
  TcbAdvCustRecord* SelectByPhone2(const char* text) { return Equals(text, "PHONE2"); }
  TcbAdvCustRecord* SelectByFax(const char* text) { return Equals(text, "FAX"); }
  TcbAdvCustRecord* SelectByBbs(const char* text) { return Equals(text, "BBS"); }
  TcbAdvCustRecord* SelectByEmail(const char* text) { return Equals(text, "EMAIL"); }
  TcbAdvCustRecord* SelectByCity(long n) { return NumberIs(n, "CITY"); }
  TcbAdvCustRecord* SelectByCategory(long n) { return NumberIs(n, "CATEGORY"); }
  TcbAdvCustRecord* SelectByCountry(long n) { return NumberIs(n, "COUNTRY"); }

  // Matching live rows, handed to the caller; null when none or on failure.
  TcbAdvCustRecord* RunQuery(const char* filter, const char* sort);
  // The same without a sort; with handOver 0 the list stays the table's.
  TcbAdvCustRecord* RunQueryKeep(const char* filter, int handOver);

  // Adds a customer of that company with a new id; the id, 0 on failure.
  long Add(const char* company);
  TcbAdvCustRecord* AppendRecord(TcbAdvCustRecord* record);
  int Update(TcbAdvCustRecord* record);
  int Rename(long id, const char* company);
  int SeekId(long id);
  // Renames the row to "deleted" (so the name is free again) and marks it.
  int DeleteById(long id);
  int DeleteRecord(TcbAdvCustRecord* record);

  TcbAdvCustRecord* made = nullptr;

 private:
  TcbAdvCustRecord* Contains(const char* text, const char* field);
  TcbAdvCustRecord* Equals(const char* text, const char* field);
  TcbAdvCustRecord* NumberIs(long n, const char* field);
  TcbAdvCustRecord* Query(const char* filter, const char* sort, int handOver);
  void WriteRow(const TcbAdvCustRecord* r);
};
