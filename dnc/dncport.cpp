// The port object: built from its row (code lists converted once, the
// machine's name and directory taken from the machine table, the texts a
// send frames a program with), then opened; freed by the master once every
// thread of the port has ended.
#include "dnc/dncport.h"

#include <cstring>

#include "appcore/globals.h"
#include "dbmodel/machine.h"
#include "dnc/dnclog.h"

namespace {

const int kCodeLists[] = {kPropReceiveLineEnd, kPropRemoveList,   kPropStartTrigger,  kPropIdTrigger,
                          kPropRequestTrigger, kPropOmitCodes,    kPropIdEndTrigger,  kPropRequestEndTrigger,
                          kPropEndTrigger,     kPropJobTrigger,   kPropJobEndTrigger, kPropLineEnd};

}  // namespace

std::string DncCodeBytes(const char* text, bool repeats) {
  if (!text || !*text) return {};
  std::string copy(text);
  int n = 0;
  char* bytes = repeats ? SplitStarCommaList(copy.data(), &n) : SplitCommaList(copy.data(), &n);
  std::string out(bytes ? bytes : "", bytes ? static_cast<size_t>(n) : 0);
  delete[] bytes;
  return out;
}

TDncPort::TDncPort(TMultiDncRecord* record) {
  Record = record;
  for (int i = 0; i < kHandOffEvents; i++) HandOff.push_back(std::make_unique<plat::Event>(false, false));
  ReadTimeoutSeconds = Setting(kPropReadTimeout);
  ConvertCodeLists();
  TakeMachine();
  BuildSendTexts();
  TransferPath = (Globals ? Globals->TempDir : std::string()) + "PORT" + std::to_string(RowId()) + ".DNC";
  OpenPort();
}

TDncPort::~TDncPort() {
  if (ComHandle) plat::close_comm(ComHandle);
  ComHandle = nullptr;
  FreeBufferList();
  delete Record;
}

void TDncPort::ConvertCodeLists() {
  for (int p : kCodeLists) codes_[p] = DncCodeBytes(Record->GetValue(p), false);
  LineEnd = codes_[kPropLineEnd].empty() ? std::string("\r\n") : codes_[kPropLineEnd];
}

const std::string& TDncPort::Codes(int property) const {
  static const std::string none;
  return property >= 0 && property < 58 ? codes_[property] : none;
}

void TDncPort::TakeMachine() {
  long id = Setting(kPropMachineId);
  if (id == 0) return;
  TcbMachTable machines("KELVMA.DBF", 0, 0);
  std::unique_ptr<char[]> path(machines.GetPath(id));
  std::unique_ptr<char[]> name(machines.GetNameCopy(id));
  if (path) Record->SetText(kPropMachineDir, path.get());
  if (name) Record->SetText(kPropName, name.get());
}

void TDncPort::BuildSendTexts() {
  StartTrigger = DncCodeBytes(Record->GetValue(kPropFeedStart), false) +
                 DncCodeBytes(Record->GetValue(kPropBeforeFile), true);
  EndTrigger = DncCodeBytes(Record->GetValue(kPropAfterFile), true) +
               DncCodeBytes(Record->GetValue(kPropFeedEnd), false);
}

void TDncPort::FreeBufferList() {
  // A job dropped leaves no send that answers the machine's request.
  AnswersRequest = 0;
  JobId = 0;
  FreeRecordList(JobPrograms);
  JobPrograms = nullptr;
}

void TDncPort::WriteLogLine(const char* text) {
  if (!TransferFile || !text) return;
  TransferFile->WriteLine(text);
}

void TDncPort::SetRequested(const std::string& name) {
  auto copy = std::make_unique<char[]>(name.size() + 1);
  std::memcpy(copy.get(), name.c_str(), name.size() + 1);
  std::lock_guard<std::mutex> g(pendingLock_);
  requested_.swap(copy);
  foundPath_.reset();
  sendDescription_.reset();
}

std::string TDncPort::RequestedText() const {
  std::lock_guard<std::mutex> g(pendingLock_);
  return requested_ ? std::string(requested_.get()) : std::string();
}

