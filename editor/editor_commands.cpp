// The main frame's commands that open editor windows. The frame keeps four
// slots; a command that finds none free does nothing.
#include "app/appmain.h"
#include "app/frame_commands.h"
#include "app/main_frame.h"
#include "appcore/globals.h"
#include "editor/child_frame.h"
#include "editor/compare_dlg.h"
#include "platform/ui/mdi.h"
#include "resources/menus/editor.h"
#include "resources/menus/main.h"
#include "storage/log_common.h"
#include "storage/program_lock.h"

namespace {

TMachineChooser g_machineChooser = nullptr;

struct TPlace {
  enum Kind { Normal, Stored, Import } kind;
};

// Builds an editor window in the first free slot; null when all are taken.
TChildFrame* OpenEditor(TFrameWindow& frame, long programId, TPlace::Kind place,
                        const std::string& requestedFile = {}) {
  auto& main = static_cast<TMainFrame&>(frame);
  int slot = 0;
  while (slot < TMainFrame::kChildSlots && main.Children[slot]) slot++;
  if (slot == TMainFrame::kChildSlots) return nullptr;
  TWindow* client = frame.GetClientWindow();
  auto* child = new TChildFrame(client ? client : &frame, &main.Children[slot], programId, slot);
  main.Children[slot] = child;
  if (!requestedFile.empty()) child->SetRequestedFile(requestedFile.c_str());
  if (!child->Create()) {
    main.Children[slot] = nullptr;
    delete child;
    return nullptr;
  }
  switch (place) {
    case TPlace::Normal:
      child->ShowWindow(SW_SHOWNORMAL);
      break;
    case TPlace::Stored:
      child->SetWindowPos(HWND_TOP, child->StoredPlace(), SWP_SHOWWINDOW);
      break;
    case TPlace::Import:
      child->SetWindowPos(HWND_TOP, plat::cascade_in_client(*child, TRect(20, 60, 620, 480)), SWP_SHOWWINDOW);
      break;
  }
  return child;
}

bool HasFreeSlot(TFrameWindow& frame) {
  auto& main = static_cast<TMainFrame&>(frame);
  for (TChildFrame* c : main.Children)
    if (!c) return true;
  return false;
}

bool AskMachine(TFrameWindow& frame) {
  int machine = 0;
  if (!g_machineChooser || g_machineChooser(&frame, &machine) != IDOK) return false;
  Globals->CurrentMachineId = machine;
  return true;
}

void CmFileNew(TFrameWindow& frame, UINT) {
  if (!HasFreeSlot(frame) || !AskMachine(frame)) return;
  OpenEditor(frame, 0, TPlace::Normal);
}

void CmImport(TFrameWindow& frame, UINT) {
  if (!HasFreeSlot(frame) || !AskMachine(frame)) return;
  if (TChildFrame* child = OpenEditor(frame, Globals->CurrentProgramId, TPlace::Import))
    child->PostMessage(WM_COMMAND, kCmEditorImport, 0);
}

void CmFileOpen(TFrameWindow& frame, UINT) {
  const TProgramChooser& choose = GetProgramChooser();
  if (!HasFreeSlot(frame) || !choose) return;
  TEditorOpenScope keepLock;
  const long id = choose(&frame);
  if (id != 0) OpenEditor(frame, id, TPlace::Stored);
}

void CmOpenEditorWindow(TFrameWindow& frame, UINT) {
  if (TChildFrame* child = OpenEditor(frame, 0, TPlace::Import, Globals->StartFile.c_str()))
    child->PostMessage(WM_COMMAND, kCmOpenNamedProgram, 0);
}

void CmOpenEditor(TFrameWindow& frame, UINT) {
  if (Globals->CurrentProgramId == 0) return;
  OpenEditor(frame, Globals->CurrentProgramId, TPlace::Stored);
}

void CmOpenNamedProgram(TFrameWindow& frame, UINT) { OpenNamedRequest(frame); }

void RegisterMachineCommands();

}  // namespace

void OpenNamedRequest(TFrameWindow& frame) {
  // A program asked for by id opens as that program; only a request
  // without one loads the named file, taken now, before anything else can
  // change it.
  long id = Globals->CurrentProgramId;
  if (id != 0) {
    OpenEditor(frame, id, TPlace::Normal);
    return;
  }
  if (Globals->StartFile.empty()) return;
  if (TChildFrame* child = OpenEditor(frame, 0, TPlace::Normal, Globals->StartFile.c_str()))
    child->PostMessage(WM_COMMAND, kCmOpenNamedProgram, 0);
}

namespace {

void RegisterMachineCommands() {
  RegisterFrameCommand(kCmFileNew, g_machineChooser ? FrameCommand(CmFileNew) : FrameCommand());
  RegisterFrameCommand(kCmFileImport, g_machineChooser ? FrameCommand(CmImport) : FrameCommand());
}

}  // namespace

void SetMachineChooser(TMachineChooser chooser) {
  g_machineChooser = chooser;
  RegisterMachineCommands();
}

void RegisterEditorCommands() {
  RegisterMachineCommands();
  RegisterFrameCommand(kCmFileOpen, GetProgramChooser() ? FrameCommand(CmFileOpen) : FrameCommand());
  RegisterFrameCommand(kCmOpenEditorWindow, CmOpenEditorWindow);
  RegisterFrameCommand(kCmOpenEditor, CmOpenEditor);
  RegisterFrameCommand(kCmOpenNamedProgram, CmOpenNamedProgram);
  // The version log compares stored copies in the editor's compare window.
  SetCompareRunner(RunCompareWindow);
}
