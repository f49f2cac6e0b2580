// One serial port of the DNC server: its row of the port table, the open
// line with its settings, the events and thread slots its protocol threads
// share with the master, the state of the running transfer, and the byte
// strings converted once from the row's code lists.
//
// The master thread builds and frees the ports; a protocol thread gets its
// port as its one argument. The fields fall in three groups by owner: the
// settings (read-only while the port runs), the hand-over state (events,
// atomics, and what small locks guard, so the master never starts into a
// slot or sets an event that is going away) and the transfer in progress
// (owned by the thread that runs it).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
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

// The row and what is built from it when the port opens: read-only while
// the port runs, but for the line itself (handle and state), which only the
// thread running the port's transfer changes (a line opened again after it
// was gone; the Heidenhain exchange switching flow control).
struct TPortSettings {
  TMultiDncRecord* Record = nullptr;  // owned by the port
  int PortIndex = 0;
  plat::HCOMM ComHandle = nullptr;
  plat::DCB Dcb;
  plat::COMMTIMEOUTS Timeouts;
  long ReadTimeoutSeconds = 0;
  int OpenResult = 0;
  // Why the last OpenPort failed, in words (the device and its error).
  std::string OpenError;
  // The receive file of the port.
  std::string TransferPath;
  // The texts a send frames a program with, and its line end.
  std::string LineEnd;
  std::string StartTrigger, EndTrigger;

 protected:
  std::string codes_[58];  // the row's code lists as bytes
};

// Hand-over between the master, the control window and the port's threads:
// each field is safe to touch from any of them by itself (events, atomics)
// or under the lock named beside it.
struct TPortHandOver {
  // Thread slots: a role's thread is started only into an empty slot and
  // empties it when it ends; both under SlotLock.
  std::mutex SlotLock;
  plat::ThreadHandle Threads[kThreadSlots];
  // Every thread started for the port, so the shutdown can wait for all
  // (under SlotLock).
  std::vector<plat::ThreadHandle> Started;
  // Manual-reset: once set, every thread of the port sees it.
  plat::Event StopEvent{true, false};
  // Made with the port, set and waited on by its threads.
  std::vector<std::unique_ptr<plat::Event>> HandOff;
  // Set under the pending lock (see HandOver), read anywhere.
  std::atomic<int> Polling{0};
  // The window's choice for the next send.
  std::atomic<int> OmitLines{0};

 protected:
  // What the port's transfer is about, in three parts (see TDncPort): the
  // program id asked for or named, the file found for it, the Program-ID
  // of the row being sent. All under pendingLock_.
  mutable std::mutex pendingLock_;
  std::unique_ptr<char[]> requested_;
  std::optional<std::string> foundPath_;
  std::optional<std::string> sendDescription_;
  mutable std::mutex eventLock_;
  std::shared_ptr<plat::Event> SendRequestEvent;  // under eventLock_
  std::shared_ptr<plat::Event> CancelEvent;       // under eventLock_
  std::mutex requestLock_;
  std::deque<int> requests_;  // under requestLock_
};

// The transfer in progress: owned by the port thread that runs it. The
// master starts the port's threads one after another (poll, read, parse,
// write), so it passes from one to the next; what the window hands over
// for a send comes in through HandOver while the port polls. The byte
// counters are atomics: the window shows them.
struct TPortTransfer {
  plat::OVERLAPPED ReadOverlapped, WaitOverlapped, WriteOverlapped;
  std::atomic<uint32_t> BytesSent{0}, BytesReceived{0}, BytesTotal{0};
  uint32_t TransferStart = 0;
  // The program to send and its database row, under the lock CopyForSend
  // places.
  std::unique_ptr<char[]> ProgramPath;
  std::unique_ptr<TcbFileRecord> ProgramRecord;
  std::unique_ptr<TcbFileTable> ProgramTable;
  long SendProgramId = 0;
  // A job's programs still to send, the first next (owned).
  long JobId = 0;
  TcbRecord* JobPrograms = nullptr;
  // The program a reception replaces, and its id and machine name for the
  // log line written once it is replaced.
  std::unique_ptr<char[]> OverwritePath;
  std::string OverwriteDesc, OverwriteMachine;
  std::unique_ptr<TMyFile> TransferFile;
  std::unique_ptr<TMyFile> TempFile;
  // The reception's filter state.
  int ReceptionTriggered = 0;
  int ReceptionEnded = 0;
  uint32_t LineEndSkip = 0;
  int ParityError = 0;
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
  // Naming: the state of the dialog modes across receptions, a reserved
  // number seen, and a name the window gave the next reception.
  uint32_t DialogState = 0;
  int ReservedNumberSeen = 0;
  int NameForReception = 0;
  // The last look-up of a program to send could not read the program
  // index, as apart from finding no program (PrepareToSend).
  int LookupFailed = 0;
  // The send that follows answers a machine's request (or the rest of its
  // job): one that cannot start keeps the request as a failed transfer.
  int AnswersRequest = 0;
};

class TDncPort : public TPortSettings, public TPortHandOver, public TPortTransfer {
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
  // Keeps the reception of a machine's request that could not be served
  // as a failed transfer, however short it is.
  int StoreUnservedRequest();
  int CopyForSend(const char* tableName);

  // What the transfer is about, in three fields, each with its owner. The
  // window and the master change them and read them under the pending
  // lock; a port thread reads them directly only while it runs the port's
  // transfer, when nobody else changes them.
  //
  // The program id of the transfer: the one a machine asked for or named
  // with the program it sent (the naming of the port's protocol threads),
  // or the name, program or file the window gave the next transfer
  // (HandOver). Null when none. A new one forgets the two below: they
  // belonged to the one before.
  const char* Requested() const { return requested_.get(); }
  void SetRequested(const std::string& name);
  // A copy of the requested id, empty when none.
  std::string RequestedText() const;
  // The file found for the requested id on a port on plain files, or the
  // file a Mazak port on plain files sends: set by the lookup of programs
  // to send (PrepareToSend) and the Mazak send.
  void SetFoundPath(const std::string& path);
  std::string FoundPath() const;
  // The Program-ID (DESC) of the program row loaded to send: set by
  // CopyForSend.
  void SetSendDescription(const std::string& desc);
  std::string SendDescription() const;
  // All three gone: the port polls again, or the request found nothing.
  void ClearRequest();
  // The program as the panel shows it and a send names it (the Okuma
  // header, the system log of a send without a row): the last of the
  // three that was set, empty when none.
  std::string ShownProgram() const;
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

  // The folder the window's file chooser last showed for the port (the
  // window's own).
  char FileDialogPath[300] = {};

 private:
  int StoreFailedFrom(int64_t smallest);
  void ConvertCodeLists();
  void TakeMachine();
  void BuildSendTexts();
};

// The bits per second of a baud index, or 0 for an index the line is not
// driven at: the rates below 300 are refused, and any index past the table
// keeps the device's rate (-1).
long DncBaudRate(long index);

// What a line is opened for: a port of the server, or the operator's
// transfer over the link, which has flow and time-outs of its own.
enum class TLineUse { Port, Link };

// The line settings of a row over the device's current ones, and the
// time-outs, for the one place both uses build them. False, with the
// reason, when a port's row asks for a rate the server cannot drive (the
// link keeps the device's rate then).
bool BuildLineSettings(const TMultiDncRecord& row, TLineUse use, plat::DCB& dcb, plat::COMMTIMEOUTS& timeouts,
                       std::string* reason);

// The bytes of a code list ("13,10") or of a repetition list ("5*0,13").
std::string DncCodeBytes(const char* text, bool repeats);
