// The table and record types every floor of the engine shares (open data
// files, their fields, memo fields and memo files, the layouts of new files),
// and what the index files, memo files and expressions ask of a table below
// the record operations: fields in the record buffer, record numbers and
// positions, the record count, record locks and reading a stored record.
// The file format is described in dbf_format.md beside this file.
#pragma once

#include "engine/engine.h"
#include "engine/file.h"
#include "engine/pool.h"

struct DbDataFile;
struct DbField;
struct DbIndex;
struct DbTag;
struct DbRecordPieces;
struct DbLease;
struct DbReplaceLog;

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
  // The record after the last one this handle wrote and the file's write
  // count just after that write: a next write near it may join its run.
  long run_next;
  unsigned run_writes;
  int writing_depth;  // DbTableWriting scopes open on this table
  // The guards between readers holding no lock and a rebuild (DbReading,
  // DbRebuilding): scopes open, whether the outermost one holds its bytes,
  // and the handle it took them on (a pack swaps the file meanwhile). The
  // reading byte stays held for a moment after the outermost scope ends
  // (lease), so that lookups close by one another take it only once.
  int reading_depth;
  int reading_held;
  int rebuild_depth;
  int rebuild_held;
  intptr_t guard_handle;
  DbLease* lease;  // null until the reading byte was first taken
  // The journal of this handle's rebuild while one replaces files
  // (table_replace.h), and the scopes open on it.
  DbReplaceLog* replace_log;
  int replace_depth;
  // Memo blocks given up by records written but not yet on disk (held
  // under the lock): they go back to the free chain after the write-back.
  long* memo_frees;
  int n_memo_frees;
  int memo_frees_capacity;
};

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

// The open data file by alias; null when none has it.
DbDataFile* data_find_by_alias_in(DB_ENGINE* c, const char* name);

// Record numbers, positions and the count.
long data_recno(DbDataFile* d);
long data_record_pos(DbDataFile* d, long n);
long data_reccount_in(DbDataFile* d);
// The count that moves go by: the stated count, but only records the file
// holds (a torn copy may state more). -1 on error.
long data_count_held(DbDataFile* d);

// Record locks: one record at a time (taking it gives up the others and
// the index locks); a group or the whole file are the record operations'.
inline long* data_locked_records(DbDataFile* d) { return d->locks ? d->locks : &d->lock_slot; }
// Another station's rebuild (a pack, a reindex) replaces the table's files
// in place while this one reads them: a reader that holds no lock of its
// own could meet them half copied, or one replaced and the other not. A
// reader holds the table's reading byte shared for the time of one lookup
// or walk (DbReading); a rebuild replaces files only while it holds that
// byte alone (DbRebuilding). Both wait in short steps for a bounded time: a
// reader then reports a lock error, a rebuild DB_LOCKED, having replaced
// nothing. Scopes nest; a table opened exclusively, or one whose own locks
// keep every rebuild out (its file lock, or the lock of each of its index
// files), takes nothing. The gate, the lease and the rest of the protocol
// are set out in lock.h.
int data_reading_enter(DbDataFile* d);  // 0, or -1 with the error reported
void data_reading_leave(DbDataFile* d);
int data_rebuild_enter(DbDataFile* d);  // 0, DB_LOCKED, or -1
void data_rebuild_leave(DbDataFile* d);
// Drops whatever guard bytes the table holds (it is being closed).
void data_guards_drop(DbDataFile* d);

class DbReading {
 public:
  DbReading(DbDataFile* const* tables, size_t count);
  explicit DbReading(DbDataFile* d) : DbReading(&d, 1) {}
  ~DbReading();
  DbReading(const DbReading&) = delete;
  DbReading& operator=(const DbReading&) = delete;
  explicit operator bool() const { return ok_; }

 private:
  DbDataFile* single_[1] = {nullptr};
  DbDataFile* const* tables_;
  size_t entered_ = 0;
  bool ok_ = true;
};

class DbRebuilding {
 public:
  explicit DbRebuilding(DbDataFile* d) : d_(d), rc_(data_rebuild_enter(d)) {}
  ~DbRebuilding() {
    if (rc_ == 0) data_rebuild_leave(d_);
  }
  DbRebuilding(const DbRebuilding&) = delete;
  DbRebuilding& operator=(const DbRebuilding&) = delete;
  int rc() const { return rc_; }

 private:
  DbDataFile* d_;
  int rc_;
};

int data_record_locked(DbDataFile* d, long n);
int data_file_locked(DbDataFile* d);
int data_count_cacheable(DbDataFile* d);
int data_lock_record_in(DbDataFile* d, long n);
int data_unlock_records(DbDataFile* d);
// Locks the current record and reads its stored bytes into the old-record
// buffer; 0, a lock status, or -1.
int data_load_stored(DbDataFile* d);

// Fields.
int data_num_fields(DbDataFile* d);
DbField* data_field_at(DbDataFile* d, int n);
DbField* data_field_named_in(DbDataFile* d, const char* name);
int data_field_find(DbDataFile* d, const char* name);

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
