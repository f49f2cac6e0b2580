// Block buffers of an index file and the entries inside a block: a count,
// then fixed-size groups of a 4-byte pointer and a key. Block numbers count
// 512-byte units; freed blocks form a list linked through their offset 4.
// The file's cache of block images (valid for one generation, forgotten
// when another station's change is seen), reading and writing a block
// through it, inserting and removing an entry, and the binary search of a
// block's keys, for packed numbers over order prefixes made once a block
// is sought a second time.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "engine/bytes.h"
#include "engine/block.h"

namespace {

unsigned char* entry(const DbBlock* b, int i) { return block_entry(b, i); }

void set_keys(DbBlock* b, int n) { le_put32(b->image, uint32_t(n)); }

}  // namespace

int block_last_position(const DbBlock* b) {
  int n = block_keys(b);
  return block_is_leaf(b) ? n - 1 : n;
}

DbBlock* block_alloc(DbTag* t, long number) {
  DbIndexFile* x = t->index;
  DB_ENGINE* c = t->context;
  DbAssertLocked(c);
  auto* b = static_cast<DbBlock*>(mem_pool_take(x->block_pool, c));
  if (!b) {
    code_error(c, e_memory, "b_alloc()");
    return nullptr;
  }
  b->tag = t;
  b->number = number;
  b->checked = 1;  // a new block is filled by us
  // The order prefixes and the pointers' copy come first: with the record
  // they are all a seek reads of a block that has them.
  b->image = reinterpret_cast<unsigned char*>(b + 1) + block_order_room(x->block_size);
  return b;
}

namespace {

// At most this many images; a small index gets as many slots as it has
// pages, more as it grows, so opening one for a few lookups stays cheap.
constexpr long kCacheSlots = 4096;
constexpr long kFirstSlots = 16;

struct CacheSlot {
  long number;
  unsigned generation;  // 0: empty
  int checked;          // the image passed the block checks (or we wrote it)
};

// The slots' headers come first, then their images: only the headers are
// cleared, so a table opened for a few lookups does not pay for zeroing
// images it never reads.
size_t headers_size(long slots) { return size_t(slots) * sizeof(CacheSlot); }

CacheSlot* slots_of(unsigned char* cache) { return reinterpret_cast<CacheSlot*>(cache); }

long page_of(const DbIndexFile* x, long number) {
  long page = number / (x->blocks_per_page > 0 ? x->blocks_per_page : 1);
  return page < 0 ? -page : page;
}

// The slots for `pages` pages: a power of two, within the bounds.
long slots_for(long pages) {
  long n = kFirstSlots;
  while (n < pages && n < kCacheSlots) n *= 2;
  return n;
}

unsigned char* new_cache(const DbIndexFile* x, long slots) {
  auto* cache = static_cast<unsigned char*>(std::malloc(headers_size(slots) + size_t(slots) * size_t(x->block_size)));
  if (cache) std::memset(cache, 0, headers_size(slots));
  return cache;
}

unsigned char* image_at(const DbIndexFile* x, unsigned char* cache, long slots, long i) {
  return cache + headers_size(slots) + size_t(i) * size_t(x->block_size);
}

// The slot that holds (or would hold) the block's image; null while there is no cache.
CacheSlot* cache_find(DbIndexFile* x, long number) {
  if (!x->block_cache) return nullptr;
  return slots_of(x->block_cache) + page_of(x, number) % x->cache_slots;
}

// Moves the current images into a cache of `slots` slots. Slots double, so
// images in distinct slots stay in distinct slots; stale ones are left out.
void grow_cache(DbIndexFile* x, long slots) {
  unsigned char* grown = new_cache(x, slots);
  if (!grown) return;  // keep the smaller cache
  CacheSlot* from = slots_of(x->block_cache);
  for (long i = 0; i < x->cache_slots; i++) {
    if (from[i].generation == 0 || from[i].generation != x->cache_generation) continue;
    long j = page_of(x, from[i].number) % slots;
    slots_of(grown)[j] = from[i];
    std::memcpy(image_at(x, grown, slots, j), image_at(x, x->block_cache, x->cache_slots, i), size_t(x->block_size));
  }
  std::free(x->block_cache);
  x->block_cache = grown;
  x->cache_slots = slots;
}

// The slot to store the block's image in: the cache is made on first use,
// sized to the index's pages, and grows when the index outgrows it.
CacheSlot* cache_slot(DbIndexFile* x, long number) {
  long page = page_of(x, number);
  if (!x->block_cache) {
    long pages = long(le_get32(x->header + 32)) / (x->blocks_per_page > 0 ? x->blocks_per_page : 1) + 1;
    long slots = slots_for(page + 1 > pages ? page + 1 : pages);
    x->block_cache = new_cache(x, slots);
    if (!x->block_cache) return nullptr;  // no cache: every block comes from the file
    x->cache_slots = slots;
    if (x->cache_generation == 0) x->cache_generation = 1;
  } else if (page >= x->cache_slots && x->cache_slots < kCacheSlots) {
    grow_cache(x, slots_for(page + 1));
  }
  return cache_find(x, number);
}

unsigned char* slot_image(DbIndexFile* x, const CacheSlot* s) {
  return image_at(x, x->block_cache, x->cache_slots, s - slots_of(x->block_cache));
}

void cache_store(DbIndexFile* x, long number, const unsigned char* image, int checked) {
  CacheSlot* s = cache_slot(x, number);
  if (!s) return;
  s->number = number;
  s->generation = x->cache_generation;
  s->checked = checked;
  std::memcpy(slot_image(x, s), image, size_t(x->block_size));
}

}  // namespace

