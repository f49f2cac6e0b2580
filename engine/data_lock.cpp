// What a lock means to a table: a group of records, appends, the whole file
// (its writes held until the unlock), and unlocking, which flushes first and
// gives up every lock the table holds.
#include "engine/convert.h"
#include "engine/data.h"
#include "engine/index_data.h"
#include "engine/lock.h"
#include "engine/memo.h"
#include "engine/table_replace.h"

namespace {

int lock_capacity(DbDataFile* d) { return d->locks ? d->locks_capacity : 1; }

}  // namespace

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
  file_length_ours(&d->file, 0);
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
  int rc = data_lock_past_rebuilds(d, &d->file, DB_LOCK_RECORD_BASE, 1, 1);
  if (rc != 0) return rc;
  long* list = data_locked_records(d);
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
  int rc = data_lock_past_rebuilds(d, &d->file, DB_LOCK_APPEND, 1);
  if (rc == 0) d->append_locked = 1;
  return rc;
}

int data_lock_file_in(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (data_file_locked(d)) return 0;
  if (release_all(d) < 0) return -1;
  int rc = data_lock_past_rebuilds(d, &d->file, DB_LOCK_FILE, DB_LOCK_FILE_LEN);
  if (rc == 0) {
    d->file_locked = 1;
    // Nobody else reads or writes the records now: they may wait in memory,
    // and the file's length changes only with our own writes.
    file_length_ours(&d->file, 1);
    data_read_ahead_forget(d);
    file_hold_writes(&d->file, long(d->header.header_len));
  }
  return rc;
}
