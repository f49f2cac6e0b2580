#include "platform/ledit/undo.h"

namespace plat::ledit {

void UndoStack::push(const UndoRecord& r, const char* text) {
  records_.push_back(r);
  bytes_.append(text, r.len);
}

void UndoStack::pop() {
  bytes_.resize(bytes_.size() - records_.back().len);
  records_.pop_back();
}

void UndoStack::clear() {
  records_.clear();
  records_.shrink_to_fit();
  bytes_.clear();
  bytes_.shrink_to_fit();
}

}  // namespace plat::ledit
