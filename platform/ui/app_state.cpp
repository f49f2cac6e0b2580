// Loop machinery, the host hooks and the layer's settings.
#include "platform/ui/app_state.h"

#include <cxxabi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/ui/application.h"
#include "platform/ui/dialog.h"
#include "platform/ui/queue.h"

namespace plat {
namespace {

std::atomic<bool> g_quit{false};
std::atomic<int> g_quit_code{0};
std::atomic<TApplication*> g_app{nullptr};
std::atomic<int> g_screen_w{1024};
std::atomic<int> g_screen_h{768};
std::atomic<int> g_cursor{IDC_ARROW};

std::mutex g_host_mu;
UiHost g_host;

UiHost current_host() {
  std::lock_guard lock(g_host_mu);
  return g_host;
}

}  // namespace

bool dispatch_one() {
  std::optional<QueuedMessage> m = ui_queue().take();
  if (!m) return false;
  if (!m->hwnd && m->msg == WM_QUIT) {
    g_quit_code = static_cast<int>(m->wparam);
    g_quit = true;
    return true;
  }
  LRESULT r = 0;
  if (window_object(m->hwnd)) r = ::SendMessage(m->hwnd, m->msg, m->wparam, m->lparam);
  if (m->reply) m->reply->set_value(r);
  return true;
}

bool dispatch_all() {
  bool any = false;
  while (!g_quit && dispatch_one()) any = true;
  return any;
}

bool run_idle(long idleCount) {
  TApplication* a = app();
  return a && a->IdleAction(idleCount);
}

bool wait_for_message(const std::string& what) {
  UiHost h = current_host();
  if (h.wait) return h.wait(what);
  ui_queue().wait();
  return true;
}

bool quit_requested() { return g_quit; }
int quit_code() { return g_quit_code; }
void clear_quit() {
  g_quit = false;
  g_quit_code = 0;
}

UiHost set_ui_host(UiHost host) {
  std::lock_guard lock(g_host_mu);
  UiHost old = std::move(g_host);
  g_host = std::move(host);
  return old;
}

void report_ui_error(const std::string& error) {
  UiHost h = current_host();
  if (h.error) h.error(error);
  else std::fprintf(stderr, "ui: %s\n", error.c_str());
}

void answer_modal(TDialog& dlg) {
  UiHost h = current_host();
  if (h.show_modal) {
    h.show_modal(dlg);
    return;
  }
  // Nobody can answer it: say so and cancel rather than wait for ever.
  report_ui_error("no one can answer dialog " + std::to_string(dlg.GetTemplateId()) + " (" +
                  class_name_of(&dlg, typeid(dlg)) + "); cancelled");
  dlg.Destroy(IDCANCEL);
}

void pump_host() {
  UiHost h = current_host();
  if (h.pump) h.pump();
}

TApplication* app() { return g_app; }
void set_app(TApplication* a) { g_app = a; }

void set_screen_size(int width, int height) {
  g_screen_w = width;
  g_screen_h = height;
}
int screen_width() { return g_screen_w; }
int screen_height() { return g_screen_h; }
int current_cursor() { return g_cursor; }
void set_current_cursor(int id) { g_cursor = id; }

std::string class_name_of(const void*, const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                              std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

}  // namespace plat

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return plat::screen_width();
    case SM_CYSCREEN: return plat::screen_height();
    default: return 0;
  }
}
