// Application object, main frame and MDI client.
#include "app/main_frame.h"

#include <string>

#include "app/logon.h"
#include "app/menu_popup.h"
#include "app/net_connect.h"
#include "app/plugin_calls.h"
#include "app/profile_dialog.h"
#include "app/startup_dialogs.h"
#include "app/status_dlg.h"
#include "app/threads.h"
#include "app/ui_texts.h"
#include "app/users_dialogs.h"
#include "appcore/display_flags.h"
#include "appcore/globals.h"
#include "dbmodel/dncport.h"
#include "dbmodel/engine_context.h"
#include "dbmodel/idname.h"
#include "platform/ui/app_state.h"
#include "platform/ui/button.h"
#include "platform/ui/dc.h"
#include "platform/ui/menu.h"
#include "resources/dialogs/main.h"
#include "resources/menus/main.h"

const char* const kVersionText = "v3.56 (Build 2)";

StartupDialogRunner RunLogonDialog = [](TWindow* parent) { return TLogon(parent).Execute(); };
StartupDialogRunner RunProfileDialog = [](TWindow* parent) { return TSelectDb(parent).Execute(); };

TControlBar* TheApp::ToolBar = nullptr;

namespace {

constexpr int kAboutDialog = IDD_ABOUT;

// A popup title from MENUES; none leaves the popup without a title.
const char* Title(int id) {
  const char* t = MenuText(id);
  return t ? t : "";
}

// An optional item that stands in the menu only when MENUES names it.
void AppendIfNamed(HMENU popup, int id, bool separatorFirst) {
  const char* text = MenuText(id);
  if (!text) return;
  if (separatorFirst) AppendMenu(popup, MF_SEPARATOR, 0, nullptr);
  AppendMenu(popup, MF_STRING, static_cast<uintptr_t>(id), text);
}

long CountMachineTypes() {
  TcbMatyTable t("KELVMT.DBF", 0, 0);
  long n = t.Open() ? data_reccount(t.Data()) : 0;
  t.Close();
  return n;
}

}  // namespace

// ---- application object -------------------------------------------------------

HMENU TheApp::BuildMenuBar() {
  TMenuDescr bar(CreateMenu(), 0, 0, 0, 0, 0, 0);
  if (!Globals->DncStationMode) {
    bar.AppendPopup(TMenuDescr::FileGroup, LoadPopup(kMenuFile), Title(1));
    HMENU restore = LoadPopup(kMenuRestore);
    AppendIfNamed(restore, kCmFailedImports, true);
    bar.AppendPopup(TMenuDescr::FileGroup, restore, Title(8));
    // The job-file command belongs to the Jobs work, not to the File menu.
    bar.DeleteMenu(kCmCreateJobFile, MF_BYCOMMAND);
    HMENU master = LoadPopup(kMenuMasterData);
    AppendIfNamed(master, kCmNameFilesByProgramId, false);
    bar.AppendPopup(TMenuDescr::FileGroup, master, Title(4));
    HMENU extras = LoadPopup(kMenuExtras);
    AppendMenu(extras, MF_SEPARATOR, 0, nullptr);
    AppendMenu(extras, MF_POPUP, reinterpret_cast<uintptr_t>(LoadPopup(kMenuExportPrograms)), Title(9));
    AppendMenu(extras, MF_POPUP, reinterpret_cast<uintptr_t>(LoadPopup(kMenuPrintListings)), Title(10));
    AppendMenu(extras, MF_POPUP, reinterpret_cast<uintptr_t>(LoadPopup(kMenuListFiles)), Title(11));
    AppendIfNamed(extras, kCmAutoImportDefs, true);
    bar.AppendPopup(TMenuDescr::FileGroup, extras, Title(7));
    if (Globals->FrameHookCount > 0) {
      HMENU hooks = LoadPopup(kMenuFrameHooks);
      for (int i = 0; i < Globals->FrameHookCount && i < static_cast<int>(Globals->FrameHooks.size()); ++i)
        if (const TSystemHook* h = Globals->FrameHooks[i].get())
          AppendMenu(hooks, MF_STRING, static_cast<uintptr_t>(h->CommandId), h->Entry.c_str());
      bar.AppendPopup(TMenuDescr::FileGroup, hooks, "&C-Hooks");
    }
    bar.AppendPopup(TMenuDescr::FileGroup, LoadPopup(kMenuJobs), "&Jobs (DNC)");
    if (Globals->DebugMode && !Globals->EnableMassImport)
      bar.AppendPopup(TMenuDescr::FileGroup, LoadPopup(kMenuSpecialImport), "Special &Import");
    if (Globals->DebugMode) bar.AppendPopup(TMenuDescr::FileGroup, LoadPopup(kMenuSpecialOptions), "Special &Options");
    bar.AppendPopup(TMenuDescr::FileGroup, LoadPopup(kMenuLog), "&Log");
  }
  HMENU help = LoadPopup(kMenuHelp);
  if (const char* about = MenuText(3000))
    ModifyMenu(help, kCmAbout, MF_BYCOMMAND | MF_STRING, kCmAbout, about);
  bar.AppendPopup(TMenuDescr::HelpGroup, help, Title(3001));
  return bar.Release();
}

