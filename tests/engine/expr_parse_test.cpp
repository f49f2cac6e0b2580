// Parser: operator precedence and the n-ary merge, every error code, the
// result type and length of each function row, constant arguments.
#include "tests/engine/expr_fixture.h"

#include <vector>

#include "platform/msgbox.h"

namespace {

// Postfix form of a parsed expression: fields by name, constants by value,
// operators and functions by the name of their code's first row; operators
// of any arity carry their operand count.
std::string postfix(const DbExpr* e) {
    std::string out;
    for (const DbExprOp& op : e->ops) {
        if (!out.empty()) out += ' ';
        if (op.field) {
            out += op.field->name;
        } else if (op.row == kRowConstN) {
            double v;
            std::memcpy(&v, e->constants.data() + op.position, 8);
            char buf[32];
            std::snprintf(buf, sizeof buf, "%g", v);
            out += buf;
        } else if (op.row == kRowConstC) {
            out += "'" + std::string(e->constants.data() + op.position, size_t(op.length)) + "'";
        } else {
            int r = op.row;
            while (!db_expr_function_table[r].name) --r;
            out += db_expr_function_table[r].name;
            if (db_expr_function_table[r].param_count < 0) out += std::to_string(op.param_count);
        }
    }
    return out;
}

}  // namespace

TEST_F(ExprTest, PrecedenceAndMerge) {
    struct Case { const char* text; const char* postfix; };
    const Case cases[] = {
        {"DONE .AND. DONE .AND. DONE", "DONE DONE DONE .AND.3"},
        {"DONE .AND. DONE .OR. DONE", "DONE DONE .AND.2 DONE .OR.2"},
        {"DONE .OR. DONE .AND. DONE", "DONE DONE DONE .AND.2 .OR.2"},
        {"DONE .and. QTY = 1 .AND. DONE .AND. DONE", "DONE QTY 1 = DONE DONE .AND.4"},
        {"DONE .OR. DONE .OR. DONE .AND. DONE .AND. DONE",
         "DONE DONE DONE DONE DONE .AND.3 .OR.3"},
        {".NOT. QTY = 1", "QTY 1 = .NOT."},
        {".NOT. DONE .AND. DONE", "DONE .NOT. DONE .AND.2"},
        {".NOT. .NOT. DONE", "DONE .NOT. .NOT."},
        {"1 + 2 * 3", "1 2 3 * +"},
        {"7 - 2 - 1", "7 2 - 1 -"},
        {"8 / 2 * 2", "8 2 / 2 *"},
        {"2 ^ 3 * 4", "2 3 ^ 4 *"},
        {"2 ** 3 ** 2", "2 3 ** 2 **"},
        {"(1 + 2) * 3", "1 2 + 3 *"},
        {"NAME <> 'A' .OR. NAME <= 'B'", "NAME 'A' <> NAME 'B' <= .OR.2"},
        {"'AB' $ UPPER(NAME)", "'AB' NAME UPPER $"},
        {"CODE = 'X' .AND. 1.5 < QTY", "CODE 'X' = 1.5 QTY < .AND.2"},
    };
    for (const Case& c : cases) {
        DbExpr* e = parse(c.text);
        ASSERT_NE(e, nullptr) << c.text;
        EXPECT_EQ(postfix(e), c.postfix) << c.text;
        expr_free(e);
    }
}

TEST_F(ExprTest, NumbersAndNames) {
    struct Case { const char* text; const char* postfix; };
    const Case cases[] = {
        {"-1.5 + +2", "-1.5 2 +"},
        {"QTY > 1.AND.DONE", "QTY 1 > DONE .AND.2"},
        {"[a'b] + \"c\"", "'a'b' 'c' +"},
        {"parts->NAME", "NAME"},
        {"PARTS -> CODE", "CODE"},
        {"name", "NAME"},
        {"dtos(due)", "DUE DTOS"},
    };
    for (const Case& c : cases) {
        DbExpr* e = parse(c.text);
        ASSERT_NE(e, nullptr) << c.text;
        EXPECT_EQ(postfix(e), c.postfix) << c.text;
        expr_free(e);
    }
}