void block_free(DbBlock* b) {
  if (!b) return;
  DbIndexFile* x = b->tag->index;
  block_flush(b);
  // A written (or unchanged) block's image stays in the cache for a later read.
  if (!b->changed && b->number >= 0) cache_store(x, b->number, b->image, b->checked);
  b->number = -1;
  mem_pool_give(x->block_pool, b);
}

void index_cache_forget(DbIndexFile* x) {
  DbAssertLocked(x->context);
  if (++x->cache_generation == 0) {
    // Wrapped: old slots could pass for new ones.
    if (x->block_cache) std::memset(x->block_cache, 0, headers_size(x->cache_slots));
    x->cache_generation = 1;
  }
}

int block_flush(DbBlock* b) {
  if (!b->changed || b->number < 0) return 0;
  DbIndexFile* x = b->tag->index;
  DbAssertLocked(x->context);
  if (file_write(&x->file, b->number * 512, b->image, unsigned(x->block_size)) < 0) return -1;
  // The buffer holds the block now; an older image of it goes. The buffer's
  // image is kept when the buffer is taken for another block.
  if (CacheSlot* s = cache_find(x, b->number); s && s->number == b->number) s->generation = 0;
  b->changed = 0;
  return 0;
}

int block_read(DbBlock* b, long number) {
  DbIndexFile* x = b->tag->index;
  DbAssertLocked(x->context);
  if (block_flush(b) < 0) return -1;
  // Our own changes keep a checked block sound; a block read in is checked first.
  if (b->number >= 0 && b->number != number) cache_store(x, b->number, b->image, b->checked);
  b->number = -1;
  CacheSlot* s = cache_find(x, number);
  if (s && s->number == number && s->generation == x->cache_generation) {
    std::memcpy(b->image, slot_image(x, s), size_t(x->block_size));
    b->number = number;
    b->cur = 0;
    b->changed = 0;
    b->checked = s->checked;
    b->fits_parent = 0;
    b->order_ready = b->order_seeks = 0;
    return 0;
  }
  b->checked = 0;
  b->fits_parent = 0;
  b->order_ready = b->order_seeks = 0;
  unsigned got = file_read(&x->file, number * 512, b->image, unsigned(x->block_size));
  if (x->context->error_code < 0) return -1;
  if (got != unsigned(x->block_size)) return 1;
  cache_store(x, number, b->image, 0);
  b->number = number;
  b->cur = 0;
  b->changed = 0;
  return 0;
}

