// Unlocked reads of a table another process changes: what it rewrote,
// appended, packed away or cut off shows at the next read, whether reads
// come from a mapping of the file (a local disk) or through the handle (a
// network share), and a cut file never crashes us or passes zeros off as a
// record.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "engine/engine_api.h"
#include "engine/file.h"
#include "engine/os_shim.h"
#include "engine/table.h"
#include "engine_fixture.h"
#include "platform/file.h"
#include "platform/file_view.h"

namespace {

using kvtest::QuietEngine;
using kvtest::ScratchDir;

const DbFieldInfo kFields[] = {{"NAME", 'C', 20, 0}, {"NUM", 'N', 8, 0}, {nullptr, 0, 0, 0}};
constexpr long kRows = 3000;  // some twenty memory pages of records

std::string name_of(long n) { return kvtest::numbered("r", n); }

// Runs fn in a forked process (another station); its exit status.
int in_other_process(const std::function<int()>& fn) {
  pid_t pid = fork();
  if (pid == 0) _exit(fn());
  int status = -1;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

int append_rows(DbDataFile* d, long from, long to, const char* prefix) {
  if (data_lock_file(d) != 0) return 1;
  for (long n = from; n <= to; n++) {
    if (data_append_start(d, 0) != 0) return 2;
    data_blank(d);
    field_assign(data_field_at(d, 1), kvtest::numbered(prefix, n).c_str());
    field_assign_long(data_field_at(d, 2), n);
    if (data_append(d) != 0) return 3;
  }
  return data_unlock(d) == 0 ? 0 : 4;
}

// Another station's work on the table, done in its own process.
int as_other_station(const std::string& file, const std::function<int(DbDataFile*)>& work) {
  return in_other_process([&] {
    QuietEngine c;
    DbDataFile* d = data_open(&c, file.c_str());
    if (!d) return 50;
    int rc = work(d);
    return data_close(d) == 0 ? rc : 51;
  });
}

// Parameter: the file system taken for a network share (reads go through
// the handle) or not (reads come from the mapping).
class FileMapTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { plat::treat_file_systems_as_remote(GetParam()); }
  void TearDown() override {
    if (d) data_close(d);
    plat::treat_file_systems_as_remote(false);
  }

  // A fresh table of kRows rows, open for reading as this station.
  void open_table(const std::string& name) {
    if (d) data_close(d);
    d = nullptr;
    file = dir.file(name);
    {
      QuietEngine w;
      DbDataFile* t = data_create(&w, file.c_str(), kFields, nullptr);
      ASSERT_NE(t, nullptr);
      ASSERT_EQ(append_rows(t, 1, kRows, "r"), 0);
      ASSERT_EQ(data_close(t), 0);
    }
    d = data_open(&c, file.c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(file_reads_mapped(&d->file), GetParam() ? 0 : 1);
    // Every page read once, so the reads below follow a warm mapping.
    for (long n = 1; n <= kRows; n += 50) ASSERT_EQ(data_go(d, n), 0);
  }

  // The name at record n, or why it could not be read.
  std::string name_at(long n) {
    int rc = data_go(d, n);
    std::string text = field_str(data_field_at(d, 1));
    c.error_code = 0;
    if (rc != 0) return text.find_first_not_of(' ') == std::string::npos ? "<none>" : "<failed, yet read " + text + ">";
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }

  ScratchDir dir;
  QuietEngine c;
  DbDataFile* d = nullptr;
  std::string file;
};

TEST_P(FileMapTest, ARewriteAnAppendBeyondTheMappingAndAPackShowAtTheNextRead) {
  open_table("A.DBF");
  ASSERT_EQ(as_other_station(file, [](DbDataFile* o) {
              if (data_lock_record(o, 1500) != 0 || data_go(o, 1500) != 0) return 1;
              field_assign(data_field_at(o, 1), "rewritten");
              return data_write(o, 1500) == 0 && data_unlock(o) == 0 ? 0 : 2;
            }),
            0);
  EXPECT_EQ(name_at(1500), "rewritten");

  // Appended far beyond the length the file had when mapped.
  const long more = 40000;
  ASSERT_EQ(as_other_station(file, [&](DbDataFile* o) { return append_rows(o, kRows + 1, kRows + more, "a"); }), 0);
  EXPECT_EQ(data_reccount(d), kRows + more);
  for (long n : {kRows + 1, kRows + more / 2, kRows + more - 200, kRows + more})
    EXPECT_EQ(name_at(n), kvtest::numbered("a", n)) << n;
  EXPECT_EQ(name_at(kRows), name_of(kRows));
  EXPECT_EQ(file_reads_mapped(&d->file), GetParam() ? 0 : 1);  // the mapping grew with the file

  // Packed down to the rows after the first 2000: the file shrinks far below.
  ASSERT_EQ(as_other_station(file, [](DbDataFile* o) {
              if (data_lock_file(o) != 0) return 1;
              for (long n = 1; n <= 2000; n++) {
                if (data_go(o, n) != 0) return 2;
                data_delete(o);
              }
              return data_flush(o) == 0 && data_pack(o) == 0 && data_unlock(o) == 0 ? 0 : 3;
            }),
            0);
  const long left = kRows + more - 2000;
  EXPECT_EQ(data_reccount(d), left);
  EXPECT_EQ(name_at(1), name_of(2001));
  EXPECT_EQ(name_at(left), kvtest::numbered("a", kRows + more));
  for (long gone : {left + 1, left + 2, kRows + more})
    EXPECT_EQ(name_at(gone), "<none>") << gone;
}

// A file cut by another process below what we last knew of it: records the
// cut took (whole or in part) cannot be read; those before it read as ever.
TEST_P(FileMapTest, AFileCutShortUnderTheReaderFailsOnlyTheRecordsItLost) {
  struct Cut {
    const char* what;
    long kept;  // whole records the cut leaves
    long part;  // bytes of the next record it leaves
  };
  const Cut cuts[] = {
      {"inside the last page", kRows - 1, 7},
      {"at a record's end", kRows - 40, 0},
      {"far below", 100, 12},
      {"to the header", 0, 0},
  };
  int k = 0;
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.what);
    open_table(kvtest::numbered("C", k++) + ".DBF");
    long at = cut.part;
    {
      DbLock lock(&c);
      at += data_record_pos(d, cut.kept + 1);
    }
    ASSERT_EQ(in_other_process([&] { return truncate(file.c_str(), at) == 0 ? 0 : 1; }), 0);
    if (cut.kept > 0) {
      EXPECT_EQ(name_at(cut.kept), name_of(cut.kept));
    }
    for (long lost : {cut.kept + 1, cut.kept + 2, cut.kept + 3, (cut.kept + 1 + kRows) / 2, kRows})
      EXPECT_EQ(name_at(lost), "<none>") << lost;
    if (cut.kept > 1) {
      EXPECT_EQ(name_at(1), name_of(1));
    }
  }
}

