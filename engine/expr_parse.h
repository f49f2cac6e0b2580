// State of one parse, shared by the scanner/parser and the type checker.
// Private to the expression code.
#pragma once

#include <string>
#include <vector>

#include "engine/convert.h"
#include "engine/table.h"
#include "engine/expr.h"

struct ExprParse {
    DB_ENGINE* ctx = nullptr;
    DbDataFile* data = nullptr;
    const char* text = nullptr;
    int pos = 0;
    int len = 0;
    std::vector<DbExprOp> ops;
    std::array<char, kExprConstSize> constants{};
    int const_used = 0;
    int opstack[kExprOpStack] = {};
    int op_sp = 0;
    int pending_not = 0;             // .NOT. values being read, each owes a stack entry
    int work_size = 0;
    bool trim = false;
    bool variable = false;           // a value of variable length was met

    char peek(int ahead = 0) const { return pos + ahead < len ? text[pos + ahead] : '\0'; }
    int fail(int code, const char* t1 = nullptr, const char* t2 = nullptr);
};

enum : int { kMarkBracket = -5, kMarkMerge = -6, kStackEmpty = -3 };

// Scanner and operator-precedence parser: fills ops and constants.
int expr_parse_expr(ExprParse& p);
// Type check and layout: overloads, lengths, offsets, sub-expression sizes.
int expr_layout(ExprParse& p, int& type, int& length);
// A double truncated to int without overflow (NaN gives 0).
int expr_trunc(double v);
