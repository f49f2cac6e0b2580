// Plug-ins loaded by their DLL names, reaching our windows through the host table.
#include "platform/plugin.h"

#include <cstring>
#include "platform/ui/listbox.h"
#include "tests/platform/ui_test_support.h"

namespace {

TEST(Plugin, DllNamesMapToSharedObjects) {
  struct Case {
    const char* dll;
    const char* so;
  } cases[] = {
      {"C:\\KELVANE\\HOOKS\\TELMIX.DLL", "libtelmix.so"},
      {"MALDON.DLL", "libmaldon.so"},
      {"hooks/Brentix.dll", "libbrentix.so"},
      {"rcmd32", "librcmd32.so"},
      {"C:\\HOOKS\\", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(plat::plugin_file_name(c.dll), c.so) << c.dll;
}

class PluginLoad : public uitest::UiTest {
 protected:
  void SetUp() override {
    uitest::UiTest::SetUp();
    plat::set_plugin_dir(KV_TEST_PLUGIN_DIR);
  }
};

TEST_F(PluginLoad, PluginFillsOurListBoxThroughTheHostTable) {
  TWindow owner(nullptr, "Compare");
  ASSERT_TRUE(owner.Create());
  auto* list = new TListBox(&owner, 100, 0, 0, 300, 500);
  ASSERT_TRUE(list->Create());

  // The directory part is the program's own (a DOS path); the name decides.
  HMODULE lib = LoadLibrary("C:\\KELVANE\\HOOKS\\FILLLIST.DLL");
  ASSERT_TRUE(lib) << plat::last_plugin_error();
  auto hasHost = reinterpret_cast<int (*)()>(GetProcAddress(lib, "HasHost"));
  auto fill = reinterpret_cast<int (*)(kv_word*)>(GetProcAddress(lib, "_FILL"));
  ASSERT_TRUE(hasHost && fill);
  EXPECT_EQ(hasHost(), 1);
  const char* lines[] = {"N10 G01 X1", "\xA3 changed \xA7", "\xAD soft hyphen", nullptr};
  kv_word block[2] = {reinterpret_cast<kv_word>(list->GetHandle()), reinterpret_cast<kv_word>(lines)};
  EXPECT_EQ(fill(block), 3);
  ASSERT_EQ(list->GetCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(list->GetString(i), lines[i]);

  // A handle that died meanwhile is refused, not followed (the sanitizer
  // would catch a use of the freed list).
  HWND gone = list->GetHandle();
  delete list;
  block[0] = reinterpret_cast<kv_word>(gone);
  fill(block);
  EXPECT_FALSE(IsWindow(gone));
  EXPECT_EQ(GetProcAddress(lib, "_MISSING"), nullptr);
  EXPECT_NE(plat::last_plugin_error(), "");
  EXPECT_TRUE(FreeLibrary(lib));
  owner.Destroy();
}

TEST_F(PluginLoad, OwnerDrawnListKeepsItsOwnCopyOfAPluginsLines) {
  TWindow owner(nullptr, "Compare");
  ASSERT_TRUE(owner.Create());
  auto* list = new TListBox(&owner, 101, 0, 0, 300, 500);
  list->Attr.Style = (list->Attr.Style & ~LBS_HASSTRINGS) | LBS_OWNERDRAWFIXED;
  ASSERT_TRUE(list->Create());
  HMODULE lib = LoadLibrary("FILLLIST.DLL");
  ASSERT_TRUE(lib) << plat::last_plugin_error();
  auto fill = reinterpret_cast<int (*)(kv_word*)>(GetProcAddress(lib, "_FILL"));
  ASSERT_TRUE(fill);
  // The plug-in's texts die right after the call, as the compare library's do.
  char first[] = "0@@N10 G00 X0";
  char second[] = "3@@N20 M30";
  const char* lines[] = {first, second, nullptr};
  kv_word block[2] = {reinterpret_cast<kv_word>(list->GetHandle()), reinterpret_cast<kv_word>(lines)};
  EXPECT_EQ(fill(block), 2);
  std::memset(first, 'x', sizeof first - 1);
  std::memset(second, 'x', sizeof second - 1);
  ASSERT_EQ(list->GetCount(), 2);
  EXPECT_STREQ(reinterpret_cast<const char*>(list->GetItemData(0)), "0@@N10 G00 X0");
  EXPECT_STREQ(reinterpret_cast<const char*>(list->GetItemData(1)), "3@@N20 M30");
  EXPECT_TRUE(FreeLibrary(lib));
  owner.Destroy();
}

TEST_F(PluginLoad, MissingLibraryIsNullWithAReason) {
  EXPECT_EQ(LoadLibrary("C:\\HOOKS\\BRENTIX.DLL"), nullptr);
  EXPECT_NE(plat::last_plugin_error().find("libbrentix.so"), std::string::npos);
  plat::set_plugin_dir("");
  EXPECT_EQ(LoadLibrary("FILLLIST.DLL"), nullptr);
}

}  // namespace
