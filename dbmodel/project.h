// Projects: an id, a name and the owning customer, in KELVPRO.DBF. A name
// is unique within its customer only.
//
// Layout: ID N10, NAME C40, CUST N10; one tag ID (unique).
#pragma once

#include "dbmodel/codetb.h"

class TcbProRecord : public TcbRecord {
 public:
  long ID = 0;
  char NAME[41] = {};
  long CUST = 0;
};

class TcbProTable : public TCodeTB {
 public:
  TcbProTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  TcbProRecord* ReadAll() { return static_cast<TcbProRecord*>(LoadAll()); }
  // A new project with a new id; the record (the caller's), null on failure.
  TcbProRecord* Add(const char* name, long customer);
  // Heap copy of the name (the caller's), null when the id is missing.
  char* GetName(long id);
  // "%-100s @@%ld" lines of the customer's live projects; 0 on failure.
  int FillListOfCustomer(TListLines* list, long customer);
  // Id of the first live project of that name under the customer, else 0.
  long FindByNameAndCustomer(const char* name, long customer);
  int Rename(long id, const char* name);
  int DeleteById(long id);
  // The customer's live projects; the list stays the table's.
  TcbProRecord* ReadOfCustomer(long customer);
  // The first live project of that name; the file is left open on it.
  TcbProRecord* FindByName(const char* name);
  // Marks the first live project of that name deleted; its id, or 0.
  long DeleteByName(const char* name);

  TcbProRecord* made = nullptr;
};
