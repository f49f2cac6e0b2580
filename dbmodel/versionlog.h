// The program version log (LOG00002.DBF): one row per stored version of a
// program, with its base type, up to three change criteria, a short text, a
// note, the user, date and time, the sent count and the id of the stored
// copy in LOG00003.DBF.
//
// Layout: ID N10, TYPE N10, PROGRAM N10, REVISION N10, TEXT C50, DATE D8,
// MEMO M, REASON01-03 N10, USERNAME C50, TIME C5, SEND N10; tag ID (unique).
// Older stations wrote the first 7, 10, 11 or 12 of these fields. Ids come
// from counter F07 of row 3.
#pragma once

#include <string>

#include "dbmodel/codetb.h"

class TLog00002Record : public TcbRecord {
 public:
  ~TLog00002Record() override { delete[] MEMO; }
  void SetMemo(const char* text);

  long ID = 0, TYPE = 0, PROGRAM = 0, REVISION = 0, REASON01 = 0, REASON02 = 0, REASON03 = 0;
  char TEXT[51] = {};
  char DATE[20] = {};  // "DD/MM-CCYY"
  char* MEMO = nullptr;  // owned; null when there is none
  char USERNAME[51] = {};
  char TIME[10] = {};
  long SEND = 0;
};

class TLog00002Table : public TCodeTB {
 public:
  TLog00002Table(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  // Rebuilds a file of an older layout in the current one, keeping every
  // live row; 1 when the file has the current layout afterwards.
  int Upgrade() override;
  int NewRecord() override;
  int ReadRecord() override;

  // Fills the record from the current row of `data` (as many fields as the
  // file has).
  static int ReadFields(TLog00002Record* record, DbDataFile* data);
  // Writes all 13 fields into the current row, DATE = today.
  void WriteRecord(const TLog00002Record* record);

  // Appends the record with a new id, the logged-on user and the time; 1,
  // or 0 when no row was written. The caller keeps the record.
  int Add(TLog00002Record* record);
  // What an entry made now carries: today's date ("DD/MM-CCYY"), the time
  // and the logged-on user, as Add writes them.
  static void StampNow(TLog00002Record* record);
  int SeekId(long id);
  TLog00002Record* FindById(long id);
  int DeleteById(long id);
  int Update(TLog00002Record* record);
  // "%-12s, %-200s@@%ld" lines, newest first.
  void FillListOfProgram(long type, long program, TListLines* list);
  void FillList(long program, TListLines* list);
  // The latest live version of a program: 1 and the outputs filled, or 0
  // with the four numbers 0 and the texts untouched. Null outputs are left.
  int ReadOfProgram(long program, long* reason1, long* reason2, long* reason3, long* type, std::string* date,
                    std::string* time, std::string* user, std::string* memo);
  int DeleteAllOfProgram(long program);
  int BumpSendOfLast(long program);
  int DeleteLastOfProgram(long program);

  TLog00002Record* made = nullptr;

 private:
  void Fill(const char* filter, const char* sort, TListLines* list);
  // Positions on the last row of the program (deleted or not); true when
  // there is one. The relation is gone afterwards, the file stays open.
  bool GoLastOfProgram(long program);
};
