// Auto-import definitions: AUTOIMP.DBF in the alternate directory, one row
// per directory that is watched for NC programs to take into the database.
//
// Layout (20 fields): ID, METHOD, TIMEOUT, MACHINE, CUSTOMER, PROJECT N10;
// MACH C25, NAME C25, PATH C200, MEPA C200, EXT C3, MEMO C3, FILEMASK C8,
// PROGID C40; REPLACE, RUN, BACKUP, EXPAND L; EXWITH C2; MINDESC L; unique
// tag ID. Older stations wrote 17 fields (without EXPAND, EXWITH, MINDESC)
// or 19 (without MINDESC).
#pragma once

#include "dbmodel/codetb.h"

class TcbAutoImpRecord : public TcbRecord {
 public:
  long ID = 0, METHOD = 0, TIMEOUT = 5, MACHINE = 0, CUSTOMER = 0, PROJECT = 0;
  char MACH[26] = {};
  char NAME[26] = {};
  char PATH[205] = {};
  char MEPA[205] = {};
  char EXT[4] = {};
  char MEMO[4] = {};
  char FILEMASK[9] = {};
  char PROGID[41] = {};
  char EXWITH[41] = {};
  int REPLACE = 1, RUN = 1, BACKUP = 1, EXPAND = 0, MINDESC = 0;
};

// EXWITH as the digit count the program id is filled up to: one or two
// digits, 1 to 40; 0 for anything else (never a format).
int AutoImportExpandWidth(const char* exwith);

class TcbAutoImpTable : public TCodeTB {
 public:
  TcbAutoImpTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  // 1 when current or converted; 0 when a conversion failed (the old file
  // is then left as it was).
  int Upgrade() override;
  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  void FillList(TListLines* list);
  // The definition of that id, or null; closes the file.
  TcbAutoImpRecord* FindById(long id);
  // The caller sets the id. 1, 0 when the row was refused.
  int Add(const TcbAutoImpRecord* record);
  // 1, 0 when the id is not there or the row could not be written.
  int Update(const TcbAutoImpRecord* record);
  // Marks the row; the mark reaches the file when the table closes.
  void DeleteById(long id);
  // Every live definition as a list that belongs to the caller.
  TcbAutoImpRecord* LoadAllDetached();

  TcbAutoImpRecord* made = nullptr;  // the record made last

 private:
  void WriteRow(const TcbAutoImpRecord* r);
};
