// Two programs compared in the compare window on a real (virtual) display:
// both lists show their inserted, deleted and changed lines in their
// colours, and scrolling one list on screen scrolls the other.
#include "editor/compare_dlg.h"
#include "platform/plugin.h"
#include "tests/editor/editor_fixture.h"
#include "tests/render/render_support.h"

namespace {

class CompareScreenTest : public kveditor::EditorTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rendertest::VirtualDisplay::get().ok()) << rendertest::VirtualDisplay::get().why();
    EditorTest::SetUp();
    Globals->HookDir = "C:\\HOOKS\\";
    plat::set_plugin_dir(KV_TELMIX_DIR);
  }
  void TearDown() override {
    desk::set_modal_hook(nullptr);
    plat::set_plugin_dir("");
    EditorTest::TearDown();
  }
};

// Screen colours (0xRRGGBB) of the markers: the window's colour values are
// blue-green-red.
constexpr uint32_t kInsertedRgb = 0x00FFFF, kDeletedRgb = 0x00FF00, kChangedRgb = 0xFFFF00;

TEST_F(CompareScreenTest, BothListsShowTheirDifferencesInColourAndScrollTogether) {
  // A hundred lines; near the top one changed, one inserted, one deleted.
  std::string a, b;
  for (int i = 0; i < 100; ++i) {
    std::string n = "N" + std::to_string(i * 10);
    if (i == 2) a += "N15 G1 Z-2\r\n";  // only in the new text
    if (i != 4) a += n + (i == 1 ? " X99\r\n" : " X1\r\n");
    b += n + " X1\r\n";
  }
  std::string newFile = Root() + "/new.nc", oldFile = Root() + "/old.nc";
  kvdb::WriteFileBytes(newFile, a);
  kvdb::WriteFileBytes(oldFile, b);
  rendertest::TRunOnceApp app("Compare", 900, 700, [&](TWindow* frame) {
    RunCompareWindow(frame, newFile.c_str(), oldFile.c_str(), "New", "Old");
  });
  bool ran = false;
  desk::set_modal_hook([&](TDialog& d) {
    ran = true;
    auto& dlg = static_cast<TCompareDialog&>(d);
    desk::run_for(500ms);
    EXPECT_GT(dlg.NewList->GetCount(), 90);
    EXPECT_GT(rendertest::screenshot("compare.png"), 0.0);
    TRect left = desk::screen_rect(dlg.NewList->GetHandle()), right = desk::screen_rect(dlg.OldList->GetHandle());
    ASSERT_GT(left.Height(), 0);
    std::vector<uint32_t> lp = rendertest::pixels("compare.png", left), rp = rendertest::pixels("compare.png", right);
    // Both sides carry the changed, inserted and deleted lines' markers,
    // on the lists' grey.
    for (auto [name, px] : {std::pair{"new", &lp}, std::pair{"old", &rp}}) {
      SCOPED_TRACE(name);
      EXPECT_GT(rendertest::count_colour(*px, kChangedRgb), 50);
      EXPECT_GT(rendertest::count_colour(*px, kInsertedRgb), 50);
      EXPECT_GT(rendertest::count_colour(*px, kDeletedRgb), 50);
      EXPECT_GT(rendertest::count_colour(*px, 0x808080, 8), left.Width() * left.Height() / 3);
    }
    // Scrolling the new side with the keyboard scrolls the old side along.
    ASSERT_EQ(dlg.OldList->GetTopIndex(), 0);
    ASSERT_TRUE(desk::click_at(dlg.NewList->GetHandle(), 40, 5));
    for (int k = 0; k < 3; ++k) desk::press_key_here(VK_NEXT);
    ASSERT_TRUE(desk::run_until([&] { return dlg.NewList->GetTopIndex() > 0; }, 3s));
    ASSERT_TRUE(desk::run_until([&] { return dlg.OldList->GetTopIndex() == dlg.NewList->GetTopIndex(); }, 3s))
        << dlg.OldList->GetTopIndex() << " " << dlg.NewList->GetTopIndex();
    desk::run_for(300ms);
    EXPECT_GT(rendertest::screenshot("compare_scrolled.png"), 0.0);
    // Scrolled past the differences: only unchanged lines are left on both sides.
    std::vector<uint32_t> rs = rendertest::pixels("compare_scrolled.png", right);
    EXPECT_EQ(rendertest::count_colour(rs, kDeletedRgb, 8), 0);
    EXPECT_EQ(rendertest::count_colour(rs, kInsertedRgb, 8), 0);
    desk::press_escape();
    desk::run_until([&] { return dlg.HasEnded(); }, 3s);
  });
  EXPECT_EQ(app.Run(), 0);
  EXPECT_TRUE(ran);
}

}  // namespace
