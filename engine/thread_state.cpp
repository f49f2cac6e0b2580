#include "engine/thread_state.h"

#include "engine/convert.h"
#include "engine/pool.h"

#include <atomic>
#include <utility>
#include <vector>

namespace {

std::atomic<uint64_t> g_next_id{1};

// This thread's codes by context; a process has one context, tests a few.
thread_local std::vector<std::pair<uint64_t, int>> t_codes;

int* slot(uint64_t id, bool create) {
  for (auto& [key, code] : t_codes)
    if (key == id) return &code;
  if (!create) return nullptr;
  t_codes.emplace_back(id, 0);
  return &t_codes.back().second;
}

}  // namespace

DbPendingError::DbPendingError() : id_(g_next_id.fetch_add(1)) {}

DbPendingError::DbPendingError(const DbPendingError& other) : id_(g_next_id.fetch_add(1)) {
  *this = static_cast<int>(other);
}

DbPendingError& DbPendingError::operator=(int code) {
  if (int* p = slot(id_, code != 0)) {
    if ((*p == 0) != (code == 0)) pending_.fetch_add(code ? 1 : -1, std::memory_order_relaxed);
    *p = code;
  }
  return *this;
}

int DbPendingError::stored() const {
  const int* p = slot(id_, false);
  return p ? *p : 0;
}

namespace {

struct Buffer {
  uint64_t id;
  char* data;
  unsigned size;
};

// Frees this thread's buffers when the thread ends.
struct Buffers {
  std::vector<Buffer> list;
  ~Buffers() {
    for (Buffer& b : list) mem_free(b.data);
  }
};

thread_local Buffers t_buffers;

Buffer* buffer(uint64_t id, bool create) {
  for (Buffer& b : t_buffers.list)
    if (b.id == id) return &b;
  if (!create) return nullptr;
  t_buffers.list.push_back({id, nullptr, 0});
  return &t_buffers.list.back();
}

}  // namespace

DbWorkBuffer::DbWorkBuffer() : id_(g_next_id.fetch_add(1)) {}

DbWorkBuffer::DbWorkBuffer(const DbWorkBuffer&) : id_(g_next_id.fetch_add(1)) {}

char* DbWorkBuffer::grow(DB_ENGINE* c, unsigned size) {
  Buffer* b = buffer(id_, true);
  if (b->data && size <= b->size) return b->data;
  if (mem_grow(c, &b->data, &b->size, size) < 0) return nullptr;
  return b->data;
}

char* DbWorkBuffer::data() const {
  const Buffer* b = buffer(id_, false);
  return b ? b->data : nullptr;
}

void DbWorkBuffer::release() {
  if (Buffer* b = buffer(id_, false)) {
    mem_free(b->data);
    b->data = nullptr;
    b->size = 0;
  }
}
