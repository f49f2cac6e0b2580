// The hook through which a view of the window model (the desktop renderer)
// hears about changes. The model calls it after it changed a window's
// state; the view reads the state back itself. Changes may be reported
// from any thread; creation, destruction and focus come from the UI thread.
// Without an observer (tests, no display) every call is a no-op.
#pragma once

#include <optional>
#include <string>

#include "platform/wintypes.h"

namespace plat {

class UiObserver {
 public:
  virtual ~UiObserver() = default;
  virtual void window_created(HWND) {}
  // Called before the handle goes, children first.
  virtual void window_destroyed(HWND) {}
  virtual void window_changed(HWND) {}
  virtual void focus_changed(HWND) {}
  // The program put text on its clipboard, or wants to read it: a view
  // that shares the desktop's clipboard answers with the desktop's text.
  virtual void clipboard_set(const std::string&) {}
  virtual std::optional<std::string> clipboard_get() { return std::nullopt; }
};

// Installs the observer (null removes it); returns the previous one.
UiObserver* set_ui_observer(UiObserver* observer);
UiObserver* ui_observer();

void notify_created(HWND hwnd);
void notify_destroyed(HWND hwnd);
void notify_changed(HWND hwnd);
void notify_focus(HWND hwnd);

}  // namespace plat
