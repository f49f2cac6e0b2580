// Moving within one tag: the path of blocks from the root to the current
// leaf, descending with the check of each block against its parent, seek,
// top, bottom, skip and go. Readers that do not hold the index lock may meet
// a tree another station is changing. A block that does not fit starts the
// movement again from the root only when the file shows another station's
// change; otherwise the movement is repeated once under the index lock, where
// a block that still does not fit is damage and reported at once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/convert.h"
#include "engine/index_internal.h"
#include "engine/lock.h"
#include "engine/os_shim.h"

long g_index_resident_bytes = 64L << 20;

namespace {

constexpr int kMaxRestarts = 8;  // restarts on others' changes before the lock decides
constexpr int kMoved = 3;  // a step's result: the tree changed under it
// Spare blocks (buffers off the path). They are checked against the file at
// every movement (index_refresh), so keeping many costs nothing in safety:
// an index file keeps up to g_index_resident_bytes of them among its tags,
// found by number through a table. Without the table a tag keeps only
// kMaxSpares, searched in turn.
constexpr int kMaxSpares = 48;
constexpr int kRestart = -2;     // internal: the descent must start again
constexpr int kMaxDepth = DB_TAG_MAX_DEPTH;
static_assert(kMaxSpares > kMaxDepth, "a tag over its spares has some off its path to give up");

DbBlock* bottom(DbTag* t) { return t->depth ? t->path[t->depth - 1] : nullptr; }

void path_push(DbTag* t, DbBlock* b) {
  b->on_path = 1;
  t->path[t->depth++] = b;
}

bool is_locked(DbTag* t) { return t->index->locked || t->index->file.exclusive; }

// What one buffer holds of the resident bytes: its block and the room for the block's order prefixes.
long buffer_bytes(const DbTag* t) { return t->index->block_size + block_order_room(t->index->block_size); }

// The buffers with a block number, found by it: open addressing over a
// table of (number, block) pairs, so a lookup reads the table and then only
// the block it finds, never other buffers on the way.
uint64_t spare_home(long number, long slots) {
  return (uint64_t(number) * 0x9E3779B97F4A7C15u) >> 17 & uint64_t(slots - 1);
}

void spare_put(DbSpareSlot* table, long slots, DbBlock* b) {
  uint64_t i = spare_home(b->number, slots);
  while (table[i].block) i = (i + 1) & uint64_t(slots - 1);
  table[i].number = b->number;
  table[i].block = b;
}

// Room for one more entry at a load of a half at most; false when the
// table cannot grow (the buffers are then searched in turn).
bool spare_table_room(DbTag* t) {
  if (t->spare_table && (t->spare_used + 1) * 2 <= t->spare_slots) return true;
  long slots = t->spare_slots ? t->spare_slots * 2 : 64;
  auto* grown = static_cast<DbSpareSlot*>(mem_alloc(sizeof(DbSpareSlot) * size_t(slots)));
  if (!grown) return t->spare_table != nullptr && t->spare_used < t->spare_slots - 1;
  std::memset(grown, 0, sizeof(DbSpareSlot) * size_t(slots));
  for (long i = 0; i < t->spare_slots; i++)
    if (t->spare_table[i].block) spare_put(grown, slots, t->spare_table[i].block);
  mem_free(t->spare_table);
  t->spare_table = grown;
  t->spare_slots = slots;
  return true;
}

bool spare_table_ready(DbTag* t) {
  if (t->spare_table) return true;
  if (!spare_table_room(t)) return false;
  // The tag's share of the blocks kept, worked out once (a tag's file and
  // its number of tags stay as they are while it is open).
  long tags = t->index->tags.count > 0 ? t->index->tags.count : 1;
  long n = g_index_resident_bytes / buffer_bytes(t) / tags;
  t->spare_max = n > kMaxSpares ? int(n) : kMaxSpares;
  for (auto* s = static_cast<DbBlock*>(list_first(&t->buffers)); s;
       s = static_cast<DbBlock*>(list_next(&t->buffers, s))) {
    if (s->number < 0) continue;
    if (!spare_table_room(t)) {
      // Half filled: the buffers are searched in turn instead.
      mem_free(t->spare_table);
      t->spare_table = nullptr;
      t->spare_slots = t->spare_used = 0;
      return false;
    }
    spare_put(t->spare_table, t->spare_slots, s);
    t->spare_used++;
  }
  return true;
}

// Buffers with a block number are in the table under that number; it does
// not change while they are there.
void spare_link(DbTag* t, DbBlock* b) {
  if (b->number < 0 || !spare_table_ready(t)) return;
  if (!spare_table_room(t)) {
    mem_free(t->spare_table);  // no room and none to be had: searched in turn from now on
    t->spare_table = nullptr;
    t->spare_slots = t->spare_used = 0;
    return;
  }
  spare_put(t->spare_table, t->spare_slots, b);
  t->spare_used++;
}

void spare_unlink(DbTag* t, DbBlock* b) {
  if (b->number < 0 || !t->spare_table) return;
  DbSpareSlot* table = t->spare_table;
  uint64_t mask = uint64_t(t->spare_slots - 1);
  uint64_t i = spare_home(b->number, t->spare_slots);
  while (table[i].block && table[i].block != b) i = (i + 1) & mask;
  if (!table[i].block) return;
  // Later entries of the run move back into the gap when their home allows,
  // so every entry stays reachable from its home.
  uint64_t gap = i;
  for (uint64_t j = (i + 1) & mask; table[j].block; j = (j + 1) & mask) {
    uint64_t home = spare_home(table[j].number, t->spare_slots);
    if (((j - home) & mask) >= ((j - gap) & mask)) {
      table[gap] = table[j];
      gap = j;
    }
  }
  table[gap].block = nullptr;
  table[gap].number = 0;
  t->spare_used--;
}

DbBlock* spare_find(DbTag* t, long number) {
  if (DbSpareSlot* table = t->spare_table) {
    uint64_t mask = uint64_t(t->spare_slots - 1);
    for (uint64_t i = spare_home(number, t->spare_slots); table[i].block; i = (i + 1) & mask)
      if (table[i].number == number) return table[i].block;
    return nullptr;
  }
  for (auto* s = static_cast<DbBlock*>(list_first(&t->buffers)); s;
       s = static_cast<DbBlock*>(list_next(&t->buffers, s)))
    if (s->number == number) return s;
  return nullptr;
}

void spare_take(DbTag* t, DbBlock* b) {
  spare_unlink(t, b);
  list_remove(&t->buffers, b);
}

// At the back: the first to be reused.
void spare_add_back(DbTag* t, DbBlock* b) {
  spare_link(t, b);
  list_add(&t->buffers, b);
}

// The spare to give up next: from the back, one not on the path since the
// last sweep; those that were, and the path's own, go to the front instead
// (a second chance), so a path costs no list moves. Null when every
// buffer is on the path.
DbBlock* spare_pop_least_recent(DbTag* t) {
  for (long tries = 2 * t->buffers.count; tries > 0; tries--) {
    auto* b = static_cast<DbBlock*>(list_last(&t->buffers));
    if (!b) return nullptr;
    if (!b->on_path && !b->recent) {
      spare_take(t, b);
      return b;
    }
    b->recent = 0;
    list_remove(&t->buffers, b);
    list_add_before(&t->buffers, list_first(&t->buffers), b);
  }
  return nullptr;
}

int spare_limit(DbTag* t) { return t->spare_table ? t->spare_max : kMaxSpares; }

// The blocks the file's tags keep together, at most the resident bytes'
// worth: a tag in use may take more than its share while the others keep
// less (one tag sought over a large file).
long spare_budget(DbTag* t) { return g_index_resident_bytes / buffer_bytes(t); }

long spares_total(DbIndexFile* x) {
  long n = 0;
  for (auto* u = static_cast<DbTag*>(list_first(&x->tags)); u; u = static_cast<DbTag*>(list_next(&x->tags, u)))
    n += u->buffers.count;
  return n;
}

// Where a spare goes to make room for `t`: the tag used longest ago among
// the others that keep more than the least any tag keeps, else `t` itself.
DbTag* spare_victim(DbTag* t) {
  DbTag* oldest = nullptr;
  for (auto* u = static_cast<DbTag*>(list_first(&t->index->tags)); u;
       u = static_cast<DbTag*>(list_next(&t->index->tags, u)))
    if (u != t && u->buffers.count > kMaxSpares && (!oldest || u->used_at < oldest->used_at)) oldest = u;
  return oldest ? oldest : t;
}

// Has `u` kept buffers through as many descents of the file's tags as the
// file keeps blocks, without one of its own? Its share then serves the tags
// in use: one tag sought over a large file keeps all its blocks, while two
// tags used in turn each keep their share.
bool idle_with_spares(DbTag* u, DbTag* t) {
  return u != t && u->buffers.count > kMaxSpares &&
         u->used_at + static_cast<unsigned long>(spare_budget(t)) < t->index->tag_moves;
}

// A tag over its share takes a spare of its own for the next block once the
// file's buffers have used up the budget, unless an idle tag has some to give.
bool spares_full(DbTag* t) {
  if (t->buffers.count < spare_limit(t)) return false;
  if (!t->spare_table) return true;
  if (spares_total(t->index) < spare_budget(t)) return false;
  for (auto* u = static_cast<DbTag*>(list_first(&t->index->tags)); u;
       u = static_cast<DbTag*>(list_next(&t->index->tags, u)))
    if (idle_with_spares(u, t)) return false;
  return true;
}

// The least recent spare of `t` goes, written first when it changed: 0, 1
// when there is none to give up, -1.
int drop_least_recent(DbTag* t) {
  DbBlock* b = spare_pop_least_recent(t);
  if (!b) return 1;
  if (block_flush(b) < 0) {
    spare_add_back(t, b);
    return -1;
  }
  block_free(b);
  return 0;
}

// Spares over the limit (new blocks of splits, a path given back) go, the
// least recent first: while the file's buffers exceed the budget, those of
// the tag used longest ago, and always the tag's own beyond kMaxSpares
// while it has no table to find them.
int trim_spares(DbTag* t) {
  int limit = spare_limit(t);
  if (t->buffers.count <= limit) return 0;
  if (!t->spare_table) {
    while (t->buffers.count > limit) {
      int rc = drop_least_recent(t);
      if (rc != 0) return rc < 0 ? -1 : 0;
    }
    return 0;
  }
  long budget = spare_budget(t);
  for (long total = spares_total(t->index); total > budget; total--) {
    DbTag* from = spare_victim(t);
    if (from == t && t->buffers.count <= limit) break;  // a tag keeps its share at least
    int rc = drop_least_recent(from);
    if (rc != 0) return rc < 0 ? -1 : 0;
  }
  return 0;
}

// A block number that can hold a block of this file: behind the file header
// and before the file's end as its header states it.
bool block_number_ok(DbIndexFile* x, long number) {
  long end = long(le_get32(x->header + 32));
  return number >= 1 && number <= end - x->blocks_per_page;
}

// Does the freshly read block fit under its parent (the path's bottom)? The
// entry count and the child pointers are checked, so nothing is read outside
// the block and no descent leaves the file: once per image read in, which the
// block cache remembers. The order of the keys is not judged: a peer may keep
// them in its own order (another collation, another order of numbers), and
// its blocks are walked as they stand; walks end by counting their steps. With
// the block check on, a leaf must end with the key its parent's entry names,
// which holds in every order.
bool fits(DbTag* t, DbBlock* b, DbBlock* parent) {
  // Under our lock nobody else changes the tree: a leaf found fitting once
  // (and sound) fits until another image of it comes in.
  if (b->fits_parent && parent && is_locked(t)) return true;
  int n = block_keys_seen(b);
  if (!b->checked) {
    if (n < 0 || n > t->header.keys_max) return false;
    if (!block_is_leaf(b)) {
      if (n == 0) return false;  // a branch always separates two children at least
      for (int i = 0; i <= n; i++)
        if (!block_number_ok(t->index, block_pointer(b, i))) return false;
    } else {
      for (int i = 0; i < n; i++)
        if (block_pointer(b, i) <= 0) return false;  // every key belongs to a record
    }
    block_mark_checked(b);
  }
  bool leaf = block_is_leaf_seen(b);
  if (leaf && n == 0 && parent) return false;  // only the root of an empty tag is an empty leaf
  if (!t->context->index_option_c || !parent || !leaf) return true;
  int pn = block_keys(parent);
  if (parent->cur >= pn) return true;
  b->fits_parent = t->compare(block_key(b, n - 1), block_key(parent, parent->cur), unsigned(t->header.key_len)) == 0;
  return b->fits_parent != 0;
}

int read_root_number(DbTag* t) {
  if (t->header.root >= 0) return 0;
  unsigned char r[4];
  if (file_read_all(&t->index->file, t->header_pos, r, 4) < 0) return -1;
  t->header.root = long(le_get32(r));
  return 0;
}

// 0 descended, 1 already on a leaf, 2 the block does not fit (restart), -1 error.
int tag_down(DbTag* t) {
  DbAssertLocked(t->context);
  DbBlock* parent = bottom(t);
  DbBlock* hinted = nullptr;
  long number;
  if (parent) {
    if (block_is_leaf_seen(parent)) return 1;
    assert(parent->cur >= 0 && parent->cur <= block_keys_seen(parent));  // a branch's entries and its last pointer
    hinted = block_hinted_child(parent, parent->cur);
    number = block_pointer_seen(parent, parent->cur);
  } else {
    if (read_root_number(t) < 0) return -1;
    number = t->header.root;
  }
  t->used_at = ++t->index->tag_moves;
  if (trim_spares(t) < 0) return -1;
  // A block already on the path, or a path deeper than any tree, is a loop.
  if (t->depth >= kMaxDepth || !block_number_ok(t->index, number)) return 2;
  // The buffer the parent's hint names is the child's while it is the tag's
  // and bears its number; else the child is looked up by number.
  DbBlock* s = hinted && hinted->tag == t && hinted->number == number ? hinted : spare_find(t, number);
  if (s) {
    // What the seek will read asked for at once, so it arrives while the
    // record is read, not after it: for numeric keys the order prefixes
    // after the record, with the 4 bytes a pointer behind them (a leaf's
    // copy, a branch's hints) when the tag's blocks keep them narrow (and
    // the file is locked: else the leaf's last key is read to judge its
    // fit), otherwise with the image; for others the image alone.
    const char* at = reinterpret_cast<const char*>(s);
    size_t room = size_t(block_order_room(t->index->block_size)), keys = size_t(t->header.keys_max);
    size_t from = sizeof(DbBlock), to = from + room + size_t(t->index->block_size);
    if (t->key_order == DB_ORDER_PACKED && t->order_step && is_locked(t))
      to = from + block_order_bytes(int(keys), t->order_step) + block_pointer_bytes(int(keys));
    if (t->key_order != DB_ORDER_PACKED) from += room;
    __builtin_prefetch(at);
    for (size_t i = from; i < to; i += 64) __builtin_prefetch(at + i);
    if (s->on_path) return 2;
    s->cur = 0;
    if (!fits(t, s, parent)) return 2;
    if (parent && s != hinted) block_hint_child(parent, parent->cur, s);
    path_push(t, s);
    return 0;
  }
  // A new buffer while the spares are few, else the least recent one (its
  // block written first when it changed).
  DbBlock* b = spares_full(t) ? spare_pop_least_recent(t) : nullptr;
  if (!b) {
    b = block_alloc(t, -1);
    if (!b) return -1;
  }
  t->index->blocks_read++;
  int got = block_read(b, number);
  if (got != 0) {
    spare_add_back(t, b);
    return got < 0 ? -1 : 2;  // a block cut off by the file's end does not fit
  }
  if (!fits(t, b, parent)) {
    b->number = -1;
    spare_add_back(t, b);
    return 2;
  }
  spare_add_front(t, b);
  if (parent) block_hint_child(parent, parent->cur, b);
  path_push(t, b);
  b->cur = 0;
  return 0;
}

// Leaves a walk in one direction can meet at most: the blocks of the file,
// as its header and its length both allow. -1 on a failed read of the length.
long leaf_cap(DbTag* t) {
  DbIndexFile* x = t->index;
  long pages = long(le_get32(x->header + 32));
  long len = file_len_in(&x->file);
  if (len < 0) return -1;
  if (len / 512 + 1 < pages) pages = len / 512 + 1;
  return pages / x->blocks_per_page + 1;
}

// Counts a walk's step onto a leaf: 1 within what the file can hold, 0 past
// it (a loop), -1.
int count_leaf(DbTag* t, int dir) {
  if (t->walk_dir != dir) {
    t->walk_dir = dir;
    t->walk_leaves = 0;
  }
  if (++t->walk_leaves <= t->walk_cap) return 1;
  t->walk_cap = leaf_cap(t);  // the file may have grown meanwhile
  if (t->walk_cap < 0) return -1;
  return t->walk_leaves <= t->walk_cap ? 1 : 0;
}

int corrupt(DbTag* t) {
  return code_error_ex(t->context, e_index, "Corrupt index file", t->index->file.name, nullptr);
}

// Waits for another station's held writes to finish going out (they go out
// under the writing byte, the headers last), in short steps, and tells
// whether the index changed meanwhile: 1, 0, or -1.
int changed_after_writes(DbIndexFile* x) {
  DB_ENGINE* c = x->context;
  for (long steps = guard_wait_steps(c, false);;) {
    int busy = dbos_locked_elsewhere(x->file.handle, DB_INDEX_WRITING_BYTE, 1, false);
    if (busy < 0) return code_error_ex(c, e_lock, "File Name:", x->file.name, nullptr);
    if (busy == 0 || steps == 0) break;
    guard_step(c, &steps);
  }
  return index_refresh(x);
}

// Unlocked, after a step onto a block read afresh: did another station's
// write-out run meanwhile? The step may then have gone by a parent of the
// old tree to a block of the new one, past keys a split moved away; the
// block check cannot tell where equal keys end both blocks. 1 (the cached
// blocks are dropped), 0, or -1.
int tree_moved(DbTag* t) {
  DbIndexFile* x = t->index;
  if (is_locked(t)) return 0;
  return changed_after_writes(x);
}

// Takes the index lock to judge a block, waiting (as long as a reader
// waits for a rebuild) while another station holds it: 0 taken, 1 the
// index changed meanwhile (no lock taken), -1.
int lock_to_judge(DbIndexFile* x) {
  DB_ENGINE* c = x->context;
  for (long steps = guard_wait_steps(c, false);;) {
    int rc = file_lock_tries_in(&x->file, DB_INDEX_LOCK_BYTE, 1, 1);
    if (rc != DB_LOCKED) return rc == 0 ? 0 : -1;
    if (steps == 0) return code_error_ex(c, e_lock, "File Name:", x->file.name, nullptr);
    guard_step(c, &steps);
    int changed = index_refresh(x);
    if (changed != 0) return changed;
  }
}

// Decides what a block that does not fit means. Under the index lock nobody
// else writes: it is damage (-310 at once). Unlocked, a file header or tag
// version that moved means another station changed the index: drop what is
// cached and start again (0); so does one that moves once another
// station's held writes have gone out. Otherwise take the index lock
// (waiting while another station holds it) and let the movement run once
// more under it: 1 when the file is still as the movement saw it.
int tag_restart(DbTag* t, int* restarts) {
  DbIndexFile* x = t->index;
  if (is_locked(t)) return corrupt(t);
  tag_flush(t);
  index_cache_forget(x);
  int changed = 0;
  if (++*restarts <= kMaxRestarts) {
    changed = index_refresh(x);
    if (changed == 0) changed = changed_after_writes(x);
  }
  if (changed == 0) {
    changed = lock_to_judge(x);
    if (changed == 0) {
      x->probe_locked = 1;
      changed = index_refresh(x);
      x->locked = 1;
    }
  }
  if (changed < 0) return -1;
  mdx_drop_buffers(t);
  t->header.root = -1;
  return changed > 0 || !x->locked ? 0 : 1;
}

// Held by every movement: the outermost one gives back an index lock that was
// taken only to judge a block.
class Moving {
 public:
  explicit Moving(DbTag* t) : x_(t->index) { x_->nav_depth++; }
  ~Moving() {
    if (--x_->nav_depth > 0 || !x_->probe_locked) return;
    x_->probe_locked = 0;
    x_->locked = 0;
    DbQuietError quiet(x_->context);
    file_unlock_in(&x_->file, DB_INDEX_LOCK_BYTE, 1);
  }
  Moving(const Moving&) = delete;
  Moving& operator=(const Moving&) = delete;

