// Macros: KELVMACR.DBF in the database directory, named blocks of NC text
// that belong to one machine each and that the editor inserts.
//
// Layout (4 fields): ID N10, CONN N10 (machine id), NAME C30, MEMOSTR memo
// (the text, in the .DBT file); unique tag ID. Older stations wrote more
// fields, with the text in memo field 6.
#pragma once

#include "dbmodel/codetb.h"

class TcbMacroRecord : public TcbRecord {
 public:
  ~TcbMacroRecord() override { delete[] text; }

  long ID = 0;
  long CONN = 0;
  char NAME[32] = {};
  char* text = nullptr;  // new[] text, null when none
};

class TcbMacroTable : public TCodeTB {
 public:
  TcbMacroTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  // 1 when current or converted; 0 when the file does not open or could not
  // be converted (then it is left as it was).
  int Upgrade() override;
  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  // Leaves the file open on the found row.
  TcbMacroRecord* FindById(long id);
  // 1 when the machine has a macro of that name.
  int FindByConnAndName(long machineId, const char* name);
  void FillList(long machineId, TListLines* list);
  // The new macro (kept by the table as the record made last), or null.
  TcbMacroRecord* Add(const char* name, const char* text, long machineId);
  int Update(long id, const char* text);
  int DeleteById(long id);

  TcbMacroRecord* made = nullptr;  // the record made last

 private:
  void WriteRow(const TcbMacroRecord* r);
};
