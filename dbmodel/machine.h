// Machines: KELVMA.DBF in the database directory, one row per machine tool.
//
// Layout (6 fields): ID N10, TYPE N10 (machine type id), NAME C20 (unique),
// DESC C40, PATH C100 (directory of the machine's programs), MAZAK L;
// tags ID (unique), NAME (unique), TYPE. Older stations wrote 5 fields
// (without MAZAK) or 11 fields (of which the first five are kept).
#pragma once

#include "dbmodel/codetb.h"

class TcbMachRecord : public TcbRecord {
 public:
  long ID = 0;
  long TYPE = 0;
  char NAME[22] = {};
  char DESC[42] = {};
  char PATH[102] = {};
  int MAZAK = 0;
};

class TcbMachTable : public TCodeTB {
 public:
  TcbMachTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  // 1 when current or converted; 0 when the file does not open or could not
  // be converted (then it is left as it was).
  int Upgrade() override;
  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  // Both finds leave the file open on the found row.
  TcbMachRecord* FindById(long id);
  // Exact and case-sensitive, on the name cut to 20 characters; a deleted
  // machine is not found.
  TcbMachRecord* FindByName(const char* name);
  long ExistsByName(const char* name);
  // Heap copies (new[]) that the caller deletes; null when missing.
  char* GetNameCopy(long id);
  char* GetPath(long id);
  // The machines of a type as the table's list; null when none.
  TcbMachRecord* SelectByType(long typeId);
  // 1 when the machine was written; 0 when refused (a name in use, no id).
  int Add(const char* name, long typeId, const char* desc, const char* path, int mazak);
  // 1 when the row was rewritten.
  int Update(long id, const char* name, long typeId, const char* desc, const char* path,
             int mazak);
  int DeleteById(long id);
  void FillNameList(TListLines* list);
  void FillList(TListLines* list);
  void FillListWithType(TListLines* list);
  void FillListOfType(TListLines* list, long typeId);

  TcbMachRecord* made = nullptr;  // the record made last

 private:
  void WriteRow(const TcbMachRecord* r);
  // Puts the open file on the row of that name; true on a hit.
  bool SeekName(const char* name);
  // Lets a deleted row give up a name that a live machine is to take.
  bool FreeDeletedName(const char* name);
  void Fill(TListLines* list, int kind);
};
