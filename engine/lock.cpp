// Byte-range locks of shared files. Records lock at 1999999999 - n behind a
// gate byte at 1999999999, appends at 2000000000, the whole file over
// 1000000001 bytes from 1000000000: far beyond the data, so a lock only
// ever blocks the same lock taken by another station.
#include "engine/lock.h"

#include "engine/convert.h"
#include "engine/os_shim.h"

namespace {

bool skips_locks(const DbFile* f) { return f->read_only || f->exclusive; }

}  // namespace

namespace {
thread_local int endless_depth = 0;
thread_local int bounded_tries = 0;  // 0: the context's attempts
}  // namespace

DbEndlessLocks::DbEndlessLocks() { endless_depth++; }
DbEndlessLocks::~DbEndlessLocks() { endless_depth--; }

DbBoundedLocks::DbBoundedLocks(int tries) : saved_(bounded_tries) { bounded_tries = tries > 1 ? tries : 1; }
DbBoundedLocks::~DbBoundedLocks() { bounded_tries = saved_; }

int file_lock(DbFile* f, long offset, long len) {
  if (endless_depth > 0) return file_lock_tries_in(f, offset, len, -1);
  return file_lock_tries_in(f, offset, len, bounded_tries > 0 ? bounded_tries : f->context->lock_attempts);
}

// The reader waits in short steps, the time of as many tries in all: the
// rebuild it waits for usually ends within a try, and the answer should not
// wait on the clock's next second after it.
int file_lock_to_confirm(DbFile* f, long offset, long len) {
  int tries = endless_depth > 0 ? -1 : bounded_tries > 0 ? bounded_tries : DB_CONFIRM_LOCK_TRIES;
  long steps = tries < 0 ? -1 : long(tries - 1) * DB_YIELD_STEPS_PER_SECOND;
  for (;;) {
    int rc = file_lock_tries_in(f, offset, len, 1);
    if (rc != DB_LOCKED || steps == 0) return rc;
    if (steps > 0) steps--;
    DbUnlocked wait(f->context);
    code_yield_step();
  }
}

// The tries are given here rather than changed in the context, which other
// threads read while this one waits.
int file_lock_tries_in(DbFile* f, long offset, long len, int tries) {
  DB_ENGINE* c = f->context;
  DbAssertLocked(c);
  if (skips_locks(f)) return 0;
  if (tries == 0) tries = 1;
  for (;;) {
    int r = dbos_lock(f->handle, offset, len);
    if (r == DBOS_LOCK_OK) return 0;
    if (r != DBOS_LOCK_VIOLATION)
      return code_error_ex(c, e_lock, "File Name:", f->name, nullptr);
    if (tries == 1) return DB_LOCKED;
    if (tries > 1) tries--;
    DbUnlocked wait(c);
    code_yield();
  }
}

int file_unlock_in(DbFile* f, long offset, long len) {
  DbAssertLocked(f->context);
  if (skips_locks(f)) return 0;
  if (dbos_unlock(f->handle, offset, len) != 0)
    return code_error_ex(f->context, e_unlock, "File Name:", f->name, nullptr);
  return 0;
}

