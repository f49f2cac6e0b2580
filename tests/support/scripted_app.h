// The whole program run on a test's display: once its start-up is done it
// runs the test's script on the main window, then closes.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "app/appmain.h"
#include "app/main_frame.h"
#include "appcore/globals.h"
#include "main/register.h"
#include "platform/path.h"
#include "platform/ui/resource.h"
#include "platform/wx/desktop_sim.h"

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

// The program's next runs are on the station at home, with the build's
// resources; the program's commands are registered once a process.
inline void EnterStation(const std::filesystem::path& home, const char* resources) {
  if (chdir(home.c_str()) != 0) return;
  setenv("KELVANE_HOME", home.c_str(), 1);
  plat::set_base_directory(home.string());
  plat::reset_drive_table();
  plat::set_resource_dir(resources);
  static bool registered = false;
  if (!registered) RegisterProgramCommands();
  registered = true;
  SetAppRunner(RunScripted);
}

// Undoes EnterStation and removes the station; the process leaves its
// directory first, so no later shell starts in a directory that is gone.
inline void LeaveStation(const std::filesystem::path& home) {
  desk::set_modal_hook(nullptr);
  SetAppRunner(nullptr);
  g_script = nullptr;
  std::error_code ec;
  std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
  std::filesystem::remove_all(home, ec);
}

}  // namespace kvtest