void block_mark_checked(DbBlock* b) {
  b->checked = 1;
  DbIndexFile* x = b->tag->index;
  DbAssertLocked(x->context);
  if (b->changed) return;
  CacheSlot* s = cache_find(x, b->number);
  if (s && s->number == b->number && s->generation == x->cache_generation) s->checked = 1;
}

void block_insert(DbBlock* b, const void* key, long pointer) {
  int n = block_keys(b);
  int group = b->tag->header.group_len;
  // The key fits its entry, the position is within the block's entries, and
  // the block has room for one more (its count, the entries and the pointer after them).
  assert(b->tag->header.key_len >= 1 && b->tag->header.key_len + 4 <= group);
  assert(b->cur >= 0 && b->cur <= n);
  assert(8 + size_t(n + 1) * size_t(group) + 4 <= size_t(b->tag->index->block_size));
  unsigned char* at = entry(b, b->cur);
  // The entry after the last key (a branch's last pointer) moves up too.
  std::memmove(at + group, at, size_t(n + 1 - b->cur) * size_t(group) - size_t(group) + 4);
  std::memset(at, 0, size_t(group));
  le_put32(at, uint32_t(pointer));
  std::memcpy(at + 4, key, size_t(b->tag->header.key_len));
  set_keys(b, n + 1);
  block_changed(b);
}

void block_remove(DbBlock* b) {
  int n = block_keys(b);
  int group = b->tag->header.group_len;
  assert(n >= 1 && b->cur >= 0 && b->cur <= n);  // a branch may drop its last pointer (cur == n)
  unsigned char* last = entry(b, n - 1);
  if (b->cur < n) {
    // Later entries and the pointer after them move down one group.
    unsigned char* at = entry(b, b->cur);
    std::memmove(at, at + group, size_t(n - 1 - b->cur) * size_t(group) + 4);
  }
  // Removing a branch's last pointer leaves the last key's pointer as the last one.
  std::memset(last + 4, 0, size_t(group) - 4);
  std::memset(entry(b, n), 0, 4);
  set_keys(b, n - 1);
  block_changed(b);
}

