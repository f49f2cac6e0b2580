// A decorated frame on a real (virtual) display: its menu bar follows the
// model's bar, menu picks and keys reach the commands through the model's
// enablers and accelerators, tool-bar buttons and hints work with the
// pointer, and the bars' recorded painting shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/application.h"
#include "platform/ui/frame_decorated.h"
#include "platform/ui/gadget_window.h"
#include "platform/ui/mdi.h"
#include "platform/ui/menu.h"
#include "tests/render/render_support.h"

namespace {

class TSampleFrame : public TDecoratedFrame {
 public:
  TSampleFrame() : TDecoratedFrame(nullptr, "Sample frame", new TWindow(static_cast<TWindow*>(nullptr)), true) {
    TMenuDescr bar(CreateMenu(), 0, 0, 0, 0, 0, 0);
    bar.AppendPopup(TMenuDescr::FileGroup, LoadMenu(nullptr, 800), "&File");
    bar.AppendPopup(TMenuDescr::HelpGroup, LoadMenu(nullptr, 801), "&Help");
    SetMenuDescr(bar);
    SetAcceleratorTable(800);
    Tools = new TControlBar(nullptr);
    Tools->Insert(*new TButtonGadget(1, 901));
    Tools->Insert(*new TSeparatorGadget(6));
    Tools->Insert(*new TButtonGadget(2, 902));
    Tools->SetHintMode(TGadgetWindow::EnterHints);
    Insert(*Tools, Top);
    Status = new TStatusBar(nullptr, TGadget::Recessed, TStatusBar::CapsLock | TStatusBar::Overtype);
    Insert(*Status, Bottom);
    SetHint(902, "Open a stored program");
    Attr.Style = WS_OVERLAPPEDWINDOW;
    Attr.X = 40;
    Attr.Y = 30;
    Attr.W = 640;
    Attr.H = 420;
  }
  void CmNew() { Commands.push_back("new"); }
  void CmOpen() { Commands.push_back("open"); }
  void CeNew(TCommandEnabler& ce) { ce.Enable(MayCreate); }
  bool MayCreate = false;
  std::vector<std::string> Commands;
  TControlBar* Tools;
  TStatusBar* Status;
  DECLARE_RESPONSE_TABLE(TSampleFrame);
};

DEFINE_RESPONSE_TABLE1(TSampleFrame, TDecoratedFrame)
  EV_COMMAND(901, CmNew),
  EV_COMMAND(902, CmOpen),
  EV_COMMAND_ENABLE(901, CeNew),
END_RESPONSE_TABLE;

// The script runs at the first idle time (after the bars asked the
// enablers), inside the program's own loop.
class TFrameApp : public TApplication {
 public:
  explicit TFrameApp(std::function<void(TSampleFrame&)> script) : Script(std::move(script)) {}
  void InitMainWindow() override { SetMainWindow(Frame = new TSampleFrame); }
  bool IdleAction(long idleCount) override {
    bool more = TApplication::IdleAction(idleCount);
    if (!Done) {
      Done = true;
      Script(*Frame);
      Frame->PostMessage(WM_CLOSE);
    }
    return more;
  }
  std::function<void(TSampleFrame&)> Script;
  TSampleFrame* Frame = nullptr;
  bool Done = false;
};

TEST_F(DesktopTest, FrameMenusKeysAndBars) {
  TFrameApp app([](TSampleFrame& f) {
    HWND h = f.GetHandle();
    desk::run_for(300ms);

    // The bar as the model has it, and changes to it.
    EXPECT_EQ(desk::menu_titles(h), (std::vector<std::string>{"&File", "&Help"}));
    EXPECT_EQ(desk::menu_item_text(h, 902), "&Open    F2");
    ModifyMenu(f.GetMenu(), 902, MF_BYCOMMAND | MF_STRING, 902, "&Open program\tF2");
    desk::run_for(200ms);
    EXPECT_EQ(desk::menu_item_text(h, 902), "&Open program    F2");

    // A pick runs the enablers first: "New" is grey until allowed.
    ASSERT_TRUE(desk::choose_menu(h, 901));
    EXPECT_FALSE(desk::menu_item_enabled(h, 901));
    f.MayCreate = true;
    ASSERT_TRUE(desk::choose_menu(h, 901));
    EXPECT_TRUE(desk::menu_item_enabled(h, 901));
    EXPECT_EQ(f.Commands, (std::vector<std::string>{"new"}));

    // A key of the accelerator table.
    desk::press_function_key(2);
    ASSERT_TRUE(desk::run_until([&] { return f.Commands.size() == 2; }, 3s));
    EXPECT_EQ(f.Commands.back(), "open");

    // The pointer over a tool button shows its hint; a click runs it.
    TGadget* open = f.Tools->GadgetWithId(902);
    ASSERT_NE(open, nullptr);
    TRect b = open->GetBounds();
    ASSERT_TRUE(desk::click_at(f.Tools->GetHandle(), (b.left + b.right) / 2, (b.top + b.bottom) / 2));
    ASSERT_TRUE(desk::run_until([&] { return f.Commands.size() == 3; }, 3s));
    EXPECT_EQ(f.Commands.back(), "open");
    EXPECT_EQ(std::string(f.Status->GetText()), "Open a stored program");

    desk::run_for(300ms);
    double spread = rendertest::screenshot("render_frame.png");
    ASSERT_GE(spread, 0) << "no screenshot taken";
    EXPECT_GT(spread, 0.05) << "the screen looks blank";
  });
  EXPECT_EQ(app.Run(), 0);
  EXPECT_TRUE(app.Done);
}

}  // namespace

