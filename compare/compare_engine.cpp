// The comparison: reading, interning, matching and the walk over both files.
//
// Matching links the lines whose text occurs exactly once in each file, then
// grows those links over equal neighbours, forwards and then backwards. The
// old file is then cut into blocks of consecutive links (consecutive old
// lines whose partners are consecutive too). The walk reports a block as
// the same where both cursors meet it. Where the cursors face two different
// blocks, the smaller one is reported as moved: inserted where it stands in
// the new file and deleted where it stood in the old one.
#include "compare/compare_engine.h"

#include <limits>
#include <tuple>

#include "compare/line_reader.h"

namespace {

// Thrown by Emit when the output refuses a step; ends the walk.
struct Refused {};

constexpr LineNo kEndBlock = std::numeric_limits<LineNo>::max();
const std::string_view kDeletedText = "<Line deleted>";
const std::string_view kInsertedText = "<Line inserted>";

}  // namespace

TCompareEngine::TCompareEngine(const char* oldName, const char* newName) {
  old_.name = oldName;
  new_.name = newName;
}

bool TCompareEngine::Load() {
  TMyFile oldReader(old_.name);
  TMyFile newReader(new_.name);
  if (!oldReader.OpenRead() || !newReader.OpenRead()) return false;
  std::string line;
  for (auto [file, reader, isOld] : {std::tuple{&old_, &oldReader, true},
                                     std::tuple{&new_, &newReader, false}}) {
    while (reader->GetLine(line)) AddLine(*file, line, isOld);
    if (reader->Failed()) return false;
    file->node.push_back(kNoNode);  // sentinel n+1
    file->n = static_cast<LineNo>(file->node.size()) - 2;
  }
  Match();
  return true;
}

void TCompareEngine::AddLine(TInfoClass& file, const std::string& text, bool isOld) {
  const auto [id, added] = texts_.Intern(text);
  if (added) nodes_.push_back(TNode{texts_.Text(id)});
  TNode& node = nodes_[id];
  switch (node.state) {
    case kNodeNew: node.state = isOld ? kNodeOldOnce : kNodeNewOnce; break;
    case kNodeOldOnce: node.state = isOld ? kNodeRepeated : kNodeUniquePair; break;
    case kNodeNewOnce: node.state = isOld ? kNodeUniquePair : kNodeRepeated; break;
    default: node.state = kNodeRepeated; break;
  }
  file.node.push_back(id);
  if (isOld) node.oldLine = static_cast<LineNo>(file.node.size()) - 1;
}

void TCompareEngine::Match() {
  const LineNo nOld = old_.n, nNew = new_.n;
  old_.link.assign(nOld + 2, kNoLink);
  new_.link.assign(nNew + 2, kNoLink);
  for (LineNo i = 1; i <= nNew; ++i) {
    const TNode& node = nodes_[new_.node[i]];
    if (node.state == kNodeUniquePair) Link(i, node.oldLine);
  }
  Link(0, 0);
  Link(nNew + 1, nOld + 1);
  Grow();
  MeasureBlocks();
}

void TCompareEngine::Grow() {
  const LineNo nOld = old_.n, nNew = new_.n;
  // Forwards. A neighbour that fails on the new side is not tried as a start
  // itself; users know the alignment this gives.
  for (LineNo i = 0; i <= nNew;) {
    if (new_.link[i] < 0) {
      ++i;
      continue;
    }
    LineNo j = new_.link[i];
    for (;;) {
      if (j + 1 > nOld || old_.link[j + 1] >= 0) {
        i += 1;
        break;
      }
      if (i + 1 > nNew || new_.link[i + 1] >= 0 || new_.node[i + 1] != old_.node[j + 1]) {
        i += 2;
        break;
      }
      Link(++i, ++j);
    }
  }
  // Backwards, the same from the end.
  for (LineNo i = nNew + 1; i >= 1;) {
    if (new_.link[i] < 0) {
      --i;
      continue;
    }
    LineNo j = new_.link[i];
    for (;;) {
      if (j - 1 < 1 || old_.link[j - 1] >= 0) {
        i -= 1;
        break;
      }
      if (i - 1 < 1 || new_.link[i - 1] >= 0 || new_.node[i - 1] != old_.node[j - 1]) {
        i -= 2;
        break;
      }
      Link(--i, --j);
    }
  }
}

