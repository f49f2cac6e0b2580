// The new machine, backup, DNC-fail and DNC-temp paths: a question with
// the number of rows first, then DIR of the tables' live rows set (of the
// chosen machine's programs only, for the machine path), and the rows whose
// files are not in the new directory counted.
#include <gtest/gtest.h>

#include "appcore/log_text.h"
#include "dbtools/maintenance.h"
#include "platform/ui/menu.h"
#include "platform/ui/resource.h"
#include "resources/menus/main.h"
#include "tests/dbtools/import_fixture.h"

namespace {

class SetDirectoryTest : public kvimport::ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    RegisterMaintenanceCommands();
    CreateTable<TcbFileTable>("KELVDNCF.DBF");
    // Programs 1 and 2 of the mill, 3 of the lathe; P2's file is in the
    // mill's directory already, the others are not.
    for (long id = 1; id <= 3; ++id) {
      AddProgram("KELVFILE.DBF", id, id, "%\r\n");
      AddProgram("KELVDNCF.DBF", id, id, "%\r\n");
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      TcbFileRecord* r = t.FindById(id);
      r->MID = id == 3 ? lathe : mill;
      ASSERT_EQ(t.Update(r), 1);
      delete r;
    }
    Write("MILL1/P2.NC", "%\r\n");
    Globals->DncFailDir = "k:\\dncfail\\";
  }
  void TearDown() override {
    for (UINT id = kCmReplaceDrive; id <= kCmConvertLinefeeds; ++id) RegisterFrameCommand(id, nullptr);
    ImportTest::TearDown();
  }
  std::vector<std::string> Dirs(const std::string& table) {
    std::vector<std::string> out;
    for (const auto& row : PeerTable(DbPath(table))) out.push_back(row["DIR"]);
    return out;
  }
};

TEST_F(SetDirectoryTest, MachinePathAsksThenSetsTheMachinesRowsOnly) {
  const std::string old = Root() + "/mach\\";
  ExpectMachine("MILL1");
  driver.expect_message_box(IDYES, FormatLogValues(Globals->GetMessageText(kMsgSetDirectoryQuestion),
                                                   {"2", "K:\\MILL1\\"}));
  driver.expect_message_box(IDOK, FormatLogValues(Globals->GetMessageText(kMsgSetDirectoryDone),
                                                  {"2", "K:\\MILL1\\", "1"}));
  Run(kCmUpdateMachinePath);
  EXPECT_EQ(Dirs("KELVFILE.DBF"), (std::vector<std::string>{"K:\\MILL1\\", "K:\\MILL1\\", old}));
  EXPECT_EQ(Dirs("KELVDNCF.DBF"), (std::vector<std::string>{old, old, old}));
}

TEST_F(SetDirectoryTest, DncFailPathSetsEveryRowInUpperCaseAndNoChangesNothing) {
  driver.expect_message_box(IDNO, FormatLogValues(Globals->GetMessageText(kMsgSetDirectoryQuestion),
                                                  {"3", "K:\\DNCFAIL\\"}));
  Run(kCmUpdateDncFailPath);
  EXPECT_EQ(Dirs("KELVDNCF.DBF")[0], Root() + "/mach\\");
  driver.expect_message_box(IDYES);
  driver.expect_message_box(IDOK, FormatLogValues(Globals->GetMessageText(kMsgSetDirectoryDone),
                                                  {"3", "K:\\DNCFAIL\\", "3"}));
  Run(kCmUpdateDncFailPath);
  EXPECT_EQ(Dirs("KELVDNCF.DBF"), (std::vector<std::string>(3, "K:\\DNCFAIL\\")));
  EXPECT_EQ(Dirs("KELVFILE.DBF")[0], Root() + "/mach\\");
}

TEST(MaintenanceMenu, HoldsTheOptionsWithTheirSubMenus) {
  plat::set_resource_dir(KV_SOURCE_DIR "/resources");
  HMENU menu = LoadMenu(nullptr, kMenuSpecialOptions);
  ASSERT_NE(menu, nullptr);
  auto items = plat::menu_items(menu);
  ASSERT_EQ(items.size(), 9u);
  const std::pair<UINT, const char*> plain[] = {
      {kCmReplaceDrive, "&1. Replace drive"},
      {kCmReplacePaths, "&2. Replace paths (all tables)"},
      {kCmAddLeadingZeros, "&3. Add Leading Zeros"},
      {kCmUpdateMachinePath, "&4. Update to new Machine path"},
      {kCmUpdateBackupPath, "&5. Update to new Backup path"},
      {kCmUpdateDncFailPath, "&6. Update to new DNC-Fail path"},
      {kCmUpdateDncTempPath, "&7. Update to new DNC-Temp path"},
  };
  for (std::size_t i = 0; i < std::size(plain); ++i) {
    EXPECT_EQ(items[i].id, plain[i].first);
    EXPECT_EQ(items[i].text, plain[i].second);
  }
  const std::pair<UINT, const char*> subs[] = {{kCmUpdateOldCustomers, "&1. Update Old customers"},
                                               {kCmConvertLinefeeds, "&1. Convert Linefeed from [10 -> 13,10]"}};
  EXPECT_EQ(items[7].text, "&8. Update From V2.5");
  EXPECT_EQ(items[8].text, "&9. Conversions");
  for (std::size_t i = 0; i < 2; ++i) {
    ASSERT_NE(items[7 + i].popup, nullptr);
    auto sub = plat::menu_items(items[7 + i].popup);
    ASSERT_EQ(sub.size(), 1u);
    EXPECT_EQ(sub[0].id, subs[i].first);
    EXPECT_EQ(sub[0].text, subs[i].second);
  }
  DestroyMenu(menu);
  plat::set_resource_dir("");
}

}  // namespace
