/* MALDON: the file loader. _LOADAFILE lets the user choose a file to open,
   starting in the directory of word 0, with the dialog's title from word 1;
   it hands back the chosen file's name (null when none was chosen). */
#include <stdio.h>

#include "plugins/plugin_util.h"

enum { kStartDir = 0, kTitle = 1 };

KV_EXPORT const char* _LOADAFILE(kv_word* block) {
  static char chosen[4096];
  const struct kv_plugin_ui* ui = plugin_ui();
  if (!ui) return NULL;
  const char* title = *block_text(block, kTitle) ? block_text(block, kTitle) : "Open file...";
  if (!ui->choose_file(NULL, title, block_text(block, kStartDir), "All files|*.*|", chosen, sizeof chosen))
    return NULL;
  return chosen;
}
