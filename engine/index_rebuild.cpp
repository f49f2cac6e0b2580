// Rebuilding every tag of an index file from the data file: the records are
// read once, each tag's keys are sorted and written bottom-up into completely
// filled blocks. The new file is built in memory (or, when too large to hold,
// in a work file beside the index) and written over the index only when
// every tag was built, so a failed rebuild (a duplicate in a unique tag, a
// bad record, a full disk) leaves the old index as it was.
#include <strings.h>

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/convert.h"
#include "engine/expr.h"
#include "engine/expr_table.h"
#include "engine/index_internal.h"
#include "engine/sort.h"
#include "engine/table_replace.h"

namespace {

struct Level {
  std::vector<unsigned char> image;
  int count = 0;  // children (leaf: keys) in the buffer
  std::vector<unsigned char> last_key;  // a branch's; a leaf's stands in its last slot
};

// Where the new file's blocks go, in the order written: the image in memory
// when there is one, else the work file's writer.
struct Sink {
  std::vector<unsigned char>* image;
  DbSeqWrite* w;
  int put(const unsigned char* bytes, unsigned n) {
    if (!image) return seq_write_in(w, bytes, n) < 0 ? -1 : 0;
    image->insert(image->end(), bytes, bytes + n);
    return 0;
  }
};

struct Builder {
  DbIndexFile* x;
  DbTag* t;
  Sink out;
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
  if (b.out.put(lv.image.data(), unsigned(lv.image.size())) < 0) return -1;
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
      sep.assign(slot(b, full, cap - 1) + 4, slot(b, full, cap - 1) + 4 + key_len);
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
  if (l > 0) std::memcpy(lv.last_key.data(), key, key_len);
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
  Level& leaf = b.levels[0];
  std::vector<unsigned char> key = leaf.last_key;
  if (leaf.count > 0) {
    const unsigned char* last = slot(b, leaf, leaf.count - 1) + 4;
    key.assign(last, last + key.size());
  }
  for (size_t l = 1; l < b.levels.size(); l++) {
    if (b.levels[l].count == 0) continue;
    if (add_entry(b, l, key.data(), written) < 0) return -1;
    written = write_level(b, l);
    if (written < 0) return -1;
    key = b.levels[l].last_key;
  }
  return written;
}

// The order the sort may assume of a tag's compare routine: ascending
// character and numeric tags keep the orders it knows.
int order_of(const DbTag* t) {
  if (t->header.key_format & 0x08) return DB_SORT_ORDER_OTHER;
  if (t->header.key_type == 'C') return DB_SORT_ORDER_BYTES;
  if (t->header.key_type == 'N') return DB_SORT_ORDER_PACKED;
  return DB_SORT_ORDER_OTHER;
}

// Reads every record once and hands each tag its key. 0 or -1.
int gather_keys(DbIndexFile* x, const std::vector<DbTag*>& tags, std::vector<DbSort>& sorts, long count) {
  DB_ENGINE* c = x->context;
  DbDataFile* d = x->data;
  for (size_t i = 0; i < tags.size(); i++) {
    if (sort_init(&sorts[i], c, unsigned(tags[i]->header.key_len), 0) < 0) return -1;
    sort_set_compare(&sorts[i], tags[i]->compare, order_of(tags[i]));
    tags[i]->filter_flag = 0;
  }
  // The records come in large pieces: one read brings in many.
  constexpr unsigned kReadBytes = 1u << 20;
  unsigned width = d->record_width;
  long per_read = kReadBytes / width > 0 ? long(kReadBytes / width) : 1;
  std::vector<char> piece(size_t(per_read) * width);
  unsigned char key[DB_MDX_MAX_KEY + 1];
  for (long first = 1; first <= count; first += per_read) {
    long n_read = count - first + 1 < per_read ? count - first + 1 : per_read;
    long at = long(d->header.header_len) + (first - 1) * long(width);
    if (file_read_all(&d->file, at, piece.data(), unsigned(n_read) * width) < 0) return -1;
    for (long j = 0; j < n_read; j++) {
      std::memcpy(d->record, piece.data() + size_t(j) * width, width);
      d->rec_num = first + j;
      for (size_t i = 0; i < tags.size(); i++) {
        DbTag* t = tags[i];
        if (t->filter) {
          int pass = expr_true_in(t->filter);
          if (pass < 0) return -1;
          if (!pass) continue;
          t->filter_flag = 1;
        }
        if (mdx_record_key(t, key) < 0 || sort_put(&sorts[i], uint32_t(d->rec_num), key, nullptr) < 0)
          return -1;
      }
    }
  }
  return 0;
}

// Writes the tag's blocks from its keys in order, which `next` hands out
// (0 a key, 1 no more, -1 error), telling whether the key may equal the one
// before. 0, 20 (stopped on a duplicate) or -1.
template <class Next>
int emit_keys(DbIndexFile* x, DbTag* t, Next&& next_key, Sink out, long* next) {
  DB_ENGINE* c = x->context;
  Builder b{x, t, out, *next, {}};
  std::vector<unsigned char> prev(size_t(t->header.key_len));
  bool have_prev = false;
  bool unique = t->header.unique_flag != 0;
  for (;;) {
    uint32_t recno;
    const unsigned char* kb;
    bool may_repeat = true;
    int rc = next_key(&recno, &kb, &may_repeat);
    if (rc == 1) break;
    if (rc < 0) return -1;
    if (unique && have_prev && may_repeat && t->compare(prev.data(), kb, unsigned(t->header.key_len)) == 0) {
      if (t->unique_action == e_unique) return code_error_ex(c, e_unique, "Creating Tag", t->name, nullptr);
      if (t->unique_action == DB_UNIQUE) return DB_UNIQUE;
      continue;  // any other action keeps the first record of a key
    }
    if (unique) std::memcpy(prev.data(), kb, prev.size());
    have_prev = true;
    if (add_entry(b, 0, kb, long(recno)) < 0) return -1;
  }
  long root = finish(b);
  if (root < 0) return -1;
  t->header.root = root;
  *next = b.next;
  return 0;
}

// Takes the tag's keys back from its sort and writes its blocks.
int emit_tag(DbIndexFile* x, DbTag* t, DbSort* s, Sink out, long* next) {
  if (sort_get_init(s) < 0) return -1;
  return emit_keys(
      x, t,
      [s](uint32_t* recno, const unsigned char** key, bool*) {
        char* k;
        int rc = sort_get(s, recno, &k, nullptr);
        *key = reinterpret_cast<unsigned char*>(k);
        return rc;
      },
      out, next);
}

// One tag's keys gathered in memory: entries of key and record number
// (native order, as the sort lays them), in record order.
struct Gathered {
  DbTag* t;
  unsigned key_len;
  unsigned entry_len;
  char* entries;
  long n;
  // A key that is one field of the record as it stands (no filter): its
  // place there, and whether it is a number to pack.
  int from_field;
  int packed;
  unsigned at;
  unsigned len;
};

// How the tag's key is made: straight from its field where mdx_record_key
// would take it so, else by mdx_record_key over the record buffer.
void plan_key(DbDataFile* d, Gathered& g) {
  DbTag* t = g.t;
  const DbExpr* e = t->expr;
  g.from_field = g.packed = 0;
  if (t->filter || e->ops.size() != 1 || e->trim) return;
  const DbExprOp& op = e->ops[0];
  if (op.file != d || op.position < 0 || unsigned(op.position) + unsigned(op.length) > d->record_width) return;
  int len = t->header.key_len;
  if (op.row == kRowFieldC && e->result_type == 'C' && op.length == len) g.from_field = 1;
  if (op.row == kRowFieldN && e->result_type == 'N' && len == DB_PACKED_LEN) g.from_field = g.packed = 1;
  g.at = unsigned(op.position);
  g.len = unsigned(op.length);
}

// Reads every record once and lays each tag's key into its entries. 0 or -1.
int gather_into(DbIndexFile* x, std::vector<Gathered>& gs, long count) {
  DB_ENGINE* c = x->context;
  DbDataFile* d = x->data;
  if (c->error_code < 0) return -1;
  bool need_record = false;
  for (Gathered& g : gs) {
    plan_key(d, g);
    if (!g.from_field) need_record = true;
    g.t->filter_flag = 0;
  }
  constexpr unsigned kReadBytes = 1u << 20;
  unsigned width = d->record_width;
  long per_read = kReadBytes / width > 0 ? long(kReadBytes / width) : 1;
  // Uncleared: every byte used is read into it first.
  std::unique_ptr<char[]> piece(new (std::nothrow) char[size_t(per_read) * width]);
  if (!piece) return code_error(c, e_memory, "Reindexing");
  unsigned char key[DB_MDX_MAX_KEY + 1];
  for (long first = 1; first <= count; first += per_read) {
    long n_read = count - first + 1 < per_read ? count - first + 1 : per_read;
    long pos = long(d->header.header_len) + (first - 1) * long(width);
    if (file_read_all(&d->file, pos, piece.get(), unsigned(n_read) * width) < 0) return -1;
    for (Gathered& g : gs) {
      if (!g.from_field) continue;
      // A tag at a time: its entries are written in one sweep.
      const char* rec = piece.get() + g.at;
      char* e = g.entries + size_t(g.n) * g.entry_len;
      for (long j = 0; j < n_read; j++, rec += width, e += g.entry_len) {
        if (g.packed) packed_from_str(reinterpret_cast<unsigned char*>(e), rec, int(g.len));
        else std::memcpy(e, rec, g.key_len);
        uint32_t recno = uint32_t(first + j);
        std::memcpy(e + g.key_len, &recno, 4);
      }
      g.n += n_read;
    }
    if (!need_record) continue;
    for (long j = 0; j < n_read; j++) {
      std::memcpy(d->record, piece.get() + size_t(j) * width, width);
      d->rec_num = first + j;
      for (Gathered& g : gs) {
        if (g.from_field) continue;
        DbTag* t = g.t;
        if (t->filter) {
          int pass = expr_true_in(t->filter);
          if (pass < 0) return -1;
          if (!pass) continue;
          t->filter_flag = 1;
        }
        if (mdx_record_key(t, key) < 0) return -1;
        char* e = g.entries + size_t(g.n++) * g.entry_len;
        std::memcpy(e, key, g.key_len);
        uint32_t recno = uint32_t(d->rec_num);
        std::memcpy(e + g.key_len, &recno, 4);
      }
    }
  }
  return c->error_code < 0 ? -1 : 0;
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

// Header, tag table and tag header blocks, into the first `front_len` bytes.
void write_front(DbIndexFile* x, unsigned char* out, size_t front_len, long next) {
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
  std::memcpy(out, front.data(), front.size());
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
    assert(size_t(t->header_pos) + block.size() <= front_len);
    std::memcpy(out + t->header_pos, block.data(), block.size());
  }
  (void)front_len;
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

// Key length, key type, block layout and key routines of every tag, from
// its expression. 0 or -1.
int settle_all(DbIndexFile* x, std::vector<DbTag*>& tags) {
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t))) {
    if (settle_layout(x, t) < 0) return -1;
    tags.push_back(t);
  }
  return 0;
}

