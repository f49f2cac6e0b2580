// The system log writer: which types write an entry, the text made from the
// type's LOGSTRS text, the values and the user's name, its cut at 200.
#include <set>
#include <thread>

#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbmodel/counter.h"
#include "dbmodel/syslog.h"
#include "tests/dbmodel/db_fixture.h"

namespace {

using kvdb::DbTest;

class WriteLogTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    MakeCounters();
    CreateTable<TLogTable>("LOG00000.DBF");
    Globals->UserFirstName.Set("Ada");
    Globals->UserLastName.Set("Lovelace");
  }
  // Live rows as (TYPE, STAT, TEXT).
  std::vector<std::vector<std::string>> Entries() {
    std::vector<std::vector<std::string>> out;
    for (const auto& r : Rows(DbPath("LOG00000.DBF")))
      if (r[0] == " ") out.push_back({r[2], r[3], r[4]});
    return out;
  }
};

TEST_F(WriteLogTest, TypesAndTexts) {
  auto& texts = Globals->LogTexts;
  texts.Set(4, "Deleted %s on %s by %s %s");
  texts.Set(8, "never %s");
  texts.Set(20, "Machine %s altered by %s %s");
  texts.Set(6, "Copy %s/%s to %s/%s (%s %s)");
  texts.Set(1, "Sent %d");  // not a text format for its values: written plainly
  struct Case {
    int type;
    std::vector<const char*> values;
    std::string text;  // empty: no entry
  } cases[] = {
      {4, {"P1", "MILL", "ignored"}, "Deleted P1 on MILL by Ada Lovelace"},
      {20, {"LATHE", "x", "y", "z", "w"}, "Machine LATHE altered by Ada Lovelace"},
      {6, {"A", "M1", "B", "M2"}, "Copy A/M1 to B/M2 (Ada Lovelace)"},
      {1, {"P", "M", "COM1"}, "Sent %d P M COM1 Ada Lovelace"},
      {8, {"x"}, ""},      // a type that writes no entry
      {5, {"x", "y"}, ""},  // no LOGSTRS text
      {2000, {"x"}, ""},
      {-1, {"x"}, ""},
  };
  Globals->LogStatus = 42;
  for (const auto& c : cases) {
    size_t before = Entries().size();
    const char* v[5] = {};
    for (size_t i = 0; i < c.values.size(); i++) v[i] = c.values[i];
    Globals->WriteLog(c.type, v[0], v[1], v[2], v[3], v[4]);
    auto entries = Entries();
    if (c.text.empty()) {
      EXPECT_EQ(entries.size(), before) << c.type;
      continue;
    }
    ASSERT_EQ(entries.size(), before + 1) << c.type;
    EXPECT_EQ(entries.back(), (std::vector<std::string>{std::to_string(c.type), "42", c.text}));
  }
}

TEST_F(WriteLogTest, LongTextIsCutAndIdsFollowTheCounter) {
  Globals->LogTexts.Set(7, "Created %s on %s by %s %s");
  std::string longName(300, 'D');
  Globals->WriteLog(kLogProgramCreated, longName.c_str(), "MILL");
  Globals->WriteLog(kLogProgramCreated, "P2", "MILL");
  auto rows = Rows(DbPath("LOG00000.DBF"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][4], ("Created " + longName).substr(0, 200));
  EXPECT_EQ(std::stol(rows[1][1]), std::stol(rows[0][1]) + 1);
  EXPECT_EQ(rows[0][5].size(), 8u);  // today's date
}

TEST_F(WriteLogTest, TransferThreadsWriteAtTheSameTime) {
  Globals->LogTexts.Set(29, "Stored %s from %s on %s by %s %s");
  std::vector<std::thread> threads;
  for (int k = 0; k < 3; k++)
    threads.emplace_back([k] {
      for (int i = 0; i < 10; i++)
        Globals->WriteLog(kLogReceivedNew, FormatText("P%d.%d", k, i).c_str(), "MILL", "COM1");
    });
  for (auto& t : threads) t.join();
  auto rows = Rows(DbPath("LOG00000.DBF"));
  std::set<std::string> ids, texts;
  for (const auto& r : rows) {
    ids.insert(r[1]);
    texts.insert(r[4]);
  }
  EXPECT_EQ(rows.size(), 30u);
  EXPECT_EQ(ids.size(), 30u);
  EXPECT_EQ(texts.size(), 30u);
}

TEST_F(WriteLogTest, MissingLogFileWritesNothing) {
  std::filesystem::remove(DbPath("LOG00000.DBF"));
  Globals->LogTexts.Set(7, "Created %s on %s by %s %s");
  Globals->WriteLog(kLogProgramCreated, "P", "M");
  EXPECT_FALSE(std::filesystem::exists(DbPath("LOG00000.DBF")));
}

}  // namespace
