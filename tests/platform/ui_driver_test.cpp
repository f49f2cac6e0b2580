// The driver's own promises: what a test did not expect fails it, with the
// template id or the box's text, and nothing hangs.
#include <chrono>
#include <thread>

#include "platform/ui/dialog.h"
#include "tests/platform/ui_test_support.h"

namespace {

using namespace std::chrono_literals;

class UiDriverFailures : public uitest::UiTest {};

bool any_contains(const std::vector<std::string>& v, const std::string& part) {
  for (const auto& s : v)
    if (s.find(part) != std::string::npos) return true;
  return false;
}

TEST_F(UiDriverFailures, UnexpectedMessageBoxFailsWithItsText) {
  std::vector<std::string> failures;
  {
    uitest::RecordingDriver driver(&failures);
    EXPECT_EQ(MessageBox(nullptr, "Disk full while saving P1234", "Save", MB_YESNO), IDYES);
    ASSERT_EQ(driver.message_boxes().size(), 1u);
    EXPECT_EQ(driver.message_boxes()[0].caption, "Save");
  }
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("Disk full while saving P1234"), std::string::npos);
}

TEST_F(UiDriverFailures, BoxWithOtherTextThanExpectedFails) {
  std::vector<std::string> failures;
  {
    uitest::RecordingDriver driver(&failures);
    driver.expect_message_box(IDNO, "Delete program");
    EXPECT_EQ(MessageBox(nullptr, "Overwrite file?", "Save", MB_YESNO), IDNO);
  }
  EXPECT_TRUE(any_contains(failures, "Overwrite file?"));
}

TEST_F(UiDriverFailures, UnexpectedDialogFailsWithTemplateIdAndIsCancelled) {
  std::vector<std::string> failures;
  {
    uitest::RecordingDriver driver(&failures);
    TDialog dlg(nullptr, 903);
    EXPECT_EQ(dlg.Execute(), IDCANCEL);
  }
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("unexpected dialog 903"), std::string::npos);
}

TEST_F(UiDriverFailures, DialogLeftOpenAfterItsAnswerFailsInsteadOfHanging) {
  std::vector<std::string> failures;
  {
    uitest::RecordingDriver driver(&failures);
    driver.set_patience(50ms);
    driver.expect_dialog(903, [](TDialog&) {});
    TDialog dlg(nullptr, 903);
    EXPECT_EQ(dlg.Execute(), IDCANCEL);
  }
  EXPECT_TRUE(any_contains(failures, "dialog 903"));
}

TEST_F(UiDriverFailures, ExpectationsNeverMetFail) {
  std::vector<std::string> failures;
  {
    uitest::RecordingDriver driver(&failures);
    driver.expect_dialog(4, nullptr);
    driver.expect_message_box(IDOK, "Welcome");
  }
  EXPECT_TRUE(any_contains(failures, "dialog 4"));
  EXPECT_TRUE(any_contains(failures, "Welcome"));
}

TEST_F(UiDriverFailures, MissingTemplateFailsAndExecuteReturnsMinusOne) {
  std::vector<std::string> failures;
  {
    uitest::RecordingDriver driver(&failures);
    TDialog dlg(nullptr, 4711);
    EXPECT_EQ(dlg.Execute(), -1);
  }
  EXPECT_TRUE(any_contains(failures, "4711"));
}

}  // namespace

namespace {

TEST_F(UiDriverFailures, BoxesFromWorkerThreadsAreAnsweredInOrder) {
  std::vector<std::string> failures;
  {
    uitest::RecordingDriver driver(&failures);
    driver.expect_message_box(IDOK, "COMM-1");
    int answer = 0;
    std::thread worker([&] { answer = MessageBox(nullptr, "COMM-1 : new transfer", "DNC", MB_OK | MB_ICONINFORMATION); });
    worker.join();
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(driver.message_boxes().size(), 1u);
  }
  EXPECT_TRUE(failures.empty());
}

}  // namespace