 private:
  DbIndexFile* x_;
};

// Descends from the current bottom to a leaf, each new block at its start
// (forward) or its end (backward). 0, 2 restart, -1.
int descend(DbTag* t, bool backward) {
  for (;;) {
    int rc = tag_down(t);
    if (rc == 1) return 0;
    if (rc != 0) return rc;
    DbBlock* b = bottom(t);
    if (backward) {
      int n = block_keys(b);
      b->cur = block_is_leaf(b) ? (n > 0 ? n - 1 : 0) : n;
    }
  }
}

// Moves to the neighbouring leaf: 1 moved, 0 no neighbour (path released), 2 restart, -1.
int step_leaf(DbTag* t, int dir) {
  for (;;) {
    tag_path_pop(t);
    DbBlock* parent = bottom(t);
    if (!parent) return 0;
    if (dir > 0 ? parent->cur < block_keys(parent) : parent->cur > 0) {
      parent->cur += dir;
      return descend(t, dir < 0) == 0 ? 1 : (t->context->error_code < 0 ? -1 : 2);
    }
  }
}

// Keeps the blocks of the path from the root down for as long as the seek
// for `key` passes through them (each already fits under its parent), and
// gives the rest to the spares. rc is the result of the last block seek.
void keep_common_path(DbTag* t, const void* key, unsigned len, int* rc) {
  if (!t->depth || t->path[0]->number != t->header.root) {
    tag_unposition(t);
    return;
  }
  int level = 0;
  for (;; level++) {
    DbBlock* b = t->path[level];
    *rc = block_seek(b, key, len);
    if (level + 1 == t->depth) return;
    DbBlock* next = t->path[level + 1];
    if (block_is_leaf_seen(b) || next->number != block_pointer_seen(b, b->cur) ||
        (t->context->index_option_c && !fits(t, next, b)))
      break;
  }
  while (t->depth > level + 1) tag_path_pop(t);
}

int seek_once(DbTag* t, const void* key, unsigned len) {
  int rc = 0;
  keep_common_path(t, key, len, &rc);
  for (;;) {
    int d = tag_down(t);
    if (d == 1) break;
    if (d != 0) return d == 2 ? kRestart : -1;
    rc = block_seek(bottom(t), key, len);
  }
  DbBlock* leaf = bottom(t);
  if (leaf->cur >= block_keys_seen(leaf) && block_keys_seen(leaf) > 0) {
    // Past this leaf's keys: the first greater key, if any, starts the next leaf.
    int s = step_leaf(t, 1);
    if (s < 0 || s == 2) return s < 0 ? -1 : kRestart;
    if (s == 0) {
      // Nothing greater: after the last key (the rightmost leaf's end).
      int d;
      while ((d = tag_down(t)) == 0) {
        DbBlock* b = bottom(t);
        b->cur = block_is_leaf(b) ? block_keys(b) : block_keys(b);
      }
      if (d != 1) return d == 2 ? kRestart : -1;
      return DB_AFTER;
    }
    rc = t->compare(block_key(bottom(t), 0), key, len) == 0 ? 0 : DB_AFTER;
  }
  return rc == 0 ? 0 : DB_AFTER;
}

}  // namespace

