// An editor window: how it is built, how it takes and lets go of its
// program, and how it closes.
#include "editor/child_frame.h"

#include <cstdio>

#include "app/appmain.h"
#include "app/main_frame.h"
#include "app/menu_popup.h"
#include "app/users_lines.h"
#include "appcore/display_flags.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/customer.h"
#include "dbmodel/cycle.h"
#include "dbmodel/machine.h"
#include "dbmodel/macro.h"
#include "dbmodel/project.h"
#include "platform/ledit/protocol.h"
#include "platform/msgbox.h"
#include "platform/ui/mdi.h"
#include "platform/ui/gadget_window.h"
#include "platform/ui/menu.h"
#include "resources/menus/editor.h"
#include "resources/menus/main.h"

namespace {

const char* PopupTitle(int id, const char* fallback) {
  const char* t = MenuText(id);
  return t ? t : fallback;
}

int Box(TWindow* owner, int messageId, UINT flags) {
  return ::MessageBox(owner ? owner->GetHandle() : GetFocus(), Globals->GetMessageText(messageId).c_str(),
                      Globals->CaptionText.c_str(), flags);
}

std::string OwnedText(char* heap) {
  std::string s = heap ? heap : "";
  delete[] heap;
  return s;
}

}  // namespace

TChildFrame::TChildFrame(TWindow* parent, TChildFrame** slot, long programId, int frameNumber)
    : TChildFrame(parent, slot, programId, frameNumber, new TClient) {}

TChildFrame::TChildFrame(TWindow* parent, TChildFrame** slot, long programId, int frameNumber, TClient* client)
    : TDecoratedFrame(parent, nullptr, client, true),
      Client(client),
      Slot(slot),
      OpenId(programId),
      MachId(Globals->CurrentMachineId),
      FrameNo(frameNumber) {
  Attr.ExStyle = 0x40200 | ((Globals->DisplayFlags & kDisplayOnTop) ? 0x8 : 0);
  SetAcceleratorTable(kAccelEditor);
  BuildMenus();
  if (Globals->DisplayFlags & kDisplayStatusBar) BuildStatusBar();
  if (Globals->DisplayFlags & kDisplayToolBar) BuildToolBars();
}

TChildFrame::~TChildFrame() {
  // A window destroyed without its close query (the program ending) still
  // lets its program go and frees its slot.
  ReleaseProgram();
  if (Slot && *Slot == this) *Slot = nullptr;
}

void TChildFrame::BuildMenus() {
  TMenuDescr bar(CreateMenu(), 0, 0, 0, 0, 0, 0);
  bar.AppendPopup(TMenuDescr::FileGroup, LoadPopup(kMenuEditorFile), PopupTitle(1, "&File"));
  bar.AppendPopup(TMenuDescr::FileGroup, LoadPopup(kMenuEditorEdit), PopupTitle(2, "&Edit"));
  bar.AppendPopup(TMenuDescr::FileGroup, LoadPopup(kMenuEditorPrint), PopupTitle(13, "&Print"));
  HMENU lines = LoadPopup(kMenuLineNumbers);
  if (const char* t = MenuText(kCmAxisValues)) {
    AppendMenu(lines, MF_SEPARATOR, 0, nullptr);
    AppendMenu(lines, MF_STRING, kCmAxisValues, t);
  }
  bar.AppendPopup(TMenuDescr::FileGroup, lines, PopupTitle(3, "&Line numbers"));
  bar.AppendPopup(TMenuDescr::FileGroup, LoadPopup(kMenuDocumentation), PopupTitle(6, "&Documentation"));
  bar.AppendPopup(TMenuDescr::FileGroup, LoadPopup(kMenuEditorLog), PopupTitle(12, "&Log"));
  bar.AppendPopup(TMenuDescr::FileGroup, LoadPopup(kMenuMazakFiles), "&Mazak Files");
  if (Globals->EditorHookCount > 0) {
    HMENU hooks = LoadPopup(kMenuEditorHooks);
    for (int i = 0; i < Globals->EditorHookCount && i < static_cast<int>(Globals->EditorHooks.size()); ++i)
      if (const TSystemHook* h = Globals->EditorHooks[i].get())
        if (h->CommandId) AppendMenu(hooks, MF_STRING, static_cast<uintptr_t>(h->CommandId), h->Entry.c_str());
    bar.AppendPopup(TMenuDescr::FileGroup, hooks, "&C-Hooks");
  }
  HMENU help = LoadPopup(kMenuHelp);
  if (const char* about = MenuText(3000)) ModifyMenu(help, kCmAbout, MF_BYCOMMAND | MF_STRING, kCmAbout, about);
  bar.AppendPopup(TMenuDescr::HelpGroup, help, PopupTitle(3001, "&Help"));
  TMenuDescr descr(bar.Release(), 0, 0, 0, 0, 0, 0);
  descr.SetGroupCount(TMenuDescr::FileGroup, GetMenuItemCount(descr) - 1);
  descr.SetGroupCount(TMenuDescr::HelpGroup, 1);
  SetMenuDescr(descr);
}