TEST_F(ExprTest, ErrorCodes) {
    std::string nested_iif = "NAME";
    for (int i = 0; i < 10; ++i) nested_iif = "IIF(DONE, NAME, " + nested_iif + ")";
    std::string brackets(40, '(');
    struct Case { std::string text; int code; };
    const Case cases[] = {
        {"UPPER(NAME", e_comma_expected},
        {"SUBSTR(NAME, 1", e_comma_expected},
        {"SUBSTR(NAME, 1 2)", e_unrec_operator},
        {"NOPE->NAME", e_data_name_expr},
        {"IIF(DONE, NAME, CODE)", e_length_iif},
        {"STR(QTY, QTY)", e_not_constant},
        {"SUBSTR(NAME, QTY, 2)", e_not_constant},
        {"LEFT(NAME, 1 + 1)", e_not_constant},
        {"UPPER(NAME, CODE)", e_num_parms},
        {"DTOC(DUE, 1, 2)", e_num_parms},
        {"DATE(1)", e_num_parms},
        {"SUBSTR(NAME)", e_num_parms},
        {"LEFT(NAME)", e_num_parms},
        {nested_iif, e_overflow},
        {"STR(1, 70000)", e_overflow},
        {"(NAME = 'AB'", e_right_missing},
        {"UPPER(", e_right_missing},
        {"SUBSTR(NAME,", e_right_missing},
        {"NAME + QTY", e_type_sub},
        {"DONE .AND. NAME", e_type_sub},
        {".NOT. QTY", e_type_sub},
        {"PIC", e_type_sub},
        {"NOSUCH(1)", e_unrec_function},
        {"NAME CODE", e_unrec_operator},
        {"NAME = 'A') garbage", e_unrec_operator},
        {"NAME = 'A', 'B'", e_unrec_operator},
        {"NAME = 'A')", e_unrec_operator},
        {"DONE .NOT. DONE", e_unrec_operator},
        {"", e_unrec_value},
        {"NAME = ", e_unrec_value},
        {"-NAME", e_unrec_value},
        {"ELEVENCHARS = 1", e_unrec_value},
        {"NAME = 'AB", e_unterminated},
        {"[AB", e_unterminated},
        {"NOFIELD = 1", e_field_name},
        {"12ABC = 1", e_field_name},
        {"'" + std::string(600, 'x') + "'", e_memory},
        {brackets + "1" + std::string(40, ')'), e_memory},
        {std::string(200, '.') + "NOT. DONE", e_unrec_operator},
    };
    for (const Case& c : cases) {
        int err = 0;
        DbExpr* e = parse(c.text, &err);
        EXPECT_EQ(e, nullptr) << c.text;
        EXPECT_EQ(err, c.code) << c.text;
        expr_free(e);
    }
}

TEST_F(ExprTest, DeepNotIsRefusedNotRecursed) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += ".NOT. ";
    int err = 0;
    EXPECT_EQ(parse(text + "DONE", &err), nullptr);
    EXPECT_EQ(err, e_memory);
}

TEST_F(ExprTest, SilentWhenExpressionErrorsAreOff) {
    ctx.expr_errors = 0;
    int err = 1;
    EXPECT_EQ(parse("NAME CODE", &err), nullptr);
    EXPECT_EQ(err, 0);
}

TEST_F(ExprTest, NothingIsParsedWhileAnErrorIsPending) {
    code_error_set(&ctx, e_read);
    EXPECT_EQ(expr_parse(d, "NAME"), nullptr);
    EXPECT_EQ(code_error_set(&ctx, 0), e_read);
}

TEST_F(ExprTest, ResultTypeAndLength) {
    struct Case { const char* text; char type; int len; };
    const Case cases[] = {
        {"NAME", 'C', 10}, {"QTY", 'N', 8}, {"PRICE", 'N', 10}, {"DUE", 'D', 8},
        {"DONE", 'L', 4}, {"NOTE", 'C', 1024}, {"'abc'", 'C', 3}, {"''", 'C', 0},
        {"1", 'n', 8}, {".T.", 'L', 4}, {".FALSE.", 'L', 4},
        {"NAME + CODE", 'C', 13}, {"NAME - CODE", 'C', 13}, {"TRIM(NAME) + CODE", 'C', 13},
        {"QTY + 1", 'n', 8}, {"DUE + 1", 'd', 8}, {"1 + DUE", 'd', 8},
        {"DUE - DUE", 'n', 8}, {"DUE - 1", 'd', 8}, {"QTY * PRICE", 'n', 8},
        {"QTY / 2", 'n', 8}, {"2 ^ 2", 'n', 8}, {"NAME = CODE", 'L', 4}, {"NAME $ CODE", 'L', 4},
        {"DUE = DUE", 'L', 4}, {"DONE <> DONE", 'L', 4}, {"QTY >= 1", 'L', 4},
        {"CHR(65)", 'C', 1}, {"DEL()", 'C', 1}, {"STR(QTY)", 'C', 10}, {"STR(QTY, 6)", 'C', 6},
        {"STR(QTY, -3)", 'C', 10}, {"SUBSTR(NAME, 3, 4)", 'C', 4},
        {"SUBSTR(NAME, 20, 5)", 'C', 0}, {"SUBSTR(NAME, 8, 5)", 'C', 3},
        {"SUBSTR(NAME, 3)", 'C', 8}, {"TIME()", 'C', 8}, {"UPPER(NAME)", 'C', 10},
        {"DTOS(DUE)", 'C', 8}, {"DTOS(DUE + 1)", 'C', 8}, {"DTOC(DUE)", 'C', 8},
        {"DTOC(DUE + 1)", 'C', 8}, {"DTOC(DUE, 1)", 'C', 8}, {"TRIM(NAME)", 'C', 10},
        {"LTRIM(CODE)", 'C', 3}, {"LEFT(NAME, 4)", 'C', 4}, {"LEFT(NAME, 40)", 'C', 10},
        {"IIF(DONE, NAME, NAME)", 'C', 10}, {"IIF(DONE, 1, QTY)", 'n', 8},
        {"IIF(DONE, DUE, DATE())", 'd', 8}, {"IIF(DONE, DONE, .F.)", 'L', 4},
        {"STOD('20240101')", 'd', 8}, {"CTOD('01/02/24')", 'd', 8}, {"DATE()", 'd', 8},
        {"DAY(DUE)", 'n', 8}, {"DAY(DATE())", 'n', 8}, {"MONTH(DUE)", 'n', 8},
        {"MONTH(DUE + 1)", 'n', 8}, {"YEAR(DUE)", 'n', 8}, {"YEAR(DATE())", 'n', 8},
        {"DELETED()", 'L', 4}, {"RECCOUNT()", 'n', 8}, {"RECNO()", 'n', 8},
        {"VAL(NAME)", 'n', 8}, {"PAGENO()", 'n', 8},
    };
    for (const Case& c : cases) {
        int err = 0;
        DbExpr* e = parse(c.text, &err);
        ASSERT_NE(e, nullptr) << c.text << " error " << err;
        EXPECT_EQ(expr_type(e), c.type) << c.text;
        EXPECT_EQ(expr_len(e), c.len) << c.text;
        EXPECT_STREQ(expr_source(e), c.text);
        expr_free(e);
    }
}

