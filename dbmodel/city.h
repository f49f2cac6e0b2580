// Cities with a postal code and a country (KELVCITY.DBF); nothing in the
// system creates or opens the file yet.
//
// Layout: ID N10, NAME C40, ZIP C15, COUNTRY N10; tag ID (unique).
#pragma once

#include "dbmodel/codetb.h"

class TcbCityRecord : public TcbRecord {
 public:
  long ID = 0;
  char NAME[41] = {};
  char ZIP[16] = {};
  long COUNTRY = 0;
};

class TcbCityTable : public TCodeTB {
 public:
  TcbCityTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  TcbCityRecord* ReadAll() { return static_cast<TcbCityRecord*>(LoadAll()); }
  TcbCityRecord* FindById(long id);
  // The first live city whose name begins with the text; file left open.
  TcbCityRecord* FindByName(const char* name);
  TcbCityRecord* SelectByCountry(long country);
  TcbCityRecord* RunQuery(const char* filter, const char* sort);
  TcbCityRecord* AppendRecord(TcbCityRecord* record);
  int Update(TcbCityRecord* record);
  int DeleteRecord(TcbCityRecord* record);

  TcbCityRecord* made = nullptr;

 private:
  void WriteRow(const TcbCityRecord* r);
};
