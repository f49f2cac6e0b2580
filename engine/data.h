// Record operations on open dBASE data files: create, open, close,
// positioning, writing, append, delete and recall, pack, range removal,
// flushing, and the record, append and file locks that go with them. The
// types are in table.h.
#pragma once

#include "engine/table.h"

struct DbTag;
struct DbRecordPieces;

// Lets one operation that moves through many records (a query, a sort)
// read them in batches even while the file is not locked: what it reads is
// as fresh as the operation's start.
class DbBatchReads {
 public:
  explicit DbBatchReads(DbDataFile* d);
  ~DbBatchReads();
  DbBatchReads(const DbBatchReads&) = delete;
  DbBatchReads& operator=(const DbBatchReads&) = delete;

 private:
  DbDataFile* d_;
};

// Record n as the file holds it, copied from the records read ahead or the
// pieces when they hold it fresh and the file is ours alone: 1, else 0 (the
// caller reads the file).
int data_stored_copy(DbDataFile* d, long n, char* out);
void data_read_ahead_forget(DbDataFile* d);
void data_read_ahead_free(DbDataFile* d);

DbDataFile* data_create_in(DB_ENGINE* c, const char* name, const DbFieldInfo* fields,
                           const DbTagInfo* tags);
DbDataFile* data_open_in(DB_ENGINE* c, const char* name);
int data_close_in(DbDataFile* d);
const char* data_alias(DbDataFile* d);
void data_alias_set_in(DbDataFile* d, const char* name);

// Positioning: 0, 3 end of file, 4 beginning of file, 5 record not read.
int data_top_in(DbDataFile* d);
int data_bottom_in(DbDataFile* d);
int data_go_in(DbDataFile* d, long n);
int data_skip_in(DbDataFile* d, long n);
// data_go for a walk that wants record `next` after n (0 none, -1 not
// known): tells the reads whether the records around n are worth reading
// with it. A record the file no longer holds (cut by another station) gives
// 5, no error.
int data_go_toward(DbDataFile* d, long n, long next);
int data_go_eof(DbDataFile* d);
int data_eof(DbDataFile* d);
int data_bof(DbDataFile* d);

// Record buffer.
char* data_record(DbDataFile* d);
unsigned data_record_width(DbDataFile* d);
void data_blank(DbDataFile* d);
void data_delete(DbDataFile* d);
void data_recall(DbDataFile* d);
int data_is_deleted(DbDataFile* d);
int data_changed(DbDataFile* d, int flag);  // returns the old flag

// Writing.
int data_write_in(DbDataFile* d, long n);
int data_append_start_in(DbDataFile* d, int detach_memos);
int data_append_in(DbDataFile* d);
int data_append_blank_in(DbDataFile* d);
int data_flush_in(DbDataFile* d);
int data_flush_all(DB_ENGINE* c);
int data_header_write(DbDataFile* d);

// Maintenance.
int data_pack_in(DbDataFile* d);
int data_remove_range_in(DbDataFile* d, long first, long last);
// Rewrites the memo file with only the texts the records lead to.
int memo_compress_in(DbDataFile* d);

// Locks beyond one record: a group of records, appends, the whole file;
// unlocking flushes first and gives up every lock of the table.
int data_lock_group_in(DbDataFile* d, const long* records, int count);
int data_lock_append(DbDataFile* d);
int data_lock_file_in(DbDataFile* d);
int data_unlock_in(DbDataFile* d);
int data_unlock_append(DbDataFile* d);
int data_unlock_file(DbDataFile* d);
int data_unlock_index(DbDataFile* d);

// The selected tag (none: record order).
void data_tag_select(DbDataFile* d, DbTag* tag);
DbTag* data_tag_selected(DbDataFile* d);

