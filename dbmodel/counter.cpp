// Id counters. A draw reads, raises and writes one counter while it holds
// the record lock of the counter's row, so two stations (or two threads)
// never get the same id; draws of this process also queue on a mutex, so
// its threads do not spin on each other's byte-range lock. Rows a draw
// needs that do not exist yet are appended under the lock of the whole file.
#include "dbmodel/counter.h"

#include <mutex>

#include "engine/engine_api.h"

namespace {

std::mutex& DrawMutex() {
  static std::mutex m;
  return m;
}

}  // namespace

int TcbCounterTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList fields(DbContext);
  for (int i = 1; i <= 25; i++) fields.add(FormatText("F%02d", i).c_str(), 'N', 10, 0);
  TagInfoList tags(DbContext);
  CreateLayout(fullPath, fields, tags);
  return 1;
}

bool TcbCounterTable::GrowTo(long rows, bool zeroFirst) {
  DbDataFile* d = Data();
  if (data_lock_file(d) != 0) {
    EngineFailed();
    return false;
  }
  d->header.num_recs = -1;  // another station may have appended meanwhile
  long count = data_reccount(d);
  if (count < 0) {
    EngineFailed();
    return false;
  }
  while (count < rows) {
    if (!BeginAppend()) return false;
    if (zeroFirst) PutLong(1, 0);
    if (!FinishAppend()) return false;
    count++;
  }
  return true;
}

long TcbCounterTable::Next(int row, int n, long step) {
  if (n < 1 || n > 25) return -1;
  std::lock_guard<std::mutex> serial(DrawMutex());
  if (!Open()) return -1;
  DbDataFile* d = Data();
  long count = data_reccount(d);
  if (count < 0) {
    EngineFailed();
    Close();
    return -1;
  }
  bool grow = row == 3 ? count < 4 : count < row;
  if (grow && !GrowTo(row == 3 ? 5 : row, row == 3)) {
    Close();
    return -1;
  }
  // Read the counter again under the lock: the value seen before it may
  // already have been handed out by another station.
  if (data_lock_record(d, row) != 0 || data_go(d, row) != 0) {
    EngineFailed();
    Close();
    return -1;
  }
  long value = FieldLong(n) + step;
  PutLong(n, value);
  if (data_write(d, row) != 0) {
    EngineFailed();
    Close();
    return -1;
  }
  return Close() ? value : -1;
}

void TcbCounterTable::EnsureRecords() {
  if (!Open()) return;
  DbDataFile* d = Data();
  long count = data_reccount(d);
  if (count >= 0 && count < 4) {
    if (data_lock_file(d) == 0) {
      d->header.num_recs = -1;
      count = data_reccount(d);
      while (count >= 0 && count < 5) {
        if (!BeginAppend()) break;
        for (int i = 1; i <= 25; i++) PutLong(i, 2);
        if (!FinishAppend()) break;
        count++;
      }
    }
  }
  EngineFailed();
  Close();
}

int TcbCounterTable::ResetA(int n) {
  if (n < 1 || n > 25) return 0;
  std::lock_guard<std::mutex> serial(DrawMutex());
  if (!Open()) return 0;
  DbDataFile* d = Data();
  if (data_reccount(d) < 1 || data_lock_record(d, 1) != 0 || data_go(d, 1) != 0) {
    EngineFailed();
    Close();
    return 0;
  }
  PutLong(n, 0);
  return Close();
}

namespace {

long Draw(int row, int n) {
  TcbCounterTable t("KELVINDX.DBF", 0, 0);
  return row == 1 ? t.NextA(n) : row == 2 ? t.NextB(n) : t.NextC(n);
}

int Reset(int n) {
  TcbCounterTable t("KELVINDX.DBF", 0, 0);
  return t.ResetA(n);
}

}  // namespace

long NextCounterA(int n) { return Draw(1, n); }
long NextProgramIds(long count) {
  TcbCounterTable t("KELVINDX.DBF", 0, 0);
  return t.NextBlockA(2, count);
}
long NextCounterB(int n) { return Draw(2, n); }
long NextCounterC(int n) { return Draw(3, n); }

int ResetBackupIds() { return Reset(13); }
int ResetTemporaryTransferIds() { return Reset(16); }
int ResetFailedTransferIds() { return Reset(17); }
