// Opening, creating, flushing, locking and closing production index files,
// and noticing changes made by other stations.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "engine/convert.h"
#include "engine/expr.h"
#include "engine/index.h"
#include "engine/index_internal.h"
#include "engine/lock.h"
#include "engine/os_shim.h"
#include "engine/table_replace.h"

namespace {

// The index file's name: the data file's with extension MDX, or the given one
// with MDX added when it has no extension.
bool index_name(DbDataFile* d, const char* name, char* out, int size) {
  const char* base = name ? name : d->file.name;
  if (!base || int(std::strlen(base)) >= size) return false;
  std::strcpy(out, base);
  return file_name_ext(out, size, "MDX", name == nullptr) == 0;
}

DbIndexFile* new_index(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  auto* x = static_cast<DbIndexFile*>(mem_pool_alloc(c, &c->index_pool, c->first_index,
                                                      sizeof(DbIndexFile), c->expand_index, 0));
  if (!x) {
    code_error(c, e_memory, nullptr);
    return nullptr;
  }
  x->file.handle = -1;
  x->data = d;
  x->context = c;
  return x;
}

void free_tag(DbTag* t) {
  tag_release(t);
  expr_free(t->expr);
  expr_free(t->filter);
  t->expr = t->filter = nullptr;
  mem_pool_give(t->context->tag_pool, t);
}

// Gives everything of a failed or closed index back; the file is closed.
void discard(DbIndexFile* x) {
  DB_ENGINE* c = x->context;
  while (auto* t = static_cast<DbTag*>(list_pop(&x->tags))) free_tag(t);
  if (x->block_pool) mem_pool_release(x->block_pool);
  x->block_pool = nullptr;
  mem_free(x->block_cache);
  x->block_cache = nullptr;
  x->cache_slots = 0;
  mem_free(x->refresh_buf);
  x->refresh_buf = nullptr;
  x->refresh_size = 0;
  dbos_view_close(x->front_view);
  x->front_view = 0;
  x->front_view_refused = 0;
  if (x->file.handle != -1) file_close_in(&x->file);
  if (list_contains(&x->data->indexes, x)) list_remove(&x->data->indexes, x);
  mem_pool_give(c->index_pool, x);
}

DbTag* new_tag(DbIndexFile* x) {
  DB_ENGINE* c = x->context;
  auto* t = static_cast<DbTag*>(
      mem_pool_alloc(c, &c->tag_pool, c->first_tags, sizeof(DbTag), c->expand_tags, 0));
  if (!t) {
    code_error(c, e_memory, nullptr);
    return nullptr;
  }
  t->index = x;
  t->context = c;
  t->header.root = -1;
  list_add(&x->tags, t);
  return t;
}

bool make_block_pool(DbIndexFile* x) {
  DB_ENGINE* c = x->context;
  x->block_pool = mem_pool_create(c, c->first_blocks,
                                  unsigned(sizeof(DbBlock) + x->block_size + block_order_room(x->block_size)),
                                  c->expand_blocks, 1);
  if (!x->block_pool) code_error(c, e_memory, "b_alloc()");
  return x->block_pool != nullptr;
}

// A filter must give a logical result on the current record.
bool filter_is_logical(DbTag* t) {
  if (expr_type(t->filter) == 'L') return true;
  code_error_ex(t->context, e_index, "Filter should be Logical", t->index->file.name, nullptr);
  return false;
}

int init_tag_from_entry(DbIndexFile* x, const unsigned char* entry) {
  DB_ENGINE* c = x->context;
  DbTag* t = new_tag(x);
  if (!t) return -1;
  t->header_pos = long(le_get32(entry)) * 512;
  unsigned char block[DB_MDX_FILTER_AT + DB_MDX_EXPR_LEN];
  if (file_read_all(&x->file, t->header_pos, block, sizeof block) < 0) return -1;
  mdx_header_decode(&t->header, block);
  t->header.root = -1;
  std::memcpy(t->name, entry + 4, 10);
  t->name[10] = 0;
  str_trim_len(t->name, 10);
  str_upper(t->name);
  char text[DB_MDX_EXPR_LEN + 1];
  std::memcpy(text, block + 24, DB_MDX_EXPR_LEN);
  text[DB_MDX_EXPR_LEN] = 0;
  str_trim_len(text, int(std::strlen(text)));
  t->expr = expr_parse_in(x->data, text);
  if (!t->expr) return -1;
  // The key layout must agree with the expression and fit the blocks.
  const DbTagHeader& h = t->header;
  if (expr_key_len(t->expr) != h.key_len || h.key_len < 1 || h.key_len > DB_MDX_MAX_KEY ||
      h.group_len != 4 + (h.key_len + 3) / 4 * 4 || h.keys_max < 2 ||
      h.keys_max > (x->block_size - 12) / h.group_len)
    return code_error_ex(c, e_index, "File Name:", x->file.name, nullptr);
  if (tag_routines_set(t, t->header.key_type) < 0) return -1;
  // The action is not stored; every unique tag of the program refuses with status 20.
  t->unique_action = t->header.unique_flag ? int(DB_UNIQUE) : 0;
  if (block[245] == 1) {
    std::memcpy(text, block + DB_MDX_FILTER_AT, DB_MDX_EXPR_LEN);
    text[DB_MDX_EXPR_LEN] = 0;
    str_trim_len(text, int(std::strlen(text)));
    if (text[0]) {
      t->filter_flag = block[246];
      t->filter = expr_parse_in(x->data, text);
      if (!t->filter) return -1;
      if (!filter_is_logical(t)) return -1;
    }
  }
  return 0;
}

// Held index writes before this offset (the file header, the tag table and
// the tag headers at the front) go out after the blocks they lead to.
long held_tail(DbIndexFile* x) {
  long tail = DB_MDX_TAG_TABLE + DB_MDX_MAX_TAGS * DB_MDX_TAG_ENTRY;
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t)))
    if (t->header_pos < 65536 && t->header_pos + 512 > tail) tail = t->header_pos + 512;
  return tail;
}

