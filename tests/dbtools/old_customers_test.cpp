// Update old customers: the live customers of the older file come in once
// with new ids, names with quotes included; a second run adds nothing.
#include <gtest/gtest.h>

#include "appcore/log_text.h"
#include "dbtools/maintenance.h"
#include "platform/file.h"
#include "tests/dbtools/import_fixture.h"

namespace {

class OldCustomersTest : public kvimport::ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    MakeCounters();
    RegisterMaintenanceCommands();
  }
  void TearDown() override {
    RegisterFrameCommand(kCmUpdateOldCustomers, nullptr);
    ImportTest::TearDown();
  }
  std::vector<std::string> Companies() {
    std::vector<std::string> out;
    for (const auto& row : PeerTable(DbPath("KELVCUS2.DBF"), {"ID", "F2", "F3", "F4", "CATEGORY", "COMPANY"}))
      if (!row.deleted) out.push_back(row["COMPANY"]);
    return out;
  }
  std::vector<std::string> XBaseCompanies() {
    std::vector<std::string> out;
    for (const auto& row : XBaseTable(DbPath("KELVCUS2.DBF"), {"ID", "F2", "F3", "F4", "CATEGORY", "COMPANY"}))
      if (!row.deleted) out.push_back(row["COMPANY"]);
    return out;
  }
};

TEST_F(OldCustomersTest, AddsEveryLiveOldCustomerOnce) {
  MakeFile("KELVCUST.DBF", {{"ID", 'N', 10, 0}, {"NAME", 'C', 40, 0}},
           {{"1", "ACME"}, {"2", "Bolt & Nut 'Ltd'"}, {"3", "Gone"}, {"4", "Cogs \"Inc\" 'Ltd'"}},
           {}, {false, false, true, false});
  const std::vector<std::string> expected = {"ACME", "Bolt & Nut 'Ltd'", "Cogs \"Inc\" 'Ltd'"};
  driver.expect_message_box(IDOK, FormatLogValues(Globals->GetMessageText(kMsgOldCustomersSummary), {"3", "0"}));
  Run(kCmUpdateOldCustomers);
  EXPECT_EQ(Companies(), expected);
  EXPECT_EQ(XBaseCompanies(), expected);
  const std::string once = DbPath("KELVCUS2.ONCE");
  ASSERT_TRUE(plat::copy_file(DbPath("KELVCUS2.DBF"), once, false));
  driver.expect_message_box(IDOK, FormatLogValues(Globals->GetMessageText(kMsgOldCustomersSummary), {"0", "3"}));
  Run(kCmUpdateOldCustomers);
  EXPECT_EQ(Companies(), expected);
  // The second run leaves the file as the first left it, byte for byte.
  int status = -1;
  kvtest::run_command("cmp '" + once + "' '" + DbPath("KELVCUS2.DBF") + "'", &status);
  EXPECT_EQ(status, 0);
  // New ids, all different.
  std::set<std::string> ids;
  for (const auto& row : PeerTable(DbPath("KELVCUS2.DBF"), {"ID"})) ids.insert(row["ID"]);
  EXPECT_EQ(ids.size(), 3u);
}

TEST_F(OldCustomersTest, AMissingOldFileIsSaidSo) {
  driver.expect_message_box(IDOK, "KELVCUST.DBF");
  Run(kCmUpdateOldCustomers);
  EXPECT_TRUE(Companies().empty());
}

}  // namespace
