// The main window: the start-up sequence of the first idle call with and
// without NETLOGON, its failure branches, the menu bar as MENUES and the
// settings make it, the DNC station's window, the tool bar, and the
// client's recorded painting.
#include <functional>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "dbmodel/idname.h"
#include "platform/ui/dc.h"
#include "platform/ui/gdi_bmp.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/menu.h"
#include "resources/menus/editor.h"
#include "resources/menus/main.h"
#include "tests/app/station.h"

namespace {

namespace fs = std::filesystem;
using station::StationTest;

// The real frame, with a record of the commands the start-up posts to it
// (their own windows come with later work) and a script run once the
// start-up is over.
class TRecordingFrame : public TMainFrame {
 public:
  using TMainFrame::TMainFrame;
  bool IdleAction(long idleCount) override {
    bool wasDone = Globals->StartupDone != 0;
    TMainFrame::IdleAction(idleCount);
    if (wasDone && Globals->StartupDone && !ScriptRan) {
      ScriptRan = true;
      if (Script) Script(*this);
      else PostMessage(WM_CLOSE);
    }
    return true;
  }
  void Cm1204() { Posted.push_back(kCmMachines); }
  void Cm25152() { Posted.push_back(kCmDncStart); }
  std::vector<int> Posted;
  std::function<void(TRecordingFrame&)> Script;
  bool ScriptRan = false;
  DECLARE_RESPONSE_TABLE(TRecordingFrame);
};

DEFINE_RESPONSE_TABLE1(TRecordingFrame, TMainFrame)
  EV_COMMAND(kCmMachines, Cm1204),
  EV_COMMAND(kCmDncStart, Cm25152),
END_RESPONSE_TABLE;

class TTestApp : public TheApp {
 public:
  TRecordingFrame* Frame = nullptr;
  std::vector<int> Posted;
  std::function<void(TRecordingFrame&)> Script;

