// Totals: running minima, maxima, counts, averages and sums over the
// records of the report's relation. Each total is backed by a named
// calculation of the context (its name and expression), sits in the
// context's total list, and takes its memory from the context's total pool.
//
// Page production resets every total when output starts and then gives it
// each record (total_evaluate). A reset expression starts the total anew
// whenever its value changes; a condition says which records count. A
// look-ahead total does not wait for the records: when its group starts it
// reads ahead through the relation to the group's end, adds every record,
// and steps back to where it was.
#include <cstring>
#include <new>

#include "report/report_internal.h"

namespace {

constexpr int kPoolFirst = 5;
constexpr int kPoolExpand = 5;
constexpr double kStartMinimum = 1.7e308;

DB_ENGINE* context_of(const DbReportTotal* t) { return t->report->context; }

// The expression's value as bytes; false when it cannot be evaluated.
bool value_of(DbExpr* e, std::string& out) {
  char* result = nullptr;
  int len = expr_eval(e, &result);
  if (len < 0 || !result) return false;
  out.assign(result, size_t(len));
  return true;
}

// 1 when the current record counts, 0 when not, -1 on error.
int counts(DbReportTotal* t) {
  if (!t->condition) return 1;
  if (t->logical) return expr_true(t->condition);
  std::string v;
  if (!value_of(t->condition, v)) return -1;
  if (t->condition_seen && v == t->condition_value) return 0;
  t->condition_value = v;
  t->condition_seen = true;
  return 1;
}

int add_if_counted(DbReportTotal* t) {
  int rc = counts(t);
  if (rc <= 0 || !t->calc) return rc;
  double v = expr_double(t->calc->expr);
  if (report_pending(context_of(t))) return -1;
  t->sum += v;
  t->count++;
  if (v < t->minimum) t->minimum = v;
  if (v > t->maximum) t->maximum = v;
  return 0;
}

// 1 when the reset value differs from the stored one (and stores it when
// asked), 0 when not, -1 on error.
int reset_changed(DbReportTotal* t, bool store) {
  std::string v;
  if (!value_of(t->reset, v)) return -1;
  if (t->reset_seen && v == t->reset_value) return 0;
  if (store) {
    t->reset_value = v;
    t->reset_seen = true;
  }
  return 1;
}

void clear(DbReportTotal* t) {
  t->sum = 0;
  t->count = 0;
  t->minimum = kStartMinimum;
  t->maximum = -kStartMinimum;
}

// Adds the current record and those after it up to the end of the group,
// then goes back to the current record.
int compute_ahead(DbReportTotal* t) {
  DB_ENGINE* c = context_of(t);
  DbRelation* rel = t->report->relation;
  if (!rel->skip_backward)
    return report_fail(c, e_result, "A look-ahead total needs backward skipping in its relation.");
  if (add_if_counted(t) < 0) return -1;
  int rc = relation_walk_ahead(rel, [t] {
    if (t->reset) {
      int changed = reset_changed(t, false);
      if (changed != 0) return changed < 0 ? -1 : 0;
    }
    return add_if_counted(t) < 0 ? -1 : 1;
  });
  if (rc < 0) return -1;
  t->computed_ahead = 1;
  return 0;
}

}  // namespace

int relation_walk_ahead(DbRelation* rel, const std::function<int()>& visit) {
  long moved = 0;
  int rc = 0, seen = 1;
  while (seen == 1) {
    rc = relate_skip(rel, 1);
    if (rc != 0) break;
    moved++;
    seen = visit();
  }
  if (rc < 0 || seen < 0) return -1;
  // Past the last record the walk stands one step beyond it.
  long back = rc == 0 ? moved : moved + 1;
  if (back > 0 && relate_skip(rel, -back) < 0) return -1;
  return 0;
}