namespace {

// A packed number taken apart once, to be compared with many stored keys in
// the order packed_compare gives: sign, exponent, then the digits that
// count in either, so bytes past them do not matter.
struct PackedKey {
  int sign;
  int digits;
  int exponent;
  uint64_t word;  // digit bytes 2..9, big-endian
  unsigned tail;  // digit bytes 10 and 11
};

uint64_t digit_word(const unsigned char* p) {
  uint64_t w;
  std::memcpy(&w, p + 2, 8);
  return __builtin_bswap64(w);
}

PackedKey packed_key(const unsigned char* p) {
  int digits = (p[1] >> 2) & 0x1F;
  return {p[1] & 0x80, digits, digits ? p[0] : 0, digit_word(p), unsigned(p[10]) << 8 | p[11]};
}

// The digit bytes that count for a number of digits (the larger of the two
// keys'): the word's mask and the mask of the last two bytes.
struct DigitMasks {
  uint64_t word;
  unsigned tail;
};

constexpr DigitMasks digit_masks(int digits) {
  int bytes = (digits + 1) / 2 > 10 ? 10 : (digits + 1) / 2;
  uint64_t word = bytes >= 8 ? ~uint64_t(0) : bytes > 0 ? ~uint64_t(0) << (8 * (8 - bytes)) : 0;
  return {word, bytes >= 10 ? 0xFFFFu : bytes == 9 ? 0xFF00u : 0u};
}

struct DigitMaskTable {
  DigitMasks by_digits[32];
  constexpr DigitMaskTable() : by_digits{} {
    for (int i = 0; i < 32; i++) by_digits[i] = digit_masks(i);
  }
};

constexpr DigitMaskTable kDigitMasks;

// As packed_compare(a, b) with b taken apart. The parts are compared
// without jumps: a block's binary search could not foretell them.
inline int packed_order(const unsigned char* a, const PackedKey& b) {
  int sign = a[1] & 0x80;
  if (sign != b.sign) return sign ? -1 : 1;
  int digits = (a[1] >> 2) & 0x1F;
  const DigitMasks& m = kDigitMasks.by_digits[digits > b.digits ? digits : b.digits];
  int exponent = digits ? a[0] : 0;
  uint64_t x = digit_word(a) & m.word, y = b.word & m.word;
  unsigned tx = (unsigned(a[10]) << 8 | a[11]) & m.tail, ty = b.tail & m.tail;
  bool below = (exponent < b.exponent) | ((exponent == b.exponent) & ((x < y) | ((x == y) & (tx < ty))));
  bool equal = (exponent == b.exponent) & (x == y) & (tx == ty);
  int r = below ? -1 : int(!equal);
  return sign ? -r : r;
}

// The binary search of a block's keys: cur goes to the first key not below
// `key` (the count when there is none); 0 when that key equals it. The
// bounds move by selection, not by jumps, for the same reason.
template <class Compare>
int seek_in(DbBlock* b, Compare compare) {
  const unsigned char* first = block_key(b, 0);
  size_t group = size_t(b->tag->header.group_len);
  int low = -1, high = block_keys(b), result = 1;
  // The probes depend on one another: the block's lines are asked for at
  // once, so a block the processor does not hold costs one wait, not one per probe.
  for (size_t at = 0, end = size_t(high) * group; at < end; at += 64) __builtin_prefetch(first + at);
  while (low < high - 1) {
    int middle = (low + high) / 2;
    int r = compare(first + size_t(middle) * group);
    bool below = r < 0;
    low = below ? middle : low;
    high = below ? high : middle;
    result = below ? result : r;
  }
  b->cur = high;
  return result == 0 ? 0 : DB_AFTER;
}

// Order prefixes of packed numbers: sign, exponent and the first digits as
// one unsigned word (its magnitude bits flipped when negative), so a
// block's search compares words and needs the key itself only where two
// prefixes are equal. Exact only for keys whose bytes past their digits are
// zero, as every key we make is; other keys are compared in full.
constexpr uint64_t kPrefixMagnitude = (uint64_t(1) << 63) - 1;

bool packed_clean(const unsigned char* k) {
  int digits = (k[1] >> 2) & 0x1F;
  int bytes = (digits + 1) / 2 > 10 ? 10 : (digits + 1) / 2;
  for (int i = 2 + bytes; i < 12; i++)
    if (k[i]) return false;
  return true;
}

// A clean key of 12 digits at most lies whole in its prefix: its digit
// bytes past the sixth are zero, and the prefix holds the first 55 bits.
bool prefix_whole(const unsigned char* k) { return ((k[1] >> 2) & 0x1F) <= 12; }

uint64_t packed_prefix(const unsigned char* k) {
  uint64_t exponent = (k[1] >> 2) & 0x1F ? k[0] : 0;
  uint64_t magnitude = exponent << 55 | digit_word(k) >> 9;
  return k[1] & 0x80 ? ~magnitude & kPrefixMagnitude : uint64_t(1) << 63 | magnitude;
}

// Narrow prefixes: the first, then each one's distance from it in units of
// 2^shift, in 2 or 4 bytes where the distances of the block allow (a leaf of
// numbers close together: ids, part numbers). A seek then reads a third of
// the lines or less.
template <class Step>
void store_steps(uint64_t* order, int n, int shift) {
  // In place, from the front: each step lands on prefixes already read.
  auto* steps = reinterpret_cast<Step*>(order + 1);
  uint64_t base = order[0], next = order[1];
  for (int i = 0; i < n; i++) {
    uint64_t prefix = i == 0 ? base : next;
    if (i + 1 < n) next = order[i + 1];
    steps[i] = Step((prefix - base) >> shift);
  }
}

void make_narrow(DbBlock* b, int n) {
  if (n < 2) return;
  uint64_t* order = block_order(b);
  uint64_t base = order[0], bits = 0;
  for (int i = 1; i < n; i++) bits |= order[i] - base;
  int shift = bits ? __builtin_ctzll(bits) : 0;
  uint64_t span = (order[n - 1] - base) >> shift;
  int step = span <= UINT16_MAX ? 2 : span <= UINT32_MAX ? 4 : 0;
  if (!step || block_order_bytes(n, step) + block_pointer_bytes(n) > size_t(block_order_room(b->tag->index->block_size)))
    return;
  if (step == 2) store_steps<uint16_t>(order, n, shift);
  else store_steps<uint32_t>(order, n, shift);
  b->order_step = static_cast<unsigned char>(step);
  b->order_shift = static_cast<unsigned char>(shift);
}

// The prefixes of a block of packed keys, made on its second seek since it
// came or changed (a leaf that takes a key at every append never pays for
// them), with a leaf's copy of its pointers behind them (a branch's hints
// start empty). Only for keys that allow them, in order: a seek over them
// then ends where the binary search over the keys does.
bool order_usable(DbBlock* b) {
  if (b->order_ready != 0) return b->order_ready > 0;
  if (++b->order_seeks < 2) return false;
  int n = block_keys(b);
  b->order_ready = -1;
  if (n < 0 || block_order_bytes(n, 0) > size_t(block_order_room(b->tag->index->block_size))) return false;
  uint64_t* order = block_order(b);
  bool exact = true;
  for (int i = 0; i < n; i++) {
    const unsigned char* k = block_key(b, i);
    if (!packed_clean(k)) return false;
    if (i > 0 && packed_order(block_key(b, i - 1), packed_key(k)) > 0) return false;
    order[i] = packed_prefix(k);
    exact &= prefix_whole(k);
  }
  b->order_count = n;
  b->order_step = 0;
  b->order_shift = 0;
  make_narrow(b, n);
  b->tag->order_step = b->order_step;
  b->order_leaf = block_is_leaf(b);
  if (b->order_step) {
    uint32_t* pointers = block_order_pointers(b);
    if (b->order_leaf) {
      for (int i = 0; i <= n; i++) pointers[i] = le_get32(block_entry(b, i));
    } else {
      std::memset(pointers, 0, block_pointer_bytes(n));
    }
  }
  b->order_exact = exact;
  b->order_ready = 1;
  return true;
}

// The first of n sorted values not below `want`.
template <class T>
size_t lower_bound_of(const T* values, size_t n, T want) {
  if (n == 0) return 0;
  const T* base = values;
  for (size_t len = n; len > 1;) {
    size_t half = len / 2;
    base += half & (0 - size_t(base[half] < want));
    len -= half;
  }
  return size_t(base - values) + size_t(*base < want);
}

// How many of n steps lie below `bound`: counted rather than searched, as
// the processor compares many at once and no compare waits on another.
template <class Step>
size_t steps_below(const Step* steps, size_t n, uint64_t bound) {
  if (bound > std::numeric_limits<Step>::max()) return n;
  Step b = Step(bound);
  Step below = 0;  // as wide as a step, so that the counts add up lane by lane
  for (size_t i = 0; i < n; i++) below = Step(below + (steps[i] < b));
  return below;
}

// Where the first prefix not below `want` lies among narrow prefixes.
size_t narrow_lower_bound(const DbBlock* b, uint64_t want) {
  const uint64_t base = block_order(b)[0];
  size_t n = size_t(b->order_count);
  if (want <= base) return 0;
  uint64_t distance = want - base;
  int shift = b->order_shift;
  // prefix < want  <=>  step < distance / 2^shift, rounded up.
  uint64_t bound = (distance >> shift) + ((distance & ((uint64_t(1) << shift) - 1)) != 0);
  const void* steps = block_order(b) + 1;
  if (b->order_step == 2) return steps_below(static_cast<const uint16_t*>(steps), n, bound);
  return steps_below(static_cast<const uint32_t*>(steps), n, bound);
}

uint64_t prefix_at(const DbBlock* b, size_t i) {
  const uint64_t* order = block_order(b);
  if (!b->order_step) return order[i];
  const void* steps = order + 1;
  uint64_t step = b->order_step == 2 ? static_cast<const uint16_t*>(steps)[i] : static_cast<const uint32_t*>(steps)[i];
  return order[0] + (step << b->order_shift);
}

// As seek_in over the prefixes: the first prefix not below the key's, then
// past keys of an equal prefix that are still below.
int seek_by_order(DbBlock* b, const unsigned char* k, const PackedKey& p) {
  size_t n = size_t(b->order_count);
  uint64_t want = packed_prefix(k);
  size_t i = b->order_step ? narrow_lower_bound(b, want) : lower_bound_of(block_order(b), n, want);
  if (b->order_exact && prefix_whole(k)) {
    // An equal prefix is an equal key: the keys themselves are not read.
    b->cur = int(i);
    return i < n && prefix_at(b, i) == want ? 0 : DB_AFTER;
  }
  int r = 1;
  while (i < n && prefix_at(b, i) == want && (r = packed_order(block_key(b, i), p)) < 0) i++;
  b->cur = int(i);
  return i < n && prefix_at(b, i) == want && r == 0 ? 0 : DB_AFTER;
}

}  // namespace

