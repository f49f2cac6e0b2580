// The block cache of index files: the in-memory index, tag and block
// records, block buffers read and written whole, the images of blocks kept
// between reads, the entries inside a block, and the file's free blocks.
// The file layout is described in mdx_format.md beside this file.
#pragma once

#include <cstdint>

#include "engine/bytes.h"
#include "engine/engine.h"
#include "engine/file.h"
#include "engine/lock.h"
#include "engine/pool.h"

struct DbDataFile;
struct DbExpr;
struct DbIndexFile;
struct DbTag;

enum : int {
  DB_MDX_HEADER_LEN = 48,
  DB_MDX_TAG_TABLE = 544,
  DB_MDX_TAG_ENTRY = 32,
  DB_MDX_MAX_TAGS = 47,
  DB_MDX_EXPR_LEN = 220,
  DB_MDX_FILTER_AT = 762,
  DB_UNIQUE_KEEP_FIRST = 25,  // unique action: drop later duplicates silently
  DB_MDX_MAX_KEY = 256,  // longest key; work buffers hold twice that
  // Every branch has two children at least, so a tree of 32-bit block
  // numbers is never deeper than this.
  DB_TAG_MAX_DEPTH = 34,
};

using DbKeyCompare = int (*)(const void* a, const void* b, unsigned len);
// The order of a tag's keys as block seeks know it: character keys compare
// as bytes, numeric ones as packed numbers; others go through the compare routine.
enum DbKeyOrder : unsigned char {
  DB_ORDER_ROUTINE,
  DB_ORDER_BYTES,
  DB_ORDER_BYTES_DESC,
  DB_ORDER_PACKED,
  DB_ORDER_PACKED_DESC,
};
// Text (date or number) to key; the key goes to `key`, which holds 12 bytes at least.
using DbValueToKey = void (*)(unsigned char* key, const char* text, int len);
using DbDoubleToKey = void (*)(unsigned char* key, double value);

// The decoded 24 bytes at the start of a tag's header block.
struct DbTagHeader {
  long root;  // -1 when not read yet
  unsigned char key_format;
  unsigned char key_type;
  int key_len;
  int keys_max;
  int date_flag;
  int group_len;
  unsigned char version;
  int unique_flag;
};

// One block buffer; the block image follows the record. What a seek reads
// of it lies in its first 64 bytes.
struct DbBlock {
  DbNode link;  // in the tag's buffers
  DbTag* tag;
  long number;  // -1 when the buffer holds no block
  unsigned char* image;
  int cur;
  // The seeks since the image came or changed, until its order prefixes are
  // made (block_order).
  int order_seeks;
  signed char changed;
  signed char checked;  // the image passed the checks that need only it (entry count, pointers)
  // A leaf's last key was found equal to its parent's entry for it. Only our
  // own changes, which keep that so, touch the image until another is read.
  signed char fits_parent;
  signed char on_path;  // one of the tag's path; else a spare
  signed char recent;   // on the path since the spares were last swept for one to give up
  // The order prefixes of the keys before the image: 1 made for this image,
  // 0 not yet, -1 the keys do not allow them (the seeks compare the keys).
  signed char order_ready;
  // With the prefixes made: the block is a leaf; every key lies whole in its
  // prefix (an equal prefix is an equal key); the prefixes are kept narrow
  // (order_step 2 or 4 bytes a key, 0 when not), as distances from the
  // first in units of 2^order_shift; behind narrow ones a leaf keeps a copy
  // of its pointers, a branch where it last found each child's buffer.
  bool order_leaf;
  bool order_exact;
  unsigned char order_step;
  unsigned char order_shift;
  int order_count;  // with the prefixes made: the block's keys
};
static_assert(sizeof(DbBlock) <= 64, "a seek reads one line of a buffer's record");

// A buffer under its block number (block null: the slot is free).
struct DbSpareSlot {
  long number;
  DbBlock* block;
};

