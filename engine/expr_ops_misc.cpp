// Routines that read the data file or the context rather than a value
// (DEL, DELETED, RECCOUNT, RECNO, PAGENO), the named calculations, which run
// a nested evaluation in the same work buffer, and report totals.
#include "engine/table.h"
#include "engine/expr_routines.h"

void r_del(ExprEval& ev) {
    ev.slot()[0] = ev.op->file->record[0];
    ev.push(ev.slot());
}

void r_deleted(ExprEval& ev) {
    expr_put_l(ev.slot(), ev.op->file->record[0] == '*');
    ev.push(ev.slot());
}

void r_reccount(ExprEval& ev) {
    expr_put_d(ev.slot(), double(data_reccount_in(ev.op->file)));
    ev.push(ev.slot());
}

void r_recno(ExprEval& ev) {
    expr_put_d(ev.slot(), double(data_recno(ev.op->file)));
    ev.push(ev.slot());
}

// The calculation's results are moved up to this operation's slot, so the
// nested evaluation leaves every pending outer value below it untouched.
void r_calc(ExprEval& ev) {
    DbExpr* inner = ev.op->calc->expr;
    int base = ev.op->result_offset;
    if (inner->calc_base != base) {
        for (DbExprOp& o : inner->ops) o.result_offset += base - inner->calc_base;
        inner->calc_base = base;
    }
    ExprEval nested;
    nested.expr = inner;
    nested.work = ev.work;
    nested.constants = inner->constants.data();
    expr_eval_ops(nested, inner, 0, int(inner->ops.size()));
    char* out = ev.slot();
    if (nested.stack[0] != out) std::memmove(out, nested.stack[0], size_t(inner->result_len));
    ev.push(out);
}

// A report total's value (0 while it has none) and the page number of the
// report being produced.
void r_total(ExprEval& ev) {
    double v = 0;
    total_value(static_cast<const DbTotal*>(ev.op->calc->total), &v);
    expr_put_d(ev.slot(), v);
    ev.push(ev.slot());
}

void r_pageno(ExprEval& ev) {
    expr_put_d(ev.slot(), double(ev.expr->ctx->page_no));
    ev.push(ev.slot());
}
