// The NC text commands of an editor window, as functions over its frame
// and edit control: the transform pass through the two temporary files,
// the value ranges of the axis words, and machine cycles put into the
// text at the caret.
#pragma once

#include <string>

class TApplication;
class TLEdit;
class TWindow;

using NcTransform = int (*)(TWindow* parent, const char* source, const char* destination, TApplication* app);

// "<TempDir>CRNF<frame>.RF1" (which 1) and ".RF2" (which 2).
std::string TransformTempName(long frameNo, int which);

// Saves the text to RF1, runs the transform into RF2 and loads RF2 only
// when the transform finished; the temporary files go in every case. A
// text that cannot be saved is not transformed, and the user is told.
// 1 when the text was replaced.
int RunTransformPass(TWindow* frame, TLEdit* edit, long frameNo, NcTransform transform, TApplication* app);

// Smallest and largest values of the words X, Y, Z, S and F, from the
// first word of each letter in a line; comments in parentheses do not
// count. A letter never seen shows 0 to 0.
class TAxisRanges {
 public:
  static constexpr char kLetters[6] = "XYZSF";

  TAxisRanges() { Reset(); }
  void Reset();
  void ScanLine(const char* line);
  // The letters never seen get 0.0 for both values.
  void Finish();
  // "X : %1.4f -> %1.4f\r\n" for X, Y, Z, F and S in that order.
  std::string Text() const;

  double Min[5];
  double Max[5];
  bool Seen[5];
};

// Scans every line of the edit with a status window and shows the ranges
// in a box titled "Values"; nothing for an empty text.
void ShowAxisValues(TWindow* frame, TLEdit* edit, TApplication* app);

// Runs the fill-in dialog for the cycle of a cycle-box line ("...@@id")
// and inserts its text at the caret; nothing for a line without an id.
void InsertCycle(TWindow* frame, TLEdit* edit, const std::string& cycleBoxLine);
// Inserts CycleText of the globals at the selection, caret after it.
void InsertCycleText(TLEdit* edit);

class TComboBox;

// Save As Macro, before the macro dialog runs: copies the selection to the
// clipboard, which the dialog takes its text from; false (nothing done)
// without a selection.
bool CopySelectionForMacro(TLEdit* edit);
// After the macro dialog: the macro box lists the machine's macros again,
// the first selected, so a new macro is offered at once (only while the
// tool bars are shown and for a machine).
void RefillMacroBox(TComboBox* box, long machineId);
// Insert macro, before the confirming dialog runs: the text of the macro
// of a macro-box line ("...@@id"); false for a line without an id, a
// missing macro or one without text.
bool ReadMacroOfBoxLine(const std::string& boxLine, std::string& text);
// After the confirming dialog put the text on the clipboard: pastes it at
// the selection, the caret after it, the focus in the edit.
void PasteMacro(TLEdit* edit);
