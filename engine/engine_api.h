// The table engine as the rest of the program sees it: the one header the
// table classes, the storage, the report engine and the pick dialogs include.
//
// The functions declared here are the engine's public calls. Each holds the
// context's lock for its call and checks the pending error once, at its
// entry, through one guard (DbCall): most refuse their work while an error
// is pending, those that must run whatever is pending (closes, unlocks,
// settings, clean-up) go ahead. The functions named in db_api below them
// take no lock: they only read or build what the caller holds (fields of the
// current record, dates, texts, lists and pools, an expression's text).
//
// Everything else the headers below declare is the engine's inside. It
// relies on the call that reached it holding the lock (DbAssertLocked checks
// it in the test build) and never takes it again: where it needs what a
// public call does, it calls the call's inside (the same name with _in).
// The mutex is not recursive; a public call made inside another one stops
// the test build instead of passing unnoticed. Only the engine and its own
// tests use the inside; a test that does holds the context (DbLock).
//
// Code above the engine that needs several calls as one step, or reads the
// context between them (the report engine with its totals, calculations and
// relation), holds the context with a DbLock: the calls it makes meanwhile
// join its hold instead of taking the lock. Holds of one thread nest.
//
// What runs while a call is under way:
// - An error box (code_error) is shown with the lock given up (DbUnlocked),
//   as is every wait between lock tries (code_yield): other threads, and the
//   box's own message loop on this thread, may make public calls meanwhile;
//   the call takes the lock back when the box or the wait ends.
// - Expressions (index keys, tag filters, queries, sort keys, relation keys)
//   are evaluated inside the call that needs them, through the inside
//   (expr_eval_in); what they read (fields, memo texts, named calculations,
//   report totals and page numbers) belongs to the same context and is read
//   under the same lock. expr_eval and its kin are for callers outside.
// - The pending error is the calling thread's own: code_error_get and
//   code_error_set take no lock; code_error and code_error_ex report from
//   inside a call or from outside one.
// - The read and write watches of the file seam (tests' fault hooks) are
//   called inside the call: they must not call the engine.
//
// The file formats: dbf_format.md, dbt_format.md, mdx_format.md.
#pragma once

#include "engine/convert.h"
#include "engine/data.h"
#include "engine/dbstr.h"      // FieldRef, FieldRefMemo, DateValue over the current record
#include "engine/engine.h"     // DbEngine, its settings, statuses and error codes
#include "engine/fieldinfo.h"  // FieldInfoList, TagInfoList: layouts for data_create
#include "engine/index.h"      // a table's index files and tags by name (report files)
#include "engine/lock.h"
#include "engine/memo.h"
#include "engine/relate.h"

// The context: closing every table; the end of a context (~DbEngine);
// an open table by its alias.
int code_close_all(DB_ENGINE* c);
int code_init_undo(DB_ENGINE* c);
DbDataFile* data_find_by_alias(DB_ENGINE* c, const char* name);

// Tables: open, create, close, flush, pack and reindex. data_close keeps the
// pending error (or status) and goes on whatever is pending.
DbDataFile* data_create(DB_ENGINE* c, const char* name, const DbFieldInfo* fields,
                        const DbTagInfo* tags);
DbDataFile* data_open(DB_ENGINE* c, const char* name);
int data_close(DbDataFile* d);
void data_alias_set(DbDataFile* d, const char* name);
int data_flush(DbDataFile* d);
int data_pack(DbDataFile* d);
int data_remove_range(DbDataFile* d, long first, long last);
int data_reindex(DbDataFile* d);
int memo_compress(DbDataFile* d);
// An index file of the table by name (the production index opens with the table).
DbIndexFile* index_open(DbDataFile* d, const char* name);

// Records: moving (0, 3 end of file, 4 beginning of file, 5 record not
// read), seeking by the selected tag, reading and writing.
int data_top(DbDataFile* d);
int data_bottom(DbDataFile* d);
int data_go(DbDataFile* d, long n);
int data_skip(DbDataFile* d, long n);
long data_reccount(DbDataFile* d);
DbTag* data_tag_find(DbDataFile* d, const char* name);
int data_seek(DbDataFile* d, const char* text);
int data_seek_double(DbDataFile* d, double value);
int data_write(DbDataFile* d, long n);
int data_append_start(DbDataFile* d, int detach_memos);
int data_append(DbDataFile* d);
int data_append_blank(DbDataFile* d);

