// Id counters: first values, rows made on the fly, and draws from several
// threads and processes that never hand out one id twice.
#include <set>
#include <thread>

#include "db_fixture.h"
#include "dbmodel/counter.h"

namespace {

using kvdb::DbTest;

class CounterTest : public DbTest {
 protected:
  void CreateCounters() {
    TcbCounterTable t("KELVINDX.DBF", 0, 0);
    t.Create(DbPath("KELVINDX.DBF").c_str());
  }
  // Counter values of every row (F01..F25 as texts).
  std::vector<std::vector<std::string>> CounterRows() { return Rows(DbPath("KELVINDX.DBF")); }
  void AddRows(int n) {
    std::vector<DbFieldInfo> fields;
    static std::vector<std::string> names;
    names.clear();
    for (int i = 1; i <= 25; i++) names.push_back(FormatText("F%02d", i));
    for (int i = 0; i < 25; i++) fields.push_back({names[i].c_str(), 'N', 10, 0});
    std::vector<std::vector<std::string>> rows(n, std::vector<std::string>(25, "7"));
    MakeFile("KELVINDX.DBF", fields, rows);
  }
};

TEST_F(CounterTest, FreshInitialisedFileStartsAtThree) {
  CreateCounters();
  TcbCounterTable t("KELVINDX.DBF", 0, 0);
  t.EnsureRecords();
  EXPECT_EQ(CounterRows().size(), 5u);
  EXPECT_EQ(NextProgramId(), 3);
  EXPECT_EQ(NextProgramId(), 4);
  EXPECT_EQ(NextSetupSheetTypeId(), 3);
  EXPECT_EQ(NextVersionLogId(), 3);
  EXPECT_EQ(NextCounterA(19), 3);
  EXPECT_EQ(NextCounterB(25), 3);
  EXPECT_EQ(NextCounterC(16), 3);
  auto rows = CounterRows();
  EXPECT_EQ(rows[0][2], "4");  // the value stored is the value returned
  EXPECT_EQ(rows[0][1], "2");
  EXPECT_EQ(rows[1][20], "3");
  EXPECT_EQ(rows[2][7], "3");
  // Creating again over the existing file leaves it as it is.
  CreateCounters();
  EXPECT_EQ(CounterRows().size(), 5u);
}

TEST_F(CounterTest, RowsMadeOnTheFly) {
  struct Case {
    int rowsBefore;
    char which;
    long want;
    size_t rowsAfter;
  } cases[] = {
      {0, 'A', 1, 1},  // never initialised: one row appended
      {0, 'B', 1, 2},  // row 2 made; row 1 is not advanced
      {1, 'B', 1, 2},
      {2, 'C', 1, 5},
      {3, 'C', 8, 5},  // row 3 exists; rows 4 and 5 are added
      {4, 'C', 8, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(FormatText("%d rows, %c", c.rowsBefore, c.which));
    std::filesystem::remove(DbPath("KELVINDX.DBF"));
    if (c.rowsBefore == 0) {
      CreateCounters();
    } else {
      AddRows(c.rowsBefore);
    }
    long got = c.which == 'A' ? NextCounterA(5) : c.which == 'B' ? NextCounterB(5) : NextCounterC(5);
    EXPECT_EQ(got, c.want);
    auto rows = CounterRows();
    ASSERT_EQ(rows.size(), c.rowsAfter);
    if (c.which == 'B' && c.rowsBefore == 0) {
      EXPECT_EQ(rows[0][5], "");
    }
    if (c.which == 'C' && c.rowsBefore < 4) {
      for (size_t r = c.rowsBefore; r < 5; r++) EXPECT_EQ(rows[r][1], "0");
    }
  }
}

TEST_F(CounterTest, EnsureRecordsFillsUpToFiveRows) {
  AddRows(3);
  TcbCounterTable t("KELVINDX.DBF", 0, 0);
  t.EnsureRecords();
  auto rows = CounterRows();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[2][25], "7");
  EXPECT_EQ(rows[3][1], "2");
  EXPECT_EQ(rows[4][25], "2");

  std::filesystem::remove(DbPath("KELVINDX.DBF"));
  AddRows(4);
  t.EnsureRecords();
  EXPECT_EQ(CounterRows().size(), 4u);
}

TEST_F(CounterTest, MissingFileFailsTheDraw) {
  EXPECT_EQ(NextCustomerId(), -1);
  EXPECT_FALSE(std::filesystem::exists(DbPath("KELVINDX.DBF")));
}

TEST_F(CounterTest, ResetSetsTheCounterToZero) {
  CreateCounters();
  TcbCounterTable t("KELVINDX.DBF", 0, 0);
  t.EnsureRecords();
  NextBackupId();
  EXPECT_EQ(ResetBackupIds(), 1);
  EXPECT_EQ(NextBackupId(), 1);
}

TEST_F(CounterTest, ThreadsNeverShareAnId) {
  CreateCounters();
  TcbCounterTable init("KELVINDX.DBF", 0, 0);
  init.EnsureRecords();
  std::vector<std::vector<long>> got(4);
  std::vector<std::thread> threads;
  for (auto& ids : got)
    threads.emplace_back([&ids] {
      for (int i = 0; i < 100; i++) ids.push_back(NextProgramId());
    });
  for (auto& t : threads) t.join();
  std::set<long> all;
  for (auto& ids : got)
    for (long id : ids) {
      EXPECT_GT(id, 2);
      all.insert(id);
    }
  EXPECT_EQ(all.size(), 400u);
}

TEST_F(CounterTest, TwoProcessesNeverShareAnId) {
  CreateCounters();
  TcbCounterTable init("KELVINDX.DBF", 0, 0);
  init.EnsureRecords();
  std::string outA = Root() + "/a.txt", outB = Root() + "/b.txt";
  auto draw = [](const std::string& out) {
    return [out] {
      std::string ids;
      for (int i = 0; i < 1000; i++) ids += std::to_string(NextProgramId()) + "\n";
      kvdb::WriteFileBytes(out, ids);
      return 0;
    };
  };
  pid_t pid = fork();
  if (pid == 0) _exit(draw(outB)());
  draw(outA)();
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  std::set<long> all;
  for (const auto& f : {outA, outB}) {
    std::string text = kvdb::ReadFileBytes(f);
    size_t pos = 0, lines = 0;
    while (pos < text.size()) {
      size_t nl = text.find('\n', pos);
      long id = std::stol(text.substr(pos, nl - pos));
      EXPECT_GT(id, 2);
      all.insert(id);
      pos = nl + 1;
      lines++;
    }
    EXPECT_EQ(lines, 1000u);
  }
  EXPECT_EQ(all.size(), 2000u);
  EXPECT_EQ(*all.rbegin(), 2002);
}

}  // namespace
