// Memo files: the header, entries, and the chain of free runs through which
// blocks are reused. Format notes in dbt_format.md.
#include "engine/bytes.h"
#include "engine/memo.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/convert.h"
#include "engine/lock.h"
#include "engine/table_replace.h"

namespace {

char empty_text[1] = {0};


int damaged(DbMemoFile* m, const char* where) {
  return code_error_ex(m->file.context, e_info, where, "File Name:", m->file.name);
}

long pos_of(DbMemoFile* m, long block) { return block * static_cast<long>(m->block_size); }

// The free chain. Block 0 is the header, whose first four bytes act as the
// chain's head; a run at or beyond the end of the file is the chain's end.
class FreeChain {
 public:
  explicit FreeChain(DbMemoFile* m) : m_(m) {}

  int begin() {
    flen_ = file_len_in(&m_->file);
    if (flen_ < 0) return -1;
    unsigned char b[4];
    if (file_read_all(&m_->file, 0, b, 4) < 0) return -1;
    first_ = static_cast<long>(le_get32(b));
    limit_ = flen_ / m_->block_size + 2;
    return 0;
  }

  bool at_end(long block) const { return pos_of(m_, block) >= flen_; }

  int read_run(long block, long* next, long* count) {
    unsigned char b[8];
    if (file_read_all(&m_->file, pos_of(m_, block), b, 8) < 0) return -1;
    *next = static_cast<long>(le_get32(b));
    *count = static_cast<long>(le_get32(b + 4));
    if (*next <= block || *count < 1 || (!at_end(*next) && block + *count > *next))
      return damaged(m_, "memo free chain");
    return 0;
  }

  int write_run(long block, long next, long count) {
    if (block == 0) {
      unsigned char b[4];
      le_put32(b, static_cast<unsigned long>(next));
      return file_write(&m_->file, 0, b, 4);
    }
    unsigned char b[8];
    le_put32(b, static_cast<unsigned long>(next));
    le_put32(b + 4, static_cast<unsigned long>(count));
    return file_write(&m_->file, pos_of(m_, block), b, 8);
  }

  // Links a run back into the chain in block order, merged with the runs it touches.
  int give_back(long start, long count) {
    long prev = 0, prev_count = 0, cur = first_;
    for (long steps = 0; !at_end(cur) && cur < start; steps++) {
      long next, n;
      if (steps > limit_ || read_run(cur, &next, &n) < 0) return damaged(m_, "memo free chain");
      prev = cur;
      prev_count = n;
      cur = next;
    }
    if (!at_end(cur) && cur < start + count) return damaged(m_, "memo free chain");
    bool joins_prev = prev != 0 && prev + prev_count == start;
    long head = joins_prev ? prev : start;
    long head_count = joins_prev ? prev_count + count : count;
    if (!at_end(cur) && head + head_count == cur) {
      long next, n;
      if (read_run(cur, &next, &n) < 0) return -1;
      head_count += n;
      cur = next;
    }
    // The run's own head first, then the link that leads to it: a failure
    // in between leaves the blocks unused, never a chain through a text.
    if (write_run(head, cur, head_count) < 0) return -1;
    if (joins_prev) return 0;
    if (write_run(prev, start, prev_count) < 0) return -1;
    if (prev == 0) first_ = start;
    return 0;
  }

  // First fit in block order; *at_file_end tells that the file must grow.
  int take(long need, long* block, bool* at_file_end) {
    long prev = 0, prev_count = 0, cur = first_;
    for (long steps = 0; !at_end(cur); steps++) {
      long next, n;
      if (steps > limit_ || read_run(cur, &next, &n) < 0) return damaged(m_, "memo free chain");
      bool merged = false;
      while (!at_end(next) && cur + n == next) {
        long next2, n2;
        if (read_run(next, &next2, &n2) < 0) return -1;
        n += n2;
        next = next2;
        merged = true;
      }
      if (n >= need) {
        *block = cur + n - need;
        *at_file_end = false;
        n -= need;
        if (n == 0) return write_run(prev, next, prev_count);
        return write_run(cur, next, n);
      }
      if (merged && write_run(cur, next, n) < 0) return -1;
      prev = cur;
      prev_count = n;
      cur = next;
    }
    // Free space at the end: never leave a hole before it.
    long end = (flen_ + m_->block_size - 1) / m_->block_size;
    if (cur > end || cur < 1) cur = end < 1 ? 1 : end;
    *block = cur;
    *at_file_end = true;
    return write_run(prev, cur + need, prev_count);
  }

