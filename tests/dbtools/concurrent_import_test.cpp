// A plain import of 500 files while another process files programs through
// the save dialog into the same database: every program gets an id of its
// own, every imported file its row.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <thread>

#include "resources/dialogs/editor.h"
#include "storage/save_prog.h"
#include "tests/dbtools/import_fixture.h"

namespace {

using kvimport::ImportTest;
using plat::Pilot;

constexpr int kFiles = 500;
// The other station files one program each time the import has filed this
// many more, so that neither starves the other of the filing lock.
constexpr long kPace = 20;

long ProgramRows() {
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  long n = t.Open() ? data_reccount(t.Data()) : -1;
  t.Close();
  return n;
}

// The other station: files programs SAVED<n> through the save dialog until
// the stop pipe closes, telling `ready` after the first; the number filed
// goes to `out`.
int SaveUntilStopped(int ready, int stop, const std::string& out) {
  int saved = 0;
  bool failed = false;
  plat::UiDriver saver([&failed](const std::string&) { failed = true; });
  auto stopped = [stop] {
    pollfd p{stop, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  };
  for (long seen = -kPace; !stopped();) {
    if (ProgramRows() < seen + kPace) {
      // No signal tells of another station's rows: the count is polled.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    std::string id = "SAVED" + std::to_string(saved);
    saver.expect_dialog(IDD_SAVE_PROGRAM, [&](TDialog& d) {
      Pilot pilot(d);
      pilot.set_text(IDC_SAVE_PROGRAM_ID, id);
      pilot.click(IDOK);
    });
    if (TSaveProg(nullptr).Execute() != IDOK || failed) return 3;
    seen = ProgramRows();
    if (++saved == 1 && ::write(ready, "r", 1) != 1) return 2;
  }
  kvdb::WriteFileBytes(out, std::to_string(saved));
  return 0;
}

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
