// Groups: the breaks of a report. The report's list runs from the
// outermost group ("Title/Summary", always first) to the innermost, and
// each group's position counts from the end of the list: the innermost is
// 1, "Title/Summary" the highest. "Pg Header/Footer" stands apart.
#include <algorithm>
#include <new>

#include "report/report_internal.h"

namespace {

constexpr size_t kGroupNameMax = 25;

bool fixed(const DbReportGroup* g) { return g->title_group || g->page_group; }

DbReportGroup* find_group(DbReport* r, const std::string& name) {
  for (DbReportGroup* g : r->groups)
    if (g->name == name) return g;
  return nullptr;
}

int index_of(const DbReport* r, const DbReportGroup* g) {
  auto it = std::find(r->groups.begin(), r->groups.end(), g);
  return it == r->groups.end() ? -1 : int(it - r->groups.begin());
}

// Sets one output flag. The first three flags answer with the old value,
// the last two with whether it was set.
int flag_set(DbReportGroup* g, DbGroupFlag which, int value) {
  if (!g) return -1;
  if (value < 0) return report_fail(g->report->context, e_parm, "Flag must be zero or greater.");
  int old = g->flags[which];
  g->flags[which] = value;
  return which <= DB_GROUP_HEADER_REPEAT ? old : old != 0;
}

}  // namespace

void groups_renumber(DbReport* r) {
  int n = int(r->groups.size());
  for (int i = 0; i < n; i++) r->groups[size_t(i)]->position = n - i;
}

DbReportGroup* group_create(DbReport* r, const char* name, const char* reset) {
  if (!r) return nullptr;
  DB_ENGINE* c = r->context;
  DbLock lock(c);
  if (report_pending(c)) return nullptr;
  std::string n = name && *name ? std::string(name).substr(0, kGroupNameMax)
                                : "Group " + std::to_string(r->groups.size());
  if (find_group(r, n)) {
    report_fail(c, e_group_create, "The specified name is in use by another group.");
    return nullptr;
  }
  DbExpr* e = nullptr;
  if (reset && *reset && !(e = expr_parse(report_master(r), reset))) {
    report_fail(c, e_group_create, "Invalid group reset expression.");
    return nullptr;
  }
  auto* g = new (std::nothrow) DbReportGroup;
  if (!g) {
    expr_free(e);
    code_error(c, e_memory, nullptr);
    return nullptr;
  }
  g->name = n;
  g->reset = e;
  g->report = r;
  // Directly below "Title/Summary": the newest group is the outermost break.
  r->groups.insert(r->groups.begin() + 1, g);
  groups_renumber(r);
  return g;
}

void group_destroy(DbReportGroup* g) {
  DbReport* r = g->report;
  for (auto* list : {&g->headers, &g->footers})
    while (!list->empty()) area_destroy(list->back());
  expr_free(g->reset);
  if (r->output_group == g) r->output_group = nullptr;
  if (r->title_group == g) r->title_group = nullptr;
  if (r->page_group == g) r->page_group = nullptr;
  int at = index_of(r, g);
  if (at >= 0) {
    r->groups.erase(r->groups.begin() + at);
    groups_renumber(r);
  }
  delete g;
}

// The two fixed groups live as long as their report.
int group_free(DbReportGroup* g) {
  if (!g || fixed(g)) return -1;
  group_destroy(g);
  return 0;
}

int group_position_set(DbReportGroup* g, int n) {
  if (!g || fixed(g)) return -1;
  DbReport* r = g->report;
  int count = int(r->groups.size());
  n = std::clamp(n, 1, count - 1);
  r->groups.erase(r->groups.begin() + index_of(r, g));
  groups_renumber(r);
  if (n == 1 || r->groups.size() == 1) {
    r->groups.push_back(g);
  } else {
    for (int i = int(r->groups.size()) - 1; i >= 0; i--) {
      if (r->groups[size_t(i)]->position >= n) {
        r->groups.insert(r->groups.begin() + i + 1, g);
        break;
      }
    }
  }
  groups_renumber(r);
  return 0;
}

int group_reset_set(DbReportGroup* g, const char* text) {
  if (!g) return -1;
  DB_ENGINE* c = g->report->context;
  DbLock lock(c);
  expr_free(g->reset);
  g->reset = nullptr;
  if (!text || !*text) return 0;
  if (report_pending(c)) return -1;
  g->reset = expr_parse(report_master(g->report), text);
  if (!g->reset) return report_fail(c, e_group_expr, "Invalid group reset expression.");
  return 0;
}

int group_header_page_set(DbReportGroup* g, int flag) { return flag_set(g, DB_GROUP_HEADER_PAGE, flag); }
int group_footer_foot_set(DbReportGroup* g, int flag) { return flag_set(g, DB_GROUP_FOOTER_FOOT, flag); }
int group_header_repeat_set(DbReportGroup* g, int flag) { return flag_set(g, DB_GROUP_HEADER_REPEAT, flag); }
int group_break_before_set(DbReportGroup* g, int flag) { return flag_set(g, DB_GROUP_BREAK_BEFORE, flag); }
int group_page_restart_set(DbReportGroup* g, int flag) { return flag_set(g, DB_GROUP_PAGE_RESTART, flag); }

DbReportGroup* group_first(DbReport* r) { return r && r->groups.size() > 1 ? r->groups[1] : nullptr; }

DbReportGroup* group_next(DbReport* r, DbReportGroup* g) {
  if (!r || !g) return nullptr;
  int at = index_of(r, g);
  return at >= 0 && at + 1 < int(r->groups.size()) ? r->groups[size_t(at) + 1] : nullptr;
}

DbReportGroup* group_last(DbReport* r) { return r && r->groups.size() > 1 ? r->groups.back() : nullptr; }

DbReportGroup* group_prev(DbReport* r, DbReportGroup* g) {
  if (!r || !g) return nullptr;
  int at = index_of(r, g);
  return at > 1 ? r->groups[size_t(at) - 1] : nullptr;
}

int group_count(DbReport* r) { return r ? int(r->groups.size()) : 0; }

DbReportGroup* report_title_group(DbReport* r) { return r ? r->title_group : nullptr; }

DbReportGroup* report_page_group(DbReport* r) { return r ? r->page_group : nullptr; }

DbReportGroup* report_groupLookup(DbReport* r, const char* name) {
  if (!r) return nullptr;
  if (!name || !*name) {
    report_fail(r->context, e_parm, "Invalid name specified in call to report_groupLookup().");
    return nullptr;
  }
  return find_group(r, name);
}
