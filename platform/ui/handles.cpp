// Handle registry: numbers from a counter, so a stale handle never names a
// newer window.
#include "platform/ui/handles.h"

#include <unordered_map>

namespace plat {
namespace {

struct Registry {
  std::mutex mu;
  uintptr_t next = 0x10000;
  std::unordered_map<uintptr_t, WindowRef> windows;
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

WindowRef register_window(TWindow* object, HWND parent) {
  auto data = std::make_shared<WindowData>();
  data->object = object;
  data->parent = parent;
  Registry& r = registry();
  std::lock_guard lock(r.mu);
  r.next += 4;
  data->hwnd = reinterpret_cast<HWND>(r.next);
  r.windows.emplace(r.next, data);
  return data;
}

void unregister_window(HWND hwnd) {
  Registry& r = registry();
  std::lock_guard lock(r.mu);
  r.windows.erase(reinterpret_cast<uintptr_t>(hwnd));
}

WindowRef find_window(HWND hwnd) {
  if (!hwnd) return nullptr;
  Registry& r = registry();
  std::lock_guard lock(r.mu);
  auto it = r.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == r.windows.end() ? nullptr : it->second;
}

size_t live_window_count() {
  Registry& r = registry();
  std::lock_guard lock(r.mu);
  return r.windows.size();
}

}  // namespace plat
