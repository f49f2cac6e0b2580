// An MDI frame with a tool bar, a status bar and two editor-like children:
// menus merge and unmerge with the active child, keys reach their commands
// through the accelerator tables, enablers grey menu items and buttons.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "platform/ui/combobox.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/mdi.h"
#include "ui_test_support.h"

namespace {

struct Counts {
  int newCmd = 0, open = 0, exit = 0, save = 0, copy = 0, about = 0;
};

class TestChild : public TDecoratedFrame {
 public:
  TestChild(TWindow* client, Counts& c) : TDecoratedFrame(client, "Text", new TWindow(static_cast<TWindow*>(nullptr))), C(c) {
    TMenuDescr descr(CreateMenu(), 0, 0, 0, 0, 0, 0);
    descr.AppendPopup(TMenuDescr::FileGroup, LoadMenu(nullptr, 810), "&File");
    descr.AppendPopup(TMenuDescr::EditGroup, LoadMenu(nullptr, 811), "&Edit");
    SetMenuDescr(descr);
    SetAcceleratorTable(810);
    Bar = new TControlBar(nullptr);
    Bar->Insert(*new TButtonGadget(3, 103));
    Bar->Insert(*new TSeparatorGadget(6));
    Bar->Insert(*new TButtonGadget(1013, 1013));
    Insert(*Bar, Top);
    Cycles = new TComboBox(nullptr, 100, 0, 0, 240, 240,
                           WS_VSCROLL | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | CBS_SORT, 51);
    auto* bar2 = new TControlBar(nullptr);
    bar2->Insert(*new TSeparatorGadget(12));
    bar2->Insert(*new TControlGadget(*Cycles));
    Insert(*bar2, Top);
    Side = new TControlBar(nullptr);
    Side->Insert(*new TSeparatorGadget(12));
    Side->Insert(*new TButtonGadget(1011, 1011));
    Side->Insert(*new TSeparatorGadget(4));
    Side->Insert(*new TButtonGadget(1012, 1012));
    Insert(*Side, Left);
    Insert(*new TStatusBar(nullptr, TGadget::Recessed), Bottom);
  }
  void CycleChosen() { ++Chosen; }
  TComboBox* Cycles;
  TControlBar* Side;
  int Chosen = 0;
  void CmSave() {
    ++C.save;
    ++Saves;
  }
  int Saves = 0;
  void CmCopy() { ++C.copy; }
  void CeSave(TCommandEnabler& ce) { ce.Enable(Modified); }
  bool Modified = false;
  TControlBar* Bar;
  Counts& C;
  DECLARE_RESPONSE_TABLE(TestChild);
};

DEFINE_RESPONSE_TABLE1(TestChild, TDecoratedFrame)
  EV_COMMAND(103, CmSave),
  EV_COMMAND(1014, CmCopy),
  EV_COMMAND_ENABLE(103, CeSave),
  EV_CBN_SELCHANGE(100, CycleChosen),
END_RESPONSE_TABLE;

class TestMain : public TDecoratedFrame {
 public:
  explicit TestMain(Counts& c) : TDecoratedFrame(nullptr, "Main", new TMDIClient, true), C(c) {
    // The bar is built as the program builds its own: popups from
    // resources, texts changed by command, an item taken out.
    TMenuDescr bar(CreateMenu(), 0, 0, 0, 0, 0, 0);
    bar.AppendPopup(TMenuDescr::FileGroup, LoadMenu(nullptr, 800), "&File");
    bar.AppendPopup(TMenuDescr::HelpGroup, LoadMenu(nullptr, 801), "&Help");
    ModifyMenu(bar, 902, MF_BYCOMMAND | MF_STRING, 902, "&2. Open\tF2");
    DeleteMenu(bar, 1229, MF_BYCOMMAND);
    SetMenuDescr(bar);
    SetAcceleratorTable(800);
    Tools = new TControlBar(nullptr);
    Tools->SetMargins({TMargins::LayoutUnits, 3, 3, 4, 4});
    Tools->Insert(*new TButtonGadget(1, 901));
    Tools->Insert(*new TSeparatorGadget(6));
    Tools->Insert(*new TButtonGadget(2, 902));
    Tools->Insert(*new TSeparatorGadget(8));
    Tools->Insert(*new TButtonGadget(3, 103));
    Tools->SetHintMode(TGadgetWindow::EnterHints);
    Insert(*Tools, Top);
    Status = new TStatusBar(nullptr, TGadget::Recessed, TStatusBar::CapsLock | TStatusBar::NumLock |
                                                            TStatusBar::ScrollLock | TStatusBar::Overtype);
    Insert(*Status, Bottom);
    SetHint(902, "Open a stored program");
  }
  void CmNew() { ++C.newCmd; }
  void CmOpen() { ++C.open; }
  void CmExit() { ++C.exit; }
  void CeNew(TCommandEnabler& ce) { ce.Enable(MayCreate); }
  bool MayCreate = false;
  TControlBar* Tools;
  TStatusBar* Status;
  Counts& C;
  DECLARE_RESPONSE_TABLE(TestMain);
};

DEFINE_RESPONSE_TABLE1(TestMain, TDecoratedFrame)
  EV_COMMAND(901, CmNew),
  EV_COMMAND(902, CmOpen),
  EV_COMMAND(116, CmExit),
  EV_COMMAND_ENABLE(901, CeNew),
END_RESPONSE_TABLE;

std::vector<std::string> titles(HMENU bar) {
  std::vector<std::string> t;
  for (const auto& i : plat::menu_items(bar)) t.push_back(i.text);
  return t;
}

TRect shifted(TRect r, TPoint by) { return TRect(r.left + by.x, r.top + by.y, r.right + by.x, r.bottom + by.y); }

bool grey(HMENU bar, UINT id) { return GetMenuState(bar, id, MF_BYCOMMAND) & MF_GRAYED; }

class FrameMdiTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    menus_before_ = plat::live_menu_count();
    main_ = new TestMain(counts_);
    ASSERT_TRUE(main_->Create());
    main_->SetWindowPos(nullptr, 0, 0, 800, 600, SWP_NOZORDER);
  }
  void TearDown() override {
    main_->Destroy();
    delete main_;
    EXPECT_EQ(plat::live_menu_count(), menus_before_) << "menus left alive";
    plat::set_key_toggled(VK_CAPITAL, false);
    UiTest::TearDown();
  }
  TestChild* open_child() {
    auto* c = new TestChild(main_->GetClientWindow(), counts_);
    EXPECT_TRUE(c->Create());
    return c;
  }
  plat::GTestUiDriver ui_;
  Counts counts_;
  TestMain* main_ = nullptr;
  size_t menus_before_ = 0;
};

