// Line reader of the compare library (see line_reader.h for the text rules).
#include "compare/line_reader.h"

#include <cstring>
#include <utility>

TMyFile::TMyFile(std::string name) : name_(std::move(name)) {}

TMyFile::~TMyFile() {
  if (file_) std::fclose(file_);
}

bool TMyFile::OpenRead() {
  if (file_) return true;
  file_ = std::fopen(name_.c_str(), "rb");
  return file_ != nullptr;
}

bool TMyFile::ReadBlock() {
  if (eof_ || failed_ || !file_) return false;
  if (block_.empty()) block_.resize(kBlockSize);
  valid_ = std::fread(block_.data(), 1, kBlockSize, file_);
  pos_ = 0;
  if (valid_ < kBlockSize) {
    if (std::ferror(file_)) {
      failed_ = true;
      valid_ = 0;
      return false;
    }
    eof_ = true;
  }
  // A NUL would end the line's text early; show it as the section sign.
  for (std::size_t k = 0; k < valid_; ++k)
    if (block_[k] == '\0') block_[k] = '\xA7';
  return valid_ > 0;
}

bool TMyFile::GetLine(std::string& line) {
  line.clear();
  for (;;) {
    if (pos_ == valid_ && !ReadBlock()) {
      // End of file (or a failed read): a last line without LF still counts.
      return !failed_ && !line.empty();
    }
    const char* start = block_.data() + pos_;
    const std::size_t left = valid_ - pos_;
    const void* lf = std::memchr(start, '\n', left);
    if (!lf) {
      line.append(start, left);
      pos_ = valid_;
      continue;
    }
    const std::size_t len = static_cast<const char*>(lf) - start;
    line.append(start, len);
    pos_ += len + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }
}