void TCompareEngine::MeasureBlocks() {
  const LineNo nOld = old_.n;
  block_.assign(nOld + 2, 0);
  block_[nOld + 1] = kEndBlock;
  // The first old line always starts a block of its own: counting it into
  // the sentinel's would leave it a length of 0 and stall the walk.
  LineNo start = 0, prev = kNoLink;
  for (LineNo j = 1; j <= nOld; ++j) {
    const LineNo p = old_.link[j];
    if (p < 0) {
      start = 0;
      continue;
    }
    if (start == 0 || p != prev + 1) start = j;
    ++block_[start];
    prev = p;
  }
}

void TCompareEngine::Emit(TCompareType type, LineNo o, LineNo i) {
  const std::string_view oldText = o > 0 ? nodes_[old_.node[o]].text : kInsertedText;
  const std::string_view newText = i > 0 ? nodes_[new_.node[i]].text : kDeletedText;
  if (type != kSame) ++differences_;
  if (!out_->Add(type, oldText, newText)) throw Refused{};
}

void TCompareEngine::EmitSame() {
  LineNo left = block_[o_];
  do {
    Emit(kSame, o_++, i_++);
  } while (--left > 0 && o_ <= old_.n && i_ <= new_.n && old_.link[o_] == i_);
}

void TCompareEngine::DeletedRun() {
  do {
    Emit(kDeleted, o_++, 0);
  } while (o_ <= old_.n && old_.link[o_] >= 0 && block_[o_] == 0);
}

void TCompareEngine::Skip() {
  ++i_;
  while (i_ <= new_.n && new_.link[i_] >= 0 && block_[new_.link[i_]] == 0) ++i_;
}

void TCompareEngine::MovedBlock() {
  const LineNo p = new_.link[i_];
  LineNo length = block_[p];
  if (length < 0) {
    Skip();
    return;
  }
  if (block_[o_] < length) {
    DeletedRun();
    return;
  }
  block_[p] = -1;  // its old place shows as deleted when the old cursor gets there
  do {
    Emit(kInserted, 0, i_++);
  } while (--length > 0 && i_ <= new_.n);
}

bool TCompareEngine::Walk(TCompareOutput& out) {
  out_ = &out;
  o_ = i_ = 1;
  differences_ = 0;
  const LineNo nOld = old_.n, nNew = new_.n;
  try {
    for (;;) {
      if (o_ > nOld) {
        // Old file done: the rest of the new file is inserted. Its blocks are
        // never smaller than the end block, so no deleted run starts here.
        while (i_ <= nNew) {
          if (new_.link[i_] < 0)
            Emit(kInserted, 0, i_++);
          else
            MovedBlock();
        }
        break;
      }
      if (i_ > nNew) {
        // New file done: the rest of the old file is deleted. A linked line
        // here has had its partner shown already, so it never shows again
        // on the new side.
        while (o_ <= nOld) {
          if (old_.link[o_] < 0)
            Emit(kDeleted, o_++, 0);
          else
            DeletedRun();
        }
        break;
      }
      if (new_.link[i_] < 0) {
        if (old_.link[o_] < 0) {
          const bool equal = old_.node[o_] == new_.node[i_];
          Emit(equal ? kSame : kChanged, o_++, i_++);
        } else {
          Emit(kInserted, 0, i_++);
        }
      } else if (old_.link[o_] < 0) {
        Emit(kDeleted, o_++, 0);
      } else if (block_[o_] < 0) {
        DeletedRun();
      } else if (old_.link[o_] == i_) {
        EmitSame();
      } else {
        MovedBlock();
      }
    }
  } catch (const Refused&) {
    return false;
  }
  return true;
}