 private:
  DbMemoFile* m_;
  long flen_ = 0;
  long first_ = 0;
  long limit_ = 0;
};

// Makes the growable buffer hold n bytes and a terminator.
int reserve(DB_ENGINE* c, char** buf, unsigned* cap, unsigned n) {
  if (n + 1 <= *cap && *buf) return 0;
  if (*cap > 0) mem_free(*buf);
  *buf = static_cast<char*>(mem_alloc(n + 1));
  if (!*buf) {
    *cap = 0;
    return code_error(c, e_memory, nullptr);
  }
  *cap = n + 1;
  return 0;
}

// A dBASE III entry: the text up to its 0x1A (or the end of the file).
int read_text_entry(DbMemoFile* m, long pos, long flen, char** buf, unsigned* cap, unsigned* len) {
  if (pos >= flen) return damaged(m, "memo_file_read()");
  std::string text;
  char piece[512];
  for (long at = pos; at < flen;) {
    long n = std::min<long>(sizeof piece, flen - at);
    if (file_read_all(&m->file, at, piece, static_cast<unsigned>(n)) < 0) return -1;
    const char* end = static_cast<const char*>(std::memchr(piece, 0x1A, static_cast<size_t>(n)));
    text.append(piece, end ? static_cast<size_t>(end - piece) : static_cast<size_t>(n));
    if (end) break;
    at += n;
  }
  if (text.size() >= 0xFFFFFFFFu) return damaged(m, "memo_file_read()");
  unsigned n = static_cast<unsigned>(text.size());
  if (int rc = reserve(m->file.context, buf, cap, n)) return rc;
  std::memcpy(*buf, text.data(), n);
  (*buf)[n] = 0;
  *len = n;
  return 0;
}

// Reads an entry into a growable buffer: capacity in *cap, text length in *len.
int read_entry(DbMemoFile* m, long block, char** buf, unsigned* cap, unsigned* len) {
  DB_ENGINE* c = m->file.context;
  *len = 0;
  if (block <= 0) return 0;
  if (m->file.handle == -1) return code_error(c, e_open, "Memo file is not open");
  long flen = file_len_in(&m->file);
  if (flen < 0) return -1;
  long pos = pos_of(m, block);
  if (m->text_entries) return read_text_entry(m, pos, flen, buf, cap, len);
  if (pos + 8 > flen) return damaged(m, "memo_file_read()");
  unsigned char head[8];
  if (file_read_all(&m->file, pos, head, 8) < 0) return -1;
  if (head[0] != 0xFF || head[1] != 0xFF) return 0;
  // The entry length is unsigned 32 bits and counts the 8-byte head; it may
  // reach as far as the file does.
  unsigned long entry_len = le_get32(head + 4);
  unsigned offset = le_get16(head + 2);
  if (entry_len < 8 || offset < 8 ||
      static_cast<unsigned long long>(pos) + offset + (entry_len - 8) >
          static_cast<unsigned long long>(flen))
    return damaged(m, "memo_file_read()");
  unsigned n = static_cast<unsigned>(entry_len - 8);
  if (int rc = reserve(c, buf, cap, n)) return rc;
  if (file_read_all(&m->file, pos + offset, *buf, n) < 0) return -1;
  (*buf)[n] = 0;
  *len = n;
  return 0;
}

long entry_blocks(DbMemoFile* m, unsigned long entry_len) {
  return static_cast<long>((entry_len + m->block_size - 1) / m->block_size);
}

int block_number(DbField* f) { return static_cast<int>(str_to_long(field_ptr(f), 10)); }

void put_block_number(char* p, long block) {
  if (block <= 0) std::memset(p, ' ', 10);
  else ltoa_width(block, p, 10);
}

}  // namespace