TEST_F(FrameMdiTest, MenusMergeWithTheActiveChildAndComeBack) {
  HMENU own = main_->GetMenu();
  EXPECT_EQ(titles(own), (std::vector<std::string>{"&File", "&Help"}));
  EXPECT_EQ(GetMenuState(own, 1229, MF_BYCOMMAND), static_cast<UINT>(-1));
  char text[64];
  GetMenuString(own, 902, text, sizeof text, MF_BYCOMMAND);
  EXPECT_STREQ(text, "&2. Open\tF2");

  TestChild* a = open_child();
  EXPECT_EQ(main_->GetActiveMDIChild(), a);
  // The child's File and Edit groups replace the frame's File; Help stays.
  HMENU merged = main_->GetMenu();
  EXPECT_EQ(titles(merged), (std::vector<std::string>{"&File", "&Edit", "&Help"}));
  EXPECT_TRUE(plat::menu_holding(merged, 103));
  EXPECT_FALSE(plat::menu_holding(merged, 901));
  EXPECT_TRUE(plat::menu_holding(merged, 20501));

  TestChild* b = open_child();
  EXPECT_EQ(main_->GetActiveMDIChild(), b);
  EXPECT_EQ(GetSubMenu(main_->GetMenu(), 0), GetSubMenu(b->GetMenuDescr()->GetHandle(), 0));
  main_->MDIActivate(a);
  EXPECT_EQ(GetSubMenu(main_->GetMenu(), 0), GetSubMenu(a->GetMenuDescr()->GetHandle(), 0));

  a->SendMessage(WM_CLOSE);
  EXPECT_FALSE(a->IsWindow());
  EXPECT_EQ(main_->GetActiveMDIChild(), b);
  EXPECT_EQ(GetSubMenu(main_->GetMenu(), 0), GetSubMenu(b->GetMenuDescr()->GetHandle(), 0));
  b->SendMessage(WM_CLOSE);
  EXPECT_EQ(main_->GetActiveMDIChild(), nullptr);
  EXPECT_EQ(main_->GetMenu(), own);
  EXPECT_EQ(titles(main_->GetMenu()), (std::vector<std::string>{"&File", "&Help"}));
}

