// The DNC link dialog belongs to the DNC layer, which stands above the
// editor and the program dialog that open it. It registers itself here;
// until it does, the commands that would run it have no handler.
#pragma once

#include <functional>
#include <memory>
#include <string>

class TWindow;
class TcbFileRecord;

// Runs the link dialog modally over the parent. The file to send is the
// global state's DNC transfer file; the program (may be null) and its
// machine preselect the port line. Answers IDOK when a program was
// received into the link's receive file, whose path ReceivePath gives.
// OpenMonitor shows a DNC monitor window (the editor's send in debug mode
// has one beside the link); it goes when the handle is let go. Null when
// none could be made.
struct TDncLinkRunner {
  std::function<int(TWindow* parent, const TcbFileRecord* program, long machineId, bool offerReceive)> Run;
  std::function<std::string()> ReceivePath;
  std::function<std::shared_ptr<void>(TWindow* parent)> OpenMonitor;
  explicit operator bool() const { return Run && ReceivePath; }
};
void SetDncLinkRunner(TDncLinkRunner runner);
const TDncLinkRunner& GetDncLinkRunner();
