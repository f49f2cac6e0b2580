// Opening, share modes, reading and writing, and failed writes.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/file.h"
#include "tests/platform/file_sandbox.h"

namespace {

using plat::Access;
using plat::Disposition;
using plat::Share;

class FileIo : public ::testing::Test {
 protected:
  FileSandbox box;
};

TEST_F(FileIo, Dispositions) {
  struct Case {
    Disposition disposition;
    bool exists;
    int error;             // 0 = opens
    const char* content;   // afterwards
  } cases[] = {
      {Disposition::create_new, false, 0, ""},
      {Disposition::create_new, true, plat::error_exists, "old"},
      {Disposition::create_always, false, 0, ""},
      {Disposition::create_always, true, 0, ""},
      {Disposition::open_existing, false, plat::error_not_found, nullptr},
      {Disposition::open_existing, true, 0, "old"},
      {Disposition::open_always, false, 0, ""},
      {Disposition::open_always, true, 0, "old"},
      {Disposition::truncate_existing, false, plat::error_not_found, nullptr},
      {Disposition::truncate_existing, true, 0, ""},
  };
  int i = 0;
  for (const Case& c : cases) {
    std::string name = "F" + std::to_string(i++) + ".DBF";
    if (c.exists) FileSandbox::put(box.c(name), "old");
    int err = -1;
    plat::File f = plat::create_file("C:\\" + name, Access::read_write, Share::read_write,
                                     c.disposition, &err);
    EXPECT_EQ(err, c.error) << i;
    EXPECT_EQ(f.is_open(), c.error == 0) << i;
    if (c.content) {
      EXPECT_EQ(FileSandbox::get(box.c(name)), c.content) << i;
    } else {
      EXPECT_FALSE(std::filesystem::exists(box.c(name))) << i;
    }
  }
}

TEST_F(FileIo, RefusesDirectoriesAndMissingDirectories) {
  int err = 0;
  EXPECT_FALSE(plat::create_file("C:\\", Access::read, Share::read_write, Disposition::open_existing, &err).is_open());
  EXPECT_EQ(err, plat::error_access_denied);
  EXPECT_FALSE(plat::create_file("C:\\NODIR\\X.DBF", Access::read_write, Share::read_write,
                                 Disposition::create_new, &err).is_open());
  EXPECT_EQ(err, plat::error_not_found);
  EXPECT_FALSE(plat::create_file("", Access::read, Share::read_write, Disposition::open_existing).is_open());
  EXPECT_EQ(plat::last_error(), plat::error_not_found);
}

TEST_F(FileIo, ShareModesBetweenTwoOpens) {
  struct Case {
    Access first_access;
    Share first_share;
    Access second_access;
    Share second_share;
    bool second_opens;
  } cases[] = {
      {Access::read_write, Share::read_write, Access::read_write, Share::read_write, true},
      {Access::read_write, Share::none, Access::read, Share::read_write, false},
      {Access::read, Share::read_write, Access::read, Share::none, false},
      {Access::read, Share::read, Access::read, Share::read_write, true},
      {Access::read, Share::read, Access::write, Share::read_write, false},
      {Access::read_write, Share::read_write, Access::read, Share::read, false},  // denies a writer already there
      {Access::read, Share::read_write, Access::read, Share::read, true},
      {Access::write, Share::read_write, Access::read, Share::write, true},
      {Access::read, Share::write, Access::read, Share::read_write, false},
  };
  FileSandbox::put(box.c("T.DBF"), "data");
  for (const Case& c : cases) {
    plat::File a = plat::create_file("C:\\T.DBF", c.first_access, c.first_share, Disposition::open_existing);
    ASSERT_TRUE(a.is_open());
    int err = 0;
    plat::File b = plat::create_file("c:\\t.dbf", c.second_access, c.second_share, Disposition::open_existing, &err);
    EXPECT_EQ(b.is_open(), c.second_opens) << &c - cases;
    if (!c.second_opens) {
      EXPECT_EQ(err, plat::error_sharing_violation) << &c - cases;
    }
  }
  // Once the exclusive handle is closed the file opens again.
  plat::File a = plat::create_file("C:\\T.DBF", Access::read_write, Share::none, Disposition::open_existing);
  ASSERT_TRUE(a.is_open());
  EXPECT_TRUE(plat::close(a));
  EXPECT_FALSE(plat::close(a));
  EXPECT_EQ(plat::last_error(), plat::error_invalid_handle);
  EXPECT_TRUE(plat::create_file("C:\\T.DBF", Access::read, Share::none, Disposition::open_existing).is_open());
}

// Two exclusive opens racing each other: never both.
TEST_F(FileIo, RacingExclusiveOpens) {
  FileSandbox::put(box.c("RACE.DBF"), "");
  for (int round = 0; round < 50; ++round) {
    std::atomic<int> ready{0};
    bool opened[2] = {};
    plat::File files[2];
    auto run = [&](int i) {
      ++ready;
      while (ready < 2) {
      }
      files[i] = plat::create_file("C:\\RACE.DBF", Access::read_write, Share::none, Disposition::open_existing);
      opened[i] = files[i].is_open();
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    EXPECT_FALSE(opened[0] && opened[1]) << round;
  }
}

TEST_F(FileIo, RefusedCreateAlwaysKeepsTheData) {
  FileSandbox::put(box.c("BUSY.TMP"), "being written");
  plat::File writer = plat::create_file("C:\\BUSY.TMP", Access::read_write, Share::none, Disposition::open_existing);
  ASSERT_TRUE(writer.is_open());
  EXPECT_FALSE(plat::create_file("C:\\BUSY.TMP", Access::read_write, Share::read_write, Disposition::create_always).is_open());
  EXPECT_EQ(FileSandbox::get(box.c("BUSY.TMP")), "being written");
}

TEST_F(FileIo, ReadWriteSeekLength) {
  plat::File f = plat::create_file("C:\\RW.DAT", Access::read_write, Share::read_write, Disposition::create_new);
  ASSERT_TRUE(f.is_open());
  EXPECT_EQ(plat::write_at(f, 0, "0123456789", 10), 10);
  EXPECT_EQ(plat::write_at(f, 2000000000, "Z", 1), 1);  // far offsets: a sparse file
  EXPECT_EQ(plat::length(f), 2000000001);
  ASSERT_TRUE(plat::set_length(f, 10));
  EXPECT_EQ(plat::length(f), 10);

  char buf[16] = {};
  EXPECT_EQ(plat::read_at(f, 6, buf, sizeof buf), 4);  // short read at the end: the count read
  EXPECT_EQ(std::string(buf, 4), "6789");
  EXPECT_EQ(plat::read_at(f, 10, buf, sizeof buf), 0);
  EXPECT_EQ(plat::read_at(f, 99, buf, sizeof buf), 0);

  EXPECT_EQ(plat::seek(f, 250), 250);
  EXPECT_EQ(plat::seek(f, 0, plat::Whence::end), 10);
  EXPECT_EQ(plat::write(f, "AB", 2), 2);
  EXPECT_EQ(plat::seek(f, -4, plat::Whence::current), 8);
  EXPECT_EQ(plat::read(f, buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "89AB");
  EXPECT_TRUE(plat::flush(f));
  EXPECT_EQ(plat::seek(f, -1), -1);
  EXPECT_EQ(plat::last_error(), plat::error_invalid_argument);
  ASSERT_TRUE(plat::close(f));
  EXPECT_EQ(FileSandbox::get(box.c("RW.DAT")), "0123456789AB");
  EXPECT_EQ(plat::read_at(f, 0, buf, 1), -1);
  EXPECT_EQ(plat::last_error(), plat::error_invalid_handle);
}

TEST_F(FileIo, ReadOnlyHandleRefusesWrites) {
  FileSandbox::put(box.c("RO.DBF"), "keep");
  plat::File f = plat::create_file("C:\\RO.DBF", Access::read, Share::read_write, Disposition::open_existing);
  ASSERT_TRUE(f.is_open());
  EXPECT_EQ(plat::write_at(f, 0, "x", 1), -1);
  EXPECT_EQ(plat::last_error(), plat::error_access_denied);
  EXPECT_EQ(plat::write(f, "x", 1), -1);
  EXPECT_FALSE(plat::set_length(f, 0));
  EXPECT_EQ(FileSandbox::get(box.c("RO.DBF")), "keep");
}

// A write the file system refuses half-way must be a failure, not a short
// success. A file-size limit stands in for a full disk; it runs in a child
// so the limit stays there.
TEST_F(FileIo, FailedWriteIsReported) {
  plat::File f = plat::create_file("C:\\FULL.DAT", Access::read_write, Share::read_write, Disposition::create_new);
  ASSERT_TRUE(f.is_open());
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {100, 100};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    char block[64] = {};
    int code = 0;
    if (plat::write_at(f, 0, block, 64) != 64) code |= 1;           // fits
    if (plat::write_at(f, 64, block, 64) != -1) code |= 2;          // 36 bytes fit, the rest not
    if (plat::last_error() != EFBIG) code |= 4;
    if (plat::seek(f, 90) != 90 || plat::write(f, block, 20) != -1) code |= 8;
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
