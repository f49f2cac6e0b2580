// The options of block renumbering, kept for the whole process and in
// KELVANE.PRF in the configuration directory between runs.
//
// KELVANE.PRF: six 32-bit little-endian integers (preceding-N flag,
// format index, interval index, start number, start line, restart value),
// then the exclusion characters as one text line. The line is written as
// the text-file line writer leaves it: the line end of the last line is
// dropped on the flush, so nothing follows the characters. Reading takes
// the line up to a CR or LF, so a file whose line was ended by CR LF loads
// the same.
#pragma once

#include <cstddef>
#include <string>

struct TUserPreferences {
  static constexpr size_t kExclusionMax = 19;

  int FormatIndex = 0;     // 0-6: "N1" (unpadded) .. "N0000001"
  int IntervalIndex = 1;   // 0-6: step 1, 2, 5, 10, 20, 100, 1000
  int StartNumber = 10;
  int StartLine = 1;
  int RestartValue = -1;   // -1 or 0: no restart; else restart at value x step
  std::string Exclusion;   // empty when none; at most kExclusionMax characters
  int PrecedingN = 1;

  // Reads KELVANE.PRF. A file that will not open resets the three numbers
  // and keeps the rest; false then, or when the file is short (the fields
  // read stay, the others keep their values).
  bool Load();
  // Writes KELVANE.PRF anew (beside, then renamed); false with the reason
  // when it could not be written, the old file kept.
  bool Save(std::string* reason = nullptr) const;
};

class TWindow;
// Saves the process's preferences; a file that cannot be written is told
// to the user (the values in memory stay). False then.
bool SaveUserPreferences(TWindow* owner);

// The process's preferences, made before any window by a static initialiser.
extern TUserPreferences* UserPreferences;
void InitUserPreferences();
std::string UserPreferencesPath();

// The block-number step of an interval index (1 for an index out of range).
int IntervalStep(int intervalIndex);
