// Date routines: DTOS, DTOC, STOD, CTOD, DATE, DAY, MONTH, YEAR and TIME.
// 'D' values are CCYYMMDD texts, 'd' values julian days as doubles.
#include <cmath>

#include "engine/convert.h"
#include "engine/expr_routines.h"

namespace {

// Julian day of 31 December 9999, the last date a CCYYMMDD text can hold.
constexpr double kLastJulian = 5373849;

// A julian day as CCYYMMDD; 0, negative and unwritable days give the blank date.
void julian_text(double v, char* out9) {
    if (!(v >= 1) || v > kLastJulian) {
        std::memset(out9, ' ', 8);
        out9[8] = '\0';
        return;
    }
    char buf[32] = {};
    date_from_julian(buf, long(v));
    std::memcpy(out9, buf, 8);
    out9[8] = '\0';
}

// A character value as an 8-character date text, blank-padded.
void text8(const char* src, int len, char* out9) {
    std::memset(out9, ' ', 8);
    std::memcpy(out9, src, size_t(len < 8 ? (len > 0 ? len : 0) : 8));
    out9[8] = '\0';
}

void push_double(ExprEval& ev, double v) {
    expr_put_d(ev.slot(), v);
    ev.push(ev.slot());
}

const char* picture(const ExprEval& ev) { return ev.constants + ev.op->position; }

void format(ExprEval& ev, const char* date) {
    char buf[64] = {};
    date_format(date, buf, picture(ev));
    std::memcpy(ev.slot(), buf, size_t(ev.op->length));
    ev.push(ev.slot());
}

void date_text_arg(ExprEval& ev, char* out9) {
    std::memcpy(out9, ev.pop(1)[0], 8);
    out9[8] = '\0';
}

void julian_arg(ExprEval& ev, char* out9) { julian_text(expr_get_d(ev.pop(1)[0]), out9); }

}  // namespace

void r_dtos(ExprEval& ev) {
    char d[9];
    date_text_arg(ev, d);
    std::memcpy(ev.slot(), d, 8);
    ev.push(ev.slot());
}

void r_dtos_julian(ExprEval& ev) {
    char d[9];
    julian_arg(ev, d);
    std::memcpy(ev.slot(), d, 8);
    ev.push(ev.slot());
}

void r_dtoc(ExprEval& ev) {
    char d[9];
    date_text_arg(ev, d);
    format(ev, d);
}

void r_dtoc_julian(ExprEval& ev) {
    char d[9];
    julian_arg(ev, d);
    format(ev, d);
}

void r_stod(ExprEval& ev) {
    char d[9];
    text8(ev.pop(1)[0], expr_operand(ev, 0)->length, d);
    push_double(ev, double(date_to_julian(d)));
}

void r_ctod(ExprEval& ev) {
    int len = expr_operand(ev, 0)->length;
    const char* src = ev.pop(1)[0];
    char text[64] = {};
    std::memcpy(text, src, size_t(len < 63 ? len : 63));
    char d[16] = {};
    date_from_picture(d, text, picture(ev));
    d[8] = '\0';
    push_double(ev, double(date_to_julian(d)));
}

void r_date(ExprEval& ev) {
    char d[16] = {};
    date_today(d);
    d[8] = '\0';
    push_double(ev, double(date_to_julian(d)));
}

void r_time(ExprEval& ev) {
    char t[16] = {};
    time_now(t);
    std::memcpy(ev.slot(), t, 8);
    ev.push(ev.slot());
}

void r_day(ExprEval& ev) {
    char d[9];
    date_text_arg(ev, d);
    push_double(ev, date_day(d));
}

void r_day_julian(ExprEval& ev) {
    char d[9];
    julian_arg(ev, d);
    push_double(ev, date_day(d));
}

void r_month(ExprEval& ev) {
    char d[9];
    date_text_arg(ev, d);
    push_double(ev, date_month(d));
}

void r_month_julian(ExprEval& ev) {
    char d[9];
    julian_arg(ev, d);
    push_double(ev, date_month(d));
}

void r_year(ExprEval& ev) {
    char d[9];
    date_text_arg(ev, d);
    push_double(ev, date_year(d));
}

void r_year_julian(ExprEval& ev) {
    char d[9];
    julian_arg(ev, d);
    push_double(ev, date_year(d));
}
