// The error convention and the texts of the "TABLE ENGINE ERROR" box.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "engine/engine.h"
#include "engine/engine_api.h"
#include "platform/msgbox.h"
#include "engine_fixture.h"

namespace {

struct ComposeCase {
  int code;
  const char* t1;
  const char* t2;
  const char* t3;
  const char* expected;
};

TEST(EngineError, MessageTextsByteForByte) {
  const ComposeCase cases[] = {
      {-60, "File Name:", "KELVINDX.DBF", nullptr,
       "Error #:  -60\nOpening File\nFile Name:\nKELVINDX.DBF\n"},
      {-1020, nullptr, nullptr, nullptr,
       "Error #: ****\nFunction unsupported: library compiled without memo support\n"},
      {-920, nullptr, nullptr, nullptr, "Error #: -920\nOut of Memory\n"},
      {-5, "a", "b", "c", "Error #:   -5\na\nb\nc\n"},          // not in the table
      {-210, nullptr, "skipped", nullptr, "Error #: -210\nUnrecognized Field Name\n"},
  };
  for (const auto& c : cases) {
    char out[257];
    code_error_compose(out, c.code, c.t1, c.t2, c.t3);
    EXPECT_STREQ(out, c.expected) << c.code;
  }
}

TEST(EngineError, LongTextsStopBeforeTheBufferEnd) {
  std::string a(100, 'a'), b(100, 'b'), c(100, 'c');
  char out[257];
  code_error_compose(out, -70, a.c_str(), b.c_str(), c.c_str());
  std::string s = out;
  EXPECT_EQ(s, "Error #:  -70\nReading File\n" + a + "\n" + b + "\n");
  EXPECT_LT(s.size(), 257u);

  std::string huge(1000, 'x');
  code_error_compose(out, -70, huge.c_str(), nullptr, nullptr);
  EXPECT_STREQ(out, "Error #:  -70\nReading File\n");
}

TEST(EngineError, SevereText) {
  char out[257];
  code_error_severe_compose(out, -950, "u_filelength()");
  EXPECT_STREQ(out,
               "\r\n\r\nSevere Error Number #: -950\nUnexpected Result\nu_filelength()\n");
}

TEST(EngineError, BoxShownOnceAndErrorStaysPending) {
  plat::clear_message_box_log();
  DbEngine c;
  EXPECT_EQ(code_error_ex(&c, -60, "File Name:", "X.DBF", nullptr), -60);
  auto log = plat::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].caption, "TABLE ENGINE ERROR");
  EXPECT_EQ(log[0].text, "Error #:  -60\nOpening File\nFile Name:\nX.DBF\n");
  EXPECT_EQ(log[0].flags & MB_ICONMASK, MB_ICONSTOP);
  EXPECT_EQ(code_error_get(&c), -60);

  // Take the error out around clean-up work and put it back exactly.
  EXPECT_EQ(code_error_set(&c, 0), -60);
  EXPECT_EQ(code_error_set(&c, -60), 0);
  EXPECT_EQ(code_error_get(&c), -60);

  plat::clear_message_box_log();
  code_error(&c, -920, nullptr);
  log = plat::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].flags & 0x1000u, 0u) << "out of memory is system-modal";
}

TEST(EngineError, SilentErrorsStoreWithoutBox) {
  plat::clear_message_box_log();
  DbEngine c;
  c.silent_errors = 1;
  EXPECT_EQ(code_error(&c, -200, "T.DBF"), -200);
  EXPECT_EQ(code_error_get(&c), -200);
  EXPECT_TRUE(plat::message_box_log().empty());
}

struct FatalEnd : std::runtime_error {
  using std::runtime_error::runtime_error;
};

TEST(EngineError, BoxThatCannotBeShownEndsTheProgram) {
  auto old_exit = code_set_fatal_exit([](const char* text) { throw FatalEnd(text); });
  auto old_box = plat::set_message_box_handler(
      [](HWND, const std::string&, const std::string&, UINT) { return 0; });
  DbEngine c;
  try {
    code_error(&c, -60, nullptr);
    ADD_FAILURE() << "no end";
  } catch (const FatalEnd& e) {
    EXPECT_STREQ(e.what(), "Memory Error");
  }
  plat::set_message_box_handler(old_box);
  code_set_fatal_exit(old_exit);
}

TEST(EngineError, DefaultsAndTableLookup) {
  DbEngine c;
  EXPECT_EQ(c.initialised, DB_INITIALISED);
  EXPECT_STREQ(c.date_picture, "MM/DD/YY");
  EXPECT_EQ(c.lock_attempts, -1);
  EXPECT_EQ(c.safety, 1);
  EXPECT_EQ(c.memo_block_size, 512);
  EXPECT_EQ(c.copy_size, 16384);
  EXPECT_EQ(c.cache_memory, 983040);
  EXPECT_STREQ(error_text_of(-340), "Unique Key Error");
  EXPECT_EQ(error_text_of(-1), nullptr);
  EXPECT_EQ(error_text_of(0), nullptr);
}

}  // namespace

// One thread's pending error belongs to that thread: another thread's calls
// are neither refused by it nor able to clear it before its caller looks.
TEST(EngineError, PendingErrorBelongsToItsThread) {
  kvtest::QuietEngine c;
  ASSERT_EQ(code_error(&c, -60, "Opening File"), -60);
  std::thread other([&] {
    EXPECT_EQ(code_error_get(&c), 0);
    EXPECT_EQ(code_error(&c, -120, "Writing to File"), -120);
    EXPECT_EQ(code_error_set(&c, 0), -120);
  });
  other.join();
  EXPECT_EQ(code_error_get(&c), -60);
  code_error_set(&c, 0);
  EXPECT_EQ(code_error_get(&c), 0);
}

// A thread that ends with its error still pending leaves the other threads'
// calls as they were.
TEST(EngineError, ThreadEndingWithAnErrorLeavesOthersClean) {
  kvtest::QuietEngine c;
  std::thread other([&] { EXPECT_EQ(code_error(&c, -120, "Writing to File"), -120); });
  other.join();
  EXPECT_EQ(code_error_get(&c), 0);
  ASSERT_EQ(code_error(&c, -60, "Opening File"), -60);
  EXPECT_EQ(code_error_set(&c, 0), -60);
  EXPECT_EQ(code_error_get(&c), 0);
}
