// Tables of an id (N 10) and a name (C 50): machine types, setup-sheet
// types, log types, user account types and two lists made at creation.
// Ids come from the caller (each file has its counter).
#pragma once

#include "dbmodel/codetb.h"

class TcbIdAndNameRecord : public TcbRecord {
 public:
  long ID = 0;
  char NAME[210] = {};
};

class TcbIdAndNameTable : public TCodeTB {
 public:
  TcbIdAndNameTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  void FillList(TListLines* list) { Fill(list, 170); }
  void FillListWide(TListLines* list) { Fill(list, 250); }
  // Leaves the file open (on the row after a hit) for the caller to change.
  TcbIdAndNameRecord* FindById(long id);
  // Prefix match through the NAME tag; closes the file.
  TcbIdAndNameRecord* FindByName(const char* name);
  // Appends a row with the record's id and name; the record, or null when
  // the row was refused (a taken id or name).
  TcbIdAndNameRecord* Add(TcbIdAndNameRecord* record);
  int Update(TcbIdAndNameRecord* record);
  int Rename(long id, const char* name);
  int Delete(TcbIdAndNameRecord* record);
  int DeleteById(long id);
  TcbRecord* ReadAll() { return LoadAll(); }

  TcbIdAndNameRecord* made = nullptr;  // the record made last

 private:
  void Fill(TListLines* list, int width);
  // A deleted row keeps its name in the unique NAME tag until the file is
  // packed; it gives the name up ("~" and its id) so that a live row can
  // take it. False when that could not be written.
  bool FreeDeletedName(const char* name);
};

class TcbMatyTable : public TcbIdAndNameTable {
 public:
  using TcbIdAndNameTable::TcbIdAndNameTable;
};
// Two sheet types may bear one name.
class TSheetTypeTable : public TcbIdAndNameTable {
 public:
  TSheetTypeTable(const char* fileName, int alternateDir, int localDir)
      : TcbIdAndNameTable(fileName, alternateDir, localDir) {
    AcceptRepeatedKeys({"NAME"});
  }
};
class TcbLogTypeTable : public TcbIdAndNameTable {
 public:
  using TcbIdAndNameTable::TcbIdAndNameTable;
};
class TUserAccountTypeTable : public TcbIdAndNameTable {
 public:
  using TcbIdAndNameTable::TcbIdAndNameTable;
};