// Anything index_flush would write: most movements have nothing to flush.
bool has_pending_changes(DbIndexFile* x) {
  if (x->header_changed || file_holds_writes(&x->file)) return true;
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t)))
    if (t->blocks_dirty || t->header_changed || t->version_changed || t->filter_flag_changed) return true;
  return false;
}

}  // namespace

DbIndexFile* index_open_in(DbDataFile* d, const char* name) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return nullptr;
  char path[1024];
  if (!index_name(d, name, path, sizeof path)) {
    code_error_ex(c, e_open, "File Name:", name ? name : "", nullptr);
    return nullptr;
  }
  DbIndexFile* x = new_index(d);
  if (!x) return nullptr;
  if (file_open_in(&x->file, c, path, 1) != 0) {
    mem_pool_give(c->index_pool, x);
    return nullptr;
  }
  list_add(&d->indexes, x);
  unsigned char* h = x->header;
  if (file_read_all(&x->file, 0, h, DB_MDX_HEADER_LEN) < 0) {
    discard(x);
    return nullptr;
  }
  x->blocks_per_page = int(le_get16(h + 20));
  x->block_size = int(le_get16(h + 22));
  int tags = int(le_get16(h + 28));
  if (x->blocks_per_page < 1 || x->blocks_per_page > 63 ||
      x->block_size != x->blocks_per_page * 512 || tags > DB_MDX_MAX_TAGS ||
      le_get32(h + 32) < 1) {
    code_error_ex(c, e_index, "File Name:", path, nullptr);
    discard(x);
    return nullptr;
  }
  x->production = h[24] == 1;
  if (!make_block_pool(x)) {
    discard(x);
    return nullptr;
  }
  unsigned char table[DB_MDX_MAX_TAGS * DB_MDX_TAG_ENTRY];
  if (file_read_all(&x->file, DB_MDX_TAG_TABLE, table, sizeof table) < 0) {
    discard(x);
    return nullptr;
  }
  for (int i = 0; i < tags; i++) {
    if (init_tag_from_entry(x, table + i * DB_MDX_TAG_ENTRY) < 0) {
      discard(x);
      return nullptr;
    }
  }
  file_set_read_buffer(&x->file, c->read_buffering);
  return x;
}

