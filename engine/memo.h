// Memo files (.DBT): texts of memo fields kept in blocks beside the data file,
// with a chain of free runs. Format notes in dbt_format.md.
#pragma once

#include "engine/table.h"

int memo_file_create(DbMemoFile* m, DB_ENGINE* c, DbDataFile* d, const char* name);
int memo_file_open(DbMemoFile* m, DbDataFile* d, const char* name);
int memo_file_close(DbMemoFile* m);
int memo_file_read(DbMemoFile* m, long block, char** buf, unsigned* size);
int memo_file_write_entry(DbMemoFile* m, long block, const char* text, unsigned len);
int memo_file_write(DbMemoFile* m, long* block, const char* text, unsigned len);
int memo_file_lock(DbMemoFile* m);
int memo_file_unlock(DbMemoFile* m);

unsigned memo_field_len(DbField* f);
char* memo_field_ptr(DbField* f);
int memo_field_set_len(DbField* f, unsigned len);
int memo_field_assign_in(DbField* f, const char* text, unsigned len);
int memo_field_read(DbField* f);
int memo_field_write(DbField* f);
void memo_field_reset(DbField* f);
void memo_field_free(DbField* f);
int memo_numbers_refresh(DbDataFile* d);
// The current record was written (or held for the write-back): the blocks
// its memos moved away from go back once the record is on disk.
int memo_record_written(DbDataFile* d);
// Hands back the blocks of records now on disk; nothing while the data
// file still holds writes.
int memo_frees_release(DbDataFile* d);
// Rewrites the memo file with only the texts the records lead to; the
// records are flushed and the data file locked whole by the caller
// (memo_compress_in, data.h).
int memo_file_compress(DbDataFile* d);
