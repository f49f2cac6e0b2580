// Pack and reindex over the whole database: deleted rows go, live rows and
// their tags stay (read back by the engine, python3-dbfread and Perl's
// XBase), a directory named twice is done once, a file that is no table
// and a table another process holds end in the closing list, not in boxes
// or an endless wait.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include "dbtools/maintenance.h"
#include "engine/engine_api.h"
#include "appcore/log_text.h"
#include "tests/dbtools/import_fixture.h"
#include "tests/dbtools/lock_holder.h"

namespace {


class MaintenanceTest : public kvimport::ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    RegisterMaintenanceCommands();
    for (long id = 1; id <= 6; ++id) AddProgram("KELVFILE.DBF", id, id, "%\r\nG0 X" + std::to_string(id) + "\r\n");
    for (long id : {2L, 5L}) {
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      delete t.DeleteById(id);
    }
    Write("db/JUNK.DBF", "this is no table at all");
    plat::clear_message_box_log();
  }
  void TearDown() override {
    RegisterFrameCommand(kCmPack, nullptr);
    RegisterFrameCommand(kCmReindex, nullptr);
    ImportTest::TearDown();
  }

  std::vector<long> LiveIdsByPeer(const std::string& file) {
    std::vector<long> ids;
    for (const auto& row : PeerTable(DbPath(file)))
      if (!row.deleted) ids.push_back(std::stol(row["NCID"]));
    return ids;
  }
  // Record count and live NCIDs as Perl's XBase reads the file.
  std::pair<int, std::vector<long>> XBaseRows(const std::string& file) {
    int status = 0;
    std::string out = kvtest::run_command("/usr/bin/perl " KV_SOURCE_DIR "/tests/engine/peers/xbase_dump.pl '" +
                                     DbPath(file) + "'",
                                 &status);
    EXPECT_EQ(status, 0) << out;
    int records = 0;
    std::vector<long> live;
    std::size_t start = out.find('\n') + 1;  // past the version line
    for (std::size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1) {
      std::string line = out.substr(start, nl - start);
      ++records;
      if (line[0] == '1') continue;
      std::size_t a = line.find('\t') + 1;
      live.push_back(std::stol(kvimport::Unhex(line.substr(a, line.find('\t', a) - a))));
    }
    return {records, live};
  }
  // Every live id found through the NCID tag.
  void ExpectFoundByTag(const std::vector<long>& ids) {
    for (long id : ids) {
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      TcbFileRecord* r = t.FindById(id);
      EXPECT_NE(r, nullptr) << id;
      delete r;
    }
  }
  std::size_t TableFilesIn(const std::string& sub) const {
    std::size_t n = 0;
    for (const auto& name : Names(sub))
      n += name.size() > 4 && plat::match_pattern("*.DBF", name);
    return n;
  }
  std::string Summary() {
    auto boxes = driver.message_boxes();
    EXPECT_EQ(boxes.size(), 1u) << "one closing list, no box per table";
    for (const auto& b : boxes) EXPECT_NE(b.caption, "TABLE ENGINE ERROR") << b.text;
    return boxes.empty() ? std::string() : boxes.back().text;
  }
};