TEST_F(FrameMdiTest, AcceleratorsReachTheirCommands) {
  TestChild* a = open_child();
  a->GetClientWindow()->SetFocus();
  // The child's own table first, then its frame's.
  EXPECT_TRUE(plat::press_key(VK_F2));
  EXPECT_EQ(counts_.open, 1);
  EXPECT_TRUE(plat::press_key(VK_INSERT, FCONTROL));
  EXPECT_EQ(counts_.copy, 1);
  // A grey command's key does nothing, as its menu item would.
  EXPECT_TRUE(plat::press_key(VK_F4));
  EXPECT_EQ(counts_.save, 0);
  a->Modified = true;
  EXPECT_TRUE(plat::press_key(VK_F4));
  EXPECT_EQ(counts_.save, 1);
  EXPECT_FALSE(plat::press_key(VK_F9));
  // With the frame focused and no child, the frame's table alone counts.
  a->SendMessage(WM_CLOSE);
  main_->SetFocus();
  EXPECT_FALSE(plat::press_key(VK_F4));
  main_->MayCreate = true;
  EXPECT_TRUE(plat::press_key('N', FCONTROL));
  EXPECT_EQ(counts_.newCmd, 1);
  EXPECT_EQ(counts_.save, 1);
}

TEST_F(FrameMdiTest, NewAndActivatedChildrenTakeTheFocusAndTheirKeys) {
  TestChild* a = open_child();
  EXPECT_EQ(GetFocus(), a->GetClientWindow()->GetHandle());
  TestChild* b = open_child();
  EXPECT_EQ(main_->GetActiveMDIChild(), b);
  EXPECT_EQ(GetFocus(), b->GetClientWindow()->GetHandle());
  a->Modified = b->Modified = true;
  // The child's key and the frame's menu act on the same child.
  EXPECT_TRUE(plat::press_key(VK_F4));
  EXPECT_TRUE(main_->ChooseMenuCommand(103));
  EXPECT_EQ(b->Saves, 2);
  EXPECT_EQ(a->Saves, 0);

  struct Step {
    const char* how;
    std::function<void()> act;
    TestChild* active;
  } steps[] = {
      {"activated by the program", [&] { main_->MDIActivate(a); }, a},
      {"put on top", [&] { b->SetWindowPos(HWND_TOP, 5, 5, 300, 200, 0); }, b},
      {"next window", [&] { main_->MDINext(); }, a},
      {"system command", [&] { a->SendMessage(WM_SYSCOMMAND, SC_NEXTWINDOW); }, b},
  };
  for (const Step& st : steps) {
    st.act();
    EXPECT_EQ(main_->GetActiveMDIChild(), st.active) << st.how;
    EXPECT_EQ(GetFocus(), st.active->GetClientWindow()->GetHandle()) << st.how;
    EXPECT_EQ(main_->MDIStack().back(), st.active) << st.how;
    int before = st.active->Saves;
    EXPECT_TRUE(plat::press_key(VK_F4));
    EXPECT_EQ(st.active->Saves, before + 1) << st.how;
  }
  // A focused control of the active child's bar keeps the focus.
  b->Cycles->SetFocus();
  main_->MDIActivate(b);
  EXPECT_EQ(GetFocus(), b->Cycles->GetHandle());
}

