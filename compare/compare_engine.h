// The comparison of two text files: reads both, links the lines that belong
// together and walks both files once, reporting every line as the same,
// changed, deleted (old file only) or inserted (new file only). A block of
// lines that moved shows as deleted at one place and inserted at the other.
#ifndef KV_COMPARE_COMPARE_ENGINE_H
#define KV_COMPARE_COMPARE_ENGINE_H

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "compare/line_reader.h"
#include "compare/line_table.h"
#include "compare/text_index.h"

enum TCompareType { kSame = 0, kChanged = 1, kDeleted = 2, kInserted = 3 };

// Receives one aligned step: the texts shown on the old and on the new side.
// Returns false to stop the walk (the list would not take the item).
class TCompareOutput {
 public:
  virtual ~TCompareOutput() = default;
  virtual bool Add(TCompareType type, std::string_view oldText, std::string_view newText) = 0;
};

class TCompareEngine {
 public:
  // The new file is read in pieces of pieceSize bytes; tests make them small.
  TCompareEngine(const char* oldName, const char* newName, std::size_t pieceSize = TMyFile::kPiece);

  // Reads both files and links their lines; false when either file cannot
  // be opened or read.
  bool Load();
  // Reports every step to out; false when out refused one.
  bool Walk(TCompareOutput& out);
  // Changed, deleted and inserted steps of the last walk.
  long Differences() const { return differences_; }

 private:
  bool SameBytes(TMyFile& oldFile, TMyFile& newFile, bool& same);
  bool ReadNew(TMyFile& reader);
  void StartNewLines(std::size_t sameBytes, std::string& carry);
  void SplitNewPiece(const char* piece, std::size_t size, std::string& carry);
  void InternOld(std::size_t lineEnds);
  // An old line waiting for its look-up.
  struct Pending {
    std::uint64_t hash;
    std::string_view text;
    bool again;  // the same text as the line before
  };
  void AddOldLine(LineNo line, const Pending& pending);
  void AddNewLines();
  // hash is 0 when not yet known.
  void AddNewLine(std::string_view text, std::uint64_t hash);
  void AddNewNode(NodeId id);
  void Count(NodeId id, bool isOld);
  void Match();
  void Grow();
  void MeasureBlocks();

  // Steps of the walk; each reports at least one line or returns at once.
  void Emit(TCompareType type, LineNo o, LineNo i);
  void EmitSame();
  void DeletedRun();
  void Skip();
  void MovedBlock();
  void WalkIdentical();

  void Link(LineNo i, LineNo j) {
    new_.link[i] = j;
    old_.link[j] = i;
  }

  TInfoClass old_;
  TInfoClass new_;
  std::size_t pieceSize_;
  TByteBuffer oldData_;  // the old file whole; its lines' texts stay here
  std::size_t newLinesGuess_ = 0;  // from the new file's size
  bool identical_ = false;  // both files hold the same bytes: nothing was linked
  std::unique_ptr<TMyFile> oldReader_;  // of identical files, for the walk
  LineNo expected_ = 0;  // the old line the next new line most likely repeats, minus 1
  std::vector<std::string_view> pieceLines_;  // of the piece being read
  std::vector<std::uint64_t> pieceHashes_;  // 0 = not hashed ahead
  int fetchLines_ = 0;  // new lines still to fetch ahead since the last look-up
  TTextIndex texts_;
  // By text number; the text index keeps each text's last old line with it.
  TBigVector<TNodeState> states_;
  TBigVector<LineNo> block_;  // block length per old line; -1 = shown as deleted
  LineNo o_ = 1;               // old cursor
  LineNo i_ = 1;               // new cursor
  long differences_ = 0;
  TCompareOutput* out_ = nullptr;
};

#endif
