// Taking and giving up byte ranges of shared files: by the context's lock
// attempts, a thread's bound (DbBoundedLocks) or without end
// (DbEndlessLocks), and the steps of the reader/rebuild guard's waits. The
// bytes themselves, and what they mean, are listed in lock.h.
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

namespace {

// A batch's bound of n tries spans the n - 1 waits between them, as the
// context's attempts do, but tries again at each step of a guard's wait
// meanwhile: it gets through locks another station holds for a moment (an
// append, a record written) however often they come, and passes over one
// held throughout.
int file_lock_within(DbFile* f, long offset, long len, int tries) {
  if (tries <= 1 || f->read_only || f->exclusive) return file_lock_tries_in(f, offset, len, 1);
  DB_ENGINE* c = f->context;
  DbAssertLocked(c);
  for (long steps = long(tries - 1) * (1000 / DB_GUARD_STEP_MS);;) {
    int r = dbos_lock(f->handle, offset, len);
    if (r == DBOS_LOCK_OK) return 0;
    if (r != DBOS_LOCK_VIOLATION) return code_error_ex(c, e_lock, "File Name:", f->name, nullptr);
    if (steps == 0) return DB_LOCKED;
    guard_step(c, &steps);
  }
}

}  // namespace

int file_lock(DbFile* f, long offset, long len) {
  if (endless_depth > 0) return file_lock_tries_in(f, offset, len, -1);
  if (bounded_tries > 0) return file_lock_within(f, offset, len, bounded_tries);
  return file_lock_tries_in(f, offset, len, f->context->lock_attempts);
}

long guard_wait_seconds(DB_ENGINE* c, bool rebuilding) {
  if (bounded_tries > 0) return bounded_tries;
  if (rebuilding) return c->lock_attempts > 0 ? c->lock_attempts : DB_GUARD_WAIT_SECONDS;
  return endless_depth > 0 ? -1 : DB_GUARD_WAIT_SECONDS;
}

long guard_wait_steps(DB_ENGINE* c, bool rebuilding) {
  long seconds = guard_wait_seconds(c, rebuilding);
  return seconds < 0 ? -1 : seconds * (1000 / DB_GUARD_STEP_MS);
}

void guard_step(DB_ENGINE* c, long* steps) {
  if (*steps > 0) --*steps;
  DbUnlocked wait(c);
  dbos_sleep_ms(DB_GUARD_STEP_MS);
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