int block_seek(DbBlock* b, const void* key, unsigned len) {
  DbTag* t = b->tag;
  auto k = static_cast<const unsigned char*>(key);
  switch (t->key_order) {
    case DB_ORDER_BYTES:
      return seek_in(b, [k, len](const unsigned char* a) { return std::memcmp(a, k, len); });
    case DB_ORDER_BYTES_DESC:
      return seek_in(b, [k, len](const unsigned char* a) { return std::memcmp(k, a, len); });
    case DB_ORDER_PACKED: {
      const PackedKey p = packed_key(k);
      if (order_usable(b) && packed_clean(k)) return seek_by_order(b, k, p);
      return seek_in(b, [&p](const unsigned char* a) { return packed_order(a, p); });
    }
    case DB_ORDER_PACKED_DESC: {
      const PackedKey p = packed_key(k);
      return seek_in(b, [&p](const unsigned char* a) { return -packed_order(a, p); });
    }
    default:
      return seek_in(b, [t, k, len](const unsigned char* a) { return t->compare(a, k, len); });
  }
}

int block_skip(DbBlock* b, int n) {
  int last = block_last_position(b);
  int from = b->cur;
  int to = from + n;
  if (to > last) to = last;
  if (to < 0) to = 0;
  if (last < 0) to = 0;
  b->cur = to;
  return to - from;
}

