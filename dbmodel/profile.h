// Database profiles: KELVDATA.DBF in the station's alternate directory, one
// row per program database the station can work on (its directories, the
// local and automatic marks, how a network drive is attached).
//
// Layout (27 fields): VERSION N3, ID N10, F03 C40 name, F04-F07 C200
// database, backup, DNC temporary and failed directories, LOCAL N1, AUTO N1,
// F10-F13 C200 pictures, video, import, export, F14-F17 C200 reserved,
// F18 C50 server, F19 C50 share, F20 C3 drive, F21 L, F22 C200, F23 C50,
// F24 C50, F25 C3, F26 L, F27 L NetWare; unique tag ID. Older stations
// wrote 17, 20, 25 or 26 fields; files of fewer than 14 fields are read and
// written in their first 13 fields only.
#pragma once

#include "dbmodel/codetb.h"

class TcbDataRecord : public TcbRecord {
 public:
  long ID = 0;
  long VERSION = 21;
  char NAME[210] = {};
  char DBDIR[210] = {};
  char BACKUPDIR[210] = {};
  char DNCTEMPDIR[210] = {};
  char DNCFAILDIR[210] = {};
  char PICTURESDIR[210] = {};
  char VIDEODIR[210] = {};
  char IMPORTDIR[210] = {};
  char EXPORTDIR[210] = {};
  char SERVER[210] = {};
  char SHARE[210] = {};
  char DRIVE[210] = {};
  long LOCAL = 0;
  long AUTO = 0;
  int F21 = 0;
  char F22[210] = {};
  int F26 = 0;
  int NETWARE = 0;
};

class TcbDataTable : public TCodeTB {
 public:
  TcbDataTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  // 1 when the layout is current or was converted; 0 when the file does
  // not open or the conversion failed (the old file is left in place and
  // the user is told).
  int Upgrade() override;
  // Creates the file when missing and writes the default profile into a
  // file without rows; 1.
  int Create(const char* fullPath) override;

  void FillList(TListLines* list);
  // The first live profile marked automatic; the caller deletes it.
  TcbDataRecord* FindAuto();
  // 1 with the file left open on the row, else 0.
  int FindById(long id);
  TcbDataRecord* ReadById(long id);
  // 1 when the profile was written, 0 when it was refused.
  int Add(const char* name, const char* database, const char* backup, const char* pictures,
          const char* video, const char* dncTemp, const char* dncFail, const char* importDir,
          const char* exportDir, int netware, const char* server, const char* share,
          const char* drive);
  int Update(long id, const char* name, const char* database, const char* backup,
             const char* pictures, const char* video, const char* dncTemp, const char* dncFail,
             const char* importDir, const char* exportDir, int netware, const char* server,
             const char* share, const char* drive);
  // 1 when the row was found; the local profile is never deleted.
  int DeleteById(long id);
  void SetAutoProfile(long id);
  void SetF26All(int flag);

  TcbDataRecord* made = nullptr;  // the record made last

 private:
  TcbDataRecord* ReadRow();
  void WriteRow(const TcbDataRecord* r);
  // The default profile into the current row of a file.
  static void WriteDefault(DbDataFile* d, long id);
  int fields() { return Data() ? data_num_fields(Data()) : 0; }
};
