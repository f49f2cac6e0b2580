// The function table of the expression language: one row per operator,
// keyword, function and value reader. Rows that share a code are overloads,
// tried in order by the type checker; row numbers are fixed because the
// parser and the type checker name many rows by number.
#pragma once

#include <cstdint>

struct ExprEval;
using ExprRoutine = void (*)(ExprEval&);

struct DbExprRow {
    ExprRoutine routine;
    const char* name;      // null for rows reached only by number or overload
    int16_t code;          // negative ends the table
    uint8_t name_len;
    uint8_t priority;      // 0 for values and functions
    char result_type;
    int8_t param_count;    // -1: any number, at least 2
    char types[7];
};

extern const DbExprRow db_expr_function_table[];

// Row numbers the parser and type checker use by name.
enum ExprRowNo : int {
    kRowFieldC = 0, kRowFieldCCopy = 1, kRowFieldL = 2, kRowFieldDJulian = 3,
    kRowFieldD = 4, kRowFieldNDouble = 5, kRowFieldN = 6, kRowMemo = 7,
    kRowConstN = 8, kRowConstC = 9,
    kRowFirstKeyword = 10, kRowNot = 14, kRowLastKeyword = 14,
    kRowOr = 15, kRowAnd = 16,
    kRowFirstOperator = 15, kRowLastOperator = 51,
    kRowPlusC = 17, kRowPlusCVar = 18, kRowMinusC = 22,
    kRowEqC = 26, kRowNe1C = 30, kRowNe2C = 31,
    kRowGeC = 35, kRowLeC = 38, kRowGtC = 41, kRowLtC = 44,
    kRowFirstFunction = 52,
    kRowChr = 52, kRowDel = 53, kRowStr = 54, kRowSubstr = 55, kRowTime = 56,
    kRowUpper = 57, kRowDtos = 58, kRowDtoc = 60, kRowDtocJulian = 61,
    kRowTrim = 62, kRowLtrim = 63, kRowLeft = 64, kRowIif = 65,
    kRowStod = 69, kRowCtod = 70, kRowDate = 71, kRowDeleted = 78,
    kRowContains = 51,
    kRowReccount = 79, kRowRecno = 80, kRowVal = 81,
    kRowCalc = 82, kRowTotal = 83, kRowPageno = 84,
    kRowCount = 85,
};
