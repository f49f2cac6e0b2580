// Reports: creation with their defaults, the teardown, and the report's
// setters and getters. One report per engine context at a time: the
// context's report-exists flag says whether there is one.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/ui/print.h"
#include "platform/ui/window.h"
#include "report/report_internal.h"

namespace {

std::mutex live_mutex;
std::vector<DbReport*> live_reports;

constexpr int kCurrencyMax = 10;

DbReportGroup* fixed_group(DbReport* r, const char* name, bool title) {
  auto* g = new (std::nothrow) DbReportGroup;
  if (!g) return nullptr;
  g->name = name;
  g->report = r;
  (title ? g->title_group : g->page_group) = 1;
  return g;
}

int parm_error(DbReport* r, const char* text) { return report_fail(r->context, e_parm, text); }

}  // namespace

int report_fail(DB_ENGINE* c, int code, const char* text, const char* extra) {
  code_error_ex(c, code, text, extra, nullptr);
  return -1;
}

bool report_pending(DB_ENGINE* c) { return code_error_get(c) < 0; }

DbDataFile* report_master(const DbReport* r) { return r->relation->top.data; }

void report_register(DbReport* r) {
  std::lock_guard<std::mutex> g(live_mutex);
  live_reports.push_back(r);
}

bool report_unregister(DbReport* r) {
  std::lock_guard<std::mutex> g(live_mutex);
  auto it = std::find(live_reports.begin(), live_reports.end(), r);
  if (it == live_reports.end()) return false;
  live_reports.erase(it);
  return true;
}

bool report_alive(const DbReport* r) {
  std::lock_guard<std::mutex> g(live_mutex);
  return std::find(live_reports.begin(), live_reports.end(), r) != live_reports.end();
}

std::vector<DbCalc*> context_calcs(DB_ENGINE* c) {
  std::vector<DbCalc*> out;
  for (auto* calc = static_cast<DbCalc*>(list_first(&c->calc_list)); calc;
       calc = static_cast<DbCalc*>(list_next(&c->calc_list, calc)))
    out.push_back(calc);
  return out;
}

DbReport* report_create(DbRelation* relation) {
  if (!relation) return nullptr;
  DB_ENGINE* c = relation->top.context;
  DbLock lock(c);
  if (report_pending(c)) return nullptr;
  if (c->report_exists) {
    report_fail(c, e_report, "A report is already in existence.");
    return nullptr;
  }
  auto* r = new (std::nothrow) DbReport;
  if (r) {
    r->context = c;
    r->relation = relation;
    r->date_picture = c->date_picture;
    r->title_group = fixed_group(r, "Title/Summary", true);
    r->page_group = fixed_group(r, "Pg Header/Footer", false);
  }
  if (!r || !r->title_group || !r->page_group) {
    if (r) {
      delete r->title_group;
      delete r->page_group;
    }
    delete r;
    report_fail(c, e_report, "Unable to allocate memory for report.");
    return nullptr;
  }
  r->groups.push_back(r->title_group);
  groups_renumber(r);
  if (!c->no_default_style) {
    LOGFONT16 font{};
    std::strcpy(font.lfFaceName, "MS Serif");
    if (!style_create(r, &font, "Plain Text", 0, 10)) {
      group_destroy(r->page_group);
      group_destroy(r->title_group);
      delete r;
      if (!report_pending(c)) report_fail(c, e_report, "Unable to allocate memory for report.");
      return nullptr;
    }
  }
  c->report_exists = 1;
  report_register(r);
  return r;
}

void report_destroy(DbReport* r, int free_relation, int close_files,
                    const std::vector<DbCalc*>* keep) {
  DB_ENGINE* c = r->context;
  DbLock lock(c);
  // Clean-up runs whatever error is pending; a pending one stays.
  DbQuietError quiet(c, DbQuietError::if_error);
  // The preview and an output under way go first: they show this layout.
  r->run.reset();
  report_unregister(r);
  c->report_exists = 0;
  group_destroy(r->page_group);
  while (!r->groups.empty()) group_destroy(r->groups.back());
  for (DbReportStyle* s : r->styles) style_destroy(s);
  r->styles.clear();
  for (DbRelateNode* n = &r->relation->top; n;) {
    std::vector<char>().swap(n->report_record);
    if (relate_next(&n) == 2) break;
  }
  while (auto* t = static_cast<DbTotal*>(list_first(&c->total_list)))
    total_free(static_cast<DbReportTotal*>(t));
  if (!keep) {
    calc_free_all(c);
  } else {
    for (DbCalc* calc : context_calcs(c))
      if (std::find(keep->begin(), keep->end(), calc) == keep->end()) calc_free(calc);
  }
  mem_pool_release(c->total_pool);
  c->total_pool = nullptr;
  if (free_relation) {
    relate_free(r->relation, close_files);
  } else {
    // What the relation parsed may name the calculations just freed: it
    // parses its texts again on its next walk.
    std::string query = r->relation->query_text, sort = r->relation->sort_text;
    relate_query_set(r->relation, query.c_str());
    relate_sort_set(r->relation, sort.c_str());
  }
  delete r->own_printer_dc;
  delete r;
}

int report_free(DbReport* r, int free_relation, int close_files) {
  if (!r || !report_alive(r)) return -1;  // freed already: nothing left to free
  DB_ENGINE* c = r->context;
  DbLock lock(c);
  if (!c->report_exists) return report_fail(c, e_report, "There is no report currently in existence.");
  report_destroy(r, free_relation, close_files, nullptr);
  return 0;
}

