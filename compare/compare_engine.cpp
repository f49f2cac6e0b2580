// The comparison: reading, interning, matching and the walk over both files.
//
// Matching links the lines whose text occurs exactly once in each file, then
// grows those links over equal neighbours, forwards and then backwards. The
// old file is then cut into blocks of consecutive links (consecutive old
// lines whose partners are consecutive too). The walk reports a block as
// the same where both cursors meet it. Where the cursors face two different
// blocks, the smaller one is reported as moved: inserted where it stands in
// the new file and deleted where it stood in the old one.
//
// Reading. Plain files of one size are first compared byte for byte: files
// that are the same need neither interning nor matching, and are shown from
// the old file read once more. Otherwise the old file is read whole and its
// lines interned. The new file is read in pieces and compared byte for byte
// with the old one as long as they agree: a common beginning takes the old
// lines' nodes as they are. After that, each new line is first compared with
// the old line after the one the previous new line repeated; only when that
// fails is it looked up, so two versions of one program cost one table
// look-up per edit rather than one per line.
#include "compare/compare_engine.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

// Thrown by Emit when the output refuses a step; ends the walk.
struct Refused {};

constexpr LineNo kEndBlock = std::numeric_limits<LineNo>::max();
const std::string_view kDeletedText = "<Line deleted>";
const std::string_view kInsertedText = "<Line inserted>";
// How many lines ahead of their look-up the old file's slots are fetched.
constexpr std::size_t kAhead = 16;
// New lines longer than this are not hashed ahead: most of them need no
// look-up, and their hashing would cost more than the miss it saves.
constexpr std::size_t kLongLine = 256;
// Lines fetched ahead after a look-up of the new file.
constexpr int kFetchSpan = 64;

// Equal texts; most unequal ones of one length are told apart by their
// first 8 bytes without a call.
bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() >= 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a.data(), 8);
    std::memcpy(&y, b.data(), 8);
    if (x != y) return false;
  }
  return a == b;
}

}  // namespace

TCompareEngine::TCompareEngine(const char* oldName, const char* newName, std::size_t pieceSize)
    : pieceSize_(pieceSize > 0 ? pieceSize : 1) {
  old_.name = oldName;
  new_.name = newName;
}

bool TCompareEngine::Load() {
  auto oldFile = std::make_unique<TMyFile>(old_.name);
  TMyFile& oldReader = *oldFile;
  TMyFile newReader(new_.name);
  if (!oldReader.OpenRead() || !newReader.OpenRead()) return false;
  if (oldReader.Regular() && newReader.Regular() && oldReader.SizeHint() == newReader.SizeHint()) {
    bool same = false;
    if (!SameBytes(oldReader, newReader, same)) return false;
    if (!oldReader.Rewind()) return false;
    if (same) {
      identical_ = true;
      oldReader_ = std::move(oldFile);  // the walk reads it once more
      return true;
    }
    if (!newReader.Rewind()) return false;
  }
  if (!oldReader.ReadAll(oldData_, pieceSize_)) return false;
  const std::size_t size = oldData_.size();
  const bool lastLineOpen = size > 0 && oldData_.data()[size - 1] != '\n';
  const std::size_t lines = oldReader.LineEnds() + (lastLineOpen ? 1 : 0);
  if (lines > static_cast<std::size_t>(kMaxLines)) throw std::length_error("too many lines");
  old_.n = static_cast<LineNo>(lines);
  // A new file of other lines than the old one has about as many lines per
  // byte; room for them costs nothing until it is used.
  const double perByte = size > 0 ? static_cast<double>(lines) / static_cast<double>(size) : 0.0;
  newLinesGuess_ = std::min(static_cast<std::size_t>(perByte * static_cast<double>(newReader.SizeHint())),
                            2 * lines + 65536);
  if (!ReadNew(newReader)) return false;
  texts_.ReleaseTable();
  Match();
  return true;
}

