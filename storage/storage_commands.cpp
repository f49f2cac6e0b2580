// Registration of program storage's main-frame commands.
#include "storage/storage_commands.h"

#include "app/frame_commands.h"
#include "storage/log_types.h"
#include "storage/system_log.h"

void RegisterStorageCommands() {
  RegisterFrameCommand(7100, [](TFrameWindow& frame, UINT) { TLogDlg(&frame).Execute(); });
  RegisterFrameCommand(7101, [](TFrameWindow& frame, UINT) { TLogTypes(&frame).Execute(); });
  RegisterFrameCommand(7102, [](TFrameWindow& frame, UINT) { TLogChgTypes(&frame).Execute(); });
}
