// Type check and layout of a parsed operation list. Walks the postfix list
// with a stack of pending values, resolves each operation to the overload
// row that accepts its operand types, and fixes every result length and
// work-buffer offset, so evaluation decides nothing and allocates nothing.
#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/convert.h"
#include "engine/table.h"
#include "engine/expr_parse.h"

namespace {

const DbExprRow* const T = db_expr_function_table;

// No value may be longer than the longest field a record can hold.
constexpr int kMaxValueLen = 65535;
constexpr int kLayoutDepth = kExprValueStack - 1;

struct Pending {
    char type;
    int length;
    int offset;
    int op;
    int sub;
};

int next_free(const Pending& v) {
    int len = v.length;
    if ((v.type == 'N' || v.type == 'D') && len < 8) len = 8;
    return v.offset + len;
}

bool changes_argument(int row) {
    switch (row) {
        case kRowPlusC: case kRowPlusCVar: case kRowMinusC: case kRowSubstr:
        case kRowUpper: case kRowTrim: case kRowLtrim: case kRowLeft:
            return true;
        default:
            return false;
    }
}

// Finds the overload row of op's code that takes the pending operand types.
int resolve(ExprParse& p, DbExprOp& op, Pending* args) {
    for (;;) {
        const DbExprRow& row = T[op.row];
        bool ok = true;
        for (int k = 0; k < op.param_count && ok; ++k) {
            char want = row.param_count < 0 ? row.types[0] : row.types[k];
            Pending& a = args[k];
            if (a.type == want) continue;
            DbExprOp& producer = p.ops[size_t(a.op)];
            if (a.type == 'D' && want == 'd' && producer.row == kRowFieldD) {
                producer.row = kRowFieldDJulian;
            } else if (a.type == 'N' && want == 'n' && producer.row == kRowFieldN) {
                producer.row = kRowFieldNDouble;
            } else {
                ok = false;
                break;
            }
            producer.length = 8;
            a.type = want;
            a.length = 8;
        }
        if (ok) return 0;
        if (T[op.row + 1].code != row.code) return p.fail(e_type_sub);
        op.row++;
    }
}

int store_picture(ExprParse& p, DbExprOp& op) {
    const char* pic = p.ctx->date_picture;
    int n = int(strnlen(pic, sizeof p.ctx->date_picture - 1));
    char buf[sizeof p.ctx->date_picture] = {};
    std::memcpy(buf, pic, size_t(n));
    if (p.const_used + n + 1 > kExprConstSize) return p.fail(e_memory);
    std::memcpy(p.constants.data() + p.const_used, buf, size_t(n) + 1);
    op.position = p.const_used;
    p.const_used += n + 1;
    return n;
}

// Result length of op (its type already resolved); -1 on failure.
int result_length(ExprParse& p, DbExprOp& op, Pending* args, char type) {
    if (op.row == kRowCalc) {
        p.variable = true;
        return op.calc->expr->result_len;
    }
    switch (type) {
        case 'n':
        case 'd':
            if (op.row == kRowCtod && store_picture(p, op) < 0) return -1;
            return 8;
        case 'N':
            return op.length;  // the field's
        case 'D':
            return 8;
        case 'L': {
            int r = op.row;
            if (r == kRowEqC || r == kRowNe1C || r == kRowNe2C || r == kRowGeC || r == kRowLeC ||
                r == kRowGtC || r == kRowLtC) {
                int l = args[0].length, rt = args[1].length;
                op.position = std::min(l, rt);
                bool gt_rule = r == kRowGtC || r == kRowLeC;
                op.equal_prefix = gt_rule ? (l > rt) : (l < rt);
            } else if (op.param_count == 2 && T[r].code >= 40 && T[r].code <= 90) {
                op.position = args[0].length;  // 4 for logicals, 8 for numbers and dates
            }
            return 4;
        }
        default:
            break;
    }
    switch (op.row) {
        case kRowMemo:
            p.variable = true;
            return p.ctx->spare_size > 0 ? p.ctx->spare_size : 0;
        case kRowChr:
        case kRowDel:
            return 1;
        case kRowTime:
        case kRowDtos:
        case kRowDtos + 1:
            return 8;
        case kRowDtoc:
        case kRowDtocJulian:
            return store_picture(p, op);
        case kRowTrim:
        case kRowLtrim:
            p.variable = true;
            p.trim = true;
            return args[0].length;
        case kRowUpper:
            return args[0].length;
        case kRowSubstr:
        case kRowLeft: {
            int arg = args[0].length;
            int start = std::clamp(op.position, 0, arg);
            op.position = start;
            return std::clamp(op.length, 0, arg - start);
        }
        case kRowIif:
            if (args[1].length != args[2].length) return p.fail(e_length_iif);
            return args[1].length;
        case kRowPlusC:
        case kRowPlusCVar:
        case kRowMinusC:
            op.position = args[0].length;
            return args[0].length + args[1].length;
        default:
            return op.length;  // fields, constants, STR: fixed while parsing
    }
}

}  // namespace

int expr_layout(ExprParse& p, int& type, int& length) {
    Pending st[kLayoutDepth];
    int n = 0;
    for (size_t i = 0; i < p.ops.size(); ++i) {
        DbExprOp& op = p.ops[i];
        const DbExprRow& first = T[op.row];
        if (first.param_count >= 0 && first.param_count != op.param_count)
            return p.fail(e_num_parms, "Function", first.name);
        int np = op.param_count;
        if (n < np) return p.fail(e_result);
        Pending* args = st + (n - np);
        if (resolve(p, op, args) < 0) return -1;

        if (op.row == kRowPlusC && p.variable) op.row = kRowPlusCVar;
        if (changes_argument(op.row))
            for (int k = 0; k < np; ++k)
                if (p.ops[size_t(args[k].op)].row == kRowFieldC) p.ops[size_t(args[k].op)].row = kRowFieldCCopy;

        char rtype = op.row == kRowCalc ? char(op.calc->expr->result_type) : T[op.row].result_type;
        int len = result_length(p, op, args, rtype);
        if (len < 0) return -1;
        if (len > kMaxValueLen) return p.fail(e_overflow);

        int offset = np > 0 ? args[0].offset : (n > 0 ? next_free(st[n - 1]) : 0);
        int need = offset + std::max(len, (rtype == 'N' || rtype == 'D') ? 8 : 0);
        if (op.row == kRowCalc || op.row == kRowTotal) {
            int inner = op.calc->expr->work_size;
            need = std::max(need, offset + inner);
        }
        p.work_size = std::max(p.work_size, need);

        int sub = 1;
        for (int k = 0; k < np; ++k) sub += args[k].sub;
        op.length = len;
        op.result_offset = offset;
        op.sub_size = sub;
        n -= np;
        if (n >= kLayoutDepth) return p.fail(e_overflow);
        st[n++] = Pending{rtype, len, offset, int(i), sub};
    }
    if (n != 1) return p.fail(e_result);
    for (DbExprOp& op : p.ops) op.routine = T[op.row].routine;
    type = st[0].type;
    length = st[0].length;
    return 0;
}