void TheApp::InitMainWindow() {
  const int flags = Globals->DisplayFlags;
  const bool station = Globals->DncStationMode != 0;
  if ((flags & kDisplayMaximized) && nCmdShow != SW_SHOWMINNOACTIVE) nCmdShow = SW_SHOWMAXIMIZED;

  auto* client = new TMainClient;
  if (Globals->DebugMode && !station) {
    static const char* const kTexts[] = {"Loader", "Net DB", "3", "4", "5", "6"};
    for (int i = 0; i < 6; ++i)
      new TButton(client, TMainClient::kDebugButtons + i, kTexts[i], 10, 10 + 24 * i, 100, 20);
  }

  TMainFrame* frame = NewFrame("Kelvane V3.56", client);
  TMenuDescr descr(BuildMenuBar(), 0, 0, 0, 0, 0, 0);
  descr.SetGroupCount(TMenuDescr::FileGroup, GetMenuItemCount(descr) - 1);
  descr.SetGroupCount(TMenuDescr::HelpGroup, 1);
  frame->SetMenuDescr(descr);

  if (flags & kDisplayStatusBar) {
    auto* status = new TStatusBar(nullptr, TGadget::Recessed,
                                  TStatusBar::CapsLock | TStatusBar::NumLock | TStatusBar::ScrollLock |
                                      TStatusBar::Overtype);
    frame->Insert(*status, TDecoratedFrame::Bottom);
  }
  ToolBar = nullptr;
  if (flags & kDisplayToolBar) {
    auto* bar = new TControlBar(nullptr);
    TMargins m;
    m.Units = TMargins::LayoutUnits;
    m.Left = m.Right = 3;
    m.Top = m.Bottom = 4;
    bar->SetMargins(m);
    if (station) {
      bar->Insert(*new TButtonGadget(kCmMultiDncSetup, kCmMultiDncSetup));
      bar->Insert(*new TSeparatorGadget(8));
      bar->Insert(*new TButtonGadget(kCmDncStart, kCmDncStart));
    } else {
      bar->Insert(*new TButtonGadget(1, kCmFileNew));
      bar->Insert(*new TSeparatorGadget(6));
      bar->Insert(*new TButtonGadget(2, kCmFileOpen));
      bar->Insert(*new TSeparatorGadget(8));
      bar->Insert(*new TButtonGadget(kCmBackups, kCmBackups));
      bar->Insert(*new TSeparatorGadget(8));
      bar->Insert(*new TButtonGadget(kCmDncConfigure, kCmDncConfigure));
      bar->Insert(*new TSeparatorGadget(8));
      bar->Insert(*new TButtonGadget(kCmConnectDatabase, kCmConnectDatabase));
    }
    bar->SetHintMode((flags & kDisplayMenuHints) ? TGadgetWindow::EnterHints : TGadgetWindow::NoHints);
    frame->Insert(*bar, TDecoratedFrame::Top);
    ToolBar = bar;
  }

  DbContext->auto_open = 1;
  DbContext->exclusive = 0;
  DbContext->safety = 1;
  // A create that meets an existing file is the normal case (safety on):
  // no box for it. A table that is really missing afterwards is reported
  // by the database creation itself.
  DbContext->report_create_errors = 0;
  DbContext->lock_attempts = 2;
  SetMainWindow(frame);
}

