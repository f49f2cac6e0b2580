// Pools of fixed-size units: blocks of units are allocated as the pool grows
// and freed only when the pool's last user releases it. Pools of one unit
// size are shared unless created private.
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "engine/convert.h"
#include "engine/engine.h"
#include "engine/pool.h"

namespace {

// Pool records come from blocks of 10; shared by every context.
struct PoolRecordBlock {
  DbNode link;
  DbMemPool records[10];
};

std::mutex pools_mutex;
DbList pools_used;
DbList pools_free;
DbList pool_record_blocks;

// A block of units: its link, then the units.
struct UnitBlock {
  DbNode link;
};

size_t unit_stride(const DbMemPool* p) {
  size_t s = p->unit_size < sizeof(DbNode) ? sizeof(DbNode) : p->unit_size;
  return (s + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) *
         alignof(std::max_align_t);
}

constexpr size_t kLine = 64;

// Units of whole cache lines start on a line (an index block buffer: its
// record then takes one line, and what a seek reads of it the fewest).
bool line_units(const DbMemPool* p) { return p->unit_size % kLine == 0; }

size_t block_header(const DbMemPool* p) {
  size_t align = line_units(p) ? kLine : alignof(std::max_align_t);
  return (sizeof(UnitBlock) + align - 1) / align * align;
}

void* unit_block_alloc(const DbMemPool* p, size_t bytes) {
  if (!line_units(p)) return std::malloc(bytes);
  return std::aligned_alloc(kLine, (bytes + kLine - 1) / kLine * kLine);
}

void free_blocks(DbMemPool* p) {
  while (void* b = list_pop(&p->blocks)) mem_free(b);
  p->free_units = DbList{};
}

}  // namespace

void* mem_alloc(size_t size) { return std::calloc(1, size ? size : 1); }

void* mem_alloc_err(DB_ENGINE* c, size_t size) {
  void* p = mem_alloc_retry(c, size);
  if (!p && c) code_error(c, e_memory, nullptr);
  return p;
}

void mem_free(void* p) { std::free(p); }

DbMemPool* mem_pool_create(DB_ENGINE* c, int first_count, unsigned unit_size, int expand_count,
                           int is_private) {
  std::lock_guard<std::mutex> g(pools_mutex);
  if (!is_private) {
    for (auto* p = static_cast<DbMemPool*>(list_first(&pools_used)); p;
         p = static_cast<DbMemPool*>(list_next(&pools_used, p))) {
      if (p->unit_size == unit_size && p->use_count > 0) {
        if (first_count > p->first_count) p->first_count = first_count;
        if (expand_count > p->expand_count) p->expand_count = expand_count;
        p->use_count++;
        return p;
      }
    }
  }
  if (!pools_free.last) {
    auto* blk = static_cast<PoolRecordBlock*>(mem_alloc(sizeof(PoolRecordBlock)));
    if (!blk) {
      if (c) c->error_code = e_memory;
      return nullptr;
    }
    list_add(&pool_record_blocks, blk);
    for (auto& r : blk->records) list_add(&pools_free, &r);
  }
  auto* p = static_cast<DbMemPool*>(list_pop(&pools_free));
  std::memset(static_cast<void*>(p), 0, sizeof *p);
  list_add(&pools_used, p);
  p->context = c;
  p->first_count = first_count < 1 ? 1 : first_count;
  p->unit_size = unit_size;
  p->expand_count = expand_count < 1 ? 1 : expand_count;
  p->use_count = is_private ? -1 : 1;
  return p;
}

void* mem_pool_alloc(DB_ENGINE* c, DbMemPool** pool, int first_count, unsigned unit_size,
                     int expand_count, int is_private) {
  if (c && c->error_code < 0) return nullptr;
  if (!*pool) {
    *pool = mem_pool_create(c, first_count, unit_size, expand_count, is_private);
    if (!*pool) return nullptr;
  }
  return mem_pool_take(*pool, c);
}

namespace {

void* take(DbMemPool* p, DB_ENGINE* c, bool clear) {
  if (!p || (c && c->error_code < 0)) return nullptr;
  std::lock_guard<std::mutex> g(pools_mutex);
  if (!p->free_units.last) {
    int n = p->blocks.last ? p->expand_count : p->first_count;
    size_t stride = unit_stride(p);
    // Not cleared here: a take clears what its unit needs, and a sort's
    // megabyte of units would otherwise be written through at every sort.
    char* blk = static_cast<char*>(unit_block_alloc(p, block_header(p) + stride * n));
    if (!blk) {
      if (c) c->error_code = e_memory;
      return nullptr;
    }
    list_add(&p->blocks, blk);
    for (int i = 0; i < n; i++) list_add(&p->free_units, blk + block_header(p) + stride * i);
  }
  void* u = list_first(&p->free_units);
  list_remove(&p->free_units, u);
  std::memset(u, 0, clear ? p->unit_size : sizeof(DbNode));
  return u;
}

}  // namespace

void* mem_pool_take(DbMemPool* p, DB_ENGINE* c) { return take(p, c, true); }

void* mem_pool_take_uncleared(DbMemPool* p, DB_ENGINE* c) { return take(p, c, false); }

void mem_pool_give(DbMemPool* p, void* unit) {
  if (!p || !unit) return;
  std::lock_guard<std::mutex> g(pools_mutex);
  list_add(&p->free_units, unit);
}

void mem_pool_release(DbMemPool* p) {
  if (!p) return;
  std::lock_guard<std::mutex> g(pools_mutex);
  if (p->use_count > 0) p->use_count--;
  else p->use_count = 0;  // a private pool has one user
  if (p->use_count >= 1) return;
  free_blocks(p);
  list_remove(&pools_used, p);
  list_add(&pools_free, p);
}

void mem_pool_release_all() {
  std::lock_guard<std::mutex> g(pools_mutex);
  while (auto* p = static_cast<DbMemPool*>(list_pop(&pools_used))) free_blocks(p);
  while (void* b = list_pop(&pool_record_blocks)) mem_free(b);
  pools_used = pools_free = pool_record_blocks = DbList{};
}
