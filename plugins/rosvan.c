/* ROSVAN: the picture plug-in. _CHOOKMAIN shows the pictures of the
   window's program: the image files of the pictures directory (word 8 of
   the block) named after the program (word 1), as "NAME.PNG" or
   "NAME-<anything>.PNG" (also "_", " " or "." after the name; any letter
   case), in the program's picture viewer, sorted by name. */
#include <ctype.h>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "plugins/plugin_util.h"

enum { kDesc = 1, kPictureDir = 8 };

static int is_picture(const char* name) {
  const char* dot = strrchr(name, '.');
  if (!dot) return 0;
  static const char* const kinds[] = {".png", ".bmp", ".jpg", ".jpeg", ".gif", ".tif", ".tiff"};
  for (size_t i = 0; i < sizeof kinds / sizeof kinds[0]; ++i)
    if (strcasecmp(dot, kinds[i]) == 0) return 1;
  return 0;
}

/* "NAME.x", "NAME-x.y", "NAME_x.y", "NAME x.y" for the program's NAME. */
static int belongs_to(const char* file, const char* program) {
  size_t n = strlen(program);
  if (n == 0 || strncasecmp(file, program, n) != 0) return 0;
  char next = file[n];
  return next == '.' || next == '-' || next == '_' || next == ' ';
}

static int by_name(const void* a, const void* b) { return strcasecmp(*(char* const*)a, *(char* const*)b); }

KV_EXPORT kv_word _CHOOKMAIN(kv_word* block) {
  const struct kv_plugin_ui* ui = plugin_ui();
  if (!ui) return 0;
  const char* dir = block_text(block, kPictureDir);
  char program[256];
  snprintf(program, sizeof program, "%s", block_text(block, kDesc));
  size_t len = strlen(program);
  while (len && isspace((unsigned char)program[len - 1])) program[--len] = 0;
  char native[4096];
  DIR* d = kv_plugin_host->native_path(dir, native, sizeof native) ? opendir(native) : NULL;
  char** files = NULL;
  int count = 0, cap = 0;
  for (struct dirent* e; d && (e = readdir(d));) {
    if (!is_picture(e->d_name) || !belongs_to(e->d_name, program)) continue;
    if (count == cap) {
      char** more = realloc(files, sizeof(char*) * (size_t)(cap = cap ? 2 * cap : 16));
      if (!more) break;
      files = more;
    }
    size_t need = strlen(dir) + strlen(e->d_name) + 2;
    char* path = malloc(need);
    if (!path) break;
    size_t dl = strlen(dir);
    snprintf(path, need, "%s%s%s", dir, dl && (dir[dl - 1] == '\\' || dir[dl - 1] == '/') ? "" : "\\", e->d_name);
    files[count++] = path;
  }
  if (d) closedir(d);
  if (count == 0) {
    char none[4500];
    snprintf(none, sizeof none, "There are no pictures of %s in %s.", *program ? program : "this program", dir);
    plugin_tell("Pictures", none, MB_OK | MB_ICONINFORMATION);
  } else {
    qsort(files, (size_t)count, sizeof(char*), by_name);
    char title[300];
    snprintf(title, sizeof title, "Pictures of %s", program);
    ui->show_pictures(NULL, title, (const char* const*)files, count);
  }
  for (int i = 0; i < count; ++i) free(files[i]);
  free(files);
  return count > 0;
}
