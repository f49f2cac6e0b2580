// The backup dialog: the program dialog over KELVBACK.DBF, whose Open
// restores the selected backup as a program of the program index; and the
// registration of both dialogs with the searches.
#include <cstring>
#include <memory>

#include "app/frame_commands.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "appcore/message_ids.h"
#include "appcore/text_scan.h"
#include "dbmodel/machine.h"
#include "dbmodel/text_helpers.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "resources/dialogs/program.h"
#include "resources/menus/main.h"
#include "storage/log_common.h"
#include "storage/program_dialog.h"
#include "storage/program_ops.h"
#include "storage/search_dialogs.h"

namespace {

constexpr const char* kProgramIndex = "KELVFILE.DBF";
constexpr const char* kBackups = "KELVBACK.DBF";

}  // namespace

TBackupWithLog::TBackupWithLog(TWindow* parent, TcbFileRecord* list, TResId resId)
    : TOpenWithLog(parent, list, resId, true) {}

void TBackupWithLog::SetupWindow() {
  TOpenWithLog::SetupWindow();
  SetCaptionText(896);
  SetItemText(IDC_PROGRAM_OPEN, 897);
  SetItemTexts(IDC_PROGRAM_SAVE_INFO, 1020, 3);
  for (int id : {IDC_PROGRAM_SEND, IDC_PROGRAM_LOCKED, IDC_PROGRAM_UNLOCK, IDC_PROGRAM_LOCK, IDC_PROGRAM_NEW_SEARCH})
    if (TWindow* w = ChildWithId(id)) w->ShowWindow(SW_HIDE);
}

void TBackupWithLog::CmOpen() {
  if (!Record) return;
  if (CompareMode) {
    TakeCompareProgram();
    return;
  }
  if (AskWith(kMsgRestoreBackupQuestion, Record->DESC, Record->MACHINE) != IDYES) return;
  TEntries e;
  if (!ReadEntries(e)) return;
  std::optional<TFilingLock> filing;
  if (!TakeFilingLock(kProgramIndex, filing)) return;
  TcbFileRecord* same;
  {
    TcbFileTable programs(kProgramIndex, 0, 0);
    same = programs.SelectByDescAndMachine(e.programId.c_str(), MachineId);
    programs.made = nullptr;
  }
  if (same) {
    std::unique_ptr<TcbFileRecord> program(same);
    FreeRecordList(program->next);
    program->next = nullptr;
    if (LogMessage(kMsgProgramIdExists, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    if (RestoreOver(*program)) RemoveSelectedLine();
    return;
  }
  if (RestoreNew(e)) RemoveSelectedLine();
}

// Over the program of the same id: its file takes the backup's text; its
// row stays as it is. Refused while the program is open in an editor.
bool TBackupWithLog::RestoreOver(TcbFileRecord& program) {
  TcbFileTable held(kProgramIndex, 0, 0);
  if (held.LockById(program.NCID) < 1) {
    LogMessage(kMsgProgramOpenInEditor, MB_OK | MB_ICONINFORMATION);
    return false;
  }
  std::string target = program.FilePath();
  if (!plat::copy_file(Record->FilePath(), target, false)) {
    LogMessageWith(kMsgProgramFileNotCopied, MB_OK | MB_ICONSTOP, target);
    return false;
  }
  // The program has the text now; a backup row that stays is only listed
  // once more.
  RetireRow(kBackups, Record->NCID);
  return true;
}

// As a new program of the chosen machine, with the backup's version log.
// The backup file stays where it is.
bool TBackupWithLog::RestoreNew(const TEntries& e) {
  std::unique_ptr<TcbMachRecord> machine = FindMachine(MachineId);
  if (!machine || std::strlen(machine->PATH) >= sizeof Record->DIR) {
    LogMessage(kMsgMachineGone, MB_OK | MB_ICONSTOP);
    return false;
  }
  long id = DrawProgramId();
  if (id < 1) {
    LogMessage(kMsgIdNotDrawn, MB_OK | MB_ICONSTOP);
    return false;
  }
  std::unique_ptr<TcbFileRecord> r = CopyOfRecord(*Record);
  CopyCut(r->DIR, sizeof r->DIR, machine->PATH);
  CopyCut(r->NAME, sizeof r->NAME, FormatText("P%ld", id).c_str());
  CopyCut(r->EXT, sizeof r->EXT, "NC");
  std::string target = r->FilePath();
  if (!plat::copy_file(Record->FilePath(), target, true)) {
    LogMessageWith(kMsgProgramFileNotCopied, MB_OK | MB_ICONSTOP, target);
    return false;
  }
  r->NCID = id;
  FillFromEntries(*r, e, TrimText(machine->NAME).c_str());
  bool appended;
  {
    TcbFileTable programs(kProgramIndex, 0, 0);
    appended = programs.Append(r.get()) == 1;
  }
  if (!appended) {
    plat::delete_file(target);
    LogMessage(kMsgProgramNotAppended, MB_OK | MB_ICONSTOP);
    return false;
  }
  if (!RetireRow(kBackups, Record->NCID)) {
    RetireRow(kProgramIndex, id);
    plat::delete_file(target);
    LogMessage(kMsgProgramNotRetired, MB_OK | MB_ICONSTOP);
    return false;
  }
  // Written once the restore stands.
  Globals->WriteLog(kLogBackupRestored, r->DESC, r->MACHINE);
  return true;
}

void RegisterProgramDialogs() {
  SetProgramListDialog([](TWindow* parent, TcbFileRecord* list) { return TOpenWithLog(parent, list).Execute(); });
  SetBackupListDialog([](TWindow* parent, TcbFileRecord* list) { return TBackupWithLog(parent, list).Execute(); });
  RegisterFrameCommand(kCmBackups, [](TFrameWindow& frame, UINT) { TOpenBackup(&frame).Execute(); });
}
