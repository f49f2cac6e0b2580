/* The file loader, as a test stands it in: answers with what it was given
   (start directory, first dialog text, last dialog text, language). */
#include <stdio.h>

#include "platform/plugin_abi.h"

KV_PLUGIN_HOST;

static char answer[2048];

__attribute__((visibility("default"))) const char* _LOADAFILE(kv_word* block) {
  snprintf(answer, sizeof answer, "%s|%s|%s|%ld", (const char*)block[0], (const char*)block[1],
           (const char*)block[7], (long)block[8]);
  return answer;
}
