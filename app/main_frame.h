// The application object, the main MDI frame with its menus, tool bar and
// status bar, and the MDI client with its painted background. The frame
// runs the rest of the start-up on its first idle call.
#pragma once

#include <memory>

#include "app/frame_commands.h"
#include "platform/ui/application.h"
#include "platform/ui/frame_decorated.h"
#include "platform/ui/gadget_window.h"
#include "platform/ui/gdi_bmp.h"
#include "platform/ui/listbox.h"
#include "platform/ui/mdi.h"

class TChildFrame;

// The product's version line, shown in the caption and on the client.
extern const char* const kVersionText;

class TMainClient : public TMDIClient {
 public:
  // The client's own controls: the loader list and, on a debug station,
  // six buttons in a column from kDebugButtons on.
  static constexpr int kLoaderList = 100;
  static constexpr int kDebugButtons = 7900;

  TMainClient();
  ~TMainClient() override;

  void SetupWindow() override;
  void Paint(TDC& dc, bool erase, TRect& rect) override;
  void EvSize(UINT sizeType, const TSize& size) override;

  void Cm25500();
  void CmLoadFile();
  void CmNothing() {}

  bool LogoShown() const { return ShowLogo != 0; }

 protected:
  DECLARE_RESPONSE_TABLE(TMainClient);

 private:
  std::unique_ptr<TDib> Logo;
  int ShowLogo = 1;
  TListBox* List = nullptr;
};

class TMainFrame : public TCommandHostFrame {
 public:
  static constexpr int kChildSlots = 4;

  TMainFrame(const char* title, TWindow* client);
  ~TMainFrame() override;

  void SetupWindow() override;
  bool IdleAction(long idleCount) override;

  void CmExit();
  void CmConnectDatabase();
  void CmConnectNetworkDrive();
  void CmConnectNetworkPrinter();
  void CmDatabaseLost();
  void CmRunCHook() {}
  // The tool bar's DNC-configure button: nothing to configure here, yet
  // enabled like any command with a handler.
  void CmDncConfigure() {}
  void CmUsers();
  void CmJobs7201() {}
  void Cm9001() {}
  void CmHideAll();
  void CmShowAll();
  void CmAbout();

  // The enablers: a command is enabled when the user's rights allow it
  // and the frame has a handler for it (commands of windows not built are
  // grey whatever the rights).
  void CeFileNew(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeBackups(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeFailedDncTransfers(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeNewDncTransfers(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeRunCHook(TCommandEnabler& ce) { ce.Enable(false); }
  void Ce405(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeMultiDncSetup(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeDncStart(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeCustomers(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeProjects(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeMachineTypes(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeMachines(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeMachineCycles(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeUsers(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeMacros(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CePack(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeReindex(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeAutoImportDefs(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeFailedImports(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void Ce1212(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeCreateJobFile(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeExportPrograms(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CePrintListings(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeListFiles(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeAbout(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeViewSystemLog(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeLogBaseTypes(TCommandEnabler& ce) { EnableIfAllowed(ce); }
  void CeLogChangeCriteria(TCommandEnabler& ce) { EnableIfAllowed(ce); }

  // The rights, and for the commands that open an editor a free slot.
  bool MayRunCommand(UINT id) override;
  // The first free editor slot (0 to 3), or -1 when all four are taken.
  int FreeChildSlot() const;
  // The commands that open an editor window in a free slot.
  static bool OpensEditor(UINT id);

  // The editor windows, filled and cleared by the editor children.
  TChildFrame* Children[kChildSlots] = {nullptr, nullptr, nullptr, nullptr};

 protected:
  DECLARE_RESPONSE_TABLE(TMainFrame);

 private:
  void RunStartup();
  void EnableIfAllowed(TCommandEnabler& ce) { ce.Enable(CommandAllowed(ce.GetId()) && HandlesCommand(ce.GetId())); }
};

class TheApp : public TApplication {
 public:
  TheApp() : TApplication(nullptr) {}
  ~TheApp() override = default;

  void InitMainWindow() override;

  // The tool bar of the main frame while the window lives.
  static TControlBar* ToolBar;

 protected:
  // Builds the frame object; tests put a frame that records commands here.
  virtual TMainFrame* NewFrame(const char* title, TWindow* client) { return new TMainFrame(title, client); }

 private:
  HMENU BuildMenuBar();
};
