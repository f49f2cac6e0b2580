// Named calculations: expressions a caller parks under a name, so other
// expressions (and reports) can use the name as a value.
#include <cctype>
#include <cstring>

#include "engine/engine.h"
#include "engine/expr.h"
#include "engine/pool.h"

namespace {
constexpr int kCalcFirst = 5;
constexpr int kCalcExpand = 5;
constexpr int kCalcNameMax = 19;
}  // namespace

DbCalc* calc_create_in(DB_ENGINE* c, DbExpr* expr, const char* name) {
  DbAssertLocked(c);
  auto* calc = static_cast<DbCalc*>(
      mem_pool_alloc(c, &c->calc_pool, kCalcFirst, sizeof(DbCalc), kCalcExpand, 0));
  if (!calc) {
    code_error(c, e_memory, nullptr);
    return nullptr;
  }
  std::memset(calc, 0, sizeof *calc);
  calc->context = c;
  calc->expr = expr;
  for (int i = 0; name && i < kCalcNameMax && name[i]; ++i)
    calc->name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
  list_add(&c->calc_list, calc);
  // A numeric field value is handed on as a double, so sums and totals work.
  if (expr) expr_numeric_to_double(expr);
  return calc;
}

DbCalc* calc_lookup_in(DB_ENGINE* c, const char* name, int len) {
  DbAssertLocked(c);
  char want[kCalcNameMax + 1] = {};
  if (len > kCalcNameMax) len = kCalcNameMax;
  for (int i = 0; i < len && name[i]; ++i)
    want[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
  for (auto* calc = static_cast<DbCalc*>(list_first(&c->calc_list)); calc;
       calc = static_cast<DbCalc*>(list_next(&c->calc_list, calc)))
    if (std::strcmp(calc->name, want) == 0) return calc;
  return nullptr;
}

void calc_free_in(DbCalc* calc) {
  DB_ENGINE* c = calc->context;
  DbAssertLocked(c);
  // The total stays with the report engine, which frees it; it only loses
  // the calculation it showed.
  if (calc->total) static_cast<DbTotal*>(calc->total)->calc = nullptr;
  calc->total = nullptr;
  list_remove(&c->calc_list, calc);
  if (calc->expr) expr_free(calc->expr);
  mem_pool_give(c->calc_pool, calc);
}

void calc_free_all_in(DB_ENGINE* c) {
  DbAssertLocked(c);
  while (c->calc_list.count > 0) calc_free_in(static_cast<DbCalc*>(list_last(&c->calc_list)));
}

int total_value(const DbTotal* t, double* value) {
  *value = 0;
  if (!t) return 0;
  switch (t->type) {
    case DB_TOTAL_SUM:
      *value = t->sum;
      return 1;
    case DB_TOTAL_COUNT:
      *value = double(t->count);
      return 1;
    case DB_TOTAL_AVERAGE:
    case DB_TOTAL_MIN:
    case DB_TOTAL_MAX:
      // Nothing counted yet: no average, and the extremes still hold their
      // starting values, which are no record's.
      if (t->count <= 0) return 0;
      *value = t->type == DB_TOTAL_AVERAGE ? t->sum / double(t->count)
               : t->type == DB_TOTAL_MIN   ? t->minimum
                                           : t->maximum;
      return 1;
    default:
      return 0;
  }
}
