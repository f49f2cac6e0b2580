// Evaluation routines of the function table rows and the evaluation state
// they share. Private to the expression code.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/convert.h"
#include "engine/table.h"
#include "engine/expr.h"

// One evaluation: the value stack holds pointers to values in the work
// buffer (or, for fields read in place, into a record buffer).
struct ExprEval {
    DbExpr* expr = nullptr;
    const DbExprOp* op = nullptr;
    char* work = nullptr;
    const char* constants = nullptr;
    char* stack[kExprValueStack];    // filled by the operations before they are read
    int sp = 0;

    char* slot() const { return work + op->result_offset; }
    // Pops n operands; returns the first of them.
    char** pop(int n) { sp -= n; return &stack[sp]; }
    void push(char* value) { stack[sp++] = value; }
};

// Values in the work buffer are unaligned: always go through memcpy.
inline double expr_get_d(const char* p) { double v; std::memcpy(&v, p, sizeof v); return v; }
inline void expr_put_d(char* p, double v) { std::memcpy(p, &v, sizeof v); }
inline int32_t expr_get_l(const char* p) { int32_t v; std::memcpy(&v, p, sizeof v); return v; }
inline void expr_put_l(char* p, int32_t v) { std::memcpy(p, &v, sizeof v); }

// The operation that produced operand k (0-based) of the current operation.
inline const DbExprOp* expr_operand(const ExprEval& ev, int k) {
    const DbExprOp* o = ev.op - 1;
    for (int i = ev.op->param_count - 1; i > k; --i) o -= o->sub_size;
    return o;
}

// Rows 82 and 83 need the outer evaluation to run a nested one.
int expr_eval_ops(ExprEval& ev, DbExpr* expr, int first, int count);

#define EXPR_ROUTINES(X) \
    X(r_field_c) X(r_field_c_copy) X(r_field_l) X(r_field_d_julian) X(r_field_d) \
    X(r_field_n_double) X(r_field_n) X(r_memo) X(r_const_n) X(r_const_c) \
    X(r_true) X(r_false) X(r_not) X(r_or) X(r_and) \
    X(r_concat_adjacent) X(r_concat_nul) X(r_add) X(r_add_nd) X(r_add_dn) \
    X(r_concat_blank) X(r_sub) X(r_sub_dd) X(r_sub_dn) \
    X(r_eq) X(r_ne) X(r_ge_c) X(r_ge) X(r_le_c) X(r_le) X(r_gt_c) X(r_gt) \
    X(r_lt_c) X(r_lt) X(r_pow) X(r_mul) X(r_div) X(r_contains) \
    X(r_chr) X(r_del) X(r_str) X(r_substr) X(r_time) X(r_upper) \
    X(r_dtos) X(r_dtos_julian) X(r_dtoc) X(r_dtoc_julian) X(r_trim) X(r_ltrim) \
    X(r_iif) X(r_stod) X(r_ctod) X(r_date) X(r_day) X(r_day_julian) \
    X(r_month) X(r_month_julian) X(r_year) X(r_year_julian) X(r_deleted) \
    X(r_reccount) X(r_recno) X(r_val) X(r_calc) X(r_total) X(r_pageno)

#define EXPR_DECLARE(name) void name(ExprEval&);
EXPR_ROUTINES(EXPR_DECLARE)
#undef EXPR_DECLARE