int memo_file_create(DbMemoFile* m, DB_ENGINE* c, DbDataFile* d, const char* name) {
  if (!c) return -1;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  int block_size = c->memo_block_size;
  char path[258];
  int rc;
  std::memset(m, 0, sizeof *m);
  m->file.handle = -1;
  if (name) {
    str_copy_max(path, name, sizeof path);
    rc = file_create_in(&m->file, c, path, 1);
  } else {
    if (!d) return code_error(c, e_parm, "memo_file_create()");
    if (d->memo_file.block_size > 0) block_size = d->memo_file.block_size;
    str_copy_max(path, d->file.name, sizeof path);
    if (file_name_ext(path, sizeof path, "TMP", 1) != 0)
      return code_error_ex(c, e_create, "File Name:", path, nullptr);
    DbSettingFor safety(c->safety, 0), no_report(c->report_create_errors, 0);
    rc = file_create_in(&m->file, c, path, 1);
    if (rc == DB_NO_CREATE) {
      c->error_code = 0;
      return code_error_ex(c, e_create, "File Name:", path, nullptr);
    }
    m->file.remove_on_close = 1;
  }
  if (rc != 0) return rc;
  m->block_size = block_size;
  unsigned char head[24] = {};
  le_put32(head, 1);
  char piece[258];
  file_name_piece(piece, sizeof piece, name ? name : (d ? d->file.name : path), 0, 0);
  std::memcpy(head + 8, piece, std::strlen(piece) < 8 ? std::strlen(piece) : 8);
  le_put16(head + 18, 0x0102);
  le_put16(head + 20, static_cast<unsigned>(block_size));
  if (file_write(&m->file, 0, head, sizeof head) < 0) {
    m->file.remove_on_close = 1;
    file_close_in(&m->file);
    return -1;
  }
  return 0;
}

int memo_file_open(DbMemoFile* m, DbDataFile* d, const char* name) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  std::memset(m, 0, sizeof *m);
  m->file.handle = -1;
  int rc = file_open_in(&m->file, c, name, 1);
  if (rc != 0) return rc;
  file_set_read_buffer(&m->file, c->read_buffering);
  unsigned char head[24];
  if (file_read(&m->file, 0, head, sizeof head) != sizeof head) {
    if (c->error_code >= 0) damaged(m, "Memo file header is truncated");
    return -1;
  }
  m->block_size = static_cast<int>(le_get16(head + 20));
  if (m->block_size == 0) m->block_size = 512;  // older files leave it out
  m->text_entries = d->header.version == 0x83;
  if (m->block_size < 8) return damaged(m, "Memo block size is invalid");
  return 0;
}

int memo_file_close(DbMemoFile* m) {
  if (m->file.handle == -1) return 0;
  DbAssertLocked(m->file.context);
  memo_file_unlock(m);
  int rc = file_close_in(&m->file);
  m->locked = 0;
  return rc;
}

int memo_file_read(DbMemoFile* m, long block, char** buf, unsigned* size) {
  DbAssertLocked(m->file.context);
  if (m->file.context->error_code < 0) return -1;
  unsigned cap = *buf ? *size + 1 : 0;
  unsigned len = 0;
  int rc = read_entry(m, block, buf, &cap, &len);
  *size = len;
  return rc;
}

int memo_file_write_entry(DbMemoFile* m, long block, const char* text, unsigned len) {
  DbAssertLocked(m->file.context);
  unsigned char head[8];
  head[0] = head[1] = 0xFF;
  le_put16(head + 2, 8);
  le_put32(head + 4, static_cast<unsigned long>(len) + 8);
  if (file_write(&m->file, pos_of(m, block), head, 8) < 0) return -1;
  return file_write(&m->file, pos_of(m, block) + 8, text, len);
}

