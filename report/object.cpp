// Output objects: one constructor per type, each placing the new object in
// its area's tree, and their deletion. A constructor refuses (NULL, no
// report) an area that is missing, a negative position or size, a position
// beyond the printable width or below the area's height.
#include <algorithm>
#include <cstdint>
#include <new>

#include "report/bitmap_file.h"
#include "report/report_internal.h"

namespace {

DbReportObject* object_new(DbReportArea* a, int type, long x, long y, long w, long h) {
  if (!a) return nullptr;
  DbReport* r = a->report;
  if (x < 0 || y < 0 || w < 0 || h < 0 || w > INT32_MAX || h > INT32_MAX) return nullptr;
  if (x > r->width || y > a->height) return nullptr;
  auto* o = new (std::nothrow) DbReportObject;
  if (!o) {
    report_fail(r->context, e_obj_create, "Unable to allocate memory for object.");
    return nullptr;
  }
  o->type = type;
  o->x = int32_t(x);
  o->y = int32_t(y);
  o->width = int32_t(w);
  o->height = int32_t(h);
  o->area = a;
  o->style = r->current_style ? r->current_style : r->styles.empty() ? nullptr : r->styles.front();
  return o;
}

DbReportObject* placed(DbReportObject* o) {
  area_place(o->area, o);
  return o;
}

// What an object owns besides its children.
void object_data_free(DbReportObject* o) {
  if (o->total) {
    o->total->object = nullptr;
    total_free(o->total);
  }
  if (o->bitmap) GlobalFree(o->bitmap);
  expr_free(o->expr);
  expr_free(o->display_once);
  DbReport* r = o->area->report;
  // The last object with an output field takes the generation set-up along.
  if (output_field_forget(o) && r->output_fields.empty()) {
    r->output_group = nullptr;
    r->output_file.clear();
  }
}

DbReportObject* text_object(DbReportArea* a, int type, const char* text, long x, long y, long w, long h) {
  DbReportObject* o = object_new(a, type, x, y, w, h);
  if (!o) return nullptr;
  try {
    if (text) o->text = std::string(text);
  } catch (const std::bad_alloc&) {
    delete o;
    report_fail(a->report->context, e_obj_create, "Unable to allocate memory for object.");
    return nullptr;
  }
  return o;
}

}  // namespace