void TChildFrame::BuildStatusBar() {
  auto* status = new TStatusBar(nullptr, TGadget::Recessed,
                                TStatusBar::CapsLock | TStatusBar::NumLock | TStatusBar::ScrollLock |
                                    TStatusBar::Overtype);
  LineText = new TTextGadget(0, TGadget::Embossed, TTextGadget::Center, 45);
  status->Insert(*LineText);
  // The position is kept up to date but has no place in the bar.
  PosText = std::make_unique<TTextGadget>(0, TGadget::Embossed, TTextGadget::Right, 16);
  Insert(*status, Bottom);
}

void TChildFrame::BuildToolBars() {
  const auto hints =
      (Globals->DisplayFlags & kDisplayMenuHints) ? TGadgetWindow::EnterHints : TGadgetWindow::PressHints;
  auto bar = [&](TGadgetWindow::TTileDirection dir, std::initializer_list<std::pair<int, int>> items) {
    auto* b = new TControlBar(nullptr, dir);
    for (auto [bitmap, id] : items) {
      if (bitmap < 0) b->Insert(*new TSeparatorGadget(-bitmap));
      else b->Insert(*new TButtonGadget(bitmap, id));
    }
    b->SetHintMode(hints);
    return b;
  };
  Insert(*bar(TGadgetWindow::Horizontal,
              {{-4, 0}, {1, kCmFileNew}, {-4, 0}, {2, kCmFileOpen}, {-4, 0}, {3, kCmFileSave}, {-6, 0},
               {1006, kCmFormattedPrint}, {-6, 0}, {1031, kCmEditCommand1031}, {-12, 0}, {550, kCmMemorandum},
               {-6, 0}, {551, kCmPictures}, {-6, 0}, {115, kCmAssociations}, {-12, 0}, {117, kCmDncSend}}),
         Top);
  auto* second = new TControlBar(nullptr, TGadgetWindow::Horizontal);
  auto combo = [&](int id) {
    auto* c = new TComboBox(nullptr, id, 0, 0, 240, 240, WS_VSCROLL | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | CBS_SORT, 50);
    return c;
  };
  CycleCombo = combo(100);
  MacroCombo = combo(101);
  second->Insert(*new TSeparatorGadget(12));
  second->Insert(*new TControlGadget(*CycleCombo));
  second->Insert(*new TSeparatorGadget(6));
  second->Insert(*new TButtonGadget(1226, kCmInsertCycle));
  second->Insert(*new TSeparatorGadget(12));
  second->Insert(*new TControlGadget(*MacroCombo));
  second->Insert(*new TSeparatorGadget(6));
  second->Insert(*new TButtonGadget(1227, kCmInsertMacro));
  second->SetHintMode(hints);
  Insert(*second, Top);
  Insert(*bar(TGadgetWindow::Vertical,
              {{-12, 0}, {401, kCmCompare}, {-4, 0}, {1011, kCmEditUndo}, {-4, 0}, {1012, kCmEditRedo}, {-6, 0},
               {1013, kCmEditCut}, {-4, 0}, {1014, kCmEditCopy}, {-4, 0}, {1015, kCmEditPaste}, {-12, 0},
               {1021, kCmEditFind}, {-4, 0}, {1022, kCmEditFindNext}, {-4, 0}, {1023, kCmEditReplace}}),
         Left);
}

void TChildFrame::SetupWindow() {
  TDecoratedFrame::SetupWindow();
  Client->PostMessage(LEM_SETOPTIONS, 1, 0);
  Client->SetOptionLowNibble(10);
  Client->SetOptionBit2(true);
  if (const char* t = Globals->DialogTexts.Has(137) ? Globals->DialogTexts.Get(137) : nullptr) SetCaption(t);
  SetWindowPos(nullptr, StoredPlace(), SWP_SHOWWINDOW);
  if (OpenId != 0) {
    Globals->CurrentProgramId = static_cast<int>(OpenId);
    TakeProgram(OpenId, true);
    Globals->CurrentProgramId = 0;
  }
  FillCombos();
  SetModified(false);
  Client->SetFocus();
}

bool TChildFrame::TakeProgram(long id, bool loadText) {
  // The new row is locked before the old program is let go, so a refusal
  // leaves the window with the program it had; taking the program this
  // window holds already keeps its lock.
  if (Record && Record->NCID == id) return true;
  // The open dialog hands over the lock it tested, so no other station
  // can take the row in between.
  std::unique_ptr<TProgramLockTable> table = TakeProgramLock(id);
  if (!table) table = std::make_unique<TProgramLockTable>();
  std::unique_ptr<TcbFileRecord> record(table->FindById(id));
  table->made = nullptr;
  if (!record) {
    table.reset();
    Box(this, kMsgProgramMissing, MB_OK | MB_ICONINFORMATION);
    return false;
  }
  // The lock is the test: a station that took the row since the program
  // was chosen is seen here.
  if (table->LockById(id) < 1) {
    table.reset();
    Box(this, kMsgProgramOpenInEditor, MB_OK | MB_ICONINFORMATION);
    return false;
  }
  ReleaseProgram();
  Table = std::move(table);
  Record = std::move(record);
  ShowProgram();
  if (loadText) LoadText(ProgramPath());
  return true;
}

