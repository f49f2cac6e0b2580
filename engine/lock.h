// Byte-range locks on shared files, retried by the context's lock attempts
// (or a thread's bound, or without end), and the one list of every byte a
// table's files are locked at, with the protocol between readers that hold
// no lock and a rebuild.
//
// The bytes lie far beyond any data, so a lock only ever meets the same
// lock taken by another station (another handle: locks belong to the open
// file, not the process).
//
// Data file (.DBF):
//   1000000000, 1000000001 bytes   the whole-file lock: covers every record
//                                  byte, the record gate and the append byte
//   1999999999 - n                 record n (n >= 1)
//   1999999999                     the record gate: held for the moment a
//                                  record lock is taken, so that a group of
//                                  records locks as one
//   2000000000                     the append lock (new records, the count)
//   2000000001                     the program's filing lock (an id drawn and
//                                  its row filed, one station at a time)
//   2000000002                     a rebuild's gate
//   2000000003                     reading: held shared by readers, alone by
//                                  a rebuild while it replaces the files
//   2000000004                     readers waiting: held shared by readers
//                                  kept out by a closed gate
// Index file (.MDX):
//   1999999999                     the index lock (every change of a key)
//   1999999998                     writing: held while a station's held
//                                  writes go out (its blocks, the headers last)
// Memo file (.DBT):
//   1999999999, 2 bytes            the memo lock (blocks taken and freed)
//
// Readers and rebuilds. A reader without a lock of its own (a seek, a move,
// a walk of a relation from its top until it is freed, an open) holds the
// reading byte shared for its time (DbReading, table.h), and keeps it a few
// milliseconds after (lease.h) so that calls close by take it once. A
// rebuild (pack, range removal, reindex, memo compress) replaces files only
// while it holds the reading byte alone (DbRebuilding): it closes the gate,
// so that new readers wait (holding the waiting byte) rather than keeping
// it out, and waits for the readers in to leave. Before it closes the gate
// it lets the readers still waiting from the last closing in first, so a
// run of rebuilds never passes a reader over. While a reader stays, the
// rebuild opens the gate again after a second, lets the waiting readers in
// and tries again, until its own bound is spent: then it reports the table
// busy (DB_LOCKED), having replaced nothing. A reader waits for a closed
// gate up to DB_GUARD_WAIT_SECONDS, then reports a lock error. A rebuild
// keeps the data file's whole-file lock and the index lock throughout, so
// no writer changes anything meanwhile; readers never take either. A
// reader that meets an index block that does not fit (another station's
// write under way) waits for the writing byte and starts the move again;
// only if the index did not change does it take the index lock to judge
// the block, waiting for it as long as for a rebuild.
#pragma once

#include "engine/engine.h"
#include "engine/file.h"

enum : long {
  DB_LOCK_FILE = 1000000000L,
  DB_LOCK_FILE_LEN = 1000000001L,
  DB_LOCK_RECORD_BASE = 1999999999L,  // record n at base - n; the base byte is the gate
  DB_LOCK_APPEND = 2000000000L,
  DB_LOCK_FILING = 2000000001L,
  DB_LOCK_REBUILD_GATE = 2000000002L,
  DB_LOCK_READING = 2000000003L,
  DB_LOCK_READERS_WAITING = 2000000004L,
  // Of an index file.
  DB_INDEX_LOCK_BYTE = 1999999999L,
  DB_INDEX_WRITING_BYTE = 1999999998L,
  // Of a memo file (two bytes).
  DB_MEMO_LOCK = 1999999999L,
  DB_MEMO_LOCK_LEN = 2L,
};

namespace db_lock_bytes {

constexpr long kDataBytes[] = {DB_LOCK_RECORD_BASE, DB_LOCK_APPEND,  DB_LOCK_FILING,
                               DB_LOCK_REBUILD_GATE, DB_LOCK_READING, DB_LOCK_READERS_WAITING};

constexpr bool distinct(const long* bytes, int n) {
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++)
      if (bytes[i] == bytes[j]) return false;
  return true;
}

}  // namespace db_lock_bytes

static_assert(db_lock_bytes::distinct(db_lock_bytes::kDataBytes, 6), "a data file's lock bytes are distinct");
// The whole-file lock ends with the append byte: it keeps out every record
// lock and appends, and no byte of the guards or the filing lock.
static_assert(DB_LOCK_FILE + DB_LOCK_FILE_LEN - 1 == DB_LOCK_APPEND, "the whole-file lock covers records and appends");
static_assert(DB_LOCK_RECORD_BASE < DB_LOCK_APPEND && DB_LOCK_FILING > DB_LOCK_APPEND,
              "the record range lies below the append byte");
static_assert(DB_LOCK_REBUILD_GATE > DB_LOCK_FILE + DB_LOCK_FILE_LEN - 1 &&
                  DB_LOCK_READING > DB_LOCK_REBUILD_GATE && DB_LOCK_READERS_WAITING > DB_LOCK_READING,
              "the guards' bytes lie past the whole-file lock and every record");
static_assert(DB_INDEX_WRITING_BYTE != DB_INDEX_LOCK_BYTE, "an index file's lock bytes are distinct");
static_assert(DB_MEMO_LOCK == DB_LOCK_RECORD_BASE, "the memo lock is taken at the record base's place");

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
// attempts is bounded by that many tries instead (at least one): a batch
// over many tables passes over one another station holds rather than
// waiting on it for ever. Within the time the tries span it tries again
// at short steps, so a lock others hold only for moments (appends, record
// writes) does not turn it away. Endless locks still win inside it.
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