int memo_file_write(DbMemoFile* m, long* block, const char* text, unsigned len) {
  DB_ENGINE* c = m->file.context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (m->file.handle == -1) return code_error(c, e_open, "Memo file is not open");
  // The free chain is shared by every station: walk it under the memo lock.
  bool took = !m->locked;
  int rc = memo_file_lock(m);
  if (rc != 0) return rc;
  FreeChain chain(m);
  rc = chain.begin();
  long old_blocks = 0;
  if (rc == 0 && *block > 0) {
    long flen = file_len_in(&m->file);
    unsigned char head[8];
    if (flen >= pos_of(m, *block) + 8 && file_read(&m->file, pos_of(m, *block), head, 8) == 8 &&
        head[0] == 0xFF && head[1] == 0xFF) {
      unsigned long entry_len = le_get32(head + 4);
      if (entry_len >= 8 && pos_of(m, *block) + static_cast<long long>(entry_len) <= flen)
        old_blocks = entry_blocks(m, entry_len);
    }
    if (c->error_code < 0) rc = -1;
  }
  long needed = static_cast<long>((len + 8ul + m->block_size - 1) / m->block_size);
  if (rc == 0) {
    if (len == 0) {
      if (old_blocks) rc = chain.give_back(*block, old_blocks);
      if (rc == 0) *block = 0;
    } else if (old_blocks >= needed) {
      long at = *block + old_blocks - needed;
      rc = memo_file_write_entry(m, at, text, len);
      if (rc == 0 && old_blocks > needed) rc = chain.give_back(*block, old_blocks - needed);
      if (rc == 0) *block = at;
    } else {
      // The old run goes back only once the new text is in place: a write
      // that fails (a full disk) keeps the old text where the record finds it.
      long at = 0;
      bool grows = false;
      rc = chain.take(needed, &at, &grows);
      if (rc == 0) rc = memo_file_write_entry(m, at, text, len);
      if (rc == 0 && grows) rc = file_len_set(&m->file, pos_of(m, at + needed));
      if (rc == 0) {
        long old = *block;
        // From here the record must lead to the new text: handing the old
        // run back overwrites its front, even when that fails half way.
        *block = at;
        if (old_blocks) {
          FreeChain after(m);
          rc = after.begin();
          if (rc == 0) rc = after.give_back(old, old_blocks);
        }
      }
    }
  }
  if (took) memo_file_unlock(m);
  return rc < 0 ? -1 : rc;
}

int memo_file_lock(DbMemoFile* m) {
  if (m->locked || m->file.handle == -1) return 0;
  DbAssertLocked(m->file.context);
  int rc = file_lock_tries_in(&m->file, DB_LOCK_RECORD_BASE, 2, -1);
  if (rc != 0) return rc;
  m->locked = 1;
  return file_flush(&m->file, 0);
}

int memo_file_unlock(DbMemoFile* m) {
  if (!m->locked || m->file.handle == -1) return 0;
  DbAssertLocked(m->file.context);
  m->locked = 0;
  return file_unlock_in(&m->file, DB_LOCK_RECORD_BASE, 2);
}

int memo_numbers_refresh(DbDataFile* d) {
  DbAssertLocked(d->context);
  if (d->memo_numbers_current) return 0;
  if (d->rec_num >= 1) {
    if (int rc = data_load_stored(d)) return rc;
    for (int i = 0; i < d->n_memos; i++) {
      DbField* f = d->memos[i].field;
      std::memcpy(d->record + f->offset, d->old_record + f->offset, f->len);
      // Blocks written for an unsaved change are left behind unused.
      d->memos[i].rewritten = 0;
      d->memos[i].replaced = 0;
    }
  }
  d->memo_numbers_current = 1;
  return 0;
}

int memo_field_read(DbField* f) {
  DbMemoEntry* m = f->memo;
  DbDataFile* d = f->data;
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  m->changed = 0;
  m->len = 0;
  if (d->rec_num < 1) {
    if (m->capacity) m->text[0] = 0;
    m->needs_read = 0;
    return 0;
  }
  if (c->read_lock) {
    int rc = memo_numbers_refresh(d);
    if (rc != 0) return rc;
  }
  int rc = read_entry(&d->memo_file, block_number(f), &m->text, &m->capacity, &m->len);
  if (m->capacity == 0) m->text = empty_text;
  if (rc != 0) {
    m->len = 0;
    if (m->capacity) m->text[0] = 0;
    return rc;
  }
  m->needs_read = 0;
  return 0;
}

unsigned memo_field_len(DbField* f) {
  if (!f->memo) return f->len;
  if (f->memo->needs_read) memo_field_read(f);
  return f->memo->len;
}

