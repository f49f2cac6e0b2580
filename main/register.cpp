// Every layer's commands and windows, registered with the layers below
// that open them: what the program is made of above the application core.
#include "main/register.h"

#include "app/frame_commands.h"
#include "dbtools/import_commands.h"
#include "dbtools/program_set_commands.h"
#include "dnc/control_window.h"
#include "dnc/dnclog.h"
#include "dnc/job_commands.h"
#include "dnc/link_dialog.h"
#include "dnc/server.h"
#include "dnc/setup_commands.h"
#include "editor/child_frame.h"
#include "editor/cycle_command.h"
#include "editor/user_prefs.h"
#include "masterdata/masterdata_commands.h"
#include "masterdata/pick_dialogs.h"
#include "storage/dnc_link.h"
#include "storage/program_dialog.h"
#include "storage/program_lock.h"
#include "storage/restore_commands.h"
#include "storage/search_dialogs.h"
#include "storage/storage_commands.h"

void RegisterProgramCommands() {
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
  RegisterMasterDataCommands();
  RegisterProgramSetCommands();
  // The editor and the program dialog send through the DNC link.
  SetDncLinkRunner({[](TWindow* parent, const TcbFileRecord* program, long machineId, bool offerReceive) {
                      return TDncLinkDlg(parent, program, machineId, offerReceive).Execute();
                    },
                    [] { return TDncLinkDlg::ReceivePath(); },
                    [](TWindow* parent) -> std::shared_ptr<void> { return OpenDncMonitor(parent); }});
}
