// The operations of the program dialog that change the database: Save
// info, Delete, Copy, Lock and Unlock. A program that moves between tables
// is written to its new table first and taken out of the old one only when
// that write and the move of its file have succeeded; a step that fails
// undoes the ones before it and the user is told, so a program is always
// listed somewhere and every row names a file that is there.
#include <cstring>
#include <memory>
#include <optional>

#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "appcore/message_ids.h"
#include "appcore/text_scan.h"
#include "dbmodel/counter.h"
#include "dbmodel/machine.h"
#include "dbmodel/text_helpers.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "storage/filing_lock.h"
#include "storage/log_common.h"
#include "storage/program_dialog.h"
#include "storage/program_ops.h"
#include "storage/save_prog.h"

namespace {

constexpr const char* kProgramIndex = "KELVFILE.DBF";
constexpr const char* kLockedPrograms = "KELVLOCK.DBF";
constexpr const char* kBackups = "KELVBACK.DBF";

bool AppendTo(const char* table, TcbFileRecord& r) {
  TcbFileTable t(table, 0, 0);
  return t.Append(&r) == 1;
}

}  // namespace

bool TakeFilingLock(const char* table, std::optional<TFilingLock>& lock) {
  if (std::strcmp(table, kProgramIndex) != 0) return true;
  lock.emplace();
  if (lock->IsHeld()) return true;
  LogMessage(kMsgProgramNotAppended, MB_OK | MB_ICONSTOP);
  return false;
}

std::unique_ptr<TcbMachRecord> FindMachine(long id) {
  TcbMachTable machines("KELVMA.DBF", 0, 0);
  std::unique_ptr<TcbMachRecord> m(machines.FindById(id));
  machines.Close();
  return m;
}

bool RetireRow(TcbFileTable& table, long id) {
  std::unique_ptr<TcbFileRecord> old(table.DeleteById(id));
  table.made = nullptr;
  table.Close();
  return old != nullptr;
}
bool RetireRow(const char* table, long id) {
  TcbFileTable t(table, 0, 0);
  return RetireRow(t, id);
}

std::unique_ptr<TcbFileRecord> CopyOfRecord(const TcbFileRecord& r) {
  auto c = std::make_unique<TcbFileRecord>();
  c->NCID = r.NCID;
  c->LONG1 = r.LONG1;
  c->CUST = r.CUST;
  c->MID = r.MID;
  c->MAT = r.MAT;
  c->PROJECT = r.PROJECT;
  std::memcpy(c->DESC, r.DESC, sizeof c->DESC);
  std::memcpy(c->DIR, r.DIR, sizeof c->DIR);
  std::memcpy(c->NAME, r.NAME, sizeof c->NAME);
  std::memcpy(c->EXT, r.EXT, sizeof c->EXT);
  std::memcpy(c->PART, r.PART, sizeof c->PART);
  std::memcpy(c->DRAW, r.DRAW, sizeof c->DRAW);
  std::memcpy(c->MACHINE, r.MACHINE, sizeof c->MACHINE);
  std::memcpy(c->CHAR3, r.CHAR3, sizeof c->CHAR3);
  c->SetMemo(r.MEMOSTR);
  c->LOCK = r.LOCK;
  c->PROG = r.PROG;
  c->MAZAK = r.MAZAK;
  c->SENT = r.SENT;
  return c;
}

long DrawProgramId() {
  long id = NextProgramId();
  return id >= 1 && id <= kLargestFiledProgramId ? id : -1;
}

int AskWith(int messageId, const char* desc, const char* machine) {
  std::string text = FormatLogValues(Globals->GetMessageText(messageId), {desc, machine});
  return ::MessageBox(::GetFocus(), text.c_str(), Globals->CaptionText.c_str(), MB_YESNO | MB_ICONQUESTION);
}

