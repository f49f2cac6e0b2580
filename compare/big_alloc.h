// Memory for the large tables of one comparison (the old file's bytes, the
// per-line tables, the text index). A million-line comparison touches some
// hundred megabytes once and gives them back; in 4 KB pages that is tens of
// thousands of page faults, a large share of the whole run. Blocks of 1 MB
// and more are therefore taken straight from the system, aligned to 2 MB and
// marked for huge pages where the system has them; smaller ones come from
// the heap as usual. Under AddressSanitizer everything comes from the heap,
// so the sanitizer still sees every block.
#ifndef KV_COMPARE_BIG_ALLOC_H
#define KV_COMPARE_BIG_ALLOC_H

#include <cstddef>
#include <vector>

void* BigAllocate(std::size_t bytes);  // throws std::bad_alloc
void BigFree(void* block, std::size_t bytes);

template <class T>
struct TBigAllocator {
  using value_type = T;
  TBigAllocator() = default;
  template <class U>
  TBigAllocator(const TBigAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(BigAllocate(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) { BigFree(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const TBigAllocator<U>&) const {
    return true;
  }
};

template <class T>
using TBigVector = std::vector<T, TBigAllocator<T>>;

#endif
