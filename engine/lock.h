// Byte-range locks on shared files at offsets far beyond any data, retried
// by the context's lock attempts: the places of record, append and whole-file
// locks of data files, and taking and giving up a range. What a lock means
// to a table is the record operations' (data.h).
#pragma once

#include "engine/engine.h"
#include "engine/file.h"

enum : long {
  DB_LOCK_RECORD_BASE = 1999999999L,  // record n at base - n; the base byte is the gate
  DB_LOCK_APPEND = 2000000000L,
  DB_LOCK_FILE = 1000000000L,
  DB_LOCK_FILE_LEN = 1000000001L,
};

int file_lock(DbFile* f, long offset, long len);

// While one lives, every lock this thread tries is retried without end. It
// stands in for a change of the context's lock attempts, which the other
// threads go on using while this one waits.
class DbEndlessLocks {
 public:
  DbEndlessLocks();
  ~DbEndlessLocks();
  DbEndlessLocks(const DbEndlessLocks&) = delete;
  DbEndlessLocks& operator=(const DbEndlessLocks&) = delete;
};

// While one lives, every lock this thread tries with the context's
// attempts is tried at most that many times instead (at least once): a
// batch over many tables passes over one another station holds rather than
// waiting on it for ever. Endless locks still win inside it.
class DbBoundedLocks {
 public:
  explicit DbBoundedLocks(int tries);
  ~DbBoundedLocks();
  DbBoundedLocks(const DbBoundedLocks&) = delete;
  DbBoundedLocks& operator=(const DbBoundedLocks&) = delete;

 private:
  int saved_;
};

int file_lock_tries_in(DbFile* f, long offset, long len, int tries);
// A lock that a reader holding none takes only to confirm what it found
// without one (waiting out another station's rebuild): tried for as long as
// the thread's bound of tries says (DbBoundedLocks), else for
// DB_CONFIRM_LOCK_TRIES, even while the context's attempts are endless.
enum : int { DB_CONFIRM_LOCK_TRIES = 30 };
int file_lock_to_confirm(DbFile* f, long offset, long len);
int file_unlock_in(DbFile* f, long offset, long len);
