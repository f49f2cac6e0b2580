// The setters of an output object. A value out of range is refused with
// -930 and -1, and the object stays as it was.
#include <algorithm>
#include <cstring>

#include "report/report_internal.h"

namespace {

constexpr size_t kOutNameMax = 10;

DB_ENGINE* context_of(DbReportObject* o) { return o->area->report->context; }

int refuse(DbReportObject* o, const char* text) { return report_fail(context_of(o), e_parm, text); }

}  // namespace

int obj_justify(DbReportObject* o, int j) {
  if (!o) return -1;
  if (j < 0 || j > 2) return refuse(o, "Invalid parameter in call to obj_justify().");
  int old = o->justify;
  o->justify = j;
  return old;
}

int obj_frameCorners(DbReportObject* o, int n) {
  if (!o) return -1;
  if (n < 0) return refuse(o, "Invalid parameter in call to obj_frameCorners().");
  int old = o->justify;
  o->justify = n;
  return old;
}

int obj_frameFill(DbReportObject* o, int flag) {
  if (!o) return -1;
  if (flag < 0) return refuse(o, "Invalid parameter in call to obj_frameFill().");
  int old = o->display_zero;
  o->display_zero = flag;
  return old;
}

int obj_displayZero(DbReportObject* o, int flag) {
  if (!o) return -1;
  if (flag < 0) return refuse(o, "Invalid parameter in call to obj_displayZero().");
  o->display_zero = flag;
  return 0;
}

int obj_numericType(DbReportObject* o, int t) {
  if (!o) return -1;
  if (t < 0 || t > 3) return refuse(o, "Invalid parameter in call to obj_numericType().");
  o->numeric_type = t;
  return 0;
}

int obj_leadingZero(DbReportObject* o, int flag) {
  if (!o) return -1;
  if (flag < 0) return refuse(o, "Invalid parameter in call to obj_leadingZero().");
  o->leading_zero = flag;
  return 0;
}

int obj_brackets(DbReportObject* o, int flag) {
  if (!o) return -1;
  if (flag < 0) return refuse(o, "Invalid parameter in call to obj_brackets().");
  o->brackets = flag;
  return 0;
}

int obj_style(DbReportObject* o, DbReportStyle* style) {
  if (!o) return -1;
  auto& styles = o->area->report->styles;
  if (style && std::find(styles.begin(), styles.end(), style) == styles.end())
    return refuse(o, "Invalid parameter in call to obj_style().");
  o->style = style;
  return 0;
}

int obj_lookahead(DbReportObject* o, int flag) {
  if (!o) return -1;
  if (flag < 0) return refuse(o, "Invalid parameter in call to obj_lookahead().");
  (o->total ? o->total->lookahead : o->lookahead) = flag;
  return 0;
}

int obj_decimals_set(DbReportObject* o, int n) {
  if (!o) return -1;
  o->decimals = n;
  return 0;
}

int obj_line_width_set(DbReportObject* o, int n) {
  if (!o || n < 1) return -1;
  if (o->type == DB_OBJ_VLINE) o->width = n;
  else if (o->type == DB_OBJ_HLINE) o->height = n;
  else if (o->type == DB_OBJ_FRAME) o->display_width = n + 2;
  o->decimals = n;
  return 0;
}

int obj_date_picture_set(DbReportObject* o, const char* text) {
  if (!o) return -1;
  o->date_picture = text ? text : "";
  return 0;
}

int obj_display_once_set(DbReportObject* o, const char* text) {
  if (!o) return -1;
  DB_ENGINE* c = context_of(o);
  DbLock lock(c);
  if (!text) {
    expr_free(o->display_once);
    o->display_once = nullptr;
    o->once_value.clear();
    o->once_seen = false;
    return 0;
  }
  if (report_pending(c)) return -1;
  DbExpr* e = expr_parse(report_master(o->area->report), text);
  if (!e) return report_fail(c, e_report, "Unable to parse display once expression.");
  expr_free(o->display_once);
  o->display_once = e;
  o->once_value.clear();
  o->once_seen = false;
  return 0;
}

// The object stands in the report's output-field list exactly while the
// last call gave it a name, a type and a length.
int obj_output_field_set(DbReportObject* o, const char* name, int type, int length, int decimals) {
  if (!o) return -1;
  o->out_type = type;
  o->out_len = length;
  o->out_decimals = decimals;
  if (name) o->out_name.assign(name, strnlen(name, kOutNameMax));
  bool complete = name && *name && type != 0 && length != 0;
  auto& list = o->area->report->output_fields;
  bool listed = std::find(list.begin(), list.end(), o) != list.end();
  if (listed && !complete) output_field_forget(o);
  else if (!listed && complete) list.push_back(o);
  return 0;
}
