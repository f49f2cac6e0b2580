// The system log (LOG00000.DBF): one row per event of the program database,
// appended by the log writer of the application core and listed by type.
//
// Layout: ID N10, TYPE N10, STAT N10, TEXT C200, DATE D8; tag ID (unique).
// Ids come from counter F01 of row 3.
#pragma once

#include "dbmodel/codetb.h"

class TLogRecord : public TcbRecord {
 public:
  long ID = 0, TYPE = 0, STAT = 0;
  char TEXT[201] = {};
  char DATE[50] = {};  // "DD/MM-CCYY"
};

class TLogTable : public TCodeTB {
 public:
  TLogTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  // Appends the record with a new id and today's date; 1, or 0 when no row
  // was written. The caller keeps the record.
  int Append(TLogRecord* record);
  void WriteRecord(const TLogRecord* record);
  int DeleteById(long id);
  // List lines "%s, %8ld , %-200s, @@%ld" (date, STAT, TEXT, id).
  void FillListOfType(long type, TListLines* list);
  void FillListOfTwoTypes(long type1, long type2, TListLines* list);
  void FillList(TListLines* list);
  // A new record (the caller's), null when the id is missing.
  TLogRecord* FindById(long id);

  TLogRecord* made = nullptr;

 private:
  void Fill(const char* filter, TListLines* list);
};

// The date field's text shown as "DD/MM-CCYY" (blanks for a blank date).
void LogDateText(DbDataFile* data, int fieldNo, char* out, size_t size);
