// DNC settings: TRAMOX01.DBF in the alternate directory, per id 64 texts of
// the DNC server's character-code settings (lists of decimal codes).
//
// Layout (65 fields): ID N10, C01..C64 C60; unique tag ID.
#pragma once

#include "dbmodel/codetb.h"

class TTramox01Record : public TcbRecord {
 public:
  static constexpr int kTexts = 64;
  static constexpr int kTextSize = 64;

  long ID = 0;
  // text[i - 1] holds field C<i>.
  char text[kTexts][kTextSize] = {};
};

class TTramox01Table : public TCodeTB {
 public:
  TTramox01Table(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  // Writes the record into the current row of the open file; 1.
  static int WriteRecord(const TTramox01Record* r, DbDataFile* d);
  // The row of that id, or null; the file stays open (on the row after a
  // hit) for the caller's change and close.
  TTramox01Record* FindById(long id);
  // 1 when the row was written.
  int Append(const TTramox01Record* record);
  // 1 when the row of the record's id was rewritten; a missing id writes
  // nothing.
  int Update(const TTramox01Record* record);

  TTramox01Record* made = nullptr;  // the record made last
};

// A list of decimal character codes ("65,66,67,") as a string of at most
// 59 codes into dest (room for 60 bytes); count gets the number taken.
void ParseCodeList(char* dest, const char* text, int* count);

// Pictures of programs: PT000001.DBF in the database directory.
// Layout (4 fields): PROG N10 (program id), DESCRIPT C30, FILENAME C250,
// MEMO memo; no tag.
class TPictureTable : public TCodeTB {
 public:
  TPictureTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override { return CreateTable(fullPath); }
  int CreateTable(const char* fullPath);
  // Marks every picture of the program deleted; 1, 0 on failure.
  int DeleteProgramPictures(long programId);
};
