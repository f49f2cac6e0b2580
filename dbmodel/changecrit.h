// Change criteria of program versions (LOG00004.DBF): each belongs to one
// base type of LOG00001.DBF (the log types, an id-and-name table).
//
// Layout: ID N10, TYPE N10, NAME C50; tag ID (unique). Ids come from
// counter F12 of row 3.
#pragma once

#include <vector>

#include "dbmodel/codetb.h"

class TcbLogChangeRecord : public TcbRecord {
 public:
  long ID = 0, TYPE = 0;
  char NAME[51] = {};
};

class TcbLogChangeTable : public TCodeTB {
 public:
  TcbLogChangeTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;

  // Positions on the row of the id (deleted or not); the file stays open.
  int SeekId(long id);
  // Heap copy of the name (the caller's), null when the id is missing.
  char* GetName(long id);
  // "%-100s, @@%ld" lines of the type's live criteria.
  void FillListOfType(TListLines* list, long type);
  // A new criterion; a given list is filled with the type's criteria and
  // the new one selected.
  // The new id, 0 when no row was written.
  long Add(long type, const char* name, TListLines* list);
  int Rename(long id, const char* name);
  int DeleteById(long id);
  int DeleteAllOfType(long type);
  // The type's criteria in three lists, each ending in an empty line.
  void FillThreeLists(TListLines* list1, TListLines* list2, TListLines* list3, long type);
  void WriteRecord(const TcbLogChangeRecord* record);

  TcbLogChangeRecord* made = nullptr;

 private:
  void Fill(const std::vector<TListLines*>& lists, long type, bool emptyLine, long selectId);
};
