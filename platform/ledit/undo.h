// Undo and redo of a document. Each edit is one record (insert or erase,
// position, length) and its bytes sit at the top of a byte stack beside
// it, so a record costs 24 bytes plus the text it moved. Records form
// groups: one user action (a typed word, a paste, a replace-all) undoes
// as one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::ledit {

struct UndoRecord {
  uint64_t pos = 0;
  uint64_t len = 0;
  bool insert = false;     // the edit put len bytes in at pos (else took them out)
  bool groupStart = false;  // first record of its group
};

class UndoStack {
 public:
  void push(const UndoRecord& r, const char* text);
  bool empty() const { return records_.empty(); }
  const UndoRecord& top() const { return records_.back(); }
  // The bytes of the top record.
  const char* top_text() const { return bytes_.data() + bytes_.size() - records_.back().len; }
  void pop();
  void clear();

 private:
  std::vector<UndoRecord> records_;
  std::string bytes_;
};

}  // namespace plat::ledit
