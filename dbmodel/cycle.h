// Machine cycles: a header per cycle (KELVCYC3.DBF: id, machine, name) and
// its 15 numbered parameters (KELVCYC4.DBF, one row each, owned through
// OWNER). The same two layouts serve the floppy exchange files.
//
// KELVCYC3: ID N10, CONN N10, NAME C50; tag ID (unique).
// KELVCYC4: OWNER N10, PNUMBER N10, FLAG N10 (bit 0: defined), DECI N10,
// AUTO N10.4, CODE C25, HINT C25, ID N10; tags ID (unique) and OWNER.
#pragma once

#include "dbmodel/codetb.h"

class TcbCycleRecord : public TcbRecord {
 public:
  long ID = 0;
  long CONN = 0;
  char NAME[51] = {};
};

class TcbParamRecord : public TcbRecord {
 public:
  long OWNER = 0, PNUMBER = 0, DECI = 0;
  double AUTO = 0;
  long FLAG = 0;
  char CODE[30] = {};
  char HINT[105] = {};
  long ID = 0;
  long spare1 = 0, spare2 = 0, spare3 = 0;  // not stored
};

class TcbCycleTable : public TCodeTB {
 public:
  TcbCycleTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  // Leaves the file open (on the row after a hit).
  TcbCycleRecord* FindById(long id);
  // "%-80s@@%ld" lines of the machine's live cycles.
  void FillList(long machine, TListLines* list);
  // A new cycle of the machine; its id, 0 on failure.
  long Add(long machine, const char* name);
  // 1 when the machine has a live cycle of that name.
  int FindByConnAndName(long machine, const char* name);
  int DeleteById(long id);
  int Rename(long id, const char* name);
  void WriteRecord(const TcbCycleRecord* r);

  TcbCycleRecord* made = nullptr;
};

class TcbParamTable : public TCodeTB {
 public:
  TcbParamTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  TcbParamRecord* FindById(long id);
  // Appends the cycle's 15 undefined parameters; 1, or 0 on failure.
  int Add(long cycle);
  int Update(const TcbParamRecord* record);
  // The cycle's live parameters in stored order, handed to the caller.
  TcbParamRecord* ReadOfOwner(long cycle);
  void FillList(long cycle, TListLines* list);
  int DeleteOfOwner(long cycle);
  // Appends copies of the parameters under the new cycle and frees the
  // list. A parameter id the file holds already gets a new one. 1, or 0
  // when a row could not be written.
  int AppendCopy(long cycle, TcbParamRecord* list);

  TcbParamRecord* made = nullptr;

 private:
  void WriteRow(const TcbParamRecord* r);
};
