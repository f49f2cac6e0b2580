// The text clipboard, shared by every thread of the program.
#include "platform/ui/clipboard.h"

#include <mutex>

namespace plat {
namespace {
std::mutex g_mu;
std::string g_text;
}  // namespace

void set_clipboard_text(const std::string& text) {
  std::lock_guard lock(g_mu);
  g_text = text;
}

std::string clipboard_text() {
  std::lock_guard lock(g_mu);
  return g_text;
}

}  // namespace plat