// ---- main frame ---------------------------------------------------------------

// The commands of the editor, storage, DNC and master-data windows are
// registered by their layers (frame_commands.h); the enablers below cover
// them too.
DEFINE_RESPONSE_TABLE1(TMainFrame, TCommandHostFrame)
  EV_GATED_COMMAND(kCmExit, CmExit),
  EV_GATED_COMMAND(kCmConnectDatabase, CmConnectDatabase),
  EV_GATED_COMMAND(kCmConnectNetworkDrive, CmConnectNetworkDrive),
  EV_GATED_COMMAND(kCmConnectNetworkPrinter, CmConnectNetworkPrinter),
  EV_GATED_COMMAND(kCmRunCHook, CmRunCHook),
  EV_GATED_COMMAND(kCmDncConfigure, CmDncConfigure),
  EV_GATED_COMMAND(kCmUsers, CmUsers),
  EV_GATED_COMMAND(kCmJobs7201, CmJobs7201),
  EV_GATED_COMMAND(kCmMain9001, Cm9001),
  EV_GATED_COMMAND(kCmDatabaseLost, CmDatabaseLost),
  EV_GATED_COMMAND(kCmHideAll, CmHideAll),
  EV_GATED_COMMAND(kCmShowAll, CmShowAll),
  EV_GATED_COMMAND(kCmAbout, CmAbout),
  EV_COMMAND_ENABLE(kCmFileNew, CeFileNew),
  EV_COMMAND_ENABLE(kCmFileImport, CeFileNew),
  EV_COMMAND_ENABLE(kCmBackups, CeBackups),
  EV_COMMAND_ENABLE(kCmFailedDncTransfers, CeFailedDncTransfers),
  EV_COMMAND_ENABLE(kCmNewDncTransfers, CeNewDncTransfers),
  EV_COMMAND_ENABLE(kCmRunCHook, CeRunCHook),
  EV_COMMAND_ENABLE(kCmMain405, Ce405),
  EV_COMMAND_ENABLE(kCmMultiDncSetup, CeMultiDncSetup),
  EV_COMMAND_ENABLE(kCmDncStart, CeDncStart),
  EV_COMMAND_ENABLE(kCmCustomers, CeCustomers),
  EV_COMMAND_ENABLE(kCmProjects, CeProjects),
  EV_COMMAND_ENABLE(kCmMachineTypes, CeMachineTypes),
  EV_COMMAND_ENABLE(kCmMachines, CeMachines),
  EV_COMMAND_ENABLE(kCmMachineCycles, CeMachineCycles),
  EV_COMMAND_ENABLE(kCmUsers, CeUsers),
  EV_COMMAND_ENABLE(kCmMacros, CeMacros),
  EV_COMMAND_ENABLE(kCmPack, CePack),
  EV_COMMAND_ENABLE(kCmReindex, CeReindex),
  EV_COMMAND_ENABLE(kCmAutoImportDefs, CeAutoImportDefs),
  EV_COMMAND_ENABLE(kCmFailedImports, CeFailedImports),
  EV_COMMAND_ENABLE(kCmMain1212, Ce1212),
  EV_COMMAND_ENABLE(kCmCreateJobFile, CeCreateJobFile),
  EV_COMMAND_ENABLE(kCmExportProgramsForCustomer, CeExportPrograms),
  EV_COMMAND_ENABLE(kCmExportProgramsForProject, CeExportPrograms),
  EV_COMMAND_ENABLE(kCmExportProgramsForMachine, CeExportPrograms),
  EV_COMMAND_ENABLE(kCmPrintProgramsForCustomer, CePrintListings),
  EV_COMMAND_ENABLE(kCmPrintProgramsForProject, CePrintListings),
  EV_COMMAND_ENABLE(kCmPrintProgramsForMachine, CePrintListings),
  EV_COMMAND_ENABLE(kCmListProgramsForCustomer, CeListFiles),
  EV_COMMAND_ENABLE(kCmListProgramsForProject, CeListFiles),
  EV_COMMAND_ENABLE(kCmListProgramsForMachine, CeListFiles),
  EV_COMMAND_ENABLE(kCmAbout, CeAbout),
  EV_COMMAND_ENABLE(kCmViewSystemLog, CeViewSystemLog),
  EV_COMMAND_ENABLE(kCmLogBaseTypes, CeLogBaseTypes),
  EV_COMMAND_ENABLE(kCmLogChangeCriteria, CeLogChangeCriteria),
