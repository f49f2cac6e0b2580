// Each command reads every live row of its table and opens its dialog only
// when there is one; the dialog takes the rows over.
#include "storage/restore_commands.h"

#include "app/frame_commands.h"
#include "dbmodel/filetable.h"
#include "resources/menus/main.h"
#include "storage/restore_dlg.h"

namespace {

template <class Dialog>
void Run(TFrameWindow& frame, const char* table) {
  TcbFileRecord* rows;
  {
    TcbFileTable t(table, 0, 0);
    rows = t.ReadAll(1);
  }
  if (!rows) return;
  Dialog dlg(&frame, rows);
  dlg.Execute();
}

}  // namespace

void RegisterRestoreCommands() {
  RegisterFrameCommand(kCmFailedDncTransfers, [](TFrameWindow& f, UINT) { Run<TRestoreDncFail>(f, "KELVDNCF.DBF"); });
  RegisterFrameCommand(kCmNewDncTransfers, [](TFrameWindow& f, UINT) { Run<TRestoreDncTemp>(f, "KELVDNCT.DBF"); });
  RegisterFrameCommand(kCmFailedImports, [](TFrameWindow& f, UINT) { Run<TFailedImports>(f, "KELVAUTO.DBF"); });
}
