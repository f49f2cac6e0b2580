// A language table: one optional text per id. Lookups outside the table
// give null, so a wrong id never reads past it.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "appcore/heap_text.h"

class TextTable {
 public:
  explicit TextTable(std::size_t size) : texts_(size) {}

  std::size_t Size() const { return texts_.size(); }
  bool InRange(long id) const { return id >= 0 && static_cast<std::size_t>(id) < texts_.size(); }

  // Null for an id outside the table or without a text.
  const char* Get(long id) const { return InRange(id) ? texts_[id].get() : nullptr; }
  // True when the id has a non-empty text.
  bool Has(long id) const {
    const char* t = Get(id);
    return t && *t;
  }
  // Ignored for an id outside the table.
  void Set(long id, std::string_view text) {
    if (InRange(id)) texts_[id].Set(text);
  }
  void Clear() {
    for (auto& t : texts_) t.Clear();
  }

 private:
  std::vector<HeapText> texts_;
};
