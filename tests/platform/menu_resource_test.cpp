// Menus and accelerators: the resource files, the program's own menus and
// keys, and changes to menus by command and position.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/accel.h"
#include "platform/ui/menu.h"
#include "platform/ui/menu_resource.h"
#include "ui_test_support.h"

namespace {

class MenuTest : public uitest::UiTest {};

TEST_F(MenuTest, KeyNames) {
  struct Case {
    const char* text;
    bool ok;
    BYTE virt;
    WORD key;
  } cases[] = {
      {"F2", true, FVIRTKEY, VK_F2},
      {"Ctrl+F5", true, FVIRTKEY | FCONTROL, VK_F5},
      {"Alt+P", true, FVIRTKEY | FALT, 'P'},
      {"ctrl+shift+z", true, FVIRTKEY | FCONTROL | FSHIFT, 'Z'},
      {"Shift+Del", true, FVIRTKEY | FSHIFT, VK_DELETE},
      {"F24", true, FVIRTKEY, VK_F1 + 23},
      {"F25", false, 0, 0},
      {"F2x", false, 0, 0},
      {"Hyper+X", false, 0, 0},
      {"Ctrl+", false, 0, 0},
      {"PgDn", true, FVIRTKEY, VK_NEXT},
  };
  for (const Case& c : cases) {
    BYTE virt = 0;
    WORD key = 0;
    EXPECT_EQ(plat::parse_key(c.text, virt, key), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(virt, c.virt) << c.text;
    EXPECT_EQ(key, c.key) << c.text;
  }
}

TEST_F(MenuTest, BadResourceFilesNameTheLine) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"menu 1\n  item 5 \"A\"\n", "t:1: menu 1 has no end"},
      {"menu 1\n  item 5 \"A\n end\n", "t:2: text without closing quote"},
      {"menu 1\n  item x \"A\"\nend\n", "t:2: unknown statement 'item'"},
      {"menu 1\n  item 5 \"A\" bold\nend\n", "t:2: unknown item option 'bold'"},
      {"accelerators 2\n  key Meta+Q 5\nend\n", "t:2: expected: key <keys> <command>"},
      {"accelerators 2\n  key F2 5\n", "t:1: accelerators 2 have no end"},
      {"item 5 \"A\"\n", "t:1: expected: menu <id>, accelerators <id> or commands"},
      {"menu 99999999\nend\n", "t:1: expected: menu <id>, accelerators <id> or commands"},
      // Names: one number each, one name for a command, keys by a name of the file.
      {"menu 1 kMenuA\n  item 5 kCmA \"A\"\n  item 6 kCmA \"B\"\nend\n", "t:3: name kCmA stands for 5 already, not 6"},
      {"menu 1\n  item 5 kCmA \"A\"\n  item 5 kCmB \"B\"\nend\n", "t:3: command 5 is named kCmA already, not kCmB"},
      {"menu 1 kCmA\n  item 1 kCmA \"A\"\nend\n", "t:2: name kCmA stands for 1 already, not 1"},
      {"commands\n  command 5 kCmA\n  command 5\nend\n", "t:3: expected: command <command> <name>"},
      {"commands\n  command 5 kCmA\n", "t:1: commands have no end"},
      {"accelerators 2\n  key F2 kCmA\nend\n", "t:2: key names command kCmA, which the file does not name"},
  };
  for (const Case& c : cases) {
    plat::MenuParseResult r = plat::parse_menu_resources(c.text, "t");
    EXPECT_EQ(r.error, c.error) << c.text;
    EXPECT_TRUE(r.menus.empty());
  }
  std::string err;
  EXPECT_TRUE(plat::add_menu_resources("menu 7001\n item 1 \"x\"\nend\n", "a", &err)) << err;
  EXPECT_FALSE(plat::add_menu_resources("menu 7002\nend\nmenu 7001\nend\n", "b", &err));
  EXPECT_EQ(err, "b:3: menu 7001 is defined twice");
  // Nothing of a refused file is taken.
  std::vector<std::string> errors;
  {
    uitest::RecordingDriver ui(&errors);
    EXPECT_EQ(LoadMenu(nullptr, 7002), nullptr);
    EXPECT_EQ(LoadAccelerators(nullptr, 7003), nullptr);
  }
  EXPECT_EQ(errors, (std::vector<std::string>{"menu resource 7002 is missing", "accelerator table 7003 is missing"}));
}

