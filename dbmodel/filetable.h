// The program index and the six files of its layout (backups, DNC
// temporary and failed transfers, locked programs, failed auto-imports,
// stored versions): one row per NC program.
//
// Layout (19 fields): NCID N10, DESC C40, DIR C100, NAME C8, EXT C3,
// PART C25, DRAW C25, CUST N10, MID N10, MAT N10, PROJECT N10, MACHINE C25,
// CHAR3 C50, LONG1 N10, MEMOSTR M, LOCK L, PROG N10, MAZAK L, SENT N10;
// one unique tag NCID. A deleted row also has NCID and MID negated.
#pragma once

#include <set>
#include <string>

#include "dbmodel/codetb.h"

class TcbFileRecord : public TcbRecord {
 public:
  ~TcbFileRecord() override { delete[] MEMOSTR; }

  long NCID = 0, LONG1 = 0, CUST = 0, MID = 0, MAT = 0, PROJECT = 0;
  char DESC[41] = {};
  char DIR[101] = {};
  char NAME[9] = {};
  char EXT[4] = {};
  char PART[50] = {};
  char DRAW[50] = {};
  char MACHINE[26] = {};
  char CHAR3[51] = {};
  char* MEMOSTR = nullptr;  // heap text (new[]), null when none
  int LOCK = 1;
  long PROG = -1;
  int MAZAK = 0;
  long SENT = 0;

  // Replaces the memo text with a copy of `text` (null: none).
  void SetMemo(const char* text);
  // "DIR NAME.EXT": the file the row stands for.
  std::string FilePath() const { return std::string(DIR) + NAME + "." + EXT; }
};

// Search modes of the text searches.
enum { kSearchExact = 0, kSearchStartsWith = 1, kSearchContains = 2 };

class TcbFileTable : public TCodeTB {
 public:
  TcbFileTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Upgrade() override;
  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  // Leaves the file open, on the found row, with tag NCID selected.
  TcbFileRecord* FindById(long id);
  // The record number of the row, locked until the table closes; -1 when
  // the row is not there, its lock is refused, or other stations' packs
  // kept moving it for as long as a reader waits for a rebuild.
  long LockById(long id);
  TcbFileRecord* ReadAll(int handOver);
  int Append(TcbFileRecord* record);
  int AppendBatch(TcbFileRecord* record);
  int Update(TcbFileRecord* record);
  TcbFileRecord* DeleteById(long id);
  void IncrementSent(long id);
  void ResetSent(long id);

  // Queries: the result list belongs to the caller (FreeRecordList).
  TcbFileRecord* Select(const char* filter, const char* sort);
  // Whether the last query failed (null then means "not read", not "none").
  bool SelectFailed() const { return selectFailed_; }
  TcbFileRecord* SelectByDesc(char* text, int mode);
  TcbFileRecord* SelectByPart(char* text, int mode);
  TcbFileRecord* SelectByDraw(char* text, int mode);
  TcbFileRecord* SelectByChar3(char* text, int mode);
  TcbFileRecord* SelectByDescAndMachine(const char* text, long machineId);
  TcbFileRecord* SelectByCustomer(long customerId);
  TcbFileRecord* SelectByProject(long projectId);
  TcbFileRecord* SelectByMachine(long machineId);
  int DescExistsOnMachine(char* text, long machineId);
  // Every Program-ID (DESC upper-cased, trailing blanks cut) of the
  // machine's rows, as the duplicate check above compares them; false
  // when the index could not be read.
  bool UpperDescsOfMachine(long machineId, std::set<std::string>& descs);
  int AnyProgramOfMachine(long machineId);
  int DetachCustomer(long customerId);
  int DetachProject(long projectId);

  void FillListByDesc(long machineId, TListLines* list);
  void FillListByPart(long machineId, TListLines* list);
  void FillListByDraw(long machineId, TListLines* list);
  void FillListByChar3(long machineId, TListLines* list);

  // The program directory of one machine as a tape-style text; empty when
  // the machine has no program or the file cannot be read.
  std::string WriteTapeDirectory(long machineId);

  TcbFileRecord* made = nullptr;  // the record made last / the list handed out

 private:
  bool selectFailed_ = false;

  void WriteRow(const TcbFileRecord* r);
  TcbFileRecord* SelectText(char* text, int mode, const char* field, int width);
  void FillByMachine(long machineId, TListLines* list, int kind);
  int BulkDetach(const char* filter, bool customer);
  int UpgradeNarrow(int n);
  int UpgradeWide(int n);
};

// The line of a program in the configurable program lists; the texts cut
// to their column widths stay cut in the record.
std::string FormatProgramListLine(TcbFileRecord* record);
