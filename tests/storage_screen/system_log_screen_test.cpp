// The system log viewer on a real (virtual) display: lines chosen with the
// mouse, Shift and Ctrl held as a user does, reach the dialog, also after
// the program chose others; the lines the program chooses are the ones
// drawn as chosen; Delete takes every chosen entry from the table and
// keeps the others.
#include "platform/msgbox.h"
#include "resources/dialogs/logs.h"
#include "storage/system_log.h"
#include "tests/render/render_support.h"
#include "tests/storage/log_fixture.h"

namespace {

class SystemLogScreen : public kvlogs::LogTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rendertest::VirtualDisplay::get().ok()) << rendertest::VirtualDisplay::get().why();
    LogTest::SetUp();
    // Five entries of one event, listed in the order written (day first).
    MakeSystemLog({{"1", "7", "0", "CREATED A", "20260101"},
                   {"2", "7", "0", "CREATED B", "20260102"},
                   {"3", "7", "0", "CREATED C", "20260103"},
                   {"4", "7", "0", "CREATED D", "20260104"},
                   {"5", "7", "0", "CREATED E", "20260105"}});
    oldBoxes_ = plat::set_message_box_handler([this](HWND, const std::string& text, const std::string&, UINT) {
      boxes_.push_back(text);
      return IDYES;
    });
  }
  void TearDown() override {
    desk::set_modal_hook(nullptr);
    plat::set_message_box_handler(oldBoxes_);
    LogTest::TearDown();
  }

  // The lines of the list whose part from x0 to x1 (its width's tenths)
  // is not mostly in the colour of the list below its lines: on the left,
  // lines whose text is drawn; on the right, lines drawn as chosen.
  static std::vector<int> DrawnLines(const std::string& shot, HWND list, int count, int x0, int x1) {
    TRect box = desk::screen_rect(list);
    TRect last = desk::shown_line_rect(list, count - 1);
    uint32_t empty = rendertest::pixel(shot, box.left + box.Width() * 3 / 4, box.top + last.bottom + 12);
    std::vector<int> lines;
    for (int i = 0; i < count; ++i) {
      TRect r = desk::shown_line_rect(list, i);
      int y = box.top + (r.top + r.bottom) / 2;
      std::vector<uint32_t> px = rendertest::pixels(
          shot, TRect(box.left + r.left + r.Width() * x0 / 10, y, box.left + r.left + r.Width() * x1 / 10, y + 2));
      if (px.empty() || rendertest::count_colour(px, empty, 8) < static_cast<int>(px.size()) * 9 / 10)
        lines.push_back(i);
    }
    return lines;
  }
  static std::vector<int> WaitChosen(const std::string& shot, HWND list, int count, const std::vector<int>& want) {
    std::vector<int> drawn;
    rendertest::screen_until(shot, [&] { return (drawn = DrawnLines(shot, list, count, 6, 9)) == want; });
    return drawn;
  }

  void Drive(TLogDlg& dlg);

  std::vector<std::string> boxes_;
  plat::MessageBoxHandler oldBoxes_;
};

void SystemLogScreen::Drive(TLogDlg& dlg) {
  HWND list = dlg.LogList->GetHandle();
  ASSERT_TRUE(desk::click(dlg.GetDlgItem(IDC_SYSTEM_LOG_CREATED)));
  // Every line drawn where the list says it is, none chosen.
  const std::vector<int> all = {0, 1, 2, 3, 4};
  ASSERT_TRUE(rendertest::screen_until("listed.png", [&] {
    return desk::shown_lines(list).size() == 5 && DrawnLines("listed.png", list, 5, 0, 3) == all;
  }));
  EXPECT_TRUE(DrawnLines("listed.png", list, 5, 6, 9).empty());

  auto clickLine = [&](int line, UINT keys) {
    TRect r = desk::shown_line_rect(list, line);
    return r.Height() > 0 && desk::click_at(list, r.left + 20, (r.top + r.bottom) / 2, keys);
  };
  auto chosen = [&](const std::vector<int>& want) {
    return desk::run_until([&] { return dlg.LogList->GetSelIndexes() == want; }, 10s);
  };
  // A click on a line, the program choosing others, the same click
  // again: the user's line is the one chosen, on screen and in the list.
  ASSERT_TRUE(clickLine(2, 0));
  ASSERT_TRUE(chosen({2})) << ::testing::PrintToString(dlg.LogList->GetSelIndexes());
  dlg.LogList->SetSel(-1, false);
  dlg.LogList->SetSel(1, true);
  ASSERT_TRUE(desk::run_until([&] { return desk::shown_selections(list) == std::vector<int>{1}; }, 10s));
  ASSERT_TRUE(clickLine(2, 0));
  EXPECT_TRUE(chosen({2})) << ::testing::PrintToString(dlg.LogList->GetSelIndexes());

  // A click, a Shift-click and a Ctrl-click on the lines.
  ASSERT_TRUE(clickLine(0, 0));
  ASSERT_TRUE(clickLine(1, MK_SHIFT));
  ASSERT_TRUE(clickLine(3, MK_CONTROL));
  const std::vector<int> byUser = {0, 1, 3};
  EXPECT_TRUE(chosen(byUser)) << ::testing::PrintToString(dlg.LogList->GetSelIndexes());
  EXPECT_EQ(desk::shown_selections(list), byUser);
  EXPECT_EQ(WaitChosen("user.png", list, 5, byUser), byUser);

  // The program's choice is the one drawn.
  dlg.LogList->SetSel(-1, false);
  dlg.LogList->SetSel(2, true);
  dlg.LogList->SetSel(4, true);
  const std::vector<int> byProgram = {2, 4};
  EXPECT_TRUE(desk::run_until([&] { return desk::shown_selections(list) == byProgram; }, 10s))
      << ::testing::PrintToString(desk::shown_selections(list));
  EXPECT_EQ(WaitChosen("program.png", list, 5, byProgram), byProgram);

  // Delete takes both, after its question.
  ASSERT_TRUE(desk::click(dlg.GetDlgItem(IDC_SYSTEM_LOG_DELETE)));
  EXPECT_TRUE(desk::run_until([&] { return desk::shown_lines(list).size() == 3; }, 10s));
  std::vector<std::string> shown = desk::shown_lines(list);
  for (std::string& line : shown) line = line.substr(line.rfind(", ") + 2);
  EXPECT_EQ(shown, (std::vector<std::string>{"CREATED A", "CREATED B", "CREATED D"}));
  EXPECT_TRUE(desk::shown_selections(list).empty());
}

TEST_F(SystemLogScreen, SeveralLinesChosenOnScreenAreDrawnAndDeletedTogether) {
  rendertest::TRunOnceApp app("System log", 900, 700, [](TWindow* frame) { TLogDlg(frame).Execute(); });
  bool ran = false;
  desk::set_modal_hook([&](TDialog& d) {
    ran = true;
    Drive(static_cast<TLogDlg&>(d));
    // Also after a failed step: the program ends, the test never hangs.
    if (!d.HasEnded()) d.Destroy(IDCANCEL);
  });
  EXPECT_EQ(app.Run(), 0);
  EXPECT_TRUE(ran);
  EXPECT_EQ(boxes_, std::vector<std::string>{"Delete the selected system log entries?"});
  EXPECT_EQ(PeerRows(DbPath("LOG00000.DBF"), "ID TEXT"),
            (std::vector<std::string>{"ID=1 TEXT=CREATED A", "ID=2 TEXT=CREATED B", "ID=4 TEXT=CREATED D",
                                      "* ID=3 TEXT=CREATED C", "* ID=5 TEXT=CREATED E"}));
}

}  // namespace
