// Loading plug-ins with dlopen; see plugin.h.
#include "platform/plugin.h"

#include <dirent.h>
#include <dlfcn.h>
#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <mutex>

#include "platform/path.h"
#include "platform/sysinfo.h"

namespace plat {
namespace {

std::mutex g_mu;
std::string g_dir;
thread_local std::string t_error;

// The loader is an operating-system service and knows no windows: the
// window model registers how a plug-in's message reaches one.
std::atomic<kv_send_message_fn> g_sender{nullptr};

LRESULT host_send_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  kv_send_message_fn send = g_sender.load(std::memory_order_acquire);
  return send ? send(hwnd, msg, wp, lp) : 0;
}

int host_native_path(const char* path, char* out, size_t outSize) {
  std::string native = to_native_path(path ? path : "");
  if (!out || native.size() >= outSize) return 0;
  std::memcpy(out, native.c_str(), native.size() + 1);
  return 1;
}

int host_system_directory(char* out, size_t outSize) {
  std::string dir = system_directory();
  if (!out || dir.size() >= outSize) return 0;
  std::memcpy(out, dir.c_str(), dir.size() + 1);
  return 1;
}

// The window services arrive when the window layer is linked in; the
// table's pointer to them is set before any plug-in is loaded.
struct kv_plugin_host g_host = {sizeof(struct kv_plugin_host), &host_send_message, &host_native_path, &host_system_directory,
                               nullptr};

// The entry of dir whose name equals file without regard to case.
std::string find_nocase(const std::string& dir, const std::string& file) {
  DIR* d = opendir(dir.c_str());
  if (!d) return {};
  std::string found;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, file.c_str()) == 0) {
      found = e->d_name;
      if (found == file) break;  // an exact match wins
    }
  }
  closedir(d);
  return found;
}

}  // namespace

void set_plugin_dir(const std::string& dir) {
  std::lock_guard lock(g_mu);
  g_dir = dir;
}

std::string plugin_dir() {
  std::lock_guard lock(g_mu);
  if (!g_dir.empty()) return g_dir;
  const char* env = std::getenv("KV_PLUGIN_DIR");
  return env ? env : "";
}

std::string plugin_file_name(const std::string& dllPath) {
  size_t sep = dllPath.find_last_of("\\/:");
  std::string base = sep == std::string::npos ? dllPath : dllPath.substr(sep + 1);
  if (base.size() > 4 && strcasecmp(base.c_str() + base.size() - 4, ".dll") == 0) base.resize(base.size() - 4);
  for (char& c : base) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return base.empty() ? std::string() : "lib" + base + ".so";
}

std::string last_plugin_error() { return t_error; }

void set_plugin_message_sender(kv_send_message_fn send) { g_sender.store(send, std::memory_order_release); }

void set_plugin_ui(const struct kv_plugin_ui* ui) {
  std::lock_guard lock(g_mu);
  g_host.ui = ui;
}

const struct kv_plugin_host* plugin_host_table() { return &g_host; }

}  // namespace plat

HMODULE LoadLibrary(const char* dllPath) {
  std::string file = plat::plugin_file_name(dllPath ? dllPath : "");
  std::string dir = plat::plugin_dir();
  if (file.empty() || dir.empty()) {
    plat::t_error = file.empty() ? "no library name" : "no plug-in directory set";
    return nullptr;
  }
  std::string name = plat::find_nocase(dir, file);
  if (name.empty()) {
    plat::t_error = file + " not found in " + dir;
    return nullptr;
  }
  void* lib = dlopen((dir + "/" + name).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    const char* e = dlerror();
    plat::t_error = e ? e : "cannot load " + name;
    return nullptr;
  }
  // Fill in the host table before any entry point can run.
  if (void* slot = dlsym(lib, KV_PLUGIN_HOST_SYMBOL))
    *static_cast<const struct kv_plugin_host**>(slot) = plat::plugin_host_table();
  if (void* attach = dlsym(lib, KV_PLUGIN_ATTACH_SYMBOL)) reinterpret_cast<kv_plugin_attach_fn>(attach)();
  plat::t_error.clear();
  return static_cast<HMODULE>(lib);
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  if (!module || !name) {
    plat::t_error = "no library or entry name";
    return nullptr;
  }
  dlerror();
  void* sym = dlsym(module, name);
  if (!sym) {
    const char* e = dlerror();
    plat::t_error = e ? e : std::string(name) + " not found";
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(sym);
}

BOOL FreeLibrary(HMODULE module) { return module && dlclose(module) == 0; }
