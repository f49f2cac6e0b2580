// Where each line starts in the text. Lines end at LF (a CR before it is
// part of the line end, not of the line's text). The starts sit in a gap
// buffer; an edit shifts every later start, and that shift is kept as one
// pending delta for all lines after a "step" line and applied lazily as
// the step moves, so edits that walk through a text of millions of lines
// cost the distance between them, not the number of lines.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ledit/gap_buffer.h"

namespace plat::ledit {

class LineIndex {
 public:
  LineIndex();

  size_t lines() const { return starts_.size(); }
  size_t start(size_t line) const;
  // The line holding text position pos (the last line for pos = length).
  size_t line_of(size_t pos) const;

  // Keeps the index right after n bytes of text went in at pos.
  void inserted(size_t pos, const char* text, size_t n);
  // Before n bytes at pos are taken out: newlines is how many LF they hold.
  void erased(size_t pos, size_t n, size_t newlines);
  // Rebuilds from a whole text given in pieces; call reset, then add each.
  void reset();
  bool add_text(const char* text, size_t n, size_t offset);
  // Room for about lines more starts, without slack.
  bool reserve(size_t lines) { return starts_.try_reserve(lines, true); }
  void shrink() { starts_.shrink(); }

 private:
  void move_step(size_t line);

  GapBuffer<int64_t> starts_;
  size_t stepLine_ = 0;   // starts after this line lack stepDelta_
  int64_t stepDelta_ = 0;
};

}  // namespace plat::ledit
