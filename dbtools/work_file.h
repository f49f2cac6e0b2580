// Buffered reading of a source file and writing of a work file for the
// tape conversions: large pieces through the layer's file calls, every
// failure kept with its error value, never taken for the end of a file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

class TSourceReader {
 public:
  // Opens the file for reading (other readers allowed); Failed() tells.
  explicit TSourceReader(const std::string& path);
  // Up to n bytes into out; fewer only at the end of the file or after a
  // failed read (Failed() then tells which).
  std::size_t Read(char* out, std::size_t n);
  // The next byte, or -1 at the end or after a failure.
  int Next();
  // The bytes not handed out yet of the next piece of the file, read when
  // none are left; empty at the end or after a failure.
  std::string_view NextPiece();
  bool Failed() const { return error_ != 0; }
  int Error() const { return error_; }

 private:
  bool Fill();

  plat::File file_;
  std::vector<char> buffer_;
  std::size_t at_ = 0, end_ = 0;
  bool eof_ = false;
  int error_ = 0;
};

class TWorkWriter {
 public:
  // Creates the file anew (or empties it); Failed() tells.
  explicit TWorkWriter(const std::string& path);
  void Put(std::string_view bytes);
  // Writes what is pending and closes the file; false when any write or
  // the close failed.
  bool Finish();
  bool Failed() const { return error_ != 0; }
  int Error() const { return error_; }

 private:
  void Flush();
  void WriteNow(std::string_view bytes);

  plat::File file_;
  std::string pending_;
  int error_ = 0;
};
