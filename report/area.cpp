// Areas, the bands of a group, and the walk over an area's object tree in
// pre-order: an object, then its children, then its next sibling.
#include <algorithm>
#include <cstdint>
#include <new>

#include "report/report_internal.h"

namespace {

std::vector<DbReportArea*>& list_of(DbReportArea* a) {
  return a->header ? a->group->headers : a->group->footers;
}

void renumber(std::vector<DbReportArea*>& list) {
  for (size_t i = 0; i < list.size(); i++) list[i]->position = int(i) + 1;
}

DbReportArea* step(std::vector<DbReportArea*>& list, DbReportArea* a, int by) {
  auto it = std::find(list.begin(), list.end(), a);
  if (it == list.end()) return nullptr;
  long at = long(it - list.begin()) + by;
  return at >= 0 && at < long(list.size()) ? list[size_t(at)] : nullptr;
}

DbReportObject* bad_object(DbReportArea* a) {
  report_fail(a->report->context, e_parm, "Invalid object pointer.");
  return nullptr;
}

// The next object in pre-order, or null after the last.
DbReportObject* walk_next(DbReportObject* o) {
  if (!o->children.empty()) return o->children.front();
  for (DbReportObject* cur = o; cur; cur = cur->parent) {
    auto& sib = object_siblings(cur);
    auto it = std::find(sib.begin(), sib.end(), cur);
    if (it != sib.end() && it + 1 != sib.end()) return *(it + 1);
  }
  return nullptr;
}

}  // namespace

std::vector<DbReportObject*>& object_siblings(DbReportObject* o) {
  return o->parent ? o->parent->children : o->area->objects;
}

DbReportArea* area_create(DbReportGroup* g, long height, int header, const char* suppress) {
  if (!g) return nullptr;
  DB_ENGINE* c = g->report->context;
  DbLock lock(c);
  if (report_pending(c)) return nullptr;
  if (height < 0 || height > INT32_MAX) {
    report_fail(c, e_parm, "Invalid value specified for area height.");
    return nullptr;
  }
  DbExpr* e = nullptr;
  if (suppress && *suppress && !(e = expr_parse(report_master(g->report), suppress))) {
    report_fail(c, e_area_create, "Invalid suppression expression.");
    return nullptr;
  }
  auto* a = new (std::nothrow) DbReportArea;
  if (!a) {
    expr_free(e);
    report_fail(c, e_area_create, "Unable to allocate memory for area.");
    return nullptr;
  }
  a->height = int32_t(height);
  a->header = header ? 1 : 0;
  a->suppress = e;
  a->group = g;
  a->report = g->report;
  list_of(a).push_back(a);
  renumber(list_of(a));
  return a;
}

void area_destroy(DbReportArea* a) {
  area_objects_destroy(a);
  expr_free(a->suppress);
  auto& list = list_of(a);
  list.erase(std::remove(list.begin(), list.end(), a), list.end());
  renumber(list);
  delete a;
}

int area_free(DbReportArea* a) {
  if (!a) return -1;
  area_destroy(a);
  return 0;
}

int area_pageBreak(DbReportArea* a, int flag) {
  if (!a) return -1;
  if (flag < 0) return report_fail(a->report->context, e_parm, "Invalid parameter in call to area_pageBreak().");
  int old = a->page_break;
  a->page_break = flag;
  return old;
}

DbReportArea* group_header_first(DbReportGroup* g) { return g && !g->headers.empty() ? g->headers.front() : nullptr; }
DbReportArea* group_header_last(DbReportGroup* g) { return g && !g->headers.empty() ? g->headers.back() : nullptr; }
DbReportArea* group_header_next(DbReportGroup* g, DbReportArea* a) { return g ? step(g->headers, a, 1) : nullptr; }
DbReportArea* group_header_prev(DbReportGroup* g, DbReportArea* a) { return g ? step(g->headers, a, -1) : nullptr; }
DbReportArea* group_footer_first(DbReportGroup* g) { return g && !g->footers.empty() ? g->footers.front() : nullptr; }
DbReportArea* group_footer_last(DbReportGroup* g) { return g && !g->footers.empty() ? g->footers.back() : nullptr; }
DbReportArea* group_footer_next(DbReportGroup* g, DbReportArea* a) { return g ? step(g->footers, a, 1) : nullptr; }
DbReportArea* group_footer_prev(DbReportGroup* g, DbReportArea* a) { return g ? step(g->footers, a, -1) : nullptr; }
int group_header_count(DbReportGroup* g) { return g ? int(g->headers.size()) : 0; }
int group_footer_count(DbReportGroup* g) { return g ? int(g->footers.size()) : 0; }

DbReportObject* area_obj_first(DbReportArea* a) {
  return a && !a->objects.empty() ? a->objects.front() : nullptr;
}

DbReportObject* area_obj_next(DbReportArea* a, DbReportObject* o) {
  if (!a) return nullptr;
  if (!o) return bad_object(a);
  return walk_next(o);
}

DbReportObject* area_obj_prev(DbReportArea* a, DbReportObject* o) {
  if (!a) return nullptr;
  if (!o) return bad_object(a);
  DbReportObject* before = nullptr;
  for (DbReportObject* p = area_obj_first(a); p; p = walk_next(p)) {
    if (p == o) return before;
    before = p;
  }
  return nullptr;
}

DbReportObject* area_obj_last(DbReportArea* a) {
  DbReportObject* o = a && !a->objects.empty() ? a->objects.back() : nullptr;
  while (o && !o->children.empty()) o = o->children.back();
  return o;
}

int area_obj_count(DbReportArea* a) { return a ? int(a->objects.size()) : 0; }

void report_each_object(DbReport* r, const std::function<void(DbReportObject*)>& fn) {
  std::vector<DbReportGroup*> groups = r->groups;
  if (r->page_group) groups.insert(groups.begin(), r->page_group);
  for (DbReportGroup* g : groups)
    for (auto* list : {&g->headers, &g->footers})
      for (DbReportArea* a : *list)
        for (DbReportObject* o = area_obj_first(a); o; o = walk_next(o)) fn(o);
}
