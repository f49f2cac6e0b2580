// The commands of an editor window and their enablers: status refresh,
// loading a named file, the file commands that move the text between the
// window, the program database and plain files, and the NC text commands.
#include <cstdio>

#include "app/frame_commands.h"
#include "app/main_frame.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "appcore/message_ids.h"
#include "editor/child_frame.h"
#include "editor/nc_commands.h"
#include "editor/nc_transforms.h"
#include "editor/text_files.h"
#include "masterdata/assoc_dialog.h"
#include "masterdata/macro_dialogs.h"
#include "masterdata/setup_sheet_pages.h"
#include "platform/file.h"
#include "platform/ledit/protocol.h"
#include "platform/msgbox.h"
#include "platform/ui/application.h"
#include "platform/ui/dialog.h"
#include "resources/menus/editor.h"
#include "resources/menus/main.h"
#include "storage/add_to_log.h"
#include "storage/dnc_link.h"
#include "storage/log_view.h"
#include "storage/program_lock.h"
#include "storage/save_prog.h"

namespace {

constexpr uint32_t kRightImport = 0x1, kRightExport = 0x2, kRightDncSend = 0x40000;

int Box(TWindow* owner, const std::string& text, UINT flags) {
  return ::MessageBox(owner->GetHandle(), text.c_str(), Globals->CaptionText.c_str(), flags);
}

std::string WithValue(int messageId, const std::string& value) {
  std::string format = Globals->GetMessageText(messageId);
  std::string out;
  size_t at = format.find("%s");
  if (at == std::string::npos) return format;
  return format.substr(0, at) + value + format.substr(at + 2);
}

// The reason the control gives for its last failed load or save.
std::string ControlError(TLEdit& edit) {
  char buf[512] = {};
  LEditBuffer b{buf, sizeof buf};
  edit.SendMessage(LEM_GETLASTERROR, 0, reinterpret_cast<LPARAM>(&b));
  return buf;
}

void TellFileError(TWindow* owner, const TFileError& e) {
  Box(owner, WithValue(e.Reading ? kMsgFileNotRead : kMsgWorkFileNotWritten, e.Path + "\r\n" + e.Reason),
      MB_OK | MB_ICONSTOP);
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TChildFrame, TDecoratedFrame)
  EV_WM_SIZE,
  EV_COMMAND(kCmUpdateStatus, EvUpdateStatus),
  EV_COMMAND(kCmOpenNamedProgram, EvLoadNamedFile),
  EV_COMMAND(kCmReloadProgram, EvReloadProgram),
  EV_COMMAND(kCmFileNew, CmNew),
  EV_COMMAND(kCmFileOpen, CmOpen),
  EV_COMMAND(kCmFileSave, CmSave),
  EV_COMMAND(kCmFileSaveAs, CmSaveAs),
  EV_COMMAND(kCmEditorImport, CmImport),
  EV_COMMAND(kCmEditorExport, CmExport),
  EV_COMMAND(kCmAppendFile, CmAppendFile),
  EV_COMMAND(kCmInsertFile, CmInsertFile),
  EV_COMMAND(kCmDncSend, CmDncSend),
  EV_COMMAND(kCmCloseEditor, CmClose),
  EV_COMMAND(kCmInsertLineNumbers, CmInsertLineNumbers),
  EV_COMMAND(kCmRemoveLineNumbers, CmRemoveLineNumbers),
  EV_COMMAND(kCmInsertSpaces, CmInsertSpaces),
  EV_COMMAND(kCmRemoveSpaces, CmRemoveSpaces),
  EV_COMMAND(kCmAxisValues, CmAxisValues),
  EV_COMMAND(kCmMemorandum, CmMemorandum),
  EV_COMMAND(kCmPictures, CmPictures),
  EV_COMMAND(kCmToolDatabase, CmNothing),
  EV_COMMAND(kCmToolLists, CmNothing),
  EV_COMMAND(kCmCompare, CmCompare),
  EV_COMMAND(kCmAddToLog, CmAddToLog),
  EV_COMMAND(kCmReviewLog, CmReviewLog),
  EV_COMMAND(kCmEditor558, CmNothing),
  EV_COMMAND(kCmInsertCycle, CmInsertCycle),
  EV_COMMAND(kCmEditCommand1031, CmEditCommand1031),
  EV_COMMAND(kCmInsertBlock, CmInsertBlock),
  EV_COMMAND(kCmSaveAsMacro, CmSaveAsMacro),
  EV_COMMAND(kCmInsertMacro, CmInsertMacro),
  EV_COMMAND(kCmAssociations, CmAssociations),
  EV_COMMAND(kCmSetupSheets, CmSetupSheets),
  EV_COMMAND(kCmImportMazakVurErad, CmImportMazakVurErad),
  EV_COMMAND(kCmExportMazakVurErad, CmNothing),
  EV_COMMAND(kCmFormattedPrint, CmFormattedPrint),
  EV_COMMAND(kCmAbout, CmAbout),
  EV_COMMAND_ENABLE(kCmFileOpen, CeOpen),
  EV_COMMAND_ENABLE(kCmFileSave, CeSave),
  EV_COMMAND_ENABLE(kCmEditorImport, CeImport),
  EV_COMMAND_ENABLE(kCmEditorExport, CeExport),
  EV_COMMAND_ENABLE(kCmAssociations, CeProgramPresent),
  EV_COMMAND_ENABLE(kCmDncSend, CeDncSend),
  EV_COMMAND_ENABLE(kCmEditCommand1031, CeEditCommand1031),
  EV_COMMAND_ENABLE(kCmSaveAsMacro, CeSaveAsMacro),
  EV_COMMAND_ENABLE(kCmMemorandum, CeProgramPresent),
  EV_COMMAND_ENABLE(kCmPictures, CeDocumentation),
  EV_COMMAND_ENABLE(kCmToolDatabase, CeDocumentation),
  EV_COMMAND_ENABLE(kCmToolLists, CeDocumentation),
  EV_COMMAND_ENABLE(kCmSetupSheets, CeDocumentation),
  EV_COMMAND_ENABLE(kCmCompare, CeCompare),
  EV_COMMAND_ENABLE(kCmAddToLog, CeProgramPresent),
  EV_COMMAND_ENABLE(kCmReviewLog, CeProgramPresent),
  EV_COMMAND_ENABLE(kCmExportMazakVurErad, CeNever),
  EV_COMMAND_ENABLE(kCmImportMazakVurErad, CeAlways),
  EV_COMMAND_ENABLE(kCmFormattedPrint, CeProgramPresent),
  EV_COMMAND_ENABLE(kCmAbout, CeAlways),
END_RESPONSE_TABLE;

// ---- small commands ----------------------------------------------------------

void TChildFrame::EvUpdateStatus() {
  if (!(Globals->DisplayFlags & 0x4) || !LineText) return;
  SelectionRange r{};
  Client->SendMessage(LEM_GETSEL, 0, reinterpret_cast<LPARAM>(&r));
  long length = static_cast<long>(Client->SendMessage(LEM_GETLENGTH, 1));
  long lines = static_cast<long>(Client->SendMessage(LEM_GETLINECOUNT));
  char text[96];
  std::snprintf(text, sizeof text, "Line : %ld/%ld (%ld bytes)  ", static_cast<long>(r.endLine), lines, length);
  LineText->SetText(text);
  std::snprintf(text, sizeof text, "Pos : %d", r.endCol);
  PosText->SetText(text);
}

void TChildFrame::EvLoadNamedFile() {
  // A request this window was not built for reaches it only because it is
  // the active editor: it opens a window of its own, and never loads a
  // file over this window's text or program.
  if (RequestedFile.empty()) {
    if (Globals->MainFrame) OpenNamedRequest(*Globals->MainFrame);
    return;
  }
  std::string path = RequestedFile;
  RequestedFile.clear();
  if (!LoadText(path)) return;
  LoadedFile = path;
  SetModified(false);
  SetCaption(path.c_str());
}

void TChildFrame::EvReloadProgram() {
  if (Record) LoadText(ProgramPath());
}

void TChildFrame::CmNew() {
  // The frame's own New: a command posted to the frame would come back to
  // this window first while it is the active child.
  if (auto* frame = dynamic_cast<TCommandHostFrame*>(GetMDIFrame())) frame->RunOwnCommand(kCmFileNew);
}

void TChildFrame::CmClose() { PostMessage(WM_CLOSE); }

void TChildFrame::CmEditCommand1031() { Client->PostMessage(WM_COMMAND, kCmEditCommand1031, 0); }

void TChildFrame::CmAbout() {
  TDialog about(this, 2000);
  about.Execute();
}

void TChildFrame::CmAddToLog() {
  if (Record) RunAddToLog();
}

// The window's text goes out through the DNC link as it stands, saved or
// not; a program the machine sends back replaces it.
void TChildFrame::CmDncSend() {
  const TDncLinkRunner& link = GetDncLinkRunner();
  if (!Record || !link) return;
  const std::string sendFile = TempPath("DNCF", "RF1");
  if (!SaveToTemp(sendFile)) return;
  Globals->DncTransferFile.Set(sendFile.c_str());
  // The editor windows are out of sight while the transfer runs.
  TWindow* client = GetParentO();
  if (client) client->ShowWindow(SW_HIDE);
  ShowWindow(SW_HIDE);
  // In debug mode a DNC monitor window stands beside the link for the
  // time of the transfer.
  std::shared_ptr<void> monitor;
  if (Globals->DebugMode && link.OpenMonitor) monitor = link.OpenMonitor(this);
  const int answer = link.Run(this, Record.get(), Record->MID, true);
  monitor.reset();
  if (!Globals->StartFileGiven) {
    if (client) client->ShowWindow(SW_SHOW);
    ShowWindow(SW_SHOW);
    SetFocus();
  }
  // The received text is not the program's stored file: it counts as
  // changed, so Save is offered and Close asks before it is lost.
  if (answer == IDOK && LoadText(link.ReceivePath())) SetModified(true);
}

void TChildFrame::CmReviewLog() {
  if (!Record) return;
  TLogView view(this, Record.get());
  view.Execute();
}

// ---- NC text commands ---------------------------------------------------------

void TChildFrame::RunTransform(NcTransform transform) {
  // The rewritten text is not the program's file any more: as after an
  // append, it counts as changed, so Save is offered and Close asks.
  if (RunTransformPass(this, Client, FrameNo, transform, GetApplication())) SetModified(true);
}

void TChildFrame::CmInsertLineNumbers() { RunTransform(RenumberLines); }
void TChildFrame::CmRemoveLineNumbers() { RunTransform(RemoveLineNumbers); }
void TChildFrame::CmInsertSpaces() { RunTransform(InsertSpaces); }
void TChildFrame::CmRemoveSpaces() { RunTransform(RemoveSpaces); }
void TChildFrame::CmAxisValues() { ShowAxisValues(this, Client, GetApplication()); }

void TChildFrame::CmInsertCycle() {
  if (CycleCombo) InsertCycle(this, Client, CycleCombo->GetText());
}

void TChildFrame::CmInsertBlock() { InsertCycleText(Client); }

// Macros travel on the clipboard: the selection goes to the save dialog,
// and the text the user confirmed comes back to the caret.
void TChildFrame::CmSaveAsMacro() {
  if (!CopySelectionForMacro(Client)) return;
  TNewMacro(this, MachId).Execute();
  RefillMacroBox(MacroCombo, MachId);
}

void TChildFrame::CmInsertMacro() {
  std::string text;
  if (!MacroCombo || !ReadMacroOfBoxLine(MacroCombo->GetText(), text)) return;
  if (TInsertMacro(this, text.c_str()).Execute() == IDOK) PasteMacro(Client);
}

void TChildFrame::CmAssociations() { TDisplayAssoc(this, Record.get()).Execute(); }

// A sheet belongs to a program: a text without one has none.
void TChildFrame::CmSetupSheets() {
  if (Record) TSetupPage1(this, Record.get()).Execute();
}

// ---- enablers ----------------------------------------------------------------

void TChildFrame::CeSave(TCommandEnabler& ce) { ce.Enable(IsModified()); }
void TChildFrame::CeOpen(TCommandEnabler& ce) { ce.Enable(static_cast<bool>(GetProgramChooser())); }
void TChildFrame::CeImport(TCommandEnabler& ce) { ce.Enable((Globals->RightsMask & kRightImport) != 0); }
void TChildFrame::CeExport(TCommandEnabler& ce) { ce.Enable((Globals->RightsMask & kRightExport) != 0); }
void TChildFrame::CeProgramPresent(TCommandEnabler& ce) { ce.Enable(Record != nullptr); }
// The edit window's own command: grey while the control has nothing to do
// for it.
void TChildFrame::CeEditCommand1031(TCommandEnabler& ce) {
  ce.Enable(Client->SendMessage(LEM_CANDO, kCmEditCommand1031) != 0);
}
void TChildFrame::CeSaveAsMacro(TCommandEnabler& ce) {
  ce.Enable(Record != nullptr && Client->SendMessage(LEM_HASSEL, 0, 0) > 0);
}
void TChildFrame::CeDncSend(TCommandEnabler& ce) {
  ce.Enable(Record != nullptr && (Globals->RightsMask & kRightDncSend) != 0 && static_cast<bool>(GetDncLinkRunner()));
}

// ---- helpers -----------------------------------------------------------------

void TChildFrame::BeginWork() {
  Invalidate(true);
  if (TApplication* app = GetApplication()) app->PumpWaitingMessages();
  SetCursor(nullptr, IDC_WAIT);
}

void TChildFrame::EndWork() { SetCursor(nullptr, IDC_ARROW); }

bool TChildFrame::LoadText(const std::string& path) {
  SetCursor(nullptr, IDC_WAIT);
  LRESULT r = Client->SendMessage(LEM_LOADFILE, 0, reinterpret_cast<LPARAM>(path.c_str()));
  SetCursor(nullptr, IDC_ARROW);
  if ((r & 0xFFFF) != 0) {
    Box(this, WithValue(kMsgFileNotRead, path + "\r\n" + ControlError(*Client)), MB_OK | MB_ICONSTOP);
    return false;
  }
  SetModified(false);
  return true;
}

bool TChildFrame::SaveToTemp(const std::string& path) {
  // A scratch copy is no save of the text: its changed state stays.
  const bool modified = IsModified();
  LRESULT r = Client->SendMessage(LEM_SAVEFILE, 0, reinterpret_cast<LPARAM>(path.c_str()));
  SetModified(modified);
  if (r == 0) return true;
  Box(this, WithValue(kMsgWorkFileNotWritten, path + "\r\n" + ControlError(*Client)), MB_OK | MB_ICONSTOP);
  return false;
}

int TChildFrame::RunAddToLog() {
  // The row stays locked while the entry is written: no other station can
  // take the program in between. The transfer count the dialog resets is
  // written through this window's table, which holds the lock.
  long sentBefore = Record->SENT;
  int answer = TAddToLog(this, Record.get()).Execute();
  if (answer == IDOK && sentBefore != 0 && Record->SENT == 0 && Table) Table->ResetSentHeld(Record->NCID);
  return answer;
}

// ---- Open, Save, Save As -------------------------------------------------------

void TChildFrame::CmOpen() {
  const TProgramChooser& choose = GetProgramChooser();
  if (!choose) return;
  if (IsModified()) {
    int answer = Box(this, Globals->GetMessageText(kMsgSaveFirst), MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDCANCEL) return;
    if (answer == IDYES && !Save()) return;
  }
  TEditorOpenScope keepLock;
  const long id = choose(this);
  if (id == 0 || !TakeProgram(id, true)) return;
  LoadedFile.clear();
  FillCombos();
}

void TChildFrame::CmSave() { Save(); }

bool TChildFrame::Save() {
  if (!Record) {
    CmSaveAs();
    return Record && !IsModified();
  }
  const bool modified = IsModified();
  if (modified && !SuppressLogPrompt && Globals->AlwaysDoLog && RunAddToLog() != IDOK) return false;
  const std::string path = ProgramPath();
  SetCursor(nullptr, IDC_WAIT);
  LRESULT r = Client->SendMessage(LEM_SAVEFILE, 0, reinterpret_cast<LPARAM>(path.c_str()));
  SetCursor(nullptr, IDC_ARROW);
  if (r != 0) {
    // The control writes beside the file: the old file stands, the text
    // stays in the window and stays modified.
    Box(this, WithValue(kMsgSaveFailed, path + "\r\n" + ControlError(*Client)), MB_OK | MB_ICONSTOP);
    SetModified(modified);
    return false;
  }
  SetModified(false);
  if (modified) Globals->WriteLog(kLogProgramSaved, Record->DESC, Record->MACHINE);
  return true;
}

void TChildFrame::CmSaveAs() {
  Globals->EditMachineId = static_cast<int>(MachId);
  if (TSaveProg(this).Execute() != IDOK) return;
  long id = Globals->CurrentProgramId;
  Globals->CurrentProgramId = 0;
  // The window's text goes into the chosen program: it counts as changed
  // there, and the program's old file is not loaded over it.
  if (!TakeProgram(id, false)) return;
  SetModified(true);
  SuppressLogPrompt = true;
  Save();
  SuppressLogPrompt = false;
}

// ---- Import, Export ------------------------------------------------------------

void TChildFrame::CmImport() {
  bool loaded = false;
  if (Globals->FileOpenDialog(this, nullptr, 0)) {
    std::string path = Globals->StartFile.c_str();
    loaded = LoadText(path);
    if (loaded) {
      LoadedFile = path;
      SetCaption(path.c_str());
    }
  }
  // Only a text that was replaced loses its changed state: a cancelled or
  // failed import must not make a changed text look saved.
  Client->SendMessage(LEM_SETSTATE, 1, loaded ? 2 : 0);
}

void TChildFrame::CmExport() {
  if (!Globals->FileSaveDialog(this, nullptr, 0)) return;
  std::string path = Globals->StartFile.c_str();
  SetCursor(nullptr, IDC_WAIT);
  const bool modified = IsModified();
  LRESULT r = Client->SendMessage(LEM_SAVEFILE, 0, reinterpret_cast<LPARAM>(path.c_str()));
  SetCursor(nullptr, IDC_ARROW);
  // Exporting does not save the window's text: it stays as modified as it was.
  SetModified(modified);
  if (r != 0) Box(this, WithValue(kMsgSaveFailed, path + "\r\n" + ControlError(*Client)), MB_OK | MB_ICONSTOP);
}

// ---- Append, Insert ------------------------------------------------------------

bool TChildFrame::ChooseSecondText(std::string& path) {
  const TProgramChooser& choose = GetProgramChooser();
  // Without the program search only a file on disk can be chosen.
  int answer = choose ? Box(this, Globals->GetMessageText(kMsgProgramOrFile), MB_YESNOCANCEL | MB_ICONQUESTION)
                      : IDNO;
  if (answer == IDCANCEL) return false;
  if (answer == IDYES) {
    const long id = choose(this);
    if (id == 0) return false;
    TcbFileTable programs("KELVFILE.DBF", 0, 0);
    std::unique_ptr<TcbFileRecord> r(programs.FindById(id));
    programs.made = nullptr;
    programs.Close();
    if (!r) return false;
    path = r->FilePath();
    return true;
  }
  if (!Globals->FileOpenDialog(this, nullptr, 0)) return false;
  path = Globals->StartFile.c_str();
  return true;
}

void TChildFrame::CmAppendFile() {
  const std::string af1 = TempPath("CRNF", "AF1");
  if (!SaveToTemp(af1)) return;
  std::string chosen;
  if (!ChooseSecondText(chosen)) {
    plat::delete_file(af1);
    return;
  }
  BeginWork();
  TFileError error;
  bool ok = AppendFileToText(af1, chosen, error);
  EndWork();
  if (!ok) {
    TellFileError(this, error);
    return;
  }
  if (LoadText(af1)) SetModified(true);
}

void TChildFrame::CmInsertFile() {
  SelectionRange sel{};
  Client->SendMessage(LEM_GETSEL, 0, reinterpret_cast<LPARAM>(&sel));
  const std::string af1 = TempPath("CRNF", "AF1");
  if (!SaveToTemp(af1)) return;
  std::string chosen;
  if (!ChooseSecondText(chosen)) {
    plat::delete_file(af1);
    return;
  }
  BeginWork();
  const std::string joined = TempPath("INSF", "IF1");
  TFileError error;
  bool ok = sel.startLine > 1 ? InsertFileAtLine(joined, af1, chosen, sel.startLine, error)
                              : JoinFiles(joined, chosen, af1, error);
  EndWork();
  if (!ok) {
    TellFileError(this, error);
    return;
  }
  if (!LoadText(joined)) return;
  SetModified(true);
  Client->SetCaretPos(sel.startLine, sel.startCol);
}
