// Background threads.
#include "app/threads.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "app/status_dlg.h"
#include "appcore/globals.h"
#include "dbmodel/filetable.h"
#include "platform/file.h"
#include "platform/sync.h"
#include "platform/ui/app_state.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"

namespace {

constexpr DWORD kWatchdogPeriodMs = 10000;
constexpr std::size_t kWatcherStack = 20480;

struct Workers {
  std::mutex mu;
  std::vector<plat::ThreadHandle> threads;
  plat::Event stop{true, false};
  bool watchersStarted = false;
};

Workers& W() {
  static Workers w;
  return w;
}

int (*g_autoImportStarter)() = nullptr;

// Counts taken by each transfer watcher (0 new, 1 failed).
std::atomic<std::size_t> g_transferCounts[2];

// The record count of a transfer table (deleted rows included), or -1
// when it does not open.
long CountRecords(const char* fileName) {
  std::lock_guard<std::recursive_mutex> lock(Globals->WatchLock);
  TcbFileTable t(fileName, 0, 0);
  long n = t.Open() ? data_reccount(t.Data()) : -1;
  t.Close();
  return n;
}

void WatchTransfers(const char* fileName, const char* text, std::atomic<std::size_t>& counts) {
  // Until the table first opens its count is unknown; the first count it
  // gives is the base, so an unreadable table never raises a false alarm
  // and is looked at again at the next poll.
  long last = CountRecords(fileName);
  counts++;
  for (;;) {
    DWORD ms = static_cast<DWORD>(std::max(Globals->NotifyInterval, 0)) * 60000;
    if (!WorkerSleep(std::max<DWORD>(ms, 1000))) return;
    long now = CountRecords(fileName);
    counts++;
    if (now < 0) continue;
    if (last < 0) {
      last = now;
      continue;
    }
    if (last < now) {
      // No lock while the box is open: the other watcher and the
      // database's users go on meanwhile.
      MessageBox(GetFocus(), text, "Notification", MB_OK);
      last = now;
    }
  }
}

bool Reachable(const std::string& checkPath) {
  std::string root = checkPath.substr(0, 1) + ":\\";
  return plat::directory_exists(root) && plat::directory_exists(checkPath);
}

}  // namespace

bool StartWorker(plat::ThreadEntry entry, std::size_t stackSize, void* arg) {
  Workers& w = W();
  std::lock_guard lock(w.mu);
  plat::ThreadHandle t = plat::begin_thread(entry, stackSize, arg);
  if (!t) return false;
  w.threads.push_back(std::move(t));
  return true;
}

bool WorkerSleep(unsigned long ms) { return W().stop.wait(static_cast<DWORD>(ms)) == WAIT_TIMEOUT; }

bool WorkersStopping() { return W().stop.wait(0) != WAIT_TIMEOUT; }

void StopWorkers() {
  Workers& w = W();
  std::vector<plat::ThreadHandle> threads;
  {
    std::lock_guard lock(w.mu);
    threads.swap(w.threads);
    w.stop.set();
  }
  for (auto& t : threads) {
    while (plat::wait_for_single(t.get(), 20) == WAIT_TIMEOUT) {
      if (plat::on_ui_thread()) {
        plat::pump_host();
        plat::dispatch_all();
      }
    }
  }
  std::lock_guard lock(w.mu);
  w.stop.reset();
  w.watchersStarted = false;
}

std::size_t RunningWorkers() {
  Workers& w = W();
  std::lock_guard lock(w.mu);
  return static_cast<std::size_t>(std::count_if(w.threads.begin(), w.threads.end(),
                                                [](const plat::ThreadHandle& t) { return !t->finished(); }));
}

void SetAutoImportStarter(int (*starter)()) { g_autoImportStarter = starter; }

int StartAutoImports() { return g_autoImportStarter ? g_autoImportStarter() : 0; }

bool StartTransferWatchers() {
  {
    std::lock_guard lock(W().mu);
    if (W().watchersStarted) return false;
    W().watchersStarted = true;
  }
  StartWorker(DncTransferWatchThread, kWatcherStack, nullptr);
  StartWorker(DncFailedTransferWatchThread, kWatcherStack, nullptr);
  return true;
}

void DatabaseWatchdogThread(void*) {
  if (!Globals->CheckPath) return;
  const std::string checkPath = Globals->CheckPath.c_str();
  if (checkPath.empty()) return;
  // Looks at the path without moving the program's current directory,
  // which other threads' relative paths depend on.
  while (WorkerSleep(kWatchdogPeriodMs)) {
    if (Reachable(checkPath)) continue;
    ::PostMessage(Globals->MainWnd, WM_COMMAND, kCmDatabaseLost, 0);
    return;
  }
}

void DncTransferWatchThread(void*) {
  WatchTransfers("KELVDNCT.DBF", "New DNC transfer has occured!", g_transferCounts[0]);
}

void DncFailedTransferWatchThread(void*) {
  WatchTransfers("KELVDNCF.DBF", "Failed DNC transfer has occured!", g_transferCounts[1]);
}

std::size_t TransferCountsTaken(bool failed) { return g_transferCounts[failed ? 1 : 0]; }
