// Evaluation of a parsed expression over the current records of its data
// files, and the views of its result: as a logical, as a double.
#include <cstring>

#include "engine/convert.h"
#include "engine/expr_routines.h"

namespace {

// The work buffer must hold every offset the layout fixed; a named
// calculation may have moved its results up by calc_base.
char* work_ready(DbExpr* e) {
    DB_ENGINE* c = e->ctx;
    unsigned need = unsigned(e->work_size + e->calc_base) + 1;
    return c->expr_buf.grow(c, need);
}

int run(DbExpr* e, int first, int count, char** result) {
    DB_ENGINE* c = e->ctx;
    if (c->error_code < 0) return -1;
    char* work = work_ready(e);
    if (!work) return -1;
    ExprEval ev;
    ev.expr = e;
    ev.work = work;
    ev.constants = e->constants.data();
    ev.stack[0] = nullptr;  // no result until an operation leaves one
    expr_eval_ops(ev, e, first, count);
    if (result) *result = ev.stack[0];
    return c->error_code < 0 ? -1 : 0;
}

}  // namespace

int expr_eval_ops(ExprEval& ev, DbExpr* expr, int first, int count) {
    for (int i = first; i < first + count; ++i) {
        ev.op = &expr->ops[size_t(i)];
        ev.op->routine(ev);
    }
    return 0;
}

int expr_eval_in(DbExpr* expr, char** result) {
    DbAssertLocked(expr->ctx);
    if (run(expr, 0, int(expr->ops.size()), result) < 0) return -1;
    return expr->result_len;
}

int expr_eval_part(DbExpr* expr, int op_index, char** result) {
    if (!expr) return -1;
    DbAssertLocked(expr->ctx);
    if (op_index < 0 || op_index >= int(expr->ops.size())) return -1;
    int size = expr->ops[size_t(op_index)].sub_size;
    run(expr, op_index - size + 1, size, result);
    return expr->ctx->error_code;
}

int expr_true_in(DbExpr* expr) {
    DB_ENGINE* c = expr->ctx;
    DbAssertLocked(c);
    char* value = nullptr;
    if (run(expr, 0, int(expr->ops.size()), &value) < 0) return c->error_code < 0 ? c->error_code : -1;
    if (expr->result_type != 'L')
        return code_error_ex(c, e_result, "expr_true()", "Expecting logical result.", nullptr);
    int32_t v;
    std::memcpy(&v, value, sizeof v);
    return v;
}

double expr_double_in(DbExpr* expr) {
    DbAssertLocked(expr->ctx);
    char* value = nullptr;
    if (run(expr, 0, int(expr->ops.size()), &value) < 0) return 0;
    switch (expr->result_type) {
        case 'N':
        case 'C':
            return str_to_double(value, expr->result_len);
        case 'D': {
            char date[9];
            std::memcpy(date, value, 8);
            date[8] = '\0';
            return double(date_to_julian(date));
        }
        case 'n':
        case 'd': {
            double v;
            std::memcpy(&v, value, sizeof v);
            return v;
        }
        default:
            return 0;
    }
}
