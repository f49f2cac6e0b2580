// The sort engine: memory units, spilled runs and the merge. Entries are laid
// out as key, sequence number (4 bytes, native order) and info.
#include "engine/sort.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/convert.h"
#include "engine/engine.h"

namespace {

// Entries the pointer array has room for at first, and the size of a unit
// of entry memory.
constexpr long kFirstPointers = 4096;
constexpr unsigned kUnitBytes = 1u << 20;

uint32_t seq_of(const DbSort* s, const char* e) {
  uint32_t v;
  std::memcpy(&v, e + s->sort_len, 4);
  return v;
}

// Key order, ties broken by sequence number: a stable order by key.
int entry_compare(const DbSort* s, const char* a, const char* b) {
  int r = s->compare(a, b, s->sort_len);
  if (r != 0) return r;
  uint32_t x = seq_of(s, a), y = seq_of(s, b);
  return x < y ? -1 : x > y ? 1 : 0;
}

int out_of_memory(DbSort* s) {
  DB_ENGINE* c = s->context;
  sort_free(s);
  return code_error(c, e_memory, "Sorting");
}

bool remember_unit(DbSort* s, char* unit) {
  if (s->unit_count == s->unit_list_cap) {
    int cap = s->unit_list_cap ? s->unit_list_cap * 2 : 8;
    auto* list = static_cast<char**>(mem_alloc(sizeof(char*) * size_t(cap)));
    if (!list) return false;
    if (s->unit_list) std::memcpy(list, s->unit_list, sizeof(char*) * size_t(s->unit_count));
    mem_free(s->unit_list);
    s->unit_list = list;
    s->unit_list_cap = cap;
  }
  s->unit_list[s->unit_count++] = unit;
  return true;
}

// A unit from the pool, or null when memory is exhausted (no error left pending).
char* take_unit(DbSort* s) {
  DB_ENGINE* c = s->context;
  auto* unit = static_cast<char*>(mem_pool_take_uncleared(s->units, c));
  if (!unit) {
    if (c->error_code == e_memory) c->error_code = 0;
    return nullptr;
  }
  if (!remember_unit(s, unit)) {
    mem_pool_give(s->units, unit);
    return nullptr;
  }
  return unit;
}

// Doubles the pointer array, up to its limit; false at the limit or when
// the memory cannot be had.
bool widen(DbSort* s) {
  if (s->pointer_capacity >= s->pointer_limit) return false;
  long cap = std::min(s->pointer_limit, s->pointer_capacity * 2);
  auto* p = static_cast<char**>(mem_alloc(sizeof(char*) * size_t(cap)));
  if (!p) return false;
  std::memcpy(p, s->pointers, sizeof(char*) * size_t(s->slots));
  mem_free(s->pointers);
  s->pointers = p;
  s->pointer_capacity = cap;
  return true;
}

// Makes room for more entries; false when the pointer array is full.
bool grow(DbSort* s) {
  if (!s->may_grow || (s->slots >= s->pointer_capacity && !widen(s))) return false;
  if (!s->unit_cur || s->unit_taken >= s->per_unit) {
    s->unit_cur = take_unit(s);
    s->unit_taken = 0;
  }
  if (s->unit_cur) {
    // Entries as many as there are already (a small sort touches little of
    // its memory), up to the rest of the unit.
    long want = s->slots > 1024 ? s->slots : 1024;
    for (long i = 0; i < want && s->unit_taken < s->per_unit && s->slots < s->pointer_capacity; i++)
      s->pointers[s->slots++] = s->unit_cur + 8 + s->unit_taken++ * long(s->entry_len);
    return true;
  }
  // No unit to be had: the unused tail of the pointer array becomes entry space.
  s->may_grow = 0;
  long spare_bytes = (s->pointer_capacity - s->slots) * long(sizeof(char*)) - long(sizeof(char*));
  long extra = spare_bytes / long(s->entry_len + sizeof(char*));
  if (extra <= 0) return false;
  long new_cap = s->slots + extra;
  char* space = reinterpret_cast<char*>(s->pointers + new_cap);
  for (long i = 0; i < extra; i++) s->pointers[s->slots++] = space + i * long(s->entry_len);
  s->pointer_capacity = new_cap;
  return true;
}

using Keyed = DbSortKeyed;

// Eight key bytes from `at` on, big-endian: ordered as memcmp orders them.
uint64_t bytes_prefix(const char* key, unsigned at, unsigned len) {
  unsigned char b[8] = {};
  std::memcpy(b, key + at, len - at < 8 ? len - at : 8);
  uint64_t v = 0;
  for (unsigned char x : b) v = v << 8 | x;
  return v;
}

// A packed number as sign, exponent and its first twelve digits, ordered
// as packed_compare orders the keys.
uint64_t packed_prefix(const char* key) {
  auto* k = reinterpret_cast<const unsigned char*>(key);
  int digits = (k[1] >> 2) & 0x1F;
  uint64_t v = digits ? k[0] : 0;
  for (int i = 2; i < 8; i++) v = v << 8 | k[i];
  constexpr uint64_t kLow = (uint64_t(1) << 56) - 1;
  return (k[1] & 0x80) ? ~v & kLow : (uint64_t(1) << 56) | v;
}

// Stable sort by prefix, eleven bits at a time from the lowest, through
// `other` (room for n); digits that every prefix shares take no pass.
void radix_by_prefix(Keyed* keyed, long n, Keyed* other) {
  static_assert(sizeof(long) >= 8);
  constexpr int kBits = 11, kDigits = (64 + kBits - 1) / kBits;
  constexpr uint64_t kMask = (uint64_t(1) << kBits) - 1;
  constexpr size_t kBuckets = size_t(1) << kBits;
  std::vector<long> counts(kDigits * kBuckets, 0);
  for (long i = 0; i < n; i++) {
    uint64_t v = keyed[i].prefix;
    for (int d = 0; d < kDigits; d++, v >>= kBits) counts[d * kBuckets + (v & kMask)]++;
  }
  Keyed* from = keyed;
  Keyed* to = other;
  for (int d = 0; d < kDigits; d++) {
    long* count = &counts[d * kBuckets];
    int shift = d * kBits;
    if (count[(from[0].prefix >> shift) & kMask] == n) continue;
    long at = 0;
    for (size_t v = 0; v < kBuckets; v++) {
      long c = count[v];
      count[v] = at;
      at += c;
    }
    for (long i = 0; i < n; i++) to[count[(from[i].prefix >> shift) & kMask]++] = from[i];
    std::swap(from, to);
  }
  if (from != keyed) std::memcpy(keyed, from, sizeof(Keyed) * size_t(n));
}

// What ordering entries needs to know of their sort.
struct EntryOrder {
  unsigned sort_len;
  DbSortCompare compare;
};

int entry_order_compare(const EntryOrder& o, const char* a, const char* b) {
  int r = o.compare(a, b, o.sort_len);
  if (r != 0) return r;
  uint32_t x, y;
  std::memcpy(&x, a + o.sort_len, 4);
  std::memcpy(&y, b + o.sort_len, 4);
  return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace

bool sort_keyed_in_order(DbSortKeyed* keyed, long n, DbSortKeyed* scratch, unsigned sort_len,
                         DbSortCompare compare, int order, int seq_rising) {
  if (n < 1) return false;
  EntryOrder o{sort_len, compare};
  auto by_entry = [&o](const Keyed& a, const Keyed& b) { return entry_order_compare(o, a.entry, b.entry) < 0; };
  if (order == DB_SORT_ORDER_PACKED && sort_len < DB_PACKED_LEN) order = DB_SORT_ORDER_OTHER;
  if (order == DB_SORT_ORDER_OTHER) {
    std::sort(keyed, keyed + n, by_entry);
    return false;
  }
  bool exact;
  if (order == DB_SORT_ORDER_BYTES) {
    // Bytes every key shares tell nothing: the prefix starts after them.
    unsigned at = sort_len;
    const char* first = keyed[0].entry;
    for (long i = 1; i < n && at > 0; i++) {
      const char* e = keyed[i].entry;
      if (std::memcmp(e, first, at) == 0) continue;
      unsigned k = 0;
      while (e[k] == first[k]) k++;
      at = k;
    }
    for (long i = 0; i < n; i++) keyed[i].prefix = bytes_prefix(keyed[i].entry, at, sort_len);
    exact = sort_len - at <= 8;
  } else {
    unsigned char rest = 0;  // digits past the prefix
    for (long i = 0; i < n; i++) {
      const char* e = keyed[i].entry;
      keyed[i].prefix = packed_prefix(e);
      for (int k = 8; k < DB_PACKED_LEN; k++) rest |= static_cast<unsigned char>(e[k]);
    }
    exact = rest == 0;
  }
  // Keys that came in key order (a tag over rising numbers) need no sort.
  bool in_order = seq_rising;
  for (long i = 1; i < n && in_order; i++) in_order = keyed[i - 1].prefix <= keyed[i].prefix;
  if (seq_rising && !in_order && scratch) radix_by_prefix(keyed, n, scratch);
  if (seq_rising && (in_order || scratch)) {
    // Entries came in sequence order and stay so among equal prefixes;
    // prefixes that do not hold their keys whole are settled by the keys.
    if (!exact)
      for (long i = 0, j; i < n; i = j) {
        for (j = i + 1; j < n && keyed[j].prefix == keyed[i].prefix;) j++;
        if (j - i > 1) std::sort(keyed + i, keyed + j, by_entry);
      }
    return true;
  }
  // Equal prefixes of keys the prefix holds whole: equal keys, in sequence order.
  std::sort(keyed, keyed + n, [&o, exact, &by_entry](const Keyed& a, const Keyed& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    if (!exact) return by_entry(a, b);
    uint32_t x, y;
    std::memcpy(&x, a.entry + o.sort_len, 4);
    std::memcpy(&y, b.entry + o.sort_len, 4);
    return x < y;
  });
  return true;
}

namespace {

// Sorts by prefixes; false when there is no promise about the compare
// routine's order or no memory for the prefixes.
bool sort_by_prefix(DbSort* s) {
  int order = s->compare == s->order_compare ? s->key_order : DB_SORT_ORDER_OTHER;
  if (order == DB_SORT_ORDER_OTHER || s->count < 2) return false;
  if (order == DB_SORT_ORDER_PACKED && s->sort_len < DB_PACKED_LEN) return false;
  long n = s->count;
  auto* keyed = static_cast<Keyed*>(std::malloc(sizeof(Keyed) * size_t(n)));
  if (!keyed) return false;
  auto* other = s->seq_rising ? static_cast<Keyed*>(std::malloc(sizeof(Keyed) * size_t(n))) : nullptr;
  char** p = s->pointers;
  for (long i = 0; i < n; i++) keyed[i] = {0, p[i]};
  sort_keyed_in_order(keyed, n, other, s->sort_len, s->compare, order, s->seq_rising);
  for (long i = 0; i < n; i++) p[i] = keyed[i].entry;
  std::free(other);
  std::free(keyed);
  return true;
}

void sort_memory(DbSort* s) {
  if (sort_by_prefix(s)) return;
  std::sort(s->pointers, s->pointers + s->count,
            [s](const char* a, const char* b) { return entry_compare(s, a, b) < 0; });
}

int note_run_start(DbSort* s, long pos) {
  if (s->runs_written + 1 >= s->run_starts_cap) {
    int cap = s->run_starts_cap ? s->run_starts_cap * 2 : 16;
    auto* list = static_cast<long*>(mem_alloc(sizeof(long) * size_t(cap)));
    if (!list) return out_of_memory(s);
    if (s->run_starts) std::memcpy(list, s->run_starts, sizeof(long) * size_t(s->runs_written + 1));
    mem_free(s->run_starts);
    s->run_starts = list;
    s->run_starts_cap = cap;
  }
  s->run_starts[s->runs_written] = pos;
  return 0;
}

int spill(DbSort* s) {
  DB_ENGINE* c = s->context;
  sort_memory(s);
  if (!s->has_file) {
    if (file_temp(&s->file, c, nullptr, 1) < 0) return -1;
    s->has_file = 1;
    seq_write_init(&s->writer, &s->file, 0, s->writer_buf, unsigned(c->sort_buffer));
  }
  if (note_run_start(s, s->writer.pos + long(s->writer.working - s->writer.avail)) < 0) return -1;
  for (long i = 0; i < s->count; i++)
    if (seq_write_in(&s->writer, s->pointers[i], s->entry_len) < 0) return -1;
  s->runs_written++;
  s->run_starts[s->runs_written] = s->writer.pos + long(s->writer.working - s->writer.avail);
  s->count = 0;
  return 0;
}

// Loads the next chunk of a run; false when the run has nothing left.
int load_chunk(DbSort* s, DbSortRun* r) {
  if (r->next < 0 || r->next >= r->end) {
    r->next = -1;
    return 0;
  }
  long want = std::min<long>(long(s->run_buffer_size), r->end - r->next);
  unsigned got = file_read(&s->file, r->next, r->buffer, unsigned(want));
  if (s->context->error_code < 0) return -1;
  if (got == 0 || got % s->entry_len != 0)
    return code_error_ex(s->context, e_read, "File Name:", s->file.name, nullptr);
  r->next += got;
  r->pos = 0;
  r->len = got;
  return 1;
}

// Puts runs[i] at its place among runs[i+1..] (all others ordered).
void place_run(DbSort* s, int i) {
  DbSortRun moving = s->runs[i];
  const char* cur = moving.buffer + moving.pos;
  int lo = i + 1, hi = s->live_runs;
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    const DbSortRun& m = s->runs[mid];
    if (entry_compare(s, m.buffer + m.pos, cur) < 0) lo = mid + 1;
    else hi = mid;
  }
  std::memmove(&s->runs[i], &s->runs[i + 1], sizeof(DbSortRun) * size_t(lo - 1 - i));
  s->runs[lo - 1] = moving;
}

int start_merge(DbSort* s) {
  DB_ENGINE* c = s->context;
  if (s->count > 0 && spill(s) < 0) return -1;
  if (seq_write_flush_in(&s->writer) < 0) return -1;
  mem_free(s->pointers);
  s->pointers = nullptr;
  mem_free(s->writer_buf);
  s->writer_buf = nullptr;
  int n = s->runs_written;
  s->runs = static_cast<DbSortRun*>(mem_alloc(sizeof(DbSortRun) * size_t(n)));
  if (!s->runs) return out_of_memory(s);
  // Share the memory units among the runs; take more when a run would get none.
  if (s->unit_count == 0 && !take_unit(s)) return out_of_memory(s);
  for (;;) {
    int per_unit_runs = (n + s->unit_count - 1) / s->unit_count;
    s->per_run_buffer = s->per_unit / per_unit_runs;
    if (s->per_run_buffer > 0) break;
    if (!take_unit(s)) return out_of_memory(s);
  }
  s->run_buffer_size = unsigned(s->per_run_buffer) * s->entry_len;
  int per_unit_runs = (n + s->unit_count - 1) / s->unit_count;
  s->live_runs = 0;
  for (int i = 0; i < n; i++) {
    DbSortRun r{};
    r.buffer = s->unit_list[i / per_unit_runs] + 8 + size_t(i % per_unit_runs) * s->run_buffer_size;
    r.next = s->run_starts[i];
    r.end = s->run_starts[i + 1];
    r.number = i;
    int got = load_chunk(s, &r);
    if (got < 0) return -1;
    if (got == 0) continue;
    s->runs[s->live_runs++] = r;
  }
  std::sort(s->runs, s->runs + s->live_runs, [s](const DbSortRun& a, const DbSortRun& b) {
    return entry_compare(s, a.buffer + a.pos, b.buffer + b.pos) < 0;
  });
  (void)c;
  return 0;
}

}  // namespace

int sort_compare_bytes(const void* a, const void* b, unsigned len) { return std::memcmp(a, b, len); }

void sort_set_compare(DbSort* s, DbSortCompare compare, int key_order) {
  s->compare = compare;
  s->order_compare = compare;
  s->key_order = key_order;
}

int sort_init(DbSort* s, DB_ENGINE* c, unsigned sort_len, unsigned info_len) {
  std::memset(static_cast<void*>(s), 0, sizeof *s);
  s->file.handle = -1;
  s->context = c;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  s->sort_len = sort_len;
  s->info_len = info_len;
  s->info_offset = sort_len + 4;
  s->entry_len = sort_len + 4 + info_len;
  sort_set_compare(s, sort_compare_bytes, DB_SORT_ORDER_BYTES);
  s->may_grow = 1;
  s->seq_rising = 1;
  unsigned memory = unsigned(c->sort_memory);
  // Entries and merge buffers come in units taken as they are needed; the
  // pointer array's limit bounds the whole.
  unsigned unit = std::min(memory, kUnitBytes);
  s->per_unit = long(unit > 8 ? (unit - 8) / s->entry_len : 0);
  // The pointer array starts small and doubles as entries come: a sort of
  // a few keys neither takes nor maps the room a large one may need.
  s->pointer_limit = long(memory / 4);
  s->pointer_capacity = std::min(s->pointer_limit, kFirstPointers);
  s->writer_buf = static_cast<char*>(mem_alloc(size_t(c->sort_buffer)));
  if (!s->writer_buf) return out_of_memory(s);
  while (!(s->pointers = static_cast<char**>(mem_alloc(sizeof(char*) * size_t(s->pointer_capacity))))) {
    s->pointer_limit = s->pointer_capacity /= 2;
    if (s->pointer_capacity < 256) return out_of_memory(s);
  }
  if (s->pointer_capacity < 256 || s->per_unit < 1) return out_of_memory(s);
  s->units = mem_pool_create(c, 1, unit, 1, 1);
  if (!s->units) return out_of_memory(s);
  return 0;
}

int sort_put(DbSort* s, uint32_t seq, const void* key, const void* info) {
  DB_ENGINE* c = s->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  if (s->count == s->slots) grow(s);
  if (s->count == s->slots && spill(s) < 0) return -1;
  char* e = s->pointers[s->count++];
  if (seq < s->last_seq) s->seq_rising = 0;
  s->last_seq = seq;
  std::memcpy(e, key, s->sort_len);
  std::memcpy(e + s->sort_len, &seq, 4);
  if (s->info_len) std::memcpy(e + s->info_offset, info, s->info_len);
  return 0;
}

int sort_get_init(DbSort* s) {
  DbAssertLocked(s->context);
  if (s->context->error_code < 0) return -1;
  s->reading = 1;
  if (s->runs_written == 0) {
    sort_memory(s);
    s->next_read = 0;
    return 0;
  }
  return start_merge(s);
}

int sort_get(DbSort* s, uint32_t* seq, char** key, char** info) {
  DB_ENGINE* c = s->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  char* e = nullptr;
  if (s->runs_written == 0) {
    if (s->next_read >= s->count) {
      sort_free(s);
      return 1;
    }
    e = s->pointers[s->next_read++];
  } else {
    if (s->live_runs == 0) {
      sort_free(s);
      return 1;
    }
    // The entry is copied out so the run can move on before the caller reads it.
    DbSortRun* r = &s->runs[0];
    if (!s->writer_buf) {
      s->writer_buf = static_cast<char*>(mem_alloc(s->entry_len));
      if (!s->writer_buf) return out_of_memory(s);
    }
    e = s->writer_buf;
    std::memcpy(e, r->buffer + r->pos, s->entry_len);
    r->pos += s->entry_len;
    if (r->pos >= r->len) {
      int got = load_chunk(s, r);
      if (got < 0) return -1;
      if (got == 0) {
        std::memmove(&s->runs[0], &s->runs[1], sizeof(DbSortRun) * size_t(s->live_runs - 1));
        s->live_runs--;
      } else {
        place_run(s, 0);
      }
    } else {
      place_run(s, 0);
    }
  }
  if (seq) *seq = seq_of(s, e);
  if (key) *key = e;
  if (info) *info = e + s->info_offset;
  return 0;
}

void sort_free(DbSort* s) {
  DB_ENGINE* c = s->context;
  if (!c) return;
  DbAssertLocked(c);
  if (s->has_file) file_close_in(&s->file);
  mem_free(s->writer_buf);
  mem_free(s->pointers);
  mem_free(s->runs);
  mem_free(s->run_starts);
  mem_free(s->unit_list);
  if (s->units) mem_pool_release(s->units);
  std::memset(static_cast<void*>(s), 0, sizeof *s);
  s->file.handle = -1;
}
