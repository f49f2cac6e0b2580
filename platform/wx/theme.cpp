// The look of controls placed in dialog units. Templates size a push
// button 14 units (about 22 pixels) high and an edit 12; the desktop
// theme's paddings would make widgets taller than that and spill over
// their neighbours, so a compact style sheet takes the paddings away. The
// dialog font is the one whose average character fits the template
// font's dialog unit, so labels fit where the template puts them.
#include <gtk/gtk.h>

#include <wx/dcmemory.h>

#include <map>
#include <utility>

#include "platform/ui/dialog.h"
#include "platform/ui/handles.h"
#include "platform/ui/window.h"
#include "platform/wx/renderer.h"

namespace plat::wx {
namespace {

const char kStyle[] = R"(
button { padding: 0px 6px; min-height: 0px; min-width: 0px; }
button.toggle { padding: 0px 6px; }
entry { padding: 0px 3px; min-height: 0px; }
combobox button, combobox entry { padding-top: 0px; padding-bottom: 0px; min-height: 0px; }
checkbutton, radiobutton { padding: 0px; min-height: 0px; }
check, radio { min-width: 12px; min-height: 12px; margin: 0px 4px 0px 0px; padding: 0px; }
progressbar trough, progressbar progress { min-height: 0px; }
progressbar.horizontal trough { min-height: 6px; }
frame > border { border-radius: 0px; }
)";

// The desktop's font for a template's face.
wxString face_for(const std::string& face) {
  std::string f;
  for (char c : face) f += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (f.find("courier") != std::string::npos || f.find("fixedsys") != std::string::npos ||
      f.find("terminal") != std::string::npos)
    return "Liberation Mono";
  if (f.find("times") != std::string::npos || f.find("roman") != std::string::npos) return "Liberation Serif";
  return "Liberation Sans";
}

}  // namespace

void install_theme() {
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kStyle, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

wxFont dialog_font(const std::string& face, int points) {
  static std::map<std::pair<std::string, int>, wxFont> cache;
  auto key = std::make_pair(face, points);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  // The dialog unit the model places controls with (see the template format).
  int baseX = std::max(1, (points * 6 + 4) / 8);
  int baseY = std::max(1, (points * 13 + 4) / 8);
  wxString name = face_for(face);
  wxBitmap bmp(8, 8);
  wxMemoryDC dc(bmp);
  const wxString sample = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  wxFont chosen;
  for (int px = baseY + 2; px >= 6; --px) {
    wxFont f(wxFontInfo(wxSize(0, px)).FaceName(name));
    dc.SetFont(f);
    wxCoord w = 0, h = 0;
    dc.GetTextExtent(sample, &w, &h);
    chosen = f;
    if (w <= static_cast<wxCoord>(baseX * sample.length()) && h <= baseY + 1) break;
  }
  cache[key] = chosen;
  return chosen;
}

wxFont font_for(HWND h) {
  // The template font of the dialog the window belongs to.
  for (HWND w = h; w;) {
    if (auto* d = dynamic_cast<TDialog*>(window_object(w))) {
      if (const DialogTemplate* t = d->GetTemplate()) return dialog_font(t->font, t->fontSize);
      break;
    }
    WindowRef ref = find_window(w);
    if (!ref) break;
    std::lock_guard lock(ref->mu);
    w = ref->parent;
  }
  return dialog_font("MS Sans Serif", 8);
}

}  // namespace plat::wx