// Block number of the first data block: after the header and the tags' header blocks.
long first_data_block(DbIndexFile* x, size_t ntags) { return 4 + long(ntags) * x->blocks_per_page; }

// Bytes the new file takes for `count` records when no filter leaves any
// out: every tag's leaves filled whole and the branches above them.
long file_bytes_for(DbIndexFile* x, const std::vector<DbTag*>& tags, long count) {
  long blocks = 0;
  for (DbTag* t : tags) {
    long per = t->header.keys_max;
    long level = count / per + 1;
    blocks += level;
    while (level > 1) {
      level = level / per + 1;
      blocks += level;
    }
  }
  return (first_data_block(x, tags.size()) + blocks * x->blocks_per_page) * 512;
}

// Builds the whole new file: into `image` when given, else into `work`.
int rebuild_into(DbIndexFile* x, const std::vector<DbTag*>& tags, long count,
                 std::vector<unsigned char>* image, DbFile* work) {
  long next = first_data_block(x, tags.size());
  size_t front_len = size_t(next) * 512;
  std::vector<char> write_buf(image ? 0 : 1u << 16);
  DbSeqWrite w;
  if (image) image->assign(front_len, 0);
  else seq_write_init(&w, work, next * 512, write_buf.data(), unsigned(write_buf.size()));
  Sink out{image, &w};
  std::vector<DbSort> sorts(tags.size());
  struct FreeSorts {
    std::vector<DbSort>& sorts;
    ~FreeSorts() {
      for (DbSort& s : sorts) sort_free(&s);
    }
  } free_sorts{sorts};
  if (gather_keys(x, tags, sorts, count) < 0) return -1;
  for (size_t i = 0; i < tags.size(); i++) {
    int rc = emit_tag(x, tags[i], &sorts[i], out, &next);
    if (rc != 0) return rc;
  }
  if (image) {
    write_front(x, image->data(), front_len, next);
    return 0;
  }
  if (seq_write_flush_in(&w) < 0) return -1;
  std::vector<unsigned char> front(front_len, 0);
  write_front(x, front.data(), front_len, next);
  if (file_write(work, 0, front.data(), unsigned(front_len)) < 0) return -1;
  return file_len_set(work, next * 512);
}

