// Whether a program may be handed to an editor window: an editor keeps its
// program's row of the program index record-locked while the program is
// open, on any station, so a row that cannot be locked now is a program in
// use. The open dialogs ask before they hand a program out.
#pragma once

#include <functional>
#include <memory>

#include "dbmodel/filetable.h"

class TWindow;

// Locks the program's row in KELVFILE.DBF (KELVLOCK.DBF for the view of
// locked programs) and lets it go again: the row's record number, or -1
// when the file will not open, the id is missing or the row is taken.
long CanLockProgram(long programId, int lockedView);

// The program index as an editor window holds it: open, with the row of
// its program record-locked until the table goes.
class TProgramLockTable : public TcbFileTable {
 public:
  explicit TProgramLockTable(const char* fileName = "KELVFILE.DBF") : TcbFileTable(fileName, 0, 0) {}
  // Sets the transfer count of the locked row to 0 without closing the
  // file (which would let the lock go); false when it was not written.
  bool ResetSentHeld(long id);
};

// The program dialog's Open keeps the row lock it took until the editor
// window takes it over, so that no other station can open the program in
// between. Handing over a lock lets go of one not taken yet; taking one
// for another id lets it go and gives null.
void HandOverProgramLock(std::unique_ptr<TProgramLockTable> table, long programId);
std::unique_ptr<TProgramLockTable> TakeProgramLock(long programId);
// Only the commands that open the chosen program in an editor want the
// lock kept: while one of these lives, Open hands its lock over; at its
// end a lock no editor took is let go. Other choosers of a program (to
// compare, append or send it) get the lock let go at once.
class TEditorOpenScope {
 public:
  TEditorOpenScope();
  ~TEditorOpenScope();
  TEditorOpenScope(const TEditorOpenScope&) = delete;
  TEditorOpenScope& operator=(const TEditorOpenScope&) = delete;
};
bool KeepsProgramLock();

// The program search dialog belongs to the storage dialogs. It registers
// itself here; until it does, the commands that would run it have no
// handler. It runs modally over the parent and answers the id of the
// program the user chose and whose row could be locked; 0 when none.
using TProgramChooser = std::function<long(TWindow* parent)>;
void SetProgramChooser(TProgramChooser chooser);
const TProgramChooser& GetProgramChooser();
