// Contact persons of customers (KELVCONT.DBF), created by the database
// rebuild; the other operations complete the table for later callers.
//
// Layout: ID N10, COMPANY N10 (customer id), TITLE N10, FNAME C20, LNAME
// C30, DPHONE C20, LPHONE C6, DFAX C20, HPHONE C20, MEMO M; tag ID (unique).
#pragma once

#include "dbmodel/codetb.h"

class TcbPersonRecord : public TcbRecord {
 public:
  ~TcbPersonRecord() override { delete[] memo; }
  void SetMemo(const char* text);

  long ID = 0, COMPANY = 0, TITLE = 0;
  char FNAME[21] = {}, LNAME[31] = {}, DPHONE[21] = {}, LPHONE[7] = {}, DFAX[21] = {}, HPHONE[21] = {};
  char* memo = nullptr;  // owned; null when there is none
};

class TcbPersonTable : public TCodeTB {
 public:
  TcbPersonTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  TcbPersonRecord* ReadAll() { return static_cast<TcbPersonRecord*>(LoadAll()); }
  TcbPersonRecord* FindById(long id);
  // Whole-field match of both names under the customer.
  TcbPersonRecord* FindByName(const char* first, const char* last, long customer);
  // Equal names (exact) or names contained in the fields, case-sensitive.
  TcbPersonRecord* FindByNames(const char* first, const char* last, int exact);
  TcbPersonRecord* SelectByCompany(long customer);
  TcbPersonRecord* SelectByTitle(long title);
  // Matching live rows, handed to the caller.
  TcbPersonRecord* RunQuery(const char* filter, const char* sort);
  TcbPersonRecord* AppendRecord(TcbPersonRecord* record);
  int Update(TcbPersonRecord* record);
  int DeleteRecord(TcbPersonRecord* record);

  TcbPersonRecord* made = nullptr;

 private:
  void WriteRow(const TcbPersonRecord* r);
};
