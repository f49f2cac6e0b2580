// The sort engine: fixed-length entries (key, 4-byte sequence number, info)
// are gathered in memory units, sorted in memory, spilled as sorted runs to a
// temporary file when memory is full, and merged when read back. Equal keys
// come back in ascending sequence-number order.
#pragma once

#include <cstdint>

#include "engine/file.h"
#include "engine/pool.h"

struct DB_ENGINE;

using DbSortCompare = int (*)(const void* a, const void* b, unsigned len);

// One spilled run while merging: its buffer, the entries in it and the part
// of the temporary file still to read ([next, end), next -1 when used up).
struct DbSortRun {
  char* buffer;
  unsigned pos;
  unsigned len;
  long next;
  long end;
  int number;
};

struct DbSort {
  DbFile file;
  int has_file;
  DbSeqWrite writer;
  char* writer_buf;
  DbSortRun* runs;
  int live_runs;
  int runs_written;
  long* run_starts;  // file offset of every run, plus the end of the last one
  int run_starts_cap;
  char** pointers;
  long next_read;
  long count;
  long slots;
  long pointer_capacity;
  long pointer_limit;  // what the pointer array may grow to
  DbMemPool* units;
  char** unit_list;
  int unit_count;
  int unit_list_cap;
  long per_unit;
  char* unit_cur;   // the unit entries are being carved from
  long unit_taken;  // entries carved from it so far
  long per_run_buffer;
  unsigned run_buffer_size;
  unsigned sort_len;
  unsigned info_len;
  unsigned info_offset;
  unsigned entry_len;
  int may_grow;
  int reading;
  DbSortCompare compare;
  // What the in-memory sort may assume of `compare` (DbSortOrder); it holds
  // only while compare is still order_compare.
  int key_order;
  DbSortCompare order_compare;
  // Sequence numbers came in rising order so far (a rebuild's record
  // numbers): a stable sort by key then gives the order by number for free.
  int seq_rising;
  uint32_t last_seq;
  DB_ENGINE* context;
};

// Orders a compare routine may promise. Bytes: as memcmp over the sort
// length. Packed: as packed_compare over numeric keys made by the key
// routines (nothing but zeros past their digits).
enum DbSortOrder { DB_SORT_ORDER_OTHER = 0, DB_SORT_ORDER_BYTES = 1, DB_SORT_ORDER_PACKED = 2 };

int sort_init(DbSort* s, DB_ENGINE* c, unsigned sort_len, unsigned info_len);
int sort_put(DbSort* s, uint32_t seq, const void* key, const void* info);
int sort_get_init(DbSort* s);
// 0 an entry, 1 all delivered (the state is then freed), -1 error.
int sort_get(DbSort* s, uint32_t* seq, char** key, char** info);
void sort_free(DbSort* s);
// Sets the compare routine and the order it keeps (sort_init sets memcmp, bytes).
void sort_set_compare(DbSort* s, DbSortCompare compare, int key_order);

// An entry (key, then its 4-byte sequence number) with room for the
// leading part of its key as a number ordered as the keys are.
struct DbSortKeyed {
  uint64_t prefix;
  char* entry;
};
// Puts the n entries in key order, equal keys by sequence number; `order`
// is what `compare` promises (DbSortOrder), seq_rising that the entries
// stand in rising sequence numbers. `scratch` (room for n, or null) lets
// keys in any order be sorted by their prefixes alone. True when the
// prefixes were set: keys whose prefixes differ then differ.
bool sort_keyed_in_order(DbSortKeyed* keyed, long n, DbSortKeyed* scratch, unsigned sort_len,
                         DbSortCompare compare, int order, int seq_rising);

// The default order: bytes over the sort length.
int sort_compare_bytes(const void* a, const void* b, unsigned len);
