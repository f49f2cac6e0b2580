/* A test plug-in: fills a list box of the host through the host table, as
   the compare library fills its two result lists. */
#include "platform/plugin_abi.h"

KV_PLUGIN_HOST;

/* Block: word 0 the list's handle, word 1 a null-terminated array of lines. */
__attribute__((visibility("default"))) int _FILL(kv_word* block) {
  HWND list = (HWND)block[0];
  const char** lines = (const char**)block[1];
  int added = 0;
  for (; *lines; ++lines)
    if (KV_SEND_MESSAGE(list, LB_ADDSTRING, 0, *lines) >= 0) ++added;
  return added;
}

/* Tells whether the host filled in its table before the first call. */
__attribute__((visibility("default"))) int HasHost(void) { return kv_plugin_host != 0; }
