// The engine context: defaults, start and end, the list of open data files.
#include "engine/engine.h"

#include <cstring>
#include <new>

#include "engine/convert.h"
#include "engine/engine_api.h"
#include "engine/index_data.h"

void code_init(DB_ENGINE* c) {
  if (!c) return;
  static_cast<DbEngineState&>(*c) = DbEngineState{};
  c->count25 = 25;
  std::strcpy(c->date_picture, "MM/DD/YY");
  c->cache_block_size = 1024;
  c->sort_memory = 32 * 1024 * 1024;  // a reindex of a million keys sorts in memory
  c->sort_buffer = 64512;  // the largest sequential buffer (whole kilobytes below 64 KB)
  c->copy_size = 16384;
  c->memo_block_size = 512;
  c->spare_size = 1024;
  c->expand_blocks = 10;
  c->expand_data = 5;
  c->expand_index = 5;
  c->expand_tags = 10;
  c->first_data = 5;
  c->first_blocks = 10;
  c->first_index = 5;
  c->first_tags = 10;
  c->cache_memory = 0xF0000;
  c->auto_open = 1;
  c->report_create_errors = 1;
  c->silent_errors = 0;
  c->exclusive = 0;
  c->flush_writes = 0;
  c->expr_errors = 1;
  c->report_field_errors = 1;
  c->report_read_errors = 1;
  c->report_open_errors = 1;
  c->read_buffering = -1;
  c->read_lock = 0;
  c->read_only = 0;
  c->index_option_a = 1;
  c->safety = 1;
  c->report_skip_errors = 1;
  c->report_tag_errors = 1;
  c->lock_attempts = -1;
  c->error_code = 0;
  c->initialised = DB_INITIALISED;
  c->optimise_off = 0;
  c->index_option_c = 1;
  c->write_buffering = -1;
  c->buffering_on = 0;
  c->internal_flag = 1;
  c->activity_bits = 0;
}

DbEngine::DbEngine() { code_init(this); }

DbEngine::~DbEngine() { code_init_undo(this); }

DB_ENGINE* code_alloc(int initialise) {
  DB_ENGINE* c = new (std::nothrow) DB_ENGINE();
  if (c && initialise == 1) code_init(c);
  return c;
}

int code_init_undo_in(DB_ENGINE* c) {
  DbAssertLocked(c);
  code_close_all_in(c);
  mem_pool_release(c->data_pool);
  mem_pool_release(c->index_pool);
  mem_pool_release(c->tag_pool);
  mem_pool_release(c->block_pool);
  c->data_pool = c->index_pool = c->tag_pool = c->block_pool = nullptr;
  c->field_buf.release();
  c->expr_buf.release();
  c->key_buf.release();
  return c->error_code;
}

int code_close_all_in(DB_ENGINE* c) {
  DbAssertLocked(c);
  int rc = 0;
  DbDataFile* next = nullptr;
  for (auto* d = static_cast<DbDataFile*>(list_first(&c->data_list)); d; d = next) {
    next = static_cast<DbDataFile*>(list_next(&c->data_list, d));
    if (data_close_in(d) < 0) rc = -1;
  }
  if (c->error_code < 0) rc = -1;
  return rc;
}

int code_buffering_start(DB_ENGINE* c) {
  // The block cache is not built: files are locked whole as the cache would
  // need, and every read and write still goes straight to the system.
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  for (auto* d = static_cast<DbDataFile*>(list_first(&c->data_list)); d;
       d = static_cast<DbDataFile*>(list_next(&c->data_list, d))) {
    int rc = data_lock_file_in(d);
    if (rc == 0) rc = index_data_lock(d);
    if (rc == 0 && d->memo_file.file.handle != -1) rc = memo_file_lock(&d->memo_file);
    if (rc != 0) return rc;
  }
  return 0;
}