char* memo_field_ptr(DbField* f) {
  if (!f->memo) return field_ptr(f);
  if (f->memo->needs_read) memo_field_read(f);
  return f->memo->text;
}

int memo_field_set_len(DbField* f, unsigned len) {
  DbMemoEntry* m = f->memo;
  DB_ENGINE* c = f->data->context;
  DbAssertLocked(c);
  if (len + 1 > m->capacity) {
    // Growing keeps the text so far; the new part starts out as NULs rather
    // than whatever the heap held, so it can never reach the file.
    char* p = static_cast<char*>(mem_alloc(static_cast<size_t>(len) + 1));
    if (!p) return code_error(c, e_memory, nullptr);
    unsigned keep = m->len < len ? m->len : len;
    if (keep) std::memcpy(p, m->text, keep);
    std::memset(p + keep, 0, static_cast<size_t>(len) + 1 - keep);
    if (m->capacity) mem_free(m->text);
    m->text = p;
    m->capacity = len + 1;
  } else if (len > m->len) {
    std::memset(m->text + m->len, 0, len - m->len);
  }
  m->len = len;
  m->text[len] = 0;
  m->needs_read = 0;
  m->changed = 1;
  f->data->record_changed = 1;
  return 0;
}

int memo_field_assign_in(DbField* f, const char* text, unsigned len) {
  DbAssertLocked(f->data->context);
  if (!f->memo) {
    field_assign_n(f, text, len);
    return 0;
  }
  // The text may be the field's own buffer, which set_len may replace.
  if (text == f->memo->text && len <= f->memo->len) {
    f->memo->len = len;
    f->memo->text[len] = 0;
    f->memo->changed = 1;
    f->memo->needs_read = 0;
    f->data->record_changed = 1;
    return 0;
  }
  int rc = memo_field_set_len(f, len);
  if (rc != 0) return rc;
  if (len) std::memcpy(f->memo->text, text, len);
  return 0;
}

int memo_field_write(DbField* f) {
  DbMemoEntry* m = f->memo;
  DbDataFile* d = f->data;
  DbAssertLocked(d->context);
  int rc = memo_numbers_refresh(d);
  if (rc != 0) return rc;
  long block = block_number(f);
  // The text goes to blocks of its own: the stored record leads to the old
  // ones until the record itself is written, and they go back only after
  // that, so a failure on the way leaves the old text whole.
  long fresh = 0;
  if (m->len > 0) rc = memo_file_write(&d->memo_file, &fresh, m->text, m->len);
  if (rc != 0) return rc < 0 ? -1 : rc;
  if (m->rewritten) {
    // Written for this change before: no stored record leads there.
    if (block > 0) rc = memo_file_write(&d->memo_file, &block, nullptr, 0);
  } else {
    m->rewritten = 1;
    m->replaced = block;
  }
  put_block_number(field_ptr(f), fresh);
  m->changed = 0;
  return rc;
}

namespace {

void note_free(DbDataFile* d, long block) {
  if (block <= 0) return;
  if (d->n_memo_frees == d->memo_frees_capacity) {
    int cap = d->memo_frees_capacity ? d->memo_frees_capacity * 2 : 8;
    auto* p = static_cast<long*>(mem_alloc(sizeof(long) * static_cast<size_t>(cap)));
    if (!p) return;  // the blocks stay unused: nothing is lost
    if (d->n_memo_frees) std::memcpy(p, d->memo_frees, sizeof(long) * static_cast<size_t>(d->n_memo_frees));
    mem_free(d->memo_frees);
    d->memo_frees = p;
    d->memo_frees_capacity = cap;
  }
  d->memo_frees[d->n_memo_frees++] = block;
}

}  // namespace

int memo_record_written(DbDataFile* d) {
  DbAssertLocked(d->context);
  for (int i = 0; i < d->n_memos; i++) {
    DbMemoEntry* m = &d->memos[i];
    if (!m->rewritten) continue;
    note_free(d, m->replaced);
    m->rewritten = 0;
    m->replaced = 0;
  }
  return memo_frees_release(d);
}

