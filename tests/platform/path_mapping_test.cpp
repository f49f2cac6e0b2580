// DOS paths onto the sandbox: drives, separators, "..", case on disk,
// trailing separators and the layer's own current directory.
#include <gtest/gtest.h>

#include <thread>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/sysinfo.h"
#include "tests/platform/file_sandbox.h"

namespace {

class PathMapping : public ::testing::Test {
 protected:
  void SetUp() override {
    FileSandbox::put(box.c("KelvaCfg/DB31/kelvindx.dbf"), "x");
    FileSandbox::put(box.c("NC/P17.NC"), "x");
    FileSandbox::put(box.dir() + "/base/d/Progs/old.nc", "x");
    ASSERT_TRUE(plat::set_current_directory("C:\\KELVACFG"));
  }
  FileSandbox box;
};

TEST_F(PathMapping, MapsDosPathsToNative) {
  struct Case {
    const char* dos;
    const char* native;  // below the sandbox
  } cases[] = {
      {"C:\\KELVACFG\\DB31\\KELVINDX.DBF", "/base/c/KelvaCfg/DB31/kelvindx.dbf"},
      {"c:/kelvacfg/db31/", "/base/c/KelvaCfg/DB31"},              // trailing separator
      {"C:\\KELVACFG\\\\DB31\\.\\KELVINDX.DBF", "/base/c/KelvaCfg/DB31/kelvindx.dbf"},
      {"A:\\KELVCYC3.DBF", "/floppy/KELVCYC3.DBF"},                // floppy, not there yet
      {"..\\NC\\P17.NC", "/base/c/NC/P17.NC"},                     // relative to C:\KELVACFG
      {"..\\nc\\p17.nc", "/base/c/NC/P17.NC"},
      {"DB31\\NEW.DBF", "/base/c/KelvaCfg/DB31/NEW.DBF"},          // about to be created
      {"\\NC\\P18.NC", "/base/c/NC/P18.NC"},                        // root of current drive
      {"C:\\..\\..\\NC\\P17.NC", "/base/c/NC/P17.NC"},             // never above the root
      {"D:\\PROGS\\OLD.NC", "/base/d/Progs/old.nc"},
      {"d:progs", "/base/d/Progs"},                                 // D:'s current dir is its root
      {"C:\\MISSING\\Sub\\F.TXT", "/base/c/MISSING/Sub/F.TXT"},    // rest kept as given
      {"C:\\NC\\P17.NC. ", "/base/c/NC/P17.NC"},                 // trailing dots and blanks go
      {"C:\\NC\\P19.", "/base/c/NC/P19"},
      {"C:\\", "/base/c"},
      {"C:", "/base/c/KelvaCfg"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(plat::to_native_path(c.dos), box.dir() + c.native) << c.dos;
}

TEST_F(PathMapping, NativePathsStayNative) {
  EXPECT_EQ(plat::to_native_path(box.c("kelvacfg/DB31/KELVINDX.DBF")),
            box.c("KelvaCfg/DB31/kelvindx.dbf"));
}

TEST_F(PathMapping, ExactNameWinsOverOtherCase) {
  FileSandbox::put(box.c("NC/p17.nc"), "lower");
  EXPECT_EQ(plat::to_native_path("C:\\NC\\p17.nc"), box.c("NC/p17.nc"));
  EXPECT_EQ(plat::to_native_path("C:\\NC\\P17.NC"), box.c("NC/P17.NC"));
  // Neither matches exactly: the first in byte order, every time.
  EXPECT_EQ(plat::to_native_path("C:\\NC\\P17.nc"), box.c("NC/P17.NC"));
}

TEST_F(PathMapping, AKnownDirectoryAnswersFromItsListUntilRefreshed) {
  FileSandbox::put(box.c("NC/p17.nc"), "lower");
  std::string seenElsewhere;
  {
    plat::KnownDirectory nc("C:\\NC\\");
    ASSERT_TRUE(nc.listed());
    EXPECT_EQ(nc.native(), box.c("NC"));
    EXPECT_EQ(nc.find("P17.nc"), "P17.NC") << "the first in byte order, as the directory read gives";
    EXPECT_EQ(nc.find("P18.NC"), "");
    // Mapping on this thread answers from the list as the read did.
    struct Case {
      const char* dos;
      const char* native;  // below C:\NC
    } cases[] = {
        {"C:\\NC\\P17.NC", "P17.NC"},  // exact names go first, as ever
        {"C:\\NC\\p17.nc", "p17.nc"},
        {"C:\\NC\\P17.nc", "P17.NC"},
        {"C:\\NC\\P18.NC", "P18.NC"},  // missing: kept as given
    };
    for (const Case& c : cases) EXPECT_EQ(plat::to_native_path(c.dos), box.c("NC/") + c.native) << c.dos;

    // A name another process adds is seen after the next refresh; another
    // thread reads the directory as before.
    FileSandbox::put(box.c("NC/q1.nc"), "theirs");
    EXPECT_EQ(plat::to_native_path("C:\\NC\\Q1.NC"), box.c("NC/Q1.NC"));
    std::thread([&] { seenElsewhere = plat::to_native_path("C:\\NC\\Q1.NC"); }).join();
    EXPECT_EQ(seenElsewhere, box.c("NC/q1.nc"));
    ASSERT_TRUE(nc.refresh());
    EXPECT_EQ(plat::to_native_path("C:\\NC\\Q1.NC"), box.c("NC/q1.nc"));

    // A name the thread adds itself is found at once.
    nc.add("Q2.NC");
    EXPECT_EQ(plat::to_native_path("C:\\NC\\q2.nc"), box.c("NC/Q2.NC"));

    // Paths into other directories are read from the disk.
    FileSandbox::put(box.c("OTHER/r1.nc"), "x");
    EXPECT_EQ(plat::to_native_path("C:\\OTHER\\R1.NC"), box.c("OTHER/r1.nc"));
  }
  // Once it goes, the directory is read again.
  EXPECT_EQ(plat::to_native_path("C:\\NC\\q2.nc"), box.c("NC/q2.nc"));
  EXPECT_FALSE(plat::KnownDirectory("C:\\NOWHERE\\").listed());
}

TEST_F(PathMapping, FullDosPath) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"X.DBF", "C:\\KELVACFG\\X.DBF"},
      {"..\\NC\\..\\NC\\P1.NC", "C:\\NC\\P1.NC"},
      {"d:/a/b/", "D:\\a\\b"},
      {"\\", "C:\\"},
      {"A:KELVMD32.DBF", "A:\\KELVMD32.DBF"},
  };
  for (const Case& c : cases) EXPECT_EQ(plat::full_dos_path(c.in), c.out) << c.in;
}