namespace {

class TChild : public TDecoratedFrame {
 public:
  TChild(TWindow* client, const char* title, int x)
      : TDecoratedFrame(client, title, new TWindow(static_cast<TWindow*>(nullptr))) {
    TMenuDescr descr(CreateMenu(), 0, 0, 0, 0, 0, 0);
    descr.AppendPopup(TMenuDescr::FileGroup, LoadMenu(nullptr, 810), "&File");
    descr.AppendPopup(TMenuDescr::EditGroup, LoadMenu(nullptr, 811), "&Edit");
    SetMenuDescr(descr);
    Insert(*new TStatusBar(nullptr, TGadget::Recessed), Bottom);
    Attr.X = x;
    Attr.Y = 10;
    Attr.W = 300;
    Attr.H = 200;
  }
};

class TMain : public TDecoratedMDIFrame {
 public:
  TMain() : TDecoratedMDIFrame("Main", 0, *new TMDIClient) {
    TMenuDescr bar(CreateMenu(), 0, 0, 0, 0, 0, 0);
    bar.AppendPopup(TMenuDescr::FileGroup, LoadMenu(nullptr, 800), "&File");
    bar.AppendPopup(TMenuDescr::HelpGroup, LoadMenu(nullptr, 801), "&Help");
    SetMenuDescr(bar);
    Attr.Style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    Attr.W = 700;
    Attr.H = 480;
  }
};

// MDI children show inside the frame's client; the one the user clicks
// becomes active, and the bar shows its menus merged with the frame's.
TEST_F(DesktopTest, MdiChildrenAndMergedMenus) {
  TMain main;
  ASSERT_TRUE(main.Create());
  auto* a = new TChild(main.GetClientWindow(), "P17.NC", 10);
  auto* b = new TChild(main.GetClientWindow(), "P20.NC", 330);
  ASSERT_TRUE(a->Create());
  ASSERT_TRUE(b->Create());
  desk::run_for(300ms);
  HWND h = main.GetHandle();
  EXPECT_EQ(main.GetActiveMDIChild(), b);
  EXPECT_EQ(desk::menu_titles(h), (std::vector<std::string>{"&File", "&Edit", "&Help"}));
  EXPECT_NE(desk::menu_item_text(h, 103), "");  // the child's File menu stands in the frame's
  EXPECT_EQ(desk::menu_item_text(h, 901), "");

  ASSERT_TRUE(desk::click(a->GetClientWindow()->GetHandle()));
  ASSERT_TRUE(desk::run_until([&] { return main.GetActiveMDIChild() == a; }, 3s));
  desk::run_for(200ms);
  EXPECT_EQ(desk::menu_titles(h), (std::vector<std::string>{"&File", "&Edit", "&Help"}));
  rendertest::screenshot("render_mdi.png");

  // A child that goes takes its menus with it.
  a->CloseWindow();
  b->CloseWindow();
  desk::run_for(300ms);
  EXPECT_EQ(desk::menu_titles(h), (std::vector<std::string>{"&File", "&Help"}));
  EXPECT_NE(desk::menu_item_text(h, 901), "");
  main.Destroy();
  desk::run_for(100ms);
}

}  // namespace
