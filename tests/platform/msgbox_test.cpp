#include "platform/msgbox.h"

#include <gtest/gtest.h>

TEST(MessageBox, AnswersFromQueueAndLogsEveryBox) {
  plat::clear_message_box_log();
  plat::queue_message_box_answer(IDNO);
  EXPECT_EQ(MessageBox(nullptr, "Save changes?", "Editor", MB_YESNO | MB_ICONQUESTION), IDNO);
  // Nothing queued: the first button answers.
  EXPECT_EQ(MessageBox(nullptr, "Really?", "Editor", MB_YESNOCANCEL), IDYES);
  auto log = plat::message_box_log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].text, "Save changes?");
  EXPECT_EQ(log[0].caption, "Editor");
  EXPECT_EQ(log[0].answer, IDNO);
  EXPECT_EQ(log[1].answer, IDYES);
}