 protected:
  TMainFrame* NewFrame(const char* title, TWindow* client) override {
    Frame = new TRecordingFrame(title, client);
    Frame->Script = [this](TRecordingFrame& f) {
      if (Script) Script(f);
      else f.PostMessage(WM_CLOSE);
    };
    return Frame;
  }
};

class MainWindowTest : public StationTest {
 protected:
  // Runs the application to its end; the commands the frame received.
  std::vector<int> RunApp(std::function<void(TRecordingFrame&)> script = nullptr) {
    TTestApp app;
    app.Script = std::move(script);
    std::vector<int> posted;
    app.Script = [&, inner = app.Script](TRecordingFrame& f) {
      if (inner) inner(f);
      else f.PostMessage(WM_CLOSE);
    };
    app.Run();
    return app.Frame ? app.Frame->Posted : posted;
  }
  void AddMachineType() {
    TcbMatyTable t("KELVMT.DBF", 0, 0);
    t.Create((Globals->DatabaseDir + "KELVMT.DBF").c_str());
    TcbIdAndNameRecord r;
    r.ID = 1;
    std::snprintf(r.NAME, sizeof r.NAME, "Lathe");
    ASSERT_NE(t.Add(&r), nullptr);
  }
};

TEST_F(MainWindowTest, WithoutNetLogonTheLogonComesFirstAndAnEmptyDatabaseAsksForMachines) {
  LoadGlobals();
  RunLogonDialog = station::RunLogonStub;
  RunProfileDialog = station::RunProfileStub;
  plat::GTestUiDriver driver;
  driver.expect_dialog(station::kLogonStub, [](TDialog& d) { plat::Pilot(d).click(IDOK); });
  driver.expect_dialog(station::kProfileStub, [](TDialog& d) {
    // The database is made only after the profile was chosen.
    EXPECT_FALSE(plat::file_exists(Globals->DatabaseDir + "KELVFILE.DBF"));
    plat::Pilot(d).click(IDOK);
  });
  std::vector<int> posted = RunApp();
  EXPECT_EQ(driver.dialogs_shown(), (std::vector<std::string>{"9901 TDialog", "9902 TDialog"}));
  EXPECT_TRUE(plat::file_exists(Globals->DatabaseDir + "KELVFILE.DBF"));
  EXPECT_EQ(Globals->NetLogonMode, 0);
  EXPECT_EQ(posted, std::vector<int>{kCmMachines});
}

TEST_F(MainWindowTest, WithNetLogonTheProfileAndDatabaseComeBeforeTheLogon) {
  WriteConfig(std::string(station::kConfig) + "NETLOGON=1\n");
  LoadGlobals();
  AddMachineType();
  RunLogonDialog = station::RunLogonStub;
  RunProfileDialog = station::RunProfileStub;
  plat::GTestUiDriver driver;
  driver.expect_dialog(station::kProfileStub, [](TDialog& d) { plat::Pilot(d).click(IDOK); });
  driver.expect_dialog(station::kLogonStub, [](TDialog& d) {
    EXPECT_TRUE(plat::file_exists(Globals->DatabaseDir + "KELVFILE.DBF"));
    plat::Pilot(d).click(IDOK);
  });
  std::vector<int> posted = RunApp();
  EXPECT_EQ(driver.dialogs_shown(), (std::vector<std::string>{"9902 TDialog", "9901 TDialog"}));
  EXPECT_EQ(Globals->NetLogonMode, 1);
  EXPECT_TRUE(posted.empty()) << "a database with a machine type opens no machines dialog";
}

TEST_F(MainWindowTest, CancelledLogonEndsTheProgram) {
  for (bool net : {false, true}) {
    SCOPED_TRACE(net ? "NETLOGON" : "logon first");
    WriteConfig(std::string(station::kConfig) + (net ? "NETLOGON=1\n" : ""));
    LoadGlobals();
    RunLogonDialog = station::RunLogonStub;
    RunProfileDialog = station::RunProfileStub;
    plat::GTestUiDriver driver;
    if (net) driver.expect_dialog(station::kProfileStub, [](TDialog& d) { plat::Pilot(d).click(IDOK); });
    driver.expect_dialog(station::kLogonStub, [](TDialog& d) { plat::Pilot(d).click(IDCANCEL); });
    bool scripted = false;
    RunApp([&](TRecordingFrame&) { scripted = true; });
    EXPECT_FALSE(scripted) << "the frame closed during the start-up";
    EXPECT_EQ(plat::file_exists(Globals->DatabaseDir + "KELVFILE.DBF"), net);
    EXPECT_EQ(Globals->StartupDone, 1);
    delete Globals;
    Globals = nullptr;
  }
}

TEST_F(MainWindowTest, WithoutLogonAndProfileDialogsTheStartupGoesOnWithNoRights) {
  LoadGlobals();
  AddMachineType();
  plat::GTestUiDriver driver;
  std::vector<int> posted = RunApp();
  EXPECT_TRUE(driver.dialogs_shown().empty());
  EXPECT_TRUE(plat::file_exists(Globals->DatabaseDir + "LOG00004.DBF"));
  EXPECT_EQ(Globals->RightsMask, 0u);
  EXPECT_TRUE(posted.empty());
}

TEST_F(MainWindowTest, MissingDirectoryAfterTheProfileShowsTheSystemErrorAndCloses) {
  LoadGlobals();
  fs::remove_all(Cfg() / "EXPORT");
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDOK, "Path : C:\\KELVACFG\\EXPORT\\");
  bool scripted = false;
  RunApp([&](TRecordingFrame&) { scripted = true; });
  EXPECT_FALSE(scripted);
  EXPECT_FALSE(plat::file_exists(Globals->DatabaseDir + "KELVFILE.DBF"));
}

TEST_F(MainWindowTest, DatabaseThatCannotBeMadeShowsMessage129AndCloses) {
  LoadGlobals();
  // A directory in the place of a table: the table cannot be created.
  fs::create_directories(Cfg() / "DB31" / "KELVMT.DBF");
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDOK, "could not be created or brought up to date");
  bool scripted = false;
  std::vector<int> posted = RunApp([&](TRecordingFrame&) { scripted = true; });
  EXPECT_FALSE(scripted);
  EXPECT_TRUE(posted.empty());
  ASSERT_EQ(driver.message_boxes().size(), 1u);
  EXPECT_EQ(driver.message_boxes()[0].caption, "Kelvane");
}

