// The window family: children move between parents with both links kept,
// die with the parent that owns them, and misuse of the tree stops the test
// build at once; the notifications that reach a parent, in order.
// Covers: platform/ui/window.cpp (family, notifications), platform/plugin.cpp (message sender)
#include "platform/plugin.h"
#include "platform/ui/button.h"
#include "platform/ui/handles.h"
#include "tests/platform/ui_test_support.h"
#include "tests/support/message_recorder.h"

namespace {

using UiFamily = uitest::UiTest;

TEST_F(UiFamily, ReparentedChildIsListedOnceByItsNewParentAndDiesWithIt) {
  TWindow first(nullptr, "first");
  auto second = std::make_unique<TWindow>(nullptr, "second");
  auto* child = new TWindow(&first, "child");
  auto* grandchild = new TWindow(child, "grandchild");

  child->SetParent(second.get());
  EXPECT_TRUE(first.GetChildren().empty());
  ASSERT_EQ(second->GetChildren(), std::vector<TWindow*>{child});
  EXPECT_EQ(child->GetParentO(), second.get());
  EXPECT_EQ(grandchild->GetParentO(), child);

  ASSERT_TRUE(second->Create());
  EXPECT_TRUE(child->IsWindow());
  EXPECT_TRUE(grandchild->IsWindow());
  // The heap children go with their owner, each once (the sanitizer
  // catches a second delete), and no handle is left behind.
  second.reset();
  EXPECT_TRUE(first.GetChildren().empty());
}

#ifndef NDEBUG
TEST_F(UiFamily, MisuseOfTheTreeStopsTheTestBuild) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        TWindow top(nullptr, "top");
        auto* below = new TWindow(&top, "below");
        top.SetParent(below);
      },
      "own ancestor");
  EXPECT_DEATH(
      {
        TWindow self(nullptr, "self");
        self.SetParent(&self);
      },
      "child != this");
}
#endif

TEST_F(UiFamily, ParentHearsItsControlsInOrder) {
  kvtest::RecordingWindow parent;
  auto* ok = new TButton(&parent, 201, "OK", 0, 0, 80, 24);
  auto* cancel = new TButton(&parent, 202, "Cancel", 90, 0, 80, 24);
  ASSERT_TRUE(parent.Create());
  parent.Recorded.Clear();

  SendMessage(cancel->GetHandle(), BM_CLICK, 0, 0);
  SendMessage(ok->GetHandle(), BM_CLICK, 0, 0);
  EnableWindow(ok->GetHandle(), FALSE);
  SendMessage(ok->GetHandle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(kvtest::SequenceIs(parent.Recorded.Notifications(),
                                 {{202, BN_CLICKED}, {201, BN_CLICKED}}));
  parent.Destroy();
}

TEST_F(UiFamily, AnOwnedPopupShowsWhileItsOwnerIsHiddenAndAChildDoesNot) {
  TWindow owner(nullptr, "owner");
  auto* child = new TWindow(&owner, "child");
  auto* popup = new TWindow(&owner, "popup");
  popup->Attr.Style = WS_POPUP | WS_VISIBLE;
  ASSERT_TRUE(owner.Create());
  owner.ShowWindow(SW_HIDE);
  EXPECT_FALSE(owner.IsWindowVisible());
  EXPECT_FALSE(child->IsWindowVisible());
  EXPECT_TRUE(popup->IsWindowVisible());
  popup->ShowWindow(SW_HIDE);
  EXPECT_FALSE(popup->IsWindowVisible());
  owner.Destroy();
}

}  // namespace
