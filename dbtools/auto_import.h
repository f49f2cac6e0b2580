// Watched directories: one worker thread per auto-import definition whose
// RUN is set takes the NC files dropped into the definition's directory
// into the program database, without a user. Each pass, one interval after
// the last, finds the matching files and files each one:
//
//   - a new Program-ID on the machine: a new program (KELVFILE.DBF), its
//     file "P<id>.NC" in the machine's directory;
//   - an existing one with REPLACE: the program's file takes the new text
//     (first copied to "B<id>.BAK" with a KELVBACK.DBF row when BACKUP is
//     set); the program's row stays as it is;
//   - an existing one without REPLACE, or an id no filter or DESC can hold:
//     a failed import, a KELVAUTO.DBF row and its file in the backup
//     directory, listed by the failed-imports command.
//
// A file is taken only once it has settled: the directory search saw the
// same size and modification time at least two seconds apart, and no
// handle of ours holds it without sharing. The source and its memo file go
// only after the copy and its row are both in place; whatever fails leaves
// them where they are for the next pass and is written to the system log
// once. A pass holds the station's import lock (the switch to another
// database waits for it), and each file's duplicate check, id draw and
// append hold the program index's filing lock, so neither a second
// definition nor another station files the same Program-ID twice; the lock
// is kept over consecutive files for a moment at most (filingHold), and
// never in the first tenth of a second, when waiting stations try again,
// nor just before it. A file the pass counts as imported is on the disk,
// copy and row, before its source is removed (see TPass::Commit).
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "dbmodel/autoimp.h"

// The thread's memory between passes: what each file looked like when last
// seen, and the failures already written to the system log.
struct TAutoImportWatch {
  struct Look {
    int64_t size = 0;
    int64_t written = 0;
    std::chrono::steady_clock::time_point since;
  };
  std::map<std::string, Look> looks;
  std::set<std::string> reported;
  // Files imported whose source could not be removed: passed over while
  // they stay, so none is filed twice.
  std::set<std::string> kept;
  // How long a file must keep its size and time before it is taken.
  std::chrono::milliseconds settle{2000};
  // How long the filing lock is kept over consecutive files at most.
  std::chrono::milliseconds filingHold{500};
  // Called each time a pass lets the filing lock go between two files: the
  // moment another station may file (tests stand one there).
  std::function<void()> filingLetGo;
};

// What one pass did, for the thread's callers and tests.
struct TAutoImportCounts {
  int imported = 0;   // new programs
  int replaced = 0;   // programs whose file took the new text
  int kept = 0;       // failed imports (KELVAUTO.DBF)
  int waiting = 0;    // files left for a later pass
};

// One pass of a definition over its directory; ends between two files
// when the workers are being stopped.
TAutoImportCounts RunAutoImportPass(const TcbAutoImpRecord& def, TAutoImportWatch& watch);

// The Program-ID a file gets (before upper-casing): PROGID, else the file
// name's number with leading zeros (EXPAND), else the first parenthesis of
// the file (METHOD 1), else the name up to its first ".".
std::string AutoImportProgramId(const TcbAutoImpRecord& def, const std::string& name, const std::string& source);

// Thread entry: its argument is a definition record (new) that the thread
// owns and frees when it ends.
void AutoImportThread(void* arg);
// Loads the definitions and starts one thread for each whose RUN is set;
// the number started.
int StartAutoImportThreads();
