/* Small helpers the plug-ins share: the host's services, texts of the
   parameter block, reading a text file whole. */
#ifndef KV_PLUGINS_UTIL_H
#define KV_PLUGINS_UTIL_H

#include <stddef.h>

#include "platform/plugin_abi.h"

#define KV_EXPORT __attribute__((visibility("default")))

/* The window services, or null (told on stderr) when the program has none. */
const struct kv_plugin_ui* plugin_ui(void);
/* Word i of a block as a text; "" for a null word. */
const char* block_text(const kv_word* block, int i);
/* Tells the user (a message box) or, without windows, stderr. */
void plugin_tell(const char* caption, const char* text, unsigned flags);
/* The whole file at a path as the program keeps it; null when unreadable.
   The caller frees it; *size gets its length. */
char* read_text_file(const char* path, size_t* size);

#endif
