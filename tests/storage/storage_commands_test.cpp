// The storage commands of the main frame: each opens its dialog only for a
// user who holds its right.
#include <gtest/gtest.h>

#include "app/frame_commands.h"
#include "resources/menus/main.h"
#include "storage/storage_commands.h"
#include "tests/storage/log_fixture.h"

namespace {

class StorageCommandsTest : public kvlogs::LogTest {
 protected:
  void TearDown() override {
    for (UINT id : {7100u, 7101u, 7102u}) RegisterFrameCommand(id, nullptr);
    LogTest::TearDown();
  }
};

TEST_F(StorageCommandsTest, LogDialogsOpenOnlyWithTheirRight) {
  RegisterStorageCommands();
  struct Case {
    UINT id;
    uint32_t right;
    int dialog;
  } cases[] = {{kCmViewSystemLog, 0x2000000, 25}, {kCmLogBaseTypes, 0x8000, 31}, {kCmLogChangeCriteria, 0x8000, 45}};
  TCommandHostFrame host(nullptr, "Kelvane", nullptr);
  TCommandHostFrame* frame = &host;
  ASSERT_TRUE(frame->Create());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    plat::GTestUiDriver driver;
    Globals->RightsMask = ~c.right;
    frame->SendMessage(WM_COMMAND, c.id);
    EXPECT_TRUE(driver.dialogs_shown().empty());
    Globals->RightsMask = c.right;
    driver.expect_dialog(c.dialog, [](TDialog& d) { plat::Pilot(d).close_box(); });
    frame->SendMessage(WM_COMMAND, c.id);
    EXPECT_EQ(driver.dialogs_shown().size(), 1u);
  }
  frame->Destroy();
}

}  // namespace
