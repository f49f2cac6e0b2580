// Creating, opening and closing data files (header, descriptors, buffers).
#include <cstring>

#include "engine/bytes.h"
#include "engine/convert.h"
#include "engine/data.h"
#include "engine/index_data.h"
#include "engine/lock.h"
#include "engine/memo.h"
#include "engine/replace_log.h"
#include "engine/table_replace.h"

namespace {

constexpr int kNameMax = 258;


bool is_memo_type(int t) { return t == 'M' || t == 'G' || t == 'B'; }

// Visual FoxPro's versions keep 263 bytes after the field terminator.
bool has_backlink(unsigned version) { return version == 0x30 || version == 0x31 || version == 0x32; }

// Frees what open built, without writing anything back.
void data_discard(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  data_guards_drop(d);
  for (int i = 0; i < d->n_memos; i++) memo_field_free(d->memos[i].field);
  if (d->memo_file.file.handle != -1) memo_file_close(&d->memo_file);
  if (d->file.handle != -1 || d->file.name) file_close_in(&d->file);
  if (list_contains(&c->data_list, d)) list_remove(&c->data_list, d);
  mem_free(d->record);
  mem_free(d->old_record);
  data_read_ahead_free(d);
  mem_free(d->fields);
  mem_free(d->memos);
  mem_free(d->locks);
  mem_free(d->memo_frees);
  mem_pool_give(c->data_pool, d);
}

// Reports a damaged data file, closes it and gives null.
DbDataFile* refuse(DbDataFile* d, const char* name, const char* why) {
  code_error_ex(d->context, e_data_name, name, why, nullptr);
  DbQuietError quiet(d->context);
  data_discard(d);
  return nullptr;
}

DbDataFile* fail(DbDataFile* d) {
  DbQuietError quiet(d->context);
  data_discard(d);
  return nullptr;
}

// Reads the header, the descriptors, the memo file and the index of a
// table just opened; null (the table discarded) on a failure.
DbDataFile* open_read(DB_ENGINE* c, DbDataFile* d, const char* path);

}  // namespace

DbDataFile* data_open_in(DB_ENGINE* c, const char* name) {
  DbAssertLocked(c);
  auto* d = static_cast<DbDataFile*>(mem_pool_alloc(c, &c->data_pool, c->first_data,
                                                    sizeof(DbDataFile), c->expand_data, 0));
  if (!d) {
    code_error(c, e_memory, nullptr);
    return nullptr;
  }
  d->context = c;
  d->file.handle = -1;
  d->memo_file.file.handle = -1;
  char path[kNameMax];
  if (std::strlen(name) >= sizeof path) {
    code_error_ex(c, e_open, "File Name:", name, nullptr);
    mem_pool_give(c->data_pool, d);
    return nullptr;
  }
  std::strcpy(path, name);
  file_name_ext(path, sizeof path, "DBF", 0);
  if (file_open_in(&d->file, c, path, 1) != 0) {
    mem_pool_give(c->data_pool, d);
    return nullptr;
  }
  list_add(&c->data_list, d);
  file_name_piece(d->alias, sizeof d->alias, path, 0, 0);
  // A rebuild that died half way left its journal: its files are put back
  // first (while another station holds the locks, the reading guard waits).
  if (replace_log_left(path) == 1 && data_recover(d) < 0) return fail(d);
  // Another station's pack may be copying the table over: the header and
  // the index are read once it is done.
  if (data_reading_enter(d) != 0) return fail(d);
  DbDataFile* opened = open_read(c, d, path);
  if (opened) data_reading_leave(opened);
  return opened;
}