bool TCompareEngine::ReadNew(TMyFile& reader) {
  TByteBuffer piece;
  piece.Reserve(pieceSize_);
  const char* const old = oldData_.data();
  const std::size_t oldSize = oldData_.size();
  std::size_t read = 0;  // bytes of the new file so far
  bool same = true;      // all of them equal the old file's first ones
  std::string carry;     // the start of a line that runs on into the next piece
  for (;;) {
    std::size_t got = 0;
    if (!reader.Read(piece.data(), pieceSize_, got)) return false;
    if (got == 0) break;
    if (same) {
      if (got <= oldSize - read && std::memcmp(piece.data(), old + read, got) == 0) {
        read += got;
        continue;
      }
      same = false;
      StartNewLines(read, carry);
    }
    SplitNewPiece(piece.data(), got, carry);
    read += got;
  }
  // Files that are not plain files come here even when they are the same.
  if (same) StartNewLines(read, carry);
  if (!carry.empty()) AddNewLine(carry, 0);  // a last line without LF, whole
  new_.node.push_back(kNoNode);           // sentinel n+1
  new_.n = static_cast<LineNo>(new_.node.size()) - 2;
  return true;
}

// The new file differs from the old one after its first sameBytes bytes:
// intern the old file, give the new lines that lie whole in those bytes the
// old lines' nodes, and keep the start of the line that differs as carry.
void TCompareEngine::StartNewLines(std::size_t sameBytes, std::string& carry) {
  InternOld(old_.n);
  new_.node.reserve(newLinesGuess_ + 2);
  new_.node.push_back(kNoNode);  // sentinel 0
  const char* const old = oldData_.data();
  std::size_t pos = 0;
  LineNo line = 0;
  TLineEnds ends(old, sameBytes);
  for (std::size_t lf; (lf = ends.Next()) < sameBytes; pos = lf + 1) AddNewNode(old_.node[++line]);
  carry.assign(old + pos, sameBytes - pos);
  expected_ = line;
}

void TCompareEngine::SplitNewPiece(const char* piece, std::size_t size, std::string& carry) {
  pieceLines_.clear();
  CutPiece(piece, size, carry, [&](std::string_view text, bool inCarry) {
    if (inCarry)
      AddNewLine(text, 0);  // before the piece's own lines, which come after it
    else
      pieceLines_.push_back(text);
  });
  AddNewLines();
}

// The lines of one piece of the new file. Most repeat the expected old line
// and need no look-up; where look-ups come, as after an edit, the short lines
// that follow are hashed and their slots fetched kAhead lines early, so that
// files with many edits do not wait on memory for every look-up.
void TCompareEngine::AddNewLines() {
  const std::size_t count = pieceLines_.size();
  pieceHashes_.assign(count, 0);
  std::size_t fetched = 0;  // lines before this one were considered for fetching
  for (std::size_t k = 0; k < count; ++k) {
    if (fetchLines_ > 0) {
      for (fetched = std::max(fetched, k); fetched < count && fetched <= k + kAhead; ++fetched) {
        const std::string_view line = pieceLines_[fetched];
        if (line.size() > kLongLine) continue;  // hashed only when needed
        pieceHashes_[fetched] = HashText(line);
        texts_.Prefetch(pieceHashes_[fetched]);
      }
    }
    AddNewLine(pieceLines_[k], pieceHashes_[k]);
  }
}

// The old file's lines, each looked up kAhead lines after its slot was
// fetched, so that the misses of a table larger than the cache overlap. A
// line equal to the one before it takes that line's node without a look-up.
void TCompareEngine::InternOld(std::size_t lines) {
  texts_.Reserve(lines + newLinesGuess_, lines);
  states_.reserve(lines + newLinesGuess_);
  old_.node.assign(lines + 2, kNoNode);
  Pending ahead[kAhead];
  TLineCursor cursor(oldData_.data(), oldData_.size());
  LineNo line = 0;
  std::string_view text, before;
  while (cursor.Next(text)) {
    Pending next{0, text, line > 0 && SameText(text, before)};
    if (!next.again) {
      next.hash = HashText(text);
      texts_.Prefetch(next.hash);
    }
    Pending& slot = ahead[line % kAhead];
    if (line >= static_cast<LineNo>(kAhead)) AddOldLine(line + 1 - static_cast<LineNo>(kAhead), slot);
    slot = next;
    before = text;
    ++line;
  }
  for (LineNo k = line > static_cast<LineNo>(kAhead) ? line - static_cast<LineNo>(kAhead) : 0; k < line; ++k)
    AddOldLine(k + 1, ahead[k % kAhead]);
}

void TCompareEngine::AddOldLine(LineNo line, const Pending& pending) {
  NodeId id = pending.again ? old_.node[line - 1] : texts_.Find(pending.hash, pending.text);
  if (id == TTextIndex::kNone) {
    id = texts_.Add(pending.hash, pending.text, false);
    states_.push_back(kNodeNew);
  }
  Count(id, true);
  texts_.Value(id) = line;
  old_.node[line] = id;
}

