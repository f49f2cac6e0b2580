// The program's long-running worker threads: the database watchdog of a
// DNC station and the two transfer watchers of an editor station. Every
// worker is started through StartWorker, sleeps through WorkerSleep and is
// stopped and waited for by StopWorkers before the global state goes.
#pragma once

#include <cstddef>

#include "platform/thread.h"
#include "resources/menus/main.h"

// The watchdog posts kCmDatabaseLost to the main window when the database
// path can no longer be reached.
void DatabaseWatchdogThread(void* arg);
void DncTransferWatchThread(void* arg);
void DncFailedTransferWatchThread(void* arg);

// Starts entry(arg) and keeps its handle; false when it did not start.
bool StartWorker(plat::ThreadEntry entry, std::size_t stackSize, void* arg);
// Sleeps ms (scaled by the layer's time scale); false when the workers are
// being stopped, and the thread should end.
bool WorkerSleep(unsigned long ms);
// True once the workers are being stopped: a worker in the middle of
// its work ends at the next point where it can.
bool WorkersStopping();
// Tells every worker to end and waits for each; the UI thread keeps
// answering while it waits, so a worker inside a message box can finish.
void StopWorkers();
// Workers started and not yet ended.
std::size_t RunningWorkers();

// The auto-import threads belong to the batch tools above this layer,
// which hand the main frame their starter; the frame's set-up calls it once
// when AUTOIMPORTEDIT is not 0. Without one no definition runs.
void SetAutoImportStarter(int (*starter)());
int StartAutoImports();

// The transfer watchers are started once per process: the start-up that
// runs again after connecting to another database finds them running.
bool StartTransferWatchers();
// How many counts the new (or failed) transfer watcher has taken since the
// program started; a count taken after a change has seen it.
std::size_t TransferCountsTaken(bool failed);