END_RESPONSE_TABLE;

TMainFrame::TMainFrame(const char* title, TWindow* client)
    : TCommandHostFrame(nullptr, title, client, (Globals->DisplayFlags & kDisplayMenuHints) != 0) {
  Attr.Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  Attr.ExStyle = WS_EX_CLIENTEDGE | ((Globals->DisplayFlags & kDisplayOnTop) ? WS_EX_TOPMOST : 0);
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  Attr.X = sw / 20;
  Attr.Y = sh / 20;
  Attr.W = sw - 2 * Attr.X;
  Attr.H = sh - 2 * Attr.Y;
  // Hints of the menu items and buttons come from MENUHINT.
  for (int id = 0; id < TGlobals::kMenuTableSize; ++id)
    if (Globals->MenuHints->Has(id)) SetHint(static_cast<UINT>(id), Globals->MenuHints->Get(id));
}

TMainFrame::~TMainFrame() {
  if (Globals && Globals->MainFrame == this) {
    Globals->MainFrame = nullptr;
    Globals->MainWnd = nullptr;
  }
  TheApp::ToolBar = nullptr;
}

void TMainFrame::SetupWindow() {
  TDecoratedFrame::SetupWindow();
  Globals->MainFrame = this;
  Globals->MainWnd = GetHandle();
  const bool station = Globals->DncStationMode != 0;
  SetCaption((std::string(station ? "TRAMOX " : "KELVANE ") + kVersionText).c_str());
  if (station) {
    TMultiDncTable ports("KELVMD32.DBF", 1, 0);
    ports.Upgrade();
  }
  // Once per process: the threads run until the program ends, whatever
  // database the station connects to later.
  if (Globals->AutoImportEdit) StartAutoImports();
}

bool TMainFrame::IdleAction(long idleCount) {
  if (!Globals->StartupDone) RunStartup();
  return TDecoratedFrame::IdleAction(idleCount);
}