void spare_add_front(DbTag* t, DbBlock* b) {
  spare_link(t, b);
  list_add_before(&t->buffers, list_first(&t->buffers), b);
}

void tag_path_pop(DbTag* t) {
  DbBlock* b = t->path[--t->depth];
  b->on_path = 0;
  b->recent = 1;
}

void tag_path_free(DbTag* t) {
  DbBlock* b = t->path[--t->depth];
  b->on_path = 0;
  spare_take(t, b);
  b->changed = 0;
  b->number = -1;
  list_add(&t->buffers, b);
}

void mdx_drop_buffers(DbTag* t) {
  if (t->spare_table) std::memset(t->spare_table, 0, sizeof(DbSpareSlot) * size_t(t->spare_slots));
  t->spare_used = 0;
  t->blocks_dirty = 0;
  t->depth = 0;
  while (auto* b = static_cast<DbBlock*>(list_pop(&t->buffers))) {
    b->number = -1;
    b->changed = 0;
    b->on_path = 0;
    mem_pool_give(t->index->block_pool, b);
  }
}

void tag_unposition(DbTag* t) {
  while (t->depth) tag_path_pop(t);
}

int tag_seek(DbTag* t, const void* key, unsigned len) {
  DB_ENGINE* c = t->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  c->activity_bits |= 8;
  if (t->header.key_type != 'C' || len > unsigned(t->header.key_len)) len = unsigned(t->header.key_len);
  Moving moving(t);
  t->walk_leaves = 0;
  int restarts = 0;
  for (;;) {
    int rc = seek_once(t, key, len);
    if (c->error_code < 0 || rc == -1) return -1;
    if (rc != kRestart) return rc;
    if (tag_restart(t, &restarts) < 0) return -1;
  }
}

