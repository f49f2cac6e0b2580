// What the data-file operations ask of the index files: opening and creating
// the production index, closing, locking and flushing the index files, keys
// kept on append and write, seek and movement in tag order, reindexing.
#pragma once

#include "engine/data.h"
#include "engine/index.h"

int index_data_open(DbDataFile* d);  // the production index when the header flags one
int index_data_create(DbDataFile* d, const DbTagInfo* tags);
int index_data_close(DbDataFile* d);
// An index file of the table made (its data file locked whole meanwhile) or
// closed (the table's records flushed and written back first).
DbIndexFile* index_create(DbDataFile* d, const char* name, const DbTagInfo* tags);
int index_close(DbIndexFile* x);
int index_data_flush(DbDataFile* d);
DbTag* index_data_tag_find(DbDataFile* d, const char* name);
int index_data_seek(DbDataFile* d, const char* text, int len);
int index_data_seek_double(DbDataFile* d, double value);
// Tag order: top, bottom and skip when a tag is selected.
int index_data_top(DbDataFile* d);
int index_data_bottom(DbDataFile* d);
int index_data_skip(DbDataFile* d, long n);
// The selected tag alone, for a walk that tests record numbers before it
// reads a record: positioned at its first (dir 1) or last (dir -1) key, on
// a key image (len bytes of it), or one key on from the current record.
// The index is refreshed first, as for every move. 0 on a key, 3 past the
// end (or an empty tag), 4 before the start; the record is not read.
int index_data_tag_end(DbDataFile* d, int dir);
int index_data_tag_seek(DbDataFile* d, const unsigned char* key, unsigned len);
int index_data_tag_skip(DbDataFile* d, int dir);
// Keys of the record just placed at d->rec_num by an append: 0, 20 or an error,
// with every tag as before on failure.
int index_data_append(DbDataFile* d);
// Takes the keys of the record at d->rec_num out again when its append failed
// after index_data_append; a pending error stays as it was.
void index_data_append_undo(DbDataFile* d);
// Keys of record n before the record buffer is written over it.
int index_data_write(DbDataFile* d, long n);
// Puts the keys of the stored record n back when the record buffer could not
// be written after index_data_write; a pending error stays as it was.
void index_data_write_undo(DbDataFile* d, long n);
int index_data_reindex(DbDataFile* d);
