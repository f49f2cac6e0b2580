// Scanner and operator-precedence parser of dBASE expressions. Values are
// appended to the operation list as they are read; operators wait on a small
// stack until an operator of lower or equal priority (or the end) emits them,
// which yields postfix order. Repeated .AND. / .OR. merge into one operation
// with as many operands as were chained.
#include <climits>
#include <cmath>
#include <cstring>

#include "engine/convert.h"
#include "engine/table.h"
#include "engine/expr_parse.h"

namespace {

const DbExprRow* const T = db_expr_function_table;

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_name_char(char c) { return is_letter(c) || is_digit(c) || c == '&' || c == '@' || c == '_'; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

void skip_controls(ExprParse& p) {
    while (p.pos < p.len && p.text[p.pos] >= 1 && p.text[p.pos] <= 32) p.pos++;
}

// First row in [first, last] whose name stands at the scanner position
// (case-insensitive). With ident_len >= 0 the name must be exactly that long.
int lookup(const ExprParse& p, int first, int last, int ident_len) {
    char buf[10] = {};
    for (int i = 0; i < 9; ++i) buf[i] = upper(p.peek(i));
    for (int r = first; r <= last && T[r].code >= 0; ++r) {
        const DbExprRow& row = T[r];
        if (!row.name) continue;
        if (ident_len >= 0 && row.name_len != ident_len) continue;
        if (buf[0] == row.name[0] && std::memcmp(buf, row.name, row.name_len) == 0) return r;
    }
    return -1;
}

bool starts_ci(const ExprParse& p, const char* word) {
    for (int i = 0; word[i]; ++i)
        if (upper(p.peek(i)) != word[i]) return false;
    return true;
}

int top(const ExprParse& p) { return p.op_sp > 0 ? p.opstack[p.op_sp - 1] : kStackEmpty; }

int push(ExprParse& p, int entry) {
    if (p.op_sp >= kExprOpStack) return p.fail(e_memory);
    p.opstack[p.op_sp++] = entry;
    return 0;
}

int pop(ExprParse& p) { return p.op_sp > 0 ? p.opstack[--p.op_sp] : kStackEmpty; }

DbExprOp& append(ExprParse& p, int row, int length) {
    DbExprOp op;
    op.row = row;
    op.length = length;
    op.param_count = T[row].param_count < 0 ? 2 : T[row].param_count;
    p.ops.push_back(op);
    return p.ops.back();
}

int emit(ExprParse& p) {
    int row = pop(p);
    DbExprOp& op = append(p, row, 0);
    while (top(p) == kMarkMerge) {
        pop(p);
        op.param_count++;
    }
    return 0;
}

int add_constant(ExprParse& p, const void* bytes, int n) {
    if (p.const_used + n > kExprConstSize) return p.fail(e_memory);
    std::memcpy(p.constants.data() + p.const_used, bytes, size_t(n));
    int at = p.const_used;
    p.const_used += n;
    return at;
}


int parse_value(ExprParse& p);

// The last operation appended must be a numeric constant; it is taken out.
int take_constant(ExprParse& p, std::vector<int>& arg_start, int& out) {
    if (p.ops.empty() || p.ops.back().row != kRowConstN) return p.fail(e_not_constant);
    double v;
    std::memcpy(&v, p.constants.data() + p.ops.back().position, sizeof v);
    out = expr_trunc(v);
    p.ops.pop_back();
    arg_start.pop_back();
    return 0;
}

int parse_function(ExprParse& p, const char* name, int name_len) {
    std::string ident(name, size_t(name_len));
    int row = -1;
    {
        int save = p.pos;
        p.pos = int(name - p.text);
        row = lookup(p, kRowFirstFunction, INT_MAX, name_len);
        p.pos = save;
    }
    DbCalc* calc = nullptr;
    if (row < 0) {
        calc = calc_lookup_in(p.ctx, name, name_len);
        if (!calc) return p.fail(e_unrec_function, ident.c_str());
        row = calc->total ? kRowTotal : kRowCalc;
    }

    if (push(p, kMarkBracket) < 0) return -1;
    p.pos++;  // '('
    std::vector<int> arg_start;
    for (;;) {
        char c = p.peek();
        if (c == '\0') return p.fail(e_right_missing);
        if (c == ')') break;
        arg_start.push_back(int(p.ops.size()));
        if (expr_parse_expr(p) < 0) return -1;
        skip_controls(p);
        c = p.peek();
        if (c == ')') break;
        if (c != ',') return p.fail(e_comma_expected);
        p.pos++;
    }
    p.pos++;  // ')'
    pop(p);

    int position = 0, length = 0;
    int nargs = int(arg_start.size());
    if (row == kRowStr) {
        int decimals = 0;
        length = 10;
        if (nargs == 3 && take_constant(p, arg_start, decimals) < 0) return -1;
        if (int(arg_start.size()) == 2 && take_constant(p, arg_start, length) < 0) return -1;
        if (length < 0) length = 10;
        if (decimals >= length - 1) decimals = length - 2;
        if (decimals < 0) decimals = 0;
        position = decimals;
    } else if (row == kRowSubstr || row == kRowLeft) {
        // One argument would silently give an empty text: refuse it.
        if (nargs < 2) return p.fail(e_num_parms, "Function", T[row].name);
        int start = 1;
        length = INT_MAX;  // two-argument SUBSTR: the rest of the text
        if (row == kRowLeft) {
            if (nargs == 2 && take_constant(p, arg_start, length) < 0) return -1;
        } else {
            if (nargs == 3 && take_constant(p, arg_start, length) < 0) return -1;
            if (int(arg_start.size()) == 2 && take_constant(p, arg_start, start) < 0) return -1;
            position = start == INT_MIN ? INT_MIN : start - 1;
        }
    } else if (row == kRowDtoc && nargs == 2) {
        p.ops.resize(size_t(arg_start[1]));
        arg_start.pop_back();
        row = kRowDtos;
    }
    nargs = int(arg_start.size());
    if (T[row].param_count >= 0 && nargs != T[row].param_count)
        return p.fail(e_num_parms, "Function", T[row].name ? T[row].name : ident.c_str());

    DbExprOp& op = append(p, row, length);
    op.param_count = nargs;
    op.position = position;
    op.calc = calc;
    if (row == kRowDel || row == kRowDeleted || row == kRowReccount || row == kRowRecno)
        op.file = p.data;
    return 0;
}

int parse_field(ExprParse& p, const char* name, int name_len) {
    DbDataFile* file = p.data;
    skip_controls(p);
    if (p.peek() == '-' && p.peek(1) == '>') {
        char alias[11] = {};
        int n = name_len < 10 ? name_len : 10;
        for (int i = 0; i < n; ++i) alias[i] = upper(name[i]);
        file = data_find_by_alias_in(p.ctx, alias);
        if (!file) return p.fail(e_data_name_expr, alias);
        p.pos += 2;
        skip_controls(p);
        name = p.text + p.pos;
        while (is_name_char(p.peek())) p.pos++;
        name_len = int(p.text + p.pos - name);
        skip_controls(p);
    }
    if (name_len == 0 || name_len > 10) return p.fail(e_unrec_value);
    char fname[11] = {};
    std::memcpy(fname, name, size_t(name_len));
    DbField* f = data_field_named_in(file, fname);
    if (!f) return e_field_name;
    int row;
    switch (f->type) {
        case 'C': row = kRowFieldC; break;
        case 'D': row = kRowFieldD; break;
        case 'F':
        case 'N': row = kRowFieldN; break;
        case 'L': row = kRowFieldL; break;
        case 'M': row = kRowMemo; break;
        default: return p.fail(e_type_sub, "Unknown field type");
    }
    DbExprOp& op = append(p, row, int(f->len));
    op.field = f;
    op.file = f->data ? f->data : file;
    op.position = int(f->offset);
    return 0;
}

int parse_number_or_name(ExprParse& p) {
    int start = p.pos;
    char c = p.peek();
    if (is_digit(c) || c == '-' || c == '+' || c == '.') {
        p.pos++;
        for (;;) {
            char d = p.peek();
            if (is_digit(d)) {
                p.pos++;
            } else if (d == '.' && !starts_ci(p, ".AND.") && !starts_ci(p, ".OR.") &&
                       !starts_ci(p, ".NOT.")) {
                p.pos++;
            } else {
                break;
            }
        }
        if (!is_letter(p.peek())) {
            double v = str_to_double(p.text + start, p.pos - start);
            int at = add_constant(p, &v, int(sizeof v));
            if (at < 0) return -1;
            append(p, kRowConstN, 8).position = at;
            return 0;
        }
        p.pos = start;  // digits followed by letters: a name such as 12ABC
    }
    if (!is_name_char(p.peek())) return p.fail(e_unrec_value);
    while (is_name_char(p.peek())) p.pos++;
    const char* name = p.text + start;
    int name_len = p.pos - start;
    skip_controls(p);
    if (p.peek() == '(') return parse_function(p, name, name_len);
    return parse_field(p, name, name_len);
}

int parse_value(ExprParse& p) {
    while (p.peek() == ' ') p.pos++;
    char c = p.peek();
    if (c == '(') {
        if (push(p, kMarkBracket) < 0) return -1;
        p.pos++;
        if (expr_parse_expr(p) < 0) return -1;
        skip_controls(p);
        if (p.peek() != ')') return p.fail(e_right_missing);
        p.pos++;
        pop(p);
        return 0;
    }
    if (c == '.') {
        int row = lookup(p, kRowFirstKeyword, kRowLastKeyword, -1);
        if (row >= 0) {
            p.pos += T[row].name_len;
            if (row != kRowNot) {
                append(p, row, 4);
                return 0;
            }
            // Each pending .NOT. will need a stack entry: refuse before recursing deeper.
            if (p.op_sp + p.pending_not >= kExprOpStack) return p.fail(e_memory);
            p.pending_not++;
            int rc = parse_value(p);
            p.pending_not--;
            if (rc < 0) return rc;
            return push(p, kRowNot);
        }
    }
    if (c == '\'' || c == '"' || c == '[') {
        char close = c == '[' ? ']' : c;
        int start = ++p.pos;
        while (p.pos < p.len && p.text[p.pos] != close) p.pos++;
        if (p.pos >= p.len) return p.fail(e_unterminated);
        int n = p.pos - start;
        p.pos++;
        int at = add_constant(p, p.text + start, n);
        if (at < 0) return -1;
        append(p, kRowConstC, n).position = at;
        return 0;
    }
    return parse_number_or_name(p);
}

}  // namespace

int ExprParse::fail(int code, const char* t1, const char* t2) {
    if (ctx->expr_errors) {
        const char* texts[3] = {};
        int n = 0;
        if (t1) texts[n++] = t1;
        if (t2) texts[n++] = t2;
        texts[n++] = text;
        code_error_ex(ctx, code, texts[0], texts[1], texts[2]);
    }
    return code;
}

int expr_trunc(double v) {
    if (std::isnan(v)) return 0;
    if (v >= double(INT_MAX)) return INT_MAX;
    if (v <= double(INT_MIN)) return INT_MIN;
    return int(v);
}

int expr_parse_expr(ExprParse& p) {
    if (parse_value(p) < 0) return -1;
    for (;;) {
        skip_controls(p);
        char c = p.peek();
        if (c == '\0' || c == ')' || c == ',') break;
        int row = lookup(p, kRowFirstOperator, kRowLastOperator, -1);
        if (row < 0) return p.fail(e_unrec_operator);
        p.pos += T[row].name_len;
        while (top(p) >= 0) {
            int t = top(p);
            if (T[row].priority > T[t].priority) break;
            if (t == row && T[row].param_count < 0) {
                pop(p);
                push(p, kMarkMerge);  // cannot fail: an entry was just freed
                break;
            }
            emit(p);
        }
        if (push(p, row) < 0) return -1;
        if (parse_value(p) < 0) return -1;
    }
    while (top(p) >= 0) emit(p);
    return 0;
}