bool TOpenWithLog::ReadEntries(TEntries& e) {
  e.programId = TrimText(CutText(ProgramIdEdit->GetText(), 39));
  e.part = TrimText(CutText(PartEdit->GetText(), 24));
  e.drawing = TrimText(CutText(DrawingEdit->GetText(), 24));
  e.description = TrimText(CutText(DescriptionEdit->GetText(), 49));
  if (CustomerBox->GetCheck() != BST_CHECKED) CustomerId = 0;
  if (ProjectBox->GetCheck() != BST_CHECKED) ProjectId = 0;
  std::string quoted;
  if (e.programId.empty()) {
    MessageBeep(MB_ICONHAND);
    ProgramIdEdit->SetFocus();
    return false;
  }
  // The duplicate checks search for the id; one that no filter can hold is
  // refused (the user is told) rather than filed unchecked.
  if (!QuoteSearchText(PadText(e.programId.c_str(), 40), quoted)) {
    ProgramIdEdit->SetFocus();
    return false;
  }
  return true;
}

void TOpenWithLog::FillFromEntries(TcbFileRecord& r, const TEntries& e, const char* machineName) const {
  CopyCut(r.DESC, sizeof r.DESC, e.programId.c_str());
  CopyCut(r.CHAR3, sizeof r.CHAR3, e.description.c_str());
  CopyCut(r.PART, sizeof r.PART, e.part.c_str());
  CopyCut(r.DRAW, sizeof r.DRAW, e.drawing.c_str());
  r.MID = MachineId;
  r.MAT = MachineTypeId;
  CopyCut(r.MACHINE, sizeof r.MACHINE, machineName);
  r.CUST = CustomerId;
  r.PROJECT = ProjectId;
}

bool TOpenWithLog::ProgramIdTaken(const char* table, const std::string& programId, long machineId,
                                  long except) const {
  TcbFileTable t(table, 0, 0);
  TcbFileRecord* same = t.SelectByDescAndMachine(programId.c_str(), machineId);
  t.made = nullptr;
  bool taken = false;
  for (TcbRecord* r = same; r; r = r->next)
    if (except == 0 || static_cast<TcbFileRecord*>(r)->NCID != except) taken = true;
  FreeRecordList(same);
  return taken;
}

void TOpenWithLog::RemoveSelectedLine() {
  FreeRecord();
  ProgramList->DeleteString(LineIndex);
  ProgramList->SetSelIndex(LineIndex);
  // The last line went: the first program line is shown.
  if (ProgramList->GetSelIndex() < 0) ProgramList->SetSelIndex(2);
  ShowFileInfo();
}

// ---- Save info -------------------------------------------------------------

void TOpenWithLog::CmSaveInfo() {
  if (!Record) return;
  TEntries e;
  if (!ReadEntries(e)) return;
  std::optional<TFilingLock> filing;
  if (!TakeFilingLock(CurrentTable(), filing)) return;
  if (ProgramIdTaken(CurrentTable(), e.programId, MachineId, Record->NCID)) {
    LogMessage(kMsgProgramIdTaken, MB_OK | MB_ICONINFORMATION);
    return;
  }
  // An editor holding the program would write its own copy of the row
  // back over this one, and save its text where the file no longer is.
  TcbFileTable held(CurrentTable(), 0, 0);
  if (held.LockById(Record->NCID) < 1) {
    LogMessage(kMsgProgramInUse, MB_OK | MB_ICONINFORMATION);
    return;
  }
  std::unique_ptr<TcbMachRecord> machine = FindMachine(MachineId);
  std::string machineName = machine ? TrimText(machine->NAME) : std::string();
  // The file follows the program to its new machine's directory.
  std::string movedFrom, movedTo;
  if (machine && MachineId != Record->MID && std::strcmp(Record->DIR, machine->PATH) != 0) {
    std::string from = Record->FilePath();
    std::string to = std::string(machine->PATH) + Record->NAME + "." + Record->EXT;
    if (std::strlen(machine->PATH) < sizeof Record->DIR && plat::move_file(from, to)) {
      movedFrom = from;
      movedTo = to;
    } else {
      LogMessageWith(kMsgProgramFileStays, MB_OK | MB_ICONEXCLAMATION, to);
    }
  }
  std::unique_ptr<TcbFileRecord> saved = CopyOfRecord(*Record);
  if (!movedTo.empty()) CopyCut(saved->DIR, sizeof saved->DIR, machine->PATH);
  FillFromEntries(*saved, e, machineName.c_str());
  SetCursor(nullptr, IDC_WAIT);
  int updated = held.Update(saved.get());
  held.Close();
  SetCursor(nullptr, IDC_ARROW);
  if (!updated) {
    // The row still names the old place: the file goes back there.
    if (!movedTo.empty()) plat::move_file(movedTo, movedFrom);
    LogMessage(kMsgProgramDataNotSaved, MB_OK | MB_ICONSTOP);
    return;
  }
  Globals->WriteLog(kLogProgramRenamed, Record->DESC, Record->MACHINE, saved->DESC, saved->MACHINE);
  delete Record;
  Record = saved.release();
  ProgramList->DeleteString(LineIndex);
  ProgramList->InsertString(FormatProgramListLine(Record).c_str(), LineIndex);
}

