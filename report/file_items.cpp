// Items of the report files, file names, and the files being saved and read.
#include "report/file_items.h"

#include <cstring>
#include <vector>

#include "platform/file.h"

namespace repfile {

bool name_with_ext(const char* name, const char* ext, std::string& out) {
  char buf[kFileName + 1];
  if (!name || std::strlen(name) > kFileName) return false;
  std::strcpy(buf, name);
  if (file_name_ext(buf, sizeof buf, ext, 0) != 0) return false;
  out = buf;
  return true;
}

std::string base_name(const std::string& name) {
  std::vector<char> buf(name.size() + 1);
  file_name_piece(buf.data(), int(buf.size()), name.c_str(), 0, 1);
  return buf.data();
}

std::string default_alias(const std::string& name) {
  char buf[kAlias + 1];
  file_name_piece(buf, sizeof buf, name.c_str(), 0, 0);
  return buf;
}

std::string in_dir(const char* dir, const std::string& name) {
  std::string out = dir;
  if (!out.empty() && out.back() != '\\' && out.back() != '/' && out.back() != ':') {
    // The separator the directory is written with: a DOS-form one gets "\".
    bool dos = out.find_first_of("\\:") != std::string::npos || out.find('/') == std::string::npos;
    out += dos ? '\\' : '/';
  }
  return out + name;
}

std::string dir_of(const std::string& path) {
  size_t at = path.find_last_of("\\/:");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

void ItemWriter::bytes(const void* p, size_t n) {
  if (ok_ && n && seq_write(w_, p, unsigned(n)) < 0) ok_ = false;
}

void ItemWriter::i32(int32_t v) {
  unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(uint32_t(v) >> 24)};
  bytes(b, 4);
}

void ItemWriter::u16(int v) {
  unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
  bytes(b, 2);
}

void ItemWriter::byte(int v) {
  unsigned char b = uint8_t(v);
  bytes(&b, 1);
}

void ItemWriter::count(size_t n) {
  if (n > 0xFFFF) ok_ = false;
  else u16(int(n));
}

void ItemWriter::text(std::string_view s, size_t limit) {
  if (s.size() > limit) {
    ok_ = false;
    return;
  }
  i32(int32_t(s.size()));
  bytes(s.data(), s.size());
  byte(0);
}

bool ItemReader::bytes(void* p, size_t n) {
  if (n > size_t(left_)) return false;
  if (n && seq_read(r_, p, unsigned(n)) != n) return false;
  left_ -= long(n);
  return true;
}

bool ItemReader::i32(int32_t& v) {
  unsigned char b[4];
  if (!bytes(b, 4)) return false;
  v = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
  return true;
}

bool ItemReader::u16(uint16_t& v) {
  unsigned char b[2];
  if (!bytes(b, 2)) return false;
  v = uint16_t(b[0] | b[1] << 8);
  return true;
}

bool ItemReader::u16(int& v) {
  uint16_t u;
  if (!u16(u)) return false;
  v = u;
  return true;
}

bool ItemReader::i16(int16_t& v) {
  uint16_t u;
  if (!u16(u)) return false;
  v = int16_t(u);
  return true;
}

bool ItemReader::byte(uint8_t& v) { return bytes(&v, 1); }

bool ItemReader::text(std::string& out, size_t limit) {
  int32_t n;
  if (!i32(n) || n < 0) return false;
  if (size_t(n) > limit) {
    too_long_ = true;
    return false;
  }
  if (long(n) + 1 > left_) return false;
  out.resize(size_t(n) + 1);
  if (!bytes(out.data(), out.size())) return false;
  out.resize(strnlen(out.data(), size_t(n)));
  return true;
}

bool SaveErrors::fail(const char* text, const char* extra) {
  if (!reported_) {
    reported_ = true;
    code_error_ex(c_, e_report_save, text, extra, nullptr);
  }
  return false;
}

bool ReadErrors::fail(int code, const char* text, const char* extra, const ItemReader* in) {
  if (!reported_) {
    reported_ = true;
    if (in && in->too_long()) code_error_ex(c_, e_result, "Internal buffer too small while retrieving report", nullptr, nullptr);
    else code_error_ex(c_, code, text, extra, nullptr);
  }
  return false;
}

SaveFile::SaveFile(DB_ENGINE* c, unsigned buffer_size) : c_(c), buffer_(buffer_size, '\0') {
  file_.handle = -1;
}

SaveFile::~SaveFile() { drop(); }

bool SaveFile::create(const char* name, const char* ext) {
  if (!name_with_ext(name, ext, target_)) {
    code_error_ex(c_, e_report_save, "Unable to create save file.", name, nullptr);
    return false;
  }
  temp_ = target_ + "~";
  int rc;
  {
    // The work file may be left from a save that broke off: it is
    // overwritten, and a failure is reported here, once.
    DbSettingFor safety(c_->safety, 0), quiet(c_->report_create_errors, 0);
    rc = file_create(&file_, c_, temp_.c_str(), 1);
  }
  if (rc != 0) {
    if (rc > 0) code_error_set(c_, 0);
    code_error_ex(c_, e_report_save, "Unable to create save file.", target_.c_str(), nullptr);
    return false;
  }
  open_ = true;
  seq_write_init(&writer_, &file_, 0, buffer_.data(), unsigned(buffer_.size()));
  return true;
}

bool SaveFile::finish(SaveErrors& errors) {
  if (!out_.ok() || seq_write_flush(&writer_) < 0) return errors.fail("Unable to create save file.", target_.c_str());
  open_ = false;
  if (file_close(&file_) < 0) {
    plat::delete_file(temp_);
    return errors.fail("Unable to create save file.", target_.c_str());
  }
  // Copied into place whole: nobody finds half a file under the name.
  bool placed = plat::copy_file(temp_, target_, false);
  plat::delete_file(temp_);
  if (!placed) return errors.fail("Unable to create save file.", target_.c_str());
  return true;
}

void SaveFile::drop() {
  if (!open_) return;
  open_ = false;
  DbQuietError quiet(c_, DbQuietError::if_error);
  file_close(&file_);
  plat::delete_file(temp_);
}

ReadFile::~ReadFile() {
  if (open_) {
    DbQuietError quiet(c_, DbQuietError::if_error);
    file_close(&file_);
  }
}

bool ReadFile::open(const std::string& path) {
  int rc;
  {
    DbSettingFor quiet(c_->report_open_errors, 0);
    rc = file_open(&file_, c_, path.c_str(), 1);
  }
  if (rc != 0) {
    if (rc > 0) code_error_set(c_, 0);
    return false;
  }
  open_ = true;
  long size = file_len(&file_);
  if (size < 0) return false;
  seq_read_init(&reader_, &file_, 0, buffer_, sizeof buffer_);
  in_ = ItemReader(&reader_, size);
  return true;
}

}  // namespace repfile