TEST_F(MainWindowTest, ConnectingAgainRunsTheStartupAgainWithoutASecondPairOfWatchers) {
  WriteConfig(std::string(station::kConfig) + "AUTONOTIFYDNC=1\nDEFUSER=\"ANNA\"\nDEFPASSWORD=\"x\"\n");
  LoadGlobals();
  AddMachineType();
  RunProfileDialog = station::RunProfileStub;
  plat::GTestUiDriver driver;
  driver.expect_dialog(station::kProfileStub, [](TDialog& d) { plat::Pilot(d).click(IDOK); });
  driver.expect_dialog(station::kProfileStub, [](TDialog& d) {
    EXPECT_FALSE(Globals->DefUser.IsSet());
    EXPECT_FALSE(Globals->DefPassword.IsSet());
    plat::Pilot(d).click(IDOK);
  });
  size_t afterFirst = 0, afterSecond = 0;
  RunApp([&](TRecordingFrame& f) {
    afterFirst = RunningWorkers();
    f.SendMessage(WM_COMMAND, kCmConnectDatabase);
    EXPECT_EQ(Globals->StartupDone, 0);
    f.Script = [&](TRecordingFrame& g) {
      afterSecond = RunningWorkers();
      g.PostMessage(WM_CLOSE);
    };
    f.ScriptRan = false;
  });
  EXPECT_EQ(driver.dialogs_shown().size(), 2u);
  EXPECT_EQ(afterFirst, 2u);
  EXPECT_EQ(afterSecond, 2u);
}

TEST_F(MainWindowTest, DncStationStartsTheServerWhenAutoTramoxIsSet) {
  WriteConfig(std::string(station::kConfig) + "AUTOTRAMOX=1\nAUTONOTIFYDNC=1\n");
  LoadGlobals(true);
  std::vector<int> posted = RunApp();
  EXPECT_EQ(posted, std::vector<int>{kCmDncStart}) << "no machines dialog on a DNC station";
  EXPECT_EQ(Globals->NetLogonMode, 0);
  EXPECT_EQ(RunningWorkers(), 0u) << "no transfer watchers on a DNC station";
}

TEST_F(MainWindowTest, ExitAsksOnceAndOnlyYesCloses) {
  LoadGlobals();
  AddMachineType();
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDNO, "Do you really want to end Kelvane?");
  driver.expect_message_box(IDYES, "Do you really want to end Kelvane?");
  bool stillThere = false;
  RunApp([&](TRecordingFrame& f) {
    ASSERT_TRUE(f.ChooseMenuCommand(kCmExit));
    plat::dispatch_all();
    stillThere = f.IsWindow();
    ASSERT_TRUE(f.ChooseMenuCommand(kCmExit));
  });
  EXPECT_TRUE(stillThere);
  ASSERT_EQ(driver.message_boxes().size(), 2u);
  EXPECT_EQ(driver.message_boxes()[0].flags & (MB_YESNO | MB_ICONQUESTION), static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
}

TEST_F(MainWindowTest, LostDatabasePathIsToldToTheUser) {
  WriteConfig(std::string(station::kConfig) + "CHECKPATH=\"D:\\DB\"\n");
  LoadGlobals();
  AddMachineType();
  plat::GTestUiDriver driver;
  driver.expect_message_box(IDOK, "The database path D:\\DB can no longer be reached.");
  RunApp([](TRecordingFrame& f) {
    f.PostMessage(WM_COMMAND, kCmDatabaseLost);
    f.PostMessage(WM_CLOSE);
  });
  EXPECT_EQ(driver.message_boxes().size(), 1u);
}

// ---- the window as built, without running the start-up ------------------------

class BuiltWindowTest : public StationTest {
 protected:
  TMainFrame* Build(TTestApp& app) {
    app.InitMainWindow();
    auto* frame = static_cast<TMainFrame*>(app.GetMainWindow());
    EXPECT_TRUE(frame->Create());
    return frame;
  }
  static std::vector<std::string> Titles(HMENU bar) {
    std::vector<std::string> t;
    for (const auto& item : plat::menu_items(bar)) t.push_back(item.text);
    return t;
  }
  static bool Holds(HMENU bar, UINT id) { return plat::menu_holding(bar, id) != nullptr; }
};

