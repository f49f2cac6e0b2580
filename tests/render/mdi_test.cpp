// MDI children on a real (virtual) display, as a user meets them: the
// child the program opens takes the keys, its accelerators and the frame's
// menu act on the same child; captions show which child is active, a
// click on one raises its child over the others; the boxes maximise,
// restore and close, the caption moves and the corner sizes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/dc.h"
#include "platform/ui/edit.h"
#include "platform/ui/frame_decorated.h"
#include "platform/ui/mdi.h"
#include "platform/ui/menu.h"
#include "tests/render/render_support.h"

namespace {

// A client painted in one colour, so the screen shows whose it is.
class TPane : public TWindow {
 public:
  explicit TPane(COLORREF c) : TWindow(static_cast<TWindow*>(nullptr)), Colour(c) {}
  void Paint(TDC& dc, bool, TRect&) override {
    TBrush b(Colour);
    dc.FillRect(GetClientRect(), b);
  }
  COLORREF Colour;
};

class TEditor : public TDecoratedFrame {
 public:
  TEditor(TWindow* mdiClient, const char* title, TRect place, TWindow* client)
      : TDecoratedFrame(mdiClient, title, client) {
    TMenuDescr descr(CreateMenu(), 0, 0, 0, 0, 0, 0);
    descr.AppendPopup(TMenuDescr::FileGroup, LoadMenu(nullptr, 810), "&File");
    descr.AppendPopup(TMenuDescr::EditGroup, LoadMenu(nullptr, 811), "&Edit");
    SetMenuDescr(descr);
    SetAcceleratorTable(810);
    Attr.X = place.left;
    Attr.Y = place.top;
    Attr.W = place.Width();
    Attr.H = place.Height();
  }
  void CmSave() { ++Saves; }
  int Saves = 0;
  DECLARE_RESPONSE_TABLE(TEditor);
};

DEFINE_RESPONSE_TABLE1(TEditor, TDecoratedFrame)
  EV_COMMAND(103, CmSave),
END_RESPONSE_TABLE;

class TMain : public TDecoratedMDIFrame {
 public:
  TMain() : TDecoratedMDIFrame("Main", 0, *new TMDIClient) {
    TMenuDescr bar(CreateMenu(), 0, 0, 0, 0, 0, 0);
    bar.AppendPopup(TMenuDescr::FileGroup, LoadMenu(nullptr, 800), "&File");
    bar.AppendPopup(TMenuDescr::HelpGroup, LoadMenu(nullptr, 801), "&Help");
    SetMenuDescr(bar);
    SetAcceleratorTable(800);
    Attr.Style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    Attr.W = 720;
    Attr.H = 520;
  }
};

const COLORREF kRed = RGB(220, 0, 0), kGreen = RGB(0, 200, 0);
const uint32_t kRedPx = 0xDC0000, kGreenPx = 0x00C800, kNavyPx = 0x000080, kGreyPx = 0x808080;

class MdiScreenTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped()) return;
    main_ = std::make_unique<TMain>();
    ASSERT_TRUE(main_->Create());
    desk::run_for(200ms);
  }
  void TearDown() override {
    if (main_) {
      main_->Destroy();
      desk::run_for(100ms);
    }
    DesktopTest::TearDown();
  }
  TEditor* open(const char* title, TRect place, TWindow* client) {
    auto* c = new TEditor(main_->GetClientWindow(), title, place, client);
    EXPECT_TRUE(c->Create());
    return c;
  }
  // A point of the frame's client area, on the screen.
  TPoint on_screen(int x, int y) {
    TRect r = desk::screen_rect(main_->GetClientWindow()->GetHandle());
    return {r.left + x, r.top + y};
  }
  std::unique_ptr<TMain> main_;
};

TEST_F(MdiScreenTest, ChildTheProgramOpensTakesTheKeysAndItsCommands) {
  auto* editA = new TEdit(nullptr, 100, "", 0, 0, 0, 0, 0, true);
  TEditor* a = open("P17.NC", TRect(10, 10, 330, 230), editA);
  auto* editB = new TEdit(nullptr, 100, "", 0, 0, 0, 0, 0, true);
  TEditor* b = open("P20.NC", TRect(60, 40, 380, 260), editB);
  HWND h = main_->GetHandle();
  ASSERT_TRUE(desk::run_until([&] { return desk::shown_focus(editB->GetHandle()); }, 3s));

  desk::type_here("G01");
  ASSERT_TRUE(desk::run_until([&] { return editB->GetText() == "G01"; }, 3s)) << editB->GetText();
  EXPECT_EQ(editA->GetText(), "");
  // The child's F4 and the frame's File > Save act on the same child.
  desk::press_function_key(4);
  ASSERT_TRUE(desk::run_until([&] { return b->Saves == 1; }, 3s));
  ASSERT_TRUE(desk::choose_menu(h, 103));
  ASSERT_TRUE(desk::run_until([&] { return b->Saves == 2; }, 3s));
  EXPECT_EQ(a->Saves, 0);

  // Activated by the program: the keys follow.
  main_->MDIActivate(a);
  ASSERT_TRUE(desk::run_until([&] { return desk::shown_focus(editA->GetHandle()); }, 3s));
  desk::type_here("X5");
  desk::press_function_key(4);
  ASSERT_TRUE(desk::run_until([&] { return a->Saves == 1 && editA->GetText() == "X5"; }, 3s)) << editA->GetText();
  EXPECT_EQ(b->Saves, 2);
  EXPECT_EQ(editB->GetText(), "G01");
}

