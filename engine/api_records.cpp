// Public calls on records and fields: moving, seeking, reading and writing.
// Each takes the lock and checks the pending error at its entry (DbCall).
#include "engine/engine_api.h"
#include "engine/index_data.h"

// The moves and seeks read the table's files: while another station's
// rebuild replaces them they wait for it (DbReading), so they meet them
// whole, all old or all new.
int data_top(DbDataFile* d) {
  DbCall call(d->context);
  if (!call) return -1;
  DbReading reading(d);
  return reading ? data_top_in(d) : -1;
}

int data_bottom(DbDataFile* d) {
  DbCall call(d->context);
  if (!call) return -1;
  DbReading reading(d);
  return reading ? data_bottom_in(d) : -1;
}

int data_go(DbDataFile* d, long n) {
  DbCall call(d->context);
  if (!call) return -1;
  DbReading reading(d);
  return reading ? data_go_in(d, n) : -1;
}

int data_skip(DbDataFile* d, long n) {
  DbCall call(d->context);
  if (!call) return -1;
  DbReading reading(d);
  return reading ? data_skip_in(d, n) : -1;
}

long data_reccount(DbDataFile* d) {
  DbCall call(d->context);
  if (!call) return -1;
  DbReading reading(d);
  return reading ? data_reccount_in(d) : -1;
}

DbTag* data_tag_find(DbDataFile* d, const char* name) {
  DbCall call(d->context);
  return call ? index_data_tag_find(d, name) : nullptr;
}

int data_seek(DbDataFile* d, const char* text) {
  DbCall call(d->context);
  if (!call) return -1;
  DbReading reading(d);
  return reading ? index_data_seek(d, text, -1) : -1;
}

int data_seek_double(DbDataFile* d, double value) {
  DbCall call(d->context);
  if (!call) return -1;
  DbReading reading(d);
  return reading ? index_data_seek_double(d, value) : -1;
}

int data_write(DbDataFile* d, long n) {
  DbCall call(d->context);
  return call ? data_write_in(d, n) : -1;
}

int data_append_start(DbDataFile* d, int detach_memos) {
  DbCall call(d->context);
  return call ? data_append_start_in(d, detach_memos) : -1;
}

int data_append(DbDataFile* d) {
  DbCall call(d->context);
  return call ? data_append_in(d) : -1;
}

int data_append_blank(DbDataFile* d) {
  DbCall call(d->context);
  return call ? data_append_blank_in(d) : -1;
}

DbField* data_field_named(DbDataFile* d, const char* name) {
  DbCall call(d->context, DbCall::run);
  return data_field_named_in(d, name);
}

char* field_str(DbField* f) {
  DbCall call(f->data->context, DbCall::run);
  return field_str_in(f);
}

int memo_field_assign(DbField* f, const char* text, unsigned len) {
  DbCall call(f->data->context, DbCall::run);
  return memo_field_assign_in(f, text, len);
}
