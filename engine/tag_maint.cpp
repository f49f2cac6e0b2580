// Keeping a tag's keys: adding with block splits up to a new root, removing
// with emptied blocks freed, separators kept equal to their child's last key
// and a branch left with one child replaced by it.
#include <cstring>

#include "engine/expr.h"
#include "engine/index_internal.h"

namespace {

DbBlock* bottom(DbTag* t) { return tag_path_bottom(t); }

unsigned char* entry_of(DbBlock* b, int i) {
  return b->image + 8 + size_t(i) * size_t(b->tag->header.group_len);
}

void set_keys(DbBlock* b, int n) { le_put32(b->image, uint32_t(n)); }

// The version moves once per flush (index_flush), however many keys changed,
// so other stations see every flushed change even after 256 of them.
void mark_changed(DbTag* t) {
  t->index->header_changed = 1;
  t->version_changed = 1;
  t->blocks_dirty = 1;
}

int write_root_pointer(DbTag* t) {
  unsigned char r[4];
  le_put32(r, uint32_t(t->header.root));
  return file_write(&t->index->file, t->header_pos, r, 4);
}

// Splits the full block b (bottom of the path) and inserts (key, pointer) at
// its current entry. The lower half moves to a new block; its last key and
// number are handed back for the parent. A key added after the tag's last
// key (`rightmost`: the path on the last entry of every block) moves every
// entry to the new block instead, so keys added in order leave full blocks
// behind them and the new key starts the upper block alone.
int split_insert(DbTag* t, DbBlock* b, const unsigned char* key, long pointer, bool rightmost,
                 unsigned char* sep, long* new_number) {
  DbIndexFile* x = t->index;
  int group = t->header.group_len;
  int n = block_keys(b);
  bool leaf = block_is_leaf(b);
  long number = index_block_take(x);
  if (number < 0) return -1;
  DbBlock* nb = block_alloc(t, number);
  if (!nb) return -1;
  std::memset(nb->image, 0, size_t(x->block_size));
  // A branch keeps two children at least: with every entry moved, the upper
  // block is left its last pointer and gets the new entry.
  int half = rightmost && b->cur == n && n >= 2 ? n : (n + 1) / 2;
  std::memcpy(entry_of(nb, 0), entry_of(b, 0), size_t(half) * size_t(group));
  if (leaf) {
    set_keys(nb, half);
  } else {
    // The last entry moved carries only its pointer: it closes the new block.
    std::memset(entry_of(nb, half - 1) + 4, 0, size_t(group) - 4);
    set_keys(nb, half - 1);
  }
  unsigned char lower_last[512];
  assert(t->header.key_len <= int(sizeof lower_last) && half >= 1 && half <= n);
  std::memcpy(lower_last, entry_of(b, half - 1) + 4, size_t(t->header.key_len));
  // The upper half (with a branch's last pointer) closes up to the front.
  size_t upper = size_t(n - half) * size_t(group) + 4;
  std::memmove(entry_of(b, 0), entry_of(b, half), upper);
  std::memset(entry_of(b, 0) + upper, 0, size_t(half) * size_t(group));
  set_keys(b, n - half);
  block_changed(b);
  block_changed(nb);
  if (b->cur < half) {
    nb->cur = b->cur;
    block_insert(nb, key, pointer);
  } else {
    b->cur -= half;
    block_insert(b, key, pointer);
  }
  if (leaf) std::memcpy(sep, block_key(nb, block_keys(nb) - 1), size_t(t->header.key_len));
  else std::memcpy(sep, lower_last, size_t(t->header.key_len));
  *new_number = number;
  spare_add_front(t, nb);  // written with the others at the flush
  return 0;
}

// Is every block of the path on its last entry, the leaf past its last key?
bool on_rightmost_end(DbTag* t) {
  for (int level = 0; level < t->depth; level++)
    if (t->path[level]->cur != block_keys(t->path[level])) return false;
  return true;
}

// Inserts at the current position of the bottom block, splitting upward.
int insert_up(DbTag* t, const unsigned char* key, long pointer) {
  DbIndexFile* x = t->index;
  unsigned char k[512], sep[512];
  DbAssertLocked(t->context);
  assert(t->header.key_len >= 1 && t->header.key_len <= int(sizeof k));
  std::memcpy(k, key, size_t(t->header.key_len));
  long p = pointer;
  int rightmost = -1;  // asked at the first split: each split leaves its parent on the same entry
  for (;;) {
    DbBlock* b = bottom(t);
    if (block_keys(b) < t->header.keys_max) {
      block_insert(b, k, p);
      return 0;
    }
    if (rightmost < 0) rightmost = on_rightmost_end(t);
    long new_number;
    if (split_insert(t, b, k, p, rightmost > 0, sep, &new_number) < 0) return -1;
    bool root = t->depth == 1;
    long old_number = b->number;
    tag_path_pop(t);  // the blocks stay cached until flushed
    if (!root) {
      std::memcpy(k, sep, size_t(t->header.key_len));
      p = new_number;
      continue;  // the parent is on the entry of b: the lower half goes before it
    }
    long number = index_block_take(x);
    if (number < 0) return -1;
    DbBlock* r = block_alloc(t, number);
    if (!r) return -1;
    std::memset(r->image, 0, size_t(x->block_size));
    set_keys(r, 1);
    le_put32(entry_of(r, 0), uint32_t(new_number));
    std::memcpy(entry_of(r, 0) + 4, sep, size_t(t->header.key_len));
    le_put32(entry_of(r, 1), uint32_t(old_number));
    block_changed(r);
    spare_add_front(t, r);
    t->header.root = number;
    t->header_changed = 1;
    return 0;
  }
}

// Writes the new last key of a subtree over the separator of the nearest
// block of the path, from `level` upward, whose current entry carries a key.
void carry_last_key(DbTag* t, int level, const unsigned char* key) {
  for (; level >= 0; level--) {
    DbBlock* a = t->path[level];
    if (a->cur < block_keys(a)) {
      std::memcpy(block_key(a, a->cur), key, size_t(t->header.key_len));
      block_changed(a);
      return;
    }
  }
}

// Gives the path's bottom block back to the file.
int free_block(DbTag* t, DbBlock* b) {
  assert(b == bottom(t));
  long number = b->number;
  tag_path_free(t);
  return index_block_give(t->index, number);
}

int remove_current(DbTag* t) {
  for (;;) {
    DbBlock* b = bottom(t);
    int n = block_keys(b);
    bool leaf = block_is_leaf(b);
    bool root = t->depth == 1;
    if (leaf && n == 1 && !root) {
      if (free_block(t, b) < 0) return -1;
      continue;  // the parent's entry for it goes next
    }
    unsigned char last[512];
    assert(t->header.key_len <= int(sizeof last) && n >= 1);
    bool was_last = leaf ? b->cur == n - 1 : b->cur == n;
    if (was_last && n > 1) std::memcpy(last, block_key(b, n - 2 + (leaf ? 0 : 1)), size_t(t->header.key_len));
    if (!leaf && b->cur == n && n >= 1) std::memcpy(last, block_key(b, n - 1), size_t(t->header.key_len));
    block_remove(b);
    if (!leaf && block_keys(b) == 0) {
      // One child left: it takes the branch's place.
      long child = block_pointer(b, 0);
      if (root) {
        t->header.root = child;
        t->header_changed = 1;
        if (write_root_pointer(t) < 0) return -1;
        return free_block(t, b);
      }
      if (free_block(t, b) < 0) return -1;
      DbBlock* parent = bottom(t);
      le_put32(entry_of(parent, parent->cur), uint32_t(child));
      block_changed(parent);
      if (was_last) carry_last_key(t, t->depth - 1, last);  // the branch's last child went
      return 0;
    }
    if (leaf && block_keys(b) == 0 && root) {
      // The tag is empty now.
      if (t->filter) {
        t->filter_flag = 0;
        unsigned char zero = 0;
        if (file_write(&t->index->file, t->header_pos + 246, &zero, 1) < 0) return -1;
        t->filter_flag_changed = 0;
      }
      return 0;
    }
    if (was_last && block_keys(b) > 0)
      carry_last_key(t, t->depth - 2, last);
    return 0;
  }
}

bool held_by_us(DbTag* t) { return t->index->locked || t->index->file.exclusive; }

// While the index is ours alone, the path left by the last key added stays
// current: a key that a seek from the root would lead down the same path is
// placed in its leaf without the descent. 0 or DB_AFTER as tag_seek gives,
// -2 when the key leaves the path (the caller seeks).
int seek_on_path(DbTag* t, const unsigned char* key) {
  DbBlock* leaf = bottom(t);
  if (!leaf || !held_by_us(t) || !block_is_leaf(leaf)) return -2;
  unsigned len = unsigned(t->header.key_len);
  bool rightmost = true;
  // Each branch takes the first entry whose key is not below the key.
  for (int level = 0; level + 1 < t->depth; level++) {
    DbBlock* b = t->path[level];
    if (b->cur > 0 && t->compare(block_key(b, b->cur - 1), key, len) >= 0) return -2;
    if (b->cur < block_keys(b)) {
      rightmost = false;
      if (t->compare(block_key(b, b->cur), key, len) < 0) return -2;
    }
  }
  int rc = block_seek(leaf, key, len);
  // Past the leaf's keys the seek goes on to the next leaf, which only the
  // rightmost leaf has not.
  if (leaf->cur >= block_keys(leaf) && block_keys(leaf) > 0 && !rightmost) return -2;
  t->context->activity_bits |= 8;
  t->walk_leaves = 0;
  return rc;
}

// Finds the entry of (key, recno) by walking the whole tag: in a tag whose
// keys a peer keeps in another order (its collation, its order of numbers)
// the seek can miss an entry that is there, and a key left behind would
// stand for a record that no longer has it. 0 on the entry, DB_NO_RECORD, -1.
int find_by_walking(DbTag* t, const void* key, long recno) {
  if (tag_top(t) < 0) return -1;
  unsigned len = unsigned(t->header.key_len);
  for (bool more = !tag_eof(t); more; more = tag_skip(t, 1) == 1)
    if (tag_recno(t) == recno && t->compare(tag_key(t), key, len) == 0) return 0;
  return t->context->error_code < 0 ? -1 : DB_NO_RECORD;
}

}  // namespace

