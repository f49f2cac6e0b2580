// Evaluation over the current record: comparisons of texts of different
// lengths, concatenation, the text functions, arithmetic, dates and blank
// dates, logicals, record functions, and the logical and double views.
#include "tests/engine/expr_fixture.h"

#include <utility>
#include <vector>

namespace {
struct Case {
    const char* text;
    const char* value;
};
}  // namespace

// Record: NAME "ABCDEF    ", CODE "XY ", QTY 12.50, DUE 2024-02-29, DONE true.
TEST_F(ExprTest, CharacterComparisonsLookAtTheShorterLength) {
    const Case cases[] = {
        {"NAME = 'AB'", "T"},      {"NAME = 'ABX'", "F"},     {"'ABCDEF' = NAME", "T"},
        {"NAME = 'ABCDEF    X'", "T"}, {"NAME # 'AB'", "F"},  {"NAME <> 'AC'", "T"},
        {"NAME > 'AB'", "T"},      {"'AB' > NAME", "F"},      {"NAME < 'AB'", "F"},
        {"'AB' < NAME", "T"},      {"NAME >= 'AB'", "T"},     {"'AB' >= NAME", "F"},
        {"NAME <= 'AB'", "F"},     {"'AB' <= NAME", "T"},     {"NAME > 'ABD'", "F"},
        {"NAME < 'ABD'", "T"},     {"'AB' = 'AB'", "T"},      {"'AB' > 'AB'", "F"},
        {"'AB' >= 'AB'", "T"},     {"'AB' <= 'AB'", "T"},     {"NAME = ''", "T"},
        {"'CD' $ NAME", "T"},      {"'XYZ' $ NAME", "F"},     {"NAME $ 'AB'", "F"},
        {"'' $ CODE", "T"},        {"'Y ' $ CODE", "T"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(c.text), c.value) << c.text;
}

TEST_F(ExprTest, TextFunctions) {
    const Case cases[] = {
        {"NAME + CODE", "ABCDEF    XY "},
        {"NAME - CODE", "ABCDEFXY     "},
        {"TRIM(NAME) + CODE", "ABCDEFXY ~~~~"},
        {"CODE + TRIM(NAME) + CODE", "XY ABCDEFXY ~~~~"},
        {"UPPER('abc') + 'd'", "ABCd"},
        {"UPPER(NAME) + LOWERCASE", "parse error -210"},
        {"TRIM('  a  ')", "  a~~"},
        {"LTRIM('  ab')", "ab~~"},
        {"SUBSTR(NAME, 2, 3)", "BCD"},
        {"SUBSTR(NAME, 3)", "CDEF    "},
        {"SUBSTR(NAME, 0, 2)", "AB"},
        {"SUBSTR(NAME, 11, 2)", ""},
        {"LEFT(NAME, 2) + CODE", "ABXY "},
        {"STR(QTY, 8, 3)", "  12.500"},
        {"STR(-3)", "        -3"},
        {"STR(1.23456, 5, 4)", "1.235"},
        {"STR(123456, 3)", "***"},
        {"STR(2 ^ 2000, 4)", "****"},
        {"CHR(65) + CHR(66.9)", "AB"},
        {"IIF(DONE, 'yes', 'no ')", "yes"},
        {"IIF(.NOT. DONE, 'yes', 'no ')", "no "},
        {"IIF(DONE, NAME, UPPER(NAME))", "ABCDEF    "},
        {"DEL()", " "},
        {"SUBSTR(TIME(), 3, 1) + SUBSTR(TIME(), 6, 1)", "::"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(c.text), c.value) << c.text;
}

TEST_F(ExprTest, UpperDoesNotChangeTheRecord) {
    set("NAME", "abc");
    EXPECT_EQ(show("UPPER(NAME) + NAME"), "ABC       abc       ");
    EXPECT_EQ(show("SUBSTR(NAME, 2, 1) + NAME"), "babc       ");
}

TEST_F(ExprTest, Numbers) {
    const Case cases[] = {
        {"QTY", "   12.50"}, {"QTY = 12.5", "T"},  {"QTY > 12", "T"},   {"QTY * 2", "25"},
        {"QTY / 0", "0"},     {"0 / 0", "0"},       {"2 ** 3", "8"},     {"2 ^ 3 * 2", "16"},
        {"-1 + 3", "2"},      {"7 - 2 - 1", "4"},   {"1 + 2 * 3", "7"},  {"(1 + 2) * 3", "9"},
        {"VAL('12.5') + 1", "13.5"}, {"VAL(NAME)", "0"}, {"PRICE + 1", "1"},
        {"QTY >= 12.5", "T"}, {"QTY <= 12", "F"},  {"QTY < 13", "T"},   {"QTY <> 12.5", "F"},
        {"PAGENO()", "0"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(c.text), c.value) << c.text;
}

TEST_F(ExprTest, Dates) {
    const Case cases[] = {
        {"DUE", "20240229"},
        {"DTOS(DUE)", "20240229"},
        {"DTOS(DUE + 1)", "20240301"},
        {"DTOS(1 + DUE)", "20240301"},
        {"DTOS(DUE - 60)", "20231231"},
        {"DTOC(DUE)", "02/29/24"},
        {"DTOC(DUE, 1)", "20240229"},
        {"DTOC(DUE + 366)", "03/01/25"},
        {"DAY(DUE)", "29"}, {"MONTH(DUE)", "2"}, {"YEAR(DUE)", "2024"},
        {"DAY(DUE + 1)", "1"}, {"MONTH(DUE + 1)", "3"}, {"YEAR(DUE - 60)", "2023"},
        {"DUE - STOD('20240101')", "59"},
        {"DTOS(STOD('20000229'))", "20000229"},
        {"STOD('19000229')", "-1"},
        {"DTOS(CTOD('12/31/99'))", "19991231"},
        {"DTOS(CTOD('1/2'))", "        "},
        {"CTOD('13/45/99')", "-1"},
        {"DUE > STOD('20240228')", "T"},
        {"DUE = STOD('20240229')", "T"},
        {"DTOS(DUE + 10 ^ 300)", "        "},
        {"DATE() - DATE()", "0"},
        {"DATE() > DUE", "T"},
        {"DTOS(DATE()) = DTOS(DATE())", "T"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(c.text), c.value) << c.text;
}

TEST_F(ExprTest, BlankDates) {
    set("DUE", "");
    const Case cases[] = {
        {"DTOS(DUE)", "        "}, {"DATE() - DUE", "0"}, {"DUE - DATE()", "0"},
        {"DUE + 5", "0"},           {"5 + DUE", "0"},      {"DUE - 5", "0"},
        {"DTOS(DUE + 5)", "        "}, {"DAY(DUE)", "0"},   {"YEAR(DUE + 1)", "0"},
        {"DTOC(DUE)", "  /  /  "},   {"DUE = STOD('        ')", "T"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(c.text), c.value) << c.text;
}

TEST_F(ExprTest, Logicals) {
    const Case cases[] = {
        {"DONE", "T"}, {".NOT. DONE", "F"}, {".T. .OR. .F.", "T"}, {".T. .AND. .F.", "F"},
        {"DONE .AND. QTY > 100", "F"}, {"DONE .AND. QTY > 10 .AND. NAME = 'AB'", "T"},
        {"DONE .AND. .T. .AND. .F. .AND. .T.", "F"}, {".F. .OR. .F. .OR. .T.", "T"},
        {".NOT. NAME = 'AB'", "F"}, {"DONE = .T.", "T"}, {"DONE <> .F.", "T"},
        {"IIF(DONE, .F., .T.)", "F"}, {"IIF(QTY > 100, 1, 2)", "2"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(c.text), c.value) << c.text;
    for (const char* v : {"Y", "y", "t", "F", "N", " ", "?"}) {
        set("DONE", v);
        bool want = std::strchr("YyTt", v[0]) != nullptr;
        EXPECT_EQ(show("DONE"), want ? "T" : "F") << v;
    }
}

TEST_F(ExprTest, RecordFunctions) {
    ASSERT_EQ(data_append(d), 0);
    set_record("SECOND", "AB", "1", "20200101", "F");
    ASSERT_EQ(data_append(d), 0);
    data_delete(d);
    EXPECT_EQ(show("RECNO()"), "2");
    EXPECT_EQ(show("RECCOUNT()"), "2");
    EXPECT_EQ(show("DELETED()"), "T");
    EXPECT_EQ(show("DEL() + NAME"), "*SECOND    ");
    data_recall(d);
    EXPECT_EQ(show("DELETED()"), "F");
    EXPECT_EQ(show("DEL()"), " ");
}

TEST_F(ExprTest, MemoText) {
    ASSERT_EQ(data_append(d), 0);
    ctx.spare_size = 8;
    DbField* note = data_field_named(d, "NOTE");
    ASSERT_GE(memo_field_assign(note, "long memo text", 14), 0);
    ASSERT_EQ(data_write(d, 1), 0);
    ASSERT_EQ(data_go(d, 1), 0);  // the text now comes from the memo file
    EXPECT_EQ(show("NOTE"), "long mem");
    EXPECT_EQ(show("'mem' $ NOTE"), "T");
    ASSERT_GE(memo_field_assign(note, "abc", 3), 0);
    EXPECT_EQ(show("NOTE + CODE"), "abcXY ~~~~~");
}

TEST_F(ExprTest, OtherAliasReadsItsOwnRecord) {
    static const DbFieldInfo fields[] = {{"NAME", 'C', 4, 0}, {nullptr, 0, 0, 0}};
    DbDataFile* other = data_create(&ctx, (dir / "OTHER.DBF").c_str(), fields, nullptr);
    ASSERT_NE(other, nullptr);
    field_assign(data_field_named(other, "NAME"), "zz");
    EXPECT_EQ(show("OTHER->NAME + NAME"), "zz  ABCDEF    ");
    EXPECT_EQ(show("other->name = 'zz'"), "T");
}

TEST_F(ExprTest, LogicalAndDoubleViews) {
    struct View { const char* text; int truth; double value; };
    const View views[] = {
        {"DONE", 1, 0},          {"QTY > 100", 0, 0},   {"NAME", e_result, 0},
        {"QTY", e_result, 12.5}, {"QTY * 2", e_result, 25},
        {"'12.5x'", e_result, 12.5}, {"DUE", e_result, 2460370},
        {"DUE + 1", e_result, 2460371},
    };
    for (const View& v : views) {
        DbExpr* e = parse(v.text);
        ASSERT_NE(e, nullptr) << v.text;
        EXPECT_EQ(expr_true(e), v.truth) << v.text;
        code_error_set(&ctx, 0);
        EXPECT_DOUBLE_EQ(expr_double(e), v.value) << v.text;
        expr_free(e);
    }
}

TEST_F(ExprTest, PendingErrorStopsEvaluation) {
    DbExpr* e = parse("QTY * 2");
    ASSERT_NE(e, nullptr);
    code_error_set(&ctx, e_read);
    char* v = nullptr;
    EXPECT_EQ(expr_eval(e, &v), -1);
    EXPECT_EQ(expr_true(e), e_read);
    EXPECT_EQ(expr_double(e), 0);
    code_error_set(&ctx, 0);
    EXPECT_EQ(expr_eval(e, &v), 8);
    expr_free(e);
}

TEST_F(ExprTest, PartOfAnExpression) {
    DbExpr* e = parse("QTY > 3 * 4 .AND. NAME = 'AB' + 'C'");
    ASSERT_NE(e, nullptr);
    // Postfix: QTY 3 4 * > NAME 'AB' 'C' + = .AND.
    DbLock hold(&ctx);
    char* v = nullptr;
    ASSERT_EQ(expr_eval_part(e, 3, &v), 0);
    EXPECT_EQ(render(v, 8, 'n'), "12");
    ASSERT_EQ(expr_eval_part(e, 8, &v), 0);
    EXPECT_EQ(render(v, 3, 'C'), "ABC");
    expr_free(e);
}

// Named calculations: the calculation's expression runs nested in the same
// work buffer, its result landing where the outer expression expects it.
TEST_F(ExprTest, NamedCalculations) {
    struct Named { const char* name; const char* text; };
    const Named named[] = {
        {"Double", "QTY * 2"}, {"nm", "NAME"}, {"TAG", "'<' + CODE + '>'"}, {"Q", "QTY"}};
    std::vector<DbCalc*> calcs;
    for (const Named& n : named) {
        DbExpr* e = parse(n.text);
        ASSERT_NE(e, nullptr) << n.text;
        DbCalc* calc = calc_create(&ctx, e, n.name);
        ASSERT_NE(calc, nullptr) << n.name;
        calcs.push_back(calc);
    }
    // Found by the first len characters, upper-cased, matching exactly.
    EXPECT_EQ(calc_lookup(&ctx, "doubled", 6), calcs[0]);
    EXPECT_EQ(calc_lookup(&ctx, "DOUB", 4), nullptr);
    const Case cases[] = {
        {"DOUBLE() + 1", "26"},
        {"double() > QTY", "T"},
        {"CODE + NM()", "XY ABCDEF    "},
        {"NM() + CODE", "ABCDEF    XY "},
        {"CODE + TAG() + NM()", "XY <XY >ABCDEF    "},
        {"STR(DOUBLE(), 5) + TAG()", "   25<XY >"},
        {"Q() * 2", "25"},
        {"Q()", "12.5"},
        {"NM(1)", "parse error -430"},
        {"NOCALC()", "parse error -470"},
    };
    for (const Case& c : cases) EXPECT_EQ(show(c.text), c.value) << c.text;
    // The calculation still evaluates on its own after being moved.
    char* v = nullptr;
    ASSERT_EQ(expr_eval(calcs[2]->expr, &v), 5);
    EXPECT_EQ(std::string(v, 5), "<XY >");
    calc_free_all(&ctx);
    EXPECT_EQ(ctx.calc_list.count, 0);
    EXPECT_EQ(calc_lookup(&ctx, "Q", 1), nullptr);
}

// A calculation with a report total attached reads the total's value by its
// type (0 while there is none); PAGENO reads the context's page counter.
TEST_F(ExprTest, TotalsAndPageNumber) {
    DbCalc* calc = calc_create(&ctx, parse("QTY"), "RUN");
    ASSERT_NE(calc, nullptr);
    DbTotal total{};
    total.calc = calc;
    total.sum = 60;
    total.count = 3;
    total.minimum = 10;
    total.maximum = 30;
    calc->total = &total;
    const std::pair<int, const char*> by_type[] = {{DB_TOTAL_MIN, "10"},     {DB_TOTAL_MAX, "30"},
                                                   {DB_TOTAL_COUNT, "3"},    {DB_TOTAL_AVERAGE, "20"},
                                                   {DB_TOTAL_SUM, "60"},     {7, "0"}};
    for (auto [type, value] : by_type) {
        total.type = type;
        EXPECT_EQ(show("RUN()"), value) << type;
    }
    total.count = 0;
    for (int type : {DB_TOTAL_MIN, DB_TOTAL_MAX, DB_TOTAL_AVERAGE}) {
        total.type = type;
        double v = 1;
        EXPECT_EQ(total_value(&total, &v), 0) << type;
        EXPECT_EQ(show("RUN()"), "0") << type;
    }
    ctx.page_no = 65535;
    EXPECT_EQ(show("PAGENO() + 1"), "65536");
    calc_free(calc);
    EXPECT_EQ(total.calc, nullptr);  // the total no longer names the freed calculation
}
