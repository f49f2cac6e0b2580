// Registration of program storage's main-frame commands.
#include "storage/storage_commands.h"

#include "app/frame_commands.h"
#include "resources/menus/main.h"
#include "storage/log_types.h"
#include "storage/system_log.h"

void RegisterStorageCommands() {
  RegisterFrameCommand(kCmViewSystemLog, [](TFrameWindow& frame, UINT) { TLogDlg(&frame).Execute(); });
  RegisterFrameCommand(kCmLogBaseTypes, [](TFrameWindow& frame, UINT) { TLogTypes(&frame).Execute(); });
  RegisterFrameCommand(kCmLogChangeCriteria, [](TFrameWindow& frame, UINT) { TLogChgTypes(&frame).Execute(); });
}