TEST_F(FrameMdiTest, ChildCaptionBoxesMaximiseMinimiseRestoreAndClose) {
  TestChild* a = open_child();
  TestChild* b = open_child();
  a->SetWindowPos(nullptr, 40, 30, 300, 200, SWP_NOZORDER);
  b->SetWindowPos(nullptr, 10, 10, 300, 200, SWP_NOZORDER);
  // A caption and a sizing border around the child's client.
  EXPECT_EQ(b->GetClientRect(), TRect(0, 0, 300 - 6, 200 - 6 - 19));
  TWindow* area = main_->GetClientWindow();

  b->SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE);
  EXPECT_TRUE(b->IsMaximized());
  TPoint inner = b->ClientToScreen({0, 0}), outer = area->ClientToScreen({0, 0});
  EXPECT_EQ(inner.x, outer.x);
  EXPECT_EQ(inner.y, outer.y);
  EXPECT_EQ(b->GetClientRect(), area->GetClientRect());
  // The child's system menu leads the frame's bar and works from there.
  EXPECT_EQ(titles(main_->GetMenu()).front(), "&-");
  EXPECT_TRUE(main_->ChooseMenuCommand(SC_RESTORE));
  EXPECT_FALSE(b->IsMaximized());
  EXPECT_EQ(b->GetWindowRect(), shifted(TRect(10, 10, 310, 210), area->ClientToScreen({0, 0})));
  EXPECT_NE(titles(main_->GetMenu()).front(), "&-");

  // Another child activated while one is maximised is maximised instead.
  b->ShowWindow(SW_SHOWMAXIMIZED);
  main_->MDIActivate(a);
  EXPECT_TRUE(a->IsMaximized());
  EXPECT_FALSE(b->IsMaximized());
  // The maximised child follows its frame's size.
  main_->SetWindowPos(nullptr, 0, 0, 700, 500, SWP_NOZORDER);
  EXPECT_EQ(a->GetClientRect(), area->GetClientRect());
  a->ShowWindow(SW_RESTORE);
  EXPECT_EQ(a->GetWindowRect(), shifted(TRect(40, 30, 340, 230), area->ClientToScreen({0, 0})));

  // Minimised: a caption bar at the bottom of the client.
  a->SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
  EXPECT_TRUE(a->IsMinimized());
  TRect icon = a->GetWindowRect();
  EXPECT_EQ(icon.Height(), 19 + 6);
  EXPECT_EQ(icon.bottom, area->ClientToScreen({0, area->GetClientRect().bottom}).y);
  a->SendMessage(WM_SYSCOMMAND, SC_RESTORE);
  EXPECT_EQ(a->GetWindowRect(), shifted(TRect(40, 30, 340, 230), area->ClientToScreen({0, 0})));

  // The close box closes the child; the other one takes over and the focus.
  main_->MDIActivate(b);
  b->SendMessage(WM_SYSCOMMAND, SC_CLOSE);
  plat::dispatch_all();
  EXPECT_EQ(main_->GetMDIChildren().size(), 1u);
  EXPECT_EQ(main_->GetActiveMDIChild(), a);
  EXPECT_EQ(GetFocus(), a->GetClientWindow()->GetHandle());
}