DbIndexFile* index_file_create(DbDataFile* d, const char* name, const DbTagInfo* defs) {
  if (!d) return nullptr;
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return nullptr;
  if (c->error_code > 0) c->error_code = 0;
  char path[1024];
  if (!index_name(d, name, path, sizeof path)) {
    code_error_ex(c, e_create, "File Name:", name ? name : "", nullptr);
    return nullptr;
  }
  DbIndexFile* x = new_index(d);
  if (!x) return nullptr;
  if (file_create_in(&x->file, c, path, 1) != 0) {
    mem_pool_give(c->index_pool, x);
    return nullptr;
  }
  list_add(&d->indexes, x);
  // A failed create leaves no file behind that could pass for an index.
  auto fail = [&]() -> DbIndexFile* {
    DbQuietError quiet(c);
    discard(x);
    file_remove(path);
    quiet.finish();
    return nullptr;
  };
  unsigned char* h = x->header;
  std::memset(h, 0, DB_MDX_HEADER_LEN);
  h[0] = 2;
  date_stamp(h + 44);
  x->production = name == nullptr;
  h[24] = x->production ? 1 : 0;
  h[25] = 48;
  le_put16(h + 26, DB_MDX_TAG_ENTRY);
  char base[32];
  file_name_piece(base, sizeof base, d->file.name, 0, 0);
  std::memcpy(h + 4, base, std::min<size_t>(std::strlen(base), 12));
  x->blocks_per_page = c->cache_block_size / 512;
  // A tag header keeps its filter text at byte 762: a block holds 1024 bytes at least.
  if (x->blocks_per_page < 2) x->blocks_per_page = 2;
  if (x->blocks_per_page > 63) x->blocks_per_page = 63;
  x->block_size = x->blocks_per_page * 512;
  le_put16(h + 20, unsigned(x->blocks_per_page));
  le_put16(h + 22, unsigned(x->block_size));
  le_put32(h + 32, 1);
  if (!make_block_pool(x)) return fail();
  int n = 0;
  for (; defs && defs[n].name; n++) {
    if (n == DB_MDX_MAX_TAGS) {
      code_error_ex(c, e_index, "Too many tags", path, nullptr);
      return fail();
    }
    DbTag* t = new_tag(x);
    if (!t) return fail();
    str_copy_max(t->name, defs[n].name, sizeof t->name);
    str_upper(t->name);
    t->header.key_format = 0x10;
    t->unique_action = defs[n].unique;
    if (defs[n].unique) {
      t->header.key_format |= 0x40;
      t->header.unique_flag = 0x4000;
    }
    if (defs[n].descending) t->header.key_format |= 0x08;
    t->expr = expr_parse_in(d, defs[n].expression);
    if (!t->expr) return fail();
    if (defs[n].filter && defs[n].filter[0]) {
      t->filter = expr_parse_in(d, defs[n].filter);
      if (!t->filter) return fail();
      if (!filter_is_logical(t)) return fail();
    }
  }
  le_put16(h + 28, unsigned(n));
  int rc = index_rebuild(x);
  if (rc != 0) {
    if (rc > 0) c->error_code = DB_UNIQUE;
    return fail();
  }
  if (x->production) {
    d->has_mdx = 1;
    unsigned char one = 1;
    if (file_write(&d->file, 28, &one, 1) < 0) return fail();
  }
  return x;
}

int index_flush(DbIndexFile* x) {
  DB_ENGINE* c = x->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (x->header_changed) {
    if (file_write(&x->file, 0, x->header, DB_MDX_HEADER_LEN) < 0) return -1;
    x->header_changed = 0;
  }
  if (index_flush_blocks(x) < 0) return -1;
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t))) {
    if (t->version_changed) {
      t->header.version++;
      if (file_write(&x->file, t->header_pos + 20, &t->header.version, 1) < 0) return -1;
      t->version_changed = 0;
    }
    if (t->filter_flag_changed) {
      unsigned char flag = t->filter_flag ? 1 : 0;
      if (file_write(&x->file, t->header_pos + 246, &flag, 1) < 0) return -1;
      t->filter_flag_changed = 0;
    }
    if (tag_flush(t) < 0) return -1;
  }
  return file_write_back(&x->file);
}

int index_lock(DbIndexFile* x) {
  DB_ENGINE* c = x->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (x->locked) return 0;
  int rc = data_lock_past_rebuilds(x->data, &x->file, DB_INDEX_LOCK_BYTE, 1);
  if (rc != 0) return rc;
  if (index_refresh(x) < 0) {
    DbQuietError quiet(c);
    file_unlock_in(&x->file, DB_INDEX_LOCK_BYTE, 1);
    return -1;
  }
  x->locked = 1;
  // No other station changes or reads the blocks until the unlock: changed
  // blocks wait in memory and go out together, the headers last.
  file_hold_writes(&x->file, held_tail(x));
  return 0;
}

