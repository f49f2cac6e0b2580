// Filing into the program index is one station at a time: a duplicate
// check, the id draw and the append run while this lock on one byte of
// KELVFILE.DBF is held, so two stations cannot file the same Program-ID
// for one machine.
#pragma once

#include "dbmodel/filetable.h"
#include "engine/engine_api.h"

// Not inlined: callers keep the lock in a std::optional, and g++ 12, given
// these bodies inline, takes the destructor of a disengaged optional for one
// that reads Held and the table before they were set.
class TFilingLock {
 public:
  [[gnu::noinline]] TFilingLock() : Table("KELVFILE.DBF", 0, 0) {
    if (!Table.Open()) return;
    // Another station holds it only for the moment of its own filing.
    Held = file_lock_tries(&Table.Data()->file, kByte, 1, -1) == 0;
  }
  [[gnu::noinline]] ~TFilingLock() {
    if (Held) file_unlock(&Table.Data()->file, kByte, 1);
    Table.Close();
  }
  TFilingLock(const TFilingLock&) = delete;
  TFilingLock& operator=(const TFilingLock&) = delete;
  bool IsHeld() const { return Held; }

 private:
  static constexpr long kByte = DB_LOCK_FILING;
  TcbFileTable Table;
  bool Held = false;
};
