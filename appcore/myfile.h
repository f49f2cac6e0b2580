// Buffered text file for NC programs and the program's own text files.
//
// Reading goes by 29000-byte blocks, each completed byte by byte to the end
// of its line, so a line never straddles two blocks. NUL bytes are read as
// 0xA7 so every line is a C string; writing turns 0xA7 back into NUL. Lines
// end in LF with an optional CR before it; the last line needs no line end,
// and a file written line by line gets none after its last line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "appcore/heap_text.h"
#include "platform/file.h"

class TMyFile {
 public:
  static constexpr int kBlockSize = 29000;
  static constexpr int kBufferSize = 30000;
  static constexpr int kWriteThreshold = 29500;
  static constexpr unsigned char kNulSubstitute = 0xA7;

  explicit TMyFile(const char* fileName);
  ~TMyFile();
  TMyFile(const TMyFile&) = delete;
  TMyFile& operator=(const TMyFile&) = delete;

  // readMode non-zero: open an existing file for reading; zero: create it
  // anew for writing. The second argument is not used. 1 on success.
  int Open(int readMode, int unused = 0);
  // Closes the handle (pending data is not written: FlushBuffer first).
  // 0 when closing reported an error.
  int Close();

  // The next line as a new text owned by the caller, null at the end of
  // the file. With addLineEnd, CR LF is appended.
  std::unique_ptr<char[]> ReadLine(int addLineEnd);
  // As ReadLine, into a buffer of the object (valid until the next call).
  const char* ReadLineInPlace(int addLineEnd);

  // Append to the write buffer; WriteLine adds CR LF. 0 once a write failed.
  int WriteLine(const char* text);
  int Write(const char* text);
  // Writes what is pending, without the CR LF of the last line. 0 when the
  // data could not be written (the error stays in plat::last_error()).
  int FlushBuffer();

  // True once a read or a write of this file failed.
  bool Failed() const { return failed_; }

  HeapText FileName;
  plat::File Handle;
  int WriteOpen = 0;
  int ReadOpen = 0;
  uint32_t BytesDone = 0;
  int LastResult = 0;

 private:
  bool ReadBlock();
  // The next line's bytes with its line end, or false at the end.
  bool TakeLine(std::string& line);
  bool WritePending(std::size_t n);

  // Reading: the block and its completion, then the end mark (0) when the
  // file ended inside it. Writing: exactly the pending bytes.
  std::vector<unsigned char> buffer_;
  std::size_t pos_ = 0;    // read position
  std::size_t count_ = 0;  // valid bytes when reading
  bool atEof_ = false;
  bool failed_ = false;
  std::string lineBuffer_;
};
