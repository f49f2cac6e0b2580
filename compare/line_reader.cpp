// Line reader of the compare library (see line_reader.h for the text rules).
#include "compare/line_reader.h"

#include "compare/big_alloc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <utility>

namespace {

// One pass over bytes just read, while they are in the cache: a NUL would
// end the line's text early, so it becomes the section sign; LFs are counted
// so that the line tables can be sized before the lines are cut.
std::size_t ScanPiece(char* p, std::size_t size) {
  std::size_t lineEnds = 0, k = 0;
#ifdef __SSE2__
  const __m128i nul = _mm_setzero_si128(), lf = _mm_set1_epi8('\n'), section = _mm_set1_epi8('\xA7');
  while (k + 16 <= size) {
    // Per-byte counters of LFs, summed before any can pass 255.
    __m128i counts = _mm_setzero_si128();
    for (int round = 0; round < 255 && k + 16 <= size; ++round, k += 16) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
      const __m128i isNul = _mm_cmpeq_epi8(v, nul);
      if (_mm_movemask_epi8(isNul) != 0) {
        v = _mm_or_si128(_mm_and_si128(isNul, section), _mm_andnot_si128(isNul, v));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + k), v);
      }
      counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(v, lf));
    }
    const __m128i sums = _mm_sad_epu8(counts, nul);
    lineEnds += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#endif
  for (; k < size; ++k) {
    if (p[k] == '\0') p[k] = '\xA7';
    lineEnds += p[k] == '\n';
  }
  return lineEnds;
}

}  // namespace

void TLineEnds::Load() {
  mask_ = 0;
  const char* p = data_ + base_;
  if (size_ - base_ >= 64) {
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    for (int k = 0; k < 4; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
      mask_ |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf))))
               << (16 * k);
    }
    return;
#endif
  }
  const std::size_t left = std::min<std::size_t>(size_ - base_, 64);
  for (std::size_t k = 0; k < left; ++k)
    if (p[k] == '\n') mask_ |= std::uint64_t{1} << k;
}

TByteBuffer::~TByteBuffer() { BigFree(data_, capacity_); }

void TByteBuffer::Reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  char* grown = static_cast<char*>(BigAllocate(capacity));
  if (size_ > 0) std::memcpy(grown, data_, size_);
  BigFree(data_, capacity_);
  data_ = grown;
  capacity_ = capacity;
}

TMyFile::TMyFile(std::string name) : name_(std::move(name)) {}

TMyFile::~TMyFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool TMyFile::OpenRead() {
  if (fd_ >= 0) return true;
  fd_ = ::open(name_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  if (S_ISREG(st.st_mode)) {
    regular_ = true;
    sizeHint_ = static_cast<std::size_t>(st.st_size);
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  return true;
}

bool TMyFile::Rewind() {
  if (fd_ < 0 || !regular_ || ::lseek(fd_, 0, SEEK_SET) != 0) return false;
  lineEnds_ = 0;
  return true;
}

bool TMyFile::Read(char* to, std::size_t size, std::size_t& got) {
  if (!ReadBytes(to, size, got)) return false;
  lineEnds_ += ScanPiece(to, got);
  return true;
}

bool TMyFile::ReadBytes(char* to, std::size_t size, std::size_t& got) {
  got = 0;
  if (fd_ < 0) return false;
  while (got < size) {
    const ssize_t n = ::read(fd_, to + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

bool TMyFile::ReadAll(TByteBuffer& data, std::size_t piece) {
  // One byte more than the known size, so the end is seen without a regrow.
  data.Reserve(data.size() + sizeHint_ + 1);
  for (;;) {
    if (data.size() == data.capacity()) data.Reserve(data.capacity() * 2 + piece);
    // Pieces small enough to be still in the cache when their NULs are replaced.
    const std::size_t room = std::min(data.capacity() - data.size(), piece);
    std::size_t got = 0;
    if (!Read(data.data() + data.size(), room, got)) return false;
    if (got == 0) return true;
    data.resize(data.size() + got);
  }
}
