#include "masterdata/masterdata_commands.h"

#include "app/frame_commands.h"
#include "masterdata/customer_dialogs.h"
#include "masterdata/machine_dialogs.h"
#include "masterdata/macro_dialogs.h"
#include "resources/menus/main.h"

namespace {

template <class Dialog>
void Register(UINT id) {
  RegisterFrameCommand(id, [](TFrameWindow& frame, UINT) { Dialog(&frame).Execute(); });
}

}  // namespace

void RegisterMasterDataCommands() {
  Register<TNewCustomer>(kCmCustomers);
  Register<TNewProject>(kCmProjects);
  Register<TNewMachineTypeDialog>(kCmMachineTypes);
  Register<TEditMachine>(kCmMachines);
  Register<TEditMacro>(kCmMacros);
}
