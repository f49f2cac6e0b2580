// Rebuilding every tag of an index file from the data file: each tag's keys
// are sorted and written bottom-up into completely filled blocks. The new
// file is built in a work file beside the index and copied over the index
// only when every tag was built, so a failed rebuild (a duplicate in a unique
// tag, a bad record, a full disk) leaves the old index as it was.
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/convert.h"
#include "engine/expr.h"
#include "engine/index_internal.h"
#include "engine/sort.h"

namespace {

struct Level {
  std::vector<unsigned char> image;
  int count = 0;  // children (leaf: keys) in the buffer
  std::vector<unsigned char> last_key;
};

struct Builder {
  DbIndexFile* x;
  DbTag* t;
  DbSeqWrite* w;
  long next;  // block number of the next block written
  std::vector<Level> levels;
};

unsigned char* slot(Builder& b, Level& lv, int i) {
  return lv.image.data() + 8 + size_t(i) * size_t(b.t->header.group_len);
}

// Writes the buffer of level l as the next block; a branch's last child
// becomes its last pointer. Returns the block number or -1.
long write_level(Builder& b, size_t l) {
  Level& lv = b.levels[l];
  bool leaf = l == 0;
  int keys = leaf ? lv.count : lv.count - 1;
  if (!leaf && keys < b.t->header.keys_max)
    std::memset(slot(b, lv, keys) + 4, 0, size_t(b.t->header.group_len) - 4);
  le_put32(lv.image.data(), uint32_t(keys));
  long number = b.next;
  if (seq_write_in(b.w, lv.image.data(), unsigned(lv.image.size())) < 0) return -1;
  b.next += b.x->blocks_per_page;
  return number;
}

void reset_level(Level& lv) {
  std::fill(lv.image.begin(), lv.image.end(), 0);
  lv.count = 0;
}

int add_entry(Builder& b, size_t l, const unsigned char* key, long pointer) {
  if (l == b.levels.size()) {
    b.levels.emplace_back();
    b.levels.back().image.assign(size_t(b.x->block_size), 0);
    b.levels.back().last_key.assign(size_t(b.t->header.key_len), 0);
  }
  size_t key_len = size_t(b.t->header.key_len);
  int keys_max = b.t->header.keys_max;
  int cap = l == 0 ? keys_max : keys_max + 1;
  if (b.levels[l].count == cap) {
    Level& full = b.levels[l];
    std::vector<unsigned char> sep;
    long carried = 0;
    std::vector<unsigned char> carried_key;
    if (l > 0) {
      // The last child waits for the next block: a branch written now could
      // otherwise be the level's last and be left with one child, no key.
      carried = long(le_get32(slot(b, full, cap - 1)));
      carried_key = full.last_key;
      sep.assign(slot(b, full, cap - 2) + 4, slot(b, full, cap - 2) + 4 + key_len);
      full.count = cap - 1;
    } else {
      sep = full.last_key;
    }
    long number = write_level(b, l);
    if (number < 0) return -1;
    reset_level(b.levels[l]);
    if (add_entry(b, l + 1, sep.data(), number) < 0) return -1;
    if (l > 0 && add_entry(b, l, carried_key.data(), carried) < 0) return -1;
  }
  Level& lv = b.levels[l];
  unsigned char* e = slot(b, lv, lv.count);
  le_put32(e, uint32_t(pointer));
  // A full branch's last child has room for its pointer only; its key goes up.
  if (lv.count < keys_max) std::memcpy(e + 4, key, key_len);
  std::memcpy(lv.last_key.data(), key, key_len);
  lv.count++;
  return 0;
}

// Writes what the buffers still hold, bottom up; the block written last is the root.
long finish(Builder& b) {
  if (b.levels.empty()) {
    b.levels.emplace_back();
    b.levels.back().image.assign(size_t(b.x->block_size), 0);
    b.levels.back().last_key.assign(size_t(b.t->header.key_len), 0);
  }
  long written = write_level(b, 0);
  if (written < 0) return -1;
  std::vector<unsigned char> key = b.levels[0].last_key;
  for (size_t l = 1; l < b.levels.size(); l++) {
    if (b.levels[l].count == 0) continue;
    if (add_entry(b, l, key.data(), written) < 0) return -1;
    written = write_level(b, l);
    if (written < 0) return -1;
    key = b.levels[l].last_key;
  }
  return written;
}

// Sorts the tag's keys and writes its blocks. 0, 20 (stopped on a duplicate) or -1.
int build_tag(DbIndexFile* x, DbTag* t, DbSeqWrite* w, long* next, char* read_buf) {
  DB_ENGINE* c = x->context;
  DbDataFile* d = x->data;
  long count = data_count_held(d);  // no keys for records the file does not hold
  if (count < 0) return -1;
  DbSort s;
  if (sort_init(&s, c, unsigned(t->header.key_len), 0) < 0) return -1;
  // Ascending character and numeric tags keep the orders the sort knows.
  int order = DB_SORT_ORDER_OTHER;
  if (!(t->header.key_format & 0x08)) {
    if (t->header.key_type == 'C') order = DB_SORT_ORDER_BYTES;
    if (t->header.key_type == 'N') order = DB_SORT_ORDER_PACKED;
  }
  sort_set_compare(&s, t->compare, order);
  DbSeqRead r;
  seq_read_init(&r, &d->file, long(d->header.header_len), read_buf,
                unsigned(c->sort_buffer < 1024 ? 1024 : c->sort_buffer));
  std::vector<unsigned char> key(size_t(t->header.key_len) + 1);
  t->filter_flag = 0;
  for (long n = 1; n <= count; n++) {
    if (seq_read_all(&r, d->record, d->record_width) < 0) {
      sort_free(&s);
      return -1;
    }
    d->rec_num = n;
    if (t->filter) {
      int pass = expr_true_in(t->filter);
      if (pass < 0) {
        sort_free(&s);
        return -1;
      }
      if (!pass) continue;
      t->filter_flag = 1;
    }
    if (mdx_record_key(t, key.data()) < 0 || sort_put(&s, uint32_t(n), key.data(), nullptr) < 0) {
      sort_free(&s);
      return -1;
    }
  }
  if (sort_get_init(&s) < 0) {
    sort_free(&s);
    return -1;
  }
  Builder b{x, t, w, *next, {}};
  std::vector<unsigned char> prev(size_t(t->header.key_len));
  bool have_prev = false;
  bool unique = t->header.unique_flag != 0;
  for (;;) {
    uint32_t recno;
    char* k;
    int rc = sort_get(&s, &recno, &k, nullptr);
    if (rc == 1) break;
    if (rc < 0) {
      sort_free(&s);
      return -1;
    }
    auto* kb = reinterpret_cast<unsigned char*>(k);
    if (unique && have_prev && t->compare(prev.data(), kb, unsigned(t->header.key_len)) == 0) {
      if (t->unique_action == e_unique) {
        sort_free(&s);
        return code_error_ex(c, e_unique, "Creating Tag", t->name, nullptr);
      }
      if (t->unique_action == DB_UNIQUE) {
        sort_free(&s);
        return DB_UNIQUE;
      }
      continue;  // any other action keeps the first record of a key
    }
    std::memcpy(prev.data(), kb, prev.size());
    have_prev = true;
    if (add_entry(b, 0, kb, long(recno)) < 0) {
      sort_free(&s);
      return -1;
    }
  }
  long root = finish(b);
  if (root < 0) return -1;
  t->header.root = root;
  *next = b.next;
  return 0;
}

int settle_layout(DbIndexFile* x, DbTag* t) {
  DB_ENGINE* c = x->context;
  int len = expr_key_len(t->expr);
  int type;
  switch (expr_type(t->expr)) {
    case 'C': type = 'C'; break;
    case 'D': case 'd': type = 'D'; break;
    case 'N': case 'n': type = 'N'; break;
    default: return code_error(c, e_info, "Invalid key type in index file");
  }
  t->header.key_type = (unsigned char)type;
  t->header.key_len = len;
  t->header.group_len = 4 + (len + 3) / 4 * 4;
  t->header.keys_max = (x->block_size - 12) / t->header.group_len;
  t->header.date_flag = type == 'D' ? 1 : 0;
  if (len < 1 || t->header.keys_max < 2 || len > DB_MDX_MAX_KEY)
    return code_error_ex(c, e_index, "Key too long:", t->name, nullptr);
  t->filter_flag_changed = 0;
  return tag_routines_set(t, type);
}

// Header, tag table and tag header blocks.
int write_front(DbIndexFile* x, DbFile* out, long next) {
  unsigned char* h = x->header;
  h[0] = 2;
  date_stamp(h + 1);
  le_put32(h + 32, uint32_t(next));
  le_put32(h + 36, 0);
  std::vector<unsigned char> front(size_t(DB_MDX_TAG_TABLE) + DB_MDX_MAX_TAGS * DB_MDX_TAG_ENTRY, 0);
  std::memcpy(front.data(), h, DB_MDX_HEADER_LEN);
  front[529] = 1;
  unsigned char* table = front.data() + DB_MDX_TAG_TABLE;
  int i = 0;
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t)), i++) {
    unsigned char* e = table + i * DB_MDX_TAG_ENTRY;
    le_put32(e, uint32_t(4 + i * x->blocks_per_page));
    std::strncpy(reinterpret_cast<char*>(e + 4), t->name, 11);
    e[15] = 0x10;
    e[19] = 2;
    e[20] = t->header.key_type;
    if (i > 0) {
      // Hang the tag in the name tree: equal or higher names to the right.
      int at = 0;
      for (;;) {
        unsigned char* node = table + at * DB_MDX_TAG_ENTRY;
        int side = std::memcmp(e + 4, node + 4, 11) >= 0 ? 17 : 16;
        if (node[side] == 0) {
          node[side] = (unsigned char)(i + 1);
          e[18] = (unsigned char)(at + 1);
          break;
        }
        at = node[side] - 1;
      }
    }
  }
  if (file_write(out, 0, front.data(), unsigned(front.size())) < 0) return -1;
  std::vector<unsigned char> block(size_t(x->block_size), 0);
  i = 0;
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t)), i++) {
    std::fill(block.begin(), block.end(), 0);
    mdx_header_encode(&t->header, block.data());
    std::strncpy(reinterpret_cast<char*>(block.data() + 24), expr_source(t->expr), DB_MDX_EXPR_LEN);
    if (t->filter) {
      block[245] = 1;
      block[246] = t->filter_flag ? 1 : 0;
      std::strncpy(reinterpret_cast<char*>(block.data() + DB_MDX_FILTER_AT), expr_source(t->filter),
                   size_t(x->block_size - DB_MDX_FILTER_AT - 1));
    }
    t->header_pos = long(4 + i * x->blocks_per_page) * 512;
    if (file_write(out, t->header_pos, block.data(), unsigned(block.size())) < 0) return -1;
  }
  return 0;
}

