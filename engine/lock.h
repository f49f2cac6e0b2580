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
  // Past the whole-file lock, so none ever meets a lock of the records
  // (the byte right after it is the program's filing lock): a rebuild's
  // gate, the byte readers hold shared against a rebuild, and the one
  // readers hold shared while they wait for a rebuild to end.
  DB_LOCK_REBUILD_GATE = 2000000002L,
  DB_LOCK_READING = 2000000003L,
  DB_LOCK_READERS_WAITING = 2000000004L,
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
int file_unlock_in(DbFile* f, long offset, long len);

// How long, in seconds, a reader waits for another station's rebuild to
// end (-1: without end, while locks are endless) and a rebuild waits for
// readers to finish: the thread's bound of tries (DbBoundedLocks), else
// for a rebuild the context's lock attempts, else DB_GUARD_WAIT_SECONDS.
enum : int { DB_GUARD_WAIT_SECONDS = 30 };
long guard_wait_seconds(DB_ENGINE* c, bool rebuilding);
// Those waits go in short steps, each with the context unlocked: a
// rebuild's replacement, or a reader's lookup, usually ends within a few.
enum : int { DB_GUARD_STEP_MS = 2 };
long guard_wait_steps(DB_ENGINE* c, bool rebuilding);  // -1: without end
// Sleeps one step and counts it (unless -1).
void guard_step(DB_ENGINE* c, long* steps);