DbReportTotal* total_create(DbReport* r, const char* name, const char* expr, int type, const char* reset) {
  if (!r) return nullptr;
  DB_ENGINE* c = r->context;
  DbLock lock(c);
  if (!name || !*name || !expr) {
    report_fail(c, e_parm, "Invalid parameter in call to total_create().");
    return nullptr;
  }
  if (report_pending(c)) return nullptr;
  DbExpr* e = expr_parse(report_master(r), expr);
  if (!e) {
    report_fail(c, e_total_create, "Unable to parse total expression.");
    return nullptr;
  }
  void* unit = mem_pool_alloc(c, &c->total_pool, kPoolFirst, sizeof(DbReportTotal), kPoolExpand, 0);
  if (!unit) {
    expr_free(e);
    report_fail(c, e_total_create, "Unable to allocate memory for total.");
    return nullptr;
  }
  auto* t = new (unit) DbReportTotal();
  t->report = r;
  t->type = type;
  DbExpr* reset_expr = nullptr;
  if (reset && *reset && !(reset_expr = expr_parse(report_master(r), reset))) {
    expr_free(e);
    t->~DbReportTotal();
    mem_pool_give(c->total_pool, unit);
    report_fail(c, e_total_create, "Unable to parse total reset expression.");
    return nullptr;
  }
  t->calc = calc_create(c, e, name);
  if (!t->calc) {
    expr_free(e);
    expr_free(reset_expr);
    t->~DbReportTotal();
    mem_pool_give(c->total_pool, unit);
    report_fail(c, e_total_create, "Unable to create total calculation.");
    return nullptr;
  }
  t->reset = reset_expr;
  t->calc->total = static_cast<DbTotal*>(t);
  list_add(&c->total_list, static_cast<DbTotal*>(t));
  total_reset(t);
  return t;
}

DbReportTotal* total_lookup(DbReport* r, const char* name) {
  if (!r) return nullptr;
  DB_ENGINE* c = r->context;
  if (!name || !*name) {
    report_fail(c, e_parm, "Invalid parameter in call to total_lookup().");
    return nullptr;
  }
  for (auto* t = static_cast<DbTotal*>(list_first(&c->total_list)); t;
       t = static_cast<DbTotal*>(list_next(&c->total_list, t))) {
    auto* rt = static_cast<DbReportTotal*>(t);
    if (rt->report == r && rt->calc && std::strcmp(rt->calc->name, name) == 0) return rt;
  }
  return nullptr;
}

int total_condition_set(DbReportTotal* t, const char* expr, int logical) {
  if (!t || !expr) return -1;
  DB_ENGINE* c = context_of(t);
  DbLock lock(c);
  if (report_pending(c)) return -1;
  DbExpr* e = expr_parse(report_master(t->report), expr);
  if (!e) {
    code_error_set(c, 0);
    return -1;
  }
  if (logical && expr_type(e) != 'L') {
    expr_free(e);
    return -1;
  }
  expr_free(t->condition);
  t->condition = e;
  t->logical = logical;
  t->condition_value.clear();
  t->condition_seen = false;
  return 0;
}

int total_free(DbReportTotal* t) {
  if (!t) return -1;
  DB_ENGINE* c = context_of(t);
  DbLock lock(c);
  list_remove(&c->total_list, static_cast<DbTotal*>(t));
  if (t->object) t->object->total = nullptr;
  expr_free(t->reset);
  expr_free(t->condition);
  if (t->calc) {
    t->calc->total = nullptr;
    calc_free(t->calc);
  }
  t->~DbReportTotal();
  mem_pool_give(c->total_pool, t);
  return 0;
}

int total_reset(DbReportTotal* t) {
  if (!t) return -1;
  clear(t);
  t->reset_seen = false;
  t->condition_seen = false;
  t->computed_ahead = 0;
  return 0;
}

int total_evaluate(DbReportTotal* t) {
  if (!t || !t->calc) return -1;
  DB_ENGINE* c = context_of(t);
  DbLock lock(c);
  if (report_pending(c)) return -1;
  bool started = false;
  if (t->reset) {
    int changed = reset_changed(t, true);
    if (changed < 0) return -1;
    if (changed) {
      clear(t);
      started = true;
    }
  }
  if (!t->lookahead) return add_if_counted(t) < 0 ? -1 : 0;
  bool due = t->reset ? started : !t->computed_ahead;
  return due ? compute_ahead(t) : 0;
}
