// Value readers (fields of the current record, constants) and the logical
// operators of the function table.
#include "engine/convert.h"
#include "engine/table.h"
#include "engine/memo.h"
#include "engine/expr_routines.h"

namespace {
const char* field_bytes(const ExprEval& ev) { return ev.op->file->record + ev.op->position; }
}  // namespace

void r_field_c(ExprEval& ev) { ev.push(ev.op->file->record + ev.op->position); }

void r_field_c_copy(ExprEval& ev) {
    std::memcpy(ev.slot(), field_bytes(ev), size_t(ev.op->length));
    ev.push(ev.slot());
}

void r_field_l(ExprEval& ev) {
    char c = field_bytes(ev)[0];
    expr_put_l(ev.slot(), c == 'Y' || c == 'y' || c == 'T' || c == 't');
    ev.push(ev.slot());
}

// A date field shorter than 8 bytes (a damaged layout) is read blank-padded.
static const char* date_field(ExprEval& ev, char* buf9) {
    unsigned len = ev.op->field->len;
    const char* src = field_bytes(ev);
    if (len >= 8) {
        std::memcpy(buf9, src, 8);
    } else {
        std::memset(buf9, ' ', 8);
        std::memcpy(buf9, src, len);
    }
    buf9[8] = '\0';
    return buf9;
}

void r_field_d_julian(ExprEval& ev) {
    char date[9];
    expr_put_d(ev.slot(), double(date_to_julian(date_field(ev, date))));
    ev.push(ev.slot());
}

void r_field_d(ExprEval& ev) {
    if (ev.op->field->len >= 8) {
        ev.push(ev.op->file->record + ev.op->position);
        return;
    }
    char date[9];
    std::memcpy(ev.slot(), date_field(ev, date), 8);
    ev.push(ev.slot());
}

void r_field_n_double(ExprEval& ev) {
    expr_put_d(ev.slot(), str_to_double(field_bytes(ev), int(ev.op->field->len)));
    ev.push(ev.slot());
}

void r_field_n(ExprEval& ev) { ev.push(ev.op->file->record + ev.op->position); }

void r_memo(ExprEval& ev) {
    char* out = ev.slot();
    size_t room = size_t(ev.op->length);
    size_t n = 0;
    // The text as loaded for the current record (read from the memo file when not yet).
    if (ev.expr->ctx->error_code >= 0) {
        n = memo_field_len(ev.op->field);
        const char* text = memo_field_ptr(ev.op->field);
        if (ev.expr->ctx->error_code < 0 || !text) n = 0;
        if (n > room) n = room;
        if (n) std::memcpy(out, text, n);
    }
    std::memset(out + n, 0, room - n);
    ev.push(out);
}

void r_const_n(ExprEval& ev) {
    std::memcpy(ev.slot(), ev.constants + ev.op->position, 8);
    ev.push(ev.slot());
}

void r_const_c(ExprEval& ev) {
    std::memcpy(ev.slot(), ev.constants + ev.op->position, size_t(ev.op->length));
    ev.push(ev.slot());
}

void r_true(ExprEval& ev) {
    expr_put_l(ev.slot(), 1);
    ev.push(ev.slot());
}

void r_false(ExprEval& ev) {
    expr_put_l(ev.slot(), 0);
    ev.push(ev.slot());
}

void r_not(ExprEval& ev) {
    char** a = ev.pop(1);
    expr_put_l(ev.slot(), !expr_get_l(a[0]));
    ev.push(ev.slot());
}

void r_or(ExprEval& ev) {
    int n = ev.op->param_count;
    char** a = ev.pop(n);
    int32_t v = 0;
    for (int i = 0; i < n; ++i) v |= expr_get_l(a[i]) != 0;
    expr_put_l(ev.slot(), v);
    ev.push(ev.slot());
}

void r_and(ExprEval& ev) {
    int n = ev.op->param_count;
    char** a = ev.pop(n);
    int32_t v = 1;
    for (int i = 0; i < n; ++i) v &= expr_get_l(a[i]) != 0;
    expr_put_l(ev.slot(), v);
    ev.push(ev.slot());
}
