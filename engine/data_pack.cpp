// Pack and range removal: the records kept are copied through a sequential
// reader and writer into a work file, which then replaces the table; and
// compressing the memo file.
#include <cstring>
#include <utility>

#include "engine/bytes.h"
#include "engine/convert.h"
#include "engine/data.h"
#include "engine/index.h"
#include "engine/index_data.h"
#include "engine/lock.h"
#include "engine/memo.h"
#include "engine/table_replace.h"

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

// Writes the table as it is to be into the work file: the header with the
// new count, the descriptors, the records kept (with pack the live ones,
// otherwise all but first..last) and the end mark. Returns the count or -1.
long write_kept(DbDataFile* d, DbFile* to, long count, long first, long last, bool pack) {
  DB_ENGINE* c = d->context;
  unsigned head_len = d->header.header_len;
  auto* head = static_cast<unsigned char*>(mem_alloc_err(c, head_len));
  if (!head) return -1;
  int rc = file_read_all(&d->file, 0, head, head_len);
  CopyBuffers bufs(c, d->record_width);
  DbSeqRead r;
  DbSeqWrite w;
  seq_read_init(&r, &d->file, data_record_pos(d, 1), bufs.a, bufs.size);
  seq_write_init(&w, to, data_record_pos(d, 1), bufs.b, bufs.size);
  char* rec = d->old_record;
  d->rec_num_old = -1;
  long kept = 0;
  for (long i = 1; rc == 0 && i <= count; i++) {
    if (seq_read_all(&r, rec, d->record_width) < 0) rc = -1;
    else if (pack ? rec[0] != ' ' : i >= first && i <= last) continue;
    else if (seq_write_in(&w, rec, d->record_width) < 0) rc = -1;
    else kept++;
  }
  const char end = 0x1A;
  if (rc == 0 && (seq_write_in(&w, &end, 1) < 0 || seq_write_flush_in(&w) < 0)) rc = -1;
  if (rc == 0) {
    date_stamp(head + 1);
    le_put32(head + 4, static_cast<uint32_t>(kept));
    rc = file_write(to, 0, head, head_len);
  }
  mem_free(head);
  return rc < 0 ? -1 : kept;
}

// Rebuilds every index over the records of `table` in place of the data
// file's own: the work file holds the same layout.
int reindex_over(DbDataFile* d, DbFile* table, long count) {
  std::swap(d->file, *table);
  d->header.num_recs = count;
  d->held_for = 0;
  data_read_ahead_forget(d);
  int rc = index_data_reindex(d);
  std::swap(d->file, *table);
  d->held_for = 0;
  data_read_ahead_forget(d);
  return rc;
}

// The table is built afresh in a work file and its indexes over that; only
// then does the work file replace the table. Index and table keep copies of
// their old contents under one journal until both stand new (a failure
// puts both back, and so does the next open after a crash). A failure
// leaves the old records, and their index is rebuilt over them again.
int compact(DbDataFile* d, long first, long last, bool pack) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  int rc = data_lock_file_in(d);
  if (rc != 0) return rc;
  if (data_flush_in(d) < 0) return -1;
  // Writes this lock held back go out first: they were reported done.
  if (file_write_back(&d->file) < 0) return -1;
  // Only the records the file holds: a count beyond them is repaired here.
  long count = data_count_held(d);
  if (count < 0) return -1;
  if (!pack) {
    if (first < 1) first = 1;
    if (last > count) last = count;
    if (first > count || last < first) return 0;
  }
  // Every record must be readable before any is moved.
  long flen = file_len_in(&d->file);
  if (flen < 0) return -1;
  if (flen < data_record_pos(d, count + 1))
    return code_error_ex(c, e_read, "File Name:", d->file.name, nullptr);

  char work_name[1100];
  str_copy_max(work_name, d->file.name, sizeof work_name);
  if (file_name_ext(work_name, sizeof work_name, "DB~", 1) != 0)
    return code_error_ex(c, e_create, "File Name:", work_name, nullptr);
  DbFile work;
  {
    DbSettingFor noSafety(c->safety, 0);
    DbSettingFor exclusive(c->exclusive, 1);
    rc = file_create_in(&work, c, work_name, 1);
  }
  if (rc != 0) return rc < 0 ? -1 : rc;
  work.remove_on_close = 1;

  d->rec_num = -1;
  std::memset(d->record, ' ', d->record_width);
  d->record_changed = 0;
  long kept = write_kept(d, &work, count, first, last, pack);
  if (kept >= 0) {
    // From the index's replacement to the table's, the two do not agree:
    // no reader without a lock may meet them until both are in place.
    DbRebuilding rebuilding(d);
    if (rebuilding.rc() != 0) {
      // Readers stayed: nothing was replaced, the table stays as it was.
      DbQuietError quiet(c, DbQuietError::if_error);
      file_close_in(&work);
      return rebuilding.rc() < 0 ? -1 : rebuilding.rc();
    }
    // One journal for both: a process dying anywhere between leaves both
    // to be put back together.
    DbReplacing replacing(d);
    rc = replacing.log() ? reindex_over(d, &work, kept) : -1;
    if (rc == 0) rc = file_replace(&d->file, &work, replacing.log());  // closes and removes the work file
    if (rc == 0) rc = replacing.commit();
  } else {
    rc = -1;
  }
  d->held_for = 0;  // the held count is found again
  if (rc == 0) {
    d->header.num_recs = data_count_cacheable(d) ? kept : -1;
    d->eof = d->bof = kept == 0;
    return 0;
  }
  // The old records stay: the indexes follow them again. The first
  // failure is the one reported.
  DbQuietError quiet(c);
  if (work.handle != -1) file_close_in(&work);
  code_error_set(c, 0);
  d->header.num_recs = data_count_cacheable(d) ? count : -1;
  if (kept >= 0) index_data_reindex(d);
  return rc < 0 ? -1 : rc;
}

}  // namespace

int data_pack_in(DbDataFile* d) { return compact(d, 0, 0, true); }

int data_remove_range_in(DbDataFile* d, long first, long last) {
  return compact(d, first, last, false);
}

int memo_compress_in(DbDataFile* d) {
  DbAssertLocked(d->context);
  if (!d->n_memos || d->memo_file.file.handle == -1) return 0;
  if (data_flush_in(d) < 0) return -1;
  if (int rc = data_lock_file_in(d)) return rc;
  return memo_file_compress(d);
}
