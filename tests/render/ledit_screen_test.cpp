// The large-text edit control on a real (virtual) display: the user types,
// selects with Shift and the arrows, copies and pastes through the
// desktop's clipboard, scrolls with the wheel and the keys, and finds and
// replaces through the control's dialogs.
#include <gtest/gtest.h>

#include <string>

#include "platform/ledit/control.h"
#include "platform/ui/accel.h"
#include "platform/ui/application.h"
#include "platform/ui/clipboard.h"
#include "tests/render/render_support.h"

namespace {

class TEditFrameApp : public TApplication {
 public:
  explicit TEditFrameApp(std::function<void(LEditControl&)> script) : Script(std::move(script)) {}
  void InitMainWindow() override {
    auto* frame = new TWindow(nullptr, "Edit control");
    frame->Attr.Style = WS_OVERLAPPEDWINDOW;
    frame->Attr.W = 640;
    frame->Attr.H = 400;
    Edit = new LEditControl(frame, 100, nullptr, 10, 10, 600, 330);
    Edit->Attr.Style |= WS_HSCROLL | WS_VSCROLL | WS_BORDER;
    SetMainWindow(frame);
  }
  bool IdleAction(long idleCount) override {
    bool more = TApplication::IdleAction(idleCount);
    if (!Done) {
      Done = true;
      Script(*Edit);
      GetMainWindow()->PostMessage(WM_CLOSE);
    }
    return more;
  }
  std::function<void(LEditControl&)> Script;
  LEditControl* Edit = nullptr;
  bool Done = false;
};

std::string all(LEditControl& e) { return e.Doc().all(); }

TEST_F(DesktopTest, EditControlTypesSelectsCopiesScrollsAndFinds) {
  TEditFrameApp app([](LEditControl& e) {
    HWND h = e.GetHandle();
    desk::run_for(300ms);

    // Typing, with Enter making CR LF lines.
    ASSERT_TRUE(desk::type(h, "G01 X10"));
    desk::press_enter();
    ASSERT_TRUE(desk::type(h, "M30"));
    ASSERT_TRUE(desk::run_until([&] { return all(e) == "G01 X10\r\nM30"; }, 3s)) << all(e);

    // Shift+arrows select; Ctrl+C copies to the desktop's clipboard.
    desk::press_key(VK_UP);
    desk::press_key(VK_END);
    desk::press_key(VK_LEFT, true);
    desk::press_key(VK_LEFT, true);
    desk::press_key(VK_LEFT, true);
    ASSERT_TRUE(desk::run_until([&] { return e.CaretPos() == 4 && e.AnchorPos() == 7; }, 3s))
        << e.AnchorPos() << "-" << e.CaretPos();
    desk::press_ctrl('c');
    ASSERT_TRUE(desk::run_until([&] { return plat::clipboard_text() == "X10"; }, 3s)) << plat::clipboard_text();
    // Ctrl+End, then Ctrl+V pastes it back from the desktop.
    desk::press_key(VK_END, false, true);
    desk::press_ctrl('v');
    ASSERT_TRUE(desk::run_until([&] { return all(e) == "G01 X10\r\nM30X10"; }, 3s)) << all(e);
    // Undo takes the paste back.
    desk::press_ctrl('z');
    ASSERT_TRUE(desk::run_until([&] { return all(e) == "G01 X10\r\nM30"; }, 3s)) << all(e);

    // A long text: Ctrl+Down and Page Down scroll, Ctrl+Home goes back.
    std::string text;
    for (int i = 1; i <= 2000; ++i) text += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + "\r\n";
    ::SendMessage(h, LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>(text.c_str()));
    desk::run_for(100ms);
    ASSERT_TRUE(desk::click_at(h, 50, 20));
    desk::press_key(VK_DOWN, false, true);
    ASSERT_TRUE(desk::run_until([&] { return e.Metrics().topLine > 0; }, 3s));
    desk::press_key(VK_NEXT);
    desk::press_key(VK_NEXT);
    ASSERT_TRUE(desk::run_until([&] { return e.Doc().line_of(e.CaretPos()) > 20; }, 3s));
    EXPECT_GT(e.Metrics().topLine, 10u);
    desk::run_for(200ms);
    double spread = rendertest::screenshot("render_ledit.png");
    ASSERT_GE(spread, 0) << "no screenshot taken";
    EXPECT_GT(spread, 0.05) << "the screen looks blank";
    desk::press_key(VK_HOME, false, true);
    ASSERT_TRUE(desk::run_until([&] { return e.CaretPos() == 0 && e.Metrics().topLine == 0; }, 3s));

    // Ctrl+F: the find dialog on screen finds line 1500.
    on_dialog([](TDialog& d) {
      desk::run_for(200ms);
      HWND dh = d.GetHandle();
      ASSERT_TRUE(desk::type(GetDlgItem(dh, 101), "N1500 "));
      desk::press_enter();
      desk::run_until([&] { return d.HasEnded(); }, 3s);
    });
    desk::press_ctrl('f');
    ASSERT_TRUE(desk::run_until([&] { return e.Doc().line_of(e.CaretPos()) == 1499; }, 3s));
    EXPECT_GE(e.Metrics().topLine + e.Metrics().pageLines, 1500u);

    // Ctrl+H: replace every G01 by G1.
    on_dialog([](TDialog& d) {
      desk::run_for(200ms);
      HWND dh = d.GetHandle();
      ::SetWindowText(GetDlgItem(dh, 101), "");
      ASSERT_TRUE(desk::type(GetDlgItem(dh, 101), "G01"));
      ASSERT_TRUE(desk::type(GetDlgItem(dh, 105), "G1"));
      ASSERT_TRUE(desk::click(GetDlgItem(dh, 107)));
      desk::run_until([&] { return d.HasEnded(); }, 3s);
    });
    desk::press_ctrl('h');
    ASSERT_TRUE(desk::run_until([&] { return e.Doc().find("G01", 0, true, true, false) < 0; }, 3s));
    EXPECT_EQ(e.Doc().line_text(1999), "N2000 G1 X2000");
  });
  EXPECT_EQ(app.Run(), 0);
  EXPECT_TRUE(app.Done);
}

}  // namespace
