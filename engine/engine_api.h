// The table engine as the rest of the program sees it: the one header the
// table classes, the storage and the pick dialogs include. The functions
// named below are the whole surface; each takes the context's lock (DbLock)
// for its call and refuses work while an error is pending, or only reads the
// current record's buffer (the field accessors). Everything else the headers
// below declare is the engine's inside: it relies on a public call holding
// the lock (DbAssertLocked checks it in the test build) and is used only by
// the engine and its own tests.
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

// Named here so that the surface is checked against the declarations by the
// compiler; callers use the plain names.
namespace db_api {

// The context and its pending error.
using ::code_close_all;
using ::code_error_get;
using ::code_error_set;

// Tables: open, create, close, flush, pack and reindex.
using ::data_close;
using ::data_create;
using ::data_flush;
using ::data_open;
using ::data_pack;
using ::data_reindex;
using ::data_remove_range;
using ::memo_compress;

// Records: moving, seeking, reading and writing.
using ::data_append;
using ::data_append_start;
using ::data_blank;
using ::data_delete;
using ::data_go;
using ::data_is_deleted;
using ::data_reccount;
using ::data_recno;
using ::data_seek;
using ::data_seek_double;
using ::data_skip;
using ::data_tag_find;
using ::data_tag_select;
using ::data_top;
using ::data_write;

// Fields of the current record.
using ::data_field_at;
using ::data_num_fields;
using ::field_len;
using ::field_long;
using ::field_ptr;
using ::field_type;

// Locks: records, the whole table, and bytes of a table's file other
// stations agree on.
using ::data_lock_file;
using ::data_lock_group;
using ::data_lock_record;
using ::file_lock_tries;
using ::file_unlock;

// Relations: a table with its slaves, walked in a query's order.
using ::relate_bottom;
using ::relate_create_slave;
using ::relate_free;
using ::relate_init;
using ::relate_match_set;
using ::relate_query_set;
using ::relate_skip;
using ::relate_sort_set;
using ::relate_top;
using ::relate_unlock;

// Dates.
using ::date_format;
using ::date_today;

// What the report engine stands on: the context's errors and options,
// lists and pools, aliases, index files and tags by name, expressions and
// named calculations, totals, the relation tree, buffered files and names.
using ::code_error;
using ::code_error_ex;
using ::code_options;
using ::data_alias;
using ::data_alias_set;
using ::data_field_named;
using ::data_find_by_alias;
using ::data_tag_selected;
using ::field_decimals;
using ::field_name;
using ::field_type;
using ::index_open;
using ::tag_name;
using ::list_add;
using ::list_add_after;
using ::list_add_before;
using ::list_first;
using ::list_next;
using ::list_remove;
using ::mem_pool_alloc;
using ::mem_pool_give;
using ::mem_pool_release;
using ::expr_double;
using ::expr_eval;
using ::expr_free;
using ::expr_len;
using ::expr_parse;
using ::expr_source;
using ::expr_true;
using ::expr_type;
using ::calc_create;
using ::calc_free;
using ::calc_free_all;
using ::calc_lookup;
using ::total_value;
using ::relate_error_action_set;
using ::relate_next;
using ::relate_skip_enable;
using ::file_close;
using ::file_create;
using ::file_len;
using ::file_open;
using ::file_remove;
using ::seq_read;
using ::seq_read_init;
using ::seq_write;
using ::seq_write_flush;
using ::seq_write_init;
using ::char_is_name;
using ::file_name_ext;
using ::file_name_piece;
using ::str_copy_max;
using ::str_upper;

// Page production: the record buffers it keeps and puts back for group
// footers (memos read again then), memo texts, dates from julian days, and
// the fields of the table a report writes.
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