TEST_F(FrameMdiTest, EnablersGreyMenuItemsAndButtons) {
  TestChild* a = open_child();
  HMENU bar = main_->GetMenu();
  struct Case {
    UINT id;
    bool enabled;
  } cases[] = {
      {103, false},   // the child's enabler says no
      {118, false},   // no handler anywhere
      {1013, false},  // no handler
      {1014, true},   // handled by the child, no enabler
      {1018, false},  // inside a cascade
      {20501, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(main_->IsCommandEnabled(c.id), c.enabled) << c.id;
    EXPECT_EQ(main_->ChooseMenuCommand(c.id), c.enabled) << c.id;
    EXPECT_EQ(grey(bar, c.id), !c.enabled) << c.id;
  }
  EXPECT_EQ(counts_.copy, 1);

  // Buttons follow at the next idle time.
  main_->IdleAction(0);
  EXPECT_FALSE(main_->Tools->GadgetWithId(901)->GetEnabled());
  EXPECT_TRUE(main_->Tools->GadgetWithId(902)->GetEnabled());
  EXPECT_FALSE(main_->Tools->GadgetWithId(103)->GetEnabled());
  EXPECT_FALSE(a->Bar->GadgetWithId(103)->GetEnabled());
  EXPECT_FALSE(a->Bar->GadgetWithId(1013)->GetEnabled());
  EXPECT_FALSE(main_->Tools->PressButton(901));
  EXPECT_EQ(counts_.newCmd, 0);

  main_->MayCreate = true;
  a->Modified = true;
  main_->IdleAction(0);
  EXPECT_TRUE(main_->Tools->GadgetWithId(901)->GetEnabled());
  EXPECT_TRUE(a->Bar->GadgetWithId(103)->GetEnabled());
  EXPECT_TRUE(main_->Tools->PressButton(901));
  EXPECT_TRUE(a->Bar->PressButton(103));
  EXPECT_TRUE(main_->Tools->PressButton(103));  // the frame's button reaches the active child
  EXPECT_EQ(counts_.newCmd, 1);
  EXPECT_EQ(counts_.save, 2);
  EXPECT_TRUE(main_->ChooseMenuCommand(103));
  EXPECT_FALSE(grey(bar, 103));
}

TEST_F(FrameMdiTest, HintsAndModeIndicators) {
  main_->MenuSelect(902);
  EXPECT_EQ(main_->Status->GetText(), "Open a stored program");
  main_->MenuSelect(0);
  EXPECT_EQ(main_->Status->GetText(), "");
  main_->Tools->PointerEnter(902);
  EXPECT_EQ(main_->Status->GetText(), "Open a stored program");
  main_->Tools->PointerLeave();
  EXPECT_EQ(main_->Status->GetText(), "");

  // A worker thread may set a status text while the UI thread runs.
  std::thread worker([&] { main_->Status->SetText("Port 1: receiving"); });
  worker.join();
  EXPECT_EQ(main_->Status->GetText(), "Port 1: receiving");

  plat::set_key_toggled(VK_CAPITAL, true);
  main_->IdleAction(0);
  EXPECT_TRUE(main_->Status->GetModeIndicator(TStatusBar::CapsLock));
  EXPECT_FALSE(main_->Status->GetModeIndicator(TStatusBar::NumLock));
  plat::press_key(VK_INSERT);
  main_->IdleAction(0);
  EXPECT_TRUE(main_->Status->GetModeIndicator(TStatusBar::Overtype));
  plat::press_key(VK_INSERT);
  main_->IdleAction(0);
  EXPECT_FALSE(main_->Status->GetModeIndicator(TStatusBar::Overtype));

  // Each indicator's label fits inside its border in the bar's font.
  const plat::FontInstance& font = main_->Status->FontMetrics();
  for (int i = 1; i < main_->Status->GadgetCount(); ++i) {
    auto* g = dynamic_cast<TTextGadget*>(main_->Status->GadgetAt(i));
    ASSERT_TRUE(g);
    std::string label = g->GetText();
    int inside = g->GetBounds().Width() - 2 * (2 + 2);  // a recessed border and the text's margin
    EXPECT_GE(inside, font.width(label.data(), static_cast<int>(label.size()))) << label;
  }
}

TEST_F(FrameMdiTest, BarsAndClientShareTheFrame) {
  TRect frame = main_->GetClientRect();
  TRect tools = main_->Tools->GetWindowRect(), status = main_->Status->GetWindowRect();
  TRect client = main_->GetClientWindow()->GetWindowRect();
  TPoint origin = main_->ClientToScreen({0, 0});
  EXPECT_EQ(tools.top, origin.y);
  EXPECT_EQ(tools.Width(), frame.Width());
  EXPECT_EQ(client.top, tools.bottom);
  EXPECT_EQ(client.bottom, status.top);
  EXPECT_EQ(status.bottom, origin.y + frame.Height());
  // Margins of 4 layout units above and below the 22-pixel buttons.
  int unit = main_->Tools->LayoutUnitPixels();
  EXPECT_EQ(tools.Height(), 22 + 8 * unit);
  // The status bar's first gadget takes the room the indicators leave.
  TGadget* hint = main_->Status->GadgetAt(0);
  TGadget* last = main_->Status->GadgetAt(main_->Status->GadgetCount() - 1);
  EXPECT_EQ(last->GetBounds().right, status.Width() - 2);
  EXPECT_GT(hint->GetBounds().Width(), status.Width() / 2);

  main_->SetWindowPos(nullptr, 0, 0, 640, 480, SWP_NOZORDER);
  EXPECT_EQ(main_->GetClientWindow()->GetWindowRect().bottom, main_->Status->GetWindowRect().top);
  EXPECT_EQ(main_->Status->GetWindowRect().Width(), main_->GetClientRect().Width());
}

TEST_F(FrameMdiTest, ChildBarsHostControlsAndStandAtTheSide) {
  TestChild* a = open_child();
  a->SetWindowPos(nullptr, 10, 10, 600, 400, SWP_NOZORDER);
  // The combo box lives in the bar; its choice reaches the child frame.
  EXPECT_EQ(a->Cycles->GetParentO()->ClassName(), "KvGadgetWindow");
  a->Cycles->AddString("G81 drilling");
  a->Cycles->AddString("G76 threading");
  a->Cycles->UserSelect(1);
  EXPECT_EQ(a->Chosen, 1);
  EXPECT_EQ(a->Cycles->GetTextLimit(), 50);
  EXPECT_EQ(a->Cycles->GetWindowRect().Width(), 240);

  EXPECT_EQ(a->Side->GetDirection(), TGadgetWindow::Vertical);
  TRect side = a->Side->GetWindowRect(), client = a->GetClientWindow()->GetWindowRect();
  EXPECT_EQ(client.left, side.right);
  EXPECT_EQ(client.top, side.top);
  EXPECT_EQ(a->Side->GadgetWithId(1012)->GetBounds().top, a->Side->GadgetWithId(1011)->GetBounds().bottom + 4);
  auto tops = a->GetDecorations(TDecoratedFrame::Top);
  ASSERT_EQ(tops.size(), 2u);
  EXPECT_EQ(tops[1]->GetWindowRect().top, tops[0]->GetWindowRect().bottom);
  EXPECT_EQ(side.top, tops[1]->GetWindowRect().bottom);
}

// A pop-up frame with commands on its bar itself (as a report's preview
// has): owned by the frame, no MDI child of it; its commands are chosen
// while their enabler allows.
class BarFrame : public TFrameWindow {
 public:
  explicit BarFrame(TWindow* owner) : TFrameWindow(owner, "Pop-up") {
    Attr.Style = WS_POPUP | WS_VISIBLE | WS_CAPTION;
    HMENU bar = CreateMenu();
    AppendMenu(bar, MF_STRING, 111, "&Next");
    AppendMenu(bar, MF_STRING, 444, "&Close");
    AssignMenu(bar);
  }
  void CmNext() { ++Nexts; }
  void CeNext(TCommandEnabler& ce) { ce.Enable(More); }
  int Nexts = 0;
  bool More = true;
  DECLARE_RESPONSE_TABLE(BarFrame);
};

DEFINE_RESPONSE_TABLE1(BarFrame, TFrameWindow)
  EV_COMMAND(111, CmNext),
  EV_COMMAND_ENABLE(111, CeNext),
END_RESPONSE_TABLE;

TEST_F(FrameMdiTest, APopUpFrameChoosesTheCommandsOnItsBar) {
  auto* pop = new BarFrame(main_);
  ASSERT_TRUE(pop->Create());
  EXPECT_TRUE(main_->GetMDIChildren().empty());
  EXPECT_EQ(pop->GetMDIFrame(), nullptr);
  EXPECT_TRUE(pop->ChooseMenuCommand(111));
  EXPECT_EQ(pop->Nexts, 1);
  pop->More = false;
  EXPECT_FALSE(pop->ChooseMenuCommand(111));
  EXPECT_TRUE(grey(pop->GetMenu(), 111));
  EXPECT_FALSE(pop->ChooseMenuCommand(444)) << "no handler";
  EXPECT_EQ(pop->Nexts, 1);
}

}  // namespace
