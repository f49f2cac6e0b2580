// The distinct line texts of one comparison: each text is kept once and found
// again through an open-addressing hash table, so a million-line file costs no
// allocation per line.
//
// A slot holds the upper 32 bits of the text's hash and the text number + 1.
// The table position comes from those same 32 bits, so the table can grow
// from its slots alone, without touching a text. Callers that intern many
// texts in a row prefetch the slot a few texts ahead (Prefetch), so the
// main-memory misses of a large table overlap instead of queueing.
//
// Texts of the old file stay where the file's buffer holds them; texts met
// only in the new file are copied into large chunks (the new file is read in
// pieces that do not last). A text is at most 4 GB long.
#ifndef KV_COMPARE_TEXT_INDEX_H
#define KV_COMPARE_TEXT_INDEX_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "compare/big_alloc.h"

std::uint64_t HashText(std::string_view text);

class TTextIndex {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // Room for texts texts in all, and a table that holds tableTexts of them
  // without growing. Room not used is never touched, so it costs address
  // space only.
  void Reserve(std::size_t texts, std::size_t tableTexts);
  // Drops the table once no more texts are looked up; Text still works.
  void ReleaseTable() { slots_ = TZeroedWords(); }
  void Prefetch(std::uint64_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[Position(hash)]);
  }
  // The number of the text, or kNone.
  std::uint32_t Find(std::uint64_t hash, std::string_view text) const;
  // Adds a text that Find did not find. With copy, the index keeps its own
  // copy; otherwise the text must outlive the index.
  std::uint32_t Add(std::uint64_t hash, std::string_view text, bool copy);

  std::string_view Text(std::uint32_t id) const { return {texts_[id].data, texts_[id].size}; }
  // A number the caller keeps with each text (0 when added).
  std::int32_t& Value(std::uint32_t id) { return texts_[id].value; }
  std::size_t Size() const { return texts_.size(); }

 private:
  std::size_t Position(std::uint64_t hash) const { return (hash >> 32) & (slots_.size() - 1); }
  std::string_view Store(std::string_view text);
  void Grow(std::size_t slots);

  // 16 bytes a text: a million-line file can hold a million texts.
  struct Entry {
    const char* data;
    std::uint32_t size;
    std::int32_t value;
  };
  TBigVector<Entry> texts_;
  TZeroedWords slots_;  // 0 = empty
  std::vector<std::unique_ptr<char[]>> chunks_;
  std::size_t chunkLeft_ = 0;
  char* chunkNext_ = nullptr;
};

#endif
