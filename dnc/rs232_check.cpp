// The program check of type-9 ports: a received program's block numbers
// must start at the first block number and grow by the increment. A
// program that fails is kept as failed and the machine is told by
// flashing DTR.
#include <memory>
#include <string>

#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "dnc/rs232.h"
#include "dnc/server.h"

namespace {

void Log(TDncPort& port, const char* text) { DncPortLog(text, &port); }

bool Holds(const std::string& line, const char* text) { return *text && line.find(text) != std::string::npos; }

bool NumberAt(const std::string& s, std::size_t pos, long& value) {
  std::size_t end = pos;
  while (end < s.size() && s[end] >= '0' && s[end] <= '9' && end - pos < 9) end++;
  if (end == pos) return false;
  value = std::stol(s.substr(pos, end - pos));
  return true;
}

// The flash code of the first fault, or -1 when the numbering holds.
int CheckNumbering(TDncPort& port) {
  TMyFile in(port.TransferPath.c_str());
  if (!in.Open(1)) return 0;
  const long first = port.Setting(kPropBreakCount);
  const long step = port.Setting(kPropXoffLimit);
  const bool letter = port.Setting(kPropBlockLetter) != 0;
  const char* firstText = port.Text(kPropFirstLineText);
  const char* resetText = port.Text(kPropResetText);
  const char* ignoreText = port.Text(kPropIgnoreText);
  long expected = first + step;
  bool inSequence = false;
  while (auto raw = in.ReadLine(0)) {
    const std::string line = raw.get();
    if (line.empty() || Holds(line, ignoreText)) continue;
    long number = -1;
    if (letter) {
      std::size_t n = line.find('N');
      if (n == std::string::npos) return 0;
      if (!NumberAt(line, n + 1, number)) number = -1;
    } else if (!NumberAt(line, 0, number)) {
      number = -1;
    }
    if (!inSequence) {
      if (number != first) return letter ? 1 : 4;
      if (*firstText && !Holds(line, firstText)) return letter ? 2 : 5;
      Log(port, letter ? "First Line 1" : "First Line 2");
      inSequence = true;
      continue;
    }
    if (number != expected) return letter ? 3 : 6;
    expected += step;
    if (Holds(line, resetText)) {
      Log(port, letter ? "Reset 1" : "Reset 2");
      inSequence = false;
      expected = first + step;
    }
  }
  return -1;
}

// Tells the machine on DTR: a number of slow double flashes, or flashing
// until the operator cancels (or the server stops) when the count is 0.
void FlashDtr(TDncPort& port) {
  auto dtr = [&port](bool on, DWORD ms) {
    plat::escape_comm_function(port.ComHandle, on ? SETDTR : CLRDTR);
    return port.StopEvent.wait(ms) == WAIT_OBJECT_0;
  };
  const long count = port.Setting(kPropFlashCount);
  if (count == 0) {
    Log(port, "Flashing 2");
    port.OpenCancelEvent();
    for (bool on = false;; on = !on) {
      plat::escape_comm_function(port.ComHandle, on ? SETDTR : CLRDTR);
      plat::Waitable* waits[2] = {port.Cancel(), &port.StopEvent};
      if (plat::wait_for_multiple(waits, 2, false, 250) != WAIT_TIMEOUT) break;
    }
    port.CloseCancelEvent();
    plat::escape_comm_function(port.ComHandle, SETDTR);
    return;
  }
  Log(port, "Flashing 1");
  for (long i = 0; i < count; i++)
    if (dtr(false, 250) || dtr(true, 250) || dtr(false, 250) || dtr(true, 250)) break;
  plat::escape_comm_function(port.ComHandle, SETDTR);
}

}  // namespace

void Rs232CheckParseThread(void* arg) {
  TDncPort& port = *static_cast<TDncPort*>(arg);
  std::lock_guard<plat::CriticalSection> held(port.Locks[0]);
  CloseTransferFile(port);
  port.ReservedNumberSeen = 0;
  Log(port, "Checking Program");

  int fault = port.ReceiveFailed ? 0 : CheckNumbering(port);
  if (fault >= 0) {
    Log(port, ("DoFlash " + std::to_string(fault)).c_str());
    FlashDtr(port);
    KeepFailed(port);
    port.ReceiveFailed = 0;
    port.BytesReceived = 0;
    port.BytesSent = 0;
    port.BytesTotal = 0;
    SetDncEvent(kRefreshPanel);
    Log(port, "Check Parse failed");
    PostPortRequest(&port, kRequestPoll);
    return;
  }

  Log(port, "Program was OK!");
  bool send = false;
  if (port.NameForReception) {
    if (!KeepIfIncomplete(port)) port.StoreTransfer();
    port.NameForReception = 0;
  } else {
    int result = ParseReception(port, false);
    send = result == kParseSend;
    if (result == kParseNoMatch && KeepFailed(port)) FlashDtr(port);
  }
  port.BytesReceived = 0;
  port.BytesSent = 0;
  port.BytesTotal = 0;
  SetDncEvent(kRefreshPanel);
  if (send)
    port.StopEvent.wait(static_cast<DWORD>(port.Setting(kPropAnswerDelay) * 1000));
  else
    Log(port, "Parsing Clearing");
  Log(port, "Check Parsing Stopped");
  PostPortRequest(&port, send ? kRequestSend : kRequestPoll);
}
