#include "plugins/plugin_util.h"

#include <stdio.h>
#include <stdlib.h>

KV_PLUGIN_HOST;

const struct kv_plugin_ui* plugin_ui(void) {
  if (kv_plugin_host && kv_plugin_host->ui) return kv_plugin_host->ui;
  fprintf(stderr, "plug-in: the program offers no windows\n");
  return NULL;
}

const char* block_text(const kv_word* block, int i) {
  return block && block[i] ? (const char*)block[i] : "";
}

void plugin_tell(const char* caption, const char* text, unsigned flags) {
  const struct kv_plugin_ui* ui = kv_plugin_host ? kv_plugin_host->ui : NULL;
  if (ui) ui->message_box(NULL, text, caption, flags);
  else fprintf(stderr, "%s: %s\n", caption, text);
}

char* read_text_file(const char* path, size_t* size) {
  char native[4096];
  if (!kv_plugin_host || !kv_plugin_host->native_path(path, native, sizeof native)) return NULL;
  FILE* f = fopen(native, "rb");
  if (!f) return NULL;
  size_t cap = 65536, n = 0;
  char* text = malloc(cap + 1);
  for (size_t got; text && (got = fread(text + n, 1, cap - n, f)) > 0;) {
    n += got;
    if (n == cap) {
      char* more = realloc(text, 2 * cap + 1);
      if (!more) {
        free(text);
        text = NULL;
        break;
      }
      text = more;
      cap *= 2;
    }
  }
  int failed = ferror(f);
  fclose(f);
  if (!text || failed) {
    free(text);
    return NULL;
  }
  text[n] = 0;
  *size = n;
  return text;
}
