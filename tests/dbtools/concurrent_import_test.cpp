// A plain import of 500 files while another process files programs through
// the save dialog into the same database: every program gets an id of its
// own, every imported file its row.
#include <set>

#include "tests/dbtools/import_fixture.h"

namespace {

using kvimport::ImportTest;

constexpr int kFiles = 500;

TEST_F(ImportTest, APlainImportBesideAnotherStationFilingGivesEveryProgramItsOwnId) {
  for (int i = 0; i < kFiles; ++i) Write("SRC/CHOSEN/F" + std::to_string(i) + ".NC", "N" + std::to_string(i) + "\r\n");
  kvimport::TSavingStation station(lathe, Native("saved.txt"), 20);
  ASSERT_TRUE(station.Running());
  ExpectMachine("MILL1");
  Run(kCmImportToMachine);
  const int saved = station.Stop();
  ASSERT_GE(saved, 1);

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
