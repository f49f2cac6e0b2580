// dBASE expressions: index keys, tag filters, relation and query texts are
// parsed once into a postfix list of operations (DbExpr) whose types, lengths
// and work-buffer offsets are settled in advance, then evaluated per record.
//
// Value types: 'C' fixed-length text (not terminated), 'N' numeric field text,
// 'n' double, 'D' date text CCYYMMDD, 'd' julian day as double, 'L' int 0/1.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/expr_table.h"

struct DB_ENGINE;
struct DbDataFile;
struct DbField;
struct DbCalc;

inline constexpr int kExprConstSize = 512;   // constants area of one expression
inline constexpr int kExprOpStack = 32;      // operator stack entries while parsing
inline constexpr int kExprValueStack = 20;   // values pending during evaluation

struct DbExprOp {
    DbField* field = nullptr;        // field readers (rows 0 to 7)
    DbDataFile* file = nullptr;      // whose current record the row reads
    DbCalc* calc = nullptr;          // rows 82 and 83
    int equal_prefix = 0;            // character '<' '>' '<=' '>=': result when prefixes are equal
    int length = 0;                  // result length in bytes
    int sub_size = 0;                // operations of the sub-expression ending here, itself included
    int param_count = 0;
    int result_offset = 0;           // where in the work buffer the result goes
    int position = 0;                // field offset, constant offset, start, decimals, compare length, left length
    int row = 0;                     // row of db_expr_function_table
    ExprRoutine routine = nullptr;
};

struct DbExpr {
    std::vector<DbExprOp> ops;
    std::string source;
    std::array<char, kExprConstSize> constants{};
    int result_len = 0;
    int result_type = 0;
    DbDataFile* data = nullptr;
    DB_ENGINE* ctx = nullptr;
    int work_size = 0;               // bytes of the expression work buffer one evaluation needs
    bool trim = false;               // contains TRIM or LTRIM: keys turn trailing NULs into blanks
    int calc_base = 0;               // offset its results were last moved to (named calculations)
};

// Parsing (fields named without an alias belong to `data`).
DbExpr* expr_parse_in(DbDataFile* data, const char* text);
void expr_free(DbExpr* expr);
const char* expr_source(const DbExpr* expr);
int expr_len(const DbExpr* expr);
int expr_type(const DbExpr* expr);

// For named calculations: a numeric field result is read as a double instead
// (type 'n', length 8); other expressions are left as they are.
void expr_numeric_to_double(DbExpr* expr);

// Evaluation; results live in the context's work buffers until the next call.
int expr_eval_in(DbExpr* expr, char** result);
int expr_eval_part(DbExpr* expr, int op_index, char** result);
int expr_true_in(DbExpr* expr);
double expr_double_in(DbExpr* expr);
int expr_key(DbExpr* expr, char** value, int length, int type);
int expr_key_eval_in(DbExpr* expr, char** key);
int expr_key_len(const DbExpr* expr);
