// The whole program run on a test's display: once its start-up is done it
// runs the test's script on the main window, then closes.
#pragma once

#include <functional>

#include "app/appmain.h"
#include "app/main_frame.h"
#include "appcore/globals.h"

namespace kvtest {

// The script the program runs once the start-up is done.
inline std::function<void(TMainFrame&)> g_script;

class TScriptedApp : public TheApp {
 protected:
  TMainFrame* NewFrame(const char* title, TWindow* client) override { return frame_ = new TMainFrame(title, client); }
  bool IdleAction(long idleCount) override {
    bool more = TheApp::IdleAction(idleCount);
    if (g_script && Globals && Globals->StartupDone) {
      auto run = std::move(g_script);
      g_script = nullptr;
      run(*frame_);
      frame_->PostMessage(WM_CLOSE);
    }
    return more;
  }

 private:
  TMainFrame* frame_ = nullptr;
};

inline int RunScripted() {
  TScriptedApp app;
  return app.Run();
}

}  // namespace kvtest
