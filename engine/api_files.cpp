// Public calls on a caller's own files (the report engine's layout files):
// each takes the context's lock at its entry (DbCall). Opening refuses while
// an error is pending; reads and writes refuse in the file layer itself.
#include "engine/engine_api.h"

int file_create(DbFile* f, DB_ENGINE* c, const char* name, int keep_copy) {
  if (!c) return -1;
  DbCall call(c);
  return call ? file_create_in(f, c, name, keep_copy) : -1;
}

int file_open(DbFile* f, DB_ENGINE* c, const char* name, int keep_copy) {
  if (!c) return -1;
  DbCall call(c);
  return call ? file_open_in(f, c, name, keep_copy) : -1;
}

int file_close(DbFile* f) {
  DbCall call(f->context, DbCall::run);
  return file_close_in(f);
}

long file_len(DbFile* f) {
  DbCall call(f->context, DbCall::run);
  return file_len_in(f);
}

unsigned seq_read(DbSeqRead* r, void* buf, unsigned n) {
  DbCall call(r->file->context, DbCall::run);
  return seq_read_in(r, buf, n);
}

int seq_write(DbSeqWrite* w, const void* buf, unsigned n) {
  DbCall call(w->file->context, DbCall::run);
  return seq_write_in(w, buf, n);
}

int seq_write_flush(DbSeqWrite* w) {
  DbCall call(w->file->context, DbCall::run);
  return seq_write_flush_in(w);
}
