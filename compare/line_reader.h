// Line reader of the compare library: reads a text file in large pieces and
// cuts them into lines without their line ends.
//
// Text files as the comparison sees them: lines end in LF; a CR right before
// the LF belongs to the line end (CR LF files as the editor writes them), any
// other byte stays in the line. A last line without LF counts when it holds
// anything. NUL bytes become 0xA7 so that every line is a C text. Lines have
// no length limit.
//
// The file is read with plain reads into memory of our own, never mapped:
// a file that another station shortens while it is compared must not bring
// the program down.
#ifndef KV_COMPARE_LINE_READER_H
#define KV_COMPARE_LINE_READER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Bytes held in one block, grown as needed.
class TByteBuffer {
 public:
  TByteBuffer() = default;
  ~TByteBuffer();
  TByteBuffer(const TByteBuffer&) = delete;
  TByteBuffer& operator=(const TByteBuffer&) = delete;

  // Room for at least this many bytes; the bytes held are kept.
  void Reserve(std::size_t capacity);
  char* data() { return data_; }
  const char* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  void resize(std::size_t size) { size_ = size; }  // within capacity

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

class TMyFile {
 public:
  static constexpr std::size_t kPiece = std::size_t{1} << 20;

  explicit TMyFile(std::string name);
  ~TMyFile();
  TMyFile(const TMyFile&) = delete;
  TMyFile& operator=(const TMyFile&) = delete;

  // False when the file cannot be opened for reading.
  bool OpenRead();
  // The file's size when it is known up front, else 0.
  std::size_t SizeHint() const { return sizeHint_; }
  // A plain file: its size is known and it can be read again from the start.
  bool Regular() const { return regular_; }
  // Goes back to the start of a plain file; false when that fails.
  bool Rewind();
  // Reads the next bytes into to: size of them, fewer only at the end of the
  // file (got is 0 there). False when a read fails.
  bool Read(char* to, std::size_t size, std::size_t& got);
  // The same, with the bytes as they are in the file: NULs stay, no LF is
  // counted.
  bool ReadBytes(char* to, std::size_t size, std::size_t& got);
  // Appends the rest of the file to data, read in pieces of at most piece
  // bytes. False when a read fails.
  bool ReadAll(TByteBuffer& data, std::size_t piece = kPiece);
  // LF bytes read so far.
  std::size_t LineEnds() const { return lineEnds_; }

 private:
  std::string name_;
  int fd_ = -1;
  std::size_t sizeHint_ = 0;
  bool regular_ = false;
  std::size_t lineEnds_ = 0;
};

// The text of a line whose LF is at lf: without the CR of a CR LF end.
inline std::string_view LineBefore(const char* start, const char* lf) {
  if (lf > start && lf[-1] == '\r') --lf;
  return {start, static_cast<std::size_t>(lf - start)};
}

// Cuts a piece of a file that is read in pieces into lines. carry holds the
// start of a line that began in an earlier piece and keeps the start of the
// last line of this one. Calls line(text, inCarry) for every line that ends
// in this piece; a text in the carry lasts only until line returns, the
// others as long as the piece.
template <class F>
void CutPiece(const char* piece, std::size_t size, std::string& carry, F&& line);

// The LFs of a block of bytes in order, found 64 bytes at a time: one vector
// compare per 64 bytes in place of a search call per line, which for short
// lines costs more than the search itself.
class TLineEnds {
 public:
  TLineEnds(const char* data, std::size_t size) : data_(data), size_(size) { Load(); }
  // The position of the next LF; size when none is left.
  std::size_t Next() {
    while (mask_ == 0) {
      if (size_ - base_ <= 64) return size_;
      base_ += 64;
      Load();
    }
    const std::size_t at = base_ + static_cast<std::size_t>(__builtin_ctzll(mask_));
    mask_ &= mask_ - 1;
    return at;
  }

 private:
  void Load();

  const char* data_;
  std::size_t size_;
  std::size_t base_ = 0;
  std::uint64_t mask_ = 0;  // LFs at base_ + bit number not yet handed out
};

// The lines of a block of bytes, without their ends. The last line needs no LF.
class TLineCursor {
 public:
  TLineCursor(const char* data, std::size_t size) : data_(data), size_(size), ends_(data, size) {}
  // False when no line is left.
  bool Next(std::string_view& line) {
    if (pos_ >= size_) return false;
    const std::size_t lf = ends_.Next();
    if (lf == size_) {
      line = {data_ + pos_, size_ - pos_};
      pos_ = size_;
    } else {
      line = LineBefore(data_ + pos_, data_ + lf);
      pos_ = lf + 1;
    }
    return true;
  }

 private:
  const char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  TLineEnds ends_;
};

template <class F>
void CutPiece(const char* piece, std::size_t size, std::string& carry, F&& line) {
  std::size_t pos = 0;
  if (!carry.empty()) {
    const auto* lf = static_cast<const char*>(std::memchr(piece, '\n', size));
    if (!lf) {
      carry.append(piece, size);
      return;
    }
    carry.append(piece, static_cast<std::size_t>(lf - piece));
    if (carry.back() == '\r') carry.pop_back();
    line(std::string_view(carry), true);
    carry.clear();
    pos = static_cast<std::size_t>(lf - piece) + 1;
  }
  const char* const rest = piece + pos;
  const std::size_t left = size - pos;
  TLineEnds ends(rest, left);
  std::size_t start = 0;
  for (std::size_t lf; (lf = ends.Next()) < left; start = lf + 1) line(LineBefore(rest + start, rest + lf), false);
  carry.assign(rest + start, left - start);
}

#endif
