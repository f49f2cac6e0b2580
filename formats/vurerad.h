// Mazak VurErad tape images as the editor's tape text. A VurErad file is a
// 250-byte header and 128-byte tape blocks; a block whose text (up to its
// first NUL) holds "TAPE" is a tape mark. Each block becomes one line:
//   "[TAPEMARK-n]"                      n counting the marks from 0
//   "_" 128 bytes "_" HH "_"            a data block, HH the low byte of
//                                       its byte sum in upper-case hex
// Every line ends with CR LF. A data block holding CR, LF or NUL bytes
// would break its line, so it is written with its 128 bytes as 256
// upper-case hex digits instead ("_" 256 digits "_" HH "_"); the two forms
// differ in length, so the text gives back every block's bytes. A short
// last block is filled up with NUL bytes.
#pragma once

#include <string>

enum class TVurEradResult {
  Done,
  NotVurErad,    // no tape mark as the first block (or no block at all)
  ReadFailed,    // the source could not be opened or read
  WriteFailed,   // the tape text could not be written
};

namespace vurerad {

constexpr std::size_t kHeaderSize = 250;
constexpr std::size_t kBlockSize = 128;

bool IsTapeMark(const char* block, std::size_t size);
// The data line of one full block, CR LF included.
std::string DataLine(const char* block);
// The whole tape text of an image's bytes; false (text empty) when the
// first block is no tape mark.
bool ToText(const std::string& image, std::string& text);
// Converts the file source into the tape text file result; why not, when
// not, in error (the system's reason).
TVurEradResult Convert(const std::string& source, const std::string& result, std::string& error);

}  // namespace vurerad
