/* The print plug-in's directory choice as the master-data tests stand it
   in: the start directory is the one chosen, or none when it names NONE. */
#include <string.h>

#include "platform/plugin_abi.h"

KV_PLUGIN_HOST;

static char chosen[1024];

__attribute__((visibility("default"))) kv_word _CHOOKMAIN3(kv_word* block) {
  const char* start = (const char*)block[0];
  if (strstr(start, "NONE")) return 0;
  strncpy(chosen, start, sizeof chosen - 1);
  block[1] = (kv_word)chosen;
  return 1;
}
