// The texts of output objects (object_text.h): fields read from the
// current record, expressions and calculations evaluated on it, totals by
// their type, each formatted by its type, the number rules and the date
// picture of the object (or the report's).
#include "report/object_text.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "report/number_text.h"
#include "report/report_internal.h"

namespace {

constexpr size_t kDateLen = 8;  // CCYYMMDD

std::string trimmed(const char* p, size_t n) {
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) n--;
  return std::string(p, n);
}

double number_of(const std::string& digits) {
  std::string t = trimmed(digits.data(), digits.size());
  size_t lead = t.find_first_not_of(' ');
  return lead == std::string::npos ? 0 : std::strtod(t.c_str() + lead, nullptr);
}

const std::string& picture_of(const DbReport* r, const DbReportObject* o) {
  return o->date_picture.empty() ? r->date_picture : o->date_picture;
}

void show_number(const DbReport* r, const DbReportObject* o, double v, ShownValue& out) {
  out.number = v;
  out.text = number_text(v, number_rules(r, o));
}

void show_date(const DbReport* r, const DbReportObject* o, const std::string& date, ShownValue& out) {
  out.date = trimmed(date.data(), date.size()).empty() ? "" : date;
  out.text = date_text(out.date, picture_of(r, o));
}

void show_field(const DbReport* r, const DbReportObject* o, ShownValue& out) {
  DbField* f = o->field;
  const char* p = field_ptr(f);
  size_t n = field_len(f);
  switch (field_type(f)) {
    case 'M': out.text = std::string(memo_field_ptr(f), memo_field_len(f)); break;
    case 'D': show_date(r, o, std::string(p, n), out); break;
    case 'N': show_number(r, o, number_of(std::string(p, n)), out); break;
    default: out.text = trimmed(p, n); break;
  }
}

// An expression's result by its type: texts trimmed, numbers by the number
// rules, dates through the picture, logical values as T or F.
bool show_result(const DbReport* r, const DbReportObject* o, DbExpr* e, ShownValue& out) {
  char* result = nullptr;
  int len = expr_eval(e, &result);
  if (len < 0 || !result) return false;
  switch (expr_type(e)) {
    case 'N': show_number(r, o, number_of(std::string(result, size_t(len))), out); break;
    case 'n': {
      double v = 0;
      std::memcpy(&v, result, sizeof v);
      show_number(r, o, v, out);
      break;
    }
    case 'D': show_date(r, o, std::string(result, kDateLen), out); break;
    case 'd': {
      double julian = 0;
      std::memcpy(&julian, result, sizeof julian);
      char date[kDateLen + 1] = {};
      date_from_julian(date, long(julian));
      show_date(r, o, std::string(date, kDateLen), out);
      break;
    }
    case 'L': {
      int32_t v = 0;
      std::memcpy(&v, result, sizeof v);
      out.text = v ? "T" : "F";
      break;
    }
    default: out.text = trimmed(result, size_t(len)); break;
  }
  return true;
}

}  // namespace

std::string date_text(const std::string& date, const std::string& picture) {
  if (date.size() < kDateLen || trimmed(date.data(), date.size()).empty()) return "";
  // The result is the picture's length; a month's name may take more.
  std::vector<char> out(picture.size() + 64, '\0');
  date_format(date.c_str(), out.data(), picture.c_str());
  return out.data();
}

bool object_shown(DbReport* r, DbReportObject* o, ShownValue& out) {
  out = ShownValue();
  switch (o->type) {
    case DB_OBJ_FIELD:
      if (o->field) show_field(r, o, out);
      return true;
    case DB_OBJ_EXPR: return !o->expr || show_result(r, o, o->expr, out);
    case DB_OBJ_CALC: return !o->calc || !o->calc->expr || show_result(r, o, o->calc->expr, out);
    case DB_OBJ_TOTAL: {
      double v = 0;
      if (o->total && total_value(o->total, &v)) show_number(r, o, v, out);
      return true;
    }
    case DB_OBJ_TEXT:
      if (o->text) out.text = *o->text;
      return true;
    default: return true;
  }
}