// ---- Delete ----------------------------------------------------------------

void TOpenWithLog::CmDelete() {
  if (!Record) return;
  // The row stays locked while the program is retired: a program open in
  // an editor, here or on another station, is not deleted under it.
  TcbFileTable held(CurrentTable(), 0, 0);
  if (held.LockById(Record->NCID) < 1) {
    LogMessage(kMsgProgramInUse, MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (AskWith(kMsgDeleteProgramQuestion, Record->DESC, Record->MACHINE) != IDYES) return;
  if (Backups) {
    // A backup is retired alone; its file stays on disk.
    if (!RetireRow(held, Record->NCID)) {
      LogMessage(kMsgProgramNotRetired, MB_OK | MB_ICONSTOP);
      return;
    }
    Globals->WriteLog(kLogProgramDeleted, Record->DESC, Record->MACHINE);
    RemoveSelectedLine();
    return;
  }
  long backupId = NextBackupId();
  if (backupId < 1 || backupId > kLargestFiledProgramId || Globals->BackupDir.size() >= sizeof Record->DIR) {
    LogMessage(kMsgIdNotDrawn, MB_OK | MB_ICONSTOP);
    return;
  }
  std::unique_ptr<TcbFileRecord> backup = CopyOfRecord(*Record);
  backup->NCID = backupId;
  CopyCut(backup->NAME, sizeof backup->NAME, FormatText("B%ld", backupId).c_str());
  CopyCut(backup->EXT, sizeof backup->EXT, "BAK");
  CopyCut(backup->DIR, sizeof backup->DIR, Globals->BackupDir.c_str());
  std::string from = Record->FilePath(), to = backup->FilePath();
  if (!AppendTo(kBackups, *backup)) {
    LogMessage(kMsgProgramNotAppended, MB_OK | MB_ICONSTOP);
    return;
  }
  if (!plat::move_file(from, to)) {
    RetireRow(kBackups, backupId);
    LogMessageWith(kMsgProgramFileNotMoved, MB_OK | MB_ICONSTOP, from);
    return;
  }
  if (!RetireRow(held, Record->NCID)) {
    plat::move_file(to, from);
    RetireRow(kBackups, backupId);
    LogMessage(kMsgProgramNotRetired, MB_OK | MB_ICONSTOP);
    return;
  }
  Globals->WriteLog(kLogProgramDeleted, Record->DESC, Record->MACHINE);
  RemoveSelectedLine();
}

// ---- Copy ------------------------------------------------------------------

void TOpenWithLog::CmCopy() {
  if (!Record || (!Backups && Record->MAZAK)) return;
  if (AskWith(kMsgCopyProgramQuestion, Record->DESC, Record->MACHINE) != IDYES) return;
  TEntries e;
  if (!ReadEntries(e)) return;
  std::optional<TFilingLock> filing;
  if (!TakeFilingLock(CurrentTable(), filing)) return;
  if (ProgramIdTaken(CurrentTable(), e.programId, MachineId, 0)) {
    LogMessage(kMsgProgramIdTaken, MB_OK | MB_ICONINFORMATION);
    return;
  }
  std::unique_ptr<TcbMachRecord> machine = FindMachine(MachineId);
  if (!machine || std::strlen(machine->PATH) >= sizeof Record->DIR) {
    LogMessage(kMsgMachineGone, MB_OK | MB_ICONSTOP);
    return;
  }
  long id = DrawProgramId();
  if (id < 1) {
    LogMessage(kMsgIdNotDrawn, MB_OK | MB_ICONSTOP);
    return;
  }
  std::unique_ptr<TcbFileRecord> copy = CopyOfRecord(*Record);
  std::string from = Record->FilePath();
  CopyCut(copy->DIR, sizeof copy->DIR, machine->PATH);
  CopyCut(copy->NAME, sizeof copy->NAME, FormatText("P%ld", id).c_str());
  CopyCut(copy->EXT, sizeof copy->EXT, "NC");
  std::string to = copy->FilePath();
  // An existing file of that name is never overwritten.
  if (!plat::copy_file(from, to, true)) {
    LogMessageWith(kMsgProgramFileNotCopied, MB_OK | MB_ICONSTOP, to);
    return;
  }
  copy->NCID = copy->LONG1 = id;
  FillFromEntries(*copy, e, TrimText(machine->NAME).c_str());
  SetCursor(nullptr, IDC_WAIT);
  bool appended = AppendTo(CurrentTable(), *copy);
  SetCursor(nullptr, IDC_ARROW);
  if (!appended) {
    plat::delete_file(to);
    LogMessage(kMsgProgramNotAppended, MB_OK | MB_ICONSTOP);
    return;
  }
  Globals->WriteLog(kLogProgramCopied, Record->DESC, Record->MACHINE, copy->DESC, copy->MACHINE);
  delete Record;
  Record = copy.release();
  ProgramList->InsertString(FormatProgramListLine(Record).c_str(), LineIndex);
  ProgramList->SetSelIndex(LineIndex);
}

// ---- Lock and Unlock -------------------------------------------------------

void TOpenWithLog::CmLock() {
  if (!Record || LockedView || Backups) return;
  TcbFileTable held(kProgramIndex, 0, 0);
  if (held.LockById(Record->NCID) < 1) {
    LogMessage(kMsgProgramInUse, MB_OK | MB_ICONINFORMATION);
    return;
  }
  std::unique_ptr<TcbFileRecord> locked = CopyOfRecord(*Record);
  if (!AppendTo(kLockedPrograms, *locked)) {
    LogMessage(kMsgProgramNotAppended, MB_OK | MB_ICONSTOP);
    return;
  }
  if (!RetireRow(held, Record->NCID)) {
    RetireRow(kLockedPrograms, Record->NCID);
    LogMessage(kMsgProgramNotRetired, MB_OK | MB_ICONSTOP);
    return;
  }
  Globals->WriteLog(kLogProgramLocked, Record->DESC, Record->MACHINE);
  RemoveSelectedLine();
}

void TOpenWithLog::CmUnlock() {
  if (!Record || !LockedView || Backups) return;
  std::optional<TFilingLock> filing;
  if (!TakeFilingLock(kProgramIndex, filing)) return;
  if (ProgramIdTaken(kProgramIndex, Record->DESC, Record->MID, 0)) {
    LogMessage(kMsgProgramIdTaken, MB_OK | MB_ICONINFORMATION);
    return;
  }
  TcbFileTable held(kLockedPrograms, 0, 0);
  if (held.LockById(Record->NCID) < 1) {
    LogMessage(kMsgProgramInUse, MB_OK | MB_ICONINFORMATION);
    return;
  }
  long id = DrawProgramId();
  if (id < 1) {
    LogMessage(kMsgIdNotDrawn, MB_OK | MB_ICONSTOP);
    return;
  }
  // The file keeps its name: only the row's id is new.
  std::unique_ptr<TcbFileRecord> unlocked = CopyOfRecord(*Record);
  unlocked->NCID = id;
  if (!AppendTo(kProgramIndex, *unlocked)) {
    LogMessage(kMsgProgramNotAppended, MB_OK | MB_ICONSTOP);
    return;
  }
  if (!RetireRow(held, Record->NCID)) {
    RetireRow(kProgramIndex, id);
    LogMessage(kMsgProgramNotRetired, MB_OK | MB_ICONSTOP);
    return;
  }
  Globals->WriteLog(kLogProgramUnlocked, Record->DESC, Record->MACHINE);
  RemoveSelectedLine();
}
