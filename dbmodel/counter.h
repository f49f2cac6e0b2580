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
  // Sets counter n of row 1 to 0; 1, or 0 on failure.
  int ResetA(int n);

  int unused = -1;

 private:
  long Next(int row, int n);
  // Makes sure the file has at least `rows` rows, appending while it holds
  // the whole file; false on failure. Rows appended get F01 = 0 when
  // `zeroFirst`, else stay blank.
  bool GrowTo(long rows, bool zeroFirst);
};

long NextCounterA(int n);
long NextCounterB(int n);
long NextCounterC(int n);

#define KV_COUNTER_WRAPPER(row, nn) \
  inline long NextCounter##row##nn() { return NextCounter##row(1##nn - 100); }
KV_COUNTER_WRAPPER(A, 01) KV_COUNTER_WRAPPER(A, 02) KV_COUNTER_WRAPPER(A, 03)
KV_COUNTER_WRAPPER(A, 04) KV_COUNTER_WRAPPER(A, 05) KV_COUNTER_WRAPPER(A, 06)
KV_COUNTER_WRAPPER(A, 07) KV_COUNTER_WRAPPER(A, 08) KV_COUNTER_WRAPPER(A, 09)
KV_COUNTER_WRAPPER(A, 10) KV_COUNTER_WRAPPER(A, 11) KV_COUNTER_WRAPPER(A, 12)
KV_COUNTER_WRAPPER(A, 13) KV_COUNTER_WRAPPER(A, 14) KV_COUNTER_WRAPPER(A, 15)
KV_COUNTER_WRAPPER(A, 16) KV_COUNTER_WRAPPER(A, 17) KV_COUNTER_WRAPPER(A, 18)
KV_COUNTER_WRAPPER(A, 19)
KV_COUNTER_WRAPPER(B, 01) KV_COUNTER_WRAPPER(B, 02) KV_COUNTER_WRAPPER(B, 03)
KV_COUNTER_WRAPPER(B, 04) KV_COUNTER_WRAPPER(B, 05) KV_COUNTER_WRAPPER(B, 06)
KV_COUNTER_WRAPPER(B, 07) KV_COUNTER_WRAPPER(B, 08) KV_COUNTER_WRAPPER(B, 09)
KV_COUNTER_WRAPPER(B, 10) KV_COUNTER_WRAPPER(B, 11) KV_COUNTER_WRAPPER(B, 12)
KV_COUNTER_WRAPPER(B, 13) KV_COUNTER_WRAPPER(B, 14) KV_COUNTER_WRAPPER(B, 15)
KV_COUNTER_WRAPPER(B, 16) KV_COUNTER_WRAPPER(B, 17) KV_COUNTER_WRAPPER(B, 18)
KV_COUNTER_WRAPPER(B, 19) KV_COUNTER_WRAPPER(B, 20) KV_COUNTER_WRAPPER(B, 21)
KV_COUNTER_WRAPPER(B, 22) KV_COUNTER_WRAPPER(B, 23) KV_COUNTER_WRAPPER(B, 24)
KV_COUNTER_WRAPPER(B, 25)
KV_COUNTER_WRAPPER(C, 01) KV_COUNTER_WRAPPER(C, 02) KV_COUNTER_WRAPPER(C, 03)
KV_COUNTER_WRAPPER(C, 04) KV_COUNTER_WRAPPER(C, 05) KV_COUNTER_WRAPPER(C, 06)
KV_COUNTER_WRAPPER(C, 07) KV_COUNTER_WRAPPER(C, 08) KV_COUNTER_WRAPPER(C, 09)
KV_COUNTER_WRAPPER(C, 10) KV_COUNTER_WRAPPER(C, 11) KV_COUNTER_WRAPPER(C, 12)
KV_COUNTER_WRAPPER(C, 13) KV_COUNTER_WRAPPER(C, 14) KV_COUNTER_WRAPPER(C, 15)
KV_COUNTER_WRAPPER(C, 16)
#undef KV_COUNTER_WRAPPER

// Counters 13, 16 and 17 of row 1 back to 0.
int ResetCounterA13();
int ResetCounterA16();
int ResetCounterA17();
