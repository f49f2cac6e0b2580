/* BRENTIX: the print plug-in.

   _CHOOKMAIN prints the editor's text as a paged document: every page has
   a header with the program's name and "Page n of m" at the right, a rule
   under it, then as many lines of the text as fit, in a fixed-width font.
   The block (18 words) carries the program's texts (word 1 its name), the
   file the editor saved the text to (word 8) and the print texts (word 17:
   the word for "Page"). The user is told where the document went.

   _CHOOKMAIN3 lets the user choose a directory, starting in the one the
   block names (word 0), and hands it back in word 1 without a final "\". */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "plugins/plugin_util.h"

enum { kDesc = 1, kPrintFile = 8, kPageWord = 17 };

struct document {
  const char* title;
  const char* page_word;
  char** lines;
  int count;
  int per_page;
  int pages;
  int margin, body_top, body_line;
};

/* Lines of the text, ends (CR LF or LF) cut off, tabs set to 8 columns. */
static int split_lines(char* text, size_t size, struct document* d) {
  int cap = 64;
  d->lines = malloc(sizeof(char*) * cap);
  d->count = 0;
  size_t at = 0;
  while (d->lines && at < size) {
    size_t end = at;
    while (end < size && text[end] != '\n') ++end;
    size_t len = end - at;
    if (len && text[at + len - 1] == '\r') --len;
    size_t tabs = 0;
    for (size_t i = 0; i < len; ++i) tabs += text[at + i] == '\t';
    char* line = malloc(len + tabs * 8 + 1);
    if (!line) return 0;
    size_t o = 0;
    for (size_t i = 0; i < len; ++i) {
      if (text[at + i] == '\t') {
        do line[o++] = ' '; while (o % 8);
      } else {
        line[o++] = text[at + i];
      }
    }
    line[o] = 0;
    if (d->count == cap) {
      char** more = realloc(d->lines, sizeof(char*) * (cap *= 2));
      if (!more) return 0;
      d->lines = more;
    }
    d->lines[d->count++] = line;
    at = end + 1;
  }
  return d->lines != NULL;
}

static int layout(void* context, const struct kv_print_page* p) {
  struct document* d = context;
  d->margin = p->dpi / 2;
  p->select_font(p->dc, "Arial", 11, 1);
  int header = p->line_height(p->dc);
  p->select_font(p->dc, "Courier New", 10, 0);
  d->body_line = p->line_height(p->dc);
  d->body_top = d->margin + header + header / 2;
  d->per_page = (p->height - d->body_top - d->margin) / d->body_line;
  if (d->per_page < 1) d->per_page = 1;
  d->pages = d->count ? (d->count + d->per_page - 1) / d->per_page : 1;
  return d->pages;
}

static void draw_page(void* context, const struct kv_print_page* p, int number) {
  struct document* d = context;
  char folio[128];
  snprintf(folio, sizeof folio, "%s %d of %d", d->page_word, number, d->pages);
  p->select_font(p->dc, "Arial", 11, 1);
  int header = p->line_height(p->dc);
  p->text_out(p->dc, d->margin, d->margin, d->title);
  p->text_out(p->dc, p->width - d->margin - p->text_width(p->dc, folio), d->margin, folio);
  p->line(p->dc, d->margin, d->margin + header + header / 4, p->width - d->margin, d->margin + header + header / 4);
  p->select_font(p->dc, "Courier New", 10, 0);
  int first = (number - 1) * d->per_page;
  for (int i = 0; i < d->per_page && first + i < d->count; ++i)
    p->text_out(p->dc, d->margin, d->body_top + i * d->body_line, d->lines[first + i]);
}

KV_EXPORT kv_word _CHOOKMAIN(kv_word* block) {
  const struct kv_plugin_ui* ui = plugin_ui();
  if (!ui) return 0;
  const char* path = block_text(block, kPrintFile);
  size_t size = 0;
  char* text = read_text_file(path, &size);
  if (!text) {
    char why[512];
    snprintf(why, sizeof why, "The text to print cannot be read from %s.", path);
    plugin_tell("Formatted print", why, MB_OK | MB_ICONSTOP);
    return 0;
  }
  struct document d = {0};
  d.title = *block_text(block, kDesc) ? block_text(block, kDesc) : "Untitled";
  d.page_word = *block_text(block, kPageWord) ? block_text(block, kPageWord) : "Page";
  int ok = split_lines(text, size, &d);
  free(text);
  int printed = -1;
  char file[4096] = "";
  if (ok) {
    struct kv_print_job job = {&d, &layout, &draw_page};
    printed = ui->print(NULL, d.title, &job, file, sizeof file);
  } else {
    plugin_tell("Formatted print", "There is not enough memory to print the text.", MB_OK | MB_ICONSTOP);
  }
  for (int i = 0; i < d.count; ++i) free(d.lines[i]);
  free(d.lines);
  if (printed == 1) {
    char done[4200];
    snprintf(done, sizeof done, "%s was printed to %s", d.title, file);
    plugin_tell("Formatted print", done, MB_OK | MB_ICONINFORMATION);
  }
  return printed == 1;
}

KV_EXPORT kv_word _CHOOKMAIN3(kv_word* block) {
  static char chosen[4096];
  const struct kv_plugin_ui* ui = plugin_ui();
  if (!ui) return 0;
  if (!ui->choose_directory(NULL, "Choose a directory", block_text(block, 0), chosen, sizeof chosen)) return 0;
  /* The callers add the final "\" where they need one; a drive's root keeps it. */
  size_t n = strlen(chosen);
  while (n > 1 && (chosen[n - 1] == '\\' || chosen[n - 1] == '/') && chosen[n - 2] != ':') chosen[--n] = 0;
  block[1] = (kv_word)chosen;
  return 1;
}
