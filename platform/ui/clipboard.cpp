// The text clipboard, shared by every thread of the program.
#include "platform/ui/clipboard.h"

#include <mutex>

#include "platform/ui/observer.h"

namespace plat {
namespace {
std::mutex g_mu;
std::string g_text;
}  // namespace

void set_clipboard_text(const std::string& text) {
  {
    std::lock_guard lock(g_mu);
    g_text = text;
  }
  if (UiObserver* o = ui_observer()) o->clipboard_set(text);
}

std::string clipboard_text() {
  if (UiObserver* o = ui_observer())
    if (std::optional<std::string> shared = o->clipboard_get()) return *shared;
  std::lock_guard lock(g_mu);
  return g_text;
}

}  // namespace plat