void TCompareEngine::AddNewLine(std::string_view text, std::uint64_t hash) {
  if (new_.node.size() > static_cast<std::size_t>(kMaxLines)) throw std::length_error("too many lines");
  const LineNo next = expected_ + 1;
  if (next <= old_.n) {
    const NodeId id = old_.node[next];
    if (texts_.Text(id) == text) {
      expected_ = next;
      if (fetchLines_ > 0) --fetchLines_;
      AddNewNode(id);
      return;
    }
  }
  fetchLines_ = kFetchSpan;
  if (hash == 0) hash = HashText(text);
  NodeId id = texts_.Find(hash, text);
  if (id == TTextIndex::kNone) {
    id = texts_.Add(hash, text, true);
    states_.push_back(kNodeNew);
  }
  // A text of the old file puts the expectation after its line there; any
  // other text is taken as a changed line.
  const LineNo oldLine = texts_.Value(id);
  expected_ = oldLine > 0 ? oldLine : next;
  AddNewNode(id);
}

void TCompareEngine::AddNewNode(NodeId id) {
  Count(id, false);
  new_.node.push_back(id);
}

void TCompareEngine::Count(NodeId id, bool isOld) {
  TNodeState& state = states_[id];
  switch (state) {
    case kNodeNew: state = isOld ? kNodeOldOnce : kNodeNewOnce; break;
    case kNodeOldOnce: state = isOld ? kNodeRepeated : kNodeUniquePair; break;
    case kNodeNewOnce: state = isOld ? kNodeUniquePair : kNodeRepeated; break;
    default: state = kNodeRepeated; break;
  }
}

void TCompareEngine::Match() {
  const LineNo nOld = old_.n, nNew = new_.n;
  old_.link.assign(nOld + 2, kNoLink);
  new_.link.assign(nNew + 2, kNoLink);
  for (LineNo i = 1; i <= nNew; ++i) {
    const NodeId id = new_.node[i];
    if (states_[id] == kNodeUniquePair) Link(i, texts_.Value(id));
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
  const std::string_view oldText = o > 0 ? texts_.Text(old_.node[o]) : kInsertedText;
  const std::string_view newText = i > 0 ? texts_.Text(new_.node[i]) : kDeletedText;
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

// Plain files of one size are compared byte for byte before anything else,
// in two small buffers, so that files that are the same cost neither memory
// nor interning; same tells whether they are.
bool TCompareEngine::SameBytes(TMyFile& oldFile, TMyFile& newFile, bool& same) {
  TByteBuffer a, b;
  a.Reserve(pieceSize_);
  b.Reserve(pieceSize_);
  for (;;) {
    std::size_t gotA = 0, gotB = 0;
    // Bytes as they are: files that differ only where one has a NUL and the
    // other its section sign take the longer way to the same items.
    if (!oldFile.ReadBytes(a.data(), pieceSize_, gotA) || !newFile.ReadBytes(b.data(), pieceSize_, gotB))
      return false;
    // Reads fill the buffers up to the end of the file, so the pieces line
    // up; a file that changes size meanwhile shows as not the same.
    if (gotA != gotB || std::memcmp(a.data(), b.data(), gotA) != 0) {
      same = false;
      return true;
    }
    if (gotA == 0) {
      same = true;
      return true;
    }
  }
}

// Files that are the same show every line as the same, as the matching
// would link each line to its own number. The old file is read once more,
// piece by piece, for the texts.
void TCompareEngine::WalkIdentical() {
  TByteBuffer piece;
  piece.Reserve(pieceSize_);
  std::string carry;
  auto emit = [&](std::string_view text, bool) {
    if (!out_->Add(kSame, text, text)) throw Refused{};
  };
  for (;;) {
    std::size_t got = 0;
    if (!oldReader_->Read(piece.data(), pieceSize_, got)) throw Refused{};
    if (got == 0) break;
    CutPiece(piece.data(), got, carry, emit);
  }
  if (!carry.empty()) emit(carry, true);  // a last line without LF, whole
}

bool TCompareEngine::Walk(TCompareOutput& out) {
  out_ = &out;
  o_ = i_ = 1;
  differences_ = 0;
  const LineNo nOld = old_.n, nNew = new_.n;
  try {
    if (identical_) {
      WalkIdentical();
      return true;
    }
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
