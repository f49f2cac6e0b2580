// Shared set-up of the tests that file programs into a scratch database:
// the log tests' tables with the program index, machines, customers and
// projects; the scratch root as drive K: so that paths read as the stations
// write them; the rows read back by python3-dbfread; and another station,
// run in a child process, saving programs through the save dialog. Nothing
// here needs the main frame or the menu's imports, so the watched-directory
// tests build in the ThreadSanitizer run too.
#pragma once

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/ui/handles.h"
#include "resources/dialogs/editor.h"
#include "storage/save_prog.h"
#include "tests/storage/log_fixture.h"
#include "tests/support/run_command.h"

namespace kvimport {

// One row of a table as python3-dbfread reads it.
struct PeerRow {
  bool deleted = false;
  std::map<std::string, std::string> values;
  const std::string& operator[](const std::string& field) const { return values.at(field); }
};

inline const std::vector<std::string> kProgramFields = {
    "NCID", "DESC", "DIR", "NAME", "EXT", "PART", "DRAW", "CUST", "MID", "MAT",
    "PROJECT", "MACHINE", "CHAR3", "LONG1", "MEMOSTR", "LOCK", "PROG", "MAZAK", "SENT"};

inline std::string Unhex(const std::string& hex) {
  if (hex == "-") return "";
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

class ProgramDbTest : public kvlogs::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    CreateTable<TcbMachTable>("KELVMA.DBF");
    CreateTable<TcbAdvCustTable>("KELVCUS2.DBF");
    CreateTable<TcbProTable>("KELVPRO.DBF");
    plat::set_drive_root('K', Root());
    for (const char* d : {"MILL1", "LATHE", "TEMP", "SRC"}) std::filesystem::create_directories(Root() + "/" + d);
    Globals->TempDir = "K:\\TEMP\\";
    Globals->LastDir = "K:\\SRC\\";
    {
      TcbMachTable t("KELVMA.DBF", 0, 0);
      EXPECT_TRUE(t.Add("MILL1", 5, "mill", "K:\\MILL1\\", 0));
      EXPECT_TRUE(t.Add("LATHE", 6, "lathe", "K:\\LATHE\\", 0));
      EXPECT_TRUE(t.Add("NOWHERE", 7, "gone", "K:\\MISSING\\", 0));
      mill = t.ExistsByName("MILL1");
      lathe = t.ExistsByName("LATHE");
    }
  }
  void TearDown() override {
    plat::set_write_fault("", 0);
    plat::set_read_fault("", 0);
    plat::reset_drive_table();
    LogTest::TearDown();
  }

  std::string Native(const std::string& sub) const { return Root() + "/" + sub; }
  void Write(const std::string& sub, const std::string& bytes) const {
    kvtest::ScratchDir::write_file(Native(sub), bytes);
  }

  // The next program id the counter will hand out.
  long PeekProgramId() {
    long next = NextProgramId() + 1;
    return next;
  }
  // Draws ids until the next one is `id`.
  void NextProgramIdIs(long id) {
    while (NextProgramId() < id - 1) {
    }
  }

