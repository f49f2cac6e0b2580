// The lock test of the open dialogs and the seam of the program search.
#include "storage/program_lock.h"

#include "dbmodel/filetable.h"

long CanLockProgram(long programId, int lockedView) {
  // The table closes when it goes out of scope, which releases the lock:
  // the test leaves nothing behind.
  TcbFileTable table(lockedView ? "KELVLOCK.DBF" : "KELVFILE.DBF", 0, 0);
  return table.LockById(programId);
}

namespace {
TProgramChooser& Chooser() {
  static TProgramChooser chooser;
  return chooser;
}
}  // namespace

void SetProgramChooser(TProgramChooser chooser) { Chooser() = std::move(chooser); }
const TProgramChooser& GetProgramChooser() { return Chooser(); }
