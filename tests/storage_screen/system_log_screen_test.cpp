// The system log viewer on a real (virtual) display: lines chosen with the
// mouse, Shift and Ctrl held as a user does, reach the dialog; the lines
// the program chooses are the ones drawn as chosen; Delete takes every
// chosen entry from the table and keeps the others.
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

  // The lines of the list drawn as chosen in the screenshot: those whose
  // empty right-hand part is not in the colour of the list below its
  // lines.
  static std::vector<int> DrawnChosen(const std::string& shot, HWND list, int count) {
    TRect box = desk::screen_rect(list);
    TRect last = desk::shown_line_rect(list, count - 1);
    uint32_t empty = rendertest::pixel(shot, box.left + box.Width() * 3 / 4, box.top + last.bottom + 12);
    std::vector<int> chosen;
    for (int i = 0; i < count; ++i) {
      TRect r = desk::shown_line_rect(list, i);
      int y = box.top + (r.top + r.bottom) / 2;
      std::vector<uint32_t> px =
          rendertest::pixels(shot, TRect(box.left + r.Width() * 3 / 5, y, box.left + r.Width() * 9 / 10, y + 2));
      if (px.empty() || rendertest::count_colour(px, empty, 8) < static_cast<int>(px.size()) / 2) chosen.push_back(i);
    }
    return chosen;
  }
  static std::vector<int> WaitDrawn(const std::string& shot, HWND list, int count, const std::vector<int>& want) {
    std::vector<int> drawn;
    rendertest::screen_until(shot, [&] { return (drawn = DrawnChosen(shot, list, count)) == want; });
    return drawn;
  }

  std::vector<std::string> boxes_;
  plat::MessageBoxHandler oldBoxes_;
};

TEST_F(SystemLogScreen, SeveralLinesChosenOnScreenAreDrawnAndDeletedTogether) {
  rendertest::TRunOnceApp app("System log", 900, 700, [](TWindow* frame) { TLogDlg(frame).Execute(); });
  bool ran = false;
  desk::set_modal_hook([&](TDialog& d) {
    ran = true;
    auto& dlg = static_cast<TLogDlg&>(d);
    HWND list = dlg.LogList->GetHandle();
    ASSERT_TRUE(desk::click(d.GetDlgItem(IDC_SYSTEM_LOG_CREATED)));
    ASSERT_TRUE(desk::run_until([&] { return desk::shown_lines(list).size() == 5; }, 10s));
    EXPECT_GT(rendertest::screenshot("listed.png"), 0.0);
    EXPECT_TRUE(DrawnChosen("listed.png", list, 5).empty());

    // A click, a Shift-click and a Ctrl-click on the lines.
    for (auto [line, keys] : {std::pair{0, 0u}, std::pair{1, UINT{MK_SHIFT}}, std::pair{3, UINT{MK_CONTROL}}}) {
      TRect r = desk::shown_line_rect(list, line);
      ASSERT_GT(r.Height(), 0) << line;
      ASSERT_TRUE(desk::click_at(list, r.left + 20, (r.top + r.bottom) / 2, keys));
    }
    const std::vector<int> byUser = {0, 1, 3};
    EXPECT_TRUE(desk::run_until([&] { return dlg.LogList->GetSelIndexes() == byUser; }, 10s))
        << ::testing::PrintToString(dlg.LogList->GetSelIndexes());
    EXPECT_EQ(desk::shown_selections(list), byUser);
    EXPECT_EQ(WaitDrawn("user.png", list, 5, byUser), byUser);

    // The program's choice is the one drawn.
    dlg.LogList->SetSel(-1, false);
    dlg.LogList->SetSel(2, true);
    dlg.LogList->SetSel(4, true);
    const std::vector<int> byProgram = {2, 4};
    EXPECT_TRUE(desk::run_until([&] { return desk::shown_selections(list) == byProgram; }, 10s))
        << ::testing::PrintToString(desk::shown_selections(list));
    EXPECT_EQ(WaitDrawn("program.png", list, 5, byProgram), byProgram);

    // Delete takes both, after its question.
    ASSERT_TRUE(desk::click(d.GetDlgItem(IDC_SYSTEM_LOG_DELETE)));
    EXPECT_TRUE(desk::run_until([&] { return desk::shown_lines(list).size() == 3; }, 10s));
    std::vector<std::string> shown = desk::shown_lines(list);
    for (std::string& s : shown) s = s.substr(s.rfind(", ") + 2);
    EXPECT_EQ(shown, (std::vector<std::string>{"CREATED A", "CREATED B", "CREATED D"}));
    EXPECT_TRUE(desk::shown_selections(list).empty());
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
