// The application object, its queue and loops, handles and response tables.
#include <atomic>
#include <thread>

#include "platform/ui/application.h"
#include "platform/ui/dialog.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/listbox.h"
#include "tests/platform/ui_test_support.h"

namespace {

class TBase : public TWindow {
 public:
  TBase() : TWindow(nullptr, "Frame") { Attr.Style = WS_OVERLAPPEDWINDOW; }
  void CmBase() { Log.push_back("base 101"); }
  void CmShared() { Log.push_back("base 102"); }
  std::vector<std::string> Log;
  DECLARE_RESPONSE_TABLE(TBase);
};

DEFINE_RESPONSE_TABLE1(TBase, TWindow)
  EV_COMMAND(101, CmBase),
  EV_COMMAND(102, CmShared),
END_RESPONSE_TABLE;

class TDerived : public TBase {
 public:
  void CmShared() { Log.push_back("derived 102"); }
  void CmHook(UINT id) { Log.push_back("hook " + std::to_string(id)); }
  void EvListDbl() { Log.push_back("dblclk 100"); }
  LRESULT EvPrivate(WPARAM wp, LPARAM lp) { return static_cast<LRESULT>(wp + lp); }
  void EvSize(UINT type, const TSize& s) override {
    Log.push_back("size " + std::to_string(type) + " " + std::to_string(s.cx) + "x" + std::to_string(s.cy));
  }
  DECLARE_RESPONSE_TABLE(TDerived);
};

DEFINE_RESPONSE_TABLE1(TDerived, TBase)
  EV_COMMAND(102, CmShared),
  EV_COMMAND_AND_ID(8000, CmHook),
  EV_COMMAND_AND_ID(8001, CmHook),
  EV_LBN_DBLCLK(100, EvListDbl),
  EV_MESSAGE(WM_USER + 45, EvPrivate),
  EV_WM_SIZE,
END_RESPONSE_TABLE;

class UiApp : public uitest::UiTest {};

TEST_F(UiApp, ResponseTablesDispatchAndChainToTheBase) {
  TDerived w;
  ASSERT_TRUE(w.Create());
  TListBox* list = new TListBox(&w, 100, 0, 0, 300, 500);
  ASSERT_TRUE(list->Create());
  HWND h = w.GetHandle();
  struct Case {
    WPARAM wp;
    LPARAM lp;
    const char* logged;  // null: nothing handles it
  } cases[] = {
      {101, 0, "base 101"},                              // found in the base table
      {102, 0, "derived 102"},                           // the derived entry wins
      {MAKEWPARAM(101, 1), 0, "base 101"},               // accelerator
      {8001, 0, "hook 8001"},                            // a family of ids
      {MAKEWPARAM(100, LBN_DBLCLK), (LPARAM)list->GetHandle(), "dblclk 100"},
      {MAKEWPARAM(101, LBN_SELCHANGE), (LPARAM)list->GetHandle(), nullptr},  // not a command
      {999, 0, nullptr},
  };
  for (const Case& c : cases) {
    w.Log.clear();
    ::SendMessage(h, WM_COMMAND, c.wp, c.lp);
    if (c.logged) EXPECT_EQ(w.Log, std::vector<std::string>{c.logged}) << c.wp;
    else EXPECT_TRUE(w.Log.empty()) << c.wp;
  }
  EXPECT_EQ(::SendMessage(h, WM_USER + 45, 40, 2), 42);
  w.Log.clear();
  w.SetWindowPos(nullptr, 0, 0, 406, 325, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(w.Log, std::vector<std::string>{"size 0 400x300"});
  w.Destroy();
}

TEST_F(UiApp, DestroyedHandleIsDetectedAndAliasSharesTheState) {
  TWindow w(nullptr, "Main");
  ASSERT_TRUE(w.Create());
  HWND h = w.GetHandle();
  TWindow alias(h);
  alias.SetCaption("Renamed");
  EXPECT_EQ(w.GetText(), "Renamed");
  alias.EnableWindow(false);
  EXPECT_FALSE(w.IsWindowEnabled());
  w.Destroy();
  EXPECT_FALSE(::IsWindow(h));
  EXPECT_FALSE(alias.IsWindow());
  EXPECT_EQ(::SendMessage(h, WM_SETTEXT, 0, (LPARAM) "x"), 0);
  EXPECT_FALSE(::PostMessage(h, WM_COMMAND, 1, 0));
  char buf[8] = "junk";
  EXPECT_EQ(::GetWindowText(h, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(w.GetText(), "Renamed") << "the object keeps its last text";
}

// A frame that runs a modal dialog on its first idle call, as start-up does.
class TStartFrame : public TWindow {
 public:
  TStartFrame() : TWindow(nullptr, "Start") { Attr.Style = WS_OVERLAPPEDWINDOW; }
  bool IdleAction(long idleCount) override {
    Counts.push_back(idleCount);
    if (!StartupDone) {
      StartupDone = true;  // first, so the dialog's own idle calls skip this
      TDialog dlg(this, 903);
      DialogResult = dlg.Execute();
      PostMessage(WM_COMMAND, 101);
    } else if (Commands == 1 && idleCount == 2) {
      PostMessage(WM_CLOSE);
    }
    TWindow::IdleAction(idleCount);
    return idleCount < 2;
  }
  void Cm101() { ++Commands; }
  bool StartupDone = false;
  int DialogResult = 0;
  int Commands = 0;
  std::vector<long> Counts;
  DECLARE_RESPONSE_TABLE(TStartFrame);
};

DEFINE_RESPONSE_TABLE1(TStartFrame, TWindow)
  EV_COMMAND(101, Cm101),
END_RESPONSE_TABLE;

class TTestApp : public TApplication {
 public:
  TTestApp() : TApplication("Test") {}
  void InitMainWindow() override { SetMainWindow(Frame = new TStartFrame); }
  TStartFrame* Frame = nullptr;
};

TEST_F(UiApp, RunCallsIdleWithGrowingCountAndModalLoopsInsideIdle) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(903, [](TDialog& d) { plat::Pilot(d).press_enter(); });
  TTestApp app;
  app.nCmdShow = SW_SHOWMAXIMIZED;
  EXPECT_EQ(app.Run(), 0);
  EXPECT_EQ(app.Frame->DialogResult, IDOK);
  EXPECT_EQ(app.Frame->Commands, 1);
  EXPECT_EQ(app.Frame->GetShowState(), SW_SHOWMAXIMIZED);
  // First idle (0) runs the dialog, whose loop idles from 0 again; the
  // posted command resets the count; the count then grows until WM_CLOSE.
  ASSERT_GE(app.Frame->Counts.size(), 4u);
  EXPECT_EQ(app.Frame->Counts.front(), 0);
  EXPECT_EQ(std::vector<long>(app.Frame->Counts.end() - 3, app.Frame->Counts.end()), (std::vector<long>{0, 1, 2}));
  EXPECT_FALSE(app.Frame->IsWindow());
}

TEST_F(UiApp, PumpWaitingMessagesRunsPostedWorkMidCommand) {
  TTestApp app;
  TStartFrame* frame = new TStartFrame;
  app.SetMainWindow(frame);
  ASSERT_TRUE(frame->Create());
  frame->PostMessage(WM_COMMAND, 101);
  frame->PostMessage(WM_COMMAND, 101);
  EXPECT_EQ(frame->Commands, 0);
  EXPECT_TRUE(app.PumpWaitingMessages());
  EXPECT_EQ(frame->Commands, 2);
  EXPECT_FALSE(app.PumpWaitingMessages());
  frame->Destroy();
  plat::dispatch_all();
  plat::clear_quit();
}

TEST_F(UiApp, MessageSentFromWorkerRunsItsHandlerOnTheUiThread) {
  plat::GTestUiDriver driver;
  TDerived w;
  ASSERT_TRUE(w.Create());
  std::atomic<LRESULT> result{0};
  std::thread worker([&] { result = ::SendMessage(w.GetHandle(), WM_USER + 45, 1, 2); });
  EXPECT_TRUE(driver.wait_and_pump(std::chrono::seconds(5)));
  worker.join();
  EXPECT_EQ(result, 3);
  w.Destroy();
}

}  // namespace
