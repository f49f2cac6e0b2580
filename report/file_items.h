// The items report, relation and style files are made of (format.md beside
// this file gives the layouts): little-endian numbers and length-prefixed
// texts, written and read through the engine's buffered file access. The
// reader checks every count and length against the bytes the file has
// left and every text against its limit; the writer refuses a text the
// reader would refuse, so whatever is saved can be read back.
//
// A save writes a file beside the target and copies it into the target's
// place only once complete: a failed save leaves the old file as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "report/report_internal.h"

namespace repfile {

inline constexpr int kVersion = 38;
inline constexpr int kOldestVersion = 32;
inline constexpr unsigned char kReportMark = 0x15;  // report and relation files
inline constexpr unsigned char kStyleMark[2] = {0x16, 0x26};

// The longest texts the files hold.
inline constexpr size_t kReportText = 1023;  // report name, caption
inline constexpr size_t kFileName = 511;
inline constexpr size_t kAlias = 10;
inline constexpr size_t kTagName = 10;
inline constexpr size_t kCalcName = 19;
inline constexpr size_t kStyleName = 19;
inline constexpr size_t kFaceName = 31;
inline constexpr size_t kGroupName = 25;
inline constexpr size_t kOutName = 10;
inline constexpr size_t kText = 4095;  // expressions, object texts, pictures

// The name with the extension added when it has none (upper-cased, as the
// engine names files); false when it is longer than a file name may be.
bool name_with_ext(const char* name, const char* ext, std::string& out);
// The name without its path (upper-cased, with its extension).
std::string base_name(const std::string& name);
// The alias a data file of that name opens under.
std::string default_alias(const std::string& name);
// The directory (a separator added when it has none) and the name.
std::string in_dir(const char* dir, const std::string& name);
// The directory part of a path, its separator included ("" for none).
std::string dir_of(const std::string& path);

class ItemWriter {
 public:
  explicit ItemWriter(DbSeqWrite* w) : w_(w) {}
  void i32(int32_t v);
  void u16(int v);
  void byte(int v);
  void bytes(const void* p, size_t n);
  // A count of records that follows as u16.
  void count(size_t n);
  // n, the bytes and a zero; refused (nothing written) when longer than
  // the limit.
  void text(std::string_view s, size_t limit);
  bool ok() const { return ok_; }

 private:
  DbSeqWrite* w_;
  bool ok_ = true;
};

class ItemReader {
 public:
  ItemReader(DbSeqRead* r, long size) : r_(r), left_(size) {}
  bool i32(int32_t& v);
  bool u16(uint16_t& v);
  bool i16(int16_t& v);
  bool u16(int& v);
  bool byte(uint8_t& v);
  bool bytes(void* p, size_t n);
  // A text of at most limit bytes; a zero inside ends it.
  bool text(std::string& out, size_t limit);
  // A count of records each at least min_size bytes long that the file
  // still has room for.
  bool fits(int64_t count, long min_size) const { return count >= 0 && count <= left_ / min_size; }
  bool too_long() const { return too_long_; }
  long left() const { return left_; }

 private:
  DbSeqRead* r_;
  long left_;
  bool too_long_ = false;
};

// The first failure of a save, reported once with its level's text; the
// levels above return without a second report.
class SaveErrors {
 public:
  explicit SaveErrors(DB_ENGINE* c) : c_(c) {}
  bool fail(const char* text, const char* extra = nullptr);
  bool reported() const { return reported_; }

 private:
  DB_ENGINE* c_;
  bool reported_ = false;
};

// The same for a retrieve: the level's code and text, or the buffer
// message when a text did not fit its limit.
class ReadErrors {
 public:
  explicit ReadErrors(DB_ENGINE* c) : c_(c) {}
  bool fail(int code, const char* text, const char* extra = nullptr, const ItemReader* in = nullptr);
  bool reported() const { return reported_; }

 private:
  DB_ENGINE* c_;
  bool reported_ = false;
};

// A file being saved: written beside the target, then put in its place.
class SaveFile {
 public:
  SaveFile(DB_ENGINE* c, unsigned buffer_size);
  ~SaveFile();
  SaveFile(const SaveFile&) = delete;
  SaveFile& operator=(const SaveFile&) = delete;
  // Creates the file for the name given, the extension added when it has
  // none; reports -821 "Unable to create save file." on failure.
  bool create(const char* name, const char* ext);
  const std::string& path() const { return target_; }
  ItemWriter& out() { return out_; }
  // Flushes and closes the file and puts it in the target's place;
  // reports -821 on failure.
  bool finish(SaveErrors& errors);

 private:
  void drop();
  DB_ENGINE* c_;
  std::string target_, temp_;
  DbFile file_{};
  bool open_ = false;
  std::string buffer_;
  DbSeqWrite writer_{};
  ItemWriter out_{&writer_};
};

// A file being read, with its size known.
class ReadFile {
 public:
  explicit ReadFile(DB_ENGINE* c) : c_(c) {}
  ~ReadFile();
  ReadFile(const ReadFile&) = delete;
  ReadFile& operator=(const ReadFile&) = delete;
  // False without a report when it cannot be opened.
  bool open(const std::string& path);
  ItemReader& in() { return in_; }

 private:
  DB_ENGINE* c_;
  DbFile file_{};
  bool open_ = false;
  char buffer_[2048];
  DbSeqRead reader_{};
  ItemReader in_{&reader_, 0};
};

}  // namespace repfile
