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

#include <stddef.h>
#include <stdint.h>

#include "platform/wintypes.h"
#include "platform/winmsg.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef intptr_t kv_word;

typedef LRESULT (*kv_send_message_fn)(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

struct kv_plugin_ui;

struct kv_plugin_host {
  uint32_t size; /* sizeof(struct kv_plugin_host), for later growth */
  kv_send_message_fn send_message;
  /* The native path of a path as the program keeps it ("C:\KELVACFG\X.PRN");
     0 when it does not fit out. */
  int (*native_path)(const char* path, char* out, size_t out_size);
  /* The station's system directory as the program keeps it ("C:\WINDOWS\SYSTEM"). */
  int (*system_directory)(char* out, size_t out_size);
  /* The window services; null in a program without windows. */
  const struct kv_plugin_ui* ui;
};

/* One page of a print job as a plug-in draws it, in dots of the printer. */
struct kv_print_page {
  void* dc;
  int width, height, dpi;
  /* Selects a font by face, size in points and weight (bold 1). */
  void (*select_font)(void* dc, const char* face, int points, int bold);
  int (*line_height)(void* dc);
  int (*text_width)(void* dc, const char* text);
  void (*text_out)(void* dc, int x, int y, const char* text);
  void (*line)(void* dc, int x0, int y0, int x1, int y1);
};

/* A document to print: the plug-in lays it out on the first page's
   measures (its page count) and draws each page when asked. */
struct kv_print_job {
  void* context;
  int (*layout)(void* context, const struct kv_print_page* page);
  void (*draw_page)(void* context, const struct kv_print_page* page, int number);
};

/* What the program's window layer does for a plug-in; owners are the
   program's windows (null: none). Texts are bytes of the program's code
   page; paths are as the program keeps them (native_path gives the file
   system's). */
struct kv_plugin_ui {
  uint32_t size; /* sizeof(struct kv_plugin_ui) */
  int (*message_box)(HWND owner, const char* text, const char* caption, UINT flags);
  /* The user picks a directory, starting in start: 1 and out filled, 0 when
     cancelled or the choice does not fit out. */
  int (*choose_directory)(HWND owner, const char* title, const char* start, char* out, size_t out_size);
  /* The user picks an existing file (filter "description|pattern|..."):
     1 and out filled, 0 when cancelled or it does not fit out. */
  int (*choose_file)(HWND owner, const char* title, const char* start_dir, const char* filter, char* out,
                     size_t out_size);
  /* Prints the job through the program's printer (print dialog first);
     1 printed (file: the PDF written), 0 cancelled, -1 failed (told). */
  int (*print)(HWND owner, const char* title, const struct kv_print_job* job, char* file, size_t file_size);
  /* Shows the pictures in a viewer until the user closes it. */
  void (*show_pictures)(HWND owner, const char* title, const char* const* files, int count);
  /* Lets the user edit the text file in a plain editor window: 1 saved,
     0 left unchanged, -1 failed (told). */
  int (*edit_text_file)(HWND owner, const char* title, const char* path);
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
KV_ABI_ASSERT(sizeof(struct kv_plugin_host) == 40, "the host table: size, message, paths and window services");
KV_ABI_ASSERT(__builtin_offsetof(struct kv_plugin_host, size) == 0, "the host table starts with its size");
KV_ABI_ASSERT(__builtin_offsetof(struct kv_plugin_host, send_message) == 8, "send_message follows the size");
KV_ABI_ASSERT(__builtin_offsetof(struct kv_plugin_host, ui) == 32, "the window services come last");
KV_ABI_ASSERT(sizeof(struct kv_plugin_ui) == 56, "the window services: size and six functions");
KV_ABI_ASSERT(__builtin_offsetof(struct kv_plugin_ui, edit_text_file) == 48, "services keep their order");
#undef KV_ABI_ASSERT

/* A plug-in may define this entry: the loader calls it once the host table
   is set, before LoadLibrary returns (what a Windows DLL does when it is
   attached to the process). */
#define KV_PLUGIN_ATTACH_SYMBOL "kv_plugin_attach"
typedef void (*kv_plugin_attach_fn)(void);

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