namespace {

int edge(DbTag* t, bool last) {
  DB_ENGINE* c = t->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  Moving moving(t);
  t->walk_leaves = 0;
  int restarts = 0;
  for (;;) {
    tag_unposition(t);
    unsigned long reads = t->index->blocks_read;
    int rc = descend(t, last);
    if (rc == 0 && t->index->blocks_read != reads && restarts < kMaxRestarts) {
      int m = tree_moved(t);
      if (m < 0) return -1;
      if (m > 0) {
        restarts++;
        continue;
      }
    }
    if (rc == 0) return 0;
    if (rc < 0 || c->error_code < 0) return -1;
    if (tag_restart(t, &restarts) < 0) return -1;
  }
}

}  // namespace

int tag_top(DbTag* t) { return edge(t, false); }
int tag_bottom(DbTag* t) { return edge(t, true); }

int tag_past_end(DbTag* t) {
  if (tag_bottom(t) < 0) return -1;
  DbBlock* b = bottom(t);
  b->cur = block_keys(b);
  return 0;
}

long tag_skip(DbTag* t, long n) {
  DB_ENGINE* c = t->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  c->activity_bits |= 4;
  Moving moving(t);
  if (!bottom(t) && tag_top(t) < 0) return -1;
  int dir = n < 0 ? -1 : 1;
  long want = n < 0 ? -n : n;
  long moved = 0;
  int restarts = 0;
  unsigned char last[DB_MDX_MAX_KEY];
  unsigned len = unsigned(t->header.key_len);
  assert(len <= sizeof last);
  while (moved < want) {
    DbBlock* leaf = bottom(t);
    int keys = block_keys(leaf);
    if (keys == 0) return 0;  // an empty tag
    if (leaf->cur > keys - 1) leaf->cur = keys - 1 + (dir > 0 ? 1 : 0);
    long room = dir > 0 ? (keys - 1) - leaf->cur : leaf->cur;
    if (room > 0) {
      long step = room < want - moved ? room : want - moved;
      leaf->cur += int(step) * dir;
      moved += step;
      continue;
    }
    int at = leaf->cur < keys ? leaf->cur : keys - 1;
    std::memcpy(last, block_key(leaf, at), len);
    long last_recno = block_pointer(leaf, at);
    unsigned long reads = t->index->blocks_read;
    int s = step_leaf(t, dir);
    // Only a block read in may be of a newer tree than its parent.
    if (s == 1 && t->index->blocks_read != reads && restarts < kMaxRestarts) {
      int m = tree_moved(t);
      if (m < 0) return -1;
      if (m > 0) {
        restarts++;
        s = kMoved;
      }
    }
    if (s == 1) {
      int k = count_leaf(t, dir);
      if (k < 0) return -1;
      if (k > 0) {
        moved++;
        continue;
      }
      s = 2;  // more leaves than the file holds: a loop, judged like a block that does not fit
    }
    if (s < 0) return -1;
    if (s == 0) {
      // No neighbour: stay on the last (first) key.
      if ((dir > 0 ? tag_bottom(t) : tag_top(t)) < 0) return -1;
      break;
    }
    int unchanged = s == kMoved ? 0 : tag_restart(t, &restarts);
    if (unchanged < 0) return -1;
    // Back to the very entry the step started from; when it is gone, the
    // next greater key already counts as a step forward.
    long walked = t->walk_leaves;
    int rc = tag_go(t, last, last_recno);
    t->walk_dir = dir;
    t->walk_leaves = walked;
    if (rc < 0 || c->error_code < 0) return -1;
    // Nothing changed since the step left that entry: it must be found
    // again, where a seek can find it. Otherwise the tree is damaged (or
    // out of any order a seek could follow) and the walk cannot go on.
    if (unchanged && rc != 0) return corrupt(t);
    // The way back counts as a step onto a leaf, so a walk that keeps
    // coming back here ends.
    int k = count_leaf(t, dir);
    if (k < 0) return -1;
    if (k == 0 && is_locked(t)) return corrupt(t);
    if (rc != 0 && dir > 0) {
      moved++;
      if (tag_eof(t)) break;
    }
  }
  return moved * dir;
}

