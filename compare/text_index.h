// The distinct line texts of one comparison: each text is stored once, in
// large chunks, and found again through an open-addressing hash table, so a
// million-line file costs no allocation per line and little pointer chasing.
#ifndef KV_COMPARE_TEXT_INDEX_H
#define KV_COMPARE_TEXT_INDEX_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class TTextIndex {
 public:
  // The number of the text, and whether it was new.
  struct Found {
    std::uint32_t id;
    bool added;
  };
  Found Intern(std::string_view text);
  std::string_view Text(std::uint32_t id) const { return texts_[id]; }
  std::size_t Size() const { return texts_.size(); }

 private:
  std::string_view Store(std::string_view text);
  void Grow();

  std::vector<std::string_view> texts_;
  std::vector<std::uint64_t> hashes_;  // per text, for growing the table
  // High half: the top bits of the text's hash, so that most probes never
  // touch the text; low half: text number + 1; 0 = empty.
  std::vector<std::uint64_t> slots_;
  std::vector<std::unique_ptr<char[]>> chunks_;
  std::size_t chunkLeft_ = 0;
  char* chunkNext_ = nullptr;
};

#endif