// Work memory of a build from gathered keys: every tag's entries, and the
// prefixes the tags are ordered by in turn (with their scratch).
size_t gathered_bytes(const std::vector<DbTag*>& tags, long count) {
  size_t bytes = 2 * sizeof(DbSortKeyed) * size_t(count);
  for (DbTag* t : tags) bytes += (size_t(t->header.key_len) + 4) * size_t(count);
  return bytes;
}

// Builds the whole new file into `image` from the records' keys gathered
// into `work` (gathered_bytes of it).
int rebuild_gathered(DbIndexFile* x, const std::vector<DbTag*>& tags, long count,
                     std::vector<unsigned char>* image, char* work) {
  long next = first_data_block(x, tags.size());
  size_t front_len = size_t(next) * 512;
  image->assign(front_len, 0);
  auto* keyed = reinterpret_cast<DbSortKeyed*>(work);
  DbSortKeyed* scratch = keyed + count;
  char* entries = reinterpret_cast<char*>(scratch + count);
  std::vector<Gathered> gs;
  for (DbTag* t : tags) {
    unsigned key_len = unsigned(t->header.key_len);
    gs.push_back(Gathered{t, key_len, key_len + 4, entries, 0, 0, 0, 0, 0});
    entries += size_t(key_len + 4) * size_t(count);
  }
  if (gather_into(x, gs, count) < 0) return -1;
  Sink out{image, nullptr};
  for (Gathered& g : gs) {
    for (long i = 0; i < g.n; i++) keyed[i].entry = g.entries + size_t(i) * g.entry_len;
    bool by_prefix = sort_keyed_in_order(keyed, g.n, scratch, g.key_len, g.t->compare, order_of(g.t), 1);
    long at = 0;
    int rc = emit_keys(
        x, g.t,
        [&](uint32_t* recno, const unsigned char** key, bool* may_repeat) {
          if (at == g.n) return 1;
          // The entries lie in record order: those to come are fetched early.
          if (at + 16 < g.n) __builtin_prefetch(keyed[at + 16].entry);
          // Keys of different prefixes differ.
          *may_repeat = !by_prefix || (at > 0 && keyed[at - 1].prefix == keyed[at].prefix);
          const char* e = keyed[at++].entry;
          std::memcpy(recno, e + g.key_len, 4);
          *key = reinterpret_cast<const unsigned char*>(e);
          return 0;
        },
        out, &next);
    if (rc != 0) return rc;
  }
  write_front(x, image->data(), front_len, next);
  return 0;
}

