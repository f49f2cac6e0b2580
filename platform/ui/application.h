// TApplication: the one application object. Run builds the main window
// (InitMainWindow), shows it with the show command and runs the message
// loop until the main window is gone; whenever the queue is empty it calls
// IdleAction with a count that grows until a message arrives again.
#pragma once

#include <string>

#include "platform/ui/window.h"

class TApplication {
 public:
  explicit TApplication(const char* name = nullptr);
  virtual ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  virtual void InitMainWindow() {}
  virtual int Run();
  virtual bool IdleAction(long idleCount);
  virtual bool CanClose();

  // The application owns its main window and deletes it at the end.
  void SetMainWindow(TWindow* window) { MainWindow = window; }
  TWindow* GetMainWindow() const { return MainWindow; }
  const char* GetName() const { return Name.c_str(); }

  // Runs the messages waiting in the queue, so that a long command lets
  // the user's Cancel and posted work through.
  bool PumpWaitingMessages();
  int MessageLoop();

  int nCmdShow = SW_SHOWNORMAL;

 protected:
  TWindow* MainWindow = nullptr;
  std::string Name;
};

// The common controls need no set-up here; kept so start-up reads as written.
void InitCommonControls();
