// The "Special Import" menu as its resource gives it: the plain imports,
// the table import, then the tape imports in a sub-menu.
#include <gtest/gtest.h>

#include "dbtools/import_commands.h"
#include "platform/ui/menu.h"
#include "platform/ui/resource.h"
#include "resources/menus/main.h"

namespace {

TEST(ImportMenu, HoldsTheImportsInOrderWithTheTapesInASubMenu) {
  plat::set_resource_dir(KV_SOURCE_DIR "/resources");
  HMENU menu = LoadMenu(nullptr, kMenuSpecialImport);
  ASSERT_NE(menu, nullptr);
  auto items = plat::menu_items(menu);
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items[0].id, kCmImportToMachine);
  EXPECT_EQ(items[0].text, "&1. Import to machine");
  EXPECT_EQ(items[1].id, kCmImportToCustomer);
  EXPECT_EQ(items[1].text, "&2. Import to customer");
  EXPECT_EQ(items[2].id, kCmImportToProject);
  EXPECT_EQ(items[2].text, "&3. Import to project");
  EXPECT_TRUE(items[3].flags & MF_SEPARATOR);
  EXPECT_EQ(items[4].id, kCmImportDncDatabase);
  ASSERT_NE(items[5].popup, nullptr);
  std::vector<UINT> tapes;
  for (const auto& item : plat::menu_items(items[5].popup)) tapes.push_back(item.id);
  EXPECT_EQ(tapes, (std::vector<UINT>{kCmImportMazakT32, kCmImportMazakTPlus, kCmImportWc18, kCmImportWc18140,
                                      kCmImportWc18200}));
  DestroyMenu(menu);
  plat::set_resource_dir("");
}

}  // namespace