void TChildFrame::ReleaseProgram() {
  Table.reset();  // closing the file lets the row lock go
  Record.reset();
}

void TChildFrame::ShowProgram() {
  SetCaption(Record->DESC);
  MachId = Record->MID;
  Client->SetReadOnly(Record->MAZAK != 0);
  Texts = TPluginTexts{};
  Texts.Long1 = Record->LONG1;
  Texts.Desc = Record->DESC;
  Texts.Char3 = Record->CHAR3;
  Texts.Part = Record->PART;
  Texts.Draw = Record->DRAW;
  Texts.Machine = Record->MACHINE;
  if (Record->CUST != 0) {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    Texts.Customer = OwnedText(customers.GetName(Record->CUST));
    if (Record->PROJECT != 0) {
      TcbProTable projects("KELVPRO.DBF", 0, 0);
      Texts.Project = OwnedText(projects.GetName(Record->PROJECT));
    }
  }
}

void TChildFrame::FillCombos() {
  if (!CycleCombo || !MacroCombo || MachId == 0) return;
  {
    TcbMacroTable macros("KELVMACR.DBF", 0, 0);
    TControlLines<TComboBox> lines(*MacroCombo);
    macros.FillList(MachId, &lines);
    if (MacroCombo->GetCount() > 0) MacroCombo->SetSelIndex(0);
  }
  // Cycles are filed under the machine's type.
  long type = 0;
  {
    TcbMachTable machines("KELVMA.DBF", 0, 0);
    std::unique_ptr<TcbMachRecord> m(machines.FindById(MachId));
    machines.Close();
    if (m) type = m->TYPE;
  }
  TcbCycleTable cycles("KELVCYC3.DBF", 0, 0);
  TControlLines<TComboBox> lines(*CycleCombo);
  CycleCombo->ClearList();
  cycles.FillList(type, &lines);
  if (CycleCombo->GetCount() > 0) CycleCombo->SetSelIndex(0);
}

bool TChildFrame::CanClose() {
  if (IsModified()) {
    int answer = Box(this, kMsgSaveFirst, MB_YESNOCANCEL | MB_ICONQUESTION);
    SetFocus();
    if (answer == IDCANCEL) return false;
    if (answer == IDYES && (!Save() || IsModified())) return false;
  }
  Client->SaveFont();
  ReleaseProgram();
  if (Slot && *Slot == this) *Slot = nullptr;
  Slot = nullptr;
  if (TWindow* parent = GetParentO()) parent->SetFocus();
  // In screen pixels, as the placement file keeps it; a minimised or
  // maximised window leaves the place it is restored to.
  TRect r = GetNormalRect();
  EditLeft = r.left;
  EditTop = r.top;
  EditRight = r.right;
  EditBottom = r.bottom;
  if (Globals->StartFileGiven && Globals->MainWnd) ::PostMessage(Globals->MainWnd, WM_CLOSE, 0, 0);
  return true;
}

TRect TChildFrame::StoredPlace() const {
  // The placement is kept in screen pixels; the window stands in the
  // client of the main window, which has its own origin.
  return plat::cascade_in_client(*this, plat::screen_to_parent(*this, TRect(EditLeft, EditTop, EditRight, EditBottom)));
}

void TChildFrame::EvSize(UINT sizeType, const TSize& size) {
  TDecoratedFrame::EvSize(sizeType, size);
  // A maximised editor leaves the main window's bars uncovered. Inside the
  // main window the window layer keeps a maximised child over the client,
  // which lies between the bars already: placing it here as well would
  // make the two place it in turn without end.
  if (sizeType != SIZE_MAXIMIZED || !Globals->MainFrame || GetMDIFrame()) return;
  TWindow* main = Globals->MainFrame;
  TRect r = main->GetClientRect();
  r.top += 44;
  r.bottom -= 25;
  SetWindowPos(nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER);
}

bool TChildFrame::IsModified() { return (Client->SendMessage(LEM_GETSTATE, 2) & 0xFFFF) != 0; }

void TChildFrame::SetModified(bool on) {
  if (on) Client->SendMessage(LEM_SETSTATE, 2, 0);
  else Client->SendMessage(LEM_SETSTATE, 0, 2);
}

std::string TChildFrame::TempPath(const char* stem, const char* ext) const {
  char name[64];
  std::snprintf(name, sizeof name, "%s%d.%s", stem, FrameNo, ext);
  return Globals->TempDir + name;
}

std::string TChildFrame::ProgramPath() const {
  if (!Record) return {};
  return Record->FilePath();
}
