// Main-frame commands that open the DNC port setup.
#include "dnc/setup_commands.h"

#include "app/frame_commands.h"
#include "dnc/setup_multi.h"

void RegisterDncSetupCommands() {
  RegisterFrameCommand(kCmMultiDncSetup, [](TFrameWindow& frame, UINT) {
    TMultiDncSetup dlg(&frame);
    dlg.Execute();
  });
}
