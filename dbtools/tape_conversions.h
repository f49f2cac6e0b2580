// The conversions of the tape imports: a Mazak T32 or T+ tape file becomes
// the Mazak tape text, a WC-18 program file clean NC text. Each reads its
// source and writes the converted program into the work file of the import
// run (created anew, or emptied, by every conversion); the run then files
// that file as the program.
//
// Mazak tape text: the tape's blocks of 128 bytes become records
// "_" payload "_" check "_" between tape-mark lines, CR LF after every line:
//   [TAPEMARK-0]  header 1 (T32 "3111..." or T+ "3115...")  header 2
//   header 3  [TAPEMARK-1]  one record per block  [TAPEMARK-2]  header 4
// Header 2 carries bytes 14 to 17 of the first block (its program number).
// A tape starts at the first "1100" found anywhere in the file; 2 bytes lie
// between two blocks; a last block shorter than 128 bytes is dropped. A
// record whose payload holds CR, LF or NUL is written in the hex form of
// the VurErad import, so every line of the text stays one line.
//
// WC-18 cleaning keeps the bytes 0x20 to 0x7F, CR and LF and drops every
// other byte; the 140/200 variant also drops everything before the first
// "%" of the file.
#pragma once

#include <cstddef>
#include <string>

enum class TConversion {
  Taken,         // the work file holds the converted program
  NotTaken,      // the source holds no tape of this kind (no block marker)
  SourceFailed,  // the source could not be opened or read
  WorkFailed,    // the work file could not be written
};

// error, when given, receives the layer's error value of a failure.
TConversion ConvertMazakT32Tape(const std::string& source, const std::string& work, int* error = nullptr);
TConversion ConvertMazakTPlusTape(const std::string& source, const std::string& work, int* error = nullptr);
TConversion ConvertWc18File(const std::string& source, const std::string& work, int* error = nullptr);
TConversion ConvertWc18140File(const std::string& source, const std::string& work, int* error = nullptr);

// The WC-18 filter over one piece of a file: the kept bytes of in[0, n)
// into out (room for n bytes), in order; their number.
std::size_t Wc18Keep(const char* in, std::size_t n, char* out);
