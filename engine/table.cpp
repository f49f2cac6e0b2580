// What the index files, memo files and expressions ask of a table: the
// open file by alias, record numbers, positions and the count, one record's
// lock, and the stored bytes of the current record.
#include <cassert>
#include <cstring>

#include "engine/bytes.h"
#include "engine/convert.h"
#include "engine/index.h"
#include "engine/lock.h"
#include "engine/table.h"

DbDataFile* data_find_by_alias_in(DB_ENGINE* c, const char* name) {
  DbAssertLocked(c);
  char want[11];
  str_copy_max(want, name, sizeof want);
  str_upper(want);
  for (auto* d = static_cast<DbDataFile*>(list_first(&c->data_list)); d;
       d = static_cast<DbDataFile*>(list_next(&c->data_list, d)))
    if (std::strcmp(d->alias, want) == 0) return d;
  return nullptr;
}

long data_recno(DbDataFile* d) { return d->rec_num; }

long data_reccount_in(DbDataFile* d) {
  DbAssertLocked(d->context);
  if (d->context->error_code < 0) return -1;
  if (d->header.num_recs >= 0) return d->header.num_recs;
  unsigned char b[4];
  if (file_read(&d->file, 4, b, 4) != 4) return -1;
  long n = static_cast<long>(le_get32(b));
  d->count_seen = n;
  if (data_count_cacheable(d)) d->header.num_recs = n;
  return n;
}

long data_count_held(DbDataFile* d) {
  DbAssertLocked(d->context);
  long count = data_reccount_in(d);
  if (count <= 0) return count;
  if (count == d->held_for && d->count_held == count) return count;
  long len = file_len_in(&d->file);
  if (len < 0) return -1;
  long body = len - static_cast<long>(d->header.header_len);
  long held = body > 0 ? body / static_cast<long>(d->record_width) : 0;
  d->held_for = count;
  d->count_held = held < count ? held : count;
  return d->count_held;
}

int data_load_stored(DbDataFile* d) {
  DbAssertLocked(d->context);
  if (int rc = data_lock_record_in(d, d->rec_num)) return rc;
  if (file_read_all(&d->file, data_record_pos(d, d->rec_num), d->old_record, d->record_width) < 0)
    return -1;
  d->rec_num_old = d->rec_num;
  return 0;
}

long data_record_pos(DbDataFile* d, long n) {
  DbAssertLocked(d->context);
  assert(n >= 1 && d->record_width > 0);  // records count from 1
  return static_cast<long>(d->header.header_len) + (n - 1) * static_cast<long>(d->record_width);
}

int data_record_locked(DbDataFile* d, long n) {
  if (d->file_locked || d->file.exclusive) return 1;
  long* list = data_locked_records(d);
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
  long* list = data_locked_records(d);
  for (int i = 0; i < d->n_locks; i++)
    if (file_unlock_in(&d->file, DB_LOCK_RECORD_BASE - list[i], 1) < 0) rc = -1;
  d->n_locks = 0;
  d->rec_num_old = -1;
  d->memo_numbers_current = 0;
  return rc;
}

int data_lock_record_in(DbDataFile* d, long n) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (n < 1) return code_error(c, e_parm, "data_lock_record()");
  if (data_record_locked(d, n)) return 0;
  index_data_unlock(d);
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
  data_locked_records(d)[0] = n;
  d->n_locks = 1;
  return 0;
}
