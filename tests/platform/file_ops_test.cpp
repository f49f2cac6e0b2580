// Delete, move, copy, directories, last-write time and directory search.
#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <thread>

#include "platform/file.h"
#include "tests/platform/file_sandbox.h"

namespace {

using plat::Access;
using plat::Disposition;
using plat::Share;

class FileOps : public ::testing::Test {
 protected:
  FileSandbox box;
};

TEST_F(FileOps, DeleteRefusesOpenFiles) {
  FileSandbox::put(box.c("NC/P1.NC"), "G0");
  {
    plat::File f = plat::create_file("C:\\NC\\P1.NC", Access::read, Share::read_write, Disposition::open_existing);
    ASSERT_TRUE(f.is_open());
    EXPECT_FALSE(plat::delete_file("c:\\nc\\p1.nc"));
    EXPECT_EQ(plat::last_error(), plat::error_sharing_violation);
    EXPECT_FALSE(plat::move_file("C:\\NC\\P1.NC", "C:\\NC\\P2.NC"));
    EXPECT_EQ(plat::last_error(), plat::error_sharing_violation);
  }
  EXPECT_TRUE(plat::delete_file("c:\\nc\\p1.nc"));
  EXPECT_FALSE(plat::file_exists("C:\\NC\\P1.NC"));
  EXPECT_FALSE(plat::delete_file("C:\\NC\\P1.NC"));
  EXPECT_EQ(plat::last_error(), plat::error_not_found);
  EXPECT_FALSE(plat::delete_file("C:\\NC"));  // a directory
  EXPECT_EQ(plat::last_error(), plat::error_access_denied);
}

TEST_F(FileOps, MoveNeverReplaces) {
  FileSandbox::put(box.c("A.NC"), "a");
  FileSandbox::put(box.c("B.NC"), "b");
  EXPECT_FALSE(plat::move_file("C:\\A.NC", "C:\\b.nc"));
  EXPECT_EQ(plat::last_error(), plat::error_exists);
  EXPECT_EQ(FileSandbox::get(box.c("B.NC")), "b");
  ASSERT_TRUE(plat::create_directory("C:\\BACKUP"));
  EXPECT_TRUE(plat::move_file("C:\\A.NC", "C:\\BACKUP\\A1.NC"));
  EXPECT_EQ(FileSandbox::get(box.c("BACKUP/A1.NC")), "a");
  EXPECT_FALSE(plat::file_exists("C:\\A.NC"));
  EXPECT_FALSE(plat::move_file("C:\\A.NC", "C:\\C.NC"));
  EXPECT_EQ(plat::last_error(), plat::error_not_found);
  // A change of case only renames.
  EXPECT_TRUE(plat::move_file("C:\\BACKUP\\A1.NC", "C:\\BACKUP\\a1.nc"));
  EXPECT_EQ(FileSandbox::get(box.c("BACKUP/a1.nc")), "a");
  EXPECT_FALSE(std::filesystem::exists(box.c("BACKUP/A1.NC")));
}

// /dev/shm is another file system on most machines: the move becomes a copy
// and a delete.
TEST_F(FileOps, MoveAcrossFileSystems) {
  struct stat a, b;
  ASSERT_EQ(::stat(box.dir().c_str(), &a), 0);
  if (::stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev) GTEST_SKIP() << "no second file system";
  char tmpl[] = "/dev/shm/kv-plat-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  plat::set_drive_root('E', tmpl);
  FileSandbox::put(box.c("X.NC"), "cross");
  EXPECT_TRUE(plat::move_file("C:\\X.NC", "E:\\X.NC"));
  EXPECT_FALSE(plat::file_exists("C:\\X.NC"));
  EXPECT_EQ(FileSandbox::get(std::string(tmpl) + "/X.NC"), "cross");
  FileSandbox::put(box.c("X.NC"), "again");
  EXPECT_FALSE(plat::move_file("C:\\X.NC", "E:\\X.NC"));
  EXPECT_EQ(FileSandbox::get(box.c("X.NC")), "again");
  std::filesystem::remove_all(tmpl);
}

TEST_F(FileOps, Copy) {
  FileSandbox::put(box.c("SRC.NC"), "program");
  struct utimbuf old = {1000000000, 1000000000};
  ASSERT_EQ(::utime(box.c("SRC.NC").c_str(), &old), 0);
  FileSandbox::put(box.c("DST.NC"), "older");

  EXPECT_FALSE(plat::copy_file("C:\\SRC.NC", "C:\\dst.nc", true));
  EXPECT_EQ(plat::last_error(), plat::error_exists);
  EXPECT_EQ(FileSandbox::get(box.c("DST.NC")), "older");

  EXPECT_TRUE(plat::copy_file("C:\\SRC.NC", "C:\\dst.nc", false));
  EXPECT_EQ(FileSandbox::get(box.c("DST.NC")), "program");
  plat::FileTime t = 0;
  ASSERT_TRUE(plat::last_write_time("C:\\DST.NC", t));
  EXPECT_EQ(t, 1000000000);

  EXPECT_TRUE(plat::copy_file("C:\\SRC.NC", "C:\\NEW.NC", true));
  EXPECT_EQ(FileSandbox::get(box.c("NEW.NC")), "program");

  // A failed copy leaves the target alone and no stray file behind.
  EXPECT_FALSE(plat::copy_file("C:\\MISSING.NC", "C:\\DST.NC", false));
  EXPECT_EQ(plat::last_error(), plat::error_not_found);
  EXPECT_FALSE(plat::copy_file("C:\\SRC.NC", "C:\\NODIR\\X.NC", false));
  EXPECT_EQ(FileSandbox::get(box.c("DST.NC")), "program");
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(box.c(""))) files += e.is_regular_file();
  EXPECT_EQ(files, 3u);