// A child made with its frame, before anything is on screen, has the keys
// once it shows.
TEST_F(DesktopTest, ChildMadeWithItsFrameHasTheKeysAtStartUp) {
  TMain main;
  auto* edit = new TEdit(nullptr, 100, "", 0, 0, 0, 0, 0, true);
  new TEditor(main.GetClientWindow(), "P17.NC", TRect(10, 10, 330, 230), edit);
  ASSERT_TRUE(main.Create());
  ASSERT_TRUE(desk::run_until([&] { return desk::shown_focus(edit->GetHandle()); }, 3s));
  desk::type_here("N10");
  ASSERT_TRUE(desk::run_until([&] { return edit->GetText() == "N10"; }, 3s)) << edit->GetText();
  main.Destroy();
  desk::run_for(100ms);
}

TEST_F(MdiScreenTest, ClickOnACaptionRaisesItsChildOverTheOther) {
  TEditor* a = open("P17.NC", TRect(10, 10, 310, 210), new TPane(kRed));
  TEditor* b = open("P20.NC", TRect(150, 90, 450, 290), new TPane(kGreen));
  desk::run_for(400ms);
  TPoint overlap = on_screen(230, 150);
  // b came last and lies on top; its caption is the active one.
  rendertest::screenshot("mdi_before.png");
  EXPECT_EQ(rendertest::pixel("mdi_before.png", overlap.x, overlap.y), kGreenPx);
  TRect bCaption = desk::screen_rect(b->GetHandle());
  std::vector<uint32_t> bBar = rendertest::pixels(
      "mdi_before.png", TRect(bCaption.left + 200, bCaption.top + 5, bCaption.left + 260, bCaption.top + 18));
  EXPECT_GT(rendertest::count_colour(bBar, kNavyPx, 8), static_cast<int>(bBar.size()) / 2);

  ASSERT_TRUE(desk::click_at(a->GetHandle(), 150, 10));
  ASSERT_TRUE(desk::run_until([&] { return main_->GetActiveMDIChild() == a; }, 3s));
  desk::run_for(300ms);
  rendertest::screenshot("mdi_after.png");
  EXPECT_EQ(rendertest::pixel("mdi_after.png", overlap.x, overlap.y), kRedPx);
  // b's client still shows beside a, and its caption is the inactive one.
  TPoint bOnly = on_screen(400, 250);
  EXPECT_EQ(rendertest::pixel("mdi_after.png", bOnly.x, bOnly.y), kGreenPx);
  std::vector<uint32_t> bBarAfter = rendertest::pixels(
      "mdi_after.png", TRect(bCaption.left + 200, bCaption.top + 5, bCaption.left + 260, bCaption.top + 18));
  EXPECT_GT(rendertest::count_colour(bBarAfter, kGreyPx, 8), static_cast<int>(bBarAfter.size()) / 2);
  EXPECT_EQ(GetFocus(), a->GetClientWindow()->GetHandle());
}

TEST_F(MdiScreenTest, BoxesMaximiseRestoreAndCloseTheCaptionMovesTheCornerSizes) {
  TEditor* a = open("P17.NC", TRect(10, 10, 310, 210), new TPane(kRed));
  TEditor* b = open("P20.NC", TRect(150, 90, 450, 290), new TPane(kGreen));
  desk::run_for(300ms);
  HWND h = main_->GetHandle();
  auto boxes = [](TEditor* c) {
    int w = desk::screen_rect(c->GetHandle()).Width();
    struct { TPoint min, max, close; } at{{w - 13 - 34, 12}, {w - 13 - 18, 12}, {w - 13, 12}};
    return at;
  };

  // Moving by the caption, sizing by the corner.
  ASSERT_TRUE(desk::drag(a->GetHandle(), 100, 10, 40, 30));
  ASSERT_TRUE(desk::run_until([&] { return a->Data()->rect == TRect(50, 40, 350, 240); }, 3s));
  ASSERT_TRUE(desk::drag(a->GetHandle(), 298, 198, 30, 20));
  ASSERT_TRUE(desk::run_until([&] { return a->Data()->rect == TRect(50, 40, 380, 260); }, 3s));

  // Maximised: the child covers the client, its menu leads the bar.
  auto bBoxes = boxes(b);
  ASSERT_TRUE(desk::click_at(b->GetHandle(), bBoxes.max.x, bBoxes.max.y));
  ASSERT_TRUE(desk::run_until([&] { return b->IsMaximized(); }, 3s));
  desk::run_for(300ms);
  EXPECT_EQ(desk::menu_titles(h).front(), "&-");
  rendertest::screenshot("mdi_max.png");
  TPoint corner = on_screen(4, 4);
  EXPECT_EQ(rendertest::pixel("mdi_max.png", corner.x, corner.y), kGreenPx);
  // Its boxes in the bar: restore, and maximised again, the system menu's restore.
  ASSERT_TRUE(desk::click_bar_box(h, SC_RESTORE));
  ASSERT_TRUE(desk::run_until([&] { return !b->IsMaximized(); }, 3s));
  EXPECT_EQ(b->Data()->rect, TRect(150, 90, 450, 290));
  b->ShowWindow(SW_SHOWMAXIMIZED);
  desk::run_for(300ms);
  ASSERT_TRUE(desk::choose_menu(h, SC_RESTORE));
  ASSERT_TRUE(desk::run_until([&] { return !b->IsMaximized(); }, 3s));
  EXPECT_EQ(b->Data()->rect, TRect(150, 90, 450, 290));
  desk::run_for(200ms);
  EXPECT_NE(desk::menu_titles(h).front(), "&-");

  // The close box closes the child; the other one takes over.
  ASSERT_TRUE(desk::click_at(b->GetHandle(), bBoxes.close.x, bBoxes.close.y));
  ASSERT_TRUE(desk::run_until([&] { return main_->GetMDIChildren().size() == 1; }, 3s));
  EXPECT_EQ(main_->GetActiveMDIChild(), a);
}

}  // namespace