TEST_F(ExprTest, ConstantArguments) {
    struct Case { const char* text; int position; int len; };
    const Case cases[] = {
        {"STR(QTY)", 0, 10},          {"STR(QTY, 5, 4)", 3, 5}, {"STR(QTY, 8, 2)", 2, 8},
        {"STR(QTY, 1, 0)", 0, 1},     {"STR(QTY, 5, -2)", 0, 5},
        {"SUBSTR(NAME, 0, 3)", 0, 3}, {"SUBSTR(NAME, 1, 3)", 0, 3},
        {"SUBSTR(NAME, 4, 3)", 3, 3}, {"SUBSTR(NAME, -5, 99999999999)", 0, 10},
        {"LEFT(NAME, -1)", 0, 0},
    };
    for (const Case& c : cases) {
        DbExpr* e = parse(c.text);
        ASSERT_NE(e, nullptr) << c.text;
        ASSERT_EQ(e->ops.size(), 2u) << c.text;  // the constants are folded away
        EXPECT_EQ(e->ops.back().position, c.position) << c.text;
        EXPECT_EQ(e->ops.back().length, c.len) << c.text;
        expr_free(e);
    }
    DbExpr* e = parse("DTOC(DUE, 1 + QTY)");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(postfix(e), "DUE DTOS");
    expr_free(e);
}

TEST_F(ExprTest, TrimFlag) {
    struct Case { const char* text; bool trim; };
    const Case cases[] = {{"NAME", false}, {"TRIM(NAME) + CODE", true}, {"LTRIM(CODE)", true},
                          {"UPPER(NAME)", false}};
    for (const Case& c : cases) {
        DbExpr* e = parse(c.text);
        ASSERT_NE(e, nullptr) << c.text;
        EXPECT_EQ(e->trim, c.trim) << c.text;
        expr_free(e);
    }
}

TEST_F(ExprTest, ErrorBoxNamesTheExpression) {
    ctx.silent_errors = 0;
    std::vector<std::string> boxes;
    auto old = plat::set_message_box_handler(
        [&](HWND, const std::string& text, const std::string&, UINT) {
            boxes.push_back(text);
            return IDOK;
        });
    struct Case { const char* text; const char* box; };
    const Case cases[] = {
        {"NAME CODE", "Error #: -480\nUnrecognized Operator\nNAME CODE\n"},
        {"UPPER(NAME, 1)", "Error #: -430\nNumber of Parameters is Wrong\nFunction\nUPPER\nUPPER(NAME, 1)\n"},
        {"X->NAME", "Error #: -420\nData File Name not Located\nX\nX->NAME\n"},
    };
    for (const Case& c : cases) {
        boxes.clear();
        EXPECT_EQ(parse(c.text), nullptr);
        ASSERT_EQ(boxes.size(), 1u) << c.text;
        EXPECT_EQ(boxes[0], c.box);
    }
    plat::set_message_box_handler(old);
}
