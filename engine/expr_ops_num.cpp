// Numeric routines: arithmetic on doubles, date arithmetic on julian days
// (a blank date is 0 and stays 0), and ordered comparisons of numbers.
#include <cmath>

#include "engine/convert.h"
#include "engine/expr_routines.h"

namespace {

template <typename F>
void binary(ExprEval& ev, F f) {
    char** a = ev.pop(2);
    double x = expr_get_d(a[0]), y = expr_get_d(a[1]);
    expr_put_d(ev.slot(), f(x, y));
    ev.push(ev.slot());
}

template <typename F>
void ordered(ExprEval& ev, F f) {
    char** a = ev.pop(2);
    bool v = f(expr_get_d(a[0]), expr_get_d(a[1]));
    expr_put_l(ev.slot(), v);
    ev.push(ev.slot());
}

}  // namespace

void r_add(ExprEval& ev) { binary(ev, [](double x, double y) { return x + y; }); }
void r_add_nd(ExprEval& ev) { binary(ev, [](double x, double d) { return d == 0 ? 0 : x + d; }); }
void r_add_dn(ExprEval& ev) { binary(ev, [](double d, double y) { return d == 0 ? 0 : d + y; }); }
void r_sub(ExprEval& ev) { binary(ev, [](double x, double y) { return x - y; }); }
void r_sub_dd(ExprEval& ev) {
    binary(ev, [](double d, double e) { return d == 0 || e == 0 ? 0 : d - e; });
}
void r_sub_dn(ExprEval& ev) { binary(ev, [](double d, double y) { return d == 0 ? 0 : d - y; }); }
void r_pow(ExprEval& ev) { binary(ev, [](double x, double y) { return std::pow(x, y); }); }
void r_mul(ExprEval& ev) { binary(ev, [](double x, double y) { return x * y; }); }
// Division by zero gives 0, which stored filters rely on.
void r_div(ExprEval& ev) { binary(ev, [](double x, double y) { return y == 0 ? 0 : x / y; }); }

void r_ge(ExprEval& ev) { ordered(ev, [](double x, double y) { return x >= y; }); }
void r_le(ExprEval& ev) { ordered(ev, [](double x, double y) { return x <= y; }); }
void r_gt(ExprEval& ev) { ordered(ev, [](double x, double y) { return x > y; }); }
void r_lt(ExprEval& ev) { ordered(ev, [](double x, double y) { return x < y; }); }

void r_val(ExprEval& ev) {
    int len = expr_operand(ev, 0)->length;
    double v = str_to_double(ev.pop(1)[0], len);
    expr_put_d(ev.slot(), v);
    ev.push(ev.slot());
}