int tag_go(DbTag* t, const void* key, long recno) {
  DB_ENGINE* c = t->context;
  DbAssertLocked(c);
  Moving moving(t);
  int rc = tag_seek(t, key, unsigned(t->header.key_len));
  if (rc != 0) return rc;
  for (;;) {
    if (tag_recno(t) == recno) return 0;
    if (tag_skip(t, 1) != 1) return c->error_code < 0 ? -1 : 1;
    unsigned char* k = tag_key(t);
    if (!k || t->compare(k, key, unsigned(t->header.key_len)) != 0) return c->error_code < 0 ? -1 : 1;
  }
}

int tag_eof(DbTag* t) {
  DbBlock* b = bottom(t);
  return !b || b->cur >= block_keys(b);
}

long tag_recno(DbTag* t) {
  DbBlock* b = bottom(t);
  if (!b || !block_is_leaf_seen(b)) return -2;
  if (b->cur >= block_keys_seen(b)) return -2;
  return block_pointer_seen(b, b->cur);
}

unsigned char* tag_key(DbTag* t) {
  DbBlock* b = bottom(t);
  if (!b || !block_is_leaf(b) || b->cur >= block_keys(b)) return nullptr;
  return block_key(b, b->cur);
}

double tag_position(DbTag* t) {
  double pos = 0.5;
  for (int level = t->depth - 1; level >= 0; level--) {
    DbBlock* b = t->path[level];
    int entries = block_keys(b) + (block_is_leaf(b) ? 0 : 1);
    pos = entries == 0 ? 0 : (b->cur + pos) / entries;
  }
  return pos;
}