  // A target held without write sharing is not replaced under its holder.
  plat::File held = plat::create_file("C:\\DST.NC", Access::read, Share::read, Disposition::open_existing);
  ASSERT_TRUE(held.is_open());
  EXPECT_FALSE(plat::copy_file("C:\\NEW.NC", "C:\\DST.NC", false));
  EXPECT_EQ(plat::last_error(), plat::error_sharing_violation);
}

// A watcher tells a file still being written by an exclusive open that
// fails; a copy in progress must count as one, or a half-copied program
// gets picked up.
TEST_F(FileOps, ACopyInProgressRefusesExclusiveOpens) {
  const std::string program(4u << 20, 'G');
  FileSandbox::put(box.c("SRC.NC"), program);
  ASSERT_TRUE(plat::create_directory("C:\\IMPORT"));
  std::atomic<bool> done{false};
  std::thread copier([&] {
    EXPECT_TRUE(plat::copy_file("C:\\SRC.NC", "C:\\IMPORT\\P1.NC", true));
    done = true;
  });
  int64_t partial = -1;
  while (!done && partial < 0) {
    plat::File f = plat::create_file("C:\\IMPORT\\P1.NC", Access::read, Share::none, Disposition::open_existing);
    if (f.is_open() && plat::length(f) < int64_t(program.size())) partial = plat::length(f);
  }
  copier.join();
  EXPECT_EQ(partial, -1) << "an exclusive open got the copy at " << partial << " bytes";
  EXPECT_EQ(std::filesystem::file_size(box.c("IMPORT/P1.NC")), program.size());
}

// A shared table another handle writes to: replacing it would leave that
// handle writing into a file no name leads to, its records lost.
TEST_F(FileOps, CopyRefusesATargetOpenForWriting) {
  FileSandbox::put(box.c("SRC.DBF"), "backup");
  FileSandbox::put(box.c("DST.DBF"), "live");
  plat::File writer = plat::create_file("C:\\DST.DBF", Access::read_write, Share::read_write, Disposition::open_existing);
  ASSERT_TRUE(writer.is_open());
  EXPECT_FALSE(plat::copy_file("C:\\SRC.DBF", "C:\\DST.DBF", false));
  EXPECT_EQ(plat::last_error(), plat::error_sharing_violation);
  ASSERT_EQ(plat::write_at(writer, 0, "LIVE", 4), 4);
  EXPECT_EQ(FileSandbox::get(box.c("DST.DBF")), "LIVE");
  ASSERT_TRUE(plat::close(writer));

  // A reader that shares writing does not stand in the way.
  plat::File reader = plat::create_file("C:\\DST.DBF", Access::read, Share::read_write, Disposition::open_existing);
  ASSERT_TRUE(reader.is_open());
  EXPECT_TRUE(plat::copy_file("C:\\SRC.DBF", "C:\\DST.DBF", false));
  EXPECT_EQ(FileSandbox::get(box.c("DST.DBF")), "backup");
}

TEST_F(FileOps, DirectoriesAndExistence) {
  EXPECT_TRUE(plat::create_directory("C:\\DB31"));
  EXPECT_FALSE(plat::create_directory("c:\\db31"));
  EXPECT_EQ(plat::last_error(), plat::error_exists);
  EXPECT_FALSE(plat::create_directory("C:\\NO\\DEEPER"));
  EXPECT_EQ(plat::last_error(), plat::error_not_found);
  EXPECT_TRUE(plat::directory_exists("C:\\db31\\"));
  EXPECT_FALSE(plat::file_exists("C:\\DB31"));
  FileSandbox::put(box.c("DB31/X.DBF"), "");
  EXPECT_TRUE(plat::file_exists("c:\\DB31\\x.dbf"));
  EXPECT_FALSE(plat::directory_exists("C:\\DB31\\X.DBF"));
  EXPECT_FALSE(plat::remove_directory("C:\\DB31"));  // not empty
  plat::FileTime t;
  EXPECT_FALSE(plat::last_write_time("C:\\NONE.DBF", t));
  EXPECT_EQ(plat::last_error(), plat::error_not_found);
}

