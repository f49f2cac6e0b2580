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
  void CmDatabaseLost();
  void CmHideAll();
  void CmShowAll();
  void CmAbout();

  // The editor windows, filled and cleared by the editor children.
  TChildFrame* Children[kChildSlots] = {nullptr, nullptr, nullptr, nullptr};

 protected:
  DECLARE_RESPONSE_TABLE(TMainFrame);

 private:
  void RunStartup();
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
