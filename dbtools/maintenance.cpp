#include "dbtools/maintenance.h"

#include <cctype>
#include <mutex>
#include <utility>

#include "app/frame_commands.h"
#include "app/status_dlg.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbmodel/engine_context.h"
#include "engine/engine_api.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/path.h"
#include "platform/ui/window.h"

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The table files of a directory, in search order.
std::vector<std::string> TableFiles(const std::string& dir) {
  std::vector<std::string> names;
  plat::FindHandle h;
  plat::FindData fd;
  for (bool more = plat::find_first(dir + "*.DBF", h, fd); more; more = plat::find_next(h, fd))
    if (!(fd.attributes & plat::attr_directory)) names.push_back(fd.name);
  plat::find_close(h);
  return names;
}

// The error pending now, cleared, with the text kept for it.
std::string TakeError(DbErrorsKept& kept, const std::string& fallback) {
  std::string why = kept.First().empty() ? fallback : kept.First();
  for (char& c : why)
    if (c == '\r' || c == '\n') c = ' ';
  kept.Clear();
  code_error_set(DbContext, 0);
  return why;
}

TTableResult MaintainTable(const std::string& path, TTableWork work, int lockTries) {
  TTableResult r{path, TTableOutcome::Failed, {}};
  DbErrorsKept kept;
  code_error_set(DbContext, 0);
  DbDataFile* d = data_open(DbContext, path.c_str());
  if (!d) {
    r.why = TakeError(kept, Globals->GetMessageText(kMsgMaintenanceNotATable));
    return r;
  }
  int rc;
  {
    DbBoundedLocks bounded(lockTries);
    rc = data_lock_file(d);
    // The engine's own lock inside pack and reindex finds it held.
    if (rc == 0) rc = work == TTableWork::Pack ? data_pack(d) : data_reindex(d);
  }
  if (rc == DB_LOCKED) {
    r.outcome = TTableOutcome::Busy;
  } else if (rc == 0 && code_error_get(DbContext) >= 0) {
    r.outcome = TTableOutcome::Done;
  } else {
    r.why = TakeError(kept, Globals->GetMessageText(kMsgMaintenanceNotATable));
  }
  code_error_set(DbContext, 0);
  if (data_close(d) < 0 && r.outcome == TTableOutcome::Done) {
    r.outcome = TTableOutcome::Failed;
    r.why = TakeError(kept, "");
  }
  code_error_set(DbContext, 0);
  return r;
}

void RunMaintenance(TFrameWindow& frame, TTableWork work) {
  std::vector<TTableResult> results;
  {
    // No auto-import pass meanwhile: its rows would wait on the file locks.
    std::lock_guard imports(Globals->ImportLock);
    frame.SetCursor(nullptr, IDC_WAIT);
    frame.EnableWindow(false);
    results = MaintainAllTables(frame, {Globals->DatabaseDir, Globals->AlternateDir}, work);
    frame.EnableWindow(true);
    frame.SetCursor(nullptr, IDC_ARROW);
    frame.SetFocus();
  }
  bool trouble = false;
  for (const auto& r : results) trouble = trouble || r.outcome != TTableOutcome::Done;
  ::MessageBox(frame.GetHandle(), MaintenanceSummary(results).c_str(), Globals->CaptionText.c_str(),
               MB_OK | (trouble ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
}

}  // namespace

std::vector<TTableResult> MaintainAllTables(TWindow& owner, const std::vector<std::string>& dirs, TTableWork work,
                                            int lockTries) {
  std::vector<TTableResult> results;
  std::vector<std::string> seen;
  for (const std::string& dir : dirs) {
    if (dir.empty()) continue;
    std::string native = plat::to_native_path(dir);
    bool twice = false;
    for (const auto& s : seen) twice = twice || s == native;
    if (twice) continue;
    seen.push_back(native);

    TShowStatusDlg status(&owner);
    status.Create();
    status.ShowWindow(SW_SHOW);
    status.SetStatus(Globals->GetMessageText(work == TTableWork::Pack ? kMsgPackStarting : kMsgReindexStarting));
    const std::vector<std::string> names = TableFiles(dir);
    const int step = work == TTableWork::Pack ? kMsgPackingTable : kMsgReindexingTable;
    for (std::size_t i = 0; i < names.size(); ++i) {
      status.SetStatus(FormatLogValues(Globals->GetMessageText(step),
                                 {std::to_string(i + 1), std::to_string(names.size()), Upper(names[i])}));
      results.push_back(MaintainTable(dir + names[i], work, lockTries));
    }
  }
  return results;
}

std::string MaintenanceSummary(const std::vector<TTableResult>& results) {
  int done = 0, busy = 0, failed = 0;
  std::string busyList, failedList;
  for (const auto& r : results) {
    switch (r.outcome) {
      case TTableOutcome::Done:
        ++done;
        break;
      case TTableOutcome::Busy:
        ++busy;
        busyList += "\r\n" + r.file;
        break;
      case TTableOutcome::Failed:
        ++failed;
        failedList += "\r\n" + r.file + ": " + r.why;
        break;
    }
  }
  std::string text = FormatLogValues(Globals->GetMessageText(kMsgMaintenanceSummary),
                                     {std::to_string(done), std::to_string(busy), std::to_string(failed)});
  if (busy) text += "\r\n\r\n" + Globals->GetMessageText(kMsgMaintenanceBusyHeading) + busyList;
  if (failed) text += "\r\n\r\n" + Globals->GetMessageText(kMsgMaintenanceFailedHeading) + failedList;
  return text;
}

void CmPack(TFrameWindow& frame) { RunMaintenance(frame, TTableWork::Pack); }
void CmReindex(TFrameWindow& frame) { RunMaintenance(frame, TTableWork::Reindex); }

void RegisterMaintenanceCommands() {
  const std::pair<UINT, void (*)(TFrameWindow&)> commands[] = {
      {kCmPack, CmPack},
      {kCmReindex, CmReindex},
      {kCmReplaceDrive, CmReplaceDrive},
      {kCmReplacePaths, CmReplacePaths},
      {kCmAddLeadingZeros, CmAddLeadingZeros},
      {kCmUpdateMachinePath, CmUpdateMachinePath},
      {kCmUpdateBackupPath, CmUpdateBackupPath},
      {kCmUpdateDncFailPath, CmUpdateDncFailPath},
      {kCmUpdateDncTempPath, CmUpdateDncTempPath},
      {kCmUpdateOldCustomers, CmUpdateOldCustomers},
      {kCmNameFilesByProgramId, CmNameFilesByProgramId},
      {kCmConvertLinefeeds, CmConvertLinefeeds},
  };
  for (const auto& [id, run] : commands) RegisterFrameCommand(id, [run](TFrameWindow& frame, UINT) { run(frame); });
}
