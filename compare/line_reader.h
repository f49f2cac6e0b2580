// Line reader of the compare library: hands out the lines of a text file one
// at a time, without their line ends.
//
// Text files as the comparison sees them: lines end in LF; a CR right before
// the LF belongs to the line end (CR LF files as the editor writes them), any
// other byte stays in the line. A last line without LF counts when it holds
// anything. NUL bytes become 0xA7 so that every line is a C text. Lines have
// no length limit.
#ifndef KV_COMPARE_LINE_READER_H
#define KV_COMPARE_LINE_READER_H

#include <cstdio>
#include <string>
#include <vector>

class TMyFile {
 public:
  explicit TMyFile(std::string name);
  ~TMyFile();
  TMyFile(const TMyFile&) = delete;
  TMyFile& operator=(const TMyFile&) = delete;

  // False when the file cannot be opened for reading.
  bool OpenRead();
  // The next line without its end; false at the end of the file or when a
  // read fails (Failed() tells the two apart).
  bool GetLine(std::string& line);
  bool Failed() const { return failed_; }

 private:
  bool ReadBlock();

  static constexpr std::size_t kBlockSize = 29000;

  std::string name_;
  std::FILE* file_ = nullptr;
  std::vector<char> block_;
  std::size_t valid_ = 0;
  std::size_t pos_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

#endif
