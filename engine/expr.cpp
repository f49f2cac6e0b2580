// Entry points of the expression parser: parse a text against a data file
// into a finished DbExpr, free it, and read its source, type and length.
#include <cstring>
#include <new>

#include "engine/table.h"
#include "engine/expr_parse.h"

namespace {

DbExpr* parse(DB_ENGINE* c, DbDataFile* data, const char* text) {
    ExprParse p;
    p.ctx = c;
    p.data = data;
    p.text = text;
    p.len = int(strnlen(text, size_t(INT32_MAX)));
    if (expr_parse_expr(p) < 0) return nullptr;
    if (p.op_sp != 0) {
        p.fail(e_complete);
        return nullptr;
    }
    // Whatever follows a complete expression would otherwise be ignored.
    while (p.pos < p.len && p.text[p.pos] >= 1 && p.text[p.pos] <= 32) p.pos++;
    if (p.peek() != '\0') {
        p.fail(e_unrec_operator);
        return nullptr;
    }
    int type = 0, length = 0;
    if (expr_layout(p, type, length) < 0) return nullptr;
    if (!c->expr_buf.grow(c, unsigned(p.work_size) + 1)) return nullptr;

    auto* e = new DbExpr;
    e->ops = std::move(p.ops);
    e->source.assign(text, size_t(p.len));
    e->constants = p.constants;
    e->result_len = length;
    e->result_type = type;
    e->data = data;
    e->ctx = c;
    e->work_size = p.work_size;
    e->trim = p.trim;
    return e;
}

}  // namespace

DbExpr* expr_parse_in(DbDataFile* data, const char* text) {
    DB_ENGINE* c = data->context;
    DbAssertLocked(c);
    if (c->error_code < 0) return nullptr;
    try {
        return parse(c, data, text);
    } catch (const std::bad_alloc&) {
        if (c->expr_errors) code_error_ex(c, e_memory, text, nullptr, nullptr);
        return nullptr;
    }
}

void expr_free(DbExpr* expr) { delete expr; }

const char* expr_source(const DbExpr* expr) { return expr ? expr->source.c_str() : ""; }

int expr_len(const DbExpr* expr) { return expr ? expr->result_len : 0; }

int expr_type(const DbExpr* expr) { return expr ? expr->result_type : 0; }

int expr_key_len(const DbExpr* expr) {
    if (!expr) return 0;
    switch (expr->result_type) {
        case 'D': case 'd': return 8;
        case 'N': case 'n': return DB_PACKED_LEN;
        default: return expr->result_len;
    }
}

void expr_numeric_to_double(DbExpr* expr) {
    if (!expr || expr->result_type != 'N' || expr->ops.empty()) return;
    DbExprOp& last = expr->ops.back();
    if (last.row != kRowFieldN) return;
    // The layout kept at least 8 bytes for the numeric text, so the double fits.
    last.row = kRowFieldNDouble;
    last.routine = db_expr_function_table[kRowFieldNDouble].routine;
    last.length = 8;
    expr->result_type = 'n';
    expr->result_len = 8;
}