// A third station: looks the live programs up by their tag until stopped;
// the number of lookups that missed goes to out. What the rebuild promises
// is the state afterwards: a reader that meets a table in the middle of
// one may miss a row for that moment, and only counts it.
int ReadUntilStopped(int ready, int stop, const std::string& out) {
  auto stopped = [stop] {
    pollfd p{stop, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  };
  long missed = 0;
  for (long round = 0; !stopped(); ++round) {
    for (long id : {1L, 3L, 4L, 6L}) {
      DbErrorsKept quiet;  // a read that fails meanwhile counts as a miss
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      TcbFileRecord* r = t.FindById(id);
      missed += r == nullptr;
      delete r;
      code_error_set(DbContext, 0);
    }
    if (round == 0 && ::write(ready, "r", 1) != 1) return 2;
  }
  kvdb::WriteFileBytes(out, std::to_string(missed));
  return 0;
}

TEST_F(MaintenanceTest, PackAndReindexWhileOneStationAppendsAndAnotherReads) {
  int stop[2], ready[2];
  ASSERT_EQ(::pipe(stop), 0);
  ASSERT_EQ(::pipe(ready), 0);
  const std::string count = Root() + "/appended";
  // Another station: appends programs 1001, 1002, ... until the stop pipe
  // closes, telling `ready` after the first; the number appended goes to
  // the count file.
  auto appendUntilStopped = [&]() -> int {
    long appended = 0;
    for (;;) {
      pollfd p{stop[0], POLLIN, 0};
      if (::poll(&p, 1, 0) > 0) break;
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      TcbFileRecord r;
      FillProgram(r, 1001 + appended, 0);
      if (t.Append(&r) != 1) return 3;
      if (++appended == 1 && ::write(ready[1], "a", 1) != 1) return 2;
    }
    kvdb::WriteFileBytes(count, std::to_string(appended));
    return 0;
  };
  pid_t appender = ::fork();
  if (appender == 0) {
    ::close(stop[1]);
    ::_exit(appendUntilStopped());
  }
  pid_t reader = ::fork();
  if (reader == 0) {
    ::close(stop[1]);
    ::_exit(ReadUntilStopped(ready[1], stop[0], Root() + "/missed"));
  }
  ::close(stop[0]);
  ::close(ready[1]);
  char got[2];
  ASSERT_EQ(::read(ready[0], got, 1), 1);
  ASSERT_EQ(::read(ready[0], got + 1, 1), 1);

  for (int round = 0; round < 3; ++round)
    for (TTableWork work : {TTableWork::Pack, TTableWork::Reindex})
      for (const auto& r : MaintainAllTables(*frame, {Globals->DatabaseDir}, work))
        if (r.file.find("JUNK") == std::string::npos) {
          EXPECT_NE(r.outcome, TTableOutcome::Failed) << r.file << " " << r.why;
        }

  ::close(stop[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(appender, &status, 0), appender);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_EQ(::waitpid(reader, &status, 0), reader);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  RecordProperty("lookups_missed_meanwhile", kvtest::ScratchDir::read_file(Root() + "/missed"));
  ::close(ready[0]);

  const long appended = std::stol(kvtest::ScratchDir::read_file(count));
  std::vector<long> live = {1, 3, 4, 6};
  for (long i = 0; i < appended; ++i) live.push_back(1001 + i);
  // The peers read every appended row; a quiet pack drops the deleted ones.
  std::vector<long> peer = LiveIdsByPeer("KELVFILE.DBF");
  EXPECT_EQ(std::set<long>(peer.begin(), peer.end()), std::set<long>(live.begin(), live.end()));
  EXPECT_EQ(peer.size(), live.size());
  ExpectFoundByTag(live);
  MaintainAllTables(*frame, {Globals->DatabaseDir}, TTableWork::Pack);
  auto [records, xlive] = XBaseRows("KELVFILE.DBF");
  EXPECT_EQ(records, static_cast<int>(live.size()));
  EXPECT_EQ(std::set<long>(xlive.begin(), xlive.end()), std::set<long>(live.begin(), live.end()));
  ExpectFoundByTag(live);
}

struct WorkCase {
  const char* name;
  UINT command;
  int startText;
  int stepText;
  bool dropsDeleted;
};

const WorkCase kWorks[] = {
    {"Pack", kCmPack, kMsgPackStarting, kMsgPackingTable, true},
    {"Reindex", kCmReindex, kMsgReindexStarting, kMsgReindexingTable, false},
};

class MaintenanceWork : public MaintenanceTest, public ::testing::WithParamInterface<WorkCase> {};

TEST_P(MaintenanceWork, DoesEveryTableOnceAndListsTheFileThatIsNoTable) {
  const WorkCase& w = GetParam();
  Globals->AlternateDir = Globals->DatabaseDir;  // local mode: one directory
  kvimport::StatusTexts status(*frame);
  driver.expect_message_box(IDOK);
  Run(w.command);

  const std::vector<long> live = {1, 3, 4, 6};
  EXPECT_EQ(LiveIdsByPeer("KELVFILE.DBF"), live);
  auto [records, xlive] = XBaseRows("KELVFILE.DBF");
  EXPECT_EQ(xlive, live);
  EXPECT_EQ(records, w.dropsDeleted ? 4 : 6);
  ExpectFoundByTag(live);

  // One line per table, counted from 1, the directory only once.
  const std::size_t tables = TableFilesIn("db");
  std::vector<std::string> steps;
  for (const auto& t : status.Texts())
    if (t != Globals->GetMessageText(w.startText)) steps.push_back(t);
  ASSERT_EQ(steps.size(), tables);
  const std::string total = std::to_string(tables);
  for (std::size_t i = 0; i < steps.size(); ++i)
    EXPECT_EQ(steps[i].rfind(FormatLogValues(Globals->GetMessageText(w.stepText),
                                             {std::to_string(i + 1), total, ""}),
                             0),
              0u)
        << steps[i];

  std::string summary = Summary();
  EXPECT_NE(summary.find(FormatLogValues(Globals->GetMessageText(kMsgMaintenanceSummary),
                                         {std::to_string(tables - 1), "0", "1"})),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("JUNK.DBF"), std::string::npos) << summary;
  EXPECT_EQ(code_error_get(DbContext), 0);
}

TEST_P(MaintenanceWork, PassesOverATableAnotherProcessHolds) {
  const WorkCase& w = GetParam();
  kvimport::LockHolder holder(DbPath("KELVFILE.DBF"), Root() + "/release");
  ASSERT_TRUE(holder.Held());
  std::vector<TTableResult> results =
      MaintainAllTables(*frame, {Globals->DatabaseDir, Globals->AlternateDir}, w.command == kCmPack ? TTableWork::Pack
                                                                                                  : TTableWork::Reindex);
  EXPECT_EQ(holder.Release(), 0);

  int busy = 0;
  for (const auto& r : results) {
    bool held = r.file == Globals->DatabaseDir + "KELVFILE.DBF";
    bool junk = r.file == Globals->DatabaseDir + "JUNK.DBF";
    TTableOutcome expected = held ? TTableOutcome::Busy : junk ? TTableOutcome::Failed : TTableOutcome::Done;
    EXPECT_EQ(r.outcome, expected) << r.file << " " << r.why;
    busy += r.outcome == TTableOutcome::Busy;
  }
  EXPECT_EQ(busy, 1);
  // The held table is as it was: its deleted rows are still there.
  EXPECT_EQ(XBaseRows("KELVFILE.DBF").first, 6);
  EXPECT_NE(MaintenanceSummary(results).find("KELVFILE.DBF"), std::string::npos);
  EXPECT_TRUE(driver.message_boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Work, MaintenanceWork, ::testing::ValuesIn(kWorks),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
