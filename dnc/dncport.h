// One serial port of the DNC server: its row of the port table, the open
// line with its settings, the events and thread slots its protocol threads
// share with the master, the state of the running transfer, and the byte
// strings converted once from the row's code lists.
//
// The master thread builds and frees the ports; a protocol thread gets its
// port as its one argument. Fields that the control window reads while a
// thread writes them are atomics; the thread slots, the request queue and
// the events that threads create and close are behind small locks, so the
// master never starts into a slot or sets an event that is going away.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "appcore/myfile.h"
#include "dbmodel/dncport.h"
#include "dbmodel/filetable.h"
#include "platform/serial.h"
#include "platform/sync.h"
#include "platform/thread.h"

// Protocol types of a port row (property 69).
enum {
  kProtoStandard = 0,
  kProtoMazak = 1,
  kProtoHeidenhain = 2,
  kProtoLsv2 = 3,
  kProtoRaw = 4,
  kProtoReserved = 5,
  kProtoReceiveOnly = 6,
  kProtoStandardDelay = 7,
  kProtoHeidenhain310 = 8,
  kProtoStandardCheck = 9
};

// Requests a port thread leaves for the master.
enum { kRequestNone = 0, kRequestSend = 1, kRequestReceive = 2, kRequestPoll = 5, kRequestParse = 6 };

// Thread slots of a port: standard and raw read, poll, write and parse;
// four Mazak threads for each of the eight sub-types; six Heidenhain and
// five LSV-2 threads; the read slot of the receive-only type.
enum {
  kSlotRead = 0,
  kSlotPoll = 1,
  kSlotWrite = 2,
  kSlotParse = 3,
  kSlotMazak = 4,
  kSlotHeidenhain = kSlotMazak + 32,
  kSlotLsv2 = kSlotHeidenhain + 6,
  kSlotReceiveOnly = kSlotLsv2 + 5,
  kThreadSlots
};

class TDncPort {
 public:
  static constexpr int kHandOffEvents = 33;
  static constexpr int kDirectories = 15;

  // Takes the row (owned from now on) and opens the line.
  explicit TDncPort(TMultiDncRecord* record);
  ~TDncPort();
  TDncPort(const TDncPort&) = delete;
  TDncPort& operator=(const TDncPort&) = delete;

  int OpenPort();
  void ResetPort();
  void FreeBufferList();
  void WriteLogLine(const char* text);

  // Row settings.
  int ComNumber() const { return static_cast<int>(Record->GetListA(kPropComNumber)); }
  int Protocol() const { return static_cast<int>(Record->GetListA(kPropProtocol)); }
  long RowId() const { return Record->Number[kPropId]; }
  long Setting(int property) const { return Record->Number[property]; }
  const char* Text(int property) const {
    const char* t = Record->GetValue(property);
    return t ? t : "";
  }
  bool FileMode() const { return Record->GetListB(kPropFileMode) != 0; }
  // The converted code list of a property (empty when the row has none).
  const std::string& Codes(int property) const;

  // Reception filter and the rewrite file.
  void WriteReceived(const unsigned char* bytes, std::size_t count);
  int OpenTempFile(int readMode);
  int CommitTempFile();

  // Naming of received programs and requests.
  int ExtractProgramName(const char* line);
  int ExtractProgramNumber(const char* line);
  int CheckForJob(const char* line);

  // Storing received programs and loading programs to send.
  int StoreTransfer();
  int StoreReceived();
  int StoreTemporary();
  int BackupBeforeOverwrite();
  int StoreFailed();
  int CopyForSend(const char* tableName);

  // The pending program name: null when none. The window and the master
  // change it and read it under the pending lock (PendingText); a port
  // thread reads it directly only while it runs the port's transfer, when
  // nobody else changes it.
  const char* Pending() const { return PendingProgram.get(); }
  void SetPending(const std::string& name);
  void ClearPending();
  // A copy of the pending name, empty when none.
  std::string PendingText() const;
  // What the control window hands to a polling port for the next send or
  // reception: the pending name and, for a send, the program or file and
  // the job. False, with nothing changed, when the port is not polling:
  // its running transfer keeps what it has.
  struct THandOver {
    std::string Name;
    long ProgramId = 0;
    std::string Path;  // file to send (file mode)
    long JobId = 0;
    TcbRecord* JobPrograms = nullptr;  // owned by the port once handed over
    int NameForReception = 0;
  };
  bool HandOver(THandOver& what);
  // The poll thread's end: from here on the window hands nothing over.
  void StopPolling() {
    std::lock_guard<std::mutex> g(pendingLock_);
    Polling = 0;
  }

