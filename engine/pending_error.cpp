#include "engine/pending_error.h"

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
  if (int* p = slot(id_, code != 0)) *p = code;
  return *this;
}

DbPendingError::operator int() const {
  const int* p = slot(id_, false);
  return p ? *p : 0;
}