long index_block_take(DbIndexFile* x) {
  DbAssertLocked(x->context);
  unsigned char* h = x->header;
  long head = long(le_get32(h + 36));
  x->header_changed = 1;
  if (head != 0) {
    unsigned char link[4];
    unsigned got = file_read(&x->file, head * 512 + 4, link, 4);
    if (x->context->error_code < 0) return -1;
    if (got == 0) {
      le_put32(h + 36, 0);
    } else if (got != 4) {
      code_error_ex(x->context, e_read, "File Name:", x->file.name, nullptr);
      return -1;
    } else {
      le_put32(h + 36, le_get32(link));
      return head;
    }
  }
  long next = long(le_get32(h + 32));
  le_put32(h + 32, uint32_t(next + x->blocks_per_page));
  return next;
}

int index_block_give(DbIndexFile* x, long number) {
  DbAssertLocked(x->context);
  assert(number >= 1);  // block 0 holds the file header
  unsigned char link[4];
  std::memcpy(link, x->header + 36, 4);
  if (CacheSlot* s = cache_find(x, number); s && s->number == number) s->generation = 0;
  if (file_write(&x->file, number * 512 + 4, link, 4) < 0) return -1;
  le_put32(x->header + 36, uint32_t(number));
  x->header_changed = 1;
  return 0;
}
