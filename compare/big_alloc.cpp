// Large blocks in huge pages (see big_alloc.h).
#include "compare/big_alloc.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t kBigBlock = std::size_t{1} << 20;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUseHeap = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUseHeap = true;
#else
constexpr bool kUseHeap = false;
#endif
#else
constexpr bool kUseHeap = false;
#endif

std::size_t Rounded(std::size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

}  // namespace

void* BigAllocate(std::size_t bytes) {
  if (kUseHeap || bytes < kBigBlock) return ::operator new(bytes);
  const std::size_t size = Rounded(bytes);
  if (size < bytes) throw std::bad_alloc();
  // Map a huge page more than needed and cut it back to an aligned block.
  void* mapped = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned > start) munmap(mapped, aligned - start);
  if (const std::size_t tail = start + kHugePage - aligned; tail > 0)
    munmap(reinterpret_cast<void*>(aligned + size), tail);
  madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

void* BigAllocateZeroed(std::size_t bytes) {
  void* block = BigAllocate(bytes);
  if (kUseHeap || bytes < kBigBlock) std::memset(block, 0, bytes);
  return block;
}

void BigFree(void* block, std::size_t bytes) {
  if (!block) return;
  if (kUseHeap || bytes < kBigBlock) {
    ::operator delete(block);
    return;
  }
  munmap(block, Rounded(bytes));
}