TEST_F(BuiltWindowTest, MenuBarFollowsMenuesAndTheSettings) {
  struct Case {
    const char* name;
    std::string config;
    bool optionalItems;  // MENUES names 1210, 1211 and 1214
    std::vector<std::string> titles;
  } cases[] = {
      {"plain", station::kConfig, true,
       {"&File", "&Restore", "&Master data", "&Extras", "&Jobs (DNC)", "&Log", "&Help"}},
      {"debug", std::string(station::kConfig) + "DEBUGFLAG=\"QIMPA\"\n", true,
       {"&File", "&Restore", "&Master data", "&Extras", "&Jobs (DNC)", "Special &Import", "Special &Options", "&Log",
        "&Help"}},
      {"debug, mass import", std::string(station::kConfig) + "DEBUGFLAG=\"QIMPA\"\nENABLE_MASSIMPORT=1\n", false,
       {"&File", "&Restore", "&Master data", "&Extras", "&Jobs (DNC)", "Special &Options", "&Log", "&Help"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteConfig(c.config);
    if (!c.optionalItems) Write("CFG/MENUES.USR", "{\n44,1210,\"\"\n44,1211,\"\"\n44,1214,\"\"\n}\n");
    else fs::remove(Cfg() / "CFG/MENUES.USR");
    LoadGlobals();
    TTestApp app;
    TMainFrame* frame = Build(app);
    HMENU bar = frame->GetMenu();
    EXPECT_EQ(Titles(bar), c.titles);
    EXPECT_FALSE(Holds(bar, 1229)) << "the job-file item never stands in the bar";
    for (UINT id : {1210u, 1211u, 1214u}) EXPECT_EQ(Holds(bar, id), c.optionalItems) << id;
    EXPECT_TRUE(Holds(bar, 5022));
    char text[64];
    GetMenuString(bar, kCmAbout, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&About Kelvane...");
    GetMenuString(bar, kCmExit, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&5. Exit\tAltF4") << "the resource's text where MENUES has none";
    frame->Destroy();
    delete Globals;
    Globals = nullptr;
  }
}

TEST_F(BuiltWindowTest, ToolBarButtonsAndGreyedCommandsWithoutHandlers) {
  LoadGlobals();
  TTestApp app;
  TMainFrame* frame = Build(app);
  ASSERT_NE(TheApp::ToolBar, nullptr);
  std::vector<int> ids;
  for (int i = 0; i < TheApp::ToolBar->GadgetCount(); ++i) ids.push_back(TheApp::ToolBar->GadgetAt(i)->GetId());
  EXPECT_EQ(ids,
            (std::vector<int>{kCmFileNew, 0, kCmFileOpen, 0, kCmBackups, 0, kCmDncConfigure, 0, kCmConnectDatabase}));
  EXPECT_EQ(static_cast<TButtonGadget*>(TheApp::ToolBar->GadgetAt(0))->GetResId(), 1);
  EXPECT_EQ(static_cast<TButtonGadget*>(TheApp::ToolBar->GadgetAt(2))->GetResId(), 2);
  Globals->RightsMask = 0xFFFFFFFF;
  EXPECT_TRUE(frame->IsCommandEnabled(kCmExit));
  EXPECT_TRUE(frame->IsCommandEnabled(kCmConnectDatabase));
  EXPECT_TRUE(frame->IsCommandEnabled(kCmDncConfigure)) << "its handler does nothing, yet it has one";
  EXPECT_FALSE(frame->IsCommandEnabled(kCmFileNew)) << "the editor's windows are not there yet";
  EXPECT_FALSE(frame->IsCommandEnabled(kCmMultiDncSetup));
  EXPECT_NE(frame->GetStatusBar(), nullptr);
  EXPECT_EQ(frame->GetText(), std::string("KELVANE v3.56 (Build 2)"));
  EXPECT_EQ(Globals->MainWnd, frame->GetHandle());
  frame->Destroy();
}

TEST_F(BuiltWindowTest, CommandsRegisteredByUpperLayersAreEnabledAndRunAfterTheFramesOwn) {
  LoadGlobals();
  TTestApp app;
  TMainFrame* frame = Build(app);
  Globals->RightsMask = 0x1;
  std::vector<UINT> ran;
  RegisterFrameCommand(kCmFileNew, [&](TFrameWindow& f, UINT id) {
    EXPECT_EQ(&f, frame);
    ran.push_back(id);
  });
  RegisterFrameCommand(kCmExit, [&](TFrameWindow&, UINT id) { ran.push_back(id); });
  EXPECT_TRUE(frame->IsCommandEnabled(kCmFileNew));
  EXPECT_TRUE(frame->RouteCommand(kCmFileNew));
  EXPECT_EQ(ran, (std::vector<UINT>{kCmFileNew}));
  // The frame's own handler comes first: Exit still asks.
  {
    plat::GTestUiDriver driver;
    driver.expect_message_box(IDNO, "Do you really want to end Kelvane?");
    EXPECT_TRUE(frame->RouteCommand(kCmExit));
  }
  EXPECT_EQ(ran, (std::vector<UINT>{kCmFileNew}));
  RegisterFrameCommand(kCmFileNew, nullptr);
  RegisterFrameCommand(kCmExit, nullptr);
  EXPECT_FALSE(frame->IsCommandEnabled(kCmFileNew));
  EXPECT_FALSE(frame->RouteCommand(kCmFileNew));
  frame->Destroy();
}

TEST_F(BuiltWindowTest, ToolBarShowsPicturesFadedWhileTheirCommandIsGrey) {
  plat::set_resource_dir(KV_BUILD_RESOURCES);
  LoadGlobals();
  TTestApp app;
  TMainFrame* frame = Build(app);
  TheApp::ToolBar->CommandEnableAll();
  TClientDC dc(nullptr);
  TRect all;
  TheApp::ToolBar->Paint(dc, true, all);
  std::vector<const plat::DrawOp*> blits;
  for (const plat::DrawOp& op : dc.Record())
    if (op.kind == plat::DrawOp::Blit) blits.push_back(&op);
  ASSERT_EQ(blits.size(), 5u) << "every button has its picture";
  auto greyOnly = [](const plat::DrawOp& op) {
    for (uint32_t p : op.image->px)
      if (((p >> 16) & 0xFF) != (p & 0xFF) || ((p >> 8) & 0xFF) != (p & 0xFF)) return false;
    return true;
  };
  EXPECT_TRUE(greyOnly(*blits[0])) << "New has no handler yet";
  EXPECT_EQ(blits[4]->image->px, plat::find_bitmap_resource(400)->px) << "Connect to new database works";
  EXPECT_NE(blits[0]->image->px, plat::find_bitmap_resource(1)->px);
  frame->Destroy();
}

TEST_F(BuiltWindowTest, DncStationHasOnlyTheHelpMenuAndTheServerButtons) {
  WriteConfig(std::string(station::kConfig) + "STATUSBAR=0\n");
  LoadGlobals(true);
  TTestApp app;
  TMainFrame* frame = Build(app);
  EXPECT_EQ(Titles(frame->GetMenu()), std::vector<std::string>{"&Help"});
  std::vector<int> ids;
  for (int i = 0; i < TheApp::ToolBar->GadgetCount(); ++i) ids.push_back(TheApp::ToolBar->GadgetAt(i)->GetId());
  EXPECT_EQ(ids, (std::vector<int>{kCmMultiDncSetup, 0, kCmDncStart}));
  EXPECT_EQ(frame->GetText(), std::string("TRAMOX v3.56 (Build 2)"));
  EXPECT_TRUE(plat::file_exists(Globals->AlternateDir + "KELVMD32.DBF"));
  frame->Destroy();
}

TEST_F(BuiltWindowTest, WithoutToolbarsAndStatusbarTheFrameHasNeitherBar) {
  WriteConfig("LANGUAGE=44\n");
  LoadGlobals();
  TTestApp app;
  TMainFrame* frame = Build(app);
  EXPECT_EQ(TheApp::ToolBar, nullptr);
  EXPECT_EQ(frame->GetStatusBar(), nullptr);
  EXPECT_EQ(Titles(frame->GetMenu()).size(), 7u);
  frame->Destroy();
}

TEST_F(BuiltWindowTest, CommandsFromOutsideHideShowAndTheLoaderListIsMadeOnce) {
  for (bool dnc : {false, true}) {
    SCOPED_TRACE(dnc ? "DNC station" : "editor");
    LoadGlobals(dnc);
    {
      TTestApp app;
      TMainFrame* frame = Build(app);
      frame->ShowWindow(SW_SHOW);
      frame->SendMessage(WM_COMMAND, kCmHideAll);
      EXPECT_FALSE(frame->IsWindowVisible());
      frame->SendMessage(WM_COMMAND, kCmShowAll);
      EXPECT_EQ(frame->IsWindowVisible(), !dnc) << "a DNC station's frame stays hidden";

      TWindow* client = frame->GetClientWindow();
      client->SendMessage(WM_COMMAND, kCmShowClientList);
      auto* list = Globals->LoaderListBox;
      ASSERT_NE(list, nullptr);
      EXPECT_EQ(client->ChildWithId(TMainClient::kLoaderList), list);
      EXPECT_EQ(list->GetStyle() & LBS_SORT, 0u);
      client->SendMessage(WM_COMMAND, kCmShowClientList);
      EXPECT_EQ(Globals->LoaderListBox, list) << "later calls make no second list";
      frame->Destroy();
    }
    EXPECT_EQ(Globals->LoaderListBox, nullptr) << "gone with the client";
    delete Globals;
    Globals = nullptr;
  }
}

// ---- the client's painting --------------------------------------------------------

struct Painted {
  std::vector<plat::DrawOp> texts;
  std::vector<plat::DrawOp> blits;
};

Painted Paint(TWindow& client) {
  Painted p;
  for (const plat::DrawOp& op : plat::paint_window(client)) {
    if (op.kind == plat::DrawOp::Text) p.texts.push_back(op);
    if (op.kind == plat::DrawOp::Blit) p.blits.push_back(op);
  }
  return p;
}

// A 24-bit .BMP of w x h pixels, all red.
std::string RedBmp(int w, int h) {
  int row = (3 * w + 3) / 4 * 4;
  auto le = [](uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>((static_cast<uint64_t>(v) >> (8 * i)) & 0xFF);
    return s;
  };
  std::string bits;
  for (int y = 0; y < h; ++y) {
    std::string r;
    for (int x = 0; x < w; ++x) r += std::string("\x00\x00\xff", 3);
    r.resize(row, '\0');
    bits += r;
  }
  return "BM" + le(54 + bits.size(), 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(w, 4) + le(h, 4) + le(1, 2) +
         le(24, 2) + le(0, 4) + le(bits.size(), 4) + le(0, 4) + le(0, 4) + le(0, 4) + le(0, 4) + bits;
}

TEST_F(BuiltWindowTest, ClientPaintsProductVersionAndNoticeCentredAndTheLogoOnce) {
  Write("CFG/LOGO.BMP", RedBmp(40, 20));
  WriteConfig(std::string(station::kConfig) + "LOGOBITMAP=\"LOGO.BMP\"\n");
  LoadGlobals();
  TTestApp app;
  TMainFrame* frame = Build(app);
  TWindow& client = *frame->GetClientWindow();
  const TRect r = client.GetClientRect();
  Painted p = Paint(client);
  ASSERT_EQ(p.texts.size(), 6u);
  // Each line twice: black, then its colour shifted up and left.
  struct Line {
    const char* text;
    COLORREF colour;
    int shift;
  } lines[] = {{"CNC programming workstation - NC programs, program database and DNC", RGB(255, 255, 255), 2},
               {"VELDA KELVANE", RGB(0, 255, 0), 3},
               {"v3.56 (Build 2)", RGB(255, 255, 0), 1}};
  for (int i = 0; i < 3; ++i) {
    const plat::DrawOp& shadow = p.texts[2 * i];
    const plat::DrawOp& top = p.texts[2 * i + 1];
    EXPECT_EQ(shadow.text, lines[i].text);
    EXPECT_EQ(shadow.textColor, RGB(0, 0, 0));
    EXPECT_EQ(top.textColor, lines[i].colour);
    EXPECT_EQ(shadow.rect.left - top.rect.left, lines[i].shift);
    EXPECT_EQ(shadow.baseline - top.baseline, lines[i].shift);
    EXPECT_EQ(top.font.logfont.lfWeight, 700);
  }
  int centre = (r.left + 10 + r.right) / 2;
  EXPECT_NEAR((p.texts[2].rect.left + p.texts[2].rect.right) / 2, centre, 2);
  ASSERT_EQ(p.blits.size(), 1u);
  EXPECT_EQ(p.blits[0].rect, TRect((r.Width() - 40) / 2, r.Height() - 20 - 40, (r.Width() - 40) / 2 + 40, r.Height() - 40));

  // Resizing repaints the whole area: the texts follow the new width.
  frame->SetWindowPos(nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
  Painted q = Paint(client);
  int newCentre = (client.GetClientRect().left + 10 + client.GetClientRect().right) / 2;
  EXPECT_NEAR((q.texts[2].rect.left + q.texts[2].rect.right) / 2, newCentre, 2);
  frame->Destroy();
}

TEST_F(BuiltWindowTest, MissingLogoIsGivenUpAfterTheFirstPaint) {
  WriteConfig(std::string(station::kConfig) + "LOGOBITMAP=\"NOLOGO.BMP\"\n");
  LoadGlobals();
  TTestApp app;
  TMainFrame* frame = Build(app);
  auto* client = static_cast<TMainClient*>(frame->GetClientWindow());
  EXPECT_TRUE(client->LogoShown());
  EXPECT_TRUE(Paint(*client).blits.empty());
  EXPECT_FALSE(client->LogoShown());
  Write("CFG/NOLOGO.BMP", RedBmp(8, 8));
  EXPECT_TRUE(Paint(*client).blits.empty()) << "no second attempt";
  frame->Destroy();
}

}  // namespace
