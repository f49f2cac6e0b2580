// Public calls on the context and on whole tables: each takes the lock and
// checks the pending error at its entry (DbCall), then runs its inside.
#include "engine/engine_api.h"
#include "engine/index_data.h"

int code_close_all(DB_ENGINE* c) {
  if (!c) return -1;
  DbCall call(c, DbCall::run);
  return code_close_all_in(c);
}

int code_init_undo(DB_ENGINE* c) {
  if (!c) return -1;
  DbCall call(c, DbCall::run);
  return code_init_undo_in(c);
}

DbDataFile* data_find_by_alias(DB_ENGINE* c, const char* name) {
  if (!c || !name) return nullptr;
  DbCall call(c, DbCall::run);
  return data_find_by_alias_in(c, name);
}

DbDataFile* data_create(DB_ENGINE* c, const char* name, const DbFieldInfo* fields,
                        const DbTagInfo* tags) {
  if (!c || !name || !fields) return nullptr;
  DbCall call(c);
  return call ? data_create_in(c, name, fields, tags) : nullptr;
}

DbDataFile* data_open(DB_ENGINE* c, const char* name) {
  if (!c || !name) return nullptr;
  DbCall call(c);
  return call ? data_open_in(c, name) : nullptr;
}

int data_close(DbDataFile* d) {
  if (!d) return -1;
  DbCall call(d->context, DbCall::run);
  return data_close_in(d);
}

void data_alias_set(DbDataFile* d, const char* name) {
  DbCall call(d->context, DbCall::run);
  data_alias_set_in(d, name);
}

int data_flush(DbDataFile* d) {
  DbCall call(d->context);
  return call ? data_flush_in(d) : -1;
}

int data_pack(DbDataFile* d) {
  DbCall call(d->context);
  return call ? data_pack_in(d) : -1;
}

int data_remove_range(DbDataFile* d, long first, long last) {
  DbCall call(d->context);
  return call ? data_remove_range_in(d, first, last) : -1;
}

int data_reindex(DbDataFile* d) {
  DbCall call(d->context);
  return call ? index_data_reindex(d) : -1;
}

int memo_compress(DbDataFile* d) {
  DbCall call(d->context);
  return call ? memo_compress_in(d) : -1;
}

DbIndexFile* index_open(DbDataFile* d, const char* name) {
  if (!d) return nullptr;
  DbCall call(d->context);
  return call ? index_open_in(d, name) : nullptr;
}
