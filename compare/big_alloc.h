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
#include <cstdint>
#include <utility>
#include <vector>

void* BigAllocate(std::size_t bytes);  // throws std::bad_alloc
// The same, with every byte 0. Large blocks are fresh pages, zero already,
// so only the pages that are used cost memory and time.
void* BigAllocateZeroed(std::size_t bytes);
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

// A table of 64-bit words, all 0 at first (from BigAllocateZeroed).
class TZeroedWords {
 public:
  TZeroedWords() = default;
  explicit TZeroedWords(std::size_t size)
      : words_(static_cast<std::uint64_t*>(BigAllocateZeroed(size * sizeof(std::uint64_t)))), size_(size) {}
  ~TZeroedWords() { BigFree(words_, size_ * sizeof(std::uint64_t)); }
  TZeroedWords(TZeroedWords&& other) noexcept : words_(other.words_), size_(other.size_) {
    other.words_ = nullptr;
    other.size_ = 0;
  }
  TZeroedWords& operator=(TZeroedWords&& other) noexcept {
    std::swap(words_, other.words_);
    std::swap(size_, other.size_);
    return *this;
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::uint64_t& operator[](std::size_t k) { return words_[k]; }
  const std::uint64_t& operator[](std::size_t k) const { return words_[k]; }
  const std::uint64_t* begin() const { return words_; }
  const std::uint64_t* end() const { return words_ + size_; }

 private:
  std::uint64_t* words_ = nullptr;
  std::size_t size_ = 0;
};

#endif
