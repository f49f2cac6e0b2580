// Whether a program may be handed to an editor window: an editor keeps its
// program's row of the program index record-locked while the program is
// open, on any station, so a row that cannot be locked now is a program in
// use. The open dialogs ask before they hand a program out.
#pragma once

#include <functional>

class TWindow;

// Locks the program's row in KELVFILE.DBF (KELVLOCK.DBF for the view of
// locked programs) and lets it go again: the row's record number, or -1
// when the file will not open, the id is missing or the row is taken.
long CanLockProgram(long programId, int lockedView);

// The program search dialog belongs to the storage dialogs. It registers
// itself here; until it does, the commands that would run it have no
// handler. It runs modally over the parent and, when the user chose a
// program whose row could be locked, leaves its id in CurrentProgramId and
// answers IDOK.
using TProgramChooser = std::function<int(TWindow* parent)>;
void SetProgramChooser(TProgramChooser chooser);
const TProgramChooser& GetProgramChooser();
