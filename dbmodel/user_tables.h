// Users and their account types, both in the connected profile's local
// directory.
//
// USER0001.DBF, account types: ID N10, NAME C50, UR1 N11 (the rights mask,
// a signed 32-bit value: bit 31 set makes it negative), UR2 N11, UR3 N11;
// unique tags ID and NAME. USER0002.DBF, users: ID N10, TYPE N10 (USER0001
// ID), NAME C8 login, PASS C8 password as typed, FNAM C40, LNAM C40; unique
// tag ID. Other stations read both files, so the password stays as typed.
#pragma once

#include <cstdint>

#include "dbmodel/codetb.h"

// The built-in administrators' type and administrator, written into new
// files.
constexpr long kAdminTypeId = 2000000000L;
constexpr long kAdminUserId = 2000000000L;
constexpr const char* kAdminTypeName = "ADMINISTRATORS";
constexpr const char* kAdminLogin = "BRALK";
constexpr const char* kAdminDisplayName = "Administrator";
// Every one of the 32 rights.
constexpr int32_t kAllRights = -1;

class TUserAccountRecord : public TcbRecord {
 public:
  long ID = 0;
  int32_t UR1 = 0;
  int32_t UR2 = 0;
  int32_t UR3 = 0;
  char NAME[51] = {};
};

class TAccountTable : public TCodeTB {
 public:
  TAccountTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override { return CreateTable(fullPath); }
  int NewRecord() override;
  int ReadRecord() override;

  // Creates the file when missing; a file without rows gets the
  // administrators' type. 1.
  int CreateTable(const char* fileName);
  // One "%-100s@@%ld" line (NAME, ID) per type; the first line selected.
  void FillList(TListLines* list);
  // 1 with the three words of the type, 0 when it is not there (the words
  // are then 0).
  int LoadRights(long typeId, int32_t& ur1, int32_t& ur2, int32_t& ur3);
  // 1 when the type was found and written.
  int SaveRights(long typeId, int32_t ur1, int32_t ur2, int32_t ur3);
  // The id of a live type of that name in any letter case other than
  // exceptId, else 0.
  long FindName(const char* name, long exceptId);
  // The ids of the live types whose UR1 holds every right.
  std::vector<long> AllRightsTypes();

  TUserAccountRecord* made = nullptr;
};

class TUserInfoRecord : public TcbRecord {
 public:
  long ID = 0;
  long TYPE = 0;
  char NAME[9] = {};
  char PASS[9] = {};
  // As wide as the stored field, so that rewriting a row another station
  // wrote keeps its names whole.
  char FNAM[41] = {};
  char LNAM[41] = {};
};

class TUserInfoTable : public TCodeTB {
 public:
  TUserInfoTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override { return CreateTable(fullPath); }
  int NewRecord() override;
  int ReadRecord() override;

  // Creates the file when missing; a file without rows gets the built-in
  // administrator. 1.
  int CreateTable(const char* fileName);
  // The new user's id, or 0 when no id could be drawn or the row was
  // refused.
  long AddUser(long typeId, const char* name, const char* password, const char* firstName,
               const char* lastName);
  // 1 when the user was found and rewritten.
  int UpdateUser(long userId, long typeId, const char* name, const char* password,
                 const char* firstName, const char* lastName);
  // Rewrites the row of the record's id from the record; 1 when written.
  int SetPassword(const TUserInfoRecord* record);
  // 1 when the user was found and marked deleted.
  int DeleteUser(long userId);
  // "%s %-80s @@%ld" (FNAM, LNAM, ID) per user of the type.
  void FillList(TListLines* list, long typeId);
  // "%-80s @@%ld" (NAME, ID) per user.
  void FillLogonList(TListLines* list);
  // 1 when a live user has that type.
  int CountOfType(long typeId);
  // A new record owned by the caller, or null.
  TUserInfoRecord* ReadUser(long userId);
  // The id of the live user whose login equals name exactly, else 0.
  long FindLogin(const char* name);
  // The same in any letter case and other than exceptId.
  long FindLoginAnyCase(const char* name, long exceptId);
  // Every live user; the caller frees the list.
  TUserInfoRecord* ReadAllUsers();

  TUserInfoRecord* made = nullptr;

 private:
  void WriteFields(long typeId, const char* name, const char* password, const char* firstName,
                   const char* lastName);
  // Walks the live rows, stopping when `row` returns true: the id of that
  // row, else 0. Closes the file.
  long FirstLive(const std::function<bool()>& row);
};

// The live users whose type holds every right, leaving out one user and
// counting one type as it would be after a change (-1: none left out).
// Keeps the station from locking everyone out of the user dialogs.
int CountAllRightsUsers(long exceptUserId, long changedTypeId, bool changedTypeKeepsAll);