  // Every row of a table as python3-dbfread reads it, live rows first.
  // dbfread reads a memo to the end of its last block: the zero bytes that
  // fill it are not part of the text.
  std::vector<PeerRow> PeerTable(const std::string& path, const std::vector<std::string>& fields = kProgramFields) {
    int status = 0;
    std::string out = kvtest::run_command(
        "/usr/bin/python3 " KV_SOURCE_DIR "/tests/engine/peers/dbfread_dump.py '" + path + "'", &status);
    EXPECT_EQ(status, 0) << out;
    return DumpRows(out, 0, fields, "D", '\0');
  }
  std::vector<PeerRow> Programs() { return PeerTable(DbPath("KELVFILE.DBF")); }
  // Every row of a table as Perl's XBase reads it, in record order; texts
  // without their trailing blanks.
  std::vector<PeerRow> XBaseTable(const std::string& path, const std::vector<std::string>& fields = kProgramFields) {
    int status = 0;
    std::string out =
        kvtest::run_command("/usr/bin/perl " KV_SOURCE_DIR "/tests/engine/peers/xbase_dump.pl '" + path + "'", &status);
    EXPECT_EQ(status, 0) << out;
    return DumpRows(out, out.find('\n') + 1, fields, "1", ' ');  // after the version line
  }
  // The lines of a peer's dump from `start`: the deleted mark, then each
  // value hex-coded, tab-separated; `pad` is cut from the values' ends.
  static std::vector<PeerRow> DumpRows(const std::string& out, std::size_t start,
                                       const std::vector<std::string>& fields, const char* deletedMark, char pad) {
    std::vector<PeerRow> rows;
    for (std::size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1) {
      std::string line = out.substr(start, nl - start);
      std::vector<std::string> cells;
      std::size_t from = 0;
      for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
        cells.push_back(line.substr(from, tab - from));
      cells.push_back(line.substr(from));
      PeerRow row;
      row.deleted = cells[0] == deletedMark;
      for (std::size_t i = 0; i < fields.size() && i + 1 < cells.size(); ++i) {
        std::string value = Unhex(cells[i + 1]);
        value.erase(value.find_last_not_of(pad) + 1);
        row.values[fields[i]] = value;
      }
      rows.push_back(row);
    }
    return rows;
  }
  // The names in a directory (not recursing), sorted.
  std::vector<std::string> Names(const std::string& sub) const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Native(sub))) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  plat::GTestUiDriver driver;
  long mill = 0, lathe = 0;
};

// The rows of the program index, deleted ones included; -1 when it does
// not open.
inline long ProgramRows() {
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  long n = t.Open() ? data_reccount(t.Data()) : -1;
  t.Close();
  return n;
}

// Another station, run in a child process: files programs SAVED<n>
// through the save dialog until the stop pipe closes, telling `ready` after
// the first; the number filed goes to `out`. It files one program each
// time the other side has filed `pace` more, so neither starves the other
// of the filing lock.
inline int SaveUntilStopped(int ready, int stop, const std::string& out, long pace = 20) {
  int saved = 0;
  bool failed = false;
  plat::UiDriver saver([&failed](const std::string&) { failed = true; });
  auto stopped = [stop] {
    pollfd p{stop, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  };
  for (long seen = -pace; !stopped();) {
    if (ProgramRows() < seen + pace) {
      // No signal tells of another station's rows: the count is polled.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    std::string id = "SAVED" + std::to_string(saved);
    saver.expect_dialog(IDD_SAVE_PROGRAM, [&](TDialog& d) {
      plat::Pilot pilot(d);
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

// Another station saving programs (SaveUntilStopped) in a child process,
// started on `machineId` and running once it has filed its first program.
// Stop ends it and gives the number it filed; -1 when it failed.
class TSavingStation {
 public:
  TSavingStation(long machineId, const std::string& countFile, long pace) : count_(countFile) {
    Globals->EditMachineId = static_cast<int>(machineId);
    int ready[2], stop[2];
    if (::pipe(ready) != 0) return;
    if (::pipe(stop) != 0) {
      ::close(ready[0]);
      ::close(ready[1]);
      return;
    }
    kid_ = ::fork();
    if (kid_ == 0) {
      ::close(ready[0]);
      ::close(stop[1]);
      ::_exit(SaveUntilStopped(ready[1], stop[0], countFile, pace));
    }
    ::close(ready[1]);
    ::close(stop[0]);
    stop_ = stop[1];
    char c;
    running_ = kid_ > 0 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
  }
  ~TSavingStation() { Stop(); }
  TSavingStation(const TSavingStation&) = delete;
  TSavingStation& operator=(const TSavingStation&) = delete;

  bool Running() const { return running_; }
  int Stop() {
    if (stop_ >= 0) ::close(stop_);
    stop_ = -1;
    if (kid_ <= 0) return -1;
    int status = 0;
    ::waitpid(kid_, &status, 0);
    kid_ = -1;
    if (!running_ || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::stoi(kvdb::ReadFileBytes(count_));
  }

 private:
  std::string count_;
  pid_t kid_ = -1;
  int stop_ = -1;
  bool running_ = false;
};


}  // namespace kvimport
