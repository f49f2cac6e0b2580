// A table's files replaced in place by a rebuild (pack, range removal,
// reindex, memo compress) under a journal (replace_log.h), and the recovery
// of a rebuild that died half way, before anyone reads the table.
//
// Every rebuild holds the table's file lock from its start to its end, and
// holds the rebuild guard (DbRebuilding) alone while its journal stands: so
// a journal found by a station holding both is a dead process's. A station
// looks for one (a look-up of one name) where it takes what could have let
// it meet the files half replaced: the reading byte afresh, the file lock,
// an append or record lock, an index lock without a lock of the records.
#pragma once

#include "engine/table.h"

struct DbReplaceLog;

// The table's replacements from the outermost scope to its end: one journal
// for all of them (a pack replaces the index and then the table). A scope
// lives inside the rebuild guard. Its end without a commit puts the old
// contents of every file back.
class DbReplacing {
 public:
  explicit DbReplacing(DbDataFile* d);
  ~DbReplacing();
  DbReplacing(const DbReplacing&) = delete;
  DbReplacing& operator=(const DbReplacing&) = delete;
  DbReplaceLog* log() const { return d_->replace_log; }
  // Every file stands new and on the disk: 0, or -1 reported (the end of
  // the outermost scope then puts the old contents back).
  int commit();

 private:
  DbDataFile* d_;
  bool committed_ = false;
};

// True when a journal stands beside the table that this handle did not
// check for since it took a lock that keeps every rebuild out.
bool data_replace_left(DbDataFile* d);
// Finishes a dead rebuild under the locks a rebuild holds: every file its
// journal names is put back. 0 (also when another station did it first),
// DB_LOCKED while a rebuild or recovery of another station holds them, or
// -1 reported (the files cannot be vouched for, or the table is read only).
int data_recover(DbDataFile* d);
// Takes a lock that keeps every rebuild out (`offset`, `len` of `f`; with
// the thread's lock attempts, or `tries` when given) and, when a journal
// stands, gives it back, puts the files back and takes it again: 0, a lock
// status, or -1.
int data_lock_past_rebuilds(DbDataFile* d, DbFile* f, long offset, long len, int tries = 0);
