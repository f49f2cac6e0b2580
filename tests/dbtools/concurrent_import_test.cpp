// A plain import of 500 files while another process files programs through
// the save dialog into the same database: every program gets an id of its
// own, every imported file its row.
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "tests/dbtools/import_fixture.h"

namespace {

using kvimport::ImportTest;

constexpr int kFiles = 500;

using kvimport::SaveUntilStopped;

TEST_F(ImportTest, APlainImportBesideAnotherStationFilingGivesEveryProgramItsOwnId) {
  for (int i = 0; i < kFiles; ++i) Write("SRC/CHOSEN/F" + std::to_string(i) + ".NC", "N" + std::to_string(i) + "\r\n");
  Globals->EditMachineId = static_cast<int>(lathe);
  int ready[2], stop[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(stop), 0);
  const std::string count = Native("saved.txt");
  pid_t kid = ::fork();
  if (kid == 0) {
    ::close(ready[0]);
    ::close(stop[1]);
    ::_exit(SaveUntilStopped(ready[1], stop[0], count));
  }
  ::close(ready[1]);
  ::close(stop[0]);
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ExpectMachine("MILL1");
  Run(kCmImportToMachine);
  ::close(stop[1]);
  int status = 0;
  ::waitpid(kid, &status, 0);
  ::close(ready[0]);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  const int saved = std::stoi(kvdb::ReadFileBytes(count));

  auto rows = Programs();
  std::set<std::string> ids;
  int imported = 0, filed = 0;
  for (const auto& r : rows) {
    ASSERT_FALSE(r.deleted);
    ids.insert(r["NCID"]);
    if (r["MACHINE"] == "MILL1") {
      ++imported;
      EXPECT_EQ(kvdb::ReadFileBytes(Native("MILL1/P" + r["NCID"] + ".NC")), "N" + r["DESC"].substr(1) + "\r\n");
    } else {
      ++filed;
    }
  }
  EXPECT_EQ(imported, kFiles);
  EXPECT_EQ(filed, saved);
  EXPECT_EQ(ids.size(), rows.size());
  EXPECT_TRUE(driver.message_boxes().empty());
}

}  // namespace