// Fields by name (an unknown name is reported as the context says), a field
// as text in a buffer of the calling thread, memo texts.
DbField* data_field_named(DbDataFile* d, const char* name);
char* field_str(DbField* f);
int memo_field_assign(DbField* f, const char* text, unsigned len);

// Locks: records, the whole table, its index files, and bytes of a table's
// file other stations agree on. data_unlock writes the current record and
// gives every lock of the table back.
int data_lock_record(DbDataFile* d, long n);
int data_lock_group(DbDataFile* d, const long* records, int count);
int data_lock_file(DbDataFile* d);
int data_lock_index(DbDataFile* d);
int data_unlock(DbDataFile* d);
int file_lock_tries(DbFile* f, long offset, long len, int tries);
int file_unlock(DbFile* f, long offset, long len);

// Relations: a table with its slaves, walked in a query's order.
DbRelation* relate_init(DbDataFile* data);
DbRelateNode* relate_create_slave(DbRelateNode* master, DbDataFile* slave, const char* expr,
                                  DbTag* tag);
int relate_match_set(DbRelateNode* node, int mode);
int relate_error_action_set(DbRelateNode* node, int action);
int relate_query_set(DbRelation* r, const char* text);
int relate_sort_set(DbRelation* r, const char* text);
int relate_skip_enable(DbRelation* r, int flag);
int relate_top(DbRelation* r);
int relate_bottom(DbRelation* r);
int relate_skip(DbRelation* r, long n);
int relate_unlock(DbRelation* r);
int relate_free(DbRelation* r, int close_files);

// Expressions and named calculations. Results live in the calling thread's
// work buffers until its next call.
DbExpr* expr_parse(DbDataFile* data, const char* text);
int expr_eval(DbExpr* expr, char** result);
int expr_true(DbExpr* expr);
double expr_double(DbExpr* expr);
int expr_key_eval(DbExpr* expr, char** key);
DbCalc* calc_create(DB_ENGINE* c, DbExpr* expr, const char* name);
DbCalc* calc_lookup(DB_ENGINE* c, const char* name, int len);
void calc_free(DbCalc* calc);
void calc_free_all(DB_ENGINE* c);

// Files of the caller's own (the report engine's layout files), read and
// written in sequence.
int file_create(DbFile* f, DB_ENGINE* c, const char* name, int keep_copy);
int file_open(DbFile* f, DB_ENGINE* c, const char* name, int keep_copy);
int file_close(DbFile* f);
long file_len(DbFile* f);
unsigned seq_read(DbSeqRead* r, void* buf, unsigned n);
int seq_write(DbSeqWrite* w, const void* buf, unsigned n);
int seq_write_flush(DbSeqWrite* w);

// What takes no lock, named here so that the surface is checked against the
// declarations by the compiler; callers use the plain names.
namespace db_api {

// The pending error (the calling thread's own) and its report.
using ::code_error;
using ::code_error_ex;
using ::code_error_get;
using ::code_error_set;
using ::code_options;

// The current record's buffer and fields.
using ::data_alias;
using ::data_blank;
using ::data_delete;
using ::data_field_at;
using ::data_is_deleted;
using ::data_num_fields;
using ::data_recno;
using ::data_tag_select;
using ::data_tag_selected;
using ::field_decimals;
using ::field_len;
using ::field_long;
using ::field_name;
using ::field_ptr;
using ::field_type;
using ::tag_name;

// Dates, texts and file names.
using ::char_is_name;
using ::date_format;
using ::date_today;
using ::file_name_ext;
using ::file_name_piece;
using ::file_remove;
using ::str_copy_max;
using ::str_upper;

// Lists and pools, the relation tree, expression texts and totals: what the
// report engine builds and walks under its own hold.
using ::expr_free;
using ::expr_len;
using ::expr_source;
using ::expr_type;
using ::list_add;
using ::list_add_after;
using ::list_add_before;
using ::list_first;
using ::list_next;
using ::list_remove;
using ::mem_pool_alloc;
using ::mem_pool_give;
using ::mem_pool_release;
using ::relate_next;
using ::seq_read_init;
using ::seq_write_init;
using ::total_value;

// Page production: the record buffers it keeps and puts back for group
// footers (memos read again then), memo texts, dates from julian days, and
// the fields of the table a report writes. A memo text is read from its file
// when first asked for: the report reads it under its own hold (DbLock).
using ::data_record;
using ::data_record_width;
using ::date_from_julian;
using ::field_assign;
using ::field_assign_char;
using ::field_assign_double;
using ::field_assign_long;
using ::memo_field_len;
using ::memo_field_ptr;
using ::memo_field_reset;

}  // namespace db_api