// A production tag over exactly one field marks that field's descriptor.
int mark_fields(DbIndexFile* x) {
  DbDataFile* d = x->data;
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t))) {
    std::string src = expr_source(t->expr);
    while (!src.empty() && src.back() == ' ') src.pop_back();
    for (int i = 0; i < d->n_fields; i++) {
      if (strcasecmp(src.c_str(), d->fields[i].name) != 0) continue;
      unsigned char one = 1;
      if (file_write(&d->file, 32 + 32L * i + 31, &one, 1) < 0) return -1;
    }
  }
  return 0;
}

int rebuild_into(DbIndexFile* x, DbFile* work) {
  DB_ENGINE* c = x->context;
  int ntags = 0;
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t))) {
    if (settle_layout(x, t) < 0) return -1;
    ntags++;
  }
  long next = 4 + long(ntags) * x->blocks_per_page;
  std::vector<char> write_buf(16384), read_buf(size_t(c->sort_buffer < 1024 ? 1024 : c->sort_buffer));
  DbSeqWrite w;
  seq_write_init(&w, work, next * 512, write_buf.data(), unsigned(write_buf.size()));
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t))) {
    int rc = build_tag(x, t, &w, &next, read_buf.data());
    if (rc != 0) return rc;
  }
  if (seq_write_flush_in(&w) < 0) return -1;
  if (write_front(x, work, next) < 0) return -1;
  return file_len_set(work, next * 512);
}

}  // namespace

