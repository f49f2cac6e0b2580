#include "platform/global_memory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

struct Block {
  char* data;
  size_t size;
  int locks;
};

std::mutex g_mu;
std::unordered_map<HGLOBAL, Block>& blocks() {
  static std::unordered_map<HGLOBAL, Block> b;
  return b;
}
uintptr_t g_next = 0x1000;

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, size_t n) {
  char* p = static_cast<char*>(flags & GMEM_ZEROINIT ? std::calloc(n ? n : 1, 1) : std::malloc(n ? n : 1));
  if (!p) return nullptr;
  std::lock_guard lock(g_mu);
  HGLOBAL h = reinterpret_cast<HGLOBAL>(g_next);
  g_next += 16;
  blocks()[h] = Block{p, n, 0};
  return h;
}

void* GlobalLock(HGLOBAL h) {
  std::lock_guard lock(g_mu);
  auto it = blocks().find(h);
  if (it == blocks().end()) return nullptr;
  ++it->second.locks;
  return it->second.data;
}

BOOL GlobalUnlock(HGLOBAL h) {
  std::lock_guard lock(g_mu);
  auto it = blocks().find(h);
  if (it == blocks().end() || it->second.locks == 0) return FALSE;
  return --it->second.locks > 0;
}

size_t GlobalSize(HGLOBAL h) {
  std::lock_guard lock(g_mu);
  auto it = blocks().find(h);
  return it == blocks().end() ? 0 : it->second.size;
}

HGLOBAL GlobalFree(HGLOBAL h) {
  std::lock_guard lock(g_mu);
  auto it = blocks().find(h);
  if (it == blocks().end()) return h;
  std::free(it->second.data);
  blocks().erase(it);
  return nullptr;
}