void TMainFrame::RunStartup() {
  // First, so that the dialogs below, which idle in their own loops, do
  // not start the sequence again.
  Globals->StartupDone = 1;
  if (!Globals->NetLogon) {
    if (RunLogonDialog && RunLogonDialog(this) != IDOK) {
      PostMessage(WM_CLOSE);
      return;
    }
  } else {
    Globals->NetLogonMode = Globals->DncStationMode ? 0 : 1;
  }
  if (RunProfileDialog) RunProfileDialog(this);
  if (!Globals->CheckDirectories()) {
    std::string text = std::string("The following systempath is invalid...\r\n\r\nPath : ") + Globals->StartFile.c_str();
    ::MessageBox(GetFocus(), text.c_str(), "System error", MB_OK | MB_ICONSTOP);
    PostMessage(WM_CLOSE);
    return;
  }
  Globals->CheckDatabaseFiles();
  if (!Globals->RebuildDatabase()) {
    MessageBox(Globals->GetMessageText(kMsgDatabaseFailed).c_str(), Globals->CaptionText.c_str(),
               MB_OK | MB_ICONINFORMATION);
    PostMessage(WM_CLOSE);
    return;
  }
  if (Globals->NetLogon && RunLogonDialog && RunLogonDialog(this) != IDOK) {
    PostMessage(WM_CLOSE);
    return;
  }
  if (Globals->DncStationMode) {
    if (Globals->AutoTramox) PostMessage(WM_COMMAND, kCmDncStart);
    return;
  }
  if (Globals->AutoNotifyDnc) StartTransferWatchers();
  if (CountMachineTypes() == 0) PostMessage(WM_COMMAND, kCmMachines);
}

void TMainFrame::CmExit() {
  std::string text = LanguageText(Globals->MessageTexts, kMsgReallyExit, "Do you really want to end the program?");
  if (::MessageBox(GetFocus(), text.c_str(), Globals->CaptionText.c_str(), MB_YESNO | MB_ICONQUESTION) != IDNO)
    PostMessage(WM_CLOSE);
}

bool TMainFrame::OpensEditor(UINT id) {
  switch (id) {
    case kCmFileNew: case kCmFileOpen: case kCmFileImport: case kCmOpenEditorWindow: case kCmOpenEditor:
    case kCmOpenNamedProgram:
      return true;
    default: return false;
  }
}

int TMainFrame::FreeChildSlot() const {
  for (int i = 0; i < kChildSlots; ++i)
    if (!Children[i]) return i;
  return -1;
}

bool TMainFrame::MayRunCommand(UINT id) {
  if (!TCommandHostFrame::MayRunCommand(id)) return false;
  // With four editors open a command that opens one does nothing at all.
  return !OpensEditor(id) || FreeChildSlot() >= 0;
}

void TMainFrame::CmUsers() {
  TUserManagement dlg(this);
  dlg.Execute();
}

void TMainFrame::CmConnectDatabase() {
  Globals->DefUser.Clear();
  Globals->DefPassword.Clear();
  Globals->StartupDone = 0;
}

void TMainFrame::CmDatabaseLost() {
  std::string format = LanguageText(Globals->MessageTexts, kMsgDatabaseLost,
                                    "The database path %s can no longer be reached.\r\n"
                                    "Save your work elsewhere and restart the program once the path is back.");
  std::string text = FormatWithText(format, Globals->CheckPath.c_str());
  MessageBox(text.c_str(), Globals->ErrorCaptionText.c_str(), MB_OK | MB_ICONSTOP);
}

// The system's connection dialogs; what they did is not looked at here.
void TMainFrame::CmConnectNetworkDrive() { TConnectDriveDialog(this).Execute(); }

void TMainFrame::CmConnectNetworkPrinter() { TConnectPrinterDialog(this).Execute(); }

void TMainFrame::CmHideAll() {
  ShowWindow(SW_HIDE);
  for (TFrameWindow* child : GetMDIChildren()) child->ShowWindow(SW_HIDE);
}

void TMainFrame::CmShowAll() {
  for (TFrameWindow* child : GetMDIChildren()) child->ShowWindow(SW_SHOW);
  if (!Globals->DncStationMode) ShowWindow(SW_SHOW);
}

void TMainFrame::CmAbout() {
  TDialog about(this, kAboutDialog);
  about.Execute();
}