namespace {

DbDataFile* open_read(DB_ENGINE* c, DbDataFile* d, const char* path) {
  unsigned char head[32];
  long flen = file_len_in(&d->file);
  if (flen < 0) return fail(d);
  if (flen < 32 || file_read(&d->file, 0, head, 32) != 32)
    return c->error_code < 0 ? fail(d) : refuse(d, path, "Header is truncated");
  d->header.version = head[0];
  std::memcpy(d->header.update, head + 1, 3);
  d->header.num_recs = -1;
  d->header.header_len = le_get16(head + 8);
  d->has_mdx = head[28] != 0;
  unsigned record_width = le_get16(head + 10);
  if (d->header.header_len < 33) return refuse(d, path, "Header length is too small");

  // Descriptors: read exactly up to the stated header length, never past it.
  unsigned desc_len = d->header.header_len - 32;
  auto* desc = static_cast<unsigned char*>(mem_alloc_err(c, desc_len));
  if (!desc) return fail(d);
  if (file_read(&d->file, 32, desc, desc_len) != desc_len) {
    mem_free(desc);
    return c->error_code < 0 ? fail(d) : refuse(d, path, "Field descriptors are truncated");
  }
  int n = 0;
  while (static_cast<unsigned>(n) * 32 < desc_len && desc[n * 32] != 0x0D) n++;
  if (static_cast<unsigned>(n) * 32 >= desc_len) {
    mem_free(desc);
    return refuse(d, path, "Field descriptors are not terminated");
  }
  // The header ends with the terminator (a NUL after it is tolerated, as
  // some writers put one there), or with Visual FoxPro's 263-byte backlink
  // where the version says the file has one. A longer header would put the
  // first record anywhere: refused.
  unsigned needed = 32u * unsigned(n) + 33u;
  unsigned slack = has_backlink(d->header.version) ? 264u : 1u;
  if (d->header.header_len > needed + slack || long(d->header.header_len) > flen) {
    mem_free(desc);
    return refuse(d, path, "Header length disagrees with the fields");
  }
  d->n_fields = n;
  d->fields = static_cast<DbField*>(mem_alloc_err(c, sizeof(DbField) * (n ? n : 1)));
  if (!d->fields) {
    mem_free(desc);
    return fail(d);
  }
  unsigned offset = 1;
  int memos = 0;
  for (int i = 0; i < n; i++) {
    const unsigned char* p = desc + i * 32;
    DbField* f = &d->fields[i];
    std::memcpy(f->name, p, 10);
    f->name[10] = 0;
    int t = p[11];
    if (t >= 'a' && t <= 'z') t -= 32;
    f->type = static_cast<char>(t);
    f->decimals = 0;
    if (t == 'N' || t == 'F') {
      f->len = p[16];
      f->decimals = p[17];
    } else if (t == 'L' || t == 'D' || is_memo_type(t)) {
      f->len = p[16];
    } else {
      f->len = p[16] + 256u * p[17];
    }
    f->offset = offset;
    f->data = d;
    offset += f->len;
    if (is_memo_type(t)) memos++;
  }
  mem_free(desc);
  if (offset != record_width) return refuse(d, path, "Record length disagrees with the fields");
  d->record_width = record_width;

  // A stated count beyond the file's end (a torn copy or write) still opens:
  // moves go by the records the file holds, the others read as torn.
  if (memos) {
    d->memos = static_cast<DbMemoEntry*>(mem_alloc_err(c, sizeof(DbMemoEntry) * memos));
    if (!d->memos) return fail(d);
    for (int i = 0; i < n; i++) {
      DbField* f = &d->fields[i];
      if (!is_memo_type(f->type)) continue;
      DbMemoEntry* m = &d->memos[d->n_memos++];
      m->field = f;
      f->memo = m;
      memo_field_free(f);
    }
  }
  d->record = static_cast<char*>(mem_alloc_err(c, record_width + 1));
  d->old_record = static_cast<char*>(mem_alloc_err(c, record_width + 1));
  if (!d->record || !d->old_record) return fail(d);
  std::memset(d->record, ' ', record_width);
  std::memset(d->old_record, ' ', record_width);
  d->rec_num = d->rec_num_old = -1;
  file_set_read_buffer(&d->file, c->read_buffering);

  if (d->header.version & 0x80) {
    char memo_name[kNameMax];
    std::strcpy(memo_name, path);
    if (file_name_ext(memo_name, sizeof memo_name, "DBT", 1) != 0 ||
        memo_file_open(&d->memo_file, d, memo_name) != 0)
      return fail(d);
  }
  if (index_data_open(d) != 0) return fail(d);
  return d;
}

}  // namespace

