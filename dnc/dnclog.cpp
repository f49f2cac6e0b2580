// Port log, traces and the debug windows. A line is formatted whole (no
// fixed line buffer: long texts are kept) and added to the window's list
// box; list boxes take lines from any thread under their own lock.
#include "dnc/dnclog.h"

#include <cstdio>
#include <mutex>

#include "appcore/globals.h"
#include "dnc/dncport.h"

namespace {

std::mutex& WindowLock() {
  static std::mutex m;
  return m;
}
TDncDebug* Windows[3] = {};

void AddTo(int which, const std::string& line) {
  std::lock_guard<std::mutex> g(WindowLock());
  if (Windows[which]) Windows[which]->AddLine(line);
}

bool Any(int which) {
  std::lock_guard<std::mutex> g(WindowLock());
  return Windows[which] != nullptr;
}

const char* ControlName(unsigned char b) {
  switch (b) {
    case 1: return "[SOH]";
    case 2: return "[STX]";
    case 3: return "[ETX]";
    case 4: return "[EOT]";
    case 5: return "[ENQ]";
    case 6: return "[ACK]";
    case 12: return "[MRK]";
    case 16: return "[DLE]";
    case 17: return "[DC1]";
    case 18: return "[DC2]";
    case 19: return "[DC3]";
    case 20: return "[DC4]";
    case 21: return "[NAK]";
    case 23: return "[ETB]";
    default: return nullptr;
  }
}

std::string ControlText(unsigned char b) {
  if (const char* n = ControlName(b)) return n;
  char buf[8];
  std::snprintf(buf, sizeof buf, "[%03d]", b);
  return buf;
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TDncDebug, TDialog)
  EV_COMMAND(TDncDebug::kClear, CmClear),
END_RESPONSE_TABLE;

TDncDebug::TDncDebug(TWindow* parent) : TDialog(parent, kTemplate), list_(new TListBox(this, kList)) {}

void TDncDebug::SetupWindow() {
  TDialog::SetupWindow();
  list_->SetHorizontalExtent(3000);
}

void TDncDebug::CmClear() { list_->ClearList(); }

void TDncDebug::AddLine(const std::string& line) { list_->AddString(line.c_str()); }

std::shared_ptr<TDncDebug> OpenDncMonitor(TWindow* parent) {
  auto* w = new TDncDebug(parent);
  if (!w->Create()) {
    delete w;
    return nullptr;
  }
  w->ShowWindow(SW_SHOW);
  return std::shared_ptr<TDncDebug>(w, [](TDncDebug* d) {
    d->Destroy();
    delete d;
  });
}

void CreateDncDebugWindows(TWindow* parent) {
  if (!Globals || !Globals->DebugMode) return;
  for (int i = 0; i < 3; i++) {
    auto* w = new TDncDebug(parent);
    if (!w->Create()) {
      delete w;
      continue;
    }
    std::lock_guard<std::mutex> g(WindowLock());
    Windows[i] = w;
  }
}

void DestroyDncDebugWindows() {
  TDncDebug* gone[3];
  {
    std::lock_guard<std::mutex> g(WindowLock());
    for (int i = 0; i < 3; i++) {
      gone[i] = Windows[i];
      Windows[i] = nullptr;
    }
  }
  for (TDncDebug* w : gone) {
    if (!w) continue;
    w->Destroy();
    delete w;
  }
}

void ClearDncDebugWindows() {
  std::lock_guard<std::mutex> g(WindowLock());
  for (auto& w : Windows) w = nullptr;
}

TDncDebug* DncDebugWindow(int which) {
  std::lock_guard<std::mutex> g(WindowLock());
  return which >= 0 && which < 3 ? Windows[which] : nullptr;
}

std::string DncLogLine(const char* text, int comNumber) {
  return "COMM-" + std::to_string(comNumber) + " : " + (text ? text : "");
}

std::string DncTraceCharLine(unsigned char byte, int comNumber) {
  if (byte >= 1 && byte <= 31) return DncLogLine(ControlText(byte).c_str(), comNumber);
  return DncLogLine(("[" + std::to_string(static_cast<signed char>(byte)) + "]").c_str(), comNumber);
}

std::string DncTraceBufferLine(const char* text, int comNumber) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (*p < 32)
      out += ControlText(*p);
    else if (*p < 128)
      out += static_cast<char>(*p);
  }
  return DncLogLine(out.c_str(), comNumber);
}

void DncPortLog(const char* text, const TDncPort* port) {
  if (!text || !port || !Any(0)) return;
  DncLog(text, port->ComNumber());
}

void DncLog(const char* text, int comNumber) {
  if (!text || comNumber == 0 || !Any(0)) return;
  AddTo(0, DncLogLine(text, comNumber));
}

void DncStationLog(const char* text) {
  if (!text || !Any(0)) return;
  AddTo(0, std::string("DNC : ") + text);
}

void DncTraceLog(const char* text, int comNumber) {
  if (!text || comNumber == 0 || !Any(1)) return;
  AddTo(1, DncLogLine(text, comNumber));
}

void DncTraceChar(unsigned char byte, int comNumber) {
  if (comNumber == 0 || !Any(1)) return;
  AddTo(1, DncTraceCharLine(byte, comNumber));
}

void DncTraceBuffer(const char* text, int comNumber) {
  if (!text || comNumber == 0 || !Any(1)) return;
  AddTo(1, DncTraceBufferLine(text, comNumber));
}

void DncTraceBuffer2(const char* text, int comNumber) {
  if (!text || comNumber == 0 || !Any(2)) return;
  AddTo(2, DncTraceBufferLine(text, comNumber));
}
