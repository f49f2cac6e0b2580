// Buffered text file; the format note is in myfile.h.
#include "appcore/myfile.h"

#include <algorithm>
#include <cstring>

namespace {
void NulToSubstitute(unsigned char* p, std::size_t n) {
  std::replace(p, p + n, static_cast<unsigned char>(0), TMyFile::kNulSubstitute);
}
void SubstituteToNul(unsigned char* p, std::size_t n) {
  std::replace(p, p + n, TMyFile::kNulSubstitute, static_cast<unsigned char>(0));
}
}  // namespace

TMyFile::TMyFile(const char* fileName) : FileName(fileName) {}

TMyFile::~TMyFile() = default;

int TMyFile::Open(int readMode, int) {
  if (!FileName) return 0;
  if (readMode) {
    Handle = plat::create_file(FileName.get(), plat::Access::read, plat::Share::read,
                               plat::Disposition::open_existing);
    if (!Handle.is_open()) return 0;
    ReadOpen = 1;
  } else {
    Handle = plat::create_file(FileName.get(), plat::Access::write, plat::Share::read,
                               plat::Disposition::create_always);
    if (!Handle.is_open()) return 0;
    WriteOpen = 1;
  }
  return 1;
}

int TMyFile::Close() {
  ReadOpen = WriteOpen = 0;
  if (!Handle.is_open()) return 1;
  return plat::close(Handle) ? 1 : 0;
}

bool TMyFile::ReadBlock() {
  buffer_.resize(kBlockSize);
  int64_t n = plat::read(Handle, buffer_.data(), kBlockSize);
  LastResult = n > 0 ? 1 : 0;
  if (n < 0) failed_ = true;
  if (n <= 0) {
    // A failed read ends the file; Failed() tells the two apart.
    buffer_.clear();
    count_ = pos_ = 0;
    return false;
  }
  BytesDone = static_cast<uint32_t>(n);
  buffer_.resize(static_cast<std::size_t>(n));
  NulToSubstitute(buffer_.data(), buffer_.size());
  // Complete the block to the end of its line, so no line is cut in two.
  while (buffer_.back() != '\n') {
    unsigned char c;
    int64_t r = plat::read(Handle, &c, 1);
    if (r != 1) {
      if (r < 0) failed_ = true;
      buffer_.push_back(0);
      atEof_ = true;
      break;
    }
    buffer_.push_back(c == 0 ? kNulSubstitute : c);
  }
  count_ = buffer_.size();
  pos_ = 0;
  return true;
}

bool TMyFile::TakeLine(std::string& line) {
  if (pos_ >= count_) {
    if (atEof_ || !ReadBlock()) return false;
  }
  const unsigned char* start = buffer_.data() + pos_;
  const unsigned char* end = buffer_.data() + count_;
  const unsigned char* p = start;
  while (p < end && *p != '\n' && *p != 0) ++p;
  if (p < end && *p == '\n') {
    line.assign(reinterpret_cast<const char*>(start), p - start + 1);
    pos_ += p - start + 1;
    return true;
  }
  // The end mark: the last line of a file without a final line end. The
  // mark stays, so the next call sees an empty line at the end.
  line.assign(reinterpret_cast<const char*>(start), p - start);
  pos_ += p - start;
  return !(line.empty() && atEof_);
}

namespace {
// Removes the line end (CR LF or a bare LF) of a line taken with it.
void StripLineEnd(std::string& line) {
  if (line.empty() || line.back() != '\n') return;
  line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
}
}  // namespace

std::unique_ptr<char[]> TMyFile::ReadLine(int addLineEnd) {
  std::string line;
  if (!TakeLine(line)) return nullptr;
  StripLineEnd(line);
  if (addLineEnd) line += "\r\n";
  auto out = std::make_unique<char[]>(line.size() + 1);
  std::memcpy(out.get(), line.c_str(), line.size() + 1);
  return out;
}

const char* TMyFile::ReadLineInPlace(int addLineEnd) {
  if (!TakeLine(lineBuffer_)) return nullptr;
  // A bare LF ends a line as well as CR LF does: cutting two bytes blindly
  // would eat the last character of every line of a LF file.
  StripLineEnd(lineBuffer_);
  if (addLineEnd) lineBuffer_ += "\r\n";
  return lineBuffer_.c_str();
}

bool TMyFile::WritePending(std::size_t n) {
  SubstituteToNul(buffer_.data(), buffer_.size());
  BytesDone = 0;
  if (n > 0) {
    int64_t w = plat::write(Handle, buffer_.data(), n);
    if (w < 0) {
      failed_ = true;
      return false;
    }
    BytesDone = static_cast<uint32_t>(w);
  }
  return true;
}

int TMyFile::Write(const char* text) {
  if (buffer_.capacity() < static_cast<std::size_t>(kBufferSize)) buffer_.reserve(kBufferSize);
  if (buffer_.size() > static_cast<std::size_t>(kWriteThreshold)) {
    WritePending(buffer_.size());
    buffer_.clear();
  }
  if (text) buffer_.insert(buffer_.end(), text, text + std::strlen(text));
  return failed_ ? 0 : 1;
}

int TMyFile::WriteLine(const char* text) {
  Write(text);
  buffer_.push_back('\r');
  buffer_.push_back('\n');
  return failed_ ? 0 : 1;
}

int TMyFile::FlushBuffer() {
  if (!WriteOpen || buffer_.empty()) return failed_ ? 0 : 1;
  // No line end after the last line: drop its CR LF (or bare LF).
  std::size_t n = buffer_.size();
  if (buffer_[n - 1] == '\n') {
    --n;
    if (n > 0 && buffer_[n - 1] == '\r') --n;
  }
  WritePending(n);
  buffer_.clear();
  return failed_ ? 0 : 1;
}