// The names beside the numbers are for the build's header: the program
// reads the same menus and keys with them as without them.
TEST_F(MenuTest, NamesBesideTheNumbersChangeNothingShown) {
  const char* named =
      "menu 1 kMenuFile\n  item 5 kCmOpen \"&Open\\tF2\" grayed\n  separator\n  popup \"&More\"\n"
      "    item 6 kCmMore \"M\"\n  end\nend\n"
      "commands\n  command 9 kCmHidden\nend\n"
      "accelerators 2 kAccelMain\n  key F2 kCmOpen\n  key F3 kCmHidden\n  key F4 6\nend\n";
  const char* bare =
      "menu 1\n  item 5 \"&Open\\tF2\" grayed\n  separator\n  popup \"&More\"\n"
      "    item 6 \"M\"\n  end\nend\n"
      "accelerators 2\n  key F2 5\n  key F3 9\n  key F4 6\nend\n";
  plat::MenuParseResult a = plat::parse_menu_resources(named, "named"), b = plat::parse_menu_resources(bare, "bare");
  ASSERT_EQ(a.error, "");
  ASSERT_EQ(a.menus.size(), 1u);
  ASSERT_EQ(a.menus[0].items.size(), 3u);
  EXPECT_EQ(a.menus[0].items[0].id, 5u);
  EXPECT_EQ(a.menus[0].items[0].text, "&Open\tF2");
  EXPECT_EQ(a.menus[0].items[0].flags, b.menus[0].items[0].flags);
  EXPECT_EQ(a.menus[0].items[2].children[0].id, 6u);
  ASSERT_EQ(a.accels.size(), 1u);
  ASSERT_EQ(a.accels[0].entries.size(), b.accels[0].entries.size());
  for (size_t i = 0; i < a.accels[0].entries.size(); ++i) {
    EXPECT_EQ(a.accels[0].entries[i].cmd, b.accels[0].entries[i].cmd) << i;
    EXPECT_EQ(a.accels[0].entries[i].key, b.accels[0].entries[i].key) << i;
  }
  std::vector<std::string> names;
  for (const auto& n : a.names) names.push_back(n.name + "=" + std::to_string(n.id));
  EXPECT_EQ(names, (std::vector<std::string>{"kMenuFile=1", "kCmOpen=5", "kCmMore=6", "kCmHidden=9", "kAccelMain=2"}));
  EXPECT_TRUE(b.names.empty());
}

TEST_F(MenuTest, TheProgramsMenusAndKeys) {
  plat::set_resource_dir(KV_SOURCE_DIR "/resources");
  for (int id : {2000, 2001, 2002, 2003, 2004, 2007, 2008, 2010, 2011, 2012, 2013, 2014, 2015, 2016, 2017, 2018,
                 2020, 2021, 2022, 2023, 2050}) {
    HMENU m = LoadMenu(nullptr, id);
    EXPECT_TRUE(IsMenu(m)) << id;
    DestroyMenu(m);
  }
  TMenu file(TResId(2000));
  std::vector<UINT> ids;
  for (int i = 0; i < file.GetMenuItemCount(); ++i) ids.push_back(file.GetMenuItemID(i));
  EXPECT_EQ(ids, (std::vector<UINT>{101, 102, 110, 1229, static_cast<UINT>(-1), 116}));
  EXPECT_EQ(file.GetMenuString(102, MF_BYCOMMAND), "&2. Open\tF2");

  HACCEL keys = LoadAccelerators(nullptr, 101);
  struct Key {
    UINT vk;
    BYTE mods;
    UINT cmd;
  } table[] = {{VK_F2, 0, 102},         {VK_F4, 0, 103},         {VK_F5, 0, 105},
               {VK_F5, FCONTROL, 106},  {VK_F6, 0, 111},         {VK_F6, FCONTROL, 112},
               {VK_F8, 0, 1006},        {VK_F8, FCONTROL, 1007}, {'P', FALT, 9800},
               {VK_F2, FSHIFT, 0},      {'P', 0, 0}};
  for (const Key& k : table) EXPECT_EQ(plat::find_accelerator(keys, k.vk, k.mods), k.cmd) << k.vk;
  EXPECT_TRUE(DestroyAcceleratorTable(keys));
  EXPECT_EQ(plat::find_accelerator(keys, VK_F2, 0), 0u);
}