// A new file that needs no more memory than its tags' sorts may take (and
// at most kImageBytes) is built in memory and written over the index in one
// piece; a larger one goes through a work file.
constexpr long kImageBytes = long(256) << 20;

long image_limit(DbIndexFile* x, size_t ntags) {
  long limit = long(x->context->sort_memory) * long(ntags);
  return limit < kImageBytes ? limit : kImageBytes;
}

// Builds the new file in a work file beside the index and copies it over.
int rebuild_through_work_file(DbIndexFile* x, const std::vector<DbTag*>& tags, long count) {
  DB_ENGINE* c = x->context;
  char work_name[1100];
  std::strcpy(work_name, x->file.name);
  DbFile work;
  int rc;
  {
    DbSettingFor safety(c->safety, 0), exclusive(c->exclusive, 1);
    rc = file_name_ext(work_name, sizeof work_name, "MD~", 1) == 0
             ? file_create_in(&work, c, work_name, 1)
             : code_error_ex(c, e_create, "File Name:", work_name, nullptr);
  }
  if (rc != 0) return -1;
  work.remove_on_close = 1;
  rc = rebuild_into(x, tags, count, nullptr, &work);
  if (rc == 0) {
    // No reader without a lock meets the file half copied; while readers
    // stay, the old file stays.
    DbRebuilding rebuilding(x->data);
    rc = rebuilding.rc();
    if (rc == 0) {
      DbReplacing replacing(x->data);
      // The replacement closes and removes the work file.
      rc = replacing.log() ? file_replace(&x->file, &work, replacing.log()) : -1;
      if (rc == 0) rc = replacing.commit();
    }
  }
  if (work.handle != -1) {
    DbQuietError quiet(c);
    file_close_in(&work);
  }
  return rc;
}

