// The block-renumbering options of the process and their file KELVANE.PRF
// in the configuration directory, kept from one renumbering to the next.
//
// File layout (little-endian 32-bit integers): preceding-N flag, format
// index, interval index, start number, start line, restart value; then the
// exclusion characters as one text line (no line end after it).
#pragma once

#include <string>

class TUserPreferences {
 public:
  int FormatIndex = 0;     // 0-6: "N1" (unpadded) to "N0000001"
  int IntervalIndex = 1;   // 0-6: step 1, 2, 5, 10, 20, 100, 1000
  int StartNumber = 10;
  int StartLine = 1;
  int RestartValue = -1;   // -1 or 0: never; else restart at value x step
  std::string ExclusionChars;  // empty: none; at most 19 characters
  int PrecedingN = 1;

  static constexpr size_t kExclusionMax = 19;

  // Reads the file of the directory (a DOS path ending in "\"). Without
  // the file only start number, start line and restart value go back to
  // their defaults. 1 when the file was read.
  int Load(const std::string& cfgDir);
  // Writes the file anew; 0 when it could not be written.
  int Save(const std::string& cfgDir) const;
};

// The process's one set of options, created with the defaults before any
// window exists.
TUserPreferences* InitUserPreferences();
extern TUserPreferences* UserPreferences;

// The block-number step of an interval index (1 for an index out of range).
int IntervalStep(int intervalIndex);
