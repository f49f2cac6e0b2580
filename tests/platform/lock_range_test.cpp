// Byte-range locks between handles of one process and between processes,
// at the offsets the table engine uses.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "tests/platform/file_sandbox.h"

namespace {

using plat::Access;
using plat::Disposition;
using plat::Share;

constexpr uint64_t kRecord7 = 1999999999 - 7;
constexpr uint64_t kAppend = 2000000000;
constexpr uint64_t kWholeFile = 1000000000;
constexpr uint64_t kWholeLength = 1000000001;

class LockRange : public ::testing::Test {
 protected:
  void SetUp() override { FileSandbox::put(box.c("KELVINDX.DBF"), "table"); }
  plat::File open() {
    plat::File f = plat::create_file("C:\\KELVINDX.DBF", Access::read_write, Share::read_write, Disposition::open_existing);
    EXPECT_TRUE(f.is_open());
    return f;
  }
  FileSandbox box;
};

TEST_F(LockRange, TwoHandlesOfOneProcessConflict) {
  plat::File a = open();
  plat::File b = open();
  struct Step {
    plat::File* handle;
    bool lock;  // false: unlock
    uint64_t offset, length;
    int error;  // 0 = succeeds
  } steps[] = {
      {&a, true, kRecord7, 1, 0},
      {&b, true, kRecord7, 1, plat::error_lock_violation},
      {&b, true, kRecord7 - 1, 1, 0},                          // the neighbour byte is free
      {&b, true, kWholeFile, kWholeLength, plat::error_lock_violation},  // covers both
      {&a, true, kRecord7, 1, plat::error_lock_violation},     // a handle never stacks a lock
      {&a, true, kAppend, 1, 0},
      {&b, true, kAppend, 1, plat::error_lock_violation},
      {&a, false, kWholeFile, kWholeLength, plat::error_not_locked},  // only exact ranges unlock
      {&b, false, kRecord7, 1, plat::error_not_locked},        // not b's lock
      {&a, false, kRecord7, 1, 0},
      {&b, true, kRecord7, 1, 0},
      {&a, false, kAppend, 1, 0},
      {&a, false, kAppend, 1, plat::error_not_locked},
      {&b, false, kRecord7 - 1, 1, 0},
      {&b, false, kRecord7, 1, 0},
      {&a, true, kWholeFile, kWholeLength, 0},
      {&b, true, 0, 1, 0},                                     // data bytes are not covered
      {&a, true, 0, 0, plat::error_invalid_argument},
      {&a, true, uint64_t(INT64_MAX) - 4, 2, plat::error_invalid_argument},
  };
  for (const Step& s : steps) {
    bool ok = s.lock ? plat::lock_range(*s.handle, s.offset, s.length)
                     : plat::unlock_range(*s.handle, s.offset, s.length);
    EXPECT_EQ(ok, s.error == 0) << &s - steps;
    if (!ok) {
      EXPECT_EQ(plat::last_error(), s.error) << &s - steps;
    }
  }
}

TEST_F(LockRange, SurvivesTheCloseOfAnotherHandle) {
  plat::File a = open();
  ASSERT_TRUE(plat::lock_range(a, kAppend, 1));
  {
    plat::File b = open();
    EXPECT_FALSE(plat::lock_range(b, kAppend, 1));
    ASSERT_TRUE(plat::close(b));
  }
  plat::File c = open();
  EXPECT_FALSE(plat::lock_range(c, kAppend, 1));
  EXPECT_EQ(plat::last_error(), plat::error_lock_violation);
  // Closing the holder frees its locks.
  ASSERT_TRUE(plat::close(a));
  EXPECT_TRUE(plat::lock_range(c, kAppend, 1));
}

// A second process (another station) holds a record lock and an exclusive
// open of another file; ours are refused until it lets go.
TEST_F(LockRange, HeldByAnotherProcess) {
  FileSandbox::put(box.c("EXCL.TMP"), "");
  int ready[2], go[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(go), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    plat::File f = open();
    plat::File x = plat::create_file("C:\\EXCL.TMP", Access::read_write, Share::none, Disposition::open_existing);
    char c = (plat::lock_range(f, kRecord7, 1) && x.is_open()) ? 'y' : 'n';
    if (::write(ready[1], &c, 1) != 1) ::_exit(2);
    if (::read(go[0], &c, 1) != 1) ::_exit(3);
    ::_exit(0);  // the locks go with the process
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');

  plat::File ours = open();
  EXPECT_FALSE(plat::lock_range(ours, kRecord7, 1));
  EXPECT_EQ(plat::last_error(), plat::error_lock_violation);
  EXPECT_FALSE(plat::lock_range(ours, kWholeFile, kWholeLength));
  EXPECT_TRUE(plat::lock_range(ours, kAppend, 1));
  int err = 0;
  EXPECT_FALSE(plat::create_file("C:\\EXCL.TMP", Access::read, Share::read_write, Disposition::open_existing, &err).is_open());
  EXPECT_EQ(err, plat::error_sharing_violation);

  ASSERT_EQ(::write(go[1], "g", 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(plat::lock_range(ours, kRecord7, 1));
  EXPECT_TRUE(plat::create_file("C:\\EXCL.TMP", Access::read, Share::none, Disposition::open_existing).is_open());
  for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
}

}  // namespace
