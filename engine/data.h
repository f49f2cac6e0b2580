// Open dBASE data files and record access: create, open, close, positioning,
// the record buffer, writing, append, delete and recall, pack, range removal,
// the cached record count, fields by number and name. The file format is
// described in dbf_format.md beside this file.
#pragma once

#include "engine/engine.h"
#include "engine/file.h"

struct DbDataFile;
struct DbField;
struct DbIndex;
struct DbTag;
struct DbRecordPieces;

// One memo field's text as loaded for the current record.
struct DbMemoEntry {
  int changed;
  int needs_read;
  char* text;  // an empty static text when there is no buffer
  unsigned len;
  unsigned capacity;
  DbField* field;
  // The text went to new blocks for a change whose record is not written
  // yet: the stored record still leads to `replaced` (0 none).
  int rewritten;
  long replaced;
};

struct DbField {
  char name[11];
  unsigned len;
  int decimals;
  char type;
  unsigned offset;  // the first field at 1
  DbDataFile* data;
  DbMemoEntry* memo;
};

struct DbMemoFile {
  DbFile file;
  int block_size;
  int locked;
  // A dBASE III memo file (its table's version 0x83): an entry is the
  // text itself, ended by 0x1A.
  int text_entries;
};

// The header copy: version, last update, cached record count (-1 unknown),
// header length.
struct DbHeader {
  unsigned char version;
  unsigned char update[3];
  long num_recs;
  unsigned header_len;
};

struct DbDataFile {
  DbNode link;
  DB_ENGINE* context;
  DbHeader header;
  char* record;
  char* old_record;
  unsigned record_width;
  int record_changed;
  long rec_num;      // -1 when none
  long rec_num_old;  // record held in old_record, -1 none
  DbFile file;
  char alias[11];
  int memo_numbers_current;
  int has_mdx;
  DbField* fields;
  int n_fields;
  DbMemoEntry* memos;
  int n_memos;
  long lock_slot;  // inline slot of the locked-record list
  long* locks;
  int locks_capacity;
  int n_locks;
  int file_locked;
  int append_locked;
  int header_changed;
  DbList indexes;
  DbTag* tag_selected;
  int bof;
  int eof;
  DbMemoFile memo_file;
  long count_seen;
  long held_for;  // the stated count count_held was found for (0 none)
  long count_held;  // records the file holds of that count
  int count_pending;  // appended under a whole-file lock: the count goes out at flush
  // Records read ahead in one go for moves in record order: valid while the
  // file is locked by us or one operation runs (batch_depth), and only as
  // long as this handle wrote nothing since (the file's write count).
  char* ahead;
  long ahead_first;
  long ahead_n;
  unsigned ahead_writes;
  long last_read;  // the record data_go read last (0 none)
  DbRecordPieces* pieces;  // records read for moves out of record order, as long as ahead is
  int batch_depth;
  int writing_depth;  // DbTableWriting scopes open on this table
  // Memo blocks given up by records written but not yet on disk (held
  // under the lock): they go back to the free chain after the write-back.
  long* memo_frees;
  int n_memo_frees;
  int memo_frees_capacity;
};

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

void data_read_ahead_forget(DbDataFile* d);
void data_read_ahead_free(DbDataFile* d);

// One field of a layout to create; an array ends with a null name.
struct DbFieldInfo {
  const char* name;
  int type;
  unsigned len;
  unsigned decimals;
};

// One tag of a layout to create; an array ends with a null name.
struct DbTagInfo {
  const char* name;
  const char* expression;
  const char* filter;
  int unique;
  int descending;
};

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
long data_recno(DbDataFile* d);
long data_reccount_in(DbDataFile* d);
// The count that moves go by: the stated count, but only records the file
// holds (a torn copy may state more). -1 on error.
long data_count_held(DbDataFile* d);

// Record buffer.
char* data_record(DbDataFile* d);
unsigned data_record_width(DbDataFile* d);
long data_record_pos(DbDataFile* d, long n);
// Locks the current record and reads its stored bytes into the old-record
// buffer; 0, a lock status, or -1.
int data_load_stored(DbDataFile* d);
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

// Fields.
int data_num_fields(DbDataFile* d);
DbField* data_field_at(DbDataFile* d, int n);
DbField* data_field_named_in(DbDataFile* d, const char* name);
int data_field_find(DbDataFile* d, const char* name);

// The selected tag (none: record order).
void data_tag_select(DbDataFile* d, DbTag* tag);
DbTag* data_tag_selected(DbDataFile* d);

// Field access inside the record buffer.
char* field_ptr(DbField* f);
char* field_ptr_write(DbField* f);  // marks the record changed
unsigned field_len(DbField* f);
int field_decimals(DbField* f);
const char* field_name(DbField* f);
int field_type(DbField* f);  // F is reported as N
void field_blank(DbField* f);
void field_assign_n(DbField* f, const char* text, unsigned len);
void field_assign(DbField* f, const char* text);
void field_assign_char(DbField* f, int ch);
int field_char(DbField* f);
unsigned field_copy(DbField* f, char* buf, unsigned size);
char* field_str_in(DbField* f);
void field_assign_long(DbField* f, long value);
long field_long(DbField* f);
void field_assign_double(DbField* f, double value);
double field_double(DbField* f);
