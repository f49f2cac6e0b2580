// Byte-range locks of data files. Records lock at 1999999999 - n behind a
// gate byte at 1999999999, appends at 2000000000, the whole file over
// 1000000001 bytes from 1000000000: far beyond the data, so a lock only
// ever blocks the same lock taken by another station.
#include "engine/lock.h"

#include "engine/convert.h"
#include "engine/index_data.h"
#include "engine/memo.h"
#include "engine/os_shim.h"

namespace {

long* lock_list(DbDataFile* d) { return d->locks ? d->locks : &d->lock_slot; }

int lock_capacity(DbDataFile* d) { return d->locks ? d->locks_capacity : 1; }

bool skips_locks(const DbFile* f) { return f->read_only || f->exclusive; }

}  // namespace

namespace {
thread_local int endless_depth = 0;
}  // namespace

DbEndlessLocks::DbEndlessLocks() { endless_depth++; }
DbEndlessLocks::~DbEndlessLocks() { endless_depth--; }

int file_lock(DbFile* f, long offset, long len) {
  return file_lock_tries_in(f, offset, len, endless_depth > 0 ? -1 : f->context->lock_attempts);
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

int data_record_locked(DbDataFile* d, long n) {
  if (d->file_locked || d->file.exclusive) return 1;
  long* list = lock_list(d);
  for (int i = 0; i < d->n_locks; i++)
    if (list[i] == n) return 1;
  return 0;
}

int data_file_locked(DbDataFile* d) { return d->file_locked || d->file.exclusive; }

int data_count_cacheable(DbDataFile* d) {
  return d->file_locked || d->append_locked || d->file.exclusive;
}

int data_unlock_records(DbDataFile* d) {
  DbAssertLocked(d->context);
  int rc = 0;
  long* list = lock_list(d);
  for (int i = 0; i < d->n_locks; i++)
    if (file_unlock_in(&d->file, DB_LOCK_RECORD_BASE - list[i], 1) < 0) rc = -1;
  d->n_locks = 0;
  d->rec_num_old = -1;
  d->memo_numbers_current = 0;
  return rc;
}

int data_unlock_append(DbDataFile* d) {
  DbAssertLocked(d->context);
  if (!d->append_locked) return 0;
  d->append_locked = 0;
  d->header.num_recs = -1;
  return file_unlock_in(&d->file, DB_LOCK_APPEND, 1) < 0 ? -1 : 0;
}

int data_unlock_file(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (!d->file_locked) return 0;
  // The count of this stretch's appends, and every record held back, go out
  // before anyone else may read or append, even with an error pending: the
  // writes were reported done. The records go first, the header last.
  DbTableWriting writing(d);
  DbQuietError quiet(c, DbQuietError::if_any);
  int rc = 0;
  if (d->count_pending) {
    if (data_header_write(d) < 0) rc = -1;
    else d->count_pending = 0;
  }
  if (rc == 0 && file_release_writes(&d->file) < 0) rc = -1;
  if (rc < 0) {
    // Nothing is lost: the lock stays, so the held writes can still go out
    // (a later unlock or flush) with no other station in between.
    quiet.finish(DbQuietError::if_error);
    return -1;
  }
  // The records are on disk: the memo blocks they left go back now.
  if (memo_frees_release(d) < 0) rc = -1;
  quiet.finish();
  d->file_locked = 0;
  d->header.num_recs = -1;
  data_read_ahead_forget(d);
  if (file_unlock_in(&d->file, DB_LOCK_FILE, DB_LOCK_FILE_LEN) < 0) rc = -1;
  return rc;
}

int data_unlock_index(DbDataFile* d) { return index_data_unlock(d); }

namespace {

int release_all(DbDataFile* d) {
  int rc = 0;
  if (data_unlock_file(d) < 0) rc = -1;
  if (data_unlock_append(d) < 0) rc = -1;
  if (data_unlock_records(d) < 0) rc = -1;
  if (data_unlock_index(d) < 0) rc = -1;
  if (d->memo_file.file.handle != -1 && memo_file_unlock(&d->memo_file) < 0) rc = -1;
  return rc;
}

}  // namespace

int data_unlock_in(DbDataFile* d) {
  DbAssertLocked(d->context);
  int rc = 0;
  if (d->file.handle != -1 && d->context->error_code >= 0 && data_flush_in(d) < 0) rc = -1;
  if (release_all(d) < 0) rc = -1;
  return rc;
}

int data_lock_record_in(DbDataFile* d, long n) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (n < 1) return code_error(c, e_parm, "data_lock_record()");
  if (data_record_locked(d, n)) return 0;
  data_unlock_index(d);
  data_unlock_records(d);
  int rc = file_lock(&d->file, DB_LOCK_RECORD_BASE, 1);
  if (rc != 0) return rc;
  rc = file_lock(&d->file, DB_LOCK_RECORD_BASE - n, 1);
  int gate = file_unlock_in(&d->file, DB_LOCK_RECORD_BASE, 1);
  if (rc != 0) return rc;
  if (gate != 0) {
    file_unlock_in(&d->file, DB_LOCK_RECORD_BASE - n, 1);
    return gate;
  }
  lock_list(d)[0] = n;
  d->n_locks = 1;
  return 0;
}

int data_lock_group_in(DbDataFile* d, const long* records, int count) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (data_file_locked(d)) return 0;
  if (data_unlock_in(d) < 0) return -1;
  if (count > lock_capacity(d)) {
    auto* grown = static_cast<long*>(mem_alloc(sizeof(long) * count));
    if (!grown) {
      mem_free(d->locks);
      d->locks = nullptr;
      d->locks_capacity = 0;
      return code_error(c, e_memory, nullptr);
    }
    mem_free(d->locks);
    d->locks = grown;
    d->locks_capacity = count;
  }
  int attempts = c->lock_attempts;
  int rc = file_lock_tries_in(&d->file, DB_LOCK_RECORD_BASE, 1, 1);
  if (rc != 0) return rc;
  long* list = lock_list(d);
  for (;;) {
    rc = 0;
    d->n_locks = 0;
    for (int i = 0; i < count; i++) {
      if (records[i] < 1) {
        rc = code_error(c, e_parm, "data_lock_group()");
        break;
      }
      rc = file_lock_tries_in(&d->file, DB_LOCK_RECORD_BASE - records[i], 1, 1);
      if (rc != 0) break;
      list[d->n_locks++] = records[i];
    }
    if (rc == 0) break;
    for (int i = 0; i < d->n_locks; i++) file_unlock_in(&d->file, DB_LOCK_RECORD_BASE - list[i], 1);
    d->n_locks = 0;
    if (rc != DB_LOCKED || attempts == 0) break;
    if (attempts > 0) attempts--;
    DbUnlocked wait(c);
    code_yield();
  }
  file_unlock_in(&d->file, DB_LOCK_RECORD_BASE, 1);
  return rc;
}

int data_lock_append(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (data_count_cacheable(d)) return 0;
  data_unlock_records(d);
  int rc = file_lock(&d->file, DB_LOCK_APPEND, 1);
  if (rc == 0) d->append_locked = 1;
  return rc;
}

int data_lock_file_in(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (data_file_locked(d)) return 0;
  if (release_all(d) < 0) return -1;
  int rc = file_lock(&d->file, DB_LOCK_FILE, DB_LOCK_FILE_LEN);
  if (rc == 0) {
    d->file_locked = 1;
    // Nobody else reads or writes the records now: they may wait in memory.
    data_read_ahead_forget(d);
    file_hold_writes(&d->file, long(d->header.header_len));
  }
  return rc;
}

