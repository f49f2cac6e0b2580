// The installed view of the window model, and the calls that tell it.
#include "platform/ui/observer.h"

#include <atomic>

namespace plat {
namespace {
std::atomic<UiObserver*> g_observer{nullptr};
}  // namespace

UiObserver* set_ui_observer(UiObserver* observer) { return g_observer.exchange(observer); }
UiObserver* ui_observer() { return g_observer.load(); }

void notify_created(HWND hwnd) {
  if (UiObserver* o = g_observer.load()) o->window_created(hwnd);
}
void notify_destroyed(HWND hwnd) {
  if (UiObserver* o = g_observer.load()) o->window_destroyed(hwnd);
}
void notify_changed(HWND hwnd) {
  if (UiObserver* o = g_observer.load()) o->window_changed(hwnd);
}
void notify_focus(HWND hwnd) {
  if (UiObserver* o = g_observer.load()) o->focus_changed(hwnd);
}

}  // namespace plat