// Under our lock on the whole file no station shortens it, and reads trust
// the length they know (through the handle, records read may wait in
// memory); a cut by a process outside the locks gives a lost record as it
// was or fails its read, never crashes us. The trust ends with the lock: a
// cut inside a page then fails the record it took, as ever.
TEST_P(FileMapTest, UnderTheFileLockACutOutsideTheLocksFailsTheLostPages) {
  open_table("L.DBF");
  ASSERT_EQ(data_lock_file(d), 0);
  EXPECT_EQ(name_at(kRows / 2), name_of(kRows / 2));
  long at = 0;
  {
    DbLock lock(&c);
    at = data_record_pos(d, 101) + 12;
  }
  ASSERT_EQ(in_other_process([&] { return truncate(file.c_str(), at) == 0 ? 0 : 1; }), 0);
  EXPECT_EQ(name_at(100), name_of(100));
  for (long lost : {long(kRows / 2), long(kRows)}) {
    std::string got = name_at(lost);
    EXPECT_TRUE(got == "<none>" || got == name_of(lost)) << lost << ": " << got;
  }
  EXPECT_EQ(data_unlock(d), 0);

  open_table("M.DBF");
  ASSERT_EQ(data_lock_file(d), 0);
  EXPECT_EQ(name_at(kRows), name_of(kRows));
  ASSERT_EQ(data_unlock(d), 0);
  {
    DbLock lock(&c);
    at = data_record_pos(d, kRows / 2) + 7;
  }
  ASSERT_EQ(in_other_process([&] { return truncate(file.c_str(), at) == 0 ? 0 : 1; }), 0);
  EXPECT_EQ(name_at(kRows / 2), "<none>");
  EXPECT_EQ(name_at(kRows / 2 - 1), name_of(kRows / 2 - 1));
}

std::string g_watched;  // the reads the watch was told of, "<file>:<bytes>;" each

void watch_read(const char* path, unsigned n) {
  std::string name = path;
  g_watched += name.substr(name.find_last_of("/\\") + 1) + ":" + std::to_string(n) + ";";
}

// The tests' read watch and read faults reach reads the mapping serves too.
TEST_P(FileMapTest, TheReadWatchAndInjectedReadFaultsSeeEveryRead) {
  open_table("F.DBF");
  g_watched.clear();
  dbos_watch_reads(watch_read);
  EXPECT_EQ(name_at(kRows / 3), name_of(kRows / 3));
  dbos_watch_reads(nullptr);
  EXPECT_NE(g_watched.find("F.DBF:" + std::to_string(d->record_width) + ";"), std::string::npos) << g_watched;

  plat::set_read_fault("F.DBF", 0, plat::error_io, true);
  EXPECT_NE(data_go(d, kRows / 2), 0);
  EXPECT_EQ(c.error_code, e_read);
  c.error_code = 0;
  plat::set_read_fault("", 0);
  EXPECT_EQ(name_at(kRows / 2), name_of(kRows / 2));
}

INSTANTIATE_TEST_SUITE_P(Reads, FileMapTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? std::string("ThroughTheHandle") : std::string("FromTheMapping");
                         });

}  // namespace
