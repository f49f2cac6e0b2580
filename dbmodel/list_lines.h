// What the table classes need of a list or combo box: clear it, add a line,
// select a line. The window model's controls implement it.
//
// A line that stands for a record ends in "@@" and the record's id; a
// second id may follow after "££" (bytes 0xA3 0xA3) or "$$". Setup-sheet
// lines give the sheet's id after "§§" (bytes 0xA7 0xA7).
#pragma once

class TListLines {
 public:
  virtual ~TListLines() = default;
  virtual void ClearLines() = 0;
  virtual void AddLine(const char* text) = 0;
  virtual void SelectLine(int index) = 0;
};

#include <string>

// The visible text of a list line with every "@@", "££", "$$" and "§§" broken
// up ("@ "), so that a name a user typed cannot pose as the id marker and
// point the line at another record.
std::string ListLineText(std::string text);

// The id after the first "@@" of a line (leading digits; none gives 0),
// or 0 when the line has no "@@".
long ListLineId(const char* line);
// The id after the first "££" or "$$" of a line, 0 when there is none.
long ListLineSecondId(const char* line);
// The id after the first `marker` of a line, 0 when there is none.
long ListLineMarkedId(const char* line, const char* marker);