bool output_field_forget(DbReportObject* o) {
  auto& list = o->area->report->output_fields;
  auto it = std::find(list.begin(), list.end(), o);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

DbReportObject* obj_field_create(DbReportArea* a, DbField* field, long x, long y, long w, long h) {
  if (!field) return nullptr;
  DbReportObject* o = object_new(a, DB_OBJ_FIELD, x, y, w, h);
  if (!o) return nullptr;
  o->field = field;
  switch (field_type(field)) {
    case 'C': o->display_width = int32_t(field_len(field)) + 2; break;
    case 'D': o->display_width = 10; break;
    case 'L': o->display_width = 2; break;
    case 'M': o->display_width = 42; break;
    case 'N':
      o->display_width = 10;
      o->decimals = field_decimals(field);
      o->justify = DB_JUSTIFY_RIGHT;
      break;
    default: o->display_width = 12; break;
  }
  return placed(o);
}

DbReportObject* obj_expr_create(DbReportArea* a, const char* text, long x, long y, long w, long h) {
  if (!a || !text) return nullptr;
  DB_ENGINE* c = a->report->context;
  DbLock lock(c);
  if (report_pending(c)) return nullptr;
  DbReportObject* o = object_new(a, DB_OBJ_EXPR, x, y, w, h);
  if (!o) return nullptr;
  o->expr = expr_parse(report_master(a->report), text);
  if (!o->expr) {
    delete o;
    return nullptr;
  }
  o->display_width = expr_len(o->expr) + 2;
  int t = expr_type(o->expr);
  if (t == 'N' || t == 'n') o->justify = DB_JUSTIFY_RIGHT;
  return placed(o);
}

DbReportObject* obj_total_create(DbReportArea* a, DbReportTotal* total, long x, long y, long w, long h) {
  if (!a || !total) return nullptr;
  // A total shows in one object, which frees it with itself.
  if (total->object || total->report != a->report) {
    report_fail(a->report->context, e_parm, "Invalid parameter in call to obj_total_create().");
    return nullptr;
  }
  DbReportObject* o = object_new(a, DB_OBJ_TOTAL, x, y, w, h);
  if (!o) return nullptr;
  o->total = total;
  total->object = o;
  o->display_width = 12;
  o->justify = DB_JUSTIFY_RIGHT;
  return placed(o);
}

DbReportObject* obj_calc_create(DbReportArea* a, DbCalc* calc, long x, long y, long w, long h) {
  if (!calc || !calc->expr) return nullptr;
  DbReportObject* o = object_new(a, DB_OBJ_CALC, x, y, w, h);
  if (!o) return nullptr;
  o->calc = calc;
  switch (expr_type(calc->expr)) {
    case 'D':
    case 'd': o->display_width = int32_t(a->report->date_picture.size()) + 2; break;
    case 'L': o->display_width = 2; break;
    case 'N':
    case 'n':
      o->display_width = 10;
      o->justify = DB_JUSTIFY_RIGHT;
      break;
    default: o->display_width = expr_len(calc->expr) + 2; break;
  }
  return placed(o);
}

DbReportObject* obj_text_create(DbReportArea* a, const char* text, long x, long y, long w, long h) {
  DbReportObject* o = text_object(a, DB_OBJ_TEXT, text, x, y, w, h);
  return o ? placed(o) : nullptr;
}

DbReportObject* obj_bitmap_mem_create(DbReportArea* a, HGLOBAL bitmap, long x, long y, long w, long h) {
  DbReportObject* o = object_new(a, DB_OBJ_BITMAP_MEM, x, y, w, h);
  if (!o) return nullptr;
  o->bitmap = bitmap;
  return placed(o);
}

DbReportObject* obj_line_create(DbReportArea* a, int vertical, long x, long y, long length) {
  DbReportObject* o = vertical ? object_new(a, DB_OBJ_VLINE, x, y, 1, length)
                               : object_new(a, DB_OBJ_HLINE, x, y, length, 1);
  if (!o) return nullptr;
  o->justify = vertical ? 1 : 0;
  return placed(o);
}

DbReportObject* obj_frame_create(DbReportArea* a, long x, long y, long w, long h) {
  DbReportObject* o = object_new(a, DB_OBJ_FRAME, x, y, w, h);
  return o ? placed(o) : nullptr;
}

DbReportObject* obj_bitmap_file_create(DbReportArea* a, const char* file, long x, long y, long w, long h) {
  if (!a || !file) return nullptr;
  HGLOBAL bitmap = bitmap_load(file, a->report->context);
  if (!bitmap) return nullptr;
  DbReportObject* o = text_object(a, DB_OBJ_BITMAP_FILE, file, x, y, w, h);
  if (!o) {
    GlobalFree(bitmap);
    return nullptr;
  }
  o->bitmap = bitmap;
  return placed(o);
}

DbReportObject* obj_bitmap_field_create(DbReportArea* a, DbField* field, long x, long y, long w, long h) {
  if (!field) return nullptr;
  std::string text = std::string(data_alias(field->data)) + "->" + field_name(field);
  DbReportObject* o = text_object(a, DB_OBJ_BITMAP_FIELD, text.c_str(), x, y, w, h);
  if (!o) return nullptr;
  o->field = field;
  return placed(o);
}

int obj_delete(DbReportObject* o) {
  if (!o) return -1;
  DbReportArea* a = o->area;
  object_data_free(o);
  auto& sib = object_siblings(o);
  sib.erase(std::find(sib.begin(), sib.end(), o));
  // Its children go back to the area, each where its containment puts it.
  std::vector<DbReportObject*> children;
  children.swap(o->children);
  for (DbReportObject* child : children) area_place_alone(a, child);
  delete o;
  return 0;
}

void area_objects_destroy(DbReportArea* a) {
  std::vector<DbReportObject*> all;
  for (DbReportObject* o = area_obj_first(a); o; o = area_obj_next(a, o)) all.push_back(o);
  for (DbReportObject* o : all) {
    object_data_free(o);
    delete o;
  }
  a->objects.clear();
}
