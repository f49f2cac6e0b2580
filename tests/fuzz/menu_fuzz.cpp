// Fuzz target: arbitrary text as a menu resource file. Whatever parses is
// built into menus and accelerator tables and destroyed again.
// Covers: platform/ui/menu_resource.cpp, platform/ui/menu.cpp, platform/ui/accel.cpp
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/msgbox.h"
#include "platform/ui/accel.h"
#include "platform/ui/menu.h"
#include "platform/ui/menu_resource.h"
#include "platform/ui/resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  plat::MenuParseResult r = plat::parse_menu_resources(text, "FUZZ.MNU");
  if (!r.error.empty() && r.error.find("FUZZ.MNU:") != 0) std::abort();
  if (!r.error.empty()) return 0;

  plat::clear_resources();
  std::string error;
  if (!plat::add_menu_resources(text, "FUZZ.MNU", &error)) return 0;
  for (const plat::MenuTemplate& m : r.menus) {
    HMENU menu = LoadMenu(nullptr, m.id);
    if (!menu) std::abort();  // it was just added
    if (GetMenuItemCount(menu) != static_cast<int>(m.items.size())) std::abort();
    DestroyMenu(menu);
  }
  for (const plat::AccelTemplate& a : r.accels) {
    HACCEL table = LoadAccelerators(nullptr, a.id);
    if (!table) std::abort();
    DestroyAcceleratorTable(table);
  }
  plat::clear_resources();
  return 0;
}
