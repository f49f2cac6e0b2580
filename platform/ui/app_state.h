// The loop machinery shared by the application object, modal dialogs and
// the test driver: take and run one queued message, run idle processing,
// and wait for the next message the way the current host decides (a
// desktop waits for the user; the test driver waits a short while and then
// fails instead of hanging).
#pragma once

#include <functional>
#include <string>
#include <typeinfo>

class TApplication;
class TDialog;

namespace plat {

// Runs one queued message; false when the queue was empty. A quit message
// sets the quit flag and is not consumed by nested loops.
bool dispatch_one();
// Runs every waiting message; true if any ran.
bool dispatch_all();
// Idle processing of the application object; false when it wants no more.
bool run_idle(long idleCount);
// Waits for a message; false when the host gives up (the caller then ends
// its loop).
bool wait_for_message(const std::string& what);

bool quit_requested();
int quit_code();
void clear_quit();

// How modal dialogs are answered and how loops wait. The headless default
// cancels an unexpected dialog (reporting it on stderr) and waits without
// limit; the test driver and the desktop renderer install their own.
struct UiHost {
  std::function<void(TDialog&)> show_modal;
  std::function<bool(const std::string& what)> wait;
  std::function<void(const std::string& error)> error;
  // Lets the host handle its own pending events (a desktop's clicks) while
  // a long command pumps the queue.
  std::function<void()> pump;
};
UiHost set_ui_host(UiHost host);
// Reports a failure of the layer (a missing template, a bad resource).
void report_ui_error(const std::string& error);
void answer_modal(TDialog& dlg);
void pump_host();

TApplication* app();
void set_app(TApplication* a);

// Screen size for centring, and the cursor last set.
void set_screen_size(int width, int height);
int screen_width();
int screen_height();
int current_cursor();
void set_current_cursor(int id);

// The name a class of the program is known by in the driver and messages
// ("TLogon"), from its type.
std::string class_name_of(const void* object, const std::type_info& type);

}  // namespace plat

int GetSystemMetrics(int index);
