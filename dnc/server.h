// The DNC server's master thread: it reads the port table, builds one port
// per row with a COM number, starts each port's idle threads by protocol
// type, and then serves nine events. Port threads and the control window
// never start threads: they leave a request and set an event, and the
// master starts the thread that follows. At the end it stops every port,
// waits for all their threads and frees the ports.
#pragma once

#include <atomic>
#include <mutex>

#include "dbmodel/dncport.h"
#include "dnc/dncport.h"
#include "platform/thread.h"

// The server events, by their index in the master's wait.
enum {
  kStopServer = 0,
  kRefreshPanel = 1,
  kScanRequests = 2,
  kPageChanged = 4,
  kSendRequest = 7,
  kPortSelected = 8,
  kServerEvents = 9
};

// What the master shows in the control window. The window implements it;
// the calls come from the master's thread.
class TDncControlView {
 public:
  virtual ~TDncControlView() = default;
  virtual void SetPorts(TMultiDncRecord* rows) = 0;
  virtual void SetPortStatus(int portIndex, int status) = 0;
  virtual void UpdatePortPanel() = 0;
  virtual void SetItemText(int id, const char* text) = 0;
  virtual void ShowItem(int id, bool show) = 0;
  // A port that could not be opened; the server runs on without it.
  virtual void ReportPortFailure(int portIndex, const char* text) = 0;
};

// One thread role of a protocol: its entry and its slot in the port.
struct TDncThreadRole {
  plat::ThreadEntry Entry = nullptr;
  int Slot = -1;
};

// The threads of one protocol type: those started at start-up, the one
// started again after a transfer (request 5), and those of requests 1
// (send; with line omission when the port's OmitLines is set), 2 and 6.
// Mazak slots count from the sub-type's first slot.
struct TDncProtocolThreads {
  bool Served = false;
  // The poll thread ends when a send is handed over (not on LSV2, which
  // refuses it and keeps polling).
  bool SendEndsPoll = true;
  TDncThreadRole Startup[6];
  TDncThreadRole Poll, Send, SendOmit, Receive, Parse;
};

constexpr int kMaxPorts = 128;
constexpr std::size_t kMasterStack = 40960;
constexpr std::size_t kPortStack = 20480;

// A slot of the master's port array: the master fills and empties it,
// the control window and the port threads read it from their own threads.
class TPortSlot {
 public:
  TPortSlot& operator=(TDncPort* port) {
    port_.store(port);
    return *this;
  }
  operator TDncPort*() const { return port_.load(); }
  TDncPort* operator->() const { return port_.load(); }

 private:
  std::atomic<TDncPort*> port_{nullptr};
};

extern TPortSlot Ports[kMaxPorts];
extern std::atomic<int> PortCount;
extern std::atomic<TDncControlView*> ControlWindow;
// Held by every call on the control view from the server's threads and by
// whoever takes the view away: the view is never freed inside such a call.
// The view's methods only set control state and post, never wait on the
// UI thread, so the UI thread may take this lock.
extern std::mutex ControlWindowLock;
// Sets or clears the view; once it returns no server call runs on the old one.
void SetControlWindow(TDncControlView* view);
// Runs fn on the view, if there is one, under the lock.
template <class F>
void WithControlWindow(F&& fn) {
  std::lock_guard<std::mutex> hold(ControlWindowLock);
  if (TDncControlView* w = ControlWindow.load()) fn(*w);
}
extern std::atomic<int> CurrentPortIndex;
extern TDncPort* CurrentPort;
// By protocol type 0 to 9; the protocol threads fill in their entries.
extern TDncProtocolThreads DncProtocolTable[10];

void DncServerThread(void* unused);
// Starts the master thread with its stack; null when it cannot start.
plat::ThreadHandle StartDncServer();
// Sets one of the server events (from the window or a port thread).
void SetDncEvent(int which);
// A port thread's request for its successor: served in order by the
// master at its next scan.
void PostPortRequest(TDncPort* port, int code);

// Ends at once; the read thread of the receive-only protocol.
void NullPortThread(void* port);

// Starts a role's thread for the port unless its slot is in use; a start
// that fails leaves the slot empty so the role can be started again.
void StartPortThread(TDncPort* port, const TDncThreadRole& role);
