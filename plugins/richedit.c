/* RICHEDIT: the memo editor. The program writes a program's memo to
   MEMOTEXT.TMP in the station's system directory, loads this library and
   frees it again, then reads the file back. So the editing happens when
   the library is attached: a plain text editor window over the file, until
   the user closes it (OK writes the file). */
#include <stdio.h>

#include "plugins/plugin_util.h"

KV_EXPORT void kv_plugin_attach(void) {
  char dir[4096], memo[4200], native[4200];
  if (!kv_plugin_host || !kv_plugin_host->system_directory(dir, sizeof dir)) return;
  snprintf(memo, sizeof memo, "%s\\MEMOTEXT.TMP", dir);
  /* Loaded for another reason (no memo waiting): nothing to edit. */
  FILE* f = kv_plugin_host->native_path(memo, native, sizeof native) ? fopen(native, "rb") : NULL;
  if (!f) return;
  fclose(f);
  const struct kv_plugin_ui* ui = plugin_ui();
  if (ui) ui->edit_text_file(NULL, "Memo", memo);
}