int index_unlock(DbIndexFile* x) {
  DbAssertLocked(x->context);
  if (!x->locked) return 0;
  // Records held back by the data file go out before the keys that lead to
  // them; while they cannot, the keys wait too.
  DbTableWriting writing(x->data);
  if (file_holds_writes(&x->data->file) && file_write_back(&x->data->file) < 0) return -1;
  int rc = index_flush(x);
  if (rc == 0) rc = file_release_writes(&x->file);
  // Held blocks that did not go out keep the lock, so they still can.
  if (rc < 0 && file_holds_writes(&x->file)) return -1;
  x->file.write_behind = 0;
  x->locked = 0;
  if (file_unlock_in(&x->file, DB_INDEX_LOCK_BYTE, 1) < 0) rc = -1;
  return rc;
}

int index_data_lock(DbDataFile* d) {
  for (DbIndexFile* x = index_first(d); x; x = index_next(d, x)) {
    int rc = index_lock(x);
    if (rc != 0) return rc;
  }
  return 0;
}

int index_data_unlock(DbDataFile* d) {
  int rc = 0;
  for (DbIndexFile* x = index_first(d); x; x = index_next(d, x))
    if (index_unlock(x) < 0) rc = -1;
  return rc;
}

DbTableWriting::DbTableWriting(DbDataFile* d) : d_(d) {
  if (d_->writing_depth++ > 0) return;
  bool holding = d_->file.write_behind != 0;
  for (DbIndexFile* x = index_first(d_); x; x = index_next(d_, x)) holding |= x->file.write_behind != 0;
  if (!holding) return;
  DB_ENGINE* c = d_->context;
  DbQuietError quiet(c);
  DbEndlessLocks endless;  // readers hold the byte only for a moment
  for (DbIndexFile* x = index_first(d_); x; x = index_next(d_, x))
    if (file_lock(&x->file, DB_INDEX_WRITING_BYTE, 1) == 0) locked_.push_back(x);
}

DbTableWriting::~DbTableWriting() {
  if (--d_->writing_depth > 0 || locked_.empty()) return;
  DB_ENGINE* c = d_->context;
  DbQuietError quiet(c);
  for (DbIndexFile* x : locked_) file_unlock_in(&x->file, DB_INDEX_WRITING_BYTE, 1);
}

namespace {

struct FrontCopy {
  DbIndexFile* x;
  unsigned char* front;
  long span;
};

// Copies what the check compares (the file header, each tag's version and
// filter flag) to the same places of the check's buffer.
void copy_front(const unsigned char* bytes, void* arg) {
  auto* f = static_cast<FrontCopy*>(arg);
  std::memcpy(f->front, bytes, DB_MDX_HEADER_LEN);
  for (auto* t = static_cast<DbTag*>(list_first(&f->x->tags)); t;
       t = static_cast<DbTag*>(list_next(&f->x->tags, t))) {
    if (t->header_pos + 247 > f->span) continue;
    f->front[t->header_pos + 20] = bytes[t->header_pos + 20];
    f->front[t->header_pos + 246] = bytes[t->header_pos + 246];
  }
}

// The front through the view: false when there is none as long as the span,
// or the file shrank under it (the caller reads, and sees the file as it is).
bool front_from_view(DbIndexFile* x, unsigned char* front, long span) {
  if (!x->front_view || dbos_view_size(x->front_view) < span) return false;
  FrontCopy copy{x, front, span};
  return dbos_view_read(x->front_view, copy_front, &copy) == 0;
}

// Maps the front once a read found the file holding all of it; a view too
// short (tags added since) is made anew.
void map_front(DbIndexFile* x, long span) {
  if (x->front_view_refused || x->file.handle == -1) return;
  if (x->front_view && dbos_view_size(x->front_view) >= span) return;
  dbos_view_close(x->front_view);
  x->front_view = dbos_view_open(x->file.handle, span);
  if (!x->front_view) x->front_view_refused = 1;
}

}  // namespace

