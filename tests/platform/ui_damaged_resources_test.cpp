// Resource files damaged in ways fuzzing found: each is refused with the
// line and the reason, never read into numbers that overflow or nesting
// that runs the stack out. The files are kept in tests/fixtures/fuzz.
// Covers: platform/ui/resource.cpp, platform/ui/menu_resource.cpp
#include <gtest/gtest.h>

#include <string>

#include "platform/ui/menu_resource.h"
#include "platform/ui/resource.h"
#include "tests/support/scratch_dir.h"

namespace {

std::string Fixture(const std::string& name) {
  return kvtest::ScratchDir::read_file(KV_FIXTURES_DIR "/fuzz/" + name);
}

std::string Nested(int depth) {
  std::string text = "menu 1\n";
  for (int i = 0; i < depth; ++i) text += "popup \"p\"\n";
  text += "item 5 \"deepest\"\n";
  for (int i = 0; i <= depth; ++i) text += "end\n";
  return text;
}

TEST(DamagedResources, DialogNumbersMustFitWhereTheyGo) {
  struct Case {
    std::string text;
    const char* error;  // empty: accepted
  } cases[] = {
      {Fixture("dialog_fuzz/geometry-overflow.dlg"), "f:1: y 999999990 is out of range (-32768 to 32767 dialog units)"},
      {"dialog 1 \"\" -32768 0 32767 32767\nend\n", ""},
      {"dialog 1 \"\" 0 0 32768 10\nend\n", "f:1: width 32768 is out of range (0 to 32767 dialog units)"},
      {"dialog 1 \"\" 0 0 10 10\n ltext 2 \"a\" 0 -32769 5 5\nend\n",
       "f:2: y -32769 is out of range (-32768 to 32767 dialog units)"},
      {"dialog 1 \"\" 0 0 10 10\n font \"Arial\" 999\nend\n", ""},
      {"dialog 1 \"\" 0 0 10 10\n font \"Arial\" 40000\nend\n", "f:2: font size 40000 is out of range (1 to 999 points)"},
      {"dialog 4294967297 \"\" 0 0 10 10\nend\n", "f:1: dialog id 4294967297 is out of range"},
      {"dialog 1 \"\" 0 0 10 10\n edit 4294967297 \"\" 0 0 5 5\nend\n",
       "f:2: expected: edit <id> [<name>] \"<text>\" x y cx cy [style]"},
      {"dialog 1 \"\" 0 0 10 10\n style 0x1FFFFFFFF\nend\n", "f:2: style 0x1FFFFFFFF does not fit in 32 bits"},
      {"dialog 1 \"\" 0 0 10 10\n style 0xFFFFFFFF\nend\n", ""},
  };
  for (const Case& c : cases) {
    plat::ParseResult r = plat::parse_dialog_templates(c.text, "f");
    EXPECT_EQ(r.error, c.error) << c.text;
    EXPECT_EQ(r.dialogs.empty(), *c.error != 0) << c.text;
    for (const plat::DialogTemplate& d : r.dialogs) {
      TRect px = d.to_pixels(d.x, d.y, d.cx, d.cy);
      EXPECT_LE(px.left, px.right) << c.text;
    }
  }
}

TEST(DamagedResources, MenusNestNoDeeperThanTheyCanBeBuilt) {
  plat::MenuParseResult fixture = plat::parse_menu_resources(Fixture("menu_fuzz/deep-popups.mnu"), "f");
  EXPECT_EQ(fixture.error, "f:35: popups nested deeper than 32");
  EXPECT_TRUE(fixture.menus.empty());

  plat::MenuParseResult deepest = plat::parse_menu_resources(Nested(32), "f");
  ASSERT_EQ(deepest.error, "");
  const plat::MenuTemplate::Item* item = &deepest.menus.at(0).items.at(0);
  for (int level = 1; level < 32; ++level) item = &item->children.at(0);
  EXPECT_EQ(item->children.at(0).text, "deepest");
  EXPECT_EQ(plat::parse_menu_resources(Nested(33), "f").error, "f:34: popups nested deeper than 32");
}

}  // namespace