// ---- MDI client ---------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TMainClient, TMDIClient)
  EV_WM_SIZE,
  EV_COMMAND(kCmShowClientList, Cm25500),
  EV_COMMAND(kDebugButtons, CmLoadFile),
  EV_COMMAND(kDebugButtons + 1, CmNothing),
  EV_COMMAND(kDebugButtons + 2, CmNothing),
  EV_COMMAND(kDebugButtons + 3, CmNothing),
  EV_COMMAND(kDebugButtons + 4, CmNothing),
  EV_COMMAND(kDebugButtons + 5, CmNothing),
END_RESPONSE_TABLE;

TMainClient::TMainClient() = default;

TMainClient::~TMainClient() {
  if (Globals && List && Globals->LoaderListBox == List) Globals->LoaderListBox = nullptr;
}

void TMainClient::SetupWindow() {
  TMDIClient::SetupWindow();
  if (List) List->SendMessage(LB_SETHORIZONTALEXTENT, 1000);
}

void TMainClient::EvSize(UINT sizeType, const TSize& size) {
  TMDIClient::EvSize(sizeType, size);
  // The texts are centred: the whole area follows the size.
  Invalidate(true);
}

void TMainClient::Paint(TDC& dc, bool, TRect&) {
  const TRect r = GetClientRect();
  const int w = r.Width(), h = r.Height();
  const bool station = Globals->DncStationMode != 0;
  dc.FillRect(r, TBrush(RGB(0x5A, 0x6E, 0x82)));
  dc.SetBkMode(TRANSPARENT);
  TFont small("TIMES ROMAN", 24, 0, 0, 0, FW_BOLD);
  TFont large("TIMES ROMAN", 72, 0, 0, 0, FW_BOLD);
  const UINT centred = DT_CENTER | DT_SINGLELINE | DT_NOCLIP;
  auto twice = [&](const std::string& text, TRect rc, UINT format, COLORREF top, int shift) {
    dc.SetTextColor(RGB(0, 0, 0));
    dc.DrawText(text.c_str(), -1, rc, format);
    TRect up(rc.left - shift, rc.top - shift, rc.right - shift, rc.bottom - shift);
    dc.SetTextColor(top);
    dc.DrawText(text.c_str(), -1, up, format);
  };
  HGDIOBJ old = dc.SelectObject(small);
  twice(LanguageText(Globals->MessageTexts, kMsgClientNotice, "CNC programming workstation"),
        TRect(0, h - 30, w, h - 2), centred | DT_VCENTER, RGB(255, 255, 255), 2);
  dc.SelectObject(large);
  twice(station ? "VELDA TRAMOX" : "VELDA KELVANE", TRect(r.left + 10, 100, r.right, 280), centred,
        RGB(0, 255, 0), 3);
  dc.SelectObject(small);
  twice(kVersionText, TRect(r.left + 10, 180, r.right, 230), centred, RGB(255, 255, 0), 1);
  dc.SelectObject(old);
  dc.SetBkMode(OPAQUE);

  if (station || !ShowLogo) return;
  if (Globals->LogoBitmap.empty()) {
    ShowLogo = 0;
    return;
  }
  if (!Logo) {
    Logo = std::make_unique<TDib>(Globals->LogoBitmap.c_str());
    if (!Logo->IsOK()) {
      // Given up for the rest of the run: no new attempt on every paint.
      Logo.reset();
      ShowLogo = 0;
      return;
    }
  }
  const int bw = Logo->Width(), bh = Logo->Height();
  const int x = (w - bw) / 2, y = h - bh - 40;
  dc.StretchDIBits(TRect(x, y, x + bw, y + bh), TRect(0, 0, bw, bh), *Logo, SRCCOPY);
}

void TMainClient::Cm25500() {
  if (List) return;
  List = new TListBox(this, kLoaderList, 0, 0, 300, 500);
  List->Attr.Style &= ~static_cast<UINT>(LBS_SORT);
  List->Create();
  List->ShowWindow(SW_SHOW);
  List->SendMessage(LB_SETHORIZONTALEXTENT, 1000);
  Globals->LoaderListBox = List;
}

void TMainClient::CmLoadFile() { RunFileLoader(this); }