TEST_F(FileOps, FindWithPatterns) {
  for (const char* f : {"KELVINDX.DBF", "kelvcust.dbf", "KELVINDX.MDX", "P17.NC", "P170.NC", "README", ".hidden"})
    FileSandbox::put(box.c("DB/") + f, "12345");
  std::filesystem::create_directories(box.c("DB/SUB"));

  struct Case {
    const char* pattern;
    std::set<std::string> names;
  } cases[] = {
      {"C:\\DB\\*.DBF", {"KELVINDX.DBF", "kelvcust.dbf"}},
      {"c:/db/kelv*.*", {"KELVINDX.DBF", "kelvcust.dbf", "KELVINDX.MDX"}},
      {"C:\\DB\\P??.NC", {"P17.NC"}},
      {"C:\\DB\\P17.*", {"P17.NC"}},
      {"C:\\DB\\*.", {".", "..", "README", "SUB"}},
      {"C:\\DB\\README.*", {"README"}},
      {"C:\\DB\\*.*", {".", "..", "KELVINDX.DBF", "kelvcust.dbf", "KELVINDX.MDX", "P17.NC", "P170.NC", "README", ".hidden", "SUB"}},
      {"C:\\*.*", {"DB"}},  // no "." or ".." at a drive's root
      {"C:*.*", {"DB"}},      // the current directory of C:, its root
      {"db\\k*.dbf", {"KELVINDX.DBF", "kelvcust.dbf"}},
      {"C:\\DB\\*.XYZ", {}},
      {"C:\\NODIR\\*.*", {}},
  };
  for (const Case& c : cases) {
    std::set<std::string> got;
    plat::FindHandle h;
    plat::FindData d;
    for (bool ok = plat::find_first(c.pattern, h, d); ok; ok = plat::find_next(h, d)) got.insert(d.name);
    EXPECT_EQ(plat::last_error(), plat::error_not_found) << c.pattern;
    EXPECT_EQ(got, c.names) << c.pattern;
    plat::find_close(h);
  }
}

TEST_F(FileOps, FindReportsAttributesSizeAndTime) {
  FileSandbox::put(box.c("DB/A.DBF"), "12345");
  FileSandbox::put(box.c("DB/.h"), "");
  ASSERT_EQ(::chmod(box.c("DB/.h").c_str(), 0444), 0);
  std::filesystem::create_directories(box.c("DB/SUB"));
  struct utimbuf t = {1700000000, 1700000000};
  ASSERT_EQ(::utime(box.c("DB/A.DBF").c_str(), &t), 0);
  ASSERT_TRUE(plat::set_current_directory("C:\\DB"));

  std::map<std::string, plat::FindData> got;
  plat::FindHandle h;
  plat::FindData d;
  for (bool ok = plat::find_first("*", h, d); ok; ok = plat::find_next(h, d)) got[d.name] = d;
  EXPECT_EQ(got["A.DBF"].attributes, plat::attr_archive);
  EXPECT_EQ(got["A.DBF"].size, 5);
  EXPECT_EQ(got["A.DBF"].last_write, 1700000000);
  EXPECT_EQ(got["SUB"].attributes, plat::attr_directory);
  EXPECT_EQ(got[".h"].attributes, plat::attr_archive | plat::attr_hidden | plat::attr_readonly);
  EXPECT_EQ(got["."].attributes, plat::attr_directory);
}

// Sub-directories are told apart by "attributes exactly directory"; one that
// another station's user made (not writable for us) must still be one.
TEST_F(FileOps, DirectoryWithoutWritePermissionIsADirectoryAlone) {
  std::filesystem::create_directories(box.c("NC/OTHER"));
  ASSERT_EQ(::chmod(box.c("NC/OTHER").c_str(), 0555), 0);
  plat::FindHandle h;
  plat::FindData d;
  ASSERT_TRUE(plat::find_first("C:\\NC\\OTHER", h, d));
  EXPECT_EQ(d.attributes, plat::attr_directory);
  plat::find_close(h);
  ::chmod(box.c("NC/OTHER").c_str(), 0755);
}

TEST(FilePattern, DosWildcards) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.DBF", "kelvindx.dbf", true}, {"*.DBF", "KELVINDX.DBT", false},
      {"P*.NC", "P1.NC", true},        {"P*.NC", "XP1.NC", false},
      {"?.NC", "P.NC", true},          {"?.NC", "PP.NC", false},
      {"*.*", "README", true},         {"*", ".hidden", true},
      {"*.", "README", true},          {"*.", "A.B", false},
      {"A*B*C", "AxxBxxBxC", true},    {"A*B*C", "AxxBxxBxD", false},
      {"TEMP????.TMP", "TEMP0042.TMP", true},
  };
  for (const Case& c : cases) EXPECT_EQ(plat::match_pattern(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

}  // namespace
