// Id counters: KELVINDX.DBF holds rows of 25 numeric counters F01..F25; a
// counter is its row (1, 2 or 3) and field. Each draw adds 1 and returns
// the new value, which is the id handed out.
#pragma once

#include "dbmodel/codetb.h"

class TcbCounterTable : public TCodeTB {
 public:
  TcbCounterTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  // Fills a file of fewer than 4 rows up to 5 rows with every counter at 2.
  void EnsureRecords();
  // The next value of counter n of row 1, 2 or 3; -1 when the draw failed
  // (file not opened, counter row locked by others, write refused).
  long NextA(int n) { return Next(1, n); }
  long NextB(int n) { return Next(2, n); }
  long NextC(int n) { return Next(3, n); }
  // Counter n of row 1 raised by count in one draw: the first of the count
  // values handed out, -1 when the draw failed.
  long NextBlockA(int n, long count) {
    long last = count > 0 ? Next(1, n, count) : -1;
    return last < 0 ? -1 : last - count + 1;
  }
  // Sets counter n of row 1 to 0; 1, or 0 on failure.
  int ResetA(int n);

  int unused = -1;

 private:
  long Next(int row, int n, long count = 1);
  // Makes sure the file has at least `rows` rows, appending while it holds
  // the whole file; false on failure. Rows appended get F01 = 0 when
  // `zeroFirst`, else stay blank.
  bool GrowTo(long rows, bool zeroFirst);
};

long NextCounterA(int n);
long NextCounterB(int n);
long NextCounterC(int n);

// The counters by what they count (row and field of KELVINDX.DBF).
inline long NextCustomerId() { return NextCounterA(1); }
// Program ids (NCID) and the program file names "P<id>".
inline long NextProgramId() { return NextCounterA(2); }
// A block of count program ids drawn at once (a batch of imports brings
// the counter to the disk once); the first of them, -1 on failure.
long NextProgramIds(long count);
inline long NextPortRowId() { return NextCounterA(3); }
inline long NextProjectId() { return NextCounterA(4); }
inline long NextMachineId() { return NextCounterA(5); }
inline long NextMachineTypeId() { return NextCounterA(6); }
inline long NextCycleId() { return NextCounterA(7); }
inline long NextCycleParamId() { return NextCounterA(8); }
inline long NextMacroId() { return NextCounterA(9); }
// Rows of KELVBACK.DBF and the backup file names "B<id>".
inline long NextBackupId() { return NextCounterA(13); }
inline long NextProfileId() { return NextCounterA(14); }
// Rows of KELVDNCT.DBF and the file names "T<id>" of receptions kept aside.
inline long NextTemporaryTransferId() { return NextCounterA(16); }
// Rows of KELVDNCF.DBF: receptions that failed.
inline long NextFailedTransferId() { return NextCounterA(17); }
inline long NextSetupSheetTypeId() { return NextCounterB(20); }
inline long NextSetupSheetValueId() { return NextCounterB(21); }
inline long NextSetupSheetId() { return NextCounterB(24); }
inline long NextSystemLogId() { return NextCounterC(1); }
inline long NextDriveRowId() { return NextCounterC(3); }
inline long NextAutoImportId() { return NextCounterC(4); }
// Rows of KELVAUTO.DBF: programs an import set aside.
inline long NextImportKeptId() { return NextCounterC(5); }
inline long NextLogTypeId() { return NextCounterC(6); }
inline long NextVersionLogId() { return NextCounterC(7); }
// Rows of LOG00003.DBF and the stored version files "L<id>".
inline long NextStoredVersionId() { return NextCounterC(8); }
inline long NextJobListId() { return NextCounterC(9); }
inline long NextJobLineId() { return NextCounterC(10); }
inline long NextChangeCriterionId() { return NextCounterC(12); }
inline long NextAccountTypeId() { return NextCounterC(13); }
inline long NextUserId() { return NextCounterC(14); }

// The backup, temporary-transfer and failed-transfer counters back to 0.
int ResetBackupIds();
int ResetTemporaryTransferIds();
int ResetFailedTransferIds();
