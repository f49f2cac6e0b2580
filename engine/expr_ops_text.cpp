// Character routines: concatenation, comparison, search, SUBSTR/LEFT,
// UPPER, TRIM, LTRIM, STR, CHR and IIF. Results are written at the first
// operand's slot, so operands are read before anything is written.
#include <cmath>

#include "engine/convert.h"
#include "engine/expr_routines.h"
#include "engine/expr_parse.h"

namespace {

// Makes the two operands of a concatenation lie end to end at the slot.
char* adjacent(ExprEval& ev, char** a, int left_len) {
    char* out = ev.slot();
    int right_len = ev.op->length - left_len;
    if (a[0] != out) std::memmove(out, a[0], size_t(left_len));
    if (a[1] != out + left_len) std::memmove(out + left_len, a[1], size_t(right_len));
    return out;
}

// Trailing pad bytes of the left operand move behind the right one.
void concat_pad(ExprEval& ev, char pad) {
    int left_len = ev.op->position;
    int right_len = ev.op->length - left_len;
    char* out = adjacent(ev, ev.pop(2), left_len);
    int keep = left_len;
    while (keep > 0 && out[keep - 1] == pad) keep--;
    if (keep < left_len) {
        std::memmove(out + keep, out + left_len, size_t(right_len));
        std::memset(out + keep + right_len, pad, size_t(left_len - keep));
    }
    ev.push(out);
}

int compare(ExprEval& ev, char** a) {
    int cmp = std::memcmp(a[0], a[1], size_t(ev.op->position));
    return cmp < 0 ? -1 : cmp > 0 ? 1 : 0;
}

// Equality alone: numbers, dates and logicals are 8 bytes or fewer, read
// whole rather than handed to memcmp.
bool same(ExprEval& ev, char** a) {
    size_t n = size_t(ev.op->position);
    if (n == 8) {
        uint64_t x, y;
        std::memcpy(&x, a[0], 8);
        std::memcpy(&y, a[1], 8);
        return x == y;
    }
    return std::memcmp(a[0], a[1], n) == 0;
}

void put_logical(ExprEval& ev, bool v) {
    expr_put_l(ev.slot(), v);
    ev.push(ev.slot());
}

bool less_c(ExprEval& ev) {
    int cmp = compare(ev, ev.pop(2));
    return cmp ? cmp < 0 : ev.op->equal_prefix != 0;
}

bool greater_c(ExprEval& ev) {
    int cmp = compare(ev, ev.pop(2));
    return cmp ? cmp > 0 : ev.op->equal_prefix != 0;
}

char* argument_in_slot(ExprEval& ev, int len) {
    char** a = ev.pop(1);
    if (a[0] != ev.slot()) std::memmove(ev.slot(), a[0], size_t(len));
    return ev.slot();
}

}  // namespace

void r_concat_adjacent(ExprEval& ev) {
    char** a = ev.pop(2);
    ev.push(adjacent(ev, a, ev.op->position));
}

void r_concat_nul(ExprEval& ev) { concat_pad(ev, '\0'); }
void r_concat_blank(ExprEval& ev) { concat_pad(ev, ' '); }

void r_eq(ExprEval& ev) { put_logical(ev, same(ev, ev.pop(2))); }
void r_ne(ExprEval& ev) { put_logical(ev, !same(ev, ev.pop(2))); }
void r_lt_c(ExprEval& ev) { put_logical(ev, less_c(ev)); }
void r_ge_c(ExprEval& ev) { put_logical(ev, !less_c(ev)); }
void r_gt_c(ExprEval& ev) { put_logical(ev, greater_c(ev)); }
void r_le_c(ExprEval& ev) { put_logical(ev, !greater_c(ev)); }

void r_contains(ExprEval& ev) {
    int left_len = expr_operand(ev, 0)->length;
    int right_len = expr_operand(ev, 1)->length;
    char** a = ev.pop(2);
    bool found = false;
    for (int at = 0; at <= right_len - left_len && !found; ++at)
        found = std::memcmp(a[1] + at, a[0], size_t(left_len)) == 0;
    put_logical(ev, found);
}

void r_substr(ExprEval& ev) {
    char** a = ev.pop(1);
    std::memmove(ev.slot(), a[0] + ev.op->position, size_t(ev.op->length));
    ev.push(ev.slot());
}

void r_upper(ExprEval& ev) {
    int len = ev.op->length;
    char* s = argument_in_slot(ev, len);
    for (int i = 0; i < len && s[i]; ++i)
        if (s[i] >= 'a' && s[i] <= 'z') s[i] = char(s[i] - 32);
    ev.push(s);
}

void r_trim(ExprEval& ev) {
    int len = ev.op->length;
    char* s = argument_in_slot(ev, len);
    for (int i = len; i > 0 && (s[i - 1] == ' ' || s[i - 1] == '\0'); --i) s[i - 1] = '\0';
    ev.push(s);
}

void r_ltrim(ExprEval& ev) {
    int len = ev.op->length;
    char* s = argument_in_slot(ev, len);
    int lead = 0;
    while (lead < len && (s[lead] == ' ' || s[lead] == '\0')) lead++;
    if (lead) {
        std::memmove(s, s + lead, size_t(len - lead));
        std::memset(s + len - lead, 0, size_t(lead));
    }
    ev.push(s);
}

void r_str(ExprEval& ev) {
    double v = expr_get_d(ev.pop(1)[0]);
    int width = ev.op->length;
    if (width > 0) {
        if (std::isfinite(v))
            double_to_fixed(v, ev.slot(), width, ev.op->position);
        else
            std::memset(ev.slot(), '*', size_t(width));
    }
    ev.push(ev.slot());
}

void r_chr(ExprEval& ev) {
    double v = expr_get_d(ev.pop(1)[0]);
    ev.slot()[0] = char(static_cast<unsigned char>(expr_trunc(v) & 0xFF));
    ev.push(ev.slot());
}

void r_iif(ExprEval& ev) {
    char** a = ev.pop(3);
    const char* chosen = expr_get_l(a[0]) ? a[1] : a[2];
    std::memmove(ev.slot(), chosen, size_t(ev.op->length));
    ev.push(ev.slot());
}
