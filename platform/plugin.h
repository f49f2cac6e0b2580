// Plug-in libraries. The program names them as DLLs ("...\TELMIX.DLL");
// here they are shared objects in the plug-in directory found by the DLL's
// base name (TELMIX.DLL -> libtelmix.so, any case). Right after loading,
// the library's kv_plugin_host pointer is set to the host table, so the
// plug-in can send messages to our windows by handle.
#pragma once

#include <string>

#include "platform/plugin_abi.h"
#include "platform/wintypes.h"

HMODULE LoadLibrary(const char* dllPath);
FARPROC GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);

namespace plat {

void set_plugin_dir(const std::string& dir);
std::string plugin_dir();
// The shared object's file name for a DLL name: "C:\HOOK\TELMIX.DLL" -> "libtelmix.so".
std::string plugin_file_name(const std::string& dllPath);
// Why the last LoadLibrary or GetProcAddress of this thread failed.
std::string last_plugin_error();
// How a plug-in's messages reach our windows. The window model registers
// it when it is linked in; without one (a program with no windows) every
// message is answered with 0.
void set_plugin_message_sender(kv_send_message_fn send);
// The window layer registers its services for plug-ins (null: none).
void set_plugin_ui(const struct kv_plugin_ui* ui);
// The table handed to every plug-in.
const struct kv_plugin_host* plugin_host_table();

}  // namespace plat
