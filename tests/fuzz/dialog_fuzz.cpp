// Fuzz target: arbitrary text as a dialog resource file. Whatever parses is
// laid out, and when the file is sound, each dialog is built from it as a
// modeless window and closed again.
// Covers: platform/ui/resource.cpp, platform/ui/dialog.cpp
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/msgbox.h"
#include "platform/ui/dialog.h"
#include "platform/ui/handles.h"
#include "platform/ui/resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    plat::set_message_box_handler([](HWND, const std::string&, const std::string&, UINT) { return IDOK; });
    return true;
  }();
  (void)quiet;
  const std::string text(reinterpret_cast<const char*>(data), size);
  plat::ParseResult r = plat::parse_dialog_templates(text, "FUZZ.DLG");
  if (!r.error.empty() && r.error.find("FUZZ.DLG:") != 0) std::abort();  // every error names its place
  for (const plat::DialogTemplate& d : r.dialogs) {
    (void)d.to_pixels(d.x, d.y, d.cx, d.cy);
    for (const plat::ControlTemplate& c : d.controls) (void)d.to_pixels(c.x, c.y, c.cx, c.cy);
  }
  if (!r.error.empty() || r.dialogs.size() > 4) return 0;

  plat::clear_resources();
  std::string error;
  if (!plat::add_dialog_templates(text, "FUZZ.DLG", &error)) return 0;  // ids twice
  const size_t before = plat::live_window_count();
  for (const plat::DialogTemplate& d : r.dialogs) {
    if (d.controls.size() > 64) continue;
    TDialog dlg(nullptr, d.id);
    if (dlg.Create()) dlg.Destroy();
  }
  if (plat::live_window_count() != before) std::abort();
  plat::clear_resources();
  return 0;
}
