// The function table. Its order is part of the language: overloads are
// consecutive rows with one code, and multi-character operators come before
// their one-character prefixes ("<>" and "<=" before "<", "**" before "*").
#include "engine/expr_table.h"

#include "engine/expr_routines.h"

#define R(routine, name, code, prio, res, n, types) \
    {routine, name, code, sizeof(name "") - 1, prio, res, n, types}
#define V(routine, code, prio, res, n, types) \
    {routine, nullptr, code, 0, prio, res, n, types}

const DbExprRow db_expr_function_table[] = {
    V(r_field_c, 0, 0, 'C', 0, ""),               // 0
    V(r_field_c_copy, 1, 0, 'C', 0, ""),
    V(r_field_l, 2, 0, 'L', 0, ""),
    V(r_field_d_julian, 3, 0, 'd', 0, ""),
    V(r_field_d, 4, 0, 'D', 0, ""),
    V(r_field_n_double, 5, 0, 'n', 0, ""),        // 5
    V(r_field_n, 6, 0, 'N', 0, ""),
    V(r_memo, 7, 0, 'C', 0, ""),
    V(r_const_n, 8, 0, 'n', 0, ""),
    V(r_const_c, 9, 0, 'C', 0, ""),
    R(r_true, ".TRUE.", 14, 0, 'L', 0, ""),       // 10
    R(r_true, ".T.", 14, 0, 'L', 0, ""),
    R(r_false, ".FALSE.", 16, 0, 'L', 0, ""),
    R(r_false, ".F.", 16, 0, 'L', 0, ""),
    R(r_not, ".NOT.", 18, 5, 'L', 1, "L"),
    R(r_or, ".OR.", 20, 3, 'L', -1, "L"),         // 15
    R(r_and, ".AND.", 22, 4, 'L', -1, "L"),
    R(r_concat_adjacent, "+", 25, 7, 'C', 2, "CC"),
    V(r_concat_nul, 25, 7, 'C', 2, "CC"),
    V(r_add, 25, 7, 'n', 2, "nn"),
    V(r_add_nd, 25, 7, 'd', 2, "nd"),             // 20
    V(r_add_dn, 25, 7, 'd', 2, "dn"),
    R(r_concat_blank, "-", 30, 7, 'C', 2, "CC"),
    V(r_sub, 30, 7, 'n', 2, "nn"),
    V(r_sub_dd, 30, 7, 'n', 2, "dd"),
    V(r_sub_dn, 30, 7, 'd', 2, "dn"),             // 25
    R(r_eq, "=", 40, 6, 'L', 2, "CC"),
    V(r_eq, 40, 6, 'L', 2, "LL"),
    V(r_eq, 40, 6, 'L', 2, "nn"),
    V(r_eq, 40, 6, 'L', 2, "dd"),
    R(r_ne, "#", 50, 6, 'L', 2, "CC"),            // 30
    R(r_ne, "<>", 50, 6, 'L', 2, "CC"),
    V(r_ne, 50, 6, 'L', 2, "nn"),
    V(r_ne, 50, 6, 'L', 2, "dd"),
    V(r_ne, 50, 6, 'L', 2, "LL"),
    R(r_ge_c, ">=", 60, 6, 'L', 2, "CC"),         // 35
    V(r_ge, 60, 6, 'L', 2, "nn"),
    V(r_ge, 60, 6, 'L', 2, "dd"),
    R(r_le_c, "<=", 70, 6, 'L', 2, "CC"),
    V(r_le, 70, 6, 'L', 2, "nn"),
    V(r_le, 70, 6, 'L', 2, "dd"),                 // 40
    R(r_gt_c, ">", 80, 6, 'L', 2, "CC"),
    V(r_gt, 80, 6, 'L', 2, "nn"),
    V(r_gt, 80, 6, 'L', 2, "dd"),
    R(r_lt_c, "<", 90, 6, 'L', 2, "CC"),
    V(r_lt, 90, 6, 'L', 2, "nn"),                 // 45
    V(r_lt, 90, 6, 'L', 2, "dd"),
    R(r_pow, "^", 100, 9, 'n', 2, "nn"),
    R(r_pow, "**", 100, 9, 'n', 2, "nn"),
    R(r_mul, "*", 102, 8, 'n', 2, "nn"),
    R(r_div, "/", 105, 8, 'n', 2, "nn"),          // 50
    R(r_contains, "$", 110, 6, 'L', 2, "CC"),
    R(r_chr, "CHR", 120, 0, 'C', 1, "n"),
    R(r_del, "DEL", 130, 0, 'C', 0, ""),
    R(r_str, "STR", 140, 0, 'C', 1, "n"),
    R(r_substr, "SUBSTR", 150, 0, 'C', 1, "C"),   // 55
    R(r_time, "TIME", 160, 0, 'C', 0, ""),
    R(r_upper, "UPPER", 170, 0, 'C', 1, "C"),
    R(r_dtos, "DTOS", 180, 0, 'C', 1, "D"),
    V(r_dtos_julian, 180, 0, 'C', 1, "d"),
    R(r_dtoc, "DTOC", 200, 0, 'C', 1, "D"),       // 60
    V(r_dtoc_julian, 200, 0, 'C', 1, "d"),
    R(r_trim, "TRIM", 220, 0, 'C', 1, "C"),
    R(r_ltrim, "LTRIM", 230, 0, 'C', 1, "C"),
    R(r_substr, "LEFT", 240, 0, 'C', 1, "C"),
    R(r_iif, "IIF", 250, 0, 'C', 3, "LCC"),       // 65
    V(r_iif, 250, 0, 'n', 3, "Lnn"),
    V(r_iif, 250, 0, 'd', 3, "Ldd"),
    V(r_iif, 250, 0, 'L', 3, "LLL"),
    R(r_stod, "STOD", 260, 0, 'd', 1, "C"),
    R(r_ctod, "CTOD", 270, 0, 'd', 1, "C"),       // 70
    R(r_date, "DATE", 280, 0, 'd', 0, ""),
    R(r_day, "DAY", 290, 0, 'n', 1, "D"),
    V(r_day_julian, 290, 0, 'n', 1, "d"),
    R(r_month, "MONTH", 310, 0, 'n', 1, "D"),
    V(r_month_julian, 310, 0, 'n', 1, "d"),       // 75
    R(r_year, "YEAR", 340, 0, 'n', 1, "D"),
    V(r_year_julian, 340, 0, 'n', 1, "d"),
    R(r_deleted, "DELETED", 350, 0, 'L', 0, ""),
    R(r_reccount, "RECCOUNT", 360, 0, 'n', 0, ""),
    R(r_recno, "RECNO", 370, 0, 'n', 0, ""),      // 80
    R(r_val, "VAL", 380, 0, 'n', 1, "C"),
    V(r_calc, 390, 0, 'C', 0, ""),
    V(r_total, 400, 0, 'n', 0, ""),
    R(r_pageno, "PAGENO", 410, 0, 'n', 0, ""),
    V(nullptr, -1, 0, 0, 0, ""),                   // end
};
