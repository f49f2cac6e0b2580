// Index keys from expression values. Character keys are the bytes (NULs left
// by TRIM become blanks), dates are julian days as doubles with blank dates
// sorting last, numbers are 12-byte packed decimals.
#include <cmath>
#include <cstring>

#include "engine/convert.h"
#include "engine/expr_routines.h"

namespace {

// A blank date computed by an expression (julian 0) sorts after every date.
constexpr double kBlankComputedDate = 1.0e300;

// A packed decimal's exponent is one byte: magnitudes beyond kPackedMax key
// as the extreme, below kPackedMin as 0, and non-numbers as 0.
constexpr double kPackedMax = 1.0e40;
constexpr double kPackedMin = 1.0e-40;

double packable(double d) {
    if (!std::isfinite(d)) return std::isinf(d) ? (d > 0 ? kPackedMax : -kPackedMax) : 0.0;
    if (std::fabs(d) > kPackedMax) return d > 0 ? kPackedMax : -kPackedMax;
    if (std::fabs(d) < kPackedMin) return 0.0;
    return d;
}

int key_size(int length, int type) {
    switch (type) {
        case 'D': case 'd': return 8;
        case 'N': case 'n': return DB_PACKED_LEN;
        default: return length;
    }
}

}  // namespace

int expr_key(DbExpr* expr, char** value, int length, int type) {
    if (!expr || !value || !*value || length < 0) return -1;
    DB_ENGINE* c = expr->ctx;
    DbAssertLocked(c);
    int size = key_size(length, type);
    char* key = c->key_buf.grow(c, unsigned(size) + 1);
    if (!key) return -1;
    const char* v = *value;
    switch (type) {
        case 'C':
            std::memmove(key, v, size_t(length));
            if (expr->trim)
                for (int i = length; i > 0 && key[i - 1] == '\0'; --i) key[i - 1] = ' ';
            break;
        case 'D': {
            char date[9];
            std::memset(date, ' ', 8);
            std::memcpy(date, v, size_t(length < 8 ? length : 8));
            date[8] = '\0';
            date_as_double_buf(date, reinterpret_cast<unsigned char*>(key));
            break;
        }
        case 'd': {
            double d = expr_get_d(v);
            if (d == 0) d = kBlankComputedDate;
            expr_put_d(key, d);
            break;
        }
        case 'N':
            packed_from_str(reinterpret_cast<unsigned char*>(key), v, length);
            break;
        case 'n': {
            packed_from_double(reinterpret_cast<unsigned char*>(key), packable(expr_get_d(v)));
            break;
        }
        default:
            std::memmove(key, v, size_t(length));
            break;
    }
    key[size] = '\0';
    *value = key;
    return size;
}

int expr_key_eval_in(DbExpr* expr, char** key) {
    DbAssertLocked(expr->ctx);
    int len = expr_eval_in(expr, key);
    if (len < 0) return -1;
    return expr_key(expr, key, len, expr->result_type);
}