DbDataFile* data_create_in(DB_ENGINE* c, const char* name, const DbFieldInfo* fields,
                           const DbTagInfo* tags) {
  DbAssertLocked(c);
  char path[kNameMax];
  if (std::strlen(name) >= sizeof path) {
    code_error_ex(c, e_create, "File Name:", name, nullptr);
    return nullptr;
  }
  std::strcpy(path, name);
  if (file_name_ext(path, sizeof path, "DBF", 0) != 0) {
    code_error_ex(c, e_create, "File Name:", name, nullptr);
    return nullptr;
  }
  unsigned long width = 1;
  int n = 0;
  bool memo = false;
  for (; fields[n].name; n++) {
    int t = fields[n].type;
    if (t >= 'a' && t <= 'z') t -= 32;
    if (is_memo_type(t)) {
      width += 10;
      memo = true;
    } else if (t == 'D') {
      width += 8;
    } else if (t == 'L') {
      width += 1;
    } else {
      width += fields[n].len;
    }
  }
  if (width >= 65535) {
    code_error(c, e_record_len, path);
    return nullptr;
  }
  if (32L * n + 34 >= 65535) {
    code_error_ex(c, e_create, "Too Many Fields", path, nullptr);
    return nullptr;
  }
  DbFile f;
  if (file_create_in(&f, c, path, 0) != 0) return nullptr;
  char buf[2048];
  DbSeqWrite w;
  seq_write_init(&w, &f, 0, buf, sizeof buf);
  unsigned char head[32] = {};
  head[0] = memo ? 0x8B : 0x03;
  date_stamp(head + 1);
  le_put16(head + 8, static_cast<unsigned>(32 * n + 33));
  le_put16(head + 10, static_cast<unsigned>(width));
  seq_write_in(&w, head, 32);
  for (int i = 0; i < n; i++) {
    unsigned char desc[32] = {};
    char fname[11] = {};
    str_copy_max(fname, fields[i].name, sizeof fname);
    str_trim_len(fname, 10);
    if (fname[0] == ' ') fname[0] = 0;
    str_upper(fname);
    std::memcpy(desc, fname, std::strlen(fname));
    int t = fields[i].type;
    if (t >= 'a' && t <= 'z') t -= 32;
    desc[11] = static_cast<unsigned char>(t);
    unsigned len = fields[i].len;
    if (is_memo_type(t)) {
      desc[16] = 10;
    } else if (t == 'D') {
      desc[16] = 8;
    } else if (t == 'L') {
      desc[16] = 1;
    } else if (t == 'N' || t == 'F') {
      desc[16] = static_cast<unsigned char>(len);
      desc[17] = static_cast<unsigned char>(fields[i].decimals);
    } else {
      desc[16] = static_cast<unsigned char>(len & 0xFF);
      desc[17] = static_cast<unsigned char>(len >> 8);
    }
    seq_write_in(&w, desc, 32);
  }
  const unsigned char end[2] = {0x0D, 0x1A};
  seq_write_in(&w, end, 2);
  seq_write_flush_in(&w);
  int failed = c->error_code < 0;
  file_close_in(&f);
  if (failed) return nullptr;

  if (memo) {
    char memo_name[kNameMax];
    std::strcpy(memo_name, path);
    if (file_name_ext(memo_name, sizeof memo_name, "DBT", 1) != 0) {
      code_error_ex(c, e_create, "File Name:", path, nullptr);
      return nullptr;
    }
    DbMemoFile m;
    if (memo_file_create(&m, c, nullptr, memo_name) != 0) return nullptr;
    if (memo_file_close(&m) < 0) return nullptr;
  }
  DbDataFile* d = data_open_in(c, path);
  if (d && index_data_create(d, tags) != 0) {
    data_close_in(d);  // keeps the pending error or status
    return nullptr;
  }
  return d;
}

int data_close_in(DbDataFile* d) {
  DB_ENGINE* c = d->context;
  DbAssertLocked(c);
  int last = code_error_set(c, 0);
  auto take = [&] {
    if (c->error_code < 0) last = code_error_set(c, 0);
  };
  // A change refused as a duplicate key is dropped; the caller still gets -340.
  if (last == e_unique) d->record_changed = 0;
  int status = 0;
  if (d->file.handle != -1) {
    if (d->record_changed && d->rec_num > 0) {
      int rc = data_write_in(d, d->rec_num);
      if (c->error_code == e_unique) d->record_changed = 0;
      if (rc > 0) status = rc;  // e.g. the record lock was refused: not written
      take();
    }
    if (d->header_changed && !d->file.read_only) {
      unsigned char head[4];
      head[0] = d->header.version;
      date_stamp(head + 1);
      file_write(&d->file, 0, head, 4);
      take();
    }
    d->record_changed = 0;
    data_unlock_in(d);
    take();
    index_data_close(d);
    take();
  }
  data_discard(d);
  take();
  code_error_set(c, last);
  return last != 0 ? last : status;
}

const char* data_alias(DbDataFile* d) { return d->alias; }

void data_alias_set_in(DbDataFile* d, const char* name) {
  DbAssertLocked(d->context);
  str_copy_max(d->alias, name, sizeof d->alias);
  str_upper(d->alias);
}

int data_header_write(DbDataFile* d) {
  DbAssertLocked(d->context);
  if (d->context->error_code < 0) return -1;
  long count = data_reccount_in(d);
  if (count < 0) return -1;
  unsigned char head[10];
  head[0] = d->header.version;
  date_stamp(head + 1);
  std::memcpy(d->header.update, head + 1, 3);
  for (int i = 0; i < 4; i++) head[4 + i] = static_cast<unsigned char>(count >> (8 * i));
  le_put16(head + 8, d->header.header_len);
  return file_write(&d->file, 0, head, sizeof head);
}
