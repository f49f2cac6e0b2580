// The distinct line texts of one comparison (see text_index.h).
#include "compare/text_index.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

namespace {

constexpr std::size_t kChunkSize = 1 << 20;
constexpr std::uint64_t kTagMask = 0xFFFFFFFF00000000u;

std::uint64_t Load8(const char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
std::uint64_t Load4(const char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// Folded 128-bit product: a fast mix whose high bits depend on every input bit.
std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
  const unsigned __int128 r = static_cast<unsigned __int128>(a) * b;
  return static_cast<std::uint64_t>(r) ^ static_cast<std::uint64_t>(r >> 64);
}

constexpr std::uint64_t kK0 = 0xa0761d6478bd642fu, kK1 = 0xe7037ed1a0b428dbu, kK2 = 0x8ebc6af09c88c6e3u;

}  // namespace

std::uint64_t HashText(std::string_view text) {
  const char* p = text.data();
  std::size_t n = text.size();
  std::uint64_t h = kK0 ^ Mix(n ^ kK1, kK2);
  // Reads never pass the text's end: the tail is taken by loads that overlap
  // bytes already hashed.
  if (n > 16) {
    do {
      h = Mix(Load8(p) ^ kK1, Load8(p + 8) ^ h);
      p += 16;
      n -= 16;
    } while (n > 16);
    // The last 16 bytes of the text, some of them hashed already.
    h = Mix(Load8(p + n - 16) ^ kK1, Load8(p + n - 8) ^ h);
  } else if (n >= 8) {
    h = Mix(Load8(p) ^ kK1, Load8(p + n - 8) ^ h);
  } else if (n >= 4) {
    h = Mix((Load4(p) << 32 | Load4(p + n - 4)) ^ kK1, h);
  } else if (n > 0) {
    const std::uint64_t v = static_cast<std::uint64_t>(static_cast<unsigned char>(p[0])) << 16 |
                            static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8 |
                            static_cast<unsigned char>(p[n - 1]);
    h = Mix(v ^ kK1, h);
  }
  return Mix(h ^ kK2, kK0 ^ text.size());
}

void TTextIndex::Reserve(std::size_t texts, std::size_t tableTexts) {
  std::size_t slots = 1024;
  while (slots / 2 < tableTexts) slots *= 2;
  texts_.reserve(texts);
  if (slots > slots_.size()) Grow(slots);
}

void TTextIndex::Grow(std::size_t size) {
  if (size > (std::size_t{1} << 32)) throw std::length_error("too many distinct lines");
  TZeroedWords slots(size);
  const std::size_t mask = size - 1;
  for (const std::uint64_t slot : slots_) {
    if (slot == 0) continue;
    std::size_t at = (slot >> 32) & mask;
    while (slots[at] != 0) at = (at + 1) & mask;
    slots[at] = slot;
  }
  slots_ = std::move(slots);
}

std::uint32_t TTextIndex::Find(std::uint64_t hash, std::string_view text) const {
  if (slots_.empty()) return kNone;
  const std::size_t mask = slots_.size() - 1;
  const std::uint64_t tag = hash & kTagMask;
  for (std::size_t at = (hash >> 32) & mask; slots_[at] != 0; at = (at + 1) & mask) {
    if ((slots_[at] & kTagMask) != tag) continue;
    const std::uint32_t id = static_cast<std::uint32_t>(slots_[at]) - 1;
    if (texts_[id].size == text.size() && std::memcmp(texts_[id].data, text.data(), text.size()) == 0) return id;
  }
  return kNone;
}

std::uint32_t TTextIndex::Add(std::uint64_t hash, std::string_view text, bool copy) {
  if (texts_.size() >= std::numeric_limits<std::uint32_t>::max() - 1)
    throw std::length_error("too many distinct lines");
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("line too long");
  if ((texts_.size() + 1) * 2 > slots_.size()) Grow(slots_.empty() ? 1024 : slots_.size() * 2);
  const auto id = static_cast<std::uint32_t>(texts_.size());
  const std::string_view kept = copy ? Store(text) : text;
  texts_.push_back({kept.data(), static_cast<std::uint32_t>(kept.size()), 0});
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = (hash >> 32) & mask;
  while (slots_[at] != 0) at = (at + 1) & mask;
  slots_[at] = (hash & kTagMask) | (id + 1u);
  return id;
}

std::string_view TTextIndex::Store(std::string_view text) {
  if (text.empty()) return std::string_view("", 0);
  if (text.size() > chunkLeft_) {
    // Long lines get a chunk of their own; no line is ever cut.
    const std::size_t size = text.size() > kChunkSize / 4 ? text.size() : kChunkSize;
    chunks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    chunkNext_ = chunks_.back().get();
    chunkLeft_ = size;
  }
  char* at = chunkNext_;
  std::memcpy(at, text.data(), text.size());
  chunkNext_ += text.size();
  chunkLeft_ -= text.size();
  return {at, text.size()};
}
