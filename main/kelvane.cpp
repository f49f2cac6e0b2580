// The program's entry: finds its resources, opens the desktop when there
// is a display, and runs the start-up.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/appmain.h"
#include "app/frame_commands.h"
#include "app/threads.h"
#include "dbtools/auto_import.h"
#include "dbtools/import_commands.h"
#include "dnc/control_window.h"
#include "dnc/job_commands.h"
#include "dnc/link_dialog.h"
#include "dnc/server.h"
#include "dnc/setup_commands.h"
#include "editor/child_frame.h"
#include "editor/cycle_command.h"
#include "editor/user_prefs.h"
#include "masterdata/auto_import_dlg.h"
#include "masterdata/pick_dialogs.h"
#include "platform/ui/resource.h"
#include "storage/dnc_link.h"
#include "storage/program_dialog.h"
#include "storage/program_lock.h"
#include "storage/restore_commands.h"
#include "storage/search_dialogs.h"
#include "storage/storage_commands.h"
#ifdef KV_HAVE_DESKTOP
#include "platform/wx/desktop.h"
#endif

namespace {

// The resources beside the program (an installed or built tree), else the
// ones the build prepared.
std::string ResourceDir(const char* argv0) {
  if (const char* env = std::getenv("KV_RESOURCE_DIR"); env && *env) return env;
  std::string self = argv0 ? argv0 : "";
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) self.assign(buf, static_cast<size_t>(n));
  auto slash = self.rfind('/');
  if (slash != std::string::npos) {
    std::string beside = self.substr(0, slash) + "/resources";
    if (access((beside + "/dialogs").c_str(), F_OK) == 0) return beside;
  }
  return KV_BUILD_RESOURCES;
}

}  // namespace

int main(int argc, char** argv) {
  plat::set_resource_dir(ResourceDir(argc > 0 ? argv[0] : nullptr));
  bool desktop = false;
#ifdef KV_HAVE_DESKTOP
  desktop = plat::attach_desktop_renderer(argc, argv);
#endif
  if (!desktop) {
    std::fprintf(stderr, "kelvane: no display to show its windows on; start it on a desktop, or under "
                         "a virtual one: xvfb-run -a %s\n", argc > 0 ? argv[0] : "kelvane");
    return 2;
  }
  InitUserPreferences();
  // The main frame's commands whose windows live in the layers above it.
  RegisterStorageCommands();
  SetMachineChooser(ChooseMachine);
  // Open searches the program index and shows what it found in the program
  // dialog; until that dialog registers, Open has no handler.
  RegisterProgramDialogs();
  if (GetProgramListDialog()) SetProgramChooser(ChooseProgram);
  RegisterEditorCommands();
  // The cycles editor files cycles by the chosen machine's type.
  SetMachineChooser(MachineChooser([](TWindow* parent, long* machineId) {
    int id = 0;
    int rc = ChooseMachine(parent, &id);
    *machineId = id;
    return rc;
  }));
  RegisterCycleCommands();
  RegisterJobCommands();
  RegisterDncSetupCommands();
  // The DNC start and the port setup stay grey while the server runs.
  RegisterDncCommands();
  SetDncServerProbe([] { return ControlWindow.load() != nullptr; });
  RegisterRestoreCommands();
  RegisterImportCommands();
  RegisterAutoImportDefs();
  // The main frame starts the watched-directory threads when configured.
  SetAutoImportStarter(StartAutoImportThreads);
  // The editor and the program dialog send through the DNC link.
  SetDncLinkRunner({[](TWindow* parent, const TcbFileRecord* program, long machineId, bool offerReceive) {
                      return TDncLinkDlg(parent, program, machineId, offerReceive).Execute();
                    },
                    [] { return TDncLinkDlg::ReceivePath(); }});
  int rc = AppMain(argc, argv);
#ifdef KV_HAVE_DESKTOP
  if (desktop) plat::detach_desktop_renderer();
#endif
  // The shutdown ends every worker; one still running is a fault to report.
  if (size_t left = RunningWorkers()) {
    std::fprintf(stderr, "kelvane: %zu worker threads still running at the end\n", left);
    return 3;
  }
  return rc;
}