struct DbTag {
  DbNode link;
  DbExpr* expr;
  DbExpr* filter;
  int unique_action;  // 20, 25 or -340; kept while the tag is not unique too
  DbIndexFile* index;
  DbKeyCompare compare;
  DbKeyOrder key_order;  // agrees with compare
  DbValueToKey value_to_key;
  DbDoubleToKey double_to_key;
  DB_ENGINE* context;
  char name[11];
  int filter_flag;
  // The blocks from the root down to the current (bottom) one. They stay
  // among the buffers, found by number like the spares.
  DbBlock* path[DB_TAG_MAX_DEPTH];
  int depth;
  DbList buffers;  // every block buffer of the tag, on the path or spare; newest first
  DbSpareSlot* spare_table;  // the buffers by block number (null: searched in turn)
  long spare_slots;          // of spare_table, a power of two
  long spare_used;
  int spare_max;             // its share of the file's spares (more while the others keep less)
  unsigned char order_step;  // of the last block whose order prefixes were made
  unsigned long used_at;     // the file's tag_moves when a block of it was last sought
  int blocks_dirty;      // some block of the buffers changed since the last flush
  DbTagHeader header;
  long header_pos;
  int header_changed;
  int filter_flag_changed;
  int version_changed;
  // The walk in progress: its direction, the leaves it stepped onto since
  // the tag was last positioned, and how many it may meet (the file's blocks).
  int walk_dir;
  long walk_leaves;
  long walk_cap;
};

struct DbIndexFile {
  DbNode link;
  DbFile file;
  DbDataFile* data;
  DB_ENGINE* context;
  DbList tags;
  unsigned char header[DB_MDX_HEADER_LEN];
  int locked;
  int header_changed;
  DbMemPool* block_pool;
  int block_size;
  int blocks_per_page;
  int production;
  int probe_locked;  // locked only to tell damage from another station's writing
  int nav_depth;     // movements running on this index (the outermost releases a probe lock)
  unsigned char* refresh_buf;  // the file's front as the last check read it
  unsigned refresh_size;
  // The front mapped (os_shim's view), so the check costs no read where the
  // file system lets every process share one cache; 0 while there is none.
  intptr_t front_view;
  int front_view_refused;  // not on such a file system: reads only
  // Images of blocks as last read or written, valid for one generation: the
  // generation moves whenever the file may have changed under us (another
  // station's change seen, a restart, a rebuild).
  unsigned char* block_cache;
  long cache_slots;  // of block_cache, a power of two
  unsigned cache_generation;
  unsigned long tag_moves;  // descents into a block by any of the tags, for the tags' used_at
  unsigned long blocks_read;  // blocks the tags read in rather than found in their buffers
};

// Forgets every cached block image of the index file.
void index_cache_forget(DbIndexFile* x);

// Block buffers and the blocks' entries.
DbBlock* block_alloc(DbTag* t, long number);
void block_free(DbBlock* b);
int block_flush(DbBlock* b);
int block_read(DbBlock* b, long number);  // 0, 1 cut off by the file's end, -1
// Remembers with the cached image that it passed those checks.
void block_mark_checked(DbBlock* b);
// Our own change to the block's image: written at the next flush; the order
// prefixes made from the image before are void.
inline void block_changed(DbBlock* b) {
  b->changed = 1;
  b->order_ready = 0;
  b->order_seeks = 0;
}
// Room in each buffer, before its image, for its keys' order prefixes (8
// bytes a key), or for narrow ones (4 bytes a key at most, and 8 more) with
// 4 bytes behind them for each pointer: both fit the blocks of keys of 12
// bytes and more (numbers among them). A whole number of cache lines.
inline int block_order_room(int block_size) { return block_size / 2 + 64; }