int report_caption_set(DbReport* r, const char* text) {
  if (!r) return -1;
  try {
    if (text) r->caption = std::string(text);
    else r->caption.reset();
  } catch (const std::bad_alloc&) {
    return report_fail(r->context, e_report, "Unable to allocate memory for the report caption.");
  }
  return 0;
}

int report_titlePage(DbReport* r, int flag) {
  if (!r) return -1;
  if (flag < 0) return parm_error(r, "Invalid parameter in report_titlePage().");
  int old = r->title_page;
  r->title_page = flag;
  return old;
}

int report_hardResets(DbReport* r, int flag) {
  if (!r) return -1;
  if (flag < 0) return parm_error(r, "Invalid parameter in report_hardResets().");
  int old = r->hard_resets;
  r->hard_resets = flag;
  return old;
}

int report_toScreen(DbReport* r, int flag) {
  if (!r) return -1;
  if (flag < 0) return parm_error(r, "Invalid parameter in report_toScreen().");
  r->to_screen = flag;
  return 0;
}

int report_page_size_set(DbReport* r, long height, long width, int units) {
  if (!r) return -1;
  long long w = width, h = height;
  if (units) {
    w *= 100;  // characters
    h = std::llround(double(h) * 1000.0 / 6.0);  // lines of 1/6 in
  }
  r->width = int32_t(w - r->margin_left - r->margin_right);
  r->height = int32_t(h - r->margin_top - r->margin_bottom);
  return 0;
}

int report_margins_set(DbReport* r, long left, long right, long top, long bottom, int units) {
  if (!r) return -1;
  long long l = left, rt = right, t = top, b = bottom;
  if (units) {
    l *= 100;
    rt *= 100;
    t = t * 1000 / 6;
    b = b * 1000 / 6;
  }
  long long w = (long long)r->width + r->margin_left + r->margin_right - l - rt;
  long long h = (long long)r->height + r->margin_top + r->margin_bottom - t - b;
  r->margin_left = int32_t(l);
  r->margin_right = int32_t(rt);
  r->margin_top = int32_t(t);
  r->margin_bottom = int32_t(b);
  r->width = int32_t(w);
  r->height = int32_t(h);
  return 0;
}

int report_decimal_set(DbReport* r, char ch) {
  if (!r) return -1;
  r->decimal_point = ch;
  return 0;
}

int report_separator_set(DbReport* r, char ch) {
  if (!r) return -1;
  r->separator = ch;
  return 0;
}

int report_currency_set(DbReport* r, const char* text) {
  if (!r) return -1;
  r->currency = text ? std::string(text, strnlen(text, kCurrencyMax)) : std::string();
  return 0;
}

int report_query_set(DbReport* r, const char* text) {
  if (!r) return -1;
  return relate_query_set(r->relation, text);
}

int report_sort_set(DbReport* r, const char* text) {
  if (!r) return -1;
  return relate_sort_set(r->relation, text);
}

HDC report_printer_dc_set(DbReport* r, HDC dc) {
  if (!r) return nullptr;
  HDC old = r->printer_dc;
  r->printer_dc = dc;
  return old;
}

int report_parent_set(DbReport* r, HWND window) {
  if (!r) return -1;
  r->parent = window;
  return 0;
}

// 1 when the user chose a printer (it becomes the report's), 0 when the
// dialog was cancelled.
int report_printer_setup(DbReport* r) {
  if (!r) return -1;
  TPrintSetup setup = plat::default_print_setup();
  TPrintSetupDialog dialog(plat::window_object(r->parent), setup);
  if (dialog.Execute() != IDOK) return 0;
  auto* dc = new TPrintDC(setup);
  delete r->own_printer_dc;
  r->own_printer_dc = dc;
  r->printer_dc = dc->GetHDC();
  return 1;
}

int report_output_flags_set(DbReport* r, long a, long b) {
  if (!r) return -1;
  r->output_settings[0] = int32_t(a);
  r->output_settings[1] = int32_t(b);
  return 0;
}

int report_output_group_set(DbReport* r, DbReportGroup* g) {
  if (!r) return -1;
  r->output_group = g;
  return 0;
}

int report_output_file_set(DbReport* r, const char* name) {
  if (!r) return -1;
  r->output_file = name ? name : "";
  return 0;
}

int report_page_extent(DbReport* r, long* width, long* height) {
  if (!r) return -1;
  if (width) *width = r->page_width_device;
  if (height) *height = r->page_height_device;
  return 0;
}

int report_page_offsets(DbReport* r, long* left, long* right, long* top, long* bottom) {
  if (!r) return -1;
  if (left) *left = r->offset_left;
  if (right) *right = r->offset_right;
  if (top) *top = r->offset_top;
  if (bottom) *bottom = r->offset_bottom;
  return 0;
}

int report_styleSelect(DbReport* r, DbReportStyle* style) {
  if (!r) return -1;
  if (!style) return report_fail(r->context, e_style_select, "NULL style specified in call to report_styleSelect().");
  if (std::find(r->styles.begin(), r->styles.end(), style) == r->styles.end())
    return parm_error(r, "Invalid parameter in call to report_styleSelect().");
  r->current_style = style;
  return 0;
}
