/* Stand-ins for the pictures and print plug-ins (_CHOOKMAIN) and the memo
   editor. The hooks write the parameter block they were handed to the file
   named by KV_HOOK_DUMP, one line per word (a text, or "null", or the
   number of item 1). The memo editor, when loaded, appends the text of
   KV_MEMO_APPEND to the file KV_MEMO_FILE, as a user's edit would. */
#include <stdio.h>
#include <stdlib.h>

#include "platform/plugin_abi.h"

KV_PLUGIN_HOST;

#ifdef KV_HOOK
__attribute__((visibility("default"))) kv_word _CHOOKMAIN(kv_word* block) {
  const char* dump = getenv("KV_HOOK_DUMP");
  FILE* f = dump ? fopen(dump, "wb") : NULL;
  if (!f) return 0;
  fprintf(f, "%ld\n", (long)block[0]);
  for (int i = 1; i < 18; ++i) fprintf(f, "%s\n", block[i] ? (const char*)block[i] : "null");
  fclose(f);
  return 1;
}
#else
__attribute__((constructor)) static void edit_memo(void) {
  const char* memo = getenv("KV_MEMO_FILE");
  const char* more = getenv("KV_MEMO_APPEND");
  if (!memo || !more) return;
  FILE* f = fopen(memo, "ab");
  if (!f) return;
  fputs(more, f);
  fclose(f);
}
#endif
