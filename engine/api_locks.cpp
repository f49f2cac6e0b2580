// Public calls that lock and unlock records, tables, their index files and
// bytes of a table's file. Each takes the context's lock and checks the
// pending error at its entry (DbCall); unlocks go on whatever is pending.
#include "engine/engine_api.h"
#include "engine/index_data.h"

int data_lock_record(DbDataFile* d, long n) {
  DbCall call(d->context);
  return call ? data_lock_record_in(d, n) : -1;
}

int data_lock_group(DbDataFile* d, const long* records, int count) {
  DbCall call(d->context);
  return call ? data_lock_group_in(d, records, count) : -1;
}

int data_lock_file(DbDataFile* d) {
  DbCall call(d->context);
  return call ? data_lock_file_in(d) : -1;
}

int data_lock_index(DbDataFile* d) {
  DbCall call(d->context);
  return call ? index_data_lock(d) : -1;
}

int data_unlock(DbDataFile* d) {
  DbCall call(d->context, DbCall::run);
  return data_unlock_in(d);
}

int file_lock_tries(DbFile* f, long offset, long len, int tries) {
  DbCall call(f->context, DbCall::run);
  return file_lock_tries_in(f, offset, len, tries);
}

int file_unlock(DbFile* f, long offset, long len) {
  DbCall call(f->context, DbCall::run);
  return file_unlock_in(f, offset, len);
}
