// Replacing a table's files under one journal for the rebuild, and putting
// back the files of a rebuild that died half way.
#include "engine/table_replace.h"

#include <vector>

#include "engine/index.h"
#include "engine/lock.h"
#include "engine/os_shim.h"
#include "engine/replace_log.h"

DbReplacing::DbReplacing(DbDataFile* d) : d_(d) {
  if (d->replace_depth++ > 0) return;
  // A journal still standing (its undo failed) is never overwritten: the
  // files it names wait to be put back.
  if (replace_log_left(d->file.name) == 1) {
    code_error_ex(d->context, e_create, "Rebuild Left Unfinished:", d->file.name, nullptr);
    return;
  }
  d->replace_log = replace_log_open(d->context, d->file.name);
}

int DbReplacing::commit() {
  committed_ = true;
  if (!d_->replace_log) return -1;  // reported when the scope began
  return d_->replace_depth > 1 ? 0 : replace_log_commit(d_->replace_log);
}

DbReplacing::~DbReplacing() {
  if (--d_->replace_depth > 0) return;
  DbReplaceLog* log = d_->replace_log;
  d_->replace_log = nullptr;
  if (!log) return;
  bool undo = !committed_ || d_->context->error_code < 0;
  if (undo) {
    // The first failure stays the one reported, unless the old contents
    // could not be put back: that is the one to know.
    DbQuietError quiet(d_->context);
    if (replace_log_undo(log) < 0) quiet.finish(DbQuietError::never);
  }
  replace_log_close(log);
}

bool data_replace_left(DbDataFile* d) {
  if (d->replace_log || d->file.handle == -1 || d->file.exclusive) return false;
  // A lock in the records' range keeps every rebuild out, and taking it
  // looked for a journal already.
  if (d->file_locked || d->append_locked || d->n_locks > 0) return false;
  return replace_log_left(d->file.name) == 1;
}

namespace {

// What the handle knew of the files before they were put back.
void forget_contents(DbDataFile* d) {
  d->header.num_recs = -1;
  d->held_for = 0;
  d->ahead_n = 0;
  d->last_read = 0;
  for (DbIndexFile* x = index_first(d); x; x = index_next(d, x)) index_cache_forget(x);
}

int put_back(DbDataFile* d) {
  std::vector<DbFile*> open{&d->file, &d->memo_file.file};
  for (DbIndexFile* x = index_first(d); x; x = index_next(d, x)) open.push_back(&x->file);
  int rc = replace_log_recover(d->context, d->file.name, open.data(), int(open.size()));
  forget_contents(d);
  return rc;
}

}  // namespace

int data_recover(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (d->file.read_only) {
    // A live rebuild's journal: its lock is there; the reading guard waits.
    if (dbos_locked_elsewhere(d->file.handle, DB_LOCK_FILE, DB_LOCK_FILE_LEN, false) == 1) return DB_LOCKED;
    return code_error_ex(c, e_open, "Rebuild Left Unfinished; Open The Table For Writing To Put It Back:",
                         d->file.name, nullptr);
  }
  // Once: a station that holds the lock is recovering or rebuilding itself.
  int rc = file_lock_tries_in(&d->file, DB_LOCK_FILE, DB_LOCK_FILE_LEN, 1);
  if (rc != 0) return rc;
  {
    DbRebuilding rebuilding(d);
    rc = rebuilding.rc();
    if (rc == 0) rc = put_back(d);
  }
  if (file_unlock_in(&d->file, DB_LOCK_FILE, DB_LOCK_FILE_LEN) < 0 && rc == 0) rc = -1;
  return rc < 0 ? -1 : rc;
}

int data_lock_past_rebuilds(DbDataFile* d, DbFile* f, long offset, long len, int tries) {
  for (;;) {
    int rc = tries > 0 ? file_lock_tries_in(f, offset, len, tries) : file_lock(f, offset, len);
    if (rc != 0 || !data_replace_left(d)) return rc;
    file_unlock_in(f, offset, len);
    rc = data_recover(d);
    if (rc != 0 && rc != DB_LOCKED) return rc;
    if (rc == DB_LOCKED) {
      // Another station recovers or reads meanwhile: a step, then again.
      DbUnlocked wait(d->context);
      dbos_sleep_ms(2);
    }
  }
}
