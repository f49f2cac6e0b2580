// Memory for the engine: the zeroing allocator, circular doubly-linked lists,
// pools of fixed-size units (data files, index files, tags, blocks, ...) and
// bit-flag sets for query bitmaps.
#pragma once

#include <cstddef>

struct DB_ENGINE;

// Every list node starts with these two links.
struct DbNode {
  DbNode* next;
  DbNode* prev;
};

// Circular list: last->next is the first node; empty when last is null.
struct DbList {
  DbNode* last;
  DbNode* selected;
  int count;
};

void list_add(DbList* list, void* node);
void list_add_after(DbList* list, void* anchor, void* node);
void list_add_before(DbList* list, void* anchor, void* node);
void* list_first(const DbList* list);
void* list_last(const DbList* list);
void* list_next(const DbList* list, void* node);
void* list_prev(const DbList* list, void* node);
void list_remove(DbList* list, void* node);
void* list_pop(DbList* list);
int list_contains(const DbList* list, const void* node);

// Allocator: memory is always zeroed; mem_free(nullptr) is ignored.
void* mem_alloc(size_t size);
void* mem_alloc_err(DB_ENGINE* c, size_t size);  // reports -920 on failure
void mem_free(void* p);

struct DbMemPool {
  DbNode link;
  DbList blocks;      // memory blocks of this pool
  DbList free_units;  // units ready to be handed out
  DB_ENGINE* context;
  int first_count;
  unsigned unit_size;
  int expand_count;
  int use_count;  // -1 for a private pool
};

DbMemPool* mem_pool_create(DB_ENGINE* c, int first_count, unsigned unit_size, int expand_count,
                           int is_private);
// Creates *pool on first use, then takes a unit.
void* mem_pool_alloc(DB_ENGINE* c, DbMemPool** pool, int first_count, unsigned unit_size,
                     int expand_count, int is_private);
void* mem_pool_take(DbMemPool* pool, DB_ENGINE* c);
// The same without clearing the unit: for large units whose user writes
// every byte it reads (a sort's entries), so untouched memory stays untouched.
void* mem_pool_take_uncleared(DbMemPool* p, DB_ENGINE* c);
void mem_pool_give(DbMemPool* pool, void* unit);
void mem_pool_release(DbMemPool* pool);
void mem_pool_release_all();

// Bit-flag set; with `inverted` set it stands for the complement of its bits.
struct DbFlags {
  DB_ENGINE* context;
  unsigned char* bits;
  unsigned long max_index;
  int inverted;
};

int flag_init(DbFlags* f, DB_ENGINE* c, unsigned long n);
void flag_free(DbFlags* f);
int flag_set(DbFlags* f, unsigned long i);
int flag_reset(DbFlags* f, unsigned long i);
int flag_is_set(DbFlags* f, unsigned long i);
int flag_set_range(DbFlags* f, unsigned long first, unsigned long count);
int flag_all_set(DbFlags* f, unsigned long from, unsigned long to);
int flag_range_readable(DbFlags* f, unsigned long from, unsigned long to);
void flag_set_all(DbFlags* f);
void flag_invert(DbFlags* f);
void flag_and(DbFlags* a, const DbFlags* b);
void flag_or(DbFlags* a, const DbFlags* b);
