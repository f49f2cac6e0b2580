// The text of an edit control, apart from any view of it: the bytes in a
// gap buffer, the index of line starts, undo and redo, the state bits and
// loading and saving. Several views may show one document; each hears of
// every change through a watcher so it can keep its caret and selection.
//
// Bytes stay as they are in the file (the program's code page, CR LF line
// ends). Positions are byte offsets; a line's text excludes its CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ledit/gap_buffer.h"
#include "platform/ledit/line_index.h"
#include "platform/ledit/undo.h"

namespace plat::ledit {

inline constexpr uint32_t state_modified = 2;

class DocumentWatcher {
 public:
  virtual ~DocumentWatcher() = default;
  virtual void text_inserted(size_t pos, size_t n) = 0;
  virtual void text_erased(size_t pos, size_t n) = 0;
};

// The result of a load or save: ok, or the error number and a message.
struct IoResult {
  bool ok = true;
  int error = 0;
  std::string message;
};

class Document {
 public:
  Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  size_t length() const { return text_.size(); }
  char at(size_t pos) const { return text_.at(pos); }
  std::string text(size_t pos, size_t n) const;
  std::string all() const { return text(0, length()); }
  void copy(size_t pos, size_t n, char* out) const { text_.copy_out(pos, n, out); }

  size_t lines() const { return lines_.lines(); }
  size_t line_start(size_t line) const { return lines_.start(line); }
  // End of the line's text, before its CR LF (or LF).
  size_t line_end(size_t line) const;
  // Start of the next line (the text's length for the last line).
  size_t line_next(size_t line) const;
  size_t line_of(size_t pos) const { return lines_.line_of(pos); }
  std::string line_text(size_t line) const;
  size_t line_length(size_t line) const { return line_end(line) - line_start(line); }

  // Edits, recorded for undo. A failed allocation throws std::bad_alloc
  // before anything changed.
  void insert(size_t pos, const char* data, size_t n);
  void insert(size_t pos, const std::string& s) { insert(pos, s.data(), s.size()); }
  void erase(size_t pos, size_t n);
  // Replaces the whole text; undo then restores the old one.
  void replace_all_text(const char* data, size_t n);

  // Grouping: edits between begin_group and end_group undo together.
  // A group begun with merge continues the previous merging group (typing).
  void begin_group(bool merge = false);
  void end_group();
  bool can_undo() const { return !undo_.empty(); }
  bool can_redo() const { return !redo_.empty(); }
  // Undo and redo one group; the result is where the caret goes, or -1
  // when there was nothing to do.
  int64_t undo();
  int64_t redo();
  void clear_undo();

  // Search. Returns the position of the first match at or after from
  // (forward) or the last one starting before from (backward), or -1.
  int64_t find(const std::string& what, size_t from, bool forward, bool matchCase, bool wholeWord);
  // Replaces every match in [from, to); one undo group. Returns the count.
  size_t replace_all(const std::string& what, const std::string& with, bool matchCase, bool wholeWord,
                     size_t from, size_t to);

  uint32_t state() const { return state_; }
  void change_state(uint32_t set, uint32_t clear) { state_ = (state_ | set) & ~clear; }
  bool modified() const { return state_ & state_modified; }

  // Loads a file, replacing the text; on failure the text stays as it was.
  IoResult load(const std::string& dosPath);
  // Writes beside the file and renames when complete, so a failed save
  // leaves the old file whole.
  IoResult save(const std::string& dosPath) const;

  void add_watcher(DocumentWatcher* w);
  void remove_watcher(DocumentWatcher* w);

  // The class table the word search and the tokenizer use: 1 for word bytes.
  bool is_word_byte(unsigned char c) const { return wordBytes_[c]; }
  void set_word_byte(unsigned char c, bool on) { wordBytes_[c] = on; }


 private:
  void raw_insert(size_t pos, const char* data, size_t n);
  void raw_erase(size_t pos, size_t n);
  void record(bool insert, size_t pos, size_t n, const char* data);
  bool whole_word_at(size_t pos, size_t n) const;
  int64_t step(UndoStack& from, UndoStack& to, bool undoing);

  GapBuffer<char> text_;
  LineIndex lines_;
  UndoStack undo_, redo_;
  int groupDepth_ = 0;
  bool groupOpen_ = false;  // the next record starts a group unless merging
  bool mergeOpen_ = false;  // the last group takes merging groups
  uint32_t state_ = 0;
  std::vector<DocumentWatcher*> watchers_;
  bool wordBytes_[256];
};

}  // namespace plat::ledit
