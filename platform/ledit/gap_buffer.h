// A gap buffer: one block of elements with a hole (the gap) at the place
// edited last. An insert or erase moves the gap there first, so a run of
// edits close together (typing, or a replace-all walking forward through
// the text) moves only the elements between two edits. Growth adds a
// sixteenth of the size, not a doubling, so a 100 MB text keeps little
// slack.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>

namespace plat::ledit {

template <class T>
class GapBuffer {
  static_assert(std::is_trivially_copyable_v<T>, "elements are moved with memmove");

 public:
  GapBuffer() = default;
  GapBuffer(const GapBuffer&) = delete;
  GapBuffer& operator=(const GapBuffer&) = delete;
  GapBuffer(GapBuffer&&) noexcept = default;
  GapBuffer& operator=(GapBuffer&&) noexcept = default;

  size_t size() const { return cap_ - gapLen_; }
  bool empty() const { return size() == 0; }

  T at(size_t i) const {
    assert(i < size());
    return i < gapAt_ ? data_[i] : data_[i + gapLen_];
  }
  T& ref(size_t i) {
    assert(i < size());
    return i < gapAt_ ? data_[i] : data_[i + gapLen_];
  }

  void insert(size_t at, const T* src, size_t n) {
    assert(at <= size());
    if (n == 0) return;
    reserve_gap(n);
    move_gap(at);
    std::memcpy(data_.get() + gapAt_, src, n * sizeof(T));
    gapAt_ += n;
    gapLen_ -= n;
  }
  void erase(size_t at, size_t n) {
    assert(at + n <= size());
    if (n == 0) return;
    if (at == gapAt_) {
      gapLen_ += n;
    } else if (at + n == gapAt_) {
      gapAt_ = at;
      gapLen_ += n;
    } else {
      move_gap(at);
      gapLen_ += n;
    }
  }
  void clear() {
    gapAt_ = 0;
    gapLen_ = cap_;
  }

  // Copies n elements from position at into dst.
  void copy_out(size_t at, size_t n, T* dst) const {
    assert(at + n <= size());
    size_t first = at < gapAt_ ? std::min(n, gapAt_ - at) : 0;
    if (first) std::memcpy(dst, data_.get() + at, first * sizeof(T));
    if (n > first) std::memcpy(dst + first, data_.get() + at + first + gapLen_, (n - first) * sizeof(T));
  }

  // A pointer to n contiguous elements from position at; moves the gap out
  // of the way when the range straddles it.
  const T* range_pointer(size_t at, size_t n) {
    assert(at + n <= size());
    if (at + n <= gapAt_) return data_.get() + at;
    if (at >= gapAt_) return data_.get() + at + gapLen_;
    move_gap(at + n);
    return data_.get() + at;
  }
  // The two runs of elements either side of the gap, for writing out.
  const T* before_gap(size_t& n) const {
    n = gapAt_;
    return data_.get();
  }
  const T* after_gap(size_t& n) const {
    n = cap_ - gapAt_ - gapLen_;
    return data_.get() + gapAt_ + gapLen_;
  }

  // Makes room for n more elements without further growth; false when
  // the memory cannot be had (nothing changes then).
  // With exact, no slack is added (a text loaded whole, edited later).
  bool try_reserve(size_t n, bool exact = false) {
    if (gapLen_ >= n) return true;
    size_t want = size() + n;
    if (!exact) want += want / 16 + 1024;
    std::unique_ptr<T[]> fresh(new (std::nothrow) T[want]);
    if (!fresh) return false;
    size_t after = cap_ - gapAt_ - gapLen_;
    if (gapAt_) std::memcpy(fresh.get(), data_.get(), gapAt_ * sizeof(T));
    size_t newGap = want - gapAt_ - after;
    if (after) std::memcpy(fresh.get() + gapAt_ + newGap, data_.get() + gapAt_ + gapLen_, after * sizeof(T));
    data_ = std::move(fresh);
    cap_ = want;
    gapLen_ = newGap;
    return true;
  }
  // Gives back the slack of the gap beyond a reserve for edits (a
  // sixteenth, as growth adds, so the next edits need no copy of it all;
  // untouched, it holds no memory).
  void shrink() {
    size_t keep = size() / 16 + 1024;
    if (gapLen_ <= keep * 2) return;
    size_t want = size() + keep;
    std::unique_ptr<T[]> fresh(new (std::nothrow) T[want]);
    if (!fresh) return;
    size_t after = cap_ - gapAt_ - gapLen_;
    std::memcpy(fresh.get(), data_.get(), gapAt_ * sizeof(T));
    std::memcpy(fresh.get() + gapAt_ + keep, data_.get() + gapAt_ + gapLen_, after * sizeof(T));
    data_ = std::move(fresh);
    cap_ = want;
    gapLen_ = keep;
  }

 private:
  void reserve_gap(size_t n) {
    if (!try_reserve(n)) throw std::bad_alloc();
  }
  void move_gap(size_t at) {
    assert(at <= size());
    if (at == gapAt_) return;
    T* d = data_.get();
    if (at < gapAt_) {
      std::memmove(d + at + gapLen_, d + at, (gapAt_ - at) * sizeof(T));
    } else {
      std::memmove(d + gapAt_, d + gapAt_ + gapLen_, (at - gapAt_) * sizeof(T));
    }
    gapAt_ = at;
  }

  std::unique_ptr<T[]> data_;
  size_t cap_ = 0;
  size_t gapAt_ = 0;
  size_t gapLen_ = 0;
};

}  // namespace plat::ledit