int memo_frees_release(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  if (d->n_memo_frees == 0 || file_holds_writes(&d->file)) return 0;
  if (c->error_code < 0) return -1;
  int rc = 0;
  for (int i = 0; i < d->n_memo_frees && rc == 0; i++) {
    long block = d->memo_frees[i];
    rc = memo_file_write(&d->memo_file, &block, nullptr, 0);
  }
  // A give-back that failed half way is not tried again: its blocks may be
  // in the chain already. Unused blocks are the worst that is left.
  d->n_memo_frees = 0;
  return rc < 0 ? -1 : rc;
}

void memo_field_reset(DbField* f) {
  f->memo->rewritten = 0;
  f->memo->replaced = 0;
  f->memo->len = 0;
  f->memo->needs_read = 1;
  f->memo->changed = 0;
  if (f->memo->capacity) f->memo->text[0] = 0;
}

void memo_field_free(DbField* f) {
  DbMemoEntry* m = f->memo;
  if (m->capacity) mem_free(m->text);
  m->text = empty_text;
  m->capacity = 0;
  m->len = 0;
  m->needs_read = 1;
  m->changed = 0;
  m->rewritten = 0;
  m->replaced = 0;
}

int memo_file_compress(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  int rc = memo_file_lock(&d->memo_file);
  if (rc != 0) return rc;
  long count = data_count_held(d);
  if (count < 0) return -1;
  DbMemoFile tmp;
  if (memo_file_create(&tmp, c, d, nullptr) != 0) return -1;
  // New block numbers are kept apart until the new memo file is in place,
  // so a failure leaves records and memo file as they were.
  auto* numbers = static_cast<long*>(
      mem_alloc_err(c, sizeof(long) * (static_cast<size_t>(count) * d->n_memos + 1)));
  char* text = nullptr;
  unsigned cap = 0, len = 0;
  rc = numbers ? 0 : -1;
  for (long r = 1; rc == 0 && r <= count; r++) {
    if (file_read_all(&d->file, data_record_pos(d, r), d->old_record, d->record_width) < 0) {
      rc = -1;
      break;
    }
    for (int i = 0; i < d->n_memos && rc == 0; i++) {
      DbField* f = d->memos[i].field;
      long old = str_to_long(d->old_record + f->offset, 10);
      long block = 0;
      rc = read_entry(&d->memo_file, old, &text, &cap, &len);
      if (rc == 0 && len > 0) rc = memo_file_write(&tmp, &block, text, len);
      numbers[(r - 1) * d->n_memos + i] = block;
    }
  }
  if (cap) mem_free(text);
  // From the memo file's replacement until the records' new block numbers
  // are on disk, the two do not agree: no reader without a lock meets them,
  // and both keep their old contents under one journal until then.
  DbRebuilding rebuilding(d);
  if (rc == 0) rc = rebuilding.rc();
  DbReplacing replacing(d);
  if (rc == 0) rc = replacing.log() ? file_back_up_logged(&d->file, replacing.log()) : -1;
  if (rc == 0) rc = file_replace(&d->memo_file.file, &tmp.file, replacing.log());
  if (rc != 0) {
    mem_free(numbers);
    DbQuietError quiet(c);
    file_close_in(&tmp.file);
    return rc < 0 ? -1 : rc;
  }
  // Only the block numbers are written: nothing needs reading again once
  // the old memo file is gone.
  for (long r = 1; rc == 0 && r <= count; r++) {
    long pos = data_record_pos(d, r);
    for (int i = 0; rc == 0 && i < d->n_memos; i++) {
      DbField* f = d->memos[i].field;
      char digits[10];
      put_block_number(digits, numbers[(r - 1) * d->n_memos + i]);
      if (file_write(&d->file, pos + f->offset, digits, sizeof digits) < 0) rc = -1;
    }
  }
  mem_free(numbers);
  if (rc == 0) rc = file_flush(&d->file, 0);
  if (rc == 0) rc = replacing.commit();
  d->n_memo_frees = 0;  // blocks of the memo file that is gone
  d->rec_num_old = -1;
  d->memo_numbers_current = 0;
  for (int i = 0; i < d->n_memos; i++) memo_field_reset(d->memos[i].field);
  return rc;
}
