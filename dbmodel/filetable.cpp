// Program index rows: layout, reader, finds, row lock, append, update,
// delete and the send counter.
#include "dbmodel/filetable.h"

#include <chrono>
#include <cstring>

#include "engine/engine_api.h"

namespace {

enum {
  fNCID = 1, fDESC, fDIR, fNAME, fEXT, fPART, fDRAW, fCUST, fMID, fMAT, fPROJECT,
  fMACHINE, fCHAR3, fLONG1, fMEMOSTR, fLOCK, fPROG, fMAZAK, fSENT
};

}  // namespace

void TcbFileRecord::SetMemo(const char* text) { ReplaceText(MEMOSTR, text); }

int TcbFileTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  f.add("NCID", 'N', 10, 0);
  f.add("DESC", 'C', 40, 0);
  f.add("DIR", 'C', 100, 0);
  f.add("NAME", 'C', 8, 0);
  f.add("EXT", 'C', 3, 0);
  f.add("PART", 'C', 25, 0);
  f.add("DRAW", 'C', 25, 0);
  f.add("CUST", 'N', 10, 0);
  f.add("MID", 'N', 10, 0);
  f.add("MAT", 'N', 10, 0);
  f.add("PROJECT", 'N', 10, 0);
  f.add("MACHINE", 'C', 25, 0);
  f.add("CHAR3", 'C', 50, 0);
  f.add("LONG1", 'N', 10, 0);
  f.add("MEMOSTR", 'M', 0, 0);
  f.add("LOCK", 'L', 0, 0);
  f.add("PROG", 'N', 10, 0);
  f.add("MAZAK", 'L', 1, 0);
  f.add("SENT", 'N', 10, 0);
  TagInfoList t(DbContext);
  t.add("NCID", "NCID", nullptr, 20, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

int TcbFileTable::NewRecord() { return NewInto(made); }

int TcbFileTable::ReadRecord() {
  if (!NewRecord()) return 0;
  TcbFileRecord* r = made;
  r->NCID = FieldLong(fNCID);
  r->CUST = FieldLong(fCUST);
  r->MID = FieldLong(fMID);
  r->MAT = FieldLong(fMAT);
  r->PROJECT = FieldLong(fPROJECT);
  r->LONG1 = FieldLong(fLONG1);
  r->PROG = FieldLong(fPROG);
  r->SENT = FieldLong(fSENT);
  FieldText(fDESC, r->DESC, sizeof r->DESC);
  FieldText(fDIR, r->DIR, sizeof r->DIR);
  FieldText(fNAME, r->NAME, sizeof r->NAME);
  FieldText(fEXT, r->EXT, sizeof r->EXT);
  FieldText(fPART, r->PART, sizeof r->PART);
  FieldText(fDRAW, r->DRAW, sizeof r->DRAW);
  FieldText(fMACHINE, r->MACHINE, sizeof r->MACHINE);
  FieldText(fCHAR3, r->CHAR3, sizeof r->CHAR3);
  r->MEMOSTR = FieldMemo(fMEMOSTR);
  r->LOCK = FieldTrue(fLOCK) ? 1 : 0;
  r->MAZAK = FieldTrue(fMAZAK) ? 1 : 0;
  SetCurrent(r);
  return 1;
}

void TcbFileTable::WriteRow(const TcbFileRecord* r) {
  PutLong(fNCID, r->NCID);
  PutLong(fCUST, r->CUST);
  PutLong(fMID, r->MID);
  PutLong(fMAT, r->MAT);
  PutLong(fPROJECT, r->PROJECT);
  PutLong(fLONG1, r->LONG1);
  PutLong(fPROG, r->PROG);
  PutLong(fSENT, r->SENT);
  PutText(fDESC, r->DESC);
  PutText(fDIR, r->DIR);
  PutText(fNAME, r->NAME);
  PutText(fEXT, r->EXT);
  PutText(fPART, r->PART);
  PutText(fDRAW, r->DRAW);
  PutText(fMACHINE, r->MACHINE);
  PutText(fCHAR3, r->CHAR3);
  PutMemo(fMEMOSTR, r->MEMOSTR);
  PutLogical(fLOCK, r->LOCK);
  PutLogical(fMAZAK, r->MAZAK);
}

TcbFileRecord* TcbFileTable::FindById(long id) {
  if (id == 0) return nullptr;
  if (!Open()) return nullptr;
  if (!SeekNumber("NCID", static_cast<double>(id))) return nullptr;
  if (!ReadRecord()) {
    Close();
    return nullptr;
  }
  return made;
}

long TcbFileTable::LockById(long id) {
  // Another station's pack between the seek and the lock renumbers the
  // rows: once the lock keeps any further pack out, the row is sought
  // again, and while it stands elsewhere now, the lock goes there. The
  // wait for the lock can span several packs of a station that packs
  // again and again, each moving the row once more: the chase goes on for
  // as long as a reader waits for a rebuild, not for a fixed few tries.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(DB_GUARD_WAIT_SECONDS);
  long n = 0;
  for (;;) {
    TcbFileRecord* r = FindById(id);
    if (!r) return -1;
    delete r;
    made = nullptr;
    long at = data_recno(Data());
    if (at < 1) return -1;
    if (at == n) return n;
    if (n > 0) data_unlock(Data());
    if (std::chrono::steady_clock::now() > giveUp) return -1;
    n = at;
    if (data_lock_record(Data(), n) != 0) {
      EngineFailed();
      return -1;
    }
  }
}

TcbFileRecord* TcbFileTable::ReadAll(int handOver) {
  TcbRecord* head = LoadAll();
  made = static_cast<TcbFileRecord*>(head);
  if (handOver) DetachList();
  return made;
}

int TcbFileTable::Append(TcbFileRecord* record) {
  if (!record) return 0;
  if (!Open()) return 0;
  if (!BeginAppend()) return 0;
  record->LOCK = 0;
  WriteRow(record);
  bool ok = FinishAppend();
  return Close() && ok ? 1 : 0;
}

int TcbFileTable::AppendBatch(TcbFileRecord* record) {
  if (!record) return 0;
  if (!Open()) return 0;
  if (!BeginAppend()) return 0;
  WriteRow(record);
  return FinishAppend() ? 1 : 0;
}

int TcbFileTable::Update(TcbFileRecord* record) {
  if (!record) return 0;
  return ChangeFound(FindById(record->NCID), made, [&](TcbFileRecord*) { WriteRow(record); });
}

TcbFileRecord* TcbFileTable::DeleteById(long id) {
  TcbFileRecord* found = FindById(id);
  if (!found) {
    Close();
    return nullptr;
  }
  PutLong(fNCID, -FieldLong(fNCID));
  PutLong(fMID, -FieldLong(fMID));
  data_delete(Data());
  if (!Close()) {
    delete found;
    made = nullptr;
    return nullptr;
  }
  return found;
}

void TcbFileTable::IncrementSent(long id) {
  if (!Data()) return;
  if (SeekNumber("NCID", static_cast<double>(id))) PutLong(fSENT, FieldLong(fSENT) + 1);
  EngineFailed();
}

void TcbFileTable::ResetSent(long id) {
  if (!Open()) return;
  if (SeekNumber("NCID", static_cast<double>(id))) PutLong(fSENT, 0);
  Close();
}
