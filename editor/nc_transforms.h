// Whole-file rewrites of an NC program: block renumbering, removing block
// numbers, spacing the words of each block and removing blanks. Each reads
// the source, writes the destination (created anew) and shows a progress
// window whose Cancel stops it. 1: the destination was written completely;
// 0: cancelled, a file could not be opened, or a write failed (the caller
// then keeps its text and does not load the destination).
#pragma once

#include <cstddef>
#include <string>

#include "editor/user_prefs.h"

class TApplication;
class TWindow;

int RenumberLines(TWindow* parent, const char* source, const char* destination, TApplication* app);
int RemoveLineNumbers(TWindow* parent, const char* source, const char* destination, TApplication* app);
int InsertSpaces(TWindow* parent, const char* source, const char* destination, TApplication* app);
int RemoveSpaces(TWindow* parent, const char* source, const char* destination, TApplication* app);

// The block number text of n by the process's options: "N" when asked,
// the digits zero-padded to the format's width, one blank.
std::string FormatLineNumber(long n);
std::string FormatLineNumber(long n, int formatIndex, int precedingN);

// The words of one block, upper-cased and separated by blanks; comments
// stay as they were written. False for a line that gives no text.
bool SpaceLine(const char* line, std::string& out);

// The block without its leading block number (digits, blanks, tabs, "N",
// "n"); a line made only of those gives an empty line.
const char* SkipLineNumber(const char* line);

// Renumbering of one line after another, with the options taken when it
// was built.
class TRenumbering {
 public:
  explicit TRenumbering(const TUserPreferences& options);
  // The new line (without line end) into out.
  void Line(const char* line, std::string& out);

 private:
  bool GetsNumber(const char* rest) const;

  TUserPreferences options_;
  long number_;
  long step_;
  long threshold_ = 0;
  long lineCounter_ = 1;
};

// Blank removal over raw bytes: blanks and tabs go outside comments, the
// comment state runs on from one block to the next. Returns the new length
// of the block (compacted in place).
class TSpaceRemoval {
 public:
  size_t Block(char* data, size_t n);

 private:
  bool inComment_ = false;
};
