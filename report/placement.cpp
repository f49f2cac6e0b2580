// Where an object stands in its area's tree. An object that lies strictly
// inside another (every edge inside, none on the border) stands under it;
// a frame goes first among its siblings, so it lies beneath what it
// encloses. The walks are loops, never recursion: a file may nest objects
// as deep as it likes.
#include <algorithm>

#include "report/report_internal.h"

namespace {

// True when inner lies strictly inside outer.
bool holds(const DbReportObject* outer, const DbReportObject* inner) {
  int64_t ox = outer->x, oy = outer->y, ix = inner->x, iy = inner->y;
  return ox < ix && oy < iy && ix + inner->width < ox + outer->width &&
         iy + inner->height < oy + outer->height;
}

}  // namespace

void area_place_alone(DbReportArea* a, DbReportObject* o) {
  o->parent = nullptr;
  std::vector<DbReportObject*>* list = &a->objects;
  for (;;) {
    auto it = std::find_if(list->begin(), list->end(),
                           [o](DbReportObject* p) { return p != o && holds(p, o); });
    if (it == list->end()) break;
    o->parent = *it;
    list = &(*it)->children;
  }
  if (o->type == DB_OBJ_FRAME) list->insert(list->begin(), o);
  else list->push_back(o);
}

void area_place(DbReportArea* a, DbReportObject* o) {
  area_place_alone(a, o);
  if (!o->x && !o->y && !o->width && !o->height) return;
  // Objects placed before it that it encloses move under it.
  std::vector<DbReportObject*> top = a->objects;
  for (DbReportObject* p : top) {
    if (p == o || !holds(o, p)) continue;
    a->objects.erase(std::find(a->objects.begin(), a->objects.end(), p));
    area_place_alone(a, p);
  }
}

int area_sort(DbReportArea* a) {
  if (!a) return -1;
  auto by_row = [](const DbReportObject* p, const DbReportObject* q) {
    return p->y != q->y ? p->y < q->y : p->x < q->x;
  };
  std::stable_sort(a->objects.begin(), a->objects.end(), by_row);
  for (DbReportObject* o : a->objects) std::stable_sort(o->children.begin(), o->children.end(), by_row);
  return 0;
}
