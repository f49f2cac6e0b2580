// Pack and reindex over the whole database: deleted rows go, live rows and
// their tags stay (read back by the engine, python3-dbfread and Perl's
// XBase), a directory named twice is done once, a file that is no table
// and a table another process holds end in the closing list, not in boxes
// or an endless wait.
#include <gtest/gtest.h>
#include "dbtools/maintenance.h"
#include "engine/engine_api.h"
#include "appcore/log_text.h"
#include "tests/dbtools/import_fixture.h"
#include "tests/dbtools/lock_holder.h"

namespace {

using kvimport::RunCommand;

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
    std::string out = RunCommand("/usr/bin/perl " KV_SOURCE_DIR "/tests/engine/peers/xbase_dump.pl '" +
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