TEST_F(MenuTest, ChangesByCommandAndPosition) {
  size_t before = plat::live_menu_count();
  {
    TMenu bar;
    HMENU cascade = CreatePopupMenu();
    AppendMenu(cascade, MF_STRING, 5000, "&1. Programs for customer");
    HMENU popup = CreatePopupMenu();
    AppendMenu(popup, MF_STRING, 400, "&0. Connect");
    AppendMenu(popup, MF_SEPARATOR, 0, nullptr);
    AppendMenu(popup, MF_POPUP, reinterpret_cast<uintptr_t>(cascade), "Export");
    AppendMenu(popup, MF_STRING | MF_GRAYED, 1229, "Job file");
    EXPECT_TRUE(bar.AppendMenu(MF_POPUP, popup, "&Database"));
    EXPECT_FALSE(bar.AppendMenu(MF_POPUP, reinterpret_cast<HMENU>(12345), "bad"));

    // By command, deep in a cascade.
    EXPECT_TRUE(bar.ModifyMenu(5000, MF_BYCOMMAND | MF_STRING, 5000, "Kunden"));
    EXPECT_EQ(bar.GetMenuString(5000, MF_BYCOMMAND), "Kunden");
    EXPECT_FALSE(bar.ModifyMenu(4999, MF_BYCOMMAND, 4999, "none"));
    EXPECT_EQ(bar.GetMenuState(1229, MF_BYCOMMAND), MF_GRAYED);
    EXPECT_EQ(bar.EnableMenuItem(1229, MF_ENABLED), MF_GRAYED);
    EXPECT_EQ(bar.CheckMenuItem(400, MF_CHECKED), MF_UNCHECKED);
    EXPECT_EQ(bar.GetMenuState(400, MF_BYCOMMAND), MF_CHECKED);
    EXPECT_TRUE(bar.DeleteMenu(1229, MF_BYCOMMAND));
    EXPECT_FALSE(bar.DeleteMenu(1229, MF_BYCOMMAND));
    EXPECT_EQ(GetMenuItemCount(popup), 3);

    // By position; past the end appends.
    EXPECT_TRUE(InsertMenu(popup, 0, MF_BYPOSITION | MF_STRING, 399, "first"));
    EXPECT_TRUE(InsertMenu(popup, 99, MF_BYPOSITION | MF_STRING, 1210, "last"));
    EXPECT_EQ(GetMenuItemID(popup, 0), 399u);
    EXPECT_EQ(GetMenuItemID(popup, 4), 1210u);
    EXPECT_EQ(GetMenuItemID(popup, 3), static_cast<UINT>(-1));  // the cascade
    EXPECT_EQ(GetSubMenu(popup, 3), cascade);
    char small[4];
    EXPECT_EQ(GetMenuString(popup, 1210, small, sizeof small, MF_BYCOMMAND), 3);
    EXPECT_STREQ(small, "las");

    // Deleting a cascade destroys it; removing keeps it.
    EXPECT_TRUE(RemoveMenu(popup, 3, MF_BYPOSITION));
    EXPECT_TRUE(IsMenu(cascade));
    EXPECT_TRUE(AppendMenu(popup, MF_POPUP, reinterpret_cast<uintptr_t>(cascade), "again"));
    EXPECT_TRUE(DeleteMenu(popup, 4, MF_BYPOSITION));
    EXPECT_FALSE(IsMenu(cascade));
  }
  EXPECT_EQ(plat::live_menu_count(), before);
}

}  // namespace