int index_rebuild(DbIndexFile* x) {
  DB_ENGINE* c = x->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  DbDataFile* d = x->data;
  bool took = !x->locked;
  int rc = index_lock(x);
  if (rc != 0) return rc;
  c->activity_bits |= 64;
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t))) {
    tag_flush(t);
    mdx_drop_buffers(t);
  }
  // The records are read through the record buffer; the current one comes back after.
  std::vector<char> saved(d->record, d->record + d->record_width + 1);
  long saved_recno = d->rec_num;

  char work_name[1100];
  std::strcpy(work_name, x->file.name);
  DbFile work;
  int created;
  {
    DbSettingFor safety(c->safety, 0), exclusive(c->exclusive, 1);
    created = file_name_ext(work_name, sizeof work_name, "MD~", 1) == 0
                  ? file_create_in(&work, c, work_name, 1)
                  : code_error_ex(c, e_create, "File Name:", work_name, nullptr);
  }
  if (created == 0) {
    work.remove_on_close = 1;
    // The new file carries the tags' versions moved on, so that a station
    // reading it sees at once that its cached blocks are gone (the unlock
    // moves them on once more).
    for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
         t = static_cast<DbTag*>(list_next(&x->tags, t)))
      t->header.version++;
    rc = rebuild_into(x, &work);
    if (rc == 0) {
      // No reader without a lock meets the file half copied; while readers
      // stay, the old file stays.
      DbRebuilding rebuilding(d);
      rc = rebuilding.rc();
      if (rc == 0) rc = file_replace(&x->file, &work);  // closes and removes the work file
    }
    if (work.handle != -1) {
      DbQuietError quiet(c);
      file_close_in(&work);
    }
  } else {
    rc = -1;
  }
  std::memcpy(d->record, saved.data(), saved.size());
  d->rec_num = saved_recno;
  index_cache_forget(x);  // the file was written afresh (or partly)
  if (rc == 0) {
    x->header_changed = 0;
    for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
         t = static_cast<DbTag*>(list_next(&x->tags, t))) {
      t->header_changed = t->filter_flag_changed = 0;
      t->version_changed = 1;  // the flush moves it on: other stations drop what they cached
    }
    if (x->production && mark_fields(x) < 0) rc = -1;
  } else {
    // The old file stays; re-read what it says.
    DbQuietError quiet(c);
    if (file_read_all(&x->file, 0, x->header, DB_MDX_HEADER_LEN) == 0) {
      for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
           t = static_cast<DbTag*>(list_next(&x->tags, t))) {
        unsigned char h[24];
        if (file_read_all(&x->file, t->header_pos, h, sizeof h) == 0) mdx_header_decode(&t->header, h);
        t->header.root = -1;
        tag_routines_set(t, t->header.key_type);
      }
    }
  }
  if (took) {
    DbQuietError quiet(c, DbQuietError::if_any);
    index_unlock(x);
  }
  if (rc < 0) return -1;
  return rc;
}