// The found file and the row's description stand for the same request in
// turn: each forgets the other, so the last one set is the one shown.
void TDncPort::SetFoundPath(const std::string& path) {
  std::lock_guard<std::mutex> g(pendingLock_);
  foundPath_ = path;
  sendDescription_.reset();
}

std::string TDncPort::FoundPath() const {
  std::lock_guard<std::mutex> g(pendingLock_);
  return foundPath_.value_or("");
}

void TDncPort::SetSendDescription(const std::string& desc) {
  std::lock_guard<std::mutex> g(pendingLock_);
  sendDescription_ = desc;
  foundPath_.reset();
}

std::string TDncPort::SendDescription() const {
  std::lock_guard<std::mutex> g(pendingLock_);
  return sendDescription_.value_or("");
}

void TDncPort::ClearRequest() {
  std::unique_ptr<char[]> old;
  std::lock_guard<std::mutex> g(pendingLock_);
  requested_.swap(old);
  foundPath_.reset();
  sendDescription_.reset();
}

std::string TDncPort::ShownProgram() const {
  std::lock_guard<std::mutex> g(pendingLock_);
  if (sendDescription_) return *sendDescription_;
  if (foundPath_) return *foundPath_;
  return requested_ ? std::string(requested_.get()) : std::string();
}

bool TDncPort::HandOver(THandOver& what) {
  auto name = std::make_unique<char[]>(what.Name.size() + 1);
  std::memcpy(name.get(), what.Name.c_str(), what.Name.size() + 1);
  std::unique_ptr<char[]> path;
  if (!what.Path.empty()) {
    path = std::make_unique<char[]>(what.Path.size() + 1);
    std::memcpy(path.get(), what.Path.c_str(), what.Path.size() + 1);
  }
  // The poll thread takes no part in a transfer: while it runs, the
  // transfer fields are free. The lock keeps the master's clearing of the
  // name after a transfer from crossing this.
  std::lock_guard<std::mutex> g(pendingLock_);
  if (!Polling) return false;
  requested_.swap(name);
  foundPath_.reset();
  sendDescription_.reset();
  if (what.ProgramId) SendProgramId = what.ProgramId;
  if (path) ProgramPath.swap(path);
  // The operator's transfer answers no machine's request.
  AnswersRequest = 0;
  if (what.JobPrograms) {
    FreeRecordList(JobPrograms);
    JobPrograms = what.JobPrograms;
    JobId = what.JobId;
    what.JobPrograms = nullptr;
  }
  NameForReception = what.NameForReception;
  return true;
}

void TDncPort::OpenSendRequestEvent() {
  std::lock_guard<std::mutex> g(eventLock_);
  SendRequestEvent = std::make_shared<plat::Event>(false, false);
}

void TDncPort::CloseSendRequestEvent() {
  std::lock_guard<std::mutex> g(eventLock_);
  SendRequestEvent.reset();
}

bool TDncPort::SignalSendRequest() {
  std::lock_guard<std::mutex> g(eventLock_);
  if (!SendRequestEvent) return false;
  SendRequestEvent->set();
  return true;
}

bool TDncPort::SendRequestOpen() const {
  std::lock_guard<std::mutex> g(eventLock_);
  return SendRequestEvent != nullptr;
}

bool TDncPort::CancelOpen() const {
  std::lock_guard<std::mutex> g(eventLock_);
  return CancelEvent != nullptr;
}

void TDncPort::OpenCancelEvent() {
  std::lock_guard<std::mutex> g(eventLock_);
  CancelEvent = std::make_shared<plat::Event>(false, false);
}

void TDncPort::CloseCancelEvent() {
  std::lock_guard<std::mutex> g(eventLock_);
  CancelEvent.reset();
}

bool TDncPort::SignalCancel() {
  std::lock_guard<std::mutex> g(eventLock_);
  if (!CancelEvent) return false;
  CancelEvent->set();
  return true;
}

void TDncPort::PushRequest(int code) {
  std::lock_guard<std::mutex> g(requestLock_);
  requests_.push_back(code);
}

int TDncPort::TakeRequest() {
  std::lock_guard<std::mutex> g(requestLock_);
  if (requests_.empty()) return kRequestNone;
  int code = requests_.front();
  requests_.pop_front();
  return code;
}
