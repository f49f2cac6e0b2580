/* The interface between the program and its plug-ins (the compare library
   and the print, picture and file-loader hooks). Plug-ins are shared objects
   in the plug-in directory, found by the base name of the DLL they stand in
   for (TELMIX.DLL -> libtelmix.so); entry points keep their names.

   Parameter blocks are arrays of pointer-sized words (kv_word), so a pointer
   fits in every slot on 64-bit Linux.

   A plug-in reaches the program's windows only through the host table: it
   defines KV_PLUGIN_HOST (one exported pointer, null until loaded), and the
   loader points it at the host's table right after loading, before any entry
   point is called. */
#ifndef KV_PLATFORM_PLUGIN_ABI_H
#define KV_PLATFORM_PLUGIN_ABI_H

#include <stdint.h>

#include "platform/wintypes.h"
#include "platform/winmsg.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef intptr_t kv_word;

typedef LRESULT (*kv_send_message_fn)(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

struct kv_plugin_host {
  uint32_t size; /* sizeof(struct kv_plugin_host), for later growth */
  kv_send_message_fn send_message;
};

/* The records are shared with plug-ins built apart from the program (C, other
   compilers); a change of their layout must be a deliberate new version, so
   the build stops when one moves. 64-bit Linux only, as the loader is. */
#ifdef __cplusplus
#define KV_ABI_ASSERT(cond, what) static_assert(cond, what)
#else
#define KV_ABI_ASSERT(cond, what) _Static_assert(cond, what)
#endif
KV_ABI_ASSERT(sizeof(kv_word) == sizeof(void*), "a parameter word holds a pointer");
KV_ABI_ASSERT(sizeof(kv_word) == 8, "parameter blocks are arrays of 8-byte words");
KV_ABI_ASSERT(sizeof(HWND) == 8 && sizeof(WPARAM) == 8 && sizeof(LPARAM) == 8 && sizeof(LRESULT) == 8,
              "message arguments are pointer-sized");
KV_ABI_ASSERT(sizeof(UINT) == 4, "message numbers are 32 bits");
KV_ABI_ASSERT(sizeof(struct kv_plugin_host) == 16, "the host table is a size word and one function");
KV_ABI_ASSERT(__builtin_offsetof(struct kv_plugin_host, size) == 0, "the host table starts with its size");
KV_ABI_ASSERT(__builtin_offsetof(struct kv_plugin_host, send_message) == 8, "send_message follows the size");
#undef KV_ABI_ASSERT

/* Defined by each plug-in (KV_PLUGIN_HOST below); filled in by the loader. */
extern const struct kv_plugin_host* kv_plugin_host;

/* The symbol the loader fills in. */
#define KV_PLUGIN_HOST_SYMBOL "kv_plugin_host"

/* Place once in a plug-in's sources, at file scope. */
#define KV_PLUGIN_HOST \
  __attribute__((visibility("default"))) const struct kv_plugin_host* kv_plugin_host = 0

/* Send a message to one of the program's windows; 0 before the host is set. */
#define KV_SEND_MESSAGE(hwnd, msg, wparam, lparam)                                    \
  (kv_plugin_host ? kv_plugin_host->send_message((hwnd), (msg), (WPARAM)(wparam),     \
                                                 (LPARAM)(lparam))                    \
                  : (LRESULT)0)

#ifdef __cplusplus
}
#endif

#endif
