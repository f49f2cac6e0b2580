// The lock test of the open dialogs, the lock they hand to the editor and
// the seam of the program search.
#include "storage/program_lock.h"

#include "engine/engine_api.h"

long CanLockProgram(long programId, int lockedView) {
  // The table closes when it goes out of scope, which releases the lock:
  // the test leaves nothing behind.
  TcbFileTable table(lockedView ? "KELVLOCK.DBF" : "KELVFILE.DBF", 0, 0);
  // A question about now: a row held by an editor answers at once, however
  // long the station's lock attempts would wait (without end by default).
  DbBoundedLocks once(1);
  return table.LockById(programId);
}

bool TProgramLockTable::ResetSentHeld(long id) {
  constexpr int kSentField = 19;
  if (!Data() || !SeekNumber("NCID", static_cast<double>(id))) return false;
  PutLong(kSentField, 0);
  bool ok = data_flush(Data()) == 0;
  if (EngineFailed()) ok = false;
  return ok;
}

namespace {
struct THeldLock {
  std::unique_ptr<TProgramLockTable> table;
  long id = 0;
};
THeldLock& Held() {
  static THeldLock held;
  return held;
}
int& OpenScopes() {
  static int scopes = 0;
  return scopes;
}
TProgramChooser& Chooser() {
  static TProgramChooser chooser;
  return chooser;
}
}  // namespace

void HandOverProgramLock(std::unique_ptr<TProgramLockTable> table, long programId) {
  Held().table = std::move(table);
  Held().id = programId;
}

std::unique_ptr<TProgramLockTable> TakeProgramLock(long programId) {
  std::unique_ptr<TProgramLockTable> table = std::move(Held().table);
  long id = Held().id;
  Held().id = 0;
  if (!table || programId == 0 || id != programId) return nullptr;
  return table;
}

TEditorOpenScope::TEditorOpenScope() { OpenScopes()++; }
TEditorOpenScope::~TEditorOpenScope() {
  if (--OpenScopes() == 0) TakeProgramLock(0);
}
bool KeepsProgramLock() { return OpenScopes() > 0; }

void SetProgramChooser(TProgramChooser chooser) { Chooser() = std::move(chooser); }
const TProgramChooser& GetProgramChooser() { return Chooser(); }