namespace {

void collect_changed(DbTag* t, std::vector<DbBlock*>* changed) {
  if (!t->blocks_dirty) return;
  for (auto* b = static_cast<DbBlock*>(list_first(&t->buffers)); b;
       b = static_cast<DbBlock*>(list_next(&t->buffers, b)))
    if (b->changed && b->number >= 0) changed->push_back(b);
}

// Writes the blocks in file order: held writes then join into few pieces
// without copying what is held already.
int flush_in_order(std::vector<DbBlock*>& changed) {
  std::sort(changed.begin(), changed.end(),
            [](const DbBlock* a, const DbBlock* b) { return a->number < b->number; });
  for (DbBlock* b : changed)
    if (block_flush(b) < 0) return -1;
  return 0;
}

}  // namespace

int index_flush_blocks(DbIndexFile* x) {
  std::vector<DbBlock*> changed;
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t)))
    collect_changed(t, &changed);
  if (changed.empty()) return 0;
  if (flush_in_order(changed) < 0) return -1;
  for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
       t = static_cast<DbTag*>(list_next(&x->tags, t)))
    t->blocks_dirty = 0;
  return 0;
}

int tag_flush(DbTag* t) {
  DbAssertLocked(t->context);
  if (t->blocks_dirty) {
    std::vector<DbBlock*> changed;
    collect_changed(t, &changed);
    if (flush_in_order(changed) < 0) return -1;
    t->blocks_dirty = 0;
  }
  if (t->header_changed) {
    unsigned char r[4];
    le_put32(r, uint32_t(t->header.root));
    if (file_write(&t->index->file, t->header_pos, r, 4) < 0) return -1;
    t->header_changed = 0;
  }
  return 0;
}

int tag_release(DbTag* t) {
  int rc = tag_flush(t);
  mdx_drop_buffers(t);
  mem_free(t->spare_table);
  t->spare_table = nullptr;
  t->spare_slots = t->spare_used = 0;
  return rc;
}
