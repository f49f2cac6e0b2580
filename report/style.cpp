// Styles: the named fonts of a report. A style keeps its font record as
// stored (the 16-bit form), makes the 32-bit form and the screen font from
// it when it is created, and gives its objects their font and colour.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/ui/gdi_object.h"
#include "report/report_internal.h"

namespace {

constexpr size_t kStyleNameMax = 19;

int index_of(const DbReport* r, const DbReportStyle* s) {
  auto it = std::find(r->styles.begin(), r->styles.end(), s);
  return it == r->styles.end() ? -1 : int(it - r->styles.begin());
}

DbReportStyle* at(DbReport* r, long i) {
  return r && i >= 0 && i < long(r->styles.size()) ? r->styles[size_t(i)] : nullptr;
}

}  // namespace

DbReportStyle* style_create(DbReport* r, const LOGFONT16* font, const char* name, COLORREF color,
                            int point_size) {
  DB_ENGINE* c = r ? r->context : nullptr;
  if (!name || !*name) {
    if (c) report_fail(c, e_parm, "Not a valid name in call to style_create().");
    return nullptr;
  }
  std::string n(name, strnlen(name, kStyleNameMax));
  if (r && style_lookup(r, n.c_str())) {
    report_fail(c, e_style_create, "The specified name is already in use by another style.");
    return nullptr;
  }
  auto* s = new (std::nothrow) DbReportStyle;
  if (!s) {
    if (c) code_error(c, e_memory, nullptr);
    return nullptr;
  }
  s->name = n;
  if (font) s->font16 = *font;
  s->font16.lfFaceName[sizeof s->font16.lfFaceName - 1] = 0;
  s->font = LogFontFrom16(s->font16);
  s->color = color;
  s->point_size = point_size;
  // A style without its screen font is not made; its name stays free.
  s->screen_font = CreateFontIndirect(&s->font);
  if (!s->screen_font) {
    delete s;
    return nullptr;
  }
  if (r) style_link(r, s);
  return s;
}

void style_link(DbReport* r, DbReportStyle* s) {
  s->id = 600 + int(r->styles.size());
  r->styles.push_back(s);
  if (!r->current_style) r->current_style = s;
}

void style_destroy(DbReportStyle* s) {
  if (s->screen_font) DeleteObject(s->screen_font);
  if (s->printer_font) DeleteObject(s->printer_font);
  delete s;
}

// Objects that used the style are left without one (they draw in the
// default font), and the current style passes to the first one left.
int style_free(DbReport* r, DbReportStyle* s) {
  if (!s) return -1;
  if (r) {
    int at = index_of(r, s);
    if (at < 0) return -1;
    r->styles.erase(r->styles.begin() + at);
    report_each_object(r, [s](DbReportObject* o) {
      if (o->style == s) o->style = nullptr;
    });
    if (r->current_style == s) r->current_style = r->styles.empty() ? nullptr : r->styles.front();
  }
  style_destroy(s);
  return 0;
}

int style_delete(DbReport* r, const char* name) {
  DbReportStyle* s = style_lookup(r, name);
  if (!s) return 0;
  style_free(r, s);
  return 1;
}

DbReportStyle* style_lookup(DbReport* r, const char* name) {
  if (!r || !name) return nullptr;
  for (DbReportStyle* s : r->styles)
    if (s->name == name) return s;
  return nullptr;
}

DbReportStyle* style_index(DbReport* r, int n) {
  if (!r) return nullptr;
  if (n < 0) {
    report_fail(r->context, e_style_index, "Invalid index specified in call to style_index().");
    return nullptr;
  }
  return at(r, n);
}

DbReportStyle* style_first(DbReport* r) { return at(r, 0); }
DbReportStyle* style_last(DbReport* r) { return r ? at(r, long(r->styles.size()) - 1) : nullptr; }
DbReportStyle* style_next(DbReport* r, DbReportStyle* s) { return r && s ? at(r, index_of(r, s) < 0 ? -1 : index_of(r, s) + 1) : nullptr; }
DbReportStyle* style_prev(DbReport* r, DbReportStyle* s) { return r && s ? at(r, index_of(r, s) - 1) : nullptr; }
int style_count(DbReport* r) { return r ? int(r->styles.size()) : 0; }
DbReportStyle* report_style_current(DbReport* r) { return r ? r->current_style : nullptr; }

int style_color_set(DbReportStyle* s, COLORREF color) {
  if (!s) return -1;
  s->color = color;
  return 0;
}

int style_replace(DbReport* r, DbReportStyle* old_style, DbReportStyle* new_style) {
  if (!r || !old_style) return -1;
  report_each_object(r, [&](DbReportObject* o) {
    if (o->style == old_style) o->style = new_style;
  });
  return 0;
}