int rebuild_in_memory(DbIndexFile* x, const std::vector<DbTag*>& tags, long count, long bytes) {
  std::vector<unsigned char> image;
  try {
    image.reserve(size_t(bytes));  // the most the new file can take: it never grows past
  } catch (const std::bad_alloc&) {
    return rebuild_through_work_file(x, tags, count);  // memory is short: the disk holds it
  }
  // The keys are gathered in memory where it can be had within what the
  // sorts may take; else the sorts gather them.
  size_t work_bytes = gathered_bytes(tags, count);
  char* work = nullptr;
  if (work_bytes <= size_t(image_limit(x, tags.size()))) work = static_cast<char*>(std::malloc(work_bytes));
  struct FreeWork {
    char* p;
    ~FreeWork() { std::free(p); }
  } free_work{work};
  // The old index is copied aside first: the copy goes to the disk while
  // the new one is made.
  DbReplaceStep* step = file_replace_begin(&x->file);
  if (!step) return -1;
  int rc = work ? rebuild_gathered(x, tags, count, &image, work) : rebuild_into(x, tags, count, &image, nullptr);
  if (rc == 0) {
    // No reader without a lock meets the file half written; while readers
    // stay, the old file stays.
    DbRebuilding rebuilding(x->data);
    rc = rebuilding.rc();
    if (rc == 0) {
      DbReplacing replacing(x->data);
      DbReplaceLog* log = replacing.log();
      rc = log ? file_replace_finish(step, image.data(), long(image.size()), log) : -1;
      if (rc == 0) return replacing.commit();
      if (replacing.log()) return -1;  // the step ended
    }
  }
  file_replace_drop(step);  // the pending failure stays the one reported
  return rc;
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

  std::vector<DbTag*> tags;
  long count = -1;
  rc = settle_all(x, tags);
  if (rc == 0) {
    count = data_count_held(d);  // no keys for records the file does not hold
    if (count < 0) rc = -1;
  }
  if (rc == 0) {
    // The new file carries the tags' versions moved on, so that a station
    // reading it sees at once that its cached blocks are gone (the unlock
    // moves them on once more).
    for (DbTag* t : tags) t->header.version++;
    long bytes = file_bytes_for(x, tags, count);
    rc = bytes <= image_limit(x, tags.size()) ? rebuild_in_memory(x, tags, count, bytes)
                              : rebuild_through_work_file(x, tags, count);
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
