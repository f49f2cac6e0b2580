// The port log and the control-character traces of the DNC server: short
// "COMM-%d : %s" lines that the protocol threads and the master write into
// up to three debug windows. The windows exist only in debug mode; without
// them every call is one test and returns. Nothing is written to a file.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/dialog.h"
#include "platform/ui/listbox.h"
#include "resources/dialogs/dncdebug.h"

class TDncPort;

// Dialog 1010 "DNC - Debugger": list box 101 and the button 102 "Clear".
class TDncDebug : public TDialog {
 public:
  static constexpr int kTemplate = IDD_DNC_DEBUG;
  static constexpr int kList = IDC_DNC_DEBUG_LIST;
  static constexpr int kClear = IDC_DNC_DEBUG_CLEAR;

  explicit TDncDebug(TWindow* parent);
  void SetupWindow() override;
  void CmClear();
  void AddLine(const std::string& line);
  TListBox* List() const { return list_; }

 private:
  TListBox* list_;
  DECLARE_RESPONSE_TABLE(TDncDebug);
};

// A monitor window of its own, shown over the parent, for a transfer
// outside the server (the editor's send in debug mode); it is destroyed
// when the last handle goes. Null when it could not be made.
std::shared_ptr<TDncDebug> OpenDncMonitor(TWindow* parent);

// Creates the three windows (port log, first trace, second trace) when the
// debug flag is set; destroys them again. The log calls of other threads
// never see a window half gone: the pointers change under the log's lock.
void CreateDncDebugWindows(TWindow* parent);
void DestroyDncDebugWindows();
// Forgets the windows without destroying them (the master's end: the
// window owner destroys them).
void ClearDncDebugWindows();
TDncDebug* DncDebugWindow(int which);  // 0 log, 1 trace, 2 second trace

void DncPortLog(const char* text, const TDncPort* port);
void DncLog(const char* text, int comNumber);
// A line of the station, of no port: "DNC : text".
void DncStationLog(const char* text);
void DncTraceLog(const char* text, int comNumber);
void DncTraceChar(unsigned char byte, int comNumber);
void DncTraceBuffer(const char* text, int comNumber);
void DncTraceBuffer2(const char* text, int comNumber);

// The line texts, apart from the windows.
std::string DncLogLine(const char* text, int comNumber);
std::string DncTraceCharLine(unsigned char byte, int comNumber);
std::string DncTraceBufferLine(const char* text, int comNumber);
