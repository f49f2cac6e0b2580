// Public calls on expressions and named calculations. Each takes the
// context's lock and checks the pending error at its entry (DbCall).
#include "engine/engine_api.h"

DbExpr* expr_parse(DbDataFile* data, const char* text) {
  if (!data || !data->context || !text) return nullptr;
  DbCall call(data->context);
  return call ? expr_parse_in(data, text) : nullptr;
}

int expr_eval(DbExpr* expr, char** result) {
  if (!expr) return -1;
  DbCall call(expr->ctx);
  return call ? expr_eval_in(expr, result) : -1;
}

int expr_true(DbExpr* expr) {
  if (!expr) return -1;
  DbCall call(expr->ctx);
  return call ? expr_true_in(expr) : code_error_get(expr->ctx);  // the pending error
}

double expr_double(DbExpr* expr) {
  if (!expr) return 0;
  DbCall call(expr->ctx);
  return call ? expr_double_in(expr) : 0;
}

int expr_key_eval(DbExpr* expr, char** key) {
  if (!expr || !key) return -1;
  DbCall call(expr->ctx);
  return call ? expr_key_eval_in(expr, key) : -1;
}

DbCalc* calc_create(DB_ENGINE* c, DbExpr* expr, const char* name) {
  DbCall call(c, DbCall::run);
  return calc_create_in(c, expr, name);
}

DbCalc* calc_lookup(DB_ENGINE* c, const char* name, int len) {
  DbCall call(c, DbCall::run);
  return calc_lookup_in(c, name, len);
}

void calc_free(DbCalc* calc) {
  if (!calc) return;
  DbCall call(calc->context, DbCall::run);
  calc_free_in(calc);
}

void calc_free_all(DB_ENGINE* c) {
  DbCall call(c, DbCall::run);
  calc_free_all_in(c);
}
