// Public calls on records and fields: moving, seeking, reading and writing.
// Each takes the lock and checks the pending error at its entry (DbCall).
#include <functional>

#include "engine/engine_api.h"
#include "engine/index_data.h"

int data_top(DbDataFile* d) {
  DbCall call(d->context);
  return call ? data_top_in(d) : -1;
}

int data_bottom(DbDataFile* d) {
  DbCall call(d->context);
  return call ? data_bottom_in(d) : -1;
}

int data_go(DbDataFile* d, long n) {
  DbCall call(d->context);
  return call ? data_go_in(d, n) : -1;
}

int data_skip(DbDataFile* d, long n) {
  DbCall call(d->context);
  return call ? data_skip_in(d, n) : -1;
}

long data_reccount(DbDataFile* d) {
  DbCall call(d->context);
  return call ? data_reccount_in(d) : -1;
}

DbTag* data_tag_find(DbDataFile* d, const char* name) {
  DbCall call(d->context);
  return call ? index_data_tag_find(d, name) : nullptr;
}

namespace {

// A seek that finds nothing while another station may be rebuilding the
// index is looked at again once the rebuild is done (index_lookup_confirmed).
// Only a seek that merely reads runs twice: one that first writes the
// changed current record runs once, as it always did.
int seek_confirmed(DbDataFile* d, const std::function<int()>& seek) {
  if (d->record_changed) return seek();
  return index_lookup_confirmed(&d, 1, [&](bool) { return seek(); });
}

}  // namespace

int data_seek(DbDataFile* d, const char* text) {
  DbCall call(d->context);
  return call ? seek_confirmed(d, [&] { return index_data_seek(d, text, -1); }) : -1;
}

int data_seek_double(DbDataFile* d, double value) {
  DbCall call(d->context);
  return call ? seek_confirmed(d, [&] { return index_data_seek_double(d, value); }) : -1;
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
