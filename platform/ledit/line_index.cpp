#include "platform/ledit/line_index.h"

#include <cstring>
#include <vector>

namespace plat::ledit {

LineIndex::LineIndex() { reset(); }

void LineIndex::reset() {
  starts_.clear();
  int64_t zero = 0;
  starts_.insert(0, &zero, 1);
  stepLine_ = 0;
  stepDelta_ = 0;
}

size_t LineIndex::start(size_t line) const {
  int64_t v = starts_.at(line);
  if (line > stepLine_) v += stepDelta_;
  return static_cast<size_t>(v);
}

size_t LineIndex::line_of(size_t pos) const {
  size_t lo = 0, hi = lines();  // the answer lies in [lo, hi)
  while (hi - lo > 1) {
    size_t mid = lo + (hi - lo) / 2;
    if (start(mid) <= pos) lo = mid;
    else hi = mid;
  }
  return lo;
}

void LineIndex::move_step(size_t line) {
  if (line >= lines()) line = lines() - 1;
  if (stepDelta_ == 0) {
    stepLine_ = line;
    return;
  }
  if (line > stepLine_) {
    for (size_t i = stepLine_ + 1; i <= line; ++i) starts_.ref(i) += stepDelta_;
  } else {
    for (size_t i = line + 1; i <= stepLine_; ++i) starts_.ref(i) -= stepDelta_;
  }
  stepLine_ = line;
  if (stepLine_ + 1 >= lines()) stepDelta_ = 0;
}

void LineIndex::inserted(size_t pos, const char* text, size_t n) {
  size_t line = line_of(pos);
  move_step(line);
  stepDelta_ += static_cast<int64_t>(n);
  std::vector<int64_t> fresh;
  for (const char* p = text; (p = static_cast<const char*>(std::memchr(p, '\n', text + n - p))); ++p)
    fresh.push_back(static_cast<int64_t>(pos + (p - text) + 1) - stepDelta_);
  starts_.insert(line + 1, fresh.data(), fresh.size());
  if (stepLine_ + 1 >= lines()) stepDelta_ = 0;
}

void LineIndex::erased(size_t pos, size_t n, size_t newlines) {
  size_t line = line_of(pos);
  move_step(line);
  starts_.erase(line + 1, newlines);
  stepDelta_ -= static_cast<int64_t>(n);
  if (stepLine_ + 1 >= lines()) stepDelta_ = 0;
}

bool LineIndex::add_text(const char* text, size_t n, size_t offset) {
  // Only used while loading: the step sits at the end, so values are plain.
  std::vector<int64_t> fresh;
  for (const char* p = text; (p = static_cast<const char*>(std::memchr(p, '\n', text + n - p))); ++p)
    fresh.push_back(static_cast<int64_t>(offset + (p - text) + 1));
  if (!starts_.try_reserve(fresh.size())) return false;
  starts_.insert(lines(), fresh.data(), fresh.size());
  stepLine_ = lines() - 1;
  return true;
}

}  // namespace plat::ledit
