// Production index files (.MDX): up to 47 tags, each a B-tree of keys made
// from a key expression, optionally filtered, unique or descending. This
// header holds the file-level operations (open, create, rebuild, flush,
// lock, close) and tag navigation and key maintenance; the records and the
// block buffers are in block.h. The file layout is described in
// mdx_format.md beside this file.
#pragma once

#include <vector>

#include "engine/block.h"
#include "engine/table.h"

// While one lives, the table's held writes go out under the writing byte of
// its index files: a reader that finds no key waits for that byte and looks
// again when the index changed meanwhile, so it never takes a half-written
// index for a missing key. Only the outermost scope of a table locks.
class DbTableWriting {
 public:
  explicit DbTableWriting(DbDataFile* d);
  ~DbTableWriting();
  DbTableWriting(const DbTableWriting&) = delete;
  DbTableWriting& operator=(const DbTableWriting&) = delete;

 private:
  DbDataFile* d_;
  std::vector<DbIndexFile*> locked_;
};

// The table's index files in turn.
inline DbIndexFile* index_first(DbDataFile* d) { return static_cast<DbIndexFile*>(list_first(&d->indexes)); }
inline DbIndexFile* index_next(DbDataFile* d, DbIndexFile* x) {
  return static_cast<DbIndexFile*>(list_next(&d->indexes, x));
}

// Index files. Creating and closing one takes the table's records into
// account (index_create and index_close, index_data.h); these do the index
// file's part: the data file is locked whole by the caller for a create,
// and its records are flushed and written back before a close.
DbIndexFile* index_open_in(DbDataFile* d, const char* name);
DbIndexFile* index_file_create(DbDataFile* d, const char* name, const DbTagInfo* tags);
int index_file_close(DbIndexFile* x);
int index_flush(DbIndexFile* x);
int index_lock(DbIndexFile* x);
int index_unlock(DbIndexFile* x);
// Every index file of the table.
int index_data_lock(DbDataFile* d);
int index_data_unlock(DbDataFile* d);
DbTag* index_tag(DbIndexFile* x, const char* name);
int index_rebuild(DbIndexFile* x);
// Notices another station's changes (header and tag versions) while the index
// is not locked: changed tags drop their cached blocks. 1 when something changed.
int index_refresh(DbIndexFile* x);

const char* tag_name(DbTag* t);
int tag_key_type(DbTag* t);
int tag_unique(DbTag* t);
int tag_descending(DbTag* t);

// Navigation.
int tag_seek(DbTag* t, const void* key, unsigned len);
int tag_top(DbTag* t);
int tag_bottom(DbTag* t);
int tag_past_end(DbTag* t);
long tag_skip(DbTag* t, long n);
int tag_go(DbTag* t, const void* key, long recno);
int tag_eof(DbTag* t);
long tag_recno(DbTag* t);
unsigned char* tag_key(DbTag* t);
int tag_key_of_record(DbTag* t, unsigned char** key);
double tag_position(DbTag* t);
int tag_filter_passes(DbTag* t);  // 1 when the current record belongs in the tag

// Key maintenance.
int tag_add(DbTag* t, const void* key, long recno);
int tag_add_record(DbTag* t, long recno);
int tag_remove(DbTag* t, const void* key, long recno);
int tag_remove_record(DbTag* t, long recno);
int tag_flush(DbTag* t);
int tag_release(DbTag* t);
void tag_unposition(DbTag* t);  // drops the stack (blocks kept as spares)

// Key routines by key type; 0 when the type has none.
int tag_routines_set(DbTag* t, int key_type);