void block_insert(DbBlock* b, const void* key, long pointer);
void block_remove(DbBlock* b);
int block_seek(DbBlock* b, const void* key, unsigned len);
int block_skip(DbBlock* b, int n);
// The entries of a block: a count, then groups of a pointer and a key.
// Inline: every descent and every key compared goes through them.
inline int block_keys(const DbBlock* b) { return int(le_get32(b->image)); }
inline unsigned char* block_entry(const DbBlock* b, int i) {
  return b->image + 8 + size_t(i) * size_t(b->tag->header.group_len);
}
inline unsigned char* block_key(const DbBlock* b, int i) { return block_entry(b, i) + 4; }
inline long block_pointer(const DbBlock* b, int i) { return long(le_get32(block_entry(b, i))); }
// A leaf keeps a zero pointer after its last entry; a branch keeps its last child there.
inline int block_is_leaf(const DbBlock* b) { return block_pointer(b, block_keys(b)) == 0; }
// The same for moves: from the record and the copy behind the prefixes when
// the block has them, so a seek reads only those lines of the block.
inline bool block_is_leaf_seen(const DbBlock* b) { return b->order_ready == 1 ? b->order_leaf : block_is_leaf(b); }
inline int block_keys_seen(const DbBlock* b) { return b->order_ready == 1 ? b->order_count : block_keys(b); }
// The order prefixes lie between the record and the image: 8 bytes each,
// or narrow (the first prefix, then a distance of `step` bytes for each)
// followed by 4 bytes for each of the block's pointers (one more than its
// keys: a branch's last child, a leaf's zero): a leaf's copy of them, a
// branch's hints to its children's buffers.
inline uint64_t* block_order(const DbBlock* b) {
  return reinterpret_cast<uint64_t*>(const_cast<DbBlock*>(b) + 1);
}
inline size_t block_order_bytes(int keys, int step) {
  return step ? (8 + size_t(keys) * size_t(step) + 3) / 4 * 4 : size_t(keys) * 8;
}
// The 4 bytes a pointer behind the narrow prefixes of a block of `keys` keys.
inline size_t block_pointer_bytes(int keys) { return 4 * size_t(keys + 1); }
inline uint32_t* block_order_pointers(const DbBlock* b) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(block_order(b)) +
                                     block_order_bytes(b->order_count, b->order_step));
}
// Behind its narrow prefixes: a leaf's copy of its pointers (record numbers),
// or a branch's hints.
inline bool block_has_pointer_copy(const DbBlock* b) { return b->order_ready == 1 && b->order_step && b->order_leaf; }
inline bool block_has_hints(const DbBlock* b) { return b->order_ready == 1 && b->order_step && !b->order_leaf; }
inline long block_pointer_seen(const DbBlock* b, int i) {
  return block_has_pointer_copy(b) ? long(block_order_pointers(b)[i]) : block_pointer(b, i);
}
// A branch's hint to the buffer that last held its child i: the distance
// from the branch's own buffer in cache lines (buffers of one file come from
// its own pool, whose memory lasts as long as they do), 0 for none. A hint
// only says where to look: the buffer found there holds the child only while
// it is the tag's and bears the child's number.
inline DbBlock* block_hinted_child(const DbBlock* b, int i) {
  if (!block_has_hints(b)) return nullptr;
  int32_t lines = int32_t(block_order_pointers(b)[i]);
  return lines ? reinterpret_cast<DbBlock*>(const_cast<char*>(reinterpret_cast<const char*>(b)) + ptrdiff_t(lines) * 64)
               : nullptr;
}
inline void block_hint_child(DbBlock* b, int i, const DbBlock* child) {
  if (!block_has_hints(b)) return;
  ptrdiff_t lines = (reinterpret_cast<const char*>(child) - reinterpret_cast<const char*>(b)) / 64;
  uint32_t hint = lines >= INT32_MIN && lines <= INT32_MAX ? uint32_t(int32_t(lines)) : 0;
  if (block_order_pointers(b)[i] != hint) block_order_pointers(b)[i] = hint;
}
int block_last_position(const DbBlock* b);
// Block numbers in the file: the free list first, else the end of the file.
long index_block_take(DbIndexFile* x);
int index_block_give(DbIndexFile* x, long number);