int tag_add(DbTag* t, const void* key, long recno) {
  DB_ENGINE* c = t->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  int rc = seek_on_path(t, static_cast<const unsigned char*>(key));
  if (rc == -2) rc = tag_seek(t, key, unsigned(t->header.key_len));
  if (rc < 0) return -1;
  if (rc == 0 && t->header.unique_flag) {
    if (t->unique_action == e_unique)
      return code_error_ex(c, e_unique, "File Name:", t->index->file.name, nullptr);
    if (t->unique_action == DB_UNIQUE || t->unique_action == DB_UNIQUE_KEEP_FIRST)
      return t->unique_action;
  }
  if (t->filter && !t->filter_flag) {
    t->filter_flag = 1;
    t->filter_flag_changed = 1;
  }
  mark_changed(t);
  rc = insert_up(t, static_cast<const unsigned char*>(key), recno);
  // The tag stays on the new key while the path is whole (no split) and
  // the index ours, for the next key added.
  DbBlock* b = bottom(t);
  if (rc < 0 || !b || !block_is_leaf(b) || !held_by_us(t)) tag_unposition(t);
  return rc < 0 ? -1 : 0;
}

int tag_remove(DbTag* t, const void* key, long recno) {
  DB_ENGINE* c = t->context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  int rc = tag_go(t, key, recno);
  if (rc > 0) rc = find_by_walking(t, key, recno);
  if (rc < 0) return -1;
  if (rc != 0) {
    tag_unposition(t);
    return DB_NO_RECORD;
  }
  mark_changed(t);
  rc = remove_current(t);
  tag_unposition(t);
  return rc < 0 ? -1 : 0;
}

int tag_add_record(DbTag* t, long recno) {
  DbAssertLocked(t->context);
  int pass = tag_filter_passes(t);
  if (pass <= 0) return pass < 0 ? -1 : 0;
  unsigned char key[512];
  if (mdx_record_key(t, key) < 0) return -1;
  return tag_add(t, key, recno);
}

int tag_remove_record(DbTag* t, long recno) {
  DbAssertLocked(t->context);
  unsigned char key[512];
  if (mdx_record_key(t, key) < 0) return -1;
  return tag_remove(t, key, recno);
}
