// The application object: main window, message loop and idle processing.
#include "platform/ui/application.h"

#include "platform/ui/app_state.h"
#include "platform/ui/queue.h"

TApplication::TApplication(const char* name) : Name(name ? name : "") {
  plat::claim_ui_thread();
  plat::set_app(this);
}

TApplication::~TApplication() {
  delete MainWindow;
  MainWindow = nullptr;
  if (plat::app() == this) plat::set_app(nullptr);
}

bool TApplication::IdleAction(long idleCount) {
  if (MainWindow && MainWindow->GetHandle()) return MainWindow->IdleAction(idleCount);
  return false;
}

bool TApplication::CanClose() { return !MainWindow || !MainWindow->GetHandle() || MainWindow->CanClose(); }

bool TApplication::PumpWaitingMessages() {
  plat::pump_host();
  return plat::dispatch_all();
}

int TApplication::Run() {
  plat::clear_quit();
  if (!MainWindow) InitMainWindow();
  if (!MainWindow || !MainWindow->Create()) return -1;
  MainWindow->ShowWindow(nCmdShow);
  int status = MessageLoop();
  if (MainWindow->GetHandle()) MainWindow->Destroy(0);
  plat::clear_quit();
  return status;
}

int TApplication::MessageLoop() {
  long idleCount = 0;
  while (!plat::quit_requested()) {
    if (plat::dispatch_one()) {
      idleCount = 0;
      continue;
    }
    if (plat::quit_requested()) break;
    if (IdleAction(idleCount++)) continue;
    if (!plat::wait_for_message("the message loop")) return -1;
  }
  return plat::quit_code();
}

void InitCommonControls() {}