TEST_F(PathMapping, CurrentDirectoryAndDrive) {
  EXPECT_EQ(plat::get_current_directory(), "C:\\KELVACFG");
  EXPECT_EQ(plat::get_current_drive(), 3);

  EXPECT_FALSE(plat::set_current_directory("C:\\NOWHERE"));
  EXPECT_EQ(plat::last_error(), plat::error_not_found);
  EXPECT_FALSE(plat::set_current_directory("C:\\NC\\P17.NC"));  // a file, not a directory
  EXPECT_EQ(plat::get_current_directory(), "C:\\KELVACFG");

  // Each drive keeps its own current directory.
  ASSERT_TRUE(plat::set_current_directory("d:\\progs\\"));
  EXPECT_EQ(plat::get_current_directory(), "D:\\progs");
  EXPECT_EQ(plat::to_native_path("OLD.NC"), box.dir() + "/base/d/Progs/old.nc");
  EXPECT_EQ(plat::to_native_path("C:DB31"), box.c("KelvaCfg/DB31"));

  ASSERT_TRUE(plat::set_current_drive(3));
  EXPECT_EQ(plat::get_current_directory(), "C:\\KELVACFG");
  ASSERT_TRUE(plat::set_current_drive(4));
  EXPECT_EQ(plat::get_current_directory(), "D:\\progs");
  ASSERT_TRUE(plat::set_current_directory("C:\\"));
  EXPECT_EQ(plat::get_current_directory(), "C:\\");

  EXPECT_FALSE(plat::set_current_drive(0));
  EXPECT_FALSE(plat::set_current_drive(27));
  plat::set_drive_root('Q', box.dir() + "/not-there");
  EXPECT_FALSE(plat::set_current_drive(17));
  EXPECT_EQ(plat::get_current_drive(), 3);
}

TEST_F(PathMapping, DriveTable) {
  EXPECT_EQ(plat::drive_root('a'), box.dir() + "/floppy");
  ASSERT_TRUE(plat::set_drive_root('A', ""));  // back to the default, made on demand
  EXPECT_EQ(plat::drive_root('A'), box.dir() + "/base/a");
  EXPECT_TRUE(plat::directory_exists("A:\\"));
  EXPECT_FALSE(plat::set_drive_root('1', "/tmp"));
  EXPECT_EQ(plat::drive_root('#'), "");
}

TEST_F(PathMapping, SystemDirectoriesExist) {
  EXPECT_TRUE(plat::directory_exists(plat::windows_directory()));
  EXPECT_TRUE(plat::directory_exists(plat::system_directory()));
  EXPECT_EQ(plat::to_native_path(plat::system_directory()), box.c("WINDOWS/SYSTEM"));
  std::string name = plat::computer_name();
  EXPECT_FALSE(name.empty());
  EXPECT_LE(name.size(), 15u);
  for (char ch : name) EXPECT_FALSE(ch >= 'a' && ch <= 'z') << name;
}

}  // namespace
