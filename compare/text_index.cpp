// The distinct line texts of one comparison (see text_index.h).
#include "compare/text_index.h"

#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>

namespace {
constexpr std::size_t kChunkSize = 1 << 20;

std::uint64_t Slot(std::uint64_t hash, std::uint32_t id) { return (hash & 0xFFFFFFFF00000000u) | (id + 1u); }
}  // namespace

std::string_view TTextIndex::Store(std::string_view text) {
  if (text.empty()) return std::string_view("", 0);
  if (text.size() > chunkLeft_) {
    // Long lines get a chunk of their own; no line is ever cut.
    const std::size_t size = text.size() > kChunkSize / 4 ? text.size() : kChunkSize;
    chunks_.push_back(std::make_unique<char[]>(size));
    chunkNext_ = chunks_.back().get();
    chunkLeft_ = size;
  }
  char* at = chunkNext_;
  std::memcpy(at, text.data(), text.size());
  chunkNext_ += text.size();
  chunkLeft_ -= text.size();
  return {at, text.size()};
}

void TTextIndex::Grow() {
  std::vector<std::uint64_t> slots(slots_.empty() ? 1024 : slots_.size() * 2, 0);
  const std::size_t mask = slots.size() - 1;
  for (std::uint32_t id = 0; id < texts_.size(); ++id) {
    std::size_t at = hashes_[id] & mask;
    while (slots[at] != 0) at = (at + 1) & mask;
    slots[at] = Slot(hashes_[id], id);
  }
  slots_.swap(slots);
}

TTextIndex::Found TTextIndex::Intern(std::string_view text) {
  if ((texts_.size() + 1) * 2 > slots_.size()) Grow();
  const std::uint64_t hash = std::hash<std::string_view>{}(text);
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = hash & mask;
  const std::uint64_t tag = hash & 0xFFFFFFFF00000000u;
  for (; slots_[at] != 0; at = (at + 1) & mask) {
    if ((slots_[at] & 0xFFFFFFFF00000000u) != tag) continue;
    const std::uint32_t id = static_cast<std::uint32_t>(slots_[at]) - 1;
    if (texts_[id] == text) return {id, false};
  }
  if (texts_.size() >= std::numeric_limits<std::uint32_t>::max() - 1)
    throw std::length_error("too many distinct lines");
  const auto id = static_cast<std::uint32_t>(texts_.size());
  texts_.push_back(Store(text));
  hashes_.push_back(hash);
  slots_[at] = Slot(hash, id);
  return {id, true};
}
