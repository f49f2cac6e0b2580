#include "dbtools/work_file.h"

#include <algorithm>

namespace {
constexpr std::size_t kPiece = 256 * 1024;
}  // namespace

TSourceReader::TSourceReader(const std::string& path) {
  file_ = plat::create_file(path, plat::Access::read, plat::Share::read, plat::Disposition::open_existing, &error_);
  if (file_.is_open()) {
    error_ = 0;
    buffer_.resize(kPiece);
  } else if (error_ == 0) {
    error_ = plat::error_not_found;
  }
}

bool TSourceReader::Fill() {
  if (eof_ || error_) return false;
  int64_t n = plat::read(file_, buffer_.data(), buffer_.size());
  if (n < 0) {
    error_ = plat::last_error() ? plat::last_error() : plat::error_io;
    return false;
  }
  if (n == 0) {
    eof_ = true;
    return false;
  }
  at_ = 0;
  end_ = static_cast<std::size_t>(n);
  return true;
}

std::size_t TSourceReader::Read(char* out, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    if (at_ == end_ && !Fill()) break;
    std::size_t take = std::min(n - got, end_ - at_);
    std::copy(buffer_.data() + at_, buffer_.data() + at_ + take, out + got);
    at_ += take;
    got += take;
  }
  return got;
}

std::string_view TSourceReader::NextPiece() {
  if (at_ == end_ && !Fill()) return {};
  std::string_view piece(buffer_.data() + at_, end_ - at_);
  at_ = end_;
  return piece;
}

int TSourceReader::Next() {
  if (at_ == end_ && !Fill()) return -1;
  return static_cast<unsigned char>(buffer_[at_++]);
}

TWorkWriter::TWorkWriter(const std::string& path) {
  file_ = plat::create_file(path, plat::Access::write, plat::Share::read, plat::Disposition::create_always, &error_);
  if (file_.is_open()) error_ = 0;
  else if (error_ == 0) error_ = plat::error_io;
}

void TWorkWriter::Put(std::string_view bytes) {
  if (error_) return;
  if (pending_.size() + bytes.size() < kPiece) {
    pending_.append(bytes);
    return;
  }
  Flush();
  // A large piece goes out as it stands, without a copy.
  if (bytes.size() >= kPiece)
    WriteNow(bytes);
  else
    pending_.append(bytes);
}

void TWorkWriter::WriteNow(std::string_view bytes) {
  if (error_ || bytes.empty()) return;
  if (plat::write(file_, bytes.data(), bytes.size()) != static_cast<int64_t>(bytes.size()))
    error_ = plat::last_error() ? plat::last_error() : plat::error_io;
}

void TWorkWriter::Flush() {
  WriteNow(pending_);
  pending_.clear();
}

bool TWorkWriter::Finish() {
  Flush();
  if (file_.is_open() && !plat::close(file_) && !error_) error_ = plat::last_error() ? plat::last_error() : plat::error_io;
  return error_ == 0;
}
