/* The print plug-in's directory choice, as a test stands it in: the start
   directory decides the answer (none, one too long for the program's
   buffer, or the start directory with "CHOSEN\" after it). */
#include <string.h>

#include "platform/plugin_abi.h"

KV_PLUGIN_HOST;

static char chosen[1024];

__attribute__((visibility("default"))) kv_word _CHOOKMAIN3(kv_word* block) {
  const char* start = (const char*)block[0];
  if (strstr(start, "NONE")) return 0;
  if (strstr(start, "LONG")) {
    memset(chosen, 'D', 400);
    chosen[400] = 0;
  } else {
    strncpy(chosen, start, 900);
    chosen[900] = 0;
    strcat(chosen, "CHOSEN\\");
  }
  block[1] = (kv_word)chosen;
  return 1;
}
