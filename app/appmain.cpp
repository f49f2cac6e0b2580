// Start-up and shutdown.
#include "app/appmain.h"

#include <cstring>
#include <memory>
#include <string>

#include "app/main_frame.h"
#include "app/status_dlg.h"
#include "app/threads.h"
#include "appcore/fatal.h"
#include "appcore/globals.h"
#include "appcore/myfile.h"
#include "dbmodel/engine_context.h"
#include "platform/path.h"
#include "platform/plugin.h"

int32_t EditLeft = 20, EditTop = 60, EditRight = 600, EditBottom = 580;

namespace {

constexpr std::size_t kWatchdogStack = 8192;

int RunTheApp() {
  TheApp app;
  return app.Run();
}

AppRunner g_runner = RunTheApp;

std::string EditSizePath() { return Globals->CfgDir + "EDITSIZE.BIN"; }

int32_t* const kPlacement[4] = {&EditLeft, &EditTop, &EditRight, &EditBottom};

// The station runs as a DNC station when the program is started under the
// DNC product's name (a link named "tramox" to the same program).
bool StartedAsDncStation(const char* argv0) {
  if (!argv0) return false;
  const char* base = std::strrchr(argv0, '/');
  base = base ? base + 1 : argv0;
  return strcasecmp(base, "tramox") == 0;
}

}  // namespace

void SetAppRunner(AppRunner runner) { g_runner = runner ? runner : RunTheApp; }

void LoadEditSize() {
  TMyFile f(EditSizePath().c_str());
  if (!f.Open(1)) return;
  for (int32_t* v : kPlacement) {
    unsigned char b[4];
    if (plat::read(f.Handle, b, 4) != 4) break;
    *v = static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
  }
  f.Close();
}

int SaveEditSize() {
  TMyFile f(EditSizePath().c_str());
  if (!f.Open(0)) return 0;
  unsigned char b[16];
  for (int i = 0; i < 4; ++i) {
    uint32_t v = static_cast<uint32_t>(*kPlacement[i]);
    for (int k = 0; k < 4; ++k) b[4 * i + k] = static_cast<unsigned char>(v >> (8 * k));
  }
  bool ok = plat::write(f.Handle, b, sizeof b) == static_cast<int64_t>(sizeof b);
  return f.Close() && ok ? 1 : 0;
}

int AppMain(int argc, char** argv) {
  EditLeft = 20;
  EditTop = 60;
  EditRight = 600;
  EditBottom = 580;
  DbContext->auto_open = 1;
  DbContext->exclusive = 0;
  DbContext->safety = 1;
  // A create that meets an existing file is the normal case (safety on):
  // no box for it. A table that is really missing afterwards is reported
  // by the database creation itself.
  DbContext->report_create_errors = 0;

  auto splash = std::make_unique<TStatusWindow>("");
  InitCommonControls();
  Globals = new TGlobals;
  Globals->DncStationMode = StartedAsDncStation(argc > 0 ? argv[0] : nullptr) ? 1 : 0;
  // Kept as given: paths keep their case.
  if (argc > 0 && argv[0]) Globals->ProgramPath.Set(argv[0]);

  splash->Set("Reading configuration files...");
  switch (Globals->ReadConfig()) {
    case TGlobals::ConfigRead::Fatal:
      // Only reached when the fatal exit was intercepted.
      splash.reset();
      return kFatalExitCode;
    case TGlobals::ConfigRead::Read:
      Globals->CreateDatabaseFiles();
      break;
    case TGlobals::ConfigRead::Missing:
      break;
  }
  // The plug-ins are loaded from the hook directory of the layout.
  plat::set_plugin_dir(plat::to_native_path(Globals->HookDir));

  splash->Set("Verifying system paths...");
  if (!Globals->CheckDirectories()) {
    std::string text = std::string("The following systempath is invalid...\r\n\r\nPath : ") + Globals->StartFile.c_str();
    splash.reset();
    MessageBox(GetFocus(), text.c_str(), "System error", MB_OK | MB_ICONSTOP);
    return -1;
  }
  if (argc > 1 && argv[1]) {
    Globals->StartFile.Set(argv[1]);
    Globals->StartFileGiven = 1;
  }
  splash.reset();

  if (Globals->DncStationMode && !Globals->CheckPath.empty())
    StartWorker(DatabaseWatchdogThread, kWatchdogStack, nullptr);
  LoadEditSize();
  g_runner();

  // Every worker reads Globals and the tables: all of them end first.
  StopWorkers();
  SaveEditSize();
  delete Globals;
  Globals = nullptr;
  return 0;
}