  // Events that a running thread creates and closes; the master and the
  // window set them only while they exist.
  void OpenSendRequestEvent();
  void CloseSendRequestEvent();
  bool SignalSendRequest();
  plat::Event* SendRequest() const { return SendRequestEvent.get(); }
  void OpenCancelEvent();
  void CloseCancelEvent();
  bool SignalCancel();
  plat::Event* Cancel() const { return CancelEvent.get(); }
  // Whether the events exist now, for other threads than the one that
  // opens and closes them (the window, the tests).
  bool SendRequestOpen() const;
  bool CancelOpen() const;

  // Requests for the master, served in the order they were left.
  void PushRequest(int code);
  int TakeRequest();

  // Line and its settings.
  plat::DCB Dcb;
  plat::COMMTIMEOUTS Timeouts;
  TMultiDncRecord* Record = nullptr;
  plat::OVERLAPPED ReadOverlapped, WaitOverlapped, WriteOverlapped;
  std::unique_ptr<plat::Event> Lsv2WaitEvent;
  long ReadTimeoutSeconds = 0;
  plat::HCOMM ComHandle = nullptr;
  DWORD CommEventMask = 0;

  // Thread slots: a role's thread is started only into an empty slot and
  // empties it when it ends; both under SlotLock.
  std::mutex SlotLock;
  plat::ThreadHandle Threads[kThreadSlots];
  // Every thread started for the port, so the shutdown can wait for all.
  std::vector<plat::ThreadHandle> Started;

  // Manual-reset: once set, every thread of the port sees it.
  plat::Event StopEvent{true, false};
  std::vector<std::unique_ptr<plat::Event>> HandOff;
  plat::CriticalSection Locks[5];

  std::atomic<uint32_t> BytesSent{0}, BytesReceived{0}, BytesTotal{0};
  uint32_t DialogState = 0;
  std::unique_ptr<char[]> ProgramPath;
  std::string TransferPath;
  std::unique_ptr<char[]> OverwritePath;
  // The program id and machine name of that program, for the log line
  // written once the reception has replaced it.
  std::string OverwriteDesc, OverwriteMachine;
  char FileDialogPath[300] = {};
  std::unique_ptr<TMyFile> TransferFile;
  std::unique_ptr<TMyFile> TempFile;
  long JobId = 0;
  std::unique_ptr<TcbFileRecord> ProgramRecord;
  std::unique_ptr<TcbFileTable> ProgramTable;
  long SendProgramId = 0;
  std::atomic<int> OmitLines{0};
  int ParityError = 0;
  std::string LineEnd;
  uint32_t LineEndSkip = 0;
  uint32_t TransferStart = 0;
  std::atomic<int> Polling{0};
  int OpenResult = 0;
  // Why the last OpenPort failed, in words (the device and its error).
  std::string OpenError;
  int ReceptionTriggered = 0;
  int ReceptionEnded = 0;
  // Set when received bytes could not be written to the receive file: the
  // reception is then not complete and must not be stored as a program.
  int ReceiveFailed = 0;
  // The reception reached the port's end trigger. A program that came
  // without it (the line fell silent first) is incomplete: it is kept as a
  // failed transfer, not stored.
  int EndTriggerSeen = 0;
  // Line errors (parity, framing, overrun) that the poll thread read off
  // the line with the first bytes of a reception: they belong to it, and
  // the read thread takes them over.
  DWORD LineErrorsWhilePolling = 0;
  int PortIndex = 0;
  std::string StartTrigger, EndTrigger;
  int ReservedNumberSeen = 0;
  int NameForReception = 0;
  TcbRecord* JobPrograms = nullptr;

 private:
  void ConvertCodeLists();
  void TakeMachine();
  void BuildSendTexts();

  std::string codes_[58];
  mutable std::mutex pendingLock_;
  std::unique_ptr<char[]> PendingProgram;
  mutable std::mutex eventLock_;
  std::shared_ptr<plat::Event> SendRequestEvent;
  std::shared_ptr<plat::Event> CancelEvent;
  std::mutex requestLock_;
  std::deque<int> requests_;
};

// The bits per second of a baud index, or 0 for an index the line is not
// driven at: the rates below 300 are refused, and any index past the table
// keeps the device's rate (-1).
long DncBaudRate(long index);

// The line settings of a row over the device's current ones, and the
// time-outs. False, with the reason, when the row asks for a rate the
// server cannot drive.
bool BuildPortSettings(const TMultiDncRecord& row, plat::DCB& dcb, plat::COMMTIMEOUTS& timeouts,
                       std::string* reason);

// The bytes of a code list ("13,10") or of a repetition list ("5*0,13").
std::string DncCodeBytes(const char* text, bool repeats);
