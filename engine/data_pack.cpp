// Pack and range removal: live records are copied down in place through a
// sequential reader and writer, then the file is cut after the new end.
#include <cstring>

#include "engine/data.h"
#include "engine/lock.h"

namespace {

// Two copy buffers of the context's copy size, stepping down by 2048; none
// when even the record length cannot be had (records then go one by one).
struct CopyBuffers {
  char* a = nullptr;
  char* b = nullptr;
  unsigned size = 0;
  CopyBuffers(DB_ENGINE* c, unsigned record_width) {
    for (long s = c->copy_size; s > static_cast<long>(record_width) && s > 0; s -= 2048) {
      a = static_cast<char*>(mem_alloc(s));
      b = static_cast<char*>(mem_alloc(s));
      if (a && b) {
        size = static_cast<unsigned>(s);
        return;
      }
      mem_free(a);
      mem_free(b);
      a = b = nullptr;
    }
  }
  ~CopyBuffers() {
    mem_free(a);
    mem_free(b);
  }
};

// Moves records down: with pack every live record from 1 on, otherwise the
// records after `last` to `first`. Returns the new count or -1.
long copy_down(DbDataFile* d, long count, long first, long last, bool pack) {
  DB_ENGINE* c = d->context;
  CopyBuffers bufs(c, d->record_width);
  long from = pack ? 1 : last + 1;
  long to = pack ? 1 : first;
  DbSeqRead r;
  DbSeqWrite w;
  seq_read_init(&r, &d->file, data_record_pos(d, from), bufs.a, bufs.size);
  seq_write_init(&w, &d->file, data_record_pos(d, to), bufs.b, bufs.size);
  char* rec = d->old_record;
  d->rec_num_old = -1;
  long kept = to - 1;
  for (long i = from; i <= count; i++) {
    if (seq_read_all(&r, rec, d->record_width) < 0) return -1;
    if (pack && rec[0] != ' ') continue;
    if (seq_write(&w, rec, d->record_width) < 0) return -1;
    kept++;
  }
  const char end = 0x1A;
  if (seq_write(&w, &end, 1) < 0 || seq_write_flush(&w) < 0) return -1;
  return kept;
}

int compact(DbDataFile* d, long first, long last, bool pack) {
  DB_ENGINE* c = d->context;
  DbLock lock(c);
  if (c->error_code < 0) return -1;
  int rc = data_lock_file(d);
  if (rc != 0) return rc;
  if (data_flush(d) < 0) return -1;
  // Only the records the file holds: a count beyond them is repaired here.
  long count = data_count_held(d);
  if (count < 0) return -1;
  if (!pack) {
    if (first < 1) first = 1;
    if (last > count) last = count;
    if (first > count || last < first) return 0;
  }
  // Every record must be readable before any is moved.
  long flen = file_len(&d->file);
  if (flen < 0) return -1;
  if (flen < data_record_pos(d, count + 1))
    return code_error_ex(c, e_read, "File Name:", d->file.name, nullptr);
  long kept = copy_down(d, count, first, last, pack);
  if (kept < 0) return -1;
  d->header.num_recs = kept;
  d->held_for = 0;  // the held count is found again
  // The count goes to the header before the file shrinks under it.
  if (data_header_write(d) < 0) return -1;
  if (file_len_set(&d->file, data_record_pos(d, kept + 1) + 1) < 0) return -1;
  d->rec_num = -1;
  std::memset(d->record, ' ', d->record_width);
  d->record_changed = 0;
  d->eof = d->bof = kept == 0;
  return data_reindex(d);
}

}  // namespace

int data_pack(DbDataFile* d) { return compact(d, 0, 0, true); }

int data_remove_range(DbDataFile* d, long first, long last) {
  return compact(d, first, last, false);
}