int index_refresh(DbIndexFile* x) {
  DB_ENGINE* c = x->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (x->locked || x->file.exclusive) return 0;
  // Our own pending changes go out first, so the comparison sees only others'.
  if (has_pending_changes(x) && index_flush(x) < 0) return -1;
  // The file header and every tag's version and filter flag, in one read
  // while the tag headers lie at the front, as they always do in a file
  // this engine wrote.
  constexpr long kFront = 65536;
  long span = DB_MDX_TAG_TABLE;
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t)))
    if (t->header_pos + 247 > span && t->header_pos + 247 <= kFront) span = t->header_pos + 247;
  if (x->refresh_size < unsigned(span)) {
    mem_free(x->refresh_buf);
    x->refresh_size = 0;
    x->refresh_buf = static_cast<unsigned char*>(mem_alloc_err(c, size_t(span)));
    if (!x->refresh_buf) return -1;
    x->refresh_size = unsigned(span);
  }
  unsigned char* front = x->refresh_buf;
  unsigned got = unsigned(span);
  if (!front_from_view(x, front, span)) {
    got = file_read(&x->file, 0, front, unsigned(span));
    if (c->error_code < 0) return -1;
    if (got == unsigned(span)) map_front(x, span);
  }
  if (got < unsigned(DB_MDX_TAG_TABLE)) return 0;  // an index still being created
  if (got != unsigned(span)) return code_error_ex(c, e_read, "File Name:", x->file.name, nullptr);
  const unsigned char* h = front;
  int changed = std::memcmp(h, x->header, DB_MDX_HEADER_LEN) != 0;
  if (changed) index_cache_forget(x);
  std::memcpy(x->header, h, DB_MDX_HEADER_LEN);
  x->header_changed = 0;
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t))) {
    const unsigned char* v = front + t->header_pos;
    unsigned char far[247];
    if (t->header_pos + 247 > span) {
      if (file_read_all(&x->file, t->header_pos, far, sizeof far) < 0) return -1;
      v = far;
    }
    if (v[20] != t->header.version || changed) {
      // Cached blocks may be stale: drop them and read the root afresh.
      tag_flush(t);
      mdx_drop_buffers(t);
      t->header.version = v[20];
      t->header.root = -1;
      t->filter_flag = t->filter ? v[246] : 0;
      if (!changed) index_cache_forget(x);
      changed = 1;
    }
  }
  return changed;
}

int index_file_close(DbIndexFile* x) {
  if (!x) return -1;
  DB_ENGINE* c = x->context;
  DbAssertLocked(c);
  DbEndlessLocks endless;
  int rc = 0;
  DbDataFile* d = x->data;
  // Records the data file could not write back: their keys must not reach
  // the disk either.
  if (file_holds_writes(&d->file)) {
    file_drop_writes(&x->file);
    x->header_changed = 0;
    for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
         t = static_cast<DbTag*>(list_next(&x->tags, t))) {
      mdx_drop_buffers(t);
      t->header_changed = t->version_changed = t->filter_flag_changed = 0;
    }
    rc = -1;
  }
  if (index_flush(x) < 0) rc = -1;
  if (index_unlock(x) < 0) rc = -1;
  if (file_holds_writes(&x->file)) {
    DbQuietError quiet(c, DbQuietError::if_error);
    if (file_write_back(&x->file) < 0) rc = -1;
    file_drop_writes(&x->file);
    quiet.finish();  // a pending error stays the one reported
    if (rc < 0 && c->error_code >= 0) code_error_ex(c, e_write, "File Name:", x->file.name, nullptr);
  }
  if (d->tag_selected && d->tag_selected->index == x) d->tag_selected = nullptr;
  discard(x);
  return c->error_code < 0 ? -1 : rc;
}

DbTag* index_tag(DbIndexFile* x, const char* name) {
  DB_ENGINE* c = x->context;
  DbAssertLocked(c);
  char want[11];
  str_copy_max(want, name, sizeof want);
  str_trim_len(want, int(std::strlen(want)));
  str_upper(want);
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t)))
    if (std::strcmp(t->name, want) == 0) return t;
  if (c->report_tag_errors) code_error(c, e_tag_name, name);
  return nullptr;
}

const char* tag_name(DbTag* t) { return t->name; }
int tag_key_type(DbTag* t) { return t->header.key_type; }
int tag_unique(DbTag* t) { return t->header.unique_flag ? t->unique_action : 0; }
int tag_descending(DbTag* t) { return t->header.key_format & 0x08 ? 10 : 0; }
